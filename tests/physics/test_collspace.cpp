// Collision space: the pruned tree-against-tree query against the exhaustive test of every leaf pair, the
// dispatcher's rules, and the bookkeeping of bodies and contacts.
#include "ZevCollisionSpace.h"

#include "ZevDebug.h"
#include "ZevNarrowPhase.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

namespace {

using namespace physics_test;
using V = TZevVector;
using LeafPair = std::pair<TZevBoxNode*, TZevBoxNode*>;

LeafPair Unordered(TZevBoxNode* a, TZevBoxNode* b)
{
    return a < b ? LeafPair(a, b) : LeafPair(b, a);
}

class CollisionSpace : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        space = new TZevCollisionSpace;
    }
    void TearDown() override { delete space; }

    // A tree of `mesh` in the space that moves from `from` (previous step) to `to` (current step).
    TZevFMCTTree* MovingTree(TZevMeshData& mesh, const TZevMatrix& from, const TZevMatrix& to)
    {
        auto* tree = new TZevFMCTTree;
        space->AddBody(tree);
        tree->SetMatrix(from);
        EXPECT_TRUE(tree->ClearNodes(&mesh));
        tree->SetMatrix(to);
        tree->AdvanceStep(0.02f);
        tree->UpdateBox();
        return tree;
    }

    // Contacts of the pass as unordered leaf pairs.
    std::set<LeafPair> FoundPairs() const
    {
        std::set<LeafPair> found;
        for (void* item : space->contactRecords) {
            auto* r = static_cast<TZevFMCTree_CFaceData*>(item);
            found.insert(Unordered(r->node, r->other->node));
        }
        return found;
    }

    TZevCollisionSpace* space = nullptr;
};

// Every leaf pair of the two trees whose boxes overlap (the dispatcher's rule for any pair of nodes), tested
// without the pruning of the hierarchy. Edge pairs whose answer depends on which edge goes first (a rounding on
// the tolerance border) are left out of the comparison and counted.
std::set<LeafPair> ExhaustivePairs(TZevFMCTTree& a, TZevFMCTTree& b, std::set<LeafPair>& orderDependent)
{
    std::vector<TZevBoxNode*> la;
    std::vector<TZevBoxNode*> lb;
    CollectLeaves(a.primitiveRoot, la);
    CollectLeaves(b.primitiveRoot, lb);
    const TZevTypeInfo* face = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    const TZevTypeInfo* edge = ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
    const TZevTypeInfo* point = ZevCollisionTypeInfo(ZevTypePointBoxVecT);
    std::set<LeafPair> hits;
    TZevSweptHit hit;
    for (TZevBoxNode* x : la) {
        for (TZevBoxNode* y : lb) {
            if (!x->box.Overlaps(y->box))
                continue;
            if (x->type == face && y->type == point) {
                if (ZevFacePointHit(*static_cast<TZevFaceBoxVecT*>(x), *static_cast<TZevPointBoxVecT*>(y), hit))
                    hits.insert(Unordered(x, y));
            } else if (x->type == point && y->type == face) {
                if (ZevFacePointHit(*static_cast<TZevFaceBoxVecT*>(y), *static_cast<TZevPointBoxVecT*>(x), hit))
                    hits.insert(Unordered(x, y));
            } else if (x->type == edge && y->type == edge) {
                const bool xy = ZevEdgeEdgeHit(*static_cast<TZevEdgeBoxVecT*>(x), *static_cast<TZevEdgeBoxVecT*>(y), hit);
                const bool yx = ZevEdgeEdgeHit(*static_cast<TZevEdgeBoxVecT*>(y), *static_cast<TZevEdgeBoxVecT*>(x), hit);
                if (xy != yx)
                    orderDependent.insert(Unordered(x, y));
                else if (xy)
                    hits.insert(Unordered(x, y));
            }
        }
    }
    return hits;
}

