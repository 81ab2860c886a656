// Collision trees of meshes: the leaves and their adjacency, the swept boxes over a step, refused meshes, and the
// contact records with their pool.
#include "ZevCollisionSpace.h"
#include "ZevFMCTTree.h"

#include "ZevDebug.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace physics_test;
using V = TZevVector;

class CollisionTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevFMCTTreeInit();
    }
};

TEST_F(CollisionTree, ClosedCubeHasTwelveFacesEighteenEdgesEightPointsAndFullAdjacency)
{
    TZevMeshData mesh;
    MakeCube(mesh, -1, -1, -1, 1, 1, 1);
    TZevFMCTTree tree;
    ASSERT_TRUE(tree.ClearNodes(&mesh));

    const auto faces = LeavesOfType(tree, ZevTypeFaceBoxVecT);
    const auto edges = LeavesOfType(tree, ZevTypeEdgeBoxVecT);
    const auto points = LeavesOfType(tree, ZevTypePointBoxVecT);
    EXPECT_EQ(faces.size(), 12u);
    EXPECT_EQ(edges.size(), 18u);
    EXPECT_EQ(points.size(), 8u);
    EXPECT_EQ(tree.faces.GetCount(), 12);

    // Every edge lies between two faces, one on each side, and knows its two corner points.
    for (TZevBoxNode* node : edges) {
        auto* e = static_cast<TZevEdgeBoxVecT*>(node);
        ASSERT_NE(e->face0, nullptr);
        ASSERT_NE(e->face1, nullptr);
        EXPECT_NE(e->face0, e->face1);
        ASSERT_NE(e->point0, nullptr);
        ASSERT_NE(e->point1, nullptr);
        EXPECT_EQ(e->point0->i, e->i0);
        EXPECT_EQ(e->point1->i, e->i1);
        // face0 runs from i0 to i1, face1 from i1 to i0.
        const int c0[3] = {e->face0->i0, e->face0->i1, e->face0->i2};
        bool forward = false;
        for (int k = 0; k < 3; ++k)
            forward = forward || (c0[k] == e->i0 && c0[(k + 1) % 3] == e->i1);
        EXPECT_TRUE(forward);
    }
    // Every face knows its three edges and corners; every point the edges that end at it (36 ends in all).
    for (TZevBoxNode* node : faces) {
        auto* f = static_cast<TZevFaceBoxVecT*>(node);
        const int c[3] = {f->i0, f->i1, f->i2};
        for (int k = 0; k < 3; ++k) {
            ASSERT_NE(f->edges[k], nullptr);
            const std::set<int> ends{f->edges[k]->i0, f->edges[k]->i1};
            EXPECT_EQ(ends, (std::set<int>{c[k], c[(k + 1) % 3]}));
            ASSERT_NE(f->points[k], nullptr);
            EXPECT_EQ(f->points[k]->i, c[k]);
        }
    }
    int edgeEnds = 0;
    for (TZevBoxNode* node : points)
        edgeEnds += static_cast<TZevPointBoxVecT*>(node)->edges.GetCount();
    EXPECT_EQ(edgeEnds, 36);
}

// The octree is split at the centres of the leaves' boxes over the mesh's own positions, so its first split
// separates the two halves of a sphere along x instead of mixing them.
TEST_F(CollisionTree, OctreeIsBuiltOverTheMeshPositions)
{
    TZevMeshData mesh;
    ASSERT_TRUE(ZevMakeSphereMesh(&mesh, 21, 20));
    TZevFMCTTree tree;
    tree.SetMatrix(Translation(5, 0, 0));
    ASSERT_TRUE(tree.ClearNodes(&mesh));
    TZevBoxNode* top = tree.primitiveRoot->FirstChild();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->NextSibling(), nullptr);
    int halves = 0;
    for (TZevBoxNode* half = top->FirstChild(); half != nullptr; half = half->NextSibling()) {
        ++halves;
        EXPECT_LT(half->box.Max.x - half->box.Min.x, 1.5f);
    }
    EXPECT_EQ(halves, 2);
    EXPECT_FLOAT_EQ(tree.box.Min.x, 4.0f - ZevLeafBoxPadding);
}

