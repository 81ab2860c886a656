// Measurement of a double pendulum: for each link error value and each step size the joint angles are written
// at every frame, with a gnuplot script that plots them; 12 runs of 14 s, one summary line each in
// "../datas/ZevGMLoop12/ZevGMLoop12.txt". The cursor keys turn the camera.
#pragma once

#include "ZevBenchScene.h"

#include <cstdint>
#include <string>

class TZevJoint;

class TZevGMLoop12 : public TZevBenchScene {
public:
    // Creates "../datas/ZevGMLoop12/" (with every folder above it) and opens the summary file there.
    TZevGMLoop12();
    ~TZevGMLoop12() override = default;

    void Step() override;
    // Builds the pendulum, opens the run's angle file and writes its plot script, both in the current folder.
    void Setup() override;
    void OnShutdown() override;

    // "dt" and the four counters: the name of the run's files.
    std::string RunName() const;
    float CurrentStepSize() const { return StepSizes[Counters[2]]; }

    static constexpr float StepSizes[3] = {0.02f, 0.01f, 0.005f};
    static constexpr std::int32_t CounterLimits[4] = {4, 1, 3, 1};

    TZevMeasureFile RunFile;
    std::int32_t Counters[4] = {}; // c0..c3: link error, (unused), step size, (unused)
};

// The pendulum's two joints (program-wide), and the camera's yaw and pitch in half turns, which keep their values
// from run to run.
extern TZevJoint* PendulumJoints[2];
extern float PendulumCameraYaw;
extern float PendulumCameraPitch;
