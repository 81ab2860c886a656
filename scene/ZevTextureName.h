// Reference-counted texture names: one program-wide entry per name, shared by every mesh that uses the texture.
// Each renderer that draws the name keeps its own device texture in the entry, so two renderers (a view and the
// Direct3D test form) never take each other's texture away.
//
// Threads: the registry and the entries' textures are guarded by a lock of their own, since meshes are made and
// dropped on one thread while another thread's renderer draws them. A renderer's textures are given back only on
// the thread that loaded them: an entry that goes on another thread leaves its texture to its renderer, which
// unloads it at its next draw, or drops it with its store when it is released.
#pragma once

#include "ZevLSObj.h"
#include "ZevList.h"
#include "ZevString.h"

#include <cstdint>
#include <thread>
#include <vector>

class TZev3DRenderer;

// A device texture as the device renderer hands it out; 0 for none.
typedef std::uintptr_t TZevTextureHandle;

class TZevTextureName : public TZevObject {
public:
    explicit TZevTextureName(const char* name);
    // Leaves the registry and gives each renderer's texture back (see above); deletes DeviceData.
    ~TZevTextureName() override;

    // The count changes under the registry lock: meshes holding the entry come and go on several threads.
    std::int32_t AddRef();
    // At 0 the entry is deleted. Entries are released through this class, never as a TZevObject.
    std::int32_t Release();

    // The texture `renderer` loaded for this name; 0 when it has none.
    TZevTextureHandle HandleFor(const TZev3DRenderer* renderer) const;
    // Renderers that hold a texture of this name.
    int RendererCount() const;

    TZevString Name;
    TZevListNode* RegistryNode = nullptr;
    TZevObject* DeviceData = nullptr; // owned; a device renderer's own data for the texture

    // One renderer's texture of the name, and the thread that loaded it (guarded by the registry lock).
    struct TSlot {
        TZev3DRenderer* Renderer;
        TZevTextureHandle Handle;
        std::thread::id Thread;
    };
    std::vector<TSlot> Slots;
};

// The entry of `name` with one more reference, or a new entry (count 1) added to the registry. A null name is
// taken as the empty text.
TZevTextureName* GetTextureName(const char* name);
// The renderer's texture of the entry: the one it loaded before, or one loaded now through its LoadTexture and
// kept in the entry. Textures the renderer left behind by entries that went on other threads are unloaded first,
// here on the renderer's thread. 0 for a null entry, an empty name, or a texture the renderer cannot load.
TZevTextureHandle ZevRendererTexture(TZev3DRenderer* renderer, TZevTextureName* entry);
// The registry bucket of a name: its first byte, taken unsigned (0 for a null or empty name).
int TextureNameBucket(const char* name);
// Number of entries in the registry.
int TextureNameCount();
// Every entry forgets the renderer's texture, and so do the textures it left behind; with `unload` each is first
// given back through the renderer's UnloadTexture (on the calling thread, which must be the renderer's). A renderer
// calls this before it or its store goes, so that no entry calls a renderer that is gone.
void ZevDetachTextures(TZev3DRenderer* renderer, bool unload);
// At exit: the entries still held leave the registry, and the bucket lists are freed.
void ZevFreeTextureNames();
