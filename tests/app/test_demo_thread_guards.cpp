// Two rules between the user-interface thread and a view's render thread, each checked on its own (another guard
// must not hide its breach): the console's Load that stops the host closes the program only after leaving
// GlobalLock, so the view joins its render thread as it closes; and the render thread never writes the message
// loop's idle function, which only the user-interface thread may touch.
#include "DemoTestSupport.h"

#include "GlobalLock.h"
#include "ZevMenu.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

using ThreadGuardTest = DemoTest;

TEST_F(ThreadGuardTest, ALoadThatStopsTheHostClosesTheViewOutsideTheLockSoItsThreadEndsAsItCloses)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevLispWinConsole* console = Form->ViewWindow->Console;
    const HWND view = Form->ViewWindow->Handle;
    const fs::path file = Folder / "LispSource" / "quit.lsp";
    std::ofstream(file) << "(exit)\n";
    TDialogChoice choice(file.string());
    ChooseInNextDialog(&choice);
    // A close made under the lock cannot wait for the render thread (it needs the lock for its last frame): the
    // view then leaves the join and its renderer to its deletion. Should both guards go, this would never end.
    TDeadlockWatch watch("Load that stops the host did not return");
    // Sent, not posted: the state the close left is seen before the loop deletes the destroyed windows.
    SendMessageA(console->Handle, WM_COMMAND, static_cast<WPARAM>(console->LoadItem->CommandId), 0);
    watch.End();
    EXPECT_EQ(choice.Shown, 1);
    EXPECT_FALSE(IsWindow(view));
    EXPECT_EQ(TDemoTestRenderer::Alive, 0) << "the view closed under the lock: its thread was not joined";
    EXPECT_FALSE(GlobalLock.IsHeldByCurrentThread());
    EXPECT_EQ(App->Run(), 0);
}

// The loop's idle function while a threaded view runs: a mark of the test's own, which only the user-interface
// thread's code could clear (and it clears only the view's own function).
int MarkCalls = 0;
void IdleMark(TZevApplication*)
{
    ++MarkCalls;
}

TEST_F(ThreadGuardTest, TheRenderThreadNeverWritesTheIdleFunctionNotEvenAsItsRunEnds)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* view = Form->ViewWindow;
    ASSERT_TRUE(view->Thread.IsStarted());
    App->IdleFunction = IdleMark;
    MarkCalls = 0;
    const int frames = ViewRenderer()->Frames();
    ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() > frames + 3; }));
    EXPECT_EQ(App->IdleFunction, IdleMark);
    // ESCAPE: the render thread's frame ends the run, and the thread tells the window to close.
    SendMessageA(view->Handle, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(view->Handle, WM_KEYUP, VK_ESCAPE, 0);
    ASSERT_TRUE(PumpUntil([&] { return ViewCount() == 0; }));
    EXPECT_EQ(App->IdleFunction, IdleMark);
    EXPECT_GT(MarkCalls, 0);
    App->IdleFunction = nullptr;
}

} // namespace
