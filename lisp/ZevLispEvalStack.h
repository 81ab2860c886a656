// The stack that deep evaluation runs on.
//
// Scripts recurse through the machine stack (a builtin evaluates its arguments by calling the evaluator again), so
// the depth they reach is what the stack holds. A thread's own stack is small and its size is not ours to choose;
// when evaluation has used most of it, evaluation goes on on a large stack of its own. The switch happens on the
// same thread (a context switch, not a thread): the program-wide lock taken around evaluation stays held, and the
// thread-local pools of the builtins stay the same (TZevSideStack of the platform layer). This file keeps the policy:
// when to switch, how much room to keep, and what to give back.
#pragma once

#include <cstddef>
#include <cstdint>

class TZevLispEvalStack {
public:
    // Address space reserved for a thread's evaluation stack (the first size that can be had is taken). Pages are
    // used only as deep evaluation reaches them and are given back when it returns.
    static constexpr std::size_t ReservedSizes[] = {std::size_t(1) << 30, std::size_t(256) << 20};
    // Room kept free at the bottom of the evaluation stack, for what a builtin runs without evaluating again (a
    // world step called from a script, loading a file).
    static constexpr std::size_t BottomReserve = std::size_t(8) << 20;
    // Pages at the top of the evaluation stack kept when deep evaluation returns (the depth that recursion a few
    // ten thousand levels deep reuses); the pages below them go back to the system.
    static constexpr std::size_t KeptSize = std::size_t(32) << 20;

    // Whether the stack in use has room for another level of evaluation: one compare against a limit kept per
    // thread (the first call on a thread finds its stack's bounds).
    static bool HasRoom()
    {
        const auto sp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        return sp >= Limit || FindThreadLimit(sp);
    }

    // Runs fn(arg) on this thread's evaluation stack and returns true; false, without running it, when evaluation
    // already runs there or no evaluation stack can be had. An exception that fn lets out reaches the caller.
    static bool Run(void (*fn)(void*), void* arg);

private:
    // Sets Limit from the bounds of the thread's own stack (once per thread); whether sp is above it.
    static bool FindThreadLimit(std::uintptr_t sp);

    // Lowest address the stack in use may reach; the highest address until the thread's stack has been looked at.
    static inline thread_local std::uintptr_t Limit = UINTPTR_MAX;
};
