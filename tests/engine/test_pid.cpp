// The PID controller and its script object.
#include "QEPIDController.h"

#include "LispGeneral.h"
#include "ZevLisp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PIDController, StepFollowsTheLaw)
{
    struct Case {
        const char* what;
        float band, ti, td, target, state, step, expected;
    } cases[] = {
        {"proportional only", 50.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.1f, 2.0f},
        {"negative error", 50.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.1f, -1.0f},
        {"band 0 gives no gain", 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f},
        {"band below 1e-11 gives no gain", 1e-12f, 1.0f, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f},
        // gain 1: (1 - 0) / 0.5 x 0.25 derivative + 0.5 x 1 / 2 integral + 1
        {"all three terms", 100.0f, 2.0f, 0.25f, 1.0f, 0.0f, 0.5f, 0.5f + 0.25f + 1.0f},
    };
    for (const Case& c : cases) {
        TZevPIDController pid;
        pid.SetParam(c.band, c.ti, c.td);
        pid.Target = c.target;
        pid.State = c.state;
        EXPECT_FLOAT_EQ(pid.Step(c.step), c.expected) << c.what;
    }
}

TEST(PIDController, IntegralAccumulatesAndStepZeroKeepsTheReciprocal)
{
    TZevPIDController pid;
    pid.SetParam(100.0f, 1.0f, 1.0f); // gain 1
    pid.Target = 1.0f;
    EXPECT_FLOAT_EQ(pid.Step(0.5f), 0.5f + 1.0f + 2.0f); // integral 0.5, error 1, derivative 1 / 0.5
    EXPECT_FLOAT_EQ(pid.Integral, 0.5f);
    EXPECT_FLOAT_EQ(pid.InvStep, 2.0f);
    pid.State = 0.5f;
    // Step 0: no integral increment, the derivative uses the kept reciprocal 2: (0.5 - 1) x 2 = -1.
    EXPECT_FLOAT_EQ(pid.Step(0.0f), -1.0f + 0.5f + 0.5f);
    EXPECT_FLOAT_EQ(pid.InvStep, 2.0f);
    EXPECT_FLOAT_EQ(pid.PrevError, 0.5f);
}

TEST(PIDController, SaturationStopsWindUp)
{
    TZevPIDController pid;
    pid.SetParam(10.0f, 1.0f, 0.0f); // gain 10
    pid.OutputMax = 5.0f;
    pid.OutputMin = -5.0f;
    pid.Target = 1.0f;
    EXPECT_FLOAT_EQ(pid.Step(0.1f), 5.0f);
    EXPECT_FLOAT_EQ(pid.Integral, 0.0f); // dropped while clamped
    EXPECT_EQ(pid.Saturated, 0);          // cleared for the next step
    pid.State = 0.99f;                     // error 0.01: (0.001 + 0.01) x 10 = 0.11, inside the range
    EXPECT_NEAR(pid.Step(0.1f), 0.11f, 1e-5f);
    EXPECT_NEAR(pid.Integral, 0.001f, 1e-7f);
    // A bound reached exactly does not saturate.
    TZevPIDController exact;
    exact.SetParam(100.0f, 0.0f, 0.0f);
    exact.OutputMax = 1.0f;
    exact.Error = 1.0f;
    EXPECT_FLOAT_EQ(exact.Compute(), 1.0f);
    EXPECT_EQ(exact.Saturated, 0);
    exact.Error = 2.0f;
    EXPECT_FLOAT_EQ(exact.Compute(), 1.0f);
    EXPECT_EQ(exact.Saturated, 1);
}

class PIDScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        LispInitialize();
        ZevEngineRegisterPID();
        host = new TZevLispTextInterpreter();
        host->Init();
    }
    void TearDown() override { delete host; }
    std::string Run(const char* command)
    {
        host->SendCommand(command);
        const char* answer = host->GetAnswer();
        return answer ? answer : "";
    }
    TZevLispTextInterpreter* host = nullptr;
};

TEST_F(PIDScript, BuiltinsDriveTheController)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(def p (XPhPIDMake 1 2))", "p\n"}, // extra arguments are ignored
        {"p", "<LSObj TZevLispPIDObj>\n"},
        {"(XPhPIDSetParam p 50 0 0)", "t\n"},
        {"(XPhPIDSetState p 0.5)", "t\n"},
        {"(XPhPIDSetTarget p 1)", "t\n"},
        {"(XPhPIDStep p 0.1)", "1.000000\n"},
        {"(XPhPIDSetOutPutRange p -0.5 0.25)", "t\n"},
        {"(XPhPIDStep p 0.1)", "0.250000\n"},
        {"(XPhPIDSetState p 2)", "t\n"},
        {"(XPhPIDStep p 0.1)", "-0.500000\n"},
        // Wrong arguments: the interpreter's error; another object or a wrapper without one: nil.
        {"(XPhPIDSetParam p \"x\" 0 0)", "Error: Bad Argument!\n   in \"(XPhPIDSetParam p \"x\" 0 0)\"\n\n"},
        {"(XPhPIDStep 5 1)", "Error: Bad Argument!\n   in \"(XPhPIDStep 5 1)\"\n\n"},
        {"(def s (CreateZevLispObj \"TZevStringTree\"))", "s\n"},
        {"(XPhPIDSetParam s 1 1 1)", "nil\n"},
        {"(XPhPIDSetState s 1)", "nil\n"},
        {"(XPhPIDSetTarget s 1)", "nil\n"},
        {"(XPhPIDStep s 0.1)", "nil\n"},
        {"(XPhPIDSetOutPutRange s 0 1)", "nil\n"},
        {"(XPhPIDStep (CreateZevLispObj \"NoSuchClass\") 0.1)", "nil\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(PIDScript, SavedObjectKeepsItsParametersOnly)
{
    EXPECT_EQ(Run("(def p (XPhPIDMake))"), "p\n");
    Run("(XPhPIDSetParam p 25 0 0) (XPhPIDSetOutPutRange p -3 3) (XPhPIDSetTarget p 7)");
    EXPECT_EQ(Run("(SaveLispObject \"pid.sav\" p)"), "t\n");
    EXPECT_EQ(Run("(def q (LoadLispObject \"pid.sav\"))"), "q\n");
    EXPECT_EQ(Run("q"), "<LSObj TZevLispPIDObj>\n");
    // The target was not saved: error 0 - 0 gives 0; with a target, gain 4 and the range -3..3 hold again.
    EXPECT_EQ(Run("(XPhPIDStep q 0.1)"), "0.000000\n");
    Run("(XPhPIDSetTarget q 0.5)");
    EXPECT_EQ(Run("(XPhPIDStep q 0.1)"), "2.000000\n");
    Run("(XPhPIDSetTarget q 100)");
    EXPECT_EQ(Run("(XPhPIDStep q 0.1)"), "3.000000\n");
}

TEST(PIDObject, DamagedSavedObjectIsRefused)
{
    LispInitialize();
    ZevEngineRegisterPID();
    TZevMemStream stream;
    const float one = 1.0f;
    ASSERT_TRUE(WriteFloat(&stream, &one));
    ASSERT_TRUE(WriteFloat(&stream, &one));
    stream.Seek(0);
    void* slot = &stream;
    EXPECT_EQ(TZevLispPIDObj_LoadFunction(nullptr, &stream, &slot), 0);
    EXPECT_EQ(slot, nullptr);
}

} // namespace
