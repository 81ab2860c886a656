// Menus: menu bars drawn in a top-level window's strip above its client area, drop-down menus as borderless
// windows of our own, and the choice of an entry as WM_COMMAND to the window that owns the bar.
#include "ZevFont.h"
#include "ZevGdi.h"
#include "ZevWindowCore.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

struct MenuItem {
    UINT flags = 0;
    std::uintptr_t id = 0; // command identifier, or the popup's handle
    std::string caption;
    bool checked = false;
};

struct MenuRec {
    bool popup = false;
    std::vector<MenuItem> items;
};

struct PopupData {
    HMENU menu = nullptr;
    int hot = -1;
};

struct MenuState {
    std::unordered_map<std::uintptr_t, std::unique_ptr<MenuRec>> menus;
    // Handles start above every command identifier, so that removing by identifier never meets a handle.
    std::uintptr_t next = 0x10000;
    std::vector<HWND> open; // open popup windows, outermost first
    HWND owner = nullptr;   // the window whose bar was clicked
    bool popupClassRegistered = false;
};

MenuState& M()
{
    static MenuState state;
    return state;
}

constexpr std::int32_t kItemHeight = 20;
constexpr std::uint32_t kBarColour = 0xD4D0C8;
constexpr std::uint32_t kHotColour = 0x0A246A;

MenuRec* Find(HMENU menu)
{
    auto it = M().menus.find(reinterpret_cast<std::uintptr_t>(menu));
    return it == M().menus.end() ? nullptr : it->second.get();
}

std::int32_t TextWidth(const std::string& text)
{
    TZevFontDesc desc;
    desc.pixelHeight = ZevUiFontHeight;
    std::int32_t w = 0, h = 0;
    ZevMeasureText(desc, text.data(), text.size(), &w, &h);
    return w;
}

// Where a bar entry lies in the strip: its left and right, and its row.
struct BarSpan {
    std::int32_t left;
    std::int32_t right;
    std::int32_t row;
};

// The bar's entries in rows of the window's width: an entry that does not fit on a row starts the next one, as
// a bar wider than its window wraps.
std::vector<BarSpan> BarLayout(MenuRec* m, std::int32_t width)
{
    std::vector<BarSpan> spans;
    std::int32_t x = 4, row = 0;
    for (const MenuItem& item : m->items) {
        const std::int32_t w = TextWidth(item.caption) + 16;
        if (x > 4 && x + w > width) {
            ++row;
            x = 4;
        }
        spans.push_back({x, x + w, row});
        x += w;
    }
    return spans;
}

std::int32_t OuterWidth(const TZevWindowRec* rec) { return rec->rect.right - rec->rect.left; }

