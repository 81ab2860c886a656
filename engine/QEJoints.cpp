#include "QEJoints.h"

#include "LispArgs.h"
#include "QEBodyState.h"
#include "QEContext.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevPhscs2World.h"
#include "ZevVecInline.h"

#include <cmath>
#include <cstdint>
#include <unordered_set>

namespace {

// Joints handed out to hosts and scripts. Joints go back to a pool when released, so a handle of a released joint
// is told by the pool flag; the set keeps a pointer that was never a joint from being read at all.
std::unordered_set<const TZevJoint*>& HandedOutJoints()
{
    static auto* joints = new std::unordered_set<const TZevJoint*>();
    return *joints;
}

} // namespace

TZevJoint* QEJoint(QE_XPhJoint* handle)
{
    auto* joint = reinterpret_cast<TZevJoint*>(handle);
    if (!joint || !HandedOutJoints().count(joint))
        return nullptr;
    if (joint->InPool != 0 || !joint->Links[0])
        return nullptr;
    return joint;
}

QE_XPhJoint* QEJointHandle(TZevJoint* joint)
{
    if (joint)
        HandedOutJoints().insert(joint);
    return reinterpret_cast<QE_XPhJoint*>(joint);
}

// ---- Per-axis joint parameters ---------------------------------------------------------------------------------

#define QE_JOINT_FLOAT_GET(Name, Field)                                                                            \
    extern "C" QE_API int QE_XPhJointGet##Name(QE_XPhJoint* handle, float* value)                                 \
    {                                                                                                              \
        TZevJoint* joint = QEJoint(handle);                                                                        \
        if (!joint || !value)                                                                                      \
            return 0;                                                                                              \
        *value = joint->Field;                                                                                     \
        return 1;                                                                                                  \
    }

#define QE_JOINT_FLOAT(Name, Field)                                                                                \
    extern "C" QE_API int QE_XPhJointSet##Name(QE_XPhJoint* handle, float value)                                  \
    {                                                                                                              \
        TZevJoint* joint = QEJoint(handle);                                                                        \
        if (!joint)                                                                                                \
            return 0;                                                                                              \
        joint->Field = value;                                                                                      \
        return 1;                                                                                                  \
    }                                                                                                              \
    QE_JOINT_FLOAT_GET(Name, Field)

QE_JOINT_FLOAT(Torque, Torque)
QE_JOINT_FLOAT(Torque2, Torque2)
QE_JOINT_FLOAT(RotationalDamper, RotationalDamper)
QE_JOINT_FLOAT(RotationalDamper2, RotationalDamper2)
QE_JOINT_FLOAT(StaticFrictionCoeff, StaticFrictionCoeff)
QE_JOINT_FLOAT(StaticFrictionCoeff2, StaticFrictionCoeff2)
QE_JOINT_FLOAT(DynamicFrictionCoeff, DynamicFrictionCoeff)
QE_JOINT_FLOAT(DynamicFrictionCoeff2, DynamicFrictionCoeff2)
QE_JOINT_FLOAT(Brake, Brake)
QE_JOINT_FLOAT(Brake2, Brake2)
QE_JOINT_FLOAT(MaxTheta, MaxTheta)
QE_JOINT_FLOAT(MaxTheta2, MaxTheta2)
QE_JOINT_FLOAT(MinTheta, MinTheta)
QE_JOINT_FLOAT(MinTheta2, MinTheta2)
QE_JOINT_FLOAT_GET(Theta, Theta)
QE_JOINT_FLOAT_GET(Theta2, Theta2)
QE_JOINT_FLOAT_GET(DTheta, DTheta)
QE_JOINT_FLOAT_GET(DTheta2, DTheta2)

extern "C" QE_API int QE_XPhJointSetAxisCount(QE_XPhJoint* handle, int count)
{
    TZevJoint* joint = QEJoint(handle);
    if (!joint)
        return 0;
    joint->AxisCount = count;
    return 1;
}

