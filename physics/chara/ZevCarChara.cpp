#include "ZevCarChara.h"

#include "ZevVirtualKeys.h"

namespace {

float Clamp(float t, float limit)
{
    return t < -limit ? -limit : (t > limit ? limit : t);
}

} // namespace

void TZevCarChara::KeyControl(const unsigned char* keys)
{
    if (keys == nullptr)
        return;
    KeyLeft = keys[ZevKeyLeft];
    KeyUp = keys[ZevKeyUp];
    KeyRight = keys[ZevKeyRight];
    KeyDown = keys[ZevKeyDown];
    KeyBrake = keys[ZevKeyB];
}

void TZevCarChara::ApplyExternalForces(float dt)
{
    TZevJoint* wheels[2][2];
    bool complete = true;
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < 2; ++k) {
            wheels[p][k] = WheelJoint(p, k);
            if (wheels[p][k] != nullptr)
                wheels[p][k]->Torque = 0.0f;
            else
                complete = false;
        }
    }
    if (complete) {
        for (auto& pair : wheels) {
            for (TZevJoint* joint : pair) {
                if (KeyUp != 0)
                    joint->Torque = DriveTorque;
                if (KeyDown != 0)
                    joint->Torque = -DriveTorque;
            }
            if (KeyLeft != 0) {
                pair[0]->Torque = Clamp(pair[0]->Torque - SteerTorque, DriveTorque);
                pair[1]->Torque = Clamp(pair[1]->Torque + SteerTorque, DriveTorque);
            }
            if (KeyRight != 0) {
                pair[0]->Torque = Clamp(pair[0]->Torque + SteerTorque, DriveTorque);
                pair[1]->Torque = Clamp(pair[1]->Torque - SteerTorque, DriveTorque);
            }
            for (TZevJoint* joint : pair) {
                joint->Brake = KeyBrake != 0 ? 500.0f : 0.0f;
                joint->StaticFrictionCoeff = KeyBrake != 0 ? 0.7f : 0.0f;
                joint->DynamicFrictionCoeff = 0.7f;
            }
        }
    }
    TZevGameChara::ApplyExternalForces(dt);
}

TZevCollisionMeshObj* CreateCarChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument)
{
    return ZevSetUpGameChara(new TZevCarChara, holder, source, argument);
}
