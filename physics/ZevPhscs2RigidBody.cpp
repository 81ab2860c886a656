#include "ZevPhscs2RigidBody.h"

#include "ZevVecInline.h"

#include <cmath>
#include <cstring>

namespace {

// M v for a 3x3 matrix and a column vector.
inline TZevVector Apply(const TZevMatrix3& m, const TZevVector& v)
{
    return TZevVector(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                      m[6] * v.x + m[7] * v.y + m[8] * v.z);
}

inline TZevVector Row(const TZevMatrix& m, int r)
{
    return TZevVector(m[4 * r], m[4 * r + 1], m[4 * r + 2]);
}

inline void SetRow(TZevMatrix& m, int r, const TZevVector& v)
{
    m[4 * r] = v.x;
    m[4 * r + 1] = v.y;
    m[4 * r + 2] = v.z;
}

inline TZevVector Position(const TZevMatrix& m)
{
    return Row(m, 3);
}

inline void SetRotationIdentity(TZevMatrix& m)
{
    SetRow(m, 0, TZevVector(1, 0, 0));
    SetRow(m, 1, TZevVector(0, 1, 0));
    SetRow(m, 2, TZevVector(0, 0, 1));
}

// General 3x3 inverse by cofactors divided by the determinant; false for a singular matrix.
bool Inverse3(const TZevMatrix3& m, TZevMatrix3& inverse)
{
    const float a = m[0], b = m[1], c = m[2];
    const float d = m[3], e = m[4], f = m[5];
    const float g = m[6], h = m[7], i = m[8];
    const float det = a * (e * i - h * f) - b * (d * i - g * f) + c * (h * d - g * e);
    if (!(det != 0.0f) || !std::isfinite(det))
        return false;
    TZevMatrix3 r((e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det, (f * g - d * i) / det,
                  (a * i - c * g) / det, (c * d - a * f) / det, (d * h - e * g) / det, (b * g - a * h) / det,
                  (a * e - b * d) / det);
    for (float v : r.m) {
        if (!std::isfinite(v))
            return false;
    }
    inverse = r;
    return true;
}

// transpose(R) Inertia R with R[k][j] = matrix[4k + j], multiplied left to right.
void WorldInertia(const TZevMatrix& matrix, const TZevMatrix3& inertia, TZevMatrix3& world)
{
    TZevMatrix3 a;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a[3 * i + j] = matrix[i] * inertia[j] + matrix[4 + i] * inertia[3 + j] + matrix[8 + i] * inertia[6 + j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            world[3 * i + j] = a[3 * i] * matrix[j] + a[3 * i + 1] * matrix[4 + j] + a[3 * i + 2] * matrix[8 + j];
}

bool ValidMass(float mass)
{
    return mass > 0.0f && std::isfinite(mass);
}

} // namespace

bool ZevInverseWorldInertia(const TZevMatrix& matrix, const TZevMatrix3& inertia, TZevMatrix3& inverse)
{
    TZevMatrix3 world;
    WorldInertia(matrix, inertia, world);
    if (Inverse3(world, inverse))
        return true;
    inverse = TZevMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0);
    return false;
}

bool ZevOrthonormalize(TZevMatrix& m)
{
    TZevVector r1 = Row(m, 1);
    TZevVector r2 = Row(m, 2);
    const float q = Dot(r2, r2);
    if (!(std::fabs(q) > 1e-9f)) {
        SetRotationIdentity(m);
        return false;
    }
    const float length2 = std::sqrt(q);
    r2 = TZevVector(r2.x / length2, r2.y / length2, r2.z / length2);
    const TZevVector u = Cross(r1, r2);
    const float uu = Dot(u, u);
    if (!(uu > 1e-9f)) {
        SetRotationIdentity(m);
        return false;
    }
    const float lengthU = std::sqrt(uu);
    const TZevVector r0(u.x / lengthU, u.y / lengthU, u.z / lengthU);
    r1 = Cross(r2, r0);
    SetRow(m, 0, r0);
    SetRow(m, 1, r1);
    SetRow(m, 2, r2);
    return true;
}

TZevPhscs2RigidBody::TZevPhscs2RigidBody()
{
    ClassInfo = ZevPhscs2RigidBodyClassInfo();
    Integrable = 1;
}

TZevPhscs2RigidBody::~TZevPhscs2RigidBody()
{
    ReleaseLinks();
}

void TZevPhscs2RigidBody::AddForceAt(const TZevVector& force, const TZevVector& point, float)
{
    Force = Plus(Force, force);
    Torque = Plus(Torque, Cross(Minus(point, Position(Matrix)), force));
}

void TZevPhscs2RigidBody::AddStepForceAt(const TZevVector& force, const TZevVector& point, float)
{
    StepForce = Plus(StepForce, force);
    StepTorque = Plus(StepTorque, Cross(Minus(point, Position(Matrix)), force));
}

void TZevPhscs2RigidBody::AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float)
{
    DelayedForce0 = Plus(DelayedForce0, force);
    DelayedTorque0 = Plus(DelayedTorque0, Cross(Minus(point, Position(Matrix)), force));
}

