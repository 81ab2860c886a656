// OGLPomu's window as a person meets it under Xvfb: titled with the program's name, and a right-button menu (and
// its "Files" submenu) drawn as soon as it opens, read back from the screen before the pointer passes over it.
#include "../common/TestFiles.h"
#include "ZevGLPrivateServer.h"
#include "ZevPng.h"
#include "ZevWinApi.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A command's standard output (its exit status in `status` when asked).
std::string Output(const std::string& command, int* status = nullptr)
{
    std::string text;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    const int result = pclose(pipe);
    if (status != nullptr)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return text;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct TRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// Where xdotool sees a window on the screen.
TRect Geometry(const std::string& window)
{
    TRect r;
    std::istringstream shell(Output("xdotool getwindowgeometry --shell " + window));
    for (std::string line; std::getline(shell, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            r.X = value;
        else if (key == "Y")
            r.Y = value;
        else if (key == "WIDTH")
            r.Width = value;
        else if (key == "HEIGHT")
            r.Height = value;
    }
    return r;
}

// The visible menu windows, in xdotool's order.
std::vector<std::string> MenuWindows()
{
    std::vector<std::string> windows;
    std::istringstream list(Output("xdotool search --onlyvisible --name 'freeglut menu' 2>/dev/null"));
    for (std::string id; list >> id;)
        windows.push_back(id);
    return windows;
}

// A part of the screen as 0x00RRGGBB pixels.
std::vector<std::uint32_t> ScreenPart(const TRect& r)
{
    std::vector<std::uint32_t> part;
    std::int32_t width = 0, height = 0;
    std::uint32_t* pixels = nullptr;
    ZevSync();
    if (!ZevCaptureScreen(&width, &height, &pixels))
        return part;
    for (int y = r.Y; y < r.Y + r.Height; ++y)
        for (int x = r.X; x < r.X + r.Width; ++x)
            if (x >= 0 && y >= 0 && x < width && y < height)
                part.push_back(pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                      static_cast<std::size_t>(x)]);
    ZevFreeCapture(pixels);
    return part;
}

// A drawn menu: mostly its light face, with the dark strokes of its text. Undrawn, it is one black box.
bool MenuDrawn(const TRect& r)
{
    const std::vector<std::uint32_t> part = ScreenPart(r);
    std::size_t light = 0, dark = 0;
    for (std::uint32_t p : part) {
        const std::uint32_t g = (p >> 8) & 0xFF;
        light += g > 150;
        dark += g < 80;
    }
    return !part.empty() && light > part.size() / 2 && dark > 10;
}

class OGLPomuWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (Output("command -v xdotool").empty() || !ZevGLStartPrivateServer() ||
            ZevPlatformInit(TZevBackendKind::X11) != TZevBackendKind::X11)
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        Folder = fs::current_path() / "window-menu";
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        fs::create_directory_symlink(QE_DATA_DIR, Folder / "objects");
        WriteFile(Folder / "answer.txt", "2\n");
        // Started by a relative path, as "../build/bin/OGLPomu" would be; frame 5 tells that it runs.
        std::string program = fs::relative(fs::path(QE_BIN_DIR) / "OGLPomu", Folder).string();
        char* argv[] = {program.data(), nullptr};
        setenv("OGLPOMU_SNAPSHOT_AT", "5:ready.png", 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, Folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 0, "answer.txt", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "program.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int spawned = posix_spawn(&Program, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        unsetenv("OGLPOMU_SNAPSHOT_AT");
        ASSERT_EQ(spawned, 0);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(Folder / "ready.png"); }, 60000))
            << "no frame drawn\n" << ReadFile(Folder / "program.txt");
    }
    void TearDown() override
    {
        if (Program > 0 && waitpid(Program, nullptr, WNOHANG) == 0) {
            kill(Program, SIGKILL);
            waitpid(Program, nullptr, 0);
        }
        ZevPlatformShutdown();
    }
    // The program's exit status once it has ended (-1 when it had not within `ms`).
    int ExitStatus(int ms)
    {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(Program, &status, WNOHANG) == Program; }, ms);
        if (!ended)
            return -1;
        Program = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path Folder;
    pid_t Program = -1;
};

TEST_F(OGLPomuWindowTest, IsTitledWithTheProgramsNameAndItsMenusAreDrawnAsTheyOpen)
{
    int status = 0;
    const std::string found = Output("xdotool search --name '^OGLPomu$' 2>/dev/null | head -1", &status);
    ASSERT_FALSE(found.empty()) << "no window titled OGLPomu: " << Output("xdotool search --name OGLPomu "
                                                                         "getwindowname %@ 2>/dev/null");
    const std::string window = found.substr(0, found.find('\n'));
    EXPECT_EQ(Output("xdotool getwindowname " + window), "OGLPomu\n");

    // The right button opens the root menu at the pointer, which stays where it was.
    ASSERT_EQ(std::system(("xdotool mousemove --window " + window + " 100 100 click 3").c_str()), 0);
    std::vector<std::string> menus;
    ASSERT_TRUE(WaitFor([&] { return (menus = MenuWindows()).size() == 1; }, 10000)) << "no menu opened";
    const std::string root = menus[0];
    const TRect rootBox = Geometry(root);
    EXPECT_TRUE(WaitFor([&] { return MenuDrawn(rootBox); }, 5000)) << "the menu is not drawn";

    // Over "Files", its submenu opens beside it: drawn too, before the pointer reaches it.
    ASSERT_EQ(std::system(("xdotool mousemove " + std::to_string(rootBox.X + rootBox.Width / 2) + " " +
                           std::to_string(rootBox.Y + rootBox.Height / 2))
                              .c_str()),
              0);
    std::string files;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const std::string& m : MenuWindows())
                if (m != root)
                    files = m;
            return !files.empty();
        },
        10000))
        << "no submenu opened";
    const TRect filesBox = Geometry(files);
    EXPECT_TRUE(WaitFor([&] { return MenuDrawn(filesBox); }, 5000)) << "the submenu is not drawn";

    std::int32_t width = 0, height = 0;
    std::uint32_t* pixels = nullptr;
    ZevSync();
    if (ZevCaptureScreen(&width, &height, &pixels)) {
        fs::create_directories(QE_SCREENSHOT_DIR);
        ZevWritePng(QE_SCREENSHOT_DIR "/oglpomu_menu.png", pixels, width, height);
        ZevFreeCapture(pixels);
    }

    // "Quit" ends the program with 0.
    ASSERT_EQ(std::system(("xdotool mousemove " + std::to_string(filesBox.X + filesBox.Width / 2) + " " +
                           std::to_string(filesBox.Y + filesBox.Height / 2) + " sleep 0.2 click 3")
                              .c_str()),
              0);
    EXPECT_EQ(ExitStatus(30000), 0) << ReadFile(Folder / "program.txt");
}

} // namespace