LRESULT PopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    auto* data = rec ? static_cast<PopupData*>(rec->controlData) : nullptr;
    if (message == WM_PAINT && data) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT all{0, 0, rec->client.width, rec->client.height};
        HBRUSH face = CreateSolidBrush(RGB(0xD4, 0xD0, 0xC8));
        FillRect(dc, &all, face);
        DeleteObject(face);
        SetBkMode(dc, TRANSPARENT);
        if (MenuRec* m = Find(data->menu)) {
            for (std::size_t i = 0; i < m->items.size(); ++i) {
                RECT r{2, 2 + static_cast<std::int32_t>(i) * kItemHeight, all.right - 2,
                       2 + static_cast<std::int32_t>(i + 1) * kItemHeight};
                const bool hot = static_cast<int>(i) == data->hot;
                if (hot) {
                    HBRUSH b = CreateSolidBrush(RGB(0x0A, 0x24, 0x6A));
                    FillRect(dc, &r, b);
                    DeleteObject(b);
                }
                SetTextColor(dc, hot ? RGB(255, 255, 255) : RGB(0, 0, 0));
                RECT text{r.left + 20, r.top, r.right, r.bottom};
                DrawTextA(dc, m->items[i].caption.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                if (m->items[i].checked) {
                    RECT mark{r.left + 4, r.top, r.left + 18, r.bottom};
                    DrawTextA(dc, "\xE2\x9C\x93", -1, &mark, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                }
                if (m->items[i].flags & MF_POPUP) {
                    RECT arrow{r.right - 14, r.top, r.right, r.bottom};
                    DrawTextA(dc, ">", -1, &arrow, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                }
            }
        }
        // A one-pixel dark border.
        HBRUSH edge = CreateSolidBrush(RGB(0x40, 0x40, 0x40));
        RECT top{0, 0, all.right, 1}, bottom{0, all.bottom - 1, all.right, all.bottom};
        RECT left{0, 0, 1, all.bottom}, right{all.right - 1, 0, all.right, all.bottom};
        FillRect(dc, &top, edge);
        FillRect(dc, &bottom, edge);
        FillRect(dc, &left, edge);
        FillRect(dc, &right, edge);
        DeleteObject(edge);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void EnsurePopupClass()
{
    if (M().popupClassRegistered)
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = PopupProc;
    wc.lpszClassName = "#ZevMenuPopup";
    RegisterClassA(&wc);
    M().popupClassRegistered = true;
}

// Opens the popup `menu` with its top-left corner at a screen position, above every window.
void OpenPopup(HMENU menu, std::int32_t sx, std::int32_t sy)
{
    MenuRec* m = Find(menu);
    TZevWindowRec* owner = ZevFindWindow(M().owner);
    if (!m || !owner)
        return;
    EnsurePopupClass();
    std::int32_t width = 80;
    for (const MenuItem& item : m->items)
        width = std::max(width, TextWidth(item.caption) + 48);
    const std::int32_t height = static_cast<std::int32_t>(m->items.size()) * kItemHeight + 4;
    HWND popup = CreateWindowExA(0, "#ZevMenuPopup", "", WS_POPUP, sx, sy, width, std::max(height, 6),
                                 M().owner, nullptr, nullptr, nullptr);
    TZevWindowRec* rec = ZevFindWindow(popup);
    if (!rec)
        return;
    auto* data = new PopupData();
    data->menu = menu;
    rec->controlData = data;
    rec->controlFree = [](void* p) { delete static_cast<PopupData*>(p); };
    M().open.push_back(popup);
    ShowWindow(popup, SW_SHOW);
}

void CloseFrom(std::size_t level)
{
    MenuState& s = M();
    while (s.open.size() > level) {
        const HWND h = s.open.back();
        s.open.pop_back();
        DestroyWindow(h);
    }
}

// The open popup at a screen point (index into `open`), and the item under it.
int PopupAt(std::int32_t sx, std::int32_t sy, int* item)
{
    MenuState& s = M();
    for (int i = static_cast<int>(s.open.size()) - 1; i >= 0; --i) {
        RECT r;
        if (!GetWindowRect(s.open[static_cast<std::size_t>(i)], &r))
            continue;
        if (sx >= r.left && sx < r.right && sy >= r.top && sy < r.bottom) {
            *item = (sy - r.top - 2) / kItemHeight;
            return i;
        }
    }
    return -1;
}

} // namespace

HMENU CreateMenu()
{
    MenuState& s = M();
    const std::uintptr_t h = s.next;
    s.next += 4;
    s.menus[h] = std::make_unique<MenuRec>();
    return reinterpret_cast<HMENU>(h);
}

HMENU CreatePopupMenu()
{
    HMENU h = CreateMenu();
    Find(h)->popup = true;
    return h;
}

BOOL IsMenu(HMENU menu) { return Find(menu) != nullptr; }

BOOL AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idOrPopup, const char* caption)
{
    MenuRec* m = Find(menu);
    if (!m || ((flags & MF_POPUP) && !Find(reinterpret_cast<HMENU>(idOrPopup))))
        return 0;
    MenuItem item;
    item.flags = flags;
    item.id = idOrPopup;
    item.caption = caption ? caption : "";
    item.checked = (flags & MF_CHECKED) != 0;
    m->items.push_back(item);
    return 1;
}

namespace {

bool RemoveFrom(MenuRec* m, std::uintptr_t item, int depth)
{
    for (auto it = m->items.begin(); it != m->items.end(); ++it) {
        if (it->id == item) {
            m->items.erase(it);
            return true;
        }
    }
    if (depth > 32)
        return false;
    for (MenuItem& i : m->items)
        if (i.flags & MF_POPUP)
            if (MenuRec* sub = Find(reinterpret_cast<HMENU>(i.id)))
                if (RemoveFrom(sub, item, depth + 1))
                    return true;
    return false;
}

} // namespace

BOOL RemoveMenu(HMENU menu, UINT item, UINT flags)
{
    MenuRec* m = Find(menu);
    if (!m)
        return 0;
    if (flags & MF_BYPOSITION) {
        if (item >= m->items.size())
            return 0;
        m->items.erase(m->items.begin() + item);
        return 1;
    }
    return RemoveFrom(m, item, 0) ? 1 : 0;
}

BOOL ZevRemoveMenuHandle(HMENU menu, HMENU popup)
{
    MenuRec* m = Find(menu);
    return m && RemoveFrom(m, reinterpret_cast<std::uintptr_t>(popup), 0) ? 1 : 0;
}

BOOL DestroyMenu(HMENU menu)
{
    MenuState& s = M();
    auto it = s.menus.find(reinterpret_cast<std::uintptr_t>(menu));
    if (it == s.menus.end())
        return 0;
    // Popups still in it go with it.
    std::vector<HMENU> subs;
    for (const MenuItem& i : it->second->items)
        if (i.flags & MF_POPUP)
            subs.push_back(reinterpret_cast<HMENU>(i.id));
    s.menus.erase(it);
    for (HMENU sub : subs)
        DestroyMenu(sub);
    return 1;
}

BOOL SetMenu(HWND window, HMENU menu)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || rec->IsChild() || (menu && !Find(menu)))
        return 0;
    rec->menu = menu;
    ZevUpdateClientSize(rec, true);
    if ((rec = ZevFindWindow(window)))
        ZevPaintNonClient(rec);
    return 1;
}