extern "C" QE_API int QE_XPhJointGetAxisCount(QE_XPhJoint* handle, int* count)
{
    TZevJoint* joint = QEJoint(handle);
    if (!joint || !count)
        return 0;
    *count = joint->AxisCount;
    return 1;
}

// ---- Joint-wide settings ---------------------------------------------------------------------------------------

namespace {

// Runs `change` on the live joint of `handle` inside QEGuard: 0 for a dead handle, 1 once changed.
template <class F> int WithJoint(QE_XPhJoint* handle, F&& change)
{
    return QEGuard(0, [&] {
        TZevJoint* joint = QEJoint(handle);
        if (!joint)
            return 0;
        change(joint);
        return 1;
    });
}

void SetJointSpring(TZevJoint* joint, float k)
{
    joint->LinkSpring = k;
    for (TZevRigidLink* link : joint->Links) {
        if (link)
            link->Spring = k;
    }
}

void SetJointDamper(TZevJoint* joint, float d)
{
    joint->LinkDamper = d;
    for (TZevRigidLink* link : joint->Links) {
        if (link)
            link->Damper = d;
    }
}

// The limit (tolerated length error) of the links whose bits are set in `mask` (bit 0 = link 1).
void SetLinkLimits(TZevJoint* joint, unsigned mask, float limit)
{
    for (int k = 0; k < 5; ++k) {
        if ((mask >> k & 1u) && joint->Links[k])
            joint->Links[k]->Tolerance = limit;
    }
}

// Spring, damper and size from the masses of the two bodies and the step. False, changing nothing, when a mass,
// the step or the world's satisfy scale would make the formulas divide by zero or give no finite value.
bool GuessJointParam(TZevJoint* joint)
{
    auto* a = dynamic_cast<TZevPhscs2RigidBody*>(joint->ObjectA());
    auto* b = dynamic_cast<TZevPhscs2RigidBody*>(joint->ObjectB());
    if (!a || !b || !StepSizePtr || !CurrentWorld)
        return false;
    const float mA = a->Mass, mB = b->Mass, dt = *StepSizePtr;
    const float scale = CurrentWorld->CollisionSatisfyCoefficientScale;
    if (!(mA > 0.0f) || !(mB > 0.0f) || !(dt > 0.0f) || scale == 0.0f)
        return false;
    const float k = mA * mB / ((mA + mB) * dt * dt);
    const float iA = (a->Inertia.m[0] + a->Inertia.m[4] + a->Inertia.m[8]) / 3.0f;
    const float iB = (b->Inertia.m[0] + b->Inertia.m[4] + b->Inertia.m[8]) / 3.0f;
    const float rA = joint->PivotA.Length(), rB = joint->PivotB.Length();
    const float jA = mA * rA * rA + iA;
    const float jB = mB * rB * rB + iB;
    const float r = std::sqrt(jA * jB / ((jA + jB) * (0.4f * k) * dt * dt));
    const float spring = k / scale / 5.0f;
    const float damper = spring / 10.0f;
    if (!std::isfinite(r) || !std::isfinite(spring))
        return false;
    SetJointSpring(joint, spring);
    SetJointDamper(joint, damper);
    joint->Size = r / 2.0f;
    return true;
}

} // namespace

extern "C" QE_API int QE_XPhBodyJointSpringCoeff(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetJointSpring(joint, value); });
}

extern "C" QE_API float QE_XPhBodyJointGetSpringCoeff(QE_XPhJoint* handle)
{
    return QEGuard(0.0f, [&] {
        TZevJoint* joint = QEJoint(handle);
        return joint && joint->Links[0] ? joint->Links[0]->Spring : 0.0f;
    });
}

extern "C" QE_API int QE_XPhBodyJointSpringDamper(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetJointDamper(joint, value); });
}

