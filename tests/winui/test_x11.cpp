// The window framework on a real X server: a form with a button, an edit box, a memo and a menu bar, driven by
// real X input from xdotool on an Xvfb display of this test's own, as a person would use it.
#include "WinUITestSupport.h"
#include "ZevFont.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

pid_t Spawn(std::vector<std::string> args, int keepFd = -1)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    (void)keepFd;
    pid_t pid = 0;
    const int r = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

bool OnPath(const char* program)
{
    const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

class X11Test : public WinUITest {
protected:
    void SetUp() override
    {
        if (!OnPath("Xvfb") || !OnPath("xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        // Xvfb picks a free display number itself and writes it to the descriptor.
        Server = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x600x24", "-nolisten",
                        "tcp"});
        close(fds[1]);
        ASSERT_GT(Server, 0);
        char number[32] = {};
        pollfd p{fds[0], POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 10000), 0) << "Xvfb did not start";
        ASSERT_GT(read(fds[0], number, sizeof number - 1), 0);
        close(fds[0]);
        const std::string display = ":" + std::string(number, std::strcspn(number, "\n"));
        setenv("DISPLAY", display.c_str(), 1);
        ASSERT_EQ(ZevPlatformInit(TZevBackendKind::X11), TZevBackendKind::X11);
        RegisterTestClasses();
        App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
    }
    void TearDown() override
    {
        if (Server <= 0)
            return;
        WinUITest::TearDown();
        kill(Server, SIGTERM);
        waitpid(Server, nullptr, 0);
    }
    // Runs a program (xdotool) to its end while the message loop keeps going, then lets the events arrive.
    void Drive(std::vector<std::string> args)
    {
        const pid_t pid = Spawn(std::move(args));
        ASSERT_GT(pid, 0);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            Pump(App);
            ZevWaitForMessages(5);
        }
        for (int i = 0; i < 20; ++i) {
            ZevSync();
            Pump(App);
            ZevWaitForMessages(5);
        }
    }
    void ClickAt(HWND window, std::int32_t x, std::int32_t y)
    {
        POINT p{x, y};
        ClientToScreen(window, &p);
        Drive({"xdotool", "mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"});
    }

    pid_t Server = -1;
};

int gClicks = 0;
int gChosen = 0;
std::vector<WPARAM> gMemoKeys;

} // namespace

