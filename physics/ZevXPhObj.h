// Physics object: a collision tree that is an engine body. It adds the flags that the world step queries
// (dynamic, fixed, retest suppression, contact hit), the link to the body's dynamic state objects, the body's own
// working lists, and the teardown that detaches every link and pooled record of a body tree before the body is
// unlinked or destroyed, so that nothing refers to a body that is gone. The child trees of a body are bodies.
#pragma once

#include "ZevFMCTTree.h"
#include "ZevList.h"
#include "ZevPhscs2Obj.h"

#include <cstdint>

class TZevXPhObj : public TZevFMCTTree {
public:
    TZevXPhObj();
    // The teardown, then the lists and the tree.
    ~TZevXPhObj() override;

    // The teardown of the body tree, then the tree's own unlink from its space.
    void Unlink() override;
    virtual std::int32_t SetDynamic(std::int32_t flag);
    virtual std::int32_t IsDynamic() const { return Dynamic; }
    virtual std::int32_t SetFixed(std::int32_t flag);
    virtual std::int32_t IsFixed() const { return Fixed; }
    virtual std::int32_t SetNoRetest(std::int32_t flag);
    virtual std::int32_t IsNoRetest() const { return NoRetest; }
    // While the flag is set the tree is not rebuilt (its level is 0).
    virtual void SetContactHit(std::int32_t flag);
    virtual std::int32_t IsContactHit() const { return ContactHit; }
    // Marks the tree and its parents for rebuild, then clears the flag.
    virtual void ClearContactHit();
    // SetFixed on this body and on every body below it.
    virtual void SetFixedTree(std::int32_t flag);
    // Called by the body's state object when it moved; nothing here.
    virtual void AlignToPart() {}
    virtual void ResetPartMotion() {}

    // Detaches every link and pooled record of this body and of every body below it: rigid links and joints of
    // its state objects leave the world's rings, the world list nodes go back to the pool, the owned records
    // are released, the body-attached boxes are given back.
    void Teardown();

    std::int32_t Dynamic = 1;
    std::int32_t Fixed = 0;
    std::int32_t NoRetest = 0;
    std::int32_t ContactHit = 0;
    std::int32_t HitWord = 0;
    std::int32_t ReservedWord0 = 0;
    std::int32_t ReservedWord1 = 0;
    float ReservedScale = 1.0f;
    std::int32_t RigidShape = 1;
    TZevList OwnedRecords;  // pooled records of the body (contact links), released by the teardown
    TZevList LinkedLeaves;  // leaves that carry collision links
    TZevList SubclassList;
    TZevList StateObjects;  // the body's dynamic state objects
    TZevListNode* WorldNode0 = nullptr;
    TZevListNode* WorldNode1 = nullptr;
    std::int32_t HasBodyBoxes = 0;
};

// Gives back the body-attached boxes of a tree's leaves. The collision links that own those boxes install it;
// until then a body never has such boxes.
using TZevReleaseBodyBoxes = void (*)(TZevFMCTTree* tree);
extern TZevReleaseBodyBoxes ZevReleaseBodyBoxesHook;

// Makes `state` a dynamic state of `body`: each lists the other. Nothing for a null state.
void LinkBodyAndRigidBody(TZevXPhObj* body, TZevPhscs2Obj* state);
// Removes both entries.
void UnlinkBodyAndRigidBody(TZevXPhObj* body, TZevPhscs2Obj* state);

// The collision query of the space between two trees; the second form uses the space of the first tree (0
// when it is in none).
int CollideTrees(TZevCollisionSpace* space, TZevFMCTTree* a, TZevFMCTTree* b);
int CollideTrees(TZevFMCTTree* a, TZevFMCTTree* b);