void TZevPhscs2RigidBody::RestoreStepForce()
{
    StepForce = SavedStepForce;
    StepTorque = SavedStepTorque;
}

void TZevPhscs2RigidBody::SaveStepForce()
{
    SavedStepForce = StepForce;
    SavedStepTorque = StepTorque;
    const TZevString line = TZevString("(") + TZevString(SavedStepForce.x) + ", " + TZevString(SavedStepForce.y) +
                            ", " + TZevString(SavedStepForce.z) + ")\n";
    ZevDebugLog(line.CStr());
}

void TZevPhscs2RigidBody::EndStep()
{
    PrevMatrix = Matrix;
    PrevAngularVelocity = AngularVelocity;
    PrevVelocity = Velocity;
    Force = TZevVector();
    Torque = TZevVector();
    StepForce = TZevVector();
    StepTorque = TZevVector();
    DelayedForce2 = DelayedForce1;
    DelayedTorque2 = DelayedTorque1;
    DelayedForce1 = DelayedForce0;
    DelayedTorque1 = DelayedTorque0;
    DelayedForce0 = TZevVector();
    DelayedTorque0 = TZevVector();
}

void TZevPhscs2RigidBody::Integrate(float dt)
{
    if (Fixed != 0)
        return;

    // Angular motion, with the gyroscopic term of the start-of-step angular momentum. A tensor that cannot be
    // inverted gives no angular response instead of a division by zero.
    const TStartTerms& start = StartTerms();
    const TZevMatrix3& inverse = start.inverse;
    const TZevVector gyro = start.gyro;
    const TZevVector torque = Plus(Plus(StepTorque, Torque), DelayedTorque2);
    const TZevVector impulse(torque.x * dt - gyro.x * dt, torque.y * dt - gyro.y * dt, torque.z * dt - gyro.z * dt);
    AngularVelocity = Plus(PrevAngularVelocity, Apply(inverse, impulse));

    const float turn = AngularVelocity.Length() * dt;
    if (turn > ZevMaxTurnPerStep)
        AngularVelocity = Times(AngularVelocity, ZevMaxTurnPerStep / turn);

    // transpose(Rnew) = transpose(R) + W transpose(R): every axis row r becomes r + W r.
    const TZevVector w = Times(AngularVelocity, dt);
    const float W[9] = {0.0f, -w.z, w.y, w.z, 0.0f, -w.x, -w.y, w.x, 0.0f};
    for (int r = 0; r < 3; ++r) {
        const TZevVector axis = Row(PrevMatrix, r);
        const TZevVector turned(axis.x + (W[0] * axis.x + W[1] * axis.y + W[2] * axis.z),
                                axis.y + (W[3] * axis.x + W[4] * axis.y + W[5] * axis.z),
                                axis.z + (W[6] * axis.x + W[7] * axis.y + W[8] * axis.z));
        SetRow(Matrix, r, turned);
    }

    const float k = ZevStepOverMass(dt, Mass);
    const TZevVector force = Plus(Plus(StepForce, Force), DelayedForce2);
    Velocity = Plus(PrevVelocity, Times(force, k));
    const float move = Velocity.Length() * dt;
    if (move > ZevMaxMovePerStep)
        Velocity = Times(Velocity, ZevMaxMovePerStep / move);
    SetRow(Matrix, 3, Plus(Position(PrevMatrix), Times(Velocity, dt)));

    if (!ZevOrthonormalize(Matrix)) {
        // The body keeps its place; only its turn and its motion are lost.
        Velocity = TZevVector();
        AngularVelocity = TZevVector();
        ZevDebugLog("TZevPhscs2RigidBody: degenerate rotation reset to the identity\n");
    }
}

void TZevPhscs2RigidBody::LocalToWorld(const TZevVector& in, TZevVector& out)
{
    const TZevVector p = in;
    ZevVecTransform(out, p, Matrix);
}

