// Text for everything that draws letters: UTF-8 text rasterised with FreeType into memory, faces found through
// fontconfig. A character that the chosen face lacks is taken from a face that has it (Japanese from a CJK face such
// as VL Gothic), so captions never show boxes while such a font is installed. Shared by the window layer's drawing
// and by the renderers, which turn the coverage into textures or blend it into their surfaces. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TZevFontDesc {
    std::int32_t pixelHeight = 13;  // em height in pixels
    bool bold = false;
    std::string family = "sans-serif"; // a fontconfig family name
};

// A line of text as coverage: width x height bytes, 0 (clear) to 255 (covered), row 0 at the top; the baseline is
// `ascent` rows below the top.
struct TZevTextCoverage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t ascent = 0;
    std::vector<std::uint8_t> alpha;
};

// Rasterises one line (no line breaks are interpreted). False when no face could be loaded; an empty text gives a
// 0-wide coverage of the font's height. Invalid UTF-8 bytes are drawn as U+FFFD.
bool ZevRenderText(const TZevFontDesc& desc, const char* utf8, std::size_t length, TZevTextCoverage* out);
// Advance width and line height of a line of text without drawing it.
bool ZevMeasureText(const TZevFontDesc& desc, const char* utf8, std::size_t length, std::int32_t* width,
                    std::int32_t* height);
// Blends the line into a 32-bit 0x00RRGGBB image (pitch in bytes) with its top-left corner at (x, y), clipped to
// the rectangle [clipLeft, clipRight) x [clipTop, clipBottom) and to the image.
bool ZevDrawText32(const TZevFontDesc& desc, const char* utf8, std::size_t length, std::uint32_t* pixels,
                   std::int32_t width, std::int32_t height, std::int32_t pitchBytes, std::int32_t x, std::int32_t y,
                   std::uint32_t rgb, std::int32_t clipLeft, std::int32_t clipTop, std::int32_t clipRight,
                   std::int32_t clipBottom);
// One pixel under text: the text colour `rgb` (0x00RRGGBB) over the pixel `under` by the coverage k (0 to 255);
// the pixel's top byte is kept.
std::uint32_t ZevBlendTextPixel(std::uint32_t under, std::uint32_t rgb, std::uint32_t k);
// Whether some installed face has a glyph for the code point (not the missing-glyph box).
bool ZevFontHasGlyph(const TZevFontDesc& desc, std::uint32_t codePoint);

// Decodes one UTF-8 character at text[*index] (advancing the index); U+FFFD for a malformed sequence.
std::uint32_t ZevDecodeUtf8(const char* text, std::size_t length, std::size_t* index);
// Appends the UTF-8 bytes of a code point.
void ZevAppendUtf8(std::string* text, std::uint32_t codePoint);
