#include "ZevGMLoop10.h"

#include "ZevGameChara.h"
#include "ZevLandCTree.h"
#include "ZevPhscs2World.h"

#include <string>

namespace {

const char* const LandFiles[4] = {"objects/tstland3.bmp", "objects/tstland2.bmp", "objects/tstland1.bmp",
                                  "objects/tstland0.bmp"};

} // namespace

TZevGMLoop10::TZevGMLoop10() : TZevBenchScene(5.0f, 8)
{
    Summary.Open("ZevGMLoop10.txt", this);
}

void TZevGMLoop10::Setup()
{
    TZevBodySetup box;
    box.Scale = TZevVector(5.0f, 5.0f, 5.0f);
    box.Mass = 2.5f;
    box.Radius = 10.0f;
    box.AirResistance = 0.9f;
    for (int i = 0; i < 60; ++i) {
        const TZevMatrix at =
            ZevMatTranslation(15.5f * static_cast<float>(i % 8), 100.5f, 15.5f * static_cast<float>(i / 8) + 40.0f);
        LoadSceneBody("objects/lbox.x", nullptr, at, box);
    }
    // Runs 0 to 3 build the land's tree as an ordinary mesh box tree, runs 4 to 7 as the land grid.
    const std::int32_t buildSwitch = RunIndex / 4 - 1;
    TZevMatrix placement;
    ZevMatScaling(placement, 64.0f, 128.0f, 64.0f);
    TZevLandCTree* land =
        ZevBuildLand(LandFiles[RunIndex % 4], "map.bmp", placement, 0.05f, 0.05f, 16, 16, buildSwitch);
    if (land != nullptr) {
        ZevAddToScene(land, World, TZevGMBase::RootFrame);
        Land = land;
        int lo = 0, hi = 0;
        ZevTreeDepthRange(land->primitiveRoot, &lo, &hi);
        ZevDebugLog(("min_depth = " + std::to_string(lo) + "\n" + "max_depth = " + std::to_string(hi) + "\n").c_str());
        ZevSetLandMaterial(land);
        land->SetRebuildFlag();
        land->Refit();
    }
    StartRun();
}

void TZevGMLoop10::Step()
{
    if (RunIsOver()) {
        WriteSummaryLine(LandFiles[RunIndex % 4]);
        AdvanceRun();
    }
    FrameKeys();
    SleepIfPaused();
    DrawContactsIfShift();
    TimedWorldStep(0.02f);
    ShowProgress();
    OverviewCamera();
}
