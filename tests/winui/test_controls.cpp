// Controls, menus and file dialogs on the in-memory backend, driven by input as a person gives it.
#include "WinUITestSupport.h"

#include <filesystem>
#include <fstream>

namespace {
int gClicks = 0;
int gChosen = 0;
}

TEST_F(WinUITest, ButtonEditAndMemoTakeClicksTypingBackspaceReturnAndPaste)
{
    TRecordForm* form = NewForm();
    form->SetBounds(0, 0, 400, 300);
    TZevWin* w = nullptr;
    auto* button = static_cast<TZevButton*>(form->CreateChild(&w, "TZevButton"));
    auto* edit = form->CreateChild(&w, "TZevEdit");
    auto* memo = static_cast<TRecordForm*>(nullptr);
    TZevWin* m = form->CreateChild(&w, "TZevMemo");
    ASSERT_TRUE(button && edit && m);
    (void)memo;
    EXPECT_STREQ(edit->GetText().CStr(), "Testing");
    button->SetBounds(10, 10, 80, 24);
    edit->SetBounds(10, 40, 200, 24);
    m->SetBounds(10, 70, 200, 100);
    edit->SetText("");
    m->SetText("");
    gClicks = 0;
    button->ClickArg = &gClicks;
    button->ClickHandler = [](void* arg) { ++*static_cast<int*>(arg); };
    Click(button->Handle, 20, 10);
    EXPECT_EQ(gClicks, 1);

    Click(edit->Handle, 5, 5);
    Type("helo");
    Key(VK_BACK, 8);
    Type("lo");
    EXPECT_STREQ(edit->GetText().CStr(), "hello");

    // The memo is subclassed: its handler sees each key before the edit field's own procedure.
    static std::vector<WPARAM> seen;
    seen.clear();
    m->KeyUpCallback.Fn = [](void*, WPARAM key) { seen.push_back(key); };
    Click(m->Handle, 5, 5);
    Type("ab");
    Key(VK_RETURN, '\r');
    ZevSetClipboardText("pasted\nline");
    Key('V', 22); // Ctrl+V
    EXPECT_STREQ(m->GetText().CStr(), "ab\r\npasted\r\nline");
    EXPECT_EQ(seen, (std::vector<WPARAM>{'A', 'B', VK_RETURN, 'V'}));
}

TEST_F(WinUITest, MenuChoiceByMouseCallsItsHandlerOnceAndRemovedEntriesLeaveTheMenu)
{
    TRecordForm* form = NewForm();
    form->SetBounds(0, 0, 400, 300);
    TZevMenu* bar = NewMenuBar();
    TZevPopupMenu* file = bar->AddPopupMenu("File");
    TZevMenuItem* open = file->AddMenuItem("Open");
    TZevMenuItem* quiet = file->AddMenuItem("Quiet");
    TZevMenuItem* last = file->AddMenuItem("Last");
    gChosen = 0;
    open->Handler = [](void*) { ++gChosen; };
    form->AddControl(bar);
    ASSERT_EQ(GetMenu(form->Handle), bar->MenuHandle);
    EXPECT_EQ(ZevGetMenuItemText(file->MenuHandle, 0), "Open");
    EXPECT_EQ(ZevGetMenuItemText(file->MenuHandle, 2), "Last");

    RECT r;
    GetWindowRect(form->Handle, &r);
    POINT client{0, 0};
    ClientToScreen(form->Handle, &client);
    const std::int32_t barY = client.y - 10; // the bar lies just above the client area
    ZevInputMouse(r.left + 12, barY, 1, true);
    ZevInputMouse(r.left + 12, barY, 1, false);
    Pump(App);
    // The drop-down opens under the bar: its first entry is "Open".
    ZevInputMouse(r.left + 20, client.y + 10, 0, false);
    ZevInputMouse(r.left + 20, client.y + 10, 1, true);
    ZevInputMouse(r.left + 20, client.y + 10, 1, false);
    Pump(App);
    EXPECT_EQ(gChosen, 1);

    // An entry without a handler does nothing when chosen.
    SendMessageA(form->Handle, WM_COMMAND, static_cast<WPARAM>(quiet->CommandId), 0);
    EXPECT_EQ(gChosen, 1);
    delete quiet;
    EXPECT_EQ(ZevGetMenuItemCount(file->MenuHandle), 2);
    EXPECT_EQ(ZevGetMenuItemText(file->MenuHandle, 1), "Last");
    (void)last;
}

