// Memory bitmaps, pixel-format conversion, the "TBMP" chunk and the BMP reader.
#include "ZevBitmap.h"

#include "ZevBitmapFilter.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

TZevClassRecord TZevVBitmapClassRecord;
TZevClassRecord TZevBitmapClassRecord;

TZevLSObj* CreateTZevVBitmap()
{
    return ZevCreateRegistered<TZevVBitmap>(&TZevVBitmapClassRecord);
}

TZevLSObj* CreateTZevBitmap()
{
    return ZevCreateRegistered<TZevBitmap>(&TZevBitmapClassRecord);
}

int LeadingZeroCount(std::uint32_t mask)
{
    return mask ? __builtin_clz(mask) : 32;
}

// ---- TZevVBitmap -----------------------------------------------------------------------------------------------

void TZevVBitmap::SetPixel(std::int32_t, std::int32_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) {}
std::uint8_t TZevVBitmap::GetRed(std::int32_t, std::int32_t)
{
    return 0;
}
std::uint8_t TZevVBitmap::GetGreen(std::int32_t, std::int32_t)
{
    return 0;
}
std::uint8_t TZevVBitmap::GetBlue(std::int32_t, std::int32_t)
{
    return 0;
}
std::uint8_t TZevVBitmap::GetAlpha(std::int32_t, std::int32_t)
{
    return 0;
}

// ---- TZevBitmapAccess ------------------------------------------------------------------------------------------

TZevBitmapAccess::TZevBitmapAccess(TZevVBitmap* b) : bitmap(b)
{
    bits = b->GetBits();
    bytesPerPixel = b->GetBitCount() / 8;
    pitch = b->GetPitch();
    width = b->GetWidth();
    height = b->GetHeight();
    row = pixel = bits;
    redMask = b->GetRedMask();
    greenMask = b->GetGreenMask();
    blueMask = b->GetBlueMask();
    alphaMask = b->GetAlphaMask();
    redShift = LeadingZeroCount(redMask);
    greenShift = LeadingZeroCount(greenMask);
    blueShift = LeadingZeroCount(blueMask);
    alphaShift = LeadingZeroCount(alphaMask);
    allMask = redMask | greenMask | blueMask | alphaMask;
    otherMask = ~allMask;
}

TZevBitmapAccess::~TZevBitmapAccess()
{
    bitmap->ReleaseBits();
}

std::uint32_t TZevBitmapAccess::ReadPixel(std::int32_t x, std::int32_t y) const
{
    const std::uint8_t* p = bits + std::ptrdiff_t(y) * pitch + std::ptrdiff_t(x) * bytesPerPixel;
    std::uint32_t v = 0;
    for (int i = 0; i < bytesPerPixel; ++i)
        v |= std::uint32_t(p[i]) << (8 * i);
    return v;
}

