#include "LispEvalStack.h"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#define QE_ASAN_FIBERS 1
#endif

namespace {

#if QE_ASAN_FIBERS
// The address sanitizer's stand-in for swapcontext warns once in every program that switches; the switches here
// are announced to it through the fiber calls, so the C library's own function is called.
using TSwapContext = int (*)(ucontext_t*, const ucontext_t*);
TSwapContext SwapContext()
{
    static const TSwapContext swap = [] {
        void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        void* found = libc ? dlsym(libc, "swapcontext") : nullptr;
        return found ? reinterpret_cast<TSwapContext>(found) : &swapcontext;
    }();
    return swap;
}
#endif

// The evaluation stack of one thread, reserved on first use and unmapped when the thread ends.
struct TEvalStackState {
    char* Base = nullptr; // lowest address; its first page is a guard page
    std::size_t Size = 0;
    bool Unavailable = false; // no reservation could be had: evaluation stays on the thread's stack
    bool Running = false;
    bool ThreadLimitKnown = false;
    std::uintptr_t ThreadLimit = 0;

    ucontext_t Caller{};
    ucontext_t Callee{};
    void (*Fn)(void*) = nullptr;
    void* Arg = nullptr;
    std::exception_ptr Error;
#if QE_ASAN_FIBERS
    const void* CallerBottom = nullptr;
    std::size_t CallerSize = 0;
#endif

    ~TEvalStackState()
    {
        if (Base)
            munmap(Base, Size);
    }

    bool Reserve()
    {
        if (Base || Unavailable)
            return Base != nullptr;
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        for (std::size_t size : TZevLispEvalStack::ReservedSizes) {
            void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1,
                           0);
            if (p == MAP_FAILED)
                continue;
            // A guard page: running past the reserve faults instead of writing over whatever lies below.
            mprotect(p, page, PROT_NONE);
            Base = static_cast<char*>(p);
            Size = size;
            return true;
        }
        Unavailable = true;
        return false;
    }
};

thread_local TEvalStackState tState;

void Trampoline()
{
    TEvalStackState& s = tState;
#if QE_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(nullptr, &s.CallerBottom, &s.CallerSize);
#endif
    try {
        s.Fn(s.Arg);
    } catch (...) {
        // No exception may leave this context: it has no frame to unwind into.
        s.Error = std::current_exception();
    }
#if QE_ASAN_FIBERS
    // This run of the stack ends here (uc_link resumes the caller).
    __sanitizer_start_switch_fiber(nullptr, s.CallerBottom, s.CallerSize);
#endif
}

} // namespace

bool TZevLispEvalStack::FindThreadLimit(std::uintptr_t sp)
{
    TEvalStackState& s = tState;
    if (!s.ThreadLimitKnown) {
        s.ThreadLimitKnown = true;
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* addr = nullptr;
            std::size_t size = 0;
            if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size > 0 && size < (std::size_t(1) << 40))
                s.ThreadLimit =
                    reinterpret_cast<std::uintptr_t>(addr) + std::max<std::size_t>(size / 8, 256 * 1024);
            pthread_attr_destroy(&attr);
        }
        if (!s.Running)
            Limit = s.ThreadLimit;
    }
    return sp >= Limit;
}

bool TZevLispEvalStack::Run(void (*fn)(void*), void* arg)
{
    TEvalStackState& s = tState;
    if (s.Running || !s.Reserve())
        return false;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (getcontext(&s.Callee) != 0)
        return false;
    s.Callee.uc_stack.ss_sp = s.Base;
    s.Callee.uc_stack.ss_size = s.Size;
    s.Callee.uc_link = &s.Caller;
    makecontext(&s.Callee, Trampoline, 0);
    s.Fn = fn;
    s.Arg = arg;
    s.Error = nullptr;

    const std::uintptr_t outerLimit = Limit;
    Limit = reinterpret_cast<std::uintptr_t>(s.Base) + page + BottomReserve;
    s.Running = true;
#if QE_ASAN_FIBERS
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(&fakeStack, s.Base, s.Size);
#endif
#if QE_ASAN_FIBERS
    const int switched = SwapContext()(&s.Caller, &s.Callee);
#else
    const int switched = swapcontext(&s.Caller, &s.Callee);
#endif
#if QE_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
#endif
    s.Running = false;
    Limit = outerLimit;
    // The pages that very deep evaluation used go back to the system.
    if (s.Size > page + KeptSize)
        madvise(s.Base + page, s.Size - page - KeptSize, MADV_DONTNEED);
    if (switched != 0)
        return false;
    if (s.Error) {
        std::exception_ptr error = s.Error;
        s.Error = nullptr;
        std::rethrow_exception(error);
    }
    return true;
}
