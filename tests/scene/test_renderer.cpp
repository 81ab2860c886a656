#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "RecordingRenderer.h"
#include "ZevMeshData.h"

namespace {

bool SameBits(const TZevMatrix& a, const TZevMatrix& b)
{
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

TZevBox MakeBox(float x0, float y0, float z0, float x1, float y1, float z1)
{
    TZevBox box;
    box.Set(TZevVector(x0, y0, z0), TZevVector(x1, y1, z1));
    return box;
}

} // namespace

TEST(Renderer, Defaults)
{
    TRecordingBaseRenderer r;
    EXPECT_TRUE(SameBits(r.ProjectionMatrix, TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0)));
    // The camera setup divides by these: never left unset.
    EXPECT_EQ(r.DeviceProjection.m[0], 1.0f);
    EXPECT_EQ(r.DeviceProjection.m[5], 1.0f);
    EXPECT_TRUE(SameBits(r.ViewMatrix, IdentityMatrix));
    const float settings[16] = {1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 50, -50, 50, 1};
    EXPECT_EQ(std::memcmp(r.ViewSettings, settings, sizeof settings), 0);
    EXPECT_EQ(r.ViewPlaneScale, 1.0f);
    EXPECT_EQ(r.GetAdditive(), 0);
    EXPECT_EQ(r.GetTranslucent(), 0);
    EXPECT_EQ(r.GetShadowVolume(), 0);
    EXPECT_EQ(r.GetFogEnable(), 0);
    EXPECT_EQ(r.GetFogStart(), 10.0f);
    EXPECT_EQ(r.GetFogEnd(), 200.0f);
    EXPECT_EQ(r.GetBackgroundColor(), 0u);
    TZevVFrame* frame = nullptr;
    TZevVMesh* visual = reinterpret_cast<TZevVMesh*>(1);
    r.GetFirstRenderItem(&frame, &visual);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(visual, nullptr);

    const TZevMaterial& m = DefaultMaterial;
    EXPECT_EQ(m.Diffuse[0], 1.0f);
    EXPECT_EQ(m.Ambient[1], 0.8f);
    EXPECT_EQ(m.Ambient[3], 1.0f);
    EXPECT_EQ(m.Specular[2], 1.0f);
    EXPECT_EQ(m.Power, 20.0f);

    const TZevLight light;
    EXPECT_EQ(light.Type, 3);
    EXPECT_EQ(light.Specular[0], 0.8f);
    EXPECT_EQ(light.Ambient[0], 1.0f);
    EXPECT_EQ(light.Position[1], 1.0f);
    EXPECT_FLOAT_EQ(light.Range, 5.8309518e18f);
    EXPECT_EQ(light.Attenuation1, 1.0f);
}

TEST(Renderer, StateSettersStoreAndReturn)
{
    TRecordingBaseRenderer r;
    EXPECT_EQ(r.SetAdditive(1), 1);
    EXPECT_EQ(r.SetTranslucent(2), 2);
    EXPECT_EQ(r.SetShadowVolume(3), 3);
    EXPECT_EQ(r.SetStencilShadows(4), 4);
    EXPECT_EQ(r.GetAdditive(), 1);
    EXPECT_EQ(r.GetTranslucent(), 2);
    EXPECT_EQ(r.GetShadowVolume(), 3);
    EXPECT_EQ(r.GetStencilShadows(), 4);
    EXPECT_EQ(r.SetFogEnable(1), 1);
    EXPECT_EQ(r.SetFogNear(2.5f), 2.5f);
    EXPECT_EQ(r.GetFogStart(), 2.5f);
    EXPECT_EQ(r.SetFogFar(99.0f), 99.0f);
    EXPECT_EQ(r.GetFogEnd(), 99.0f);
    EXPECT_EQ(r.SetFogColor(0x00123456u), 0x00123456u);
    EXPECT_EQ(r.GetBackgroundColor(), 0x00123456u);

    const float p[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 1, 0, 0, -0.5f, 0};
    r.SetProjectionMatrix(p);
    EXPECT_EQ(std::memcmp(r.ProjectionMatrix.m, p, sizeof p), 0);
}

