#include "XProgramSupport.h"

#include "../common/DataSet.h"

#include "ZevGLPrivateServer.h"
#include "ZevWinApi.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unordered_set>

extern char** environ;

namespace {

bool OnPath(const char* program)
{
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string StatusField(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return line.substr(std::string(field).size());
    return "";
}

// A connection of the test's own that watches the screen: the damage extension reports every change drawn on the
// root window or any window in it, and the root's structure events report the top-level windows mapped.
struct TScreenWatch {
    Display* Dpy = nullptr;
    Damage Changes = 0;
    int DamageEventBase = 0;
    long ChangesSeen = 0;
    std::vector<Window> Mapped; // since the last look

    bool Open()
    {
        Dpy = XOpenDisplay(nullptr);
        int errorBase = 0;
        if (!Dpy || !XDamageQueryExtension(Dpy, &DamageEventBase, &errorBase)) {
            Close();
            return false;
        }
        const Window root = DefaultRootWindow(Dpy);
        Changes = XDamageCreate(Dpy, root, XDamageReportNonEmpty);
        XSelectInput(Dpy, root, SubstructureNotifyMask);
        XSync(Dpy, False);
        return true;
    }
    void Close()
    {
        if (Dpy)
            XCloseDisplay(Dpy);
        Dpy = nullptr;
        Changes = 0;
        Mapped.clear();
    }
    // Handles what has come; with none yet, waits for an event until `end`. False when none came in time.
    bool Next(std::chrono::steady_clock::time_point end)
    {
        if (!XPending(Dpy)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd fd{ConnectionNumber(Dpy), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0 || !XPending(Dpy))
                return false;
        }
        while (XPending(Dpy)) {
            XEvent event;
            XNextEvent(Dpy, &event);
            if (event.type == DamageEventBase + XDamageNotify)
                ++ChangesSeen;
            else if (event.type == MapNotify)
                Mapped.push_back(event.xmap.window);
        }
        // Reported again at the next change.
        XDamageSubtract(Dpy, Changes, None, None);
        XFlush(Dpy);
        return true;
    }
    std::string Name(Window window) const
    {
        char* name = nullptr;
        std::string text;
        if (XFetchName(Dpy, window, &name) && name)
            text = name;
        if (name)
            XFree(name);
        return text;
    }
};

TScreenWatch ScreenWatch;

} // namespace

bool StartXSession()
{
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !ZevGLStartPrivateServer())
        return false;
    if (ZevPlatformInit(TZevBackendKind::X11) != TZevBackendKind::X11)
        return false;
    ScreenWatch.Close();
    return ScreenWatch.Open();
}

void EndXSession()
{
    ScreenWatch.Close();
    ZevPlatformShutdown();
}

namespace {

// Starts a program with the environment `envp`; the rest as StartProgramOn says.
pid_t Spawn(const std::vector<std::string>& args, char* const* envp, const std::string& folder, int outFd,
            const std::string& errors, bool quiet)
{
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!errors.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

} // namespace

pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder, int outFd)
{
    return Spawn(args, environ, folder, outFd, "", false);
}

pid_t StartProgramOn(const std::string& display, const std::vector<std::string>& args, const std::string& folder,
                     const std::string& errors, bool quiet)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("DISPLAY=", 0) != 0)
            environment.push_back(*e);
    if (!display.empty())
        environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    return Spawn(args, envp.data(), folder, -1, errors, quiet);
}

void StopProgram(pid_t* pid)
{
    if (*pid > 0 && waitpid(*pid, nullptr, WNOHANG) == 0) {
        kill(*pid, SIGKILL);
        waitpid(*pid, nullptr, 0);
    }
    *pid = -1;
}

int RunProgram(const std::vector<std::string>& args)
{
    const pid_t pid = StartProgram(args);
    if (pid <= 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitForExit(pid_t pid, int ms)
{
    // A process descriptor becomes readable when the process ends.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            if (pidfd >= 0)
                close(pidfd);
            return -1;
        }
        if (pidfd >= 0) {
            pollfd fd{pidfd, POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left.count()) + 1);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::uint32_t TScreenShot::At(std::int32_t x, std::int32_t y) const
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return 0;
    return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)];
}

