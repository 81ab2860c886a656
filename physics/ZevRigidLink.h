// Rigid link: joins a point fixed in one dynamic object to a point fixed in another and is driven towards a rest
// length (0 when made: the two points should coincide). The five links of a joint are ordinary rigid links.
#pragma once

#include "ZevPhscs2Link.h"

class TZevRigidLink : public TZevPhscs2Link {
public:
    TZevRigidLink() = default;
    ~TZevRigidLink() override = default;

    // Leaves both objects' RigidLinks lists, drops the pair reference, leaves its ring and goes back to the calling
    // thread's pool (once, however often it is released). The satisfy lists hold links only within a satisfy
    // pass, which releases none.
    void Release() override;
    // PointA and PointB from the attachment points in world space.
    void Update() override;

    // Length pass of one link: Update, then the length error, its double and the unit direction from PointA to
    // PointB (kept from before when the points coincide); the previous direction takes the old one.
    void UpdateLength();

    std::int32_t Active = 1;
    TZevPhscs2Obj* ObjectA = nullptr;
    TZevPhscs2Obj* ObjectB = nullptr;
    TZevVector AttachA; // in ObjectA's local coordinates
    TZevVector AttachB; // in ObjectB's local coordinates
    TZevListNode* NodeA = nullptr; // in ObjectA's RigidLinks
    TZevListNode* NodeB = nullptr; // in ObjectB's RigidLinks
    float Length = 0.0f;           // length minus RestLength
    float LengthError2 = 0.0f;
    TZevVector Direction;
    TZevVector PrevDirection;
    std::int32_t SatisfyListed = 0;      // in the satisfy list of its island
    // The satisfy pass that last put the link in an island (its number, 0 never) and that island's index: a link
    // is listed only by its own island of the pass in progress.
    std::uint32_t SatisfyPass = 0;
    std::uint32_t SatisfyIsland = 0;
    std::int32_t InPool = 0;             // 1 while the link waits in a pool
};

// A link between a and b from the pool, attached at attachA (a's coordinates) and attachB (b's), pushed at the
// front of both objects' RigidLinks; both its previous and current points are the attachment points in world
// space. Null, touching nothing, when either object is null.
TZevRigidLink* CreateRigidLink(TZevPhscs2Obj* a, TZevPhscs2Obj* b, const TZevVector& attachA,
                               const TZevVector& attachB);
// A rigid link from the calling thread's pool (or new), with every field as after construction. The loaders
// take their links here.
TZevRigidLink* NewRigidLink();

// Start-up of the rigid-link pool; later calls do nothing.
void ZevRigidLinkInit();
// Number of links waiting in the calling thread's pool.
int ZevRigidLinkPoolSize();
