// The Direct3D test form's scene, runner and animation thread, drawn through a recording renderer: the three test
// modes, the camera keys, the script 3D objects, the pace of the thread, its stop (also by a holder of the
// program-wide lock) and the hand-over of a call between two frames.
#include "AppTestFixture.h"

#include "GlobalLock.h"
#include "ZevDXTestRunner.h"
#include "ZevDXTestThread.h"
#include "ZevFrame.h"
#include "QE3DObjects.h"
#include "ZevMesh.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

class DXTestRunnerTest : public AppSceneTest {
protected:
    void SetUp() override
    {
        AppSceneTest::SetUp();
        host.Interpreter.Init();
    }
    void TearDown() override
    {
        thread.Stop();
        runner.Shutdown();
        AppSceneTest::TearDown();
    }
    TZevCollisionTestScene& Scene() { return runner.Scene; }
    void Start(int mode)
    {
        runner.Scene.Mode = mode;
        runner.Setup(&renderer, keys);
    }
    // Waits until the thread has run more frames than `than`, a minute at most: a loaded machine may hold the
    // thread back for seconds, and the wait ends with the frame.
    bool WaitForFrames(std::int32_t than)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (thread.Frames.load() <= than && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return thread.Frames.load() > than;
    }
    static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    TZevDXTestRunner runner;
    TZevDXTestThread thread;
};

TEST_F(DXTestRunnerTest, CollisionModeDropsTheBoxAndTheClawOntoTheTiltedFloorAndTheyBounceOffIt)
{
    Start(1);
    TZevTestMeshModel* m = Scene().Models;
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(m[i].Frame, nullptr) << i;
        EXPECT_EQ(m[i].Frame->GetParent(), runner.RootFrame);
        EXPECT_GT(m[i].GetNodeCount(), 0);
    }
    EXPECT_FLOAT_EQ(m[2].Frame->LocalMatrix.m[12], 4.0f);
    EXPECT_FLOAT_EQ(m[0].Frame->LocalMatrix.m[13], -3.0f * std::cos(0.3f));
    EXPECT_FLOAT_EQ(m[2].Velocity.x, 0.1f);
    bool boxBounced = false, clawTouchedFloor = false;
    for (int frame = 0; frame < 200; ++frame) {
        runner.Frame();
        boxBounced = boxBounced || m[1].Velocity.y > 0.0f;
        clawTouchedFloor = clawTouchedFloor || Scene().ResultText == TZevString("True");
    }
    EXPECT_TRUE(boxBounced);
    EXPECT_TRUE(clawTouchedFloor);
    // The floor itself never moves.
    EXPECT_FLOAT_EQ(m[0].Frame->LocalMatrix.m[13], -3.0f * std::cos(0.3f));
    runner.Shutdown();
    EXPECT_EQ(m[1].Frame, nullptr);
    EXPECT_EQ(runner.RootFrame, nullptr);
}

TEST_F(DXTestRunnerTest, DeformationModeBendsTheClawWhereTheMouseDragsTheLatticeAndModeZeroIgnoresTheMouse)
{
    Start(2);
    TZevTestFFDObject& d = Scene().Deformation;
    ASSERT_TRUE(d.HasLattice());
    EXPECT_EQ(d.PointCount, 27);
    ASSERT_NE(d.Frame, nullptr);
    EXPECT_EQ(d.Frame->GetParent(), runner.RootFrame);
    runner.Frame();
    const TZevVector before = d.Points[1];
    Scene().MouseDown(100, 100);
    Scene().MouseMove(150, 80);
    Scene().MouseUp(150, 80);
    Scene().MouseMove(400, 400); // not dragging any more
    EXPECT_FLOAT_EQ(d.Points[1].x, before.x + 0.5f);
    EXPECT_FLOAT_EQ(d.Points[1].y, before.y);
    EXPECT_FLOAT_EQ(d.Points[1].z, before.z - 0.2f);
    runner.Frame();
    const TZevVertex* source = d.SourceMesh->Geometry->Vertices();
    const TZevVertex* bent = d.DeformedMesh->Geometry->Vertices();
    int moved = 0;
    for (int i = 0; i < d.DeformedMesh->Geometry->VertexCount; ++i)
        moved += std::fabs(bent[i].x - source[i].x) > 1e-4f;
    EXPECT_GT(moved, 0);

    Start(0); // the set-up shuts the last mode down first
    EXPECT_FALSE(d.HasLattice());
    Scene().MouseDown(10, 10);
    EXPECT_EQ(Scene().Dragging, 0);
}

