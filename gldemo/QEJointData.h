// A joint of up to two rotation axes between a parent and a child body, each axis driven by a PID law computed
// here: towards a target angle, a target angular velocity, or both.
#ifndef QE_JOINT_DATA_H
#define QE_JOINT_DATA_H

#include "qe.h"

class TQEBody_Data;

struct TQEPIDGains {
    float Kp = 0.0f, Ki = 0.0f, Kd = 0.0f;
};

struct TQEAxisState {
    float AngleIntegral = 0.0f;
    float RateIntegral = 0.0f;
    float PreviousRate = 0.0f;
};

class TQEJoint_Data {
public:
    TQEJoint_Data() = default;
    virtual ~TQEJoint_Data() = default;
    TQEJoint_Data(const TQEJoint_Data&) = delete;
    TQEJoint_Data& operator=(const TQEJoint_Data&) = delete;

    virtual void Reserved() {}
    virtual void SetAngleGains1(float kp, float ki, float kd) { AngleGains[0] = {kp, ki, kd}; }
    virtual void SetAngleGains2(float kp, float ki, float kd) { AngleGains[1] = {kp, ki, kd}; }
    virtual void SetRateGains1(float kp, float ki, float kd) { RateGains[0] = {kp, ki, kd}; }
    virtual void SetRateGains2(float kp, float ki, float kd) { RateGains[1] = {kp, ki, kd}; }
    virtual void ControlAngle1(float target) { ControlAngle(0, target); }
    virtual void ControlRate1(float target) { ControlRate(0, target); }
    virtual void ControlBoth1(float angle, float rate) { ControlBoth(0, angle, rate); }
    virtual void ControlAngle2(float target) { ControlAngle(1, target); }
    virtual void ControlRate2(float target) { ControlRate(1, target); }
    virtual void ControlBoth2(float angle, float rate) { ControlBoth(1, angle, rate); }
    virtual void SetTorqueLimit1(float limit) { TorqueLimit[0] = limit; }
    virtual void SetTorqueLimit2(float limit) { TorqueLimit[1] = limit; }

    // Joins child to parent at position with the two axes; false when the engine made no joint.
    bool Create(TQEBody_Data& parent, TQEBody_Data& child, const float* position3, const float* axis1,
                const float* axis2);
    QE_XPhJoint* GetHandle() const { return Handle; }
    TQEBody_Data* GetParent() const { return Parent; }
    TQEBody_Data* GetChild() const { return Child; }

    int SetTorque(float t);
    float GetTorque() const;
    float GetTorque2() const;
    float GetTheta() const;
    float GetTheta2() const;
    int SetRotationalDamper(float v);
    int SetRotationalDamper2(float v);
    int SetBrake(float v);
    int SetBrake2(float v);
    int SetMinTheta(float v);
    int SetMinTheta2(float v);
    int SetMaxTheta(float v);
    int SetMaxTheta2(float v);
    int SetStaticFrictionCoeff(float v);
    int SetStaticFrictionCoeff2(float v);
    int SetDynamicFrictionCoeff(float v);
    int SetDynamicFrictionCoeff2(float v);
    int SetAxisCount(int count);
    int SetSpringCoeff(float k);
    float GetSpringCoeff() const;
    int SetLimitFlag(int on);

    const TQEAxisState& AxisState(int axis) const { return State[axis]; }

private:
    void ReadAxis(int axis, float* theta, float* rate) const;
    float StepSize() const;
    // Clamps to the axis's limit; on clamping the integrals touched by this call go back to their old values.
    float Clamp(int axis, float torque, float oldAngleIntegral, float oldRateIntegral);
    void Apply(int axis, float torque);
    void ControlAngle(int axis, float target);
    void ControlRate(int axis, float target);
    void ControlBoth(int axis, float angle, float rate);

    TQEBody_Data* Parent = nullptr;
    TQEBody_Data* Child = nullptr;
    QE_XPhJoint* Handle = nullptr;
    TQEPIDGains AngleGains[2];
    TQEPIDGains RateGains[2];
    TQEAxisState State[2];
    float TorqueLimit[2] = {1000.0f, 1000.0f};
};

#endif
