// What the Direct3D test form's animation thread runs once per frame: the camera flown by the keys, the script
// 3D objects moved and shown under its own root frame, the collision test scene's step, the frame drawn with its
// timing text and presented. The runner owns its root and camera frames.
#pragma once

#include "ZevCollisionTestScene.h"

#include <cstdint>

class TZevFrame;
class TZevQueuedRenderer;

class TZevDXTestRunner {
public:
    TZevDXTestRunner() = default;
    ~TZevDXTestRunner();
    TZevDXTestRunner(const TZevDXTestRunner&) = delete;
    TZevDXTestRunner& operator=(const TZevDXTestRunner&) = delete;

    // A fresh root frame and camera (at z = -5) for the renderer and the key table, and the scene set up in its
    // mode; a runner that was set up before is shut down first.
    void Setup(TZevQueuedRenderer* renderer, std::uint8_t* keys);
    // The scene's shutdown, then the frames go.
    void Shutdown();
    // One frame (nothing before a set-up).
    void Frame();

    TZevQueuedRenderer* Renderer = nullptr;
    std::uint8_t* KeyTable = nullptr;
    TZevFrame* RootFrame = nullptr;   // owned
    TZevFrame* CameraFrame = nullptr; // child of the root frame
    TZevCollisionTestScene Scene;
    double LastFrameTime = 0.0; // milliseconds

private:
    void FlyCamera();
    // Moves the script 3D objects by one step and hangs their frames in the tree (or takes them all off it).
    void ShowScriptObjects(bool shown);
};

// Milliseconds since start-up, the clock the test form runs on.
double ZevDXTestNow();
