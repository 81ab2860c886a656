// Surfaces that are lost or change size, presenting into windows, and the world ray through a pixel.
#include "RenderTestSupport.h"

#include "ZevDX7Surfaces.h"
#include "ZevGLContext.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevTexture.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

const float White[4] = {1, 1, 1, 1};
const float RedColor[4] = {1, 0.1f, 0.1f, 1};
const float BlueColor[4] = {0.1f, 0.1f, 1, 1};

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        ASSERT_TRUE(Window.Create(320, 240));
        WriteBmp("checker.bmp", 32, 32, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xE02020u : 0x2020E0u; });
        Scene.PlaceCamera({0, 2, -6}, 0.3f);
        Scene.AddBox({-1, 0, -1}, {1, 2, 1}, White, "checker.bmp");
    }

    static void Light(TZevFramePassRenderer* renderer)
    {
        const TZevLight light = DirectionalLight({1, -1, 1});
        renderer->SetLight(0, &light);
        renderer->SetBackgroundColor(0x203040);
    }

    TZevGLOwnWindow Window;
    TTestScene Scene;
};

// Where the ray from origin along direction meets the box (slab test).
bool RayHitsBox(const TZevVector& origin, const TZevVector& direction, const TZevVector& min, const TZevVector& max)
{
    float enter = 0.0f, leave = 1e30f;
    const float o[3] = {origin.x, origin.y, origin.z}, d[3] = {direction.x, direction.y, direction.z};
    const float lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0.0f) {
            if (o[a] < lo[a] || o[a] > hi[a])
                return false;
            continue;
        }
        float t0 = (lo[a] - o[a]) / d[a], t1 = (hi[a] - o[a]) / d[a];
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
    }
    return enter <= leave;
}

TEST_F(SurfaceTest, LostSurfacesAreRestoredAndTheNextFrameDrawsRight)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage before = CaptureBack(&renderer);
    SaveScreenshot(before, "restore_before");
    TZevGLSurface* back = renderer.Surfaces->Back->Surface;

    // Another renderer takes the screen (full screen on): the first one's video memory is lost.
    TZevGLOwnWindow screen;
    ASSERT_TRUE(screen.Create(320, 240, 400, 0));
    auto fullScreen = std::make_unique<TZevDX7Renderer>();
    fullScreen->SetFullScreen(1);
    ASSERT_TRUE(fullScreen->InitFromWindow(screen.GetWindow()));
    EXPECT_EQ(back->IsLost(), ZevGL::ErrSurfaceLost);
    EXPECT_EQ(fullScreen->GetWidth(), 640);
    EXPECT_EQ(fullScreen->GetHeight(), 480);
    Light(fullScreen.get());
    DrawFrame(fullScreen.get(), Scene);
    ASSERT_TRUE(fullScreen->Present());
    // The flip fills the whole window with the 640 x 480 picture.
    const TImage flipped = CaptureWindow(&screen);
    EXPECT_GT(flipped.Count([](std::uint32_t p) { return p != 0x203040u; }), 1000);
    EXPECT_EQ(flipped.At(2, 2), 0x203040u);
    EXPECT_EQ(flipped.At(317, 237), 0x203040u);

    DrawFrame(&renderer, Scene);
    EXPECT_EQ(back->IsLost(), ZevGL::Ok);
    EXPECT_EQ(CaptureBack(&renderer).Pixels, before.Pixels);

    // Full screen off: lost again, restored again.
    fullScreen.reset();
    EXPECT_EQ(back->IsLost(), ZevGL::ErrSurfaceLost);
    DrawFrame(&renderer, Scene);
    const TImage after = CaptureBack(&renderer);
    SaveScreenshot(after, "restore_after");
    EXPECT_EQ(after.Pixels, before.Pixels);
    ASSERT_TRUE(renderer.Present());
    EXPECT_EQ(CaptureWindow(&Window).Pixels, before.Pixels);
}

