// Reference scenes drawn by the DirectDraw 7 renderer under Xvfb with Mesa's software renderer, read back from the
// back surface and checked by their pixels: lights, textures and alpha masks, stencil shadows, blending, fog, and
// lines and text over the scene. Every picture is kept in build/screenshots/.
#include "RenderTestSupport.h"

#include "ZevLineMesh.h"

#include <cmath>

namespace {

const float White[4] = {1, 1, 1, 1};
const float Grey[4] = {0.7f, 0.7f, 0.7f, 1};

class ReferenceSceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        ASSERT_TRUE(Window.Create(320, 240));
    }

    void Init(bool stencil = false)
    {
        Renderer.SetStencilShadows(stencil);
        ASSERT_TRUE(Renderer.InitFromWindow(Window.GetWindow()));
        Renderer.SetBackgroundColor(0x000000);
    }

    TImage Draw(const std::string& shot)
    {
        DrawFrame(&Renderer, Scene);
        TImage image = CaptureBack(&Renderer);
        SaveScreenshot(image, shot);
        return image;
    }

    // The colour around the pixel where a world point is drawn.
    std::uint32_t ColorAt(const TImage& image, const TZevVector& point, int radius = 2)
    {
        float x = 0, y = 0;
        EXPECT_TRUE(ProjectToPixel(&Renderer, point, &x, &y));
        return image.Around(int(x), int(y), radius);
    }

    // A textured box on a grey plane, seen from the front and above. The plane is a fine grid: the device lights
    // vertices, and a spot's cone must fall between them.
    void BoxOnPlane()
    {
        WriteBmp("checker.bmp", 32, 32, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xE02020u : 0x2020E0u; });
        Scene.PlaceCamera({0, 5, -5}, 0.75f);
        Scene.AddGrid(32, 4, 0, Grey)->ShadowOff = 1;
        Scene.AddBox({-1, 0, -1}, {1, 2, 1}, White, "checker.bmp");
    }

    TZevGLOwnWindow Window;
    TTestScene Scene;
    TZevDX7Renderer Renderer;
};

TEST_F(ReferenceSceneTest, LitFacesAreBrighterAndTheTextureShows)
{
    Init();
    BoxOnPlane();
    TZevLight point;
    point.Type = 1;
    point.Position[0] = 0;
    point.Position[1] = 5;
    point.Position[2] = 3;
    point.Attenuation0 = 1;
    point.Attenuation1 = 0;
    std::fill(point.Specular, point.Specular + 4, 0.0f);
    std::fill(point.Ambient, point.Ambient + 4, 0.0f);
    TZevLight spot = point;
    spot.Type = 2;
    spot.Position[2] = 0;
    spot.Position[1] = 6;
    spot.Direction[0] = 0;
    spot.Direction[1] = -1;
    spot.Direction[2] = 0;
    spot.Theta = 0.5f;
    spot.Phi = 1.0f;
    spot.Falloff = 1;
    const struct {
        const char* Name;
        TZevLight Light;
    } cases[] = {
        {"directional", DirectionalLight({0, -1, -1})},
        {"point", point},
        {"spot", spot},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Renderer.SetLight(0, &c.Light);
        const TImage image = Draw(std::string("light_") + c.Name);
        // The top faces the light, the front face looks away from it.
        const std::uint32_t top = ColorAt(image, {0, 2, 0}, 6);
        const std::uint32_t front = ColorAt(image, {0, 1, -1}, 6);
        EXPECT_GT(Brightness(top), Brightness(front) + 90) << std::hex << top << " " << front;
        // Both colours of the checker texture are on the box.
        const int red = image.Count(
            [](std::uint32_t p) { return Red(p) > 2 * Green(p) && Red(p) > 2 * Blue(p) && Red(p) > 90; });
        const int blue = image.Count(
            [](std::uint32_t p) { return Blue(p) > 2 * Green(p) && Blue(p) > 2 * Red(p) && Blue(p) > 90; });
        EXPECT_GT(red, 300);
        EXPECT_GT(blue, 300);
    }
    // Under the spot's cone the plane is lit, beyond it only the ambient light reaches it.
    Renderer.SetLight(0, &spot);
    const TImage image = Draw("light_spot");
    EXPECT_GT(Brightness(ColorAt(image, {0, 0, -2.5f})), Brightness(ColorAt(image, {3.5f, 0, -3.5f})) + 90);
}

