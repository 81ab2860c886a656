#include "ZevWinBmp.h"

#include "ZevSaveFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

TZevClassRecord TZevWinBmpClassRecord;
TZevClassRecord TZevBmpPanelClassRecord;

namespace {

constexpr std::uint32_t kFileHeader = 14;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kTableBytes = 1024;

std::int64_t PitchOf(std::int64_t width, std::int64_t bits) { return (bits * width + 31) / 32 * 4; }

bool Fail(const char* why)
{
    char line[256];
    std::snprintf(line, sizeof line, "TZevWinBmp::ReadBmp: %s\n", why);
    ZevDebugLog(line);
    return false;
}

} // namespace

TZevWinBmp::~TZevWinBmp() { FreeAll(); }

std::int32_t TZevWinBmp::GetWidth() { return Info ? Info->bmiHeader.biWidth : 0; }
std::int32_t TZevWinBmp::GetHeight() { return Info ? Info->bmiHeader.biHeight : 0; }
std::int32_t TZevWinBmp::GetBitCount() { return Info ? Info->bmiHeader.biBitCount : 0; }

std::int32_t TZevWinBmp::GetPitch()
{
    return Info ? static_cast<std::int32_t>(PitchOf(Info->bmiHeader.biWidth, Info->bmiHeader.biBitCount)) : 0;
}

std::uint8_t* TZevWinBmp::PixelAt(std::int32_t x, std::int32_t y)
{
    if (!Bits || !Info)
        return nullptr;
    const std::int32_t h = std::abs(Info->bmiHeader.biHeight);
    if (x < 0 || x >= Info->bmiHeader.biWidth || y < 0 || y >= h)
        return nullptr;
    return Bits + static_cast<std::ptrdiff_t>(y) * GetPitch() + static_cast<std::ptrdiff_t>(x) * (GetBitCount() / 8);
}

void TZevWinBmp::SetPixel(std::int32_t x, std::int32_t y, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                          std::uint8_t c3)
{
    std::uint8_t* p = PixelAt(x, y);
    if (!p)
        return;
    if (GetBitCount() == 32) {
        p[0] = c0, p[1] = c1, p[2] = c2, p[3] = c3;
    } else if (GetBitCount() == 24) {
        p[0] = c0, p[1] = c1, p[2] = c2;
    }
}

std::uint8_t TZevWinBmp::GetRed(std::int32_t x, std::int32_t y)
{
    std::uint8_t* p = PixelAt(x, y);
    return p && GetBitCount() >= 24 ? p[2] : 0;
}

std::uint8_t TZevWinBmp::GetGreen(std::int32_t x, std::int32_t y)
{
    std::uint8_t* p = PixelAt(x, y);
    return p && GetBitCount() >= 24 ? p[1] : 0;
}

std::uint8_t TZevWinBmp::GetBlue(std::int32_t x, std::int32_t y)
{
    std::uint8_t* p = PixelAt(x, y);
    return p && GetBitCount() >= 24 ? p[0] : 0;
}

std::uint8_t TZevWinBmp::GetAlpha(std::int32_t x, std::int32_t y)
{
    std::uint8_t* p = PixelAt(x, y);
    return p && GetBitCount() == 32 ? p[3] : 0;
}

