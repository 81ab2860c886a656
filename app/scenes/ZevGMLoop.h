// Scenes of the demo program. An engine host (ZevEngineHost.h) runs one scene: it hands the scene its renderer,
// key table, frames and quit flag in Init, calls Step once per frame and forwards mouse and key input.
//
// TZevGMBase is the root: it keeps what the host handed over and a line mesh for debug drawing. TZevGMLoop adds
// the simulation world: its Init creates the world, publishes the program-wide engine globals that the script
// builtins and exported functions read, calls Setup (which subclasses override to build their scene) and steps
// the world twice with 0; its Shutdown calls OnShutdown, ends the scripts' and hosts' mouse hooks, deletes the
// world and clears every global that still points into the scene. Its own Setup is the flight demonstration.
#pragma once

#include "ZevCollisionMeshObj.h"
#include "ZevDebug.h"
#include "ZevMatrix.h"
#include "ZevString.h"

#include <cstdint>

class TZevFrame;
class TZevGameChara;
class TZevLandCTree;
class TZevLineMesh;
class TZevLispTextInterpreter;
class TZevPhscs2World;
class TZevQueuedRenderer;

// How a body of a scene built in code is finished after it is loaded: normals recomputed, vertices scaled, mass
// and sphere inertia, optionally the inertia of its bounding box instead, dynamics on, air resistance.
struct TZevBodySetup {
    TZevVector Scale = TZevVector(1.0f, 1.0f, 1.0f);
    float Mass = 1.0f;
    float Radius = 1.0f;
    bool BoxInertia = false;
    float AirResistance = 0.05f;
};

class TZevGMBase : public TZevAllocated {
public:
    TZevGMBase() = default;
    virtual ~TZevGMBase() = default;
    TZevGMBase(const TZevGMBase&) = delete;
    TZevGMBase& operator=(const TZevGMBase&) = delete;

    // Keeps the five arguments and hangs a line frame with a fresh line mesh under the root frame. The renderer
    // may be null (a scene run without a view); the key table and the quit flag must not be.
    virtual void Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
                      std::int32_t* quitFlag);
    virtual void Shutdown() {}
    virtual void Step() {}
    virtual void Reserved() {}
    // Buttons word and client pixel coordinates.
    virtual void MouseDown(int buttons, int x, int y) { (void)buttons, (void)x, (void)y; }
    virtual void MouseMove(int buttons, int x, int y) { (void)buttons, (void)x, (void)y; }
    virtual void MouseUp(int buttons, int x, int y) { (void)buttons, (void)x, (void)y; }
    // Windows virtual-key codes. ESCAPE ends every scene's run.
    virtual void KeyDown(int key) { (void)key; }
    virtual void KeyUp(int key);

    // The text the host draws under the fps line: the status text, then the last file that could not be
    // opened, if any.
    const char* ShownStatusText();
    // The scene's status text (the engine's status text while the scene is published).
    virtual const char* CurrentStatusText() const { return StatusText.CStr(); }
    // Sets the scene's status text (and, while the scene is published, the engine's status text with it).
    virtual void SetStatusText(const char* text) { StatusText = text; }
    // A file that could not be opened: shown under the status text from now on.
    void ReportFileFailure(const char* path);

    // Milliseconds between frames while the scene is paused; negative while it is not.
    virtual float PausedInterval() const { return -1.0f; }

    bool IsKeyDown(int key) const { return KeyTable != nullptr && KeyTable[key & 0xFF] != 0; }
    void RequestQuit()
    {
        if (QuitFlag)
            *QuitFlag = 1;
    }
    // The camera frame's local matrix (nothing without a camera frame).
    void SetCameraMatrix(const TZevMatrix& m);

    std::int32_t* QuitFlag = nullptr;
    TZevQueuedRenderer* Renderer = nullptr;
    std::uint8_t* KeyTable = nullptr;
    TZevFrame* RootFrame = nullptr;
    TZevFrame* CameraFrame = nullptr;
    TZevFrame* LineFrame = nullptr;  // child of the root frame; goes with it
    TZevLineMesh* LineMesh = nullptr; // held by the line frame
    TZevLispTextInterpreter* Interpreter = nullptr; // the host's, set before Init
    TZevString StatusText;
    TZevString FileFailureText; // empty, or a line naming the last file that could not be opened
    TZevString ShownText;       // what ShownStatusText composed last
    // The application directory, or empty: the scene's folder names are appended to it as they stand.
    TZevString Directory;
    std::int32_t ShowFps = 1;
    // The least milliseconds between two frames that the scene asks of its view window; negative: the window's
    // own interval.
    float FrameInterval = -1.0f;
    // Set by a view window that paces a paused scene itself (one frame per PausedInterval): the pause then never
    // sleeps inside the step, which runs under the program-wide lock.
    std::int32_t PacedPause = 0;
    float StepSize = 0.02f;
    std::int32_t RepeatSize = 1000; // thousandths of a world step per frame
};

