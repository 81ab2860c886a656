#include "QECarData.h"

#include "QEMeshGenerators.h"

#include <cctype>
#include <cmath>
#include <initializer_list>

float TQECar_Data::Clock = 0.0f;

namespace {

const float QuarterPi = 0.7853982f;
const float SixthPi = 0.5235988f;
const float TwelfthPi = 0.2617994f;

// The crane car's joint laws, in the couple the engine really applies. A joint hands its torque on as a couple of
// Torque x Size^2, Size being the distance of its outer links as the joint-parameter guess makes it from the two
// bodies: 0.17 for the car's small wheel joints (couple 0.03 x torque), 0.72 for the base joint (0.52 x), 0.88
// for the pole joint (0.77 x), 0.39 for the gripper joints (0.15 x).
const float BaseCouple = 0.518f;
const float PoleCouple = 0.767f;
const float GripCouple = 0.149f;

// Gravity of the arm (its weight about a joint, per unit of sin of the tilt) as a torque, for a joint of the given
// couple factor: the weight's own coefficient 98 holds the arm only where the joint hands on its torque whole.
float GravityGain(float couple)
{
    return 98.0f / couple;
}

// A wheel of the crane car starts from standing on a flat of its 16-sided tread, loaded with the arm: its drive
// needs a couple near 0.2 (a torque of 7) at once, and must brake the car to rest without a wound-up integral when
// the target drops to 0. So the drive law is proportional only: a couple of 0.15 per radian a second (cut at the
// torque limit of 20, a couple of 0.6).
const float CraneWheelRateGains[3] = {5.0f, 0.0f, 0.0005f};
// The steering holds a loaded wheel straight (or at its turn) against the road's friction; the landing leaves
// the wheels steered, and a wheel that stands askew brakes the car.
const float CraneSteeringGains[3] = {30.0f, 0.2f, 0.5f};
// The base and pole joints both act on the light lower pole (inertia 0.09 about the base), which carries the rest
// of the arm on soft joints. Their damping gains must stay small, or the lower pole flaps between the two joints
// (a swing of a few steps that grows). The slow sway of the whole arm on the base (inertia about 3) is damped by
// the joints' brakes instead: their sliding friction (0.55 x brake, always against the motion) takes energy out of
// every swing without feeding the fast flapping. Their static friction is 0: the engine's hold test weighs only
// the torque the law applies, and that passes near 0 away from the target too (where the angle error cancels the
// weight feed-forward), so a static friction would hold the joint there.
const float BaseAngleGains[3] = {60.0f, 1.0f, 4.0f};
const float BaseBrake = 8.0f;
const float BaseTorqueLimit = 300.0f;
const float PoleAngleGains[3] = {30.0f, 0.6f, 1.0f};
const float PoleBrake = 2.0f;
// The gripper plates hang free until C or V: damped five times more, they swing less and shake the arm less.
const float GripDamper = 0.5f;
// The grasp torque as a couple of 0.6, more than the weight of a plate (0.1 x 16.3 at 0.3: 0.49).
const float GripTorque = 0.6f / GripCouple;

float Sign(float x)
{
    return x > 0.0f ? 1.0f : -1.0f;
}

float StepSize()
{
    float dt = 0.0f;
    QE_GetSimulationStepSize(&dt);
    return dt;
}

// The settings every wheel, arm and base joint shares: rotational damping, no brake and friction, on both axes.
void SetDamperAndFriction(TQEJoint_Data& j, float damper)
{
    j.SetRotationalDamper(damper);
    j.SetRotationalDamper2(damper);
    j.SetBrake(0.0f);
    j.SetBrake2(0.0f);
    j.SetStaticFrictionCoeff(0.7f);
    j.SetStaticFrictionCoeff2(0.7f);
    j.SetDynamicFrictionCoeff(0.55f);
    j.SetDynamicFrictionCoeff2(0.55f);
}

} // namespace

