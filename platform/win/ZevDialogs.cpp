// Modal dialogs of our own: the message box and the open and save file dialogs. Each runs its own message loop
// while its owner is disabled; Return and Escape act on the dialog from any of its controls.
#include "ZevGdi.h"
#include "ZevWindowCore.h"

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kButtonWidth = 96;
constexpr std::int32_t kButtonHeight = 24;

TZevModalHook gHook = nullptr;
void* gHookUser = nullptr;

struct Filter {
    std::string description;
    std::string pattern; // one or more patterns separated by ';'
};

struct DialogState {
    enum class Kind { Message, Open, Save } kind = Kind::Message;
    bool done = false;
    int result = IDCANCEL;
    // File dialogs
    OPENFILENAMEA* ofn = nullptr;
    std::string dir;
    std::vector<Filter> filters;
    std::size_t filterIndex = 0;
    std::vector<std::pair<std::string, bool>> entries; // name, is a folder
    HWND list = nullptr;
    HWND name = nullptr;
    HWND folder = nullptr;
    HWND filter = nullptr;
};

DialogState* StateOf(HWND dialog)
{
    TZevWindowRec* rec = ZevFindWindow(dialog);
    return rec ? static_cast<DialogState*>(rec->controlData) : nullptr;
}

bool MatchesFilter(const std::string& name, const std::string& patterns)
{
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string::npos)
            end = patterns.size();
        std::string p = patterns.substr(start, end - start);
        p.erase(0, p.find_first_not_of(' '));
        // "*.*" means every file, names without a dot included.
        if (p == "*.*" || p == "*" || (!p.empty() && fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0))
            return true;
        start = end + 1;
    }
    return false;
}

std::string CurrentPattern(const DialogState* d)
{
    return d->filters.empty() ? std::string("*.*") : d->filters[d->filterIndex].pattern;
}

