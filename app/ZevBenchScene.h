// The common part of the benchmark scenes: a fixed length of simulated time per run while the wall-clock
// milliseconds of the world's step are summed, one summary line per run, the scene rebuilt for the next parameter
// set, and the quit flag set after the last run.
#pragma once

#include "ZevGMLoop.h"
#include "ZevSceneSupport.h"

#include <cstdint>
#include <string>

class TZevBenchScene : public TZevGMLoop {
public:
    explicit TZevBenchScene(float runLength) : RunLength(runLength) {}
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
    // After a run of a plain count: the next run, or the end of the sweep after the last one.
    void AdvanceRun(int runCount);
    // The next run: the contacts cleared, the scene torn down and built again.
    void NextRun();
    // The sweep is over: the quit flag is set and no further run ends.
    void FinishSweep();
    // The key hook and ESCAPE, the pause and the SHIFT overlay of every benchmark frame.
    void FrameKeys();
    // The benchmarks' camera: (0, 102, -150) looking down at 45 degrees, turned by 45 degrees.
    void OverviewCamera();

    std::int32_t RunIndex = 0;
    TZevMeasureFile Summary;
    float Time = 0.0f;      // simulated seconds of the run
    double StepCost = 0.0;  // milliseconds spent in the world's step during the run
    float RunLength;        // simulated seconds per run (shorter for a quick sweep)
    bool Finished = false;
};

// The link error values that the chain and pendulum benchmarks sweep.
inline constexpr float ZevBenchLinkErrors[4] = {0.4f, 0.2f, 0.1f, 0.05f};
