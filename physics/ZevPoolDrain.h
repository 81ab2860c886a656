// Emptying a pool of physics records at exit.
#pragma once

#include "ZevObjPool.h"

// Deletes one pooled item as a T (the destroy function of its pool).
template <class T> void ZevDeletePooled(void* item)
{
    delete static_cast<T*>(item);
}

// Deletes every pooled item as a T, then the pool; a pool never made is left alone.
template <class T> void ZevDrainPool(TZevPoolHeads*& pool)
{
    if (pool == nullptr)
        return;
    pool->DrainAll(ZevDeletePooled<T>);
    delete pool;
    pool = nullptr;
}
