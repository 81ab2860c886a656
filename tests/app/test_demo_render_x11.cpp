// What the demo's view draws, as a person sees it on an X server of the test's own: the floor of the script scenes
// shows its tiles as the texture has them (crisp grout lines, no blurred bands along the seams), and with SetUp >
// Shadow the boxes cast shadows on the floor. Entries are chosen by clicks (xdotool); pictures are kept in
// build/screenshots/.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include <cstdlib>

namespace {

constexpr std::uint32_t MenuBarGrey = 0xD4D0C8;

class DemoRenderX11Test : public XProgramTest {
protected:
    void Start()
    {
        StopProgram(&Demo);
        Demo = StartProgram({QE_BIN_DIR "/demo"}, Folder.string());
        ASSERT_GT(Demo, 0);
        ASSERT_TRUE(WaitForWindow("Orvelle Physics Engine Demo", Patience));
        // Ready for clicks once its menu bar shows. (Not "one more change drawn": the form may have drawn all it
        // draws before its map was seen, and then it draws nothing more until it is clicked.)
        ASSERT_TRUE(WaitForScreen(
            [](const TScreenShot& shot) {
                return shot.At(2, CaptionHeight + 2) == MenuBarGrey && shot.At(FormWidth - 2, CaptionHeight + 2) == MenuBarGrey;
            },
            Patience));
    }
    // The main form's entry, chosen with two clicks: its popup on the menu bar, then the entry.
    void Choose(const char* caption) { ClickMenu(DemoMenuClicks(caption)); }
    // The view's picture once the scene has drawn a while.
    TScreenShot ViewAfter(int frames)
    {
        const auto view = [](const TScreenShot& shot) {
            return shot.Part(0, CaptionHeight, FormWidth, FormHeight - CaptionHeight);
        };
        EXPECT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return view(shot).DistinctColours() > 100; }, Patience));
        EXPECT_TRUE(WaitForFrames(frames, Patience));
        return view(CaptureScreen());
    }
};

int RenderBrightness(std::uint32_t p)
{
    return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF));
}

TEST_F(DemoRenderX11Test, TheFloorShowsItsTilesAsTheTextureHasThem)
{
    Start();
    Choose("Default Orvelle Physics World");
    const TScreenShot view = ViewAfter(10);
    view.Save("demo_floor_tiles");
    // The near floor, where one texel of the floor's texture covers many pixels: from one pixel to the next the
    // colour either stays (inside a tile or a grout line) or jumps between tile and grout. Blending neighbouring
    // texels made ramps of small steps across every seam, dozens of pixels wide.
    int steps = 0, jumps = 0;
    for (int y = view.Height - 120; y < view.Height; y += 4) {
        for (int x = 1; x < view.Width; ++x) {
            const int d = std::abs(RenderBrightness(view.At(x, y)) - RenderBrightness(view.At(x - 1, y)));
            steps += d >= 3 && d < 24;
            jumps += d >= 24;
        }
    }
    EXPECT_GT(jumps, 10) << "the tiles' grout lines show";
    EXPECT_LT(steps, jumps * 2) << "seams drawn as blurred ramps";
}

TEST_F(DemoRenderX11Test, WithShadowsOnTheStackedBoxesDarkenTheFloorBesideThem)
{
    // The same scene without and with shadows, the same time after it opened: the stack stands still for eight
    // seconds.
    TScreenShot pictures[2];
    for (int shadow = 0; shadow < 2; ++shadow) {
        Start();
        if (shadow)
            Choose("Shadow");
        Choose("Stack Objects");
        pictures[shadow] = ViewAfter(40);
    }
    pictures[1].Save("demo_stack_shadows");
    // The floor right of the stack and the column (the light falls from the front left, so the shadows lie behind
    // and to the right of what casts them; the column's, ten high, reaches far to the right).
    int darker = 0, lighter = 0;
    for (int y = 200; y < 300; ++y)
        for (int x = 250; x < 450; ++x) {
            const int d = RenderBrightness(pictures[1].At(x, y)) - RenderBrightness(pictures[0].At(x, y));
            darker += d < -30;
            lighter += d > 30;
        }
    // Specks only (a few dozen pixels) where a volume did not close over the floor behind.
    EXPECT_GT(darker, 250);
    EXPECT_LT(lighter, darker / 4);
}

} // namespace
