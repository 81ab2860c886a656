#include "ZevCharaInit.h"

#include "ZevGameChara.h"
#include "ZevPhysicsInit.h"
#include "ZevPhysicsSaveLoad.h"

namespace {

bool CharaStarted = false;

} // namespace

void ZevCharaInit()
{
    if (CharaStarted)
        return;
    CharaStarted = true;
    ZevPhysicsInit();
    ZevPhysicsSaveLoadInit();
    ZevGameCharaInit();
}
