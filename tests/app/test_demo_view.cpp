// The 3D view window and its render thread, without a display: the scene's script handed to the console once, at
// the first frame; frames paced by the window's or the scene's interval and by the pause, which never holds the
// lock; ESCAPE, the close box and the console's close box; stops made while the lock is held; twenty scenes in a
// row with the threads and memory back to their level.
#include "DemoTestSupport.h"

#include "GlobalLock.h"
#include "QEContext.h"
#include "ZevGMLoop.h"
#include "ZevLispGMLoop.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <atomic>
#include <thread>

namespace {

using ViewTest = DemoTest;
using Clock = std::chrono::steady_clock;

int BodyCount()
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    int n = 0;
    for (void* item : XPhBodyList)
        n += item != nullptr;
    return n;
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int PromptLines(const std::deque<std::string>& history)
{
    return static_cast<int>(
        std::count_if(history.begin(), history.end(), [](const std::string& l) { return l.rfind("> ", 0) == 0; }));
}

TEST_F(ViewTest, AScriptSceneIsHandedToTheConsoleOnceAtTheFirstFrame)
{
    Choose("Demo Block");
    TZevDXGMWin* view = Form->ViewWindow;
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(WaitForScript());
    const auto& history = view->Console->History;
    EXPECT_EQ(history.front(), "> (load \"DefaultWorld.lsp\")(load \"Blocks.lsp\")");
    EXPECT_EQ(PromptLines(history), 1);
    EXPECT_GT(BodyCount(), 5); // the floor and the blocks
    // Frames go on after the hand-over, and nothing is handed over again.
    const int frames = ViewRenderer()->Frames();
    EXPECT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= frames + 3; }));
    EXPECT_EQ(PromptLines(history), 1);
}

TEST_F(ViewTest, WithRenderMoveOffNoFrameRunsButTheScriptIsStillHandedOver)
{
    Form->OpenScene(new TZevLispGMLoop, "Blocks.lsp", [](TZevDXGMWin* view) { view->RenderMoveFlag = 0; });
    ASSERT_TRUE(WaitForScript());
    PumpFor(100);
    EXPECT_EQ(ViewRenderer()->Frames(), 0);
    // The script switch turns the frames on again.
    EXPECT_EQ(Console("(XPhSetRenderMoveFlag t)"), "t\n");
    EXPECT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() > 0; }));
}

TEST_F(ViewTest, MouseEventsReachTheSceneAtThePixelUnderTheCursor)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    Console("(def seen nil)(defun on-down (b x y dx dy dz ox oy oz) (setq seen (list b x y)))(SetMouseDownProc on-down)");
    // Client coordinates, as the renderer's picture starts at the client origin (not the window's outer corner).
    SendMessageA(Form->ViewWindow->Handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 50));
    EXPECT_EQ(Console("seen"), "(1 100 50)\n");
}

TEST_F(ViewTest, EscapeEndsTheRunAndTheViewClosesItselfOnItsOwnThread)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* view = Form->ViewWindow;
    // A release whose press went to another window (a dialog closed by ESCAPE) ends nothing.
    SendMessageA(view->Handle, WM_KEYUP, VK_ESCAPE, 0);
    PumpFor(100);
    ASSERT_EQ(Form->ViewWindow, view);
    SendMessageA(view->Handle, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(view->Handle, WM_KEYUP, VK_ESCAPE, 0);
    ASSERT_TRUE(PumpUntil([&] { return ViewCount() == 0; }));
    EXPECT_EQ(Form->ViewWindow, nullptr);
    // The render thread posted its end: it never set the loop's idle function behind the loop's back.
    EXPECT_EQ(App->IdleFunction, nullptr);
    EXPECT_EQ(TDemoTestRenderer::Alive, 0);
    EXPECT_EQ(CurrentWorld, nullptr);
    EXPECT_EQ(CurrentViewWindow, nullptr);
    // Only the view ended: the main form opens the next scene.
    EXPECT_TRUE(IsWindow(Form->Handle));
    Choose("Demo Block");
    EXPECT_TRUE(WaitForScript());
}

