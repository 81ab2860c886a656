#include "ZevDXGMWin.h"

#include "LispArgs.h"
#include "LispPlugIn.h"
#include "ZevApplication.h"
#include "ZevGMLoop.h"
#include "ZevLispSymbols.h"
#include "ZevLispForms.h"
#include "ZevLispWinConsole.h"
#include "ZevQueuedRenderer.h"
#include "ZevControls.h"
#include "ZevWinApi.h"
#include "qe.h"

#include <thread>

TZevClassRecord TZevDXGMWinClassRecord;
TZevDXGMWin* CurrentViewWindow = nullptr;
TZevDXGMWin* DrivenViewWindow = nullptr;
TZevRendererKind* ViewRendererKind = &DX7RendererKind;

namespace {

enum { MouseDownKind, MouseMoveKind, MouseUpKind };

// The thread that made the view windows (the user-interface thread): only it may touch them.
std::thread::id ViewThread;

bool OnViewThread() { return std::this_thread::get_id() == ViewThread; }

// The run's end on the thread that ran it: the window is no longer the one the switches address, the plug-ins are
// unloaded and the scene ends.
void EndRun(TZevDXGMWin* window)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    if (CurrentViewWindow == window)
        CurrentViewWindow = nullptr;
    UnloadAllQLPlugIns();
    window->Host.Final();
}

} // namespace

// ---- The render thread and its timer -------------------------------------------------------------------------------

std::uint32_t TZevDXGMWinThread::Execute()
{
    TZevDXGMWin* window = Owner;
    float interval = 0.0f;
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        if (!StopFlag)
            window->Host.Start(window->Renderer, window->KeyTable);
        interval = window->CurrentInterval();
    }
    double last = GetElapsedMilliseconds();
    bool ran = false;
    while (!StopFlag) {
        // A frame that took longer than the interval makes the next one due at once: a thread waiting for the
        // lock (the user-interface thread, to close the view or take a click) gets it in between, or it would wait
        // for as long as frames run late.
        if (ran && GetElapsedMilliseconds() - last >= interval)
            ZevSleep(1);
        ran = false;
        if (GetElapsedMilliseconds() - last >= interval) {
            TZevCriticalSectionLock lock(&GlobalLock, true);
            // Stop sets the flag under the lock: once it is seen here no frame starts.
            if (StopFlag)
                break;
            last = GetElapsedMilliseconds();
            if (window->RenderMoveFlag)
                window->Host.Frame();
            ran = true;
            window->HandOverPendingScript();
            // A paused scene is paced here, one frame per pause interval, and never sleeps in its frame.
            interval = window->CurrentInterval();
            if (window->Host.QuitFlag)
                StopFlag = 1;
        }
        if (StopFlag)
            break;
        if (window->TimerFlag)
            Suspend(); // the timer resumes the thread within a millisecond
        else
            std::this_thread::yield();
    }
    EndRun(window);
    // The window closes itself on its own thread; the render thread never touches the application's loop.
    if (window->Host.QuitFlag)
        PostMessageA(window->Handle, ViewRunEndedMessage, 0, 0);
    return 0;
}

void TZevDXGMWinTimer::OnTimer()
{
    ++Ticks;
    if (TZevThread* thread = Thread.load())
        thread->Resume();
}

// ---- The window ----------------------------------------------------------------------------------------------------

TZevDXGMWin::~TZevDXGMWin()
{
    if (OwnerSlot != nullptr && *OwnerSlot == this)
        *OwnerSlot = nullptr;
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        if (CurrentViewWindow == this)
            CurrentViewWindow = nullptr;
        if (Console != nullptr && Console->ViewSlot == &Console)
            Console->ViewSlot = nullptr;
        Console = nullptr;
    }
    if (DrivenViewWindow == this) {
        DrivenViewWindow = nullptr;
        if (Application != nullptr && Application->IdleFunction == ViewIdleFunction)
            Application->IdleFunction = nullptr;
    }
    // A Stop made while the lock was held left the join to here.
    Timer.Stop();
    Timer.Thread = nullptr;
    Thread.Stop();
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        Host.Final();
    }
    FinishStop();
}

void TZevDXGMWin::OnCreate()
{
    ViewThread = std::this_thread::get_id();
    if (ConsoleWanted) {
        TZevWin* made = nullptr;
        CreateChild(&made, "TZevLispWinConsole");
        Console = dynamic_cast<TZevLispWinConsole*>(made);
        if (Console != nullptr) {
            Console->ViewSlot = &Console;
            Console->SetText("Orvelle Physics Engine Demo Console");
        }
        SetText("Orvelle Physics Engine Demo View");
    }
    TZevCriticalSectionLock lock(&GlobalLock, true);
    CurrentViewWindow = this;
}