void TZevBitmapAccess::WritePixel(std::int32_t x, std::int32_t y, std::uint32_t value) const
{
    std::uint8_t* p = bits + std::ptrdiff_t(y) * pitch + std::ptrdiff_t(x) * bytesPerPixel;
    for (int i = 0; i < bytesPerPixel; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

namespace {
// A channel of 8 bits placed under a mask: its top bits survive.
std::uint32_t PlaceChannel(std::uint8_t c, std::uint32_t mask, int shift)
{
    return mask ? ((std::uint32_t(c) << 24) >> shift) & mask : 0;
}

// One channel of a pixel value carried from one layout to another (top bits kept).
std::uint32_t ConvertChannel(std::uint32_t p, std::uint32_t sourceMask, int sourceShift, std::uint32_t destMask,
                             int destShift)
{
    if (!sourceMask || !destMask)
        return 0;
    return (((p & sourceMask) << sourceShift) >> destShift) & destMask;
}
} // namespace

std::uint32_t TZevBitmapAccess::MakePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) const
{
    return PlaceChannel(r, redMask, redShift) | PlaceChannel(g, greenMask, greenShift) |
           PlaceChannel(b, blueMask, blueShift) | PlaceChannel(a, alphaMask, alphaShift);
}

void TZevVBitmap::Blit(std::int32_t x, std::int32_t y, TZevVBitmap* source, std::int32_t left, std::int32_t top,
                       std::int32_t right, std::int32_t bottom)
{
    if (!source)
        return;
    TZevBitmapAccess d(this);
    TZevBitmapAccess s(source);
    if (!d.bits || !s.bits || d.bytesPerPixel < 1 || d.bytesPerPixel > 4 || s.bytesPerPixel < 1 ||
        s.bytesPerPixel > 4)
        return;
    // 64-bit arithmetic: the clipping must not overflow whatever the caller passes.
    std::int64_t dx = x, dy = y, l = left, t = top, r = right, b = bottom;
    if (l < 0) {
        dx -= l;
        l = 0;
    }
    if (t < 0) {
        dy -= t;
        t = 0;
    }
    if (dx < 0) {
        l -= dx;
        dx = 0;
    }
    if (dy < 0) {
        t -= dy;
        dy = 0;
    }
    r = std::min<std::int64_t>({r, s.width, l + (d.width - dx)});
    b = std::min<std::int64_t>({b, s.height, t + (d.height - dy)});
    if (r <= l || b <= t)
        return;
    for (std::int64_t row = 0; row < b - t; ++row) {
        const std::int32_t sy = static_cast<std::int32_t>(t + row);
        const std::int32_t ty = static_cast<std::int32_t>(dy + row);
        for (std::int64_t col = 0; col < r - l; ++col) {
            const std::uint32_t p = s.ReadPixel(static_cast<std::int32_t>(l + col), sy);
            const std::uint32_t v = ConvertChannel(p, s.redMask, s.redShift, d.redMask, d.redShift) |
                                    ConvertChannel(p, s.greenMask, s.greenShift, d.greenMask, d.greenShift) |
                                    ConvertChannel(p, s.blueMask, s.blueShift, d.blueMask, d.blueShift) |
                                    ConvertChannel(p, s.alphaMask, s.alphaShift, d.alphaMask, d.alphaShift);
            const std::int32_t tx = static_cast<std::int32_t>(dx + col);
            const std::uint32_t old = d.ReadPixel(tx, ty);
            d.WritePixel(tx, ty, (v & d.allMask) | (old & d.otherMask));
        }
    }
}

// ---- TZevBitmap ------------------------------------------------------------------------------------------------

TZevBitmap::TZevBitmap()
    : bits(nullptr), width(0), height(0), bitCount(0), pitch(0), reserved2(0), redMask(0), greenMask(0),
      blueMask(0), alphaMask(0)
{
}

TZevBitmap::~TZevBitmap()
{
    FreeBits();
}

namespace {

// Pixel blocks freed lately, kept by each thread for its next bitmaps: a block larger than the heap's mapping
// threshold would otherwise come back as fresh pages, each faulted in on first touch, at every load of a texture
// or height map. Small blocks go straight back to the heap, which reuses them well.
struct TSpareBlocks {
    static constexpr int Count = 4;
    static constexpr std::size_t MinBytes = 16 * 1024;
    static constexpr std::size_t MaxBytes = 16 * 1024 * 1024;
    void* block[Count] = {};
    std::size_t bytes[Count] = {};
    ~TSpareBlocks();
};
thread_local TSpareBlocks tSpare;
// Set once the thread's spare blocks are gone (bitmaps destroyed later free their blocks directly).
thread_local bool tSpareGone = false;

TSpareBlocks::~TSpareBlocks()
{
    tSpareGone = true;
    for (int i = 0; i < Count; ++i) {
        std::free(block[i]);
        block[i] = nullptr;
    }
}

// A block of at least `need` bytes (and not much more); its size in `got`.
void* TakePixelBlock(std::size_t need, std::size_t* got)
{
    if (need >= TSpareBlocks::MinBytes && !tSpareGone) {
        TSpareBlocks& spare = tSpare;
        for (int i = 0; i < TSpareBlocks::Count; ++i) {
            if (spare.block[i] && spare.bytes[i] >= need && spare.bytes[i] / 2 <= need) {
                void* p = spare.block[i];
                *got = spare.bytes[i];
                spare.block[i] = nullptr;
                return p;
            }
        }
    }
    *got = need;
    return std::malloc(need);
}

void GivePixelBlock(void* p, std::size_t bytes)
{
    if (!p)
        return;
    if (bytes < TSpareBlocks::MinBytes || bytes > TSpareBlocks::MaxBytes || tSpareGone) {
        std::free(p);
        return;
    }
    TSpareBlocks& spare = tSpare;
    // An empty place, or else the smallest block makes room.
    int at = 0;
    for (int i = 0; i < TSpareBlocks::Count; ++i) {
        if (!spare.block[i]) {
            at = i;
            break;
        }
        if (spare.bytes[i] < spare.bytes[at])
            at = i;
    }
    std::free(spare.block[at]);
    spare.block[at] = p;
    spare.bytes[at] = bytes;
}

} // namespace

void TZevBitmap::FreeBits()
{
    GivePixelBlock(bits, blockBytes);
    bits = nullptr;
    blockBytes = 0;
}

bool TZevBitmap::Create(std::int32_t w, std::int32_t h, std::int32_t count, std::uint32_t red, std::uint32_t green,
                        std::uint32_t blue, std::uint32_t alpha)
{
    FreeBits();
    width = height = bitCount = pitch = 0;
    redMask = greenMask = blueMask = alphaMask = 0;
    if (w < 0 || h < 0 || w > MaxSide || h > MaxSide || (count != 8 && count != 16 && count != 24 && count != 32))
        return false;
    const std::int64_t rowBytes = std::int64_t(w) * count / 8;
    const std::int64_t bytes = rowBytes * h;
    // The block is written to streams in one piece, whose sizes are 32-bit.
    if (bytes > INT32_MAX)
        return false;
    if (bytes > 0) {
        bits = static_cast<std::uint8_t*>(TakePixelBlock(static_cast<std::size_t>(bytes), &blockBytes));
        if (!bits) {
            blockBytes = 0;
            return false;
        }
    }
    width = w;
    height = h;
    bitCount = count;
    pitch = static_cast<std::int32_t>(rowBytes);
    redMask = red;
    greenMask = green;
    blueMask = blue;
    alphaMask = alpha;
    return true;
}

bool TZevBitmap::CreateByDepth(std::int32_t w, std::int32_t h, std::int32_t count)
{
    if (count != 16 && count != 32)
        return false;
    const int k = count / 4;
    const std::uint32_t m = (1u << k) - 1u;
    return Create(w, h, count, m << (2 * k), m << k, m, m << (3 * k));
}

bool TZevBitmap::SaveChunks(TZevStream* stream, TZevChunkHeader* header)
{
    if (!TZevVBitmap::SaveChunks(stream, header))
        return false;
    const bool empty = !bits;
    return BeginChunk(stream, header, "TBMP") && WriteInt32(stream, empty ? 0 : width) &&
           WriteInt32(stream, empty ? 0 : height) && WriteInt32(stream, bitCount) && WriteUInt32(stream, redMask) &&
           WriteUInt32(stream, greenMask) && WriteUInt32(stream, blueMask) && WriteUInt32(stream, alphaMask) &&
           (empty || stream->Write(bits, pitch * height) == 1) && EndChunk(stream, header);
}

bool ReadBitmapChunk(TZevStream* stream, TZevLSObj* object)
{
    TZevBitmap* bitmap = dynamic_cast<TZevBitmap*>(object);
    if (!bitmap)
        return false;
    std::int32_t w = 0, h = 0, count = 0;
    std::uint32_t masks[4] = {};
    if (!ReadInt32(stream, &w) || !ReadInt32(stream, &h) || !ReadInt32(stream, &count))
        return false;
    for (std::uint32_t& m : masks) {
        if (!ReadUInt32(stream, &m))
            return false;
    }
    // A bitmap that was never made saves zeros: it reads back as it was, empty and of no bit count.
    if (w == 0 && h == 0 && count == 0) {
        bitmap->Create(0, 0, 0, 0, 0, 0, 0);
        return true;
    }
    if (w < 0 || h < 0 || w > TZevBitmap::MaxSide || h > TZevBitmap::MaxSide)
        return false;
    // Nothing is allocated that the stream cannot fill.
    if (std::int64_t(w) * count / 8 * h > StreamBytesLeft(stream))
        return false;
    if (!bitmap->Create(w, h, count, masks[0], masks[1], masks[2], masks[3]))
        return false;
    const std::int32_t bytes = bitmap->GetPitch() * bitmap->GetHeight();
    if (bytes > 0 && stream->Read(bitmap->GetBits(), bytes) != 1) {
        bitmap->FreeBits();
        return false;
    }
    return true;
}

// ---- BMP files -------------------------------------------------------------------------------------------------

namespace {

std::uint16_t Get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// Compression kinds of the information header.
constexpr std::uint32_t BmpRgb = 0, BmpBitFields = 3, BmpAlphaBitFields = 6;

// One channel of a 32-bit pixel by its mask, scaled to 8 bits.
struct BmpChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    // False for a mask whose bits are not one run.
    bool Set(std::uint32_t mask)
    {
        Mask = mask;
        Shift = 0;
        Bits = 0;
        if (mask == 0)
            return true;
        while (!(mask & 1u)) {
            mask >>= 1;
            ++Shift;
        }
        while (mask & 1u) {
            mask >>= 1;
            ++Bits;
        }
        return mask == 0;
    }
    std::uint8_t Of(std::uint32_t pixel, std::uint8_t absent) const
    {
        if (Bits == 0)
            return absent;
        const std::uint32_t v = (pixel & Mask) >> Shift;
        if (Bits >= 8)
            return static_cast<std::uint8_t>(v >> (Bits - 8));
        const std::uint32_t top = (1u << Bits) - 1u;
        return static_cast<std::uint8_t>((v * 255u + top / 2) / top);
    }
};

} // namespace

