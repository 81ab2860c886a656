// The body tree and the joints between bodies, through the exports and the builtins.
#include "QEJoints.h"
#include "test_joint_fixture.h"

#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"

#include <cmath>
#include <vector>

namespace {

TEST(JointNoWorld, NullAndForeignHandlesGiveZero)
{
    ZevEngineInit();
    int local = 0;
    auto* foreign = reinterpret_cast<QE_XPhJoint*>(&local); // never handed out: not even read
    float f = 0.0f;
    int i = 0;
    const float v[3] = {0, 0, 1};
    struct Row {
        const char* what;
        long long result;
    } rows[] = {
        {"set torque, null", QE_XPhJointSetTorque(nullptr, 1.0f)},
        {"get torque, null", QE_XPhJointGetTorque(nullptr, &f)},
        {"set torque 2, foreign", QE_XPhJointSetTorque2(foreign, 1.0f)},
        {"get theta, foreign", QE_XPhJointGetTheta(foreign, &f)},
        {"get dtheta 2, null", QE_XPhJointGetDTheta2(nullptr, &f)},
        {"set axis count, null", QE_XPhJointSetAxisCount(nullptr, 2)},
        {"get axis count, foreign", QE_XPhJointGetAxisCount(foreign, &i)},
        {"spring, null", QE_XPhBodyJointSpringCoeff(nullptr, 1.0f)},
        {"damper, foreign", QE_XPhBodyJointSpringDamper(foreign, 1.0f)},
        {"axis limit, null", QE_XPhBodyJointAxisSpringLimit(nullptr, 1.0f)},
        {"torque limit, foreign", QE_XPhBodyJointTorqueSpringLimit(foreign, 1.0f)},
        {"limit flag, null", QE_XPhBodyJointLimitFlag(nullptr, 1)},
        {"limit flag 2, foreign", QE_XPhBodyJointLimitFlag2(foreign, 1)},
        {"guess, null", QE_XPhBodyJointGuessParam(nullptr)},
        {"add joint child, nulls", QE_XPhBodyAddJointChild(nullptr, nullptr, v, v, v, 1.0f) != nullptr},
        {"add fixed child, nulls", QE_XPhBodyAddFixedChild(nullptr, nullptr)},
        {"remove child, null", QE_XPhBodyRemoveChild(nullptr)},
        {"remove from world, null", QE_XPhBodyRemoveFromWorld(nullptr)},
        {"add to world, null", QE_XPhBodyAddToWorld(nullptr)},
        {"child of null", QE_XPhBodyGetChild(nullptr) != nullptr},
        {"parent of null", QE_XPhBodyGetParent(nullptr) != nullptr},
        {"junior of null", QE_XPhBodyGetJuniorNoLoop(nullptr) != nullptr},
        {"senior of null", QE_XPhBodyGetSeniorNoLoop(nullptr) != nullptr},
        {"joint of null", QE_XPhBodyGetCurrentJoint(nullptr) != nullptr},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.result, 0) << r.what;
    EXPECT_EQ(QE_XPhBodyJointGetSpringCoeff(nullptr), 0.0f);
    EXPECT_EQ(QE_XPhBodyJointGetSpringCoeff(foreign), 0.0f);
}

TEST_F(JointTest, JointChildAndNavigation)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* a = Box(2.0f);
    QE_XPhBody* b = Box(4.0f);
    ASSERT_TRUE(parent && a && b);
    QE_XPhJoint* ja = Hinge(parent, a);
    QE_XPhJoint* jb = Hinge(parent, b);
    ASSERT_NE(ja, nullptr);
    ASSERT_NE(jb, nullptr);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(a), ja);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(parent), nullptr);
    EXPECT_EQ(QE_XPhBodyGetParent(a), parent);
    EXPECT_EQ(QE_XPhBodyGetParent(parent), nullptr); // its parent is the world's root node
    EXPECT_EQ(QE_XPhBodyGetChild(parent), a);
    EXPECT_EQ(QE_XPhBodyGetChild(a), nullptr);
    EXPECT_EQ(QE_XPhBodyGetJuniorNoLoop(a), b);
    EXPECT_EQ(QE_XPhBodyGetJuniorNoLoop(b), nullptr); // no wrap-around
    EXPECT_EQ(QE_XPhBodyGetSeniorNoLoop(b), a);
    EXPECT_EQ(QE_XPhBodyGetSeniorNoLoop(a), nullptr);

    // The new joint's defaults, and the axis-2 parameters apart from axis 1.
    float f = 0.0f;
    int count = 0;
    struct Read {
        int (*get)(QE_XPhJoint*, float*);
        float expected;
    } defaults[] = {
        {QE_XPhJointGetTorque, 0.0f},          {QE_XPhJointGetRotationalDamper, 1.0f},
        {QE_XPhJointGetStaticFrictionCoeff, 1.0f}, {QE_XPhJointGetDynamicFrictionCoeff2, 1.0f},
        {QE_XPhJointGetBrake, 0.0f},           {QE_XPhJointGetMaxTheta, 1.5707964f},
        {QE_XPhJointGetMinTheta2, -1.5707964f}, {QE_XPhJointGetTheta, 0.0f},
    };
    for (const Read& r : defaults) {
        ASSERT_EQ(r.get(ja, &f), 1);
        EXPECT_FLOAT_EQ(f, r.expected);
    }
    ASSERT_EQ(QE_XPhJointGetAxisCount(ja, &count), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(QE_XPhJointSetTorque2(ja, 3.5f), 1);
    EXPECT_EQ(QE_XPhJointGetTorque2(ja, &f), 1);
    EXPECT_FLOAT_EQ(f, 3.5f);
    EXPECT_EQ(QE_XPhJointGetTorque(ja, &f), 1);
    EXPECT_FLOAT_EQ(f, 0.0f);
    EXPECT_EQ(QE_XPhJointGetTorque(ja, nullptr), 0);

    // The joint goes with the attachment: its handle is stale afterwards.
    EXPECT_EQ(QE_XPhBodyRemoveChild(a), 1);
    EXPECT_EQ(QE_XPhBodyGetParent(a), nullptr);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(a), nullptr);
    EXPECT_EQ(QE_XPhJointSetTorque(ja, 1.0f), 0);
    EXPECT_EQ(QE_XPhJointGetTheta(ja, &f), 0);
    EXPECT_EQ(QE_XPhBodyGetChild(parent), b);
}

