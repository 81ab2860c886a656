// The Direct3D test form's scene: without any physics world, it tries the stand-alone mesh collision model, the
// free-form deformation and the inside test of closed meshes on a few models loaded from objects/.
//   mode 0: nothing of its own (the script 3D objects alone show);
//   mode 1: a box and a claw fall onto a tilted floor and bounce off what they touch;
//   mode 2: the claw bent by a 3 x 3 x 3 lattice, one of whose points the mouse drags;
//   mode 3: the mouse drags a ball that is green inside the claw and blue outside it.
#pragma once

#include "ZevFFD.h"
#include "ZevMath.h"
#include "ZevMeshCollider.h"
#include "ZevString.h"

#include <cstdint>

class TZevFrame;
class TZevPolygonMesh;
class TZevQueuedRenderer;

// The model file found as named, else in the application's objects/ folder; null (logged) when neither reads.
TZevFrame* ZevLoadTestModel(const char* fileName);
// The first polygon mesh of a frame tree, or null.
TZevPolygonMesh* ZevFirstPolygonMesh(TZevFrame* frame);

// A collision model of a loaded mesh file that moves by its own velocities and bounces off what it touches.
class TZevTestMeshModel : public TZevMeshCollider {
public:
    TZevTestMeshModel() = default;
    ~TZevTestMeshModel() override;

    // The collider's clear; the loaded frame goes too.
    void Clear() override;
    // Touching something turns the model's velocity and angular velocity around.
    void OnCollide(TZevMeshCollider* other) override;

    // Reads the file and builds the model from its first mesh, at rest; false (empty) when it cannot.
    bool Load(const char* fileName);
    // One frame: the velocities take their accelerations, the frame turns by the angular velocity over 1/60 s and
    // moves by the velocity, and the vertices and boxes follow the frame.
    void Integrate();

    TZevVector Velocity;
    TZevVector Acceleration;
    TZevVector AngularVelocity;
    TZevVector AngularAcceleration;
    TZevQueuedRenderer* Renderer = nullptr;
    TZevFrame* Frame = nullptr; // owned
};

// A free-form deformation of a loaded mesh file, shown through a frame that carries the deformed copy.
class TZevTestFFDObject : public TZevFFD {
public:
    TZevTestFFDObject() = default;
    ~TZevTestFFDObject() override;

    // The deformation's clear; the frame goes too.
    void Clear() override;
    // Reads the file, deforms its first mesh by an l x m x n lattice; false (empty) when it cannot.
    bool Load(const char* fileName, std::int32_t l, std::int32_t m, std::int32_t n);

    TZevFrame* Frame = nullptr; // owned; its visual is the deformed copy
};

class TZevCollisionTestScene {
public:
    TZevCollisionTestScene() = default;
    ~TZevCollisionTestScene();
    TZevCollisionTestScene(const TZevCollisionTestScene&) = delete;
    TZevCollisionTestScene& operator=(const TZevCollisionTestScene&) = delete;

    // Builds the models of the mode under the root frame; the scene is active afterwards.
    void Setup(TZevQueuedRenderer* renderer, TZevFrame* root, TZevFrame* camera);
    // Frees the models of the mode (nothing in mode 0 or before a set-up).
    void Shutdown();
    // One frame of the mode (nothing before a set-up).
    void Step();
    // Mouse input in client pixels (ignored in mode 0 and before a set-up).
    void MouseDown(std::int32_t x, std::int32_t y);
    void MouseMove(std::int32_t x, std::int32_t y);
    void MouseUp(std::int32_t x, std::int32_t y);

    TZevQueuedRenderer* Renderer = nullptr;
    TZevFrame* RootFrame = nullptr;
    TZevFrame* CameraFrame = nullptr;
    std::int32_t Mode = 1;
    std::int32_t Active = 0;
    std::int32_t Dragging = 0;
    std::int32_t LastX = 0, LastY = 0;
    float DragX = 0.0f, DragY = 0.0f;
    TZevTestMeshModel Models[5];
    TZevTestFFDObject Deformation;
    TZevString ResultText; // "True" while the last tested pair touches, else "False"

private:
    // The model's frame under the root frame (or taken off it).
    void Show(TZevTestMeshModel& model, bool shown);
};
