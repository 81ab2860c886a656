// The friction sliding test: a box rests on a large floor and, after a settling time, is either pushed by a slowly
// rising horizontal force or launched with an initial velocity. Each run records the box's trajectory, the contact
// totals and the cost of the world steps, writes a gnuplot script that plots the trajectory (and, for a launched
// box, the ideal Coulomb-braked one), captures the view to a BMP and, for a pushed box, says whether it stayed
// put ("static") or slid ("dynamic"). The runs sweep five digits (step size, weight, body files, case, spring
// coefficient) like an odometer; after the last one the scene asks the host to quit.
#pragma once

#include "ZevGMLoop.h"
#include "ZevMeasureFile.h"
#include "ZevSceneSupport.h"

#include <cstdint>
#include <string>

class TZevSlideTestScene : public TZevGMLoop {
public:
    // Creates the output folder and opens its summary file "slip.txt" with the header of the push forces.
    TZevSlideTestScene();
    ~TZevSlideTestScene() override = default;

    void Step() override;
    // The set-up of one run.
    void Setup() override;
    // The floor and the box of the run go.
    void OnShutdown() override;

    // The values of the current run.
    float RunStepSize() const;
    float RunWeight() const;
    float RunForce() const;
    float RunVelocity() const;
    float RunSpring() const;
    bool IsLaunchCase() const;
    // The indices joined as "_i0_i1_i2_i3_i4".
    std::string IndexSuffix() const;
    // "../datas/" and the test-mode name, with a slash.
    static std::string OutputFolder();

    static constexpr float SettleTime = 5.0f;
    static constexpr float RampEnd = 7.0f;
    static constexpr float RunEnd = 15.0f;
    static constexpr float SlideDistance = 0.25f;

    TZevGameChara* Floor = nullptr;
    TZevGameChara* Box = nullptr;
    TZevMeasureFile DataFile;
    TZevMeasureFile SummaryFile;
    std::int32_t Indices[5] = {};
    float Time = 0.0f;
    std::int32_t FirstPush = 1;
    // Number of values of each sweep digit; fewer make a shorter sweep.
    std::int32_t Counts[5] = {4, 1, 1, 10, 1};
    double StepCost = 0.0;
    bool LinesOn = false;
    bool Finished = false;

private:
    void EndRun();
    void WritePlotScript(const std::string& path, const std::string& runName);
    void WriteDataLine();
    void DrawWireframes();
    void UpdateCamera();
    void DrawTrail();
};

// Program-wide state of the sliding tests.
extern std::string SlideTestModeName; // "TestMode4"; names the output folder
extern std::int32_t SlideDynamicFlag;  // 1 once the box has slid in the current run
extern float SlideReferenceX;          // the box's x at the start of the push phase
extern std::int32_t SlideCameraMode;   // 1 flat overview, 2 tilted perspective
