// Scratch: joint motor through the engine interface.
#include "QEJoints.h"
#include "test_camera_fixture.h"

#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const BoxFile = QE_DATA_DIR "/lbox.x";

class JointMotorTest : public EngineScriptTest {
protected:
    QE_XPhBody* Box(float x)
    {
        QE_XPhBody* body = QE_LoadXPhBody(BoxFile);
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1};
        if (body)
            QE_SetXPhBodyMat(body, m);
        return body;
    }
};

TEST_F(JointMotorTest, Scratch)
{
    float g=0; QE_GetGravity(&g); std::printf("gravity %g\n", g);
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    if (getenv("FIXFIRST")) QE_SetXPhBodyPhysicsMode(parent, 0);
    const float anchor[3] = {0, 0, 0}, axis1[3] = {0, 0, 1}, axis2[3] = {1, 0, 0};
    QE_XPhJoint* handle = QE_XPhBodyAddJointChild(parent, child, anchor, axis1, axis2, 0.5f);
    ASSERT_NE(handle, nullptr);
    TZevJoint* j = QEJoint(handle);
    if (getenv("GUESS")) { int ok = QE_XPhBodyJointGuessParam(handle); std::printf("guess %d size %g spring %g\n", ok, j->Size, j->LinkSpring); }
    { int f1=0,f2=0; QE_GetXPhBodyPhysicsMode(parent,&f1); QE_GetXPhBodyPhysicsMode(child,&f2); std::printf("fixed %d %d\n", f1, f2); }
    if (getenv("FIX")) QE_SetXPhBodyPhysicsMode(parent, 0);
    if (getenv("AX2")) QE_XPhJointSetAxisCount(handle, 2);
    QE_XPhJointSetTorque(handle, getenv("TQ") ? atof(getenv("TQ")) : 5.0f);
    for (int i = 0; i < 100; ++i) {
        QE_PhOnlyStep();
        if (i % 10 == 0)
            std::printf("%d theta %g dtheta %g state %d net %g l3 %d\n", i, j->Theta, j->DTheta, j->State, j->NetTorque,
                        j->Links[2]->Active);
    }
}

} // namespace
namespace {
TEST_F(JointMotorTest, ScratchScript)
{
    Run("(def p (LoadXPhBody \"" + std::string(BoxFile) + "\"))");
    Run("(def c (LoadXPhBody \"" + std::string(BoxFile) + "\"))");
    Run("(SetXPhBodyMat c '((1 0 0) (0 1 0) (0 0 1) (3 0 0)))");
    std::printf("%s", Run("(def j (XPhBodyAddJointChild p c '(0 0 0) '(0 0 1) '(1 0 0) 0.5))").c_str());
    const char* extra = getenv("EXTRA");
    if (extra) std::printf("%s", Run(extra).c_str());
    std::printf("%s", Run("(XPhJointSetTorque j 5)").c_str());
    for (int i = 0; i < 5; ++i) {
        std::printf("%s", Run("(PhOnlyStep 10)").c_str());
        std::printf("theta %s", Run("(XPhJointGetTheta j)").c_str());
    }
}
}
