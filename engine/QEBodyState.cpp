#include "QEBodyState.h"

#include "LispArgs.h"
#include "QEContext.h"
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"

#include <cmath>
#include <cstdint>

// ---- Shared helpers -----------------------------------------------------------------------------------------

TZevMatrix QEMatrixFromRows(const float rows[12])
{
    TZevMatrix m;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            m.m[r * 4 + c] = rows[r * 3 + c];
        m.m[r * 4 + 3] = r == 3 ? 1.0f : 0.0f;
    }
    return m;
}

bool QEParseObjectMatrix(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevLSObj** object,
                         TZevMatrix* matrix)
{
    float r[12];
    if (!LispParseArgs(interp, &args, "o((fff)(fff)(fff)(fff))", object, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5],
                       &r[6], &r[7], &r[8], &r[9], &r[10], &r[11])) {
        result = interp->ArgError;
        return false;
    }
    *matrix = QEMatrixFromRows(r);
    return true;
}

TZevLispRef QEMatrixResult(TZevLispInterpreter* interp, const TZevMatrix& m)
{
    const float* e = m.m;
    return LispMakeResult(interp, "(fff)(fff)(fff)(fff)", e[0], e[1], e[2], e[4], e[5], e[6], e[8], e[9], e[10],
                          e[12], e[13], e[14]);
}

void QEWriteMatrix(float* out, const TZevMatrix& m)
{
    for (int i = 0; i < 16; ++i)
        out[i] = m.m[i];
    out[3] = out[7] = out[11] = 0.0f;
    out[15] = 1.0f;
}

void QEReseatBodyWith(TZevGameChara* body, void (*change)(TZevGameChara*, void*), void* argument)
{
    // The whole tree of bodies leaves the world from its top (its links go, its attachments stay) and comes back,
    // so that the world takes in whatever changed below.
    TZevGameChara* top = body;
    while (TZevGameChara* up = dynamic_cast<TZevGameChara*>(top->ParentTree()))
        top = up;
    TZevPhscs2World* world = ZevBodyWorld(top);
    const bool inWorld = world && top->ParentTree() == world->activeRoot;
    TZevVTree* frameParent = top->visualFrame ? top->visualFrame->GetParent() : nullptr;
    if (inWorld)
        top->Unlink();
    change(body, argument);
    body->AdvanceStep(0.0f);
    body->AdvanceStep(0.0f);
    if (!inWorld)
        return;
    world->AddBody(top);
    if (frameParent && top->visualFrame && !top->visualFrame->GetParent())
        frameParent->AddChild(top->visualFrame);
}

namespace {

TZevVector Vec(const float* v) { return TZevVector(v[0], v[1], v[2]); }

void Put(float* out, const TZevVector& v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

void Add(TZevVector& to, const TZevVector& v)
{
    to.x += v.x;
    to.y += v.y;
    to.z += v.z;
}

// Force at a point in world coordinates: the force, and its moment about the centre of the body's part.
void AddForceAt(TZevGameChara* body, const TZevVector& point, const TZevVector& force)
{
    TZevVector arm, torque;
    ZevVecSub(arm, point, body->MainPart->GetPosition());
    ZevVecCross(torque, arm, force);
    Add(body->ForceAccumulator, force);
    Add(body->TorqueAccumulator, torque);
}

void SetPhysicsMode(TZevGameChara* body, std::int32_t mode) { body->SetFixedTree(mode == 0 ? 1 : 0); }

TZevMaterial MaterialOf(const TZevGameChara* body)
{
    return body->visualMesh ? body->visualMesh->Material : DefaultMaterial;
}

void SetMaterialTree(TZevGameChara* body, const TZevMaterial& material) { SetVisualMaterialTree(body, material); }

// Each body ignores the other (enable false) or collides with it again.
void EnablePair(TZevGameChara* a, TZevGameChara* b, bool enable)
{
    while (a->NoCollisionList.Remove(b)) {
    }
    while (b->NoCollisionList.Remove(a)) {
    }
    if (!enable && a != b) {
        a->NoCollisionList.Add(b);
        b->NoCollisionList.Add(a);
    }
}

void PutInertia(const TZevMatrix3& t, float* m00, float* m01, float* m02, float* m10, float* m11, float* m12,
                float* m20, float* m21, float* m22)
{
    float* out[9] = {m00, m01, m02, m10, m11, m12, m20, m21, m22};
    for (int i = 0; i < 9; ++i)
        *out[i] = t.m[i];
}

bool AllSet(std::initializer_list<const void*> pointers)
{
    for (const void* p : pointers) {
        if (!p)
            return false;
    }
    return true;
}

// Whether the key is down in the published key table; a code outside the table is never down.
bool KeyDown(std::int32_t key)
{
    return KeyStateTable && key >= 0 && key <= 255 && KeyStateTable[key] != 0;
}

} // namespace

// ---- Exports ------------------------------------------------------------------------------------------------

// The body of a handle, and the action on it: 1 when it acted, 0 for a null or stale handle.
template <class F> static int WithBody(QE_XPhBody* handle, F&& action)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        return body ? action(body) : 0;
    });
}

