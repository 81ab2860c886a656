// Polygon and pre-lit meshes: defaults, drawing through a recording renderer, shadows, saving and
// loading through object streams, the checked chunk readers, and the collision copy.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "MakeObject.h"
#include "RecordingRenderer.h"
#include "ZevLSObj.h"
#include "ZevMesh.h"
#include "ZevShadowMesh.h"
#include "ZevStream.h"
#include "ZevTextureName.h"

namespace {

class MeshTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevMeshesInit();
    }
};

// A box 5 to 6 units in front of the camera of SetCameraFrame(null, null).
TZevPolygonMesh* BoxInFront()
{
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    mesh->Clear();
    EXPECT_TRUE(ZevMakeBoxMesh(mesh->Geometry, -0.5f, -0.5f, 5.0f, 0.5f, 0.5f, 6.0f));
    return mesh;
}

std::vector<TRecordedCall> Drawn(TRecordingRenderer& r, const char* op)
{
    r.ReplayQueue();
    std::vector<TRecordedCall> out;
    for (const TRecordedCall& c : r.Calls)
        if (c.Op == op)
            out.push_back(c);
    r.Calls.clear();
    return out;
}

// Saves the object into a memory stream and reads it back.
TZevLSObj* RoundTrip(TZevLSObj* object)
{
    TZevMemStream stream;
    EXPECT_TRUE(object->Save(&stream));
    EXPECT_EQ(stream.Seek(0), 1);
    return ReadObject(&stream);
}

} // namespace

TEST_F(MeshTest, DefaultPolygonMesh)
{
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    EXPECT_EQ(std::memcmp(&mesh->Material, &DefaultMaterial, sizeof(TZevMaterial)), 0);
    EXPECT_EQ(mesh->Texture, nullptr);
    EXPECT_EQ(mesh->Additive, 0);
    EXPECT_EQ(mesh->Translucent, 0);
    EXPECT_EQ(mesh->Changed, 1);
    EXPECT_EQ(mesh->Geometry, nullptr);
    mesh->Clear();
    ASSERT_NE(mesh->Geometry, nullptr);
    EXPECT_EQ(mesh->Geometry->VertexCount, 0);
    mesh->UpdateBounds(); // an empty mesh has a point box at the origin
    EXPECT_EQ(mesh->Bounds.Min.x, 0.0f);
    EXPECT_EQ(mesh->Bounds.Max.z, 0.0f);
    EXPECT_EQ(mesh->Changed, 0);
    EXPECT_FALSE(mesh->SetFaceAndVertexCount(65537, 1));
    EXPECT_EQ(mesh->Geometry->VertexCapacity, 0);
    EXPECT_TRUE(mesh->SetFaceAndVertexCount(65536, 1));
    mesh->Release();
}

TEST_F(MeshTest, DrawingSetsStatesAndCullsByTheBox)
{
    TRecordingRenderer r;
    r.SetCameraFrame(nullptr, nullptr);
    TZevPolygonMesh* mesh = BoxInFront();
    mesh->SetTextureName("stone.bmp");
    mesh->Additive = 1;
    mesh->Translucent = 1;
    mesh->Render(&r, nullptr);
    EXPECT_EQ(mesh->Changed, 0);
    EXPECT_EQ(mesh->Bounds.Min.z, 5.0f);
    std::vector<TRecordedCall> drawn = Drawn(r, "MaterialMeshNow");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].Mesh, mesh->Geometry);
    EXPECT_EQ(drawn[0].Material, &mesh->Material);
    EXPECT_EQ(drawn[0].Texture, mesh->Texture);
    EXPECT_EQ(drawn[0].Additive, 1);
    EXPECT_EQ(drawn[0].Translucent, 1);
    EXPECT_EQ(drawn[0].ShadowVolume, 0);

    // Behind the camera: nothing drawn.
    mesh->Geometry->Transform(TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -20, 1));
    mesh->Changed = 1;
    mesh->Render(&r, nullptr);
    EXPECT_TRUE(Drawn(r, "MaterialMeshNow").empty());
    mesh->Release();
}

