// Script 3D objects: the builtins that make and set them, and their motion step.
#include "QE3DObjects.h"

#include "EngineTestHost.h"

#include "LispGeneral.h"
#include "LispLSObj.h"
#include "Zev3DG2R.h"
#include "ZevBillBoard.h"
#include "QEInit.h"
#include "ZevFrame.h"
#include "QEContext.h"
#include "qe.h"
#include "ZevLisp.h"
#include "ZevXFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

namespace {

class Lisp3DObjTest : public EngineTest {
protected:
    // The 3D object held by a script variable.
    TZevLisp3DObj* Object(const char* variable)
    {
        TZevLispRef atom, value;
        LispIntern(atom, variable);
        LispAtom(atom)->GetValue(value);
        if (!LispIsLSObj(value))
            return nullptr;
        return static_cast<TZevLisp3DObj*>(LispLSObj(value)->Object);
    }
    static int ChildCount(TZevVTree* node)
    {
        int n = 0;
        for (TZevVTree* c = node->GetFirstChild(); c; c = c->GetNextSibling())
            ++n;
        return n;
    }
};

TEST_F(Lisp3DObjTest, BuiltinsCheckTheirArguments)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(def o (CreateEmptyFrame))", "o\n"},
        {"o", "<LSObj TZevLisp3DObj>\n"},
        {"(SetPosition o 1.0 2.0 3.0)", "nil\n"},
        {"(SetVelocity o 1.0 2.0 3.0)", "nil\n"},
        {"(SetRotation o 0.0 1.0 0.0)", "nil\n"},
        {"(SetPosition o 1 2.0 3.0)", "Error: Bad Variable Type!\n   in \"(SetPosition o 1 2.000000 3.000000)\"\n\n"},
        {"(SetPosition 5 1.0 2.0 3.0)",
         "Error: Bad Variable Type!\n   in \"(SetPosition 5 1.000000 2.000000 3.000000)\"\n\n"},
        {"(SetVelocity o 1.0 2.0)", "Error: Too Few Arguments!\n   in \"(SetVelocity o 1.000000 2.000000)\"\n\n"},
        {"(SetRotation o 1.0 2.0 3.0 4.0)",
         "Error: Too Many Arguments!\n   in \"(SetRotation o 1.000000 2.000000 3.000000 4.000000)\"\n\n"},
        {"(SetPosition (car 1) 1.0 2.0 3.0)", "Error: Bad Variable Type!\n   in \"(car 1)\"\n   in "
                                              "\"(SetPosition (car 1) 1.000000 2.000000 3.000000)\"\n\n"},
        {"(CreateEmptyFrame 1)", "Error: Too Many Arguments!\n   in \"(CreateEmptyFrame 1)\"\n\n"},
        {"(LoadXObj)", "Error: Too Few Arguments!\n   in \"(LoadXObj)\"\n\n"},
        {"(LoadXObj 5)", "Error: Bad Variable Type!\n   in \"(LoadXObj 5)\"\n\n"},
        // An unreadable file makes nothing; an object of another class is left alone.
        {"(LoadXObj \"no-such-file.x\")", "nil\n"},
        {"(def s (CreateZevLispObj \"TZevStringTree\"))", "s\n"},
        {"(SetVelocity s 1.0 2.0 3.0)", "nil\n"},
        {"(SetPosition (CreateZevLispObj \"NoSuchClass\") 1.0 2.0 3.0)", "nil\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
    TZevLisp3DObj* o = Object("o");
    ASSERT_NE(o, nullptr);
    ASSERT_NE(o->Frame, nullptr);
    EXPECT_FLOAT_EQ(o->Frame->LocalMatrix.m[12], 1.0f);
    EXPECT_FLOAT_EQ(o->Frame->LocalMatrix.m[14], 3.0f);
    EXPECT_FLOAT_EQ(o->Velocity.z, 3.0f);
    EXPECT_FLOAT_EQ(o->Rotation.y, 1.0f);
}

TEST_F(Lisp3DObjTest, LoadXObjReadsTheFrameTreeAndObjectsLiveWithTheirValues)
{
    const int before = ChildCount(GetLisp3DObjRoot());
    EXPECT_EQ(Run("(def a (LoadXObj \"" QE_DATA_DIR "/lbox.x\"))"), "a\n");
    TZevLisp3DObj* a = Object("a");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->Frame, nullptr);
    EXPECT_EQ(a->GetParent(), GetLisp3DObjRoot());
    EXPECT_EQ(ChildCount(GetLisp3DObjRoot()), before + 1);
    // Releasing the last script value destroys the object and leaves the root.
    Run("(def a nil)");
    EXPECT_EQ(ChildCount(GetLisp3DObjRoot()), before);
}