TEST_F(SurfaceTest, AResizedWindowGetsSurfacesOfItsNewSize)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage small = CaptureBack(&renderer);

    // Larger than the back surface: presenting fills only its top-left corner.
    Window.Resize(400, 300);
    ASSERT_TRUE(renderer.Present());
    const TImage corner = CaptureWindow(&Window);
    ASSERT_EQ(corner.Width, 400);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 7)
            ASSERT_EQ(corner.At(x, y), small.At(x, y)) << x << "," << y;

    // As the form resets its renderer: surfaces of the window's new size, and the box in the middle again.
    renderer.Release();
    renderer.SetFullScreen(0);
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    EXPECT_EQ(renderer.GetWidth(), 400);
    EXPECT_EQ(renderer.GetHeight(), 300);
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage large = CaptureBack(&renderer);
    SaveScreenshot(large, "resized");
    float x = 0, y = 0;
    ASSERT_TRUE(ProjectToPixel(&renderer, {0, 1, -1}, &x, &y));
    EXPECT_NEAR(x, 200.0f, 1.0f);
    EXPECT_NE(large.At(int(x), int(y)), 0x203040u);
    ASSERT_TRUE(renderer.Present());
    EXPECT_EQ(CaptureWindow(&Window).Pixels, large.Pixels);
}

TEST_F(SurfaceTest, TheDirect3D8RendererStretchesItsPictureOverAResizedWindow)
{
    TZevDX8Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage picture = CaptureBack(&renderer);
    Window.Resize(640, 480);
    ASSERT_TRUE(renderer.Present());
    const TImage shown = CaptureWindow(&Window);
    ASSERT_EQ(shown.Width, 640);
    // Twice as large each way: the box covers four times the pixels, and the corners keep the background.
    const auto box = [](std::uint32_t p) { return p != 0x203040u; };
    EXPECT_NEAR(double(shown.Count(box)) / double(picture.Count(box)), 4.0, 0.3);
    EXPECT_EQ(shown.At(638, 478), picture.At(319, 239));
}

TEST_F(SurfaceTest, FullScreenUsesA640By480BackBufferWhateverTheWindow)
{
    TZevDX8Renderer renderer;
    renderer.SetFullScreen(1);
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    EXPECT_EQ(renderer.GetWidth(), 640);
    EXPECT_EQ(renderer.GetHeight(), 480);
}

TEST_F(SurfaceTest, ARendererMadeOnOneThreadDrawsOnAnother)
{
    // As the view window does: made on the window's thread, frames drawn on the render thread, surfaces restored
    // and the picture presented on the window's thread again.
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage expected = CaptureBack(&renderer);
    renderer.Clear();
    std::thread render([&] {
        for (int frame = 0; frame < 3; ++frame)
            DrawFrame(&renderer, Scene);
    });
    render.join();
    renderer.RestoreSurfaces();
    ASSERT_TRUE(renderer.Present());
    EXPECT_EQ(CaptureWindow(&Window).Pixels, expected.Pixels);
}

TEST_F(SurfaceTest, PresentingIntoAWindowThatIsGoneFailsQuietly)
{
    TZevDX7Renderer dx7;
    TZevDX8Renderer dx8;
    ASSERT_TRUE(dx7.InitFromWindow(Window.GetWindow()));
    ASSERT_TRUE(dx8.InitFromWindow(Window.GetWindow()));
    DrawFrame(&dx7, Scene);
    DrawFrame(&dx8, Scene);
    Window.Destroy();
    EXPECT_FALSE(dx7.Present());
    EXPECT_FALSE(dx8.Present());
    // Drawing goes on: the surfaces are the renderers' own.
    DrawFrame(&dx7, Scene);
    EXPECT_EQ(CaptureBack(&dx7).Width, 320);
}

TEST_F(SurfaceTest, AWindowThatGoesAfterPicturesWereShownFailsTheNextPresentAtTheLatest)
{
    // Presents into a window the device already shows pictures in go out without asking the server about it: the
    // present right after the window went may still pass, the one after it may not.
    TZevDX7Renderer dx7;
    ASSERT_TRUE(dx7.InitFromWindow(Window.GetWindow()));
    for (int round = 0; round < 3; ++round) {
        DrawFrame(&dx7, Scene);
        ASSERT_TRUE(dx7.Present());
    }
    Window.Destroy();
    dx7.Present();
    EXPECT_FALSE(dx7.Present());
    EXPECT_FALSE(dx7.Present());
}

