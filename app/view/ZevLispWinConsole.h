// The script console that every 3D view window opens beside itself: an input pane in which the user types Lisp
// text, an output pane that shows each evaluated piece and its printed answer, a small menu, and menu entries that
// scripts add while they run (SetLispConsoleMenu). It evaluates through the interpreter host of its view's engine
// host, on the user-interface thread and under GlobalLock; it is also the road by which the render thread has the
// scene's script files loaded (it sets InputLine and posts a Return key-up to the input pane).
//
// Ownership: the panes and the menus are the window's (the window framework deletes them); each script entry is
// a record of the console's, holding its menu item and the script value that choosing it calls.
#pragma once

#include "ZevBucketTable.h"
#include "ZevLispInterpreter.h"
#include "ZevWin.h"

#include <cstdint>
#include <deque>
#include <string>
#include <thread>

class TZevMemo;
class TZevMenu;
class TZevMenuItem;
class TZevPopupMenu;

// What a script's console entry calls: the value, with no arguments, in the interpreter host.
struct TZevConsoleCommand : TZevAllocated {
    TZevLispTextInterpreter* Interpreter = nullptr;
    TZevLispRef Value;
};

// A console menu entry that a script added.
struct TZevConsoleMenuEntry : TZevAllocated {
    TZevString Name;                        // the key of the item table
    TZevMenuItem* Item = nullptr;           // in its popup; the window's
    TZevConsoleCommand* Command = nullptr;  // owned
};

class TZevLispWinConsole : public TZevWin {
public:
    // The output pane shows this many of the last history lines.
    static constexpr int ShownLines = 256;

    TZevLispWinConsole() = default;
    ~TZevLispWinConsole() override;

    void OnDestroy() override;
    void OnCreate() override;
    void OnSize() override;

    // A key released in the input pane: Return evaluates the input line (handed over by the render thread) when it
    // is complete, or else the typed text once the user ended a complete text with Return; a typed text with a
    // ")" that closes nothing is refused with an error in the output pane, and the input pane emptied.
    void OnInputKeyUp(WPARAM key);
    // Sends the text to the interpreter host under GlobalLock; when the host goes on, "> " and the prompt and then
    // the answer join the history and are shown, and the input pane is cleared when asked. False when the host
    // stopped (nothing shown then) or there is no host.
    bool Evaluate(const TZevString& text, const TZevString& prompt, bool clearInput);
    // "Load": the open-file dialog in "LispSource" for *.lsp files, then the chosen file loaded (its load form is
    // echoed); when the host stops the program closes (after the lock is left).
    void LoadFile();
    // "Past": the clipboard into the input pane.
    void Paste();
    // SetLispConsoleMenu: adds, replaces or (value nil) removes a script entry.
    void SetMenuEntry(const char* popupName, const char* entryName, const TZevLispRef& value);
    // The output pane's text: the last ShownLines lines of the history, joined with CR LF.
    std::string ShownHistory() const;
    // Whether the calling thread is the console's (its windows and menus may be touched).
    bool OnOwnThread() const { return std::this_thread::get_id() == OwnThread; }

    TZevBucketTable PopupTable; // of TZevPopupMenu, by caption
    TZevBucketTable ItemTable;  // of TZevConsoleMenuEntry, by entry name
    TZevMemo* InputPane = nullptr;
    TZevMemo* OutputPane = nullptr;
    TZevLispTextInterpreter* Interpreter = nullptr; // the view's engine host's
    TZevString TypedText;
    std::deque<std::string> History; // the last lines of every evaluated piece and answer
    TZevString InputLine;            // set by the render thread under GlobalLock
    TZevMenu* MenuBar = nullptr;
    TZevPopupMenu* FilesMenu = nullptr;
    TZevPopupMenu* TextEditMenu = nullptr;
    TZevMenuItem* CloseItem = nullptr;
    TZevMenuItem* LoadItem = nullptr;
    TZevMenuItem* PasteItem = nullptr;
    // The view's pointer to this console, cleared under GlobalLock when the console goes.
    TZevLispWinConsole** ViewSlot = nullptr;
    std::thread::id OwnThread;

private:
    void AddHistory(const std::string& text);
    void ClearInput();
    void ShowHistory();
    void ForgetEntries();
};

// The console that SetLispConsoleMenu and the dialog builtins address (one at a time); null when there is none.
extern TZevLispWinConsole* CurrentConsole;

// While it lives, every enabled window of the application is disabled (a dialog of the console is open), and
// enabled again at its end.
class TZevModalScope {
public:
    explicit TZevModalScope(TZevWin* anyWindow);
    ~TZevModalScope() { End(); }
    TZevModalScope(const TZevModalScope&) = delete;
    TZevModalScope& operator=(const TZevModalScope&) = delete;
    void End();

private:
    std::deque<HWND> Disabled;
};

// The builtins SetLispConsoleMenu, OpenFileDialog and SaveFileDialog.
void ZevRegisterConsoleBuiltins();

extern TZevClassRecord TZevLispWinConsoleClassRecord;
