#include "ZevObjPool.h"

#include <cstdlib>
#include <mutex>

// Defined in ZevList.cpp: frees the list and cursor nodes kept in a slot's pools.
void FreeSlotNodePools(int slot);

namespace {

constexpr std::int32_t kNotAttached = 0;
constexpr std::int32_t kAttached = 1;
constexpr std::int32_t kNoSlot = 2;  // every slot was taken when the thread asked
constexpr std::int32_t kEnded = 3;   // the thread is ending: its slot went back

constinit std::mutex gSlotMutex;
// Every pooled kind that can free its items, for the end of a thread.
constinit std::mutex gHeadsMutex;
constinit TZevPoolHeads* gHeadsRegistry = nullptr;
constinit bool gSlotTaken[ThreadPoolSlots] = {};
constinit int gSlotsInUse = 0;

thread_local TZevThreadPoolBlock tBlock = {nullptr, nullptr, nullptr, -1, kNotAttached};

// Empties the calling thread's pools back to the heap (the pooled records first: freeing them gives nodes back to
// the slot's node pools) and gives its slot back to the free set.
void GiveSlotBack()
{
    if (tBlock.state != kAttached)
        return;
    const int slot = tBlock.ThreadPoolIndex;
    {
        std::lock_guard<std::mutex> lock(gHeadsMutex);
        for (TZevPoolHeads* heads = gHeadsRegistry; heads != nullptr; heads = heads->NextRegistered)
            while (void* item = heads->Heads[slot].PopFront())
                heads->Destroy(item);
    }
    FreeSlotNodePools(slot);
    std::lock_guard<std::mutex> lock(gSlotMutex);
    gSlotTaken[slot] = false;
    --gSlotsInUse;
}

struct SlotReleaser {
    ~SlotReleaser()
    {
        GiveSlotBack();
        tBlock = {nullptr, nullptr, nullptr, -1, kEnded};
    }
};

int TakeFreeSlot()
{
    std::lock_guard<std::mutex> lock(gSlotMutex);
    for (int i = 0; i < ThreadPoolSlots; ++i) {
        if (!gSlotTaken[i]) {
            gSlotTaken[i] = true;
            ++gSlotsInUse;
            return i;
        }
    }
    return -1;
}

// The small-record pools are never destroyed as objects: lists still alive at exit may use them until their
// clean-up has run.
union SmallPoolStorage {
    SmallPoolStorage() : heads([](void* block) { ZevFree(block); }) {}
    ~SmallPoolStorage() {}
    TZevPoolHeads heads;
};

void FreeSmallNodePools();

TZevPoolHeads& SmallNodePools()
{
    static SmallPoolStorage* storage = [] {
        static SmallPoolStorage s;
        std::atexit(FreeSmallNodePools);
        return &s;
    }();
    return storage->heads;
}

constinit std::atomic<bool> gSmallPoolsGone{false};

void FreeSmallNodePools()
{
    gSmallPoolsGone.store(true);
    SmallNodePools().DrainAll([](void* block) { ZevFree(block); });
}

} // namespace

int AttachThreadNodePools()
{
    if (tBlock.state == kAttached)
        return tBlock.ThreadPoolIndex;
    if (tBlock.state == kEnded)
        return -1;
    const int slot = TakeFreeSlot();
    if (slot < 0) {
        tBlock.state = kNoSlot;
        return -1;
    }
    thread_local SlotReleaser releaser;
    (void)releaser;
    tBlock.ThreadPoolIndex = slot;
    tBlock.listNodePool = &GetListNodePools()[slot];
    tBlock.cursorNodePool = &GetCursorNodePools()[slot];
    tBlock.state = kAttached;
    return slot;
}

void ReleaseThreadNodePools()
{
    if (tBlock.state == kEnded)
        return;
    GiveSlotBack();
    tBlock = {nullptr, nullptr, nullptr, -1, kNotAttached};
}

int GetThreadPoolIndex()
{
    if (tBlock.state == kAttached)
        return tBlock.ThreadPoolIndex;
    if (tBlock.state == kNotAttached)
        return AttachThreadNodePools();
    return -1;
}

int GetThreadPoolCount()
{
    std::lock_guard<std::mutex> lock(gSlotMutex);
    return gSlotsInUse;
}

// Defined in ZevList.cpp: whether the list-node / cursor-node pools were freed at exit.
bool ListNodePoolsGone();
bool CursorNodePoolsGone();

TZevList* GetThreadListNodePool()
{
    if (GetThreadPoolIndex() < 0 || ListNodePoolsGone())
        return nullptr;
    return tBlock.listNodePool;
}

TZevCursorList* GetThreadCursorNodePool()
{
    if (GetThreadPoolIndex() < 0 || CursorNodePoolsGone())
        return nullptr;
    return tBlock.cursorNodePool;
}

TZevPoolHeads::TZevPoolHeads(TZevPoolItemDestroy destroy) : Destroy(destroy)
{
    if (Destroy == nullptr)
        return;
    std::lock_guard<std::mutex> lock(gHeadsMutex);
    NextRegistered = gHeadsRegistry;
    gHeadsRegistry = this;
}

TZevPoolHeads::~TZevPoolHeads()
{
    if (Destroy == nullptr)
        return;
    std::lock_guard<std::mutex> lock(gHeadsMutex);
    for (TZevPoolHeads** link = &gHeadsRegistry; *link != nullptr; link = &(*link)->NextRegistered) {
        if (*link == this) {
            *link = NextRegistered;
            break;
        }
    }
}

void* TZevPoolHeads::Take()
{
    const int slot = GetThreadPoolIndex();
    if (slot < 0)
        return nullptr;
    return Heads[slot].PopFront();
}

bool TZevPoolHeads::Give(void* item)
{
    const int slot = GetThreadPoolIndex();
    if (slot < 0 || ListNodePoolsGone())
        return false;
    Heads[slot].Add(item);
    return true;
}

void* AllocSmallNode()
{
    if (!gSmallPoolsGone.load(std::memory_order_relaxed)) {
        if (void* block = SmallNodePools().Take())
            return block;
    }
    return ZevAllocObject(8);
}

void FreeSmallNode(void* block)
{
    if (!block)
        return;
    if (gSmallPoolsGone.load(std::memory_order_relaxed) || !SmallNodePools().Give(block))
        ZevFree(block);
}

void ZevObjPoolInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevLogInited("ZevObjPool.cpp");
        SmallNodePools();
    });
}
