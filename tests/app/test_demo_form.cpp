// The main form: its menu bar, every script entry opening its file over the default world without an error, one
// view at a time, the scenes written in code, the full-screen and shadow switches, About, Reference and Close.
#include "DemoTestSupport.h"

#include "../common/TestFiles.h"

#include "QEContext.h"
#include "TestForm.h"
#include "ZevDXFormTest.h"
#include "ZevEasyTestScene.h"
#include "ZevFilterForm.h"
#include "ZevFlightScene.h"
#include "ZevForm1.h"
#include "ZevGMDemo.h"
#include "ZevGMLoop10.h"
#include "ZevGMLoop11.h"
#include "ZevGMLoop12.h"
#include "ZevGrabScene.h"
#include "ZevLispGMLoop.h"
#include "ZevLispWin.h"
#include "ZevMenu.h"
#include "ZevSlideTestScene.h"
#include "ZevSpinScene.h"
#include "ZevVehicleScene.h"
#include "qe.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <typeinfo>

namespace fs = std::filesystem;

namespace {

using FormTest = DemoTest;

TEST_F(FormTest, TheMenuBarOffersItsPopupsInOrder)
{
    const HMENU bar = Form->MenuBar->MenuHandle;
    const std::vector<std::string> popups = {"Files", "SetUp", "Orvelle_Physics_Engine", "Orvelle_Physics_Engine_Demo",
                                             "ExtraDemo", "実験用(Dont Touch)", "Help"};
    ASSERT_EQ(ZevGetMenuItemCount(bar), static_cast<int>(popups.size()));
    for (std::size_t i = 0; i < popups.size(); ++i)
        EXPECT_EQ(ZevGetMenuItemText(bar, static_cast<int>(i)), popups[i]);
    EXPECT_EQ(ZevGetWindowText(Form->Handle), "Orvelle Physics Engine Demo");
    EXPECT_EQ(ZevGetWindowText(GetRootWindow()->Handle), "Orvelle Physics Engine Demo");
}

// Every script entry: its file is loaded after the default world, without an error, and makes bodies. The file
// dialog of "Load Orvelle Physics Lisp File" is cancelled.
TEST_F(FormTest, EveryScriptEntryRunsItsFileOverTheDefaultWorld)
{
    TDialogChoice cancel;
    ChooseInNextDialog(&cancel);
    for (const TZevDemoMenuEntry& entry : DemoMenuTable()) {
        if (entry.Kind != TZevDemoEntryKind::ScriptScene)
            continue;
        SCOPED_TRACE(entry.Caption);
        ASSERT_TRUE(fs::exists(Folder / "LispSource" / entry.Script));
        Choose(entry.Caption);
        ASSERT_TRUE(WaitForScript());
        const auto& history = Form->ViewWindow->Console->History;
        EXPECT_EQ(history.front(),
                  "> (load \"DefaultWorld.lsp\")(load \"" + std::string(entry.Script) + "\")"); // folder kept
        for (const std::string& line : history)
            EXPECT_NE(line.rfind("Error", 0), 0u) << line;
        GlobalLock.Enter();
        EXPECT_NE(CurrentWorld, nullptr);
        EXPECT_FALSE(XPhBodyList.IsEmpty());
        GlobalLock.Leave();
        EXPECT_EQ(ViewCount(), 1); // the view before is gone
    }
    EXPECT_EQ(cancel.Shown, 1);
}

TEST_F(FormTest, ChoosingASceneAgainReplacesItsViewWithAFreshOne)
{
    Choose("Crane Car");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* first = Form->ViewWindow;
    Console("(def marker 1)");
    Choose("Crane Car");
    ASSERT_TRUE(WaitForScript());
    EXPECT_NE(Form->ViewWindow, first);
    EXPECT_TRUE(PumpUntil([&] { return ViewCount() == 1; }));
    EXPECT_EQ(Form->ViewWindow->Console->History.front(),
              "> (load \"DefaultWorld.lsp\")(load \"LispCraneAutoTest2.lsp\")");
    EXPECT_EQ(TDemoTestRenderer::Alive, 1);
    // The view covers the form.
    EXPECT_EQ(Form->ViewWindow->GetScreenLeft(), Form->GetScreenLeft());
    EXPECT_EQ(Form->ViewWindow->GetWidth(), Form->GetWidth());
}

TEST_F(FormTest, SceneEntriesInCodeOpenTheirScene)
{
    const struct {
        const char* caption;
        const std::type_info& scene;
    } cases[] = {
        {"Demo Crane", typeid(TZevGrabScene)},   {"Demo Car", typeid(TZevVehicleScene)},
        {"Demo Flight", typeid(TZevGMLoop)},     {"GM Bench", typeid(TZevSpinScene)},
        {"GM9Test", typeid(TZevSlideTestScene)}, {"GM10Test", typeid(TZevGMLoop10)},
        {"GM11Test", typeid(TZevGMLoop11)},      {"GM12Test", typeid(TZevGMLoop12)},
        {"Easy Test", typeid(TZevEasyTestScene)}, {"2DDemo", typeid(TZevGMDemo)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        Choose(c.caption);
        TZevDXGMWin* view = Form->ViewWindow;
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() >= 2; }));
        GlobalLock.Enter();
        ASSERT_NE(view->Host.Scene, nullptr);
        EXPECT_EQ(typeid(*view->Host.Scene), c.scene);
        EXPECT_EQ(view->PendingScript.GetLength(), 0);
        GlobalLock.Leave();
        if (auto* demo = dynamic_cast<TZevGMDemo*>(view->Host.Scene)) {
            // The program's own command file, loaded and taken as the list of commands.
            EXPECT_STREQ(demo->CommandFileName.CStr(), "democmd2.txt");
            EXPECT_TRUE(LispIsPair(demo->CommandList) || demo->Finished);
            EXPECT_EQ(CurrentGMDemo, demo);
        }
        // The sliding test measures frames that follow each other: no timer between them.
        EXPECT_EQ(view->TimerFlag.load(), std::string(c.caption) == "GM9Test" ? 0 : 1);
    }
    Form->ViewWindow->Close();
    EXPECT_TRUE(PumpUntil([&] { return ViewCount() == 0; }));
    std::error_code error;
    fs::remove_all(Folder / ".." / "datas", error);
}

