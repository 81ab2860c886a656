// Billboard particle emitters: emission, stepping and the builtins that attach and feed them.
#include "QEParticles.h"
#include "test_camera_fixture.h"

#include "QEBodies.h"

#include <cmath>
#include <cstdlib>

namespace {

class EmitterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevEngineInit();
        std::srand(1);
    }
    TZevParticleEmission Still(float life = 10.0f)
    {
        TZevParticleEmission e;
        e.Centre = TZevVector(1.0f, 2.0f, 3.0f);
        e.Size = 2.0f;
        e.Life = life;
        e.Alpha = 0.5f;
        e.Red = 0.25f;
        return e;
    }
    TZevBBParticle emitter;
};

TEST_F(EmitterTest, ResizeHidesEveryRecordAndAnEmptyEmitterEmitsNothing)
{
    emitter.Emit(Still(), 3); // no records yet: nothing happens
    ASSERT_TRUE(emitter.Resize(4));
    EXPECT_EQ(emitter.RecordCount, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(emitter.Records[i].Enabled, 0);
    emitter.Emit(Still(), 0);
    emitter.Emit(Still(), -2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(emitter.Records[i].Enabled, 0);
    EXPECT_FALSE(emitter.Resize(-1));
    EXPECT_EQ(emitter.RecordCount, 0);
    emitter.Emit(Still(), 3);
    emitter.Advance(0.1f);
}

TEST_F(EmitterTest, EmissionWrapsAndRestartsTheOldest)
{
    ASSERT_TRUE(emitter.Resize(3));
    emitter.Emit(Still(), 2);
    EXPECT_EQ(emitter.Cursor, 2);
    const TZevLBillBoardRecord& r = emitter.Records[0];
    EXPECT_EQ(r.Enabled, 1);
    EXPECT_FLOAT_EQ(r.X, 1.0f); // no spread: the centre itself
    EXPECT_FLOAT_EQ(r.Z, 3.0f);
    EXPECT_FLOAT_EQ(r.Size, 2.0f);
    EXPECT_FLOAT_EQ(r.Alpha, 0.5f);
    EXPECT_FLOAT_EQ(r.Red, 0.25f);
    TZevParticleEmission other = Still();
    other.Centre = TZevVector(-5.0f, 0.0f, 0.0f);
    emitter.Emit(other, 2); // records 2 and then 0 again
    EXPECT_EQ(emitter.Cursor, 1);
    EXPECT_FLOAT_EQ(emitter.Records[2].X, -5.0f);
    EXPECT_FLOAT_EQ(emitter.Records[0].X, -5.0f);
    EXPECT_FLOAT_EQ(emitter.Records[1].X, 1.0f);

    // Spreads stay within their bounds.
    TZevParticleEmission spread = Still();
    spread.PositionSpread = 0.5f;
    spread.SizeSpread = 1.0f;
    emitter.Emit(spread, 30);
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(std::fabs(emitter.Records[i].Y - 2.0f), 0.5f);
        EXPECT_LE(std::fabs(emitter.Records[i].Size - 2.0f), 1.0f);
    }
}

TEST_F(EmitterTest, StepMovesFadesGrowsAndExpires)
{
    ASSERT_TRUE(emitter.Resize(3));
    TZevParticleEmission e = Still();
    e.Velocity = TZevVector(1.0f, 0.0f, 0.0f);
    e.AlphaRate = -1.0f; // 0.5 - 1 x 1 would be below 0: held at 0
    e.RedRate = 1.0f;    // 0.25 + 1 stays at 1
    e.Growth = 0.5f;
    emitter.Emit(e, 1);
    TZevParticleEmission keep = Still();
    keep.Growth = 1.0f;
    emitter.Emit(keep, 1);
    emitter.Emit(Still(0.0f), 1); // life 0: hidden after the first update

    emitter.Advance(1.0f);
    const TZevLBillBoardRecord& moving = emitter.Records[0];
    EXPECT_FLOAT_EQ(moving.X, 2.0f);
    EXPECT_FLOAT_EQ(moving.Alpha, 0.0f);
    EXPECT_FLOAT_EQ(moving.Red, 1.0f);
    EXPECT_FLOAT_EQ(moving.Size, 1.0f); // halved in one second
    EXPECT_FLOAT_EQ(emitter.Records[1].Size, 2.0f);
    EXPECT_EQ(emitter.Records[2].Enabled, 0);

    // Drag against the motion and a constant force along y.
    ASSERT_TRUE(emitter.Resize(1));
    TZevParticleEmission pushed = Still();
    pushed.Velocity = TZevVector(2.0f, 0.0f, 0.0f);
    pushed.Drag = 0.5f;
    pushed.ConstantForce = TZevVector(0.0f, 3.0f, 0.0f);
    emitter.Emit(pushed, 1);
    emitter.Advance(0.5f);
    const TZevBBParticleItem& p = emitter.Particles[0];
    EXPECT_FLOAT_EQ(p.Velocity.x, 2.0f - 0.5f * 2.0f * 0.5f);
    EXPECT_FLOAT_EQ(p.Velocity.y, 1.5f);
}

using ParticleScriptTest = EngineScriptTest;

TEST_F(ParticleScriptTest, BuiltinsCheckTheirObjects)
{
    const std::string make = "(XPhMakeParticle s '(0 0 0) 0 '(0 1 0) 0 '(0 0 0) 0 '(1 1 1 1) '(0 0 0 0) 1 0 1 2 5)";
    RunCases<4>({
        {"(def s (CreateZevLispObj \"TZevStringTree\"))", "s\n"},
        {"(XPhBodySetParticle s \"smoke\" \"smoke.bmp\" 8)", "nil\n"},
        {"(XPhBodySetParticle s \"smoke\" 8 8)", "Error: Bad Argument!\n   in \"(XPhBodySetParticle s \"smoke\" 8 8)\"\n\n"},
        {"(XPhMakeParticle s)", "Error: Bad Argument!\n   in \"(XPhMakeParticle s)\"\n\n"},
    });
    EXPECT_EQ(Run(make), "nil\n"); // no view
    CurrentView = &view;
    EXPECT_EQ(Run(make), "nil\n"); // not a particle object
}

TEST_F(ParticleScriptTest, EmitterFollowsItsBodyAndGoesWithIt)
{
    CurrentView = &view;
    Run("(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
    RunCases<6>({
        {"(XPhBodySetParticle b \"smoke\" \"blue.BMP\" 0)", "nil\n"}, // a count below 1 makes no emitter
        {"(XPhBodySetParticle b \"smoke\" \"blue.BMP\" -3)", "nil\n"},
        {"(def e (XPhBodySetParticle b \"smoke\" \"blue.BMP\" 4))", "e\n"},
        {"e", "<LSObj TZevLispBBParticle>\n"},
        {"(XPhMakeParticle e '(0 0 0) 0 '(0 1 0) 0 '(0 0 0) 0 '(1 1 1 1) '(0 0 0 0) 1 0 1 2 0)", "t\n"},
        {"(XPhMakeParticle e '(0 0 0) 0 '(0 1 0) 0 '(0 0 0) 0 '(1 1 1 1) '(0 0 0 0) 1 0 1 2 6)", "t\n"},
    });
    auto* object = dynamic_cast<TZevLispBBParticle*>(Object("e"));
    ASSERT_NE(object, nullptr);
    ASSERT_NE(object->Item, nullptr);
    TZevBBParticle* emitter = object->Item->Emitter;
    ASSERT_NE(emitter, nullptr);
    EXPECT_EQ(emitter->RecordCount, 4);
    EXPECT_EQ(emitter->Cursor, 2); // six emitted into four records
    EXPECT_EQ(emitter->BillboardFlag, 1);
    EXPECT_STREQ(emitter->Texture->Name.CStr(), "blue.BMP");
    TZevGameChara* body = QEScriptBody(Object("b"));
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->FindCFuncItem("smoke"), object->Item);

    // Each world step moves the particles by the step (velocity 1 upwards, no gravity on them).
    const float y0 = emitter->Records[0].Y;
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_NEAR(emitter->Records[0].Y, y0 + 0.02f, 1e-6f);
    EXPECT_EQ(emitter->Placement.m[13], body->GetMatrix().m[13]);

    // The body goes first: the object keeps no item, and the builtins answer nil.
    Run("(DeleteXPhBody b)");
    EXPECT_EQ(object->Item, nullptr);
    EXPECT_EQ(Run("(XPhMakeParticle e '(0 0 0) 0 '(0 1 0) 0 '(0 0 0) 0 '(1 1 1 1) '(0 0 0 0) 1 0 1 2 1)"), "nil\n");

    // The object goes first: its item leaves the body.
    Run("(def c (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
    Run("(def f (XPhBodySetParticle c \"spark\" \"blue.BMP\" 2))");
    TZevGameChara* other = QEScriptBody(Object("c"));
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other->FindCFuncItem("spark"), nullptr);
    Run("(def f nil)");
    EXPECT_EQ(other->FindCFuncItem("spark"), nullptr);
    ASSERT_EQ(QE_PhOnlyStep(), 1);
}

TEST_F(ParticleScriptTest, EmittersTravelWithSavedBodies)
{
    CurrentView = &view;
    Run("(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
    ASSERT_EQ(Run("(def e (XPhBodySetParticle b \"smoke\" \"blue.BMP\" 5))"), "e\n");
    QE_XPhBody* body = QEBodyHandle(QEScriptBody(Object("b")));
    ASSERT_EQ(QE_XPhBodySaveToFile(body, "smoky.body"), 1);
    QE_XPhBody* copy = QE_XPhBodyLoadFromFile("smoky.body");
    ASSERT_NE(copy, nullptr);
    TZevGameChara* loaded = QEBody(copy);
    ASSERT_NE(loaded, nullptr);
    auto* item = dynamic_cast<TZevGCParticleCFuncLI*>(loaded->FindCFuncItem("smoke"));
    ASSERT_NE(item, nullptr);
    ASSERT_NE(item->Emitter, nullptr);
    EXPECT_EQ(item->Emitter->RecordCount, 5);
    EXPECT_STREQ(item->Emitter->Texture->Name.CStr(), "blue.BMP");
    EXPECT_EQ(item->Function, &ZevXPhBodyParticleCFunc);
    // Its first step shows it in the loaded body's frame.
    ASSERT_EQ(QE_XPhBodyAddToWorld(copy), 1);
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(item->Emitter->ShownIn, loaded->visualFrame);
    EXPECT_EQ(QE_DeleteXPhBody(copy), 1);
}

} // namespace
