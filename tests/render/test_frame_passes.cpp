// The frame passes both renderers share: which bucket a command lands in, which buckets are drawn, meshes too large
// for one call, faces that refer past their vertices, and the 2D lines of the DirectDraw 7 renderer.
#include "RenderTestSupport.h"

#include "ZevDrawCommand.h"
#include "ZevMeshData.h"

#include <memory>

namespace {

TEST(FramePassBuckets, CommandsAreSortedByKindAndTheirStrongestState)
{
    const struct {
        std::int32_t Kind, Additive, Translucent, ShadowVolume;
        int Bucket;
    } cases[] = {
        {4, 0, 0, 0, 32}, {4, 1, 0, 0, 33}, {4, 0, 1, 0, 34}, {4, 1, 1, 0, 34}, {4, 1, 1, 1, 36},
        {6, 0, 0, 0, 48}, {6, 1, 0, 0, 49}, {6, 0, 1, 0, 50}, {6, 0, 0, 1, 52}, {0, 0, 0, 0, 0},
        {1, 0, 0, 0, 8},  {2, 0, 0, 0, 16}, {3, 0, 0, 0, 24}, {3, 7, 0, 0, 25}, {40, 0, 0, 0, 64},
    };
    for (const auto& c : cases) {
        TZevDrawCommand command;
        command.Kind = c.Kind;
        command.State1 = c.Additive;
        command.State2 = c.Translucent;
        command.State3 = c.ShadowVolume;
        EXPECT_EQ(TZevFramePassRenderer::BucketOf(&command), c.Bucket)
            << c.Kind << " " << c.Additive << c.Translucent << c.ShadowVolume;
    }
}

class FramePassTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        ASSERT_TRUE(Window.Create(160, 120));
    }

    std::unique_ptr<TZevFramePassRenderer> MakeRenderer(bool direct3D8)
    {
        std::unique_ptr<TZevFramePassRenderer> renderer;
        if (direct3D8) {
            auto r = std::make_unique<TZevDX8Renderer>();
            EXPECT_TRUE(r->InitFromWindow(Window.GetWindow()));
            renderer = std::move(r);
        } else {
            auto r = std::make_unique<TZevDX7Renderer>();
            EXPECT_TRUE(r->InitFromWindow(Window.GetWindow()));
            renderer = std::move(r);
        }
        const TZevLight light = DirectionalLight({0, -1, 0});
        renderer->SetLight(0, &light);
        renderer->SetBackgroundColor(Background);
        return renderer;
    }

    static TImage Capture(TZevFramePassRenderer* renderer)
    {
        if (auto* dx8 = dynamic_cast<TZevDX8Renderer*>(renderer))
            return CaptureBack(dx8);
        return CaptureBack(static_cast<TZevDX7Renderer*>(renderer));
    }

    static constexpr std::uint32_t Background = 0x00FFFFFF;
    TZevGLOwnWindow Window;
    TTestScene Scene;
};

TEST_F(FramePassTest, AMeshBeyondTheIndexBufferIsDrawnWhole)
{
    // 150 x 150 squares: 45,000 triangles, more than twice what one call of 60,000 indices holds. The camera looks
    // straight down on it; the rows drawn last are at the picture's bottom.
    const float green[4] = {0.1f, 0.8f, 0.1f, 1};
    Scene.AddGrid(150, 20, 0, green)->ShadowOff = 1;
    Scene.PlaceCamera({0, 10, 0}, 1.5707964f);
    for (bool direct3D8 : {false, true}) {
        SCOPED_TRACE(direct3D8 ? "Direct3D 8" : "DirectDraw 7");
        auto renderer = MakeRenderer(direct3D8);
        DrawFrame(renderer.get(), Scene);
        const TImage image = Capture(renderer.get());
        SaveScreenshot(image, direct3D8 ? "large_mesh_dx8" : "large_mesh_dx7");
        EXPECT_EQ(image.Count([](std::uint32_t p) { return p == Background; }), 0);
    }
}

