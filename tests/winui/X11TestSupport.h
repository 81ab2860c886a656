// Shared by the window framework's tests on a real X server: the process's own Xvfb display (ZevGLPrivateServer),
// and programs (xdotool) run as a person's input while the message loop keeps going.
#ifndef WINUI_X11_TEST_SUPPORT_H
#define WINUI_X11_TEST_SUPPORT_H

#include "WinUITestSupport.h"

#include <sys/types.h>

#include <string>
#include <vector>

// Starts a program found on PATH; -1 when it could not be started.
pid_t Spawn(std::vector<std::string> args);
// Runs a program to its end without touching any message queue (for threads other than the windows' own);
// false when it could not be started or did not exit with 0.
bool RunToEnd(std::vector<std::string> args);
bool OnPath(const char* program);
// The screen point of a top-level window's close box (our own caption: the display has no window manager).
POINT CloseBoxOf(HWND window);

class X11Test : public WinUITest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs a program (xdotool) to its end while the message loop keeps going, then lets the events arrive.
    void Drive(std::vector<std::string> args);
    void ClickAt(HWND window, std::int32_t x, std::int32_t y);
    // Two clicks as a person chooses from a window's menu bar (one row): the popup whose caption starts `barX`
    // pixels from the window's left edge, then its entry `entry` (0 the first) in the drop-down.
    void ChooseFromMenu(HWND window, std::int32_t barX, int entry);

    bool Started = false;
};

#endif
