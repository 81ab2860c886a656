#include "QEPhOnly.h"

#include "QEContext.h"
#include "QEInit.h"
#include "ZevFrame.h"
#include "ZevLSObj.h"
#include "ZevPhscs2World.h"

TZevPhOnlyContext* PhOnlyContext = nullptr;
std::int32_t RepeatAccumulator = 0;

namespace {

// Set while QE_PhOnlyStep advances the world: a body callback that asks for a new or no context then is refused,
// since the world being stepped would be freed under the step.
bool Stepping = false;

TZevStreamHandle* OpenHandles = nullptr;

TZevFrame* NewFrame()
{
    TZevLSObj* object = CreateObjectByName("TZevFrame");
    TZevFrame* frame = dynamic_cast<TZevFrame*>(object);
    if (!frame && object)
        object->Release();
    return frame;
}

// Clears every global that points into `context` (another publisher may have replaced some since).
void Unpublish(TZevPhOnlyContext* context)
{
    if (CurrentWorld == context->World)
        CurrentWorld = nullptr;
    if (RootFrame == context->Root)
        RootFrame = nullptr;
    if (CameraFrame == context->Camera)
        CameraFrame = nullptr;
    if (StepSizePtr == &context->StepSize)
        StepSizePtr = nullptr;
    if (RepeatSizePtr == &context->RepeatSize)
        RepeatSizePtr = nullptr;
}

void Publish(TZevPhOnlyContext* context)
{
    CurrentWorld = context->World;
    RootFrame = context->Root;
    CameraFrame = context->Camera;
    KeyStateTable = nullptr;
    StepSizePtr = &context->StepSize;
    RepeatSizePtr = &context->RepeatSize;
}

// A complete context, or null (nothing left allocated) when the frame class is missing; throws when memory is.
TZevPhOnlyContext* BuildContext()
{
    TZevPhOnlyContext* context = new TZevPhOnlyContext;
    try {
        context->Root = NewFrame();
        context->Camera = NewFrame();
        if (!context->Root || !context->Camera) {
            delete context;
            return nullptr;
        }
        context->Root->AddChild(context->Camera);
        ZevMatTranslation(context->Camera->LocalMatrix, 0.0f, 0.0f, -5.0f);
        context->World = new TZevPhscs2World;
        ZevSetPhOnlyParameters(context->World);
        return context;
    } catch (...) {
        delete context;
        throw;
    }
}

} // namespace

TZevPhOnlyContext::~TZevPhOnlyContext()
{
    // The bodies' frames hang under the root frame: the world (and its bodies) goes first.
    QEForgetWorldBodies(World);
    delete World;
    World = nullptr;
    if (Camera && Camera->GetParent() != Root)
        Camera->Release();
    if (Root)
        Root->Release();
    Root = nullptr;
    Camera = nullptr;
}

TZevStreamHandle::TZevStreamHandle(TZevStream* stream, TZevObjectIdTable* table) : Stream(stream), Table(table)
{
    NextOpen = OpenHandles;
    OpenHandles = this;
}

TZevStreamHandle::~TZevStreamHandle()
{
    for (TZevStreamHandle** p = &OpenHandles; *p; p = &(*p)->NextOpen) {
        if (*p == this) {
            *p = NextOpen;
            break;
        }
    }
}

bool TZevStreamHandle::IsOpen(const void* handle)
{
    if (!handle)
        return false;
    for (const TZevStreamHandle* h = OpenHandles; h; h = h->NextOpen) {
        if (h == handle)
            return true;
    }
    return false;
}

extern "C" QE_API int QE_PhOnlyInit(void)
{
    return QEGuard(0, [] {
        if (Stepping)
            return 0;
        ZevEngineInit();
        TZevPhOnlyContext* fresh = BuildContext();
        if (!fresh)
            return 0;
        // A second run replaces the first one instead of leaving its world allocated and unreachable.
        if (PhOnlyContext) {
            Unpublish(PhOnlyContext);
            delete PhOnlyContext;
            PhOnlyContext = nullptr;
        }
        Publish(fresh);
        QEAddObjectPath("objects/");
        QEAddObjectPath("/usr/share/vizorudada/qetest/objects/");
        PhOnlyContext = fresh;
        return 1;
    });
}

extern "C" QE_API int QE_SetWorkerThreads(int threads)
{
    return QEGuard(0, [threads] {
        if (threads < 1)
            return 0;
        ZevSetDefaultWorkerThreads(threads);
        if (PhOnlyContext != nullptr && PhOnlyContext->World != nullptr)
            PhOnlyContext->World->WorkerThreads = ZevDefaultWorkerThreads();
        return 1;
    });
}

extern "C" QE_API int QE_PhOnlyStep(void)
{
    return QEGuard(0, [] {
        TZevPhOnlyContext* context = PhOnlyContext;
        if (!context || Stepping)
            return 0;
        if (SimulationFlag == 0)
            return 1;
        Stepping = true;
        struct Reset {
            ~Reset() { Stepping = false; }
        } reset;
        const std::int32_t r = context->RepeatSize;
        if (r <= 0)
            return 1; // no step ever, and the accumulator stays as it is
        if (r < 1000) {
            RepeatAccumulator += r;
            if (RepeatAccumulator >= 1000) {
                RepeatAccumulator -= 1000;
                context->World->Step(context->StepSize);
            }
            return 1;
        }
        // The count is read again before every further step: a callback may change the repeat size.
        for (std::int32_t i = 0; i < context->RepeatSize / 1000; ++i)
            context->World->Step(context->StepSize);
        return 1;
    });
}

extern "C" QE_API int QE_PhOnlyFinal(void)
{
    return QEGuard(0, [] {
        if (!PhOnlyContext || Stepping)
            return 0;
        TZevPhOnlyContext* context = PhOnlyContext;
        PhOnlyContext = nullptr;
        Unpublish(context);
        delete context;
        return 1;
    });
}

extern "C" QE_API int QE_WriteToStream(QE_StreamHandle* stream, const void* bytes, int count)
{
    return QEGuard(0, [&] {
        if (!TZevStreamHandle::IsOpen(stream) || count < 0 || (!bytes && count > 0))
            return 0;
        TZevStreamHandle* handle = reinterpret_cast<TZevStreamHandle*>(stream);
        return handle->Stream ? handle->Stream->Write(bytes, count) : 0;
    });
}

extern "C" QE_API int QE_ReadFromStream(QE_StreamHandle* stream, void* buffer, int count)
{
    return QEGuard(0, [&] {
        if (!TZevStreamHandle::IsOpen(stream) || count < 0 || (!buffer && count > 0))
            return 0;
        TZevStreamHandle* handle = reinterpret_cast<TZevStreamHandle*>(stream);
        return handle->Stream ? handle->Stream->Read(buffer, count) : 0;
    });
}