TEST_F(CollisionTree, QuadGivesTwoTrianglesSharingItsDiagonal)
{
    TZevMeshData mesh;
    MakeMesh(mesh, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    TZevFMCTTree tree;
    ASSERT_TRUE(tree.ClearNodes(&mesh));
    const auto faces = LeavesOfType(tree, ZevTypeFaceBoxVecT);
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(LeavesOfType(tree, ZevTypeEdgeBoxVecT).size(), 5u);
    auto* first = static_cast<TZevFaceBoxVecT*>(tree.faces.First()->data);
    auto* second = static_cast<TZevFaceBoxVecT*>(tree.faces.Last()->data);
    EXPECT_EQ((std::vector<int>{first->i0, first->i1, first->i2}), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ((std::vector<int>{second->i0, second->i1, second->i2}), (std::vector<int>{0, 2, 3}));
    // The diagonal 0-2 is edge 2 of the first triangle and edge 0 of the second, on opposite sides.
    TZevEdgeBoxVecT* diagonal = first->edges[2];
    ASSERT_NE(diagonal, nullptr);
    EXPECT_EQ(diagonal, second->edges[0]);
    EXPECT_EQ(std::set<TZevFaceBoxVecT*>({diagonal->face0, diagonal->face1}), std::set<TZevFaceBoxVecT*>({first, second}));
}

TEST_F(CollisionTree, RefitAfterMoveKeepsEveryLeafAroundBothPositionsPlusPadding)
{
    TZevMeshData mesh;
    MakeCube(mesh, -1, -1, -1, 1, 1, 1);
    TZevFMCTTree tree;
    ASSERT_TRUE(tree.ClearNodes(&mesh));
    EXPECT_EQ(tree.level, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(tree.currentVertices[i].x, tree.previousVertices[i].x);
        EXPECT_EQ(tree.currentVertices[i].y, tree.previousVertices[i].y);
        EXPECT_EQ(tree.currentVertices[i].z, tree.previousVertices[i].z);
    }

    TZevMatrix turn;
    ZevMatRotationY(turn, 0.4f);
    TZevMatrix moved;
    ZevMatMultiply(moved, turn, Translation(0.5f, -2.0f, 3.0f));
    tree.SetMatrix(moved);
    EXPECT_EQ(tree.level, 2);
    tree.AdvanceStep(0.02f);
    tree.UpdateBox();
    EXPECT_EQ(tree.level, 1);

    auto inside = [](const TZevNodeBox& box, const V& p) {
        return box.Min.x <= p.x - ZevLeafBoxPadding && box.Min.y <= p.y - ZevLeafBoxPadding &&
               box.Min.z <= p.z - ZevLeafBoxPadding && box.Max.x >= p.x + ZevLeafBoxPadding &&
               box.Max.y >= p.y + ZevLeafBoxPadding && box.Max.z >= p.z + ZevLeafBoxPadding;
    };
    std::vector<TZevBoxNode*> leaves;
    CollectLeaves(tree.primitiveRoot, leaves);
    ASSERT_EQ(leaves.size(), 38u);
    for (TZevBoxNode* leaf : leaves) {
        std::vector<int> corners;
        if (leaf->type == ZevCollisionTypeInfo(ZevTypeFaceBoxVecT)) {
            auto* f = static_cast<TZevFaceBoxVecT*>(leaf);
            corners = {f->i0, f->i1, f->i2};
        } else if (leaf->type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT)) {
            auto* e = static_cast<TZevEdgeBoxVecT*>(leaf);
            corners = {e->i0, e->i1};
        } else {
            corners = {static_cast<TZevPointBoxVecT*>(leaf)->i};
        }
        for (int c : corners) {
            EXPECT_TRUE(inside(leaf->box, tree.currentVertices[c]));
            EXPECT_TRUE(inside(leaf->box, tree.previousVertices[c]));
            EXPECT_TRUE(inside(tree.box, tree.currentVertices[c]));
            EXPECT_TRUE(inside(tree.box, tree.previousVertices[c]));
        }
    }
    // The previous positions are the untouched cube, the current ones the moved cube.
    EXPECT_FLOAT_EQ(tree.previousVertices[0].y, -1.0f);
    EXPECT_FLOAT_EQ(tree.currentVertices[0].y, -3.0f);
    tree.UpdateBox();
    EXPECT_EQ(tree.level, 0);
}

TEST_F(CollisionTree, ChildTreeFollowsItsParentsWorldMatrix)
{
    TZevMeshData mesh;
    MakeCube(mesh, 0, 0, 0, 1, 1, 1);
    TZevFMCTTree parent;
    auto* child = new TZevFMCTTree;
    parent.AppendChild(child);
    parent.SetMatrix(Translation(10, 0, 0));
    child->SetMatrix(Translation(0, 5, 0));
    ASSERT_TRUE(child->ClearNodes(&mesh));
    // A built tree is up to date (level 0) and keeps its world matrix until it is marked again.
    EXPECT_EQ(child->level, 0);
    child->Invalidate();
    parent.AdvanceStep(0.0f);
    child->AdvanceStep(0.0f);
    EXPECT_FLOAT_EQ(child->worldMatrix.m[12], 10.0f);
    EXPECT_FLOAT_EQ(child->worldMatrix.m[13], 5.0f);
    EXPECT_FLOAT_EQ(child->currentVertices[6].x, 11.0f);
    EXPECT_FLOAT_EQ(child->currentVertices[6].y, 6.0f);
    // A change of the child marks its parent for rebuild too.
    parent.level = 0;
    child->level = 0;
    child->Invalidate();
    EXPECT_EQ(child->level, 2);
    EXPECT_EQ(parent.level, 2);
}

TEST_F(CollisionTree, EmptyTreeRefitsToTheEmptyBox)
{
    TZevMeshData mesh;
    TZevFMCTTree tree;
    ASSERT_TRUE(tree.ClearNodes(&mesh));
    tree.UpdateBox();
    EXPECT_EQ(tree.box.Min.x, ZevEmptyBoxMin);
    EXPECT_EQ(tree.box.Max.x, ZevEmptyBoxMax);
    ASSERT_NE(tree.primitiveRoot, nullptr);
    EXPECT_EQ(tree.primitiveRoot->FirstChild(), nullptr);
}

// Meshes that 16-bit leaf indices cannot address, or whose faces name missing vertices, are refused rather
// than built with wrapped or stray indices.
TEST_F(CollisionTree, MeshesThatCannotBeIndexedAreRefused)
{
    struct Case {
        const char* name;
        std::int32_t vertices;
        int badIndex; // -1: none
    };
    const Case cases[] = {{"over 65536 vertices", 65537, -1}, {"index beyond the vertices", 3, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TZevMeshData mesh;
        // Built by hand: the mesh's own setter refuses more than 65536 vertices.
        mesh.VertexArray = ZevAlloc(sizeof(TZevVertex) * static_cast<std::size_t>(c.vertices));
        ASSERT_NE(mesh.VertexArray, nullptr);
        for (std::int32_t i = 0; i < c.vertices; ++i)
            mesh.Vertices()[i] = TZevVertex{static_cast<float>(i % 7), static_cast<float>(i / 7 % 5),
                                            static_cast<float>(i % 3), 0, 0, 0, 0, 0};
        mesh.VertexCount = mesh.VertexCapacity = c.vertices;
        mesh.SetFaceCount(1);
        mesh.FaceCount = 1;
        mesh.SetFaceIndexCount(0, 3);
        mesh.Faces[0].Indices[0] = 0;
        mesh.Faces[0].Indices[1] = 1;
        mesh.Faces[0].Indices[2] = static_cast<std::uint16_t>(c.badIndex >= 0 ? c.badIndex : 2);

        const int before = CountInDebugLog("TZevFMCTTree::ClearNodes: mesh refused");
        TZevFMCTTree tree;
        EXPECT_FALSE(tree.ClearNodes(&mesh));
        EXPECT_EQ(tree.GetMesh(), nullptr);
        EXPECT_EQ(tree.GetVertexCount(), 0);
        ASSERT_NE(tree.primitiveRoot, nullptr);
        EXPECT_EQ(tree.primitiveRoot->FirstChild(), nullptr);
        EXPECT_EQ(CountInDebugLog("TZevFMCTTree::ClearNodes: mesh refused"), before + 1);
        // A later good mesh builds as usual.
        TZevMeshData cube;
        MakeCube(cube, 0, 0, 0, 1, 1, 1);
        EXPECT_TRUE(tree.ClearNodes(&cube));
        EXPECT_EQ(LeavesOfType(tree, ZevTypePointBoxVecT).size(), 8u);
    }
    // Exactly 65536 vertices is the largest mesh that is accepted.
    TZevMeshData big;
    ASSERT_TRUE(big.SetVertexCount(65536));
    big.VertexCount = 65536;
    TZevFMCTTree tree;
    EXPECT_TRUE(tree.ClearNodes(&big));
    EXPECT_EQ(tree.GetVertexCount(), 65536);
}

class ContactRecords : public CollisionTree {
protected:
    void SetUp() override
    {
        CollisionTree::SetUp();
        space = new TZevCollisionSpace;
        MakeCube(mesh, 0, 0, 0, 1, 1, 1);
        a = new TZevFMCTTree;
        b = new TZevFMCTTree;
        a->ClearNodes(&mesh);
        b->ClearNodes(&mesh);
        space->AddBody(a);
        space->AddBody(b);
    }
    void TearDown() override { delete space; }

    TZevContactSide Side(TZevFMCTTree* tree, int i0, int i1, int i2, float u, float v)
    {
        TZevContactSide s;
        s.tree = tree;
        s.node = static_cast<TZevBoxNode*>(tree->faces.First()->data);
        s.current = &tree->currentVertices;
        s.previous = &tree->previousVertices;
        s.i0 = i0;
        s.i1 = i1;
        s.i2 = i2;
        s.u = u;
        s.v = v;
        return s;
    }

    TZevMeshData mesh;
    TZevCollisionSpace* space = nullptr;
    TZevFMCTTree* a = nullptr;
    TZevFMCTTree* b = nullptr;
};

TEST_F(ContactRecords, PairIsListedOnBothTreesAndClearedBackIntoThePool)
{
    ZevAddContactPair(space, Side(a, 0, 1, 2, 0.25f, 0.5f), Side(b, 3, 3, 3, 0, 0), V(0, 0, 1), 0.5f);
    ZevAddContactPair(space, Side(a, 1, 2, 3, 0, 0), Side(b, 4, 4, 4, 0, 0), V(1, 0, 0), 0.25f);
    const int pooled = ZevContactRecordPoolSize();

    ASSERT_EQ(a->contacts->GetCount(), 2);
    ASSERT_EQ(b->contacts->GetCount(), 2);
    EXPECT_EQ(space->contactRecords.GetCount(), 2);
    EXPECT_EQ(space->contactTrees.GetCount(), 2);
    auto* ra = static_cast<TZevFMCTree_CFaceData*>(a->contacts->First());
    auto* rb = static_cast<TZevFMCTree_CFaceData*>(b->contacts->First());
    EXPECT_EQ(space->contactRecords.First()->data, ra);
    EXPECT_EQ(ra->other, rb);
    EXPECT_EQ(rb->other, ra);
    EXPECT_EQ(ra->normal.z, 1.0f);
    EXPECT_EQ(rb->normal.z, -1.0f);
    EXPECT_EQ(ra->u, 0.25f);
    EXPECT_EQ(ra->v, 0.5f);
    EXPECT_EQ(rb->time, 0.5f);
    EXPECT_EQ(rb->indices[0], 3);
    EXPECT_EQ(ra->currentArray, &a->currentVertices);
    EXPECT_EQ(ra->valid, 1);
    EXPECT_EQ(ra->released, 0);

    a->partners.Add(b);
    space->ClearContacts();
    EXPECT_TRUE(a->contacts->IsEmpty());
    EXPECT_TRUE(b->contacts->IsEmpty());
    EXPECT_TRUE(a->partners.IsEmpty());
    EXPECT_TRUE(space->contactRecords.IsEmpty());
    EXPECT_TRUE(space->contactTrees.IsEmpty());
    EXPECT_EQ(a->spaceNode, nullptr);
    EXPECT_EQ(ZevContactRecordPoolSize(), pooled + 4);
    EXPECT_EQ(ra->released, 1);
    EXPECT_EQ(ra->node, nullptr);
    // Without contacts, clearing only empties the two lists.
    space->ClearContacts();
    EXPECT_EQ(ZevContactRecordPoolSize(), pooled + 4);
}

TEST_F(ContactRecords, RecordReleasedTwiceIsLoggedOnceAndHandedOutOnce)
{
    const char* message = "TZevFMCTree_CFaceDataの2重開放\n";
    const int logged = CountInDebugLog(message);
    TZevFMCTree_CFaceData* record = NewContactRecord();
    const int pooled = ZevContactRecordPoolSize();
    ReleaseContactRecord(record);
    ReleaseContactRecord(record);
    EXPECT_EQ(CountInDebugLog(message), logged + 1);
    EXPECT_EQ(ZevContactRecordPoolSize(), pooled + 1);
    ReleaseContactRecord(record);
    EXPECT_EQ(CountInDebugLog(message), logged + 2);

    // Taking every pooled record hands this one out exactly once.
    std::vector<TZevFMCTree_CFaceData*> taken;
    for (int i = 0; i <= pooled; ++i)
        taken.push_back(NewContactRecord());
    int seen = 0;
    for (auto* r : taken)
        seen += r == record ? 1 : 0;
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(record->released, 0);
    for (auto* r : taken)
        ReleaseContactRecord(r);
}

// Destroying a tree in the middle of a pass leaves no record of it in the space's list and no partner record on
// the other tree naming a record in the pool.
TEST_F(ContactRecords, DestroyedTreeTakesItsContactsAlong)
{
    ZevAddContactPair(space, Side(a, 0, 1, 2, 0, 0), Side(b, 3, 3, 3, 0, 0), V(0, 0, 1), 0.5f);
    ZevAddContactPair(space, Side(b, 0, 1, 2, 0, 0), Side(a, 3, 3, 3, 0, 0), V(0, 0, 1), 0.5f);
    ASSERT_EQ(space->contactRecords.GetCount(), 2);
    delete a;
    a = nullptr;
    EXPECT_TRUE(space->contactRecords.IsEmpty());
    EXPECT_TRUE(b->contacts->IsEmpty());
    EXPECT_EQ(space->contactTrees.GetCount(), 1);
    space->ClearContacts();
    EXPECT_TRUE(space->contactTrees.IsEmpty());
}

} // namespace
