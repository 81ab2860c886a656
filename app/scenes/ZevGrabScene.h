// The grab-and-carry scene: a legged robot on a height-map land that rises, descends, walks and picks up boxes
// and hearts under the keys (E, X, the cursor keys, D grabs, S releases); the camera looks on from a fixed place.
#pragma once

#include "ZevGMLoop.h"

class TZevRobotChara;

class TZevGrabScene : public TZevGMLoop {
public:
    TZevGrabScene() = default;
    ~TZevGrabScene() override = default;

    // The frame of the scenes built in code, then the fixed camera.
    void Step() override;
    void Setup() override;

    TZevRobotChara* Robot = nullptr; // also the main character

    // The damping of the robot's body motion in this scene.
    static constexpr float RobotLinearDamping = 30.0f;
    // The brake of the robot's knees in this scene: with none they fold under the body's weight while no key is
    // held (it sinks about 8 units in 5 s and is never at rest). The torques of S and D drive them past it.
    static constexpr float RobotKneeBrake = 500.0f;
};

// The boxes of the grab and vehicle scenes: "objects/lbox.x" made 20 x 20 x 40, mass 1 with the inertia of its
// box, air resistance 0.2, at `position`; null (logged) when the file cannot be read.
TZevGameChara* ZevAddSceneBox(TZevGMLoop* scene, const TZevVector& position);
