// Contact link: joins the two points of a contact between a face of one body and a point or edge of another.
// It owns the contact's two records (taken over from the collision pass), is listed by both primitives, both
// dynamic objects, both bodies and the world's pass lists, and lasts from step to step until the contact pass
// finds it inactive.
#pragma once

#include "ZevFMCTTree.h"
#include "ZevLineAligned.h"
#include "ZevPhscs2Link.h"
#include "ZevSubContactLink.h"

#include <cstdint>

class TZevPhscs2World;
class TZevXPhObj;

// One edge leaf of an edge contact as the re-tests read it: its two faces with their corners, the vertex arrays of
// the three, and the edge's ends. A leaf keeps its faces and its corners from its tree's build to its end, so a
// link copies them once instead of visiting seven leaves at every re-test.
struct TZevEdgeSide {
    const TZevEdgeBoxVecT* edge = nullptr; // the leaf read; null before the first read
    TZevFaceBoxVecT* faces[2] = {};        // face0 and face1 of the edge, either null
    TZevVector** arrays[3] = {};           // current-array pointers of faces[0], faces[1] and the edge
    std::uint16_t corners[2][3] = {};      // i0, i1, i2 of each face
    std::uint16_t ends[2] = {};            // i0, i1 of the edge

    // Reads the leaf (null clears the side).
    void Read(const TZevEdgeBoxVecT* leaf);
};

// Final: the re-tests call Update through this type without reading the object's vtable pointer, which lies on a
// cache line that the passes otherwise leave alone.
class TZevContactLink final : public TZevPhscs2Link, public TZevLineAligned {
public:
    using TZevLineAligned::operator new;
    using TZevLineAligned::operator delete;

    TZevContactLink();
    ~TZevContactLink() override = default;

    // Leaves every list that names it, gives both records and the sub-contacts back, drops the pair reference
    // and goes back to the calling thread's pool. A second release is only logged: the link is in its pool
    // already and must not be handed out twice.
    void Release() override;
    // The older force history takes the previous one, UV and DeltaUV their previous copies, then the base.
    void Advance() override;
    // PointA and PointB on the two records' primitives at the current positions; then the sub-contacts.
    void Update() override;
    // The two halves of Update, for a re-test that may skip the second: an edge contact's geometry, once it drops
    // its sub-contacts, remakes them with their points cleared, so their Update would be lost work.
    void UpdatePoints();
    void UpdateSubContacts();

    // Every field as after construction (a link taken from the pool starts this way).
    void Reset();
    // An edge-edge contact carries sub-contacts; a face-point contact none.
    bool HasSubContacts() const { return SubContacts[0] != nullptr || SubContacts[1] != nullptr; }
    // The dynamic objects at the two ends (null when a side has none) and the bodies of the two records.
    TZevPhscs2Obj* PartA() const
    {
        return (RecordA != nullptr && RecordA->node != nullptr) ? RecordA->node->object : nullptr;
    }
    TZevPhscs2Obj* PartB() const
    {
        return (RecordB != nullptr && RecordB->node != nullptr) ? RecordB->node->object : nullptr;
    }
    TZevXPhObj* BodyA() const;
    TZevXPhObj* BodyB() const;