// A scene built in code loads no script file, yet its console knows what the script scenes' consoles know: the
// README's console line answers there as it does over the default world.
TEST_F(FormTest, TheConsolesOfScenesInCodeKnowTheScriptLibrary)
{
    for (const char* caption : {"Easy Test", "Demo Crane", "Demo Car", "GM Bench"}) {
        SCOPED_TRACE(caption);
        Choose(caption);
        ASSERT_TRUE(WaitForScript());
        const auto& history = Form->ViewWindow->Console->History;
        EXPECT_EQ(history.front(), "> (load \"pomulib.lsp\")");
        for (const std::string& line : history)
            EXPECT_NE(line.rfind("Error", 0), 0u) << line;
        EXPECT_EQ(Console("(place (LoadXPhBody \"lbox.x\") 0 4 0)"), "t\n");
    }
}

TEST_F(FormTest, Form1TestOpensTheLauncherAndItsFourWindowsBesideTheRunningView)
{
    Choose("Demo Block");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* view = Form->ViewWindow;
    Choose("Form1 test");
    auto* launcher = dynamic_cast<TZevForm1*>(Form->TestForm);
    ASSERT_NE(launcher, nullptr);
    EXPECT_NE(launcher->FilterForm, nullptr);
    EXPECT_NE(launcher->LispWin, nullptr);
    EXPECT_NE(launcher->DXFormTest, nullptr);
    EXPECT_NE(launcher->TestForm, nullptr);
    // The view is left running.
    EXPECT_EQ(Form->ViewWindow, view);
    const int frames = ViewRenderer()->Frames();
    EXPECT_TRUE(PumpUntil([&] { return ViewRenderer()->Frames() > frames + 2; }));
    EXPECT_EQ(ViewCount(), 1);

    // A second launcher replaces the first in the form; the first closing later does not reach the second.
    Choose("Form1 test");
    auto* second = dynamic_cast<TZevForm1*>(Form->TestForm);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, launcher);
    EXPECT_EQ(CurrentForm1, second);
    launcher->Close();
    PumpFor(0);
    EXPECT_EQ(Form->TestForm, second);
    second->Close();
    PumpFor(0);
    EXPECT_EQ(Form->TestForm, nullptr);
    EXPECT_EQ(Form->ViewWindow, view);
}

