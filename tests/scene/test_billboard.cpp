// Billboards: resizing, sprites facing the camera however it and the mesh are turned, packing of the
// enabled sprites, colours and placement of the pre-lit kind, and their registration.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "MakeObject.h"
#include "RecordingRenderer.h"
#include "Zev3DG2R.h"
#include "ZevBillBoard.h"

namespace {

class BillBoardTest : public ::testing::Test {
protected:
    void SetUp() override { ZevSceneInit(); }
};

TZevFrame* FrameAt(const TZevMatrix& m)
{
    auto* frame = Make<TZevFrame>("TZevFrame");
    frame->LocalMatrix = m;
    frame->WorldMatrix = m;
    return frame;
}

TZevMatrix Turned(float yaw, float pitch, float x, float y, float z)
{
    TZevMatrix a, b, m;
    ZevMatRotationX(a, pitch);
    ZevMatRotationY(b, yaw);
    ZevMatMultiply(m, a, b);
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

TZevVector WorldCorner(const TZevMeshData* g, int i, const TZevMatrix& world)
{
    const TZevVertex& v = g->Vertices()[i];
    TZevVector out;
    ZevVecTransform(out, TZevVector(v.x, v.y, v.z), world);
    return out;
}

TZevVector Minus(const TZevVector& a, const TZevVector& b)
{
    return TZevVector(a.x - b.x, a.y - b.y, a.z - b.z);
}

void ExpectNear(const TZevVector& a, const TZevVector& b, const char* what)
{
    EXPECT_NEAR(a.x, b.x, 1e-4f) << what;
    EXPECT_NEAR(a.y, b.y, 1e-4f) << what;
    EXPECT_NEAR(a.z, b.z, 1e-4f) << what;
}

TEST_F(BillBoardTest, ResizeMakesRecordsAndGeometry)
{
    auto* plain = Make<TZevBillBoard>("TZevBillBoard");
    auto* lit = Make<TZevLBillBoard>("TZevLBillBoard");
    ASSERT_TRUE(plain->Resize(3));
    ASSERT_TRUE(lit->Resize(3));
    for (TZevMeshData* g : {plain->Geometry, lit->Geometry}) {
        EXPECT_EQ(g->VertexCount, 12);
        EXPECT_EQ(g->FaceCount, 6);
        const uint16_t second[3] = {4, 6, 7}; // face 2i+1 of sprite 1
        ASSERT_EQ(g->Faces[3].Count, 3u);
        EXPECT_EQ(0, std::memcmp(g->Faces[3].Indices, second, sizeof second));
    }
    EXPECT_EQ(plain->RecordCount, 3);
    const TZevBillBoardRecord& b = plain->Records[2];
    EXPECT_EQ(b.UA, 0.0f);
    EXPECT_EQ(b.VB, 1.0f);
    EXPECT_EQ(b.Size, 2.0f);
    EXPECT_EQ(b.Enabled, 0);
    EXPECT_EQ(lit->Records[1].Alpha, 1.0f);
    EXPECT_EQ(lit->Records[1].Green, 1.0f);

    // Counts beyond what 16-bit indices reach, or below 0, are refused and leave no records.
    for (int32_t n : {-1, ZevMaxBillBoardRecords + 1}) {
        EXPECT_FALSE(plain->Resize(n)) << n;
        EXPECT_EQ(plain->RecordCount, 0);
        EXPECT_EQ(plain->Records, nullptr);
        EXPECT_FALSE(lit->Resize(n)) << n;
        EXPECT_EQ(lit->RecordCount, 0);
    }
    EXPECT_TRUE(plain->Resize(ZevMaxBillBoardRecords));
    EXPECT_TRUE(plain->Resize(0));
    plain->Release();
    lit->Release();
}

TEST_F(BillBoardTest, PlainSpritesFaceTheCameraAtEveryYaw)
{
    auto* board = Make<TZevBillBoard>("TZevBillBoard");
    ASSERT_TRUE(board->Resize(2));
    board->Records[1] = TZevBillBoardRecord{1, 2, 3, 0, 0, 1, 1, 0.5f, 1};
    TRecordingRenderer r;
    struct Case {
        float yaw, pitch;
        float frameYaw;
    };
    const Case cases[] = {{0, 0, 0}, {0.5f, 0, 0}, {1.5707963f, 0, 0}, {2.5f, 0.3f, 0}, {3.1415927f, 0, 0},
        {-1.2f, -0.4f, 0}, {0.7f, 0, 1.1f}, {-2.0f, 0.2f, -0.6f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.yaw << " " << c.pitch << " " << c.frameYaw);
        TZevFrame* camera = FrameAt(Turned(c.yaw, c.pitch, 3, 1, -8));
        TZevFrame* frame = FrameAt(Turned(c.frameYaw, 0, -2, 0, 4));
        r.SetCameraFrame(nullptr, camera);
        board->Render(&r, frame);
        const TZevMeshData* g = board->Geometry;
        ASSERT_EQ(g->VertexCount, 4); // only the enabled sprite, at the front
        ASSERT_EQ(g->FaceCount, 2);
        const TZevMatrix& cam = camera->LocalMatrix;
        const TZevVector right(cam.m[0], cam.m[1], cam.m[2]), up(cam.m[4], cam.m[5], cam.m[6]);
        const TZevVector c0 = WorldCorner(g, 0, frame->WorldMatrix), c1 = WorldCorner(g, 1, frame->WorldMatrix);
        const TZevVector c3 = WorldCorner(g, 3, frame->WorldMatrix);
        // Corner 0 - corner 1 runs along the camera's up axis, corner 0 - corner 3 along its right axis,
        // each over the whole side: the square lies across the view.
        ExpectNear(Minus(c0, c1), TZevVector(up.x, up.y, up.z), "up side");
        ExpectNear(Minus(c0, c3), TZevVector(right.x, right.y, right.z), "right side");
        EXPECT_EQ(g->Vertices()[1].u, 0.0f);
        EXPECT_EQ(g->Vertices()[1].v, 1.0f);
        EXPECT_EQ(g->Vertices()[3].u, 1.0f);
        EXPECT_EQ(g->Vertices()[3].v, 0.0f);
        camera->Release();
        frame->Release();
    }
    r.ReplayQueue();
    EXPECT_GT(r.CountOf("MaterialMeshNow"), 0);
    board->Release();
}

TEST_F(BillBoardTest, LitSpritesArePackedColouredAndPlaced)
{
    auto* board = Make<TZevLBillBoard>("TZevLBillBoard");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(board->Placement.m[i], IdentityMatrix.m[i]);
    ASSERT_TRUE(board->Resize(3));
    TRecordingRenderer r;
    r.SetCameraFrame(nullptr, nullptr);

    // Nothing is drawn until a record is enabled.
    board->Render(&r, nullptr);
    EXPECT_EQ(board->Geometry->VertexCount, 0);
    r.ReplayQueue();
    EXPECT_EQ(r.CountOf("LitMeshNow"), 0);

    TZevLBillBoardRecord& b = board->Records[2];
    b.Enabled = 1;
    b.Z = 5;
    b.Red = 1;
    b.Green = 0.5f;
    b.Blue = 0;
    board->Render(&r, nullptr);
    const TZevMeshData* g = board->Geometry;
    ASSERT_EQ(g->VertexCount, 4);
    ASSERT_EQ(g->FaceCount, 2);
    const TZevLVertex& v0 = g->LVertices()[0];
    EXPECT_EQ(v0.x, 2.0f);
    EXPECT_EQ(v0.y, 2.0f);
    EXPECT_EQ(v0.z, 5.0f);
    EXPECT_EQ(v0.Diffuse, 0xFFFF7F00u);
    EXPECT_EQ(v0.Specular, 0u);
    r.ReplayQueue();
    EXPECT_EQ(r.CountOf("LitMeshNow"), 1);

    // Positions are given in the placement; its translation comes off.
    board->Placement = ZevMatTranslation(10.0f, 0.0f, 0.0f);
    b.X = 10;
    board->Render(&r, nullptr);
    EXPECT_EQ(g->LVertices()[0].x, 2.0f);
    EXPECT_EQ(g->LVertices()[2].x, -2.0f);
    r.ReplayQueue();

    // Colours outside [0, 1] are clamped, never wrapped.
    EXPECT_EQ(ZevPackColor(2.0f, -1.0f, 0.999f, 1.5f), 0xFFFF00FEu);

    // Saved and loaded, the billboard keeps its class and draws no stale sprites.
    TZevMemStream stream;
    ASSERT_TRUE(board->Save(&stream));
    ASSERT_EQ(stream.Seek(0), 1);
    TZevLSObj* loaded = ReadObject(&stream);
    auto* copy = dynamic_cast<TZevLBillBoard*>(loaded);
    ASSERT_NE(copy, nullptr);
    copy->Render(&r, nullptr);
    EXPECT_EQ(copy->Geometry->VertexCount, 0);
    r.ReplayQueue();
    loaded->Release();
    board->Release();
}

TEST_F(BillBoardTest, RegisteredUnderTheirRealParents)
{
    struct Case {
        const char* name;
        const char* parent;
    };
    for (const Case& c : {Case{"TZevBillBoard", "TZevPolygonMesh"}, Case{"TZevLBillBoard", "TZevLPolygonMesh"}}) {
        TZevClassRecord* record = FindClassRecord(c.name);
        ASSERT_NE(record, nullptr) << c.name;
        EXPECT_STREQ(record->parentName, c.parent);
        TZevLSObj* made = CreateObjectByName(c.parent);
        TZevLSObj* child = CreateObjectByName(c.name);
        // The class made under the name derives from the class made under its parent's name.
        EXPECT_TRUE(std::string(c.parent) == "TZevPolygonMesh" ? dynamic_cast<TZevPolygonMesh*>(child) != nullptr
                                                              : dynamic_cast<TZevLPolygonMesh*>(child) != nullptr);
        made->Release();
        child->Release();
    }
}

} // namespace
