// Shadow meshes: the edge table, which faces and borders the shadow is built from, where its corners
// land, the renderer state it is drawn in, and sources that are odd or change under it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "RecordingRenderer.h"
#include "Zev3DG2R.h"
#include "ZevFrame.h"
#include "ZevMeshPools.h"
#include "ZevShadowMesh.h"

namespace {

class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevSceneInit();
        r.SetCameraFrame(nullptr, nullptr);
        r.SetStencilShadows(1);
        // Flat on the plane y = -50, as the scenes set it: (x, y, z) -> (x + y + 50, -50, z).
        const float flat[16] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 50, -50, 0, 1};
        std::memcpy(r.ViewSettings, flat, sizeof flat);
    }

    TRecordingRenderer r;
};

struct Shape {
    std::vector<TZevVector> Points;
    std::vector<std::vector<uint16_t>> Faces;
};

TZevPolygonMesh* MeshOf(const Shape& shape)
{
    auto* mesh = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
    EXPECT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->SetFaceAndVertexCount(int32_t(shape.Points.size()), int32_t(shape.Faces.size())));
    TZevMeshData* g = mesh->Geometry;
    for (size_t i = 0; i < shape.Points.size(); ++i) {
        const TZevVector& p = shape.Points[i];
        g->Vertices()[i] = TZevVertex{p.x, p.y, p.z, 0, 0, 0, 0, 0};
    }
    g->VertexCount = int32_t(shape.Points.size());
    for (size_t f = 0; f < shape.Faces.size(); ++f) {
        EXPECT_TRUE(g->SetFaceIndexCount(int32_t(f), uint32_t(shape.Faces[f].size())));
        for (size_t k = 0; k < shape.Faces[f].size(); ++k)
            g->Faces[f].Indices[k] = shape.Faces[f][k];
    }
    g->FaceCount = int32_t(shape.Faces.size());
    mesh->Changed = 1;
    return mesh;
}

// A triangle in the plane z = 0 whose normal (by the corner order) is -z.
Shape Triangle()
{
    return Shape{{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}}};
}

// A closed tetrahedron with outward faces.
Shape Tetrahedron()
{
    return Shape{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}};
}

TZevShadowMesh* ShadowOf(TZevPolygonMesh* mesh)
{
    auto* shadow = dynamic_cast<TZevShadowMesh*>(CreateObjectByName("TZevShadowMesh"));
    EXPECT_NE(shadow, nullptr);
    shadow->SetSource(mesh);
    return shadow;
}

std::vector<TRecordedCall> Drawn(TRecordingRenderer& r)
{
    r.ReplayQueue();
    std::vector<TRecordedCall> out;
    for (const TRecordedCall& c : r.Calls)
        if (c.Op == "MaterialMeshNow")
            out.push_back(c);
    r.Calls.clear();
    return out;
}

TZevVector At(const TZevMeshData* g, int i)
{
    const TZevVertex& v = g->Vertices()[i];
    return TZevVector(v.x, v.y, v.z);
}

void ExpectAt(const TZevVector& p, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
}

TEST_F(ShadowTest, EdgeTables)
{
    TZevPolygonMesh* triangle = MeshOf(Triangle());
    TZevShadowMesh* open = ShadowOf(triangle);
    EXPECT_EQ(open->GetFaceRecordCount(), 1);
    EXPECT_EQ(open->GetEdgeCount(), 3);
    EXPECT_EQ(open->CountOpenEdges(), 3);
    const TZevShadowEdge* e = open->GetEdge(2);
    EXPECT_EQ(e->First, 2);
    EXPECT_EQ(e->Second, 0);
    EXPECT_EQ(e->FirstCorner, 2u);
    EXPECT_EQ(e->SecondCorner, 0u);

    TZevPolygonMesh* closed = MeshOf(Tetrahedron());
    TZevShadowMesh* shut = ShadowOf(closed);
    EXPECT_EQ(shut->GetEdgeCount(), 6);
    EXPECT_EQ(shut->CountOpenEdges(), 0);

    // Three faces on one edge: the third gets a record of its own; faces of fewer than 3 corners and
    // faces naming missing vertices are left out.
    Shape odd{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
        {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {0, 1}, {2}, {}, {0, 1, 9}}};
    TZevPolygonMesh* fins = MeshOf(odd);
    TZevShadowMesh* finShadow = ShadowOf(fins);
    EXPECT_EQ(finShadow->GetFaceRecordCount(), 7);
    for (int f = 3; f < 7; ++f)
        EXPECT_EQ(finShadow->GetFaceRecord(f)->Used, 0) << f;
    EXPECT_EQ(finShadow->GetEdgeCount(), 3 + 2 + 3);
    for (TZevShadowMesh* s : {open, shut, finShadow})
        s->Release();
    for (TZevPolygonMesh* m : {triangle, closed, fins})
        m->Release();
}

