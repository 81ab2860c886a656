#include "ZevGMLoop11.h"

#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"

#include <cmath>
#include <string>

TZevJoint* ChainJoints[TZevGMLoop11::JointCount] = {};

namespace {

// One link of the chain: "objects/leg.x" colliding, drawn with "objects/dleg.x", made 5 times larger.
TZevGameChara* MakeLink(TZevGMLoop* scene, const TZevMatrix& matrix, bool dynamic)
{
    TZevGameChara* link = scene->LoadXBody("objects/leg.x", nullptr, matrix);
    if (link == nullptr)
        return nullptr;
    link->LoadVisualMesh("objects/dleg.x");
    TZevBodySetup setup;
    setup.Scale = TZevVector(5.0f, 5.0f, 5.0f);
    setup.Mass = 0.5f;
    setup.Radius = 10.0f;
    TZevGMLoop::FinishBody(link, setup);
    link->SetDynamic(dynamic ? 1 : 0);
    return link;
}

} // namespace

TZevGMLoop11::TZevGMLoop11() : TZevBenchScene(5.0f, 4)
{
    Summary.Open("ZevGMLoop11.txt", this);
}

void TZevGMLoop11::OnShutdown()
{
    for (TZevJoint*& joint : ChainJoints)
        joint = nullptr;
    TZevBenchScene::OnShutdown();
}

void TZevGMLoop11::Setup()
{
    for (TZevJoint*& joint : ChainJoints)
        joint = nullptr;
    TZevGameChara* top = MakeLink(this, ZevMatTranslation(40.0f, 160.0f, 40.0f), false);
    TZevGameChara* previous = top;
    for (int k = 1; k <= JointCount && previous != nullptr; ++k) {
        TZevMatrix at;
        ZevMatMultiply(at, ZevMatTranslation(0.0f, -10.0f, 0.0f), previous->RigidPart->Matrix);
        TZevGameChara* link = MakeLink(this, at, true);
        if (link == nullptr)
            break;
        TZevJointSettings settings;
        settings.Pivot = TZevVector(0.0f, -5.0f, 0.0f);
        settings.Size = 5.0f;
        ChainJoints[k - 1] = ZevJoinChildHere(previous, link, settings);
        previous = link;
    }
    if (top != nullptr) {
        ZevAddToScene(top, World, TZevGMBase::RootFrame);
        top->SetDynamic(0);
    }
    // The joint's reference value is its size.
    for (TZevJoint* joint : ChainJoints) {
        if (joint == nullptr)
            continue;
        for (int k = 0; k < 4; ++k) {
            if (joint->Links[k] != nullptr) {
                joint->Links[k]->Tolerance = ZevBenchLinkErrors[RunIndex] * joint->Size;
                joint->Links[k]->Spring = 10.0f;
            }
        }
    }
    StartRun();
}

void TZevGMLoop11::Step()
{
    if (RunIsOver()) {
        WriteSummaryLine(" error = " + ZevFormatFloat(ZevBenchLinkErrors[RunIndex]));
        AdvanceRun();
    }
    FrameKeys();
    const float torque = 5000.0f * std::sin(5.0f * Time);
    for (TZevJoint* joint : ChainJoints)
        if (joint != nullptr)
            joint->Torque = torque;
    SleepIfPaused();
    DrawContactsIfShift();
    TimedWorldStep(0.02f);
    ShowProgress();
    OverviewCamera();
}
