// Argument marshalling: LispParseArgs and LispMakeResult with their format strings, and their test builtins.
#include "LispTestHost.h"

#include "LispArgs.h"
#include "LispGeneral.h"
#include "LispLSObj.h"
#include "LispSaveText.h"

#include <string>

namespace {

class LispArgs : public LispHostTest {
protected:
    void SetUp() override
    {
        LispHostTest::SetUp();
        LispRegisterOuterParts();
    }

    // The argument forms of a call, as a builtin receives them (unevaluated).
    TZevLispRef Forms(const char* text)
    {
        TZevLispRef forms;
        EXPECT_TRUE(LispReadQuotedDatum(host, text, forms)) << text;
        return forms;
    }

    std::string Text(const TZevLispRef& v) { return v.IsNull() ? "NULL" : v->ToString().CStr(); }
    std::string ArgErrorText() { return Text(host->ArgError); }
};

TEST_F(LispArgs, NumbersConvertByLetter)
{
    struct Case {
        const char* forms;
        std::int32_t i;
        double f;
    } cases[] = {
        {"(3.9 2)", 3, 2.0},
        {"(-3.9 2)", -3, 2.0},
        {"(7 0.5)", 7, 0.5},
        {"((+ 1 2) (* 2 1.5))", 3, 3.0}, // top-level forms are evaluated
        {"((* 100000.0 100000.0) 1)", 2147483647, 1.0}, // beyond the range: the nearest end, never undefined
    };
    for (const Case& c : cases) {
        std::int32_t i = -99;
        double f = -99;
        TZevLispRef forms = Forms(c.forms);
        ASSERT_EQ(LispParseArgs(host, &forms, "if", &i, &f), 1) << c.forms;
        EXPECT_EQ(i, c.i) << c.forms;
        EXPECT_EQ(f, c.f) << c.forms;
    }
    float g = 0;
    TZevLispRef forms = Forms("(0.25)");
    ASSERT_EQ(LispParseArgs(host, &forms, "f", &g), 1);
    EXPECT_EQ(g, 0.25f);
}

TEST_F(LispArgs, CountsAndKindsThatDoNotFitFail)
{
    struct Case {
        const char* format;
        const char* forms;
    } cases[] = {
        {"ii", "(1)"},               // too few
        {"(fff)", "((list 1 2))"},   // nested list too short
        {"(fff)", "((list 1 2 3 4))"}, // nested list too long
        {"(fff)", "(5)"},            // not a list
        {"i", "(\"a\")"},
        {"s", "(1)"},
        {"o", "(1)"},
        {"x", "(1)"}, // a letter outside the table
        {")", "()"},  // closes no list
    };
    for (const Case& c : cases) {
        double a = 0, b = 0, d = 0;
        TZevLispRef forms = Forms(c.forms);
        host->ArgError.Clear();
        int ok;
        if (c.format[0] == '(')
            ok = LispParseArgs(host, &forms, c.format, &a, &b, &d);
        else if (c.format[0] == 'i')
            ok = LispParseArgs(host, &forms, c.format, reinterpret_cast<std::int32_t*>(&a),
                               reinterpret_cast<std::int32_t*>(&b));
        else if (c.format[0] == 's') {
            TZevString s;
            ok = LispParseArgs(host, &forms, c.format, &s);
        } else if (c.format[0] == 'o') {
            TZevLSObj* o = nullptr;
            ok = LispParseArgs(host, &forms, c.format, &o);
        } else
            ok = LispParseArgs(host, &forms, c.format, &a);
        EXPECT_EQ(ok, 0) << c.format << " " << c.forms;
        EXPECT_EQ(ArgErrorText(), "Error: Bad Argument!\n") << c.format << " " << c.forms;
    }
    TZevLispRef forms = Forms("((list 1 2 3))");
    double a, b, d;
    EXPECT_EQ(LispParseArgs(host, &forms, "(fff)", &a, &b, &d), 1);
    EXPECT_EQ(d, 3.0);
}

TEST_F(LispArgs, VariablesOfAnotherKindThanTheirLetterFail)
{
    // The typed form catches what C varargs could not: a double* offered for an i, a missing variable.
    double d = 0;
    TZevLispRef forms = Forms("(1 2)");
    EXPECT_EQ(LispParseArgs(host, &forms, "i", &d), 0);
    EXPECT_EQ(ArgErrorText(), "Error: Bad Argument!\n");
    std::int32_t i = 0;
    EXPECT_EQ(LispParseArgs(host, &forms, "ii", &i), 0);
}

TEST_F(LispArgs, ArgumentsBeyondTheFormatAreNeverEvaluated)
{
    std::int32_t a = 0, b = 0;
    TZevLispRef forms = Forms("(1 2 (def sideEffect 1))");
    EXPECT_EQ(LispParseArgs(host, &forms, "ii", &a, &b), 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(Run("sideEffect"), "Error: Unbound Variable: sideEffect\n   in \"sideEffect\"\n\n");
}

TEST_F(LispArgs, AFailingArgumentStopsTheParseWithItsOwnError)
{
    std::int32_t a = 0, b = 0;
    TZevLispRef forms = Forms("((car 5) (def later 1))");
    EXPECT_EQ(LispParseArgs(host, &forms, "ii", &a, &b), 0);
    EXPECT_EQ(ArgErrorText(), "Error: Bad Variable Type!\n   in \"(car 5)\"\n");
    EXPECT_EQ(Run("later"), "Error: Unbound Variable: later\n   in \"later\"\n\n");
}

TEST_F(LispArgs, ElementsOfNestedListsAreTakenAsTheyAre)
{
    TZevLispRef a, b;
    std::int32_t i = 0;
    TZevLispRef forms = Forms("('(x (car 5)) 4)");
    ASSERT_EQ(LispParseArgs(host, &forms, "(ll)i", &a, &b, &i), 1);
    EXPECT_EQ(Text(a), "x");
    EXPECT_EQ(Text(b), "(car 5)");
    EXPECT_EQ(i, 4);
    // "()" accepts any value that is not a list; a "(" left open ends the parse.
    forms = Forms("(5)");
    EXPECT_EQ(LispParseArgs(host, &forms, "()"), 1);
    forms = Forms("('(1 2))");
    EXPECT_EQ(LispParseArgs(host, &forms, "(i", &i), 1);
    EXPECT_EQ(i, 1);
}

TEST_F(LispArgs, WrappedObjectsStayHeldWhileTheBuiltinRuns)
{
    TZevLSObj* object = CreateObjectByName("TZevLSObj");
    ASSERT_NE(object, nullptr);
    TZevLispRef wrapper;
    LispMakeLSObj(wrapper, object);
    object->Release(); // the wrapper is its only holder now
    TZevLispRef forms;
    LispCons(forms, wrapper, Nil);
    TZevLSObj* got = nullptr;
    const int depth = host->HeldDepth;
    ASSERT_EQ(LispParseArgs(host, &forms, "o", &got), 1);
    EXPECT_EQ(got, object);
    EXPECT_EQ(host->HeldDepth, depth + 1);
    TZevLispRef held;
    host->HeldValues.PopFront(held);
    --host->HeldDepth;
    EXPECT_EQ(held, wrapper);
    // Through a builtin call the held wrapper is let go when the builtin returns.
    host->HeldValues.Clear();
    EXPECT_EQ(Run("(def w (CreateZevLispObj \"TZevLSObj\")) (IsZevLispObj w \"TZevLSObj\")"), "w\nt\n");
    EXPECT_EQ(host->HeldDepth, depth);
    EXPECT_TRUE(host->HeldValues.IsEmpty());
}

TEST_F(LispArgs, ResultsAreBuiltInFormatOrder)
{
    EXPECT_EQ(Text(LispMakeResult(host, "if(fif)f", 1, 2.0, 3.0, 4, 5.0, 6.0)),
              "(1 2.000000 (3.000000 4 5.000000) 6.000000)");
    EXPECT_EQ(Text(LispMakeResult(host, "f", 0.5)), "0.500000");
    EXPECT_EQ(Text(LispMakeResult(host, "(fff)", 1.0f, 2.0, 3)), "(1.000000 2.000000 3.000000)");
    EXPECT_EQ(Text(LispMakeResult(host, "fff", 1.0, 2.0, 3.0)), "(1.000000 2.000000 3.000000)");
    EXPECT_EQ(Text(LispMakeResult(host, "((fff)(fff))", 1, 2, 3, 4, 5, 6)),
              "((1.000000 2.000000 3.000000) (4.000000 5.000000 6.000000))");
    EXPECT_EQ(Text(LispMakeResult(host, "s", "ab")), "\"ab\"");
    EXPECT_EQ(Text(LispMakeResult(host, "i", 2.9)), "2");
    EXPECT_EQ(LispMakeResult(host, "l", Nil), Nil);
    TZevLispRef a;
    LispMakeInteger(a, 7);
    EXPECT_EQ(Text(LispMakeResult(host, "(llll)", a, Nil, a, T)), "(7 nil 7 t)");
}

TEST_F(LispArgs, FormatsThatDoNotMatchTheirValuesGiveUnknownFormat)
{
    const std::string unknown = "Error: Unknown Format!\n";
    EXPECT_EQ(Text(LispMakeResult(host, "x", 1)), unknown);
    EXPECT_EQ(Text(LispMakeResult(host, "i", "text")), unknown); // wrong kind
    EXPECT_EQ(Text(LispMakeResult(host, "ii", 1)), unknown);     // too few values
    EXPECT_EQ(Text(LispMakeResult(host, "i", 1, 2)), unknown);   // too many
    EXPECT_EQ(Text(LispMakeResult(host, "i)", 1)), unknown);     // closes no list
    EXPECT_EQ(Text(LispMakeResult(host, "l", 1)), unknown);      // a number is no value
}

TEST_F(LispArgs, WrappingAnObjectAddsAReference)
{
    TZevLSObj* object = CreateObjectByName("TZevLSObj");
    ASSERT_NE(object, nullptr);
    {
        TZevLispRef w = LispMakeResult(host, "o", object);
        ASSERT_TRUE(LispIsLSObj(w));
        EXPECT_EQ(LispLSObj(w)->Object, object);
        EXPECT_EQ(object->GetRefCount(), 2);
    }
    EXPECT_EQ(object->GetRefCount(), 1);
    object->Release();
}

TEST_F(LispArgs, TestBuiltins)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(ArgParseReadFuncTest 3.9 2)", "(3 2.000000)\n"},
        {"(ArgParseReadFuncTest2 \"ab\")", "\"ab\"\n"},
        {"(ArgParseReadFuncTest3 1 (list 2 3 4) 5 6)", "(1 2.000000 (3.000000 4 5.000000) 6.000000)\n"},
        {"(ArgParseReadFuncTest4 'a 'b)", "(a b a b)\n"},
        {"(ArgParseReadFuncTest 1)", "Error: Bad Argument!\n   in \"(ArgParseReadFuncTest 1)\"\n\n"},
        {"(ArgParseReadFuncTest3 1 2 3 4)", "Error: Bad Argument!\n   in \"(ArgParseReadFuncTest3 1 2 3 4)\"\n\n"},
        {"(SetIntTest 5) (GetIntTest2) (SetIntTest2 6) (GetIntTest 1 2)", "t\n5\nt\n6\n"},
        {"(SetIntTest \"a\")", "Error: Bad Argument!\n   in \"(SetIntTest \"a\")\"\n\n"},
    };
    testing::internal::CaptureStdout();
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("i = 3\nf = 2.000000\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("i = ab\n"), std::string::npos) << printed;
}

} // namespace
