// The world holder, the body holder, the mesh generators and the camera helpers.
#include "GldemoTestSupport.h"
#include "QEBodyData.h"
#include "QEMeshGenerators.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using BodyDataTest = GldemoTest;

// Records the order in which the world steps its objects.
struct TRecorder : TQEBody_Data {
    TRecorder(std::vector<int>* log, int id) : Log(log), Id(id) {}
    void Step() override { Log->push_back(Id); }
    std::vector<int>* Log;
    int Id;
};

void Cross(float* out, const float* a, const float* b)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Every triangle of the body's mesh winds outward: (P1 - P0) x (P2 - P0) points away from `inside`.
void ExpectOutwardWinding(QE_XPhBody* body, const float* inside)
{
    QE_RenderData data{};
    ASSERT_EQ(QE_GetXPhBodyRenderData(body, &data), 1);
    ASSERT_GT(data.faceCount, 0);
    for (int f = 0; f < data.faceCount; ++f) {
        const QE_Face& face = data.faces[f];
        ASSERT_GE(face.indexCount, 3u);
        const QE_Vertex& a = data.vertices[face.indices[0]];
        const QE_Vertex& b = data.vertices[face.indices[1]];
        const QE_Vertex& c = data.vertices[face.indices[2]];
        const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
        const float e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
        float n[3];
        Cross(n, e1, e2);
        const float centre[3] = {(a.x + b.x + c.x) / 3 - inside[0], (a.y + b.y + c.y) / 3 - inside[1],
                                 (a.z + b.z + c.z) / 3 - inside[2]};
        EXPECT_GT(n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2], 0.0f) << "face " << f;
    }
}

TEST_F(BodyDataTest, WorldStepsItsObjectsInRegistrationOrder)
{
    std::vector<int> log;
    TQEWorld_Data world;
    EXPECT_EQ(CurrentWorldData, &world);
    TRecorder a(&log, 1), b(&log, 2), c(&log, 3);
    a.MakeEmpty();
    world.Step();
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));

    // Leaving and joining the world again moves an object to the end of the order.
    log.clear();
    a.RemoveFromWorld();
    world.Step();
    EXPECT_EQ(log, (std::vector<int>{2, 3}));
    log.clear();
    a.AddToWorld();
    world.Step();
    EXPECT_EQ(log, (std::vector<int>{2, 3, 1}));
    {
        TRecorder d(&log, 4);
        EXPECT_EQ(world.Objects().size(), 4u);
    }
    EXPECT_EQ(world.Objects().size(), 3u);
}

TEST_F(BodyDataTest, HolderWithoutBodyIsHarmless)
{
    TQEWorld_Data world;
    {
        TQEBody_Data empty;
        world.Step();
        EXPECT_EQ(empty.GetHandle(), nullptr);
        EXPECT_EQ(empty.SetPosition(1, 2, 3), 0);
        EXPECT_EQ(empty.SetAirResistance(0.5f), 0);
        EXPECT_EQ(empty.GetMass(), 0.0f);
    }
    EXPECT_EQ(CountWorldBodies(), 0);
}

TEST_F(BodyDataTest, LoadedBodyLeadsBackToItsHolder)
{
    TQEWorld_Data world;
    TQEBody_Data chair;
    ASSERT_TRUE(chair.Load("chair.x"));
    QE_CFunctionDesc desc{};
    ASSERT_NE(QE_XPhBodyGetCFunction(chair.GetHandle(), 1, &desc), nullptr);
    ASSERT_NE(desc.stepFunction, nullptr);
    EXPECT_STREQ(desc.stepFunction, "TQEBody_Data");
    // The whole pointer comes back, not a 32-bit cut of it.
    EXPECT_EQ(desc.userData, static_cast<void*>(&chair));

    TQEBody_Data missing;
    EXPECT_FALSE(missing.Load("no-such-mesh.x"));
    EXPECT_EQ(missing.GetHandle(), nullptr);
}

