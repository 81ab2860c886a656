// What every fuzz target shares: start-up of the whole engine, a log that stays small over a long campaign, and a
// check that stops the run on a broken promise (a crash of the reader is found by the sanitizers; a result that
// breaks what the reader promises is found here).
#pragma once

#include "ZevDebug.h"
#include "ZevEngineInit.h"

#include <cstdio>
#include <cstdlib>

// Start-up of every subsystem the targets reach, once.
inline void FuzzInit()
{
    ZevEngineInit();
}

// Called once per input: the debug log gets a line for most refused inputs; it is emptied now and then.
inline void FuzzInputDone()
{
    static unsigned inputs = 0;
    if (++inputs % 4096 == 0)
        ZevDebugReset();
}

// Stops the run with a message when `condition` does not hold: the input is kept as a crasher.
#define FUZZ_CHECK(condition)                                                                                        \
    do {                                                                                                             \
        if (!(condition)) {                                                                                          \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                 \
            std::abort();                                                                                            \
        }                                                                                                            \
    } while (0)
