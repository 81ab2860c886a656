// Reference-counted texture names: one program-wide entry per name, shared by every mesh that uses the texture,
// holding the device texture once a renderer has loaded it.
#pragma once

#include "ZevLSObj.h"
#include "ZevList.h"
#include "ZevString.h"

#include <cstdint>

class TZev3DRenderer;

// A device texture as the device renderer hands it out; 0 for none.
typedef std::uintptr_t TZevTextureHandle;

class TZevTextureName : public TZevObject {
public:
    explicit TZevTextureName(const char* name);
    // Leaves the registry, gives the device texture back through the renderer that loaded it, deletes DeviceData.
    ~TZevTextureName() override;

    TZevString Name;
    TZevTextureHandle Handle = 0;
    TZev3DRenderer* Renderer = nullptr; // the renderer that loaded Handle
    TZevListNode* RegistryNode = nullptr;
    TZevObject* DeviceData = nullptr;   // owned; a device renderer's own data for the texture
};

// The entry of `name` with one more reference, or a new entry (count 1) added to the registry. A null name is
// taken as the empty text.
TZevTextureName* GetTextureName(const char* name);
// The registry bucket of a name: its first byte, taken unsigned (0 for a null or empty name).
int TextureNameBucket(const char* name);
// Number of entries in the registry.
int TextureNameCount();
// Every entry loaded by `renderer` forgets it (handle 0, no renderer); with `unload` the handle is first given back
// through the renderer's UnloadTexture. A renderer calls this before it goes, so that no entry calls a renderer that
// is gone.
void ZevDetachTextures(TZev3DRenderer* renderer, bool unload);
// At exit: the entries still held leave the registry, and the bucket lists are freed.
void ZevFreeTextureNames();
