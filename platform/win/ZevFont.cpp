#include "ZevFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// One installed face file (a file may hold several faces).
struct FaceKey {
    std::string file;
    int index;
    bool operator<(const FaceKey& o) const { return file != o.file ? file < o.file : index < o.index; }
};

// The faces that serve one family and weight: the best match first, then the fallbacks in fontconfig's order.
struct FaceChain {
    std::vector<FaceKey> keys;
    std::unordered_map<std::uint32_t, int> chosen; // code point -> index into keys, -1 when none has it
};

// A rendered glyph: its pen advance (26.6), where its coverage sits from the pen, and the coverage (0 to 255).
struct Glyph {
    bool loaded = false; // false: the face had no usable glyph; it is skipped without advancing
    long advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<std::uint8_t> coverage;
};

// Glyphs of one face chain at one pixel height, with the line's metrics.
struct GlyphSet {
    int ascent = 0;
    int height = 0;
    std::unordered_map<std::uint32_t, Glyph> glyphs;
};

// Text is drawn every frame: its glyphs are rendered once and kept. A bound on the number kept, so that text of
// ever new characters cannot grow the cache without end.
constexpr std::size_t MaxCachedGlyphs = 8192;

struct FontState {
    std::mutex mutex;
    FT_Library library = nullptr;
    bool failed = false;
    std::map<FaceKey, FT_Face> faces;
    std::map<std::string, FaceChain> chains;
    std::map<std::pair<std::string, int>, GlyphSet> glyphSets;
    std::size_t cachedGlyphs = 0;

    ~FontState()
    {
        for (auto& f : faces)
            if (f.second)
                FT_Done_Face(f.second);
        if (library) {
            FT_Done_FreeType(library);
            FcFini(); // fontconfig's own caches, so that leak checks see nothing left
        }
    }
};

FontState& State()
{
    static FontState state;
    return state;
}

// Caller holds the mutex.
bool EnsureLibrary(FontState& s)
{
    if (s.library)
        return true;
    if (s.failed)
        return false;
    if (FT_Init_FreeType(&s.library) != 0 || !FcInit()) {
        s.failed = true;
        s.library = nullptr;
        return false;
    }
    return true;
}

std::string ChainName(const TZevFontDesc& desc);

FaceChain& ChainFor(FontState& s, const TZevFontDesc& desc)
{
    const std::string name = ChainName(desc);
    auto it = s.chains.find(name);
    if (it != s.chains.end())
        return it->second;
    FaceChain& chain = s.chains[name];
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(desc.family.c_str()));
    if (!pattern)
        return chain;
    FcPatternAddInteger(pattern, FC_WEIGHT, desc.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    if (set) {
        // Enough candidates to cover any script the machine has a font for, without opening hundreds of files.
        const int limit = std::min(set->nfont, 64);
        for (int i = 0; i < limit; ++i) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch)
                continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            chain.keys.push_back({reinterpret_cast<const char*>(file), index});
        }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    return chain;
}

FT_Face OpenFace(FontState& s, const FaceKey& key)
{
    auto it = s.faces.find(key);
    if (it != s.faces.end())
        return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(s.library, key.file.c_str(), key.index, &face) != 0)
        face = nullptr;
    s.faces[key] = face;
    return face;
}

FT_Face PrimaryFace(FontState& s, FaceChain& chain)
{
    for (const FaceKey& key : chain.keys)
        if (FT_Face face = OpenFace(s, key))
            return face;
    return nullptr;
}

FT_Face FaceForChar(FontState& s, FaceChain& chain, std::uint32_t cp)
{
    auto it = chain.chosen.find(cp);
    if (it != chain.chosen.end())
        return it->second >= 0 ? OpenFace(s, chain.keys[static_cast<std::size_t>(it->second)]) : nullptr;
    int found = -1;
    for (std::size_t i = 0; i < chain.keys.size(); ++i) {
        FT_Face face = OpenFace(s, chain.keys[i]);
        if (face && FT_Get_Char_Index(face, cp) != 0) {
            found = static_cast<int>(i);
            break;
        }
    }
    chain.chosen[cp] = found;
    return found >= 0 ? OpenFace(s, chain.keys[static_cast<std::size_t>(found)]) : nullptr;
}