void TZevDXGMWin::SetPendingScript(const char* fileName)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    PendingScript = fileName != nullptr ? fileName : "";
}

void TZevDXGMWin::Start()
{
    Started = 1;
    if (FullScreen)
        SetBounds(0, 0, 640, 480);
    if (Application != nullptr)
        Application->ProcessMessages();
    // Closed while the waiting messages were handled: nothing to start.
    if (Destroyed)
        return;
    if (Host.Scene != nullptr) {
        Host.Scene->Directory = AppDirectory;
        Host.Scene->PacedPause = 1;
    }
    // The renderer takes the client area over: the window layer no longer paints it.
    Renderer = ZevMakeWindowRenderer(*ViewRendererKind, Handle, FullScreen, Shadow, &RendererDraws);
    if (!RendererDraws)
        ZevDebugLog("view: the renderer cannot draw into the window (no X display or no OpenGL)\n");
    if (Console != nullptr)
        Console->Interpreter = &Host.Interpreter;
    if (Threaded) {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        DrivenViewWindow = this;
        Thread.Owner = this;
        Thread.Start();
        if (TimerFlag) {
            Timer.Thread = &Thread;
            Timer.Interval = 1;
            Timer.Resolution = 2;
            Timer.Start();
        }
    } else {
        if (Application != nullptr)
            Application->IdleFunction = ViewIdleFunction;
        DrivenViewWindow = this;
        TZevCriticalSectionLock lock(&GlobalLock, true);
        Host.Start(Renderer, KeyTable);
    }
}

void TZevDXGMWin::Stop()
{
    if (Thread.IsStarted()) {
        // The timer goes first, before the thread can see the stop flag: it never resumes a thread that is ending,
        // even when the thread, its frame late, finds the flag without waiting for a tick.
        Timer.Stop();
        Timer.Thread = nullptr;
        {
            TZevCriticalSectionLock lock(&GlobalLock, true);
            Thread.StopFlag = 1;
        }
        if (GlobalLock.IsHeldByCurrentThread()) {
            // The thread needs the lock to end: waiting for it here would never end. It finds the stop flag when
            // it gets the lock; the destructor waits for it and deletes the renderer.
            Thread.Resume();
            return;
        }
        Thread.Stop();
    } else if (!Threaded && Started && DrivenViewWindow == this) {
        if (Application != nullptr && Application->IdleFunction == ViewIdleFunction)
            Application->IdleFunction = nullptr;
        DrivenViewWindow = nullptr;
        EndRun(this);
    }
    FinishStop();
}

void TZevDXGMWin::FinishStop()
{
    if (Renderer == nullptr)
        return;
    Renderer->Release();
    delete Renderer;
    Renderer = nullptr;
    Host.Renderer = nullptr;
}

float TZevDXGMWin::CurrentInterval() const
{
    if (const TZevGMBase* scene = Host.Scene) {
        const float paused = scene->PausedInterval();
        if (paused >= 0.0f)
            return paused;
        if (scene->FrameInterval >= 0.0f)
            return scene->FrameInterval;
    }
    return Interval;
}

void TZevDXGMWin::HandOverPendingScript()
{
    const bool script = !PendingScript.IsNull() && PendingScript.GetLength() > 0;
    // A scene built in code loads no script, but its console knows the same functions as the others: it gets
    // the library that "DefaultWorld.lsp" loads, without that file's world.
    const bool library = !script && LibraryPending && dynamic_cast<TZevGMLoop*>(Host.Scene) != nullptr;
    LibraryPending = false;
    if (!script && !library)
        return;
    const std::string file = script ? PendingScript.CStr() : ZevSceneLibraryFile;
    if (Console != nullptr && Console->InputPane != nullptr) {
        const std::string forms =
            script ? ZevLispLoadForm("DefaultWorld.lsp") + ZevLispLoadForm(file.c_str()) : ZevLispLoadForm(file.c_str());
        Console->InputLine = forms.c_str();
        PostMessageA(Console->InputPane->Handle, WM_KEYUP, VK_RETURN, 0);
    } else if (script) {
        ZevDebugLog((std::string("view: no console to load \"") + file + "\" into\n").c_str());
    }
    PendingScript = "";
}

void TZevDXGMWin::OnClose()
{
    Stop();
}