TEST_F(BodyDataTest, PositionMassAndFixedRoundTrip)
{
    TQEWorld_Data world;
    TQEBody_Data box;
    ASSERT_TRUE(box.Load("lbox.x"));
    ASSERT_EQ(box.SetPosition(2.0f, -4.0f, 2.0f), 1);
    float p[3];
    box.GetPosition(p);
    EXPECT_FLOAT_EQ(p[0], 2.0f);
    EXPECT_FLOAT_EQ(p[1], -4.0f);
    EXPECT_FLOAT_EQ(p[2], 2.0f);
    box.SetMass(0.2f);
    EXPECT_FLOAT_EQ(box.GetMass(), 0.2f);
    box.SetFixed(true);
    int flag = -1;
    QE_GetXPhBodyPhysicsMode(box.GetHandle(), &flag);
    EXPECT_EQ(flag, 1);
    box.SetFixed(false);
    QE_GetXPhBodyPhysicsMode(box.GetHandle(), &flag);
    EXPECT_EQ(flag, 0);
}

TEST_F(BodyDataTest, BoxMeshIsClosedAndWoundOutward)
{
    TQEWorld_Data world;
    TQEBody_Data box;
    ASSERT_TRUE(MakeBoxBody(box, -0.6f, -0.25f, -1.5f, 0.6f, 0.25f, 1.5f));
    QE_RenderData data{};
    ASSERT_EQ(QE_GetXPhBodyRenderData(box.GetHandle(), &data), 1);
    EXPECT_EQ(data.vertexCount, 24);
    EXPECT_EQ(data.faceCount, 12);
    float lo[3], hi[3];
    QE_XPhBodyGetAABB(box.GetHandle(), &lo[0], &lo[1], &lo[2], &hi[0], &hi[1], &hi[2]);
    EXPECT_NEAR(hi[0] - lo[0], 1.2f, 1e-3f);
    EXPECT_NEAR(hi[1] - lo[1], 0.5f, 1e-3f);
    EXPECT_NEAR(hi[2] - lo[2], 3.0f, 1e-3f);
    const float centre[3] = {0, 0, 0};
    ExpectOutwardWinding(box.GetHandle(), centre);
    for (int i = 0; i < data.vertexCount; ++i) {
        const QE_Vertex& v = data.vertices[i];
        EXPECT_TRUE(v.u == 0.0f || v.u == 1.0f);
        EXPECT_TRUE(v.v == 0.0f || v.v == 1.0f);
    }
}