TEST_F(MeshTest, ShadowMeshLifetime)
{
    TRecordingRenderer r;
    r.SetCameraFrame(nullptr, nullptr);
    TZevPolygonMesh* mesh = BoxInFront();
    mesh->Render(&r, nullptr);
    EXPECT_EQ(mesh->Shadow, nullptr); // shadows off in the renderer

    r.SetStencilShadows(1);
    mesh->Render(&r, nullptr);
    TZevShadowMesh* first = mesh->Shadow;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Source, mesh);
    EXPECT_STREQ(first->GetClassRecordName(), "TZevShadowMesh");
    mesh->Render(&r, nullptr);
    EXPECT_EQ(mesh->Shadow, first); // made once

    ZevMakeBoxMesh(mesh->Geometry, 0, 0, 5, 1, 1, 6);
    mesh->Clear();
    EXPECT_EQ(mesh->Shadow, nullptr);
    ZevMakeBoxMesh(mesh->Geometry, 0, 0, 5, 1, 1, 6);
    mesh->Render(&r, nullptr);
    EXPECT_NE(mesh->Shadow, nullptr);

    // Out of view, the shadow is still drawn (made); with the mesh's own switch off it never is.
    TZevPolygonMesh* away = BoxInFront();
    away->Geometry->Transform(TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -20, 1));
    away->Render(&r, nullptr);
    EXPECT_NE(away->Shadow, nullptr);
    TZevPolygonMesh* off = BoxInFront();
    off->ShadowOff = 1;
    off->Render(&r, nullptr);
    EXPECT_EQ(off->Shadow, nullptr);
    r.ReplayQueue();
    mesh->Release();
    away->Release();
    off->Release();
}

TEST_F(MeshTest, LitMeshDrawsOnlyWhenVisible)
{
    TRecordingRenderer r;
    r.SetCameraFrame(nullptr, nullptr);
    auto* mesh = Make<TZevLPolygonMesh>("TZevLPolygonMesh");
    ASSERT_TRUE(mesh->SetFaceAndVertexCount(3, 1));
    TZevMeshData* g = mesh->Geometry;
    const float corners[3][3] = {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}};
    for (int i = 0; i < 3; ++i) {
        g->LVertices()[i] = TZevLVertex{corners[i][0], corners[i][1], corners[i][2], 0, 0xFF102030u, 0, 0, 0};
    }
    g->VertexCount = 3;
    ASSERT_TRUE(g->SetFaceIndexCount(0, 3));
    g->Faces[0].Indices[1] = 1;
    g->Faces[0].Indices[2] = 2;
    g->FaceCount = 1;
    mesh->Additive = 1;
    mesh->Render(&r, nullptr);
    std::vector<TRecordedCall> drawn = Drawn(r, "LitMeshNow");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].Mesh, g);
    EXPECT_EQ(drawn[0].Additive, 1);

    // Out of view: the states are left alone.
    g->LVertices()[0].z = g->LVertices()[1].z = g->LVertices()[2].z = -5.0f;
    mesh->Changed = 1;
    r.SetAdditive(7);
    mesh->Render(&r, nullptr);
    EXPECT_EQ(r.GetAdditive(), 7);
    EXPECT_TRUE(Drawn(r, "LitMeshNow").empty());
    mesh->Release();
}

TEST_F(MeshTest, TextureReplacementReleasesTheOldEntry)
{
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    TZevTextureName* a = GetTextureName("mesh-test-a.bmp"); // our own reference
    mesh->SetTextureName("mesh-test-a.bmp");
    EXPECT_EQ(mesh->Texture, a);
    EXPECT_EQ(a->GetRefCount(), 2);
    mesh->SetTextureName("mesh-test-b.bmp");
    EXPECT_EQ(a->GetRefCount(), 1);
    mesh->SetTextureEntry(a);
    EXPECT_EQ(a->GetRefCount(), 2);
    mesh->Release();
    EXPECT_EQ(a->GetRefCount(), 1);
    a->Release();
}

TEST_F(MeshTest, PolygonMeshSavesAndLoads)
{
    TZevPolygonMesh* mesh = BoxInFront();
    mesh->SetName("crate");
    mesh->SetTextureName("crate.bmp");
    mesh->Material.Power = 7.25f;
    mesh->Material.Diffuse[1] = 0.1f;
    mesh->Geometry->Vertices()[3].u = 0.3f;
    TZevLSObj* loaded = RoundTrip(mesh);
    auto* copy = dynamic_cast<TZevPolygonMesh*>(loaded);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetName(), "crate");
    ASSERT_NE(copy->Texture, nullptr);
    EXPECT_STREQ(copy->Texture->Name.CStr(), "crate.bmp");
    EXPECT_EQ(std::memcmp(&copy->Material, &mesh->Material, sizeof(TZevMaterial)), 0);
    ASSERT_EQ(copy->Geometry->VertexCount, 24);
    ASSERT_EQ(copy->Geometry->FaceCount, 12);
    EXPECT_EQ(std::memcmp(copy->Geometry->VertexArray, mesh->Geometry->VertexArray, 24 * sizeof(TZevVertex)), 0);
    for (int f = 0; f < 12; ++f) {
        ASSERT_EQ(copy->Geometry->Faces[f].Count, 3u);
        EXPECT_EQ(std::memcmp(copy->Geometry->Faces[f].Indices, mesh->Geometry->Faces[f].Indices, 6), 0);
    }
    EXPECT_EQ(copy->Changed, 1);
    copy->Release();

    // Without a texture entry the name is written empty and reads back as none.
    TZevPolygonMesh* plain = BoxInFront();
    TZevLSObj* plainCopy = RoundTrip(plain);
    ASSERT_NE(plainCopy, nullptr);
    EXPECT_EQ(dynamic_cast<TZevPolygonMesh*>(plainCopy)->Texture, nullptr);
    plainCopy->Release();
    plain->Release();
    mesh->Release();
}

