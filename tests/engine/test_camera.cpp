// Camera, projection, view-plane distance and the simulation switch, through the exports and the builtins.
#include "QECamera.h"
#include "test_camera_fixture.h"

#include "ZevFrame.h"

namespace {

using CameraTest = EngineScriptTest;

TEST(CameraNoWorld, EveryOperationAnswersNothingToDo)
{
    ZevEngineInit();
    float m[16] = {};
    float d = 0.0f;
    struct Row {
        const char* what;
        int result;
    } rows[] = {
        {"set camera", QE_SetXPhCameraMat(m)},
        {"get camera", QE_GetXPhCameraMat(m)},
        {"set projection", QE_SetXPhProjection(m)},
        {"get projection", QE_GetXPhProjection(m)},
        {"set view-plane distance", QE_SetViewPlaneDistance(2.0f)},
        {"get view-plane distance", QE_GetViewPlaneDistance(&d)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.result, 0) << r.what;
    TZevLispTextInterpreter host;
    host.Init();
    host.SendCommand("(GetXPhCameraMat) (SetXPhCameraMat '((1 0 0) (0 1 0) (0 0 1) (1 2 3))) (GetViewPlaneDistance) "
                     "(SetXPhSimulationFlag nil)");
    EXPECT_STREQ(host.GetAnswer(), "nil\nnil\nnil\nnil\n");
    EXPECT_EQ(SimulationFlag, 1);
}

TEST_F(CameraTest, BadInputGivesZero)
{
    float m[16] = {};
    float d = 0.0f;
    CurrentView = &view;
    struct Row {
        const char* what;
        int result;
    } rows[] = {
        {"set camera from null", QE_SetXPhCameraMat(nullptr)},
        {"get camera into null", QE_GetXPhCameraMat(nullptr)},
        {"set projection from null", QE_SetXPhProjection(nullptr)},
        {"get projection into null", QE_GetXPhProjection(nullptr)},
        {"get view-plane distance into null", QE_GetViewPlaneDistance(nullptr)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.result, 0) << r.what;
    // Without a view (the physics-only run) the projection and distance operations do nothing.
    CurrentView = nullptr;
    EXPECT_EQ(QE_SetXPhProjection(m), 0);
    EXPECT_EQ(QE_GetXPhProjection(m), 0);
    EXPECT_EQ(QE_SetViewPlaneDistance(3.0f), 0);
    EXPECT_EQ(QE_GetViewPlaneDistance(&d), 0);
    EXPECT_EQ(QE_SetXPhCameraMat(m), 1); // the camera frame is published all the same
}

TEST_F(CameraTest, CameraMatrixRoundTripsWithItsFourthColumnFixed)
{
    float m[16];
    ASSERT_EQ(QE_GetXPhCameraMat(m), 1);
    const TZevMatrix start = ZevMatTranslation(0.0f, 0.0f, -5.0f);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m[i], start.m[i]) << i;

    float in[16];
    for (int i = 0; i < 16; ++i)
        in[i] = static_cast<float>(i + 1);
    ASSERT_EQ(QE_SetXPhCameraMat(in), 1);
    ASSERT_EQ(QE_GetXPhCameraMat(m), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m[i], (i & 3) == 3 ? (i == 15 ? 1.0f : 0.0f) : in[i]) << i;

    RunCases<3>({
        {"(SetXPhCameraMat '((1 0 0) (0 0 1) (0 -1 0) (7 8 9)))", "t\n"},
        {"(GetXPhCameraMat)", "((1.000000 0.000000 0.000000) (0.000000 0.000000 1.000000) (0.000000 -1.000000 "
                              "0.000000) (7.000000 8.000000 9.000000))\n"},
        {"(SetXPhCameraMat '((1 0 0) (0 1 0)))", "Error: Bad Argument!\n   in \"(SetXPhCameraMat '((1 0 0) "
                                                  "(0 1 0)))\"\n\n"},
    });
    EXPECT_FLOAT_EQ(CameraFrame->LocalMatrix.m[15], 1.0f);
    EXPECT_FLOAT_EQ(CameraFrame->LocalMatrix.m[13], 8.0f);
}

TEST_F(CameraTest, ProjectionComesBackWhole)
{
    CurrentView = &view;
    // A perspective projection: element 11 carries w = z, element 15 is 0.
    float p[16] = {1.5f, 0, 0, 0, 0, 2.0f, 0, 0, 0, 0, 1.001f, 1.0f, 0, 0, -1.001f, 0};
    ASSERT_EQ(QE_SetXPhProjection(p), 1);
    float out[16];
    ASSERT_EQ(QE_GetXPhProjection(out), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(out[i], p[i]) << i;
}

TEST_F(CameraTest, ViewPlaneDistanceAndSimulationSwitch)
{
    RunCases<3>({
        {"(SetViewPlaneDistance 2.5)", "nil\n"}, // no view yet
        {"(GetViewPlaneDistance)", "nil\n"},
        {"(SetViewPlaneDistance \"x\")", "Error: Bad Argument!\n   in \"(SetViewPlaneDistance \"x\")\"\n\n"},
    });
    CurrentView = &view;
    RunCases<2>({
        {"(SetViewPlaneDistance 2.5)", "t\n"},
        {"(GetViewPlaneDistance)", "2.500000\n"},
    });
    float d = 0.0f;
    ASSERT_EQ(QE_SetViewPlaneDistance(4.0f), 1);
    ASSERT_EQ(QE_GetViewPlaneDistance(&d), 1);
    EXPECT_FLOAT_EQ(d, 4.0f);

    RunCases<4>({
        {"(SetXPhSimulationFlag nil)", "t\n"},
        {"(SetXPhSimulationFlag 0)", "t\n"}, // any value but nil is true
        {"(SetXPhSimulationFlag)", "Error: Bad Argument!\n   in \"(SetXPhSimulationFlag)\"\n\n"},
        {"(SetXPhSimulationFlag nil)", "t\n"},
    });
    EXPECT_EQ(SimulationFlag, 0);
    EXPECT_EQ(QE_SetXPhSimulationFlag(7), 1);
    EXPECT_EQ(SimulationFlag, 7);
}

// Every builtin of the camera, joint, PID, land, particle, picking and 3D-object bindings is reachable by name.
TEST(EngineBindings, EveryBuiltinIsRegistered)
{
    ZevEngineInit();
    const char* names[] = {
        "SetXPhCameraMat", "GetXPhCameraMat", "SetViewPlaneDistance", "GetViewPlaneDistance", "SetXPhSimulationFlag",
        "SetXPhVertexTransformMat", "XPhBodyAddJointChild", "XPhBodyAddFixedChild", "XPhBodyRemoveChild",
        "XPhBodyRemoveFromWorld", "XPhBodyAddToWorld", "XPhBodyGetChild", "XPhBodyGetParent",
        "XPhBodyGetJuniorNoLoop", "XPhBodyGetSeniorNoLoop", "XPhJointSetTorque", "XPhJointSetTorque2",
        "XPhJointSetRotationalDamper", "XPhJointGetRotationalDamper2", "XPhJointSetStaticFrictionCoeff2",
        "XPhJointGetStaticFrictionCoeff", "XPhJointSetDynamicFrictionCoeff", "XPhJointGetDynamicFrictionCoeff2",
        "XPhJointSetBrake", "XPhJointGetBrake2", "XPhJointSetMaxTheta2", "XPhJointGetMaxTheta",
        "XPhJointSetMinTheta", "XPhJointGetMinTheta2", "XPhJointGetTheta", "XPhJointGetTheta2", "XPhJointGetDTheta",
        "XPhJointGetDTheta2", "XPhJointSetAxisCount", "XPhJointGetAxisCount", "XPhBodyJointSpringCoeff",
        "XPhBodyJointSpringDamper", "XPhBodyJointAxisSpringLimit", "XPhBodyJointTorqueSpringLimit",
        "XPhBodyJointLimitFlag", "XPhBodyJointLimitFlag2", "XPhBodyJointGuessParam", "XPhPIDMake", "XPhPIDSetParam",
        "XPhPIDSetState", "XPhPIDSetTarget", "XPhPIDStep", "XPhPIDSetOutPutRange", "XPhLoadLand",
        "XPhLoadLandWithScale", "SetXPhLandMat", "XPhLandSetVisualMaterial", "XPhFogEnable", "XPhFogNear",
        "XPhFogFar", "XPhBgColor", "XPhBodySetParticle", "XPhMakeParticle", "XPhRayPick", "XPhRayPickNCBody",
        "XPhDrawLine", "SetEditChara", "GetEditChara", "SetMouseDownProc", "SetMouseMoveProc", "SetMouseUpProc",
        "SetMouseData", "GetMouseDownProc", "GetMouseMoveProc", "GetMouseUpProc", "GetMouseData",
        "XPhSet_EasyViewText", "XPhGet_EasyViewText", "XPhBodyVertexTransFormToCenter", "LoadXObj",
        "CreateEmptyFrame", "SetVelocity", "SetRotation", "SetPosition", "ZevLisp3DTest1", "ZevLisp3DTest0",
    };
    for (const char* name : names) {
        TZevLispRef found;
        LispFindBuiltin(found, name);
        EXPECT_TRUE(LispIsFunc(found)) << name;
    }
}

} // namespace