TEST_F(WinUITest, RemovingTheMenuBarTakesOnlyAMenuBar)
{
    TRecordForm* form = NewForm();
    EXPECT_FALSE(form->RemoveMenuBar());
    auto* item = static_cast<TZevMenuItem*>(CreateObjectByName("TZevMenuItem"));
    form->AddControl(item); // not a bar: never taken for one
    EXPECT_FALSE(form->RemoveMenuBar());
    TZevMenu* bar = NewMenuBar();
    bar->AddPopupMenu("File");
    form->AddControl(bar);
    EXPECT_TRUE(form->RemoveMenuBar());
    EXPECT_EQ(GetMenu(form->Handle), nullptr);
}

namespace fs = std::filesystem;

struct DialogScript {
    std::vector<std::pair<WPARAM, std::uint32_t>> keys;
    std::vector<std::string> listed;
};

void TypeKeys(HWND dialog, void* user)
{
    auto* script = static_cast<DialogScript*>(user);
    HWND list = GetDlgItem(dialog, ZevDialogListId);
    const LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[256];
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        script->listed.push_back(text);
    }
    for (auto& k : script->keys) {
        ZevInputKey(k.first, k.second, true);
        ZevInputKey(k.first, 0, false);
    }
}

std::vector<std::pair<WPARAM, std::uint32_t>> Keys(const std::string& text)
{
    std::vector<std::pair<WPARAM, std::uint32_t>> keys;
    for (char c : text) {
        if (c == '\n')
            keys.push_back({VK_RETURN, '\r'});
        else if (c == 27)
            keys.push_back({VK_ESCAPE, 27});
        else
            keys.push_back({static_cast<WPARAM>(std::toupper(static_cast<unsigned char>(c))),
                            static_cast<unsigned char>(c)});
    }
    return keys;
}

TEST_F(WinUITest, FileDialogListsTheFilteredFolderWalksIntoFoldersAndReturnsThePath)
{
    fs::create_directories("scripts/sub");
    for (const char* f : {"scripts/a.lsp", "scripts/b.bmp", "scripts/sub/c.lsp"})
        std::ofstream(f) << "x";
    TRecordForm* form = NewForm();
    char path[256] = "junk";
    DialogScript script;
    script.keys = Keys("sub\nc.lsp\n");
    ZevSetModalHook(TypeKeys, &script);
    ASSERT_EQ(ShowOpenFileDialog(form->Handle, nullptr, path, "scripts", "*.lsp\0*.lsp\0*.*\0*.*\0"), 1);
    EXPECT_EQ(script.listed, (std::vector<std::string>{"[..]", "[sub]", "a.lsp"}));
    EXPECT_EQ(fs::path(path), fs::absolute("scripts/sub/c.lsp").lexically_normal());
    EXPECT_TRUE(IsWindowEnabled(form->Handle));

    // Cancelled: 0 and an empty buffer.
    script = DialogScript{};
    script.keys = Keys("a.lsp\x1b");
    EXPECT_EQ(ShowOpenFileDialog(form->Handle, nullptr, path, "scripts", "*.lsp\0*.lsp\0"), 0);
    EXPECT_EQ(path[0], 0);

    // Saving takes a new name and gives it the extension of the chosen type.
    script = DialogScript{};
    script.keys = Keys("out\n");
    ASSERT_EQ(ShowSaveFileDialog(form->Handle, nullptr, path, "scripts", "*.bmp\0*.bmp\0"), 1);
    EXPECT_EQ(fs::path(path).filename(), "out.bmp");
    ZevSetModalHook(nullptr, nullptr);
}

TEST_F(WinUITest, QuitDuringAModalDialogCancelsItAndReachesTheLoop)
{
    TRecordForm* form = NewForm();
    ZevSetModalHook([](HWND, void*) { PostQuitMessage(9); }, nullptr);
    char path[256];
    EXPECT_EQ(ShowOpenFileDialog(form->Handle, nullptr, path, "*.*\0*.*\0"), 0);
    ZevSetModalHook(nullptr, nullptr);
    EXPECT_EQ(App->Run(), 9);
}
