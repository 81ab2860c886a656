// Value classes, handles, pools and printed forms.
#include "LispTestHost.h"

#include <cmath>
#include <limits>

namespace {

std::string Printed(const TZevLispRef& v)
{
    TZevString s = v->ToString();
    return s.CStr() ? s.CStr() : "";
}

void MakeList(TZevLispRef& out, int n)
{
    out = Nil;
    for (int i = n - 1; i >= 0; --i) {
        TZevLispRef v;
        LispMakeInteger(v, i);
        LispCons(out, v, out);
    }
}

} // namespace

using LispValues = LispHostTest;

// The next value of the class is the one released last.
template <class T> bool TakeBack(TZevLispObj* target, TZevLispRef& out)
{
    T::New(out);
    return out.Get() == target;
}

TEST_F(LispValues, ReleasedValueGoesBackToItsPoolAndComesBackWithDefaults)
{
    TZevLispObj* first;
    {
        TZevLispRef s;
        TZevLispString::New(s);
        auto* str = static_cast<TZevLispString*>(s.Get());
        str->Text = "old";
        str->Quoted = 0;
        first = s.Get();
    }
    EXPECT_EQ(TZevLispString::Class.FreeTop(), first);
    TZevLispRef again;
    ASSERT_TRUE(TakeBack<TZevLispString>(first, again));
    auto* str = static_cast<TZevLispString*>(again.Get());
    EXPECT_EQ(str->Quoted, 1);
    EXPECT_TRUE(str->Text.IsNull());

    TZevLispObj* number;
    {
        TZevLispRef i;
        LispMakeInteger(i, 42);
        number = i.Get();
    }
    TZevLispRef j;
    ASSERT_TRUE(TakeBack<TZevLispInteger>(number, j));
    EXPECT_EQ(static_cast<TZevLispInteger*>(j.Get())->Value, 0);

    {
        TZevLispRef f;
        LispMakeFloat(f, 4.5);
        number = f.Get();
    }
    ASSERT_TRUE(TakeBack<TZevLispFloat>(number, j));
    EXPECT_EQ(static_cast<TZevLispFloat*>(j.Get())->Value, 0.0);

    {
        TZevLispRef a;
        TZevAtom::New(a);
        LispAtom(a)->SetName("gone");
        number = a.Get();
    }
    TZevLispRef b;
    ASSERT_TRUE(TakeBack<TZevAtom>(number, b));
    EXPECT_TRUE(LispAtom(b)->Name.IsNull());
}

TEST_F(LispValues, CountsFollowTheHolders)
{
    TZevLispRef a;
    LispMakeInteger(a, 1);
    EXPECT_EQ(a->GetRefCount(), 1);
    {
        TZevLispRef b = a;
        TZevLispRef c;
        c = b;
        EXPECT_EQ(a->GetRefCount(), 3);
        EXPECT_TRUE(b == a);
    }
    EXPECT_EQ(a->GetRefCount(), 1);
    a = a; // self-assignment keeps the value
    EXPECT_EQ(a->GetRefCount(), 1);
}

TEST_F(LispValues, PrintedForms)
{
    TZevLispRef one, two, x, q, inner;
    LispMakeInteger(one, 1);
    LispMakeInteger(two, 2);
    LispCons(q, one, two);
    EXPECT_EQ(Printed(q), "(1 . 2)");

    MakeList(q, 3);
    EXPECT_EQ(Printed(q), "(0 1 2)");

    LispIntern(x, "x");
    LispCons(inner, x, Nil);
    LispCons(q, LispQuoteFunc, inner);
    EXPECT_EQ(Printed(q), "'x");

    struct { double v; const char* text; } floats[] = {
        {0.1, "0.100000"}, {2.5, "2.500000"}, {-0.5, "-0.500000"}, {1e20, "100000002004087734272.000000"},
    };
    for (auto& f : floats) {
        TZevLispRef v;
        LispMakeFloat(v, f.v);
        EXPECT_EQ(Printed(v), f.text);
    }
    LispMakeInteger(one, -5);
    EXPECT_EQ(Printed(one), "-5");

    TZevLispRef s;
    LispMakeString(s, "a b", 1);
    EXPECT_EQ(Printed(s), "\"a b\"");
    LispMakeString(s, "a b", 0);
    EXPECT_EQ(Printed(s), "a b");
    EXPECT_EQ(Printed(Nil), "nil");

    TZevLispRef e;
    LispMakeError(e, "a\nb");
    EXPECT_EQ(Printed(e), "Error: a\nb\n");

    TZevLispRef empty;
    LispCons(q, one, empty);
    EXPECT_EQ(Printed(q), "(-5 NULL");
}

