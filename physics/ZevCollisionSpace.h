// Collision space: every collision tree of a scene under two roots, the contact records of the current collision
// pass and the body-pair table. Two trees are tested against each other through a table of narrow-phase tests
// indexed by the kinds of the two nodes; a query always descends the larger node down to leaf pairs.
#pragma once

#include "ZevBodyPair.h"
#include "ZevFMCTTree.h"
#include "ZevList.h"

#include <cstdint>
#include <vector>

class TZevCollisionSpace : public TZevAllocated {
public:
    TZevCollisionSpace();
    // Deletes both roots (and every tree still under them), then the pair table and the lists.
    virtual ~TZevCollisionSpace();
    TZevCollisionSpace(const TZevCollisionSpace&) = delete;
    TZevCollisionSpace& operator=(const TZevCollisionSpace&) = delete;

    // AdvanceStep of every mesh tree under the active root, parents before children.
    virtual void UpdateTrees(float step);
    // UpdateWorldMatrix of the top mesh trees under the active root, then the refit of the whole root.
    virtual void RefitTrees(float step);
    // Takes the tree out of wherever it stands and appends it to the active trees.
    virtual void AddBody(TZevFMCTTree* tree);

    // Gives every contact record of the pass back, empties the trees' partner lists and both pass lists.
    void ClearContacts();

    TZevCTree* activeRoot;
    TZevCTree* parkedRoot;   // trees taken out of the simulation; the space still owns them
    TZevList reservedLists[3];
    TZevList contactTrees;   // trees with at least one contact record in this pass (each tree's spaceNode)
    TZevList contactRecords; // side A of every contact of this pass, in the order made
    // Number of the world step in progress: what a tree computed from its vertices (its leaf boxes, its contact
    // estimates) is kept for reuse within one step only.
    std::uint32_t stepRound = 0;
    TZevBodyPairTable pairs;
};

// Entry of the narrow-phase table: (space, treeA, nodeA, extraA, treeB, nodeB, extraB), non-zero on a hit.
using TZevCollideFunc = int (*)(TZevCollisionSpace*, TZevFMCTTree*, TZevBoxNode*, void*, TZevFMCTTree*, TZevBoxNode*,
                                void*);

inline constexpr int ZevCollisionKindCount = 8;
extern TZevCollideFunc CollisionTable[ZevCollisionKindCount][ZevCollisionKindCount];

// Fills the table once and sets the kinds and vertex counts of the node records; later calls do nothing.
void ZevInitCollisionTable();

// Tree against tree: nothing for trees of one group; on a hit each tree lists the other as a partner.
int ZevCollideTrees(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevFMCTTree* treeB);
// The dispatcher: orders the pair by kind, skips a node against itself, disjoint boxes and nodes that carry
// collision links, and calls the table entry.
int ZevCollideNodes(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void* extraA,
                    TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB);

// The table entries.
int ZevCollideTreeTree(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void* extraA,
                       TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB);
int ZevCollideNone(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevBoxNode* nodeA, void* extraA,
                   TZevFMCTTree* treeB, TZevBoxNode* nodeB, void* extraB);

// What tree-against-tree tests found while run away from the space (on a helper thread): the contacts that
// ZevAddContactPair would have made, in the order found, and the tree pairs that met, so that the caller adds
// them to the space later, in an order of its choosing. Kept between uses so that a warm step allocates nothing.
struct TZevFoundContact {
    TZevContactSide a;
    TZevContactSide b;
    TZevVector normal;
    float time = 0.0f;
};

struct TZevFoundMeeting {
    TZevFMCTTree* treeA = nullptr;
    TZevFMCTTree* treeB = nullptr;
    std::uint32_t contactEnd = 0; // the meeting's contacts end here; they start where the previous one's end
    std::int32_t hit = 0;         // the test's answer
};

class TZevContactBuffer {
public:
    void Clear()
    {
        contacts.clear();
        meetings.clear();
    }

    std::vector<TZevFoundContact> contacts;
    std::vector<TZevFoundMeeting> meetings;
};

// ZevCollideTrees writing nothing shared: the contacts and the meeting go to the buffer (a meeting only for a
// test that hit or found a contact). The trees and the space are only read, so tests of any pairs may run at once
// on several threads, each with a buffer of its own.
int ZevCollideTreesInto(TZevCollisionSpace* space, TZevFMCTTree* treeA, TZevFMCTTree* treeB,
                        TZevContactBuffer& buffer);
// What ZevCollideTrees would have done for meeting `meeting` of the buffer: its contact records, then the partners.
void ZevAddFoundMeeting(TZevCollisionSpace* space, const TZevContactBuffer& buffer, std::size_t meeting);

// Sum of the three extents of a node's box.
float ZevBoxSize(const TZevBoxNode* node);
