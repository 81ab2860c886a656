// Land objects, fog and background colour.
#include "QELand.h"
#include "test_camera_fixture.h"

#include "QEJoints.h"
#include "QEPicking.h"
#include "ZevLineMesh.h"
#include "ZevFrame.h"
#include "ZevLandCTree.h"
#include "ZevPhscs2World.h"

namespace {

using LandTest = EngineScriptTest;

TEST_F(LandTest, FogAndBackgroundNeedAView)
{
    RunCases<5>({
        {"(XPhFogEnable t)", "nil\n"},
        {"(XPhFogNear 5)", "nil\n"},
        {"(XPhFogFar 50)", "nil\n"},
        {"(XPhBgColor 1 2 3)", "nil\n"},
        {"(XPhBgColor 1 2)", "Error: Bad Argument!\n   in \"(XPhBgColor 1 2)\"\n\n"},
    });
    EXPECT_EQ(view.GetFogEnable(), 0);
    CurrentView = &view;
    RunCases<4>({
        {"(XPhFogEnable 'nil)", "t\n"}, // the atom nil is not nil itself: fog on
        {"(XPhFogNear 5)", "t\n"},
        {"(XPhFogFar 50.5)", "t\n"},
        {"(XPhFogNear \"x\")", "Error: Bad Argument!\n   in \"(XPhFogNear \"x\")\"\n\n"},
    });
    EXPECT_EQ(view.GetFogEnable(), 1);
    EXPECT_FLOAT_EQ(view.GetFogStart(), 5.0f);
    EXPECT_FLOAT_EQ(view.GetFogEnd(), 50.5f);
    Run("(XPhFogEnable nil)");
    EXPECT_EQ(view.GetFogEnable(), 0);

    struct Color {
        const char* text;
        std::uint32_t value;
    } colors[] = {
        {"(XPhBgColor 255 128 0)", 16744448u},
        {"(XPhBgColor 256 0 0)", 16777216u}, // red spills out of its byte
        {"(XPhBgColor 0 0 255)", 255u},
    };
    for (const Color& c : colors) {
        EXPECT_EQ(Run(c.text), "t\n") << c.text;
        EXPECT_EQ(view.GetBackgroundColor(), c.value) << c.text;
    }
}

class LandFileTest : public EngineScriptTest {
protected:
    void SetUp() override
    {
        EngineScriptTest::SetUp();
        QEAddObjectPath(QE_DATA_DIR "/objects/");
    }
    TZevLandCTree* Land(const char* variable)
    {
        auto* object = dynamic_cast<TZevLispLandObj*>(Object(variable));
        return object ? object->GetLand() : nullptr;
    }
    static int TopTrees()
    {
        int n = 0;
        for (TZevCTree* t = CurrentWorld->activeRoot->FirstChildTree(); t; t = t->NextSiblingTree())
            ++n;
        return n;
    }
};

TEST_F(LandFileTest, LoadPlaceAndColourALand)
{
    const int before = TopTrees();
    RunCases<4>({
        {"(XPhLoadLand \"no-such-map.bmp\" \"blue.BMP\")", "nil\n"},
        {"(XPhLoadLand \"blue.BMP\")", "Error: Bad Argument!\n   in \"(XPhLoadLand \"blue.BMP\")\"\n\n"},
        {"(def l (XPhLoadLand \"blue.BMP\" \"blue.BMP\"))", "l\n"}, // found through the second directory
        {"l", "<LSObj TZevLispLandObj>\n"},
    });
    TZevLandCTree* land = Land("l");
    ASSERT_NE(land, nullptr);
    EXPECT_EQ(TopTrees(), before + 1);
    EXPECT_EQ(land->Parent(), CurrentWorld->activeRoot);
    ASSERT_NE(land->visualFrame, nullptr);
    EXPECT_EQ(land->visualFrame->GetParent(), RootFrame);
    EXPECT_FLOAT_EQ(land->placement.m[0], 64.0f);
    EXPECT_FLOAT_EQ(land->placement.m[5], 128.0f);

    RunCases<6>({
        {"(SetXPhLandMat l '((1 0 0) (0 1 0) (0 0 1) (3 -2 1)))", "t\n"},
        {"(XPhLandSetVisualMaterial l '((1 0 0 1) (0 1 0 1) (0 0 1 1) 5))", "t\n"},
        {"(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))", "b\n"},
        {"(SetXPhLandMat b '((1 0 0) (0 1 0) (0 0 1) (3 -2 1)))", "nil\n"}, // a body is no land object
        {"(XPhLandSetVisualMaterial (CreateZevLispObj \"TZevStringTree\") '((1 0 0 1) (0 1 0 1) (0 0 1 1) 5))",
         "nil\n"},
        {"(def w (XPhLoadLandWithScale \"blue.BMP\" \"blue.BMP\" 2 3 4))", "w\n"},
    });
    EXPECT_FLOAT_EQ(land->GetMatrix().m[13], -2.0f);
    EXPECT_EQ(land->Parent(), CurrentWorld->activeRoot);
    EXPECT_EQ(land->visualFrame->GetParent(), RootFrame);
    ASSERT_NE(land->visualMesh, nullptr);
    EXPECT_FLOAT_EQ(land->visualMesh->Material.Power, 5.0f);
    EXPECT_FLOAT_EQ(land->visualMesh->Material.Ambient[1], 1.0f);
    TZevLandCTree* scaled = Land("w");
    ASSERT_NE(scaled, nullptr);
    EXPECT_FLOAT_EQ(scaled->placement.m[10], 4.0f);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);

