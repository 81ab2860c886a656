#include "ZevRobotChara.h"

#include "ZevBodyUtil.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevPhscs2World.h"
#include "ZevVirtualKeys.h"

namespace {

constexpr float QuarterPi = 0.7853982f;
constexpr float Pi = 3.1415927f;

TZevMatrix TranslationY(float y)
{
    TZevMatrix t;
    return ZevMatTranslation(t, 0.0f, y, 0.0f);
}

TZevMatrix Product(const TZevMatrix& a, const TZevMatrix& b)
{
    TZevMatrix r;
    return ZevMatMultiply(r, a, b);
}

// The joint frame of a child placed at `world`, relative to the parent's part.
TZevMatrix RelativeTo(const TZevMatrix& world, const TZevGameChara* parent)
{
    TZevMatrix inverse;
    if (!ZevMatInverse(inverse, parent->MainPart->Matrix))
        inverse = TZevMatrix();
    return Product(world, inverse);
}

// A horizontal unit direction from a body axis; none when the axis is vertical.
TZevVector Horizontal(float x, float z, bool& ok)
{
    TZevVector d(x, 0.0f, z);
    ok = d.Normalize() != 0;
    return ok ? d : TZevVector();
}

// One segment of a leg, made and shown.
TZevGameChara* MakeSegment(const char* file, const char* visual, const TZevMatrix& m, TZevFrame* worldFrame,
                           TZevCollisionSpace* world)
{
    TZevGameChara* seg = ZevAsGameChara(AddXPhBodyFromXFile(file, CreateGameChara, m, worldFrame, world));
    if (seg == nullptr)
        return nullptr;
    seg->LoadVisualMesh(visual);
    return seg;
}

// Scaled to size, weighted, and given the inertia of its box.
void ScaleAndWeigh(TZevGameChara* seg, float radius)
{
    const float u = ZevRobotUnit;
    TZevMatrix scale;
    ZevMatScaling(scale, 5.0f * u, 5.0f * u, 5.0f * u);
    seg->TransformVertices(scale);
    seg->Invalidate();
    seg->UpdateBox();
    seg->MainPart->SetMassSphere(0.5f, radius);
    seg->SetDynamic(1);
    TZevVector extent(1.0f, 1.0f, 1.0f);
    if (seg->collisionMesh != nullptr) {
        seg->collisionMesh->UpdateBounds();
        const TZevBox& b = seg->collisionMesh->Bounds;
        extent = TZevVector(b.Max.x - b.Min.x, b.Max.y - b.Min.y, b.Max.z - b.Min.z);
    }
    TZevMatrix3 inertia;
    CalcBoxInertiaTensor(inertia, extent.x, extent.y, extent.z, 0.5f);
    seg->MainPart->SetInertia(inertia);
}

} // namespace

void TZevRobotChara::AdvanceStep(float dt)
{
    Clock += dt;
    if (dt > 0.0f)
        LastStep = dt;
    TZevJointedChara::AdvanceStep(dt);
}

