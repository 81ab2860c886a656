// The 3D view window of the demo program: a top-level window that embeds an engine host, draws its scene with a
// device renderer on itself, opens a Lisp console beside itself for the scene's interpreter, and runs the host's
// frames on a render thread that a periodic timer wakes (or, without the thread, from the application's idle
// function).
//
// Threads and the lock: the render thread starts the host and runs every frame under GlobalLock, and hands the
// scene's script file to the console by setting its input line and posting a Return key-up to it, so that scripts
// are evaluated on the user-interface thread only. The user-interface thread takes GlobalLock for the input
// handlers and the console's evaluation. Nothing that waits for the render thread (Stop, the destructor) runs while
// the waiting thread holds the lock: a Stop met there leaves the join to the destructor. A paused scene is paced by
// the thread (one frame per pause interval) instead of sleeping inside its frame, so the lock is never held
// through a pause.
//
// Ownership: the window owns its renderer, its engine host (and through it the scene) and its thread and timer;
// the console is a child window (deleted by the window framework); the owner slot is a field of the window's
// creator that refers to it, cleared when the window goes.
#pragma once

#include "ZevEngineHost.h"
#include "ZevRendererKind.h"
#include "ZevThread.h"
#include "ZevWin.h"

#include <atomic>
#include <cstdint>

class TZevApplication;
class TZevDXGMWin;
class TZevGMBase;
class TZevLispWinConsole;
class TZevQueuedRenderer;

// Posted to a view window by its render thread when the scene asked for the end of the run: the window then
// closes itself on the user-interface thread.
constexpr UINT ViewRunEndedMessage = WM_USER + 0x101;

class TZevDXGMWinThread : public TZevThread {
public:
    ~TZevDXGMWinThread() override { Stop(); }
    std::uint32_t Execute() override;

    TZevDXGMWin* Owner = nullptr;
};

class TZevDXGMWinTimer : public TZevMMTimer {
public:
    ~TZevDXGMWinTimer() override { Stop(); }
    void OnTimer() override;

    std::atomic<TZevThread*> Thread{nullptr};
    std::atomic<std::int32_t> Ticks{0}; // calls of OnTimer so far
};

class TZevDXGMWin : public TZevWin {
public:
    TZevDXGMWin() = default;
    // Clears the owner slot and the published pointers, ends the thread (the timer first) and deletes the renderer;
    // then the host ends the scene.
    ~TZevDXGMWin() override;

    void OnKeyDown(WPARAM key) override;
    void OnKeyUp(WPARAM key) override;
    void OnMouseDown(WPARAM flags, std::int32_t x, std::int32_t y) override;
    void OnMouseMove(WPARAM flags, std::int32_t x, std::int32_t y) override;
    void OnMouseUp(WPARAM flags, std::int32_t x, std::int32_t y) override;
    void OnDestroy() override;
    void OnClose() override;
    void OnCreate() override;
    void OnActivate() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Sets the scene (owned from now on; before Start).
    void SetScene(TZevGMBase* scene) { Host.Scene = scene; }
    // The .lsp file the console loads on top of "DefaultWorld.lsp" at the first frame; set it before Start (it is
    // taken under GlobalLock, so a later call is safe too).
    void SetPendingScript(const char* fileName);
    // Makes the renderer and starts the run: on the render thread, or from the idle function when not threaded.
    virtual void Start();
    // Ends the run: the timer, then the thread (joined), then the renderer. A second call does nothing.
    virtual void Stop();

    // The least milliseconds between two frames now: the scene's pause interval while it is paused, else the
    // scene's own interval when it asks for one, else the window's.
    float CurrentInterval() const;
    // Under GlobalLock on the render thread: hands the pending script to the console.
    void HandOverPendingScript();

    std::int32_t Started = 0;
    std::int32_t FullScreen = 0;
    std::int32_t ConsoleWanted = 1;
    std::int32_t Shadow = 0;
    std::int32_t Threaded = 1;
    std::atomic<std::int32_t> TimerFlag{1}; // the thread suspends after each pass and the timer resumes it
    std::uint8_t KeyTable[256] = {};
    float Interval = 20.0f;
    TZevQueuedRenderer* Renderer = nullptr; // owned
    bool RendererDraws = false;            // the renderer is on the window (false without X or OpenGL)
    std::atomic<std::int32_t> RenderMoveFlag{1};
    TZevEngineHost Host;
    TZevDXGMWinThread Thread;
    TZevDXGMWinTimer Timer;
    TZevLispWinConsole* Console = nullptr; // child window; cleared under GlobalLock when it goes
    TZevString PendingScript;
    // A scene built in code still has the script library to load at its first frame.
    bool LibraryPending = true;
    TZevDXGMWin** OwnerSlot = nullptr;
    // The idle path: time of the last frame (negative before the first).
    double LastIdleFrame = -1.0;

private:
    void FinishStop();
    void ForwardMouse(int kind, WPARAM flags, std::int32_t x, std::int32_t y);
};

// The script library every scene's console loads ("DefaultWorld.lsp" loads it for the script scenes).
inline constexpr const char* ZevSceneLibraryFile = "pomulib.lsp";

// The view window that the render-move switches address (the last one created), and the one run by the idle
// function; null when there is none.
extern TZevDXGMWin* CurrentViewWindow;
extern TZevDXGMWin* DrivenViewWindow;
// The kind of renderer the views make (the DirectDraw 7 manner; tests replace it).
extern TZevRendererKind* ViewRendererKind;

// The frame function of a view without a render thread.
void ViewIdleFunction(TZevApplication* application);

// The script builtin XPhSetRenderMoveFlag.
void ZevRegisterViewBuiltins();

extern TZevClassRecord TZevDXGMWinClassRecord;