TEST_F(DXTestRunnerTest, InsideOutsideModeShowsTheGreenBallInsideTheClawAndTheBlueOneOutside)
{
    Start(3);
    TZevTestMeshModel* m = Scene().Models;
    auto shown = [&](int i) { return m[i].Frame != nullptr && m[i].Frame->GetParent() == runner.RootFrame; };
    runner.Frame();
    EXPECT_TRUE(shown(1));
    EXPECT_TRUE(shown(3));
    EXPECT_FALSE(shown(4));
    Scene().MouseDown(300, 200);
    Scene().MouseMove(500, 200); // 2 units to the right: beyond the claw's radius of 0.8
    runner.Frame();
    EXPECT_FALSE(shown(3));
    EXPECT_TRUE(shown(4));
    EXPECT_FLOAT_EQ(m[4].Frame->LocalMatrix.m[12], 2.0f);
    Scene().MouseMove(300, 150); // back and 0.5 up: inside again
    Scene().MouseUp(300, 150);
    runner.Frame();
    EXPECT_TRUE(shown(3));
    EXPECT_FALSE(shown(4));
    EXPECT_FLOAT_EQ(m[3].Frame->LocalMatrix.m[13], 0.5f);
}

TEST_F(DXTestRunnerTest, AFrameFliesTheCameraByItsKeysMovesTheScriptObjectsAndDrawsThemWithItsTimes)
{
    // Every key, in its sense: the element of the camera matrix that its move or turn changes first (a turn's
    // sine term, whose sign is the sense: RotX(a) puts sin a at 6, RotY(a) -sin a at 2, RotZ(a) sin a at 1).
    struct Case {
        int Key;
        int Element;  // of the camera matrix
        float Change; // after one frame
    };
    const float s = std::sin(0.05f);
    const Case cases[] = {
        {104, 14, 0.2f}, {98, 14, -0.2f}, {38, 13, 0.2f}, {40, 13, -0.2f}, // keypad 8 and 2, up and down
        {102, 2, -s},    {100, 2, s},                                      // keypad 6 and 4: RotY(+-0.05)
        {68, 1, -s},     {83, 1, s},                                       // D and S: RotZ(-+0.05)
        {69, 6, s},      {88, 6, -s},                                      // E and X: RotX(+-0.05)
    };
    for (const Case& c : cases) {
        Start(0);
        const TZevMatrix before = runner.CameraFrame->LocalMatrix;
        keys[c.Key] = 1;
        runner.Frame();
        keys[c.Key] = 0;
        const float* after = runner.CameraFrame->LocalMatrix.m;
        EXPECT_NEAR(after[c.Element] - before.m[c.Element], c.Change, 1e-5f) << c.Key;
        // Nothing else moves but the turn's other terms.
        for (int i = 12; i < 15; ++i) {
            if (i != c.Element) {
                EXPECT_NEAR(after[i], before.m[i], 1e-5f) << c.Key << " element " << i;
            }
        }
    }

    // A script object with a velocity moves by it in every frame, is drawn, and is off the tree between frames.
    EXPECT_EQ(Run("(def box (LoadXObj \"objects/lbox.x\"))"), "box\n");
    EXPECT_EQ(Run("(SetVelocity box 0.5 0.0 0.0)"), "nil\n");
    TZevLisp3DObj* box = dynamic_cast<TZevLisp3DObj*>(GetLisp3DObjRoot()->GetLastChild());
    ASSERT_NE(box, nullptr);
    renderer.Log.clear();
    const int drawn = renderer.MeshesDrawn();
    runner.Frame();
    runner.Frame();
    EXPECT_FLOAT_EQ(box->Frame->LocalMatrix.m[12], 1.0f);
    EXPECT_EQ(box->Frame->GetParent(), nullptr);
    EXPECT_GT(renderer.MeshesDrawn(), drawn);
    const std::vector<std::string> order(renderer.Log.begin(), renderer.Log.begin() + 4);
    EXPECT_EQ(order, (std::vector<std::string>{"Clear", "RenderFrame", "Text", "Present"}));
    ASSERT_FALSE(renderer.Texts.empty());
    EXPECT_EQ(renderer.Texts.back().X, 4);
    EXPECT_NE(renderer.Texts.back().Text.find(" fps = "), std::string::npos);
    runner.Shutdown(); // the object outlives the runner's frames
    EXPECT_NE(box->Frame, nullptr);
    Run("(def box nil)");
}