void TZevRobotChara::KeyControl(const unsigned char* keys)
{
    if (keys == nullptr)
        return;
    const float m = MainPart->Mass;
    // A: stiffer knees.
    if (keys[ZevKeyA] != 0) {
        for (int i = 0; i < 4; ++i) {
            for (int j = 1; j <= 2; ++j) {
                if (TZevJoint* joint = LegJoint(i, j))
                    joint->SpringReserved = 10.1f;
            }
        }
    }
    // S steps (knees fold), D grabs (knees driven towards their upper limits); the hips swing diagonal
    // pairs against each other.
    const bool step = keys[ZevKeyS] != 0;
    const bool grab = keys[ZevKeyD] != 0;
    for (int pass = 0; pass < 2; ++pass) {
        if ((pass == 0 && !step) || (pass == 1 && !grab))
            continue;
        for (int i = 0; i < 4; ++i) {
            if (TZevJoint* hip = LegJoint(i, 0)) {
                hip->MaxTheta = QuarterPi;
                hip->MinTheta = -QuarterPi;
            }
            for (int j = 0; j < 3; ++j) {
                if (TZevJoint* joint = LegJoint(i, j))
                    joint->SpringReserved = 8.0f;
            }
            TZevJoint* knee1 = LegJoint(i, 1);
            TZevJoint* knee2 = LegJoint(i, 2);
            if (pass == 0) {
                if (knee1 != nullptr)
                    knee1->Torque = -1850.0f;
                if (knee2 != nullptr)
                    knee2->Torque = 1850.0f;
            } else {
                if (knee1 != nullptr)
                    knee1->Torque = ((knee1->MaxTheta - knee1->Theta) * 0.5f + 2.0f) * 462.5f;
                if (knee2 != nullptr)
                    knee2->Torque = ((knee2->MaxTheta - knee2->Theta) * 0.5f + 2.0f) * 925.0f;
            }
        }
        for (int i = 0; i < 4; ++i) {
            if (TZevJoint* hip = LegJoint(i, 0))
                hip->Torque = (i == 0 || i == 3) ? 1850.0f : -1850.0f;
        }
    }
    // E rises, X descends.
    TZevVector& F = ForceAccumulator;
    TZevVector& T = TorqueAccumulator;
    if (keys[ZevKeyE] != 0)
        F.y += m * 9.1f * 30.0f;
    if (keys[ZevKeyX] != 0)
        F.y -= m * 9.1f * 10.0f;
    // Uprighting torque from the part's y axis.
    const float* R = MainPart->Matrix.m;
    const float upright = UprightingGain();
    T.x += R[6] * -upright;
    T.z += R[4] * upright;
    // Moves over the ground. A part whose z (or x) axis stands vertical has no horizontal direction there:
    // the key then pushes nowhere rather than upwards.
    bool hasForward = false;
    bool hasSide = false;
    const TZevVector forward = Horizontal(R[8], R[10], hasForward);
    const TZevVector side = Horizontal(R[0], R[2], hasSide);
    auto push = [&F, m](const TZevVector& d, float k) {
        F = TZevVector(F.x + d.x * m * k, F.y + d.y * m * k, F.z + d.z * m * k);
    };
    if (keys[ZevKeyUp] != 0 && hasForward)
        push(forward, 250.0f);
    if (keys[ZevKeyDown] != 0 && hasForward)
        push(forward, -250.0f);
    if (keys[ZevKeyLeft] != 0 && hasSide)
        push(side, -250.0f);
    if (keys[ZevKeyRight] != 0 && hasSide)
        push(side, 250.0f);
    // Z and C turn; otherwise the turn is damped.
    if (keys[ZevKeyZ] != 0) {
        T.y += m * -2800.0f;
        return;
    }
    if (keys[ZevKeyC] != 0) {
        T.y += m * 2800.0f;
        return;
    }
    T.y -= MainPart->AngularVelocity.y * TurnDampingGain();
}

// Both gains are explicit: a step acts on the turn or the lean it started with. Past what one step can take back
// they turn it round larger than it was, step after step. At the builder's mass and inertia the turn damping takes
// 6.25 times the turn away in one step: with no key held the body turned to and fro at the turn limit. With that
// gain held, the uprighting, fed back through the legs' links, still rocked the body by about 0.2 rad each way
// every step, which turned its heading a little each time. Each gain is held below what one step stops, with room
// for the legs, which answer a step late.
float TZevRobotChara::TurnDampingGain() const
{
    const float gain = MainPart->Mass * 2000.0f;
    TZevMatrix3 inverse;
    if (!ZevInverseWorldInertia(MainPart->Matrix, MainPart->Inertia, inverse) || !(inverse[4] > 0.0f))
        return gain;
    const float bound = 0.5f / (inverse[4] * LastStep);
    return bound < gain ? bound : gain;
}

float TZevRobotChara::UprightingGain() const
{
    const float gain = MainPart->Mass * 25800.0f;
    TZevMatrix3 inverse;
    if (!ZevInverseWorldInertia(MainPart->Matrix, MainPart->Inertia, inverse))
        return gain;
    const float most = inverse[0] > inverse[8] ? inverse[0] : inverse[8];
    if (!(most > 0.0f))
        return gain;
    const float bound = 0.75f / (most * LastStep * LastStep);
    return bound < gain ? bound : gain;
}

TZevCollisionMeshObj* CreateRobotChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument)
{
    return ZevSetUpGameChara(new TZevRobotChara, holder, source, argument);
}

