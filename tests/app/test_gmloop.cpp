// The scene base classes: the engine globals published by Init and cleared by Shutdown, the script scene's
// repeat rule, the pause, ESCAPE and SHIFT keys, the mouse hooks of scripts and hosts, and a scene run from a
// script file.
#include "AppTestFixture.h"

#include "QEPicking.h"
#include "ZevBodyUtil.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevLineMesh.h"
#include "QEBodies.h"
#include "ZevNameTable.h"
#include "ZevSceneClock.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using SceneTest = AppSceneTest;

// A box body in the scene's world whose callback counts the world's steps.
TZevGameChara* CountingBox(TZevGMLoop* scene, int* steps)
{
    TZevGameChara* box = ZevAsGameChara(CreateBoxXPhBody(nullptr, ZevMatTranslation(0, 50, 0), scene->RootFrame,
                                                         scene->World, TZevVector(-1, -1, -1), TZevVector(1, 1, 1),
                                                         1.0f));
    box->AddCFuncItem(ZevNewCFuncItem(
        "count", [](TZevGameChara*, void* user) { ++*static_cast<int*>(user); }, steps));
    return box;
}

TEST_F(SceneTest, InitPublishesTheEngineGlobalsAndShutdownClearsThemAll)
{
    TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
    EXPECT_EQ(CurrentWorld, scene->World);
    EXPECT_EQ(RootFrame, host.Root);
    EXPECT_EQ(CameraFrame, host.Camera);
    EXPECT_EQ(MainCharaSlot, &scene->MainChara);
    EXPECT_EQ(KeyStateTable, keys);
    EXPECT_EQ(StepSizePtr, &scene->StepSize);
    EXPECT_EQ(RepeatSizePtr, &scene->RepeatSize);
    EXPECT_EQ(DrawLineMesh, scene->LineMesh);
    EXPECT_EQ(CurrentView, &renderer);
    EXPECT_EQ(LispHost, &host.Interpreter);
    // Texture folders, the light of the script scene and its camera.
    EXPECT_EQ(renderer.Directories, (std::vector<std::string>{"", "objects/"}));
    ASSERT_FALSE(renderer.Lights.empty());
    EXPECT_FLOAT_EQ(renderer.Lights.back().Diffuse[0], 0.8f);
    EXPECT_FLOAT_EQ(renderer.Lights.back().Ambient[0], 0.4f);
    EXPECT_FLOAT_EQ(renderer.Lights.back().Direction[1], -1.0f / std::sqrt(3.0f));
    EXPECT_EQ(host.Camera->LocalMatrix.m[14], -20.0f);
    EXPECT_EQ(Run("(XPhSet_EasyViewText \"hello\")"), "t\n");
    EXPECT_STREQ(scene->ShownStatusText(), "hello");

    host.Final();
    EXPECT_EQ(CurrentWorld, nullptr);
    EXPECT_EQ(RootFrame, nullptr);
    EXPECT_EQ(CameraFrame, nullptr);
    EXPECT_EQ(MainCharaSlot, nullptr);
    EXPECT_EQ(KeyStateTable, nullptr);
    EXPECT_EQ(StepSizePtr, nullptr);
    EXPECT_EQ(RepeatSizePtr, nullptr);
    EXPECT_EQ(DrawLineMesh, nullptr);
    EXPECT_EQ(CurrentView, nullptr);
    EXPECT_EQ(LispHost, nullptr);
    EXPECT_TRUE(EasyViewText.IsNull());
}

TEST_F(SceneTest, ASceneEndingAfterAnotherPublisherLeavesThatPublishersGlobals)
{
    Start(new TZevLispGMLoop);
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    TZevPhscs2World* physicsOnly = CurrentWorld;
    TZevFrame* physicsRoot = RootFrame;
    host.Final();
    EXPECT_EQ(CurrentWorld, physicsOnly);
    EXPECT_EQ(RootFrame, physicsRoot);
    EXPECT_NE(StepSizePtr, nullptr);
    QE_PhOnlyFinal();
}

