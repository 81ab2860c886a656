// Colour channels under the masks of X visuals and bitmaps (8-bit values in and out of wide, narrow and absent
// fields), and text coverage mixed into a pixel.
#include "ZevFont.h"
#include "ZevPixelChannels.h"

#include <gtest/gtest.h>

namespace {

struct TChannelCase {
    const char* what;
    std::uint64_t mask;
    std::uint32_t value8;
    std::uint64_t placed; // the value under the mask
    std::uint32_t back;   // read back as 8 bits
};

TEST(PixelChannelsTest, ValuesGoUnderTheMaskAndComeBackScaled)
{
    const TChannelCase cases[] = {
        {"8-bit red", 0xFF0000, 0x9C, 0x9C0000, 0x9C},
        {"8-bit blue", 0xFF, 0x01, 0x01, 0x01},
        {"5-bit red of 5-6-5: top bits kept", 0xF800, 0xFF, 0xF800, 0xFF},
        {"6-bit green of 5-6-5, scaled to the full range", 0x07E0, 0x84, 0x0420, 0x85},
        {"5-bit blue, a low value drops", 0x001F, 0x07, 0x0000, 0x00},
        {"10-bit field of a deep visual", 0x3FF00000, 0xFF, 0x3FC00000, 0xFE},
        {"top byte of 32 bits", 0xFF000000u, 0x80, 0x80000000u, 0x80},
        {"no mask", 0, 0xFF, 0, 0},
    };
    for (const TChannelCase& c : cases) {
        EXPECT_EQ(ZevChannelFrom8(c.value8, c.mask), c.placed) << c.what;
        EXPECT_EQ(ZevChannelTo8(c.placed, c.mask), c.back) << c.what;
    }
    // Bits outside the mask are not read.
    EXPECT_EQ(ZevChannelTo8(0xFFFF00FFu, 0xFF00), 0u);
}

TEST(PixelChannelsTest, TextBlendsIntoAPixelByItsCoverageAndKeepsTheTopByte)
{
    const std::uint32_t under = 0xAA2040FFu, text = 0x00FF8000u;
    EXPECT_EQ(ZevBlendTextPixel(under, text, 0), under);
    EXPECT_EQ(ZevBlendTextPixel(under, text, 255), 0xAAFF8000u);
    // Each channel on its own: (text k + under (255 - k)) / 255.
    EXPECT_EQ(ZevBlendTextPixel(under, text, 51), 0xAA4C4CCCu);
}

} // namespace
