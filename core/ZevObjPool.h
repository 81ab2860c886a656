// Per-thread pool slots: every pooled kind keeps one free list per slot, and each thread works only in its own
// slot, so recycling needs no lock.
#pragma once

#include "ZevList.h"

#include <cstdint>

// Number of pool slots of every pooled kind.
constexpr int ThreadPoolSlots = 8;

// Per-thread block: the thread's list-node pool, cursor-node pool and slot index (-1 while it has none).
struct TZevThreadPoolBlock {
    void* reserved;
    TZevList* listNodePool;
    TZevCursorList* cursorNodePool;
    std::int32_t ThreadPoolIndex;
    std::int32_t state; // 0 not attached, 1 attached, 2 no slot (all taken, or the thread is ending)
};

// Gives the calling thread a free slot (the lowest one); a thread that has one keeps it. The slot returns to the
// free set when the thread ends, with its pools emptied back to the heap: what a thread leaves in them (the nodes and
// records of what it freed) would otherwise pile up from one thread to the next, since the records a thread frees
// are often made by another (a render thread ends a scene that the user-interface thread built). With all 8 slots taken the thread gets none (result -1) and its pooled
// containers then take from and give back to the heap directly. Returns the slot index or -1.
int AttachThreadNodePools();
// The calling thread gives its slot back now, as at its end (a worker thread whose body ended and that will run
// another); it may attach again later.
void ReleaseThreadNodePools();
// The calling thread's slot, attaching it on first use; -1 when it has none.
int GetThreadPoolIndex();
// Number of slots currently held by threads.
int GetThreadPoolCount();
// The calling thread's list-node pool / cursor-node pool; null when it has no slot or the pools are gone (exit).
TZevList* GetThreadListNodePool();
TZevCursorList* GetThreadCursorNodePool();

// 8-byte records recycled per thread slot.
void* AllocSmallNode();
void FreeSmallNode(void* block);

// How a pooled kind frees one of its items.
typedef void (*TZevPoolItemDestroy)(void* item);

// Free lists of one pooled kind, one head per slot. Take and Give use the calling thread's slot.
class TZevPoolHeads {
public:
    // With `destroy`, the items a thread leaves in its slot are freed through it when the thread ends.
    explicit TZevPoolHeads(TZevPoolItemDestroy destroy = nullptr);
    ~TZevPoolHeads();
    TZevPoolHeads(const TZevPoolHeads&) = delete;
    TZevPoolHeads& operator=(const TZevPoolHeads&) = delete;

    // A free item of the calling thread's slot, or null (empty, or no slot).
    void* Take();
    // Keeps the item for reuse; false when the thread has no slot: the caller destroys the item itself.
    bool Give(void* item);
    // Calls destroy(item) for every item of every slot and empties the heads (used at exit).
    template <class F> void DrainAll(F destroy)
    {
        for (TZevList& h : Heads) {
            while (void* item = h.PopFront())
                destroy(item);
            h.FreeNodes();
        }
    }

    TZevList Heads[ThreadPoolSlots];
    TZevPoolItemDestroy Destroy;
    TZevPoolHeads* NextRegistered = nullptr; // the heads with a destroy function, for the end of a thread
};

// Start-up of the pools of this file (small records); called from ZevCoreInit.
void ZevObjPoolInit();
