#include "QEInit.h"

#include <cstdlib>

#include "QEBodyState.h"
#include "QECallbacks.h"
#include "QECamera.h"
#include "QEContext.h"
#include "QEJoints.h"
#include "QELand.h"
#include "QEParticles.h"
#include "QEPicking.h"
#include "QEWorldParams.h"
#include "Zev3DG2R.h"
#include "ZevDebug.h"
#include "ZevLisp.h"
#include "QE3DObjects.h"
#include "QEBodies.h"
#include "QEPIDController.h"
#include "ZevCharaInit.h"

namespace {
bool EngineInited = false;
}

void ZevEngineInit()
{
    if (EngineInited)
        return;
    EngineInited = true;
    ZevCoreInit();
    ZevSceneInit();
    LispInitialize();
    ZevCharaInit();
    // Bodies first: the other families wrap them.
    ZevEngineRegisterBodies();
    ZevEngineRegisterBodyState();
    ZevEngineRegisterWorldParams();
    ZevEngineRegisterCallbacks();
    ZevEngineRegisterCamera();
    ZevEngineRegisterJoints();
    ZevEngineRegisterPID();
    ZevEngineRegisterLand();
    ZevEngineRegisterParticles();
    ZevEngineRegisterPicking();
    ZevEngineRegister3DObj();
    // The program-wide lists outlive main as static objects: empty them before the allocation report is written.
    // Script values go first, while the world and the physics pools that their engine objects touch are still
    // there (the interpreter's own exit handler, registered before the physics one, would run after it).
    std::atexit([] {
        LispShutdown();
        ObjectPathList.Clear();
        LooseBodies.Clear();
    });
}
