// Glyphs are rasterised once and kept: a text drawn again, after texts of other sizes, weights and scripts, gives
// the same coverage and the same width as the first time, and the width a measure gives is the width drawn.
#include "ZevFont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TCase {
    std::int32_t pixelHeight;
    bool bold;
    const char* family;
};

TEST(FontCacheTest, TextDrawnAgainAfterOtherSizesAndWeightsIsTheSame)
{
    const TCase cases[] = {{13, false, "sans-serif"}, {14, false, "VL Gothic"}, {20, false, "sans-serif"},
                           {13, true, "sans-serif"},  {40, false, "sans-serif"}};
    const std::string text = "Ag fps = 50 \xE6\x97\xA5\xE6\x9C\xAC"; // with two CJK characters
    std::vector<TZevTextCoverage> first;
    for (const TCase& c : cases) {
        const TZevFontDesc desc{c.pixelHeight, c.bold, c.family};
        TZevTextCoverage line;
        ASSERT_TRUE(ZevRenderText(desc, text.data(), text.size(), &line));
        first.push_back(line);
    }
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const TZevFontDesc desc{cases[i].pixelHeight, cases[i].bold, cases[i].family};
            TZevTextCoverage line;
            ASSERT_TRUE(ZevRenderText(desc, text.data(), text.size(), &line));
            EXPECT_EQ(line.width, first[i].width) << i;
            EXPECT_EQ(line.height, first[i].height) << i;
            EXPECT_EQ(line.alpha, first[i].alpha) << i;
            std::int32_t width = 0, height = 0;
            ASSERT_TRUE(ZevMeasureText(desc, text.data(), text.size(), &width, &height));
            EXPECT_EQ(width, line.width) << i;
            EXPECT_EQ(height, line.height) << i;
        }
    }
    // Sizes and weights are kept apart.
    EXPECT_GT(first[2].width, first[0].width);
    EXPECT_GT(first[4].height, first[2].height);
    EXPECT_NE(first[3].alpha, first[0].alpha);
}

} // namespace
