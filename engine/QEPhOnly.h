// The physics-only run: a world with a root and a camera frame and no view, published as the engine context for a
// host that drives the simulation itself; and the stream handle through which a host's save and load callbacks
// move their own bytes.
#pragma once

#include "ZevDebug.h"

#include <cstdint>

class TZevFrame;
class TZevObjectIdTable;
class TZevPhscs2World;
class TZevStream;

class TZevPhOnlyContext : public TZevAllocated {
public:
    TZevPhOnlyContext() = default;
    // The world (with its bodies) first, then the root frame with the camera frame under it.
    virtual ~TZevPhOnlyContext();
    TZevPhOnlyContext(const TZevPhOnlyContext&) = delete;
    TZevPhOnlyContext& operator=(const TZevPhOnlyContext&) = delete;

    TZevPhscs2World* World = nullptr;
    TZevFrame* Root = nullptr;
    TZevFrame* Camera = nullptr; // a child of Root
    float StepSize = 0.02f;
    std::int32_t RepeatSize = 1000;
};

// The live context (null before QE_PhOnlyInit and after QE_PhOnlyFinal).
extern TZevPhOnlyContext* PhOnlyContext;
// Thousandths of a step carried over between QE_PhOnlyStep calls while the repeat size is below 1000.
extern std::int32_t RepeatAccumulator;

// The handle given to a host's save or load function: valid only while that call runs.
class TZevStreamHandle : public TZevAllocated {
public:
    TZevStreamHandle(TZevStream* stream, TZevObjectIdTable* table);
    // Takes the handle out of the set of open handles; the stream is not owned.
    virtual ~TZevStreamHandle();
    TZevStreamHandle(const TZevStreamHandle&) = delete;
    TZevStreamHandle& operator=(const TZevStreamHandle&) = delete;

    // Whether `handle` is a handle whose host call is running.
    static bool IsOpen(const void* handle);

    TZevStream* Stream;
    TZevObjectIdTable* Table;
    TZevStreamHandle* NextOpen = nullptr;
};