TZevGameChara* BuildRobotLeg(TZevFrame* worldFrame, TZevCollisionSpace* world, const TZevMatrix& matrix,
                             TZevJoint** joints)
{
    const float u = ZevRobotUnit;
    // Three segments down the leg.
    TZevGameChara* seg1 = MakeSegment("objects/leg.x", "objects/dleg.x", matrix, worldFrame, world);
    if (seg1 == nullptr)
        return nullptr;
    const TZevMatrix m2 = Product(TranslationY(-10.0f * u), matrix);
    const TZevMatrix m3 = Product(TranslationY(-25.0f * u), matrix);
    TZevGameChara* seg2 = MakeSegment("objects/leg3.x", "objects/dleg3.x", m2, worldFrame, world);
    TZevGameChara* seg3 = MakeSegment("objects/leg2.x", "objects/dleg2.x", m3, worldFrame, world);
    // Scaled to size, weighted.
    ScaleAndWeigh(seg1, 10.0f * u);
    if (seg2 != nullptr)
        ScaleAndWeigh(seg2, 15.0f * u);
    if (seg3 != nullptr)
        ScaleAndWeigh(seg3, 15.0f * u);
    // Knee joints about the leg's x axis.
    TZevJointSettings knee;
    knee.Axis = TZevVector(1.0f, 0.0f, 0.0f);
    knee.Reference = TZevVector(0.0f, 0.0f, 1.0f);
    knee.Size = 3.5f * u;
    if (seg2 != nullptr) {
        knee.Pivot = TZevVector(0.0f, -5.0f * u, 0.0f);
        TZevJoint* joint = seg1->AttachChildByJointAt(seg2, knee, RelativeTo(m2, seg1));
        if (joints != nullptr)
            joints[1] = joint;
        if (seg3 != nullptr) {
            knee.Pivot = TZevVector(0.0f, -7.5f * u, 0.0f);
            joint = seg2->AttachChildByJointAt(seg3, knee, RelativeTo(m3, seg2));
            if (joints != nullptr)
                joints[2] = joint;
        }
    }
    return seg1;
}

TZevRobotChara* BuildRobotBody(TZevFrame* worldFrame, TZevCollisionSpace* world)
{
    const float u = ZevRobotUnit;
    TZevCollisionMeshObj* made = AddXPhBodyFromXFile("objects/kbody_ld.x", CreateRobotChara, TZevMatrix(),
                                                     worldFrame, world);
    TZevRobotChara* robot = dynamic_cast<TZevRobotChara*>(made);
    if (robot == nullptr) {
        ZevDebugLog("BuildRobotBody: objects/kbody_ld.x cannot be read\n");
        return nullptr;
    }
    robot->LoadVisualMesh("objects/kbody.x");
    robot->SetMass(5.5f);
    // Legs at the four corners, turned outwards and tilted.
    const float turns[4] = {QuarterPi, 3.0f * QuarterPi, -QuarterPi, -3.0f * QuarterPi};
    for (int i = 0; i < 4; ++i) {
        const float x = turns[i] > 0.0f ? 7.5f * u : -7.5f * u;
        const float z = (turns[i] > -Pi / 2.0f && turns[i] < Pi / 2.0f) ? 7.5f * u : -7.5f * u;
        TZevMatrix tilt, turn, place;
        ZevMatRotationX(tilt, -0.2617994f);
        ZevMatRotationY(turn, turns[i]);
        ZevMatTranslation(place, x, 0.0f, z);
        const TZevMatrix m = Product(Product(tilt, turn), place);
        TZevJoint* legJoints[3] = {};
        TZevGameChara* leg = BuildRobotLeg(worldFrame, world, m, legJoints);
        if (leg == nullptr)
            continue;
        // The hip swings the leg about the vertical through its corner.
        TZevJointSettings hip;
        hip.Pivot = TZevVector(x, 0.0f, z);
        hip.Axis = TZevVector(0.0f, 1.0f, 0.0f);
        hip.Reference = TZevVector(1.0f, 0.0f, 0.0f);
        hip.Size = 3.5f * u;
        legJoints[0] = robot->AttachChildByJoint(leg, hip, RelativeTo(m, robot));
        for (int j = 0; j < 3; ++j)
            robot->SetJoint(i * 3 + j, legJoints[j]);
    }
    TZevPhscs2World* physicsWorld = dynamic_cast<TZevPhscs2World*>(world);
    float scale = physicsWorld != nullptr ? physicsWorld->CollisionSatisfyCoefficientScale : 1.0f;
    if (!(scale > 0.0f))
        scale = 1.0f;
    const float tolerances[4] = {0.125f, 0.125f, 0.25f, 0.25f};
    for (int i = 0; i < TZevJointedChara::JointCount; ++i) {
        TZevJoint* joint = robot->JointAt(i);
        if (joint == nullptr)
            continue;
        joint->LinkSpring = 10.0f;
        joint->RotationalDamper = 6.0f;
        for (int k = 0; k < 4; ++k) {
            if (joint->Links[k] != nullptr)
                joint->Links[k]->Tolerance = tolerances[k];
        }
        joint->LinkDamper = 2.5f / scale;
        joint->LinkSpring = 200.0f / scale;
        for (int k = 0; k < 4; ++k) {
            if (joint->Links[k] != nullptr) {
                joint->Links[k]->Spring = joint->LinkSpring;
                joint->Links[k]->Damper = joint->LinkDamper;
            }
        }
    }
    robot->LinearDamping = 1.5f;
    // The joints were made after the bodies entered the world: adding the robot again brings them in.
    if (world != nullptr)
        world->AddBody(robot);
    return robot;
}
