#include "ZevGLFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <mutex>
#include <string>

// FreeType objects are not safe to share between threads: every use of a face goes through this lock.
struct TZevGLFontCache {
    ~TZevGLFontCache()
    {
        for (TZevGLFont* font : Fonts)
            delete font;
        if (Library)
            FT_Done_FreeType(Library);
    }

    // The face file fontconfig prefers for Japanese gothic text.
    bool FindFace()
    {
        if (Searched)
            return !Path.empty();
        Searched = true;
        // A configuration of our own, given back at once: the program-wide one belongs to whoever else uses
        // fontconfig.
        FcConfig* config = FcInitLoadConfigAndFonts();
        if (!config)
            return false;
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("VL Gothic,monospace:lang=ja"));
        FcPattern* match = nullptr;
        if (pattern) {
            FcConfigSubstitute(config, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult result = FcResultNoMatch;
            match = FcFontMatch(config, pattern, &result);
            FcPatternDestroy(pattern);
        }
        FcConfigDestroy(config);
        if (!match)
            return false;
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            Path = reinterpret_cast<const char*>(file);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
                Index = index;
        }
        FcPatternDestroy(match);
        return !Path.empty() && FT_Init_FreeType(&Library) == 0;
    }

    std::mutex Mutex;
    FT_Library Library = nullptr;
    bool Searched = false;
    std::string Path;
    int Index = 0;
    std::vector<TZevGLFont*> Fonts;
};

namespace {

TZevGLFontCache& Cache()
{
    static TZevGLFontCache cache;
    return cache;
}

FT_Face FaceOf(void* face)
{
    return static_cast<FT_Face>(face);
}

} // namespace

std::int32_t ZevUtf8CharLength(const char* text)
{
    if (!text || !*text)
        return 0;
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    const std::int32_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                : lead >= 0xF0 && lead < 0xF5                 ? 4
                                                                              : 1;
    // Every continuation byte must be there (a zero ends the text and is never one).
    for (std::int32_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 1;
    }
    return length;
}

