// The common part of the benchmark scenes: a fixed length of simulated time per run while the wall-clock
// milliseconds of the world's step are summed, one summary line per run, the scene rebuilt for the next parameter
// set, and the quit flag set after the last run. The status text shows how far the sweep has come.
#pragma once

#include "ZevGMLoop.h"
#include "ZevMeasureFile.h"
#include "ZevSceneSupport.h"

#include <cstdint>
#include <string>

class TZevBenchScene : public TZevGMLoop {
public:
    TZevBenchScene(float runLength, std::int32_t runCount) : RunLength(runLength), RunCount(runCount) {}
    ~TZevBenchScene() override = default;

    // Every body of the world goes (its land too).
    void OnShutdown() override;

    // True when the run is over: a time strictly above the run length, and the sweep not finished yet.
    bool RunIsOver() const { return !Finished && Time > RunLength; }
    // The benchmarks' world parameters, and the run's time and cost back to 0.
    void StartRun();
    // One world step of `dt` timed by the clock: the time advances by dt, the cost by the milliseconds it took.
    void TimedWorldStep(float dt);
    // The run's summary line: the label, then " CalcCost(ms) = " and the cost.
    void WriteSummaryLine(const std::string& label);
    // After a run: the next run, or the end of the sweep after the last one.
    void AdvanceRun();
    // The next run: the contacts cleared, the scene torn down and built again.
    void NextRun();
    // The sweep is over: the quit flag is set and no further run ends.
    void FinishSweep();
    // The key hook and ESCAPE, the pause and the SHIFT overlay of every benchmark frame.
    void FrameKeys();
    // The benchmarks' camera: (0, 102, -150) looking down at 45 degrees, turned by 45 degrees.
    void OverviewCamera();
    // The status text: "run i of n" and the simulated seconds of the run so far (a full sweep takes minutes).
    void ShowProgress();

    std::int32_t RunIndex = 0; // runs ended so far
    TZevMeasureFile Summary;
    float Time = 0.0f;      // simulated seconds of the run
    double StepCost = 0.0;  // milliseconds spent in the world's step during the run
    float RunLength;        // simulated seconds per run (shorter for a quick sweep)
    std::int32_t RunCount;  // runs of the sweep
    bool Finished = false;
};

// The link error values that the chain and pendulum benchmarks sweep.
inline constexpr float ZevBenchLinkErrors[4] = {0.4f, 0.2f, 0.1f, 0.05f};