void TZevDXGMWin::OnDestroy()
{
    TZevLispWinConsole* console = nullptr;
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        if (CurrentViewWindow == this)
            CurrentViewWindow = nullptr;
        console = Console;
        Console = nullptr;
        if (console != nullptr && console->ViewSlot == &Console)
            console->ViewSlot = nullptr;
    }
    if (console != nullptr)
        console->Destroy();
    Stop();
}

void TZevDXGMWin::OnActivate()
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    if (Host.Scene != nullptr && Renderer != nullptr)
        Renderer->RestoreSurfaces();
}

// The render thread reads the key table and the scene's key state in its frames: keys are taken under the lock
// too (a frame holds it only while it draws and steps).
void TZevDXGMWin::OnKeyDown(WPARAM key)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    KeyTable[key & 0xFF] = 1;
    Host.KeyDown(static_cast<int>(key & 0xFF));
}

void TZevDXGMWin::OnKeyUp(WPARAM key)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    // A release whose press went elsewhere (ESCAPE that closed a dialog above the view) is not this window's.
    if (KeyTable[key & 0xFF] == 0)
        return;
    KeyTable[key & 0xFF] = 0;
    Host.KeyUp(static_cast<int>(key & 0xFF));
}

void TZevDXGMWin::OnMouseDown(WPARAM flags, std::int32_t x, std::int32_t y)
{
    ForwardMouse(MouseDownKind, flags, x, y);
}

void TZevDXGMWin::OnMouseMove(WPARAM flags, std::int32_t x, std::int32_t y)
{
    ForwardMouse(MouseMoveKind, flags, x, y);
}

void TZevDXGMWin::OnMouseUp(WPARAM flags, std::int32_t x, std::int32_t y)
{
    ForwardMouse(MouseUpKind, flags, x, y);
}

// The position is the message's, in client pixels: the picture the renderer draws starts at the client origin, so
// the ray goes through the pixel under the cursor.
void TZevDXGMWin::ForwardMouse(int kind, WPARAM flags, std::int32_t x, std::int32_t y)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    const int buttons = static_cast<int>(flags);
    if (kind == MouseDownKind)
        Host.MouseDown(buttons, x, y);
    else if (kind == MouseMoveKind)
        Host.MouseMove(buttons, x, y);
    else
        Host.MouseUp(buttons, x, y);
}

LRESULT TZevDXGMWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ViewRunEndedMessage) {
        Destroy();
        return 0;
    }
    return TZevWin::HandleMessage(message, wParam, lParam);
}

// ---- Without a render thread ---------------------------------------------------------------------------------------

void ViewIdleFunction(TZevApplication* application)
{
    TZevDXGMWin* window = DrivenViewWindow;
    if (window == nullptr) {
        application->IdleFunction = nullptr;
        return;
    }
    const double now = GetElapsedMilliseconds();
    if (window->LastIdleFrame < 0.0)
        window->LastIdleFrame = now;
    if (now - window->LastIdleFrame >= window->CurrentInterval()) {
        window->LastIdleFrame = now;
        TZevCriticalSectionLock lock(&GlobalLock, true);
        if (window->RenderMoveFlag)
            window->Host.Frame();
        window->HandOverPendingScript();
    }
    if (window->Host.QuitFlag) {
        application->IdleFunction = nullptr;
        DrivenViewWindow = nullptr;
        EndRun(window);
        CloseRootWindow();
    }
}

// ---- The render-move switches --------------------------------------------------------------------------------------

namespace {

void SetRenderMove(TZevDXGMWin* window, std::int32_t flag)
{
    window->RenderMoveFlag = flag;
    // Only the window's own thread may repaint it (a body's script function runs on the render thread).
    if (OnViewThread())
        window->Refresh();
}

void XPhSetRenderMoveFlag(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "l", &value)) {
        result = interp->ArgError;
        return;
    }
    TZevDXGMWin* window = CurrentViewWindow;
    if (window == nullptr) {
        result = Nil;
        return;
    }
    SetRenderMove(window, LispIsTrue(value) ? 1 : 0);
    result = T;
}

} // namespace

extern "C" QE_API int QE_SetRenderMoveFlag(int flag)
{
    TZevDXGMWin* window = CurrentViewWindow;
    if (window == nullptr)
        return 0;
    SetRenderMove(window, flag);
    return 1;
}

void ZevRegisterViewBuiltins()
{
    LispRegisterBuiltin(XPhSetRenderMoveFlag, "XPhSetRenderMoveFlag");
}
