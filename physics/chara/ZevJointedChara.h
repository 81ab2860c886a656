// A game character that keeps the joints of its legs or wheels: the common base of the legged robot and the
// vehicle.
#pragma once

#include "ZevGameChara.h"

class TZevJointedChara : public TZevGameChara {
public:
    static constexpr int JointCount = 12;

    TZevJointedChara() = default;
    // The joints belong to the parts they join; the table only forgets them.
    ~TZevJointedChara() override;

    // Stores a joint in slot i together with the two parts it joins.
    void SetJoint(int i, TZevJoint* joint);
    // The joint of slot i, or null when the slot is empty or its joint has gone (released with a part it joined),
    // so that the control laws never write into a joint that is back in its pool or serves other parts.
    TZevJoint* JointAt(int i) const;

    TZevJoint* Joints[JointCount] = {}; // four legs of three joints, or the wheel joints in two pairs

private:
    TZevPhscs2Obj* JointObjects[JointCount][2] = {};
};