TEST_F(JointTest, NoJointLeavesNoAttachment)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    const float anchor[3] = {0, 0, 0}, zero[3] = {0, 0, 0}, z[3] = {0, 0, 1};
    struct Case {
        const char* what;
        const float* axis1;
        const float* axis2;
    } cases[] = {
        {"zero first axis", zero, z},
        {"second axis along the first", z, z},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QE_XPhBodyAddJointChild(parent, child, anchor, c.axis1, c.axis2, 0.5f), nullptr) << c.what;
        EXPECT_EQ(QE_XPhBodyGetParent(child), nullptr) << c.what;
        EXPECT_EQ(QE_XPhBodyGetChild(parent), nullptr) << c.what;
    }
    EXPECT_EQ(Hinge(parent, parent), nullptr);
    ASSERT_NE(Hinge(parent, child), nullptr);
    EXPECT_EQ(Hinge(child, parent), nullptr); // a parent cannot hang below its own child
    EXPECT_EQ(QE_XPhBodyGetParent(parent), nullptr);
    EXPECT_EQ(QE_XPhBodyGetParent(child), parent);
}

TEST_F(JointTest, JointWideSettings)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    QE_XPhJoint* handle = Hinge(parent, child, 0.5f);
    ASSERT_NE(handle, nullptr);
    TZevJoint* joint = QEJoint(handle);
    ASSERT_NE(joint, nullptr);

    EXPECT_EQ(QE_XPhBodyJointSpringCoeff(handle, 33.0f), 1);
    EXPECT_FLOAT_EQ(QE_XPhBodyJointGetSpringCoeff(handle), 33.0f);
    EXPECT_EQ(QE_XPhBodyJointSpringDamper(handle, 0.25f), 1);
    for (TZevRigidLink* link : joint->Links) {
        ASSERT_NE(link, nullptr);
        EXPECT_FLOAT_EQ(link->Spring, 33.0f);
        EXPECT_FLOAT_EQ(link->Damper, 0.25f);
    }
    EXPECT_FLOAT_EQ(joint->LinkSpring, 33.0f);
    EXPECT_FLOAT_EQ(joint->LinkDamper, 0.25f);

    EXPECT_EQ(QE_XPhBodyJointAxisSpringLimit(handle, 0.7f), 1);
    EXPECT_EQ(QE_XPhBodyJointTorqueSpringLimit(handle, 0.9f), 1);
    const float limits[5] = {0.7f, 0.7f, 0.9f, 0.9f, 0.7f};
    for (int k = 0; k < 5; ++k)
        EXPECT_FLOAT_EQ(joint->Links[k]->Tolerance, limits[k]) << k;

    EXPECT_EQ(QE_XPhBodyJointLimitFlag(handle, 0), 1);
    EXPECT_EQ(joint->LimitFlag, 1);
    EXPECT_EQ(QE_XPhBodyJointLimitFlag2(handle, 5), 1);
    EXPECT_EQ(joint->LimitFlag2, 0);
}