TEST_F(ReferenceSceneTest, AlphaMaskCutsTheTextureOut)
{
    Init();
    WriteBmp("leaf.bmp", 16, 16, [](int, int) { return 0x20E020u; });
    // The mask: its left half 0 (cut out), its right half 255.
    WriteBmp("_leaf.bmp", 16, 16, [](int x, int) { return x < 8 ? 0x000000u : 0xFFFFFFu; });
    Scene.PlaceCamera({0, 0, -5}, 0);
    Scene.AddBox({-2, -1.5f, 0}, {2, 1.5f, 0.2f}, White, "leaf.bmp");
    const TZevLight light = DirectionalLight({0, 0, 1});
    Renderer.SetLight(0, &light);
    Renderer.SetBackgroundColor(0x400000);
    const TImage image = Draw("alpha_mask");
    const std::uint32_t cut = ColorAt(image, {-1, 0, 0});
    const std::uint32_t kept = ColorAt(image, {1, 0, 0});
    EXPECT_LE(ColorDistance(cut, 0x400000), 2) << std::hex << cut;
    EXPECT_GT(Green(kept), 150) << std::hex << kept;
    EXPECT_LT(Red(kept), 120) << std::hex << kept;
}

TEST_F(ReferenceSceneTest, StencilShadowsDarkenThePlaneOnlyWhereTheVolumeFalls)
{
    Init(true);
    Scene.PlaceCamera({0, 3, -6}, 0.46f);
    // The plane's frame stands 3 below its geometry (the top still at y = 0): the light's direction taken into the
    // frame as a point, not as a direction, would turn away from the plane and leave it undimmed.
    Scene.AddBox({-4, 2.9f, -4}, {4, 3, 4}, Grey)->ShadowOff = 1;
    Scene.LastFrame()->LocalMatrix = ZevMatTranslation(0, -3, 0);
    Scene.AddBox({-3, 1, -3}, {-1, 2, -1}, White);
    // The scenes' light: the default shadow projection of the renderer casts along the same direction.
    const TZevLight light = DirectionalLight({1, -1, 1});
    Renderer.SetLight(0, &light);

    const TImage on = Draw("shadow_on");
    Renderer.SetStencilShadows(0);
    const TImage off = Draw("shadow_off");
    Renderer.SetStencilShadows(1);

    const TZevVector inShadow{-0.5f, 0, -0.5f}, lit{2.5f, 0, 2.5f};
    EXPECT_LT(Brightness(ColorAt(on, inShadow)) + 60, Brightness(ColorAt(off, inShadow)));
    EXPECT_LE(ColorDistance(ColorAt(on, lit), ColorAt(off, lit)), 2);
    // Shadow on: nothing gets lighter, and a good patch gets darker.
    int darker = 0;
    for (std::size_t i = 0; i < on.Pixels.size(); ++i) {
        EXPECT_LE(Brightness(on.Pixels[i]), Brightness(off.Pixels[i]) + 3);
        darker += Brightness(on.Pixels[i]) + 30 < Brightness(off.Pixels[i]);
    }
    EXPECT_GT(darker, 300);
}

