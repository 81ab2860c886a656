// Objects laid out by cache line: a class that orders its fields so that a hot walk touches few 64-byte lines
// takes this as a second base, so that its objects start on a line and the order holds in memory too.
#pragma once

#include "ZevDebug.h"

#include <cstddef>
#include <cstdint>
#include <new>

struct TZevLineAligned {
    static constexpr std::size_t LineSize = 64;

    // Counted like every other object (ZevAlloc); null when the allocation fails. The block from the allocator
    // is kept just before the object, which the 16-byte alignment of the allocator always leaves room for.
    static void* AllocateAligned(std::size_t size)
    {
        char* raw = static_cast<char*>(ZevAlloc(size + LineSize));
        if (raw == nullptr)
            return nullptr;
        char* object = raw + (LineSize - reinterpret_cast<std::uintptr_t>(raw) % LineSize);
        reinterpret_cast<char**>(object)[-1] = raw;
        return object;
    }
    static void FreeAligned(void* object)
    {
        if (object != nullptr)
            ZevFree(reinterpret_cast<char**>(object)[-1]);
    }

    static void* operator new(std::size_t size)
    {
        void* object = AllocateAligned(size);
        if (object == nullptr)
            throw std::bad_alloc();
        return object;
    }
    static void operator delete(void* object) noexcept { FreeAligned(object); }
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};
