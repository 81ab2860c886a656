// The Direct3D test form in its launcher on the in-memory backend: the launcher's entries start, restart and stop
// its modes, the script window's "Send" evaluates while the animation runs (and the animation goes on), the mouse
// and keys reach the test, and closing the form ends the program.
#include "AppWindowTest.h"

#include "ZevDXFormTest.h"
#include "ZevForm1.h"
#include "ZevFrame.h"
#include "ZevLispWin.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

class DXFormTest : public AppWindowTest {
protected:
    void SetUp() override
    {
        AppWindowTest::SetUp();
        // The test's models, in the working folder's objects/.
        namespace fs = std::filesystem;
        fs::create_directories("objects");
        fs::copy(fs::path(QE_DATA_DIR) / "objects", "objects",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        TZevWin* launcher = nullptr;
        Main->CreateChild(&launcher, "TZevForm1");
        Launcher = static_cast<TZevForm1*>(launcher);
        ASSERT_NE(Launcher, nullptr);
        Form = Launcher->DXFormTest;
        ASSERT_NE(Form, nullptr);
        Pump();
    }
    void Entry(const char* caption) { Choose(Launcher, Launcher->Items, 8, caption); }
    // Pumps messages until the thread has run more frames than `than`.
    bool WaitForFrames(std::int32_t than)
    {
        return PumpUntil([&] { return Form->Thread.Frames.load() > than; });
    }
    // Pumps messages until the condition holds, a minute at most: a loaded machine may hold the render thread back
    // for seconds, and the wait ends with the event.
    template <class F> bool PumpUntil(F done)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done() && std::chrono::steady_clock::now() < end) {
            Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    TZevForm1* Launcher = nullptr;
    TZevDXFormTest* Form = nullptr;
};

TEST_F(DXFormTest, TheLaunchersEntriesStartRestartAndStopTheModesOfTheTest)
{
    EXPECT_EQ(Form->X, 0);
    EXPECT_EQ(Form->Y, 240);
    EXPECT_FALSE(Form->IsRunning());
    Entry("End"); // stopping a test that does not run leaves it stopped
    EXPECT_FALSE(Form->IsRunning());

    struct Case {
        const char* Entry;
        int Mode;
    };
    for (const Case& c : {Case{"TestStart", 1}, Case{"3DLispStart", 0}, Case{"FFDTest", 2}, Case{"InOutTest", 3},
                          Case{"InOutTest", 3}}) {
        Entry(c.Entry);
        EXPECT_TRUE(Form->IsRunning()) << c.Entry;
        EXPECT_EQ(Form->Runner.Scene.Mode, c.Mode) << c.Entry;
        EXPECT_TRUE(Form->Thread.IsStarted()) << c.Entry;
        EXPECT_EQ(Form->Panel->Width, 640);
        EXPECT_EQ(Form->Width, 650);
        EXPECT_TRUE(WaitForFrames(1)) << c.Entry;
    }
    Entry("ElasticTest");
    Entry("ElasticTest2");
    EXPECT_TRUE(Form->IsRunning());
    EXPECT_EQ(Form->Runner.Scene.Mode, 3);
    Entry("End");
    EXPECT_FALSE(Form->IsRunning());
    EXPECT_FALSE(Form->Thread.IsStarted());
    EXPECT_EQ(Form->Runner.RootFrame, nullptr);
}

TEST_F(DXFormTest, SendEvaluatesBetweenTwoFramesWhileTheTestAnimatesAndTheAnimationGoesOn)
{
    Entry("TestStart");
    ASSERT_TRUE(WaitForFrames(1));
    TZevLispWin* w = Launcher->LispWin;
    for (int i = 0; i < 20; ++i) {
        const std::string form = "(+ " + std::to_string(i) + " 1000)";
        w->Input->SetText(form.c_str());
        Click(w->SendButton);
        const std::string expected = std::to_string(i + 1000);
        ASSERT_TRUE(PumpUntil([&] { return Text(w->Output).find(expected) != std::string::npos; }))
            << "no answer to " << form << ": " << Text(w->Output);
        EXPECT_EQ(Text(w->Input), "");
        ASSERT_TRUE(WaitForFrames(Form->Thread.Frames.load())) << "the animation stopped after send " << i;
    }

    // A script window closed while its evaluation is awaited lets the animation go on.
    w->Input->SetText("(+ 1 1)");
    Click(w->SendButton);
    w->Close(); // before its evaluation came

    Pump();
    EXPECT_TRUE(WaitForFrames(Form->Thread.Frames.load() + 2));
}

TEST_F(DXFormTest, TheMouseOnThePanelDragsTheBallAndKeysReachTheKeyTable)
{
    Entry("InOutTest");
    ASSERT_TRUE(WaitForFrames(1));
    POINT p{100, 100};
    ClientToScreen(Form->Panel->Handle, &p);
    ZevInputMouse(p.x, p.y, 1, true);
    Pump();
    ZevInputMouse(p.x + 150, p.y, 0, true); // a move with the button held
    Pump();
    ZevInputMouse(p.x + 150, p.y, 1, false);
    Pump();
    TZevTestMeshModel& ball = Form->Runner.Scene.Models[4];
    ASSERT_TRUE(PumpUntil([&] {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        return ball.Frame != nullptr && ball.Frame->GetParent() != nullptr;
    })) << "the blue ball never showed outside the claw";
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        EXPECT_FLOAT_EQ(ball.Frame->LocalMatrix.m[12], 1.5f);
    }