TEST(TextureNames, SameNameIsOneEntryLoadedOnce)
{
    const int before = TextureNameCount();
    {
        TRecordingBaseRenderer r;
        TZevTextureName* a = r.LoadTextureByName("wood.bmp");
        TZevTextureName* b = r.LoadTextureByName("wood.bmp");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a->GetRefCount(), 2);
        EXPECT_EQ(r.CountOf("LoadTexture"), 1);
        EXPECT_STREQ(a->Name.CStr(), "wood.bmp");
        EXPECT_EQ(a->RendererCount(), 1);
        EXPECT_EQ(TextureNameCount(), before + 1);

        const TZevTextureHandle handle = a->HandleFor(&r);
        EXPECT_NE(handle, 0u);
        EXPECT_EQ(b->Release(), 1);
        EXPECT_EQ(r.CountOf("UnloadTexture"), 0);
        EXPECT_EQ(a->Release(), 0); // the last one gives the device texture back and leaves the registry
        ASSERT_EQ(r.CountOf("UnloadTexture"), 1);
        EXPECT_EQ(r.Calls.back().Handle, handle);
        EXPECT_EQ(TextureNameCount(), before);
    }
}

TEST(TextureNames, FailedLoadKeepsEntriesThatOthersHold)
{
    const int before = TextureNameCount();
    TRecordingBaseRenderer r;
    r.Unloadable = {"missing.bmp"};

    // Nobody else holds it: no entry is left behind.
    EXPECT_EQ(r.LoadTextureByName("missing.bmp"), nullptr);
    EXPECT_EQ(TextureNameCount(), before);

    // A mesh holds the entry: the failed load drops only its own reference.
    TZevTextureName* held = GetTextureName("missing.bmp");
    EXPECT_EQ(r.LoadTextureByName("missing.bmp"), nullptr);
    EXPECT_EQ(held->GetRefCount(), 1);
    EXPECT_EQ(held->HandleFor(&r), 0u);
    EXPECT_EQ(TextureNameCount(), before + 1);
    TZevTextureName* again = GetTextureName("missing.bmp");
    EXPECT_EQ(again, held);
    again->Release();
    held->Release();
    EXPECT_EQ(TextureNameCount(), before);
    EXPECT_EQ(r.CountOf("UnloadTexture"), 0);
}

TEST(TextureNames, BucketsByFirstByte)
{
    EXPECT_EQ(TextureNameBucket("abc"), 'a');
    EXPECT_EQ(TextureNameBucket(""), 0);
    EXPECT_EQ(TextureNameBucket(nullptr), 0);
    // A UTF-8 name begins with a byte above 0x7F: its bucket is taken unsigned.
    const char* japanese = "\xE6\x9C\xA8.bmp";
    EXPECT_EQ(TextureNameBucket(japanese), 0xE6);

    const char* names[] = {"brick.bmp", "brass.bmp", japanese, "\xFF", ""};
    TZevTextureName* entries[5];
    for (int i = 0; i < 5; ++i)
        entries[i] = GetTextureName(names[i]);
    for (int i = 0; i < 5; ++i) {
        TZevTextureName* found = GetTextureName(names[i]);
        EXPECT_EQ(found, entries[i]) << i;
        EXPECT_EQ(found->GetRefCount(), 2);
        found->Release();
        entries[i]->Release();
    }
    TZevTextureName* null = GetTextureName(nullptr);
    EXPECT_STREQ(null->Name.CStr(), "");
    null->Release();
}

TEST(TextureNames, EntriesOutliveTheirRenderer)
{
    TZevTextureName* entry;
    {
        TRecordingBaseRenderer r;
        entry = r.LoadTextureByName("sky.bmp");
        ASSERT_NE(entry, nullptr);
    } // the renderer gave its textures back when it went
    EXPECT_EQ(entry->RendererCount(), 0);

    // Loaded again by a new renderer.
    TRecordingBaseRenderer r2;
    EXPECT_EQ(r2.LoadTextureByName("sky.bmp"), entry);
    EXPECT_EQ(r2.CountOf("LoadTexture"), 1);
    entry->Release();
    EXPECT_EQ(entry->Release(), 0);
    EXPECT_EQ(r2.CountOf("UnloadTexture"), 1);
}

// A view and the Direct3D test form draw the same names: each keeps its own texture instead of unloading the
// other's at every draw.
TEST(TextureNames, TwoRenderersKeepTheirOwnTexturesOfOneName)
{
    const int before = TextureNameCount();
    TRecordingBaseRenderer a, b;
    TZevTextureName* held[10];
    for (int i = 0; i < 10; ++i)
        held[i] = (i % 2 ? b : a).LoadTextureByName("floor.bmp");
    EXPECT_EQ(a.CountOf("LoadTexture"), 1);
    EXPECT_EQ(b.CountOf("LoadTexture"), 1);
    EXPECT_EQ(a.CountOf("UnloadTexture") + b.CountOf("UnloadTexture"), 0);
    TZevTextureName* entry = held[0];
    EXPECT_EQ(entry->RendererCount(), 2);
    const TZevTextureHandle ofA = entry->HandleFor(&a), ofB = entry->HandleFor(&b);
    EXPECT_NE(ofA, 0u);
    EXPECT_NE(ofB, 0u);
    for (TZevTextureName* h : held)
        h->Release();
    ASSERT_EQ(a.CountOf("UnloadTexture"), 1);
    ASSERT_EQ(b.CountOf("UnloadTexture"), 1);
    EXPECT_EQ(a.Calls.back().Handle, ofA);
    EXPECT_EQ(b.Calls.back().Handle, ofB);
    EXPECT_EQ(TextureNameCount(), before);
}