void Refill(DialogState* d)
{
    SendMessageA(d->list, LB_RESETCONTENT, 0, 0);
    d->entries.clear();
    std::error_code error;
    std::vector<std::string> dirs, files;
    for (fs::directory_iterator it(d->dir, error), end; !error && it != end; it.increment(error)) {
        const std::string n = it->path().filename().string();
        std::error_code e2;
        if (it->is_directory(e2))
            dirs.push_back(n);
        else if (MatchesFilter(n, CurrentPattern(d)))
            files.push_back(n);
    }
    std::sort(dirs.begin(), dirs.end());
    std::sort(files.begin(), files.end());
    if (fs::path(d->dir).has_relative_path())
        d->entries.push_back({"..", true});
    for (auto& n : dirs)
        d->entries.push_back({n, true});
    for (auto& n : files)
        d->entries.push_back({n, false});
    for (auto& e : d->entries) {
        const std::string shown = e.second ? "[" + e.first + "]" : e.first;
        SendMessageA(d->list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    SetWindowTextA(d->folder, d->dir.c_str());
    const std::string type = "Type: " + (d->filters.empty() ? std::string("*.*")
                                                              : d->filters[d->filterIndex].description);
    SetWindowTextA(d->filter, type.c_str());
}

void EnterFolder(DialogState* d, const fs::path& path)
{
    std::error_code error;
    fs::path p = fs::weakly_canonical(path, error);
    if (error)
        p = path;
    d->dir = p.string();
    SetWindowTextA(d->name, "");
    Refill(d);
}

void Finish(DialogState* d, int result)
{
    d->result = result;
    d->done = true;
}

// The name typed or chosen: a folder is entered, a pattern becomes the filter, a file ends the dialog.
void Accept(DialogState* d, std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.empty()) {
        const LRESULT sel = SendMessageA(d->list, LB_GETCURSEL, 0, 0);
        if (sel < 0 || static_cast<std::size_t>(sel) >= d->entries.size())
            return;
        const auto& e = d->entries[static_cast<std::size_t>(sel)];
        if (e.second) {
            EnterFolder(d, fs::path(d->dir) / e.first);
            return;
        }
        text = e.first;
    }
    if (text.find_first_of("*?") != std::string::npos) {
        d->filters.insert(d->filters.begin() + static_cast<std::ptrdiff_t>(d->filterIndex), Filter{text, text});
        SetWindowTextA(d->name, "");
        Refill(d);
        return;
    }
    fs::path path = fs::path(text).is_absolute() ? fs::path(text) : fs::path(d->dir) / text;
    std::error_code error;
    if (fs::is_directory(path, error)) {
        EnterFolder(d, path);
        return;
    }
    if (d->kind == DialogState::Kind::Open) {
        if (!fs::is_regular_file(path, error)) {
            SetWindowTextA(d->folder, ("Not found: " + path.filename().string()).c_str());
            return;
        }
    } else {
        if (!fs::is_directory(path.parent_path(), error)) {
            SetWindowTextA(d->folder, "No such folder");
            return;
        }
        if (!path.has_extension()) {
            // The extension of the chosen type, or the default one.
            const std::string pattern = CurrentPattern(d);
            std::string ext;
            if (pattern.size() > 2 && pattern.compare(0, 2, "*.") == 0 && pattern.find_first_of("*?;", 2) ==
                                                                              std::string::npos)
                ext = pattern.substr(2);
            else if (d->ofn->lpstrDefExt && *d->ofn->lpstrDefExt)
                ext = d->ofn->lpstrDefExt;
            if (!ext.empty())
                path += "." + ext;
        }
    }
    const std::string result = path.lexically_normal().string();
    if (result.size() + 1 > d->ofn->nMaxFile) {
        SetWindowTextA(d->folder, "Path too long");
        return;
    }
    std::copy(result.begin(), result.end(), d->ofn->lpstrFile);
    d->ofn->lpstrFile[result.size()] = 0;
    Finish(d, IDOK);
}

LRESULT DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogState* d = StateOf(window);
    if (!d)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CLOSE: Finish(d, IDCANCEL); return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        if (d->kind == DialogState::Kind::Message) {
            if (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO)
                Finish(d, id);
            return 0;
        }
        if (id == IDCANCEL) {
            Finish(d, IDCANCEL);
        } else if (id == IDOK) {
            if (GetFocus() == d->list)
                Accept(d, "");
            else
                Accept(d, ZevGetWindowText(d->name));
        } else if (id == ZevDialogListId && code == LBN_SELCHANGE) {
            const LRESULT sel = SendMessageA(d->list, LB_GETCURSEL, 0, 0);
            if (sel >= 0 && static_cast<std::size_t>(sel) < d->entries.size() &&
                !d->entries[static_cast<std::size_t>(sel)].second)
                SetWindowTextA(d->name, d->entries[static_cast<std::size_t>(sel)].first.c_str());
        } else if (id == ZevDialogListId && code == LBN_DBLCLK) {
            SetWindowTextA(d->name, "");
            Accept(d, "");
        } else if (id == ZevDialogFilterId && code == BN_CLICKED && !d->filters.empty()) {
            d->filterIndex = (d->filterIndex + 1) % d->filters.size();
            Refill(d);
        }
        return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A top-level dialog window whose client area is width x height, centred on the owner.
HWND MakeDialog(HWND owner, const char* title, std::int32_t width, std::int32_t height, DialogState* state)
{
    RECT o{100, 100, 740, 580};
    if (owner)
        GetWindowRect(owner, &o);
    const std::int32_t x = std::max(0, (o.left + o.right - width) / 2);
    const std::int32_t y = std::max(0, (o.top + o.bottom - height) / 2);
    HWND dialog = CreateWindowExA(0, "#ZevDialog", title ? title : "", WS_CAPTION | WS_SYSMENU, x, y, width,
                                  height, owner, nullptr, nullptr, nullptr);
    TZevWindowRec* rec = ZevFindWindow(dialog);
    if (!rec)
        return nullptr;
    rec->controlData = state;
    rec->controlFree = nullptr; // the state lives on the caller's stack
    RECT client;
    GetClientRect(dialog, &client);
    SetWindowPos(dialog, nullptr, x, y, width + (width - client.right), height + (height - client.bottom),
                 SWP_NOZORDER);
    return dialog;
}

HWND Child(HWND dialog, const char* cls, const char* text, DWORD style, std::int32_t x, std::int32_t y,
           std::int32_t w, std::int32_t h, std::int32_t id)
{
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
}

bool InDialog(HWND window, HWND dialog)
{
    for (HWND h = window; h; h = GetParent(h))
        if (h == dialog)
            return true;
    return false;
}

// Runs the dialog until it is done; a WM_QUIT ends it and is posted again for the outer loop.
void RunModal(HWND dialog, HWND owner, DialogState* d, HWND initialFocus)
{
    const bool ownerEnabled = owner && IsWindowEnabled(owner);
    if (owner)
        EnableWindow(owner, 0);
    ShowWindow(dialog, SW_SHOW);
    SetFocus(initialFocus ? initialFocus : dialog);
    if (gHook)
        gHook(dialog, gHookUser);
    MSG m;
    while (!d->done && IsWindow(dialog)) {
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            d->result = IDCANCEL;
            break;
        }
        if (m.message == WM_KEYDOWN && (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE) && InDialog(m.hwnd, dialog)) {
            const int id = m.wParam == VK_ESCAPE ? IDCANCEL : IDOK;
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<std::uint16_t>(id), 0), 0);
            // The key's release belongs to the dialog too.
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (IsWindow(dialog)) {
        if (TZevWindowRec* rec = ZevFindWindow(dialog))
            rec->controlData = nullptr;
        DestroyWindow(dialog);
    }
    if (owner && ownerEnabled && IsWindow(owner)) {
        EnableWindow(owner, 1);
        SetActiveWindow(owner);
    }
}

