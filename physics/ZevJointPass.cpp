#include "ZevJointPass.h"

#include "ZevJoint.h"
#include "ZevListView.h"
#include "ZevPhscs2World.h"
#include "ZevRigidLink.h"
#include "ZevVecInline.h"

#include <cmath>

namespace {

constexpr float Pi = 3.1415927f;
constexpr float TwoPi = 6.2831855f;

// The fields of one joint axis. Axis 1 turns about the first axis (as the second axis has turned it) and is held
// by the reference pair (links 3 and 4); axis 2 turns about the reference direction, measured from the first axis,
// and is held by the axis pair (links 1 and 2).
struct TJointAxis {
    float& Torque;
    float& RotationalDamper;
    float& StaticFrictionCoeff;
    float& DynamicFrictionCoeff;
    float& Brake;
    float& NetTorque;
    float& Theta;
    float& PrevTheta;
    float& MaxTheta;
    float& MinTheta;
    float& DTheta;
    float& PrevDTheta;
    std::int32_t& State;
    std::int32_t& LimitFlag;
    TZevVector AxisA; // the axis the angle turns about, in A's coordinates
    TZevVector RefA;  // the direction the angle is measured from, in A's coordinates
    TZevRigidLink* P; // the lock pair
    TZevRigidLink* Q;
};

enum class EZevJointAxis { First, Second };

TJointAxis FirstAxis(TZevJoint* j)
{
    return {j->Torque,   j->RotationalDamper, j->StaticFrictionCoeff, j->DynamicFrictionCoeff,
            j->Brake,    j->NetTorque,        j->Theta,               j->PrevTheta,
            j->MaxTheta, j->MinTheta,         j->DTheta,              j->PrevDTheta,
            j->State,    j->LimitFlag,        j->CurAxisA,            j->RefA,
            j->Links[2], j->Links[3]};
}

TJointAxis SecondAxis(TZevJoint* j)
{
    return {j->Torque2,   j->RotationalDamper2, j->StaticFrictionCoeff2, j->DynamicFrictionCoeff2,
            j->Brake2,    j->NetTorque2,        j->Theta2,               j->PrevTheta2,
            j->MaxTheta2, j->MinTheta2,         j->DTheta2,              j->PrevDTheta2,
            j->State2,    j->LimitFlag2,        j->RefA,                 j->AxisA,
            j->Links[0],  j->Links[1]};
}

// After an axis moved: the A ends of the four outer links follow both angles, the B ends go back onto the joint's
// frame in B, and the outer links take the joint's spring.
void ResetOuterLinks(TZevJoint* joint, EZevJointAxis which)
{
    if (which == EZevJointAxis::First) {
        const float prevTheta = joint->PrevTheta;
        joint->SetAngle(joint->Theta);
        joint->PrevTheta = prevTheta;
    } else {
        const float prevTheta = joint->PrevTheta2;
        joint->SetAngle2(joint->Theta2);
        joint->PrevTheta2 = prevTheta;
    }
    const float size = joint->Size;
    for (int k = 0; k < 4; ++k)
        joint->Links[k]->Spring = joint->LinkSpring;
    joint->Links[0]->AttachA = Plus(joint->PivotA, Times(joint->CurAxisA, size));
    joint->Links[0]->AttachB = Plus(joint->PivotB, Times(joint->AxisB, size));
    joint->Links[1]->AttachA = Minus(joint->PivotA, Times(joint->CurAxisA, size));
    joint->Links[1]->AttachB = Minus(joint->PivotB, Times(joint->AxisB, size));
    joint->Links[2]->AttachB = Plus(joint->PivotB, Times(joint->RefB, size));
    joint->Links[3]->AttachB = Minus(joint->PivotB, Times(joint->RefB, size));
}

// The angle about the unit axis x from the unit reference r to the direction q (its part across x); false when q
// has no such part.
bool AxisAngle(const TZevVector& x, const TZevVector& r, const TZevVector& q, float& angle)
{
    TZevVector u = Minus(q, Times(x, Dot(q, x)));
    if (u.Normalize() == 0)
        return false;
    const float c = Dot(r, u);
    const float s = Dot(x, Cross(r, u));
    if (c >= 1.0f)
        angle = 0.0f;
    else if (c <= -1.0f)
        angle = Pi;
    else
        angle = std::acos(c);
    if (s <= 0.0f)
        angle = -angle;
    return true;
}

// One axis of the joint pass; the result tells whether the axis is moving. With `holdTilt` (axis 2 while axis 1
// moves too) the axis pair stays on to hold the third direction, so its A ends are put at the angle the B ends
// have now, not at the angle of the step's start: they then hold the tilt without holding back the axis.
bool JointAxisPass(TZevJoint* joint, EZevJointAxis which, float h, bool holdTilt = false)
{
    TJointAxis a = which == EZevJointAxis::First ? FirstAxis(joint) : SecondAxis(joint);
    TZevPhscs2Obj* A = joint->ObjectA();
    TZevPhscs2Obj* B = joint->ObjectB();
    TZevRigidLink* l3 = a.P;
    TZevRigidLink* l4 = a.Q;
    // Axis, reference and the twist of the lock pair.
    TZevVector x, r;
    A->LocalToWorldDir(a.AxisA, x);
    A->LocalToWorldDir(a.RefA, r);
    TZevVector a3, b3, a4, b4;
    A->LocalToWorld(l3->AttachA, a3);
    B->LocalToWorld(l3->AttachB, b3);
    A->LocalToWorld(l4->AttachA, a4);
    B->LocalToWorld(l4->AttachB, b4);
    const TZevVector g = Minus(Minus(b3, a3), Minus(b4, a4));
    // The applied torque; the test torque adds the twist held by the lock links' springs.
    float applied = a.Torque - a.RotationalDamper * a.PrevDTheta;
    const float test = applied + Dot(x, Cross(r, g)) * joint->LinkSpring;
    // An axis starts to move once the test torque overcomes static friction against the brake.
    if (std::fabs(test) > a.StaticFrictionCoeff * a.Brake)
        a.State = 1;
    // A moving axis feels dynamic friction against its last rate and measures its new angle.
    if (a.State == 0) {
        applied = 0.0f;
    } else {
        const float friction = a.DynamicFrictionCoeff * a.Brake;
        if (a.PrevDTheta <= 0.0f)
            applied = applied + friction;
        else
            applied = applied - friction;
        const TZevVector q = Times(Minus(l3->PrevPointB, l4->PrevPointB), 0.5f);
        float angle = 0.0f;
        if (x.Normalize() != 0 && r.Normalize() != 0) {
            if (AxisAngle(x, r, q, angle)) {
                if (a.LimitFlag == 0) {
                    if (angle > a.MaxTheta) {
                        angle = a.MaxTheta;
                        a.State = 0;
                    } else if (angle < a.MinTheta) {
                        angle = a.MinTheta;
                        a.State = 0;
                    }
                }
                float d = angle - a.PrevTheta;
                if (std::fabs(d + TwoPi) < std::fabs(d))
                    d = d + TwoPi;
                if (std::fabs(d - TwoPi) < std::fabs(d))
                    d = d - TwoPi;
                a.Theta = angle;
                a.DTheta = d / h;
                if (((a.DTheta > 0.0f && a.PrevDTheta < 0.0f) || (a.DTheta < 0.0f && a.PrevDTheta > 0.0f)) &&
                    a.Brake > 0.0f)
                    a.State = 0;
                if (a.State != 0) {
                    float now = a.Theta;
                    if (holdTilt && AxisAngle(x, r, Times(Minus(b3, b4), 0.5f), now) && a.LimitFlag == 0) {
                        if (now > a.MaxTheta)
                            now = a.MaxTheta;
                        else if (now < a.MinTheta)
                            now = a.MinTheta;
                    }
                    const float theta = a.Theta;
                    a.Theta = now;
                    ResetOuterLinks(joint, which);
                    a.Theta = theta;
                }
            }
        }
    }
    a.NetTorque = applied;
    return a.State != 0;
}

} // namespace

