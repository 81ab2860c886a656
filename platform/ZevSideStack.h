// A stack of its own to run a function on, on the same thread: a context switch, not a thread, so that the locks
// the thread holds stay held and its thread-local state stays the same.
#pragma once

#include <cstddef>
#include <cstdint>

class TZevSideStack {
public:
    TZevSideStack() = default;
    TZevSideStack(const TZevSideStack&) = delete;
    TZevSideStack& operator=(const TZevSideStack&) = delete;
    // Gives the address space back.
    ~TZevSideStack();

    // Reserves address space of the first of `sizes` that can be had, its lowest page a guard page; pages are used
    // only as the stack reaches them. False when none can be had (and when this stack holds one already, true).
    bool Reserve(const std::size_t* sizes, std::size_t count);
    bool IsReserved() const { return Base != nullptr; }
    // The lowest address that a function run here may use (above the guard page); 0 when nothing is reserved.
    std::uintptr_t Lowest() const;

    // Runs fn(arg) on this stack and returns true; false, without running it, when nothing is reserved, the stack
    // is in use already, or the switch fails. An exception that fn lets out reaches the caller.
    bool Run(void (*fn)(void*), void* arg);
    // Gives the pages below the top `kept` bytes back to the system (they read as zeros when used again).
    void Trim(std::size_t kept);

private:
    char* Base = nullptr; // lowest address; its first page is the guard page
    std::size_t Size = 0;
    bool Running = false;
};

// The lowest address and the size of the calling thread's own stack; false when they cannot be told.
bool ZevThreadStackBounds(std::uintptr_t* lowest, std::size_t* size);
