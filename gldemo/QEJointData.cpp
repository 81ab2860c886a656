#include "QEJointData.h"

#include "QEBodyData.h"

bool TQEJoint_Data::Create(TQEBody_Data& parent, TQEBody_Data& child, const float* position3, const float* axis1,
                           const float* axis2)
{
    Parent = &parent;
    Child = &child;
    Handle = QE_XPhBodyAddJointChild(parent.GetHandle(), child.GetHandle(), position3, axis1, axis2, 1.0f);
    QE_XPhBodyJointGuessParam(Handle);
    return Handle != nullptr;
}

namespace {

// A value read by a per-axis getter export; 0 without a joint.
float ReadJoint(QE_XPhJoint* joint, int (*get)(QE_XPhJoint*, float*))
{
    float v = 0.0f;
    if (joint)
        get(joint, &v);
    return v;
}

} // namespace

// The per-axis exports trust their joint: every call goes through these guards.
int TQEJoint_Data::SetTorque(float t) { return Handle ? QE_XPhJointSetTorque(Handle, t) : 0; }
float TQEJoint_Data::GetTorque() const { return ReadJoint(Handle, QE_XPhJointGetTorque); }
float TQEJoint_Data::GetTorque2() const { return ReadJoint(Handle, QE_XPhJointGetTorque2); }
float TQEJoint_Data::GetTheta() const { return ReadJoint(Handle, QE_XPhJointGetTheta); }
float TQEJoint_Data::GetTheta2() const { return ReadJoint(Handle, QE_XPhJointGetTheta2); }
int TQEJoint_Data::SetRotationalDamper(float v) { return Handle ? QE_XPhJointSetRotationalDamper(Handle, v) : 0; }
int TQEJoint_Data::SetRotationalDamper2(float v) { return Handle ? QE_XPhJointSetRotationalDamper2(Handle, v) : 0; }
int TQEJoint_Data::SetBrake(float v) { return Handle ? QE_XPhJointSetBrake(Handle, v) : 0; }
int TQEJoint_Data::SetBrake2(float v) { return Handle ? QE_XPhJointSetBrake2(Handle, v) : 0; }
int TQEJoint_Data::SetMinTheta(float v) { return Handle ? QE_XPhJointSetMinTheta(Handle, v) : 0; }
int TQEJoint_Data::SetMinTheta2(float v) { return Handle ? QE_XPhJointSetMinTheta2(Handle, v) : 0; }
int TQEJoint_Data::SetMaxTheta(float v) { return Handle ? QE_XPhJointSetMaxTheta(Handle, v) : 0; }
int TQEJoint_Data::SetMaxTheta2(float v) { return Handle ? QE_XPhJointSetMaxTheta2(Handle, v) : 0; }
int TQEJoint_Data::SetStaticFrictionCoeff(float v)
{
    return Handle ? QE_XPhJointSetStaticFrictionCoeff(Handle, v) : 0;
}
int TQEJoint_Data::SetStaticFrictionCoeff2(float v)
{
    return Handle ? QE_XPhJointSetStaticFrictionCoeff2(Handle, v) : 0;
}
int TQEJoint_Data::SetDynamicFrictionCoeff(float v)
{
    return Handle ? QE_XPhJointSetDynamicFrictionCoeff(Handle, v) : 0;
}
int TQEJoint_Data::SetDynamicFrictionCoeff2(float v)
{
    return Handle ? QE_XPhJointSetDynamicFrictionCoeff2(Handle, v) : 0;
}
int TQEJoint_Data::SetAxisCount(int count) { return Handle ? QE_XPhJointSetAxisCount(Handle, count) : 0; }
int TQEJoint_Data::SetSpringCoeff(float k) { return QE_XPhBodyJointSpringCoeff(Handle, k); }
float TQEJoint_Data::GetSpringCoeff() const { return QE_XPhBodyJointGetSpringCoeff(Handle); }
int TQEJoint_Data::SetLimitFlag(int on) { return QE_XPhBodyJointLimitFlag(Handle, on); }