    // A ray that meets only the land: no body, but the point and the distance.
    TZevLineMesh lines;
    DrawLineMesh = &lines;
    EXPECT_EQ(Run("(car (XPhRayPick '(10 100 10) '(0 -1 0)))"), "nil\n");
    EXPECT_EQ(Run("(< 0 (car (cdr (cdr (XPhRayPick '(10 100 10) '(0 -1 0))))))"), "t\n");
    QE_PickResult hit = {};
    const float start[3] = {10, 100, 10}, down[3] = {0, -1, 0};
    EXPECT_EQ(QE_XPhRayPick(start, down, &hit), 1);
    EXPECT_EQ(hit.body, nullptr);
    EXPECT_GT(hit.distance, 0.0f);
    DrawLineMesh = nullptr;

    // The land goes with its object.
    Run("(def w nil)");
    Run("(def l nil)");
    EXPECT_EQ(TopTrees(), before + 1); // the body is left
}

TEST_F(LandFileTest, SavedLandsComeBack)
{
    Run("(def l (XPhLoadLand \"blue.BMP\" \"blue.BMP\"))");
    TZevLandCTree* land = Land("l");
    ASSERT_NE(land, nullptr);
    const int before = TopTrees();
    RunCases<4>({
        {"(SaveLispObject \"in.sav\" l)", "t\n"},
        {"(def m (LoadLispObject \"in.sav\"))", "m\n"},
        {"m", "<LSObj TZevLispLandObj>\n"},
        {"(eq m l)", "nil\n"},
    });
    TZevLandCTree* copy = Land("m");
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, land);
    EXPECT_EQ(copy->Parent(), CurrentWorld->activeRoot); // saved in the world: back in it
    EXPECT_EQ(TopTrees(), before + 1);
    EXPECT_FLOAT_EQ(copy->placement.m[5], 128.0f);

    // Saved outside the world: loaded outside it.
    QEBodyLeaveWorld(land);
    EXPECT_EQ(Run("(SaveLispObject \"out.sav\" l)"), "t\n");
    EXPECT_EQ(Run("(def o (LoadLispObject \"out.sav\"))"), "o\n");
    ASSERT_NE(Land("o"), nullptr);
    EXPECT_EQ(Land("o")->Parent(), nullptr);

    // Files found nowhere: the record is still read whole, and what follows it loads.
    land->heightMapFile = "gone.bmp";
    EXPECT_EQ(Run("(SaveLispObject \"gone.sav\" (list l 5 \"after\"))"), "t\n");
    RunCases<3>({
        {"(def g (LoadLispObject \"gone.sav\"))", "g\n"},
        {"(cdr g)", "(5 \"after\")\n"},
        {"(car g)", "<LSObj TZevLispLandObj>\n"},
    });
    Run("(def o nil) (def m nil) (def g nil) (def l nil)");
    EXPECT_EQ(TopTrees(), before - 1);
}

} // namespace
