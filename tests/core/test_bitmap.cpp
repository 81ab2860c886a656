#include "ZevBitmap.h"
#include "ZevLSObj.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void InitObjects()
{
    ZevCoreInit();
    ZevLSObjInit();
    ZevBitmapInit();
}

void Put16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// A BMP file: headers, palette (4 bytes an entry), a gap, and rows padded to 4 bytes, in file order.
struct BmpLayout {
    std::int32_t width = 2, height = 2;
    std::uint16_t bitCount = 24;
    std::uint32_t coloursUsed = 0;
    std::size_t paletteEntries = 0;
    std::size_t gap = 0;
    std::function<std::uint8_t(std::int32_t row, std::int32_t byte)> pixel = [](std::int32_t r, std::int32_t i) {
        return static_cast<std::uint8_t>(r * 31 + i * 7);
    };
};

Bytes MakeBmp(const BmpLayout& s)
{
    const std::size_t rowSize = (std::size_t(s.width) * s.bitCount + 31) / 32 * 4;
    const std::size_t rows = s.height < 0 ? std::size_t(-s.height) : std::size_t(s.height);
    const std::size_t offset = 54 + 4 * s.paletteEntries + s.gap;
    Bytes b(offset + rowSize * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(s.width));
    Put32(b, 22, static_cast<std::uint32_t>(s.height));
    Put16(b, 26, 1);
    Put16(b, 28, s.bitCount);
    Put32(b, 46, s.coloursUsed);
    for (std::size_t e = 0; e < s.paletteEntries; ++e) {
        b[54 + 4 * e] = static_cast<std::uint8_t>(e);           // blue
        b[54 + 4 * e + 1] = static_cast<std::uint8_t>(255 - e); // green
        b[54 + 4 * e + 2] = static_cast<std::uint8_t>(e / 2);   // red
    }
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t i = 0; i < rowSize; ++i)
            b[offset + r * rowSize + i] = s.pixel(static_cast<std::int32_t>(r), static_cast<std::int32_t>(i));
    return b;
}

bool LoadBytes(TZevBitmap* bmp, const Bytes& b)
{
    TZevBufferStream s;
    s.SetData(b.data(), static_cast<std::int32_t>(b.size()));
    return bmp->ReadBmp(&s);
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::uint8_t* PixelAt(TZevBitmap* b, int x, int y)
{
    return b->GetBits() + y * b->GetPitch() + 4 * x;
}

} // namespace

