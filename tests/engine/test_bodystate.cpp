// Body state through the exports and their builtin twins, and bad input through the C interface: null and
// deleted handles, key codes out of range, null out pointers, wrappers of another class.
#include "EngineTestHost.h"
#include "QEContext.h"
#include "ZevGameChara.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string DataDir = QE_DATA_DIR;

TZevGameChara* Body(QE_XPhBody* handle) { return reinterpret_cast<TZevGameChara*>(handle); }

class BodyStateTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(QE_PhOnlyInit(), 1);
        ASSERT_EQ(Run("(AddXPhObjectPath \"" + DataDir + "/\") (def b (LoadXPhBody \"lbox.x\"))"), "t\nb\n");
        body = QE_LoadXPhBody("chair.x");
        ASSERT_NE(body, nullptr);
    }
    QE_XPhBody* body = nullptr;
};

TEST_F(BodyStateTest, PhysicsMode)
{
    int flag = -1;
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(body, 0), 1);
    ASSERT_EQ(QE_GetXPhBodyPhysicsMode(body, &flag), 1);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(QE_SetXPhBodyPhysicsMode(body, 1), 1);
    ASSERT_EQ(QE_GetXPhBodyPhysicsMode(body, &flag), 1);
    EXPECT_EQ(flag, 0);
    // The builtin only fixes: another mode leaves the flag.
    EXPECT_EQ(Run("(SetXPhBodyPhysicsMode b 1)"), "t\n");
    EXPECT_EQ(Run("(SetXPhBodyPhysicsMode b 0)"), "t\n");
    EXPECT_EQ(Run("(SetXPhBodyPhysicsMode b 1)"), "t\n");
}

TEST_F(BodyStateTest, MatricesRoundTripWithTheFourthColumnFixed)
{
    const float m[16] = {0, 1, 0, 9, -1, 0, 0, 9, 0, 0, 1, 9, 1.5f, 2.0f, -3.0f, 7};
    ASSERT_EQ(QE_SetXPhBodyMat(body, m), 1);
    float back[16], global[16];
    ASSERT_EQ(QE_GetXPhBodyMat(body, back), 1);
    ASSERT_EQ(QE_GetXPhBodyGMat(body, global), 1);
    for (int i = 0; i < 16; ++i) {
        const float expected = (i % 4 == 3) ? (i == 15 ? 1.0f : 0.0f) : m[i];
        EXPECT_FLOAT_EQ(back[i], expected) << i;
        EXPECT_FLOAT_EQ(global[i], expected) << i;
    }
    // The body stays in the world and drawn.
    EXPECT_EQ(Body(body)->ParentTree(), CurrentWorld->activeRoot);
    EXPECT_EQ(Body(body)->visualFrame->GetParent(), RootFrame);

    EXPECT_EQ(Run("(SetXPhBodyMat b '((0 0 1) (0 1 0) (-1 0 0) (4 5 6))) (GetXPhBodyMat b)"),
              "t\n((0.000000 0.000000 1.000000) (0.000000 1.000000 0.000000) (-1.000000 0.000000 0.000000) "
              "(4.000000 5.000000 6.000000))\n");
    EXPECT_EQ(Run("(GetXPhBodyGMat b)"),
              "((0.000000 0.000000 1.000000) (0.000000 1.000000 0.000000) (-1.000000 0.000000 0.000000) "
              "(4.000000 5.000000 6.000000))\n");
    EXPECT_EQ(Run("(MoveToXPhBodyMat b '((1 0 0) (0 1 0) (0 0 1) (1 2 3))) (XPhBodyGetAABB b)").substr(0, 2), "t\n");
    EXPECT_NE(Run("(SetXPhBodyMat b '((1 0 0) (0 1 0)))").find("Bad Argument!"), std::string::npos);
}

TEST_F(BodyStateTest, SettingTheMatrixOfAnAttachedBodyKeepsItAttached)
{
    QE_XPhBody* child = QE_LoadXPhBody("lbox.x");
    const float anchor[3] = {0, 0, 0}, axis1[3] = {0, 0, 1}, axis2[3] = {1, 0, 0};
    QE_XPhJoint* joint = QE_XPhBodyAddJointChild(body, child, anchor, axis1, axis2, 1.0f);
    ASSERT_NE(joint, nullptr);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1};
    EXPECT_EQ(QE_SetXPhBodyMat(child, m), 1);
    EXPECT_EQ(QE_XPhBodyGetParent(child), body);
    EXPECT_EQ(QE_XPhBodyGetCurrentJoint(child), joint);
    EXPECT_EQ(Body(body)->ParentTree(), CurrentWorld->activeRoot);
    EXPECT_EQ(QE_XPhBodyCollisionBoxApprox(child), 1);
    EXPECT_EQ(QE_XPhBodyGetParent(child), body);
    EXPECT_EQ(QE_PhOnlyStep(), 1);
}