// Links 1, 2 and 5: the points on the first axis and the anchor.
extern "C" QE_API int QE_XPhBodyJointAxisSpringLimit(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetLinkLimits(joint, 0x13u, value); });
}

// Links 3 and 4: the points on the second axis.
extern "C" QE_API int QE_XPhBodyJointTorqueSpringLimit(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetLinkLimits(joint, 0x0Cu, value); });
}

extern "C" QE_API int QE_XPhBodyJointLimitFlag(QE_XPhJoint* handle, int on)
{
    return WithJoint(handle, [&](TZevJoint* joint) { joint->LimitFlag = on ? 0 : 1; });
}

extern "C" QE_API int QE_XPhBodyJointLimitFlag2(QE_XPhJoint* handle, int on)
{
    return WithJoint(handle, [&](TZevJoint* joint) { joint->LimitFlag2 = on ? 0 : 1; });
}

extern "C" QE_API int QE_XPhBodyJointGuessParam(QE_XPhJoint* handle)
{
    return QEGuard(0, [&] {
        TZevJoint* joint = QEJoint(handle);
        if (!joint || !GuessJointParam(joint))
            return 0;
        SetLinkLimits(joint, 0x01u, joint->Size * 0.01f);
        SetLinkLimits(joint, 0x1Eu, joint->Size * 0.05f);
        return 1;
    });
}

// ---- Body tree and world membership -----------------------------------------------------------------------------

TZevGameChara* QEAsBody(TZevCollisionNode* tree)
{
    return tree ? dynamic_cast<TZevGameChara*>(tree) : nullptr;
}

// Out of the parent body (a joint goes with the attachment) and out of the frame tree; then parked in its world,
// which keeps it (and destroys it with itself) without simulating it.
void QEBodyLeaveWorld(TZevCollisionMeshObj* body)
{
    body->LeaveParent();
    if (body->space)
        body->Unlink();
    // A body in no tree at all stays a live handle.
    if (!body->Parent())
        if (TZevGameChara* chara = QEAsBody(body))
            QEKeepLooseBody(chara);
}

// The world's AddBody moves the tree between its roots; the frame is hung under the root frame afterwards.
void QEBodyEnterWorld(TZevCollisionMeshObj* body)
{
    body->LeaveParent();
    if (CurrentWorld)
        CurrentWorld->AddBody(body);
    if (body->visualFrame && RootFrame)
        RootFrame->AddChild(body->visualFrame);
}

TZevGameChara* QETopBody(TZevGameChara* body)
{
    while (TZevGameChara* up = QEAsBody(body->Parent()))
        body = up;
    return body;
}

namespace {

// The bodies of a joint: the parent adopts the child and joins their parts; the whole tree is then taken into the
// world again so that the world knows the new joint. A joint that cannot be made (an axis of zero length, a second
// axis along the first, a child that shares the parent's part, a child above the parent) leaves no attachment.
TZevJoint* AddJointChild(TZevGameChara* parent, TZevGameChara* child, const TZevVector& anchor,
                         const TZevVector& axis1, const TZevVector& axis2, float size)
{
    if (parent == child || !std::isfinite(size))
        return nullptr;
    for (TZevGameChara* p = parent; p; p = QEAsBody(p->Parent())) {
        if (p == child)
            return nullptr;
    }
    const bool wasChild = child->Parent() == parent;
    TZevJointSettings settings;
    settings.Pivot = anchor;
    settings.Axis = axis1;
    settings.Reference = axis2;
    settings.Size = size;
    TZevJoint* joint = parent->AttachChildByJointHere(child, settings);
    if (!joint) {
        if (!wasChild && child->Parent() == parent) {
            QEBodyLeaveWorld(child);
            QEBodyEnterWorld(child);
        }
        return nullptr;
    }
    TZevGameChara* top = QETopBody(parent);
    QEBodyLeaveWorld(top);
    QEBodyEnterWorld(top);
    return joint;
}

bool AddFixedChild(TZevGameChara* parent, TZevGameChara* child)
{
    if (parent == child)
        return false;
    for (TZevGameChara* p = parent; p; p = QEAsBody(p->Parent())) {
        if (p == child)
            return false;
    }
    // The child keeps its place in the world. Its new matrix is read against the parent's world matrix (the
    // parent may hang from another body, whose own matrix is relative), and it is settled there at once: a parent
    // moved before the next step carries its children along from their previous matrices.
    TZevMatrix inverse, relative;
    if (!ZevMatInverse(inverse, parent->worldMatrix))
        return false;
    ZevMatMultiply(relative, child->worldMatrix, inverse);
    child->SetMatrix(relative);
    parent->MoveToParent(child);
    if (child->Parent() != parent)
        return false;
    child->AdvanceStep(0.0f);
    child->AdvanceStep(0.0f);
    child->ClearContactHit();
    return true;
}

} // namespace