extern "C" QE_API int QE_SetXPhBodyPhysicsMode(QE_XPhBody* handle, int mode)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        SetPhysicsMode(body, mode);
        return 1;
    });
}

extern "C" QE_API int QE_GetXPhBodyPhysicsMode(QE_XPhBody* handle, int* flag)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!flag)
            return 0;
        *flag = body->IsFixed();
        return 1;
    });
}

extern "C" QE_API int QE_SetXPhBodyMat(QE_XPhBody* handle, const float* matrix16)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!matrix16)
            return 0;
        const TZevMatrix m(matrix16);
        QEReseatBody(body, [&](TZevGameChara* b) { b->SetMatrixValues(m); });
        return 1;
    });
}

extern "C" QE_API int QE_GetXPhBodyMat(QE_XPhBody* handle, float* matrix16)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!matrix16)
            return 0;
        QEWriteMatrix(matrix16, body->GetMatrix());
        return 1;
    });
}

extern "C" QE_API int QE_GetXPhBodyGMat(QE_XPhBody* handle, float* matrix16)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!matrix16)
            return 0;
        QEWriteMatrix(matrix16, body->worldMatrix);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetVisualMaterial(QE_XPhBody* handle, const float* diffuse4, const float* ambient4,
                                                  const float* specular4, float power)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!AllSet({diffuse4, ambient4, specular4}))
            return 0;
        TZevMaterial material;
        for (int i = 0; i < 4; ++i) {
            material.Diffuse[i] = diffuse4[i];
            material.Ambient[i] = ambient4[i];
            material.Specular[i] = specular4[i];
        }
        material.Power = power;
        SetMaterialTree(body, material);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetVisualMaterial(QE_XPhBody* handle, float* diffuse4, float* ambient4,
                                                  float* specular4, float* power)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!AllSet({diffuse4, ambient4, specular4, power}))
            return 0;
        // Without a visual mesh the host still gets a material it can draw with.
        const TZevMaterial material = MaterialOf(body);
        for (int i = 0; i < 4; ++i) {
            diffuse4[i] = material.Diffuse[i];
            ambient4[i] = material.Ambient[i];
            specular4[i] = material.Specular[i];
        }
        *power = material.Power;
        return body->visualMesh ? 1 : 0;
    });
}

