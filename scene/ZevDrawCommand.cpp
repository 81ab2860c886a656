#include "ZevDrawCommand.h"

#include "Zev3DRenderer.h"
#include "ZevMeshPools.h"
#include "ZevObjPool.h"
#include "ZevQueuedRenderer.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Never destroyed as objects: queues still alive at exit may give commands back until the clean-up ran.
union CommandPoolStorage {
    CommandPoolStorage() : heads([](void* command) { delete static_cast<TZevDrawCommand*>(command); }) {}
    ~CommandPoolStorage() {}
    TZevPoolHeads heads;
};

std::atomic<bool> gPoolsGone{false};

TZevPoolHeads& CommandPools()
{
    static CommandPoolStorage* storage = [] {
        static CommandPoolStorage s;
        std::atexit(ZevFreeDrawCommandPools);
        return &s;
    }();
    return storage->heads;
}

} // namespace

TZevDrawCommand::~TZevDrawCommand()
{
    FreePoints();
    ZevFree(Points);
}

void TZevDrawCommand::SetPoints(const TZevPoint2D* points, int count)
{
    if (!points || count < 0)
        count = 0;
    if (count > PointCapacity) {
        ZevFree(Points);
        Points = static_cast<TZevPoint2D*>(ZevAllocObject(sizeof(TZevPoint2D) * static_cast<std::size_t>(count)));
        PointCapacity = count;
    }
    if (count > 0)
        std::memcpy(Points, points, sizeof(TZevPoint2D) * static_cast<std::size_t>(count));
    PointCount = count;
}

void TZevDrawCommand::FreePoints()
{
    FreeDrawCommandItems(this);
}

void TZevDrawCommand::Reset()
{
    FreePoints();
    Kind = KindPolyline;
    PointCount = 0;
    Color = 0;
    Arg1 = nullptr;
    Arg2 = nullptr;
    Matrix = IdentityMatrix;
    LitMesh = nullptr;
    PlainMesh = nullptr;
    State1 = State2 = State3 = 0;
}

void TZevDrawCommand::Replay(TZevQueuedRenderer* renderer)
{
    if (!renderer)
        return;
    switch (Kind) {
    case KindPolyline:
        renderer->DrawScreenLines(Points, PointCount);
        break;
    case KindPolylineColor:
        renderer->DrawScreenLinesColor(Color, Points, PointCount);
        break;
    case KindLineList:
        renderer->DrawScreenLineList(&Items);
        break;
    case KindLines3D:
        renderer->DrawWorldLines(Matrix, &Items);
        break;
    case KindMaterialMesh:
    case 5:
        renderer->DrawMaterialMeshNow(Arg1, Arg2, Matrix, LitMesh);
        break;
    case KindLitMesh:
        renderer->DrawLitMeshNow(Arg1, Matrix, PlainMesh);
        break;
    default:
        break;
    }
}

void FreeDrawCommandItems(TZevDrawCommand* command)
{
    if (!command)
        return;
    if (command->Kind == TZevDrawCommand::KindLineList) {
        for (TZevLineRecord* record : ZevItems<TZevLineRecord>(command->Items))
            ZevPool20Release(record);
    } else if (command->Kind == TZevDrawCommand::KindLines3D) {
        for (TZevSegmentRecord* record : ZevItems<TZevSegmentRecord>(command->Items))
            ZevPool28Release(record);
    }
    command->Items.Clear();
}

TZevDrawCommand* TakeDrawCommand()
{
    TZevDrawCommand* command = nullptr;
    if (!gPoolsGone.load(std::memory_order_relaxed))
        command = static_cast<TZevDrawCommand*>(CommandPools().Take());
    if (!command)
        return new TZevDrawCommand();
    command->Reset();
    return command;
}

void ZevDrawCommandRelease(TZevDrawCommand* command)
{
    if (!command)
        return;
    FreeDrawCommandItems(command);
    if (gPoolsGone.load(std::memory_order_relaxed) || !CommandPools().Give(command))
        delete command;
}

void ZevFreeDrawCommandPools()
{
    if (gPoolsGone.exchange(true))
        return;
    CommandPools().DrainAll([](void* command) { delete static_cast<TZevDrawCommand*>(command); });
}

int ZevDrawCommandPoolCount()
{
    if (gPoolsGone.load(std::memory_order_relaxed))
        return 0;
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : CommandPools().Heads[slot].GetCount();
}
