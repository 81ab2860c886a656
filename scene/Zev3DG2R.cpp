#include "Zev3DG2R.h"

#include <mutex>

#include "ZevBillBoard.h"

void ZevSceneInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevCoreInit();
        ZevLogInited("Zev3DG2R.cpp");
        ZevFrameInit();
        ZevMeshesInit();
        ZevBillBoardInit();
    });
}