    // What the satisfy pass reads and writes for every link in every iteration (the parts, the re-test, the depth
    // test) lies together, right after the base's fields, so that a walk over links scattered in memory fetches a
    // few cache lines of each rather than most of the object: with the object on a line boundary, the parts, the
    // records and the sub-contacts fill the rest of the base's last line, the re-test's state the next line, what
    // the pass reads at its start, the trees and the spare sub-contacts the one after, and an edge contact's two
    // sides a line each.
    // PartA and PartB as the satisfy pass in progress read them at its start (the records' leaves keep their
    // objects through a step).
    TZevPhscs2Obj* SatisfyPartA = nullptr;
    TZevPhscs2Obj* SatisfyPartB = nullptr;
    TZevFMCTree_CFaceData* RecordA = nullptr; // the face side, or the first edge
    TZevFMCTree_CFaceData* RecordB = nullptr;
    // The sub-contacts of an edge-edge contact: the first belongs to RecordA's edge, the second to RecordB's.
    TZevSubContactLink* SubContacts[2] = {};
    std::int32_t Active = 0;
    std::int32_t Keep = 1;
    std::int32_t RetestNeeded = 0;
    float Depth = 0.0f;
    float PrevDepth = 0.0f;
    TZevVector Separation;                  // PointB - PointA as last accepted
    // The re-test round of the world in which the link was last re-tested, with the vertex versions of the two
    // records' trees then; 0 once anything but a re-test has changed the link.
    std::uint32_t RetestRound = 0;
    std::uint32_t RetestVersionA = 0;
    std::uint32_t RetestVersionB = 0;
    // Whether the body-attached boxes of the two primitives met at the last re-test, with the box versions of the
    // two records' trees then (-1: not known). The boxes move only with the contact estimates, so from one satisfy
    // iteration to the next the answer stays.
    std::int32_t BoxesMet = -1;
    std::uint32_t BoxesVersionA = 0;
    std::uint32_t BoxesVersionB = 0;
    std::uint32_t PassIndex = 0;            // its place in the arrays of the satisfy pass in progress
    std::int32_t EdgeContact = 0;           // RecordA stands on an edge
    // What the satisfy pass read at its start from the collision links of the two primitives, which only the
    // contact estimates write: an edge contact's end thresholds of its two edges, a face-point contact's point
    // motion. They stand for the collision links' values in the pass's re-test round (PassReadRound) while both
    // trees keep the box versions they had then; a re-test reads the collision links themselves otherwise.
    float EndThresholds[2] = {};
    TZevVector PointMotion;
    std::uint32_t PassReadRound = 0;
    std::uint32_t PassReadBoxVersionA = 0;
    std::uint32_t PassReadBoxVersionB = 0;
    bool PassReadsHold() const
    {
        return RetestRound != 0 && PassReadRound == RetestRound && TreeA != nullptr && TreeB != nullptr &&
               PassReadBoxVersionA == TreeA->boxVersion && PassReadBoxVersionB == TreeB->boxVersion;
    }
    // The two records' trees, copied when the link takes the records as EdgeContact is (a record keeps its tree
    // and its leaf while a link holds it): the re-test's first look, whether its last answer still holds, then
    // reads the link and the two trees and not the records.
    TZevFMCTTree* TreeA = nullptr;
    TZevFMCTTree* TreeB = nullptr;
    // Sub-contacts the geometry dropped, kept for its next run (owned; released with the link).
    TZevSubContactLink* SpareSubContacts[2] = {};
    // What the edge contact's geometry reads of each edge (the first of RecordA's, the second of RecordB's) and
    // of the faces beside it, copied from the leaves the first time it meets the edge.
    TZevEdgeSide EdgeSides[2];

    std::int32_t released = 0;
    std::int32_t LawState = 0;          // state word of the contact force law
    TZevListNode* PartnerNodeA = nullptr;
    TZevListNode* PartnerNodeB = nullptr;
    TZevListNode* OwnerNodeA = nullptr; // in the OwnedRecords of RecordA's tree
    TZevListNode* OwnerNodeB = nullptr;
    TZevListNode* PrimitiveNodeA = nullptr; // in the contact-link list of each primitive
    TZevListNode* PrimitiveNodeB = nullptr;
    TZevListNode* ObjectNodeA = nullptr;    // in the ContactLinks of each dynamic object
    TZevListNode* ObjectNodeB = nullptr;
    TZevListNode* NewNode = nullptr;        // in the world's NewContactLinks
    float HorizontalDamper = 0.0f;
    float PrevUV[2] = {};
    float UV[2] = {};
    std::int32_t Initialised = 0;
    float DeltaUV[2] = {};
    float PrevDeltaUV[2] = {};
};

// A contact link from the calling thread's pool, or a new one, as after construction (in use).
TZevContactLink* NewContactLink();

// The point of a record on its primitive: (1 - u - v) corner 0 + u corner 1 + v corner 2, at the current or at
// the previous positions.
TZevVector GetFacePoint(const TZevFMCTree_CFaceData& record);
TZevVector GetFacePointPrev(const TZevFMCTree_CFaceData& record);

// The contact link between two dynamic objects, looked up in the ContactLinks of the one created first; its Keep
// flag is set. Null when there is none.
TZevContactLink* FindContactLink(TZevPhscs2Obj* a, TZevPhscs2Obj* b);

// The motion of a point record's vertex as its layer-2 body box keeps it (from the inset point out to the
// vertex); zero without a collision link.
TZevVector ZevPointMotion(const TZevFMCTree_CFaceData* pointRecord);
// Reads into the link what PassReadsHold covers, for the re-test round `round` (not 0).
void ZevReadPassConstants(TZevContactLink* link, std::uint32_t round);

// Does the face-point contact of the link hold at the current positions? The face record takes the unit face
// normal, the point record its negation, the link the new depth (the old one in PrevDepth). False for a
// degenerate face and when the point's vertex normal (the offset of its layer-2 body box) points along the face
// normal, i.e. the bodies separate; otherwise true while the point lies on or under the face plane.
bool ContactNormalFacePoint(TZevPhscs2World* world, TZevFMCTree_CFaceData* faceRecord,
                            TZevFMCTree_CFaceData* pointRecord, TZevContactLink* link);

// Start-up of the contact-link pool; later calls do nothing.
void ZevContactLinkInit();
// Number of links waiting in the calling thread's pool.
int ZevContactLinkPoolSize();
