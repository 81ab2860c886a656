#include "ZevForm1.h"

#include "TestForm.h"
#include "ZevApplication.h"
#include "ZevDXFormTest.h"
#include "ZevFilterForm.h"
#include "ZevLispWin.h"

TZevClassRecord TZevForm1ClassRecord;
TZevForm1* CurrentForm1 = nullptr;

TZevLSObj* CreateTZevForm1() { return ZevCreateRegistered<TZevForm1>(&TZevForm1ClassRecord); }

namespace {

TZevForm1* LauncherOf(void* arg) { return static_cast<TZevForm1*>(arg); }

// A window of the launcher is going: its pointer goes with it.
void ForgetFilterForm(void* arg) { LauncherOf(arg)->FilterForm = nullptr; }
void ForgetLispWin(void* arg) { LauncherOf(arg)->LispWin = nullptr; }
void ForgetDXFormTest(void* arg) { LauncherOf(arg)->DXFormTest = nullptr; }
void ForgetTestForm(void* arg) { LauncherOf(arg)->TestForm = nullptr; }

void OnCloseLauncher(void* arg) { LauncherOf(arg)->Close(); }
void OnTestStart(void* arg) { LauncherOf(arg)->RestartTest(1); }
void On3DLispStart(void* arg) { LauncherOf(arg)->RestartTest(0); }
void OnFFDTest(void* arg) { LauncherOf(arg)->RestartTest(2); }
void OnInOutTest(void* arg) { LauncherOf(arg)->RestartTest(3); }
void OnEnd(void* arg) { LauncherOf(arg)->EndTest(); }

template <class T> T* MakeForm(TZevApplication* application, const char* className, TZevWinNotifyFn forget,
                               void* launcher)
{
    TZevWin* window = nullptr;
    if (application == nullptr || !application->CreateForm(&window, className))
        return nullptr;
    window->DestroyCallback.Arg = launcher;
    window->DestroyCallback.Fn = forget;
    return static_cast<T*>(window);
}

} // namespace

void TZevForm1::OnCreate()
{
    SetBounds(0, 0, 640, 128);
    SetText("Test Launcher");
    FilterForm = MakeForm<TZevFilterForm>(Application, "TZevFilterForm", ForgetFilterForm, this);
    LispWin = MakeForm<TZevLispWin>(Application, "TZevLispWin", ForgetLispWin, this);
    DXFormTest = MakeForm<TZevDXFormTest>(Application, "TZevDXFormTest", ForgetDXFormTest, this);
    TestForm = MakeForm<TTestForm>(Application, "TTestForm", ForgetTestForm, this);
    // Side by side on a 1280 x 1024 screen: the launcher, the script window (it places itself at 640, 0) and
    // the test form along the top; below them the Direct3D test, which grows to 650 x 510 when it starts, and the
    // image filter beside it.
    if (FilterForm) {
        FilterForm->SetBounds(650, 240, 630, 480);
        FilterForm->SetText("Image Filter");
    }
    if (LispWin)
        LispWin->SetText("Script Window");
    if (DXFormTest) {
        DXFormTest->SetBounds(0, 240, 320, 240);
        DXFormTest->SetText("Direct3D Test");
    }
    if (TestForm) {
        TestForm->SetBounds(960, 0, 320, 240);
        TestForm->SetText("Test Form");
    }
    CurrentForm1 = this;

    MenuBar = NewMenuBar();
    FilesMenu = MenuBar->AddPopupMenu("Files");
    D3DTestMenu = MenuBar->AddPopupMenu("D3DTest");
    Items[0] = FilesMenu ? FilesMenu->AddMenuItem("Close") : nullptr;
    const char* names[] = {"TestStart", "3DLispStart", "FFDTest", "InOutTest", "ElasticTest", "ElasticTest2", "End"};
    for (int i = 0; i < 7; ++i)
        Items[1 + i] = D3DTestMenu ? D3DTestMenu->AddMenuItem(names[i]) : nullptr;
    AddControl(MenuBar);
    // "ElasticTest" and "ElasticTest2" do nothing.
    const TZevMenuHandler handlers[8] = {OnCloseLauncher, OnTestStart, On3DLispStart, OnFFDTest,
                                         OnInOutTest, nullptr, nullptr, OnEnd};
    for (int i = 0; i < 8; ++i) {
        if (Items[i]) {
            Items[i]->HandlerArg = this;
            Items[i]->Handler = handlers[i];
        }
    }
}

void TZevForm1::OnDestroy()
{
    if (CurrentForm1 == this)
        CurrentForm1 = nullptr;
    // The launcher's windows go with it, the program stays: destroyed rather than closed (closing the Direct3D
    // test form ends the program), and the test form told not to end it.
    if (TestForm != nullptr)
        TestForm->EndsProgram = false;
    TZevWin* windows[4] = {FilterForm, LispWin, DXFormTest, TestForm};
    for (TZevWin* window : windows) {
        if (window != nullptr) {
            window->DestroyCallback = {};
            window->Destroy();
        }
    }
    FilterForm = nullptr;
    LispWin = nullptr;
    DXFormTest = nullptr;
    TestForm = nullptr;
}

void TZevForm1::RestartTest(int mode)
{
    if (DXFormTest == nullptr)
        return;
    DXFormTest->Stop();
    DXFormTest->Runner.Scene.Mode = mode;
    DXFormTest->Start();
}

void TZevForm1::EndTest()
{
    if (DXFormTest != nullptr)
        DXFormTest->Stop();
}
