#include "ZevLispWinConsole.h"

#include "GlobalLock.h"
#include "LispArgs.h"
#include "ZevApplication.h"
#include "ZevControls.h"
#include "ZevLispForms.h"
#include "ZevLispSymbols.h"
#include "ZevMenu.h"

#include <cstring>
#include <vector>

TZevClassRecord TZevLispWinConsoleClassRecord;
TZevLispWinConsole* CurrentConsole = nullptr;

namespace {

// The entry of a name in a table of named entries (bucket by the byte sum of the name, then exact text).
void* FindNamed(TZevBucketTable& table, const char* name)
{
    TZevList& bucket = table.Buckets[ByteSumHash(name)];
    for (TZevListNode* n = bucket.First(); n != bucket.End() && n->next != bucket.End(); n = n->next->next) {
        const char* entryName = ZevItem<const char>(n);
        if (entryName != nullptr && std::strcmp(entryName, name) == 0)
            return n->next->data;
    }
    return nullptr;
}

// Appends each line of a text (CR, LF or CR LF ends a line; a final line end adds no empty line).
void AppendLines(std::deque<std::string>& lines, const std::string& text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

// The filter of the file dialogs for one pattern: the pattern as description and pattern, then every file.
std::string DialogFilter(const char* pattern)
{
    std::string filter;
    for (int i = 0; i < 2; ++i) {
        filter += pattern;
        filter += '\0';
    }
    filter += std::string("*.*\0*.*\0\0", 9);
    return filter;
}

void RunConsoleCommand(void* arg)
{
    auto* entry = static_cast<TZevConsoleMenuEntry*>(arg);
    TZevCriticalSectionLock lock(&GlobalLock, true);
    if (entry->Command == nullptr || entry->Command->Interpreter == nullptr)
        return;
    // The call may replace or remove this very entry: the value and the host are held first.
    TZevLispTextInterpreter* interpreter = entry->Command->Interpreter;
    const TZevLispRef value = entry->Command->Value;
    TZevLispRef form, result;
    LispCons(form, value, Nil);
    interpreter->Eval(result, form);
}

void InputKeyUp(void* console, WPARAM key)
{
    static_cast<TZevLispWinConsole*>(console)->OnInputKeyUp(key);
}

} // namespace

// ---- Modal dialogs -------------------------------------------------------------------------------------------------

TZevModalScope::TZevModalScope(TZevWin* anyWindow)
{
    TZevApplication* application = anyWindow != nullptr ? anyWindow->Application : nullptr;
    if (application == nullptr || application->LiveWindows == nullptr)
        return;
    // Every window of the tree: the root, the forms, their views and consoles. While a dialog runs its own loop
    // no other window takes input, so nothing can close a view (and wait for its thread) behind the dialog.
    std::vector<TZevVTree*> stack{application->LiveWindows};
    while (!stack.empty()) {
        TZevVTree* node = stack.back();
        stack.pop_back();
        for (TZevVTree* child = node->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
            stack.push_back(child);
            auto* window = dynamic_cast<TZevWin*>(child);
            if (window != nullptr && window->Handle != nullptr && IsWindowEnabled(window->Handle)) {
                EnableWindow(window->Handle, 0);
                Disabled.push_back(window->Handle);
            }
        }
    }
}

void TZevModalScope::End()
{
    for (HWND window : Disabled)
        EnableWindow(window, 1);
    Disabled.clear();
}

// ---- The console ---------------------------------------------------------------------------------------------------

TZevLispWinConsole::~TZevLispWinConsole()
{
    ForgetEntries();
}

void TZevLispWinConsole::OnCreate()
{
    OwnThread = std::this_thread::get_id();
    TZevWin* made = nullptr;
    InputPane = dynamic_cast<TZevMemo*>(CreateChild(&made, "TZevMemo"));
    OutputPane = dynamic_cast<TZevMemo*>(CreateChild(&made, "TZevMemo"));
    if (InputPane != nullptr) {
        InputPane->SetBounds(8, 96, 240, 80);
        InputPane->SetText("");
        InputPane->KeyUpCallback = {this, InputKeyUp};
    }
    if (OutputPane != nullptr)
        OutputPane->SetText("OutPut");
    MenuBar = NewMenuBar();
    FilesMenu = MenuBar->AddPopupMenu("Files");
    LoadItem = FilesMenu->AddMenuItem("Load");
    CloseItem = FilesMenu->AddMenuItem("Close");
    TextEditMenu = MenuBar->AddPopupMenu("TextEdit");
    PasteItem = TextEditMenu->AddMenuItem("Past");
    AddControl(MenuBar);
    CurrentConsole = this;
    SetBounds(640, 0, 320, 240);
    CloseItem->Handler = [](void*) { CloseRootWindow(); };
    LoadItem->HandlerArg = this;
    LoadItem->Handler = [](void* console) { static_cast<TZevLispWinConsole*>(console)->LoadFile(); };
    PasteItem->HandlerArg = this;
    PasteItem->Handler = [](void* console) { static_cast<TZevLispWinConsole*>(console)->Paste(); };
}

void TZevLispWinConsole::OnSize()
{
    if (InputPane == nullptr || OutputPane == nullptr)
        return;
    RECT client{};
    GetClientRect(Handle, &client);
    const std::int32_t width = client.right - client.left;
    const std::int32_t half = (client.bottom - client.top) / 2;
    OutputPane->SetBounds(client.left, client.top, width, half);
    InputPane->SetBounds(client.left, client.top + half, width, half);
}

void TZevLispWinConsole::OnDestroy()
{
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        if (ViewSlot != nullptr && *ViewSlot == this)
            *ViewSlot = nullptr;
        ViewSlot = nullptr;
    }
    if (CurrentConsole == this)
        CurrentConsole = nullptr;
    ForgetEntries();
}