TEST_F(ShadowTest, LitTriangleAndItsShadow)
{
    TZevPolygonMesh* mesh = MeshOf(Triangle());
    TZevShadowMesh* shadow = ShadowOf(mesh);
    auto* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    frame->WorldMatrix = ZevMatTranslation(0.0f, 0.0f, 10.0f);

    // Lit from behind (the normal is -z): nothing at all.
    r.Light0Direction = TZevVector(0, 0, 1);
    shadow->Render(&r, frame);
    EXPECT_EQ(shadow->Geometry->VertexCount, 0);
    EXPECT_TRUE(Drawn(r).empty());

    r.Light0Direction = TZevVector(0.1f, -1, -1);
    r.SetAdditive(1);
    r.SetTranslucent(1);
    shadow->Render(&r, frame);
    const TZevMeshData* g = shadow->Geometry;
    // The face, a joining face on each of its three open edges, and the far end: one triangle of the fan over the
    // flattened edges (the two edges at the fan's apex give none), all of them on the three corners' two places
    // (on the object and flattened).
    ASSERT_EQ(g->FaceCount, 5);
    ASSERT_EQ(g->VertexCount, 2 * 3);
    EXPECT_LE(g->VertexCount, g->VertexCapacity);
    const TZevMeshFace& near = g->Faces[0];
    const TZevMeshFace& far = g->Faces[3];
    ASSERT_EQ(near.Count, 3u);
    ASSERT_EQ(far.Count, 3u);
    ExpectAt(At(g, near.Indices[1]), 0, 1, 10); // on the object
    // Flattened, the other way round: corners 0, 2, 1.
    ExpectAt(At(g, far.Indices[0]), 50, -50, 10);
    ExpectAt(At(g, far.Indices[1]), 51, -50, 10);
    ExpectAt(At(g, far.Indices[2]), 51, -50, 10);
    EXPECT_EQ(far.Indices[0], near.Indices[0] + 1);
    EXPECT_EQ(far.Indices[1], near.Indices[2] + 1);
    EXPECT_EQ(far.Indices[2], near.Indices[1] + 1);
    // Edge 0 -> 1 of the lit face: o = vertex 1, s = vertex 0.
    const TZevMeshFace& join = g->Faces[1];
    ASSERT_EQ(join.Count, 4u);
    ExpectAt(At(g, join.Indices[0]), 51, -50, 10);
    ExpectAt(At(g, join.Indices[1]), 0, 1, 10);
    ExpectAt(At(g, join.Indices[2]), 0, 0, 10);
    ExpectAt(At(g, join.Indices[3]), 50, -50, 10);
    // The joining faces use the caps' vertices.
    EXPECT_EQ(join.Indices[1], near.Indices[1]);
    EXPECT_EQ(join.Indices[2], near.Indices[0]);
    EXPECT_EQ(At(g, 0).x, 0.0f);
    EXPECT_EQ(g->Vertices()[0].nz, 0.0f);

    // Queued in the shadow state with the identity; the state is put back afterwards.
    EXPECT_EQ(r.GetShadowVolume(), 0);
    std::vector<TRecordedCall> drawn = Drawn(r);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].ShadowVolume, 1);
    EXPECT_EQ(drawn[0].Additive, 0);
    EXPECT_EQ(drawn[0].Translucent, 0);
    EXPECT_EQ(drawn[0].Mesh, shadow->Geometry);
    EXPECT_EQ(0, std::memcmp(drawn[0].Matrix.m, IdentityMatrix.m, sizeof IdentityMatrix.m));
    shadow->Release();
    mesh->Release();
    frame->Release();
}

