#include "ZevDX7Texture.h"

#include "ZevBitmap.h"
#include "ZevDX7Surfaces.h"
#include "ZevDX7TextureStore.h"
#include "ZevDeviceResult.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevTextureFiles.h"

#include <cstring>

namespace {

// The first texture format of 32 bits with 8 alpha bits that is neither luminance, bump map nor compressed.
struct TFormatSearch {
    TZevGLPixelFormat Format;
    bool Found = false;
};

bool TakeTextureFormat(const TZevGLPixelFormat& format, void* context)
{
    if ((format.Flags & (ZevGL::PfLuminance | ZevGL::PfBumpMap | ZevGL::PfFourCC)) || format.BitCount != 32 ||
        __builtin_popcount(format.AlphaMask) != 8)
        return true;
    TFormatSearch* search = static_cast<TFormatSearch*>(context);
    search->Format = format;
    search->Found = true;
    return false;
}

} // namespace

TZevDX7Texture::TZevDX7Texture() : Entry(nullptr, this) {}

TZevDX7Texture::~TZevDX7Texture()
{
    TZevDX7Texture::ReleaseSurfaces();
}

void TZevDX7Texture::ReleaseSurfaces()
{
    TZevTexture::ReleaseSurfaces();
    TZevHashTable::Unlink(&Entry);
}

int TZevDX7Texture::LoadBmp(const char* name, TZevDX7TextureStore* store)
{
    Store = store;
    Owner = store->Surfaces;
    VideoMemory = Owner ? Owner->Hardware : 0;
    TZevBitmap* image = ZevLoadTextureBitmap(name, store->SearchDirectories);
    if (!image) {
        ZevLogMissingTexture(name);
        return 0;
    }
    Width = image->GetWidth();
    Height = image->GetHeight();

    TFormatSearch search;
    if (store->Device)
        ZevDeviceCall(store->Device->EnumTextureFormats(TakeTextureFormat, &search));
    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight | ZevGL::DescPixelFormat |
                 ZevGL::DescTextureStage;
    desc.Width = Width;
    desc.Height = Height;
    desc.Format = search.Format;
    desc.Caps = VideoMemory ? ZevGL::CapsTexture : ZevGL::CapsTexture | ZevGL::CapsSystemMemory;
    desc.Caps2 = VideoMemory ? ZevGL::Caps2TextureManage : 0;
    if (!search.Found || !Owner || !Owner->DirectDraw ||
        ZevGL::Failed(ZevDeviceCall(Owner->DirectDraw->CreateSurface(desc, &Surface)))) {
        ZevDebugLog("Textureサーフェイスの生成に失敗しました");
        image->Release();
        return 0;
    }
    Backup = Surface;
    if (VideoMemory) {
        desc.Caps = ZevGL::CapsTexture | ZevGL::CapsSystemMemory;
        desc.Caps2 = 0;
        if (ZevGL::Failed(ZevDeviceCall(Owner->DirectDraw->CreateSurface(desc, &Backup))))
            Backup = Surface;
    }

    // The picture into the backup, with the alpha of its mask (fully opaque without one).
    TZevBitmap* mask = ZevLoadAlphaMask(name, store->SearchDirectories);
    TZevGLSurfaceDesc locked;
    if (!ZevGL::Failed(ZevDeviceCall(Backup->Lock(nullptr, &locked, 0)))) {
        ZevFillTexels(static_cast<std::uint32_t*>(locked.Bits), locked.Pitch / 4, Width, Height, image, mask,
                      search.Format.AlphaMask);
        ZevDeviceCall(Backup->Unlock(nullptr));
    }
    if (mask)
        mask->Release();
    image->Release();

    ZevDeviceCall(Owner->DirectDraw->CreatePalette(ZevGL::Palette8Bit, PaletteEntries, &Palette));
    if (Palette) {
        ZevDeviceCall(Palette->SetEntries(0, 256, PaletteEntries));
        ZevDeviceCall(Surface->SetPalette(Palette));
    }
    Material = TZevGLMaterial{{0.5f, 0.5f, 0.5f, 1.0f}, {0.5f, 0.5f, 0.5f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f},
                              {0.5f, 0.5f, 0.5f, 1.0f}, 20.0f};

    Name2 = name;
    Name = name;
    Entry.key = Name2.CStr();
    store->NameTable.Add(&Entry);
    if (Backup != Surface)
        ZevDeviceCall(Surface->Blt(nullptr, Backup, nullptr, ZevGL::BltWait, 0));
    Owner->Table.Add(Name.CStr(), this);
    return 1;
}

int TZevDX7Texture::InitMaterial(const char* name, const float* material, TZevDX7TextureStore* store)
{
    ReleaseSurfaces();
    Store = store;
    Owner = store->Surfaces;
    VideoMemory = Owner ? Owner->Hardware : 0;
    Name2 = name ? name : "";
    Material = TZevGLMaterial{};
    SetMaterial(material);
    Entry.key = Name2.CStr();
    store->NameTable.Add(&Entry);
    return 1;
}

void TZevDX7Texture::SetMaterial(const float* material)
{
    if (material)
        std::memcpy(static_cast<void*>(&Material), material, sizeof Material);
}