extern "C" QE_API int QE_XPhBodyAddForce(QE_XPhBody* handle, const float* point3, const float* force3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!point3 || !force3 || !body->MainPart)
            return 0;
        AddForceAt(body, Vec(point3), Vec(force3));
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyAddLinearForce(QE_XPhBody* handle, const float* force3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!force3 || !body->MainPart)
            return 0;
        Add(body->ForceAccumulator, Vec(force3));
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyAddAngularForce(QE_XPhBody* handle, const float* torque3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!torque3 || !body->MainPart)
            return 0;
        Add(body->TorqueAccumulator, Vec(torque3));
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetVelocity(QE_XPhBody* handle, float* velocity3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!velocity3 || !body->MainPart)
            return 0;
        Put(velocity3, body->MainPart->Velocity);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetVelocity(QE_XPhBody* handle, const float* velocity3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!velocity3 || !body->MainPart)
            return 0;
        body->MainPart->Velocity = body->MainPart->PrevVelocity = Vec(velocity3);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetAVelocity(QE_XPhBody* handle, float* velocity3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!velocity3 || !body->MainPart)
            return 0;
        Put(velocity3, body->MainPart->AngularVelocity);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetAVelocity(QE_XPhBody* handle, const float* velocity3)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!velocity3 || !body->MainPart)
            return 0;
        body->MainPart->AngularVelocity = body->MainPart->PrevAngularVelocity = Vec(velocity3);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetKeyState(int keyCode)
{
    return KeyDown(keyCode) ? 1 : 0;
}

extern "C" QE_API int QE_XPhBodySetMass(QE_XPhBody* handle, float mass)
{
    return WithBody(handle, [&](TZevGameChara* body) { return body->RigidPart->SetMass(mass) ? 1 : 0; });
}

extern "C" QE_API int QE_XPhBodyGetMass(QE_XPhBody* handle, float* mass)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!mass)
            return 0;
        *mass = body->RigidPart->Mass;
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetInertiaTensor(QE_XPhBody* handle, float m00, float m01, float m02, float m10,
                                                 float m11, float m12, float m20, float m21, float m22)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        return body->RigidPart->SetInertia(TZevMatrix3(m00, m01, m02, m10, m11, m12, m20, m21, m22)) ? 1 : 0;
    });
}

extern "C" QE_API int QE_XPhBodyGetInertiaTensor(QE_XPhBody* handle, float* m00, float* m01, float* m02,
                                                 float* m10, float* m11, float* m12, float* m20, float* m21,
                                                 float* m22)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!AllSet({m00, m01, m02, m10, m11, m12, m20, m21, m22}))
            return 0;
        PutInertia(body->RigidPart->Inertia, m00, m01, m02, m10, m11, m12, m20, m21, m22);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetInertiaTensorFromAABB(QE_XPhBody* handle, float* m00, float* m01, float* m02,
                                                         float* m10, float* m11, float* m12, float* m20,
                                                         float* m21, float* m22)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!AllSet({m00, m01, m02, m10, m11, m12, m20, m21, m22}))
            return 0;
        PutInertia(QEBoxInertia(body, body->RigidPart->Mass), m00, m01, m02, m10, m11, m12, m20, m21, m22);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetAABB(QE_XPhBody* handle, float* minX, float* minY, float* minZ, float* maxX,
                                        float* maxY, float* maxZ)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!AllSet({minX, minY, minZ, maxX, maxY, maxZ}))
            return 0;
        const TZevNodeBox& box = body->box;
        *minX = box.Min.x;
        *minY = box.Min.y;
        *minZ = box.Min.z;
        *maxX = box.Max.x;
        *maxY = box.Max.y;
        *maxZ = box.Max.z;
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetSameCGroupEachChild(QE_XPhBody* handle)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        SetSameCollisionGroupEachChild(body);
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyEnableCollisionPair(QE_XPhBody* a, QE_XPhBody* b, int enable)
{
    return QEGuard(0, [&] {
        TZevGameChara* bodyA = QEBody(a);
        TZevGameChara* bodyB = QEBody(b);
        if (!bodyA || !bodyB)
            return 0;
        EnablePair(bodyA, bodyB, enable != 0);
        return 1;
    });
}

// The two air-resistance coefficients: linear and quadratic damping of the body's motion.
extern "C" QE_API int QE_XPhBodySetEAirRegistance1(QE_XPhBody* handle, float value)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        body->LinearDamping = value;
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodySetEAirRegistance2(QE_XPhBody* handle, float value)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        body->QuadraticDamping = value;
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetEAirRegistance1(QE_XPhBody* handle, float* value)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!value)
            return 0;
        *value = body->LinearDamping;
        return 1;
    });
}

