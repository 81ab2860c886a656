#include "ZevPhysicsInit.h"

#include "Zev3DG2R.h"
#include "ZevBBoxTree.h"
#include "ZevBodyBoxes.h"
#include "ZevBodyPair.h"
#include "ZevColLink.h"
#include "ZevCollisionSpace.h"
#include "ZevContactLink.h"
#include "ZevDebug.h"
#include "ZevFMCTTree.h"
#include "ZevFloatKeyList.h"
#include "ZevJoint.h"
#include "ZevPhscs2Obj.h"
#include "ZevRigidLink.h"
#include "ZevTypeInfo.h"

namespace {

bool PhysicsStarted = false;

} // namespace

void ZevPhysicsInit()
{
    if (PhysicsStarted)
        return;
    PhysicsStarted = true;
    ZevCoreInit();
    ZevSceneInit();
    ZevTypeInfoInit();
    ZevBBoxTreeInit();
    ZevFMCTTreeInit();
    ZevInitCollisionTable();
    ZevBodyPairInit();
    ZevPhscs2Init();
    ZevRigidLinkInit();
    ZevJointInit();
    ZevContactLinkInit();
    ZevBodyBoxesInit();
    ZevColLinkInit();
    ZevFloatKeyListInit();
}
