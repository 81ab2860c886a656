#include "ZevQueuedRenderer.h"

#include "ZevMeshPools.h"

#include <cstring>

namespace {

// Out of memory while copying a line list: the lines copied so far are drawn, the rest are dropped.
void LogDroppedLines()
{
    ZevDebugLog("TZevQueuedRenderer: no memory for a line record; the remaining lines are dropped\n");
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
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindLineList);
    if (!list)
        return;
    for (void* item : *list) {
        if (!item)
            continue;
        void* copy = ZevPool20Alloc();
        if (!copy)
            return LogDroppedLines();
        std::memcpy(copy, item, sizeof(TZevLineRecord));
        command->Items.Add(copy);
    }
}

void TZevQueuedRenderer::DrawLines3D(const TZevMatrix& matrix, TZevList* segments)
{
    TZevDrawCommand* command = QueueCommand(TZevDrawCommand::KindLines3D);
    command->Matrix = matrix;
    if (!segments)
        return;
    for (void* item : *segments) {
        if (!item)
            continue;
        void* copy = ZevPool28Alloc();
        if (!copy)
            return LogDroppedLines();
        std::memcpy(copy, item, sizeof(TZevSegmentRecord));
        command->Items.Add(copy);
    }
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
    for (void* command : CommandQueue)
        ZevDrawCommandRelease(static_cast<TZevDrawCommand*>(command));
    CommandQueue.Clear();
}

void TZevQueuedRenderer::ReplayCommands()
{
    for (void* command : CommandQueue)
        static_cast<TZevDrawCommand*>(command)->Replay(this);
    ClearCommands();
}
