#include "ZevJoint.h"

#include "ZevMatrix.h"
#include "ZevPoolDrain.h"
#include "ZevVecInline.h"

#include <cstdlib>
#include <new>

namespace {

TZevPoolHeads* JointPool = nullptr;

void DrainJointPool()
{
    ZevDrainPool<TZevJoint>(JointPool);
}

inline TZevVector Along(const TZevVector& p, float d, const TZevVector& dir)
{
    return TZevVector(p.x + d * dir.x, p.y + d * dir.y, p.z + d * dir.z);
}

// v minus its part along the unit vector axis, normalised; false when nothing is left.
bool Perpendicular(TZevVector& v, const TZevVector& axis)
{
    const float along = Dot(v, axis);
    v = TZevVector(v.x - along * axis.x, v.y - along * axis.y, v.z - along * axis.z);
    return v.Normalize() != 0;
}

} // namespace

void ZevJointInit()
{
    if (JointPool != nullptr)
        return;
    GetListNodePools();
    JointPool = new TZevPoolHeads(ZevDeletePooled<TZevJoint>);
    std::atexit(DrainJointPool);
}

TZevJoint* NewJoint()
{
    ZevJointInit();
    TZevJoint* joint = static_cast<TZevJoint*>(JointPool->Take());
    if (joint == nullptr)
        return new TZevJoint;
    // A recycled joint was detached when it was released: only its values start afresh.
    joint->State = 1;
    joint->LimitFlag = 0;
    joint->PivotA = joint->PivotB = joint->AxisA = joint->AxisB = TZevVector();
    joint->RefA = joint->RefB = joint->CurRefA = joint->CurAxisA = TZevVector();
    joint->Size = 0.0f;
    joint->Torque = joint->Torque2 = 0.0f;
    joint->RotationalDamper = joint->RotationalDamper2 = 1.0f;
    joint->StaticFrictionCoeff = joint->StaticFrictionCoeff2 = 1.0f;
    joint->DynamicFrictionCoeff = joint->DynamicFrictionCoeff2 = 1.0f;
    joint->Brake = joint->Brake2 = 0.0f;
    joint->SpringReserved = 0.0f;
    joint->LinkSpring = 20.5f;
    joint->LinkDamper = 0.1f;
    joint->GuessValue = 0.0f;
    joint->NetTorque = joint->NetTorque2 = 0.0f;
    joint->Theta = joint->Theta2 = 0.0f;
    joint->PrevTheta = joint->PrevTheta2 = 0.0f;
    joint->MaxTheta = joint->MaxTheta2 = 1.5707964f;
    joint->MinTheta = joint->MinTheta2 = -1.5707964f;
    joint->DTheta = joint->DTheta2 = 0.0f;
    joint->PrevDTheta = joint->PrevDTheta2 = 0.0f;
    joint->AxisCount = 1;
    joint->State2 = 1;
    joint->LimitFlag2 = 0;
    joint->InPool = 0;
    return joint;
}

