#include "ZevDemoInit.h"

#include "ZevApplication.h"
#include "ZevDXGMWin.h"
#include "ZevDXGameMenu.h"
#include "ZevDemoExtras.h"
#include "QEInit.h"
#include "ZevLispWinConsole.h"

#include <mutex>

namespace {

template <class T> TZevLSObj* Make(TZevClassRecord* record) { return ZevCreateRegistered<T>(record); }
TZevLSObj* CreateTZevDXGMWin() { return Make<TZevDXGMWin>(&TZevDXGMWinClassRecord); }
TZevLSObj* CreateTZevLispWinConsole() { return Make<TZevLispWinConsole>(&TZevLispWinConsoleClassRecord); }
TZevLSObj* CreateTZevDXGameMenu() { return Make<TZevDXGameMenu>(&TZevDXGameMenuClassRecord); }

} // namespace

void ZevDemoInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevEngineInit();
        ZevWinUIInit();
        RegisterClassRecord(&TZevDXGMWinClassRecord, "TZevDXGMWin", "TZevWin", CreateTZevDXGMWin);
        RegisterClassRecord(&TZevLispWinConsoleClassRecord, "TZevLispWinConsole", "TZevWin",
                            CreateTZevLispWinConsole);
        RegisterClassRecord(&TZevDXGameMenuClassRecord, "TZevDXGameMenu", "TZevWin", CreateTZevDXGameMenu);
        ZevRegisterConsoleBuiltins();
        ZevRegisterViewBuiltins();
        // The experiments menu's test windows and sprite demo.
        ZevDemoExtrasInit();
    });
}
