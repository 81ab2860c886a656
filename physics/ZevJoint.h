// Hinge joint between two dynamic objects, with an optional second axis, built from five rigid links: one at the
// pivot and two pairs at a distance d along the axis and along a reference direction perpendicular to it. The
// joint turns by moving the first object's ends of the reference pair round the axis to the joint's angle, so the
// angle is a state of its own that the joint pass drives with springs, dampers, friction, brakes, motors and
// limits.
#pragma once

#include "ZevPhscs2Obj.h"
#include "ZevRigidLink.h"
#include "ZevVector.h"

#include <cstdint>

class TZevJoint : public TZevReleasableLink {
public:
    TZevJoint() = default;
    // Releases the five links and leaves both objects' Joints lists, without going back to a pool.
    ~TZevJoint() override;

    // Releases the five links, leaves both objects' Joints lists and its ring, and goes back to the calling
    // thread's pool (once, however often it is released).
    void Release() override;
    // Sets axis 1's angle: CurRefA is RefA turned by theta about the first axis as the second axis has turned it
    // (CurAxisA; AxisA while the second angle is 0), and the first object's ends of the two reference links follow.
    virtual void SetAngle(float theta);
    // Sets axis 2's angle: the second axis is RefA, so CurAxisA is AxisA turned by theta about RefA and the first
    // object's ends of the axis links follow it; the reference pair keeps axis 1's angle about the turned axis.
    void SetAngle2(float theta);

    // The joint's two objects are those of its first link.
    TZevPhscs2Obj* ObjectA() const { return Links[0] != nullptr ? Links[0]->ObjectA : nullptr; }
    TZevPhscs2Obj* ObjectB() const { return Links[0] != nullptr ? Links[0]->ObjectB : nullptr; }

    std::int32_t State = 1;     // limit (moving) state of axis 1
    std::int32_t LimitFlag = 0; // non-zero: axis 1 turns freely, without limits
    TZevVector PivotA;          // in ObjectA's coordinates
    TZevVector PivotB;          // in ObjectB's coordinates
    TZevVector AxisA;
    TZevVector AxisB;
    TZevVector RefA;
    TZevVector RefB;
    TZevVector CurRefA;         // RefA turned by the current angle
    TZevVector CurAxisA;        // AxisA turned by the second angle
    float Size = 0.0f;          // distance d of the outer links from the pivot
    // Axis 1 settings.
    float Torque = 0.0f;        // motor torque
    float RotationalDamper = 1.0f;
    float StaticFrictionCoeff = 1.0f;
    float DynamicFrictionCoeff = 1.0f;
    float Brake = 0.0f;
    float SpringReserved = 0.0f;
    float LinkSpring = 20.5f;   // spring of the four outer links
    float LinkDamper = 0.1f;
    float GuessValue = 0.0f;    // the reference value of the joint-parameter guess
    // Axis 1 state.
    float NetTorque = 0.0f;
    float Theta = 0.0f;
    float PrevTheta = 0.0f;
    float MaxTheta = 1.5707964f;
    float MinTheta = -1.5707964f;
    float DTheta = 0.0f;
    float PrevDTheta = 0.0f;
    TZevRigidLink* Links[5] = {}; // +axis, -axis, +reference, -reference, pivot
    TZevListNode* NodeA = nullptr; // in ObjectA's Joints
    TZevListNode* NodeB = nullptr; // in ObjectB's Joints
    std::int32_t AxisCount = 1;
    std::int32_t State2 = 1;
    std::int32_t LimitFlag2 = 0;
    // Axis 2 settings and state.
    float Torque2 = 0.0f;
    float RotationalDamper2 = 1.0f;
    float StaticFrictionCoeff2 = 1.0f;
    float DynamicFrictionCoeff2 = 1.0f;
    float Brake2 = 0.0f;
    float NetTorque2 = 0.0f;
    float Theta2 = 0.0f;
    float PrevTheta2 = 0.0f;
    float MaxTheta2 = 1.5707964f;
    float MinTheta2 = -1.5707964f;
    float DTheta2 = 0.0f;
    float PrevDTheta2 = 0.0f;
    std::int32_t InPool = 0; // 1 while the joint waits in a pool

private:
    // CurRefA from RefA and Theta about the current first axis, and the A ends of the reference links.
    void PlaceReferencePair();
    // Releases the links and leaves the objects' lists and the ring.
    void Detach();
};

// A joint between a and b about the axis axisA through pivotA (both in a's coordinates), with the reference
// direction refA and outer links at distance d. Null, touching nothing, when an object is missing or the axis
// or the reference direction degenerates (zero, or the reference along the axis).
TZevJoint* CreateJoint(TZevPhscs2Obj* a, TZevPhscs2Obj* b, const TZevVector& pivotA, const TZevVector& axisA,
                       const TZevVector& refA, float d);
// A joint from the calling thread's pool (or new), with every field as after construction.
TZevJoint* NewJoint();

// Start-up of the joint pool; later calls do nothing.
void ZevJointInit();
// Number of joints waiting in the calling thread's pool.
int ZevJointPoolSize();