TEST_F(BodyStateTest, VisualMaterial)
{
    const float d[4] = {0.1f, 0.2f, 0.3f, 0.4f}, a[4] = {0.5f, 0.6f, 0.7f, 0.8f}, s[4] = {0.9f, 1.0f, 0.0f, 1.0f};
    ASSERT_EQ(QE_XPhBodySetVisualMaterial(body, d, a, s, 12.0f), 1);
    float d2[4], a2[4], s2[4], p = 0;
    ASSERT_EQ(QE_XPhBodyGetVisualMaterial(body, d2, a2, s2, &p), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d2[i], d[i]);
        EXPECT_EQ(a2[i], a[i]);
        EXPECT_EQ(s2[i], s[i]);
    }
    EXPECT_EQ(p, 12.0f);
    EXPECT_EQ(Run("(XPhBodySetVisualMaterial b '((1 0 0 1) (0 1 0 1) (0 0 1 1) 5)) (XPhBodyGetVisualMaterial b)"),
              "t\n((1.000000 0.000000 0.000000 1.000000) (0.000000 1.000000 0.000000 1.000000) "
              "(0.000000 0.000000 1.000000 1.000000) 5.000000)\n");

    // A body without a visual mesh: 0, and the default material written all the same.
    QE_XPhBody* empty = QE_MakeEmptyXPhBody();
    for (float& v : d2)
        v = -1.0f;
    p = -1.0f;
    EXPECT_EQ(QE_XPhBodyGetVisualMaterial(empty, d2, a2, s2, &p), 0);
    EXPECT_EQ(d2[0], DefaultMaterial.Diffuse[0]);
    EXPECT_EQ(a2[1], DefaultMaterial.Ambient[1]);
    EXPECT_EQ(p, DefaultMaterial.Power);
    EXPECT_EQ(Run("(XPhBodyGetVisualMaterial (MakeEmptyXPhBody))"), "nil\n");
}

TEST_F(BodyStateTest, ForcesGoToTheAccumulators)
{
    TZevGameChara* c = Body(body);
    const TZevVector centre = c->MainPart->GetPosition();
    const float atCentre[3] = {centre.x, centre.y, centre.z};
    const float force[3] = {0, 0, 2};
    ASSERT_EQ(QE_XPhBodyAddForce(body, atCentre, force), 1);
    EXPECT_EQ(c->ForceAccumulator.z, 2.0f);
    EXPECT_EQ(c->TorqueAccumulator.x, 0.0f);
    EXPECT_EQ(c->TorqueAccumulator.y, 0.0f);
    // One unit along x from the centre: torque (1, 0, 0) x (0, 0, 2) = (0, -2, 0).
    const float offset[3] = {centre.x + 1, centre.y, centre.z};
    ASSERT_EQ(QE_XPhBodyAddForce(body, offset, force), 1);
    EXPECT_EQ(c->ForceAccumulator.z, 4.0f);
    EXPECT_FLOAT_EQ(c->TorqueAccumulator.y, -2.0f);
    const float linear[3] = {1, 0, 0}, angular[3] = {0, 0, 3};
    ASSERT_EQ(QE_XPhBodyAddLinearForce(body, linear), 1);
    ASSERT_EQ(QE_XPhBodyAddAngularForce(body, angular), 1);
    EXPECT_EQ(c->ForceAccumulator.x, 1.0f);
    EXPECT_EQ(c->TorqueAccumulator.z, 3.0f);

    // The builtin takes the force before the point.
    TZevGameChara* scripted = static_cast<TZevLispXPhBody*>(XPhBodyList.Last()->data)->Body;
    const TZevVector p = scripted->MainPart->GetPosition();
    const std::string point = "'(" + std::to_string(p.x + 1) + " " + std::to_string(p.y) + " " +
                              std::to_string(p.z) + ")";
    EXPECT_EQ(Run("(XPhBodyAddForce b '(0 0 2) " + point + ") (XPhBodyAddLinearForce b '(1 2 3)) "
                  "(XPhBodyAddAngularForce b '(0 0 1))"),
              "t\nt\nt\n");
    EXPECT_FLOAT_EQ(scripted->ForceAccumulator.z, 5.0f);
    EXPECT_FLOAT_EQ(scripted->TorqueAccumulator.y, -2.0f);
    EXPECT_FLOAT_EQ(scripted->TorqueAccumulator.z, 1.0f);
}

