// The engine-object wrapper TZevLispLSObj and its builtins "IsZevLispObj" and "CreateZevLispObj".
#include "LispTestHost.h"

#include "LispGeneral.h"
#include "LispLSObj.h"
#include "ZevTree.h"

#include <string>

namespace {

class LispWrapper : public LispHostTest {
protected:
    void SetUp() override
    {
        LispHostTest::SetUp();
        LispRegisterOuterParts();
    }
};

TEST_F(LispWrapper, PrintsTheClassOfItsObject)
{
    TZevLispRef w;
    TZevLispLSObj::New(w);
    EXPECT_STREQ(w->ToString().CStr(), "");
    TZevLSObj* tree = CreateObjectByName("TZevStringTree");
    ASSERT_NE(tree, nullptr);
    LispLSObj(w)->AdoptObject(tree);
    EXPECT_STREQ(w->ToString().CStr(), "<LSObj TZevStringTree>");
    host->SendCommand("");
    w->Print(host);
    EXPECT_STREQ(host->GetAnswer(), "<LSObj TZevStringTree>");
}

TEST_F(LispWrapper, Builtins)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(def w (CreateZevLispObj \"TZevStringTree\"))", "w\n"},
        {"w", "<LSObj TZevStringTree>\n"},
        {"(IsZevLispObj w \"TZevStringTree\")", "t\n"},
        {"(IsZevLispObj w \"TZevTree\")", "nil\n"}, // no test of base classes
        {"(IsZevLispObj w \"tzevstringtree\")", "nil\n"},
        {"(IsZevLispObj (CreateZevLispObj \"NoSuchClass\") \"NoSuchClass\")", "nil\n"},
        {"(CreateZevLispObj \"NoSuchClass\")", "\n"}, // a wrapper without an object prints nothing
        {"(IsZevLispObj 5 \"TZevTree\")", "Error: Bad Argument!\n   in \"(IsZevLispObj 5 \"TZevTree\")\"\n\n"},
        {"(CreateZevLispObj 5)", "Error: Bad Variable Type!\n   in \"(CreateZevLispObj 5)\"\n\n"},
        {"(CreateZevLispObj \"TZevTree\" 1)",
         "Error: Too Many Arguments!\n   in \"(CreateZevLispObj \"TZevTree\" 1)\"\n\n"},
        {"(CreateZevLispObj (car 1))",
         "Error: Bad Variable Type!\n   in \"(car 1)\"\n   in \"(CreateZevLispObj (car 1))\"\n\n"},
        {"(CreateZevLispObj)", "Error: Too Few Arguments!\n   in \"(CreateZevLispObj)\"\n\n"},
        // Script values are made by the interpreter only, never wrapped as engine objects.
        {"(CreateZevLispObj \"TZevPair\")", "\n"},
        {"(CreateZevLispObj \"TZevLispLSObj\")", "\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispWrapper, OwnsOneReferenceAndComesBackFromItsPoolEmpty)
{
    TZevLSObj* object = CreateObjectByName("TZevStringTree");
    ASSERT_NE(object, nullptr);
    object->AddRef(); // the test's own hold, to watch the count
    TZevLispLSObj* first;
    {
        TZevLispRef w;
        LispMakeLSObj(w, object, reinterpret_cast<TZevRefReader>(1), reinterpret_cast<TZevRefWriter>(2));
        first = LispLSObj(w);
        object->Release(); // the creator's reference: the wrapper and the test hold it now
        EXPECT_EQ(object->GetRefCount(), 2);
        LispLSObj(w)->SetObject(object); // the same object again changes nothing
        EXPECT_EQ(object->GetRefCount(), 2);
    }
    EXPECT_EQ(object->GetRefCount(), 1); // released once by the wrapper
    TZevLispRef again;
    TZevLispLSObj::New(again);
    ASSERT_EQ(LispLSObj(again), first);
    // No object, and no named functions that would save another object with this one's writer.
    EXPECT_EQ(LispLSObj(again)->Object, nullptr);
    EXPECT_EQ(LispLSObj(again)->LoadFunction, nullptr);
    EXPECT_EQ(LispLSObj(again)->SaveFunction, nullptr);
    object->Release();
}

} // namespace