void ZevJointPass(TZevPhscs2World* world, float h)
{
    for (TZevJoint* joint : ZevItems<TZevJoint>(*world->Joints))
        ZevJointPass(joint, h);
}

void ZevJointPass(TZevJoint* joint, float h)
{
    if (joint->ObjectA() == nullptr || joint->ObjectB() == nullptr)
        return;
    bool complete = true;
    for (TZevRigidLink* link : joint->Links)
        complete = complete && link != nullptr;
    if (!complete)
        return;
    // Each axis's lock pair holds it exactly while it does not move.
    const bool moving1 = JointAxisPass(joint, EZevJointAxis::First, h);
    joint->Links[2]->Active = moving1 ? 0 : 1;
    joint->Links[3]->Active = moving1 ? 0 : 1;
    std::int32_t axisPair = 1;
    if (joint->AxisCount == 2) {
        const bool moving2 = JointAxisPass(joint, EZevJointAxis::Second, h, moving1);
        // With both axes free and both pairs off nothing would hold the third direction (the child would
        // tilt freely about it): the axis pair, which the first axis does not move, then stays on. Its A ends
        // follow the second angle every pass, so it holds the tilt and barely resists the second axis.
        axisPair = moving2 && !moving1 ? 0 : 1;
    } else {
        joint->NetTorque2 = 0.0f;
    }
    joint->Links[0]->Active = axisPair;
    joint->Links[1]->Active = axisPair;
}

void ZevShiftJointHistories(TZevPhscs2World* world)
{
    for (TZevJoint* joint : ZevItems<TZevJoint>(*world->Joints)) {
        joint->PrevTheta = joint->Theta;
        joint->PrevDTheta = joint->DTheta;
        if (joint->AxisCount == 2) {
            joint->PrevTheta2 = joint->Theta2;
            joint->PrevDTheta2 = joint->DTheta2;
        }
    }
}
