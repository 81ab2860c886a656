// Controls, menus and file dialogs on the in-memory backend, driven by input as a person gives it.
#include "WinUITestSupport.h"

#include "ZevFont.h"
#include "ZevGdi.h"
#include "ZevWindowCore.h"

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

TEST_F(WinUITest, ListBoxRowsAreWhereClicksLandAndIndicesOutOfRangeAreRefused)
{
    TRecordForm* form = NewForm();
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 120, form->Handle, nullptr,
                                nullptr, nullptr);
    for (const char* item : {"first", "second", "third"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    RECT r{};
    ASSERT_EQ(SendMessageA(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r)), 1);
    Click(list, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);

    // "No selection" (-1) handed on as an index, and the first index past the end.
    char text[64] = "kept";
    for (const WPARAM index : {static_cast<WPARAM>(-1), WPARAM{3}}) {
        SCOPED_TRACE(static_cast<std::int64_t>(index));
        EXPECT_EQ(SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text)), LB_ERR);
        EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, index, 0), LB_ERR);
        EXPECT_EQ(SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)), LB_ERR);
    }
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), -1);
}

TEST_F(WinUITest, DraggingAcrossAnEditFieldSelectsWhatItCrossesAndAMoveWithoutAButtonDoesNot)
{
    TRecordForm* form = NewForm();
    form->SetBounds(0, 0, 400, 300);
    HWND edit = CreateWindowExA(0, "EDIT", "hello world", WS_CHILD | WS_VISIBLE, 10, 10, 200, 24, form->Handle,
                                nullptr, nullptr, nullptr);
    POINT from{2, 12}, to{195, 12};
    ClientToScreen(edit, &from);
    ClientToScreen(edit, &to);
    // Press, drag, release, then a move back without a button.
    for (const auto& [at, button, down] :
         {std::tuple{from, 1, true}, {to, 0, false}, {to, 1, false}, {from, 0, false}}) {
        ZevInputMouse(at.x, at.y, button, down);
        Pump(App);
    }
    DWORD a = 99, b = 99;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 11u);
}

// A list longer than its box: a scroll bar, the wheel, its arrows, its track and its thumb bring every row into
// view, where a click selects it.
TEST_F(WinUITest, LongListScrollsByWheelArrowsTrackAndThumbSoEveryRowCanBeClicked)
{
    TRecordForm* form = NewForm();
    form->SetBounds(0, 0, 400, 300);
    const std::int32_t height = 4 + 5 * 16; // five rows
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 10, 10, 200, height, form->Handle, nullptr,
                                nullptr, nullptr);
    for (int i = 0; i < 20; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("item " + std::to_string(i)).c_str()));
    auto rowRect = [&](int i) {
        RECT r{};
        SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        return r;
    };
    auto firstShown = [&] {
        for (int i = 0; i < 20; ++i)
            if (rowRect(i).top >= 0)
                return i;
        return -1;
    };
    const RECT row = rowRect(0);
    const std::int32_t barX = row.right + 8; // rows end where the bar begins
    ASSERT_LT(row.right, 200 - 16);
    POINT centre{100, height / 2};
    ClientToScreen(list, &centre);
    auto wheel = [&](int button, int notches) {
        for (int i = 0; i < notches; ++i)
            ZevInputMouse(centre.x, centre.y, button, true), ZevInputMouse(centre.x, centre.y, button, false);
        Pump(App);
    };

    // The bar is drawn: its column is not the white of the rows.
    Pump(App);
    std::vector<std::uint32_t> pixels(200 * static_cast<std::size_t>(height));
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(ZevReadClientPixels(list, &w, &h, pixels.data(), pixels.size()));
    EXPECT_NE(pixels[static_cast<std::size_t>(height / 2) * w + barX], 0xFFFFFFu);
    EXPECT_EQ(pixels[static_cast<std::size_t>(height / 2) * w + row.right - 4], 0xFFFFFFu);

    wheel(5, 1);
    EXPECT_EQ(firstShown(), 3);
    Click(list, barX, height - 10); // the down arrow
    EXPECT_EQ(firstShown(), 4);
    Click(list, barX, height - 2 - 16 - 3); // the track below the thumb: a page
    EXPECT_EQ(firstShown(), 9);
    Click(list, barX, 10); // the up arrow
    EXPECT_EQ(firstShown(), 8);
    wheel(4, 5);
    EXPECT_EQ(firstShown(), 0);

    // The thumb (at the top of its track now) dragged past the bottom shows the last rows.
    POINT grip{barX, 2 + 16 + 3}, past{barX, height + 100};
    ClientToScreen(list, &grip);
    ClientToScreen(list, &past);
    for (const auto& [at, button, down] : {std::tuple{grip, 1, true}, {past, 0, false}, {past, 1, false}}) {
        ZevInputMouse(at.x, at.y, button, down);
        Pump(App);
    }
    EXPECT_EQ(firstShown(), 15);
    const RECT last = rowRect(19);
    Click(list, 20, (last.top + last.bottom) / 2);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 19);

    // A list that fits has no bar: its rows take the whole width.
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("only"));
    EXPECT_EQ(rowRect(0).right, 200 - 2);
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