TEST_F(SurfaceTest, PicturesSentThroughTheSocketFollowEachOtherAndShow)
{
    // Where the server cannot share memory with us (one on another machine), a put carries its pixels and the
    // server answers nothing when it succeeds: the next put must not wait for an answer that never comes.
    TZevGLContext context;
    ASSERT_TRUE(context.Open());
    context.ShmRefused = true;
    const ::Window window = static_cast<::Window>(Window.GetWindow());
    for (const std::uint32_t colour : {0x00FF0000u, 0x0000FF00u, 0x000000FFu}) {
        std::vector<std::uint32_t> pixels(320 * 240, colour);
        std::lock_guard<std::recursive_timed_mutex> lock(context.Mutex);
        ASSERT_TRUE(context.PutPixels(window, pixels.data(), 320, 320, 240, 0, 0)) << std::hex << colour;
    }
    {
        std::lock_guard<std::recursive_timed_mutex> lock(context.Mutex);
        ASSERT_TRUE(context.FinishPuts());
    }
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> shown;
    ASSERT_TRUE(Window.ReadPixels(&width, &height, &shown));
    ASSERT_EQ(shown.size(), std::size_t(320 * 240));
    EXPECT_EQ(shown[120 * 320 + 160] & 0xFFFFFFu, 0x0000FFu);
}

TEST_F(SurfaceTest, TheRayThroughAPixelOfABodyHitsThatBody)
{
    const TZevVector leftMin{-4, 0, -0.5f}, leftMax{-2.5f, 1.5f, 0.5f};
    const TZevVector rightMin{2.5f, 0, -0.5f}, rightMax{4, 1.5f, 0.5f};
    TTestScene scene;
    scene.PlaceCamera({0, 2, -6}, 0.3f);
    scene.AddBox(leftMin, leftMax, BlueColor);
    scene.AddBox(rightMin, rightMax, RedColor);
    const struct {
        bool Direct3D8;
        float ViewPlaneScale;
    } cases[] = {{false, 1.0f}, {false, 1.6f}, {true, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Direct3D8 ? "Direct3D 8" : "DirectDraw 7");
        SCOPED_TRACE(c.ViewPlaneScale);
        std::unique_ptr<TZevFramePassRenderer> renderer;
        TImage image;
        if (c.Direct3D8) {
            auto r = std::make_unique<TZevDX8Renderer>();
            ASSERT_TRUE(r->InitFromWindow(Window.GetWindow()));
            r->ViewPlaneScale = c.ViewPlaneScale;
            Light(r.get());
            DrawFrame(r.get(), scene);
            image = CaptureBack(r.get());
            renderer = std::move(r);
        } else {
            auto r = std::make_unique<TZevDX7Renderer>();
            ASSERT_TRUE(r->InitFromWindow(Window.GetWindow()));
            r->ViewPlaneScale = c.ViewPlaneScale;
            Light(r.get());
            DrawFrame(r.get(), scene);
            image = CaptureBack(r.get());
            renderer = std::move(r);
        }
        // Every pixel that shows a body: its ray hits that body and not the other; background rays hit neither.
        int bodyPixels = 0, bodyHits = 0, emptyPixels = 0, emptyMisses = 0;
        for (int y = 0; y < image.Height; y += 2) {
            for (int x = 0; x < image.Width; x += 2) {
                const std::uint32_t p = image.At(x, y);
                const bool blue = Blue(p) > Red(p) + 60, red = Red(p) > Blue(p) + 60;
                const bool empty = p == 0x203040u;
                if (!blue && !red && !empty)
                    continue;
                TZevVector direction, origin;
                renderer->ScreenToWorld(TZevVector(float(x) + 0.5f, float(y) + 0.5f, 1.0f), &direction, &origin);
                const bool hitLeft = RayHitsBox(origin, direction, leftMin, leftMax);
                const bool hitRight = RayHitsBox(origin, direction, rightMin, rightMax);
                if (empty) {
                    ++emptyPixels;
                    emptyMisses += !hitLeft && !hitRight;
                } else {
                    ++bodyPixels;
                    bodyHits += (blue && hitLeft && !hitRight) || (red && hitRight && !hitLeft);
                }
            }
        }
        // Pixels on an edge may fall either way.
        EXPECT_GT(bodyPixels, 300);
        EXPECT_GE(bodyHits, bodyPixels - bodyPixels / 25);
        EXPECT_GE(emptyMisses, emptyPixels - emptyPixels / 100);
    }
}

} // namespace

namespace {

// Binds per frame as the engine host draws one (restore, clear, the frame, a text, present).
std::uint64_t SwitchesOfAFrame(TZevDX7Renderer* renderer, TTestScene& scene)
{
    const std::uint64_t before = ZevGL::ContextSwitches();
    DrawFrame(renderer, scene);
    renderer->DrawText(4, 4, "fps = 50");
    EXPECT_TRUE(renderer->Present());
    return ZevGL::ContextSwitches() - before;
}

} // namespace