// The launcher's windows say what they are, lie side by side on a 1280 x 1024 screen (the Direct3D test at the
// 650 x 510 it takes when it starts), and its Files > Close takes all five away while the program goes on.
TEST_F(FormTest, TheLaunchersWindowsAreCaptionedSideBySideAndCloseWithIt)
{
    Choose("Form1 test");
    auto* launcher = dynamic_cast<TZevForm1*>(Form->TestForm);
    ASSERT_NE(launcher, nullptr);
    struct Window {
        TZevWin* Win;
        const char* Caption;
        RECT Place;
    };
    std::vector<Window> windows;
    for (auto [win, caption] : std::initializer_list<std::pair<TZevWin*, const char*>>{
             {launcher, "Test Launcher"},
             {launcher->FilterForm, "Image Filter"},
             {launcher->LispWin, "Script Window"},
             {launcher->DXFormTest, "Direct3D Test"},
             {launcher->TestForm, "Test Form"}}) {
        ASSERT_NE(win, nullptr) << caption;
        const bool grows = win == launcher->DXFormTest;
        const int left = win->GetScreenLeft(), top = win->GetScreenTop();
        windows.push_back({win, caption,
                           RECT{left, top, left + (grows ? 650 : win->GetWidth()), top + (grows ? 510 : win->GetHeight())}});
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Window& a = windows[i];
        EXPECT_EQ(ZevGetWindowText(a.Win->Handle), a.Caption);
        EXPECT_GE(a.Place.left, 0) << a.Caption;
        EXPECT_GE(a.Place.top, 0) << a.Caption;
        EXPECT_LE(a.Place.right, 1280) << a.Caption;
        EXPECT_LE(a.Place.bottom, 1024) << a.Caption;
        for (std::size_t j = i + 1; j < windows.size(); ++j) {
            const RECT& p = a.Place;
            const RECT& q = windows[j].Place;
            const bool overlap = p.left < q.right && q.left < p.right && p.top < q.bottom && q.top < p.bottom;
            EXPECT_FALSE(overlap) << a.Caption << " over " << windows[j].Caption;
        }
    }
    std::vector<HWND> handles;
    for (const Window& w : windows)
        handles.push_back(w.Win->Handle);
    TZevMenuItem* close = nullptr;
    for (TZevMenuItem* item : launcher->Items)
        if (item != nullptr && std::string(item->Caption.CStr()) == "Close")
            close = item;
    ASSERT_NE(close, nullptr);
    PostMessageA(launcher->Handle, WM_COMMAND, static_cast<WPARAM>(close->CommandId), 0);
    EXPECT_TRUE(PumpUntil([&] {
        for (HWND handle : handles)
            if (IsWindow(handle))
                return false;
        return true;
    }));
    EXPECT_EQ(Form->TestForm, nullptr);
    EXPECT_EQ(CurrentForm1, nullptr);
    PumpFor(100);
    EXPECT_TRUE(IsWindow(Form->Handle)) << "the program ended with the launcher";
}