bool TZevBitmap::ReadBmp(TZevStream* stream)
{
    FreeBits();
    Create(0, 0, 32, 0, 0, 0, 0);
    const std::int64_t base = stream->Tell();
    const std::int64_t total = StreamBytesLeft(stream);

    // File header (14 bytes) and the fixed part of the information header (40 bytes).
    std::uint8_t h[54];
    if (total < 54 || stream->Read(h, 54) != 1)
        return false;
    if (h[0] != 'B' || h[1] != 'M')
        return false;
    const std::int64_t pixelOffset = Get32(h + 10);
    const std::int64_t infoSize = Get32(h + 14);
    const std::int32_t w = static_cast<std::int32_t>(Get32(h + 18));
    const std::int32_t hRaw = static_cast<std::int32_t>(Get32(h + 22));
    const std::uint16_t count = Get16(h + 28);
    const std::uint32_t compression = Get32(h + 30);
    const std::uint32_t coloursUsed = Get32(h + 46);

    if (infoSize < 40 || 14 + infoSize > total)
        return false;
    const bool masked = count == 32 && (compression == BmpBitFields || compression == BmpAlphaBitFields);
    if (!masked && (compression != BmpRgb || (count != 8 && count != 24 && count != 32)))
        return false;
    // A negative height marks rows stored top first.
    if (w <= 0 || w > MaxSide || hRaw == 0 || hRaw == INT32_MIN || hRaw > MaxSide || hRaw < -MaxSide)
        return false;
    const bool topDown = hRaw < 0;
    const std::int32_t rows = topDown ? -hRaw : hRaw;
    const std::int64_t rowSize = (std::int64_t(w) * count + 31) / 32 * 4;

    std::int64_t paletteCount = 0;
    if (count == 8) {
        paletteCount = coloursUsed ? coloursUsed : 256;
        if (paletteCount > 256)
            return false;
    }
    // 32-bit pixels: plain ones are blue, green, red and an unused byte; bit fields give the masks, inside a
    // longer header (alpha from 56 bytes on) or in the 12 (16 with alpha) bytes after the short one.
    BmpChannel channel[4]; // red, green, blue, alpha
    std::int64_t maskBytes = 0;
    if (count == 32) {
        std::uint32_t masks[4] = {0xFF0000u, 0xFF00u, 0xFFu, 0u};
        if (masked) {
            std::uint8_t m[16] = {};
            const int inHeader = infoSize >= 56 ? 16 : infoSize >= 52 ? 12 : 0;
            const int read = inHeader ? inHeader : compression == BmpAlphaBitFields ? 16 : 12;
            maskBytes = inHeader ? 0 : read;
            if (54 + read > total || stream->Seek(static_cast<std::int32_t>(base + 54)) != 1 ||
                stream->Read(m, read) != 1)
                return false;
            for (int c = 0; c < 4; ++c)
                masks[c] = c * 4 < read ? Get32(m + 4 * c) : 0u;
            if ((masks[0] | masks[1] | masks[2]) == 0)
                return false;
        }
        for (int c = 0; c < 4; ++c) {
            if (!channel[c].Set(masks[c]))
                return false;
        }
    }
    const std::int64_t paletteStart = 14 + infoSize + maskBytes;
    const std::int64_t paletteEnd = paletteStart + 4 * paletteCount;
    // The pixel data lies after the palette and ends within the file; checked before anything is allocated.
    if (pixelOffset < paletteEnd || pixelOffset + rowSize * rows > total)
        return false;

    std::uint8_t palette[256][4] = {};
    if (paletteCount > 0) {
        if (stream->Seek(static_cast<std::int32_t>(base + paletteStart)) != 1 ||
            stream->Read(palette, static_cast<std::int32_t>(4 * paletteCount)) != 1)
            return false;
    }

    if (stream->Seek(static_cast<std::int32_t>(base + pixelOffset)) != 1 || !CreateByDepth(w, rows, 32))
        return false;
    // The colours as the words of the bitmap: red, green, blue and 255 in memory order.
    std::uint32_t colours[256] = {};
    for (int i = 0; i < 256; ++i)
        colours[i] = std::uint32_t(palette[i][2]) | (std::uint32_t(palette[i][1]) << 8) |
                     (std::uint32_t(palette[i][0]) << 16) | 0xFF000000u;
    // Row by row through one row's buffer: the file's rows are converted where they are read.
    std::uint8_t small[4096];
    std::uint8_t* row = rowSize <= std::int64_t(sizeof small) ? small
                                                              : static_cast<std::uint8_t*>(std::malloc(std::size_t(rowSize)));
    bool ok = row != nullptr;
    // Row 0 is the bottom row of the picture, as the rows of a bottom-up file come.
    for (std::int32_t r = 0; ok && r < rows; ++r) {
        if (stream->Read(row, static_cast<std::int32_t>(rowSize)) != 1) {
            ok = false;
            break;
        }
        std::uint8_t* dst = bits + std::size_t(topDown ? rows - 1 - r : r) * static_cast<std::size_t>(pitch);
        if (count == 8) {
            // An index past a short palette reads as black (entries beyond it stay zero).
            for (std::int32_t i = 0; i < w; ++i)
                std::memcpy(dst + 4 * i, &colours[row[i]], 4);
        } else if (count == 24) {
            for (std::int32_t i = 0; i < w; ++i) {
                const std::uint8_t* bgr = row + 3 * i;
                const std::uint32_t p =
                    std::uint32_t(bgr[2]) | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[0]) << 16) | 0xFF000000u;
                std::memcpy(dst + 4 * i, &p, 4);
            }
        } else {
            for (std::int32_t i = 0; i < w; ++i, dst += 4) {
                const std::uint32_t p = Get32(row + 4 * i);
                dst[0] = channel[0].Of(p, 0);
                dst[1] = channel[1].Of(p, 0);
                dst[2] = channel[2].Of(p, 0);
                dst[3] = channel[3].Of(p, 255);
            }
        }
    }
    if (row != small)
        std::free(row);
    if (!ok)
        Create(0, 0, 32, 0, 0, 0, 0); // empty again, as before the read
    return ok;
}

