#include "ZevEngineInstance.h"

#include "QEContext.h"
#include "LispPlugIn.h"
#include "QEInit.h"
#include "ZevFramePassRenderer.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevLispForms.h"
#include "ZevLispGMLoop.h"
#include "ZevQueuedRenderer.h"
#include "ZevThread.h"
#include "ZevApplication.h"
#include "qe.h"

#include <algorithm>
#include <cstdint>
#include <new>

TZevEngineInstance* CurrentEngineInstance = nullptr;
TZevPresentHook PresentHook = nullptr;
std::int32_t EmbedFullScreen = 0;
std::int32_t EmbedShadow = 0;

TZevEngineInstance::~TZevEngineInstance()
{
    UnloadAllQLPlugIns();
    Host.Final();
    Scene = nullptr;
    if (Renderer != nullptr) {
        Renderer->Release();
        delete Renderer;
        Renderer = nullptr;
    }
}

bool ZevClipRect(TZevPixelRect* rect, std::int32_t width, std::int32_t height)
{
    rect->Left = std::clamp(rect->Left, 0, std::max(width, 0));
    rect->Right = std::clamp(rect->Right, 0, std::max(width, 0));
    rect->Top = std::clamp(rect->Top, 0, std::max(height, 0));
    rect->Bottom = std::clamp(rect->Bottom, 0, std::max(height, 0));
    return rect->Right > rect->Left && rect->Bottom > rect->Top;
}

namespace {

void EmbedInit()
{
    ZevEngineInit();
    ZevWinUIInit();
}

// The instance that runs ends before another is made.
void EndInstance()
{
    delete CurrentEngineInstance;
    CurrentEngineInstance = nullptr;
    PresentHook = nullptr;
}

// Starts an instance on a renderer that draws (taken over): a script-driven scene whose paths are relative to the
// current directory, the host started, "DefaultWorld.lsp" run. 0, with everything undone, when the run cannot
// start.
int StartInstance(TZevQueuedRenderer* renderer, TZevPresentHook hook, std::int32_t presentFlag)
{
    auto* instance = new TZevEngineInstance;
    auto* scene = new TZevLispGMLoop;
    if (instance == nullptr || scene == nullptr) {
        delete scene;
        delete instance;
        renderer->Release();
        delete renderer;
        return 0;
    }
    instance->Renderer = renderer;
    scene->Directory = "";
    instance->Scene = scene;
    instance->Host.Scene = scene;
    instance->Host.Start(renderer, instance->KeyTable);
    if (!instance->Host.IsRunning()) {
        delete instance;
        return 0;
    }
    instance->Host.PresentFlag = presentFlag;
    CurrentEngineInstance = instance;
    PresentHook = hook;
    instance->Host.Interpreter.SendCommand(ZevLispLoadForm("DefaultWorld.lsp").c_str());
    return 1;
}

int InitFromWindow(const TZevRendererKind& kind, QE_Window window)
{
    EmbedInit();
    EndInstance();
    bool drawing = false;
    TZevQueuedRenderer* renderer =
        ZevMakeWindowRenderer(kind, static_cast<TZevGLWindow>(window), EmbedFullScreen, EmbedShadow, &drawing);
    if (renderer == nullptr)
        return 0;
    if (!drawing) {
        renderer->Release();
        delete renderer;
        return 0;
    }
    return StartInstance(renderer, kind.Present, 1);
}

// The client size of a window, through the device layer of the renderer; false when it cannot be known.
bool WindowSize(TZevQueuedRenderer* renderer, QE_Window window, std::int32_t* width, std::int32_t* height)
{
    auto* passes = dynamic_cast<TZevFramePassRenderer*>(renderer);
    TZevGLDevice* device = passes != nullptr ? passes->GetDevice() : nullptr;
    TZevGLRect rect{};
    if (device == nullptr || ZevGL::Failed(device->GetDriver()->GetWindowRect(static_cast<TZevGLWindow>(window),
                                                                               &rect)))
        return false;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return true;
}

// A frame operation of the current host: 0 without one.
int OnCurrentHost(void (TZevEngineHost::*operation)())
{
    return QEGuard(0, [&] {
        if (CurrentEngineHost == nullptr)
            return 0;
        (CurrentEngineHost->*operation)();
        return 1;
    });
}

enum { MouseDownKind, MouseMoveKind, MouseUpKind };

int SendMouse(int kind, int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight)
{
    return QEGuard(1, [&] {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        TZevEngineHost* host = CurrentEngineHost;
        if (host == nullptr)
            return 1;
        TZevQueuedRenderer* renderer = host->Renderer;
        TZevViewport kept;
        const bool viewport = renderer != nullptr && renderer->GetViewport(&kept) != 0;
        if (viewport) {
            TZevViewport given = kept;
            given.X = viewX;
            given.Y = viewY;
            given.Width = viewWidth;
            given.Height = viewHeight;
            renderer->SetViewport(&given);
        }
        if (kind == MouseDownKind)
            host->MouseDown(buttons, x, y);
        else if (kind == MouseMoveKind)
            host->MouseMove(buttons, x, y);
        else
            host->MouseUp(buttons, x, y);
        if (viewport)
            renderer->SetViewport(&kept);
        return 1;
    });
}

} // namespace