std::vector<Filter> ParseFilters(const char* list)
{
    std::vector<Filter> filters;
    if (!list)
        return filters;
    // Pairs of zero-terminated texts up to an empty one; bounded, since a caller may pass a damaged list.
    const char* p = list;
    for (int i = 0; i < 64 && *p; ++i) {
        Filter f;
        f.description = p;
        p += f.description.size() + 1;
        if (!*p)
            break;
        f.pattern = p;
        p += f.pattern.size() + 1;
        filters.push_back(f);
    }
    return filters;
}

BOOL FileDialog(OPENFILENAMEA* ofn, bool save)
{
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0)
        return 0;
    ofn->lpstrFile[0] = 0;
    DialogState d;
    d.kind = save ? DialogState::Kind::Save : DialogState::Kind::Open;
    d.ofn = ofn;
    d.filters = ParseFilters(ofn->lpstrFilter);
    if (ofn->nFilterIndex > 0 && ofn->nFilterIndex <= d.filters.size())
        d.filterIndex = ofn->nFilterIndex - 1;
    std::error_code error;
    fs::path start = fs::current_path(error);
    if (ofn->lpstrInitialDir && *ofn->lpstrInitialDir && fs::is_directory(ofn->lpstrInitialDir, error))
        start = fs::path(ofn->lpstrInitialDir);
    const char* title = ofn->lpstrTitle ? ofn->lpstrTitle : (save ? "Save" : "Open");
    HWND dialog = MakeDialog(ofn->hwndOwner, title, 420, 310, &d);
    if (!dialog)
        return 0;
    d.folder = Child(dialog, "STATIC", "", 0, 8, 6, 404, 18, ZevDialogFolderId);
    d.list = Child(dialog, "LISTBOX", "", 0, 8, 26, 404, 212, ZevDialogListId);
    d.name = Child(dialog, "EDIT", "", 0, 8, 246, 300, 24, ZevDialogNameId);
    d.filter = Child(dialog, "BUTTON", "", 0, 8, 278, 300, kButtonHeight, ZevDialogFilterId);
    Child(dialog, "BUTTON", save ? "Save" : "Open", 0, 316, 246, kButtonWidth, kButtonHeight, IDOK);
    Child(dialog, "BUTTON", "Cancel", 0, 316, 278, kButtonWidth, kButtonHeight, IDCANCEL);
    EnterFolder(&d, start);
    RunModal(dialog, ofn->hwndOwner, &d, d.name);
    if (d.result != IDOK) {
        ofn->lpstrFile[0] = 0;
        return 0;
    }
    return 1;
}

} // namespace

void ZevRegisterDialogClasses()
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DialogProc;
    wc.lpszClassName = "#ZevDialog";
    wc.hbrBackground = CreateSolidBrush(RGB(0xD4, 0xD0, 0xC8));
    RegisterClassA(&wc);
}

void ZevSetModalHook(TZevModalHook hook, void* user)
{
    gHook = hook;
    gHookUser = user;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    DialogState d;
    d.kind = DialogState::Kind::Message;
    const std::string body = text ? text : "";
    std::int32_t lines = 1;
    std::int32_t widest = 0;
    {
        HDC dc = GetDC(nullptr);
        for (std::size_t s = 0; s <= body.size();) {
            std::size_t e = body.find('\n', s);
            if (e == std::string::npos)
                e = body.size();
            POINT size{0, 0};
            GetTextExtentPoint32A(dc, body.c_str() + s, static_cast<std::int32_t>(e - s), &size);
            widest = std::max(widest, size.x);
            if (e < body.size())
                ++lines;
            s = e + 1;
        }
        ReleaseDC(nullptr, dc);
    }
    const UINT buttons = type & 0xF;
    const int count = buttons == MB_OKCANCEL || buttons == MB_YESNO ? 2 : 1;
    const std::int32_t width = std::clamp(std::max(widest + 32, count * (kButtonWidth + 8) + 24), 200, 800);
    const std::int32_t height = lines * 16 + 24 + kButtonHeight + 16;
    HWND dialog = MakeDialog(owner, caption ? caption : "", width, height, &d);
    if (!dialog)
        return 0;
    Child(dialog, "STATIC", body.c_str(), 0, 16, 12, width - 32, lines * 16, 0);
    const std::int32_t y = lines * 16 + 24;
    std::int32_t x = (width - count * (kButtonWidth + 8) + 8) / 2;
    HWND first = nullptr;
    auto button = [&](const char* label, int id) {
        HWND b = Child(dialog, "BUTTON", label, 0, x, y, kButtonWidth, kButtonHeight, id);
        if (!first)
            first = b;
        x += kButtonWidth + 8;
    };
    if (buttons == MB_YESNO) {
        button("Yes", IDYES);
        button("No", IDNO);
    } else {
        button("OK", IDOK);
        if (buttons == MB_OKCANCEL)
            button("Cancel", IDCANCEL);
    }
    RunModal(dialog, owner, &d, first);
    // Closing a Yes/No box counts as No.
    if (buttons == MB_YESNO && d.result == IDCANCEL)
        return IDNO;
    return d.result;
}

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) { return FileDialog(ofn, false); }
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn) { return FileDialog(ofn, true); }
