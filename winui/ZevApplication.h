// The one application object: start-up parameters, the application directory, the tree of live top-level windows,
// the queue of window objects awaiting deletion, the hidden root window, and the message loop with its optional
// idle function.
#pragma once

#include "ZevTree.h"
#include "ZevWinApi.h"

#include <cstdint>

class TZevWin;
class TZevApplication;

typedef void (*TZevIdleFunction)(TZevApplication* application);

extern HINSTANCE AppInstance;
extern HINSTANCE AppPrevInstance;
extern const char* AppCommandLine;
extern std::int32_t AppShowCommand;
// The working directory at start-up followed by "/".
extern TZevString AppDirectory;

class TZevApplication : public TZevAllocated {
public:
    TZevApplication(HINSTANCE instance, HINSTANCE previous, const char* commandLine, std::int32_t showCommand);
    // Deletes the deferred windows, destroys every live window, deletes them, then both trees.
    virtual ~TZevApplication();

    // Creates a top-level window by class name; the first one made takes identifier 0 and is the root window.
    // The window is stored into `window` at once. False (window null) for an unknown class or a full table.
    bool CreateForm(TZevWin** window, const char* className);
    // The message loop; returns the exit code of WM_QUIT.
    std::int32_t Run();
    // Handles the waiting messages without blocking. A WM_QUIT met here is posted again for the loop and its code
    // returned; 0 when the queue ran empty.
    std::int32_t ProcessMessages();
    // Deletes every window of the deferred-deletion tree.
    void DeleteDeferred();

    TZevIdleFunction IdleFunction = nullptr;
    TZevTree* LiveWindows = nullptr;
    TZevTree* DeferredDeletes = nullptr;
};

// Closes the root window (which ends the program).
void CloseRootWindow();

// Registers the classes of the window framework (after the core library). Runs once.
void ZevWinUIInit();