TEST_F(ReferenceSceneTest, AMeshDrawnInTwoFramesCastsAShadowFromEach)
{
    Init(true);
    Scene.PlaceCamera({0, 3, -6}, 0.46f);
    Scene.AddBox({-4, 2.9f, -4}, {4, 3, 4}, Grey)->ShadowOff = 1;
    Scene.LastFrame()->LocalMatrix = ZevMatTranslation(0, -3, 0);
    // One box mesh in two frames: its shadow is rebuilt for each, and the queued draws must not all replay the last.
    TZevPolygonMesh* box = Scene.AddBox({-0.5f, 1, -0.5f}, {0.5f, 2, 0.5f}, White);
    Scene.LastFrame()->LocalMatrix = ZevMatTranslation(-2.5f, 0, 0);
    TZevFrame* second = new TZevFrame();
    Scene.Root->AddChild(second);
    second->AddVisual(box);
    second->LocalMatrix = ZevMatTranslation(1, 0, 0);
    const TZevLight light = DirectionalLight({1, -1, 1});
    Renderer.SetLight(0, &light);

    const TImage on = Draw("shadow_shared_mesh_on");
    Renderer.SetStencilShadows(0);
    const TImage off = Draw("shadow_shared_mesh_off");
    Renderer.SetStencilShadows(1);

    // The light falls along (1, -1, 1): each box's shadow lies 1.5 further in x and z than the box.
    for (const TZevVector& inShadow : {TZevVector{-1, 0, 1.5f}, TZevVector{2.5f, 0, 1.5f}})
        EXPECT_LT(Brightness(ColorAt(on, inShadow)) + 60, Brightness(ColorAt(off, inShadow))) << inShadow.x;
    const TZevVector between{0.75f, 0, 1.5f};
    EXPECT_LE(ColorDistance(ColorAt(on, between), ColorAt(off, between)), 2);
}

TEST_F(ReferenceSceneTest, TranslucentAndAdditiveMeshesBlendOverWhatLiesBehind)
{
    Init();
    Scene.PlaceCamera({0, 0, -4}, 0);
    const float blue[4] = {0, 0, 1, 1}, red[4] = {1, 0, 0, 0.5f}, green[4] = {0, 1, 0, 1};
    // Behind: an opaque blue box on the left, an opaque red one on the right.
    const float opaqueRed[4] = {1, 0, 0, 1};
    for (const auto& [min, max, color] : {std::tuple{TZevVector{-3, -2, 2}, TZevVector{-0.2f, 2, 3}, blue},
                                          std::tuple{TZevVector{0.2f, -2, 2}, TZevVector{3, 2, 3}, opaqueRed}}) {
        TZevPolygonMesh* mesh = Scene.AddBox(min, max, color);
        std::fill(mesh->Material.Ambient, mesh->Material.Ambient + 3, 0.0f);
    }
    // In front: a translucent red box over the blue one, an additive green one over the red one.
    TZevPolygonMesh* glass = Scene.AddBox({-2.5f, -0.5f, 0}, {-0.8f, 0.5f, 0.2f}, red);
    glass->Translucent = 1;
    TZevPolygonMesh* glow = Scene.AddBox({0.8f, -0.5f, 0}, {2.5f, 0.5f, 0.2f}, green);
    glow->Additive = 1;
    for (TZevPolygonMesh* mesh : {glass, glow})
        std::fill(mesh->Material.Ambient, mesh->Material.Ambient + 3, 0.0f);
    const TZevLight light = DirectionalLight({0, 0, 1});
    Renderer.SetLight(0, &light);
    const TImage image = Draw("blending");

    const std::uint32_t purple = ColorAt(image, {-1.6f, 0, 0});
    EXPECT_GT(Red(purple), 90) << std::hex << purple;
    EXPECT_GT(Blue(purple), 90) << std::hex << purple;
    const std::uint32_t yellow = ColorAt(image, {1.6f, 0, 0});
    EXPECT_GT(Red(yellow), 200) << std::hex << yellow;
    EXPECT_GT(Green(yellow), 200) << std::hex << yellow;
    // Beside the blended boxes the opaque ones show alone.
    EXPECT_LT(Red(ColorAt(image, {-1.6f, 1.6f, 2})), 10);
    EXPECT_LT(Green(ColorAt(image, {1.6f, 1.6f, 2})), 10);
}

