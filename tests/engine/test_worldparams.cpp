// World parameters: defaults of the world and of the physics-only run, and set/get round trips through the
// exports and the builtins, one table over every parameter.
#include "EngineTestHost.h"
#include "QEContext.h"
#include "ZevFrame.h"
#include "ZevPhscs2World.h"

#include <cstdint>
#include <string>

namespace {

struct FloatParam {
    const char* name; // the builtin pair is "Set" / "Get" + name
    int (*set)(float);
    int (*get)(float*);
    float worldDefault; // what the world's constructor gives (nan: not a world field)
    float phOnly;       // after QE_PhOnlyInit
};

struct IntParam {
    const char* name;
    int (*set)(int);
    int (*get)(int*);
    std::int32_t worldDefault;
    std::int32_t phOnly;
};

constexpr float NotWorld = -12345.0f;

const FloatParam FloatParams[] = {
    {"CollisionReboundCoeff", QE_SetCollisionReboundCoeff, QE_GetCollisionReboundCoeff, 0.3f, 0.1f},
    {"CollisionSpringCoeff", QE_SetCollisionSpringCoeff, QE_GetCollisionSpringCoeff, 20.5f, 15.0f},
    {"CollisionStaticFrictionCoeff", QE_SetCollisionStaticFrictionCoeff, QE_GetCollisionStaticFrictionCoeff, 0.8f,
     0.7f},
    {"CollisionDynamicFrictionCoeff", QE_SetCollisionDynamicFrictionCoeff, QE_GetCollisionDynamicFrictionCoeff,
     0.4f, 0.5f},
    {"CollisionVerticalDamperCoeff", QE_SetCollisionVerticalDamperCoeff, QE_GetCollisionVerticalDamperCoeff, 0.05f,
     0.15f},
    {"CollisionHorizontalDamperCoeff", QE_SetCollisionHorizontalDamperCoeff, QE_GetCollisionHorizontalDamperCoeff,
     0.0f, 0.0f},
    {"InterferencePermitDistance", QE_SetInterferencePermitDistance, QE_GetInterferencePermitDistance, 0.1f, 0.01f},
    {"Gravity", QE_SetGravity, QE_GetGravity, 9.8f, 9.8f},
    {"CollisionSatisfyCoefficientScale", QE_SetCollisionSatisfyCoefficientScale,
     QE_GetCollisionSatisfyCoefficientScale, 10.0f, 10.0f},
    {"SimulationStepSize", QE_SetSimulationStepSize, QE_GetSimulationStepSize, NotWorld, 0.02f},
};

const IntParam IntParams[] = {
    {"CollisionSatisfyRepeatMax", QE_SetCollisionSatisfyRepeatMax, QE_GetCollisionSatisfyRepeatMax, 128, 256},
    {"LinkSatisfyRepeatMax", QE_SetLinkSatisfyRepeatMax, QE_GetLinkSatisfyRepeatMax, 4, 6},
    {"RetryCollisionMax", QE_SetRetryCollisionMax, QE_GetRetryCollisionMax, 6, 10},
    {"SimulationRepeatSize", QE_SetSimulationRepeatSize, QE_GetSimulationRepeatSize, -1, 1000},
    {"CollisionSatisfyMode", nullptr, nullptr, 2, 2}, // builtins only
};

using WorldParamsTest = EngineTest;

TEST_F(WorldParamsTest, NothingIsStoredOrReadWithoutAWorld)
{
    for (const FloatParam& p : FloatParams) {
        float v = 7.0f;
        EXPECT_EQ(p.set(1.0f), 0) << p.name;
        EXPECT_EQ(p.get(&v), 0) << p.name;
        EXPECT_EQ(v, 7.0f) << p.name;
        EXPECT_EQ(Run(std::string("(Set") + p.name + " 1.0)(Get" + p.name + ")"), "nil\nnil\n") << p.name;
    }
    for (const IntParam& p : IntParams) {
        if (p.set) {
            int v = 7;
            EXPECT_EQ(p.set(1), 0) << p.name;
            EXPECT_EQ(p.get(&v), 0) << p.name;
            EXPECT_EQ(v, 7) << p.name;
        }
        EXPECT_EQ(Run(std::string("(Set") + p.name + " 1)(Get" + p.name + ")"), "nil\nnil\n") << p.name;
    }
    EXPECT_EQ(Run("(GetSatisfyRepeatCount)(GetRetryCollisionCount)"), "nil\nnil\n");
}

TEST_F(WorldParamsTest, DefaultsOfTheWorldAndOfThePhysicsOnlyRun)
{
    // A bare world published by hand shows the constructor's values.
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    TZevPhscs2World* bare = new TZevPhscs2World;
    TZevPhscs2World* phOnlyWorld = CurrentWorld;
    CurrentWorld = bare;
    for (const FloatParam& p : FloatParams) {
        float v = 0.0f;
        ASSERT_EQ(p.get(&v), 1) << p.name;
        if (p.worldDefault != NotWorld) {
            EXPECT_FLOAT_EQ(v, p.worldDefault) << p.name;
        }
    }
    for (const IntParam& p : IntParams) {
        if (p.get && p.worldDefault >= 0) {
            int v = 0;
            ASSERT_EQ(p.get(&v), 1) << p.name;
            EXPECT_EQ(v, p.worldDefault) << p.name;
        }
    }
    EXPECT_EQ(Run("(GetCollisionSatisfyMode)(GetSatisfyRepeatCount)(GetRetryCollisionCount)"), "2\n0\n0\n");
    CurrentWorld = phOnlyWorld;
    delete bare;

    for (const FloatParam& p : FloatParams) {
        float v = 0.0f;
        ASSERT_EQ(p.get(&v), 1) << p.name;
        EXPECT_FLOAT_EQ(v, p.phOnly) << p.name;
    }
    for (const IntParam& p : IntParams) {
        if (p.get) {
            int v = 0;
            ASSERT_EQ(p.get(&v), 1) << p.name;
            EXPECT_EQ(v, p.phOnly) << p.name;
        }
    }
    EXPECT_EQ(QE_GetGravity(nullptr), 0);
    EXPECT_EQ(QE_GetCollisionSatisfyRepeatMax(nullptr), 0);
}

TEST_F(WorldParamsTest, SetAndGetRoundTripsThroughExportsAndBuiltins)
{
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    for (const FloatParam& p : FloatParams) {
        // Export set, export and builtin get; negative values are stored unchanged.
        ASSERT_EQ(p.set(-2.5f), 1) << p.name;
        float v = 0.0f;
        ASSERT_EQ(p.get(&v), 1) << p.name;
        EXPECT_EQ(v, -2.5f) << p.name;
        EXPECT_EQ(Run(std::string("(Get") + p.name + ")"), "-2.500000\n") << p.name;
        // Builtin set, export get.
        EXPECT_EQ(Run(std::string("(Set") + p.name + " 0.75)"), "t\n") << p.name;
        ASSERT_EQ(p.get(&v), 1) << p.name;
        EXPECT_EQ(v, 0.75f) << p.name;
        // A bad argument is the interpreter's error and stores nothing.
        EXPECT_NE(Run(std::string("(Set") + p.name + " \"x\")").find("Bad Argument!"), std::string::npos)
            << p.name;
        ASSERT_EQ(p.get(&v), 1) << p.name;
        EXPECT_EQ(v, 0.75f) << p.name;
    }
    for (const IntParam& p : IntParams) {
        int v = 0;
        if (p.set) {
            ASSERT_EQ(p.set(-3), 1) << p.name;
            ASSERT_EQ(p.get(&v), 1) << p.name;
            EXPECT_EQ(v, -3) << p.name;
            EXPECT_EQ(Run(std::string("(Get") + p.name + ")"), "-3\n") << p.name;
        }
        EXPECT_EQ(Run(std::string("(Set") + p.name + " 42)(Get" + p.name + ")"), "t\n42\n") << p.name;
        if (p.get) {
            ASSERT_EQ(p.get(&v), 1) << p.name;
            EXPECT_EQ(v, 42) << p.name;
        }
        EXPECT_NE(Run(std::string("(Set") + p.name + " \"x\")").find("Bad Argument!"), std::string::npos)
            << p.name;
    }
    // The step and repeat sizes are the publisher's own fields.
    EXPECT_EQ(*RepeatSizePtr, 42);
    EXPECT_FLOAT_EQ(*StepSizePtr, 0.75f);
    // The statistics are read only.
    EXPECT_NE(Run("(SetSatisfyRepeatCount 3)").find("rror"), std::string::npos);
}

} // namespace
