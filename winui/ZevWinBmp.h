// A bitmap held in a DIB section, so that GDI drawing and blits to windows work on it; saved as a BMP image, alone
// in a file or as the "WBMP" chunk of an object stream. Its drawing context, and a panel that shows one.
#pragma once

#include "ZevBitmap.h"
#include "ZevControls.h"
#include "ZevGdi.h"

class TZevWinBmp : public TZevVBitmap {
public:
    TZevWinBmp() = default;
    ~TZevWinBmp() override;

    bool SaveChunks(TZevStream* stream, TZevChunkHeader* header) override;
    std::uint8_t* GetBits() override { return Bits; }
    std::int32_t GetWidth() override;
    // As stored: negative for a top-down image.
    std::int32_t GetHeight() override;
    std::int32_t GetBitCount() override;
    std::int32_t GetPitch() override;
    std::uint32_t GetRedMask() override { return 0xFF; }
    std::uint32_t GetGreenMask() override { return 0xFF00; }
    std::uint32_t GetBlueMask() override { return 0xFF0000; }
    std::uint32_t GetAlphaMask() override { return GetBitCount() == 32 ? 0xFF000000u : 0; }
    // Bytes 0..3 (32 bits) or 0..2 (24 bits) of the pixel at memory row y, column x; nothing outside the image.
    void SetPixel(std::int32_t x, std::int32_t y, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                  std::uint8_t c3) override;
    // Bytes 2, 1, 0 and 3 of the pixel; 0 outside the image or for other depths.
    std::uint8_t GetRed(std::int32_t x, std::int32_t y) override;
    std::uint8_t GetGreen(std::int32_t x, std::int32_t y) override;
    std::uint8_t GetBlue(std::int32_t x, std::int32_t y) override;
    std::uint8_t GetAlpha(std::int32_t x, std::int32_t y) override;

    // 24 or 8 bits per pixel (8 bits with a grey colour table); false, leaving the bitmap empty, for other depths
    // or sizes that cannot be made.
    bool Create(std::int32_t width, std::int32_t height, std::int32_t bitCount);
    void FreeAll();
    HDC GetMemoryDC();
    void ReleaseMemoryDC();
    void BlitToWindow(HWND window, std::int32_t x, std::int32_t y, std::int32_t sourceX, std::int32_t sourceY,
                      std::int32_t width, std::int32_t height);
    // The BMP image: file header, information block (with the colour table at 8 bits), pixel rows.
    bool WriteBmp(TZevStream* stream);
    // Reads a BMP image of 8 or 24 bits without compression. Every header value is checked against the bytes the
    // stream holds before anything is made; false, with a line in the log and the bitmap empty, otherwise.
    bool ReadBmp(TZevStream* stream);
    bool SaveToFile(const char* path);
    bool LoadFromFile(const char* path);
    // The colour table of an 8-bit bitmap (256 entries), null otherwise.
    RGBQUAD* GetColorTable();
    // Hands a changed colour table to the section.
    void UpdateColorTable();

    HBITMAP Section = nullptr;
    HGDIOBJ OldObject = nullptr;
    HDC MemoryDC = nullptr;
    BITMAPINFO* Info = nullptr; // ZevAlloc: header, and 256 table entries at 8 bits
    std::uint8_t* Bits = nullptr; // owned by the section

private:
    std::uint8_t* PixelAt(std::int32_t x, std::int32_t y);
};

class TZevWinBmpDC {
public:
    explicit TZevWinBmpDC(TZevWinBmp* bitmap);
    ~TZevWinBmpDC();
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, COLORREF colour);
    TZevWinBmp* Bitmap;
    HDC DC;
};

class TZevBmpPanel : public TZevNFPanel {
public:
    // Shows the bitmap (not owned) and takes its size.
    void SetBitmap(TZevWinBmp* bitmap);
    void OnPaint(HDC dc) override;
    virtual void Redraw();
    TZevWinBmp* Bitmap = nullptr;
};

bool ReadWinBmpChunk(TZevStream* stream, TZevLSObj* object);

extern TZevClassRecord TZevWinBmpClassRecord;
extern TZevClassRecord TZevBmpPanelClassRecord;