void TQECar_Data::AddWheel(int i, float x, float y, float z, float ax, float ay, float az)
{
    if (i < 0 || i >= 4)
        return;
    // The cylinder lies along z: turn it about y by -pi/2 so that it rolls about x, and scale it.
    const double angle = -1.5707963;
    const float c = float(std::cos(angle));
    const float s = float(std::sin(angle));
    const float k = Scale;
    const float transform[16] = {c * k, 0.0f, -s * k, 0.0f, 0.0f, k, 0.0f, 0.0f,
                                 s * k, 0.0f, c * k,  0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    TQEBody_Data& wheel = Wheels[i];
    MakeCylinderBody(wheel, 0.3f, 0.3f, 16, transform);
    wheel.SetTexture("tire.bmp");
    wheel.SetPosition(x * k, y * k, z * k);
    wheel.SetMass(0.1f);
    wheel.SetInertiaFromBox();
    wheel.SetAirResistance(0.0f);
    wheel.SetAirResistance(0.0003f);

    TQEJoint_Data& j = WheelJoints[i];
    const float position[3] = {x * k, y * k, z * k};
    const float axis1[3] = {ax, ay, az};
    const float axis2[3] = {0.0f, 1.0f, 0.0f};
    j.Create(*this, wheel, position, axis1, axis2);
    j.SetLimitFlag(0);
    j.SetAxisCount(2);
    j.SetMaxTheta2(SixthPi);
    j.SetMinTheta2(-SixthPi);
    SetDamperAndFriction(j, 0.1f);
    j.SetRateGains1(0.15f, 0.01f, 0.0005f);
    j.SetAngleGains2(6.35f, 0.2f, 0.005f);
    j.SetTorqueLimit1(20.0f);
    j.SetTorqueLimit2(20.0f);
}

void TQECar_Data::Build()
{
    Scale = 1.0f;
    const float s = Scale;
    MakeBoxBody(*this, -0.6f * s, -0.25f * s, -1.5f * s, 0.6f * s, 0.25f * s, 1.5f * s);
    SetTexture("tire.bmp");
    SetMass(1.5f);
    SetInertiaFromBox();
    SetAirResistance(0.0f);
    SetAirResistance(0.03f);
    AddWheel(0, 0.8f, -0.45f, 1.3f, 1.0f, 0.0f, 0.0f);
    AddWheel(1, 0.8f, -0.45f, -1.3f, 1.0f, 0.0f, 0.0f);
    AddWheel(2, -0.8f, -0.45f, 1.3f, 1.0f, 0.0f, 0.0f);
    AddWheel(3, -0.8f, -0.45f, -1.3f, 1.0f, 0.0f, 0.0f);
}

void TQECar_Data::Step()
{
    Clock += StepSize();
    const float wave = std::sin(Clock) - 0.5f;
    WheelJoints[0].ControlRate1(20.0f);
    WheelJoints[1].ControlRate1(20.0f);
    WheelJoints[2].ControlRate1(20.0f - 2.0f * wave);
    WheelJoints[3].ControlRate1(20.0f - 2.0f * wave);
    WheelJoints[0].ControlAngle2(-TwelfthPi * wave);
    WheelJoints[1].ControlAngle2(TwelfthPi * wave);
    WheelJoints[2].ControlAngle2(-TwelfthPi * wave);
    WheelJoints[3].ControlAngle2(TwelfthPi * wave);
}

void TQECar_Data::KeyDown(int key)
{
    if (key >= 0 && key < 256)
        KeyFlags[key] = 1;
}

void TQECar_Data::KeyUp(int key)
{
    if (key >= 0 && key < 256)
        KeyFlags[key] = 0;
}

void TQECraneArm_Data::Build()
{
    Scale = 2.0f;
    const float s = Scale;
    MakeBoxBody(*this, -0.05f * s, -0.5f * s, -0.05f * s, 0.05f * s, 0.5f * s, 0.05f * s);
    MakeBoxBody(Parts[UpperPole], -0.05f * s, -0.5f * s, -0.05f * s, 0.05f * s, 0.5f * s, 0.05f * s);
    MakeBoxBody(Parts[LeftPlate], -0.15f * s, -0.05f * s, -0.15f * s, 0.15f * s, 0.05f * s, 0.15f * s);
    MakeBoxBody(Parts[RightPlate], -0.15f * s, -0.05f * s, -0.15f * s, 0.15f * s, 0.05f * s, 0.15f * s);
    MakeBoxBody(Parts[LeftFinger], -0.15f * s, -0.15f * s, -0.05f * s, 0.15f * s, 0.15f * s, 0.05f * s);
    MakeBoxBody(Parts[RightFinger], -0.15f * s, -0.15f * s, -0.05f * s, 0.15f * s, 0.15f * s, 0.05f * s);
    TQEBody_Data* all[6] = {this, &Parts[0], &Parts[1], &Parts[2], &Parts[3], &Parts[4]};
    for (TQEBody_Data* b : all) {
        b->SetTexture("tire.bmp");
        b->SetMass(0.1f);
        b->SetAirResistance(0.0f);
    }
    const float position[3] = {0.0f, 0.5f * s, 0.0f};
    const float axis1[3] = {1.0f, 0.0f, 0.0f};
    const float axis2[3] = {0.0f, 1.0f, 0.0f};
    // Each joint is made while its parent still stands at the origin, so the child's placement reads the same
    // in the parent's frame and in the world; a finished part is then moved into place by its root.
    // Gripper: plates and fingers around the upper pole, which then rises to (0, s, 0).
    const float up = 1.0f * s;
    Parts[LeftPlate].SetPosition(0.0f, 1.5f * s - up, -0.15f * s);
    Parts[RightPlate].SetPosition(0.0f, 1.5f * s - up, 0.15f * s);
    Parts[LeftFinger].SetPosition(0.0f, 1.65f * s - up, -0.3f * s);
    Parts[RightFinger].SetPosition(0.0f, 1.65f * s - up, 0.3f * s);
    Parts[LeftPlate].AddFixedChild(Parts[LeftFinger]);
    Parts[RightPlate].AddFixedChild(Parts[RightFinger]);
    LeftGrip.Create(Parts[UpperPole], Parts[LeftPlate], position, axis1, axis2);
    RightGrip.Create(Parts[UpperPole], Parts[RightPlate], position, axis1, axis2);
    Parts[UpperPole].SetPosition(0.0f, up, 0.0f);
    Pole.Create(*this, Parts[UpperPole], position, axis1, axis2);
    for (TQEJoint_Data* j : {&Pole, &LeftGrip, &RightGrip}) {
        SetDamperAndFriction(*j, j == &Pole ? 0.1f : GripDamper);
        j->SetSpringCoeff(j->GetSpringCoeff() * 0.05f);
    }
    Pole.SetBrake(PoleBrake);
    Pole.SetStaticFrictionCoeff(0.0f);
    Pole.SetAngleGains1(PoleAngleGains[0], PoleAngleGains[1], PoleAngleGains[2]);
    Pole.SetRateGains1(0.051f, 0.0425f, 0.010625f);
    Pole.SetTorqueLimit1(10.0f);
    for (TQEJoint_Data* j : {&LeftGrip, &RightGrip}) {
        j->SetAngleGains1(1.5f, 0.0f, 0.3125f);
        j->SetTorqueLimit1(10.0f);
    }
    for (TQEJoint_Data* j : {&Pole, &LeftGrip, &RightGrip}) {
        j->SetMaxTheta(2.0943952f);
        j->SetMinTheta(-2.0943952f);
    }
    Parts[LeftPlate].EnableCollisionPair(Parts[RightPlate], 0);
}

void TQECraneCar_Data::Build()
{
    TQECar_Data::Build();
    const float s = Scale;
    for (TQEJoint_Data& j : WheelJoints) {
        j.SetRateGains1(CraneWheelRateGains[0], CraneWheelRateGains[1], CraneWheelRateGains[2]);
        j.SetAngleGains2(CraneSteeringGains[0], CraneSteeringGains[1], CraneSteeringGains[2]);
    }
    CraneArm.Build();
    CraneArm.SetPosition(0.0f, 1.0f, 1.6f);
    const float position[3] = {0.0f, 0.25f * s, 1.6f * s};
    const float axis1[3] = {1.0f, 0.0f, 0.0f};
    const float axis2[3] = {0.0f, 1.0f, 0.0f};
    Base.Create(*this, CraneArm, position, axis1, axis2);
    SetDamperAndFriction(Base, 0.01f);
    Base.SetBrake(BaseBrake);
    Base.SetStaticFrictionCoeff(0.0f);
    Base.SetAngleGains1(BaseAngleGains[0], BaseAngleGains[1], BaseAngleGains[2]);
    Base.SetRateGains1(0.261f, 0.2175f, 0.054375f);
    Base.SetTorqueLimit1(BaseTorqueLimit);
    Base.SetSpringCoeff(Base.GetSpringCoeff() * 0.05f);
    Base.SetMaxTheta(QuarterPi);
    Base.SetMinTheta(-QuarterPi);
    for (int i = 0; i < 4; ++i) {
        WheelRates[i] = 0.0f;
        Steering[i] = 0.0f;
    }
    BaseTarget = 0.0f;
    ArmTarget = QuarterPi;
}

void TQECraneCar_Data::Step()
{
    if (!GetHandle())
        return;
    for (int i = 0; i < 4; ++i) {
        WheelJoints[i].ControlRate1(WheelRates[i]);
        WheelJoints[i].ControlAngle2(Steering[i]);
    }
    TQEJoint_Data& pole = CraneArm.PoleJoint();
    pole.SetTorque(0.0f);
    Base.SetTorque(0.0f);
    Base.ControlAngle1(BaseTarget);
    pole.ControlAngle1(ArmTarget);

    // Hold the arm against gravity: the load about each joint grows with the sine of its tilt.
    const float baseTheta = Base.GetTheta();
    const float u = pole.GetTheta() + baseTheta;
    const float arm = (0.5f * CraneArm.GetPart(TQECraneArm_Data::LeftPlate).GetMass() +
                       0.18f * (CraneArm.GetPart(TQECraneArm_Data::RightPlate).GetMass() +
                                CraneArm.GetPart(TQECraneArm_Data::LeftFinger).GetMass())) *
                      std::fabs(std::sin(u)) * Sign(u);
    pole.SetTorque(pole.GetTorque() - arm * GravityGain(PoleCouple));
    const float base = CraneArm.GetMass() * std::fabs(std::sin(baseTheta)) * Sign(baseTheta) + arm;
    Base.SetTorque(Base.GetTorque() - base * GravityGain(BaseCouple));
}

void TQECraneCar_Data::KeyDown(int key)
{
    auto setAll = [this](float rate) {
        for (int i = 0; i < 4; ++i) {
            WheelRates[i] = rate;
            Steering[i] = 0.0f;
        }
    };
    auto turn = [this](float outer, float steer) {
        WheelRates[0] = WheelRates[1] = 20.0f;
        WheelRates[2] = WheelRates[3] = outer;
        Steering[0] = steer;
        Steering[1] = -steer;
        Steering[2] = steer;
        Steering[3] = -steer;
    };
    TQEJoint_Data& left = CraneArm.LeftGripJoint();
    TQEJoint_Data& right = CraneArm.RightGripJoint();
    switch (key >= 0 && key < 256 ? std::toupper(key) : 0) {
    case 'Z': setAll(0.0f); break;
    case 'E': setAll(10.0f); break;
    case 'X': setAll(-10.0f); break;
    case 'S': turn(21.047197f, 0.13707785f); break;
    case 'D': turn(18.952803f, -0.13707785f); break;
    case 'C':
        left.SetTorque(GripTorque);
        right.SetTorque(-GripTorque);
        break;
    case 'V':
        left.SetTorque(-GripTorque);
        right.SetTorque(GripTorque);
        break;
    case 'F':
        BaseTarget = QuarterPi;
        ArmTarget = 1.0471976f;
        break;
    case 'G':
        BaseTarget = QuarterPi;
        ArmTarget = 2.0943952f;
        break;
    case 'H':
        BaseTarget = 0.0f;
        ArmTarget = QuarterPi;
        break;
    default: break;
    }
}