TEST_F(CollisionSpace, PrunedQueryFindsExactlyTheContactsOfEveryLeafPair)
{
    int totalContacts = 0;
    int orderDependentTotal = 0;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        TZevMeshData meshA;
        TZevMeshData meshB;
        // Sizes vary so that both the node-node descent and the large-leaf slabs are used.
        const int vertices = 12 + static_cast<int>(seed % 5) * 10;
        MakeRandomMesh(meshA, rng, vertices, vertices * 2, 1.0f);
        MakeRandomMesh(meshB, rng, vertices / 2 + 3, vertices, seed % 3 == 0 ? 2.5f : 0.8f);
        std::uniform_real_distribution<float> offset(-0.4f, 0.4f);
        const TZevMatrix fromA = Translation(offset(rng), offset(rng), offset(rng));
        TZevMatrix turn;
        ZevMatRotationFromVector(turn, offset(rng), offset(rng), offset(rng), 1.0f);
        TZevMatrix toA;
        ZevMatMultiply(toA, turn, fromA);
        const TZevMatrix fromB = Translation(offset(rng) + 0.5f, offset(rng), offset(rng));
        const TZevMatrix toB = Translation(offset(rng), offset(rng) - 0.3f, offset(rng));

        TZevFMCTTree* a = MovingTree(meshA, fromA, toA);
        TZevFMCTTree* b = MovingTree(meshB, fromB, toB);

        space->ClearContacts();
        const int r = ZevCollideTrees(space, a, b);
        const std::set<LeafPair> found = FoundPairs();
        std::set<LeafPair> orderDependent;
        const std::set<LeafPair> expected = ExhaustivePairs(*a, *b, orderDependent);
        std::set<LeafPair> foundComparable;
        for (const LeafPair& p : found) {
            if (orderDependent.count(p) == 0)
                foundComparable.insert(p);
        }
        EXPECT_EQ(foundComparable, expected);
        EXPECT_EQ(found.size(), static_cast<std::size_t>(space->contactRecords.GetCount())) << "a pair reported twice";
        EXPECT_EQ(r != 0, !found.empty());
        if (r != 0) {
            EXPECT_EQ(a->partners.GetCount(), 1);
            EXPECT_EQ(b->partners.GetCount(), 1);
        }
        totalContacts += static_cast<int>(expected.size());
        orderDependentTotal += static_cast<int>(orderDependent.size());
        space->ClearContacts();
        delete a;
        delete b;
    }
    // The meshes do collide: the comparison is not about empty sets.
    EXPECT_GT(totalContacts, 200);
    EXPECT_LE(orderDependentTotal, 3);
}

TEST_F(CollisionSpace, QueryIsRepeatableBitForBit)
{
    auto run = [this]() {
        std::mt19937 rng(77);
        TZevMeshData meshA;
        TZevMeshData meshB;
        MakeRandomMesh(meshA, rng, 40, 80, 1.0f);
        MakeRandomMesh(meshB, rng, 30, 60, 1.0f);
        TZevFMCTTree* a = MovingTree(meshA, Translation(0, 0, 0), Translation(0.1f, 0, 0));
        TZevFMCTTree* b = MovingTree(meshB, Translation(0.6f, 0.2f, 0), Translation(0, 0, 0));
        space->ClearContacts();
        ZevCollideTrees(space, a, b);
        std::vector<float> trace;
        for (void* item : space->contactRecords) {
            auto* r = static_cast<TZevFMCTree_CFaceData*>(item);
            trace.insert(trace.end(), {r->time, r->u, r->v, r->normal.x, r->normal.y, r->normal.z,
                                       static_cast<float>(r->indices[0]), static_cast<float>(r->other->indices[0])});
        }
        space->ClearContacts();
        delete a;
        delete b;
        return trace;
    };
    const std::vector<float> first = run();
    EXPECT_FALSE(first.empty());
    const std::vector<float> second = run();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(0, std::memcmp(first.data(), second.data(), first.size() * sizeof(float)));
}

TEST_F(CollisionSpace, TreesOfOneGroupNeverMeet)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    TZevFMCTTree* a = MovingTree(mesh, Translation(0, 0, 0), Translation(0, 0, 0));
    TZevFMCTTree* b = MovingTree(mesh, Translation(0.5f, 0.5f, 0.5f), Translation(0, 0, 0));
    ASSERT_EQ(ZevCollideTrees(space, a, b), 1);
    space->ClearContacts();
    b->group = a->group;
    EXPECT_EQ(ZevCollideTrees(space, a, b), 0);
    EXPECT_TRUE(space->contactRecords.IsEmpty());
    EXPECT_TRUE(a->partners.IsEmpty());
}

TEST_F(CollisionSpace, DispatcherSkipsSelfDisjointLinkedAndLayeredPairs)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    TZevFMCTTree* a = MovingTree(mesh, Translation(0, 0, 0), Translation(0, 0, 0));
    TZevFMCTTree* b = MovingTree(mesh, Translation(0.5f, 0.5f, 0.5f), Translation(0, 0, 0));
    EXPECT_EQ(ZevCollideNodes(space, a, a->primitiveRoot, nullptr, a, a->primitiveRoot, nullptr), 0);

    // Leaf pairs of kinds that have no test: face-face, face-edge, edge-point and point-point.
    auto first = [](TZevFMCTTree* t, EZevCollisionType type) { return LeavesOfType(*t, type).front(); };
    TZevBoxNode* fa = first(a, ZevTypeFaceBoxVecT);
    TZevBoxNode* ea = first(a, ZevTypeEdgeBoxVecT);
    TZevBoxNode* pa = first(a, ZevTypePointBoxVecT);
    const std::pair<TZevBoxNode*, EZevCollisionType> none[] = {
        {fa, ZevTypeFaceBoxVecT}, {fa, ZevTypeEdgeBoxVecT}, {ea, ZevTypePointBoxVecT}, {pa, ZevTypePointBoxVecT}};
    for (const auto& [mine, kind] : none) {
        for (TZevBoxNode* theirs : LeavesOfType(*b, kind))
            EXPECT_EQ(ZevCollideNodes(space, a, mine, nullptr, b, theirs, nullptr), 0);
    }
    EXPECT_TRUE(space->contactRecords.IsEmpty());

    // A primitive that carries a collision link, or lies in another layer, is not tested.
    ASSERT_EQ(ZevCollideTrees(space, a, b), 1);
    const int all = space->contactRecords.GetCount();
    space->ClearContacts();
    for (TZevBoxNode* leaf : LeavesOfType(*b, ZevTypePointBoxVecT))
        leaf->linkCount = 1;
    ZevCollideTrees(space, a, b);
    const int withoutPoints = space->contactRecords.GetCount();
    EXPECT_LT(withoutPoints, all);
    for (void* item : space->contactRecords) {
        auto* r = static_cast<TZevFMCTree_CFaceData*>(item);
        EXPECT_EQ(r->node->linkCount + r->other->node->linkCount, 0);
    }
    space->ClearContacts();
    for (TZevBoxNode* leaf : LeavesOfType(*b, ZevTypePointBoxVecT)) {
        leaf->linkCount = 0;
        leaf->layer = 1;
    }
    ZevCollideTrees(space, a, b);
    EXPECT_EQ(space->contactRecords.GetCount(), withoutPoints);
    space->ClearContacts();
}

