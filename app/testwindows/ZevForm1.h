// The developer's test launcher: a window whose menu starts the modes of the Direct3D test form, and which opens
// beside itself the image-filter window, the script input window, the Direct3D test form and the test form.
//
// Each of the four windows is a top-level window of the application. When one of them is destroyed its pointer
// here is cleared; when the launcher goes first it destroys those still open.
#pragma once

#include "ZevMenu.h"
#include "ZevWin.h"

class TTestForm;
class TZevDXFormTest;
class TZevFilterForm;
class TZevLispWin;

class TZevForm1 : public TZevWin {
public:
    // Places itself, opens the four windows, becomes the current launcher and builds its menus.
    void OnCreate() override;
    // No longer the current launcher; the four windows still open are destroyed.
    void OnDestroy() override;

    // Restarts the Direct3D test form in the mode: stop, mode, start. Nothing without the form.
    void RestartTest(int mode);
    // Stops the Direct3D test form.
    void EndTest();

    TZevFilterForm* FilterForm = nullptr;
    TZevLispWin* LispWin = nullptr;
    TZevDXFormTest* DXFormTest = nullptr;
    TTestForm* TestForm = nullptr;
    TZevMenu* MenuBar = nullptr;
    TZevPopupMenu* FilesMenu = nullptr;
    TZevPopupMenu* D3DTestMenu = nullptr;
    TZevMenuItem* Items[8] = {};
};

// The launcher whose windows the script window and the test form reach; null while none is open.
extern TZevForm1* CurrentForm1;

extern TZevClassRecord TZevForm1ClassRecord;
TZevLSObj* CreateTZevForm1();