struct LineMetrics {
    int ascent;
    int height;
};

LineMetrics Metrics(FT_Face primary, int pixelHeight)
{
    FT_Set_Pixel_Sizes(primary, 0, static_cast<FT_UInt>(pixelHeight));
    const int ascent = static_cast<int>((primary->size->metrics.ascender + 63) >> 6);
    const int descent = static_cast<int>((-primary->size->metrics.descender + 63) >> 6);
    return {ascent, std::max(1, ascent + descent)};
}

std::string ChainName(const TZevFontDesc& desc)
{
    return desc.family + (desc.bold ? ":bold" : ":regular");
}

// The glyph of a code point, rendered on first use.
const Glyph& GlyphFor(FontState& s, FaceChain& chain, FT_Face primary, GlyphSet& set, int pixelHeight,
                      std::uint32_t cp)
{
    auto found = set.glyphs.find(cp);
    if (found != set.glyphs.end())
        return found->second;
    if (s.cachedGlyphs >= MaxCachedGlyphs) {
        for (auto& other : s.glyphSets)
            other.second.glyphs.clear();
        s.cachedGlyphs = 0;
    }
    Glyph& glyph = set.glyphs[cp];
    ++s.cachedGlyphs;
    FT_Face face = FaceForChar(s, chain, cp);
    if (!face)
        face = primary; // the primary face's missing-glyph box
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
    const FT_UInt index = FT_Get_Char_Index(face, cp);
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0)
        return glyph;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& b = slot->bitmap;
    glyph.loaded = true;
    glyph.advance = slot->advance.x;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(b.width);
    glyph.rows = static_cast<int>(b.rows);
    glyph.coverage.resize(static_cast<std::size_t>(b.width) * b.rows);
    for (unsigned row = 0; row < b.rows; ++row) {
        const unsigned char* src = b.buffer + static_cast<std::ptrdiff_t>(row) * b.pitch;
        for (unsigned col = 0; col < b.width; ++col)
            glyph.coverage[static_cast<std::size_t>(row) * b.width + col] =
                b.pixel_mode == FT_PIXEL_MODE_MONO ? ((src[col >> 3] >> (7 - (col & 7))) & 1 ? 255 : 0) : src[col];
    }
    return glyph;
}

// Walks the glyphs of a line: fn(glyph, left) with the pen position applied; returns the advance width.
template <class F>
int WalkGlyphs(FontState& s, FaceChain& chain, FT_Face primary, GlyphSet& set, int pixelHeight, const char* text,
               std::size_t length, F fn)
{
    long pen = 0; // 26.6
    std::size_t i = 0;
    while (i < length) {
        std::uint32_t cp = ZevDecodeUtf8(text, length, &i);
        if (cp == '\t')
            cp = ' ';
        const Glyph& glyph = GlyphFor(s, chain, primary, set, pixelHeight, cp);
        if (!glyph.loaded)
            continue;
        fn(glyph, static_cast<int>((pen >> 6) + glyph.left));
        pen += glyph.advance;
    }
    return static_cast<int>((pen + 63) >> 6);
}

} // namespace

std::uint32_t ZevDecodeUtf8(const char* text, std::size_t length, std::size_t* index)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = *index;
    const unsigned char c = p[i];
    int extra = 0;
    std::uint32_t cp = 0;
    std::uint32_t minimum = 0;
    if (c < 0x80) {
        *index = i + 1;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, minimum = 0x10000;
    } else {
        *index = i + 1;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if (i + static_cast<std::size_t>(k) >= length || (p[i + k] & 0xC0) != 0x80) {
            *index = i + static_cast<std::size_t>(k);
            return 0xFFFD;
        }
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    *index = i + 1 + static_cast<std::size_t>(extra);
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}