bool TZevWinBmp::Create(std::int32_t width, std::int32_t height, std::int32_t bitCount)
{
    FreeAll();
    if (bitCount != 24 && bitCount != 8)
        return false;
    const std::size_t size = kInfoHeader + (bitCount == 8 ? kTableBytes : 0);
    Info = static_cast<BITMAPINFO*>(ZevAlloc(size));
    if (!Info)
        return false;
    std::memset(Info, 0, size);
    BITMAPINFOHEADER& h = Info->bmiHeader;
    h.biSize = kInfoHeader;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(bitCount);
    h.biCompression = BI_RGB;
    if (bitCount == 8)
        for (int i = 0; i < 256; ++i)
            Info->bmiColors[i] = RGBQUAD{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                         static_cast<std::uint8_t>(i), 0};
    HDC screen = ::GetDC(nullptr);
    void* bits = nullptr;
    Section = CreateDIBSection(screen, Info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    Bits = static_cast<std::uint8_t*>(bits);
    if (!Section) {
        FreeAll();
        return false;
    }
    return true;
}

void TZevWinBmp::FreeAll()
{
    if (MemoryDC)
        ReleaseMemoryDC();
    if (Section)
        DeleteObject(Section);
    Section = nullptr;
    Bits = nullptr;
    ZevFree(Info);
    Info = nullptr;
}

HDC TZevWinBmp::GetMemoryDC()
{
    if (!MemoryDC && Section) {
        HDC screen = ::GetDC(nullptr);
        MemoryDC = CreateCompatibleDC(screen);
        ::ReleaseDC(nullptr, screen);
        OldObject = SelectObject(MemoryDC, Section);
    }
    return MemoryDC;
}

void TZevWinBmp::ReleaseMemoryDC()
{
    if (!MemoryDC)
        return;
    if (OldObject)
        SelectObject(MemoryDC, OldObject);
    DeleteDC(MemoryDC);
    MemoryDC = nullptr;
    OldObject = nullptr;
}

RGBQUAD* TZevWinBmp::GetColorTable() { return Info && GetBitCount() == 8 ? Info->bmiColors : nullptr; }

void TZevWinBmp::UpdateColorTable()
{
    if (RGBQUAD* table = GetColorTable())
        SetDIBColorTable(GetMemoryDC(), 0, 256, table);
}

void TZevWinBmp::BlitToWindow(HWND window, std::int32_t x, std::int32_t y, std::int32_t sourceX,
                              std::int32_t sourceY, std::int32_t width, std::int32_t height)
{
    HDC dc = ::GetDC(window);
    BitBlt(dc, x, y, width, height, GetMemoryDC(), sourceX, sourceY, SRCCOPY);
    ::ReleaseDC(window, dc);
}

bool TZevWinBmp::WriteBmp(TZevStream* stream)
{
    if (!Info || !Bits)
        return false;
    const bool palette = GetBitCount() == 8;
    const std::uint32_t infoBytes = kInfoHeader + (palette ? kTableBytes : 0);
    const std::int32_t start = stream->Tell();
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = kFileHeader + infoBytes;
    bool ok = stream->Write(&file, kFileHeader) && stream->Write(Info, static_cast<std::int32_t>(infoBytes)) &&
              stream->Write(Bits, GetPitch() * std::abs(GetHeight()));
    const std::int32_t end = stream->Tell();
    file.bfSize = static_cast<std::uint32_t>(end - start);
    ok = ok && stream->Seek(start) && stream->Write(&file, kFileHeader) && stream->Seek(end);
    return ok;
}

bool TZevWinBmp::ReadBmp(TZevStream* stream)
{
    FreeAll();
    const std::int64_t start = stream->Tell();
    const std::int64_t available = static_cast<std::int64_t>(stream->GetSize()) - start;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    if (available < kFileHeader + kInfoHeader || !stream->Read(&file, kFileHeader) ||
        !stream->Read(&info, kInfoHeader))
        return Fail("shorter than the BMP headers");
    if (file.bfType != 0x4D42)
        return Fail("no \"BM\" signature");
    if (info.biSize < kInfoHeader || info.biSize > available)
        return Fail("information header size out of range");
    if (info.biPlanes != 1 || info.biCompression != BI_RGB)
        return Fail("compressed or multi-plane image");
    if (info.biBitCount != 8 && info.biBitCount != 24)
        return Fail("bit count other than 8 or 24");
    const std::int64_t height = info.biHeight == INT32_MIN ? 0 : std::abs(static_cast<std::int64_t>(info.biHeight));
    if (info.biWidth <= 0 || height <= 0 || info.biWidth > ZevMaxDibSide || height > ZevMaxDibSide)
        return Fail("width or height out of range");
    const std::int64_t colours = info.biBitCount == 8 ? (info.biClrUsed == 0 ? 256 : info.biClrUsed) : 0;
    if (colours > 256)
        return Fail("colour table larger than 256 entries");
    const std::int64_t tableAt = kFileHeader + info.biSize;
    const std::int64_t tableEnd = tableAt + colours * 4;
    const std::int64_t pixelBytes = PitchOf(info.biWidth, info.biBitCount) * height;
    // The pixels start where the file header says when that lies past the table; older writers leave it 0.
    std::int64_t pixelsAt = tableEnd;
    if (file.bfOffBits >= tableEnd && file.bfOffBits + pixelBytes <= available)
        pixelsAt = file.bfOffBits;
    if (tableEnd > available || pixelsAt + pixelBytes > available)
        return Fail("pixel rows or colour table past the end of the data");
    if (!Create(info.biWidth, info.biHeight, info.biBitCount))
        return Fail("bitmap could not be made");
    if (colours > 0) {
        if (!stream->Seek(static_cast<std::int32_t>(start + tableAt)) ||
            !stream->Read(Info->bmiColors, static_cast<std::int32_t>(colours * 4))) {
            FreeAll();
            return Fail("colour table unreadable");
        }
        Info->bmiHeader.biClrUsed = info.biClrUsed;
        UpdateColorTable();
    }
    if (!stream->Seek(static_cast<std::int32_t>(start + pixelsAt)) ||
        !stream->Read(Bits, static_cast<std::int32_t>(pixelBytes))) {
        FreeAll();
        return Fail("pixel rows unreadable");
    }
    return true;
}

bool TZevWinBmp::SaveChunks(TZevStream* stream, TZevChunkHeader* header)
{
    if (!TZevVBitmap::SaveChunks(stream, header))
        return false;
    if (!Info)
        return true;
    TZevChunkHeader chunk;
    return BeginChunk(stream, &chunk, "WBMP") && WriteBmp(stream) && EndChunk(stream, &chunk);
}

bool ReadWinBmpChunk(TZevStream* stream, TZevLSObj* object)
{
    auto* bitmap = dynamic_cast<TZevWinBmp*>(object);
    return bitmap && bitmap->ReadBmp(stream);
}

bool TZevWinBmp::SaveToFile(const char* path)
{
    // The old file is replaced only by a whole new one.
    TZevSaveFile file;
    if (!path || !file.Open(path, "wb"))
        return false;
    return WriteBmp(&file) && file.Commit();
}

bool TZevWinBmp::LoadFromFile(const char* path)
{
    TZevFile file;
    if (!path || !file.Open(path, "rb"))
        return false;
    return ReadBmp(&file);
}

TZevWinBmpDC::TZevWinBmpDC(TZevWinBmp* bitmap) : Bitmap(bitmap), DC(bitmap ? bitmap->GetMemoryDC() : nullptr) {}

TZevWinBmpDC::~TZevWinBmpDC()
{
    if (Bitmap)
        Bitmap->ReleaseMemoryDC();
}

void TZevWinBmpDC::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                            COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    RECT r{left, top, right, bottom};
    ::FillRect(DC, &r, brush);
    DeleteObject(brush);
}

void TZevBmpPanel::SetBitmap(TZevWinBmp* bitmap)
{
    Bitmap = bitmap;
    if (bitmap)
        SetSize(bitmap->GetWidth(), std::abs(bitmap->GetHeight()));
}

void TZevBmpPanel::OnPaint(HDC) { Redraw(); }

void TZevBmpPanel::Redraw()
{
    if (Bitmap)
        Bitmap->BlitToWindow(Handle, 0, 0, 0, 0, Width, Height);
}