TEST_F(LispValues, FiniteFloatBeyondTheFloatRangeNeverPrintsAsInfinity)
{
    TZevLispRef v;
    LispMakeFloat(v, 1e300);
    const std::string text = Printed(v);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.substr(0, 4), "1000");
    LispMakeFloat(v, -1e39);
    EXPECT_EQ(Printed(v).find("inf"), std::string::npos);
    EXPECT_EQ(Printed(v).size(), 47u); // "-" and 39 digits, the point and six decimals
    LispMakeFloat(v, std::numeric_limits<double>::infinity());
    EXPECT_EQ(Printed(v), "inf");
}

TEST_F(LispValues, CyclicListsPrintWithoutEndlessLoop)
{
    TZevLispRef a, b, one, two;
    LispMakeInteger(one, 1);
    LispMakeInteger(two, 2);
    LispCons(b, two, Nil);
    LispCons(a, one, b);
    LispPair(b)->Cdr = a; // (1 2 1 2 ...
    EXPECT_EQ(Printed(a), "(1 2 . ...)");
    LispPair(b)->Cdr = Nil;
    LispPair(b)->Car = a; // (1 (1 (...
    EXPECT_EQ(Printed(a), "(1 ...)");
    LispPair(b)->Car = two;
    // A shared (not cyclic) sub-list prints in full each time.
    TZevLispRef shared;
    LispCons(shared, a, Nil);
    LispCons(shared, a, shared);
    EXPECT_EQ(Printed(shared), "((1 2) (1 2))");
}

TEST_F(LispValues, LongAndDeepListsAreReleasedWithoutRecursion)
{
    TZevLispRef list;
    MakeList(list, 1000000);
    EXPECT_EQ(Printed(list).size(), 6888891u);
    list.Clear();

    TZevLispRef deep = Nil;
    for (int i = 0; i < 1000000; ++i)
        LispCons(deep, deep, Nil);
    const std::string text = Printed(deep);
    EXPECT_EQ(text.size(), 2000003u);
    deep.Clear();
}

TEST_F(LispValues, CarCdrAndTruth)
{
    TZevLispRef one, p, r;
    LispMakeInteger(one, 1);
    LispCons(p, one, Nil);
    LispCar(r, p);
    EXPECT_EQ(r, one);
    LispCdr(r, p);
    EXPECT_EQ(r, Nil);
    LispCar(r, one);
    EXPECT_EQ(Printed(r), "Error: Bad Variable Type!\n");
    EXPECT_FALSE(LispIsTrue(Nil));
    EXPECT_FALSE(LispIsTrue(NilAtom));
    EXPECT_TRUE(LispIsTrue(one));
    EXPECT_TRUE(LispIsTrue(r));
}

TEST(LispShutdown, ValuesReleasedAfterTheInterpreterEndsAreDeleted)
{
    auto* host = new TZevLispTextInterpreter();
    host->Init();
    delete host;
    ASSERT_EQ(LispShutdownFlag, 1);
    const std::int32_t before = DeleteCount.load();
    {
        TZevLispRef v;
        LispMakeInteger(v, 3);
    }
    EXPECT_EQ(DeleteCount.load(), before + 1);
    TZevLispTextInterpreter again; // a new interpreter pools again
    EXPECT_EQ(LispShutdownFlag, 0);
}
