#include "ZevJointedChara.h"

TZevJointedChara::~TZevJointedChara()
{
    for (int i = 0; i < JointCount; ++i)
        Joints[i] = nullptr;
}

void TZevJointedChara::SetJoint(int i, TZevJoint* joint)
{
    if (i < 0 || i >= JointCount)
        return;
    Joints[i] = joint;
    JointObjects[i][0] = joint != nullptr ? joint->ObjectA() : nullptr;
    JointObjects[i][1] = joint != nullptr ? joint->ObjectB() : nullptr;
}

TZevJoint* TZevJointedChara::JointAt(int i) const
{
    if (i < 0 || i >= JointCount)
        return nullptr;
    TZevJoint* joint = Joints[i];
    if (joint == nullptr || joint->InPool != 0 || joint->ObjectA() == nullptr)
        return nullptr;
    // A slot written directly (without SetJoint) has no recorded parts to compare.
    if (JointObjects[i][0] != nullptr &&
        (joint->ObjectA() != JointObjects[i][0] || joint->ObjectB() != JointObjects[i][1]))
        return nullptr;
    return joint;
}
