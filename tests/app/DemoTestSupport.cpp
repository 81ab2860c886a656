#include "DemoTestSupport.h"

#include "XProgramSupport.h"

#include "../common/DataSet.h"

#include "GlobalLock.h"
#include "ZevDemoInit.h"
#include "ZevFont.h"
#include "ZevWindowCore.h"
#include "ZevMenu.h"
#include "ZevWinApi.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace fs = std::filesystem;

std::atomic<int> TDemoTestRenderer::Alive{0};

int TDemoTestRenderer::Frames()
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    return Count("Present");
}

TZevRendererKind DemoTestRendererKind = {
    [] { return static_cast<TZevQueuedRenderer*>(new TDemoTestRenderer); },
    [](TZevGLWindow, TZevQueuedRenderer*) { return 1; },
    nullptr,
    [](HWND, TZevQueuedRenderer*) { return 1; },
};

void DemoTest::SetUp()
{
    ZevPlatformInit(TZevBackendKind::Memory);
    ZevDemoInit();
    Home = fs::current_path();
    ASSERT_TRUE(MakeTestDataFolder("demo", &Folder));
    fs::current_path(Folder);
    ViewRendererKind = &DemoTestRendererKind;
    App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
    TZevWin* form = nullptr;
    ASSERT_TRUE(App->CreateForm(&form, "TZevDXGameMenu"));
    Form = dynamic_cast<TZevDXGameMenu*>(form);
    ASSERT_NE(Form, nullptr);
}

void DemoTest::TearDown()
{
    ZevSetModalHook(nullptr, nullptr);
    delete App;
    App = nullptr;
    ZevPlatformShutdown();
    ViewRendererKind = &DX7RendererKind;
    fs::current_path(Home);
    std::error_code error;
    fs::remove_all(Folder, error);
}

bool DemoTest::PumpUntil(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Left for the loop that runs next.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        App->DeleteDeferred();
        // As the message loop does: a view without a render thread runs from the idle function.
        if (App->IdleFunction != nullptr)
            App->IdleFunction(App);
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        ZevWaitForMessages(5);
    }
}

void DemoTest::PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

void DemoTest::Choose(const char* caption)
{
    TZevMenuItem* item = Form->FindItem(caption);
    ASSERT_NE(item, nullptr) << caption;
    PostMessageA(Form->Handle, WM_COMMAND, static_cast<WPARAM>(item->CommandId), 0);
    PumpFor(0);
}

TDemoTestRenderer* DemoTest::ViewRenderer()
{
    return Form->ViewWindow != nullptr ? dynamic_cast<TDemoTestRenderer*>(Form->ViewWindow->Renderer) : nullptr;
}

bool DemoTest::WaitForScript()
{
    return PumpUntil([&] {
        TZevDXGMWin* view = Form->ViewWindow;
        if (view == nullptr || view->Console == nullptr)
            return false;
        TZevCriticalSectionLock lock(&GlobalLock, true);
        return view->PendingScript.GetLength() == 0 && view->Console->InputLine.GetLength() == 0 &&
               !view->Console->History.empty();
    });
}

std::string DemoTest::Console(const std::string& line)
{
    TZevDXGMWin* view = Form->ViewWindow;
    if (view == nullptr || view->Console == nullptr)
        return "(no console)";
    TZevLispWinConsole* console = view->Console;
    const std::size_t before = console->History.size();
    const TZevString text = line.c_str();
    if (!console->Evaluate(text, text, true))
        return "(stopped)";
    std::string answer;
    for (std::size_t i = before + 1; i < console->History.size(); ++i)
        answer += console->History[i] + "\n";
    return answer;
}

int DemoTest::ViewCount()
{
    int n = 0;
    std::vector<TZevVTree*> stack{App->LiveWindows, App->DeferredDeletes};
    while (!stack.empty()) {
        TZevVTree* node = stack.back();
        stack.pop_back();
        for (TZevVTree* child = node->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
            stack.push_back(child);
            n += dynamic_cast<TZevDXGMWin*>(child) != nullptr;
        }
    }
    return n;
}

