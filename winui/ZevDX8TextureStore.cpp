#include "ZevDX8TextureStore.h"

#include "ZevBitmap.h"
#include "ZevDeviceResult.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevTextureFiles.h"

#include <cstring>

TZevDX8Texture::~TZevDX8Texture()
{
    ZevGLRelease(Texture);
}

TZevDX8TextureStore::~TZevDX8TextureStore()
{
    ReleaseAll();
    ClearBucketArray(Buckets, 256);
}

int TZevDX8TextureStore::InitFromDevice(TZevGLDriver* object, TZevGLDevice* device)
{
    ReleaseAll();
    Direct3D = object;
    Device = device;
    if (Direct3D)
        Direct3D->AddRef();
    if (Device)
        Device->AddRef();
    return 1;
}

int TZevDX8TextureStore::InitFromWindow(TZevGLWindow window)
{
    ReleaseAll();
    if (ZevGL::Failed(ZevDeviceCall(TZevGLDriver::Create(&Direct3D))))
        return 0;
    TZevGLDisplayMode mode;
    if (ZevGL::Failed(ZevDeviceCall(Direct3D->GetDisplayMode(&mode))))
        return 0;
    TZevGLPresentParameters parameters;
    parameters.EnableAutoDepthStencil = 1;
    parameters.AutoDepthStencilFormat = ZevGL::FormatD24S8;
    if (FullScreen) {
        parameters.Windowed = 0;
        parameters.BackBufferWidth = 640;
        parameters.BackBufferHeight = 480;
        parameters.BackBufferFormat = ZevGL::FormatA8R8G8B8;
        parameters.BackBufferCount = 1;
    } else {
        parameters.Windowed = 1;
        parameters.BackBufferFormat = mode.Format;
    }
    return !ZevGL::Failed(ZevDeviceCall(Direct3D->CreateDevice(window, parameters, &Device)));
}

void TZevDX8TextureStore::ReleaseAll()
{
    for (TZevList& bucket : Buckets) {
        for (TZevDX8Texture* texture : ZevItems<TZevDX8Texture>(bucket))
            delete texture;
        bucket.Clear();
    }
    ZevGLRelease(Device);
    ZevGLRelease(Direct3D);
}

bool TZevDX8TextureStore::FillTexture(TZevDX8Texture* texture, TZevBitmap* picture, TZevBitmap* mask)
{
    if (!Device || !picture)
        return false;
    texture->Width = picture->GetWidth();
    texture->Height = picture->GetHeight();
    if (ZevGL::Failed(ZevDeviceCall(Device->CreateTexture(texture->Width, texture->Height, 0, 0,
                                                          ZevGL::FormatA8R8G8B8, 1, &texture->Texture))))
        return false;
    TZevGLSurfaceDesc locked;
    if (ZevGL::Failed(ZevDeviceCall(texture->Texture->Lock(nullptr, &locked, 0))))
        return false;
    ZevFillTexels(static_cast<std::uint32_t*>(locked.Bits), locked.Pitch / 4, texture->Width, texture->Height,
                  picture, mask, 0xFF000000u);
    ZevDeviceCall(texture->Texture->Unlock(nullptr));
    return true;
}

TZevDX8Texture* TZevDX8TextureStore::LoadTexture(const char* name)
{
    if (!name)
        return nullptr;
    TZevList& bucket = Buckets[ByteSumHash(name)];
    for (TZevDX8Texture* texture : ZevItems<TZevDX8Texture>(bucket)) {
        if (std::strcmp(texture->Name.CStr(), name) != 0)
            continue;
        if (texture->LoadFailed)
            return nullptr;
        ++texture->RefCount;
        return texture;
    }
    TZevDX8Texture* texture = new TZevDX8Texture();
    texture->Name = name;
    bucket.Add(texture);
    TZevBitmap* picture = ZevLoadTextureBitmap(name, SearchDirectories);
    TZevBitmap* mask = picture ? ZevLoadAlphaMask(name, SearchDirectories) : nullptr;
    const bool filled = FillTexture(texture, picture, mask);
    if (mask)
        mask->Release();
    if (picture)
        picture->Release();
    if (filled)
        return texture;
    if (!picture)
        ZevLogMissingTexture(name);
    // Kept in its bucket as failed: asked again, it answers null at once.
    ZevGLRelease(texture->Texture);
    texture->LoadFailed = 1;
    return nullptr;
}

TZevDX8Texture* TZevDX8TextureStore::CreateTexture(TZevBitmap* bitmap)
{
    TZevDX8Texture* texture = new TZevDX8Texture();
    texture->Name = MemoryTextureName;
    Buckets[ByteSumHash(MemoryTextureName)].Add(texture);
    if (!FillTexture(texture, bitmap, nullptr)) {
        UnloadTexture(texture);
        return nullptr;
    }
    return texture;
}

void TZevDX8TextureStore::UnloadTexture(TZevDX8Texture* texture)
{
    if (!texture || --texture->RefCount > 0)
        return;
    Buckets[ByteSumHash(texture->Name.CStr())].Remove(texture);
    delete texture;
}