TEST_F(JointTest, GuessParamFromMassesAndStep)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    QE_XPhJoint* handle = Hinge(parent, child, 0.5f);
    ASSERT_NE(handle, nullptr);
    TZevJoint* joint = QEJoint(handle);
    ASSERT_NE(joint, nullptr);
    const float springBefore = joint->Links[0]->Spring;

    // A zero step or a zero mass would divide by zero: refused, nothing changed.
    ASSERT_EQ(QE_SetSimulationStepSize(0.0f), 1);
    EXPECT_EQ(QE_XPhBodyJointGuessParam(handle), 0);
    ASSERT_EQ(QE_SetSimulationStepSize(0.02f), 1);
    TZevGameChara* body = QEBody(child);
    ASSERT_NE(body, nullptr);
    body->MainPart->Mass = 0.0f; // the mass setters refuse it; a part may still come to hold it
    EXPECT_EQ(QE_XPhBodyJointGuessParam(handle), 0);
    EXPECT_FLOAT_EQ(joint->Links[0]->Spring, springBefore);

    // Masses 1 and 1, step 0.02, satisfy scale 10: k = 1 / (2 x 0.0004) = 1250, spring = k / 10 / 5 = 25.
    body->MainPart->Mass = 1.0f;
    EXPECT_EQ(QE_XPhBodyJointGuessParam(handle), 1);
    EXPECT_FLOAT_EQ(joint->Links[3]->Spring, 25.0f);
    EXPECT_FLOAT_EQ(joint->Links[3]->Damper, 2.5f);
    EXPECT_GT(joint->Size, 0.0f);
    EXPECT_FLOAT_EQ(joint->Links[0]->Tolerance, joint->Size * 0.01f);
    for (int k = 1; k < 5; ++k)
        EXPECT_FLOAT_EQ(joint->Links[k]->Tolerance, joint->Size * 0.05f) << k;
}

