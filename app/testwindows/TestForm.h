// The developer's test form: buttons that check the floor function and the uniform 3D grid, menu entries that time
// two sorts of 100,000 keyed records, draw a NURBS curve into the test launcher's image-filter window and open view
// windows with the flight scenes. Closing it ends the program.
#pragma once

#include "ZevControls.h"
#include "ZevMenu.h"
#include "ZevString.h"
#include "ZevWin.h"

#include <cstdint>

class TZevDXGMWin;
class TZevFilterPanel;

// A record of the sort tests: its key and the key's "%f" text.
struct TZevSortRecord {
    void Set(float key);
    float Key = 0.0f;
    TZevString Text;
};

constexpr std::int32_t SortRecordCount = 100000;
// The program-wide records the sorts fill and order.
extern TZevSortRecord SortRecords[SortRecordCount];

// What one sort test took: filling the records (milliseconds) and the sort itself.
struct TZevSortTiming {
    double FillMilliseconds = 0.0;
    double SortMilliseconds = 0.0;
};

// Gives every record a key drawn from 0 to 9 and sorts pointers to them by key: through an array of pointers
// (quicksort) or through a list of keyed nodes (re-linked in key order). When `sortedKeys` is given, it receives the
// SortRecordCount keys in the order the sort left them. Both give a timing of zeros when memory runs out.
TZevSortTiming ZevSortTestArray(float* sortedKeys);
TZevSortTiming ZevSortTestList(float* sortedKeys);

// Draws a NURBS curve of 8 random control points and order 4 into a new white 600 x 400 image of the panel: the
// control points in red, 2,800 samples of the curve in blue.
void ZevDrawNurbsTest(TZevFilterPanel* panel);

class TTestForm : public TZevWin {
public:
    // Closes the program's root window, unless the launcher takes the form away with itself.
    void OnDestroy() override;
    void OnCreate() override;

    // The handlers of the buttons and menu entries.
    void FloorCheck();
    void GridCheck();
    void ArraySortTest();
    void ListSortTest();
    // Nothing without the launcher's image-filter window.
    void NurbsTest();
    // A view window over the form running the flight demonstration (1) or the flight test scene (2).
    void OpenGame(int which);

    TZevDXGMWin* LastViewWindow = nullptr; // cleared when that view goes
    bool EndsProgram = true;               // false once the launcher closes it with itself
    TZevButton* Button1 = nullptr;
    TZevButton* Button2 = nullptr;
    TZevButton* Button3 = nullptr;
    TZevEdit* Edit = nullptr;
    TZevMemo* Memo = nullptr;
    TZevMenu* MenuBar = nullptr;
    TZevPopupMenu* TestMenu = nullptr;
    TZevPopupMenu* GMTestMenu = nullptr;
    TZevMenuItem* Items[10] = {};
};

extern TZevClassRecord TTestFormClassRecord;
TZevLSObj* CreateTTestForm();
// Start-up: the sort records' texts are freed at exit before the allocation counts are written.
void ZevTestFormInit();