TEST_F(ViewTest, WithoutARenderThreadTheIdleFunctionRunsTheSceneAndEscapeEndsTheProgram)
{
    Form->OpenScene(new TZevLispGMLoop, "Blocks.lsp", [](TZevDXGMWin* view) { view->Threaded = 0; });
    TZevDXGMWin* view = Form->ViewWindow;
    EXPECT_EQ(App->IdleFunction, ViewIdleFunction);
    ASSERT_TRUE(WaitForScript());
    ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 3; }));
    EXPECT_FALSE(view->Thread.IsStarted());
    SendMessageA(view->Handle, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(view->Handle, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_EQ(App->Run(), 0);
    EXPECT_EQ(App->IdleFunction, nullptr);
    EXPECT_EQ(CurrentWorld, nullptr);
}

// What a closing view had left when its renderer was deleted.
struct TCloseWatch {
    TZevDXGMWin* View = nullptr;
    bool ThreadRunning = true;
    bool TimerRunning = true;
    bool SceneRunning = true;
    bool TimerAtSceneEnd = true;
    int Deleted = 0;
};
TCloseWatch Watch;

// A script scene that notes, as the render thread ends it, whether the view's timer still runs.
class TTimerProbeScene : public TZevLispGMLoop {
public:
    void OnShutdown() override
    {
        if (Watch.View != nullptr)
            Watch.TimerAtSceneEnd = Watch.View->Timer.TimerId != 0;
        TZevLispGMLoop::OnShutdown();
    }
};

class TWatchedRenderer : public TDemoTestRenderer {
public:
    ~TWatchedRenderer() override
    {
        if (Watch.View == nullptr)
            return;
        Watch.ThreadRunning = Watch.View->Thread.IsStarted();
        Watch.TimerRunning = Watch.View->Timer.TimerId != 0;
        Watch.SceneRunning = Watch.View->Host.IsRunning();
        ++Watch.Deleted;
    }
};

TEST_F(ViewTest, ClosingAViewKillsTheTimerBeforeTheThreadEndsAndBothBeforeTheRendererGoes)
{
    TZevRendererKind watched = DemoTestRendererKind;
    watched.Create = [] { return static_cast<TZevQueuedRenderer*>(new TWatchedRenderer); };
    ViewRendererKind = &watched;
    Watch = {};
    Form->OpenScene(new TTimerProbeScene, "Blocks.lsp", nullptr);
    ASSERT_TRUE(WaitForScript());
    Watch.View = Form->ViewWindow;
    const int ticks = Watch.View->Timer.Ticks;
    EXPECT_TRUE(PumpUntil([&] { return Watch.View->Timer.Ticks > ticks; })); // the timer wakes the thread
    Form->ViewWindow->Close();
    EXPECT_EQ(Watch.Deleted, 1);
    EXPECT_FALSE(Watch.ThreadRunning);
    EXPECT_FALSE(Watch.TimerRunning);
    EXPECT_FALSE(Watch.SceneRunning);
    EXPECT_FALSE(Watch.TimerAtSceneEnd); // the timer was killed before the thread ended the scene
    Watch.View = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return ViewCount() == 0; }));
}

TEST_F(ViewTest, APausedSceneGetsOneFramePerPauseIntervalAndNeverHoldsTheLockMeanwhile)
{
    Form->OpenScene(new TZevLispGMLoop, "DefaultWorld.lsp",
                    [](TZevDXGMWin* view) { static_cast<TZevGMLoop*>(view->Host.Scene)->PauseMilliseconds = 1500; });
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* view = Form->ViewWindow;
    ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 2; }));
    SendMessageA(view->Handle, WM_KEYDOWN, VK_CONTROL, 0); // CONTROL toggles the pause
    SendMessageA(view->Handle, WM_KEYUP, VK_CONTROL, 0);
    const int paused = ViewRenderer()->Frames();
    const auto start = Clock::now();
    double longestWait = 0.0;
    while (MillisecondsSince(start) < 1000.0) {
        const auto asked = Clock::now();
        GlobalLock.Enter();
        longestWait = std::max(longestWait, MillisecondsSince(asked));
        GlobalLock.Leave();
        PumpFor(50);
    }
    // A frame that slept its pause under the lock would keep the lock nearly all the time: the wait after the
    // first would last well over a second.
    EXPECT_LT(longestWait, 1000.0);
    EXPECT_LE(ViewRenderer()->Frames() - paused, 2);
    SendMessageA(view->Handle, WM_KEYDOWN, VK_CONTROL, 0);
    const int resumed = ViewRenderer()->Frames();
    EXPECT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= resumed + 5; }, 5000));
}

// An empty world whose every frame takes longer than the view's interval.
class TSlowScene : public TZevGMLoop {
public:
    void Setup() override {}
    std::atomic<std::uint64_t> Spin{0};
    std::atomic<int> Steps{0};
    void Step() override
    {
        TZevGMLoop::Step();
        ++Steps;
        // Work, as a heavy frame does (a frame that sleeps leaves the lock's waiters other chances).
        const auto start = Clock::now();
        while (MillisecondsSince(start) < 40.0)
            Spin = Spin + 1;
    }
};