TZevJoint* CreateJoint(TZevPhscs2Obj* a, TZevPhscs2Obj* b, const TZevVector& pivotA, const TZevVector& axisA,
                       const TZevVector& refA, float d)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    TZevVector world;
    a->LocalToWorld(pivotA, world);
    TZevVector pivotB;
    b->WorldToLocal(world, pivotB);
    TZevVector axisB;
    a->LocalToWorldDir(axisA, world);
    b->WorldToLocalDir(world, axisB);
    TZevVector refB;
    a->LocalToWorldDir(refA, world);
    b->WorldToLocalDir(world, refB);

    TZevVector axis = axisA;
    if (axis.Normalize() == 0 || axisB.Normalize() == 0)
        return nullptr;
    TZevVector ref = refA;
    if (!Perpendicular(ref, axis) || !Perpendicular(refB, axisB))
        return nullptr;

    TZevJoint* joint = NewJoint();
    joint->Size = d;
    const TZevVector ends[5][2] = {
        {Along(pivotA, d, axis), Along(pivotB, d, axisB)},
        {Along(pivotA, -d, axis), Along(pivotB, -d, axisB)},
        {Along(pivotA, d, ref), Along(pivotB, d, refB)},
        {Along(pivotA, -d, ref), Along(pivotB, -d, refB)},
        {pivotA, pivotB},
    };
    for (int k = 0; k < 5; ++k)
        joint->Links[k] = CreateRigidLink(a, b, ends[k][0], ends[k][1]);
    joint->LinkSpring = 10.0f;
    joint->LinkDamper = 0.1f;
    for (int k = 0; k < 4; ++k) {
        TZevRigidLink* link = joint->Links[k];
        link->Spring = 10.0f;
        link->Damper = 0.05f;
        link->StaticFriction = 0.08f;
        link->DynamicFriction = 0.08f;
        link->RestLength = 0.0f;
        link->Tolerance = 0.15f * d;
    }
    joint->PivotA = pivotA;
    joint->PivotB = pivotB;
    joint->AxisA = axis;
    joint->AxisB = axisB;
    joint->RefA = ref;
    joint->RefB = refB;
    joint->CurRefA = ref;
    joint->CurAxisA = axis;
    joint->Theta = joint->PrevTheta = joint->DTheta = 0.0f;
    joint->NetTorque = joint->PrevDTheta = 0.0f;
    joint->State = 1;
    joint->LimitFlag = 0;
    joint->AxisCount = 1;
    joint->State2 = 1;
    joint->NodeA = a->Joints.PushFront(static_cast<TZevReleasableLink*>(joint));
    joint->NodeB = b->Joints.PushFront(static_cast<TZevReleasableLink*>(joint));
    return joint;
}

void TZevJoint::SetAngle(float theta)
{
    Theta = theta;
    PrevTheta = theta;
    PlaceReferencePair();
}

void TZevJoint::SetAngle2(float theta)
{
    Theta2 = theta;
    PrevTheta2 = theta;
    TZevMatrix turn;
    ZevMatRotationFromVector(turn, RefA.x, RefA.y, RefA.z, theta);
    ZevVecRotate(CurAxisA, AxisA, turn);
    if (!Perpendicular(CurAxisA, RefA))
        CurAxisA = AxisA;
    if (Links[0] != nullptr)
        Links[0]->AttachA = Along(PivotA, Size, CurAxisA);
    if (Links[1] != nullptr)
        Links[1]->AttachA = Along(PivotA, -Size, CurAxisA);
    // The first axis turned with the second: its reference keeps its angle about the new axis.
    PlaceReferencePair();
}

void TZevJoint::PlaceReferencePair()
{
    // A joint of one axis, or one whose second axis never turned, has CurAxisA = AxisA.
    const TZevVector& axis = CurAxisA.x == 0.0f && CurAxisA.y == 0.0f && CurAxisA.z == 0.0f ? AxisA : CurAxisA;
    TZevMatrix turn;
    ZevMatRotationFromVector(turn, axis.x, axis.y, axis.z, Theta);
    ZevVecRotate(CurRefA, RefA, turn);
    if (!Perpendicular(CurRefA, axis))
        CurRefA = TZevVector(0.0f, 0.0f, 1.0f);
    if (Links[2] != nullptr)
        Links[2]->AttachA = Along(PivotA, Size, CurRefA);
    if (Links[3] != nullptr)
        Links[3]->AttachA = Along(PivotA, -Size, CurRefA);
}

void TZevJoint::Detach()
{
    for (TZevRigidLink*& link : Links) {
        if (link != nullptr) {
            link->Release();
            link = nullptr;
        }
    }
    for (TZevListNode** node : {&NodeA, &NodeB}) {
        if (*node != nullptr) {
            TZevList::RemoveNode(*node);
            *node = nullptr;
        }
    }
    Unlink();
}

void TZevJoint::Release()
{
    Detach();
    if (InPool != 0)
        return;
    ZevJointInit();
    InPool = 1;
    if (!JointPool->Give(this))
        delete this;
}

TZevJoint::~TZevJoint()
{
    Detach();
}

int ZevJointPoolSize()
{
    ZevJointInit();
    const int slot = GetThreadPoolIndex();
    return slot < 0 ? 0 : JointPool->Heads[slot].GetCount();
}
