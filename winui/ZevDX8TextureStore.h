// The device holder and texture store of the Direct3D 8 renderer: the driver object and the device, made for a
// window or taken over from a host program, and the textures loaded from bitmap files (with their "_" alpha masks)
// in 256 buckets by name, each held through a reference count.
#pragma once

#include "ZevGLTypes.h"
#include "ZevList.h"
#include "ZevString.h"

#include <cstdint>

class TZevBitmap;
class TZevGLDevice;
class TZevGLDriver;
class TZevGLSurface;

class TZevDX8Texture : public TZevAllocated {
public:
    TZevDX8Texture() = default;
    // Releases the device texture.
    virtual ~TZevDX8Texture();
    TZevDX8Texture(const TZevDX8Texture&) = delete;
    TZevDX8Texture& operator=(const TZevDX8Texture&) = delete;

    std::int32_t RefCount = 1;
    // 1 when the file could not be loaded: the handle stays in its bucket without a texture, so that the name is
    // neither tried nor logged again.
    std::int32_t LoadFailed = 0;
    TZevGLSurface* Texture = nullptr;
    TZevString Name;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};

class TZevDX8TextureStore : public TZevAllocated {
public:
    // The name every texture made from a bitmap in memory carries.
    static constexpr const char* MemoryTextureName = "  NoNameTexture  __";

    TZevDX8TextureStore() = default;
    // ReleaseAll.
    virtual ~TZevDX8TextureStore();
    TZevDX8TextureStore(const TZevDX8TextureStore&) = delete;
    TZevDX8TextureStore& operator=(const TZevDX8TextureStore&) = delete;

    // Holds the host's driver and device. Returns 1.
    virtual int InitFromDevice(TZevGLDriver* object, TZevGLDevice* device);
    // A driver and a device for the window with a 24-bit depth, 8-bit stencil buffer: the window's size, or a 640 x
    // 480 back buffer in full screen. 1 on success.
    virtual int InitFromWindow(TZevGLWindow window);
    // Deletes every texture, then releases the device and the driver.
    virtual void ReleaseAll();
    // The texture of the name with one more reference, or a new one loaded from the file (else from each search
    // directory) with its alpha mask; null when no file loads (logged once for the name).
    virtual TZevDX8Texture* LoadTexture(const char* name);
    // A new texture of the bitmap's size and pixels (alpha its own), named MemoryTextureName.
    virtual TZevDX8Texture* CreateTexture(TZevBitmap* bitmap);
    // One reference less; the texture is deleted at none.
    virtual void UnloadTexture(TZevDX8Texture* texture);

    TZevGLDriver* Direct3D = nullptr;
    TZevGLDevice* Device = nullptr;
    std::int32_t FullScreen = 0;
    std::int32_t Reserved = 0;
    TZevStringList SearchDirectories;
    TZevList Buckets[256];

private:
    // A managed texture of the picture's size filled from it (alpha from the mask when there is one).
    bool FillTexture(TZevDX8Texture* texture, TZevBitmap* picture, TZevBitmap* mask);
};