extern "C" QE_API QE_XPhJoint* QE_XPhBodyAddJointChild(QE_XPhBody* parentHandle, QE_XPhBody* childHandle,
                                                       const float* anchor3, const float* axis1, const float* axis2,
                                                       float size)
{
    return QEGuard<QE_XPhJoint*>(nullptr, [&]() -> QE_XPhJoint* {
        TZevGameChara* parent = QEBody(parentHandle);
        TZevGameChara* child = QEBody(childHandle);
        if (!QEWorldReady() || !parent || !child || !anchor3 || !axis1 || !axis2)
            return nullptr;
        TZevJoint* joint = AddJointChild(parent, child, TZevVector(anchor3[0], anchor3[1], anchor3[2]),
                                         TZevVector(axis1[0], axis1[1], axis1[2]),
                                         TZevVector(axis2[0], axis2[1], axis2[2]), size);
        return QEJointHandle(joint);
    });
}

extern "C" QE_API int QE_XPhBodyAddFixedChild(QE_XPhBody* parentHandle, QE_XPhBody* childHandle)
{
    return QEGuard(0, [&] {
        TZevGameChara* parent = QEBody(parentHandle);
        TZevGameChara* child = QEBody(childHandle);
        if (!QEWorldReady() || !parent || !child)
            return 0;
        return AddFixedChild(parent, child) ? 1 : 0;
    });
}

namespace {

// A body that leaves its parent stays where it is, moving as it moved. A fixed child was carried by its parent's
// part, and its own part still stands where the child was attached: it takes the child's place and the motion of
// that point of the carrying part.
void RemoveChild(TZevGameChara* body)
{
    const TZevPhscs2RigidBody* carrier = body->MainPart != body->RigidPart ? body->MainPart : nullptr;
    const TZevMatrix world = body->worldMatrix;
    TZevVector velocity, spin;
    if (carrier) {
        spin = carrier->AngularVelocity;
        const TZevVector at(world.m[12], world.m[13], world.m[14]);
        velocity = Plus(carrier->Velocity, Cross(spin, Minus(at, carrier->GetPosition())));
    }
    QEBodyLeaveWorld(body);
    if (carrier) {
        body->SetMatrixValues(world);
        TZevPhscs2RigidBody* own = body->RigidPart;
        own->Velocity = own->PrevVelocity = velocity;
        own->AngularVelocity = own->PrevAngularVelocity = spin;
    }
    QEBodyEnterWorld(body);
}

} // namespace

extern "C" QE_API int QE_XPhBodyRemoveChild(QE_XPhBody* handle)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!QEWorldReady() || !body)
            return 0;
        RemoveChild(body);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyRemoveFromWorld(QE_XPhBody* handle)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!QEWorldReady() || !body)
            return 0;
        QEBodyLeaveWorld(body);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyAddToWorld(QE_XPhBody* handle)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!QEWorldReady() || !body)
            return 0;
        QEBodyEnterWorld(body);
        return 1;
    });
}