// Meshes go on the user-interface thread while a render thread draws: the texture is given back on the thread
// that loaded it, at its renderer's next draw, or forgotten with its store when the renderer is released.
TEST(TextureNames, AnEntryThatGoesOnAnotherThreadLeavesItsTextureToItsRenderer)
{
    for (const bool drawnAgain : {true, false}) {
        SCOPED_TRACE(drawnAgain);
        auto* r = new TRecordingBaseRenderer();
        TZevTextureName* entry = r->LoadTextureByName("grass.bmp");
        ASSERT_NE(entry, nullptr);
        const TZevTextureHandle handle = entry->HandleFor(r);
        std::thread([entry] { entry->Release(); }).join();
        EXPECT_EQ(r->CountOf("UnloadTexture"), 0) << "unloaded on a thread that is not the renderer's";
        if (drawnAgain) {
            TZevTextureName* other = r->LoadTextureByName("stone.bmp");
            ASSERT_EQ(r->CountOf("UnloadTexture"), 1);
            EXPECT_EQ(r->Calls[1].Op, "UnloadTexture");
            EXPECT_EQ(r->Calls[1].Handle, handle);
            other->Release();
        }
        const int unloads = r->CountOf("UnloadTexture");
        r->ReleaseAllTextures();
        EXPECT_EQ(r->CountOf("UnloadTexture"), drawnAgain ? unloads : 1);
        delete r;
    }
}

// Several threads, each with its own renderer, take and drop entries of the same names at once: no count is lost
// (every entry leaves the registry) and each renderer gives back what it loaded.
TEST(TextureNames, ThreadsSharingNamesLoseNoCounts)
{
    const int before = TextureNameCount();
    std::vector<std::thread> threads;
    std::atomic<int> balance{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&balance] {
            TRecordingBaseRenderer r;
            const char* names[] = {"floor.bmp", "sky.bmp", "wall.bmp"};
            for (int i = 0; i < 2000; ++i) {
                TZevTextureName* plain = GetTextureName(names[i % 3]);
                TZevTextureName* loaded = r.LoadTextureByName(names[(i + 1) % 3]);
                plain->Release();
                if (loaded)
                    loaded->Release();
            }
            r.ReleaseAllTextures();
            balance += r.CountOf("LoadTexture") - r.CountOf("UnloadTexture");
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(balance.load(), 0);
    EXPECT_EQ(TextureNameCount(), before);
}

TEST(Culling, BoxesAgainstTheSidePlanes)
{
    TRecordingBaseRenderer r;
    r.SetCameraFrame(nullptr, nullptr); // camera at the origin looking along +z, 90 degrees wide and high
    EXPECT_TRUE(SameBits(r.ViewMatrix, IdentityMatrix));
    for (const TZevVector& n : r.FrustumNormals)
        EXPECT_NEAR(n.Length(), 1.0f, 1e-6f);

    TZevMatrix moved;
    ZevMatTranslation(moved, 0, 0, 10);
    TZevMatrix shrunk; // x shrunk tenfold
    ZevMatScaling(shrunk, 0.1f, 1, 1);
    const TZevMatrix flat(0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 100, 0, 0, 1);
    struct Case {
        const char* what;
        TZevMatrix matrix;
        TZevBox box;
        int visible;
    } cases[] = {
        {"ahead", IdentityMatrix, MakeBox(-1, -1, 5, 1, 1, 6), 1},
        {"straddles the left plane", IdentityMatrix, MakeBox(-8, -1, 5, -4, 1, 6), 1},
        {"wholly left", IdentityMatrix, MakeBox(-20, -1, 5, -10, 1, 6), 0},
        {"wholly above", IdentityMatrix, MakeBox(-1, 10, 5, 1, 20, 6), 0},
        {"behind the camera", IdentityMatrix, MakeBox(-1, -1, -6, 1, 1, -4), 0},
        {"contains the camera", IdentityMatrix, MakeBox(-1, -1, -1, 1, 1, 1), 1},
        {"moved into view", moved, MakeBox(-1, -1, -1, 1, 1, 1), 1},
        {"moved into view but off to the right", moved, MakeBox(20, -1, -1, 22, 1, 1), 0},
        // Local x 5..6 is world x 0.5..0.6 at z 10..11: well inside.
        {"scaled per axis", shrunk, MakeBox(5, -1, 10, 6, 1, 11), 1},
        {"flattened frame", flat, MakeBox(-1, -1, -1, 1, 1, 1), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(r.IsBoxVisible(c.matrix, c.box), c.visible) << c.what;
}

TEST(Culling, NarrowerProjectionNarrowsThePyramid)
{
    TRecordingBaseRenderer r;
    r.DeviceProjection.m[0] = 4; // a quarter as wide
    r.DeviceProjection.m[5] = 4;
    r.SetCameraFrame(nullptr, nullptr);
    EXPECT_EQ(r.IsBoxVisible(IdentityMatrix, MakeBox(-1, -1, 9, 1, 1, 10)), 1);
    EXPECT_EQ(r.IsBoxVisible(IdentityMatrix, MakeBox(4, -1, 9, 5, 1, 10)), 0);

    // A device that reports a zero scale does not spread infinities into the planes.
    r.DeviceProjection.m[0] = 0;
    r.SetCameraFrame(nullptr, nullptr);
    for (const TZevVector& n : r.FrustumNormals)
        EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z));
}

TEST(BaseDrawing, LineListRoundsToPixels)
{
    TRecordingBaseRenderer r;
    TZevLineRecord lines[2] = {{0xFF0000u, 0.4f, 0.6f, 10.5f, -0.4f}, {0x00FF00u, 1e20f, -1e20f, NAN, 3.0f}};
    TZevList list;
    list.Add(&lines[0]);
    list.Add(&lines[1]);
    r.DrawLineList(&list);
    ASSERT_EQ(r.Calls.size(), 2u);
    const TZevPoint2D expected[2][2] = {{{0, 1}, {11, 0}}, {{2147483647, -2147483647 - 1}, {0, 3}}};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(r.Calls[i].Points.size(), 2u);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(r.Calls[i].Points[k].x, expected[i][k].x);
            EXPECT_EQ(r.Calls[i].Points[k].y, expected[i][k].y);
        }
    }
}

