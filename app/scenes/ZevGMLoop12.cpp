#include "ZevGMLoop12.h"

#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"
#include "ZevVirtualKeys.h"

#include <numbers>

TZevJoint* PendulumJoints[2] = {};
float PendulumCameraYaw = 0.0f;
float PendulumCameraPitch = 0.0f;

namespace {

const char* const SummaryFolder = "../datas/ZevGMLoop12/";

// An arm of the pendulum: a 2 x 2 x 6 box of mass 5 hanging from (0, top, 0).
TZevGameChara* MakeArm(TZevGMLoop* scene, float top)
{
    TZevGameChara* arm =
        ZevAsGameChara(CreateBoxXPhBody(nullptr, TZevMatrix(), scene->RootFrame, scene->World,
                                        TZevVector(-1.0f, -1.0f, -1.0f), TZevVector(1.0f, 1.0f, 5.0f), 5.0f));
    if (arm == nullptr)
        return nullptr;
    TZevMatrix down, place;
    ZevMatRotationX(down, std::numbers::pi_v<float> / 2.0f);
    arm->PlaceAt(ZevMatMultiply(place, down, ZevMatTranslation(0.0f, top, 0.0f)));
    arm->LinearDamping = 0.0f;
    return arm;
}

} // namespace

TZevGMLoop12::TZevGMLoop12()
    : TZevBenchScene(14.0f, CounterLimits[0] * CounterLimits[1] * CounterLimits[2] * CounterLimits[3])
{
    ZevMakeFolders(SummaryFolder);
    Summary.Open((std::string(SummaryFolder) + "ZevGMLoop12.txt").c_str(), this);
}

std::string TZevGMLoop12::RunName() const
{
    std::string name = "dt";
    for (int k = 0; k < 4; ++k)
        name += "_" + std::to_string(Counters[k]);
    return name;
}

void TZevGMLoop12::OnShutdown()
{
    PendulumJoints[0] = PendulumJoints[1] = nullptr;
    TZevBenchScene::OnShutdown();
}

void TZevGMLoop12::Setup()
{
    PendulumJoints[0] = PendulumJoints[1] = nullptr;
    TZevGameChara* anchor =
        ZevAsGameChara(CreateBoxXPhBody(nullptr, TZevMatrix(), TZevGMBase::RootFrame, World,
                                        TZevVector(-1.0f, -1.0f, -1.0f), TZevVector(1.0f, 1.0f, 1.0f), 1.0f));
    TZevGameChara* upper = MakeArm(this, -1.0f);
    TZevGameChara* lower = MakeArm(this, -5.0f);
    if (anchor != nullptr) {
        anchor->SetDynamic(0);
        TZevJointSettings settings;
        settings.Size = 3.0f;
        if (upper != nullptr) {
            settings.Pivot = TZevVector(0.0f, -1.0f, 0.0f);
            PendulumJoints[0] = ZevJoinChildHere(anchor, upper, settings);
        }
        if (upper != nullptr && lower != nullptr) {
            settings.Pivot = TZevVector(0.0f, 0.0f, 2.0f);
            PendulumJoints[1] = ZevJoinChildHere(upper, lower, settings);
        }
        ZevAddToScene(anchor, World, TZevGMBase::RootFrame);
        ZevSetJointAngle(PendulumJoints[0], upper, -std::numbers::pi_v<float> / 4.0f);
        ZevSetJointAngle(PendulumJoints[1], lower, 0.0f);
    }
    for (TZevJoint* joint : PendulumJoints) {
        if (joint == nullptr)
            continue;
        for (int k = 0; k < 4; ++k)
            if (joint->Links[k] != nullptr)
                joint->Links[k]->Tolerance = k < 2 ? ZevBenchLinkErrors[Counters[0]] : 0.5f;
        joint->StaticFrictionCoeff = 0.1f;
        joint->DynamicFrictionCoeff = 0.1f;
        joint->Brake = 3.0f;
        joint->LinkSpring = 160.0f;
        joint->RotationalDamper = 0.0f;
    }
    StartRun();

    const std::string name = RunName();
    RunFile.Open((name + ".txt").c_str(), this);
    TZevMeasureFile plot;
    if (plot.Open((name + ".plt").c_str(), this)) {
        const std::string step = ZevFormatFloat(CurrentStepSize());
        plot.Write("set xrange [0:" + ZevFormatFloat(RunLength) + "]\n");
        plot.Write("set autoscale y\n");
        plot.Write("set xlabel \"time(s)\" \n");
        plot.Write("show xlabel\n");
        plot.Write("set ylabel \"x-axis(m)\" \n");
        plot.Write("show ylabel\n");
        plot.Write("plot \"" + name + ".txt\" using 1:2 title \"Joint0 Step Size = " + step + "\" with lines\n");
        plot.Write("replot \"" + name + ".txt\" using 1:3 title \"Joint1 Step Size = " + step + "\" with lines\n");
        plot.Write("set term pos eps\n");
        plot.Write("set output \"" + name + ".eps\"\n");
        plot.Write("rep\n");
        plot.Write("set term windows\n");
    }
}

void TZevGMLoop12::Step()
{
    if (RunIsOver()) {
        WriteSummaryLine(" error = " + ZevFormatFloat(ZevBenchLinkErrors[Counters[0]]));
        // An odometer from the last counter to the first.
        int k = 3;
        for (; k >= 0; --k) {
            if (Counters[k] < CounterLimits[k] - 1) {
                ++Counters[k];
                break;
            }
            Counters[k] = 0;
        }
        if (k >= 0) {
            ++RunIndex;
            NextRun();
        } else {
            FinishSweep();
        }
    }
    FrameKeys();
    const float a0 = PendulumJoints[0] != nullptr ? PendulumJoints[0]->Theta : 0.0f;
    const float a1 = PendulumJoints[1] != nullptr ? PendulumJoints[1]->Theta : 0.0f;
    if (!Finished)
        RunFile.Write(ZevFormatFloat(Time) + "\t" + ZevFormatFloat(a0) + "\t" + ZevFormatFloat(a1) + "\n");
    SleepIfPaused();
    DrawContactsIfShift();
    TimedWorldStep(CurrentStepSize());
    ShowProgress();
    if (IsKeyDown(ZevKeyLeft))
        PendulumCameraYaw -= 0.02f;
    if (IsKeyDown(ZevKeyRight))
        PendulumCameraYaw += 0.02f;
    if (IsKeyDown(ZevKeyUp))
        PendulumCameraPitch += 0.02f;
    if (IsKeyDown(ZevKeyDown))
        PendulumCameraPitch -= 0.02f;
    TZevMatrix pitch, yaw, camera;
    ZevMatRotationX(pitch, std::numbers::pi_v<float> * PendulumCameraPitch);
    ZevMatRotationY(yaw, std::numbers::pi_v<float> * PendulumCameraYaw);
    ZevMatMultiply(camera, ZevMatTranslation(0.0f, 0.0f, -20.0f), pitch);
    SetCameraMatrix(ZevMatMultiply(camera, camera, yaw));
}