extern "C" {

QE_API int QE_DX7InitFromHWND(QE_Window window)
{
    return QEGuard(0, [&] { return InitFromWindow(DX7RendererKind, window); });
}

QE_API int QE_DX8InitFromHWND(QE_Window window)
{
    return QEGuard(0, [&] { return InitFromWindow(DX8RendererKind, window); });
}

QE_API int QE_DX8InitFromDevice(QE_GLDriver* driver, QE_GLDevice* device)
{
    return QEGuard(0, [&] {
        EmbedInit();
        EndInstance();
        TZevQueuedRenderer* renderer = DX8RendererFactory();
        if (renderer == nullptr)
            return 0;
        renderer->Release();
        renderer->SetFullScreen(EmbedFullScreen);
        renderer->SetStencilShadows(EmbedShadow);
        if (!InitRendererFromDevice(reinterpret_cast<TZevGLDriver*>(driver), reinterpret_cast<TZevGLDevice*>(device),
                                    renderer)) {
            renderer->Release();
            delete renderer;
            return 0;
        }
        // The host presents its device itself.
        return StartInstance(renderer, PresentThroughDevice, 0);
    });
}

QE_API int QE_Final(void)
{
    return QEGuard(0, [] {
        const int result = CurrentEngineHost != nullptr ? 1 : 0;
        EndInstance();
        return result;
    });
}

QE_API int QE_Render(void)
{
    return OnCurrentHost(&TZevEngineHost::Frame);
}

QE_API int QE_RenderOnly(void)
{
    return OnCurrentHost(&TZevEngineHost::RenderOnly);
}

QE_API int QE_MoveOnly(void)
{
    return OnCurrentHost(&TZevEngineHost::MoveOnly);
}

QE_API int QE_RenderToHWND(QE_Window window, const QE_Rect* source, const QE_Rect* destination)
{
    return QEGuard(0, [&] {
        TZevEngineHost* host = CurrentEngineHost;
        TZevQueuedRenderer* renderer = host != nullptr ? host->Renderer : nullptr;
        if (renderer == nullptr)
            return 0;
        TZevPixelRect from, into;
        if (source != nullptr) {
            from = {source->left, source->top, source->right, source->bottom};
            if (!ZevClipRect(&from, renderer->GetWidth(), renderer->GetHeight()))
                return 0;
        }
        if (destination != nullptr) {
            into = {destination->left, destination->top, destination->right, destination->bottom};
            std::int32_t width = 0, height = 0;
            if (!WindowSize(renderer, window, &width, &height))
                width = height = INT32_MAX; // unknown: only what lies left of or above the window is cut
            if (!ZevClipRect(&into, width, height))
                return 0;
        }
        TZevViewport kept;
        bool viewport = false;
        if (source != nullptr && renderer->GetViewport(&kept)) {
            TZevViewport part = kept;
            part.X = from.Left;
            part.Y = from.Top;
            part.Width = from.Right - from.Left;
            part.Height = from.Bottom - from.Top;
            viewport = renderer->SetViewport(&part) != 0;
        }
        renderer->RestoreSurfaces();
        renderer->Clear();
        renderer->SetCameraFrame(RootFrame, CameraFrame);
        if (host->TextFlag)
            host->DrawTexts(RenderToWindowFps);
        if (PresentHook != nullptr)
            PresentHook(static_cast<TZevGLWindow>(window), source != nullptr ? &from : nullptr,
                        destination != nullptr ? &into : nullptr, renderer);
        if (viewport)
            renderer->SetViewport(&kept);
        return 1;
    });
}

QE_API int QE_SendMouseButtonDown(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight)
{
    return SendMouse(MouseDownKind, buttons, x, y, viewX, viewY, viewWidth, viewHeight);
}

QE_API int QE_SendMouseButtonMove(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight)
{
    return SendMouse(MouseMoveKind, buttons, x, y, viewX, viewY, viewWidth, viewHeight);
}

QE_API int QE_SendMouseButtonUp(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight)
{
    return SendMouse(MouseUpKind, buttons, x, y, viewX, viewY, viewWidth, viewHeight);
}

QE_API const char* QE_About(void)
{
    return EngineVersionText;
}

} // extern "C"
