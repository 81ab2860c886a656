#include "ZevLandCTree.h"

#include "ZevBitmap.h"
#include "ZevBodyBoxes.h"
#include "ZevCollisionSpace.h"
#include "ZevListView.h"

TZevLandCTree::TZevLandCTree()
{
    objectType = ZevCollisionTypeInfo(ZevTypeLandCTree);
    // Fixed, like any body that never moves: the world still collides and refreshes it.
    Fixed = 1;
    fixedPart = new TZevPhscs2RigidBody;
    fixedPart->Fixed = 1;
    fixedPart->Owner = this;
    LinkBodyAndRigidBody(this, fixedPart);
}

TZevLandCTree::~TZevLandCTree()
{
    if (watchedFlag != nullptr)
        *watchedFlag = 0;
    FreeCells();
    if (landMesh != nullptr) {
        landMesh->Release();
        landMesh = nullptr;
    }
    // Links and contact records name the part: they go first.
    Teardown();
    UnlinkBodyAndRigidBody(this, fixedPart);
    delete fixedPart;
    fixedPart = nullptr;
}

void TZevLandCTree::FreeCells()
{
    // The cell nodes themselves belong to the box tree.
    if (cells != nullptr) {
        ZevFree(cells);
        cells = nullptr;
    }
}

void TZevLandCTree::CellOf(const TZevVector& point, std::int32_t* column, std::int32_t* row) const
{
    TZevVector p;
    ZevVecTransform(p, point, landMesh->PlacementInverse);
    std::int32_t c = ZevFloatToInt(p.x + static_cast<float>(landMesh->GridWidth) / 2.0f);
    std::int32_t r = ZevFloatToInt(p.z + static_cast<float>(landMesh->GridHeight) / 2.0f);
    if (c < 0)
        c = 0;
    if (r < 0)
        r = 0;
    if (c > landMesh->GridWidth - 2)
        c = landMesh->GridWidth - 2;
    if (r > landMesh->GridHeight - 2)
        r = landMesh->GridHeight - 2;
    *column = c;
    *row = r;
}

void TZevLandCTree::Build()
{
    FreeCells();
    BuildGrid();
    if (primitiveRoot != nullptr && fixedPart != nullptr)
        AssignBoxObject(primitiveRoot, fixedPart);
}

void TZevLandCTree::BuildGrid()
{
    // The ordinary build makes the leaves and their adjacency; the grid build then regroups the leaves by cell in
    // place of the octree (the adjacency links leaves, not groups, so it survives the regrouping).
    TZevFMCTTree::Build();
    if (useOctree != 0 || mesh == nullptr || landMesh == nullptr || primitiveRoot == nullptr)
        return;
    const std::int32_t width = landMesh->GridWidth;
    const std::int32_t depth = landMesh->GridHeight;
    if (width < 2 || depth < 2)
        return;
    const std::size_t cellCount = static_cast<std::size_t>(width - 1) * static_cast<std::size_t>(depth - 1);
    cells = static_cast<TZevPooledBBoxTree**>(ZevAlloc(sizeof(TZevPooledBBoxTree*) * cellCount));
    if (cells == nullptr) {
        ZevDebugLog("TZevLandCTree::Build: no memory for the cells; the octree stays\n");
        return;
    }

    const TZevTypeInfo* faceType = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    const TZevTypeInfo* edgeType = ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
    const TZevTypeInfo* pointType = ZevCollisionTypeInfo(ZevTypePointBoxVecT);
    TZevList leaves;
    TZevList inner;
    TZevList stack;
    for (TZevBoxNode* child = primitiveRoot->FirstChild(); child != nullptr; child = child->NextSibling())
        stack.Add(child);
    while (TZevBoxNode* node = ZevPopItem<TZevBoxNode>(stack)) {
        if (node->type == faceType || node->type == edgeType || node->type == pointType) {
            leaves.Add(node);
            continue;
        }
        inner.Add(node);
        ZevPushChildren<TZevBoxNode>(stack, node);
    }

    for (std::size_t i = 0; i < cellCount; ++i)
        cells[i] = AllocBoxNode();
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(leaves)) {
        leaf->UpdateBox();
        TZevVector centre((leaf->box.Min.x + leaf->box.Max.x) * 0.5f, (leaf->box.Min.y + leaf->box.Max.y) * 0.5f,
                          (leaf->box.Min.z + leaf->box.Max.z) * 0.5f);
        std::int32_t column;
        std::int32_t row;
        CellOf(centre, &column, &row);
        cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(width - 1) + static_cast<std::size_t>(column)]
            ->AppendChild(leaf);
    }
    // The octree's inner nodes are empty now; the deepest go first so that none is pooled with children.
    for (TZevListNode* node = inner.Last(); node != inner.End(); node = node->prev)
        ReleaseBoxNode(static_cast<TZevPooledBBoxTree*>(ZevItem<TZevBoxNode>(node)));
    for (std::size_t i = 0; i < cellCount; ++i)
        primitiveRoot->AppendChild(cells[i]);
    primitiveRoot->UpdateBox();
}