TEST_F(ShadowTest, ClosedMeshJoinsAlongItsSilhouette)
{
    TZevPolygonMesh* mesh = MeshOf(Tetrahedron());
    TZevShadowMesh* shadow = ShadowOf(mesh);
    struct Case {
        TZevVector light;
        int lit;      // faces whose normal points along the light
        int borders;  // edges between a lit and an unlit face
        int vertices; // vertices of the lit faces
    };
    // Face normals: -z, -y, -x and (1, 1, 1).
    const Case cases[] = {{{0, 0, -1}, 1, 3, 3}, {{-1, -1, 0}, 2, 4, 4}, {{1, 1, 1}, 1, 3, 3}, {{-0.2f, -0.3f, -1}, 3, 3, 4}};
    for (const Case& c : cases) {
        r.Light0Direction = c.light;
        shadow->Render(&r, nullptr);
        // The lit faces, a joining face on each border, and a fan over the borders' one loop (the two borders at
        // its apex give no triangle).
        EXPECT_EQ(shadow->Geometry->FaceCount, c.lit + 2 * c.borders - 2) << c.light.x << c.light.y << c.light.z;
        // Each vertex of a lit face twice, whatever the number of faces and borders that meet there.
        EXPECT_EQ(shadow->Geometry->VertexCount, 2 * c.vertices);
    }
    r.ReplayQueue();
    shadow->Release();
    mesh->Release();
}

// Every side of every face of the volume is run the other way by exactly one other face: the volume is closed and
// wound alike, so that the stencil counts of a view ray that enters it and leaves again cancel.
::testing::AssertionResult ClosedAndWoundAlike(const TZevMeshData* g)
{
    std::map<std::pair<uint16_t, uint16_t>, int> sides;
    for (int32_t f = 0; f < g->FaceCount; ++f) {
        const TZevMeshFace& face = g->Faces[f];
        for (uint32_t i = 0; i < face.Count; ++i)
            ++sides[{face.Indices[i], face.Indices[(i + 1) % face.Count]}];
    }
    for (const auto& [side, count] : sides) {
        const auto back = sides.find({side.second, side.first});
        if (count != 1 || back == sides.end() || back->second != 1)
            return ::testing::AssertionFailure() << "side " << side.first << " -> " << side.second << " run " << count
                                                 << " times, back " << (back == sides.end() ? 0 : back->second);
    }
    return ::testing::AssertionSuccess();
}

TEST_F(ShadowTest, AClosedSourceCastsAClosedVolume)
{
    // Two tetrahedra apart in one mesh: two loops of borders, both closed by the one fan at the far end.
    Shape two = Tetrahedron();
    for (const TZevVector& p : Tetrahedron().Points)
        two.Points.push_back(TZevVector(p.x + 3, p.y, p.z));
    for (std::vector<uint16_t> face : Tetrahedron().Faces) {
        for (uint16_t& i : face)
            i = uint16_t(i + 4);
        two.Faces.push_back(face);
    }
    const TZevVector lights[] = {{0, 0, -1}, {-1, -1, 0}, {1, 1, 1}, {-0.2f, -0.3f, -1}, {0.3f, -1, 0.2f}};
    for (const Shape& shape : {Tetrahedron(), two}) {
        TZevPolygonMesh* mesh = MeshOf(shape);
        TZevShadowMesh* shadow = ShadowOf(mesh);
        for (const TZevVector& light : lights) {
            r.Light0Direction = light;
            shadow->Render(&r, nullptr);
            ASSERT_GT(shadow->Geometry->FaceCount, 0);
            EXPECT_TRUE(ClosedAndWoundAlike(shadow->Geometry))
                << shape.Points.size() << " points, light " << light.x << " " << light.y << " " << light.z;
        }
        r.ReplayQueue();
        shadow->Release();
        mesh->Release();
    }
}

// What a volume holds: its vertices' positions and its faces' corners.
std::pair<std::vector<float>, std::vector<std::vector<uint16_t>>> Contents(const TZevMeshData* g)
{
    std::pair<std::vector<float>, std::vector<std::vector<uint16_t>>> out;
    for (int32_t i = 0; i < g->VertexCount; ++i)
        out.first.insert(out.first.end(), {g->Vertices()[i].x, g->Vertices()[i].y, g->Vertices()[i].z});
    for (int32_t f = 0; f < g->FaceCount; ++f)
        out.second.emplace_back(g->Faces[f].Indices, g->Faces[f].Indices + g->Faces[f].Count);
    return out;
}

