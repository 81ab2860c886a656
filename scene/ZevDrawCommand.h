// One queued drawing call of a frame, kept until the device renderer replays it. Commands are recycled through
// per-thread free lists, so that a frame's drawing allocates nothing once the lists are warm.
#pragma once

#include "ZevList.h"
#include "ZevMath.h"

#include <cstdint>

class TZevMeshData;
class TZevQueuedRenderer;
class TZevTextureName;
struct TZevMaterial;
struct TZevPoint2D;

class TZevDrawCommand : public TZevAllocated {
public:
    // Kinds; 5 is not used.
    enum : std::int32_t {
        KindPolyline = 0,
        KindPolylineColor = 1,
        KindLineList = 2,
        KindLines3D = 3,
        KindMaterialMesh = 4,
        KindLitMesh = 6,
    };

    TZevDrawCommand() = default;
    // Gives its records back to their pools and frees its point buffer.
    virtual ~TZevDrawCommand();
    TZevDrawCommand(const TZevDrawCommand&) = delete;
    TZevDrawCommand& operator=(const TZevDrawCommand&) = delete;

    // Copies the caller's points into the command's own buffer (kept and reused across frames): the caller's array
    // may be gone by the time the command is replayed.
    void SetPoints(const TZevPoint2D* points, int count);
    // Gives the copied line records back to their pools and empties Items.
    void FreePoints();
    // Draws the command through the renderer's immediate operation for its kind.
    void Replay(TZevQueuedRenderer* renderer);
    // Every field back to its empty value (the point buffer is kept for reuse).
    void Reset();

    std::int32_t Kind = KindPolyline;
    TZevPoint2D* Points = nullptr; // kinds 0 and 1: the command's copy
    std::int32_t PointCount = 0;
    std::uint32_t Color = 0;       // kind 1
    TZevList Items;                // kinds 2 and 3: copied TZevLineRecord / TZevSegmentRecord
    TZevTextureName* Arg1 = nullptr;      // kinds 4 and 6: the texture entry
    const TZevMaterial* Arg2 = nullptr;   // kind 4: the material
    TZevMatrix Matrix;                    // kinds 3, 4 and 6
    TZevMeshData* LitMesh = nullptr;      // kind 4: a polygon mesh, lit by the device with its material
    TZevMeshData* PlainMesh = nullptr;    // kind 6: a pre-lit mesh
    // The renderer's additive, translucent and shadow-volume states when the command was queued.
    std::int32_t State1 = 0;
    std::int32_t State2 = 0;
    std::int32_t State3 = 0;
    std::int32_t PointCapacity = 0;
};

// A command from the calling thread's free list, or a new one; all fields empty.
TZevDrawCommand* TakeDrawCommand();
// Gives the command's records back and keeps it on the calling thread's free list (deleted when the thread has no
// pool slot). Null is ignored.
void ZevDrawCommandRelease(TZevDrawCommand* command);
// Kind 2: every copied line record back to the 20-byte pool; kind 3: every segment record to the 28-byte pool; then
// the Items list is emptied (its nodes go to the calling thread's list-node pool).
void FreeDrawCommandItems(TZevDrawCommand* command);
// At exit: deletes every command kept on the free lists (later releases delete directly).
void ZevFreeDrawCommandPools();
// Commands kept on the calling thread's free list.
int ZevDrawCommandPoolCount();
