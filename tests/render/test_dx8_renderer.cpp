// The Direct3D 8 renderer: the same picture as the DirectDraw 7 renderer for the same scene, on its own device or a
// host's, and its text from the glyph cache, ASCII and Japanese.
#include "RenderTestSupport.h"

#include "ZevGLDevice.h"
#include "ZevGLDriver.h"

#include <cstring>
#include <memory>

namespace {

const float White[4] = {1, 1, 1, 1};
const float Grey[4] = {0.7f, 0.7f, 0.7f, 1};
// What glyph ink looks like drawn with white diffuse.
constexpr std::uint32_t Ink = 0x008888;

class DX8RendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        ASSERT_TRUE(Window.Create(320, 240));
    }

    // The scene both renderers draw: a textured box on a plane with a translucent pane in front, lit, with its
    // shadow.
    void BuildScene()
    {
        WriteBmp("checker.bmp", 32, 32, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xE02020u : 0x2020E0u; });
        Scene.PlaceCamera({0, 5, -5}, 0.75f);
        Scene.AddGrid(16, 4, 0, Grey)->ShadowOff = 1;
        Scene.AddBox({-1, 1, -1}, {1, 2, 1}, White, "checker.bmp");
        const float pane[4] = {0.2f, 1, 0.2f, 0.5f};
        TZevPolygonMesh* glass = Scene.AddBox({-3, 0, -2.5f}, {0, 1.5f, -2.4f}, pane);
        glass->Translucent = 1;
        glass->ShadowOff = 1;
    }

    void Light(TZevFramePassRenderer* renderer)
    {
        const TZevLight light = DirectionalLight({1, -1, 1});
        renderer->SetLight(0, &light);
        renderer->SetBackgroundColor(0x102030);
    }

    // Ink pixels in the rectangle.
    static int InkIn(const TImage& image, int x0, int y0, int x1, int y1)
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += ColorDistance(image.At(x, y), Ink) <= 2;
        return n;
    }

    static int GlyphCount(TZevDX8Renderer& r)
    {
        int n = 0;
        for (TZevList& glyphs : r.GlyphTable)
            n += glyphs.GetCount();
        return n;
    }

    TZevGLOwnWindow Window;
    TTestScene Scene;
};

TEST_F(DX8RendererTest, DrawsTheSamePictureAsTheDirectDraw7Renderer)
{
    BuildScene();
    TZevGLOwnWindow other;
    ASSERT_TRUE(other.Create(320, 240));
    auto dx7 = std::make_unique<TZevDX7Renderer>();
    auto dx8 = std::make_unique<TZevDX8Renderer>();
    dx7->SetStencilShadows(1);
    dx8->SetStencilShadows(1);
    ASSERT_TRUE(dx7->InitFromWindow(Window.GetWindow()));
    ASSERT_TRUE(dx8->InitFromWindow(other.GetWindow()));
    Light(dx7.get());
    Light(dx8.get());
    DrawFrame(dx7.get(), Scene);
    const TImage a = CaptureBack(dx7.get());
    DrawFrame(dx8.get(), Scene);
    const TImage b = CaptureBack(dx8.get());
    SaveScreenshot(a, "same_scene_dx7");
    SaveScreenshot(b, "same_scene_dx8");
    ASSERT_EQ(a.Width, b.Width);
    ASSERT_EQ(a.Height, b.Height);
    int differing = 0;
    for (std::size_t i = 0; i < a.Pixels.size(); ++i)
        differing += ColorDistance(a.Pixels[i], b.Pixels[i]) > 6;
    EXPECT_LT(differing, int(a.Pixels.size() / 200));
    // Not a blank picture that would match anything: the scene covers a good part of it.
    EXPECT_GT(a.Count([](std::uint32_t p) { return p != 0x102030u; }), int(a.Pixels.size() / 4));
    // The DX8 picture reaches the window through Present.
    ASSERT_TRUE(dx8->Present());
    const TImage shown = CaptureWindow(&other);
    ASSERT_EQ(shown.Pixels.size(), b.Pixels.size());
    EXPECT_EQ(shown.Pixels, b.Pixels);
}

TEST_F(DX8RendererTest, DrawsOnAHostDeviceThatTheHostPresents)
{
    TZevGLDriver* driver = nullptr;
    ASSERT_EQ(TZevGLDriver::Create(&driver), ZevGL::Ok);
    TZevGLPresentParameters parameters;
    parameters.EnableAutoDepthStencil = 1;
    TZevGLDevice* device = nullptr;
    ASSERT_EQ(driver->CreateDevice(Window.GetWindow(), parameters, &device), ZevGL::Ok);
    BuildScene();
    {
        TZevDX8Renderer renderer;
        ASSERT_TRUE(renderer.InitFromDevice(driver, device));
        Light(&renderer);
        DrawFrame(&renderer, Scene);
        EXPECT_EQ(renderer.GetWidth(), 320);
        EXPECT_EQ(renderer.GetHeight(), 240);
    }
    // The renderer is gone; the host's device holds the picture and presents it.
    ASSERT_EQ(device->Present(nullptr, nullptr, 0), ZevGL::Ok);
    const TImage shown = CaptureWindow(&Window);
    EXPECT_GT(shown.Count([](std::uint32_t p) { return Red(p) > 150 && Green(p) < 90; }), 100);
    device->Release();
    driver->Release();
}

