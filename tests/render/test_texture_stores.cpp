// The texture stores of both renderers: textures by name, search directories, alpha masks, materials, reference
// counts, the device the DirectDraw 7 store chooses, and files that cannot be loaded.
#include "RenderTestSupport.h"

#include "ZevBitmap.h"
#include "ZevDX7Surfaces.h"
#include "ZevDX7Texture.h"
#include "ZevDX7TextureStore.h"
#include "ZevDX8TextureStore.h"
#include "ZevGLSurface.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// How often the debug log holds the text.
int LogCount(const std::string& text)
{
    std::ifstream in("ZevDebug.txt", std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string log = all.str();
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++n;
    return n;
}

// The alpha of every texel of a colour surface, top row first.
std::vector<std::uint32_t> Alphas(TZevGLSurface* surface)
{
    std::vector<std::uint32_t> out;
    TZevGLSurfaceDesc locked;
    if (ZevGL::Failed(surface->Lock(nullptr, &locked, 0)))
        return out;
    for (int y = 0; y < locked.Height; ++y)
        for (int x = 0; x < locked.Width; ++x)
            out.push_back(static_cast<const std::uint32_t*>(locked.Bits)[y * (locked.Pitch / 4) + x] >> 24);
    surface->Unlock(nullptr);
    return out;
}

class TextureStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        ZevSceneInit();
        ASSERT_TRUE(Window.Create(64, 64));
        // A 2 x 2 picture and its mask: alpha 0, 128, 255 and 255, top-left first.
        WriteBmp("tile.bmp", 2, 2, [](int, int) { return 0x808080u; });
        WriteBmp("_tile.bmp", 2, 2, [](int x, int y) { return y == 0 ? (x == 0 ? 0x000000u : 0x808080u) : 0xFFFFFFu; });
        WriteBmp("plain.bmp", 2, 2, [](int, int) { return 0x102030u; });
        std::filesystem::create_directories("textures");
        WriteBmp("textures/far.bmp", 4, 4, [](int, int) { return 0x00FF00u; });
    }

    TZevGLOwnWindow Window;
};

TEST_F(TextureStoreTest, DirectDraw7StoreLoadsByNameAndRemembersWhatItLoaded)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    TZevDX7TextureStore* store = renderer.Store;
    // The device with hardware transform and lighting comes first when it offers a depth buffer.
    EXPECT_EQ(store->DeviceKind, ZevGL::DeviceTnLHAL);

    TZevDX7Texture* tile = store->LoadTexture("tile.bmp");
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(store->LoadTexture("tile.bmp"), tile);
    EXPECT_EQ(store->FindTexture("tile.bmp"), tile);
    EXPECT_EQ(store->LoadTexture(""), nullptr);
    EXPECT_EQ(store->LoadTexture(nullptr), nullptr);
    // The mask's first byte is the alpha; without a mask a texture is opaque.
    EXPECT_EQ(Alphas(tile->Surface), (std::vector<std::uint32_t>{0, 128, 255, 255}));
    EXPECT_EQ(Alphas(store->LoadTexture("plain.bmp")->Surface), (std::vector<std::uint32_t>(4, 255)));

    // Found only under a search directory.
    EXPECT_EQ(store->LoadTexture("far.bmp"), nullptr);
    renderer.AddText("textures/");
    EXPECT_EQ(store->LoadTexture("far.bmp"), nullptr) << "a name that failed is not tried again";
    TZevDX7Texture* far = store->LoadTexture("textures/far.bmp");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->Width, 4);

    // A material under a name is found under it.
    const float material[17] = {1, 0, 0, 1};
    TZevDX7Texture* named = store->CreateMaterial("red", material);
    EXPECT_EQ(store->FindTexture("red"), named);
    EXPECT_EQ(store->LoadTexture("red"), named);
    EXPECT_EQ(named->Material.Diffuse.r, 1.0f);
    EXPECT_EQ(named->Surface, nullptr);
}

TEST_F(TextureStoreTest, AFileThatCannotBeLoadedIsLoggedOnceAndNotTriedAgain)
{
    const struct {
        const char* Name;
        bool Direct3D8;
    } cases[] = {{"missing7.bmp", false}, {"missing8.bmp", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTestScene scene;
        scene.AddBox({-1, -1, 1}, {1, 1, 2}, nullptr, c.Name);
        std::unique_ptr<TZevFramePassRenderer> renderer;
        if (c.Direct3D8) {
            auto r = std::make_unique<TZevDX8Renderer>();
            ASSERT_TRUE(r->InitFromWindow(Window.GetWindow()));
            renderer = std::move(r);
        } else {
            auto r = std::make_unique<TZevDX7Renderer>();
            ASSERT_TRUE(r->InitFromWindow(Window.GetWindow()));
            renderer = std::move(r);
        }
        for (int frame = 0; frame < 3; ++frame)
            DrawFrame(renderer.get(), scene);
        EXPECT_EQ(LogCount(std::string("ファイルのオープンに失敗しました FileName… \"") + c.Name + "\"\r\n"), 1);
        EXPECT_EQ(renderer->LoadTexture(c.Name), 0u);
    }
}

TEST_F(TextureStoreTest, Direct3D8StoreCountsReferences)
{
    TZevDX8Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    TZevDX8TextureStore* store = renderer.Store;
    TZevList& bucket = store->Buckets[ByteSumHash("tile.bmp")];

    TZevDX8Texture* tile = store->LoadTexture("tile.bmp");
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(store->LoadTexture("tile.bmp"), tile);
    EXPECT_EQ(tile->RefCount, 2);
    EXPECT_EQ(Alphas(tile->Texture), (std::vector<std::uint32_t>{0, 128, 255, 255}));
    store->UnloadTexture(tile);
    EXPECT_EQ(bucket.GetCount(), 1);
    store->UnloadTexture(tile);
    EXPECT_EQ(bucket.GetCount(), 0);

    // Textures made from bitmaps in memory all carry one name, which a file's name never finds.
    TZevBitmap* bitmap = new TZevBitmap();
    ASSERT_TRUE(bitmap->CreateByDepth(8, 8, 32));
    TZevDX8Texture* first = store->CreateTexture(bitmap);
    TZevDX8Texture* second = store->CreateTexture(bitmap);
    bitmap->Release();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(first->Name.CStr(), "  NoNameTexture  __");
    EXPECT_EQ(store->LoadTexture("  NoNameTexture  __"), first);
    EXPECT_EQ(first->RefCount, 2);
}

TEST_F(TextureStoreTest, UnnamedSurfacesAreNumberedInTurn)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    TZevTexture* a = new TZevTexture();
    TZevTexture* b = new TZevTexture();
    a->Width = b->Width = 16;
    a->Height = b->Height = 8;
    a->VideoMemory = 1;
    ASSERT_EQ(a->CreateSurface(renderer.Surfaces), 1);
    ASSERT_EQ(b->CreateSurface(renderer.Surfaces), 1);
    int first = 0, second = 0;
    ASSERT_EQ(std::sscanf(a->Name.CStr(), " NoName_%d", &first), 1);
    ASSERT_EQ(std::sscanf(b->Name.CStr(), " NoName_%d", &second), 1);
    EXPECT_EQ(second, first + 1);
    // A video-memory surface keeps a separate backup.
    EXPECT_NE(a->Backup, a->Surface);
    EXPECT_EQ(b->Backup, b->Surface);
    // Both are the surfaces object's: they go with it.
    EXPECT_FALSE(renderer.Surfaces->Table.IsEmpty());
}

} // namespace
