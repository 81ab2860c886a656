#include "ZevLineMesh.h"

#include "Zev3DRenderer.h"
#include "ZevFrame.h"
#include "ZevMeshPools.h"

TZevClassRecord TZevLineMeshClassRecord;

TZevLSObj* CreateTZevLineMesh()
{
    return ZevCreateRegistered<TZevLineMesh>(&TZevLineMeshClassRecord);
}

TZevLineMesh::~TZevLineMesh()
{
    Clear();
}

void TZevLineMesh::AddLine(uint32_t color, const TZevVector& start, const TZevVector& end)
{
    auto* record = static_cast<TZevSegmentRecord*>(ZevPool28Alloc());
    if (!record)
        return;
    *record = TZevSegmentRecord{color, start.x, start.y, start.z, end.x, end.y, end.z};
    Segments.Add(record);
}

void TZevLineMesh::AddLine2D(uint32_t color, float x1, float y1, float x2, float y2)
{
    auto* record = static_cast<TZevLineRecord*>(ZevPool20Alloc());
    if (!record)
        return;
    *record = TZevLineRecord{color, x1, y1, x2, y2};
    Lines2D.Add(record);
}

void TZevLineMesh::Clear()
{
    while (TZevLineRecord* record = ZevPopItem<TZevLineRecord>(Lines2D))
        ZevPool20Release(record);
    while (TZevSegmentRecord* record = ZevPopItem<TZevSegmentRecord>(Segments))
        ZevPool28Release(record);
}

void TZevLineMesh::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer)
        return;
    renderer->SetAdditive(0);
    renderer->SetTranslucent(0);
    if (!Lines2D.IsEmpty())
        renderer->DrawLineList(&Lines2D);
    if (!Segments.IsEmpty())
        renderer->DrawLines3D(frame ? frame->WorldMatrix : IdentityMatrix, &Segments);
    if (ClearAfterDrawing)
        Clear();
}
