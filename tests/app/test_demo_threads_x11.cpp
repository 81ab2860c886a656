// The demo's threads against real windows and the OpenGL device, on an X server of the test's own: the Direct3D
// test form closed while it animates (again and again), the test form restarted beside a running view that
// draws the same textures.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include "ZevDX7Renderer.h"
#include "ZevDXFormTest.h"
#include "ZevForm1.h"
#include "ZevRendererKind.h"
#include "ZevTextureName.h"

#include <chrono>

namespace {

// The demo's windows on the X server, views drawing with the DirectDraw 7 renderer on OpenGL.
class DemoX11Test : public DemoTest {
protected:
    void SetUp() override
    {
        REQUIRE_X_PROGRAM_TOOLS();
        Started = true;
        DemoTest::SetUp(); // keeps the window layer's X backend
        ViewRendererKind = &DX7RendererKind;
    }
    void TearDown() override
    {
        if (Started)
            DemoTest::TearDown();
        EndXSession();
    }
    // The test launcher's Direct3D test form, after "Form1 test".
    TZevForm1* OpenLauncher()
    {
        Choose("Form1 test");
        return dynamic_cast<TZevForm1*>(Form->TestForm);
    }
    void LauncherEntry(TZevForm1* launcher, const char* caption)
    {
        for (TZevMenuItem* item : launcher->Items)
            if (item != nullptr && std::string(item->Caption.CStr()) == caption) {
                PostMessageA(launcher->Handle, WM_COMMAND, static_cast<WPARAM>(item->CommandId), 0);
                PumpFor(0);
                return;
            }
        ADD_FAILURE() << "no entry " << caption;
    }
    // Frames the test form's thread has run (it counts them itself).
    static int TestFrames(TZevDXFormTest* form) { return form->Thread.Frames.load(); }

    bool Started = false;
};

// Closing the test form while its thread draws into the panel: the thread ends before the panel's renderer goes
// (the window layer closes the panel first). Each round is a program of its own: closing the form ends it.
TEST_F(DemoX11Test, ClosingTheAnimatingTestFormTwentyTimesNeitherCrashesNorHangs)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) {
            delete App;
            App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
        }
        TZevWin* made = nullptr;
        ASSERT_TRUE(App->CreateForm(&made, "TZevDXFormTest"));
        auto* form = dynamic_cast<TZevDXFormTest*>(made);
        ASSERT_NE(form, nullptr);
        form->Runner.Scene.Mode = round % 4; // every mode, the collision test's three models most often
        form->Start();
        ASSERT_TRUE(PumpUntil([&] { return TestFrames(form) > 3; }, 20000)) << "the test does not animate";
        // The close box, as the X server reports it.
        ZevInputClose(form->Handle);
        bool quit = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!quit && std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            App->DeleteDeferred();
            ZevWaitForMessages(5);
        }
        ASSERT_TRUE(quit) << "closing the test form did not end the program";
    }
}

// "Form1 test" beside a view of the default world: both draw floor.bmp, each with its own texture, and restarting
// the test (which releases its renderer on the user-interface thread) takes nothing from the view.
TEST_F(DemoX11Test, ATestFormRestartedBesideAViewLeavesTheViewsTexturesAlone)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevTextureName* floor = GetTextureName("floor.bmp"); // our own reference, for looking
    TZevQueuedRenderer* viewRenderer = Form->ViewWindow->Renderer;
    ASSERT_TRUE(PumpUntil([&] { return floor->HandleFor(viewRenderer) != 0; })) << "the view does not draw the floor";
    const TZevTextureHandle ofView = floor->HandleFor(viewRenderer);

    TZevForm1* launcher = OpenLauncher();
    ASSERT_NE(launcher, nullptr);
    TZevDXFormTest* test = launcher->DXFormTest;
    ASSERT_NE(test, nullptr);
    TZevTextureHandle ofTest = 0;
    for (int start = 0; start < 5; ++start) {
        SCOPED_TRACE(start);
        LauncherEntry(launcher, "TestStart");
        ASSERT_TRUE(test->IsRunning());
        const int frames = TestFrames(test);
        ASSERT_TRUE(PumpUntil([&] { return TestFrames(test) > frames + 20; })) << "the test does not animate";
        // Both draw the floor, each with its own texture, and keep it from frame to frame.
        EXPECT_EQ(floor->RendererCount(), 2);
        EXPECT_EQ(floor->HandleFor(viewRenderer), ofView);
        ofTest = floor->HandleFor(&test->Panel->Renderer);
        EXPECT_NE(ofTest, 0u);
        EXPECT_NE(ofTest, ofView);
        const int more = TestFrames(test);
        ASSERT_TRUE(PumpUntil([&] { return TestFrames(test) > more + 20; }));
        EXPECT_EQ(floor->HandleFor(&test->Panel->Renderer), ofTest) << "the test's floor was loaded again";
        EXPECT_EQ(floor->HandleFor(viewRenderer), ofView) << "the view's floor was loaded again";
    }
    LauncherEntry(launcher, "End");
    EXPECT_EQ(floor->HandleFor(viewRenderer), ofView);
    floor->Release();
}

} // namespace
