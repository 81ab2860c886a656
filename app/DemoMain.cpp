// The demo program: the main form with the menus of the demonstration scenes. It runs in its application folder
// (the working directory), which holds the scripts, meshes and bitmaps the scenes load.
#include "ZevApplication.h"
#include "ZevDemoInit.h"

#include <string>

int main(int argc, char** argv)
{
    ZevDemoInit();
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
