// Particles and rigid bodies: accumulators, integration against closed forms, the turn and move limits, the
// delayed force, the refusal of impossible masses and tensors, and the degenerate-rotation reset.
#include "ZevPhscs2Obj.h"
#include "ZevPhscs2RigidBody.h"

#include "ZevNameTable.h"
#include "ZevXPhObj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using V = TZevVector;

std::string ReadLog()
{
    std::ifstream in("ZevDebug.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Dynamics : public ::testing::Test {
protected:
    void SetUp() override { ZevCoreInit(); }
};

float Length(const V& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST_F(Dynamics, NewObjectsStartAtRest)
{
    TZevPhscs2Particle particle;
    EXPECT_EQ(particle.Mass, 1.0f);
    EXPECT_EQ(particle.Integrable, 1);
    EXPECT_EQ(particle.Flags, 1);
    EXPECT_EQ(particle.ClassInfo, ZevPhscs2ParticleClassInfo());
    TZevPhscs2RigidBody body;
    EXPECT_EQ(body.ClassInfo, ZevPhscs2RigidBodyClassInfo());
    EXPECT_STREQ(body.ClassInfo->name.CStr(), "TZevPhscs2RigidBody");
    EXPECT_EQ(body.Inertia[0], 1.0f);
    EXPECT_EQ(body.Inertia[1], 0.0f);
    EXPECT_EQ(body.Matrix[15], 1.0f);
    TZevPhscs2Obj base;
    EXPECT_EQ(base.Integrable, 0);
    // Creation numbers keep increasing.
    EXPECT_LT(particle.Serial, body.Serial);
    EXPECT_LT(body.Serial, base.Serial);
}

TEST_F(Dynamics, ClassRecordsAreFoundByName)
{
    ZevPhscs2Init();
    ZevPhscs2Init(); // once only
    TZevNameTable* dictionary = GetFunctionDictionary();
    EXPECT_EQ(dictionary->GetValue("TZevPhscs2Obj"), reinterpret_cast<TZevNameValue>(ZevPhscs2ObjClassInfo()));
    EXPECT_EQ(dictionary->GetValue("TZevPhscs2Particle"),
              reinterpret_cast<TZevNameValue>(ZevPhscs2ParticleClassInfo()));
    EXPECT_EQ(dictionary->GetValue("TZevPhscs2RigidBody"),
              reinterpret_cast<TZevNameValue>(ZevPhscs2RigidBodyClassInfo()));
    EXPECT_STREQ(dictionary->GetName(static_cast<const void*>(ZevPhscs2RigidBodyClassInfo())), "TZevPhscs2RigidBody");
}

TEST_F(Dynamics, NotifyOwnerAlignsTheOwningBody)
{
    struct TBody : TZevXPhObj {
        void AlignToPart() override { ++aligned; }
        int aligned = 0;
    };
    TZevPhscs2RigidBody state;
    state.NotifyOwner(); // no owner: nothing
    state.Mark = 3;
    state.ClearMark();
    EXPECT_EQ(state.Mark, 0);
    auto* body = new TBody;
    state.Owner = body;
    state.NotifyOwner();
    EXPECT_EQ(body->aligned, 1);
    state.Owner = nullptr;
    delete body;
}

TEST_F(Dynamics, FixedParticleStaysPut)
{
    TZevPhscs2Particle p;
    p.PrevPosition = p.Position = V(1, 2, 3);
    p.PrevVelocity = p.Velocity = V(0, 1, 0);
    p.Fixed = 1;
    p.AddForceAt(V(100, 0, 0), V(), 0.02f);
    p.AddStepForceAt(V(0, 100, 0), V(), 0.02f);
    p.Integrate(0.02f);
    EXPECT_EQ(p.Position.x, 1.0f);
    EXPECT_EQ(p.Position.y, 2.0f);
    EXPECT_EQ(p.Velocity.y, 1.0f);
}

// Semi-implicit Euler under a constant force F from rest: v_n = n a dt, x_n = a dt^2 n (n + 1) / 2, a = F / m.
TEST_F(Dynamics, ConstantForceMatchesSemiImplicitEuler)
{
    const float dt = 0.02f;
    const V force(0, -19.6f, 4);
    const float mass = 2.0f;
    TZevPhscs2Particle particle;
    ASSERT_TRUE(particle.SetMass(mass));
    TZevPhscs2RigidBody body;
    ASSERT_TRUE(body.SetMass(mass));
    for (int n = 1; n <= 100; ++n) {
        particle.AddStepForceAt(force, V(), dt);
        body.AddStepForceAt(force, body.GetPosition(), dt);
        particle.Integrate(dt);
        body.Integrate(dt);
        particle.EndStep();
        body.EndStep();
        const double a = force.y / mass;
        const double v = n * a * dt;
        const double x = a * dt * dt * n * (n + 1) / 2.0;
        ASSERT_NEAR(particle.PrevVelocity.y, v, 1e-5 * std::fabs(v) + 1e-6) << n;
        ASSERT_NEAR(particle.PrevPosition.y, x, 1e-5 * std::fabs(x) + 1e-6) << n;
        ASSERT_NEAR(body.PrevVelocity.y, v, 1e-5 * std::fabs(v) + 1e-6) << n;
        ASSERT_NEAR(body.PrevMatrix[13], x, 1e-5 * std::fabs(x) + 1e-6) << n;
        ASSERT_NEAR(body.PrevMatrix[14], 2.0 * dt * dt * n * (n + 1) / 2.0, 1e-4) << n;
    }
    // A force through the centre of mass does not turn the body.
    EXPECT_EQ(body.AngularVelocity.x, 0.0f);
    EXPECT_EQ(body.Matrix[0], 1.0f);
    EXPECT_EQ(body.Matrix[10], 1.0f);
}

TEST_F(Dynamics, TurnAndMoveAreLimitedPerStep)
{
    TZevPhscs2RigidBody body;
    body.PrevAngularVelocity = V(0, 60, 80); // |w| = 100 rad/s: 2 rad in 0.02 s
    body.PrevVelocity = V(600, 0, -800);     // 1000 units/s: 20 units in 0.02 s
    body.Integrate(0.02f);
    EXPECT_NEAR(Length(body.AngularVelocity), 19.63495f, 2e-5f);
    EXPECT_NEAR(body.AngularVelocity.y / body.AngularVelocity.z, 0.75f, 1e-6f);
    EXPECT_NEAR(Length(body.Velocity), 800.0f, 1e-3f);
    EXPECT_NEAR(Length(body.GetPosition()), 16.0f, 1e-4f);
    EXPECT_NEAR(body.Matrix[12], 9.6f, 1e-4f);

    // Just below the limits nothing is scaled.
    TZevPhscs2RigidBody slow;
    slow.PrevAngularVelocity = V(0, 0, 19.0f);
    slow.PrevVelocity = V(0, 790.0f, 0);
    slow.Integrate(0.02f);
    EXPECT_EQ(slow.AngularVelocity.z, 19.0f);
    EXPECT_EQ(slow.Velocity.y, 790.0f);
}

// A delayed force added before the first step takes no part in steps 1 and 2 and acts in step 3.
TEST_F(Dynamics, DelayedForceActsInTheThirdStep)
{
    const float dt = 0.5f;
    TZevPhscs2Particle particle;
    TZevPhscs2RigidBody body;
    particle.AddDelayedForceAt(V(2, 0, 0), V(), dt);
    body.AddDelayedForceAt(V(2, 0, 0), body.GetPosition(), dt);
    const float expected[] = {0.0f, 0.0f, 1.0f, 1.0f}; // velocity after each step: 2 * 0.5 / 1 once
    for (int step = 0; step < 4; ++step) {
        particle.Integrate(dt);
        body.Integrate(dt);
        EXPECT_EQ(particle.Velocity.x, expected[step]) << "particle, step " << step + 1;
        EXPECT_EQ(body.Velocity.x, expected[step]) << "rigid body, step " << step + 1;
        particle.EndStep();
        body.EndStep();
    }
    // The delayed torque travels with its force.
    TZevPhscs2RigidBody turned;
    turned.AddDelayedForceAt(V(0, 1, 0), V(1, 0, 0), dt); // torque (0, 0, 1)
    turned.EndStep();
    turned.EndStep();
    EXPECT_EQ(turned.DelayedTorque2.z, 1.0f);
    EXPECT_EQ(turned.DelayedTorque0.z, 0.0f);
    turned.Integrate(dt);
    EXPECT_EQ(turned.AngularVelocity.z, 0.5f);
}

TEST_F(Dynamics, ForcesAtPointsAddTorqueAboutThePosition)
{
    TZevPhscs2RigidBody body;
    body.SetMatrix(TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1));
    body.AddForceAt(V(1, 2, 3), V(5, 6, 7), 0.02f);
    EXPECT_EQ(body.Torque.x, 0.0f);
    EXPECT_EQ(body.Torque.y, 0.0f);
    EXPECT_EQ(body.Torque.z, 0.0f);
    body.AddForceAt(V(0, 1, 0), V(7, 6, 7), 0.02f); // r = (2, 0, 0): torque (0, 0, 2)
    EXPECT_EQ(body.Torque.z, 2.0f);
    EXPECT_EQ(body.Force.y, 3.0f);
    body.AddStepForceAt(V(0, 0, 1), V(5, 7, 7), 0.02f); // r = (0, 1, 0): torque (1, 0, 0)
    EXPECT_EQ(body.StepTorque.x, 1.0f);

    // The saved step force comes back after a retried pass, and the save is logged.
    body.SaveStepForce();
    body.AddStepForceAt(V(0, 0, 9), V(5, 6, 7), 0.02f);
    body.RestoreStepForce();
    EXPECT_EQ(body.StepForce.z, 1.0f);
    EXPECT_EQ(body.StepTorque.x, 1.0f);
    EXPECT_NE(ReadLog().find("(0.000000, 0.000000, 1.000000)\n"), std::string::npos);

    // EndStep clears the pass and step accumulators.
    body.EndStep();
    EXPECT_EQ(body.Force.y, 0.0f);
    EXPECT_EQ(body.Torque.z, 0.0f);
    EXPECT_EQ(body.StepForce.z, 0.0f);
    EXPECT_EQ(body.SavedStepForce.z, 1.0f);
}

TEST_F(Dynamics, FramesConvertPointsAndDirections)
{
    TZevPhscs2RigidBody body;
    // Rotation of 90 degrees about z (x axis to y), then a move to (1, 2, 3).
    body.SetMatrix(TZevMatrix(0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1));
    V out;
    body.LocalToWorld(V(1, 0, 0), out);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 3.0f);
    EXPECT_EQ(out.z, 3.0f);
    V back;
    body.WorldToLocal(out, back);
    EXPECT_EQ(back.x, 1.0f);
    EXPECT_EQ(back.y, 0.0f);
    body.LocalToWorldDir(V(1, 0, 0), out);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 1.0f);
    body.WorldToLocalDir(out, out); // in and out may be the same vector
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 0.0f);

    TZevPhscs2Particle particle;
    particle.Position = V(1, 1, 1);
    particle.LocalToWorld(V(1, 2, 3), out);
    EXPECT_EQ(out.z, 4.0f);
    particle.WorldToLocal(V(1, 2, 3), out);
    EXPECT_EQ(out.z, 2.0f);
}

