#include "X11TestSupport.h"

#include "ZevGLPrivateServer.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

extern char** environ;

pid_t Spawn(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int r = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    return r == 0 ? pid : -1;
}

bool RunToEnd(std::vector<std::string> args)
{
    const pid_t pid = Spawn(std::move(args));
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OnPath(const char* program)
{
    const std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

POINT CloseBoxOf(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {r.right - 12, r.top + 11};
}

void X11Test::SetUp()
{
    if (!OnPath("xdotool") || !ZevGLStartPrivateServer())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    Started = true;
    ASSERT_EQ(ZevPlatformInit(TZevBackendKind::X11), TZevBackendKind::X11);
    RegisterTestClasses();
    App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
}

void X11Test::TearDown()
{
    if (Started)
        WinUITest::TearDown();
}

void X11Test::Drive(std::vector<std::string> args)
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

void X11Test::ClickAt(HWND window, std::int32_t x, std::int32_t y)
{
    POINT p{x, y};
    ClientToScreen(window, &p);
    Drive({"xdotool", "mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"});
}

void X11Test::ChooseFromMenu(HWND window, std::int32_t barX, int entry)
{
    RECT r;
    GetWindowRect(window, &r);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    // The bar's row of 20 pixels lies right above the client area; the drop-down's entries are 20 pixels high.
    Drive({"xdotool", "mousemove", std::to_string(r.left + barX + 10), std::to_string(client.y - 8), "click", "1"});
    Drive({"xdotool", "mousemove", std::to_string(r.left + barX + 26), std::to_string(client.y + 2 + entry * 20 + 10),
           "click", "1"});
}