std::uint32_t ZevUtf8Decode(const char* text, std::int32_t length)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    switch (length) {
    case 1:
        return s[0] < 0x80 ? s[0] : 0xFFFD;
    case 2:
        return (static_cast<std::uint32_t>(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
    case 3:
        return (static_cast<std::uint32_t>(s[0] & 0x0F) << 12) | (static_cast<std::uint32_t>(s[1] & 0x3F) << 6) |
               (s[2] & 0x3F);
    case 4:
        return (static_cast<std::uint32_t>(s[0] & 0x07) << 18) | (static_cast<std::uint32_t>(s[1] & 0x3F) << 12) |
               (static_cast<std::uint32_t>(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    default:
        return 0xFFFD;
    }
}

TZevGLFont* TZevGLFont::Get(std::int32_t cellHeight, bool monochrome)
{
    TZevGLFontCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.Mutex);
    cellHeight = std::clamp(cellHeight, 4, 256);
    for (TZevGLFont* font : cache.Fonts) {
        if (font->CellHeight == cellHeight && font->Monochrome == monochrome)
            return font;
    }
    if (!cache.FindFace())
        return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(cache.Library, cache.Path.c_str(), cache.Index, &face) != 0)
        return nullptr;
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_CELL;
    request.height = cellHeight * 64;
    if (FT_Request_Size(face, &request) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    TZevGLFont* font = new TZevGLFont();
    font->Face = face;
    font->Monochrome = monochrome;
    font->CellHeight = cellHeight;
    font->AscentPixels = static_cast<std::int32_t>((face->size->metrics.ascender + 32) >> 6);
    cache.Fonts.push_back(font);
    return font;
}

TZevGLFont::~TZevGLFont()
{
    if (Face)
        FT_Done_Face(FaceOf(Face));
}

std::int32_t TZevGLFont::Advance(std::uint32_t codePoint)
{
    if (FT_Load_Char(FaceOf(Face), codePoint, Monochrome ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT) != 0)
        return 0;
    return static_cast<std::int32_t>((FaceOf(Face)->glyph->advance.x + 32) >> 6);
}

std::int32_t TZevGLFont::DrawGlyph(std::uint32_t codePoint, std::int32_t x, std::int32_t baseline,
                                   TZevGLTextImage* out)
{
    FT_Face face = FaceOf(Face);
    const FT_Int32 flags = FT_LOAD_RENDER | (Monochrome ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : 0);
    if (FT_Load_Char(face, codePoint, flags) != 0)
        return 0;
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    const std::int32_t left = x + glyph->bitmap_left;
    const std::int32_t top = baseline - glyph->bitmap_top;
    for (std::int32_t row = 0; row < static_cast<std::int32_t>(bitmap.rows); ++row) {
        const std::int32_t y = top + row;
        if (y < 0 || y >= out->Height)
            continue;
        const unsigned char* in = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        for (std::int32_t column = 0; column < static_cast<std::int32_t>(bitmap.width); ++column) {
            const std::int32_t px = left + column;
            if (px < 0 || px >= out->Width)
                continue;
            std::uint8_t value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (in[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = in[column];
            std::uint8_t& cell = out->Coverage[static_cast<std::size_t>(y) * static_cast<std::size_t>(out->Width) +
                                               static_cast<std::size_t>(px)];
            cell = std::max(cell, value);
        }
    }
    return static_cast<std::int32_t>((glyph->advance.x + 32) >> 6);
}

void TZevGLFont::Render(const char* text, std::int32_t wrapWidth, TZevGLTextImage* out)
{
    std::lock_guard<std::mutex> lock(Cache().Mutex);
    // Lines as (first byte, end byte) pairs, broken at '\n' and, to fit the width, at the last blank.
    struct Line {
        std::int32_t begin, end, width;
    };
    std::vector<Line> lines;
    const std::int32_t length = text ? static_cast<std::int32_t>(std::char_traits<char>::length(text)) : 0;
    std::int32_t begin = 0, width = 0, lastBlank = -1, widthAtBlank = 0;
    for (std::int32_t i = 0; i < length;) {
        if (text[i] == '\n') {
            lines.push_back({begin, i, width});
            begin = ++i;
            width = 0;
            lastBlank = -1;
            continue;
        }
        const std::int32_t n = ZevUtf8CharLength(text + i);
        const std::uint32_t code = text[i] == '\t' || text[i] == '\r' ? ' ' : ZevUtf8Decode(text + i, n);
        const std::int32_t advance = Advance(code);
        if (wrapWidth > 0 && width + advance > wrapWidth && lastBlank > begin) {
            lines.push_back({begin, lastBlank, widthAtBlank});
            begin = lastBlank + 1;
            width -= widthAtBlank + Advance(' ');
            lastBlank = -1;
        }
        if (code == ' ') {
            lastBlank = i;
            widthAtBlank = width;
        }
        width += advance;
        i += n;
    }
    if (begin < length)
        lines.push_back({begin, length, width});

    out->Width = 0;
    for (const Line& line : lines)
        out->Width = std::max(out->Width, line.width);
    out->Height = static_cast<std::int32_t>(lines.size()) * CellHeight;
    out->Coverage.assign(static_cast<std::size_t>(out->Width) * static_cast<std::size_t>(out->Height), 0);
    for (std::size_t l = 0; l < lines.size(); ++l) {
        std::int32_t x = 0;
        const std::int32_t baseline = static_cast<std::int32_t>(l) * CellHeight + AscentPixels;
        for (std::int32_t i = lines[l].begin; i < lines[l].end;) {
            const std::int32_t n = ZevUtf8CharLength(text + i);
            const std::uint32_t code = text[i] == '\t' || text[i] == '\r' ? ' ' : ZevUtf8Decode(text + i, n);
            x += DrawGlyph(code, x, baseline, out);
            i += n;
        }
    }
}

void TZevGLFont::RenderCell(const char* character, std::int32_t length, std::int32_t width, std::int32_t height,
                            TZevGLTextImage* out)
{
    std::lock_guard<std::mutex> lock(Cache().Mutex);
    out->Width = std::max(width, 0);
    out->Height = std::max(height, 0);
    out->Coverage.assign(static_cast<std::size_t>(out->Width) * static_cast<std::size_t>(out->Height), 0);
    if (!character || length <= 0)
        return;
    DrawGlyph(ZevUtf8Decode(character, length), 0, AscentPixels, out);
}
