#include "ZevLisp.h"

#include "LispGeneral.h"

#include <cstdlib>

namespace {
bool gInitialised = false;
bool gShutDown = false;

void ShutdownAtExit()
{
    LispShutdown();
}
} // namespace

void LispInitialize()
{
    if (gInitialised)
        return;
    gInitialised = true;
    ZevCoreInit();
    LispRegisterValueClasses();
    LispSymbolTableInit();
    LispRegisterCoreBuiltins();
    LispFindBuiltin(LispQuoteFunc, "quote");
    LispFindBuiltin(LispDefFunc, "def");
    LispFindBuiltin(LispDefunFunc, "defun");
    LispFindBuiltin(LispIfFunc, "if");
    LispRegisterMathBuiltins();
    LispRegisterOuterParts();
    std::atexit(ShutdownAtExit);
}

void LispShutdown()
{
    if (!gInitialised || gShutDown)
        return;
    gShutDown = true;
    LispShutdownFlag = 1;
    if (LispHost)
        LispHost = nullptr;
    LispSymbolTableFree();
    LispShutdownOuterParts();
    LispDrainValueClasses();
    TZevLispRefList::FreeSharedNodes();
}
