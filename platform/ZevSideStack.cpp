#include "ZevSideStack.h"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <exception>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#define QE_ASAN_FIBERS 1
#endif

namespace {

std::size_t PageSize()
{
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

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

// What the function started on the side stack needs: makecontext passes no pointer portably, so it is found
// through the thread.
struct TSwitch {
    ucontext_t Caller{};
    ucontext_t Callee{};
    void (*Fn)(void*) = nullptr;
    void* Arg = nullptr;
    std::exception_ptr Error;
#if QE_ASAN_FIBERS
    const void* CallerBottom = nullptr;
    std::size_t CallerSize = 0;
#endif
};

thread_local TSwitch* tSwitch = nullptr;

void Trampoline()
{
    TSwitch& s = *tSwitch;
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

TZevSideStack::~TZevSideStack()
{
    if (Base)
        munmap(Base, Size);
}

bool TZevSideStack::Reserve(const std::size_t* sizes, std::size_t count)
{
    if (Base)
        return true;
    for (std::size_t i = 0; i < count; ++i) {
        void* p = mmap(nullptr, sizes[i], PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1,
                       0);
        if (p == MAP_FAILED)
            continue;
        // A guard page: running past the reserve faults instead of writing over whatever lies below.
        mprotect(p, PageSize(), PROT_NONE);
        Base = static_cast<char*>(p);
        Size = sizes[i];
        return true;
    }
    return false;
}

std::uintptr_t TZevSideStack::Lowest() const
{
    return Base ? reinterpret_cast<std::uintptr_t>(Base) + PageSize() : 0;
}

bool TZevSideStack::Run(void (*fn)(void*), void* arg)
{
    if (!Base || Running)
        return false;
    TSwitch s;
    if (getcontext(&s.Callee) != 0)
        return false;
    s.Callee.uc_stack.ss_sp = Base;
    s.Callee.uc_stack.ss_size = Size;
    s.Callee.uc_link = &s.Caller;
    makecontext(&s.Callee, Trampoline, 0);
    s.Fn = fn;
    s.Arg = arg;

    // A function on another side stack of this thread may start this one: the outer switch is kept.
    TSwitch* const outer = tSwitch;
    tSwitch = &s;
    Running = true;
#if QE_ASAN_FIBERS
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(&fakeStack, Base, Size);
    const int switched = SwapContext()(&s.Caller, &s.Callee);
    __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
#else
    const int switched = swapcontext(&s.Caller, &s.Callee);
#endif
    Running = false;
    tSwitch = outer;
    if (switched != 0)
        return false;
    if (s.Error)
        std::rethrow_exception(s.Error);
    return true;
}

void TZevSideStack::Trim(std::size_t kept)
{
    const std::size_t page = PageSize();
    if (Base && !Running && Size > page + kept)
        madvise(Base + page, Size - page - kept, MADV_DONTNEED);
}

bool ZevThreadStackBounds(std::uintptr_t* lowest, std::size_t* size)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return false;
    void* addr = nullptr;
    std::size_t bytes = 0;
    const bool ok = pthread_attr_getstack(&attr, &addr, &bytes) == 0 && addr && bytes > 0;
    pthread_attr_destroy(&attr);
    if (!ok)
        return false;
    *lowest = reinterpret_cast<std::uintptr_t>(addr);
    *size = bytes;
    return true;
}
