// Benchmark of the land collision: 60 boxes fall onto each of four height-map lands, whose tree is built first as
// an ordinary mesh box tree and then as the land grid; 8 runs of 5 s, one line each in "ZevGMLoop10.txt".
#pragma once

#include "ZevBenchScene.h"

class TZevGMLoop10 : public TZevBenchScene {
public:
    // Opens the summary file in the current directory.
    TZevGMLoop10();
    ~TZevGMLoop10() override = default;

    void Step() override;
    void Setup() override;

};
