#include "ZevDemoExtras.h"

#include "TestForm.h"
#include "ZevForm1.h"
#include "ZevGMDemo.h"
#include "ZevLispWin.h"

#include <mutex>

void ZevDemoExtrasInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TZevForm1ClassRecord, "TZevForm1", "TZevWin", CreateTZevForm1);
        RegisterClassRecord(&TZevLispWinClassRecord, "TZevLispWin", "TZevWin", CreateTZevLispWin);
        ZevTestFormInit();
        ZevGMDemoInit();
    });
}