TEST_F(SurfaceTest, AFrameBindsTheContextOnceForItsSceneWhateverItDraws)
{
    // The context is made current for the scene and for the presentation, each released once: never per draw.
    for (const int boxes : {1, 60}) {
        TTestScene scene;
        scene.PlaceCamera({0, 2, -6}, 0.3f);
        for (int i = 0; i < boxes; ++i)
            scene.AddBox({-3.0f + 0.1f * float(i), 0, 0}, {-2.9f + 0.1f * float(i), 1, 0.1f}, White);
        for (const bool shadows : {false, true}) {
            TZevDX7Renderer renderer;
            renderer.SetStencilShadows(shadows);
            ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
            Light(&renderer);
            SwitchesOfAFrame(&renderer, scene); // the first frame makes the surfaces
            EXPECT_LE(SwitchesOfAFrame(&renderer, scene), 4u) << boxes << " boxes, shadows " << shadows;
        }
    }
}

TEST_F(SurfaceTest, ClearsAndTextLandInTheOrderGivenBeforeThePictureIsRead)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    auto clear = [&](std::uint32_t rgb) {
        renderer.SetBackgroundColor(rgb);
        renderer.Clear();
    };
    auto covered = [](const TImage& image, std::uint32_t rgb) {
        return image.Count([&](std::uint32_t p) { return ColorDistance(p, rgb) <= 2; });
    };
    const int all = 320 * 240;

    clear(0xFF0000);
    EXPECT_EQ(covered(CaptureBack(&renderer), 0xFF0000), all) << "a clear is seen without a scene";
    clear(0x0000FF);
    renderer.DrawText(10, 10, "text under a clear");
    clear(0x00FF00);
    EXPECT_EQ(covered(CaptureBack(&renderer), 0x00FF00), all) << "the later clear covers the text";
    renderer.DrawText(10, 10, "text over a clear");
    const TImage text = CaptureBack(&renderer);
    EXPECT_GT(all - covered(text, 0x00FF00), 50) << "the text lies on the clear";
    ASSERT_TRUE(renderer.Present());
    EXPECT_EQ(CaptureWindow(&Window).Pixels, text.Pixels);
}

TEST_F(SurfaceTest, AKeptTextTextureIsRedrawnOnlyForTheSameTextAndWidth)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    renderer.SetBackgroundColor(0x000000);
    // Text pixels below the first line (rows 30 and lower), and in all, right of column x.
    auto draw = [&](int x, const char* text, int* below) {
        renderer.Clear();
        renderer.DrawText(x, 10, text);
        const TImage image = CaptureBack(&renderer);
        int lower = 0, any = 0;
        for (int y = 0; y < image.Height; ++y)
            for (int px = x; px < image.Width; ++px)
                if (Brightness(image.At(px, y)) > 60) {
                    ++any;
                    lower += y >= 30;
                }
        *below = lower;
        return image;
    };
    const char* line = "alpha beta gamma delta";
    int below = 0;
    const TImage wide = draw(10, line, &below);
    EXPECT_EQ(below, 0) << "one line where the surface is wide enough";
    const TImage again = draw(10, line, &below);
    EXPECT_EQ(again.Pixels, wide.Pixels);
    draw(220, line, &below);
    EXPECT_GT(below, 20) << "near the right edge the same text breaks into lines";
    const TImage other = draw(10, "alpha beta gamma delts", &below);
    EXPECT_NE(other.Pixels, wide.Pixels) << "another text of the same length";
}

TEST_F(SurfaceTest, ASceneLeftOpenByAThreadThatEndedLetsOtherThreadsDraw)
{
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(Window.GetWindow()));
    Light(&renderer);
    DrawFrame(&renderer, Scene);
    const TImage expected = CaptureBack(&renderer);
    std::thread([&] {
        renderer.Clear();
        EXPECT_EQ(renderer.GetDevice()->BeginScene(), ZevGL::Ok);
        EXPECT_EQ(renderer.GetDevice()->Clear(0, nullptr, ZevGL::ClearTarget, 0xFF00FF00u, 1.0f, 0), ZevGL::Ok);
    }).join();
    EXPECT_EQ(renderer.GetDevice()->EndScene(), ZevGL::Ok);
    const auto start = std::chrono::steady_clock::now();
    DrawFrame(&renderer, Scene);
    EXPECT_EQ(CaptureBack(&renderer).Pixels, expected.Pixels);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "waited for the ended thread";
}