class TZevGMLoop : public TZevGMBase {
public:
    TZevGMLoop() = default;
    // A scene destroyed without its Shutdown still ends its run.
    ~TZevGMLoop() override;

    // Subclasses override Setup and OnShutdown instead of these two.
    void Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
              std::int32_t* quitFlag) final;
    void Shutdown() final;
    void Step() override;
    // The ray through the point goes to the host program's mouse function and the script's procedure.
    void MouseDown(int buttons, int x, int y) override;
    void MouseMove(int buttons, int x, int y) override;
    void MouseUp(int buttons, int x, int y) override;
    // CONTROL toggles the pause.
    void KeyDown(int key) override;
    // Builds the scene once the world exists: here the flight demonstration.
    virtual void Setup();
    // Ends what Setup built (before the world goes).
    virtual void OnShutdown() {}

    const char* CurrentStatusText() const override;
    void SetStatusText(const char* text) override;
    // Whether the engine globals are this scene's (another publisher may have replaced them since Init).
    bool IsPublished() const;

    // ---- For the scenes built in code
    // A body from a .x file through `factory`, placed at `matrix`, in the world with its frame under the root;
    // null (logged) when the file cannot be read.
    TZevGameChara* LoadXBody(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix);
    // LoadXBody, then FinishBody; null (logged) when the file cannot be read.
    TZevGameChara* LoadSceneBody(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                 const TZevBodySetup& setup);
    // Finishes a loaded body as `setup` says.
    static void FinishBody(TZevGameChara* body, const TZevBodySetup& setup);
    // A land from a height-map BMP with placement diag(64, 128, 64), land parameters 0.05, 0.05, 32, 32 and the
    // texture, in the world and stored as the scene's land; null (logged) when the bitmap cannot be read.
    TZevLandCTree* LoadLand(const char* heightMapFile, const char* textureFile);
    // The main character's key hook with the key table.
    void RunKeyHook();
    // Sleeps while the pause is on (the world still steps afterwards), unless a view paces the pause.
    void SleepIfPaused();
    float PausedInterval() const override { return Pause ? static_cast<float>(PauseMilliseconds) : -1.0f; }
    // While SHIFT is down: the contact lines and the bodies' boxes go into the line mesh.
    void DrawContactsIfShift();
    // The frame of the scenes built in code: the key hook, ESCAPE held down ends the run, the pause, the SHIFT
    // overlay, one world step of 0.02 s.
    void StepWithKeys();
    // The line between the two points of every contact, and the boxes of every body.
    void DrawContactGeometry();
    // The boxes of every body's collision tree (the top box and the boxes under it); the land's are left out
    // when `skipLand` is set.
    void DrawBodyBoxes(bool skipLand);

    TZevPhscs2World* World = nullptr;
    std::int32_t Pause = 0;
    TZevGameChara* MainChara = nullptr;
    TZevLandCTree* Land = nullptr; // refreshed at the end of Init
    // How long a paused frame sleeps.
    std::int32_t PauseMilliseconds = 1000;

protected:
    // The default camera: behind the main character, or a fixed overview without one.
    void FollowMainChara(const TZevVector& offset);

private:
    void Publish();
    void Unpublish();
    void CallMouseHooks(int kind, int buttons, int x, int y);
    void DeleteScriptBodies();
};