TEST_F(MeshTest, LitMeshSavesAndLoads)
{
    auto* mesh = Make<TZevLPolygonMesh>("TZevLPolygonMesh");
    ASSERT_TRUE(mesh->SetFaceAndVertexCount(2, 1));
    mesh->Geometry->LVertices()[0] = TZevLVertex{0.1f, 0.2f, 0.3f, 0xDEADBEEFu, 0x80FF4020u, 0x01020304u, 0.5f, 0.25f};
    mesh->Geometry->LVertices()[1] = TZevLVertex{1, 2, 3, 0, 0xFFFFFFFFu, 0, 1, 1};
    mesh->Geometry->VertexCount = 2;
    ASSERT_TRUE(mesh->Geometry->SetFaceIndexCount(0, 2));
    mesh->Geometry->Faces[0].Indices[1] = 1;
    mesh->Geometry->FaceCount = 1;
    mesh->SetTextureName("glow.bmp");
    TZevLSObj* loaded = RoundTrip(mesh);
    auto* copy = dynamic_cast<TZevLPolygonMesh*>(loaded);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->Texture->Name.CStr(), "glow.bmp");
    ASSERT_EQ(copy->Geometry->VertexCount, 2);
    EXPECT_EQ(std::memcmp(copy->Geometry->VertexArray, mesh->Geometry->VertexArray, 2 * sizeof(TZevLVertex)), 0);
    EXPECT_EQ(copy->Geometry->Faces[0].Indices[1], 1);
    copy->Release();
    mesh->Release();
}

TEST_F(MeshTest, ChunkReadersCheckCountsAndIndices)
{
    // The chunk data as the writer lays it out: name, 13 floats, counts, vertices, faces.
    auto write = [](TZevStream& s, uint32_t nV, uint32_t nF, uint32_t corners, uint16_t lastIndex) {
        WriteCString(&s, "");
        const float zero = 0.0f;
        for (int i = 0; i < 13; ++i)
            WriteFloat(&s, &zero);
        WriteUInt32(&s, nV);
        WriteUInt32(&s, nF);
        for (uint32_t i = 0; i < nV * 8 && i < 800; ++i)
            WriteFloat(&s, &zero);
        for (uint32_t f = 0; f < nF && f < 10; ++f) {
            WriteUInt32(&s, corners);
            for (uint32_t k = 0; k < corners; ++k) {
                const uint16_t index = k + 1 == corners ? lastIndex : uint16_t(k);
                s.Write(&index, 2);
            }
        }
    };
    struct Case {
        uint32_t nV, nF, corners;
        uint16_t last;
        bool ok;
    } cases[] = {
        {3, 1, 3, 2, true},                          // a triangle
        {3, 1, 3, 3, false},                         // index 3 of three vertices
        {3, 2, 3, 2, true}, {70000, 0, 0, 0, false}, // more vertices than 16-bit indices address
        {150, 0, 0, 0, false},                       // more vertices than written (100 are)
        {3, 5000000, 3, 2, false},                   // more faces than the stream can hold
        {3, 1, 1000000, 2, false},                   // more corners than the stream can hold
    };
    for (const Case& c : cases) {
        TZevMemStream stream;
        write(stream, c.nV, c.nF, c.corners, c.last);
        stream.Seek(0);
        auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
        EXPECT_EQ(TZevPolygonMesh::LoadChunk(&stream, mesh), c.ok) << c.nV << " " << c.nF << " " << c.corners;
        if (!c.ok) {
            EXPECT_EQ(mesh->Geometry->VertexCount, 0);
            EXPECT_EQ(mesh->Geometry->FaceCount, 0);
        }
        mesh->Release();
    }
    // A reader given the wrong kind of object refuses it.
    TZevMemStream stream;
    write(stream, 3, 1, 3, 2);
    stream.Seek(0);
    auto* lit = Make<TZevLPolygonMesh>("TZevLPolygonMesh");
    EXPECT_FALSE(TZevPolygonMesh::LoadChunk(&stream, lit));
    lit->Release();
}

