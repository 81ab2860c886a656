// The viewer's parts that need no window: projection aspect, key codes, the frame-rate count, the Quit entry and
// the test options read from the environment.
#include "GLUTViewer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

TEST(ViewerTest, ZeroHeightWindowKeepsAFiniteAspect)
{
    EXPECT_DOUBLE_EQ(ViewerAspect(640, 480), 640.0 / 480.0);
    EXPECT_TRUE(std::isfinite(ViewerAspect(640, 0)));
    EXPECT_DOUBLE_EQ(ViewerAspect(640, 0), 640.0);
    EXPECT_TRUE(std::isfinite(ViewerAspect(0, 0)));
}

TEST(ViewerTest, GlutKeysBecomeVirtualKeyCodes)
{
    struct Case {
        unsigned char key;
        int code;
    };
    for (const Case& c : {Case{'a', 'A'}, Case{'z', 'Z'}, Case{'E', 'E'}, Case{'5', '5'}, Case{' ', 0x20},
                          Case{13, 0x0D}, Case{27, 0x1B}, Case{8, 0x08}, Case{127, 0x2E}, Case{',', 0xBC},
                          Case{'!', 0}, Case{200, 0}})
        EXPECT_EQ(GlutKeyToVirtualKey(c.key), c.code) << int(c.key);
    EXPECT_EQ(GlutSpecialToVirtualKey(100), 0x25); // left arrow
    EXPECT_EQ(GlutSpecialToVirtualKey(1), 0x70);   // F1
    EXPECT_EQ(GlutSpecialToVirtualKey(9999), 0);
}

TEST(ViewerTest, OneViewerIsCurrent)
{
    EXPECT_EQ(CurrentViewer, nullptr);
    {
        TGLUTViewer viewer;
        EXPECT_EQ(CurrentViewer, &viewer);
    }
    EXPECT_EQ(CurrentViewer, nullptr);
}

TEST(ViewerTest, FrameRateShowsWholeFramesOfTheLastSecond)
{
    TGLUTViewer viewer;
    EXPECT_EQ(viewer.FpsText(), "fps = 0.000000");
    for (int i = 0; i < 25; ++i)
        viewer.CountFrame(100);
    EXPECT_EQ(viewer.ShownRate(), 0.0f); // the first second shows 0
    viewer.CountFrame(101);
    EXPECT_EQ(viewer.ShownRate(), 26.0f);
    for (int i = 0; i < 9; ++i)
        viewer.CountFrame(101);
    viewer.CountFrame(103); // 10 frames over 2 seconds
    EXPECT_EQ(viewer.ShownRate(), 5.0f);
    EXPECT_EQ(viewer.FpsText(), "fps = 5.000000");
}

TEST(ViewerDeathTest, QuitEndsTheProgramWithZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TGLUTViewer viewer;
    viewer.OnFilesMenu(1); // other entries do nothing
    EXPECT_EXIT(viewer.OnFilesMenu(0), testing::ExitedWithCode(0), "");
}

TEST(ViewerTest, TestOptionsComeFromTheEnvironment)
{
    setenv("OGLPOMU_EXIT_FRAMES", "12", 1);
    setenv("OGLPOMU_SNAPSHOT", "shot.png", 1);
    TGLUTTestOptions options = ReadGlutTestOptions();
    EXPECT_EQ(options.ExitFrames, 12);
    EXPECT_EQ(options.Snapshot, "shot.png");
    setenv("OGLPOMU_EXIT_FRAMES", "lots", 1);
    EXPECT_EQ(ReadGlutTestOptions().ExitFrames, 0);
    unsetenv("OGLPOMU_EXIT_FRAMES");
    unsetenv("OGLPOMU_SNAPSHOT");
    EXPECT_EQ(ReadGlutTestOptions().ExitFrames, 0);
}

} // namespace