TEST_F(JointTest, WorldMembershipAndFixedChild)
{
    QE_XPhBody* parent = Box(1.0f);
    QE_XPhBody* child = Box(3.0f);
    TZevGameChara* body = QEBody(child);
    ASSERT_NE(body, nullptr);
    ASSERT_NE(body->visualFrame, nullptr);
    EXPECT_EQ(body->visualFrame->GetParent(), RootFrame);

    EXPECT_EQ(QE_XPhBodyRemoveFromWorld(child), 1);
    EXPECT_EQ(body->visualFrame->GetParent(), nullptr); // not drawn
    EXPECT_EQ(body->Parent(), CurrentWorld->parkedRoot); // not simulated, still the world's
    EXPECT_EQ(QE_XPhBodyAddToWorld(child), 1);
    EXPECT_EQ(body->visualFrame->GetParent(), RootFrame);
    EXPECT_EQ(body->Parent(), CurrentWorld->activeRoot);

    // In and out again, then destroyed: the world keeps nothing of it (a step and the world's end must not
    // meet the body's leaves).
    QE_XPhBody* other = Box(6.0f);
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(other, 0), 1);
    EXPECT_EQ(QE_XPhBodyRemoveFromWorld(other), 1);
    EXPECT_EQ(QE_XPhBodyAddToWorld(other), 1);
    EXPECT_EQ(QE_XPhBodyAddToWorld(other), 1); // already there: taken in once
    EXPECT_EQ(QE_XPhBodyRemoveFromWorld(other), 1);
    EXPECT_EQ(QE_DeleteXPhBody(other), 1);
    // A deleted body's handle is stale everywhere.
    QE_RenderData data;
    QE_PickResult pick;
    const float v3[3] = {0, 0, 1}, start[3] = {-10, 0, 0}, ray[3] = {1, 0, 0};
    const float m16[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    struct Row {
        const char* what;
        long long result;
    } stale[] = {
        {"add to world", QE_XPhBodyAddToWorld(other)},
        {"remove from world", QE_XPhBodyRemoveFromWorld(other)},
        {"remove child", QE_XPhBodyRemoveChild(other)},
        {"joint child", QE_XPhBodyAddJointChild(parent, other, v3, v3, v3, 1.0f) != nullptr},
        {"fixed child", QE_XPhBodyAddFixedChild(other, parent)},
        {"parent", QE_XPhBodyGetParent(other) != nullptr},
        {"child", QE_XPhBodyGetChild(other) != nullptr},
        {"current joint", QE_XPhBodyGetCurrentJoint(other) != nullptr},
        {"render data", QE_GetXPhBodyRenderData(other, &data)},
        {"collision data", QE_GetXPhBodyCollisionData(other, &data)},
        {"texture", QE_SetXPhBodyTexture(other, "a.bmp")},
        {"vertex transform", QE_SetXPhVertexTransformMat(other, m16)},
        {"pick skipping it", QE_XPhRayPickNCBody(other, start, ray, &pick)},
    };
    for (const Row& r : stale)
        EXPECT_EQ(r.result, 0) << r.what;
    Box(8.0f);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);

    // A fixed child is placed relative to its parent and hangs under it.
    ASSERT_EQ(QE_XPhBodyAddFixedChild(parent, child), 1);
    EXPECT_EQ(QE_XPhBodyGetParent(child), parent);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(child), nullptr);
    EXPECT_FLOAT_EQ(body->GetMatrix().m[12], 2.0f);
    EXPECT_EQ(QE_XPhBodyAddFixedChild(child, parent), 0); // no loops
    EXPECT_EQ(QE_XPhBodyAddFixedChild(child, child), 0);
}

// A body fixed to a body that hangs from another keeps its place in the world, and goes along at once when the
// top of the tree is moved (before any step).
TEST_F(JointTest, FixedChildKeepsItsPlaceAndFollowsAMovedTree)
{
    ASSERT_EQ(QE_SetGravity(0.0f), 1);
    QE_XPhBody* root = Box(0.0f);
    QE_XPhBody* arm = Box(2.0f);
    QE_XPhBody* tip = Box(0.0f);
    ASSERT_NE(Hinge(root, arm), nullptr);
    auto place = [](QE_XPhBody* b, float x, float y, float z) {
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
        return QE_SetXPhBodyMat(b, m);
    };
    ASSERT_EQ(place(root, 5.0f, 0.0f, 0.0f), 1); // the arm's own matrix is now relative to the root
    ASSERT_EQ(place(tip, 7.0f, -3.0f, 0.0f), 1);
    auto world = [](QE_XPhBody* b) {
        float m[16] = {};
        EXPECT_EQ(QE_GetXPhBodyGMat(b, m), 1);
        return std::vector<float>{m[12], m[13], m[14]};
    };
    ASSERT_EQ(QE_XPhBodyAddFixedChild(arm, tip), 1);
    EXPECT_EQ(world(tip), (std::vector<float>{7.0f, -3.0f, 0.0f}));
    ASSERT_EQ(place(root, 5.0f, 10.0f, 0.0f), 1);
    const std::vector<float> moved = world(tip);
    EXPECT_NEAR(moved[0], 7.0f, 1e-4f);
    EXPECT_NEAR(moved[1], 7.0f, 1e-4f);
    EXPECT_NEAR(moved[2], 0.0f, 1e-4f);

    // Let go while the arm carrying it rises: the tip stays where it is, and keeps rising.
    const float up[3] = {0.0f, 4.0f, 0.0f};
    ASSERT_EQ(QE_XPhBodySetVelocity(arm, up), 1);
    const std::vector<float> carried = world(tip);
    ASSERT_EQ(QE_XPhBodyRemoveChild(tip), 1);
    EXPECT_EQ(QE_XPhBodyGetParent(tip), nullptr);
    const std::vector<float> released = world(tip);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(released[i], carried[i], 1e-3f) << i;
    float v[3] = {};
    ASSERT_EQ(QE_XPhBodyGetVelocity(tip, v), 1);
    EXPECT_NEAR(v[1], 4.0f, 0.5f);
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_GT(world(tip)[1], released[1]);
}

