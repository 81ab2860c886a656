#include "ZevLispEvalStack.h"

#include "ZevSideStack.h"

#include <algorithm>
#include <iterator>

namespace {

// The evaluation stack of one thread, reserved on first use and given back when the thread ends.
struct TEvalStackState {
    TZevSideStack Stack;
    bool Unavailable = false; // no reservation could be had: evaluation stays on the thread's stack
    bool Running = false;
    bool ThreadLimitKnown = false;
    std::uintptr_t ThreadLimit = 0;

    bool Reserve()
    {
        if (Stack.IsReserved() || Unavailable)
            return Stack.IsReserved();
        if (!Stack.Reserve(TZevLispEvalStack::ReservedSizes, std::size(TZevLispEvalStack::ReservedSizes)))
            Unavailable = true;
        return !Unavailable;
    }
};

thread_local TEvalStackState tState;

} // namespace

bool TZevLispEvalStack::FindThreadLimit(std::uintptr_t sp)
{
    TEvalStackState& s = tState;
    if (!s.ThreadLimitKnown) {
        s.ThreadLimitKnown = true;
        std::uintptr_t lowest = 0;
        std::size_t size = 0;
        if (ZevThreadStackBounds(&lowest, &size) && size < (std::size_t(1) << 40))
            s.ThreadLimit = lowest + std::max<std::size_t>(size / 8, 256 * 1024);
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
    // Restored however the run ends, and the pages that very deep evaluation used go back to the system.
    struct TRestore {
        TEvalStackState& s;
        std::uintptr_t outerLimit;
        ~TRestore()
        {
            s.Running = false;
            Limit = outerLimit;
            s.Stack.Trim(KeptSize);
        }
    } restore{s, Limit};
    Limit = s.Stack.Lowest() + BottomReserve;
    s.Running = true;
    return s.Stack.Run(fn, arg);
}