TEST_F(DX8RendererTest, GlyphCacheDrawsAsciiAndJapaneseText)
{
    TZevDX8Renderer r;
    ASSERT_TRUE(r.InitFromWindow(Window.GetWindow()));
    r.SetBackgroundColor(0x000000);
    DrawFrame(&r, Scene);
    // One-byte characters advance 8 pixels, the others 16; a blank 8.
    r.DrawText(20, 40, "AB 日本A");
    const TImage image = CaptureBack(&r);
    SaveScreenshot(image, "glyph_text");
    const struct {
        const char* Character;
        int X, Width;
    } cells[] = {{"A", 20, 8}, {"B", 28, 8}, {"日", 44, 16}, {"本", 60, 16}, {"A", 76, 8}};
    for (const auto& cell : cells) {
        SCOPED_TRACE(cell.Character);
        EXPECT_GT(InkIn(image, cell.X, 40, cell.X + cell.Width, 56), 8);
    }
    EXPECT_EQ(InkIn(image, 0, 0, 320, 40) + InkIn(image, 0, 56, 320, 240) + InkIn(image, 84, 40, 320, 56), 0);
    // Each character was rasterised once: A, B, 日, 本.
    EXPECT_EQ(GlyphCount(r), 4);
    r.DrawText(20, 80, "BA本");
    EXPECT_EQ(GlyphCount(r), 4);
    EXPECT_EQ(r.GlyphPages.GetCount(), 1);
}

TEST_F(DX8RendererTest, TheTwoHundredFiftySeventhGlyphOpensASecondPage)
{
    TZevDX8Renderer r;
    ASSERT_TRUE(r.InitFromWindow(Window.GetWindow()));
    DrawFrame(&r, Scene);
    // 256 distinct characters fill the first page: CJK ideographs from U+4E00.
    std::string text;
    for (std::uint32_t code = 0x4E00; code < 0x4E00 + 256; ++code) {
        text += char(0xE0 | (code >> 12));
        text += char(0x80 | ((code >> 6) & 0x3F));
        text += char(0x80 | (code & 0x3F));
    }
    r.DrawText(0, 0, text.c_str());
    EXPECT_EQ(r.GlyphPages.GetCount(), 1);
    r.Clear();
    // The 257th, and a character of the first page, in one text: both pages draw.
    r.DrawText(20, 100, "W\xE4\xB8\x80");
    EXPECT_EQ(r.GlyphPages.GetCount(), 2);
    const TImage image = CaptureBack(&r);
    EXPECT_GT(InkIn(image, 20, 100, 28, 116), 8);
    EXPECT_GT(InkIn(image, 28, 100, 44, 116), 8);
}

TEST_F(DX8RendererTest, TextStopsAtItsEndWhateverItsLastByte)
{
    TZevDX8Renderer r;
    ASSERT_TRUE(r.InitFromWindow(Window.GetWindow()));
    r.SetBackgroundColor(0x000000);
    DrawFrame(&r, Scene);
    r.DrawText(20, 20, "");
    EXPECT_EQ(CaptureBack(&r).Count([](std::uint32_t p) { return p != 0; }), 0);
    // Texts that end inside a character: the bytes after the terminator are never read (a heap block of exactly
    // the text's size, checked by the sanitizer build).
    for (const char* bytes : {"AB\xE6", "AB\xE6\x97", "\xC3", "\xF0\x9F\x98"}) {
        const std::size_t n = std::strlen(bytes) + 1;
        std::unique_ptr<char[]> text(new char[n]);
        std::memcpy(text.get(), bytes, n);
        r.DrawText(20, 20, text.get());
    }
    EXPECT_GT(InkIn(CaptureBack(&r), 20, 20, 36, 36), 8);
}

TEST_F(DX8RendererTest, TwoDimensionalLineCommandsAreDropped)
{
    TZevDX8Renderer r;
    ASSERT_TRUE(r.InitFromWindow(Window.GetWindow()));
    r.SetBackgroundColor(0x000000);
    const TZevPoint2D points[2] = {{10, 120}, {300, 120}};
    r.DrawPolylineColor(0x0000FF, points, 2);
    r.DrawPolyline(points, 2);
    DrawFrame(&r, Scene);
    EXPECT_EQ(CaptureBack(&r).Count([](std::uint32_t p) { return p != 0; }), 0);
    EXPECT_TRUE(r.CommandQueue.IsEmpty());
}

} // namespace