TEST_F(Dynamics, PredictPointAddsLinearAndTurningResponse)
{
    TZevPhscs2RigidBody body;
    ASSERT_TRUE(body.SetMass(2.0f));
    V out(9, 9, 9);
    body.PredictPoint(V(4, 0, 0), V(0, 0, 0), out, 0.5f); // through the centre: f / m dt^2
    EXPECT_EQ(out.x, 0.5f);
    EXPECT_EQ(out.y, 0.0f);
    // Off centre with unit inertia: r = (1, 0, 0), f = (0, 2, 0): u = r x f = (0, 0, 2), k = u x r = (0, 2, 0).
    body.PredictPoint(V(0, 2, 0), V(1, 0, 0), out, 0.5f);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, (1.0f + 2.0f) * 0.25f);

    TZevPhscs2Particle particle; // the particle does not answer
    out = V(9, 9, 9);
    particle.PredictPoint(V(1, 0, 0), V(), out, 1.0f);
    EXPECT_EQ(out.x, 9.0f);
}

TEST_F(Dynamics, SphereInertiaAndRefusedValues)
{
    TZevPhscs2RigidBody body;
    ASSERT_TRUE(body.SetMassSphere(1.0f, 2.5f));
    EXPECT_EQ(body.Inertia[0], 2.5f);
    EXPECT_EQ(body.Inertia[4], 2.5f);
    EXPECT_EQ(body.Inertia[8], 2.5f);
    EXPECT_EQ(body.Inertia[1], 0.0f);

    EXPECT_FALSE(body.SetMassSphere(0.0f, 1.0f));
    EXPECT_FALSE(body.SetMassSphere(1.0f, 0.0f));
    EXPECT_FALSE(body.SetMassSphere(-1.0f, 1.0f));
    EXPECT_FALSE(body.SetMassSphere(std::nanf(""), 1.0f));
    EXPECT_FALSE(body.SetMass(0.0f));
    EXPECT_FALSE(body.SetInertia(TZevMatrix3(1, 0, 0, 0, 1, 0, 0, 0, 0)));
    EXPECT_EQ(body.Mass, 1.0f);
    EXPECT_EQ(body.Inertia[8], 2.5f);
    EXPECT_TRUE(body.SetInertia(TZevMatrix3(2, 0, 0, 0, 3, 0, 0, 0, 4)));
    EXPECT_NE(ReadLog().find("singular inertia tensor was refused"), std::string::npos);

    TZevPhscs2Particle particle;
    EXPECT_FALSE(particle.SetMass(-2.0f));
    EXPECT_EQ(particle.Mass, 1.0f);
}