TEST(Bitmap, LoadsTheSampleFiles)
{
    InitObjects();
    TZevBitmap bmp;
    ASSERT_TRUE(bmp.LoadBmp(QE_TESTDATA_DIR "/bmp/white.bmp"));
    EXPECT_EQ(bmp.GetWidth(), 1);
    EXPECT_EQ(bmp.GetHeight(), 1);
    EXPECT_EQ(bmp.GetBitCount(), 32);
    EXPECT_EQ(bmp.GetPitch(), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(PixelAt(&bmp, 0, 0), PixelAt(&bmp, 0, 0) + 4),
              (std::vector<std::uint8_t>{255, 255, 255, 255}));

    // The 8-bit file: every pixel is its palette entry's red, green, blue and 255, rows in file order.
    const std::string path = QE_TESTDATA_DIR "/bmp/faerie2.bmp";
    ASSERT_TRUE(bmp.LoadBmp(path.c_str()));
    ASSERT_EQ(bmp.GetWidth(), 220);
    ASSERT_EQ(bmp.GetHeight(), 193);
    const Bytes file = ReadFile(path);
    const std::uint32_t offset = Get32(file, 10);
    const std::size_t rowSize = (220 + 3) / 4 * 4;
    int mismatches = 0;
    for (int y = 0; y < 193; ++y) {
        for (int x = 0; x < 220; ++x) {
            const std::uint8_t* entry = &file[54 + 4 * file[offset + y * rowSize + x]];
            const std::uint8_t* p = PixelAt(&bmp, x, y);
            if (p[0] != entry[2] || p[1] != entry[1] || p[2] != entry[0] || p[3] != 255)
                ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Bitmap, ReadsRowsPaletteAndPixelOffset)
{
    InitObjects();
    // 2 x 2, 24 bits: the first stored row holds a blue and a red pixel; rows are 6 bytes padded to 8.
    BmpLayout s;
    const std::uint8_t rows[2][8] = {{255, 0, 0, 0, 0, 255, 0xEE, 0xEE}, {0, 255, 0, 9, 9, 9, 0xEE, 0xEE}};
    s.pixel = [&](std::int32_t r, std::int32_t i) { return rows[r][i]; };
    TZevBitmap bmp;
    ASSERT_TRUE(LoadBytes(&bmp, MakeBmp(s)));
    const std::uint8_t row0[8] = {0, 0, 255, 255, 255, 0, 0, 255};
    EXPECT_EQ(std::memcmp(bmp.GetBits(), row0, 8), 0);
    const std::uint8_t row1[8] = {0, 255, 0, 255, 9, 9, 9, 255};
    EXPECT_EQ(std::memcmp(bmp.GetBits() + 8, row1, 8), 0);
    EXPECT_EQ(bmp.GetRedMask(), 0xFF0000u);
    EXPECT_EQ(bmp.GetAlphaMask(), 0xFF000000u);

    // A top-down file gives the same bitmap; so does one whose pixels start after a gap.
    Bytes same(bmp.GetBits(), bmp.GetBits() + 16);
    BmpLayout t = s;
    t.height = -2;
    t.pixel = [&](std::int32_t r, std::int32_t i) { return rows[1 - r][i]; };
    ASSERT_TRUE(LoadBytes(&bmp, MakeBmp(t)));
    EXPECT_EQ(Bytes(bmp.GetBits(), bmp.GetBits() + 16), same);
    BmpLayout g = s;
    g.gap = 37;
    ASSERT_TRUE(LoadBytes(&bmp, MakeBmp(g)));
    EXPECT_EQ(Bytes(bmp.GetBits(), bmp.GetBits() + 16), same);

    // 8 bits, colours used 0: a full palette of 256 entries; 3 pixels a row padded to 4.
    BmpLayout p;
    p.width = 3;
    p.height = 2;
    p.bitCount = 8;
    p.paletteEntries = 256;
    p.pixel = [](std::int32_t r, std::int32_t i) { return static_cast<std::uint8_t>(i == 3 ? 0xFF : 100 * r + 10 * i); };
    ASSERT_TRUE(LoadBytes(&bmp, MakeBmp(p)));
    ASSERT_EQ(bmp.GetWidth(), 3);
    const std::uint8_t* px = PixelAt(&bmp, 2, 1); // index 120
    EXPECT_EQ(px[0], 60);
    EXPECT_EQ(px[1], 255 - 120);
    EXPECT_EQ(px[2], 120);
    EXPECT_EQ(px[3], 255);

    // A short palette: indices past it read as black.
    p.coloursUsed = 2;
    p.paletteEntries = 2;
    ASSERT_TRUE(LoadBytes(&bmp, MakeBmp(p)));
    EXPECT_EQ(PixelAt(&bmp, 2, 1)[0], 0);
    EXPECT_EQ(PixelAt(&bmp, 0, 0)[1], 255); // index 0
}

TEST(Bitmap, RefusesMalformedFiles)
{
    InitObjects();
    BmpLayout base;
    base.width = 5;
    base.height = 3;
    BmpLayout pal;
    pal.bitCount = 8;
    pal.paletteEntries = 256;
    struct Case {
        const char* what;
        BmpLayout layout;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"not BM", base, [](Bytes& b) { b[1] = 'A'; }},
        {"compressed", base, [](Bytes& b) { Put32(b, 30, 1); }},
        {"bit fields", base, [](Bytes& b) { Put32(b, 30, 3); }},
        {"4 bits", base, [](Bytes& b) { Put16(b, 28, 4); }},
        {"32 bits over 24-bit rows", base, [](Bytes& b) { Put16(b, 28, 32); }},
        {"0 bits", base, [](Bytes& b) { Put16(b, 28, 0); }},
        {"pixels cut short", base, [](Bytes& b) { b.pop_back(); }},
        {"header cut short", base, [](Bytes& b) { b.resize(40); }},
        {"empty file", base, [](Bytes& b) { b.clear(); }},
        {"width 0", base, [](Bytes& b) { Put32(b, 18, 0); }},
        {"negative width", base, [](Bytes& b) { Put32(b, 18, 0xFFFFFFFB); }},
        {"huge width", base, [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF); }},
        {"huge height", base, [](Bytes& b) { Put32(b, 22, 0x40000000); }},
        {"height 0", base, [](Bytes& b) { Put32(b, 22, 0); }},
        {"most negative height", base, [](Bytes& b) { Put32(b, 22, 0x80000000u); }},
        {"width past the data", base, [](Bytes& b) { Put32(b, 18, 6000); }},
        {"info header too small", base, [](Bytes& b) { Put32(b, 14, 12); }},
        {"info header past the file", base, [](Bytes& b) { Put32(b, 14, 0x7FFFFFFF); }},
        {"pixel offset past the file", base, [](Bytes& b) { Put32(b, 10, 0xFFFFFF00u); }},
        {"pixel offset inside the header", base, [](Bytes& b) { Put32(b, 10, 20); }},
        {"short palette", pal, [](Bytes& b) { Put32(b, 10, 54 + 4 * 100); }},
        {"palette cut short", pal, [](Bytes& b) { b.resize(54 + 500); }},
        {"more than 256 colours", pal, [](Bytes& b) { Put32(b, 46, 257); }},
    };
    for (const Case& c : cases) {
        Bytes b = MakeBmp(c.layout);
        ASSERT_TRUE(b.size() < 54 || [&] {
            TZevBitmap ok;
            return LoadBytes(&ok, b);
        }()) << c.what;
        c.damage(b);
        TZevBitmap bmp;
        EXPECT_FALSE(LoadBytes(&bmp, b)) << c.what;
        EXPECT_EQ(bmp.GetBits(), nullptr) << c.what;
        EXPECT_EQ(bmp.GetWidth(), 0) << c.what;
    }
    TZevBitmap missing;
    EXPECT_FALSE(missing.LoadBmp("no_such_file.bmp"));
}