TEST_F(Lisp3DObjTest, MoveAppliesVelocityPerCallAndRotationTimesDt)
{
    EXPECT_EQ(Run("(def m (CreateEmptyFrame))"), "m\n");
    TZevLisp3DObj* m = Object("m");
    ASSERT_NE(m, nullptr);
    m->Move(0.5f); // a fresh object does not move
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m->Frame->LocalMatrix.m[i], IdentityMatrix.m[i]);

    Run("(SetVelocity m 1.0 0.0 0.0)");
    m->Move(0.01f);
    m->Move(0.25f);
    EXPECT_FLOAT_EQ(m->Frame->LocalMatrix.m[12], 2.0f); // the velocity is a displacement per call

    // A quarter turn about y in one call of dt 1: the x axis turns to -z; the position turns with it.
    Run("(SetVelocity m 0.0 0.0 0.0)");
    Run("(SetRotation m 0.0 1.5707963 0.0)");
    m->Move(1.0f);
    const float* e = m->Frame->LocalMatrix.m;
    EXPECT_NEAR(e[0], 0.0f, 1e-6f);
    EXPECT_NEAR(e[2], -1.0f, 1e-6f);
    EXPECT_NEAR(e[12], 2.0f, 1e-6f); // R x T x local: the local translation is kept
    // SetPosition replaces the whole matrix by a translation.
    Run("(SetPosition m 4.0 5.0 6.0)");
    const TZevMatrix expected = ZevMatTranslation(4.0f, 5.0f, 6.0f);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(e[i], expected.m[i]) << i;

    // Accelerations feed the velocity and rotation first.
    m->Rotation = TZevVector();
    m->Acceleration = TZevVector(0.0f, 2.0f, 0.0f);
    m->Move(0.5f);
    EXPECT_FLOAT_EQ(m->Velocity.y, 1.0f);
    EXPECT_FLOAT_EQ(e[13], 6.0f);
}

TEST_F(Lisp3DObjTest, TestBuiltinWritesTheBoxBackOut)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::remove("lbox20.x", error);
    EXPECT_EQ(Run("(ZevLisp3DTest1)"), "nil\n"); // nothing to read yet: nothing written
    EXPECT_FALSE(fs::exists("lbox20.x"));
    fs::create_directories("objects", error);
    fs::copy_file(QE_DATA_DIR "/lbox.x", "objects/lbox.x", fs::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error);
    EXPECT_EQ(Run("(ZevLisp3DTest1 1)"), "Error: Too Many Arguments!\n   in \"(ZevLisp3DTest1 1)\"\n\n");
    EXPECT_EQ(Run("(ZevLisp3DTest1)"), "nil\n");
    TZevFrame* back = ZevLoadXFile("lbox20.x");
    ASSERT_NE(back, nullptr);
    back->Release();
}

TEST_F(Lisp3DObjTest, BillboardTestBuiltinHangsAFrameUnderTheRoot)
{
    EXPECT_EQ(Run("(ZevLisp3DTest0)"), "nil\n"); // no root frame: nothing made
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    const int before = ChildCount(RootFrame);
    EXPECT_EQ(Run("(ZevLisp3DTest0)"), "nil\n");
    ASSERT_EQ(ChildCount(RootFrame), before + 1);
    auto* frame = static_cast<TZevFrame*>(RootFrame->GetLastChild());
    ASSERT_FALSE(frame->Visuals.IsEmpty());
    auto* board = dynamic_cast<TZevLBillBoard*>(static_cast<TZevVMesh*>(frame->Visuals.First()->data));
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->RecordCount, 1);
    EXPECT_STREQ(board->Texture->Name.CStr(), "blue.BMP");
    QE_PhOnlyFinal();
}

} // namespace