TEST_F(CollisionSpace, FacePointRecordsCarryTheFaceNormalAndItsNegation)
{
    // A single triangle in the plane z = 0 and a single vertex falling through it.
    TZevMeshData triangle;
    MakeMesh(triangle, {{-1, -1, 0}, {2, -1, 0}, {-1, 2, 0}}, {{0, 1, 2}});
    TZevMeshData dot;
    MakeMesh(dot, {{0, 0, 0}}, {});
    TZevFMCTTree* face = MovingTree(triangle, Translation(0, 0, 0), Translation(0, 0, 0));
    TZevFMCTTree* point = MovingTree(dot, Translation(0, 0, 1), Translation(0, 0, -1));
    ASSERT_EQ(ZevCollideTrees(space, point, face), 1);
    ASSERT_EQ(space->contactRecords.GetCount(), 1);
    auto* r = static_cast<TZevFMCTree_CFaceData*>(space->contactRecords.First()->data);
    EXPECT_EQ(r->tree, face);
    EXPECT_FLOAT_EQ(r->time, 0.5f);
    EXPECT_FLOAT_EQ(r->normal.z, 1.0f);
    EXPECT_FLOAT_EQ(r->other->normal.z, -1.0f);
    EXPECT_FLOAT_EQ(r->u, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(r->v, 1.0f / 3.0f);
    EXPECT_EQ(r->other->tree, point);
    EXPECT_EQ(r->other->indices[0], 0);
    EXPECT_EQ(r->other->indices[2], 0);
    space->ClearContacts();
}

TEST_F(CollisionSpace, BodiesMoveBetweenTheActiveAndTheParkedRoot)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    auto* parent = new TZevFMCTTree;
    auto* child = new TZevFMCTTree;
    parent->AppendChild(child);
    space->AddBody(parent);
    EXPECT_EQ(parent->space, space);
    EXPECT_EQ(parent->Parent(), space->activeRoot);
    parent->SetMatrix(Translation(3, 0, 0));
    ASSERT_TRUE(child->ClearNodes(&mesh));
    child->SetMatrix(Translation(0, 2, 0));

    // Parents are advanced before their children, so a child takes its parent's new world matrix.
    space->UpdateTrees(0.02f);
    EXPECT_FLOAT_EQ(child->currentVertices[0].x, 3.0f);
    EXPECT_FLOAT_EQ(child->currentVertices[0].y, 2.0f);
    space->RefitTrees(0.02f);
    EXPECT_FLOAT_EQ(space->activeRoot->box.Max.x, 4.0f + ZevLeafBoxPadding);
    EXPECT_FLOAT_EQ(space->activeRoot->box.Min.y, 0.0f - ZevLeafBoxPadding);

    // A parked tree keeps its space but leaves the list of trees with contacts.
    auto* other = new TZevFMCTTree;
    ASSERT_TRUE(other->ClearNodes(&mesh));
    space->AddBody(other);
    ZevAddContactPair(space, {parent, parent->primitiveRoot, &parent->currentVertices, &parent->previousVertices},
                      {other, other->primitiveRoot, &other->currentVertices, &other->previousVertices}, V(0, 1, 0),
                      0.0f);
    other->Unlink();
    EXPECT_EQ(other->Parent(), space->parkedRoot);
    EXPECT_EQ(other->spaceNode, nullptr);
    EXPECT_EQ(space->contactTrees.GetCount(), 1);
    space->ClearContacts();
    space->AddBody(other);
    EXPECT_EQ(other->Parent(), space->activeRoot);
    EXPECT_EQ(space->parkedRoot->FirstChild(), nullptr);
}

} // namespace
