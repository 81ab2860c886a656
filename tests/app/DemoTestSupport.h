// Shared by the demo program's tests without a display: the window framework on its in-memory backend, the demo's
// classes, a scratch application folder holding a copy of data/, the main form, and views whose renderer records
// what it is asked to draw. Helpers pump the message loop until a condition holds, and choose files in dialogs.
#pragma once

#include "AppTestRenderer.h"

#include "GlobalLock.h"

#include "ZevApplication.h"
#include "ZevDXGMWin.h"
#include "ZevDXGameMenu.h"
#include "ZevLispWinConsole.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The views' renderer: it draws nothing but records every frame (under GlobalLock, as the frames run).
class TDemoTestRenderer : public TAppTestRenderer {
public:
    TDemoTestRenderer() { ++Alive; }
    ~TDemoTestRenderer() override { --Alive; }
    // Frames presented so far (read under the lock).
    int Frames();

    static std::atomic<int> Alive;
};

// A renderer kind whose renderers are TDemoTestRenderer and always draw.
extern TZevRendererKind DemoTestRendererKind;

class DemoTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pumps the message loop (and deletes destroyed windows) until `done` holds; false after `ms` milliseconds.
    bool PumpUntil(const std::function<bool()>& done, int ms = 20000);
    // Pumps for a while.
    void PumpFor(int ms);
    // The main form's entry with this caption, chosen as a click would.
    void Choose(const char* caption);
    // The open view's renderer.
    TDemoTestRenderer* ViewRenderer();
    // Waits until the open view's console has evaluated the scene's load forms.
    bool WaitForScript();
    // Evaluates a line in the console as if typed there; the answer's lines.
    std::string Console(const std::string& line);
    // The number of view windows alive.
    int ViewCount();

    std::filesystem::path Home;   // the working directory before the test
    std::filesystem::path Folder; // the scratch application folder
    TZevApplication* App = nullptr;
    TZevDXGameMenu* Form = nullptr;
};

// While it lives, a thread that ends the test program with a message when the watch is not ended within
// `ms` milliseconds: a deadlock fails the test at once instead of hanging the run.
class TDeadlockWatch {
public:
    TDeadlockWatch(std::string what, int ms = 60000);
    ~TDeadlockWatch() { End(); }
    TDeadlockWatch(const TDeadlockWatch&) = delete;
    TDeadlockWatch& operator=(const TDeadlockWatch&) = delete;
    void End();

private:
    std::atomic<bool> Ended{false};
    std::thread Watch;
};

// Makes the next dialog choose `path` (absolute), or cancel when it is empty; `seen` receives the dialog's caption
// and whether the other windows were disabled while it was open.
struct TDialogChoice {
    TDialogChoice() = default;
    explicit TDialogChoice(std::string path) : Path(std::move(path)) {}
    std::string Path;
    std::string Caption;
    std::string Text; // a message box's text
    bool OthersDisabled = false;
    int Shown = 0;
};
void ChooseInNextDialog(TDialogChoice* choice);

// The window layer's look on the screen of a program test, without a window manager: our own caption, menu rows and
// popup entries of 20 pixels; the demo's main form at the screen's top-left corner.
constexpr int CaptionHeight = 22;
constexpr int MenuRowHeight = 20;
constexpr int FormWidth = 640;
constexpr int FormHeight = 480;

// Where a person clicks on the screen of a program test to choose an entry of a window's menu bar: the popup's
// title on the bar, then the entry `index` of the popup that opens below it. The bar holds `popups` (laid out as
// the window layer lays bars out: in rows that wrap) on a window of the given width at (left, top).
struct TMenuClicks {
    POINT Popup;
    POINT Entry;
};
TMenuClicks MenuBarClicks(const std::vector<std::string>& popups, int width, int left, int top,
                          const std::string& popup, int index);
// The same for an entry of the demo's main form, by the entry or by its caption.
TMenuClicks DemoMenuClicks(const TZevDemoMenuEntry& entry);
TMenuClicks DemoMenuClicks(const std::string& caption);
// Chooses an entry on the X server of a program test as a person does: two clicks (xdotool), the popup's title and
// then the entry.
void ClickMenu(const TMenuClicks& clicks);
