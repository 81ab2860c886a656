// What every fuzz target shares: start-up of the whole engine, a log that stays small over a long campaign, and a
// check that stops the run on a broken promise (a crash of the reader is found by the sanitizers; a result that
// breaks what the reader promises is found here).
#pragma once

#include "ZevDebug.h"
#include "QEInit.h"
#include "ZevLisp.h"
#include "ZevStream.h"
#include "qe.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Start-up of every subsystem the targets reach, once.
inline void FuzzInit()
{
    ZevEngineInit();
}

// The start-up of a target that needs nothing more than the engine.
#define FUZZ_DEFAULT_INITIALIZE()                                                                                    \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                               \
    {                                                                                                                \
        FuzzInit();                                                                                                  \
        return 0;                                                                                                    \
    }

// The input as a stream; false for an input larger than a stream holds.
inline bool FuzzStream(TZevBufferStream& stream, const uint8_t* data, size_t size)
{
    if (size > size_t(INT32_MAX))
        return false;
    stream.SetData(data, int32_t(size));
    return true;
}

// A physics-only world and a script host of class H as the program's host (engine objects in values and scripts
// are made in that world), ended at exit as a program ends them: the world while the host is still there.
template <class H> H* FuzzStartHost()
{
    static H* host = nullptr;
    QE_PhOnlyInit();
    host = new H;
    host->Init();
    LispHost = host;
    std::atexit([] {
        QE_PhOnlyFinal();
        LispHost = nullptr;
        delete host;
        host = nullptr;
    });
    return host;
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