namespace {

// A 32-bit BMP of the given pixel words (rows in file order) with a header of `infoSize` bytes; masks that the
// header has no room for follow it when the compression asks for them (3 for bit fields, 4 with alpha).
Bytes Make32(std::uint32_t infoSize, std::uint32_t compression, const std::uint32_t (&masks)[4], std::int32_t width,
             std::int32_t height, const std::vector<std::uint32_t>& pixels)
{
    const std::size_t after = infoSize >= 52 || compression == 0 ? 0 : compression == 6 ? 16 : 12;
    const std::size_t offset = 14 + infoSize + after;
    Bytes b(offset + 4 * pixels.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, infoSize);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, 32);
    Put32(b, 30, compression);
    const std::size_t inHeader = infoSize >= 56 ? 4 : infoSize >= 52 ? 3 : 0;
    for (std::size_t m = 0; m < inHeader; ++m)
        Put32(b, 54 + 4 * m, masks[m]);
    for (std::size_t m = 0; m < after / 4; ++m)
        Put32(b, 54 + 4 * m, masks[m]);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        Put32(b, offset + 4 * i, pixels[i]);
    return b;
}

} // namespace

TEST(Bitmap, Reads32BitPixelsByTheirMasks)
{
    InitObjects();
    using Rgba = std::vector<std::uint8_t>;
    struct Case {
        const char* what;
        std::uint32_t infoSize, compression;
        std::uint32_t masks[4];
        std::uint32_t pixel;
        Rgba expected; // red, green, blue, alpha
    } cases[] = {
        // Plain: blue, green, red and an unused byte.
        {"plain", 40, 0, {}, 0x80102030u, {0x10, 0x20, 0x30, 255}},
        {"plain, fifth header", 124, 0, {0xFFu, 0xFF00u, 0xFF0000u, 0xFF000000u}, 0x80102030u, {0x10, 0x20, 0x30, 255}},
        {"fields after the header", 40, 3, {0xFFu, 0xFF00u, 0xFF0000u, 0}, 0x80102030u, {0x30, 0x20, 0x10, 255}},
        {"fields with alpha after it", 40, 6, {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}, 0x80102030u,
         {0x10, 0x20, 0x30, 0x80}},
        {"fields in a third header", 56, 3, {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}, 0x7F102030u,
         {0x10, 0x20, 0x30, 0x7F}},
        {"fourth header with alpha", 108, 3, {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}, 0x01FF0080u,
         {0xFF, 0x00, 0x80, 0x01}},
        {"fifth header without alpha", 124, 3, {0xFF000000u, 0xFF0000u, 0xFF00u, 0}, 0x11223344u,
         {0x11, 0x22, 0x33, 255}},
        // Ten bits a colour and two of alpha: the top eight bits of wide channels, narrow ones stretched.
        {"2-10-10-10", 124, 3, {0x3FF00000u, 0xFFC00u, 0x3FFu, 0xC0000000u}, (2u << 30) | (0x3FFu << 20) | 4u,
         {0xFF, 0x00, 0x01, 0xAA}},
    };
    for (const Case& c : cases) {
        // 2 x 2, bottom-up; the pixel under test is the first of the file: row 0, column 0.
        const Bytes b = Make32(c.infoSize, c.compression, c.masks, 2, 2, {c.pixel, 0, 0, 0});
        TZevBitmap bmp;
        ASSERT_TRUE(LoadBytes(&bmp, b)) << c.what;
        EXPECT_EQ(bmp.GetBitCount(), 32) << c.what;
        EXPECT_EQ(Rgba(PixelAt(&bmp, 0, 0), PixelAt(&bmp, 0, 0) + 4), c.expected) << c.what;
    }
    // Top-down: the file's first row is the picture's top, the bitmap's last row.
    const std::uint32_t argb[4] = {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u};
    TZevBitmap top;
    ASSERT_TRUE(LoadBytes(&top, Make32(108, 3, argb, 1, -2, {0x40FF0000u, 0x800000FFu})));
    EXPECT_EQ(Rgba(PixelAt(&top, 0, 1), PixelAt(&top, 0, 1) + 4), (Rgba{255, 0, 0, 0x40}));
    EXPECT_EQ(Rgba(PixelAt(&top, 0, 0), PixelAt(&top, 0, 0) + 4), (Rgba{0, 0, 255, 0x80}));

    struct Refused {
        const char* what;
        Bytes bytes;
    } refused[] = {
        {"a mask of two runs", Make32(108, 3, {0xF00F0000u, 0xFF00u, 0xFFu, 0}, 1, 1, {0})},
        {"no colour mask", Make32(108, 3, {0, 0, 0, 0xFF000000u}, 1, 1, {0})},
        {"masks past the file", [&] {
             Bytes b = Make32(40, 3, argb, 1, 1, {0});
             b.resize(60);
             return b;
         }()},
        {"bit fields over 24 bits", [&] {
             Bytes b = Make32(40, 3, argb, 1, 1, {0});
             Put16(b, 28, 24);
             return b;
         }()},
    };
    for (const Refused& r : refused) {
        TZevBitmap bmp;
        EXPECT_FALSE(LoadBytes(&bmp, r.bytes)) << r.what;
        EXPECT_EQ(bmp.GetBits(), nullptr) << r.what;
    }
}