extern "C" QE_API int QE_XPhBodyGetEAirRegistance2(QE_XPhBody* handle, float* value)
{
    return WithBody(handle, [&](TZevGameChara* body) {
        if (!value)
            return 0;
        *value = body->QuadraticDamping;
        return 1;
    });
}

// ---- Builtins -----------------------------------------------------------------------------------------------

namespace {

#define QE_BUILTIN(Name) void Name(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)

QE_BUILTIN(SetXPhBodyPhysicsMode)
{
    std::int32_t mode = 0;
    TZevGameChara* body = QEParseBody(result, interp, args, "oi", &mode);
    if (!body)
        return;
    // A script body is made fixed only; with a fixed part of its own, below which nothing shares it.
    if (mode == 0) {
        SetPhysicsMode(body, 0);
        QEGiveOwnParts(body);
    }
    result = T;
}

// Four rows of three floats after the body.
QE_BUILTIN(SetXPhBodyMat)
{
    float r[12];
    TZevGameChara* body = QEParseBody(result, interp, args, "o((fff)(fff)(fff)(fff))", &r[0], &r[1], &r[2], &r[3],
                                    &r[4], &r[5], &r[6], &r[7], &r[8], &r[9], &r[10], &r[11]);
    if (!body)
        return;
    const TZevMatrix m = QEMatrixFromRows(r);
    QEReseatBody(body, [&](TZevGameChara* b) { b->SetMatrixValues(m); });
    result = T;
}

QE_BUILTIN(MoveToXPhBodyMat)
{
    float r[12];
    TZevGameChara* body = QEParseBody(result, interp, args, "o((fff)(fff)(fff)(fff))", &r[0], &r[1], &r[2], &r[3],
                                    &r[4], &r[5], &r[6], &r[7], &r[8], &r[9], &r[10], &r[11]);
    if (!body)
        return;
    body->PlaceAt(QEMatrixFromRows(r));
    result = T;
}

QE_BUILTIN(GetXPhBodyMat)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = QEMatrixResult(interp, body->GetMatrix());
}

QE_BUILTIN(GetXPhBodyGMat)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = QEMatrixResult(interp, body->worldMatrix);
}

QE_BUILTIN(XPhBodySetVisualMaterial)
{
    TZevMaterial m;
    TZevGameChara* body = QEParseBody(result, interp, args, "o((ffff)(ffff)(ffff)f)", &m.Diffuse[0], &m.Diffuse[1],
                                    &m.Diffuse[2], &m.Diffuse[3], &m.Ambient[0], &m.Ambient[1], &m.Ambient[2],
                                    &m.Ambient[3], &m.Specular[0], &m.Specular[1], &m.Specular[2], &m.Specular[3],
                                    &m.Power);
    if (!body)
        return;
    SetMaterialTree(body, m);
    result = T;
}

QE_BUILTIN(XPhBodyGetVisualMaterial)
{
    TZevGameChara* body = QEParseBody(result, interp, args, "o");
    if (!body || !body->visualMesh)
        return;
    const TZevMaterial& m = body->visualMesh->Material;
    result = LispMakeResult(interp, "(ffff)(ffff)(ffff)f", m.Diffuse[0], m.Diffuse[1], m.Diffuse[2], m.Diffuse[3],
                            m.Ambient[0], m.Ambient[1], m.Ambient[2], m.Ambient[3], m.Specular[0], m.Specular[1],
                            m.Specular[2], m.Specular[3], m.Power);
}

// The force before the point (the export takes the point first).
QE_BUILTIN(XPhBodyAddForce)
{
    float f[3], p[3];
    TZevGameChara* body =
        QEParseBody(result, interp, args, "o(fff)(fff)", &f[0], &f[1], &f[2], &p[0], &p[1], &p[2]);
    if (!body)
        return;
    AddForceAt(body, Vec(p), Vec(f));
    result = T;
}