void TQEJoint_Data::ReadAxis(int axis, float* theta, float* rate) const
{
    *theta = 0.0f;
    *rate = 0.0f;
    if (!Handle)
        return;
    if (axis == 0) {
        QE_XPhJointGetTheta(Handle, theta);
        QE_XPhJointGetDTheta(Handle, rate);
    } else {
        QE_XPhJointGetTheta2(Handle, theta);
        QE_XPhJointGetDTheta2(Handle, rate);
    }
}

float TQEJoint_Data::StepSize() const
{
    float dt = 0.0f;
    QE_GetSimulationStepSize(&dt);
    return dt;
}

float TQEJoint_Data::Clamp(int axis, float torque, float oldAngleIntegral, float oldRateIntegral)
{
    const float limit = TorqueLimit[axis];
    if (torque > limit) {
        torque = limit;
        State[axis].AngleIntegral = oldAngleIntegral;
        State[axis].RateIntegral = oldRateIntegral;
    }
    if (torque < -limit) {
        torque = -limit;
        State[axis].AngleIntegral = oldAngleIntegral;
        State[axis].RateIntegral = oldRateIntegral;
    }
    return torque;
}

void TQEJoint_Data::Apply(int axis, float torque)
{
    if (!Handle)
        return;
    if (axis == 0)
        QE_XPhJointSetTorque(Handle, torque);
    else
        QE_XPhJointSetTorque2(Handle, torque);
}

void TQEJoint_Data::ControlAngle(int axis, float target)
{
    float theta, w;
    ReadAxis(axis, &theta, &w);
    const float dt = StepSize();
    TQEAxisState& s = State[axis];
    const TQEPIDGains& g = AngleGains[axis];
    const float oldI = s.AngleIntegral;
    const float e = target - theta;
    s.AngleIntegral = s.AngleIntegral + dt * e;
    const float torque = g.Kp * e + g.Ki * s.AngleIntegral - g.Kd * w;
    Apply(axis, Clamp(axis, torque, oldI, s.RateIntegral));
}

void TQEJoint_Data::ControlRate(int axis, float target)
{
    float theta, w;
    ReadAxis(axis, &theta, &w);
    const float dt = StepSize();
    TQEAxisState& s = State[axis];
    const TQEPIDGains& g = RateGains[axis];
    const float oldJ = s.RateIntegral;
    const float dw = w - s.PreviousRate;
    s.PreviousRate = w;
    const float e = target - w;
    s.RateIntegral = s.RateIntegral + dt * e;
    // A zero step would divide by zero: the derivative term then drops out.
    const float derivative = dt != 0.0f ? g.Kd / dt * dw : 0.0f;
    const float torque = g.Kp * e + g.Ki * s.RateIntegral + derivative;
    Apply(axis, Clamp(axis, torque, s.AngleIntegral, oldJ));
}

void TQEJoint_Data::ControlBoth(int axis, float angle, float rate)
{
    float theta, w;
    ReadAxis(axis, &theta, &w);
    const float dt = StepSize();
    TQEAxisState& s = State[axis];
    const TQEPIDGains& ga = AngleGains[axis];
    const TQEPIDGains& gr = RateGains[axis];
    const float oldI = s.AngleIntegral;
    const float oldJ = s.RateIntegral;
    const float ea = angle - theta;
    s.AngleIntegral = s.AngleIntegral + dt * ea;
    const float dw = w - s.PreviousRate;
    s.PreviousRate = w;
    const float er = rate - w;
    s.RateIntegral = s.RateIntegral + dt * er;
    const float derivative = dt != 0.0f ? gr.Kd / dt * dw : 0.0f;
    // The angle part damps here as well (it subtracts Kd w), so both modes brake a moving joint alike.
    const float torque = ga.Kp * ea + ga.Ki * s.AngleIntegral - ga.Kd * w + gr.Kp * er + gr.Ki * s.RateIntegral +
                         derivative;
    Apply(axis, Clamp(axis, torque, oldI, oldJ));
}
