// Per-thread pools of the 20-byte 2D line records and 28-byte 3D segment records that line lists of the
// renderer and of the line mesh are made of. A record may be released by another thread than the one
// that took it; it then joins the releasing thread's list.
#pragma once

#include <cstdint>

// Colour word and x1, y1, x2, y2: the layout the renderer's line-list drawing reads.
struct TZevLineRecord {
    uint32_t Color;
    float x1, y1, x2, y2;
};

// Colour word, start and end point.
struct TZevSegmentRecord {
    uint32_t Color;
    float x1, y1, z1;
    float x2, y2, z2;
};

static_assert(sizeof(TZevLineRecord) == 20 && sizeof(TZevSegmentRecord) == 28, "record sizes");

// A record of the calling thread's free list, or a new one (uncounted only if the heap fails: then null).
void* ZevPool20Alloc();
void* ZevPool28Alloc();
// Keeps the record on the calling thread's free list (frees it when the thread has no pool slot).
void ZevPool20Release(void* record);
void ZevPool28Release(void* record);
// At exit: frees every record of all 8 lists.
void ZevFreePool20();
void ZevFreePool28();