TEST_F(DXTestRunnerTest, TheThreadAnimatesNoFasterThanSeventyFivePerSecondAndStopsCleanlyEvenFromAHolderOfTheLock)
{
    Start(1);
    thread.Owner = &runner;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitForFrames(2));
    const auto t0 = std::chrono::steady_clock::now();
    const std::int32_t f0 = thread.Frames.load();
    Sleep(300);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LE(thread.Frames.load() - f0, static_cast<int>(ms / 13.3) + 2);

    // Frames run under the program-wide lock: none while another thread holds it. They are told by what they draw
    // (the thread counts a frame only after it let go of the lock).
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        const std::size_t held = renderer.Log.size();
        Sleep(60);
        EXPECT_EQ(renderer.Log.size(), held);
        // A stop from the holder of the lock ends the thread all the same.
        thread.Stop();
    }
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(runner.RootFrame, nullptr); // the thread shut its runner down on its way out

    // Started again, it animates again.
    runner.Setup(&renderer, keys);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(WaitForFrames(2));
    thread.Stop();
}

// A call handed to the thread runs between two frames; the thread then sleeps until resumed, and a resume that
// comes before it sleeps is kept.
void ResumeAtOnce(void* arg) { static_cast<TZevDXTestThread*>(arg)->Resume(); }
void Nothing(void*) {}
void Count(void* arg) { ++*static_cast<int*>(arg); }

TEST_F(DXTestRunnerTest, AHandedOverCallSuspendsTheThreadUntilAResumeThatMayComeFirst)
{
    Start(0);
    thread.Owner = &runner;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitForFrames(1));

    // The resume comes before the suspension: the thread does not sleep at all.
    for (int i = 0; i < 20; ++i) {
        const std::int32_t before = thread.Frames.load();
        thread.HandOver(ResumeAtOnce, &thread);
        ASSERT_TRUE(WaitForFrames(before + 1)) << "asleep after hand-over " << i;
    }

    // Right after a start, before the thread has run at all: a resume, then a hand-over. Neither is lost: the call
    // runs, its suspension finds the resume, and the thread animates on.
    thread.Stop();
    runner.Setup(&renderer, keys);
    int calls = 0;
    ASSERT_TRUE(thread.Start());
    thread.Resume();
    thread.HandOver(Count, &calls);
    EXPECT_TRUE(WaitForFrames(3)) << "asleep after a resume that came first";
    EXPECT_EQ(calls, 1);

    thread.HandOver(Nothing, nullptr);
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         thread.SuspendedFlag.load() == 0 && std::chrono::steady_clock::now() < end;)
        Sleep(1);
    ASSERT_EQ(thread.SuspendedFlag.load(), 1);
    const std::int32_t asleep = thread.Frames.load();
    Sleep(50);
    EXPECT_EQ(thread.Frames.load(), asleep);
    thread.Resume();
    EXPECT_TRUE(WaitForFrames(asleep));

    // A stop wakes a suspended thread.
    thread.HandOver(Nothing, nullptr);
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         thread.SuspendedFlag.load() == 0 && std::chrono::steady_clock::now() < end;)
        Sleep(1);
    thread.Stop();
    EXPECT_FALSE(thread.IsStarted());
}

} // namespace
