#include "ZevGrabScene.h"

#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevLandCTree.h"
#include "ZevPhscs2World.h"
#include "ZevQueuedRenderer.h"
#include "ZevRobotChara.h"
#include "ZevSceneSupport.h"

#include <numbers>

TZevGameChara* ZevAddSceneBox(TZevGMLoop* scene, const TZevVector& position)
{
    TZevBodySetup box;
    box.Scale = TZevVector(10.0f, 10.0f, 20.0f);
    box.Mass = 1.0f;
    box.Radius = 40.0f;
    box.BoxInertia = true;
    box.AirResistance = 0.2f;
    return scene->LoadSceneBody("objects/lbox.x", nullptr, ZevMatTranslation(position.x, position.y, position.z),
                                box);
}

namespace {

// The lowest vertex of a body tree, in world space.
float LowestPoint(TZevCollisionMeshObj* body)
{
    float lowest = 3.4e37f;
    TZevList bodies;
    CollectBodyTree(body, bodies);
    for (const TZevFMCTTree* b : ZevItems<TZevCollisionMeshObj>(bodies)) {
        for (int v = 0; v < b->GetVertexCount(); ++v)
            lowest = b->currentVertices[v].y < lowest ? b->currentVertices[v].y : lowest;
    }
    return lowest;
}

} // namespace

void TZevGrabScene::Setup()
{
    Robot = BuildRobotBody(TZevGMBase::RootFrame, World);
    MainChara = Robot;
    TZevLandCTree* land = LoadLand("objects/land2.bmp", "objects/map.bmp");
    ZevSetLandMaterial(land);
    if (Robot != nullptr) {
        // The robot is built at the origin, where the boxes stand: it starts beside them, its feet just above
        // the land's lowest level.
        float ground = 0.0f;
        if (land != nullptr) {
            land->Refit();
            ground = land->box.Min.y;
        }
        TZevMatrix placed;
        const float lift = ground - LowestPoint(Robot) + 0.5f;
        Robot->PlaceAt(ZevMatMultiply(placed, Robot->GetMatrix(), ZevMatTranslation(60.0f, lift, 0.0f)));
        // Air thick enough for a person at the keys: E held 0.6 s lifts the robot about 20 (a box's height) and
        // it comes to rest within a second of letting go, inside the view (at the builder's 1.5 it flew off).
        Robot->LinearDamping = RobotLinearDamping;
        for (int leg = 0; leg < 4; ++leg) {
            for (int knee = 1; knee <= 2; ++knee) {
                if (TZevJoint* joint = Robot->LegJoint(leg, knee))
                    joint->Brake = RobotKneeBrake;
            }
        }
    }
    for (int i = 0; i < 2; ++i)
        ZevAddSceneBox(this, TZevVector(0.0f, 10.01f + 20.05f * static_cast<float>(i), 0.0f));
    TZevBodySetup heart;
    heart.Scale = TZevVector(20.0f, 20.0f, 20.0f);
    heart.Mass = 1.0f;
    heart.Radius = 20.0f;
    heart.BoxInertia = true;
    heart.AirResistance = 0.2f;
    for (int i = 0; i < 2; ++i) {
        const TZevMatrix at = ZevMatTranslation(-40.0f, 40.5f * static_cast<float>(i + 1), 40.0f);
        TZevGameChara* body = LoadSceneBody("objects/heart.x", nullptr, at, heart);
        if (body != nullptr && body->visualMesh != nullptr) {
            float* ambient = body->visualMesh->Material.Ambient;
            ambient[0] = 0.7f;
            ambient[1] = 0.5f;
            ambient[2] = 0.6f;
            ambient[3] = 1.0f;
        }
    }
    ZevSetSceneLight(Renderer, 1.0f, 0.5f, 1.0f);
    if (Renderer != nullptr) {
        // Shadows fall flat on the plane y = -50: (x, y, z) goes to (x + y + 50, -50, z).
        const float shadow[16] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 50, -50, 0, 1};
        for (int i = 0; i < 16; ++i)
            Renderer->ViewSettings[i] = shadow[i];
    }
    World->InterferencePermitDistance = 0.5f;
    World->CollisionSpringCoeff = 20.5f;
    World->CollisionVerticalDamperCoeff = 0.1f;
    World->CollisionSatisfyCoefficientScale = 5.0f;
    World->CollisionStaticFrictionCoeff = 1.8f;
    World->CollisionDynamicFrictionCoeff = 0.5f;
    World->CollisionHorizontalDamperCoeff = 0.05f;
    World->CollisionSatisfyRepeatMax = 128;
    World->RetryCollisionMax = 4;
    World->LinkSatisfyRepeatMax = 2;
    World->CollisionReboundCoeff = 0.0f;
    World->Gravity() = 9.8f;
    SetStatusText("eキーで上昇，xキーで降下．\nカーソルキーで移動\ndキーでつかむ，sキーで放す．");
}

void TZevGrabScene::Step()
{
    StepWithKeys();
    TZevMatrix place = ZevMatTranslation(0.0f, 12.0f, -150.0f);
    TZevMatrix pitch, yaw, camera;
    ZevMatRotationX(pitch, std::numbers::pi_v<float> / 4.0f);
    ZevMatRotationY(yaw, std::numbers::pi_v<float> / 4.0f);
    ZevMatMultiply(camera, place, pitch);
    SetCameraMatrix(ZevMatMultiply(camera, camera, yaw));
}