int TZevLandCTree::CollideChildren(TZevCollisionSpace* space, TZevBoxNode* node, void* extra, TZevFMCTTree* otherTree,
                                   TZevBoxNode* otherNode, void* otherExtra)
{
    if (useOctree != 0 || cells == nullptr || node != primitiveRoot || landMesh == nullptr)
        return TZevFMCTTree::CollideChildren(space, node, extra, otherTree, otherNode, otherExtra);
    lastCellsVisited.store(0, std::memory_order_relaxed);
    const std::int32_t width = landMesh->GridWidth;
    const std::int32_t depth = landMesh->GridHeight;
    // Each axis is ordered after the transformation: a placement that mirrors or turns the grid swaps the corners.
    const TZevNodeBox& b = otherNode->box;
    TZevVector lo(3.4e38f, 3.4e38f, 3.4e38f);
    TZevVector hi(-3.4e38f, -3.4e38f, -3.4e38f);
    for (int k = 0; k < 8; ++k) {
        const TZevVector corner((k & 1) ? b.Max.x : b.Min.x, (k & 2) ? b.Max.y : b.Min.y, (k & 4) ? b.Max.z : b.Min.z);
        TZevVector p;
        ZevVecTransform(p, corner, landMesh->PlacementInverse);
        if (p.x < lo.x) lo.x = p.x;
        if (p.z < lo.z) lo.z = p.z;
        if (p.x > hi.x) hi.x = p.x;
        if (p.z > hi.z) hi.z = p.z;
    }
    // A box with a non-number corner meets no cell.
    if (!(lo.x <= hi.x) || !(lo.z <= hi.z))
        return 0;
    std::int32_t c0 = ZevFloatToInt(lo.x + static_cast<float>(width) / 2.0f);
    std::int32_t c1 = ZevFloatToInt(hi.x + static_cast<float>(width) / 2.0f);
    std::int32_t r0 = ZevFloatToInt(lo.z + static_cast<float>(depth) / 2.0f);
    std::int32_t r1 = ZevFloatToInt(hi.z + static_cast<float>(depth) / 2.0f);
    if (c1 < 0 || r1 < 0 || c0 >= width - 1 || r0 >= depth - 1)
        return 0;
    if (c0 < 0)
        c0 = 0;
    if (r0 < 0)
        r0 = 0;
    if (c1 > width - 2)
        c1 = width - 2;
    if (r1 > depth - 2)
        r1 = depth - 2;
    if (r0 > r1)
        return 0;
    int result = 0;
    std::int32_t visited = 0;
    for (std::int32_t r = r0; r <= r1; ++r) {
        for (std::int32_t c = c0; c <= c1; ++c) {
            TZevPooledBBoxTree* cell = cells[r * (width - 1) + c];
            ++visited;
            if (!cell->box.Overlaps(otherNode->box))
                continue;
            for (TZevBoxNode* child = cell->FirstChild(); child != nullptr; child = child->NextSibling()) {
                if (ZevCollideNodes(space, otherTree, otherNode, otherExtra, this, child, extra) != 0)
                    result = 1;
            }
        }
    }
    lastCellsVisited.store(visited, std::memory_order_relaxed);
    return result;
}

bool TZevLandCTree::SetUp(TZevVBitmap* bitmap, const TZevMatrix& matrix, float u, float v, std::int32_t w,
                          std::int32_t h)
{
    placement = matrix;
    uStep = u;
    vStep = v;
    windowWidth = w;
    windowHeight = h;
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    TZevBmpLandMesh* land = dynamic_cast<TZevBmpLandMesh*>(CreateObjectByName("TZevBmpLandMesh"));
    if (frame == nullptr || land == nullptr || bitmap == nullptr || !land->Build(bitmap, matrix, u, v, w, h)) {
        ZevDebugLog("TZevLandCTree::SetUp: no terrain could be built\n");
        delete frame;
        if (land != nullptr)
            land->Release();
        return false;
    }
    frame->LocalMatrix = TZevMatrix();
    // A land set up again replaces its frame and meshes.
    SetVisualMesh(nullptr);
    if (visualFrame != nullptr) {
        visualFrame->Unlink();
        delete visualFrame;
    }
    visualFrame = frame;
    SetVisualMesh(land);
    if (landMesh != nullptr)
        landMesh->Release();
    landMesh = land; // the creation's reference
    SetCollisionMesh(land);
    return true;
}