    SetFocus(Form->Handle);
    ZevInputKey(104, 0, true);
    Pump();
    EXPECT_EQ(Form->KeyTable[104], 1);
    ZevInputKey(104, 0, false);
    Pump();
    EXPECT_EQ(Form->KeyTable[104], 0);
}

// "End" (and a restart, which stops first) joins the animation thread without taking the program-wide lock: here
// another thread holds the lock until the stop has returned, so a stop that waited for the lock would hang.
TEST_F(DXFormTest, StoppingJoinsTheThreadWithoutWaitingForTheProgramWideLock)
{
    for (const char* stop : {"End", "FFDTest"}) {
        SCOPED_TRACE(stop);
        Entry("TestStart");
        ASSERT_TRUE(WaitForFrames(1));
        std::atomic<bool> held{false}, stopped{false}, gaveUp{false};
        std::thread holder([&] {
            TZevCriticalSectionLock lock(&GlobalLock, true);
            held = true;
            // Let go after a long while in any case, so that a failing stop fails rather than hangs.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!stopped && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            gaveUp = !stopped;
        });
        while (!held)
            std::this_thread::yield();
        Entry(stop);
        stopped = true;
        holder.join();
        EXPECT_FALSE(gaveUp) << "the stop returned only once the lock was let go";
        if (std::string(stop) == "End") {
            EXPECT_FALSE(Form->Thread.IsStarted());
            EXPECT_EQ(Form->Runner.RootFrame, nullptr);
        } else {
            EXPECT_TRUE(WaitForFrames(Form->Thread.Frames.load())) << "the restarted test does not animate";
        }
    }
    Entry("End");
}

// The panel's renderer goes with the panel, after the form: the animation thread has ended by then.
TEST_F(DXFormTest, TheAnimationThreadEndsBeforeThePanelsRendererIsReleased)
{
    Entry("InOutTest");
    ASSERT_TRUE(WaitForFrames(1));
    static int threadRunningWhenPanelWent = -1;
    Form->Panel->DestroyCallback.Arg = Form;
    Form->Panel->DestroyCallback.Fn = [](void* arg) {
        threadRunningWhenPanelWent = static_cast<TZevDXFormTest*>(arg)->Thread.IsStarted() ? 1 : 0;
    };
    DestroyWindow(Form->Handle);
    EXPECT_EQ(threadRunningWhenPanelWent, 0);
    Pump();
}

TEST_F(DXFormTest, ClosingTheRunningTestEndsTheProgram)
{
    Entry("TestStart");
    ASSERT_TRUE(WaitForFrames(1));
    Form->Close();
    EXPECT_FALSE(Form->Thread.IsStarted());
    Pump(); // the windows are deleted now
    EXPECT_TRUE(QuitPosted);
}

} // namespace