// Masses and tensors written directly are never divided by: such a body does not respond to forces.
TEST_F(Dynamics, ZeroMassAndSingularInertiaAreNotDividedBy)
{
    TZevPhscs2RigidBody body;
    body.Mass = 0.0f;
    body.Inertia = TZevMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0);
    body.PrevVelocity = V(1, 0, 0);
    body.PrevAngularVelocity = V(0, 0, 0.5f);
    body.AddForceAt(V(5, 5, 5), V(1, 0, 0), 0.1f);
    body.Integrate(0.1f);
    EXPECT_EQ(body.Velocity.x, 1.0f);
    EXPECT_EQ(body.Velocity.y, 0.0f);
    EXPECT_EQ(body.AngularVelocity.z, 0.5f);
    EXPECT_TRUE(std::isfinite(body.Matrix[0]));
    EXPECT_NEAR(body.Matrix[12], 0.1f, 1e-7f);
    V out;
    body.PredictPoint(V(1, 0, 0), V(2, 0, 0), out, 0.1f);
    EXPECT_EQ(out.x, 2.0f);

    TZevPhscs2Particle particle;
    particle.Mass = 0.0f;
    particle.AddForceAt(V(1, 0, 0), V(), 0.1f);
    particle.Integrate(0.1f);
    EXPECT_EQ(particle.Velocity.x, 0.0f);
    particle.Mass = 1e-45f; // the quotient overflows
    particle.Integrate(0.1f);
    EXPECT_EQ(particle.Velocity.x, 0.0f);
}

