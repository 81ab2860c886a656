#include "ZevTexture.h"

#include "ZevBitmap.h"
#include "ZevDX7Surfaces.h"
#include "ZevDeviceResult.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevTextureFiles.h"

#include <atomic>
#include <cstdio>

namespace {

// Names of the surfaces made without one: " NoName_0", " NoName_1", ... over the program's life.
std::atomic<std::int32_t> gUnnamedSurfaces{0};

} // namespace

TZevTexture::~TZevTexture()
{
    TZevTexture::ReleaseSurfaces();
}

int TZevTexture::CreateSurface(TZevDX7Surfaces* owner)
{
    if (!owner || !owner->DirectDraw)
        return 0;
    Owner = owner;
    TZevGLDriver* driver = owner->DirectDraw;
    if (ZevGL::Failed(
            ZevDeviceCall(driver->CreateSurface(ZevOffscreenSurfaceDesc(Width, Height, VideoMemory != 0), &Surface))))
        return 0;
    Backup = Surface;
    if (VideoMemory &&
        ZevGL::Failed(ZevDeviceCall(driver->CreateSurface(ZevOffscreenSurfaceDesc(Width, Height, false), &Backup)))) {
        Backup = Surface;
        ReleaseSurfaces();
        return 0;
    }
    MakePalette();
    char name[32];
    std::snprintf(name, sizeof name, " NoName_%d", static_cast<int>(gUnnamedSurfaces++));
    Name = name;
    owner->Table.Add(Name.CStr(), this);
    return 1;
}

int TZevTexture::LoadImage(const char* fileName, TZevDX7Surfaces* owner)
{
    TZevBitmap* image = new TZevBitmap();
    const bool loaded = fileName && image->LoadBmp(fileName);
    Width = loaded ? image->GetWidth() : 0;
    Height = loaded ? image->GetHeight() : 0;
    int result = loaded && CreateSurface(owner);
    TZevGLSurfaceDesc locked;
    if (result && !ZevGL::Failed(ZevDeviceCall(Backup->Lock(nullptr, &locked, 0)))) {
        ZevFillTexels(static_cast<std::uint32_t*>(locked.Bits), locked.Pitch / 4, Width, Height, image, nullptr,
                      0xFF000000u);
        ZevDeviceCall(Backup->Unlock(nullptr));
        if (Backup != Surface)
            ZevDeviceCall(Surface->Blt(nullptr, Backup, nullptr, ZevGL::BltWait, 0));
    } else {
        result = 0;
    }
    image->Release();
    return result;
}

void TZevTexture::ReleaseSurfaces()
{
    if (!Name.IsNull() && Owner)
        Owner->Table.Remove(Name.CStr(), this);
    ZevGLRelease(Clipper);
    ZevGLRelease(Palette);
    if (Backup != Surface)
        ZevGLRelease(Backup);
    Backup = nullptr;
    ZevGLRelease(Surface);
}

void TZevTexture::Restore()
{
    if (!Surface || !ZevGL::Failed(ZevDeviceCall(Surface->IsLost())))
        return;
    ZevDeviceCall(Surface->Restore());
    if (Backup)
        ZevDeviceCall(Surface->Blt(nullptr, Backup, nullptr, ZevGL::BltWait, 0));
}

void TZevTexture::DrawText(std::int32_t x, std::int32_t y, const char* text)
{
    TZevGLDC* dc = nullptr;
    if (!Surface || ZevGL::Failed(ZevDeviceCall(Surface->GetDC(&dc))))
        return;
    dc->SetBkMode(ZevGL::BkTransparent);
    dc->SetTextColor(0x808000); // RGB(0, 128, 128)
    TZevGLSurfaceDesc desc;
    Surface->GetSurfaceDesc(&desc);
    dc->DrawText(text, {x, y, desc.Width, desc.Height}, ZevGL::TextWordBreak);
    ZevDeviceCall(Surface->ReleaseDC(dc));
}

void TZevTexture::MakePalette()
{
    ZevGLRelease(Palette);
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t flags = i < 10 || i > 245 ? 0x40u : 1u;
        PaletteEntries[i] = (PaletteEntries[i] & 0x00FFFFFFu) | (flags << 24);
    }
    if (Owner && Owner->DirectDraw)
        ZevDeviceCall(Owner->DirectDraw->CreatePalette(ZevGL::Palette8Bit, PaletteEntries, &Palette));
}