bool TZevBitmap::LoadBmp(const char* fileName)
{
    FreeBits();
    TZevFile file;
    if (!fileName || !file.Open(fileName, "rb"))
        return false;
    return ReadBmp(&file);
}

// ---- Affine drawing -------------------------------------------------------------------------------------------

namespace {

// Truncation toward zero; false for positions no bitmap holds (out of the int range, or not a number).
bool TruncateToPixel(float v, std::int32_t* out)
{
    if (!(v > -2147483648.0f && v < 2147483648.0f))
        return false;
    *out = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

void TZevBitmap::DrawAffine(const TZevIntRect& rectangle, TZevVBitmap* source, const float* matrix)
{
    if (!source || !matrix || rectangle.right < 0 || rectangle.bottom < 0)
        return;
    const std::int32_t left = std::max(rectangle.left, 0);
    const std::int32_t top = std::max(rectangle.top, 0);
    if (left >= width || top >= height || bitCount != 32 || source->GetBitCount() != 32 || !bits)
        return;
    const std::uint8_t* from = source->GetBits();
    const std::int32_t sw = source->GetWidth(), sh = source->GetHeight(), sp = source->GetPitch();
    if (!from || sw <= 0 || sh <= 0 || sp < sw * 4) {
        source->ReleaseBits();
        return;
    }
    // The loop never leaves this bitmap, whatever rectangle it is given.
    const std::int32_t right = std::min(rectangle.right, width);
    const std::int32_t bottom = std::min(rectangle.bottom, height);
    float inverse[9];
    AffineInverse3x3(inverse, matrix);
    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            std::int32_t sx, sy;
            if (!TruncateToPixel(fx * inverse[0] + fy * inverse[3] + inverse[6], &sx) ||
                !TruncateToPixel(fx * inverse[1] + fy * inverse[4] + inverse[7], &sy))
                continue;
            if (sx < 0 || sy < 0 || sx >= sw || sy >= sh)
                continue;
            std::memcpy(bits + std::size_t(y) * std::size_t(pitch) + std::size_t(x) * 4,
                from + std::size_t(sy) * std::size_t(sp) + std::size_t(sx) * 4, 4);
        }
    }
    source->ReleaseBits();
}

// ---- Start-up --------------------------------------------------------------------------------------------------

void ZevBitmapInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevLogInited("ZevBitmap.cpp");
        RegisterClassRecord(&TZevVBitmapClassRecord, "TZevVBitmap", "TZevStringTree", CreateTZevVBitmap);
        RegisterClassRecord(&TZevBitmapClassRecord, "TZevBitmap", "TZevVBitmap", CreateTZevBitmap);
        RegisterChunkReader("TBMP", ReadBitmapChunk);
        ZevBitmapFilterInit();
    });
}
