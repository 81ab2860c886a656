#include "ZevVehicleScene.h"

#include "ZevBodyUtil.h"
#include "ZevCarChara.h"
#include "ZevFrame.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"
#include "ZevSceneSupport.h"
#include "ZevGrabScene.h"

#include <numbers>

namespace {

TZevGameChara* MakeWheel(const TZevMatrix& w, TZevFrame* rootFrame)
{
    TZevGameChara* wheel = ZevAsGameChara(CreateXPhBodyFromXFile("objects/tireld.x", nullptr, w, rootFrame));
    if (wheel == nullptr)
        return nullptr;
    wheel->LoadVisualMesh("objects/tire.x");
    TZevMatrix scale;
    wheel->TransformVertices(ZevMatScaling(scale, 1.5f, 1.5f, 1.5f));
    wheel->Refit();
    wheel->RigidPart->SetMassSphere(1.5f, 60.0f);
    wheel->SetDynamic(1);
    wheel->RigidPart->SetInertia(ZevBoxInertiaOf(wheel, 1.5f));
    return wheel;
}

// The joint of a wheel: spring 40 in the joint and its outer links, the links' error values, no limits, no brake.
void SetWheelJoint(TZevJoint* joint)
{
    joint->LinkSpring = 40.0f;
    joint->RotationalDamper = 10.5f;
    const float errors[4] = {0.25f, 0.25f, 0.5f, 0.5f};
    for (int k = 0; k < 4; ++k) {
        if (joint->Links[k] != nullptr) {
            joint->Links[k]->Spring = 40.0f;
            joint->Links[k]->Tolerance = errors[k];
        }
    }
    joint->LimitFlag = 1;
    joint->Brake = 0.0f;
    joint->LinkDamper = 0.5f;
}

} // namespace

TZevCarChara* BuildVehicleBody(TZevFrame* rootFrame, TZevCollisionSpace* world)
{
    const TZevMatrix t0 = ZevMatTranslation(0.0f, 10.0f, 0.0f);
    TZevCollisionMeshObj* made = CreateXPhBodyFromXFile("objects/chassis.x", CreateCarChara, t0, rootFrame);
    TZevCarChara* car = dynamic_cast<TZevCarChara*>(made);
    if (car == nullptr) {
        delete made;
        ZevDebugLog("vehicle: cannot make the chassis from \"objects/chassis.x\"\n");
        return nullptr;
    }
    ZevAddToScene(car, dynamic_cast<TZevPhscs2World*>(world), rootFrame);
    TZevMatrix scale, turn, shape;
    ZevMatScaling(scale, 1.5f, 1.0f, 1.0f);
    ZevMatRotationY(turn, std::numbers::pi_v<float> / 2.0f);
    car->TransformVertices(ZevMatMultiply(shape, scale, turn));
    car->Refit();
    car->RigidPart->SetMassSphere(4.5f, 90.0f);
    car->SetDynamic(1);
    ZevMatMultiply(car->PartOffset, car->PartOffset, ZevMatTranslation(0.0f, -2.5f, 0.0f));
    car->RigidPart->SetInertia(ZevBoxInertiaOf(car, 4.5f));

    int slot = 0;
    for (int i : {-1, 1}) {
        for (int j : {-1, 1}) {
            const float fi = static_cast<float>(i);
            const float fj = static_cast<float>(j);
            TZevMatrix yaw, w;
            ZevMatRotationY(yaw, fj * std::numbers::pi_v<float> / 2.0f);
            ZevMatMultiply(w, yaw, ZevMatTranslation(7.5f * fj, 3.25f, 12.5f * fi));
            ZevMatMultiply(w, w, t0);
            const int k = slot++;
            TZevGameChara* wheel = MakeWheel(w, rootFrame);
            if (wheel == nullptr)
                continue;
            car->Wheels[k] = wheel;
            // The hinge turns about the chassis's x axis, with the chassis's z axis as the joint's reference
            // direction (the wheel's own z axis is its axle, along the hinge).
            TZevJointSettings settings;
            settings.Pivot = TZevVector(5.0f * fj, 3.25f, 12.5f * fi);
            settings.Axis = TZevVector(1.0f, 0.0f, 0.0f);
            settings.Reference = TZevVector(0.0f, 0.0f, 1.0f);
            settings.Size = 4.0f;
            TZevJoint* joint = ZevJoinChildHere(car, wheel, settings);
            if (joint == nullptr)
                continue;
            SetWheelJoint(joint);
            car->SetJoint(k, joint);
        }
    }
    // Into the world again with its wheels, so that the world knows the joints.
    ZevAddToScene(car, dynamic_cast<TZevPhscs2World*>(world), rootFrame);
    car->LinearDamping = 0.5f;
    return car;
}

void TZevVehicleScene::Setup()
{
    Vehicle = BuildVehicleBody(TZevGMBase::RootFrame, World);
    MainChara = Vehicle;
    if (Vehicle != nullptr) {
        TZevMatrix lifted;
        Vehicle->PlaceAt(ZevMatMultiply(lifted, ZevMatTranslation(0.0f, 50.0f, 0.0f), Vehicle->GetMatrix()));
        for (int k = 0; k < 4; ++k) {
            if (TZevJoint* joint = Vehicle->JointAt(k)) {
                ZevSetJointAngle(joint, Vehicle->Wheels[k], 0.0f);
                Vehicle->Wheels[k]->SetRebuildFlag();
            }
        }
    }
    ZevSetLandMaterial(LoadLand("objects/land3.bmp", "objects/map.bmp"));
    for (int i = 0; i < 2; ++i)
        ZevAddSceneBox(this, TZevVector(0.0f, 95.01f + 21.05f * static_cast<float>(i), 80.0f));
    World->InterferencePermitDistance = 0.5f;
    World->CollisionSpringCoeff = 5.5f;
    World->CollisionVerticalDamperCoeff = 0.55f;
    World->CollisionHorizontalDamperCoeff = 0.15f;
    World->CollisionStaticFrictionCoeff = 0.8f;
    World->CollisionDynamicFrictionCoeff = 0.7f;
    World->Gravity() = 49.0f;
    World->RetryCollisionMax = 6;
    World->LinkSatisfyRepeatMax = 3;
    World->Step(0.0f);
    World->Step(0.0f);
    SetStatusText("カーソルキーで移動\n");
}

void TZevVehicleScene::Step()
{
    StepWithKeys();
    if (Vehicle == nullptr)
        return;
    // A chase view: behind and above the car along its heading, but upright. Tied to the chassis's whole matrix,
    // it rolled with the car and stood on its head when the car turned over.
    const TZevMatrix& car = Vehicle->GetMatrix();
    TZevVector ahead(car.m[8], 0.0f, car.m[10]);
    // A car standing on its nose or its tail has no heading of its own: the last one holds.
    if (ahead.x * ahead.x + ahead.z * ahead.z > 0.04f && ahead.Normalize() != 0)
        Heading = ahead;
    const TZevMatrix chase(Heading.z, 0.0f, -Heading.x, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, Heading.x, 0.0f, Heading.z, 0.0f,
                           car.m[12], car.m[13], car.m[14], 1.0f);
    TZevMatrix camera;
    SetCameraMatrix(ZevMatMultiply(camera, ZevMatTranslation(0.0f, 12.0f, -40.0f), chase));
}
