// The program-wide lock: whoever steps, draws or evaluates scripts holds it, so a frame never overlaps an
// evaluation. Recursive, because a holder may re-enter through callbacks (a script loading a script).
#pragma once

#include <mutex>

class TZevCriticalSection {
public:
    constexpr TZevCriticalSection() = default;
    TZevCriticalSection(const TZevCriticalSection&) = delete;
    TZevCriticalSection& operator=(const TZevCriticalSection&) = delete;

    void Enter() { Mutex.lock(); }
    void Leave() { Mutex.unlock(); }
    bool TryEnter() { return Mutex.try_lock(); }

private:
    std::recursive_mutex Mutex;
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