TEST_F(FormTest, TheTestFormsGameEntriesOpenViewsOfTheirOwnThatStayOpen)
{
    Choose("Form1 test");
    auto* launcher = dynamic_cast<TZevForm1*>(Form->TestForm);
    ASSERT_NE(launcher, nullptr);
    TTestForm* testForm = launcher->TestForm;
    ASSERT_NE(testForm, nullptr);
    auto chooseGame = [&](const char* caption) {
        for (TZevMenuItem* item : testForm->Items)
            if (item != nullptr && std::string(item->Caption.CStr()) == caption)
                PostMessageA(testForm->Handle, WM_COMMAND, static_cast<WPARAM>(item->CommandId), 0);
        PumpFor(0);
        return testForm->LastViewWindow;
    };
    // Game2 twice: two views, each with a flight scene of its own; Game1: the flight demonstration.
    TZevDXGMWin* first = chooseGame("Game2");
    TZevDXGMWin* second = chooseGame("Game2");
    TZevDXGMWin* third = chooseGame("Game1");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(third, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(ViewCount(), 3);
    for (TZevDXGMWin* view : {first, second, third}) {
        EXPECT_EQ(view->GetWidth(), 651);
        EXPECT_EQ(view->GetHeight(), 510);
        EXPECT_EQ(view->FullScreen, 0);
        auto* renderer = dynamic_cast<TDemoTestRenderer*>(view->Renderer);
        ASSERT_NE(renderer, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return renderer->Frames() >= 3; }));
    }
    GlobalLock.Enter();
    EXPECT_EQ(typeid(*first->Host.Scene), typeid(TZevFlightScene));
    EXPECT_EQ(typeid(*second->Host.Scene), typeid(TZevFlightScene));
    EXPECT_NE(first->Host.Scene, second->Host.Scene);
    EXPECT_EQ(typeid(*third->Host.Scene), typeid(TZevGMLoop));
    GlobalLock.Leave();
    // The last view closing clears the form's pointer; an earlier one closing leaves it.
    first->Close();
    PumpFor(0);
    EXPECT_EQ(testForm->LastViewWindow, third);
    third->Close();
    EXPECT_TRUE(PumpUntil([&] { return testForm->LastViewWindow == nullptr; }));
    EXPECT_TRUE(PumpUntil([&] { return ViewCount() == 1; }));
}

// CheckMenuItem answers the state it found.
bool Checked(TZevDXGameMenu* form, TZevMenuItem* item)
{
    const DWORD was = CheckMenuItem(form->MenuBar->MenuHandle, static_cast<UINT>(item->CommandId), MF_CHECKED);
    CheckMenuItem(form->MenuBar->MenuHandle, static_cast<UINT>(item->CommandId), was == MF_CHECKED ? MF_CHECKED : 0);
    return was == MF_CHECKED;
}

TEST_F(FormTest, FullScreenAndShadowAreCheckedAndGoToTheNextViewOnly)
{
    Choose("Default Orvelle Physics World");
    ASSERT_TRUE(WaitForScript());
    TZevDXGMWin* open = Form->ViewWindow;
    Choose("FullScreen");
    Choose("Shadow");
    EXPECT_TRUE(Checked(Form, Form->FullScreenItem));
    EXPECT_TRUE(Checked(Form, Form->ShadowItem));
    EXPECT_EQ(open->FullScreen, 0);
    EXPECT_EQ(open->Shadow, 0);
    Choose("Demo Block");
    ASSERT_TRUE(WaitForScript());
    EXPECT_EQ(Form->ViewWindow->FullScreen, 1);
    EXPECT_EQ(Form->ViewWindow->Shadow, 1);
    EXPECT_EQ(Form->ViewWindow->Renderer->GetStencilShadows(), 1);
    EXPECT_EQ(Form->ViewWindow->GetWidth(), 640);
    EXPECT_EQ(Form->ViewWindow->GetHeight(), 480);
    Choose("FullScreen");
    EXPECT_FALSE(Checked(Form, Form->FullScreenItem));
    EXPECT_EQ(Form->ViewWindow->FullScreen, 1);
}

