// The flight demonstration: the default Setup of TZevGMLoop. An aircraft over a height-map land among boxes and a
// stack of boxes; the camera follows the aircraft (the default Step).
#include "ZevGMLoop.h"

#include "ZevBBoxTree.h"
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevLandCTree.h"
#include "ZevPhscs2World.h"
#include "ZevPlaneChara.h"
#include "ZevSceneClock.h"
#include "ZevSceneSupport.h"

#include <numbers>
#include <string>

namespace {

// The leaf depths of a body's collision tree, to the debug log.
void LogTreeDepths(const TZevGameChara* body)
{
    if (body == nullptr)
        return;
    int lo = 0, hi = 0;
    ZevTreeDepthRange(body->primitiveRoot, &lo, &hi);
    ZevDebugLog(("min_depth = " + std::to_string(lo) + "\n").c_str());
    ZevDebugLog(("max_depth = " + std::to_string(hi) + "\n").c_str());
}

TZevBodySetup BoxSetup(float scale, float mass, float radius)
{
    TZevBodySetup setup;
    setup.Scale = TZevVector(scale, scale, scale);
    setup.Mass = mass;
    setup.Radius = radius;
    return setup;
}

} // namespace

void TZevGMLoop::Setup()
{
    TZevBodySetup plane = BoxSetup(2.5f, 2.5f, 2.5f);
    plane.BoxInertia = true;
    // The aircraft's air resistance is its one adjustable control parameter.
    plane.AirResistance = 0.2f;
    if (TZevGameChara* aircraft =
            LoadXBody("objects/f22ld.x", CreatePlaneChara, ZevMatTranslation(0.0f, 60.0f, 0.0f))) {
        aircraft->LoadVisualMesh("objects/f22.x");
        FinishBody(aircraft, plane);
        MainChara = aircraft;
        LogTreeDepths(aircraft);
    }

    const TZevBodySetup heavy = BoxSetup(5.0f, 1.5f, 5.0f);
    LogTreeDepths(LoadSceneBody("objects/lbox.x", nullptr, ZevMatTranslation(-30.0f, 4.6f, 80.0f), heavy));
    LogTreeDepths(LoadSceneBody("objects/lbox.x", nullptr, ZevMatTranslation(-44.0f, 4.6f, 80.0f), heavy));
    TZevMatrix tilt, tilted;
    ZevMatRotationZ(tilt, std::numbers::pi_v<float> / 4.0f);
    ZevMatMultiply(tilted, tilt, ZevMatTranslation(-37.0f, 13.3f, 80.0f));
    LogTreeDepths(LoadSceneBody("objects/lbox.x", nullptr, tilted, BoxSetup(5.0f, 0.5f, 5.0f)));
    LoadSceneBody("objects/xbox.x", nullptr, ZevMatTranslation(60.0f, 10.0f, 210.0f), BoxSetup(5.0f, 1.5f, 10.0f));
    LoadSceneBody("objects/mbox.x", nullptr, ZevMatTranslation(60.0f, 28.0f, 210.0f), heavy);

    // The stack: one of two arrangements, chosen by the clock.
    const bool cubes = (static_cast<long long>(ZevSceneMilliseconds()) / 7) & 1;
    const int side = cubes ? 4 : 5;
    const char* file = cubes ? "objects/kuubox2.x" : "objects/lbox.x";
    TZevBodySetup stacked = BoxSetup(5.0f, 1.5f, 5.0f);
    TZevMatrix3 inertia;
    CalcBoxInertiaTensor(inertia, 10.0f, 10.0f, 10.0f, 1.5f);
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const float x = 10.05f * (static_cast<float>(column) - 0.5f * static_cast<float>(side - 1));
            const float y = 5.01f + 10.05f * static_cast<float>(row);
            if (TZevGameChara* box = LoadSceneBody(file, nullptr, ZevMatTranslation(x, y, 110.0f), stacked))
                box->RigidPart->SetInertia(inertia);
        }
    }

    ZevSetLandMaterial(LoadLand("objects/land2.bmp", "objects/map.bmp"));

    World->InterferencePermitDistance = 0.1f;
    World->CollisionSpringCoeff = 30.5f;
    World->CollisionSatisfyCoefficientScale = 2.0f;
    World->CollisionVerticalDamperCoeff = 0.15f;
    World->CollisionStaticFrictionCoeff = 1.8f;
    World->CollisionDynamicFrictionCoeff = 0.7f;
    World->CollisionReboundCoeff = 0.0f;
    World->Gravity() = 29.4f;
    SetStatusText("xキーで前進，カーソルキーで旋回．");
}
