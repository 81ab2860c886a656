// Emptying a pool of physics records at exit.
#pragma once

#include "ZevObjPool.h"

// Deletes every pooled item as a T, then the pool; a pool never made is left alone.
template <class T> void ZevDrainPool(TZevPoolHeads*& pool)
{
    if (pool == nullptr)
        return;
    pool->DrainAll([](void* item) { delete static_cast<T*>(item); });
    delete pool;
    pool = nullptr;
}
