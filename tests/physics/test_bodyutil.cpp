// Body utilities: inertia, bodies from files and boxes, ray picking, joint angles, and edits over body trees.
#include "ZevBodyUtil.h"

#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class BodyUtil : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCharaInit();
        root = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
        world = new TZevPhscs2World;
    }
    void TearDown() override
    {
        delete world;
        delete root;
    }
    TZevGameChara* Box(float x, float y, float z, float half = 0.5f)
    {
        return ZevAsGameChara(CreateBoxXPhBody(nullptr, ZevMatTranslation(x, y, z), root, world,
                                               TZevVector(-half, -half, -half), TZevVector(half, half, half), 1.0f));
    }

    TZevFrame* root = nullptr;
    TZevPhscs2World* world = nullptr;
};

TEST(BodyInertia, BoxTensor)
{
    TZevMatrix3 out;
    CalcBoxInertiaTensor(out, 1.0f, 2.0f, 3.0f, 12.0f);
    const TZevMatrix3 expected(13, 0, 0, 0, 10, 0, 0, 0, 5);
    for (int i = 0; i < 9; ++i)
        EXPECT_FLOAT_EQ(out.m[i], expected.m[i]) << i;
}

TEST_F(BodyUtil, BoxBodyIsPlacedWithItsMassAndFrame)
{
    TZevGameChara* box = Box(1.0f, 2.0f, 3.0f);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->visualFrame->GetParent(), root);
    EXPECT_EQ(box->RigidPart->GetPosition().y, 2.0f);
    EXPECT_FLOAT_EQ(box->RigidPart->Inertia.m[0], 1.0f * (1.0f + 1.0f) / 12.0f);
    // Both vertex arrays hold the placed geometry.
    EXPECT_FLOAT_EQ(box->currentVertices[0].y, box->previousVertices[0].y);
    EXPECT_NEAR(box->box.Min.y, 1.5f, 1e-3f);
    EXPECT_EQ(box->space, world);
}

TEST_F(BodyUtil, BodyFromXFileAndMissingFile)
{
    EXPECT_EQ(CreateXPhBodyFromXFile("no-such-file.x", nullptr, TZevMatrix(), root), nullptr);
    TZevCollisionMeshObj* chair =
        AddXPhBodyFromXFile(QE_DATA_DIR "/chair.x", nullptr, ZevMatTranslation(0.0f, 10.0f, 0.0f), root, world);
    ASSERT_NE(chair, nullptr);
    EXPECT_NE(ZevAsGameChara(chair), nullptr);
    EXPECT_EQ(chair->visualFrame->GetParent(), root);
    EXPECT_GT(chair->box.Min.y, 5.0f); // placed, not at the origin
    // Every body of its tree hangs under it, each with its frame under the body's frame.
    TZevList bodies;
    CollectBodyTree(chair, bodies);
    for (void* item : bodies) {
        auto* b = static_cast<TZevCollisionMeshObj*>(item);
        if (b != chair && b->visualFrame != nullptr) {
            EXPECT_NE(b->visualFrame->GetParent(), nullptr);
        }
    }
}

TEST_F(BodyUtil, RayPicksTheNearestBody)
{
    TZevGameChara* near = Box(0.0f, 0.0f, 0.0f);
    TZevGameChara* far = Box(5.0f, 0.0f, 0.0f);
    world->RefitTrees(0.0f);
    TZevCollisionMeshObj* hit = nullptr;
    TZevVector point;
    float distance = 0.0f;
    RayPickBodies(world, TZevVector(-10.0f, 0.1f, 0.2f), TZevVector(1.0f, 0.0f, 0.0f), &hit, &point, &distance);
    EXPECT_EQ(hit, near);
    EXPECT_NEAR(distance, 9.5f, 1e-4f);
    EXPECT_NEAR(point.x, -0.5f, 1e-4f);
    RayPickBodiesExcept(world, near, TZevVector(-10.0f, 0.1f, 0.2f), TZevVector(1.0f, 0.0f, 0.0f), &hit, &point,
                        &distance);
    EXPECT_EQ(hit, far);
    EXPECT_NEAR(distance, 14.5f, 1e-4f);
    // A ray that meets nothing, and one pointing away.
    for (const TZevVector dir : {TZevVector(0.0f, 1.0f, 0.0f), TZevVector(-1.0f, 0.0f, 0.0f)}) {
        RayPickBodies(world, TZevVector(-10.0f, 0.1f, 0.2f), dir, &hit, &point, &distance);
        EXPECT_EQ(hit, nullptr);
        EXPECT_EQ(distance, ZevRayPickFar);
        EXPECT_EQ(point.x, ZevRayPickFar);
    }
}

