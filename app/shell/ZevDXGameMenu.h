// The main form of the demo program: an empty 640 x 480 window whose menu bar offers every demonstration. A scene
// entry opens its scene in a fresh 3D view window laid over the form (the previous view is closed first); a script
// scene is a .lsp file run on top of "DefaultWorld.lsp" in a script-driven scene.
//
// The menu is one table (DemoMenuTable in the .cpp): popup, caption and what the entry does. Adding an entry is
// adding a row.
#pragma once

#include "ZevWin.h"

#include <cstdint>
#include <vector>

class TZevDXGameMenu;
class TZevDXGMWin;
class TZevGMBase;
class TZevMenu;
class TZevMenuItem;

// What a main-form entry does.
enum class TZevDemoEntryKind {
    Close,       // ends the program
    FullScreen,  // toggles the full-screen flag of the next views
    Shadow,      // toggles the stencil shadows of the next views
    ScriptScene, // a .lsp file in a script-driven scene
    CodeScene,   // a scene written in code
    TestWindow,  // the test launcher with its four windows, beside whatever view runs
    Reference,   // the language reference page, with the desktop's opener
    About,       // the version text
};

struct TZevDemoMenuEntry {
    const char* Popup;
    const char* Caption;
    TZevDemoEntryKind Kind;
    const char* Script = nullptr;             // ScriptScene: the file, as the script loader takes it
    TZevGMBase* (*MakeScene)() = nullptr;     // CodeScene
    void (*Prepare)(TZevDXGMWin* view) = nullptr; // optional: settings of the view before it starts
};

// The main form's menu, in order.
const std::vector<TZevDemoMenuEntry>& DemoMenuTable();

// The page "Reference" opens.
constexpr const char* ReferencePageName = "POMU_Lisp_Reference.html";

class TZevDXGameMenu : public TZevWin {
public:
    TZevDXGameMenu() = default;
    ~TZevDXGameMenu() override;

    void OnCreate() override;
    void OnDestroy() override;

    // Runs what the table's entry does.
    void Choose(const TZevDemoMenuEntry& entry);
    // A scene in a fresh view window over the form (the previous view closed first); for a script scene the file
    // is the view's pending script. The scene is owned by the view from here on. The new view, or null.
    TZevDXGMWin* OpenScene(TZevGMBase* scene, const char* script, void (*prepare)(TZevDXGMWin* view));
    // The test launcher, created by class name into TestForm; the view window is left as it is.
    TZevWin* OpenTestWindow();
    // Lets go of the launcher (it stays open) so that its going no longer reaches this form.
    void ForgetTestForm();
    void ToggleFullScreen();
    void ToggleShadow();
    void OpenReference();
    void ShowAbout();

    // The entry of the table with this caption, or null.
    TZevMenuItem* FindItem(const char* caption) const;

    struct TChoice {
        TZevDXGameMenu* Form;
        const TZevDemoMenuEntry* Entry;
    };

    TZevMenu* MenuBar = nullptr;
    std::vector<TZevMenuItem*> Items; // one per table entry, in order
    std::vector<TChoice> Choices;     // the handler arguments of the items
    TZevMenuItem* FullScreenItem = nullptr;
    TZevMenuItem* ShadowItem = nullptr;
    TZevWin* TestForm = nullptr; // the last test launcher opened, cleared when it goes
    TZevDXGMWin* ViewWindow = nullptr;
    std::int32_t FullScreenFlag = 0;
    std::int32_t ShadowFlag = 0;
};

// The About box's text: the version line, then a few words.
const char* ZevDemoAboutText();

extern TZevClassRecord TZevDXGameMenuClassRecord;