namespace {

// The first character among the trees from `tree` on (along the siblings), or null.
TZevGameChara* NextBodyFrom(TZevCTree* tree)
{
    for (; tree; tree = tree->NextSiblingTree()) {
        if (TZevGameChara* body = QEAsBody(tree))
            return body;
    }
    return nullptr;
}

TZevGameChara* ChildOf(TZevGameChara* body)
{
    return NextBodyFrom(body->FirstChildTree());
}

// Null for a top-level body: its parent is the world's root node.
TZevGameChara* ParentOf(TZevGameChara* body)
{
    return QEAsBody(body->Parent());
}

// Null at the end of the ring, without wrapping round, and for a body without a parent.
TZevGameChara* JuniorOf(TZevGameChara* body)
{
    return body->Parent() ? NextBodyFrom(body->NextSiblingTree()) : nullptr;
}

TZevGameChara* SeniorOf(TZevGameChara* body)
{
    TZevCollisionNode* parent = body->Parent();
    if (!parent)
        return nullptr;
    for (TZevOwnerListLink* p = body->prev; p != parent->End(); p = p->prev) {
        if (TZevGameChara* found = QEAsBody(static_cast<TZevCollisionNode*>(p)))
            return found;
    }
    return nullptr;
}

template <TZevGameChara* (*Walk)(TZevGameChara*)> QE_XPhBody* Navigate(QE_XPhBody* handle)
{
    return QEGuard<QE_XPhBody*>(nullptr, [&]() -> QE_XPhBody* {
        TZevGameChara* body = QEBody(handle);
        return body ? QEBodyHandle(Walk(body)) : nullptr;
    });
}

} // namespace

extern "C" QE_API QE_XPhBody* QE_XPhBodyGetChild(QE_XPhBody* body)
{
    return Navigate<ChildOf>(body);
}

extern "C" QE_API QE_XPhBody* QE_XPhBodyGetParent(QE_XPhBody* body)
{
    return Navigate<ParentOf>(body);
}

extern "C" QE_API QE_XPhBody* QE_XPhBodyGetJuniorNoLoop(QE_XPhBody* body)
{
    return Navigate<JuniorOf>(body);
}

extern "C" QE_API QE_XPhBody* QE_XPhBodyGetSeniorNoLoop(QE_XPhBody* body)
{
    return Navigate<SeniorOf>(body);
}

extern "C" QE_API QE_XPhJoint* QE_XPhBodyGetCurrentJoint(QE_XPhBody* handle)
{
    return QEGuard<QE_XPhJoint*>(nullptr, [&]() -> QE_XPhJoint* {
        TZevGameChara* body = QEBody(handle);
        return body ? QEJointHandle(body->ParentJoint) : nullptr;
    });
}

// ---- Builtins --------------------------------------------------------------------------------------------------