TScreenShot TScreenShot::Part(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) const
{
    TScreenShot part;
    part.Width = width;
    part.Height = height;
    part.Pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            part.Pixels.push_back(At(left + x, top + y));
    return part;
}

int TScreenShot::DistinctColours() const
{
    return static_cast<int>(std::unordered_set<std::uint32_t>(Pixels.begin(), Pixels.end()).size());
}

int TScreenShot::Differences(const TScreenShot& other, int threshold) const
{
    int n = 0;
    for (std::size_t i = 0; i < Pixels.size() && i < other.Pixels.size(); ++i) {
        const std::uint32_t a = Pixels[i], b = other.Pixels[i];
        int largest = 0;
        for (int shift : {0, 8, 16})
            largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                 static_cast<int>((b >> shift) & 0xFF)));
        n += largest > threshold;
    }
    return n;
}

void TScreenShot::Save(const std::string& name) const
{
    std::filesystem::create_directories(QE_SCREENSHOT_DIR);
    ZevWritePng((std::string(QE_SCREENSHOT_DIR) + "/" + name + ".png").c_str(), Pixels.data(), Width, Height);
}

TScreenShot CaptureScreen()
{
    TScreenShot shot;
    std::uint32_t* pixels = nullptr;
    ZevSync();
    if (!ZevCaptureScreen(&shot.Width, &shot.Height, &pixels))
        return shot;
    shot.Pixels.assign(pixels, pixels + static_cast<std::size_t>(shot.Width) * static_cast<std::size_t>(shot.Height));
    ZevFreeCapture(pixels);
    return shot;
}

bool WaitForScreen(const std::function<bool(const TScreenShot&)>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    // What came before this look is taken in: the picture below shows it (a view that draws without pause would
    // keep this loop going: a few rounds are enough).
    for (int round = 0; round < 16 && ScreenWatch.Next(std::chrono::steady_clock::now()); ++round) {
    }
    while (!done(CaptureScreen())) {
        if (!ScreenWatch.Next(end))
            return false;
    }
    return true;
}

bool WaitForFrames(int frames, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const long goal = ScreenWatch.ChangesSeen + frames;
    while (ScreenWatch.ChangesSeen < goal) {
        if (!ScreenWatch.Next(end))
            return false;
    }
    return true;
}

bool WaitForWindow(const std::string& name, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const auto shown = [&] {
        for (Window window : ScreenWatch.Mapped)
            if (ScreenWatch.Name(window) == name)
                return true;
        return false;
    };
    // One mapped before the wait counts too.
    ScreenWatch.Mapped.clear();
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(ScreenWatch.Dpy, DefaultRootWindow(ScreenWatch.Dpy), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(ScreenWatch.Dpy, children[i], &attributes) && attributes.map_state == IsViewable &&
                ScreenWatch.Name(children[i]) == name) {
                XFree(children);
                return true;
            }
        }
        if (children)
            XFree(children);
    }
    do {
        ScreenWatch.Mapped.clear();
        if (!ScreenWatch.Next(end))
            return false;
    } while (!shown());
    return true;
}

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

int ProcessThreads(pid_t pid)
{
    return std::atoi(StatusField(pid, "Threads:").c_str());
}

long ProcessResidentKilobytes(pid_t pid)
{
    return std::atol(StatusField(pid, "VmRSS:").c_str());
}

void XProgramTest::SetUp()
{
    REQUIRE_X_PROGRAM_TOOLS();
    ASSERT_TRUE(MakeTestDataFolder("x11", &Folder));
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
}

void XProgramTest::TearDown()
{
    StopProgram(&Demo);
    EndXSession();
}

void XProgramTest::Click(int x, int y)
{
    ASSERT_EQ(RunProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}), 0);
}

void XProgramTest::Key(const char* key)
{
    ASSERT_EQ(RunProgram({"xdotool", "key", key}), 0);
}

void XProgramTest::Type(const std::string& text, int msPerKey)
{
    ASSERT_EQ(RunProgram({"xdotool", "type", "--delay", std::to_string(msPerKey), text}), 0);
}