TDeadlockWatch::TDeadlockWatch(std::string what, int ms)
    : Watch([this, what = std::move(what), ms] {
          const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
          while (!Ended && std::chrono::steady_clock::now() < end)
              std::this_thread::sleep_for(std::chrono::milliseconds(50));
          if (!Ended) {
              std::fprintf(stderr, "deadlock: %s\n", what.c_str());
              std::abort();
          }
      })
{
}

void TDeadlockWatch::End()
{
    Ended = true;
    if (Watch.joinable())
        Watch.join();
}

void ChooseInNextDialog(TDialogChoice* choice)
{
    ZevSetModalHook(
        [](HWND dialog, void* user) {
            auto* c = static_cast<TDialogChoice*>(user);
            ++c->Shown;
            c->Caption = ZevGetWindowText(dialog);
            // Every other window of the program is disabled while the dialog is open.
            c->OthersDisabled = true;
            if (TZevWin* root = GetRootWindow())
                c->OthersDisabled = c->OthersDisabled && !IsWindowEnabled(root->Handle);
            if (TZevControl* form = WindowTable[1])
                c->OthersDisabled = c->OthersDisabled && !IsWindowEnabled(static_cast<TZevWin*>(form)->Handle);
            if (CurrentViewWindow != nullptr)
                c->OthersDisabled = c->OthersDisabled && !IsWindowEnabled(CurrentViewWindow->Handle);
            if (HWND name = GetDlgItem(dialog, ZevDialogNameId)) {
                if (c->Path.empty()) {
                    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                    return;
                }
                SetFocus(name);
                SetWindowTextA(name, c->Path.c_str());
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                return;
            }
            // A message box: its text is in its static child; OK closes it.
            if (HWND text = GetDlgItem(dialog, 0))
                c->Text = ZevGetWindowText(text);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        },
        choice);
}

TMenuClicks MenuBarClicks(const std::vector<std::string>& popups, int width, int left, int top,
                          const std::string& popup, int index)
{
    // Titles with 8 pixels either side.
    TZevFontDesc font;
    font.pixelHeight = ZevUiFontHeight;
    int x = 4, row = 0;
    for (const std::string& title : popups) {
        std::int32_t w = 0, h = 0;
        ZevMeasureText(font, title.c_str(), title.size(), &w, &h);
        w += 16;
        if (x > 4 && x + w > width) {
            ++row;
            x = 4;
        }
        if (title == popup) {
            const int popupTop = top + CaptionHeight + (row + 1) * MenuRowHeight;
            return {POINT{left + x + w / 2, top + CaptionHeight + row * MenuRowHeight + MenuRowHeight / 2},
                    POINT{left + x + 30, popupTop + 2 + index * MenuRowHeight + MenuRowHeight / 2}};
        }
        x += w;
    }
    ADD_FAILURE() << "no popup " << popup;
    return {};
}

TMenuClicks DemoMenuClicks(const TZevDemoMenuEntry& chosen)
{
    std::vector<std::string> popups;
    int index = 0;
    bool before = true;
    for (const TZevDemoMenuEntry& entry : DemoMenuTable()) {
        if (popups.empty() || popups.back() != entry.Popup)
            popups.push_back(entry.Popup);
        before = before && &entry != &chosen;
        index += before && std::string(entry.Popup) == chosen.Popup;
    }
    return MenuBarClicks(popups, FormWidth, 0, 0, chosen.Popup, index);
}

TMenuClicks DemoMenuClicks(const std::string& caption)
{
    for (const TZevDemoMenuEntry& entry : DemoMenuTable())
        if (caption == entry.Caption)
            return DemoMenuClicks(entry);
    ADD_FAILURE() << "no entry " << caption;
    return {};
}

void ClickMenu(const TMenuClicks& clicks)
{
    for (const POINT& p : {clicks.Popup, clicks.Entry})
        ASSERT_EQ(RunProgram({"xdotool", "mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"}), 0);
}
