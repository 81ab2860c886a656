// A texture of the DirectDraw 7 renderer: a bitmap file with its alpha mask loaded into a texture surface (with a
// system-memory backup when the surfaces live in video memory), or a named material without a surface. Entered in
// its store's name table by name; the renderer holds it through a reference count.
#pragma once

#include "ZevGLTypes.h"
#include "ZevList.h"
#include "ZevTexture.h"

class TZevDX7TextureStore;

class TZevDX7Texture : public TZevTexture {
public:
    TZevDX7Texture();
    // ReleaseSurfaces.
    ~TZevDX7Texture() override;

    // The texture surfaces' release, and the entry leaves the store's name table.
    void ReleaseSurfaces() override;
    // Loads the file `name` (else from each search directory of the store), its alpha mask "_" + name the same
    // way, into a texture surface. 1 on success; 0 with one debug-log line when the file or the surface fails.
    virtual int LoadBmp(const char* name, TZevDX7TextureStore* store);
    // A material without a surface under the name, entered in the store's name table. Returns 1.
    virtual int InitMaterial(const char* name, const float* material, TZevDX7TextureStore* store);
    // Replaces the 17 material floats.
    virtual void SetMaterial(const float* material);

    TZevDX7TextureStore* Store = nullptr;
    TZevGLMaterial Material;
    TZevString Name2;
    TZevHashEntry Entry;
    TZevList List;
    // Holders of the texture (the renderer's texture entries); it is deleted when the last lets go.
    std::int32_t RefCount = 1;
    // The file could not be loaded: kept in the name table, so that it is neither tried nor logged again.
    std::int32_t LoadFailed = 0;
};
