#include "ZevMeshPools.h"

#include <cstdlib>

#include "ZevDebug.h"
#include "ZevObjPool.h"

namespace {

void FreeRecord(void* record) { ZevFree(record); }

// Created on first use and drained at exit (before the allocation report, which start-up registered
// earlier), so that the records are counted back.
TZevPoolHeads& Pool20()
{
    static TZevPoolHeads* heads = [] {
        auto* h = new TZevPoolHeads(FreeRecord);
        std::atexit(ZevFreePool20);
        return h;
    }();
    return *heads;
}
TZevPoolHeads& Pool28()
{
    static TZevPoolHeads* heads = [] {
        auto* h = new TZevPoolHeads(FreeRecord);
        std::atexit(ZevFreePool28);
        return h;
    }();
    return *heads;
}

void* Take(TZevPoolHeads& heads, std::size_t size)
{
    if (void* record = heads.Take())
        return record;
    return ZevAlloc(size);
}

// Last in, first out: the record taken next is the one released last, still warm in the cache.
void Give(TZevPoolHeads& heads, void* record)
{
    if (!record)
        return;
    const int slot = GetThreadPoolIndex();
    if (slot < 0 || !GetThreadListNodePool()) {
        ZevFree(record);
        return;
    }
    heads.Heads[slot].PushFront(record);
}

} // namespace

void* ZevPool20Alloc()
{
    return Take(Pool20(), sizeof(TZevLineRecord));
}
void* ZevPool28Alloc()
{
    return Take(Pool28(), sizeof(TZevSegmentRecord));
}
void ZevPool20Release(void* record)
{
    Give(Pool20(), record);
}
void ZevPool28Release(void* record)
{
    Give(Pool28(), record);
}
void ZevFreePool20()
{
    Pool20().DrainAll(FreeRecord);
}
void ZevFreePool28()
{
    Pool28().DrainAll(FreeRecord);
}
