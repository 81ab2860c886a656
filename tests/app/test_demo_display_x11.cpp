// The demo program and its X display: a display that cannot be opened, and an X server killed under the program
// while a scene loads, while it runs, and while the Direct3D test form animates. Each time the program says so on
// its standard error and ends at once with exit code 1: never a crash, a hang, or a window system in memory.
#include "../common/DataSet.h"
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// An X server of the test's own, to be killed.
class TOwnServer {
public:
    ~TOwnServer() { Kill(); }
    bool Start()
    {
        int channel[2];
        if (pipe(channel) != 0)
            return false;
        Pid = fork();
        if (Pid == 0) {
            close(channel[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(channel[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(channel[1]);
        // Its display number and a newline, once it takes clients.
        std::string number;
        pollfd waiting{channel[0], POLLIN, 0};
        while (Pid > 0 && poll(&waiting, 1, 20000) > 0) {
            char c = 0;
            if (read(channel[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(channel[0]);
        Display = ":" + number;
        return Pid > 0 && !number.empty();
    }
    void Kill()
    {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
        Pid = -1;
    }

    pid_t Pid = -1;
    std::string Display;
};

// Runs a program with DISPLAY set to `display` (unset when empty), its standard error into `errors` when given.
pid_t StartOn(const std::string& display, const std::vector<std::string>& args, const fs::path& folder = {},
              const fs::path& errors = {}, bool quiet = false)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("DISPLAY=", 0) != 0)
            environment.push_back(*e);
    if (!display.empty())
        environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp, argv;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!errors.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int made = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return made == 0 ? pid : -1;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DemoDisplayTest : public testing::Test {
public:
    void SetUp() override
    {
        REQUIRE_X_PROGRAM_TOOLS(); // Xvfb and xdotool; the session's own server is not the one killed
        Folder = fs::current_path() /
                 (std::string("display-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        ASSERT_TRUE(CopyDataSet(Folder));
        Errors = Folder / "stderr.txt";
        // Mesa's own allocations are not ours to check here.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    }
    void TearDown() override
    {
        if (Demo > 0 && waitpid(Demo, nullptr, WNOHANG) == 0) {
            kill(Demo, SIGKILL);
            waitpid(Demo, nullptr, 0);
        }
        Server.Kill();
        EndXSession();
    }
    // xdotool on the server of the test's own.
    int XDo(const std::vector<std::string>& args)
    {
        std::vector<std::string> command{"xdotool"};
        command.insert(command.end(), args.begin(), args.end());
        const pid_t pid = StartOn(Server.Display, command, {}, {}, true);
        int status = 0;
        return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Click(POINT p)
    {
        ASSERT_EQ(XDo({"mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"}), 0);
    }
    void Choose(const TMenuClicks& clicks)
    {
        Click(clicks.Popup);
        Click(clicks.Entry);
    }
    // Waits (the server tells) until a window of the title is mapped. xdotool ends with an X error when a window it
    // looks at goes meanwhile (a menu's popup closing after the click): it then looks again.
    void WaitForWindow(const char* title)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        int status = -1;
        while ((status = XDo({"search", "--sync", "--onlyvisible", "--name", title})) != 0 &&
               std::chrono::steady_clock::now() < end) {
        }
        ASSERT_EQ(status, 0) << title;
    }

    fs::path Folder;
    fs::path Errors;
    TOwnServer Server;
    pid_t Demo = -1;
};

TEST_F(DemoDisplayTest, WithoutADisplayTheProgramSaysSoAndEnds)
{
    struct Case {
        std::string Display;
        const char* Says;
    };
    // A display number that no server has.
    for (const Case& c : {Case{"", "no X display"}, Case{":4093", "cannot open the X display \":4093\""}}) {
        SCOPED_TRACE(c.Display);
        Demo = StartOn(c.Display, {QE_BIN_DIR "/demo"}, Folder, Errors);
        ASSERT_GT(Demo, 0);
        EXPECT_EQ(WaitForExit(Demo, 30000), 1);
        Demo = -1;
        EXPECT_NE(ReadFile(Errors).find(c.Says), std::string::npos) << ReadFile(Errors);
    }
}

// The server killed at a moment of the program's life: the program notices within a moment (its own watch of
// the connection, or any thread whose request fails), says so and ends without its exit-time clean-ups, which
// would free what the render threads still draw with.
TEST_F(DemoDisplayTest, AKilledServerEndsTheProgramAtOnceWithExitCodeOneWhateverItDoes)
{
    struct Case {
        const char* Name;
        // Brings the program to the moment of the kill.
        void (*Before)(DemoDisplayTest* test);
    };
    const Case cases[] = {
        {"idle", [](DemoDisplayTest*) {}},
        {"loading a scene",
         [](DemoDisplayTest* t) {
             // The view is made and its script queued: the kill comes while the console loads the blocks.
             t->Choose(DemoMenuClicks("Demo Block"));
             t->WaitForWindow("Orvelle Physics Engine Demo View");
         }},
        {"running a scene",
         [](DemoDisplayTest* t) {
             t->Choose(DemoMenuClicks("Default Orvelle Physics World"));
             t->WaitForWindow("Orvelle Physics Engine Demo View");
             std::this_thread::sleep_for(std::chrono::milliseconds(1500));
         }},
        {"animating the Direct3D test",
         [](DemoDisplayTest* t) {
             t->Choose(DemoMenuClicks("Form1 test"));
             t->WaitForWindow("Direct3D Test");
             // "D3DTest" > "TestStart" on the launcher at (0, 0), 640 wide.
             t->Choose(MenuBarClicks({"Files", "D3DTest"}, 640, 0, 0, "D3DTest", 0));
             std::this_thread::sleep_for(std::chrono::milliseconds(1500));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(Server.Start());
        Demo = StartOn(Server.Display, {QE_BIN_DIR "/demo"}, Folder, Errors);
        ASSERT_GT(Demo, 0);
        WaitForWindow("Orvelle Physics Engine Demo");
        c.Before(this);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(waitpid(Demo, nullptr, WNOHANG), 0) << "the program ended before the server went";
        const auto killed = std::chrono::steady_clock::now();
        Server.Kill();
        const int code = WaitForExit(Demo, 20000);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
        Demo = -1;
        const std::string said = ReadFile(Errors);
        EXPECT_EQ(code, 1) << "ended by a signal, hung, or with another code; it said:\n" << said;
        EXPECT_NE(said.find("lost the connection to the X display \"" + Server.Display + "\""), std::string::npos)
            << said;
        RecordProperty(std::string("seconds to end, ") + c.Name, std::to_string(seconds));
        std::cout << c.Name << ": ended " << seconds << " s after the server\n";
    }
}

} // namespace
