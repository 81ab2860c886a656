#include "ZevQueuedRenderer.h"

#include "ZevMeshPools.h"

#include <cstring>

namespace {

// Copies of a line list's records (null items skipped) from the pool into the command's items. Out of memory,
// the lines copied so far are drawn and the rest are dropped.
template <class R> void CopyLineRecords(TZevDrawCommand* command, TZevList* list, void* (*alloc)())
{
    if (!list)
        return;
    for (const R* item : ZevItems<const R>(*list)) {
        if (!item)
            continue;
        void* copy = alloc();
        if (!copy) {
            ZevDebugLog("TZevQueuedRenderer: no memory for a line record; the remaining lines are dropped\n");
            return;
        }
        std::memcpy(copy, item, sizeof(R));
        command->Items.Add(copy);
    }
}

} // namespace

TZevQueuedRenderer::~TZevQueuedRenderer()
{
    TZevQueuedRenderer::ClearCommands();
}

TZevDrawCommand* TZevQueuedRenderer::QueueCommand(std::int32_t kind)
{
    TZevDrawCommand* command = TakeDrawCommand();
    command->Kind = kind;
    command->State1 = GetAdditive();
    command->State2 = GetTranslucent();
    command->State3 = GetShadowVolume();
    CommandQueue.Add(command);
    return command;
}

void TZevQueuedRenderer::DrawPolyline(const TZevPoint2D* points, int count)
{
    QueueCommand(TZevDrawCommand::KindPolyline)->SetPoints(points, count);
}

void TZevQueuedRenderer::DrawPolylineColor(std::uint32_t color, const TZevPoint2D* points, int count)
{
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindPolylineColor);
    command->Color = color;
    command->SetPoints(points, count);
}

void TZevQueuedRenderer::DrawLineList(TZevList* list)
{
    CopyLineRecords<TZevLineRecord>(QueueCommand(TZevDrawCommand::KindLineList), list, ZevPool20Alloc);
}

void TZevQueuedRenderer::DrawLines3D(const TZevMatrix& matrix, TZevList* segments)
{
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindLines3D);
    command->Matrix = matrix;
    CopyLineRecords<TZevSegmentRecord>(command, segments, ZevPool28Alloc);
}

void TZevQueuedRenderer::DrawMaterialMesh(TZevTextureName* texture, const TZevMaterial* material,
                                          const TZevMatrix& matrix, TZevMeshData* mesh)
{
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindMaterialMesh);
    command->Arg1 = texture;
    command->Arg2 = material;
    command->Matrix = matrix;
    command->LitMesh = mesh;
}

void TZevQueuedRenderer::DrawMesh(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh)
{
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindLitMesh);
    command->Arg1 = texture;
    command->Matrix = matrix;
    command->PlainMesh = mesh;
}

void TZevQueuedRenderer::ClearCommands()
{
    for (TZevDrawCommand* command : ZevItems<TZevDrawCommand>(CommandQueue))
        ZevDrawCommandRelease(command);
    CommandQueue.Clear();
    if (++QueueNumber == 0)
        QueueNumber = 1;
}

void TZevQueuedRenderer::ReplayCommands()
{
    for (TZevDrawCommand* command : ZevItems<TZevDrawCommand>(CommandQueue))
        command->Replay(this);
    ClearCommands();
}