TEST(BaseDrawing, LinesAndMeshesAreProjectedOntoTheScreen)
{
    TRecordingBaseRenderer r; // 640 x 480: at z = 2 one unit is 240 pixels
    TZevMatrix view;
    ZevMatTranslation(view, 0, 0, 1);
    r.ViewMatrix = view;
    TZevSegmentRecord segments[2] = {{1, 0, 0, 1, 1, 1, 1}, {2, 0, 0, 1, 0, 0, -0.5f}};
    TZevList list;
    list.Add(&segments[0]);
    list.Add(&segments[1]); // one end at the near distance: left out
    r.DrawLines3D(IdentityMatrix, &list);
    ASSERT_EQ(r.Calls.size(), 1u);
    EXPECT_EQ(r.Calls[0].Points[0].x, 320);
    EXPECT_EQ(r.Calls[0].Points[0].y, 240);
    EXPECT_EQ(r.Calls[0].Points[1].x, 560);
    EXPECT_EQ(r.Calls[0].Points[1].y, 0);

    // A triangle: three edges; an index past the vertices in use is skipped, not read.
    TZevMeshData mesh;
    ASSERT_TRUE(mesh.SetVertexCount(3));
    ASSERT_TRUE(mesh.SetFaceCount(2));
    mesh.VertexCount = 3;
    mesh.FaceCount = 2;
    const float pos[3][3] = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    for (int i = 0; i < 3; ++i) {
        mesh.Vertices()[i].x = pos[i][0];
        mesh.Vertices()[i].y = pos[i][1];
        mesh.Vertices()[i].z = pos[i][2];
    }
    ASSERT_TRUE(mesh.SetFaceIndexCount(0, 3));
    ASSERT_TRUE(mesh.SetFaceIndexCount(1, 2));
    for (int i = 0; i < 3; ++i)
        mesh.Faces[0].Indices[i] = static_cast<std::uint16_t>(i);
    mesh.Faces[1].Indices[0] = 0;
    mesh.Faces[1].Indices[1] = 7;
    r.Calls.clear();
    r.DrawMaterialMesh(nullptr, &DefaultMaterial, IdentityMatrix, &mesh);
    EXPECT_EQ(r.CountOf("Polyline"), 3);
    r.Calls.clear();
    r.DrawMesh(nullptr, IdentityMatrix, &mesh);
    EXPECT_EQ(r.CountOf("Polyline"), 3);
}
