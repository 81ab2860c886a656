// The demo's console and help as a person meets them, on an X server of the test's own and driven by xdotool: a
// stray ")" is refused and the pane takes the next text, a long typed line leaves the program answering its menu,
// and a reference page that cannot be opened is said on screen.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include <algorithm>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A view's console beside the main form at (640, 0), 320 x 240.
constexpr int ConsoleLeft = 640;
constexpr int ConsoleWidth = 320;

class ConsoleProgramTest : public XProgramTest {
protected:
    void SetUp() override
    {
        XProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        fs::create_directories(Folder / "nothing");
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

    static bool WindowNamed(const std::string& name)
    {
        return RunProgram({"sh", "-c", "xdotool search --onlyvisible --name '^" + name + "$' >/dev/null"}) == 0;
    }
    // An entry of the main form's menu, by its popup and caption, chosen with two clicks.
    void Choose(const std::string& popup, const std::string& caption)
    {
        for (const TZevDemoMenuEntry& entry : DemoMenuTable())
            if (entry.Popup == popup && entry.Caption == caption)
                return ClickMenu(DemoMenuClicks(entry));
        FAIL() << "no entry " << caption;
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
    ClickMenu(MenuBarClicks({"Files", "TextEdit"}, ConsoleWidth, ConsoleLeft, 0, "Files", 1)); // Close
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
