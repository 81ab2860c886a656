#include "ZevTextureName.h"

#include "Zev3DRenderer.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBucketCount = 256;

// Never destroyed as objects: entries still alive at exit leave their bucket through ZevFreeTextureNames first.
union RegistryStorage {
    RegistryStorage() : buckets() {}
    ~RegistryStorage() {}
    TZevList buckets[kBucketCount];
};

bool gRegistryGone = false;

TZevList* Buckets()
{
    static RegistryStorage* storage = [] {
        static RegistryStorage s;
        std::atexit(ZevFreeTextureNames);
        return &s;
    }();
    return storage->buckets;
}

template <class F> void ForEachEntry(F f)
{
    if (gRegistryGone)
        return;
    TZevList* buckets = Buckets();
    for (int b = 0; b < kBucketCount; ++b)
        for (TZevListNode* n = buckets[b].First(); n != buckets[b].End(); n = n->next)
            f(static_cast<TZevTextureName*>(n->data));
}

} // namespace

TZevTextureName::TZevTextureName(const char* name) : Name(name ? name : "") {}

TZevTextureName::~TZevTextureName()
{
    if (RegistryNode) {
        TZevList::RemoveNode(RegistryNode);
        RegistryNode = nullptr;
    }
    if (Handle != 0 && Renderer)
        Renderer->UnloadTexture(Handle);
    Handle = 0;
    delete DeviceData;
    DeviceData = nullptr;
}

int TextureNameBucket(const char* name)
{
    return name ? static_cast<unsigned char>(name[0]) : 0;
}

TZevTextureName* GetTextureName(const char* name)
{
    if (!name)
        name = "";
    if (gRegistryGone) // after exit clean-up: a free-standing entry
        return new TZevTextureName(name);
    TZevList& bucket = Buckets()[TextureNameBucket(name)];
    for (void* item : bucket) {
        TZevTextureName* entry = static_cast<TZevTextureName*>(item);
        if (std::strcmp(entry->Name.CStr(), name) == 0) {
            entry->AddRef();
            return entry;
        }
    }
    TZevTextureName* entry = new TZevTextureName(name);
    entry->RegistryNode = bucket.Add(entry);
    return entry;
}

int TextureNameCount()
{
    int count = 0;
    ForEachEntry([&](TZevTextureName*) { ++count; });
    return count;
}

void ZevDetachTextures(TZev3DRenderer* renderer, bool unload)
{
    if (!renderer)
        return;
    ForEachEntry([&](TZevTextureName* entry) {
        if (entry->Renderer != renderer)
            return;
        if (unload && entry->Handle != 0)
            renderer->UnloadTexture(entry->Handle);
        entry->Handle = 0;
        entry->Renderer = nullptr;
    });
}

void ZevFreeTextureNames()
{
    if (gRegistryGone)
        return;
    TZevList* buckets = Buckets();
    for (int b = 0; b < kBucketCount; ++b) {
        for (void* item : buckets[b])
            static_cast<TZevTextureName*>(item)->RegistryNode = nullptr;
        buckets[b].FreeNodes();
    }
    gRegistryGone = true;
}
