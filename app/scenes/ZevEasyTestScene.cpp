#include "ZevEasyTestScene.h"

#include "ZevPhscs2World.h"
#include "ZevQueuedRenderer.h"
#include "ZevSceneSupport.h"

void TZevEasyTestScene::Setup()
{
    ZevSetSceneLight(Renderer, 1.0f, 0.5f, 1.0f);
    if (Renderer != nullptr) {
        const TZevMatrix shadow = ZevMatTranslation(50.0f, -50.0f, 0.0f);
        for (int i = 0; i < 16; ++i)
            Renderer->ViewSettings[i] = shadow.m[i];
    }
    World->InterferencePermitDistance = 0.25f;
    World->CollisionSpringCoeff = 40.5f;
    World->CollisionVerticalDamperCoeff = 1.05f;
    World->CollisionStaticFrictionCoeff = 0.8f;
    World->CollisionDynamicFrictionCoeff = 0.5f;
    World->CollisionHorizontalDamperCoeff = 0.0f;
    World->LinkSatisfyRepeatMax = 1;
    World->Gravity() = 9.8f;
}