TEST_F(Dynamics, DegenerateRotationKeepsThePosition)
{
    TZevPhscs2RigidBody body;
    body.SetMatrix(TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 5, 6, 7, 1)); // row 2 is zero
    body.PrevVelocity = V(1, 0, 0);
    body.PrevAngularVelocity = V(0.1f, 0, 0);
    body.Integrate(0.5f);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(body.Matrix[i], IdentityMatrix[i]) << i;
    EXPECT_EQ(body.Matrix[12], 5.5f);
    EXPECT_EQ(body.Matrix[13], 6.0f);
    EXPECT_EQ(body.Matrix[14], 7.0f);
    EXPECT_EQ(body.Velocity.x, 0.0f);
    EXPECT_EQ(body.AngularVelocity.x, 0.0f);
    EXPECT_NE(ReadLog().find("degenerate rotation"), std::string::npos);

    // The shared routine: a vanishing cross product of rows 1 and 2 also resets the rotation only.
    TZevMatrix parallel(1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 4, 5, 6, 1);
    EXPECT_FALSE(ZevOrthonormalize(parallel));
    EXPECT_EQ(parallel[10], 1.0f);
    EXPECT_EQ(parallel[12], 4.0f);
    // Row 2 keeps its direction; row 1 only gives the plane.
    TZevMatrix skew(5, 5, 5, 0, 1, 1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
    EXPECT_TRUE(ZevOrthonormalize(skew));
    EXPECT_EQ(skew[8], 0.0f);
    EXPECT_EQ(skew[10], 1.0f);
    EXPECT_NEAR(skew[0], 0.70710677f, 1e-6f);
    EXPECT_NEAR(skew[1], -0.70710677f, 1e-6f);
    EXPECT_NEAR(skew[4], 0.70710677f, 1e-6f);
    EXPECT_NEAR(skew[5], 0.70710677f, 1e-6f);
}

