// Pixel images in memory: the abstract bitmap, the memory bitmap with its channel masks, conversion between pixel
// formats, the "TBMP" chunk of the object stream, and the BMP file reader.
#pragma once

#include "ZevTree.h"

#include <cstddef>
#include <cstdint>

// Abstract bitmap: a named tree node whose pixel operations answer nothing.
class TZevVBitmap : public TZevStringTree {
public:
    virtual std::uint8_t* GetBits() { return nullptr; }
    virtual void ReleaseBits() {}
    virtual std::int32_t GetWidth() { return 0; }
    virtual std::int32_t GetHeight() { return 0; }
    virtual std::int32_t GetBitCount() { return 0; }
    virtual std::int32_t GetPitch() { return 0; }
    virtual std::uint32_t GetRedMask() { return 0; }
    virtual std::uint32_t GetGreenMask() { return 0; }
    virtual std::uint32_t GetBlueMask() { return 0; }
    virtual std::uint32_t GetAlphaMask() { return 0; }
    virtual void SetPixel(std::int32_t x, std::int32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                          std::uint8_t a);
    virtual std::uint8_t GetRed(std::int32_t x, std::int32_t y);
    virtual std::uint8_t GetGreen(std::int32_t x, std::int32_t y);
    virtual std::uint8_t GetBlue(std::int32_t x, std::int32_t y);
    virtual std::uint8_t GetAlpha(std::int32_t x, std::int32_t y);

    // Copies the source columns left..right-1 and rows top..bottom-1 to (x, y), converting channel by channel
    // (each channel's top bits survive). Clipped to both bitmaps; pixel bits outside this bitmap's masks keep
    // their values.
    void Blit(std::int32_t x, std::int32_t y, TZevVBitmap* source, std::int32_t left, std::int32_t top,
              std::int32_t right, std::int32_t bottom);
};

// A rectangle of pixels: columns left..right-1, rows top..bottom-1.
struct TZevIntRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// Memory bitmap: rows of pitch = width x bitCount / 8 bytes follow each other from row 0; a 32-bit pixel is one
// little-endian word.
class TZevBitmap : public TZevVBitmap {
public:
    // Largest width or height a bitmap is made with.
    static constexpr std::int32_t MaxSide = 1 << 16;

    TZevBitmap();
    ~TZevBitmap() override;

    std::uint8_t* GetBits() override { return bits; }
    std::int32_t GetWidth() override { return width; }
    std::int32_t GetHeight() override { return height; }
    std::int32_t GetBitCount() override { return bitCount; }
    std::int32_t GetPitch() override { return pitch; }
    std::uint32_t GetRedMask() override { return redMask; }
    std::uint32_t GetGreenMask() override { return greenMask; }
    std::uint32_t GetBlueMask() override { return blueMask; }
    std::uint32_t GetAlphaMask() override { return alphaMask; }

    // Writes the "TBMP" chunk: width, height, bit count, the four masks, the pixel block.
    bool SaveChunks(TZevStream* stream, TZevChunkHeader* header) override;

    // Frees any old block and makes a new one (contents undefined). False, leaving the bitmap empty, for a
    // negative size, a side above MaxSide, or a bit count other than 8, 16, 24 or 32. A 0 x 0 bitmap has no block.
    virtual bool Create(std::int32_t width, std::int32_t height, std::int32_t bitCount, std::uint32_t redMask,
                        std::uint32_t greenMask, std::uint32_t blueMask, std::uint32_t alphaMask);
    // 16 or 32 bits with 4 or 8 bits per channel (alpha in the top bits); false and unchanged for other counts.
    virtual bool CreateByDepth(std::int32_t width, std::int32_t height, std::int32_t bitCount);
    virtual void FreeBits();

    // Reads a BMP file (8-bit palette, 24-bit, or 32-bit plain or with bit-field masks, in any header up to the
    // fifth version) into a 32-bit bitmap whose bytes are red, green, blue and alpha (255 unless a mask gives
    // alpha); row 0 is the bottom row of the picture. False, leaving the bitmap empty, when the file cannot be
    // opened or is not such a BMP, or is damaged or short.
    bool LoadBmp(const char* fileName);
    // The same from a stream holding a BMP file image at its current position.
    bool ReadBmp(TZevStream* stream);

    // Fills the rectangle of this 32-bit bitmap from a 32-bit source through the inverse of the 2D affine
    // `matrix` (3x3, row order, points are rows (x, y, 1)): pixel (x, y) takes the source pixel at
    // (x, y, 1) x inverse, truncated; positions outside the source leave the pixel as it is. The rectangle
    // is cut to this bitmap (negative left and top count as 0); other depths draw nothing.
    void DrawAffine(const TZevIntRect& rectangle, TZevVBitmap* source, const float* matrix);

protected:
    std::uint8_t* bits; // plain heap, not counted
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitCount;
    std::int32_t pitch;
    std::int32_t reserved2;
    std::uint32_t redMask;
    std::uint32_t greenMask;
    std::uint32_t blueMask;
    std::uint32_t alphaMask;

private:
    std::size_t blockBytes = 0; // size of the block behind `bits` (it may be larger than the pixels need)
};

// Number of zero bits above the highest set bit (32 for 0).
int LeadingZeroCount(std::uint32_t mask);

// What a pixel loop needs of a bitmap, taken once; releases the bitmap's bits when destroyed.
struct TZevBitmapAccess {
    explicit TZevBitmapAccess(TZevVBitmap* bitmap);
    ~TZevBitmapAccess();
    TZevBitmapAccess(const TZevBitmapAccess&) = delete;
    TZevBitmapAccess& operator=(const TZevBitmapAccess&) = delete;

    // The pixel value at (x, y) in the bitmap's layout; x and y must be inside.
    std::uint32_t ReadPixel(std::int32_t x, std::int32_t y) const;
    void WritePixel(std::int32_t x, std::int32_t y, std::uint32_t value) const;
    // The value of a colour (8 bits a channel) in this bitmap's layout.
    std::uint32_t MakePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) const;

    TZevVBitmap* bitmap;
    std::int32_t bytesPerPixel;
    std::int32_t pitch;
    std::int32_t width;
    std::int32_t height;
    std::uint8_t* bits;
    std::uint8_t* row;
    std::uint8_t* pixel;
    std::uint32_t redMask, greenMask, blueMask, alphaMask;
    int redShift, greenShift, blueShift, alphaShift; // LeadingZeroCount of each mask
    std::uint32_t allMask;
    std::uint32_t otherMask; // ~allMask
};

// Reader of the "TBMP" chunk (registered at start-up): checks every value against the stream before it allocates.
bool ReadBitmapChunk(TZevStream* stream, TZevLSObj* object);

extern TZevClassRecord TZevVBitmapClassRecord;
extern TZevClassRecord TZevBitmapClassRecord;
TZevLSObj* CreateTZevVBitmap();
TZevLSObj* CreateTZevBitmap();

// Start-up of this file: registers the bitmap classes and the "TBMP" reader. Runs once; later calls do nothing.
void ZevBitmapInit();
