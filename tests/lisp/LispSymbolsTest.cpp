// Symbol table, interning, builtin registration, binding and the argument routines.
#include "LispTestHost.h"

namespace {

int gHeldSeen = -1;

// Leaves two held values behind, as argument parsing of wrapped objects does.
void LeaveHeldValues(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    for (int i = 0; i < 2; ++i) {
        TZevLispRef v;
        LispMakeInteger(v, i);
        interp->HeldValues.PushFront(v);
        ++interp->HeldDepth;
    }
    gHeldSeen = interp->HeldValues.GetCount();
    result = T;
}

} // namespace

using LispSymbols = LispHostTest;

TEST_F(LispSymbols, NamesWithTheSameByteSumShareABucketAndStayApart)
{
    TZevLispRef ab, ba, ab2;
    LispIntern(ab, "ab");
    LispIntern(ba, "ba");
    LispIntern(ab2, "ab");
    EXPECT_NE(ab, ba);
    EXPECT_EQ(ab, ab2);
    EXPECT_TRUE(LispIsAtom(ab));
    EXPECT_EQ(LispAtom(ab)->ValuePtr(), nullptr);
}

TEST_F(LispSymbols, BuiltinNamesReadAsTheFunctionItself)
{
    TZevLispRef car, found;
    LispIntern(car, "car");
    LispFindBuiltin(found, "car");
    EXPECT_TRUE(LispIsFunc(car));
    EXPECT_EQ(car, found);
    LispFindBuiltin(found, "no-such-builtin");
    EXPECT_EQ(found, Nil);
    EXPECT_EQ(Run("car"), "car\n");
}

TEST_F(LispSymbols, SelfValuedAtomsAndGlobals)
{
    TZevLispRef a;
    LispInternWithSelfValue(a, "selfish");
    ASSERT_NE(LispAtom(a)->ValuePtr(), nullptr);
    EXPECT_EQ(Run("selfish t nil"), "selfish\nt\nnil\n");
    TZevLispRef v;
    LispAtom(NilAtom)->GetValue(v);
    EXPECT_EQ(v, Nil);
}

TEST_F(LispSymbols, BindAndUnbindRestorePreviousValues)
{
    EXPECT_EQ(Run("(def p 1) (def q 2)"), "p\nq\n");
    TZevLispRef params, values, p, q, r, ten, twenty;
    LispIntern(p, "p");
    LispIntern(q, "q");
    LispIntern(r, "r");
    LispMakeInteger(ten, 10);
    LispMakeInteger(twenty, 20);
    LispCons(params, r, Nil);
    LispCons(params, q, params);
    LispCons(params, p, params);
    LispCons(values, twenty, Nil);
    LispCons(values, ten, values);
    EXPECT_EQ(host->Bind(params, values), 2);
    EXPECT_EQ(Run("(list p q)"), "(10 20)\n");
    EXPECT_EQ(LispAtom(r)->ValuePtr(), nullptr);
    host->Unbind(2);
    EXPECT_EQ(Run("(list p q)"), "(1 2)\n");
    EXPECT_TRUE(host->Bindings.IsEmpty());
}

TEST_F(LispSymbols, HeldValuesLeftByABuiltinAreReleasedWhenItReturns)
{
    LispRegisterBuiltin(LeaveHeldValues, "LeaveHeldValuesForTest");
    EXPECT_EQ(Run("(LeaveHeldValuesForTest)"), "t\n");
    EXPECT_EQ(gHeldSeen, 2);
    EXPECT_EQ(host->HeldDepth, 0);
    EXPECT_TRUE(host->HeldValues.IsEmpty());
    EXPECT_EQ(Run("(LeaveHeldValuesForTest . 5)"), "Error: Bad Variable Type!\n   in \"(LeaveHeldValuesForTest . 5)\"\n\n");
}

TEST_F(LispSymbols, ArgumentRoutines)
{
    TZevLispRef one, two, list, arg, check;
    LispMakeInteger(one, 1);
    LispMakeInteger(two, 2);
    LispCons(list, two, Nil);
    LispCons(list, one, list);
    LispFirstArg(arg, list);
    EXPECT_EQ(arg, one);
    LispCheckNoMoreArgs(check, list);
    EXPECT_TRUE(LispIsError(check));
    LispPopArg(arg, list);
    EXPECT_EQ(arg, two);
    LispCheckNoMoreArgs(check, list);
    EXPECT_EQ(check, Nil);
    LispPopArg(arg, list);
    EXPECT_EQ(arg->ToString().CStr(), std::string("Error: Too Few Arguments!\n"));
    LispCheckNoArgs(check, Nil);
    EXPECT_EQ(check, Nil);
    LispCons(list, one, Nil);
    LispCheckNoArgs(check, list);
    EXPECT_EQ(check->ToString().CStr(), std::string("Error: Too Many Arguments!\n"));
}
