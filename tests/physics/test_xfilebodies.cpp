// Bodies from real .x files: a frame of several meshes is one body with all of them, every top-level frame of a
// file is kept, and a file without a mesh makes no body. Each is owned once and freed whole.
#include "ZevBodyUtil.h"

#include "ZevPhscs2World.h"
#include "ZevPhysicsInit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

class XFileBodies : public ::testing::Test {
protected:
    void SetUp() override { ZevPhysicsInit(); }

    // Loads the file into a new world under a new root frame, hands the body to `check`, then deletes it all;
    // three times, so that the last round (pools warm) shows whether a load keeps anything.
    template <class Check>
    void LoadTwice(const std::string& file, Check check)
    {
        int32_t live[3];
        for (int round = 0; round < 3; ++round) {
            auto* root = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
            auto* world = new TZevPhscs2World;
            TZevCollisionMeshObj* body = AddXPhBodyFromXFile(file.c_str(), nullptr, TZevMatrix(), root, world);
            check(body);
            delete world;
            delete root;
            live[round] = NewCount.load() - DeleteCount.load();
        }
        EXPECT_EQ(live[2], live[1]) << file << ": blocks kept by a load";
    }
};

int VisualCount(const TZevFrame* frame)
{
    return frame->Visuals.GetCount();
}

TEST_F(XFileBodies, SixMeshesInOneFrameAreOneBody)
{
    LoadTwice(QE_TESTDATA_DIR "/x/lobby_skybox.x", [](TZevCollisionMeshObj* body) {
        ASSERT_NE(body, nullptr);
        TZevList bodies;
        CollectBodyTree(body, bodies);
        EXPECT_EQ(bodies.GetCount(), 1);
        EXPECT_STREQ(body->GetName(), "CUBE_Root");
        ASSERT_NE(body->visualFrame, nullptr);
        EXPECT_EQ(VisualCount(body->visualFrame), 6);
        ASSERT_NE(body->collisionMesh, nullptr);
        EXPECT_EQ(body->collisionMesh->Geometry->FaceCount, 12); // two triangles of each of the six sides
        // The whole cube, not one side of it (a side alone is 2 x 0 x 2).
        const auto& box = body->box;
        for (float low : {box.Min.x, box.Min.y, box.Min.z})
            EXPECT_NEAR(low, -1.0f, 1e-3f);
        for (float high : {box.Max.x, box.Max.y, box.Max.z})
            EXPECT_NEAR(high, 1.0f, 1e-3f);
    });
}

TEST_F(XFileBodies, EveryTopLevelFrameIsKept)
{
    std::ofstream("two_frames.x") << "xof 0302txt 0064\n"
                                     "Frame A {\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 5,0,0,1;; }\n"
                                     " Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n}\n"
                                     "Frame B {\n Mesh { 3; 0;0;0;, 1;0;0;, 0;0;1;; 1; 3;0,1,2;; }\n}\n";
    LoadTwice("two_frames.x", [](TZevCollisionMeshObj* body) {
        ASSERT_NE(body, nullptr);
        TZevList bodies;
        CollectBodyTree(body, bodies);
        ASSERT_EQ(bodies.GetCount(), 3); // the made root and one body per frame
        auto* a = static_cast<TZevCollisionMeshObj*>(bodies.First()->next->data);
        auto* b = static_cast<TZevCollisionMeshObj*>(bodies.Last()->data);
        ASSERT_NE(a->collisionMesh, nullptr);
        ASSERT_NE(b->collisionMesh, nullptr);
        EXPECT_STREQ(a->visualFrame->GetName(), "A");
        EXPECT_STREQ(b->visualFrame->GetName(), "B");
        EXPECT_EQ(a->visualFrame->GetParent(), body->visualFrame);
        EXPECT_NEAR(a->box.Min.x, 5.0f, 1e-3f);
        EXPECT_NEAR(b->box.Max.z, 1.0f, 1e-3f);
    });
}

TEST_F(XFileBodies, AFileWithoutAMeshMakesNoBody)
{
    std::ofstream("no_mesh.x") << "xof 0302txt 0064\nFrame A { Frame B { } }\n";
    LoadTwice("no_mesh.x", [](TZevCollisionMeshObj* body) { EXPECT_EQ(body, nullptr); });
}

} // namespace
