// The Lisp console: what makes a typed text complete, typed text and the render thread's hand-over evaluated,
// errors, the history it shows, "Load" with its dialog, a Load that stops the host, the entries scripts add to
// its menu, and the scripts' file dialogs.
#include "DemoTestSupport.h"

#include "ZevControls.h"
#include "ZevLispForms.h"
#include "ZevMenu.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

TEST(ConsoleText, CompleteWhenItsParenthesesBalanceAndNoStringIsOpen)
{
    using S = TZevLispTextState;
    const struct {
        const char* text;
        S state;
    } cases[] = {
        {"", S::Incomplete},
        {"(+ 1", S::Incomplete},
        {"(+ 1\r\n 2)\r\n", S::Complete},
        {"(a (b) c)", S::Complete},
        {"x", S::Complete},
        {"(print \")(\")", S::Complete},   // parentheses inside a string do not count
        {"(print \"abc", S::Incomplete}, // a string still open
        {"; (\n(+ 1 2)", S::Complete},   // nor do those of a comment
        // A ")" that closes nothing: whatever follows, the text never becomes whole.
        {"(a))", S::Unbalanced},
        {"(+ 1 2))\r\n(+ 3 4)", S::Unbalanced},
        {"))((", S::Unbalanced},
        {") \"open", S::Unbalanced},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZevLispTextStateOf(c.text), c.state) << c.text;
        EXPECT_EQ(ZevLispTextComplete(c.text), c.state == S::Complete) << c.text;
    }
}

TEST(ConsoleText, LoadFormsKeepBackslashesAndQuotesOfThePath)
{
    EXPECT_EQ(ZevLispLoadForm("Blocks.lsp"), "(load \"Blocks.lsp\")");
    EXPECT_EQ(ZevLispLoadForm("a\\\\b\".lsp"), "(load \"a\\\\\\\\b\\\".lsp\")");
}

class ConsoleTest : public DemoTest {
protected:
    void SetUp() override
    {
        DemoTest::SetUp();
        Choose("Default Orvelle Physics World");
        ASSERT_TRUE(WaitForScript());
        Pane = Form->ViewWindow->Console;
    }
    // A command of the console's own menu, chosen.
    void Command(TZevControl* item)
    {
        PostMessageA(Pane->Handle, WM_COMMAND, static_cast<WPARAM>(item->CommandId), 0);
        PumpFor(0);
    }
    // The script entry of this name (0 when there is none).
    std::int32_t EntryId(const char* name)
    {
        std::int32_t id = 0;
        Pane->ItemTable.ForEachObject([&](void* object) {
            auto* entry = static_cast<TZevConsoleMenuEntry*>(object);
            if (entry->Name == TZevString(name))
                id = entry->Item->CommandId;
        });
        return id;
    }
    void Write(const fs::path& file, const char* text) { std::ofstream(file) << text; }
    // Every window of the program takes input again.
    bool AllEnabled()
    {
        return IsWindowEnabled(Form->Handle) && IsWindowEnabled(GetRootWindow()->Handle) &&
               IsWindowEnabled(Form->ViewWindow->Handle) && IsWindowEnabled(Pane->Handle);
    }

    TZevLispWinConsole* Pane = nullptr;
};

