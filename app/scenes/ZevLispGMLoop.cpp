#include "ZevLispGMLoop.h"

#include "LispLSObj.h"
#include "QEContext.h"
#include "QEPicking.h"
#include "ZevGameChara.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"
#include "ZevSceneSupport.h"

std::int32_t ScriptSceneStepAccumulator = 0;

namespace {

// The per-step update of a body tree of this world without stepping the world.
void UpdateEditTree(TZevPhscs2World* world, TZevGameChara* body, float dt)
{
    if (body != nullptr && ZevBodyWorld(body) == world)
        world->UpdateBodyTree(body, dt);
}

} // namespace

void TZevLispGMLoop::Step()
{
    RunKeyHook();
    SleepIfPaused();
    DrawContactsIfShift();
    if (SimulationFlag != 0) {
        // The sizes are read again before every further step: a body's script function may change them.
        if (RepeatSize >= 1000) {
            for (std::int32_t i = 0; i < RepeatSize / 1000 && World != nullptr; ++i)
                World->Step(StepSize);
        } else if (RepeatSize > 0) {
            ScriptSceneStepAccumulator += RepeatSize;
            if (ScriptSceneStepAccumulator >= 1000) {
                ScriptSceneStepAccumulator -= 1000;
                World->Step(StepSize);
            }
        }
        return;
    }
    TZevGameChara* scriptEdit = nullptr;
    if (LispIsLSObj(ScriptEditChara))
        scriptEdit = QEScriptBody(LispLSObj(ScriptEditChara)->Object);
    UpdateEditTree(World, scriptEdit, StepSize);
    UpdateEditTree(World, QEIsLiveBody(EditChara) ? EditChara : nullptr, StepSize);
}

void TZevLispGMLoop::Setup()
{
    ZevSetSceneLight(Renderer, 0.8f, 0.4f, 0.8f);
    World->InterferencePermitDistance = 0.1f;
    World->CollisionSpringCoeff = 20.5f;
    World->CollisionVerticalDamperCoeff = 0.45f;
    World->CollisionStaticFrictionCoeff = 1.8f;
    World->CollisionDynamicFrictionCoeff = 0.1f;
    World->Gravity() = 9.8f;
    SetCameraMatrix(ZevMatTranslation(0.0f, 0.0f, -20.0f));
}

void TZevLispGMLoop::OnShutdown()
{
    EditChara = nullptr;
}