TEST_F(ShadowTest, AVolumeDrawnAgainFollowsEveryChangeOfWhatItIsBuiltFrom)
{
    // Each change is made after a frame, with no flag set; the next frame's drawing must then hold what a shadow
    // made afresh builds.
    const std::pair<const char*, std::function<void(TZevMeshData*, TZevFrame*, TRecordingRenderer*)>> changes[] = {
        {"nothing", [](TZevMeshData*, TZevFrame*, TRecordingRenderer*) {}},
        {"a vertex moved in place", [](TZevMeshData* g, TZevFrame*, TRecordingRenderer*) { g->Vertices()[3].z = 2; }},
        {"a face's corners swapped in place",
         [](TZevMeshData* g, TZevFrame*, TRecordingRenderer*) { std::swap(g->Faces[0].Indices[1], g->Faces[0].Indices[2]); }},
        {"the frame moved", [](TZevMeshData*, TZevFrame* f, TRecordingRenderer*) { f->WorldMatrix.m[12] = 5; }},
        {"the light turned", [](TZevMeshData*, TZevFrame*, TRecordingRenderer* r) { r->Light0Direction.x = 1; }},
        {"the projection changed", [](TZevMeshData*, TZevFrame*, TRecordingRenderer* r) { r->ViewSettings[13] = -20; }},
    };
    for (const auto& [name, change] : changes) {
        SetUp();
        r.Light0Direction = TZevVector(-0.2f, -0.3f, -1);
        TZevPolygonMesh* mesh = MeshOf(Tetrahedron());
        auto* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
        TZevShadowMesh* shadow = ShadowOf(mesh);
        shadow->Render(&r, frame);
        r.ReplayQueue(); // the next frame: the same block is drawn again
        change(mesh->Geometry, frame, &r);
        shadow->Render(&r, frame);
        TZevShadowMesh* fresh = ShadowOf(mesh);
        fresh->Render(&r, frame);
        EXPECT_EQ(Contents(shadow->Geometry), Contents(fresh->Geometry)) << name;
        EXPECT_EQ(shadow->Bounds.Min.x, fresh->Bounds.Min.x) << name;
        EXPECT_EQ(shadow->Bounds.Max.y, fresh->Bounds.Max.y) << name;
        r.ReplayQueue();
        fresh->Release();
        shadow->Release();
        frame->Release();
        mesh->Release();
    }
}

TEST_F(ShadowTest, LightIsTurnedIntoTheMeshFrame)
{
    TZevPolygonMesh* mesh = MeshOf(Triangle());
    TZevShadowMesh* shadow = ShadowOf(mesh);
    auto* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    r.Light0Direction = TZevVector(0, 0, -1);
    frame->WorldMatrix = ZevMatTranslation(100.0f, 0.0f, 0.0f); // a move alone changes nothing
    shadow->Render(&r, frame);
    EXPECT_EQ(shadow->Geometry->FaceCount, 5);
    ZevMatRotationY(frame->WorldMatrix, 3.14159265f); // turned away from the light
    shadow->Render(&r, frame);
    EXPECT_EQ(shadow->Geometry->FaceCount, 0);
    r.ReplayQueue();
    shadow->Release();
    mesh->Release();
    frame->Release();
}

TEST_F(ShadowTest, WorstCaseFitsAndTooLargeIsRefused)
{
    // Separate lit triangles and quads: every face and every edge goes into the shadow.
    Shape many;
    for (uint16_t t = 0; t < 50; ++t) {
        const float x = float(t) * 2;
        const uint16_t b = uint16_t(many.Points.size());
        many.Points.insert(many.Points.end(), {{x, 0, 0}, {x, 1, 0}, {x + 1, 1, 0}, {x + 1, 0, 0}});
        if (t % 2)
            many.Faces.push_back({b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 3)});
        else
            many.Faces.push_back({b, uint16_t(b + 1), uint16_t(b + 2)});
    }
    TZevPolygonMesh* mesh = MeshOf(many);
    TZevShadowMesh* shadow = ShadowOf(mesh);
    r.Light0Direction = TZevVector(0, 0, -1);
    shadow->Render(&r, nullptr);
    const int corners = 25 * 3 + 25 * 4;
    EXPECT_EQ(shadow->Geometry->VertexCount, 2 * corners);
    EXPECT_EQ(shadow->Geometry->VertexCount, shadow->Geometry->VertexCapacity);
    EXPECT_EQ(shadow->Geometry->FaceCount, 50 + 2 * corners - 2);
    EXPECT_EQ(Drawn(r).size(), 1u);

    // A source whose shadow cannot be indexed with 16 bits (more than 32768 vertices named by its faces) casts
    // none, and nothing breaks.
    Shape huge;
    for (int t = 0; t < 10923; ++t) {
        const uint16_t b = uint16_t(huge.Points.size());
        huge.Points.insert(huge.Points.end(), {{0, 0, float(t)}, {0, 1, float(t)}, {1, 0, float(t)}});
        huge.Faces.push_back({b, uint16_t(b + 1), uint16_t(b + 2)});
    }
    TZevPolygonMesh* big = MeshOf(huge);
    TZevShadowMesh* bigShadow = ShadowOf(big);
    bigShadow->Render(&r, nullptr);
    EXPECT_EQ(bigShadow->Geometry->VertexCount, 0);
    EXPECT_TRUE(Drawn(r).empty());
    bigShadow->Release();
    big->Release();
    shadow->Release();
    mesh->Release();
}

