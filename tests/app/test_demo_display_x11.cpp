// The demo program and its X display: a display that cannot be opened, and an X server killed under the program
// while a scene loads, while it runs, and while the Direct3D test form animates. Each time the program says so on
// its standard error and ends at once with exit code 1: never a crash, a hang, or a window system in memory.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include "../common/TestFiles.h"

#include "ZevGLPrivateServer.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The demo on an X server of the test's own besides the session's, which is the one killed.
class DemoDisplayTest : public XProgramTest {
public:
    void SetUp() override
    {
        XProgramTest::SetUp();
        Errors = Folder / "stderr.txt";
    }
    void TearDown() override
    {
        StopProgram(&Demo);
        Server.Stop(SIGKILL);
        XProgramTest::TearDown();
    }
    // xdotool on the server of the test's own.
    int XDo(const std::vector<std::string>& args)
    {
        std::vector<std::string> command{"xdotool"};
        command.insert(command.end(), args.begin(), args.end());
        const pid_t pid = StartProgramOn(Server.Display, command, "", "", true);
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

    fs::path Errors;
    TZevXServer Server;
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
        Demo = StartProgramOn(c.Display, {QE_BIN_DIR "/demo"}, Folder, Errors);
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
        Demo = StartProgramOn(Server.Display, {QE_BIN_DIR "/demo"}, Folder, Errors);
        ASSERT_GT(Demo, 0);
        WaitForWindow("Orvelle Physics Engine Demo");
        c.Before(this);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(waitpid(Demo, nullptr, WNOHANG), 0) << "the program ended before the server went";
        const auto killed = std::chrono::steady_clock::now();
        Server.Stop(SIGKILL);
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