TEST_F(BodyStateTest, VelocitiesMassInertiaBoxAndAirResistance)
{
    const float v[3] = {1, -2, 3}, w[3] = {0.5f, 0, -0.5f};
    float out[3];
    ASSERT_EQ(QE_XPhBodySetVelocity(body, v), 1);
    ASSERT_EQ(QE_XPhBodyGetVelocity(body, out), 1);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(v, v + 3));
    EXPECT_EQ(Body(body)->MainPart->PrevVelocity.y, -2.0f); // no jump at the next step
    ASSERT_EQ(QE_XPhBodySetAVelocity(body, w), 1);
    ASSERT_EQ(QE_XPhBodyGetAVelocity(body, out), 1);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(w, w + 3));
    EXPECT_EQ(Body(body)->MainPart->PrevAngularVelocity.x, 0.5f);
    EXPECT_EQ(Run("(XPhBodySetVelocity b '(1 2 3)) (XPhBodyGetVelocity b) (XPhBodySetAVelocity b '(0 1 0)) "
                  "(XPhBodyGetAVelocity b)"),
              "t\n(1.000000 2.000000 3.000000)\nt\n(0.000000 1.000000 0.000000)\n");

    float t[9], fromBox[9], mass = 0;
    ASSERT_EQ(QE_XPhBodyGetInertiaTensorFromAABB(body, &fromBox[0], &fromBox[1], &fromBox[2], &fromBox[3],
                                                 &fromBox[4], &fromBox[5], &fromBox[6], &fromBox[7], &fromBox[8]),
              1);
    ASSERT_EQ(QE_XPhBodySetMass(body, 2.0f), 1);
    ASSERT_EQ(QE_XPhBodyGetMass(body, &mass), 1);
    EXPECT_EQ(mass, 2.0f);
    EXPECT_EQ(QE_XPhBodySetMass(body, 0.0f), 0); // refused: no mass of 0
    // The mass does not change the stored tensor; the box tensor grows with it.
    ASSERT_EQ(QE_XPhBodyGetInertiaTensor(body, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &t[7], &t[8]), 1);
    EXPECT_FLOAT_EQ(t[0], fromBox[0]);
    float twice[9];
    ASSERT_EQ(QE_XPhBodyGetInertiaTensorFromAABB(body, &twice[0], &twice[1], &twice[2], &twice[3], &twice[4],
                                                 &twice[5], &twice[6], &twice[7], &twice[8]),
              1);
    EXPECT_FLOAT_EQ(twice[4], 2.0f * fromBox[4]);
    ASSERT_EQ(QE_XPhBodySetInertiaTensor(body, 1, 0, 0, 0, 2, 0, 0, 0, 3), 1);
    ASSERT_EQ(QE_XPhBodyGetInertiaTensor(body, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &t[7], &t[8]), 1);
    EXPECT_EQ(t[4], 2.0f);
    EXPECT_EQ(Run("(XPhBodySetMass b 4) (XPhBodyGetMass b) (XPhBodySetInertiaTensor b '((1 0 0) (0 1 0) (0 0 2))) "
                  "(XPhBodyGetInertiaTensor b)"),
              "t\n4.000000\nt\n((1.000000 0.000000 0.000000) (0.000000 1.000000 0.000000) (0.000000 0.000000 "
              "2.000000))\n");

    float box[6];
    ASSERT_EQ(QE_XPhBodyGetAABB(body, &box[0], &box[1], &box[2], &box[3], &box[4], &box[5]), 1);
    EXPECT_EQ(box[0], Body(body)->box.Min.x);
    EXPECT_EQ(box[5], Body(body)->box.Max.z);
    EXPECT_LT(box[0], box[3]);

    float air = 0;
    ASSERT_EQ(QE_XPhBodySetEAirRegistance1(body, 0.3f), 1);
    ASSERT_EQ(QE_XPhBodySetEAirRegistance2(body, 0.7f), 1);
    ASSERT_EQ(QE_XPhBodyGetEAirRegistance1(body, &air), 1);
    EXPECT_EQ(air, 0.3f);
    ASSERT_EQ(QE_XPhBodyGetEAirRegistance2(body, &air), 1);
    EXPECT_EQ(air, 0.7f);
    EXPECT_EQ(Run("(XPhBodySetEAirRegistance b 0.25) (XPhBodyGetEAirRegistance b)"), "t\n0.250000\n");
}