TEST_F(SceneTest, ScriptSceneStepsByTheRepeatSize)
{
    struct Case {
        std::int32_t repeat;
        int frames;
        int steps;
    };
    // 2500: twice a frame; 500: every second frame; 0 or below: never.
    for (const Case c : {Case{2500, 3, 6}, Case{1000, 3, 3}, Case{500, 4, 2}, Case{500, 1, 0}, Case{0, 3, 0},
                         Case{-1000, 3, 0}}) {
        ScriptSceneStepAccumulator = 0;
        TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
        int steps = 0;
        CountingBox(scene, &steps);
        scene->RepeatSize = c.repeat;
        Frames(c.frames);
        EXPECT_EQ(steps, c.steps) << "repeat " << c.repeat << ", " << c.frames << " frames";
        host.Final();
    }
    // Sizes that do not divide 1000: the remainder is carried from frame to frame (r steps in every 1000 frames),
    // and from one scene to the next. The steps counted after each frame:
    struct Pattern {
        std::int32_t repeat;
        std::int32_t carried; // the accumulator left by the scene before
        std::vector<int> steps;
    };
    for (const Pattern& p : {Pattern{300, 0, {0, 0, 0, 1, 1, 1, 2, 2, 2, 3}},
                             Pattern{700, 0, {0, 1, 2, 2, 3, 4, 4, 5, 6, 7}},
                             Pattern{300, 100, {0, 0, 1, 1, 1, 1, 2, 2, 2, 3}}}) {
        ScriptSceneStepAccumulator = p.carried;
        TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
        int steps = 0;
        CountingBox(scene, &steps);
        scene->RepeatSize = p.repeat;
        std::vector<int> seen;
        for (std::size_t frame = 0; frame < p.steps.size(); ++frame) {
            host.Frame();
            seen.push_back(steps);
        }
        EXPECT_EQ(seen, p.steps) << "repeat " << p.repeat << " after " << p.carried;
        host.Final();
    }
    // What the first 300 run leaves over after 7 frames is what the third one starts from.
    ScriptSceneStepAccumulator = 0;
    {
        TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
        scene->RepeatSize = 300;
        Frames(7);
        EXPECT_EQ(ScriptSceneStepAccumulator, 100);
        host.Final();
    }
    // With the simulation switched off the world does not step.
    TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
    int steps = 0;
    CountingBox(scene, &steps);
    EXPECT_EQ(Run("(SetXPhSimulationFlag nil)"), "t\n");
    Frames(3);
    EXPECT_EQ(steps, 0);
    SimulationFlag = 1;
}

TEST_F(SceneTest, ControlPausesWithoutSkippingTheStepAndEscapeEndsTheRun)
{
    TZevLispGMLoop* scene = Start(new TZevLispGMLoop);
    scene->PauseMilliseconds = 30;
    int steps = 0;
    CountingBox(scene, &steps);
    host.KeyDown(17);
    EXPECT_EQ(scene->Pause, 1);
    const double before = ZevSceneMilliseconds();
    host.Frame();
    EXPECT_GE(ZevSceneMilliseconds() - before, 30.0);
    EXPECT_EQ(steps, 1);
    host.KeyDown(17);
    EXPECT_EQ(scene->Pause, 0);
    host.KeyDown(27);
    EXPECT_EQ(host.QuitFlag, 0);
    host.KeyUp(27);
    EXPECT_EQ(host.QuitFlag, 1);
}

// The poses of a falling box after some frames, with SHIFT held or not.
std::vector<float> FallWithShift(SceneTest* test, TZevEngineHost& host, TAppTestRenderer& renderer,
                                 std::uint8_t* keys, bool shift, int* linesDrawn)
{
    (void)test;
    TZevLispGMLoop* scene = new TZevLispGMLoop;
    host.Scene = scene;
    host.Start(&renderer, keys);
    int steps = 0;
    TZevGameChara* box = CountingBox(scene, &steps);
    CreateBoxXPhBody(nullptr, TZevMatrix(), scene->RootFrame, scene->World, TZevVector(-20, -1, -20),
                     TZevVector(20, 0, 20), 1.0f)
        ->SetFixed(1);
    keys[16] = shift ? 1 : 0;
    *linesDrawn = 0;
    std::vector<float> poses;
    for (int i = 0; i < 40; ++i) {
        host.Frame();
        *linesDrawn += renderer.CountOf("WorldLines");
        const TZevMatrix m = box->GetMatrix();
        poses.insert(poses.end(), m.m, m.m + 16);
    }
    keys[16] = 0;
    host.Final();
    return poses;
}

