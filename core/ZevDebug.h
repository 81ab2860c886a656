// Diagnostic log ("ZevDebug.txt") and the counting allocator behind every object of our own classes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

// Program-wide allocation counters, compared by the report written at exit.
extern std::atomic<std::int32_t> NewCount;
extern std::atomic<std::int32_t> DeleteCount;

// Counting allocation: NewCount + 1 for every block the heap gives (a failed allocation is not counted and
// yields null). ZevFree(nullptr) does nothing and is not counted.
void* ZevAlloc(std::size_t size);
void ZevFree(void* p);

// Counting of a block that a pool of its own hands out (its memory taken from the heap in larger pieces, which are
// not counted themselves): false for an allocation that must fail (see ZevFailAllocationAfter), otherwise
// NewCount + 1. Its return to the pool is counted by ZevCountFree (DeleteCount + 1).
bool ZevCountAlloc();
void ZevCountFree();

// The allocation behind operator new of our classes: never yields null. When the heap has nothing left it writes a
// line to the log and throws std::bad_alloc, so a constructor never runs on a null object.
void* ZevAllocObject(std::size_t size);

// Testing aid: the allocation after the next `successes` ones fails (as if the heap were exhausted); a negative
// value switches the failure off again.
void ZevFailAllocationAfter(int successes);

// Appends the text as it is (no newline added) to "ZevDebug.txt"; opened and closed per call.
void ZevDebugLog(const char* text);
// Empties "ZevDebug.txt".
void ZevDebugReset();
// Appends "NewCount = %d DeleteCount = %d \n" (and "Don't Match!\n" when they differ) to "ZevMemoryCheck2.txt".
void WriteAllocationReport();
// Appends "<sourceFile> inited.\n" to the log: each core source file announces itself at start-up.
void ZevLogInited(const char* sourceFile);

// Start-up of this file: empties the log, announces itself, empties "ZevMemoryCheck2.txt" and arranges for
// WriteAllocationReport at exit. Runs once; later calls do nothing.
void ZevDebugInit();

// Start-up of the whole core library in its fixed order (log, pools, class registry, bitmaps). Programs call it
// first thing in main; it runs once, later calls do nothing.
void ZevCoreInit();

// Base of every class whose objects are counted: new and delete go through ZevAllocObject / ZevFree.
// A class with two such bases picks one with `using Base::operator new; using Base::operator delete;`.
struct TZevAllocated {
    static void* operator new(std::size_t size) { return ZevAllocObject(size); }
    static void* operator new[](std::size_t size) { return ZevAllocObject(size); }
    static void operator delete(void* p) noexcept { ZevFree(p); }
    static void operator delete[](void* p) noexcept { ZevFree(p); }
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};
