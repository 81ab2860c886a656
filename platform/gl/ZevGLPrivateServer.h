// An X server of the process's own (Xvfb on a free display number) for the tests and benchmarks that draw without
// a display: started on the first call, DISPLAY pointed at it and Mesa's software renderer asked for; stopped when
// the process exits. Processes running side by side each get their own.
#pragma once

#include <sys/types.h>

#include <string>

// True when the server runs; false when Xvfb is not installed or does not start.
bool ZevGLStartPrivateServer();

// Keeps the OpenGL driver that a context of the caller's own loaded for the process's life, as the device layer does
// for its contexts: unloaded at the last XCloseDisplay, what it keeps for itself would read as leaks.
void ZevGLKeepDriverLoaded();

// One Xvfb server (quiet, no TCP, one 1280 x 1024 screen of 24 bits) on a display number it picks itself. The
// process's own server above is one; a test that takes a display away from a program starts another and kills it.
struct TZevXServer {
    pid_t Pid = -1;
    std::string Display; // ":N"

    // Starts the server and waits until it takes clients; false (and nothing left running) when Xvfb is not
    // installed or does not start.
    bool Start();
    // Ends the server with `signal` and waits for it; nothing when it does not run.
    void Stop(int signal);
};