namespace {

bool gRegistered = false;

// The live joint of a script joint wrapper, or null.
TZevJoint* ScriptJoint(TZevLSObj* object)
{
    TZevLispXPhJoint* wrapper = QEScriptJointWrapper(object);
    return wrapper ? QEJoint(reinterpret_cast<QE_XPhJoint*>(wrapper->Joint)) : nullptr;
}

inline QE_XPhJoint* Handle(TZevJoint* joint)
{
    return reinterpret_cast<QE_XPhJoint*>(joint);
}

void XPhBodyAddJointChild(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj *p = nullptr, *c = nullptr;
    float v[9];
    double size = 0;
    if (!LispParseArgs(interp, &args, "oo(fff)(fff)(fff)f", &p, &c, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                       &v[7], &v[8], &size)) {
        result = interp->ArgError;
        return;
    }
    TZevGameChara* parent = QEScriptBody(p);
    TZevGameChara* child = QEScriptBody(c);
    if (!QEWorldReady() || !parent || !child) {
        result = Nil;
        return;
    }
    TZevJoint* joint = AddJointChild(parent, child, TZevVector(v[0], v[1], v[2]), TZevVector(v[3], v[4], v[5]),
                                     TZevVector(v[6], v[7], v[8]), static_cast<float>(size));
    if (!joint) {
        result = Nil;
        return;
    }
    QEJointHandle(joint);
    QEWrapJoint(result, joint);
}

void XPhBodyAddFixedChild(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj *p = nullptr, *c = nullptr;
    if (!LispParseArgs(interp, &args, "oo", &p, &c)) {
        result = interp->ArgError;
        return;
    }
    TZevGameChara* parent = QEScriptBody(p);
    TZevGameChara* child = QEScriptBody(c);
    result = QEWorldReady() && parent && child && AddFixedChild(parent, child) ? T : Nil;
}

// A builtin of one body argument over the export of the same operation.
template <int (*Export)(QE_XPhBody*)> void BodyAction(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevGameChara* body = QEParseBody(result, interp, args, "o");
    if (body && Export(QEBodyHandle(body)))
        result = T;
}

template <TZevGameChara* (*Walk)(TZevGameChara*)>
void BodyNavigation(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevGameChara* body = QEParseBody(result, interp, args, "o");
    TZevGameChara* found = body ? Walk(body) : nullptr;
    if (!found)
        return; // nil, or the argument error
    GetXPhBodyLispObj(result, found);
    if (result.IsNull())
        result = Nil;
}

template <int (*Export)(QE_XPhJoint*, float)>
void JointSetFloat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    double value = 0;
    if (!LispParseArgs(interp, &args, "of", &o, &value)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    result = QEWorldReady() && joint && Export(Handle(joint), static_cast<float>(value)) ? T : Nil;
}

// The script forms of the two limit setters choose other links than the exports: link 1 only, and links 2 to 5.
int ScriptAxisSpringLimit(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetLinkLimits(joint, 0x01u, value); });
}

int ScriptTorqueSpringLimit(QE_XPhJoint* handle, float value)
{
    return WithJoint(handle, [&](TZevJoint* joint) { SetLinkLimits(joint, 0x1Eu, value); });
}

template <int (*Export)(QE_XPhJoint*, float*)>
void JointGetFloat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    if (!LispParseArgs(interp, &args, "o", &o)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    float value = 0.0f;
    if (!QEWorldReady() || !joint || !Export(Handle(joint), &value)) {
        result = Nil;
        return;
    }
    result = LispMakeResult(interp, "f", value);
}

