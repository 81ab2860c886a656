// The joint pass of the world step: every joint axis decides whether it sticks (static friction against the
// brake) or moves, and a moving axis measures its angle and rate, keeps to its limits, takes its motor, damper
// and friction torque and lets its lock links go; a stuck or limited axis is held rigid by them.
#pragma once

class TZevJoint;
class TZevPhscs2World;

// The angle history of every joint axis moves one step back (the step's preparation).
void ZevShiftJointHistories(TZevPhscs2World* world);
// One joint pass with the sub-step h: every joint of the world, or one joint.
void ZevJointPass(TZevPhscs2World* world, float h);
void ZevJointPass(TZevJoint* joint, float h);
