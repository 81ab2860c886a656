// Static type records of the collision classes. The collision code does not use the language's run-time type
// information: every node and tree keeps a pointer to its class's record, a type test compares that pointer, and
// the narrow phase dispatches on the record's kind and reads its vertex count.
#pragma once

#include "ZevString.h"

#include <atomic>
#include <cstdint>

class TZevTypeInfo {
public:
    // Stores the name and takes the next running number.
    explicit TZevTypeInfo(const char* className);
    TZevTypeInfo(const TZevTypeInfo&) = delete;
    TZevTypeInfo& operator=(const TZevTypeInfo&) = delete;

    TZevString name;
    std::int32_t number;
    std::int32_t kind = 0;        // narrow-phase dispatch kind: tree 0, face 1, edge 2, point 3
    std::int32_t vertexCount = 0; // mesh vertices of one leaf of this class
};

// Program-wide counter of the running numbers (0 at start, + 1 per record).
extern std::int32_t TypeInfoCounter;

// The nine records of the collision classes, created together in this fixed order on first use, so that their
// numbers are 0 to 8 whoever asks first.
enum EZevCollisionType : int {
    ZevTypeBBoxTree,      // inner box nodes
    ZevTypeFaceBox,       // no objects
    ZevTypeFaceBoxVec,    // no objects
    ZevTypeFaceBoxVecT,   // face leaves
    ZevTypeEdgeBoxVecT,   // edge leaves
    ZevTypePointBoxVecT,  // point leaves
    ZevTypeFMCTTree,      // box-node type of every collision tree; object type of plain trees
    ZevTypeLandCTree,     // object type of land trees
    ZevTypeGameChara,     // object type of game characters
    ZevCollisionTypeCount
};

// The first of the records once they exist (every type test reads it: it must cost no call).
extern std::atomic<TZevTypeInfo*> ZevCollisionTypeRecords;
TZevTypeInfo* ZevMakeCollisionTypeRecords();

inline TZevTypeInfo* ZevCollisionTypeInfo(EZevCollisionType type)
{
    TZevTypeInfo* records = ZevCollisionTypeRecords.load(std::memory_order_relaxed);
    if (records == nullptr)
        records = ZevMakeCollisionTypeRecords();
    return records + type;
}

// Start-up of the records (creates them now, fixing their numbers); later calls do nothing.
void ZevTypeInfoInit();

// Fills the kinds and vertex counts the narrow-phase table dispatches on (face 1/3, edge 2/2, point 3/1).
// Until then every record has kind 0 and vertex count 0.
void ZevSetCollisionKinds();
