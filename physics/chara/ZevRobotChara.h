// Legged robot: four legs of three jointed segments under a body. Its control law drives the leg joints (S and D
// step and grab), lifts and lowers the body (E, X), moves it over the ground (arrow keys), turns it (Z, C) and
// keeps it upright.
#pragma once

#include "ZevJointedChara.h"

class TZevCollisionSpace;

class TZevRobotChara : public TZevJointedChara {
public:
    TZevRobotChara() = default;
    ~TZevRobotChara() override = default;

    // The clock runs with the steps.
    void AdvanceStep(float dt) override;
    void KeyControl(const unsigned char* keys) override;

    // The joint j (0 hip, 1 and 2 knees) of leg i, or null.
    TZevJoint* LegJoint(int leg, int joint) const { return JointAt(leg * 3 + joint); }

    // The gains of the turn damping (per unit of turn rate about y, with no turn key held) and of the uprighting
    // (per unit of the y axis's lean): the builder's m * 2000 and m * 25800, held to what one step of the last
    // length takes back without overshooting: half the turn, three quarters of the lean.
    float TurnDampingGain() const;
    float UprightingGain() const;

    float Clock = 0.0f;
    float LastStep = 0.02f; // the length of the last step (the scenes' frame before the first)
    float Reserved0 = 0.0f;
    float Reserved1 = 0.0f;
};

TZevCollisionMeshObj* CreateRobotChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument);

// The robot of the grab scene from "objects/kbody_ld.x" (showing "objects/kbody.x") and its four legs, under
// `worldFrame` and in `world`. Null (logged) when the body's file cannot be read; a leg that cannot be built is
// left out.
TZevRobotChara* BuildRobotBody(TZevFrame* worldFrame, TZevCollisionSpace* world);
// One leg of three segments at `matrix`: its two knee joints go into joints[1] and joints[2]; the result is the
// first segment (null when it cannot be made).
TZevGameChara* BuildRobotLeg(TZevFrame* worldFrame, TZevCollisionSpace* world, const TZevMatrix& matrix,
                             TZevJoint** joints);

// The program-wide unit scale of the robot's dimensions.
inline constexpr float ZevRobotUnit = 1.0f;