TEST_F(BodyStateTest, CollisionPairsGroupsAndMainCharacter)
{
    QE_XPhBody* other = QE_MakeEmptyXPhBody();
    ASSERT_EQ(QE_XPhBodyEnableCollisionPair(body, other, 0), 1);
    EXPECT_TRUE(Body(body)->NoCollisionList.Remove(Body(other)));
    Body(body)->NoCollisionList.Add(Body(other));
    ASSERT_EQ(QE_XPhBodyEnableCollisionPair(body, other, 1), 1);
    EXPECT_TRUE(Body(body)->NoCollisionList.IsEmpty());
    EXPECT_TRUE(Body(other)->NoCollisionList.IsEmpty());
    EXPECT_EQ(QE_XPhBodyEnableCollisionPair(body, nullptr, 0), 0);
    EXPECT_EQ(Run("(def e (MakeEmptyXPhBody)) (XPhBodyEnableCollisionPair b e nil)"), "e\nt\n");
    EXPECT_EQ(Run("(XPhBodyEnableCollisionPair b e t)"), "t\n");
    EXPECT_EQ(Run("(XPhBodySetEachChildNoCollision b) (XPhBodySetSameCGroupEachChild b)"), "t\nt\n");
    EXPECT_EQ(QE_XPhBodySetSameCGroupEachChild(body), 1);

    // The main character goes where a scene publishes its slot; without a slot nothing is stored.
    EXPECT_EQ(Run("(XPhBodySetMainChara b)"), "t\n");
    TZevGameChara* main = nullptr;
    MainCharaSlot = &main;
    EXPECT_EQ(Run("(XPhBodySetMainChara b)"), "t\n");
    MainCharaSlot = nullptr;
    EXPECT_NE(main, nullptr);
}

// A pair switched off passes through each other in the world step; switched on again, the box rests.
TEST_F(BodyStateTest, ASwitchedOffPairDoesNotCollide)
{
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "pair enabled" : "pair switched off");
        ASSERT_EQ(QE_PhOnlyInit(), 1);
        QE_XPhBody* floor = QE_LoadXPhBody("road.x");
        QE_XPhBody* box = QE_LoadXPhBody("lbox.x");
        ASSERT_NE(floor, nullptr);
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(QE_SetXPhBodyPhysicsMode(floor, 0), 1);
        float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2, 0, 1};
        ASSERT_EQ(QE_SetXPhBodyMat(box, m), 1);
        ASSERT_EQ(QE_XPhBodyEnableCollisionPair(box, floor, enabled ? 1 : 0), 1);
        for (int i = 0; i < 150; ++i)
            ASSERT_EQ(QE_PhOnlyStep(), 1);
        ASSERT_EQ(QE_GetXPhBodyMat(box, m), 1);
        if (enabled)
            EXPECT_GT(m[13], 0.5f); // resting on the road's top at y = 0 (box half-size 1)
        else
            EXPECT_LT(m[13], -5.0f);
    }
}

TEST_F(BodyStateTest, KeyCodesOutsideTheTableAreNeverDown)
{
    std::uint8_t keys[256] = {};
    keys[0] = keys[65] = keys[255] = 1;
    struct Case {
        int key;
        int withoutTable;
        int withTable;
    } cases[] = {{0, 0, 1}, {65, 0, 1}, {66, 0, 0}, {255, 0, 1}, {256, 0, 0}, {-1, 0, 0}, {1000, 0, 0},
                 {INT_MIN, 0, 0}, {INT_MAX, 0, 0}};
    for (const Case& c : cases) {
        KeyStateTable = nullptr;
        EXPECT_EQ(QE_XPhBodyGetKeyState(c.key), c.withoutTable) << c.key;
        EXPECT_EQ(Run("(XPhBodyGetKeyState b " + std::to_string(c.key) + ")"), "nil\n") << c.key;
        KeyStateTable = keys;
        EXPECT_EQ(QE_XPhBodyGetKeyState(c.key), c.withTable) << c.key;
        EXPECT_EQ(Run("(XPhBodyGetKeyState b " + std::to_string(c.key) + ")"), c.withTable ? "t\n" : "nil\n")
            << c.key;
    }
    KeyStateTable = nullptr;
}