TEST_F(X11Test, FormTakesClicksTypingPasteMenuAndTheCloseBox)
{
    TRecordForm* form = NewForm();
    std::vector<std::string> log;
    form->KeepLog = &log;
    form->SetBounds(20, 20, 520, 380);
    form->SetText("テスト フォーム 実験用");
    TZevWin* w = nullptr;
    auto* button = static_cast<TZevButton*>(form->CreateChild(&w, "TZevButton"));
    TZevWin* edit = form->CreateChild(&w, "TZevEdit");
    TZevWin* memo = form->CreateChild(&w, "TZevMemo");
    button->SetBounds(10, 10, 100, 28);
    button->SetText("Press");
    edit->SetBounds(120, 10, 200, 26);
    edit->SetText("");
    memo->SetBounds(10, 50, 310, 150);
    memo->SetText("");
    gClicks = 0;
    button->ClickArg = &gClicks;
    button->ClickHandler = [](void* a) { ++*static_cast<int*>(a); };
    gMemoKeys.clear();
    memo->KeyUpCallback.Fn = [](void*, WPARAM key) { gMemoKeys.push_back(key); };
    TZevMenu* bar = NewMenuBar();
    TZevPopupMenu* file = bar->AddPopupMenu("File");
    file->AddMenuItem("New");
    TZevMenuItem* choose = file->AddMenuItem("Choose");
    gChosen = 0;
    choose->Handler = [](void*) { ++gChosen; };
    form->AddControl(bar);
    Drive({"true"});

    ClickAt(button->Handle, 50, 14);
    EXPECT_EQ(gClicks, 1);

    ClickAt(edit->Handle, 20, 12);
    Drive({"xdotool", "type", "--delay", "10", "hellp"});
    Drive({"xdotool", "key", "BackSpace", "o"});
    EXPECT_STREQ(edit->GetText().CStr(), "hello");

    ClickAt(memo->Handle, 20, 20);
    Drive({"xdotool", "type", "--delay", "10", "ab"});
    Drive({"xdotool", "key", "Return"});
    if (OnPath("xclip")) {
        Drive({"sh", "-c", "printf 'pasted' | xclip -selection clipboard"});
        Drive({"xdotool", "key", "ctrl+v"});
        EXPECT_STREQ(memo->GetText().CStr(), "ab\r\npasted");
    }
    ASSERT_GE(gMemoKeys.size(), 3u);
    EXPECT_EQ(std::vector<WPARAM>(gMemoKeys.begin(), gMemoKeys.begin() + 3),
              (std::vector<WPARAM>{'A', 'B', VK_RETURN}));

    // Keys and a click on the form itself: virtual-key codes, the typed character, client coordinates.
    SetFocus(form->Handle);
    form->Log.clear();
    Drive({"xdotool", "key", "a"});
    ClickAt(form->Handle, 400, 250);
    EXPECT_EQ(form->Only({"key", "char", "mouse"}),
              (std::vector<std::string>{"keydown 65", "char 97", "keyup 65", "mousedown 400 250",
                                        "mouseup 400 250"}));

    // The menu: a click on the bar opens the drop-down, a click on its second entry chooses it.
    RECT r;
    GetWindowRect(form->Handle, &r);
    POINT client{0, 0};
    ClientToScreen(form->Handle, &client);
    Drive({"xdotool", "mousemove", std::to_string(r.left + 14), std::to_string(client.y - 8), "click", "1"});
    Drive({"xdotool", "mousemove", std::to_string(r.left + 30), std::to_string(client.y + 2 + 20 + 10), "click",
           "1"});
    EXPECT_EQ(gChosen, 1);

    // Japanese text draws as glyphs: a CJK face is found, and two different characters do not draw the same box.
    TZevFontSpec spec;
    EXPECT_TRUE(ZevFontHasGlyph(spec, 0x5B9F));
    TZevTextCoverage a, b;
    ASSERT_TRUE(ZevRenderText(spec, "実", 3, &a));
    ASSERT_TRUE(ZevRenderText(spec, "験", 3, &b));
    EXPECT_NE(a.alpha, b.alpha);

    std::int32_t sw = 0, sh = 0;
    std::uint32_t* shot = nullptr;
    ASSERT_TRUE(ZevCaptureScreen(&sw, &sh, &shot));
    EXPECT_TRUE(ZevWritePng(QE_SCREENSHOT_DIR "/winui_form.png", shot, sw, sh));
    // The caption bar is drawn (dark blue) with white text in it.
    int white = 0;
    for (std::int32_t x = r.left; x < r.left + 200; ++x)
        for (std::int32_t y = r.top + 4; y < r.top + 18; ++y)
            white += (shot[static_cast<std::size_t>(y * sw + x)] & 0xC0C0C0) == 0xC0C0C0; // text is smoothed
    EXPECT_GT(white, 20);
    ZevFreeCapture(shot);

    // The close box: closequery, close, destroy, then the loop ends with code 0.
    Drive({"xdotool", "mousemove", std::to_string(r.right - 12), std::to_string(r.top + 11), "click", "1"});
    EXPECT_EQ(App->Run(), 0);
    form = nullptr;
    std::vector<std::string> closing;
    for (const auto& line : log)
        if (line == "closequery" || line == "close" || line == "destroy")
            closing.push_back(line);
    EXPECT_EQ(closing, (std::vector<std::string>{"closequery", "close", "destroy"}));
}