void TZevLispWinConsole::ForgetEntries()
{
    if (CurrentConsole == this)
        CurrentConsole = nullptr;
    // The records release their script values: under the lock, as every script value is.
    TZevCriticalSectionLock lock(&GlobalLock, true);
    ItemTable.ForEachObject([](void* object) {
        auto* entry = static_cast<TZevConsoleMenuEntry*>(object);
        if (entry->Item != nullptr) {
            entry->Item->Handler = nullptr;
            entry->Item->HandlerArg = nullptr;
        }
        delete entry->Command;
        delete entry;
    });
    ItemTable.Clear();
    PopupTable.Clear();
}

void TZevLispWinConsole::OnInputKeyUp(WPARAM key)
{
    if (key != VK_RETURN)
        return;
    TZevCriticalSectionLock lock(&GlobalLock, true);
    if (ZevLispTextComplete(InputLine.CStr())) {
        const TZevString line = InputLine;
        if (Evaluate(line, line, true))
            InputLine = "";
        return;
    }
    if (InputPane == nullptr)
        return;
    TypedText = InputPane->GetText();
    const char* typed = TypedText.CStr();
    const std::int32_t length = TypedText.GetLength();
    // Only a text the user ended with Return (the pane holds CR LF at its end) is taken.
    if (length < 2 || typed[length - 2] != '\r')
        return;
    const TZevString text = TypedText;
    switch (ZevLispTextStateOf(typed)) {
    case TZevLispTextState::Complete:
        if (Evaluate(text, text, true))
            TypedText = "";
        break;
    case TZevLispTextState::Unbalanced:
        // No typing can complete it: it is refused with the reason, and the pane is empty for the next text.
        AddHistory(std::string("> ") + text.CStr());
        AddHistory(ZevLispUnbalancedAnswer(text.CStr()));
        ShowHistory();
        ClearInput();
        TypedText = "";
        break;
    case TZevLispTextState::Incomplete: break;
    }
}

bool TZevLispWinConsole::Evaluate(const TZevString& text, const TZevString& prompt, bool clearInput)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    if (Interpreter == nullptr || !Interpreter->SendCommand(text.CStr() != nullptr ? text.CStr() : ""))
        return false;
    AddHistory(std::string("> ") + (prompt.CStr() != nullptr ? prompt.CStr() : ""));
    const char* answer = Interpreter->GetAnswer();
    AddHistory(answer != nullptr ? answer : "");
    ShowHistory();
    if (clearInput)
        ClearInput();
    return true;
}

void TZevLispWinConsole::ClearInput()
{
    if (InputPane == nullptr)
        return;
    SendMessageA(InputPane->Handle, EM_SETSEL, 0, static_cast<LPARAM>(-1));
    SendMessageA(InputPane->Handle, WM_CLEAR, 0, 0);
}

void TZevLispWinConsole::AddHistory(const std::string& text)
{
    AppendLines(History, text);
    // Only the last lines are ever shown: older ones are dropped, so a long session does not grow without bound.
    while (History.size() > static_cast<std::size_t>(ShownLines))
        History.pop_front();
}

std::string TZevLispWinConsole::ShownHistory() const
{
    std::string text;
    for (const std::string& line : History) {
        if (!text.empty())
            text += "\r\n";
        text += line;
    }
    return text;
}

void TZevLispWinConsole::ShowHistory()
{
    if (OutputPane == nullptr)
        return;
    const std::string text = ShownHistory();
    OutputPane->SetText(text.c_str());
    // The caret at the start of the last line: the pane scrolls down to it without scrolling a long line sideways.
    const std::size_t lastLine = text.rfind('\n');
    const auto start = static_cast<WPARAM>(lastLine == std::string::npos ? 0 : lastLine + 1);
    SendMessageA(OutputPane->Handle, EM_SETSEL, start, static_cast<LPARAM>(start));
    SendMessageA(OutputPane->Handle, EM_SCROLLCARET, 0, 0);
}

void TZevLispWinConsole::LoadFile()
{
    char file[256] = {};
    std::int32_t chosen = 0;
    {
        // The dialog runs without the lock, so the view goes on while a file is chosen.
        TZevModalScope modal(this);
        const std::string filter = DialogFilter("*.lsp");
        chosen = ShowOpenFileDialog(Handle, AppInstance, file, "LispSource", filter.c_str());
    }
    if (!chosen)
        return;
    bool stopped = false;
    {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        const TZevString form = ZevLispLoadForm(file).c_str();
        stopped = Interpreter != nullptr && !Evaluate(form, form, false);
    }
    // Closing ends the view, which waits for its render thread, which needs the lock: it was left first.
    if (stopped)
        CloseRootWindow();
}

