#include "ZevDemoExtras.h"

#include "TestForm.h"
#include "ZevDXFormTest.h"
#include "ZevElasticTest.h"
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
        RegisterClassRecord(&TZevDXFormTestClassRecord, "TZevDXFormTest", "TZevDX7Form", CreateTZevDXFormTest);
        RegisterClassRecord(&TZevElasticTestClassRecord, "TZevElasticTest", "TZevElastic", CreateTZevElasticTest);
        ZevTestFormInit();
        ZevGMDemoInit();
    });
}
