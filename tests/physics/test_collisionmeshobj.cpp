// Collision bodies: body trees made from frame trees, the visual mesh and its references, vertex transformation,
// and the frame following the body.
#include "ZevCollisionMeshObj.h"

#include "ZevPhysicsInit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class CollisionBody : public ::testing::Test {
protected:
    void SetUp() override { ZevPhysicsInit(); }

    // A registered polygon mesh holding a box (one reference for the caller).
    static TZevPolygonMesh* BoxMesh(const char* name, float size = 1.0f)
    {
        auto* mesh = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
        mesh->Clear();
        ZevMakeBoxMesh(mesh->Geometry, -size, -size, -size, size, size, size);
        if (name != nullptr)
            mesh->SetName(name);
        return mesh;
    }
    static TZevFrame* NewFrame(const char* name = nullptr)
    {
        auto* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
        if (name != nullptr)
            frame->SetName(name);
        return frame;
    }
    static void AddVisual(TZevFrame* frame, TZevPolygonMesh* mesh)
    {
        frame->AddVisual(mesh);
        mesh->Release();
    }
    static int CountBodies(TZevCollisionMeshObj* body)
    {
        int n = 1;
        for (TZevCTree* c = body->FirstChildTree(); c != nullptr; c = c->NextSiblingTree())
            n += CountBodies(static_cast<TZevCollisionMeshObj*>(c));
        return n;
    }
};

TEST_F(CollisionBody, FrameWithSeveralVisualsIsOneBodyWithAllOfThem)
{
    // Made and deleted twice: the first round warms the pools, the second must give back all it took, whatever
    // the pools held before (here inner box nodes that earlier scenes left in them).
    {
        std::vector<TZevPooledBBoxTree*> left;
        for (int i = 0; i < 300; ++i)
            left.push_back(AllocBoxNode());
        for (TZevPooledBBoxTree* node : left)
            ReleaseBoxNode(node);
    }
    int32_t live[2];
    for (int round = 0; round < 2; ++round) {
        TZevFrame* frame = NewFrame("holder");
        AddVisual(frame, BoxMesh("first"));
        TZevPolygonMesh* far = BoxMesh(nullptr);
        ZevMakeBoxMesh(far->Geometry, 4.0f, -1.0f, -1.0f, 6.0f, 1.0f, 1.0f);
        AddVisual(frame, far);
        TZevCollisionMeshObj* body = ZevCreateBodyTreeFromFrame(frame, nullptr);
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(CountBodies(body), 1);
        EXPECT_EQ(body->visualFrame, frame);
        EXPECT_STREQ(body->GetName(), "holder");
        EXPECT_EQ(body->visualMesh, static_cast<TZevVMesh*>(frame->Visuals.First()->data));
        EXPECT_EQ(frame->Visuals.GetCount(), 2); // both are drawn
        // It collides with both boxes: a cleaned copy of the two together.
        ASSERT_NE(body->collisionMesh, nullptr);
        EXPECT_EQ(body->collisionMesh->Geometry->FaceCount, 24);
        body->UpdateBox();
        EXPECT_NEAR(body->box.Min.x, -1.0f, 1e-3f);
        EXPECT_NEAR(body->box.Max.x, 6.0f, 1e-3f);
        delete body; // the frame goes once, with both visuals and the copy
        live[round] = NewCount.load() - DeleteCount.load();
    }
    EXPECT_EQ(live[1], live[0]);

    // A frame whose meshes cannot be one mesh (more vertices together than 16-bit indices reach) makes no body.
    TZevFrame* huge = NewFrame("huge");
    for (int i = 0; i < 2; ++i) {
        TZevPolygonMesh* grid = BoxMesh(nullptr);
        ASSERT_TRUE(ZevMakeSphereMesh(grid->Geometry, 200, 200));
        AddVisual(huge, grid);
    }
    EXPECT_EQ(ZevCreateBodyTreeFromFrame(huge, nullptr), nullptr);
    delete huge;
}

TEST_F(CollisionBody, BodyTreeFollowsFrameTreeAndGoesWithItsFrames)
{
    TZevFrame* root = NewFrame("root");
    AddVisual(root, BoxMesh("r"));
    TZevFrame* a = NewFrame("a");
    AddVisual(a, BoxMesh("a"));
    TZevFrame* b = NewFrame("b"); // no visual: a body of the frame alone
    root->AddChild(a);
    a->AddChild(b);
    b->LocalMatrix = ZevMatTranslation(0.0f, 2.0f, 0.0f);
    TZevCollisionMeshObj* body = ZevCreateBodyTreeFromFrame(root, nullptr);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(CountBodies(body), 3);
    auto* bodyA = static_cast<TZevCollisionMeshObj*>(body->FirstChildTree());
    ASSERT_NE(bodyA, nullptr);
    EXPECT_EQ(bodyA->visualFrame, a);
    auto* bodyB = static_cast<TZevCollisionMeshObj*>(bodyA->FirstChildTree());
    ASSERT_NE(bodyB, nullptr);
    EXPECT_EQ(bodyB->visualFrame, b);
    EXPECT_STREQ(bodyB->GetName(), "b");
    EXPECT_EQ(bodyB->GetMatrix().m[13], 2.0f);
    // The meshes stay alive while a frame or a body holds them.
    TZevPolygonMesh* visual = bodyA->visualMesh;
    EXPECT_EQ(visual->GetRefCount(), 2); // the frame's list and the body
    delete body;                         // every frame of the tree goes once (the sanitizer build checks it)
}