TEST(Bitmap, CreatesByDepth)
{
    TZevBitmap b;
    ASSERT_TRUE(b.CreateByDepth(4, 3, 32));
    EXPECT_EQ(b.GetPitch(), 16);
    EXPECT_EQ(b.GetRedMask(), 0xFF0000u);
    EXPECT_EQ(b.GetGreenMask(), 0xFF00u);
    EXPECT_EQ(b.GetBlueMask(), 0xFFu);
    EXPECT_EQ(b.GetAlphaMask(), 0xFF000000u);
    ASSERT_TRUE(b.CreateByDepth(4, 3, 16));
    EXPECT_EQ(b.GetPitch(), 8);
    EXPECT_EQ(b.GetRedMask(), 0xF00u);
    EXPECT_EQ(b.GetGreenMask(), 0xF0u);
    EXPECT_EQ(b.GetBlueMask(), 0xFu);
    EXPECT_EQ(b.GetAlphaMask(), 0xF000u);
    EXPECT_FALSE(b.CreateByDepth(4, 3, 24));
    EXPECT_EQ(b.GetBitCount(), 16);
    EXPECT_FALSE(b.Create(-1, 3, 32, 0, 0, 0, 0));
    EXPECT_FALSE(b.Create(TZevBitmap::MaxSide + 1, 1, 32, 0, 0, 0, 0));
    EXPECT_FALSE(b.Create(40000, 40000, 32, 0, 0, 0, 0)); // more than a stream can hold in one piece
    EXPECT_EQ(b.GetBits(), nullptr);
}

TEST(Bitmap, SavesPixelsInTheTBMPChunk)
{
    InitObjects();
    TZevBitmap* b = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    ASSERT_TRUE(b->CreateByDepth(16, 16, 32));
    for (int i = 0; i < 1024; ++i)
        b->GetBits()[i] = static_cast<std::uint8_t>(i * 13);
    b->SetName("tex");
    TZevMemStream s;
    ASSERT_TRUE(b->Save(&s));
    // After the name: the chunk header at 14, its data of 28 + 1,024 bytes.
    s.Seek(14 + 4);
    std::int32_t end = 0;
    ReadInt32(&s, &end);
    EXPECT_EQ(end, 14 + 13 + 28 + 1024);

    s.Seek(0);
    TZevBitmap* back = dynamic_cast<TZevBitmap*>(ReadObject(&s));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetWidth(), 16);
    EXPECT_EQ(back->GetHeight(), 16);
    EXPECT_EQ(back->GetBitCount(), 32);
    EXPECT_EQ(back->GetAlphaMask(), 0xFF000000u);
    EXPECT_STREQ(back->GetName(), "tex");
    EXPECT_EQ(std::memcmp(back->GetBits(), b->GetBits(), 1024), 0);
    delete back;

    // An empty bitmap saves and loads as empty.
    TZevBitmap* empty = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    TZevLSObj* copy = empty->Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(static_cast<TZevBitmap*>(copy)->GetBits(), nullptr);
    EXPECT_EQ(static_cast<TZevBitmap*>(copy)->GetBitCount(), 0); // as it was: its copy saves the same bytes
    delete copy;
    delete empty;
    delete b;
}

