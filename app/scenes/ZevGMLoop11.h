// Benchmark of the joint links: a chain of nine links hanging from a fixed one, its eight joints driven by
// 5000 sin(5 t), for each of four link error values; 4 runs of 5 s, one line each in "ZevGMLoop11.txt".
#pragma once

#include "ZevBenchScene.h"

class TZevJoint;

class TZevGMLoop11 : public TZevBenchScene {
public:
    // Opens the summary file in the current directory.
    TZevGMLoop11();
    ~TZevGMLoop11() override = default;

    void Step() override;
    void Setup() override;
    // The chain's joints are forgotten with the bodies.
    void OnShutdown() override;

    static constexpr int JointCount = 8;
};

// The joints of the chain of the running benchmark (program-wide).
extern TZevJoint* ChainJoints[TZevGMLoop11::JointCount];
