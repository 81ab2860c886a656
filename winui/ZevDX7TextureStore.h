// The Direct3D side of the DirectDraw 7 renderer: it sets up the surfaces (or shares another store's back
// surface), chooses the device (hardware transform and lighting first, then hardware, then software), makes the
// depth buffer and the device, sets the default device state, and loads textures by name into a name table.
#pragma once

#include "ZevGLTypes.h"
#include "ZevList.h"
#include "ZevString.h"

#include <cstdint>

class TZevDX7Surfaces;
class TZevDX7Texture;
class TZevGLDevice;
class TZevGLDriver;
class TZevTexture;

// Texture names: bucket by the sum of the name's bytes, entries equal by text.
class TZevDX7NameTable : public TZevHashTable {
public:
    int Hash(const void* key) const override;
    bool Equal(const void* entryKey, const void* key) const override;
};

class TZevDX7TextureStore : public TZevAllocated {
public:
    TZevDX7TextureStore();
    // ReleaseAll, then the scratch buffers.
    virtual ~TZevDX7TextureStore();
    TZevDX7TextureStore(const TZevDX7TextureStore&) = delete;
    TZevDX7TextureStore& operator=(const TZevDX7TextureStore&) = delete;

    // Surfaces for the window (or the shared back surface and its owner's surfaces), device, depth buffer, viewport,
    // material, light 0 and default states. 1 on success; 0, with everything released, on failure.
    virtual int Init(TZevGLWindow window, TZevTexture* sharedBack);
    // Deletes every texture, the depth surface, the device and the Direct3D object, and the surfaces when owned.
    virtual void ReleaseAll();
    // Identity world and view, the default projection, and the device's default render states.
    virtual void SetDefaultStates();
    // The texture of the name: the one loaded before, or a new one loaded now; null for no name or a file that
    // cannot be loaded (remembered, so it is not tried again).
    virtual TZevDX7Texture* LoadTexture(const char* name);
    // A material without a surface under the name (17 floats).
    virtual TZevDX7Texture* CreateMaterial(const char* name, const float* material);
    virtual TZevDX7Texture* FindTexture(const char* name);
    // Takes the name's entry out of the name table (the texture stays).
    virtual void RemoveTexture(const char* name);
    // Restores the depth surface, then every surface of the surfaces object.
    void Restore();

    std::int32_t OwnsSurfaces = 0;
    TZevDX7Surfaces* Surfaces = nullptr;
    TZevTexture* Back = nullptr;
    TZevTexture* Depth = nullptr;
    TZevGLDriver* Direct3D = nullptr;
    TZevGLDevice* Device = nullptr;
    TZevStringList SearchDirectories;
    float World[16] = {};
    float Projection[16] = {};
    float View[16] = {};
    TZevDX7NameTable NameTable;
    std::uint8_t* Scratch = nullptr;      // 30,000 bytes
    std::uint8_t* LargeScratch = nullptr; // 960,000 bytes
    float ViewParameters[13] = {};
    std::int32_t FullScreen = 0;
    std::int32_t Stencil = 0;
    // The device that Init chose.
    ZevGL::DeviceKind DeviceKind = ZevGL::DeviceRGB;
};