// Every body export with a null handle, a deleted body's handle and a pointer that is no body: 0 (or null), and
// nothing happens.
TEST_F(BodyStateTest, BadHandlesGiveZero)
{
    QE_XPhBody* deleted = QE_MakeEmptyXPhBody();
    ASSERT_EQ(QE_DeleteXPhBody(deleted), 1);
    int notABody[64] = {};
    float f[16] = {}, g[4] = {}, h[4] = {}, p = 0;
    int i = 0;
    const std::vector<std::pair<const char*, std::function<long(QE_XPhBody*)>>> calls = {
        {"DeleteXPhBody", [](QE_XPhBody* b) { return QE_DeleteXPhBody(b); }},
        {"LoadXPhBodyVisual", [](QE_XPhBody* b) { return QE_LoadXPhBodyVisual(b, "lbox.x"); }},
        {"CollisionBoxApprox", [](QE_XPhBody* b) { return QE_XPhBodyCollisionBoxApprox(b); }},
        {"SaveToFile", [](QE_XPhBody* b) { return QE_XPhBodySaveToFile(b, "bad.body"); }},
        {"SetPhysicsMode", [](QE_XPhBody* b) { return QE_SetXPhBodyPhysicsMode(b, 0); }},
        {"GetPhysicsMode", [&](QE_XPhBody* b) { return QE_GetXPhBodyPhysicsMode(b, &i); }},
        {"SetMat", [&](QE_XPhBody* b) { return QE_SetXPhBodyMat(b, f); }},
        {"GetMat", [&](QE_XPhBody* b) { return QE_GetXPhBodyMat(b, f); }},
        {"GetGMat", [&](QE_XPhBody* b) { return QE_GetXPhBodyGMat(b, f); }},
        {"SetVisualMaterial", [&](QE_XPhBody* b) { return QE_XPhBodySetVisualMaterial(b, f, g, h, 1); }},
        {"GetVisualMaterial", [&](QE_XPhBody* b) { return QE_XPhBodyGetVisualMaterial(b, f, g, h, &p); }},
        {"AddForce", [&](QE_XPhBody* b) { return QE_XPhBodyAddForce(b, f, g); }},
        {"AddLinearForce", [&](QE_XPhBody* b) { return QE_XPhBodyAddLinearForce(b, f); }},
        {"AddAngularForce", [&](QE_XPhBody* b) { return QE_XPhBodyAddAngularForce(b, f); }},
        {"GetVelocity", [&](QE_XPhBody* b) { return QE_XPhBodyGetVelocity(b, f); }},
        {"SetVelocity", [&](QE_XPhBody* b) { return QE_XPhBodySetVelocity(b, f); }},
        {"GetAVelocity", [&](QE_XPhBody* b) { return QE_XPhBodyGetAVelocity(b, f); }},
        {"SetAVelocity", [&](QE_XPhBody* b) { return QE_XPhBodySetAVelocity(b, f); }},
        {"SetSameCGroupEachChild", [](QE_XPhBody* b) { return QE_XPhBodySetSameCGroupEachChild(b); }},
        {"SetMass", [](QE_XPhBody* b) { return QE_XPhBodySetMass(b, 1); }},
        {"GetMass", [&](QE_XPhBody* b) { return QE_XPhBodyGetMass(b, &p); }},
        {"SetInertiaTensor", [](QE_XPhBody* b) { return QE_XPhBodySetInertiaTensor(b, 1, 0, 0, 0, 1, 0, 0, 0, 1); }},
        {"GetInertiaTensor",
         [&](QE_XPhBody* b) {
             return QE_XPhBodyGetInertiaTensor(b, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8]);
         }},
        {"GetInertiaTensorFromAABB",
         [&](QE_XPhBody* b) {
             return QE_XPhBodyGetInertiaTensorFromAABB(b, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7],
                                                       &f[8]);
         }},
        {"GetAABB", [&](QE_XPhBody* b) { return QE_XPhBodyGetAABB(b, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]); }},
        {"SetEAirRegistance1", [](QE_XPhBody* b) { return QE_XPhBodySetEAirRegistance1(b, 1); }},
        {"SetEAirRegistance2", [](QE_XPhBody* b) { return QE_XPhBodySetEAirRegistance2(b, 1); }},
        {"GetEAirRegistance1", [&](QE_XPhBody* b) { return QE_XPhBodyGetEAirRegistance1(b, &p); }},
        {"GetEAirRegistance2", [&](QE_XPhBody* b) { return QE_XPhBodyGetEAirRegistance2(b, &p); }},
        {"EnableCollisionPair", [this](QE_XPhBody* b) { return QE_XPhBodyEnableCollisionPair(b, body, 0); }},
        {"SetCFunction",
         [](QE_XPhBody* b) {
             QE_CFunctionDesc d = {"x", nullptr, nullptr, nullptr, nullptr};
             return reinterpret_cast<long>(QE_XPhBodySetCFunction(b, &d));
         }},
        {"GetCFunction",
         [](QE_XPhBody* b) {
             QE_CFunctionDesc d = {};
             return reinterpret_cast<long>(QE_XPhBodyGetCFunction(b, 1, &d));
         }},
    };
    for (QE_XPhBody* bad : {static_cast<QE_XPhBody*>(nullptr), deleted, reinterpret_cast<QE_XPhBody*>(notABody)}) {
        for (const auto& [name, call] : calls)
            EXPECT_EQ(call(bad), 0) << name;
    }
    // Null out pointers on a good body.
    EXPECT_EQ(QE_GetXPhBodyMat(body, nullptr), 0);
    EXPECT_EQ(QE_XPhBodyGetMass(body, nullptr), 0);
    EXPECT_EQ(QE_XPhBodyGetVelocity(body, nullptr), 0);
    EXPECT_EQ(QE_XPhBodySetVisualMaterial(body, nullptr, g, h, 1), 0);
    EXPECT_EQ(QE_GetXPhBodyPhysicsMode(body, nullptr), 0);
}