// A box picked up from the ground, carried away and let go near the ground again stays where it is let go: the
// world takes it in at its new place, not where it was picked up.
TEST_F(JointTest, BodyPickedUpCarriedAndLetGoStaysWhereItIsLetGo)
{
    QE_XPhBody* ground = QE_LoadXPhBody(QE_DATA_DIR "/road.x");
    ASSERT_NE(ground, nullptr);
    const float low[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1};
    ASSERT_EQ(QE_SetXPhBodyMat(ground, low), 1);
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(ground, 0), 1);
    QE_XPhBody* box = Box(0.0f);
    for (int i = 0; i < 50; ++i) // comes to rest on the ground
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    QE_XPhBody* carrier = Box(0.0f);
    const float above[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2.05f, 0, 1};
    ASSERT_EQ(QE_SetXPhBodyMat(carrier, above), 1);
    ASSERT_EQ(QE_XPhBodyAddFixedChild(carrier, box), 1);
    const float away[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 6, 2.1f, 0, 1};
    ASSERT_EQ(QE_SetXPhBodyMat(carrier, away), 1);
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    ASSERT_EQ(QE_XPhBodyRemoveChild(box), 1);
    float m[16] = {};
    ASSERT_EQ(QE_GetXPhBodyGMat(box, m), 1);
    const float x = m[12];
    EXPECT_NEAR(x, 6.0f, 0.2f);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    ASSERT_EQ(QE_GetXPhBodyGMat(box, m), 1);
    EXPECT_NEAR(m[12], x, 0.3f);
    EXPECT_NEAR(m[14], 0.0f, 0.3f);
}

TEST_F(JointTest, Builtins)
{
    Run("(def p (LoadXPhBody \"" + std::string(BoxFile) + "\"))");
    Run("(def c (LoadXPhBody \"" + std::string(BoxFile) + "\"))");
    Run("(SetXPhBodyMat c '((1 0 0) (0 1 0) (0 0 1) (2 0 0)))");
    RunCases<22>({
        {"(XPhBodyAddJointChild p c '(0 0 0) '(0 0 0) '(1 0 0) 0.5)", "nil\n"}, // no joint: nothing attached
        {"(XPhBodyGetParent c)", "nil\n"},
        {"(def j (XPhBodyAddJointChild p c '(0 0 0) '(0 0 1) '(1 0 0) 0.5))", "j\n"},
        {"j", "<LSObj TZevLispXPhJoint>\n"},
        {"(eq (XPhBodyGetParent c) p)", "t\n"},
        {"(eq (XPhBodyGetChild p) c)", "t\n"},
        {"(XPhBodyGetParent p)", "nil\n"},
        {"(XPhBodyGetJuniorNoLoop c)", "nil\n"},
        {"(XPhBodyGetSeniorNoLoop c)", "nil\n"},
        {"(XPhJointSetTorque j 2)", "t\n"},
        {"(XPhJointSetBrake2 j 0.5)", "t\n"},
        {"(XPhJointGetBrake2 j)", "0.500000\n"},
        {"(XPhJointGetBrake j)", "0.000000\n"},
        {"(XPhJointSetMaxTheta j 1)", "t\n"},
        {"(XPhJointGetMaxTheta j)", "1.000000\n"},
        {"(XPhJointGetTheta j)", "0.000000\n"},
        {"(XPhJointSetAxisCount j 2)", "t\n"},
        {"(XPhJointGetAxisCount j)", "2\n"},
        {"(XPhBodyJointLimitFlag j nil)", "t\n"},
        {"(XPhBodyJointSpringCoeff j 12)", "t\n"},
        {"(XPhBodyJointAxisSpringLimit j 0.3)", "t\n"},
        {"(XPhBodyJointGuessParam j)", "t\n"},
    });
    // The script form gives all five links the same limit, size x 0.05 (the export holds link 1 to size x 0.01).
    auto* wrapper = dynamic_cast<TZevLispXPhJoint*>(Object("j"));
    ASSERT_NE(wrapper, nullptr);
    ASSERT_NE(wrapper->Joint, nullptr);
    for (int k = 0; k < 5; ++k)
        EXPECT_FLOAT_EQ(wrapper->Joint->Links[k]->Tolerance, wrapper->Joint->Size * 0.05f) << k;
    // Their limit setters: link 1 alone, and links 2 to 5.
    RunCases<2>({{"(XPhBodyJointTorqueSpringLimit j 0.4)", "t\n"}, {"(XPhBodyJointAxisSpringLimit j 0.3)", "t\n"}});
    for (int k = 0; k < 5; ++k)
        EXPECT_FLOAT_EQ(wrapper->Joint->Links[k]->Tolerance, k == 0 ? 0.3f : 0.4f) << k;
    RunCases<8>({
        // Bad arguments: the interpreter's error; wrappers of the wrong class: nil.
        {"(XPhJointSetTorque j \"x\")", "Error: Bad Argument!\n   in \"(XPhJointSetTorque j \"x\")\"\n\n"},
        {"(XPhJointSetTorque p 1)", "nil\n"},
        {"(XPhJointGetTheta p)", "nil\n"},
        {"(XPhBodyGetChild j)", "nil\n"},
        {"(XPhBodyAddJointChild j c '(0 0 0) '(0 0 1) '(1 0 0) 0.5)", "nil\n"},
        {"(XPhBodyRemoveChild (CreateZevLispObj \"TZevStringTree\"))", "nil\n"},
        {"(XPhBodyRemoveChild c)", "t\n"},
        {"(XPhJointGetTheta j)", "nil\n"}, // the joint went with the attachment
    });
    RunCases<4>({
        {"(XPhBodyRemoveFromWorld c)", "t\n"},
        {"(XPhBodyAddToWorld c)", "t\n"},
        {"(XPhBodyAddFixedChild p c)", "t\n"},
        {"(eq (XPhBodyGetParent c) p)", "t\n"},
    });
}