void TZevLispWinConsole::Paste()
{
    if (InputPane == nullptr)
        return;
    PostMessageA(InputPane->Handle, WM_PASTE, 0, 0);
    SetFocus(InputPane->Handle);
}

void TZevLispWinConsole::SetMenuEntry(const char* popupName, const char* entryName, const TZevLispRef& value)
{
    if (MenuBar == nullptr)
        return;
    auto* entry = static_cast<TZevConsoleMenuEntry*>(FindNamed(ItemTable, entryName));
    if (value.IsNull() || !LispIsTrue(value)) {
        if (entry == nullptr)
            return;
        // Off the menu first, so that nothing can choose the entry once its record is gone.
        ItemTable.Remove(entry->Name.CStr(), entry);
        delete entry->Item;
        delete entry->Command;
        delete entry;
    } else {
        auto* popup = static_cast<TZevPopupMenu*>(FindNamed(PopupTable, popupName));
        if (popup == nullptr) {
            popup = MenuBar->AddPopupMenu(popupName);
            if (popup == nullptr)
                return;
            PopupTable.Add(popup->Caption.CStr(), popup);
        }
        if (entry == nullptr) {
            TZevMenuItem* item = popup->AddMenuItem(entryName);
            if (item == nullptr)
                return;
            entry = new TZevConsoleMenuEntry;
            entry->Name = entryName;
            entry->Item = item;
            ItemTable.Add(entry->Name.CStr(), entry);
            item->HandlerArg = entry;
            item->Handler = RunConsoleCommand;
        }
        auto* command = new TZevConsoleCommand;
        command->Interpreter = Interpreter != nullptr ? Interpreter : LispHost;
        command->Value = value;
        delete entry->Command;
        entry->Command = command;
    }
    SetMenu(Handle, MenuBar->MenuHandle);
    DrawMenuBar(Handle);
}

// ---- Builtins ------------------------------------------------------------------------------------------------------

namespace {

// The console the builtins may act on: the current one, when the caller runs on its thread (a body's script
// function runs on the render thread and must not touch windows).
TZevLispWinConsole* ConsoleHere()
{
    TZevLispWinConsole* console = CurrentConsole;
    return console != nullptr && console->OnOwnThread() ? console : nullptr;
}

// Parses the arguments of a console builtin; the console it may act on, or null with the argument error or (no
// console here) nil in `result`.
template <class... Outs> TZevLispWinConsole* ParseConsoleArgs(TZevLispRef& result, TZevLispInterpreter* interp,
                                                              TZevLispRef args, const char* format, Outs... outs)
{
    if (!LispParseArgs(interp, &args, format, outs...)) {
        result = interp->ArgError;
        return nullptr;
    }
    TZevLispWinConsole* console = ConsoleHere();
    if (console == nullptr)
        result = Nil;
    return console;
}

void SetLispConsoleMenu(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString popup, entry;
    TZevLispRef value;
    TZevLispWinConsole* console = ParseConsoleArgs(result, interp, args, "ssl", &popup, &entry, &value);
    if (console == nullptr)
        return;
    console->SetMenuEntry(popup.CStr() != nullptr ? popup.CStr() : "", entry.CStr() != nullptr ? entry.CStr() : "",
                          value);
    result = T;
}

void FileDialog(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, bool save)
{
    TZevString directory, pattern;
    TZevLispWinConsole* console = ParseConsoleArgs(result, interp, args, "ss", &directory, &pattern);
    if (console == nullptr)
        return;
    char file[256] = {};
    std::int32_t chosen = 0;
    {
        TZevModalScope modal(console);
        auto* owner = dynamic_cast<TZevWin*>(console->GetParent());
        const HWND ownerHandle = owner != nullptr ? owner->Handle : console->Handle;
        const std::string filter = DialogFilter(pattern.CStr() != nullptr ? pattern.CStr() : "*.*");
        const char* initial = directory.CStr() != nullptr ? directory.CStr() : "";
        chosen = save ? ShowSaveFileDialog(ownerHandle, AppInstance, file, initial, filter.c_str())
                      : ShowOpenFileDialog(ownerHandle, AppInstance, file, initial, filter.c_str());
    }
    result = chosen ? LispMakeResult(interp, "s", file) : Nil;
}

void OpenFileDialog(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    FileDialog(result, interp, args, false);
}

void SaveFileDialog(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    FileDialog(result, interp, args, true);
}

} // namespace

void ZevRegisterConsoleBuiltins()
{
    LispRegisterBuiltin(SetLispConsoleMenu, "SetLispConsoleMenu");
    LispRegisterBuiltin(OpenFileDialog, "OpenFileDialog");
    LispRegisterBuiltin(SaveFileDialog, "SaveFileDialog");
}
