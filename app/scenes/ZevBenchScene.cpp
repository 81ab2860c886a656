#include "ZevBenchScene.h"

#include "QEContext.h"
#include "ZevGameChara.h"
#include "ZevPhscs2World.h"
#include "ZevSceneClock.h"

#include <algorithm>
#include <cstdio>
#include <numbers>

void TZevBenchScene::OnShutdown()
{
    TZevList bodies;
    ZevCollectWorldBodies(World, bodies, false);
    for (TZevCollisionMeshObj* body : ZevItems<TZevCollisionMeshObj>(bodies)) {
        body->Unlink();
        if (TZevGameChara* chara = ZevAsGameChara(body))
            QEForgetBody(chara);
        delete body;
    }
    Land = nullptr;
    MainChara = nullptr;
}

void TZevBenchScene::StartRun()
{
    World->InterferencePermitDistance = 0.5f;
    World->CollisionSpringCoeff = 30.0f;
    World->CollisionVerticalDamperCoeff = 0.05f;
    World->CollisionStaticFrictionCoeff = 1.0f;
    StepCost = 0.0;
    Time = 0.0f;
}

void TZevBenchScene::TimedWorldStep(float dt)
{
    const double start = ZevSceneMilliseconds();
    World->Step(dt);
    Time += dt;
    StepCost += ZevSceneMilliseconds() - start;
}

void TZevBenchScene::WriteSummaryLine(const std::string& label)
{
    Summary.Write(label + " CalcCost(ms) = " + ZevFormatFloat(static_cast<float>(StepCost)) + "\n");
}

void TZevBenchScene::AdvanceRun()
{
    if (++RunIndex < RunCount)
        NextRun();
    else
        FinishSweep();
}

void TZevBenchScene::NextRun()
{
    World->ClearContacts();
    OnShutdown();
    Setup();
}

void TZevBenchScene::FinishSweep()
{
    Finished = true;
    RequestQuit();
}

void TZevBenchScene::FrameKeys()
{
    RunKeyHook();
    if (IsKeyDown(SceneKeyEscape))
        RequestQuit();
}

void TZevBenchScene::ShowProgress()
{
    char text[96];
    std::snprintf(text, sizeof text, "run %d of %d: %.1f of %.1f s", std::min(RunIndex + 1, RunCount), RunCount,
                  static_cast<double>(std::min(Time, RunLength)), static_cast<double>(RunLength));
    SetStatusText(text);
}

void TZevBenchScene::OverviewCamera()
{
    TZevMatrix pitch, yaw, camera;
    ZevMatRotationX(pitch, std::numbers::pi_v<float> / 4.0f);
    ZevMatRotationY(yaw, std::numbers::pi_v<float> / 4.0f);
    ZevMatMultiply(camera, ZevMatTranslation(0.0f, 102.0f, -150.0f), pitch);
    SetCameraMatrix(ZevMatMultiply(camera, camera, yaw));
}