void XPhJointSetAxisCount(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    std::int32_t count = 0;
    if (!LispParseArgs(interp, &args, "oi", &o, &count)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    result = QEWorldReady() && joint && QE_XPhJointSetAxisCount(Handle(joint), count) ? T : Nil;
}

void XPhJointGetAxisCount(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    if (!LispParseArgs(interp, &args, "o", &o)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    if (!QEWorldReady() || !joint) {
        result = Nil;
        return;
    }
    result = LispMakeResult(interp, "i", joint->AxisCount);
}

template <int (*Export)(QE_XPhJoint*, int)>
void JointLimitFlag(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    TZevLispRef on;
    if (!LispParseArgs(interp, &args, "ol", &o, &on)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    result = QEWorldReady() && joint && Export(Handle(joint), LispIsTrue(on) ? 1 : 0) ? T : Nil;
}

void XPhBodyJointGuessParam(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    if (!LispParseArgs(interp, &args, "o", &o)) {
        result = interp->ArgError;
        return;
    }
    TZevJoint* joint = ScriptJoint(o);
    // The script form leaves every link the same limit; only the export holds the first link tighter.
    const bool done = QEWorldReady() && joint && QE_XPhBodyJointGuessParam(Handle(joint));
    if (done)
        SetLinkLimits(joint, 0x1Fu, joint->Size * 0.05f);
    result = done ? T : Nil;
}

} // namespace

void ZevEngineRegisterJoints()
{
    if (gRegistered)
        return;
    gRegistered = true;
    LispRegisterBuiltin(XPhBodyAddJointChild, "XPhBodyAddJointChild");
    LispRegisterBuiltin(XPhBodyAddFixedChild, "XPhBodyAddFixedChild");
    LispRegisterBuiltin(BodyAction<QE_XPhBodyRemoveChild>, "XPhBodyRemoveChild");
    LispRegisterBuiltin(BodyAction<QE_XPhBodyRemoveFromWorld>, "XPhBodyRemoveFromWorld");
    LispRegisterBuiltin(BodyAction<QE_XPhBodyAddToWorld>, "XPhBodyAddToWorld");
    LispRegisterBuiltin(BodyNavigation<ChildOf>, "XPhBodyGetChild");
    LispRegisterBuiltin(BodyNavigation<ParentOf>, "XPhBodyGetParent");
    LispRegisterBuiltin(BodyNavigation<JuniorOf>, "XPhBodyGetJuniorNoLoop");
    LispRegisterBuiltin(BodyNavigation<SeniorOf>, "XPhBodyGetSeniorNoLoop");

    LispRegisterBuiltin(JointSetFloat<QE_XPhJointSetTorque>, "XPhJointSetTorque");
    LispRegisterBuiltin(JointSetFloat<QE_XPhJointSetTorque2>, "XPhJointSetTorque2");
#define QE_JOINT_BUILTINS(Name)                                                                                    \
    LispRegisterBuiltin(JointSetFloat<QE_XPhJointSet##Name>, "XPhJointSet" #Name);                                 \
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGet##Name>, "XPhJointGet" #Name);                                 \
    LispRegisterBuiltin(JointSetFloat<QE_XPhJointSet##Name##2>, "XPhJointSet" #Name "2");                          \
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGet##Name##2>, "XPhJointGet" #Name "2");
    QE_JOINT_BUILTINS(RotationalDamper)
    QE_JOINT_BUILTINS(StaticFrictionCoeff)
    QE_JOINT_BUILTINS(DynamicFrictionCoeff)
    QE_JOINT_BUILTINS(Brake)
    QE_JOINT_BUILTINS(MaxTheta)
    QE_JOINT_BUILTINS(MinTheta)
#undef QE_JOINT_BUILTINS
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGetTheta>, "XPhJointGetTheta");
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGetTheta2>, "XPhJointGetTheta2");
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGetDTheta>, "XPhJointGetDTheta");
    LispRegisterBuiltin(JointGetFloat<QE_XPhJointGetDTheta2>, "XPhJointGetDTheta2");
    LispRegisterBuiltin(XPhJointSetAxisCount, "XPhJointSetAxisCount");
    LispRegisterBuiltin(XPhJointGetAxisCount, "XPhJointGetAxisCount");

    LispRegisterBuiltin(JointSetFloat<QE_XPhBodyJointSpringCoeff>, "XPhBodyJointSpringCoeff");
    LispRegisterBuiltin(JointSetFloat<QE_XPhBodyJointSpringDamper>, "XPhBodyJointSpringDamper");
    LispRegisterBuiltin(JointSetFloat<ScriptAxisSpringLimit>, "XPhBodyJointAxisSpringLimit");
    LispRegisterBuiltin(JointSetFloat<ScriptTorqueSpringLimit>, "XPhBodyJointTorqueSpringLimit");
    LispRegisterBuiltin(JointLimitFlag<QE_XPhBodyJointLimitFlag>, "XPhBodyJointLimitFlag");
    LispRegisterBuiltin(JointLimitFlag<QE_XPhBodyJointLimitFlag2>, "XPhBodyJointLimitFlag2");
    LispRegisterBuiltin(XPhBodyJointGuessParam, "XPhBodyJointGuessParam");
}
