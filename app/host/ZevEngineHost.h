// The engine host runs one scene: it owns the root and camera frames, the interpreter host of the scene's scripts
// and the scene, and turns one call into one drawn and stepped frame. Every view window embeds one, and so does
// the engine instance of the embedding exports. The host started last is published as CurrentEngineHost.
//
// The host takes no lock: its callers hold GlobalLock around Start, Frame and the mouse operations where threads
// meet (the view window's render thread, the exported mouse functions).
#pragma once

#include "ZevDebug.h"
#include "ZevLispInterpreter.h"
#include "ZevString.h"

#include <cstdint>

class TZevFrame;
class TZevGMBase;
class TZevQueuedRenderer;

// The fps text is recomputed every 10 frames from the time since its last update; each frame family (stepped
// frames, frames drawn without a step, frames drawn into another window) counts on its own, for all hosts.
struct TZevFpsCounter {
    std::int32_t Frames = 0;
    double LastUpdate = 0.0; // milliseconds of the scene clock
};
extern TZevFpsCounter FrameFps;
extern TZevFpsCounter RenderOnlyFps;
extern TZevFpsCounter RenderToWindowFps;

class TZevEngineHost : public TZevAllocated {
public:
    TZevEngineHost() = default;
    // Final's work; then the interpreter host goes.
    virtual ~TZevEngineHost();
    TZevEngineHost(const TZevEngineHost&) = delete;
    TZevEngineHost& operator=(const TZevEngineHost&) = delete;

    // Starts a run: a host that runs already ends that run first (its scene is shut down and deleted); then the
    // renderer and key table are kept, the host is published, the root frame and the camera frame (at z = -5)
    // are made, and the scene, if one is set, gets the interpreter host and its Init. A null key table makes the
    // host use a table of its own (no key is ever down).
    void Start(TZevQueuedRenderer* renderer, std::uint8_t* keys);
    // Restore, clear, draw the frame tree, the scene's step, the fps text at (32, 32) and the scene's text at
    // (32, 48) while the text flag is set, present while the present flag is set. Nothing before Start.
    void Frame();
    // Frame without the scene's step.
    void RenderOnly();
    // The scene's step alone.
    void MoveOnly();
    void MouseDown(int buttons, int x, int y);
    void MouseMove(int buttons, int x, int y);
    void MouseUp(int buttons, int x, int y);
    void KeyDown(int key);
    void KeyUp(int key);
    // Ends the run: unpublished, the scene shut down and deleted, the frames deleted.
    void Final();

    // Whether a run is going on (between Start and Final).
    bool IsRunning() const { return Root != nullptr; }
    // The fps text (when the scene asks for it) and the scene's status text, counted in `counter`.
    void DrawTexts(TZevFpsCounter& counter);

    std::int32_t QuitFlag = 0; // the scene writes 1 to ask for the end of the run
    TZevQueuedRenderer* Renderer = nullptr; // not owned
    std::uint8_t* KeyTable = nullptr;       // not owned
    TZevFrame* Root = nullptr;              // owned
    TZevFrame* Camera = nullptr;            // child of Root
    TZevLispTextInterpreter Interpreter;
    TZevString FpsText = "";
    std::int32_t PresentFlag = 1;
    std::int32_t TextFlag = 1;
    TZevGMBase* Scene = nullptr; // owned; set before Start

private:
    void Draw(TZevFpsCounter& counter, bool step);

    std::uint8_t OwnKeys[256] = {};
};

extern TZevEngineHost* CurrentEngineHost;