// The world takes the new joint into its step; the joint leaves it with its attachment.
TEST_F(JointTest, WorldStepsTheJoint)
{
    QE_XPhBody* parent = Box(0.0f);
    QE_XPhBody* child = Box(2.0f);
    QE_XPhJoint* handle = Hinge(parent, child, 0.5f);
    ASSERT_NE(handle, nullptr);
    auto inWorld = [](TZevJoint* joint) {
        for (TZevOwnerListLink* l = CurrentWorld->Joints->First(); l != CurrentWorld->Joints->End(); l = l->next) {
            if (static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(l)) == joint)
                return true;
        }
        return false;
    };
    TZevJoint* joint = QEJoint(handle);
    ASSERT_NE(joint, nullptr);
    EXPECT_TRUE(inWorld(joint));
    ASSERT_EQ(QE_XPhJointSetTorque(handle, 5.0f), 1);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    float theta = 0.0f, rate = 0.0f;
    ASSERT_EQ(QE_XPhJointGetTheta(handle, &theta), 1);
    ASSERT_EQ(QE_XPhJointGetDTheta(handle, &rate), 1);
    EXPECT_TRUE(std::isfinite(theta) && std::isfinite(rate));
    EXPECT_FLOAT_EQ(joint->NetTorque, 5.0f - joint->RotationalDamper * joint->PrevDTheta);
    // Changing the child's meshes keeps its joint.
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1};
    ASSERT_EQ(QE_SetXPhVertexTransformMat(child, shift), 1);
    QE_Vertex v[4] = {{0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 0},
                      {0, 0, 1, 0, 0, 0, 0, 0}};
    unsigned short f0[3] = {0, 2, 1}, f1[3] = {0, 1, 3}, f2[3] = {0, 3, 2}, f3[3] = {1, 2, 3};
    QE_Face faces[4] = {{3, f0}, {3, f1}, {3, f2}, {3, f3}};
    ASSERT_EQ(QE_SetCollisionVertices(child, 4, v, 4, faces), 1);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(child), handle);
    EXPECT_EQ(QE_XPhBodyGetParent(child), parent);
    EXPECT_TRUE(inWorld(joint));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    ASSERT_EQ(QE_XPhBodyRemoveChild(child), 1);
    EXPECT_FALSE(inWorld(joint));
    ASSERT_EQ(QE_PhOnlyStep(), 1);
}

} // namespace