void ZevAppendUtf8(std::string* text, std::uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        text->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        text->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        text->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        text->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

// Width, height and ascent of one line, and with `draw` its coverage; false when no face could be loaded.
bool LayOutLine(const TZevFontDesc& desc, const char* utf8, std::size_t length, bool draw, TZevTextCoverage* out)
{
    FontState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!EnsureLibrary(s))
        return false;
    FaceChain& chain = ChainFor(s, desc);
    FT_Face primary = PrimaryFace(s, chain);
    if (!primary)
        return false;
    const int pixelHeight = std::clamp(desc.pixelHeight, 1, 512);
    GlyphSet& set = s.glyphSets[{ChainName(desc), pixelHeight}];
    if (set.height == 0) {
        const LineMetrics m = Metrics(primary, pixelHeight);
        set.ascent = m.ascent;
        set.height = m.height;
    }
    const int width = WalkGlyphs(s, chain, primary, set, pixelHeight, utf8, length, [](const Glyph&, int) {});
    out->width = width;
    out->height = set.height;
    out->ascent = set.ascent;
    if (!draw)
        return true;
    out->alpha.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(set.height), 0);
    WalkGlyphs(s, chain, primary, set, pixelHeight, utf8, length, [&](const Glyph& g, int left) {
        for (int row = 0; row < g.rows; ++row) {
            const int y = set.ascent - g.top + row;
            if (y < 0 || y >= set.height)
                continue;
            const std::uint8_t* src = g.coverage.data() + static_cast<std::ptrdiff_t>(row) * g.width;
            for (int col = 0; col < g.width; ++col) {
                const int x = left + col;
                if (x < 0 || x >= width)
                    continue;
                std::uint8_t& a = out->alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                             static_cast<std::size_t>(x)];
                a = std::max(a, src[col]);
            }
        }
    });
    return true;
}

} // namespace

bool ZevRenderText(const TZevFontDesc& desc, const char* utf8, std::size_t length, TZevTextCoverage* out)
{
    return LayOutLine(desc, utf8, length, true, out);
}

bool ZevMeasureText(const TZevFontDesc& desc, const char* utf8, std::size_t length, std::int32_t* width,
                    std::int32_t* height)
{
    TZevTextCoverage line;
    const bool ok = LayOutLine(desc, utf8, length, false, &line);
    *width = ok ? line.width : 0;
    *height = ok ? line.height : 0;
    return ok;
}

bool ZevDrawText32(const TZevFontDesc& desc, const char* utf8, std::size_t length, std::uint32_t* pixels,
                   std::int32_t width, std::int32_t height, std::int32_t pitchBytes, std::int32_t x, std::int32_t y,
                   std::uint32_t rgb, std::int32_t clipLeft, std::int32_t clipTop, std::int32_t clipRight,
                   std::int32_t clipBottom)
{
    TZevTextCoverage cover;
    if (!ZevRenderText(desc, utf8, length, &cover))
        return false;
    if (cover.width <= 0 || cover.height <= 0 || cover.alpha.empty())
        return true; // an empty text draws nothing
    const int left = std::max({0, clipLeft, x});
    const int top = std::max({0, clipTop, y});
    const int right = std::min({width, clipRight, x + cover.width});
    const int bottom = std::min({height, clipBottom, y + cover.height});
    for (int py = top; py < bottom; ++py) {
        auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(pixels) +
                                                     static_cast<std::ptrdiff_t>(py) * pitchBytes);
        const std::uint8_t* a = &cover.alpha[static_cast<std::size_t>(py - y) * static_cast<std::size_t>(cover.width)];
        for (int px = left; px < right; ++px) {
            const std::uint32_t k = a[px - x];
            if (k == 0)
                continue;
            row[px] = ZevBlendTextPixel(row[px], rgb, k);
        }
    }
    return true;
}

std::uint32_t ZevBlendTextPixel(std::uint32_t under, std::uint32_t rgb, std::uint32_t k)
{
    std::uint32_t out = under & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t text = (rgb >> shift) & 0xFF, below = (under >> shift) & 0xFF;
        out |= ((text * k + below * (255 - k)) / 255) << shift;
    }
    return out;
}

bool ZevFontHasGlyph(const TZevFontDesc& desc, std::uint32_t codePoint)
{
    FontState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!EnsureLibrary(s))
        return false;
    return FaceForChar(s, ChainFor(s, desc), codePoint) != nullptr;
}