TEST_F(MeshTest, CutStreamsAreRefusedWhole)
{
    TZevPolygonMesh* mesh = BoxInFront();
    mesh->SetTextureName("cut.bmp");
    TZevMemStream stream;
    ASSERT_TRUE(mesh->Save(&stream));
    const int32_t size = stream.GetSize();
    std::vector<char> bytes(static_cast<size_t>(size));
    stream.Seek(0);
    ASSERT_TRUE(stream.Read(bytes.data(), size));
    const int32_t before = NewCount.load() - DeleteCount.load();
    for (int32_t n = 0; n < size; n += 7) {
        TZevMemStream cut;
        cut.Write(bytes.data(), n);
        cut.Seek(0);
        TZevLSObj* object = ReadObject(&cut);
        EXPECT_EQ(object, nullptr) << n;
        if (object)
            object->Release();
    }
    EXPECT_EQ(NewCount.load() - DeleteCount.load(), before);
    mesh->Release();
}

TEST_F(MeshTest, CollisionCopyWeldsVertices)
{
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    ASSERT_TRUE(mesh->SetFaceAndVertexCount(5, 3));
    TZevMeshData* g = mesh->Geometry;
    const float p[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1.01f, 1, 0}};
    for (int i = 0; i < 5; ++i) {
        g->Vertices()[i] = TZevVertex{p[i][0], p[i][1], p[i][2], 0, 0, 0, 0, 0};
    }
    g->VertexCount = 5;
    const uint16_t faces[3][3] = {{0, 1, 2}, {0, 2, 3}, {1, 4, 2}};
    for (int f = 0; f < 3; ++f) {
        ASSERT_TRUE(g->SetFaceIndexCount(f, 3));
        std::memcpy(g->Faces[f].Indices, faces[f], sizeof faces[f]);
    }
    g->FaceCount = 3;
    mesh->SetTextureName("weld.bmp");
    mesh->Material.Power = 3.0f;
    TZevPolygonMesh* copy = mesh->CloneFaceChecked();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Geometry->VertexCount, 4);
    EXPECT_EQ(copy->Geometry->FaceCount, 2); // the triangle on both welded vertices is gone
    EXPECT_STREQ(copy->Texture->Name.CStr(), "weld.bmp");
    EXPECT_EQ(copy->Material.Power, 3.0f);
    EXPECT_FLOAT_EQ(copy->Geometry->Vertices()[0].nz, 1.0f);
    EXPECT_EQ(mesh->Geometry->VertexCount, 5); // the source is untouched
    copy->Release();

    // A mesh made without the class registry is copied all the same.
    TZevPolygonMesh unregistered;
    unregistered.Clear();
    ASSERT_TRUE(ZevMakeBoxMesh(unregistered.Geometry, 0, 0, 0, 1, 1, 1));
    unregistered.Material.Power = 9.0f;
    TZevPolygonMesh* boxCopy = unregistered.CloneFaceChecked();
    ASSERT_NE(boxCopy, nullptr);
    EXPECT_EQ(boxCopy->Geometry->VertexCount, 8); // the three copies of each corner weld into one
    EXPECT_EQ(boxCopy->Geometry->FaceCount, 12);
    EXPECT_EQ(boxCopy->Material.Power, 9.0f);
    boxCopy->Release();
    mesh->Release();
}

TEST_F(MeshTest, DamagedStreamsLoadOrFailCleanly)
{
    TZevPolygonMesh* mesh = BoxInFront();
    mesh->SetTextureName("damaged.bmp");
    TZevMemStream stream;
    ASSERT_TRUE(mesh->Save(&stream));
    std::vector<char> bytes(static_cast<size_t>(stream.GetSize()));
    stream.Seek(0);
    ASSERT_TRUE(stream.Read(bytes.data(), int32_t(bytes.size())));
    // The same damage twice: the first pass warms the pools (list nodes, texture entries), so the second must
    // end with as many live blocks as it began with.
    int32_t live[3];
    live[0] = NewCount.load() - DeleteCount.load();
    for (int pass = 1; pass <= 2; ++pass) {
        std::mt19937 random(777);
        for (int round = 0; round < 500; ++round) {
            std::vector<char> damaged = bytes;
            for (int edits = 1 + int(random() % 3); edits > 0; --edits)
                damaged[random() % damaged.size()] = char(random());
            TZevMemStream in;
            in.Write(damaged.data(), int32_t(damaged.size()));
            in.Seek(0);
            TZevLSObj* object = ReadObject(&in);
            if (auto* copy = dynamic_cast<TZevPolygonMesh*>(object)) {
                ASSERT_NE(copy->Geometry, nullptr);
                EXPECT_LE(copy->Geometry->VertexCount, ZevMaxMeshVertices);
                EXPECT_TRUE(copy->Geometry->IndicesInRange());
            }
            if (object)
                object->Release();
        }
        live[pass] = NewCount.load() - DeleteCount.load();
    }
    EXPECT_EQ(live[2], live[1]) << "first pass: " << live[1] - live[0] << " blocks kept by pools";
    mesh->Release();
}