TEST_F(BodyDataTest, CylinderFollowsItsTransform)
{
    TQEWorld_Data world;
    TQEBody_Data wheel;
    // Turned a quarter about y: the axis runs along x.
    const float turn[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_TRUE(MakeCylinderBody(wheel, 0.3f, 0.3f, 16, turn));
    // The mesh itself (the engine's bounding box also covers the body's motion).
    QE_RenderData data{};
    ASSERT_EQ(QE_GetXPhBodyRenderData(wheel.GetHandle(), &data), 1);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int i = 0; i < data.vertexCount; ++i) {
        const float p[3] = {data.vertices[i].x, data.vertices[i].y, data.vertices[i].z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    EXPECT_NEAR(hi[0] - lo[0], 0.3f, 1e-3f);
    EXPECT_NEAR(hi[1] - lo[1], 0.6f, 1e-3f);
    EXPECT_NEAR(hi[2] - lo[2], 0.6f, 1e-3f);
    const float centre[3] = {0, 0, 0};
    ExpectOutwardWinding(wheel.GetHandle(), centre);
    EXPECT_FALSE(MakeCylinderBody(wheel, 1.0f, 1.0f, 2, turn));
}

struct TGridProbe {
    int Calls = 0;
};

void SlopePoint(int row, int column, float* x, float* y, float* z, void* user)
{
    ++static_cast<TGridProbe*>(user)->Calls;
    *x = float(row);
    *z = float(column);
    *y = 0.5f * float(row); // rises along x
}

TEST_F(BodyDataTest, GridPointsTexturesAndNormals)
{
    TQEWorld_Data world;
    TQEBody_Data grid;
    TGridProbe probe;
    ASSERT_TRUE(MakeGridBody(grid, 4, 3, &SlopePoint, &probe));
    EXPECT_EQ(probe.Calls, 12);
    QE_RenderData data{};
    ASSERT_EQ(QE_GetXPhBodyRenderData(grid.GetHandle(), &data), 1);
    ASSERT_EQ(data.vertexCount, 12);
    EXPECT_EQ(data.faceCount, (4 - 1) * (3 - 1) * 2);
    // Row j, column i at index j * columns + i, with u along the columns and v along the rows.
    const QE_Vertex& v = data.vertices[2 * 4 + 3];
    EXPECT_FLOAT_EQ(v.x, 2.0f);
    EXPECT_FLOAT_EQ(v.z, 3.0f);
    EXPECT_FLOAT_EQ(v.u, 1.0f);
    EXPECT_FLOAT_EQ(v.v, 1.0f);
    // The slope y = x / 2 has the upward normal (-1, 2, 0) / sqrt 5, inside and on the border.
    for (int k : {1 * 4 + 1, 0, 2 * 4 + 3}) {
        EXPECT_NEAR(data.vertices[k].nx, -1.0f / std::sqrt(5.0f), 1e-4f) << k;
        EXPECT_NEAR(data.vertices[k].ny, 2.0f / std::sqrt(5.0f), 1e-4f) << k;
        EXPECT_NEAR(data.vertices[k].nz, 0.0f, 1e-4f) << k;
    }
    const float below[3] = {1.5f, -100.0f, 1.5f};
    ExpectOutwardWinding(grid.GetHandle(), below);
    EXPECT_FALSE(MakeGridBody(grid, 1, 5, &SlopePoint, &probe));
    EXPECT_FALSE(MakeGridBody(grid, 300, 300, &SlopePoint, &probe)); // past 16-bit indices
}

TEST(CameraHelpers, LookAtAimsTheCamera)
{
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -40, 1};
    const float target[3] = {3, -2, 5};
    const float up[3] = {0, 1, 0};
    LookAtMatrix(m, target, up);
    // Row 2 points from the target to the eye; rows are orthonormal; the eye stays.
    const float toEye[3] = {0 - 3.0f, 0 + 2.0f, -40 - 5.0f};
    const float len = Length3(toEye);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(m[8 + k], toEye[k] / len, 1e-5f);
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            const float dot = m[a * 4] * m[b * 4] + m[a * 4 + 1] * m[b * 4 + 1] + m[a * 4 + 2] * m[b * 4 + 2];
            EXPECT_NEAR(dot, a == b ? 1.0f : 0.0f, 1e-5f);
        }
    }
    EXPECT_GT(m[5], 0.0f); // up stays up
    EXPECT_FLOAT_EQ(m[14], -40.0f);
    EXPECT_FLOAT_EQ(m[15], 1.0f);

    float inverse[16];
    AffineInverse(inverse, m);
    // The eye maps to the origin of the view.
    const float eye[3] = {0, 0, -40};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(eye[0] * inverse[c] + eye[1] * inverse[4 + c] + eye[2] * inverse[8 + c] + inverse[12 + c], 0.0f,
                    1e-4f);

    float zero[3] = {0, 0, 0};
    EXPECT_FALSE(NormalizeVector(zero));
    EXPECT_EQ(zero[0], 0.0f);
}

TEST_F(BodyDataTest, SetCameraLookAtReachesTheEngine)
{
    TQEWorld_Data world;
    const float eye[3] = {0, 0, -40};
    const float target[3] = {0, 0, 0};
    const float up[3] = {0, 1, 0};
    ASSERT_EQ(SetCameraLookAt(eye, target, up), 1);
    float m[16];
    ASSERT_EQ(QE_GetXPhCameraMat(m), 1);
    EXPECT_FLOAT_EQ(m[14], -40.0f);
    EXPECT_NEAR(m[10], -1.0f, 1e-6f);
    // Looking along +z with y up, the camera's right is -x (rows stay a right-handed frame).
    EXPECT_NEAR(m[0], -1.0f, 1e-6f);
}

} // namespace
