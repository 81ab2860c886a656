// The default world and the scenes of loose bodies: the floor, the camera, the mouse drag, the falling blocks.
#include "SceneTestHost.h"

namespace {

TEST_F(SceneTest, DefaultWorldHasAFixedFloorACameraAndStartsAfresh)
{
    LoadScene("DefaultWorld.lsp");
    EXPECT_EQ(Census().count, 1);
    const std::vector<double> camera = Numbers("(mat-pos (GetXPhCameraMat))");
    ASSERT_EQ(camera.size(), 3u);
    EXPECT_NEAR(camera[1], 12.0, 1e-4);
    EXPECT_NEAR(camera[2], -45.0, 1e-4);

    // A box dropped on the floor comes to rest on its top (height 0), and the floor does not move.
    Run("(def probe (make-body \"lbox.x\" 1 1 1 1.0)) (place probe 0 5 0)");
    Step(150);
    EXPECT_NEAR(Position("probe")[1], 1.0, 0.1);
    EXPECT_NEAR(Distance(Position("floor"), {0, 0, 0}), 0.0, 1e-6);

    // Loading the default world again (the demo's first menu entry does) takes the box away.
    LoadScene("DefaultWorld.lsp");
    EXPECT_EQ(Census().count, 1);
    EXPECT_EQ(Run("(body-pos probe)"), "nil\n");
}

TEST_F(SceneTest, DraggingPullsTheBodyAlongTheRayAndLetsGo)
{
    LoadScene("DefaultWorld.lsp");
    Run("(def probe (make-body \"lbox.x\" 1 1 1 1.0)) (place probe 0 1 0)");
    // Picked at depth 10 on a ray from (0 5 -10) along +z: pulled towards (0 5 0), 4 above it.
    Run("(def drag-body probe) (def drag-depth 10)");
    Run("(drag-move 1 0 0 0 0 1 0 5 -10)");
    const std::vector<double> v = Numbers("(XPhBodyGetVelocity probe)");
    ASSERT_EQ(v.size(), 3u);
    EXPECT_NEAR(v[0], 0.0, 1e-4);
    EXPECT_NEAR(v[1], 20.0, 1e-3);
    EXPECT_NEAR(v[2], 0.0, 1e-4);
    // Without the left button the drag ends.
    Run("(drag-move 0 0 0 0 0 1 0 5 -10)");
    EXPECT_EQ(Run("drag-body"), "nil\n");
}

TEST_F(SceneTest, LoadWorldWithoutAFileDialogLeavesTheDefaultWorld)
{
    // The physics-only host has no console: the scene must not call the dialog it does not have.
    LoadScene("LoadWorld.lsp");
    EXPECT_EQ(Census().count, 1);
    EXPECT_NE(Run("(XPhGet_EasyViewText)").find("No file dialog"), std::string::npos);
    // The test it relies on: registered builtins, the demo's own names, other names and variables.
    const struct {
        const char* name;
        const char* answer;
    } cases[] = {{"car", "t\n"}, {"XPhBodyAddForce", "t\n"}, {"OpenFileDialog", "nil\n"},
                 {"SetLispConsoleMenu", "nil\n"}, {"floor", "nil\n"}};
    for (const auto& c : cases)
        EXPECT_EQ(Run(std::string("(have-builtin '") + c.name + ")"), c.answer) << c.name;
}

TEST_F(SceneTest, BlocksFallAndSettle)
{
    LoadScene("Blocks.lsp");
    const int n = 12;
    ASSERT_EQ(Census().count, 1 + n);
    std::vector<std::vector<double>> start;
    for (int i = 0; i < n; ++i) {
        start.push_back(Position("(select blocks " + std::to_string(i) + ")"));
        EXPECT_GT(start.back()[1], 8.0);
    }
    StepChecked(500);
    std::vector<std::vector<double>> landed;
    for (int i = 0; i < n; ++i) {
        const std::string b = "(select blocks " + std::to_string(i) + ")";
        landed.push_back(Position(b));
        EXPECT_LT(landed.back()[1], 4.0) << i;
        EXPECT_GT(Number("(body-bottom " + b + ")"), -0.3) << i << " sank into the floor";
    }
    // Settled: another five seconds move no block by more than a little.
    StepChecked(250);
    for (int i = 0; i < n; ++i)
        EXPECT_LT(Distance(Position("(select blocks " + std::to_string(i) + ")"), landed[i]), 0.3) << i;
}

TEST_F(SceneTest, StackStandsUntilTheBallPushesIt)
{
    LoadScene("stackobjects.lsp");
    EXPECT_EQ(Census().count, 1 + 10 + 5 + 1);
    const std::vector<double> top = Position("stack-top");
    const std::vector<double> column = Position("(car stack-column)");
    EXPECT_NEAR(top[1], 7.0, 1e-3);
    EXPECT_NEAR(column[1], 9.0, 1e-3);
    // The ball is sent at frame 400: until then the wall and the column stand where they were built.
    StepChecked(390);
    EXPECT_LT(Distance(Position("stack-top"), top), 0.3);
    EXPECT_LT(Distance(Position("(car stack-column)"), column), 0.3);
    EXPECT_LT(Position("stack-ball")[2], -11.0);
    // Five seconds after the push the top crate has come down.
    StepChecked(260);
    EXPECT_LT(Position("stack-top")[1], 4.0);
    EXPECT_GT(Position("stack-ball")[2], -6.0);
}

} // namespace