TEST_F(FramePassTest, FacesThatReferPastTheVerticesAreLeftOut)
{
    const float blue[4] = {0.1f, 0.1f, 1, 1};
    TZevPolygonMesh* box = Scene.AddBox({-1, -1, 2}, {1, 1, 3}, blue);
    // Two triangles of the faces across z point past the 24 vertices.
    box->Geometry->Faces[4].Indices[1] = 24;
    box->Geometry->Faces[5].Indices[2] = 65535;
    Scene.PlaceCamera({0, 4, -1}, 1.0f);
    for (bool direct3D8 : {false, true}) {
        SCOPED_TRACE(direct3D8 ? "Direct3D 8" : "DirectDraw 7");
        auto renderer = MakeRenderer(direct3D8);
        DrawFrame(renderer.get(), Scene);
        const TImage image = Capture(renderer.get());
        // The box's other faces still draw.
        EXPECT_GT(image.Count([](std::uint32_t p) { return Blue(p) > Red(p) + 60; }), 100);
    }
}

TEST_F(FramePassTest, CommandsInBucketsNoPassReplaysAreDroppedAtTheEndOfTheFrame)
{
    auto renderer = MakeRenderer(false);
    const TZevPoint2D points[2] = {{10, 60}, {150, 60}};
    // A line queued while the additive state is on, and a lit mesh queued as a shadow volume.
    renderer->SetAdditive(1);
    renderer->DrawPolylineColor(0x000000, points, 2);
    renderer->SetAdditive(0);
    TZevMeshData lit;
    ASSERT_TRUE(ZevMakeBoxMesh(&lit, -1, -1, 2, 1, 1, 3));
    for (int i = 0; i < lit.VertexCount; ++i)
        lit.LVertices()[i].Diffuse = 0xFF000000u;
    renderer->SetShadowVolume(1);
    renderer->DrawMesh(nullptr, IdentityMatrix, &lit);
    renderer->SetShadowVolume(0);
    Scene.PlaceCamera({0, 0, -2}, 0);
    DrawFrame(renderer.get(), Scene);
    EXPECT_EQ(Capture(renderer.get()).Count([](std::uint32_t p) { return p != Background; }), 0);
    EXPECT_TRUE(renderer->CommandQueue.IsEmpty());
}

TEST_F(FramePassTest, ScreenLinesJoinPointPairsAndIgnoreAnOddLastPoint)
{
    auto renderer = MakeRenderer(false);
    renderer->SetAdditive(0);
    // Default pen (black), then a pen of its own colour (0x00BBGGRR).
    const TZevPoint2D pairs[3] = {{10, 10}, {100, 10}, {10, 80}};
    renderer->DrawPolyline(pairs, 3);
    const TZevPoint2D blue[2] = {{10, 40}, {100, 40}};
    renderer->DrawPolylineColor(0xFF0000, blue, 2);
    DrawFrame(renderer.get(), Scene);
    const TImage image = Capture(renderer.get());
    EXPECT_EQ(image.At(50, 10), 0x000000u);
    EXPECT_EQ(image.At(50, 40), 0x0000FFu);
    // Nothing from the lone third point: the only black is the first segment.
    EXPECT_EQ(image.Count([](std::uint32_t p) { return p == 0; }), 90);
}

TEST_F(FramePassTest, OnlyLightZeroSetsTheDirectionOfTheShadowPasses)
{
    auto renderer = MakeRenderer(false);
    const TZevVector before = renderer->Light0Direction;
    const TZevLight other = DirectionalLight({1, 0, 0});
    renderer->SetLight(1, &other);
    EXPECT_EQ(renderer->Light0Direction.x, before.x);
    EXPECT_EQ(renderer->Light0Direction.y, before.y);
    renderer->SetLight(0, &other);
    EXPECT_EQ(renderer->Light0Direction.x, 1.0f);
}

} // namespace