TEST_F(ShadowTest, SourceChangesAreFollowed)
{
    TZevPolygonMesh* mesh = MeshOf(Triangle());
    r.Light0Direction = TZevVector(0, 0, -1);
    mesh->Render(&r, nullptr); // makes the shadow
    ASSERT_NE(mesh->Shadow, nullptr);
    EXPECT_EQ(mesh->Shadow->Geometry->FaceCount, 5);

    // The geometry grows under the shadow without a clear: the tables are rebuilt, not overrun.
    TZevMeshData* g = mesh->Geometry;
    Shape two = Tetrahedron();
    g->SetVertexCount(4);
    g->SetFaceCount(4);
    for (int i = 0; i < 4; ++i)
        g->Vertices()[i] = TZevVertex{two.Points[i].x, two.Points[i].y, two.Points[i].z, 0, 0, 0, 0, 0};
    g->VertexCount = 4;
    for (int f = 0; f < 4; ++f) {
        g->SetFaceIndexCount(f, 3);
        std::memcpy(g->Faces[f].Indices, two.Faces[f].data(), 6);
    }
    g->FaceCount = 4;
    mesh->Render(&r, nullptr);
    EXPECT_EQ(mesh->Shadow->GetEdgeCount(), 6);
    EXPECT_EQ(mesh->Shadow->Geometry->FaceCount, 2 + 3);

    // Emptied: no shadow, no crash.
    g->FaceCount = 0;
    mesh->Render(&r, nullptr);
    EXPECT_EQ(mesh->Shadow->Geometry->FaceCount, 0);
    r.ReplayQueue();
    mesh->Release();
}

// The queued renderer copies line records from pools; when the heap gives nothing, the copy stops with
// the lines it has, rather than writing through a null record.
TEST(QueuedLines, AFailedRecordAllocationStopsTheCopyCleanly)
{
    ZevSceneInit();
    TRecordingRenderer r;
    TZevLineRecord lines[3] = {{0xFF, 1, 2, 3, 4}, {0xFE, 5, 6, 7, 8}, {0xFD, 9, 10, 11, 12}};
    TZevSegmentRecord segments[3] = {};
    TZevList lineList, segmentList;
    for (int i = 0; i < 3; ++i) {
        lineList.Add(&lines[i]);
        segmentList.Add(&segments[i]);
    }
    for (int successes : {0, 1}) {
        // Warm commands and list nodes, but no free records: the next copies must allocate.
        r.DrawLineList(&lineList);
        r.DrawLines3D(IdentityMatrix, &segmentList);
        r.ClearCommands();
        ZevFreePool20();
        ZevFreePool28();
        ZevFailAllocationAfter(successes);
        r.DrawLineList(&lineList);
        ZevFailAllocationAfter(successes);
        r.DrawLines3D(IdentityMatrix, &segmentList);
        ZevFailAllocationAfter(-1);
        for (void* item : r.CommandQueue)
            EXPECT_EQ(static_cast<TZevDrawCommand*>(item)->Items.GetCount(), successes);
        r.ReplayQueue();
        ASSERT_EQ(r.CountOf("ScreenLineList"), 1);
        for (const TRecordedCall& c : r.Calls)
            if (c.Op == "ScreenLineList" && successes == 1) {
                ASSERT_EQ(c.Lines.size(), 1u);
                EXPECT_EQ(c.Lines[0].Color, 0xFFu);
            }
        r.Calls.clear();
    }
}

} // namespace
