// Vehicle: a chassis whose four wheel joints, in two pairs, are driven by the arrow keys (drive and differential
// steering) and braked by B. The control hook only latches the keys; the wheels are driven in the force hook.
#pragma once

#include "ZevJointedChara.h"

class TZevCarChara : public TZevJointedChara {
public:
    // Full motor torque of a wheel, and the steering share added to one side and taken from the other.
    static constexpr float DriveTorque = 560.0f;
    static constexpr float SteerTorque = 840.0f;

    TZevCarChara() = default;
    ~TZevCarChara() override = default;

    // Wheel torques, brakes and frictions from the latched keys, then the character's forces.
    void ApplyExternalForces(float dt) override;
    // Latches Left, Up, Right, Down and B.
    void KeyControl(const unsigned char* keys) override;

    // Wheel k of pair p (p, k in 0, 1): slot 2 p + k of the joint table, or null.
    TZevJoint* WheelJoint(int pair, int k) const { return JointAt(2 * pair + k); }

    TZevGameChara* Wheels[4] = {}; // the wheel bodies, for the builders
    std::int32_t Reserved[2] = {};
    unsigned char KeyLeft = 0;
    unsigned char KeyUp = 0;
    unsigned char KeyRight = 0;
    unsigned char KeyDown = 0;
    unsigned char KeyBrake = 0;
};

TZevCollisionMeshObj* CreateCarChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument);
