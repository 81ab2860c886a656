// An X server of the process's own (Xvfb on a free display number) for the tests and benchmarks that draw without
// a display: started on the first call, DISPLAY pointed at it and Mesa's software renderer asked for; stopped when
// the process exits. Processes running side by side each get their own.
#pragma once

// True when the server runs; false when Xvfb is not installed or does not start.
bool ZevGLStartPrivateServer();

// Keeps the OpenGL driver that a context of the caller's own loaded for the process's life, as the device layer does
// for its contexts: unloaded at the last XCloseDisplay, what it keeps for itself would read as leaks.
void ZevGLKeepDriverLoaded();