// Every body builtin with a wrapper of another class, and with a body deleted: nil.
TEST_F(BodyStateTest, BuiltinsRefuseOtherWrappersAndDeletedBodies)
{
    const char* forms[] = {
        "(SetXPhBodyPhysicsMode @ 0)", "(SetXPhBodyMat @ '((1 0 0) (0 1 0) (0 0 1) (0 0 0)))",
        "(MoveToXPhBodyMat @ '((1 0 0) (0 1 0) (0 0 1) (0 0 0)))", "(GetXPhBodyMat @)", "(GetXPhBodyGMat @)",
        "(XPhBodySetVisualMaterial @ '((1 0 0 1) (0 1 0 1) (0 0 1 1) 5))", "(XPhBodyGetVisualMaterial @)",
        "(XPhBodyAddForce @ '(0 0 1) '(0 0 0))", "(XPhBodyAddLinearForce @ '(0 0 1))",
        "(XPhBodyAddAngularForce @ '(0 0 1))", "(XPhBodyGetVelocity @)", "(XPhBodySetVelocity @ '(0 0 1))",
        "(XPhBodyGetAVelocity @)", "(XPhBodySetAVelocity @ '(0 0 1))", "(XPhBodySetEachChildNoCollision @)",
        "(XPhBodySetSameCGroupEachChild @)", "(XPhBodySetMainChara @)", "(XPhBodyGetKeyState @ 1)",
        "(XPhBodySetMass @ 1)", "(XPhBodyGetMass @)", "(XPhBodySetInertiaTensor @ '((1 0 0) (0 1 0) (0 0 1)))",
        "(XPhBodyGetInertiaTensor @)", "(XPhBodyGetInertiaTensorFromAABB @)", "(XPhBodyGetAABB @)",
        "(XPhBodySetEAirRegistance @ 1)", "(XPhBodyGetEAirRegistance @)", "(XPhBodyEnableCollisionPair @ b nil)",
        "(XPhBodyEnableCollisionPair b @ nil)", "(LoadXPhBodyVisual @ \"lbox.x\")", "(XPhBodyCollisionBoxApprox @)",
        "(XPhBodySetFunction @ 'f)", "(XPhBodyGetFunction @)", "(XPhBodySetData @ 1)", "(XPhBodyGetData @)",
        "(XPhBodyGetFuncResult @)",
    };
    Run("(def frame (CreateZevLispObj \"TZevFrame\")) (def gone (MakeEmptyXPhBody)) (DeleteXPhBody gone)");
    for (const char* bad : {"frame", "gone"}) {
        for (const char* form : forms) {
            std::string text = form;
            text.replace(text.find('@'), 1, bad);
            EXPECT_EQ(Run(text), "nil\n") << text;
        }
    }
    // Without a world every one of them answers nil too.
    QE_PhOnlyFinal();
    for (const char* form : forms) {
        std::string text = form;
        text.replace(text.find('@'), 1, "b");
        EXPECT_EQ(Run(text), "nil\n") << text;
    }
}

} // namespace