void TZevPhscs2RigidBody::WorldToLocal(const TZevVector& in, TZevVector& out)
{
    const TZevVector d = Minus(in, Position(Matrix));
    out = TZevVector(Dot(d, Row(Matrix, 0)), Dot(d, Row(Matrix, 1)), Dot(d, Row(Matrix, 2)));
}

void TZevPhscs2RigidBody::LocalToWorldDir(const TZevVector& in, TZevVector& out)
{
    const TZevVector v = in;
    ZevVecRotate(out, v, Matrix);
}

void TZevPhscs2RigidBody::WorldToLocalDir(const TZevVector& in, TZevVector& out)
{
    const TZevVector v = in;
    out = TZevVector(Dot(Row(Matrix, 0), v), Dot(Row(Matrix, 1), v), Dot(Row(Matrix, 2), v));
}

void TZevPhscs2RigidBody::PredictPoint(const TZevVector& force, const TZevVector& point, TZevVector& out, float dt)
{
    TZevMatrix3 inverse;
    if (StartTermsHold())
        inverse = StartCache.inverse;
    else
        ZevInverseWorldInertia(PrevMatrix, Inertia, inverse);
    const TZevVector r = Minus(point, Position(PrevMatrix));
    const TZevVector u = Apply(inverse, Cross(r, force));
    const TZevVector k = Cross(u, r);
    // An invalid mass gives no linear response, as in Integrate.
    const TZevVector linear = ValidMass(Mass) ? TZevVector(force.x / Mass, force.y / Mass, force.z / Mass)
                                              : TZevVector();
    const TZevVector sum = Plus(linear, k);
    out = TZevVector(point.x + sum.x * dt * dt, point.y + sum.y * dt * dt, point.z + sum.z * dt * dt);
}

bool TZevPhscs2RigidBody::SetMassSphere(float m, float r)
{
    if (!ValidMass(m) || !(r > 0.0f) || !std::isfinite(r)) {
        ZevDebugLog("TZevPhscs2RigidBody: SetMassSphere refused a mass or radius that is not positive\n");
        return false;
    }
    const float moment = 0.4f * m * r * r;
    if (!(moment > 0.0f) || !std::isfinite(moment)) {
        ZevDebugLog("TZevPhscs2RigidBody: SetMassSphere refused an inertia out of range\n");
        return false;
    }
    Mass = m;
    Inertia = TZevMatrix3(moment, 0, 0, 0, moment, 0, 0, 0, moment);
    return true;
}

bool TZevPhscs2RigidBody::SetMass(float mass)
{
    if (!ValidMass(mass)) {
        ZevDebugLog("TZevPhscs2RigidBody: a mass that is not positive was refused\n");
        return false;
    }
    Mass = mass;
    return true;
}

bool TZevPhscs2RigidBody::SetInertia(const TZevMatrix3& inertia)
{
    TZevMatrix3 inverse;
    if (!Inverse3(inertia, inverse)) {
        ZevDebugLog("TZevPhscs2RigidBody: a singular inertia tensor was refused\n");
        return false;
    }
    Inertia = inertia;
    return true;
}

bool TZevPhscs2RigidBody::StartTermsHold() const
{
    return StartCache.valid && std::memcmp(PrevMatrix.m, StartCache.rotation, sizeof StartCache.rotation) == 0 &&
           std::memcmp(Inertia.m, StartCache.inertia, sizeof StartCache.inertia) == 0 &&
           std::memcmp(&PrevAngularVelocity, StartCache.spin, sizeof StartCache.spin) == 0;
}

const TZevPhscs2RigidBody::TStartTerms& TZevPhscs2RigidBody::StartTerms()
{
    if (StartTermsHold())
        return StartCache;
    TZevMatrix3 world;
    WorldInertia(PrevMatrix, Inertia, world);
    if (!Inverse3(world, StartCache.inverse))
        StartCache.inverse = TZevMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0);
    const TZevVector momentum = Apply(world, PrevAngularVelocity);
    StartCache.gyro = Cross(PrevAngularVelocity, momentum);
    std::memcpy(StartCache.rotation, PrevMatrix.m, sizeof StartCache.rotation);
    std::memcpy(StartCache.inertia, Inertia.m, sizeof StartCache.inertia);
    std::memcpy(StartCache.spin, &PrevAngularVelocity, sizeof StartCache.spin);
    StartCache.valid = true;
    return StartCache;
}

void TZevPhscs2RigidBody::SetMatrix(const TZevMatrix& m)
{
    const TZevMatrix copy = m;
    Matrix = copy;
    PrevMatrix = copy;
}
