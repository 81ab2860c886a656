// The vehicle scene: a four-wheeled car on a height-map land, driven with the cursor keys and braked with B; the
// camera rides behind and above it, upright, turning with the car's heading only.
#pragma once

#include "ZevGMLoop.h"

class TZevCarChara;
class TZevCollisionSpace;

class TZevVehicleScene : public TZevGMLoop {
public:
    TZevVehicleScene() = default;
    ~TZevVehicleScene() override = default;

    // The frame of the scenes built in code, then the camera behind the car.
    void Step() override;
    void Setup() override;

    TZevCarChara* Vehicle = nullptr; // also the main character
    TZevVector Heading = TZevVector(0.0f, 0.0f, 1.0f); // the car's forward direction along the ground, unit
};

// The car: a chassis from "objects/chassis.x" at (0, 10, 0) with four wheels from "objects/tireld.x" (drawn
// with "objects/tire.x") on motor joints, in the world with its frames under the root frame. Null (logged)
// when the chassis cannot be read; a wheel that cannot be made leaves its slot empty.
TZevCarChara* BuildVehicleBody(TZevFrame* rootFrame, TZevCollisionSpace* world);
