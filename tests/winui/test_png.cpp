// The screenshot files: what the writers put down reads back pixel for pixel, and damaged files are refused.
#include "ZevPng.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(PngFileTest, WrittenImageReadsBack)
{
    // Wider than one stored block (65535 bytes), so the writer must split.
    const int w = 200, h = 150;
    std::vector<std::uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = std::uint8_t(i * 7 + i / 11);
    ASSERT_TRUE(ZevWritePngRGB("image.png", w, h, rgb));
    int rw = 0, rh = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ZevReadPngRGB("image.png", &rw, &rh, &back));
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(back, rgb);
    // The standard check value of CRC-32.
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(ZevPngCrc32(digits, 9), 0xCBF43926u);

    EXPECT_FALSE(ZevWritePngRGB("image.png", 0, 5, {}));
    EXPECT_FALSE(ZevWritePngRGB("no-such-dir/image.png", 1, 1, {1, 2, 3}));
    // A damaged file is refused, not misread.
    std::FILE* f = std::fopen("image.png", "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 40, SEEK_SET);
    std::fputc(0x55, f);
    std::fclose(f);
    EXPECT_FALSE(ZevReadPngRGB("image.png", &rw, &rh, &back));
    EXPECT_FALSE(ZevReadPngRGB("missing.png", &rw, &rh, &back));
}

TEST(PngFileTest, PixelWriterKeepsRedGreenBlueOrder)
{
    // 0x00RRGGBB pixels, top row first, as the window layer and the renderers read them back.
    const std::uint32_t pixels[] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0x00123456u, 0xFF010203u, 0x00FFFFFFu};
    ASSERT_TRUE(ZevWritePng("pixels.png", pixels, 3, 2));
    int w = 0, h = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ZevReadPngRGB("pixels.png", &w, &h, &back));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    // The top byte is not a channel.
    const std::vector<std::uint8_t> expected = {0xFF, 0, 0, 0,    0xFF, 0,    0, 0, 0xFF,
                                                0x12, 0x34, 0x56, 1, 2, 3, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(back, expected);

    EXPECT_FALSE(ZevWritePng("pixels.png", nullptr, 3, 2));
    EXPECT_FALSE(ZevWritePng("pixels.png", pixels, 3, 0));
}

} // namespace