TEST_F(ReferenceSceneTest, LinearFogDrawsFarObjectsTowardsTheBackground)
{
    Init();
    Scene.PlaceCamera({0, 0, 0}, 0);
    Scene.AddBox({-2.5f, -1, 4}, {-0.5f, 1, 5}, White);
    Scene.AddBox({10, -8, 70}, {30, 8, 72}, White);
    const TZevLight light = DirectionalLight({0, 0, 1});
    Renderer.SetLight(0, &light);
    Renderer.SetBackgroundColor(0x0000FF);
    Renderer.SetFogStart(10);
    Renderer.SetFogEnd(80);

    Renderer.SetFogEnable(0);
    const TImage clear = Draw("fog_off");
    Renderer.SetFogEnable(1);
    const TImage foggy = Draw("fog_on");

    const TZevVector nearPoint{-1.5f, 0, 4}, farPoint{20, 0, 70};
    // Near the camera nothing changes; far away the box takes the background's blue, yet still shows.
    EXPECT_LE(ColorDistance(ColorAt(clear, nearPoint), ColorAt(foggy, nearPoint)), 2);
    const std::uint32_t far = ColorAt(foggy, farPoint);
    EXPECT_LT(ColorDistance(far, 0x0000FF), ColorDistance(ColorAt(clear, farPoint), 0x0000FF) - 100) << std::hex << far;
    EXPECT_GT(Red(far), 25) << std::hex << far;
}

TEST_F(ReferenceSceneTest, LinesAndTextLieOnTopOfTheScene)
{
    Init();
    Scene.PlaceCamera({0, 0, -5}, 0);
    Scene.AddBox({-2, -1.5f, 0}, {2, 1.5f, 1}, Grey);
    // A 3D line that runs behind the box and a 2D line list, both from a line mesh.
    TZevLineMesh* lines = new TZevLineMesh();
    lines->AddLine(0xFF00FF00u, {-3, 0.5f, 4}, {3, 0.5f, 4});
    lines->AddLine2D(0xFFFF00FFu, 40, 200, 280, 200);
    TZevFrame* frame = new TZevFrame();
    Scene.Root->AddChild(frame);
    frame->AddVisual(lines);
    lines->Release();
    const TZevLight light = DirectionalLight({0, 0, 1});
    Renderer.SetLight(0, &light);

    // A GDI polyline in red (0x00BBGGRR).
    const TZevPoint2D points[2] = {{60, 150}, {260, 150}};
    Renderer.SetAdditive(0);
    Renderer.SetTranslucent(0);
    Renderer.DrawPolylineColor(0x0000FF, points, 2);
    DrawFrame(&Renderer, Scene);
    Renderer.DrawText(100, 60, "ABC テスト");
    const TImage image = CaptureBack(&Renderer);
    SaveScreenshot(image, "lines_and_text");

    float x = 0, y = 0;
    ASSERT_TRUE(ProjectToPixel(&Renderer, {0, 0.5f, 4}, &x, &y));
    EXPECT_EQ(image.At(int(x), int(y)), 0x00FF00u) << "the 3D line is drawn over the box in front of it";
    EXPECT_EQ(image.At(160, 150), 0xFF0000u);
    EXPECT_EQ(image.At(160, 200), 0xFF00FFu);
    int teal = 0;
    for (int ty = 60; ty < 80; ++ty)
        for (int tx = 100; tx < 200; ++tx)
            teal += Green(image.At(tx, ty)) > Red(image.At(tx, ty)) + 40 &&
                    Blue(image.At(tx, ty)) > Red(image.At(tx, ty)) + 40;
    EXPECT_GT(teal, 60);
}

} // namespace
