// The demo program: the main form with the menus of the demonstration scenes. It runs in its application folder
// (the working directory), which holds the scripts, meshes and bitmaps the scenes load.
#include "ZevApplication.h"
#include "ZevDemoInit.h"
#include "ZevPhscs2World.h"
#include "ZevWorkers.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    // The windows are shown on the X display or nowhere: the in-memory window system is for tests.
    if (ZevPlatformInit(TZevBackendKind::X11) != TZevBackendKind::X11) {
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            std::fprintf(stderr, "demo: cannot open the X display \"%s\"\n", display);
        else
            std::fprintf(stderr, "demo: no X display (DISPLAY is not set)\n");
        return 1;
    }
    ZevDemoInit();
    // The physics step of every scene uses the machine's cores.
    ZevSetDefaultWorkerThreads(ZevMachineThreads());
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    auto* application = new TZevApplication(nullptr, nullptr, commandLine.c_str(), SW_SHOWNORMAL);
    TZevWin* form = nullptr;
    if (!application->CreateForm(&form, "TZevDXGameMenu")) {
        delete application;
        return 1;
    }
    const int code = application->Run();
    delete application;
    return code;
}