// A torque-free body spinning about its symmetry axis keeps its angular speed, and its rotation stays
// orthonormal.
TEST_F(Dynamics, TorqueFreeSpinnerKeepsItsSpeedOver1000Steps)
{
    TZevPhscs2RigidBody body;
    ASSERT_TRUE(body.SetInertia(TZevMatrix3(2, 0, 0, 0, 2, 0, 0, 0, 1)));
    TZevMatrix tilt;
    ZevMatRotationX(tilt, 0.3f);
    body.SetMatrix(tilt);
    const V axis(body.Matrix[8], body.Matrix[9], body.Matrix[10]);
    body.PrevAngularVelocity = V(axis.x * 3.0f, axis.y * 3.0f, axis.z * 3.0f);
    const float speed = Length(body.PrevAngularVelocity);
    for (int step = 0; step < 1000; ++step) {
        body.Integrate(0.01f);
        body.EndStep();
    }
    EXPECT_NEAR(Length(body.PrevAngularVelocity), speed, speed * 1e-5f);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const float dot = body.Matrix[4 * r] * body.Matrix[4 * c] + body.Matrix[4 * r + 1] * body.Matrix[4 * c + 1] +
                              body.Matrix[4 * r + 2] * body.Matrix[4 * c + 2];
            EXPECT_NEAR(dot, r == c ? 1.0f : 0.0f, 1e-5f) << r << c;
        }
    }
    // It spins about its axis, which stays put; the spin has turned the other axes (30 rad in all).
    EXPECT_NEAR(body.Matrix[8], axis.x, 1e-4f);
    EXPECT_NEAR(body.Matrix[9], axis.y, 1e-4f);
    EXPECT_NEAR(body.Matrix[10], axis.z, 1e-4f);
    EXPECT_EQ(body.GetPosition().x, 0.0f);
}

} // namespace
