// The viewer's parts that need no window: projection aspect, key codes, the frame-rate count, the Quit entry and
// the screenshot file.
#include "GLUTViewer.h"
#include "QEPngFile.h"

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

TEST(PngFileTest, WrittenImageReadsBack)
{
    // Wider than one stored block (65535 bytes), so the writer must split.
    const int w = 200, h = 150;
    std::vector<std::uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = std::uint8_t(i * 7 + i / 11);
    ASSERT_TRUE(WritePngRGB("image.png", w, h, rgb));
    int rw = 0, rh = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ReadPngRGB("image.png", &rw, &rh, &back));
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(back, rgb);
    // The standard check value of CRC-32.
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(PngCrc32(digits, 9), 0xCBF43926u);

    EXPECT_FALSE(WritePngRGB("image.png", 0, 5, {}));
    EXPECT_FALSE(WritePngRGB("no-such-dir/image.png", 1, 1, {1, 2, 3}));
    // A damaged file is refused, not misread.
    std::FILE* f = std::fopen("image.png", "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 40, SEEK_SET);
    std::fputc(0x55, f);
    std::fclose(f);
    EXPECT_FALSE(ReadPngRGB("image.png", &rw, &rh, &back));
    EXPECT_FALSE(ReadPngRGB("missing.png", &rw, &rh, &back));
}

} // namespace
