// A rigid body keeps what its integration derives from the start-of-step rotation, inertia and spin between the
// trial moves of a step. Those fields are public: whatever a host or a scene changes between two moves must be
// seen by the next one, bit for bit as a body that never moved before would see it.
#include "ZevPhscs2RigidBody.h"

#include "ZevNameTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace {

// A tilted, spinning body under a torque and a force, so that every derived term counts.
void PlaceSpinningBody(TZevPhscs2RigidBody& body)
{
    TZevMatrix m;
    const float c = std::cos(0.4f);
    const float s = std::sin(0.4f);
    m.m[0] = c;
    m.m[1] = s;
    m.m[4] = -s;
    m.m[5] = c;
    m.m[12] = 1.0f;
    m.m[13] = 2.0f;
    m.m[14] = 3.0f;
    body.SetMatrix(m);
    body.Inertia = TZevMatrix3(2.0f, 0.1f, 0.0f, 0.1f, 3.0f, 0.2f, 0.0f, 0.2f, 4.0f);
    body.Mass = 2.5f;
    body.PrevAngularVelocity = TZevVector(0.3f, -1.2f, 0.7f);
    body.PrevVelocity = TZevVector(0.5f, -0.25f, 0.0f);
    body.StepTorque = TZevVector(0.2f, 0.1f, -0.4f);
    body.StepForce = TZevVector(0.0f, -9.8f, 1.0f);
}

bool SameBits(const TZevVector& a, const TZevVector& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameBits(const TZevMatrix& a, const TZevMatrix& b)
{
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

struct StartChange {
    std::string name;
    std::function<void(TZevPhscs2RigidBody&)> apply;
};

class RigidStartTerms : public ::testing::TestWithParam<StartChange> {
protected:
    void SetUp() override { ZevCoreInit(); }
};

TEST_P(RigidStartTerms, AMoveAfterAChangeMatchesABodyThatNeverMoved)
{
    const float dt = 0.02f;
    const TZevVector force(0.0f, 3.0f, -1.0f);
    const TZevVector point(1.5f, 2.5f, 3.5f);
    TZevPhscs2RigidBody moved;
    PlaceSpinningBody(moved);
    moved.Integrate(dt);
    TZevVector ignored;
    moved.PredictPoint(force, point, ignored, dt);
    GetParam().apply(moved);
    moved.Integrate(dt);
    TZevVector predictedMoved;
    moved.PredictPoint(force, point, predictedMoved, dt);

    TZevPhscs2RigidBody fresh;
    PlaceSpinningBody(fresh);
    GetParam().apply(fresh);
    fresh.Integrate(dt);
    TZevVector predictedFresh;
    fresh.PredictPoint(force, point, predictedFresh, dt);

    EXPECT_TRUE(SameBits(moved.Matrix, fresh.Matrix));
    EXPECT_TRUE(SameBits(moved.AngularVelocity, fresh.AngularVelocity));
    EXPECT_TRUE(SameBits(moved.Velocity, fresh.Velocity));
    EXPECT_TRUE(SameBits(predictedMoved, predictedFresh));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RigidStartTerms,
    ::testing::Values(
        StartChange{"Nothing", [](TZevPhscs2RigidBody&) {}},
        StartChange{"InertiaWrittenDirectly",
                    [](TZevPhscs2RigidBody& b) { b.Inertia = TZevMatrix3(5.0f, 0, 0, 0, 1.0f, 0, 0, 0, 2.0f); }},
        StartChange{"InertiaThatCannotBeInverted",
                    [](TZevPhscs2RigidBody& b) { b.Inertia = TZevMatrix3(0, 0, 0, 0, 0, 0, 0, 0, 0); }},
        StartChange{"SpinSetByTheHost", [](TZevPhscs2RigidBody& b) { b.PrevAngularVelocity = TZevVector(0, 4.0f, 0); }},
        StartChange{"OneRotationElement", [](TZevPhscs2RigidBody& b) { b.PrevMatrix.m[9] = 0.25f; }},
        StartChange{"EndOfStep",
                    [](TZevPhscs2RigidBody& b) {
                        b.Integrate(0.02f);
                        b.EndStep();
                        b.StepTorque = TZevVector(0.2f, 0.1f, -0.4f);
                    }}),
    [](const ::testing::TestParamInfo<StartChange>& info) { return info.param.name; });

} // namespace