// Frames that run late follow each other at once; the user-interface thread still gets the lock between two of
// them (to take a click, or to close the view), with the timer and without it.
TEST_F(ViewTest, FramesThatRunLateStillLetTheUserInterfaceThreadTakeTheLock)
{
    for (const std::int32_t timer : {1, 0}) {
        SCOPED_TRACE(timer);
        auto* scene = new TSlowScene;
        TZevDXGMWin* view = Form->OpenScene(scene, nullptr, nullptr);
        ASSERT_NE(view, nullptr);
        view->TimerFlag = timer; // read by the thread at each pass
        ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 3; }));
        // Asked for as the user-interface thread asks: waiting on the lock. A wait is counted in the frames that
        // ran meanwhile (a busy machine stretches the frames, not their number). A wait that does not end is
        // ended by stopping the frames, so that the test fails rather than hangs.
        std::atomic<int> longestWait{0};
        std::atomic<bool> done{false};
        std::thread asker([&] {
            for (int i = 0; i < 10; ++i) {
                const int asked = scene->Steps;
                GlobalLock.Enter();
                longestWait = std::max(longestWait.load(), scene->Steps - asked);
                GlobalLock.Leave();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            done = true;
        });
        const auto start = Clock::now();
        while (!done && MillisecondsSince(start) < 60000.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done)
            view->Thread.StopFlag = 1;
        asker.join();
        EXPECT_TRUE(done.load()) << "the lock was never free between two frames";
        // A few frames at most (a waiter woken on a busy machine may miss a gap or two); one that had to wait for
        // the frames to stop running late would see dozens.
        EXPECT_LE(longestWait, 12) << "frames that ran while the lock was asked for";
        view->Close();
        ASSERT_TRUE(PumpUntil([&] { return ViewCount() == 0; }));
    }
}

TEST_F(ViewTest, TheScenesFrameIntervalPacesTheView)
{
    Form->OpenScene(new TZevLispGMLoop, nullptr, [](TZevDXGMWin* view) { view->Host.Scene->FrameInterval = 150.0f; });
    ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 2; }));
    const int before = ViewRenderer()->Frames();
    const auto start = Clock::now();
    PumpFor(600);
    // A busy machine may hold the view back: at least one frame, however long it takes.
    ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() > before; }));
    const int frames = ViewRenderer()->Frames() - before;
    EXPECT_LE(frames, static_cast<int>(MillisecondsSince(start) / 150.0) + 1);
}

TEST_F(ViewTest, TheConsolesCloseBoxLeavesTheViewRunningWithoutIt)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* view = Form->ViewWindow;
    ZevInputClose(view->Console->Handle);
    ASSERT_TRUE(PumpUntil([&] { return view->Console == nullptr; }));
    EXPECT_EQ(CurrentConsole, nullptr);
    // A script handed over now finds no console: it is dropped (and logged); the frames go on.
    view->SetPendingScript("Blocks.lsp");
    const int frames = ViewRenderer()->Frames();
    EXPECT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() > frames + 2; }));
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        EXPECT_EQ(view->PendingScript.GetLength(), 0);
    }
    Choose("Demo Block");
    EXPECT_TRUE(WaitForScript());
}

TEST_F(ViewTest, AViewClosedWhileTheLockIsHeldEndsOnceTheLockIsLeft)
{
    Choose("Demo Block");
    ASSERT_TRUE(WaitForScript());
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        Form->ViewWindow->Close(); // must not wait for the render thread, which needs the lock
    }
    EXPECT_TRUE(PumpUntil([&] { return ViewCount() == 0 && TDemoTestRenderer::Alive == 0; }));
    EXPECT_EQ(Form->ViewWindow, nullptr);
    EXPECT_EQ(CurrentWorld, nullptr);
}

// Threads of the process, and its resident memory in kB.
int ThreadCount()
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++n;
    }
    return n;
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

TEST_F(ViewTest, TwentyScenesInARowLeaveThreadsAndMemoryWhereTheFirstLeftThem)
{
    const char* scenes[] = {"Demo Block", "Stack Objects", "Crane Car", "Default Orvelle Physics World"};
    int threads = 0;
    long resident = 0;
    std::int32_t live = 0;
    for (int i = 0; i < 20; ++i) {
        Choose(scenes[i % 4]);
        ASSERT_TRUE(WaitForScript()) << "scene " << i;
        ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 3; })) << "scene " << i;
        EXPECT_EQ(ViewCount(), 1);
        Form->ViewWindow->Close();
        ASSERT_TRUE(PumpUntil([&] { return ViewCount() == 0 && TDemoTestRenderer::Alive == 0; })) << "scene " << i;
        // After the first round every scene has run once: what stays for the program's life (the scripts' global
        // definitions, the interpreter's atoms) is made by then.
        if (i == 3) {
            threads = ThreadCount();
            resident = ResidentKilobytes();
            live = NewCount - DeleteCount;
        }
    }
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_LT(NewCount - DeleteCount, live + 500);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // the sanitizers keep freed memory back
    EXPECT_LT(ResidentKilobytes(), resident + 4 * 1024);
#else
    (void)resident;
#endif
}

} // namespace