QE_BUILTIN(XPhBodyAddLinearForce)
{
    float v[3];
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o(fff)", &v[0], &v[1], &v[2])) {
        Add(body->ForceAccumulator, Vec(v));
        result = T;
    }
}

QE_BUILTIN(XPhBodyAddAngularForce)
{
    float v[3];
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o(fff)", &v[0], &v[1], &v[2])) {
        Add(body->TorqueAccumulator, Vec(v));
        result = T;
    }
}

QE_BUILTIN(XPhBodyGetVelocity)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        const TZevVector& v = body->MainPart->Velocity;
        result = LispMakeResult(interp, "fff", v.x, v.y, v.z);
    }
}

QE_BUILTIN(XPhBodySetVelocity)
{
    float v[3];
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o(fff)", &v[0], &v[1], &v[2])) {
        body->MainPart->Velocity = body->MainPart->PrevVelocity = Vec(v);
        result = T;
    }
}

QE_BUILTIN(XPhBodyGetAVelocity)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        const TZevVector& v = body->MainPart->AngularVelocity;
        result = LispMakeResult(interp, "fff", v.x, v.y, v.z);
    }
}

QE_BUILTIN(XPhBodySetAVelocity)
{
    float v[3];
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o(fff)", &v[0], &v[1], &v[2])) {
        body->MainPart->AngularVelocity = body->MainPart->PrevAngularVelocity = Vec(v);
        result = T;
    }
}

QE_BUILTIN(XPhBodySetMainChara)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        if (MainCharaSlot)
            *MainCharaSlot = body;
        result = T;
    }
}

QE_BUILTIN(XPhBodyGetKeyState)
{
    std::int32_t key = 0;
    if (QEParseBody(result, interp, args, "oi", &key))
        result = KeyDown(key) ? T : Nil;
}

QE_BUILTIN(XPhBodySetMass)
{
    float mass = 0.0f;
    if (TZevGameChara* body = QEParseBody(result, interp, args, "of", &mass))
        result = body->RigidPart->SetMass(mass) ? T : Nil;
}

QE_BUILTIN(XPhBodyGetMass)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = LispMakeResult(interp, "f", body->RigidPart->Mass);
}

QE_BUILTIN(XPhBodySetInertiaTensor)
{
    float t[9];
    TZevGameChara* body = QEParseBody(result, interp, args, "o((fff)(fff)(fff))", &t[0], &t[1], &t[2], &t[3], &t[4],
                                    &t[5], &t[6], &t[7], &t[8]);
    if (body)
        result = body->RigidPart->SetInertia(TZevMatrix3(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8])) ? T
                                                                                                           : Nil;
}

TZevLispRef InertiaResult(TZevLispInterpreter* interp, const TZevMatrix3& t)
{
    const float* e = t.m;
    return LispMakeResult(interp, "((fff)(fff)(fff))", e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

QE_BUILTIN(XPhBodyGetInertiaTensor)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = InertiaResult(interp, body->RigidPart->Inertia);
}

QE_BUILTIN(XPhBodyGetInertiaTensorFromAABB)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = InertiaResult(interp, QEBoxInertia(body, body->RigidPart->Mass));
}

QE_BUILTIN(XPhBodyGetAABB)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        const TZevNodeBox& b = body->box;
        result = LispMakeResult(interp, "((fff)(fff))", b.Min.x, b.Min.y, b.Min.z, b.Max.x, b.Max.y, b.Max.z);
    }
}

// Only the first coefficient is reached from scripts.
QE_BUILTIN(XPhBodySetEAirRegistance)
{
    float value = 0.0f;
    if (TZevGameChara* body = QEParseBody(result, interp, args, "of", &value)) {
        body->LinearDamping = value;
        result = T;
    }
}

QE_BUILTIN(XPhBodyGetEAirRegistance)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o"))
        result = LispMakeResult(interp, "f", body->LinearDamping);
}