// An edit field lays its text out character by character: a run of text must be as wide as its characters, for
// the caret, the selection and the part of a long line that is drawn to fall where the glyphs are.
TEST(EditLayout, TextIsAsWideAsItsCharactersTogether)
{
    TZevFontDesc font;
    font.pixelHeight = ZevUiFontHeight;
    std::string text;
    for (char c = ' '; c < 127; ++c)
        text += c;
    text += "\t\u00e9\u30c6\u30b9\u30c8\xff";
    std::int32_t whole = 0, height = 0, sum = 0;
    ASSERT_TRUE(ZevMeasureText(font, text.data(), text.size(), &whole, &height));
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t from = at;
        ZevDecodeUtf8(text.data(), text.size(), &at);
        std::int32_t w = 0;
        ZevMeasureText(font, text.data() + from, at - from, &w, &height);
        sum += w;
    }
    EXPECT_EQ(sum, whole);
}

// The whole line drawn from a given x, as a field once drew every line, for comparison.
struct TLineReference {
    std::string Text;
    std::int32_t X = 0;
};
TLineReference gReference;

LRESULT ReferenceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &r, white);
    DeleteObject(white);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT at{gReference.X, 3, r.right - 2, 3 + 16};
    DrawTextA(dc, gReference.Text.c_str(), static_cast<std::int32_t>(gReference.Text.size()), &at,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &ps);
    return 0;
}

// A line far wider than the field shows as the whole line would, clipped to the field: whether the field is at the
// line's start or scrolled to its end (where the caret goes as one types); only the part in view is drawn.
TEST_F(WinUITest, ALongLineShowsAsTheWholeLineClippedToTheField)
{
    TRecordForm* form = NewForm();
    form->SetBounds(0, 0, 640, 300);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ReferenceProc;
    wc.lpszClassName = "EditLineReference";
    RegisterClassA(&wc);
    constexpr std::int32_t W = 300, H = 40;
    auto pixels = [&](HWND window) {
        InvalidateRect(window, nullptr, 1);
        Pump(App);
        std::vector<std::uint32_t> out(W * H);
        std::int32_t w = 0, h = 0;
        EXPECT_TRUE(ZevReadClientPixels(window, &w, &h, out.data(), out.size()));
        return out;
    };
    // The text band of the first line, inside the field's frame, without the caret's column.
    auto band = [&](const std::vector<std::uint32_t>& p, std::int32_t caret) {
        std::vector<std::uint32_t> out;
        for (std::int32_t y = 3; y < 19; ++y)
            for (std::int32_t x = 2; x < W - 2; ++x)
                out.push_back(x == caret ? 0 : p[static_cast<std::size_t>(y * W + x)]);
        return out;
    };
    std::string line = "(setq first (list 1 2 3)) (print \"a line that starts wider than the field\")";
    while (line.size() < 6000)
        line += " (place (LoadXPhBody \"lbox.x\") 0 4 0) \u30c6\u30b9\u30c8";
    TZevFontDesc font;
    font.pixelHeight = ZevUiFontHeight;
    std::int32_t width = 0, height = 0;
    ZevMeasureText(font, line.data(), line.size(), &width, &height);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 10, W, H, form->Handle,
                                nullptr, nullptr, nullptr);
    HWND reference = CreateWindowExA(0, "EditLineReference", "", WS_CHILD | WS_VISIBLE, 10, 60, W, H, form->Handle,
                                     nullptr, nullptr, nullptr);
    SetWindowTextA(edit, line.c_str());
    gReference = {line, 4};
    EXPECT_EQ(band(pixels(edit), -1), band(pixels(reference), -1));

    // At the end: the caret (a black column of the line's height) stands right after the line's last character.
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, line.size(), static_cast<LPARAM>(line.size()));
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    const std::vector<std::uint32_t> shown = pixels(edit);
    std::int32_t caret = -1;
    for (std::int32_t x = W - 3; x >= 2 && caret < 0; --x) {
        bool column = true;
        for (std::int32_t y = 4; y < 17; ++y)
            column = column && shown[static_cast<std::size_t>(y * W + x)] == 0;
        if (column)
            caret = x;
    }
    ASSERT_GT(caret, W / 2) << "no caret near the field's right side";
    gReference = {line, caret - width};
    EXPECT_EQ(band(shown, caret), band(pixels(reference), caret));
}
