// Translucent meshes weigh their own colour by their alpha and what lies behind them by one minus it, for any
// alpha: drawn by the DirectDraw 7 renderer under Xvfb, read back and checked by pixels.
#include "RenderTestSupport.h"

#include <algorithm>
#include <sstream>

namespace {

TEST(BlendingTest, ATranslucentMeshWeighsItsColourByItsAlpha)
{
    REQUIRE_X_SERVER();
    TZevGLOwnWindow window;
    ASSERT_TRUE(window.Create(320, 240));
    TZevDX7Renderer renderer;
    ASSERT_TRUE(renderer.InitFromWindow(window.GetWindow()));
    renderer.SetBackgroundColor(0x000000);
    // Alphas on both sides of one half: at 0.5 the two weights are equal and swapped factors would not show.
    for (const float alpha : {0.25f, 0.75f}) {
        SCOPED_TRACE(alpha);
        TTestScene scene;
        scene.PlaceCamera({0, 0, -4}, 0);
        const float blue[4] = {0, 0, 1, 1}, red[4] = {1, 0, 0, alpha};
        // An opaque blue box on the left behind a red pane that reaches out over the black background.
        TZevPolygonMesh* wall = scene.AddBox({-3, -2, 2}, {0, 2, 3}, blue);
        TZevPolygonMesh* glass = scene.AddBox({-2, -0.5f, 0}, {2, 0.5f, 0.2f}, red);
        glass->Translucent = 1;
        // Faces lit head-on and no ambient part: each shows its material's colour.
        for (TZevPolygonMesh* mesh : {wall, glass})
            std::fill(mesh->Material.Ambient, mesh->Material.Ambient + 3, 0.0f);
        const TZevLight light = DirectionalLight({0, 0, 1});
        renderer.SetLight(0, &light);
        DrawFrame(&renderer, scene);
        const TImage image = CaptureBack(&renderer);
        std::ostringstream name;
        name << "blending_alpha_" << static_cast<int>(alpha * 100);
        SaveScreenshot(image, name.str());

        const auto at = [&](const TZevVector& point) {
            float x = 0, y = 0;
            EXPECT_TRUE(ProjectToPixel(&renderer, point, &x, &y));
            return image.Around(static_cast<int>(x), static_cast<int>(y), 2);
        };
        const std::uint32_t behind = at({-2.5f, 1.5f, 2}); // the blue box alone
        const std::uint32_t overBlue = at({-1, 0, 0});
        const std::uint32_t overBlack = at({1, 0, 0});
        ASSERT_GT(Blue(behind), 200) << std::hex << behind;
        // alpha of the red, 1 - alpha of what lies behind (within a rounding step of the 8-bit channels).
        const int red255 = static_cast<int>(alpha * 255.0f + 0.5f);
        EXPECT_NEAR(Red(overBlack), red255, 6) << std::hex << overBlack;
        EXPECT_LT(Blue(overBlack), 6) << std::hex << overBlack;
        EXPECT_NEAR(Red(overBlue), red255, 6) << std::hex << overBlue;
        EXPECT_NEAR(Blue(overBlue), (1.0f - alpha) * static_cast<float>(Blue(behind)), 6) << std::hex << overBlue;
    }
}

} // namespace
