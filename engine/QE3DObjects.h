// Script 3D objects: named scene frames that are not physics bodies, with a simple motion state that a host
// scene advances once per step.
#pragma once

#include "ZevMath.h"
#include "ZevTree.h"

class TZevFrame;

class TZevLisp3DObj : public TZevStringTree {
public:
    TZevLisp3DObj() = default;
    // Releases the frame.
    ~TZevLisp3DObj() override;

    // One step of dt: the velocity and rotation take their accelerations, then the frame's local matrix becomes
    // R x T x local, R the rotation by |rotation| dt and T the translation by the velocity itself (not times dt).
    void Move(float dt);
    // Replaces the frame (releasing the old one); the object owns the one it is given.
    void SetFrame(TZevFrame* newFrame);

    TZevFrame* Frame = nullptr;
    TZevVector Velocity;
    TZevVector Acceleration;
    TZevVector Rotation;
    TZevVector RotationAcceleration;
};

extern TZevClassRecord TZevLisp3DObjClassRecord;
TZevLSObj* CreateTZevLisp3DObj();

// The parent of every object the builtins make (created on first need); the link is not a reference.
TZevLisp3DObj* GetLisp3DObjRoot();
// Unlinks the root's children (they belong to their script values) and destroys the root; at exit.
void FreeLisp3DObjRoot();

// Registers the class and the builtins "LoadXObj", "CreateEmptyFrame", "SetVelocity", "SetRotation",
// "SetPosition", "ZevLisp3DTest1" and "ZevLisp3DTest0". Runs once.
void ZevEngineRegister3DObj();