namespace {

// A device of the layer's own on a window, drawing rectangles in pixels with the stencil states a test sets.
class TStencilDevice {
public:
    bool Open(TZevGLWindow window)
    {
        TZevGLPresentParameters parameters;
        parameters.EnableAutoDepthStencil = 1;
        if (TZevGLDriver::Create(&Driver) != ZevGL::Ok ||
            Driver->CreateDevice(window, parameters, &Device) != ZevGL::Ok || Device->BeginScene() != ZevGL::Ok)
            return false;
        Device->SetRenderState(ZevGL::RsZEnable, 0);
        Device->SetRenderState(ZevGL::RsLighting, 0);
        Device->SetRenderState(ZevGL::RsCullMode, ZevGL::CullNone);
        return true;
    }
    ~TStencilDevice()
    {
        if (Device)
            Device->Release();
        if (Driver)
            Driver->Release();
    }

    // A rectangle as two triangles, clockwise or counter-clockwise on screen (y runs down).
    void Rectangle(float x0, float y0, float x1, float y1, bool clockwise, std::uint32_t color)
    {
        struct Vertex {
            float x, y, z, rhw;
            std::uint32_t color;
        };
        const Vertex cw[6] = {{x0, y0, 0, 1, color}, {x1, y0, 0, 1, color}, {x1, y1, 0, 1, color},
                              {x0, y0, 0, 1, color}, {x1, y1, 0, 1, color}, {x0, y1, 0, 1, color}};
        Vertex v[6];
        for (int i = 0; i < 6; ++i)
            v[i] = clockwise ? cw[i] : cw[5 - i];
        EXPECT_EQ(Device->DrawPrimitive(ZevGL::PrimTriangleList, ZevGL::VfXYZRHW | ZevGL::VfDiffuse, v, 6, 0),
                  ZevGL::Ok);
    }
    // Counting or setting stencil values only: the colour stays.
    void WriteNoColour(bool on)
    {
        Device->SetRenderState(ZevGL::RsAlphaBlendEnable, on ? 1 : 0);
        Device->SetRenderState(ZevGL::RsSrcBlend, on ? ZevGL::BlendZero : ZevGL::BlendOne);
        Device->SetRenderState(ZevGL::RsDestBlend, on ? ZevGL::BlendOne : ZevGL::BlendZero);
    }
    // Paints the whole target where the stencil holds `value`.
    void ShowStencil(std::uint32_t value, std::uint32_t color)
    {
        Device->SetRenderState(ZevGL::RsStencilEnable, 1);
        Device->SetRenderState(ZevGL::RsStencilPass, ZevGL::StencilKeep);
        Device->SetRenderState(ZevGL::RsStencilFunc, ZevGL::CmpEqual);
        Device->SetRenderState(ZevGL::RsStencilRef, value);
        Rectangle(0, 0, 320, 240, true, color);
    }
    // The picture's pixel (0x00RRGGBB), the scene ended.
    std::uint32_t PixelAt(int x, int y)
    {
        if (Device->EndScene() != ZevGL::Ok)
            return 0xDEAD;
        TZevGLSurface* back = nullptr;
        TZevGLSurfaceDesc locked;
        std::uint32_t p = 0xDEAD;
        if (Device->GetBackBuffer(&back) == ZevGL::Ok && back->Lock(nullptr, &locked, 0) == ZevGL::Ok) {
            p = static_cast<const std::uint32_t*>(locked.Bits)[y * (locked.Pitch / 4) + x] & 0xFFFFFFu;
            back->Unlock(nullptr);
        }
        if (back)
            back->Release();
        Device->BeginScene();
        return p;
    }

    TZevGLDriver* Driver = nullptr;
    TZevGLDevice* Device = nullptr;
};

} // namespace