TEST_F(ConsoleTest, TypedTextIsEvaluatedOnceTheUserEndsACompleteTextWithReturn)
{
    const HWND input = Pane->InputPane->Handle;
    SetActiveWindow(Pane->Handle);
    SetFocus(input);
    auto type = [&](const char* text) {
        const auto end = static_cast<WPARAM>(GetWindowTextLengthA(input));
        SendMessageA(input, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageA(input, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
        ZevInputKey(VK_RETURN, '\r', true);
        ZevInputKey(VK_RETURN, 0, false);
        PumpFor(0);
    };
    const std::size_t before = Pane->History.size();
    type("(+ 1");
    EXPECT_EQ(Pane->History.size(), before);
    EXPECT_EQ(ZevGetWindowText(input), "(+ 1\r\n");
    type(" 2)");
    ASSERT_GT(Pane->History.size(), before);
    EXPECT_EQ(Pane->History[before], "> (+ 1");
    EXPECT_EQ(Pane->History.back(), "3");
    EXPECT_EQ(ZevGetWindowText(input), "");
    EXPECT_EQ(ZevGetWindowText(Pane->OutputPane->Handle), Pane->ShownHistory());
}

TEST_F(ConsoleTest, AStrayClosingParenthesisIsRefusedAtReturnAndThePaneTakesTheNextText)
{
    const HWND input = Pane->InputPane->Handle;
    SetActiveWindow(Pane->Handle);
    SetFocus(input);
    auto type = [&](const char* text) {
        for (const char* c = text; *c; ++c) {
            ZevInputKey(0, static_cast<unsigned char>(*c), true);
            ZevInputKey(0, 0, false);
        }
        ZevInputKey(VK_RETURN, '\r', true);
        ZevInputKey(VK_RETURN, 0, false);
        PumpFor(0);
    };
    const std::size_t before = Pane->History.size();
    type("(+ 1 2))");
    // As the interpreter's errors are shown: the message, the text quoted, an empty line.
    ASSERT_EQ(Pane->History.size(), before + 4);
    EXPECT_EQ(Pane->History[before], "> (+ 1 2))");
    EXPECT_EQ(Pane->History[before + 1], "Error: Unbalanced ')'!");
    EXPECT_EQ(Pane->History[before + 2], "   in \"(+ 1 2))\"");
    EXPECT_EQ(Pane->History[before + 3], "");
    EXPECT_EQ(ZevGetWindowText(input), "");
    EXPECT_EQ(ZevGetWindowText(Pane->OutputPane->Handle), Pane->ShownHistory());
    // What is typed next is evaluated as usual.
    type("(+ 3 4)");
    EXPECT_EQ(Pane->History.back(), "7");
    EXPECT_EQ(ZevGetWindowText(input), "");
}

TEST_F(ConsoleTest, AnErrorShowsTheInterpretersTextAndTheConsoleGoesOn)
{
    EXPECT_EQ(Console("(car 1)"), "Error: Bad Variable Type!\n   in \"(car 1)\"\n\n");
    EXPECT_EQ(Console("(+ 2 3)"), "5\n");
}

TEST_F(ConsoleTest, TheOutputShowsTheLast256LinesOfTheHistory)
{
    for (int i = 0; i < 300; ++i)
        Console("(+ " + std::to_string(i) + " 0)");
    const std::string shown = ZevGetWindowText(Pane->OutputPane->Handle);
    int lines = 1;
    for (std::size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, TZevLispWinConsole::ShownLines);
    // The newest are kept: prompt and answer of the last evaluations.
    EXPECT_EQ(shown.substr(shown.size() - 16), "> (+ 299 0)\r\n299");
}

TEST_F(ConsoleTest, LoadRunsTheChosenFileWithItsBackslashesKept)
{
    const fs::path file = Folder / "LispSource" / "back\\slash.lsp";
    Write(file, "(def loaded-flag 7)\n");
    TDialogChoice choice(file.string());
    ChooseInNextDialog(&choice);
    Command(Pane->LoadItem);
    EXPECT_EQ(choice.Shown, 1);
    EXPECT_EQ(choice.Caption, "Open");
    EXPECT_TRUE(choice.OthersDisabled);
    EXPECT_TRUE(AllEnabled());
    EXPECT_EQ(Console("loaded-flag"), "7\n");
    // A cancelled dialog loads nothing.
    choice = {};
    Command(Pane->LoadItem);
    EXPECT_EQ(choice.Shown, 1);
    EXPECT_TRUE(AllEnabled());
}

TEST_F(ConsoleTest, ALoadThatStopsTheHostClosesTheProgramWithoutADeadlock)
{
    const fs::path file = Folder / "LispSource" / "quit.lsp";
    Write(file, "(exit)\n");
    TDialogChoice choice(file.string());
    ChooseInNextDialog(&choice);
    // The view's render thread needs the lock to end: a Load that waited for it under the lock would never end.
    TDeadlockWatch watch("the program did not end after Load");
    PostMessageA(Pane->Handle, WM_COMMAND, static_cast<WPARAM>(Pane->LoadItem->CommandId), 0);
    const int code = App->Run();
    watch.End();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(choice.Shown, 1);
}

TEST_F(ConsoleTest, ScriptsAddReplaceAndRemoveMenuEntriesThatCallTheirFunction)
{
    const HMENU bar = Pane->MenuBar->MenuHandle;
    ASSERT_EQ(ZevGetMenuItemCount(bar), 2); // Files, TextEdit
    Console("(def pings 0)");
    EXPECT_EQ(Console("(SetLispConsoleMenu \"Extra\" \"Ping\" '(lambda () (setq pings (+ pings 1))))"), "t\n");
    EXPECT_EQ(Console("(SetLispConsoleMenu \"Extra\" \"Pong\" '(lambda () (setq pings 100)))"), "t\n");
    ASSERT_EQ(ZevGetMenuItemCount(bar), 3); // the popup is made once
    EXPECT_EQ(ZevGetMenuItemText(bar, 2), "Extra");
    const std::int32_t ping = EntryId("Ping");
    ASSERT_NE(ping, 0);
    TZevControl* item = WindowTable[ping];
    const HMENU popup = static_cast<TZevVMenu*>(item->GetParent())->MenuHandle;
    EXPECT_EQ(ZevGetMenuItemCount(popup), 2);
    Command(item);
    Command(item);
    EXPECT_EQ(Console("pings"), "2\n");
    // A new value replaces the old one.
    Console("(SetLispConsoleMenu \"Extra\" \"Ping\" '(lambda () (setq pings 10)))");
    Command(WindowTable[ping]);
    EXPECT_EQ(Console("pings"), "10\n");
    // nil takes the entry off the menu; its identifier calls nothing any more.
    EXPECT_EQ(Console("(SetLispConsoleMenu \"Extra\" \"Ping\" nil)"), "t\n");
    EXPECT_EQ(ZevGetMenuItemCount(popup), 1);
    EXPECT_EQ(EntryId("Ping"), 0);
    Console("(setq pings 0)");
    PostMessageA(Pane->Handle, WM_COMMAND, static_cast<WPARAM>(ping), 0);
    PumpFor(0);
    EXPECT_EQ(Console("pings"), "0\n");
    // An entry may remove itself when it is chosen.
    Console("(SetLispConsoleMenu \"Extra\" \"Once\" '(lambda () (SetLispConsoleMenu \"Extra\" \"Once\" nil)))");
    Command(WindowTable[EntryId("Once")]);
    EXPECT_EQ(EntryId("Once"), 0);
    EXPECT_EQ(ZevGetMenuItemCount(popup), 1);
}

TEST_F(ConsoleTest, WithoutAConsoleTheMenuBuiltinAnswersNil)
{
    TZevDXGMWin* view = Form->ViewWindow;
    ZevInputClose(Pane->Handle);
    ASSERT_TRUE(PumpUntil([&] { return view->Console == nullptr; }));
    GlobalLock.Enter();
    view->Host.Interpreter.SendCommand("(SetLispConsoleMenu \"A\" \"B\" '(lambda () 1))");
    const std::string answer = view->Host.Interpreter.GetAnswer();
    GlobalLock.Leave();
    EXPECT_EQ(answer, "nil\n");
}

TEST_F(ConsoleTest, ScriptDialogsGiveThePathOrNilWithEveryOtherWindowDisabled)
{
    const fs::path blocks = Folder / "LispSource" / "Blocks.lsp";
    TDialogChoice open(blocks.string());
    ChooseInNextDialog(&open);
    EXPECT_EQ(Console("(OpenFileDialog \"LispSource\" \"*.lsp\")"), "\"" + blocks.string() + "\"\n");
    EXPECT_EQ(open.Caption, "Open");
    EXPECT_TRUE(open.OthersDisabled);
    EXPECT_TRUE(AllEnabled());
    TDialogChoice cancel;
    ChooseInNextDialog(&cancel);
    EXPECT_EQ(Console("(OpenFileDialog \"LispSource\" \"*.lsp\")"), "nil\n");
    EXPECT_EQ(cancel.Shown, 1);
    const fs::path fresh = Folder / "fresh.lsp";
    TDialogChoice save(fresh.string());
    ChooseInNextDialog(&save);
    EXPECT_EQ(Console("(SaveFileDialog \"\" \"*.lsp\")"), "\"" + fresh.string() + "\"\n");
    EXPECT_EQ(save.Caption, "Save");
    EXPECT_EQ(Console("(OpenFileDialog 1)"), "Error: Bad Argument!\n   in \"(OpenFileDialog 1)\"\n\n");
}

TEST_F(ConsoleTest, PastePutsTheClipboardIntoTheInputPane)
{
    ZevSetClipboardText("(+ 4 5)");
    Command(Pane->PasteItem);
    EXPECT_EQ(ZevGetWindowText(Pane->InputPane->Handle), "(+ 4 5)");
}

} // namespace