TEST_F(BodyUtil, JointAngleTurnsTheAttachedBody)
{
    TZevGameChara* base = Box(0.0f, 0.0f, 0.0f);
    TZevGameChara* arm = Box(0.0f, 2.0f, 0.0f);
    TZevJointSettings settings;
    settings.Pivot = TZevVector(0.0f, 1.0f, 0.0f);
    TZevJoint* joint = base->AttachChildByJointAt(arm, settings, ZevMatTranslation(0.0f, 2.0f, 0.0f));
    ASSERT_NE(joint, nullptr);
    const float quarter = 1.5707964f;
    SetJointAngle(joint, arm, quarter);
    EXPECT_EQ(joint->Theta, quarter);
    // The arm's reference direction now points where the base's turned reference does, and the pivot holds.
    TZevVector armRef, baseRef, armPivot, basePivot;
    arm->RigidPart->LocalToWorldDir(joint->RefB, armRef);
    base->RigidPart->LocalToWorldDir(joint->CurRefA, baseRef);
    EXPECT_NEAR(armRef.x, baseRef.x, 1e-5f);
    EXPECT_NEAR(armRef.y, baseRef.y, 1e-5f);
    EXPECT_NEAR(armRef.z, baseRef.z, 1e-5f);
    arm->RigidPart->LocalToWorld(joint->PivotB, armPivot);
    base->RigidPart->LocalToWorld(joint->PivotA, basePivot);
    EXPECT_NEAR(armPivot.x, basePivot.x, 1e-5f);
    EXPECT_NEAR(armPivot.y, basePivot.y, 1e-5f);
    EXPECT_NEAR(arm->GetMatrix().m[12], arm->RigidPart->Matrix.m[12], 1e-5f);
}

TEST_F(BodyUtil, TreeEdits)
{
    TZevGameChara* parent = Box(0.0f, 0.0f, 0.0f);
    TZevGameChara* a = Box(2.0f, 0.0f, 0.0f);
    TZevGameChara* b = Box(4.0f, 0.0f, 0.0f);
    parent->MoveToParent(a);
    parent->MoveToParent(b);
    TZevList all;
    CollectBodyTree(parent, all);
    EXPECT_EQ(all.GetCount(), 3);
    // Materials over the subtree.
    TZevMaterial red;
    red.Diffuse[0] = 1.0f;
    red.Diffuse[1] = 0.0f;
    SetVisualMaterialTree(parent, red);
    EXPECT_EQ(b->visualMesh->Material.Diffuse[1], 0.0f);
    // Siblings do not collide with each other; parent and child keep their attachment rule.
    SetEachChildNoCollision(parent);
    EXPECT_EQ(a->NoCollisionList.GetCount(), 1);
    EXPECT_EQ(a->NoCollisionList.First()->data, b);
    EXPECT_EQ(parent->NoCollisionList.GetCount(), 0);
    SetSameCollisionGroupEachChild(parent);
    EXPECT_EQ(a->group, parent->group);
    EXPECT_EQ(b->group, parent->group);
    // A new main part for the parent and the children moving with it; null gives each its own part back.
    auto* state = new TZevPhscs2RigidBody;
    SetRigidBodyRecursive(parent, state);
    EXPECT_EQ(parent->MainPart, state);
    EXPECT_EQ(a->MainPart, state);
    SetRigidBodyRecursive(a, nullptr);
    SetRigidBodyRecursive(b, nullptr);
    SetRigidBodyRecursive(parent, nullptr);
    EXPECT_EQ(a->MainPart, a->RigidPart);
    EXPECT_EQ(parent->MainPart, parent->RigidPart);
    delete state;
    // A new own part replaces the old one.
    auto* part = new TZevPhscs2RigidBody;
    SetRigidPart(b, part);
    EXPECT_EQ(b->RigidPart, part);
    EXPECT_EQ(b->MainPart, part);
}

TEST_F(BodyUtil, VerticesCentredOnTheOrigin)
{
    TZevGameChara* box = ZevAsGameChara(CreateBoxXPhBody(nullptr, TZevMatrix(), nullptr, nullptr,
                                                         TZevVector(1, 1, 1), TZevVector(3, 5, 3), 1.0f));
    VertexTransformToCenter(box);
    const TZevMeshData& data = *box->collisionMesh->Geometry;
    float lo = 1e9f, hi = -1e9f;
    for (int i = 0; i < data.VertexCount; ++i) {
        lo = std::min(lo, data.Vertices()[i].y);
        hi = std::max(hi, data.Vertices()[i].y);
    }
    EXPECT_FLOAT_EQ(lo, -2.0f);
    EXPECT_FLOAT_EQ(hi, 2.0f);
    delete box;
}

} // namespace
