#include "ZevPlaneChara.h"

#include "ZevJointedChara.h"
#include "ZevVecInline.h"

#include <cmath>

namespace {

inline TZevVector Row(const TZevMatrix& m, int r)
{
    return TZevVector(m.m[4 * r], m.m[4 * r + 1], m.m[4 * r + 2]);
}

} // namespace

void TZevPlaneChara::KeyControl(const unsigned char* keys)
{
    if (keys == nullptr)
        return;
    const TZevMatrix axes = GetPreviousMatrix();
    const TZevVector x = Row(axes, 0);
    const TZevVector z = Row(axes, 2);
    const TZevVector v = MainPart->Velocity;
    const TZevVector w = MainPart->AngularVelocity;
    const float s = v.Length();
    TZevVector& T = TorqueAccumulator;
    TZevVector& F = ForceAccumulator;
    if (keys[ZevKeyUp] != 0)
        T = Plus(T, Times(Times(Times(x, 40.5f), 1.5f), s / 16.05f + 1.0f));
    if (keys[ZevKeyDown] != 0)
        T = Plus(T, Times(Times(Times(x, -40.5f), 1.5f), s / 16.0f + 1.0f));
    if (keys[ZevKeyLeft] != 0)
        T = Plus(T, Times(Times(Times(z, 160.5f), 1.5f), s / 64.0f + 1.0f));
    if (keys[ZevKeyRight] != 0)
        T = Plus(T, Times(Times(Times(z, -160.5f), 1.5f), s / 64.0f + 1.0f));
    if (keys[ZevKeyLeft] == 0 && keys[ZevKeyRight] == 0)
        T = Plus(T, Times(Times(z, -80.0f * ZevVecDot(z, w)), 1.5f)); // damps the roll
    if (keys[ZevKeyX] != 0)
        F = Plus(F, Times(z, 170.5f));
    T = Plus(T, Times(Times(w, -40.8f), 1.5f));
    F = Plus(F, Times(v, -0.11f));
}

void TZevPlaneChara::ApplyExternalForces(float dt)
{
    const TZevMatrix axes = GetPreviousMatrix();
    const TZevVector x = Row(axes, 0);
    const TZevVector y = Row(axes, 1);
    const TZevVector z = Row(axes, 2);
    const TZevVector P = Row(axes, 3);
    TZevPhscs2RigidBody* part = MainPart;
    const TZevVector v = part->Velocity;
    const float s = v.Length();

    // Lift, never above the world's gravity.
    float lift = s / 100.0f;
    if (space != nullptr && lift > WorldGravity())
        lift = WorldGravity();
    const TZevVector vz = Cross(v, z);
    // Within 45 degrees of the nose: side force, lift, and the pitch force.
    if (ZevVecDot(z, v) > s / std::sqrt(2.0f)) {
        const float f1 = ZevVecDot(vz, x);
        part->AddForceAt(Plus(Times(Times(Times(Cross(Times(x, f1), z), s), 0.128125f), 5.0f), Times(y, lift)), P, dt);
        const float f2 = ZevVecDot(vz, y);
        part->AddForceAt(Times(Times(Times(Cross(Times(y, f2), z), s), 0.003125f), 5.0f), P, dt);
    }
    // Drag grows with the sideslip.
    part->AddForceAt(Times(Times(v, std::fabs(ZevVecDot(vz, x)) * -0.04f), 5.0f), P, dt);
    // The velocity across the nose turns the nose into the flight direction.
    const TZevVector u = Minus(v, Times(z, ZevVecDot(z, v)));
    part->AddForceAt(Times(Times(Times(Times(u, 1.5625e-05f), 5.0f), s), s), Plus(P, z), dt);
    part->AddForceAt(Times(Times(Times(Times(u, -1.5625e-05f), 5.0f), s), s), Minus(P, z), dt);
    // Then gravity, damping and the accumulated forces, as for every character.
    TZevGameChara::ApplyExternalForces(dt);
}

TZevCollisionMeshObj* CreatePlaneChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument)
{
    return ZevSetUpGameChara(new TZevPlaneChara, holder, source, argument);
}