QE_BUILTIN(XPhBodySetEachChildNoCollision)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        SetEachChildNoCollision(body);
        result = T;
    }
}

QE_BUILTIN(XPhBodySetSameCGroupEachChild)
{
    if (TZevGameChara* body = QEParseBody(result, interp, args, "o")) {
        SetSameCollisionGroupEachChild(body);
        result = T;
    }
}

QE_BUILTIN(XPhBodyEnableCollisionPair)
{
    TZevLSObj* other = nullptr;
    TZevLispRef enable;
    TZevGameChara* body = QEParseBody(result, interp, args, "ool", &other, &enable);
    TZevGameChara* otherBody = QEScriptBody(other);
    if (!body || !otherBody)
        return;
    EnablePair(body, otherBody, LispIsTrue(enable));
    result = T;
}

#undef QE_BUILTIN

bool Registered = false;

} // namespace

void ZevEngineRegisterBodyState()
{
    if (Registered)
        return;
    Registered = true;
    LispRegisterBuiltin(SetXPhBodyPhysicsMode, "SetXPhBodyPhysicsMode");
    LispRegisterBuiltin(SetXPhBodyMat, "SetXPhBodyMat");
    LispRegisterBuiltin(MoveToXPhBodyMat, "MoveToXPhBodyMat");
    LispRegisterBuiltin(GetXPhBodyMat, "GetXPhBodyMat");
    LispRegisterBuiltin(GetXPhBodyGMat, "GetXPhBodyGMat");
    LispRegisterBuiltin(XPhBodySetVisualMaterial, "XPhBodySetVisualMaterial");
    LispRegisterBuiltin(XPhBodyGetVisualMaterial, "XPhBodyGetVisualMaterial");
    LispRegisterBuiltin(XPhBodyAddForce, "XPhBodyAddForce");
    LispRegisterBuiltin(XPhBodyAddLinearForce, "XPhBodyAddLinearForce");
    LispRegisterBuiltin(XPhBodyAddAngularForce, "XPhBodyAddAngularForce");
    LispRegisterBuiltin(XPhBodyGetVelocity, "XPhBodyGetVelocity");
    LispRegisterBuiltin(XPhBodySetVelocity, "XPhBodySetVelocity");
    LispRegisterBuiltin(XPhBodyGetAVelocity, "XPhBodyGetAVelocity");
    LispRegisterBuiltin(XPhBodySetAVelocity, "XPhBodySetAVelocity");
    LispRegisterBuiltin(XPhBodySetEachChildNoCollision, "XPhBodySetEachChildNoCollision");
    LispRegisterBuiltin(XPhBodySetSameCGroupEachChild, "XPhBodySetSameCGroupEachChild");
    LispRegisterBuiltin(XPhBodyEnableCollisionPair, "XPhBodyEnableCollisionPair");
    LispRegisterBuiltin(XPhBodySetMainChara, "XPhBodySetMainChara");
    LispRegisterBuiltin(XPhBodyGetKeyState, "XPhBodyGetKeyState");
    LispRegisterBuiltin(XPhBodySetMass, "XPhBodySetMass");
    LispRegisterBuiltin(XPhBodyGetMass, "XPhBodyGetMass");
    LispRegisterBuiltin(XPhBodySetInertiaTensor, "XPhBodySetInertiaTensor");
    LispRegisterBuiltin(XPhBodyGetInertiaTensor, "XPhBodyGetInertiaTensor");
    LispRegisterBuiltin(XPhBodyGetInertiaTensorFromAABB, "XPhBodyGetInertiaTensorFromAABB");
    LispRegisterBuiltin(XPhBodyGetAABB, "XPhBodyGetAABB");
    LispRegisterBuiltin(XPhBodySetEAirRegistance, "XPhBodySetEAirRegistance");
    LispRegisterBuiltin(XPhBodyGetEAirRegistance, "XPhBodyGetEAirRegistance");
}