TEST_F(FormTest, AboutShowsTheVersionText)
{
    TDialogChoice box;
    ChooseInNextDialog(&box);
    Choose("About");
    EXPECT_EQ(box.Shown, 1);
    EXPECT_EQ(box.Caption, "Orvelle Physics Engine Ver.1.3.0");
    EXPECT_EQ(box.Text.rfind("Orvelle Physics Engine Ver.1.3.0 \n", 0), 0u) << box.Text;
    EXPECT_STREQ(QE_About(), "Orvelle Physics Engine Ver.1.3.0");
}

TEST_F(FormTest, ReferenceOpensThePageWithTheDesktopsOpener)
{
    // An opener of our own on the path notes what it was asked to open.
    fs::create_directories(Folder / "bin");
    const fs::path opener = Folder / "bin" / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << (Folder / "opened.txt").string() << "\"\n";
    fs::permissions(opener, fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", ((Folder / "bin").string() + ":" + path).c_str(), 1);
    TDialogChoice box;
    ChooseInNextDialog(&box);
    Choose("Reference");
    setenv("PATH", path.c_str(), 1);
    const std::string opened = ReadFile(Folder / "opened.txt");
    EXPECT_EQ(fs::path(opened), Folder / "POMU_Lisp_Reference.html");
    EXPECT_TRUE(fs::exists(opened));
    EXPECT_EQ(box.Shown, 0);
}

TEST_F(FormTest, AReferenceThatCannotBeOpenedIsSaidOnScreenWithThePagesPath)
{
    const std::string page = (Folder / "POMU_Lisp_Reference.html").string();
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const struct {
        const char* opener; // the script on the path, or null for none
        bool pagePresent;
        const char* reason;
    } cases[] = {
        {nullptr, true, "xdg-open, the desktop's opener, is not installed (it comes with xdg-utils)"},
        {"exit 3", true, "xdg-open finds no program that opens this kind of file"},
        {"exit 0", false, "the file cannot be found"},
    };
    for (const auto& c : cases) {
        const fs::path bin = Folder / (std::string("bin-") + (c.opener ? c.opener : "none"));
        fs::create_directories(bin);
        if (c.opener != nullptr) {
            std::ofstream(bin / "xdg-open") << "#!/bin/sh\n" << c.opener << "\n";
            fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        }
        if (!c.pagePresent)
            fs::rename(page, page + ".aside");
        // Only our folder on the path: the machine's own opener is not found.
        setenv("PATH", bin.string().c_str(), 1);
        TDialogChoice box;
        ChooseInNextDialog(&box);
        Choose("Reference");
        setenv("PATH", path.c_str(), 1);
        if (!c.pagePresent)
            fs::rename(page + ".aside", page);
        EXPECT_EQ(box.Shown, 1) << c.reason;
        EXPECT_EQ(box.Caption, "Reference");
        // The path, broken into lines before a '/' where it is long.
        std::string joined = box.Text;
        for (std::size_t at; (at = joined.find("\n/")) != std::string::npos;)
            joined.erase(at, 1);
        EXPECT_NE(joined.find("opened:" + page + "\n"), std::string::npos) << box.Text;
        EXPECT_NE(box.Text.find(c.reason), std::string::npos) << box.Text;
    }
}

TEST_F(FormTest, FilesCloseEndsTheProgramWithExitCodeZeroAndEndsTheOpenView)
{
    Choose("Demo Block");
    ASSERT_TRUE(WaitForScript());
    TZevMenuItem* close = Form->FindItem("Close");
    PostMessageA(Form->Handle, WM_COMMAND, static_cast<WPARAM>(close->CommandId), 0);
    EXPECT_EQ(App->Run(), 0);
    EXPECT_EQ(TDemoTestRenderer::Alive, 0);
    EXPECT_EQ(CurrentWorld, nullptr);
}

} // namespace