TEST_F(SceneTest, ShiftDrawsContactsAndBoxesWithoutChangingTheSimulation)
{
    int withLines = 0, withoutLines = 0;
    const std::vector<float> with = FallWithShift(this, host, renderer, keys, true, &withLines);
    const std::vector<float> without = FallWithShift(this, host, renderer, keys, false, &withoutLines);
    EXPECT_GT(withLines, 0);
    EXPECT_EQ(withoutLines, 0);
    ASSERT_EQ(with.size(), without.size());
    EXPECT_EQ(std::memcmp(with.data(), without.data(), with.size() * sizeof(float)), 0);
    EXPECT_LT(with[with.size() - 3], 50.0f); // it fell
}

std::vector<std::string> gHostMouse;
int HostMouseDownProbe(const QE_MouseEvent* e)
{
    gHostMouse.push_back("down " + std::to_string(e->buttons) + " " + std::to_string(e->x) + " " +
                         std::to_string(e->y) + " " + static_cast<const char*>(e->userData));
    return 1;
}
int HostMouseReleaseProbe(void* user)
{
    gHostMouse.push_back(std::string("release ") + static_cast<const char*>(user));
    return 1;
}

TEST_F(SceneTest, MouseEventsReachTheHostFunctionAndTheScriptProcedureUntilTheSceneEnds)
{
    Start(new TZevLispGMLoop);
    ASSERT_EQ(QE_RegisterFunction("AppTestMouseDown", reinterpret_cast<QE_Function>(HostMouseDownProbe)), 1);
    ASSERT_EQ(QE_RegisterFunction("AppTestMouseRelease", reinterpret_cast<QE_Function>(HostMouseReleaseProbe)), 1);
    static char user[] = "user";
    const QE_MouseFunctionDesc desc = {"AppTestMouseDown", nullptr, nullptr, "AppTestMouseRelease", user};
    ASSERT_EQ(QE_SetMouseFunction(&desc), 1);
    Run("(defun OnDown (b x y dx dy dz ox oy oz) (setq got (list b x y)))");
    EXPECT_EQ(Run("(SetMouseDownProc 'OnDown)"), "t\n");

    host.MouseDown(1, 70000, 5); // coordinates are 16-bit
    EXPECT_EQ(Run("got"), "(1 4464 5)\n");
    host.MouseMove(1, 6, 7); // no procedure of this kind: only the ray
    EXPECT_EQ(gHostMouse, (std::vector<std::string>{"down 1 4464 5 user"}));

    host.Final();
    EXPECT_EQ(gHostMouse, (std::vector<std::string>{"down 1 4464 5 user", "release user"}));
    EXPECT_TRUE(MouseDownProc.IsNull());
    EXPECT_EQ(HostMouseDown, nullptr);
    EXPECT_EQ(HostMouseRelease, nullptr);
    // Nothing is released twice by the next host program's functions.
    const QE_MouseFunctionDesc none = {};
    QE_SetMouseFunction(&none);
    EXPECT_EQ(gHostMouse.size(), 2u);
}

TEST_F(SceneTest, AScriptSceneLoadsItsFileAndItsBodiesGoWithTheScene)
{
    namespace fs = std::filesystem;
    fs::create_directories("LispSource");
    std::ofstream("LispSource/drop.lsp") << "(setq box (LoadXPhBody \"lbox.x\"))\n"
                                            "(SetXPhBodyMat box '((1 0 0) (0 1 0) (0 0 1) (0 5 0)))\n";
    TZevLispGMLoop* scene = new TZevLispGMLoop;
    scene->Directory = (fs::current_path().string() + "/").c_str();
    Start(scene);
    ASSERT_EQ(host.Interpreter.SearchPaths.GetCount(), 2);
    Run("(load \"drop.lsp\")");
    ASSERT_NE(Run("box"), "nil\n");

    host.Frame();
    EXPECT_GT(renderer.MeshesDrawn(), 0);
    const std::string start = Run("(GetXPhBodyMat box)");
    Frames(10);
    EXPECT_NE(Run("(GetXPhBodyMat box)"), start); // it falls

    host.Final();
    int wrappers = 0;
    for (void* item : XPhBodyList) {
        ++wrappers;
        EXPECT_EQ(static_cast<TZevLispXPhBody*>(item)->Body, nullptr);
    }
    EXPECT_GT(wrappers, 0);
}

} // namespace
