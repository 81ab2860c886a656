// The program-wide lock: whoever steps, draws or evaluates scripts holds it, so a frame never overlaps an
// evaluation. Recursive, because a holder may re-enter through callbacks (a script loading a script).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class TZevCriticalSection {
public:
    constexpr TZevCriticalSection() = default;
    TZevCriticalSection(const TZevCriticalSection&) = delete;
    TZevCriticalSection& operator=(const TZevCriticalSection&) = delete;

    void Enter()
    {
        Mutex.lock();
        Entered();
    }
    void Leave()
    {
        if (--Depth == 0)
            Owner.store(0, std::memory_order_relaxed);
        Mutex.unlock();
    }
    bool TryEnter()
    {
        if (!Mutex.try_lock())
            return false;
        Entered();
        return true;
    }
    // Whether the calling thread holds the section: a thread that does must not wait for another thread that
    // needs it (joining a render thread, for one).
    bool IsHeldByCurrentThread() const { return Owner.load(std::memory_order_relaxed) == ThreadToken(); }

private:
    // A number of the calling thread's own, never 0 and never another live thread's.
    static std::uintptr_t ThreadToken()
    {
        static thread_local char marker;
        return reinterpret_cast<std::uintptr_t>(&marker);
    }
    void Entered()
    {
        if (Depth++ == 0)
            Owner.store(ThreadToken(), std::memory_order_relaxed);
    }

    std::recursive_mutex Mutex;
    std::atomic<std::uintptr_t> Owner{0}; // the holder's token, 0 while free
    int Depth = 0;                        // written by the holder only
};

// Leaves the section when the scope ends; entering is done by the creator (or by the entering constructor).
class TZevCriticalSectionLock {
public:
    explicit TZevCriticalSectionLock(TZevCriticalSection* section) : Section(section) {}
    TZevCriticalSectionLock(TZevCriticalSection* section, bool enter) : Section(section)
    {
        if (enter)
            Section->Enter();
    }
    ~TZevCriticalSectionLock() { Section->Leave(); }
    TZevCriticalSectionLock(const TZevCriticalSectionLock&) = delete;
    TZevCriticalSectionLock& operator=(const TZevCriticalSectionLock&) = delete;

private:
    TZevCriticalSection* Section;
};

// Constant-initialised, so it is usable from any start-up code whatever the order of static initialisation.
extern TZevCriticalSection GlobalLock;
