// The demo's vehicles: a box-shaped car on four wheels that drives itself along a wavering path, and the same car
// with a crane arm and a gripper driven from the keyboard. Wheels, steering, arm and gripper are joints driven by
// PID laws (TQEJoint_Data).
#ifndef QE_CAR_DATA_H
#define QE_CAR_DATA_H

#include "QEBodyData.h"
#include "QEJointData.h"

class TQECar_Data : public TQEBody_Data {
public:
    TQECar_Data() = default;

    void Step() override;
    virtual void AddWheel(int index, float x, float y, float z, float ax, float ay, float az);
    virtual void Build();
    virtual void KeyDown(int key);
    virtual void KeyUp(int key);
    virtual void Reserved(int, int) {}

    float GetScale() const { return Scale; }
    TQEBody_Data& Wheel(int i) { return Wheels[i]; }
    TQEJoint_Data& WheelJoint(int i) { return WheelJoints[i]; }
    int KeyFlag(int key) const { return key >= 0 && key < 256 ? KeyFlags[key] : 0; }

    // The clock of the self-driving path, shared by all cars; it only grows.
    static float Clock;

protected:
    float Scale = 1.0f;
    TQEBody_Data Wheels[4];
    TQEJoint_Data WheelJoints[4];
    int KeyFlags[256] = {};
};

class TQECraneArm_Data : public TQEBody_Data {
public:
    enum Part { UpperPole, LeftPlate, RightPlate, LeftFinger, RightFinger };

    void Build();
    TQEBody_Data& GetPart(Part p) { return Parts[p]; }
    TQEJoint_Data& PoleJoint() { return Pole; }
    TQEJoint_Data& LeftGripJoint() { return LeftGrip; }
    TQEJoint_Data& RightGripJoint() { return RightGrip; }

private:
    float Scale = 1.0f;
    TQEBody_Data Parts[5];
    TQEJoint_Data Pole;
    TQEJoint_Data LeftGrip;
    TQEJoint_Data RightGrip;
};

class TQECraneCar_Data : public TQECar_Data {
public:
    void Step() override;
    void Build() override;
    void KeyDown(int key) override;

    TQECraneArm_Data& Arm() { return CraneArm; }
    TQEJoint_Data& BaseJoint() { return Base; }
    float WheelRateTarget(int i) const { return WheelRates[i]; }
    float SteeringTarget(int i) const { return Steering[i]; }
    float BaseAngleTarget() const { return BaseTarget; }
    float ArmAngleTarget() const { return ArmTarget; }

private:
    TQECraneArm_Data CraneArm;
    TQEJoint_Data Base;
    float WheelRates[4] = {};
    float Steering[4] = {};
    float BaseTarget = 0.0f;
    float ArmTarget = 0.0f;
};

#endif
