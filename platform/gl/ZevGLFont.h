// The font layer of the device layer: UTF-8 text rasterised with FreeType in the Japanese gothic face that
// fontconfig finds (VL Gothic on Debian; any Japanese face, then the monospace face, when it is missing). Text is
// laid out into coverage images (0 to 255 per pixel) that the surfaces and renderers draw.
#pragma once

#include <cstdint>
#include <vector>

struct TZevGLTextImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint8_t> Coverage; // Width x Height, top row first
};

class TZevGLFont {
public:
    // The shared font of a cell height in pixels (ascent plus descent, as a GDI font height), either
    // two-level (monochrome, as non-antialiased GDI text) or smoothed. Null when no face can be found.
    static TZevGLFont* Get(std::int32_t cellHeight, bool monochrome);

    // Lays the text out in lines (at '\n', and at blanks to fit `wrapWidth` when it is above 0) and rasterises it.
    // A line is LineHeight() pixels high, its baseline Ascent() below its top. An empty text gives an empty image.
    void Render(const char* text, std::int32_t wrapWidth, TZevGLTextImage* out);
    // One character (the UTF-8 sequence of `length` bytes) with its cell's top-left corner at (0, 0) of an image of
    // the given size; what does not fit is cut.
    void RenderCell(const char* character, std::int32_t length, std::int32_t width, std::int32_t height,
                    TZevGLTextImage* out);

    std::int32_t LineHeight() const { return CellHeight; }
    std::int32_t Ascent() const { return AscentPixels; }

    TZevGLFont(const TZevGLFont&) = delete;
    TZevGLFont& operator=(const TZevGLFont&) = delete;

private:
    TZevGLFont() = default;
    ~TZevGLFont();
    friend struct TZevGLFontCache;

    // Draws one code point with its pen position at (x, baseline); returns its advance.
    std::int32_t DrawGlyph(std::uint32_t codePoint, std::int32_t x, std::int32_t baseline, TZevGLTextImage* out);
    std::int32_t Advance(std::uint32_t codePoint);

    void* Face = nullptr; // FT_Face
    bool Monochrome = false;
    std::int32_t CellHeight = 0;
    std::int32_t AscentPixels = 0;
};

// Bytes of the UTF-8 character that starts at `text`: 1 to 4, never reaching past a terminating zero (a sequence
// cut short or malformed counts as its first byte alone); 0 at the terminator.
std::int32_t ZevUtf8CharLength(const char* text);
// The code point of the character of `length` bytes (U+FFFD for a malformed one).
std::uint32_t ZevUtf8Decode(const char* text, std::int32_t length);
