// The demo's console and help as a person meets them, on an X server of the test's own and driven by xdotool: a
// stray ")" is refused and the pane takes the next text, a long typed line leaves the program answering its menu,
// and a reference page that cannot be opened is said on screen.
#include "../common/DataSet.h"
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include "ZevFont.h"
#include "ZevWindowCore.h"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The window layer's look without a window manager: our own caption, menu rows of 20 pixels, entries of 20.
constexpr int CaptionHeight = 22;
constexpr int MenuRowHeight = 20;
// The main form at (0, 0), 640 wide; a view's console beside it at (640, 0), 320 x 240.
constexpr int FormWidth = 640;
constexpr int ConsoleLeft = 640;
constexpr int ConsoleWidth = 320;
// How long a wait for what the program shows may last: it ends with the event, and a busy machine (or the sanitizer
// build) may keep the program from its keys for many seconds while a scene's frames run.
constexpr int Patience = 120000;

// The centre of a popup's caption on a menu bar (as the window layer lays bars out, in rows that wrap), and the
// left of its column of entries.
struct TPopupAt {
    int X = 0, Y = 0, Left = 0, EntriesTop = 0;
};

TPopupAt PopupOnBar(const std::vector<std::string>& popups, const std::string& popup, int left, int width)
{
    TZevFontDesc font;
    font.pixelHeight = ZevUiFontHeight;
    int x = 4, row = 0;
    for (const std::string& caption : popups) {
        std::int32_t w = 0, h = 0;
        ZevMeasureText(font, caption.c_str(), caption.size(), &w, &h);
        w += 16;
        if (x > 4 && x + w > width) {
            ++row;
            x = 4;
        }
        if (caption == popup)
            return {left + x + w / 2, CaptionHeight + row * MenuRowHeight + MenuRowHeight / 2, left + x,
                    CaptionHeight + (row + 1) * MenuRowHeight + 2};
        x += w;
    }
    ADD_FAILURE() << "no popup " << popup;
    return {};
}

class ConsoleProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_PROGRAM_TOOLS();
        Folder = fs::current_path() /
                 (std::string("x11-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder / "nothing");
        ASSERT_TRUE(CopyDataSet(Folder));
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        // A path without the desktop's opener.
        Demo = StartProgram({"env", "PATH=" + (Folder / "nothing").string(), QE_BIN_DIR "/demo"}, Folder.string());
        ASSERT_GT(Demo, 0);
        ASSERT_TRUE(WaitUntil([] { return WindowNamed("Orvelle Physics Engine Demo"); }, Patience))
            << "the main form did not show";
        // Mapped is not yet drawn: the menu bar's captions show once the form has taken its first messages.
        ASSERT_TRUE(WaitForScreen(
            [](const TScreenShot& shot) { return shot.Part(0, CaptionHeight, FormWidth, MenuRowHeight).DistinctColours() > 2; },
            Patience))
            << "the main form's menu bar was not drawn";
    }
    void TearDown() override
    {
        if (Demo > 0 && waitpid(Demo, nullptr, WNOHANG) == 0) {
            kill(Demo, SIGKILL);
            waitpid(Demo, nullptr, 0);
        }
        EndXSession();
    }

    static bool WindowNamed(const std::string& name)
    {
        return RunProgram({"sh", "-c", "xdotool search --onlyvisible --name '^" + name + "$' >/dev/null"}) == 0;
    }
    void Click(int x, int y)
    {
        ASSERT_EQ(RunProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}), 0);
    }
    void Type(const std::string& text)
    {
        ASSERT_EQ(RunProgram({"xdotool", "type", "--delay", "1", text}), 0);
    }
    void Key(const char* key) { ASSERT_EQ(RunProgram({"xdotool", "key", key}), 0); }
    // An entry of the main form's menu, by its popup and caption, chosen with two clicks.
    void Choose(const std::string& popup, const std::string& caption)
    {
        std::vector<std::string> popups;
        int index = -1, seen = 0;
        for (const TZevDemoMenuEntry& entry : DemoMenuTable()) {
            if (popups.empty() || popups.back() != entry.Popup)
                popups.push_back(entry.Popup);
            if (entry.Popup == popup) {
                if (entry.Caption == caption)
                    index = seen;
                ++seen;
            }
        }
        ASSERT_GE(index, 0) << caption;
        ChooseIn(popups, popup, index, 0, FormWidth);
    }
    void ChooseIn(const std::vector<std::string>& popups, const std::string& popup, int index, int left, int width)
    {
        const TPopupAt at = PopupOnBar(popups, popup, left, width);
        Click(at.X, at.Y);
        Click(at.Left + 30, at.EntriesTop + index * 20 + 10);
    }
    // The default world's view and its console.
    void OpenConsole()
    {
        Choose("Orvelle_Physics_Engine", "Default Orvelle Physics World");
        ASSERT_TRUE(WaitUntil([] { return WindowNamed("Orvelle Physics Engine Demo Console"); }, Patience));
        // The scene's files are loaded through the console: their answers fill its output pane.
        ASSERT_TRUE(WaitUntil([&] { return Output().DistinctColours() > 2; }, Patience));
        Click(ConsoleLeft + ConsoleWidth / 2, InputTop() + 40);
        // Keys go to the control that has the focus: typing waits until the click has given it to the input pane,
        // whose caret then shows.
        ASSERT_TRUE(WaitUntil(CaretShows, Patience)) << "the input pane did not take the focus";
    }
    static int InputTop() { return CaptionHeight + MenuRowHeight + (240 - CaptionHeight - MenuRowHeight) / 2; }
    static TScreenShot Output()
    {
        return CaptureScreen().Part(ConsoleLeft + 2, CaptionHeight + MenuRowHeight + 2, ConsoleWidth - 4,
                                    InputTop() - CaptionHeight - MenuRowHeight - 4);
    }
    // The pixels drawn in the input pane inside its frame: its text, and its caret while it has the focus.
    static int InputInk()
    {
        const TScreenShot pane = CaptureScreen().Part(ConsoleLeft + 8, InputTop() + 2, ConsoleWidth - 12, 60);
        int ink = 0;
        for (std::uint32_t p : pane.Pixels)
            ink += p != 0xFFFFFF;
        return ink;
    }
    // No text in the input pane; the caret (one column of the line's height) left out.
    static bool InputEmpty() { return InputInk() <= 16; }
    // The caret of the empty input pane, drawn only while the pane has the focus: a column a few pixels from its
    // left edge.
    static bool CaretShows()
    {
        const TScreenShot column = CaptureScreen().Part(ConsoleLeft + 2, InputTop() + 4, 6, 20);
        return std::any_of(column.Pixels.begin(), column.Pixels.end(), [](std::uint32_t p) { return p != 0xFFFFFF; });
    }

    fs::path Folder;
    pid_t Demo = -1;
};