TEST_F(CollisionBody, SettingTheCurrentVisualMeshAgainKeepsIt)
{
    TZevCollisionMeshObj body;
    body.visualFrame = NewFrame();
    TZevPolygonMesh* mesh = BoxMesh("m");
    body.SetVisualMesh(mesh);
    EXPECT_EQ(mesh->GetRefCount(), 3); // caller, frame list, body
    body.SetVisualMesh(mesh);
    EXPECT_EQ(mesh->GetRefCount(), 3);
    EXPECT_EQ(body.visualFrame->Visuals.GetCount(), 1);
    EXPECT_EQ(body.visualMesh, mesh);
    // Replacing it gives both references back; a body without frame holds the mesh alone.
    TZevPolygonMesh* other = BoxMesh("o");
    body.SetVisualMesh(other);
    EXPECT_EQ(mesh->GetRefCount(), 1);
    TZevCollisionMeshObj frameless;
    frameless.SetVisualMesh(mesh);
    frameless.SetVisualMesh(mesh);
    EXPECT_EQ(mesh->GetRefCount(), 2);
    frameless.SetVisualMesh(nullptr);
    EXPECT_EQ(mesh->GetRefCount(), 1);
    mesh->Release();
    other->Release();
}

TEST_F(CollisionBody, SharedVisualAndCollisionMeshIsTransformedOnce)
{
    TZevCollisionMeshObj body;
    TZevPolygonMesh* mesh = BoxMesh("m", 1.0f);
    body.SetCollisionMesh(mesh);
    body.SetVisualMesh(mesh);
    const TZevMatrix shift = ZevMatTranslation(3.0f, 0.0f, 0.0f);
    body.TransformVertices(shift);
    float minX = 1e9f;
    for (int i = 0; i < mesh->Geometry->VertexCount; ++i)
        minX = std::min(minX, mesh->Geometry->Vertices()[i].x);
    EXPECT_FLOAT_EQ(minX, 2.0f); // moved by 3 once, not twice
    // Both vertex arrays and the box hold the moved geometry.
    EXPECT_FLOAT_EQ(body.box.Min.x, 2.0f - ZevLeafBoxPadding);
    EXPECT_FLOAT_EQ(body.previousVertices[0].x, body.currentVertices[0].x);
    mesh->Release();
}

TEST_F(CollisionBody, ChildPlacementMovesWithTransformedVertices)
{
    TZevCollisionMeshObj parent;
    TZevPolygonMesh* mesh = BoxMesh("p");
    parent.SetCollisionMesh(mesh);
    auto* child = new TZevCollisionMeshObj;
    child->SetMatrix(ZevMatTranslation(1.0f, 0.0f, 0.0f));
    child->AdvanceStep(0.0f);
    parent.AppendChild(child);
    TZevMatrix turn;
    ZevMatRotationY(turn, 3.14159265f);
    parent.TransformVertices(turn);
    EXPECT_NEAR(child->GetMatrix().m[12], -1.0f, 1e-5f);
    mesh->Release();
}

TEST_F(CollisionBody, FrameFollowsTheBody)
{
    TZevCollisionMeshObj body;
    body.visualFrame = NewFrame();
    body.SetMatrix(ZevMatTranslation(0.0f, 5.0f, 0.0f));
    body.AdvanceStep(0.0f);
    EXPECT_EQ(body.visualFrame->LocalMatrix.m[13], 5.0f);
}

TEST_F(CollisionBody, MoveToParentMovesTheFrameAndRefusesACycle)
{
    auto* parent = new TZevCollisionMeshObj;
    parent->visualFrame = NewFrame();
    auto* child = new TZevCollisionMeshObj;
    child->visualFrame = NewFrame();
    parent->MoveToParent(child);
    EXPECT_EQ(child->Parent(), parent);
    EXPECT_EQ(child->visualFrame->GetParent(), parent->visualFrame);
    child->MoveToParent(parent); // the parent cannot go below its child
    EXPECT_EQ(parent->Parent(), nullptr);
    child->LeaveParent();
    EXPECT_EQ(child->Parent(), nullptr);
    EXPECT_EQ(child->visualFrame->GetParent(), nullptr);
    delete child;
    delete parent;
}

TEST_F(CollisionBody, LoadVisualMeshFromFileAndMissingFile)
{
    TZevCollisionMeshObj body;
    body.visualFrame = NewFrame();
    EXPECT_FALSE(body.LoadVisualMesh("no-such-file.x"));
    EXPECT_EQ(body.visualMesh, nullptr);
    ASSERT_TRUE(body.LoadVisualMesh(QE_DATA_DIR "/lbox.x"));
    ASSERT_NE(body.visualMesh, nullptr);
    EXPECT_EQ(body.visualMesh->GetRefCount(), 2); // the loaded frame let go of it
}

} // namespace
