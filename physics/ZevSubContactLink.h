// Sub-contact: one edge of an edge-edge contact. Its PointA lies on the face next to the edge against which the
// depth is measured, its PointB on the other body's edge; the contact response reads each sub-contact's points
// and depth. The contact link that owns it remakes it at every accepting run of the edge contact geometry.
#pragma once

#include "ZevBBoxTree.h"
#include "ZevLineAligned.h"
#include "ZevPhscs2Link.h"

#include <cstdint>

// Final: the re-tests call Update through this type without reading the object's vtable pointer, which lies on a
// cache line that the passes otherwise leave alone.
class TZevSubContactLink final : public TZevPhscs2Link, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevSubContactLink() = default;
    ~TZevSubContactLink() override = default;

    // Back to the calling thread's SubContactPool; nothing else is touched. A second release is ignored, so that
    // the object is never handed out twice.
    void Release() override;
    // PointA at (U, V) on Face, PointB at T on OtherEdge, both at the current positions; nothing without a face.
    void Update() override;
    // Every field as after construction, out of the pool: a sub-contact taken again must carry nothing of the
    // contact it served before (without a face its points stay as they start).
    void Reset();
    // Reset for a sub-contact that its link dropped and takes again: while a link holds a sub-contact only Update
    // (the points), the contact geometry and the estimates (face, edges, parameters, depths) write it, so only
    // the points, parameters and depths go back; the binding (Face, Edge, OtherEdge, PrevT) stays for the
    // geometry to keep or remake, and the others still hold what Reset or the constructor gave them. A whole
    // Reset writes all six cache lines of an object that the re-test otherwise touches in two.
    void Renew();

    // What Update and the contact geometry's every run write or read lies in the line after the base's fields (the
    // object starts on a line): Face's current-array pointer and corners, OtherEdge's and its ends, as the
    // geometry found them, so that Update reads neither leaf (FaceArray is null while Face is, EdgeArray while
    // OtherEdge is); the parameters and depths; and which edge of its link (1 + k) and which face of that edge
    // (1 + j) Face, Edge and OtherEdge in the next line stand for, 0 when they stand for none, so that a run
    // binding the sub-contact as the last one did leaves that line alone.
    TZevVector** FaceArray = nullptr;
    TZevVector** EdgeArray = nullptr;
    std::uint16_t FaceCorners[3] = {};
    std::uint16_t EdgeEnds[2] = {};
    std::uint8_t BoundEdge = 0;
    std::uint8_t BoundFace = 0;
    float U = 0.0f;
    float V = 0.0f;
    float T = 0.0f;
    float Depth = 0.0f;
    float PrevDepth = 0.0f;
    TZevFaceBoxVecT* Face = nullptr; // the face whose plane the depth is measured against, or null
    TZevEdgeBoxVecT* Edge = nullptr;
    TZevEdgeBoxVecT* OtherEdge = nullptr;
    float PrevT = 0.0f;              // T before the last re-projection; 0 from a new binding
    std::int32_t InPool = 0;
    std::int32_t Reserved0 = 0;
    std::int32_t Reserved1 = 0;
};

// The first free sub-contact of the calling thread's pool, or a new one (current force 0, depth 0). Null only
// when the allocation fails.
TZevSubContactLink* AllocSubContact();

// Depth of a sub-contact seen as a link (0 for null).
float ZevSubContactDepth(const TZevPhscs2Link* sub);

// Start-up of the sub-contact pool; later calls do nothing.
void ZevSubContactInit();
// Number of sub-contacts waiting in the calling thread's pool.
int ZevSubContactPoolSize();