TEST_F(ConsoleProgramTest, AStrayClosingParenthesisIsRefusedAndTheNextTextIsEvaluated)
{
    OpenConsole();
    const TScreenShot before = Output();
    Type("(+ 1 2))");
    ASSERT_TRUE(WaitUntil([] { return !InputEmpty(); }, Patience)) << "what was typed does not show";
    Key("Return");
    EXPECT_TRUE(WaitUntil([] { return InputEmpty(); }, Patience)) << "the input pane was not emptied";
    EXPECT_TRUE(WaitUntil([&] { return Output().Differences(before, 40) > 50; }, Patience)) << "nothing answered";
    CaptureScreen().Part(0, 0, 960, 480).Save("demo_console_unbalanced");
    const TScreenShot refused = Output();
    Type("(+ 3 4)");
    ASSERT_TRUE(WaitUntil([] { return !InputEmpty(); }, Patience)) << "what was typed does not show";
    Key("Return");
    EXPECT_TRUE(WaitUntil([] { return InputEmpty(); }, Patience)) << "the next text was not taken";
    EXPECT_TRUE(WaitUntil([&] { return Output().Differences(refused, 40) > 20; }, Patience)) << "nothing answered";
    CaptureScreen().Part(0, 0, 960, 480).Save("demo_console_after_unbalanced");
}

// Each key once measured the whole line again: after 3,000 characters, Files > Close took minutes to be taken.
TEST_F(ConsoleProgramTest, AfterALongTypedLineTheConsolesCloseIsTakenAtOnce)
{
    OpenConsole();
    std::string line;
    while (line.size() < 2500)
        line += "(list 1 2 3) ";
    Type(line);
    CaptureScreen().Part(0, 0, 960, 480).Save("demo_console_long_line");
    ChooseIn({"Files", "TextEdit"}, "Files", 1, ConsoleLeft, ConsoleWidth); // Close
    EXPECT_EQ(WaitForExit(Demo, 60000), 0) << "Files > Close was not taken";
    Demo = -1;
}

TEST_F(ConsoleProgramTest, AReferencePageThatCannotBeOpenedIsSaidInAMessageBox)
{
    Choose("Help", "Reference");
    ASSERT_TRUE(WaitUntil([] { return WindowNamed("Reference"); }, Patience)) << "no message box";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CaptureScreen().Part(0, 0, 960, 480).Save("demo_reference_message");
    Key("Return");
    EXPECT_TRUE(WaitUntil([] { return !WindowNamed("Reference"); }, Patience)) << "the message box stayed";
}

} // namespace