HMENU GetMenu(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    return rec && Find(rec->menu) ? rec->menu : nullptr;
}

BOOL DrawMenuBar(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    // A bar destroyed under the window leaves it without one.
    ZevUpdateClientSize(rec, true);
    if ((rec = ZevFindWindow(window)))
        ZevPaintNonClient(rec);
    return 1;
}

DWORD CheckMenuItem(HMENU menu, UINT id, UINT flags)
{
    MenuRec* m = Find(menu);
    if (!m)
        return static_cast<DWORD>(-1);
    for (MenuItem& i : m->items) {
        if (i.id == id && !(i.flags & MF_POPUP)) {
            const DWORD old = i.checked ? MF_CHECKED : MF_UNCHECKED;
            i.checked = (flags & MF_CHECKED) != 0;
            return old;
        }
    }
    for (MenuItem& i : m->items)
        if (i.flags & MF_POPUP) {
            const DWORD r = CheckMenuItem(reinterpret_cast<HMENU>(i.id), id, flags);
            if (r != static_cast<DWORD>(-1))
                return r;
        }
    return static_cast<DWORD>(-1);
}

int ZevGetMenuItemCount(HMENU menu)
{
    MenuRec* m = Find(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

std::string ZevGetMenuItemText(HMENU menu, int position)
{
    MenuRec* m = Find(menu);
    if (!m || position < 0 || position >= static_cast<int>(m->items.size()))
        return {};
    return m->items[static_cast<std::size_t>(position)].caption;
}

// ---- The strip: caption and menu bar ----------------------------------------------------------------------------

void ZevPaintNonClient(TZevWindowRec* rec)
{
    if (rec->IsChild() || rec->frame.pixels.empty())
        return;
    TZevSurface& s = rec->frame;
    const std::int32_t caption = ZevCaptionHeight(rec);
    const RECT all{0, 0, s.width, s.height};
    if (caption > 0) {
        ZevFillSurface(&s, RECT{0, 0, s.width, caption}, 0x0A246A);
        ZevSurfaceText(&s, rec->text.c_str(), 6, 4, 0xFFFFFF, RECT{0, 0, s.width - 24, caption}, true);
        // The close box.
        const RECT box{s.width - 20, 3, s.width - 4, caption - 3};
        ZevFillSurface(&s, box, 0xD4D0C8);
        for (std::int32_t i = 4; i < 12; ++i) {
            const std::int32_t y = box.top + 4 + (i - 4);
            for (std::int32_t x : {box.left + i, box.left + 15 - i})
                if (y < box.bottom)
                    ZevFillSurface(&s, RECT{x, y, x + 1, y + 1}, 0x000000);
        }
    }
    if (MenuRec* m = Find(rec->menu)) {
        const std::int32_t top = caption;
        ZevFillSurface(&s, RECT{0, top, s.width, s.height}, kBarColour);
        const auto spans = BarLayout(m, s.width);
        for (std::size_t i = 0; i < spans.size(); ++i) {
            const bool hot = static_cast<int>(i) == rec->hotMenuItem && !M().open.empty();
            const std::int32_t rowTop = top + spans[i].row * kItemHeight;
            if (hot)
                ZevFillSurface(&s, RECT{spans[i].left, rowTop + 1, spans[i].right, rowTop + kItemHeight - 1},
                               kHotColour);
            ZevSurfaceText(&s, m->items[i].caption.c_str(), spans[i].left + 8, rowTop + 3,
                           hot ? 0xFFFFFF : 0x000000, all);
        }
    }
    ZevBackend()->PresentFrame(rec);
}

std::int32_t ZevMenuBarRows(const TZevWindowRec* rec)
{
    MenuRec* m = Find(rec->menu);
    if (!m || m->items.empty())
        return 1;
    return BarLayout(m, OuterWidth(rec)).back().row + 1;
}

int ZevMenuBarHit(TZevWindowRec* rec, std::int32_t x, std::int32_t y)
{
    MenuRec* m = Find(rec->menu);
    if (!m || y < ZevCaptionHeight(rec))
        return -1;
    const std::int32_t row = (y - ZevCaptionHeight(rec)) / kItemHeight;
    const auto spans = BarLayout(m, OuterWidth(rec));
    for (std::size_t i = 0; i < spans.size(); ++i)
        if (spans[i].row == row && x >= spans[i].left && x < spans[i].right)
            return static_cast<int>(i);
    return -1;
}

void ZevMenuBarClick(TZevWindowRec* rec, int item)
{
    ZevCloseMenus();
    MenuRec* m = Find(rec->menu);
    if (!m || item < 0 || item >= static_cast<int>(m->items.size()))
        return;
    const MenuItem& entry = m->items[static_cast<std::size_t>(item)];
    M().owner = rec->Handle();
    rec->hotMenuItem = item;
    if (entry.flags & MF_POPUP) {
        const BarSpan span = BarLayout(m, OuterWidth(rec))[static_cast<std::size_t>(item)];
        OpenPopup(reinterpret_cast<HMENU>(entry.id), rec->rect.left + span.left,
                  rec->rect.top + ZevCaptionHeight(rec) + (span.row + 1) * kItemHeight);
        if (TZevWindowRec* r = ZevFindWindow(M().owner))
            ZevPaintNonClient(r);
    } else {
        // An entry right on the bar is chosen at once.
        const HWND owner = M().owner;
        ZevCloseMenus();
        PostMessageA(owner, WM_COMMAND, MAKEWPARAM(static_cast<std::uint16_t>(entry.id), 0), 0);
    }
}

bool ZevMenuTracking() { return !M().open.empty(); }

void ZevCloseMenus()
{
    MenuState& s = M();
    const bool wasOpen = !s.open.empty();
    CloseFrom(0);
    if (TZevWindowRec* r = ZevFindWindow(s.owner)) {
        r->hotMenuItem = -1;
        if (wasOpen)
            ZevPaintNonClient(r);
    }
    s.owner = nullptr;
}

void ZevMenuMouse(std::int32_t sx, std::int32_t sy, int button, bool down)
{
    MenuState& s = M();
    int item = -1;
    const int level = PopupAt(sx, sy, &item);
    if (level < 0) {
        if (button == 1 && down) {
            // A click on another entry of the same bar opens that one; any other click only closes.
            TZevWindowRec* owner = ZevFindWindow(s.owner);
            int barItem = -1;
            if (owner && sx >= owner->rect.left && sx < owner->rect.right && sy >= owner->rect.top)
                barItem = ZevMenuBarHit(owner, sx - owner->rect.left, sy - owner->rect.top);
            if (owner && barItem >= 0 && barItem != owner->hotMenuItem)
                ZevMenuBarClick(owner, barItem);
            else
                ZevCloseMenus();
        }
        return;
    }
    const HWND popup = s.open[static_cast<std::size_t>(level)];
    TZevWindowRec* rec = ZevFindWindow(popup);
    auto* data = rec ? static_cast<PopupData*>(rec->controlData) : nullptr;
    MenuRec* m = data ? Find(data->menu) : nullptr;
    if (!m)
        return;
    if (item < 0 || item >= static_cast<int>(m->items.size()))
        item = -1;
    if (data->hot != item) {
        data->hot = item;
        InvalidateRect(popup, nullptr, 1);
    }
    if (button != 1 || down || item < 0)
        return;
    const MenuItem entry = m->items[static_cast<std::size_t>(item)];
    if (entry.flags & MF_POPUP) {
        CloseFrom(static_cast<std::size_t>(level) + 1);
        RECT r;
        GetWindowRect(popup, &r);
        OpenPopup(reinterpret_cast<HMENU>(entry.id), r.right - 2, r.top + 2 + item * kItemHeight);
        return;
    }
    const HWND owner = s.owner;
    ZevCloseMenus();
    PostMessageA(owner, WM_COMMAND, MAKEWPARAM(static_cast<std::uint16_t>(entry.id), 0), 0);
}

void ZevMenusWindowGone(TZevWindowRec* rec)
{
    MenuState& s = M();
    if (s.owner == rec->Handle())
        ZevCloseMenus();
    else
        for (std::size_t i = 0; i < s.open.size(); ++i)
            if (s.open[i] == rec->Handle()) {
                s.open.resize(i); // the rest is destroyed with it or by ZevCloseMenus
                break;
            }
}

void ZevMenusShutdown()
{
    MenuState& s = M();
    s.open.clear();
    s.owner = nullptr;
    s.menus.clear();
    s.popupClassRegistered = false;
}
