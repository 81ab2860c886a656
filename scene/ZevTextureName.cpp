#include "ZevTextureName.h"

#include "Zev3DRenderer.h"
#include "ZevDebug.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr int kBucketCount = 256;

// Never destroyed as objects: entries still alive at exit leave their bucket through ZevFreeTextureNames first.
union RegistryStorage {
    RegistryStorage() : buckets() {}
    ~RegistryStorage() {}
    TZevList buckets[kBucketCount];
};

// Guards the buckets, every entry's slots and the textures left behind. Never held while a renderer is called.
constinit std::mutex gRegistryMutex;
bool gRegistryGone = false;

// Textures whose entries went on a thread other than the one that loaded them: their renderers unload them.
std::vector<std::pair<TZev3DRenderer*, TZevTextureHandle>>& LeftBehind()
{
    static auto* list = new std::vector<std::pair<TZev3DRenderer*, TZevTextureHandle>>();
    return *list;
}

TZevList* Buckets()
{
    static RegistryStorage* storage = [] {
        static RegistryStorage s;
        std::atexit(ZevFreeTextureNames);
        return &s;
    }();
    return storage->buckets;
}

// Under the lock.
template <class F> void ForEachEntry(F f)
{
    if (gRegistryGone)
        return;
    TZevList* buckets = Buckets();
    for (int b = 0; b < kBucketCount; ++b)
        for (TZevTextureName* entry : ZevItems<TZevTextureName>(buckets[b]))
            f(entry);
}

// Under the lock: moves the renderer's left-behind textures into `out`.
void TakeLeftBehind(TZev3DRenderer* renderer, std::vector<TZevTextureHandle>* out)
{
    auto& list = LeftBehind();
    for (std::size_t i = 0; i < list.size();) {
        if (list[i].first == renderer) {
            if (out)
                out->push_back(list[i].second);
            list[i] = list.back();
            list.pop_back();
        } else {
            ++i;
        }
    }
}

} // namespace

TZevTextureName::TZevTextureName(const char* name) : Name(name ? name : "") {}

TZevTextureName::~TZevTextureName()
{
    std::vector<TSlot> own;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        if (RegistryNode) {
            TZevList::RemoveNode(RegistryNode);
            RegistryNode = nullptr;
        }
        const std::thread::id self = std::this_thread::get_id();
        for (const TSlot& slot : Slots) {
            if (slot.Thread == self)
                own.push_back(slot);
            else
                LeftBehind().push_back({slot.Renderer, slot.Handle});
        }
        Slots.clear();
    }
    for (const TSlot& slot : own)
        slot.Renderer->UnloadTexture(slot.Handle);
    delete DeviceData;
    DeviceData = nullptr;
}

std::int32_t TZevTextureName::AddRef()
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return TZevObject::AddRef();
}

std::int32_t TZevTextureName::Release()
{
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        if (refCount > 1)
            return --refCount;
        if (refCount <= 0) {
            ZevDebugLog("TZevTextureName::Release: count already 0\n");
            return 0;
        }
        // Still in its bucket until the destructor takes it out; GetTextureName passes over it meanwhile.
        refCount = 0;
    }
    delete this;
    return 0;
}

TZevTextureHandle TZevTextureName::HandleFor(const TZev3DRenderer* renderer) const
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    for (const TSlot& slot : Slots)
        if (slot.Renderer == renderer)
            return slot.Handle;
    return 0;
}

int TZevTextureName::RendererCount() const
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return static_cast<int>(Slots.size());
}

int TextureNameBucket(const char* name)
{
    return name ? static_cast<unsigned char>(name[0]) : 0;
}

TZevTextureName* GetTextureName(const char* name)
{
    if (!name)
        name = "";
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    if (gRegistryGone) // after exit clean-up: a free-standing entry
        return new TZevTextureName(name);
    TZevList& bucket = Buckets()[TextureNameBucket(name)];
    for (TZevTextureName* entry : ZevItems<TZevTextureName>(bucket)) {
        // A count of 0 is an entry on its way out (its destructor waits for the lock): not to be handed out.
        if (entry->GetRefCount() > 0 && std::strcmp(entry->Name.CStr(), name) == 0) {
            entry->TZevObject::AddRef();
            return entry;
        }
    }
    TZevTextureName* entry = new TZevTextureName(name);
    entry->RegistryNode = bucket.Add(entry);
    return entry;
}

TZevTextureHandle ZevRendererTexture(TZev3DRenderer* renderer, TZevTextureName* entry)
{
    if (!renderer || !entry || !entry->Name.CStr() || !*entry->Name.CStr())
        return 0;
    std::vector<TZevTextureHandle> leftBehind;
    TZevTextureHandle handle = 0;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        TakeLeftBehind(renderer, &leftBehind);
        for (const TZevTextureName::TSlot& slot : entry->Slots)
            if (slot.Renderer == renderer)
                handle = slot.Handle;
    }
    for (TZevTextureHandle old : leftBehind)
        renderer->UnloadTexture(old);
    if (handle != 0)
        return handle;
    handle = renderer->LoadTexture(entry->Name.CStr());
    if (handle == 0)
        return 0;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    entry->Slots.push_back({renderer, handle, std::this_thread::get_id()});
    return handle;
}

int TextureNameCount()
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    int count = 0;
    ForEachEntry([&](TZevTextureName*) { ++count; });
    return count;
}

void ZevDetachTextures(TZev3DRenderer* renderer, bool unload)
{
    if (!renderer)
        return;
    std::vector<TZevTextureHandle> handles;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        ForEachEntry([&](TZevTextureName* entry) {
            auto& slots = entry->Slots;
            for (std::size_t i = 0; i < slots.size();) {
                if (slots[i].Renderer == renderer) {
                    handles.push_back(slots[i].Handle);
                    slots[i] = slots.back();
                    slots.pop_back();
                } else {
                    ++i;
                }
            }
        });
        TakeLeftBehind(renderer, &handles);
    }
    if (unload)
        for (TZevTextureHandle handle : handles)
            renderer->UnloadTexture(handle);
}

void ZevFreeTextureNames()
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    if (gRegistryGone)
        return;
    TZevList* buckets = Buckets();
    for (int b = 0; b < kBucketCount; ++b) {
        for (TZevTextureName* entry : ZevItems<TZevTextureName>(buckets[b]))
            entry->RegistryNode = nullptr;
        buckets[b].FreeNodes();
    }
    gRegistryGone = true;
}