TEST_F(SurfaceTest, TwoSidedStencilCountsClockwiseFacesUpAndCounterClockwiseFacesDownInOnePass)
{
    using namespace ZevGL;
    TStencilDevice d;
    ASSERT_TRUE(d.Open(Window.GetWindow()));
    TZevGLDevice* device = d.Device;
    device->Clear(0, nullptr, ClearTarget | ClearZBuffer | ClearStencil, 0xFF000000u, 1.0f, 0);
    device->SetRenderState(RsStencilEnable, 1);
    device->SetRenderState(RsStencilFunc, CmpAlways);
    device->SetRenderState(RsStencilPass, StencilIncr);
    device->SetRenderState(RsTwoSidedStencilMode, 1);
    device->SetRenderState(RsCcwStencilFunc, CmpAlways);
    device->SetRenderState(RsCcwStencilPass, StencilDecr);
    d.WriteNoColour(true);
    // Left half: two clockwise faces and a counter-clockwise one (1); right half: one counter-clockwise face,
    // which wraps below zero (255).
    d.Rectangle(0, 0, 160, 240, true, 0);
    d.Rectangle(0, 0, 160, 240, false, 0);
    d.Rectangle(0, 0, 160, 240, true, 0);
    d.Rectangle(160, 0, 320, 240, false, 0);
    // Then the counts shown as colours, with the mode off.
    device->SetRenderState(RsTwoSidedStencilMode, 0);
    d.WriteNoColour(false);
    d.ShowStencil(1, 0xFFFF0000u);
    d.ShowStencil(255, 0xFF00FF00u);
    EXPECT_EQ(d.PixelAt(80, 120), 0xFF0000u);
    EXPECT_EQ(d.PixelAt(240, 120), 0x00FF00u);
}

TEST_F(SurfaceTest, AScissorLimitsDrawsToItsRectangleButNotClears)
{
    using namespace ZevGL;
    TStencilDevice d;
    ASSERT_TRUE(d.Open(Window.GetWindow()));
    TZevGLDevice* device = d.Device;
    device->Clear(0, nullptr, ClearTarget, 0xFF000000u, 1.0f, 0);
    // Near the top-left corner: a rectangle counted from the bottom row would miss it.
    const TZevGLRect cut{40, 30, 100, 90};
    ASSERT_EQ(device->SetScissorRect(&cut), Ok);
    d.Rectangle(0, 0, 320, 240, true, 0xFFFF0000u);
    const struct {
        int x, y;
        std::uint32_t color;
    } pixels[] = {{40, 30, 0xFF0000u}, {99, 89, 0xFF0000u}, {100, 60, 0}, {60, 90, 0}, {39, 60, 0}, {60, 180, 0}};
    for (const auto& p : pixels)
        EXPECT_EQ(d.PixelAt(p.x, p.y), p.color) << p.x << ", " << p.y;
    // A clear reaches the whole target while the rectangle is set; without it, draws do again.
    device->Clear(0, nullptr, ClearTarget, 0xFF0000FFu, 1.0f, 0);
    EXPECT_EQ(d.PixelAt(200, 200), 0x0000FFu);
    ASSERT_EQ(device->SetScissorRect(nullptr), Ok);
    d.Rectangle(0, 0, 320, 240, true, 0xFF00FF00u);
    EXPECT_EQ(d.PixelAt(200, 200), 0x00FF00u);
}

TEST_F(SurfaceTest, AClearOfTheDepthAloneKeepsTheStencilValues)
{
    using namespace ZevGL;
    TStencilDevice d;
    ASSERT_TRUE(d.Open(Window.GetWindow()));
    TZevGLDevice* device = d.Device;
    const struct {
        const char* what;
        bool drawn;           // the left half set to 5 by a draw after the stencil clear
        std::uint32_t value;  // what the stencil was cleared to
    } cases[] = {{"cleared only", false, 7}, {"drawn into after the clear", true, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device->Clear(0, nullptr, ClearTarget | ClearZBuffer | ClearStencil, 0xFF000000u, 1.0f, c.value);
        if (c.drawn) {
            d.WriteNoColour(true);
            device->SetRenderState(RsStencilEnable, 1);
            device->SetRenderState(RsStencilFunc, CmpAlways);
            device->SetRenderState(RsStencilPass, StencilReplace);
            device->SetRenderState(RsStencilRef, 5);
            d.Rectangle(0, 0, 160, 240, true, 0);
            d.WriteNoColour(false);
        }
        // Depth (and colour) alone: the stencil keeps what it holds.
        device->SetRenderState(RsStencilEnable, 0);
        device->Clear(0, nullptr, ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
        d.ShowStencil(5, 0xFFFF0000u);
        d.ShowStencil(c.value, 0xFF00FF00u);
        EXPECT_EQ(d.PixelAt(80, 120), c.drawn ? 0xFF0000u : 0x00FF00u);
        EXPECT_EQ(d.PixelAt(240, 120), 0x00FF00u);
    }
}