// Pixel blocks are kept for the next bitmaps of a thread: bitmaps of growing and shrinking sizes, each made while
// the one before it still lives and freed on this thread or another, each keep every byte of their own.
TEST(Bitmap, EveryBitmapHasABlockOfItsOwn)
{
    InitObjects();
    const int sides[][2] = {{256, 256}, {200, 200}, {300, 300}, {64, 64}, {256, 256}, {129, 257}, {1024, 600}, {90, 90}};
    auto fill = [](TZevBitmap* b, int seed) {
        std::memset(b->GetBits(), seed, std::size_t(b->GetPitch()) * std::size_t(b->GetHeight()));
    };
    auto whole = [](TZevBitmap* b, int seed) {
        const std::uint8_t* p = b->GetBits();
        const std::size_t n = std::size_t(b->GetPitch()) * std::size_t(b->GetHeight());
        for (std::size_t i = 0; i < n; ++i) {
            if (p[i] != std::uint8_t(seed))
                return false;
        }
        return true;
    };
    for (bool otherThread : {false, true}) {
        TZevBitmap* before = nullptr;
        int seed = 1;
        for (const auto& side : sides) {
            auto* b = new TZevBitmap();
            ASSERT_TRUE(b->CreateByDepth(side[0], side[1], 32));
            fill(b, seed + 1);
            if (before) {
                EXPECT_TRUE(whole(before, seed)) << side[0] << " x " << side[1];
                if (otherThread)
                    std::thread([before] { delete before; }).join();
                else
                    delete before;
            }
            // Made again in place: the old block goes, a new one comes.
            ASSERT_TRUE(b->CreateByDepth(side[1], side[0], 32));
            seed += 2;
            fill(b, seed);
            before = b;
        }
        EXPECT_TRUE(whole(before, seed));
        delete before;
    }
}

TEST(Bitmap, BlitConvertsAndClips)
{
    // 32 bits to 16 bits: each channel keeps its top four bits.
    TZevBitmap src, dst;
    ASSERT_TRUE(src.CreateByDepth(10, 2, 32));
    ASSERT_TRUE(dst.CreateByDepth(10, 2, 16));
    for (int x = 0; x < 10; ++x) {
        for (int y = 0; y < 2; ++y) {
            const std::uint32_t v = 0xA1B2C3D4u + x;
            std::memcpy(src.GetBits() + y * src.GetPitch() + 4 * x, &v, 4);
        }
    }
    std::memset(dst.GetBits(), 0, 40);
    dst.Blit(0, 0, &src, 0, 0, 10, 2);
    std::uint16_t p = 0;
    std::memcpy(&p, dst.GetBits(), 2);
    EXPECT_EQ(p, 0xABCDu); // alpha A, red B, green C, blue D

    // Drawn at x = -3, a 10-wide rectangle puts its 7 rightmost columns at 0..6.
    TZevBitmap wide;
    ASSERT_TRUE(wide.CreateByDepth(10, 1, 32));
    std::memset(wide.GetBits(), 0, 40);
    wide.Blit(-3, 0, &src, 0, 0, 10, 1);
    std::uint32_t w[10];
    std::memcpy(w, wide.GetBits(), 40);
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(w[x], 0xA1B2C3D4u + 3 + x) << x;
    for (int x = 7; x < 10; ++x)
        EXPECT_EQ(w[x], 0u) << x;

    // Rectangles past either bitmap are cut; bits outside the target's masks keep their values.
    TZevBitmap opaque;
    ASSERT_TRUE(opaque.Create(2, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0));
    const std::uint32_t keep[2] = {0x55000000u, 0x66000000u};
    std::memcpy(opaque.GetBits(), keep, 8);
    opaque.Blit(1, 0, &src, 8, 0, 500, 500);
    std::uint32_t o[2];
    std::memcpy(o, opaque.GetBits(), 8);
    EXPECT_EQ(o[0], 0x55000000u);
    EXPECT_EQ(o[1], 0x66000000u | ((0xA1B2C3D4u + 8) & 0xFFFFFFu));
    opaque.Blit(INT_MIN, INT_MAX, &src, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    opaque.Blit(0, 0, nullptr, 0, 0, 1, 1);
}
