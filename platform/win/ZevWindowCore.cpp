// Windows: classes, creation and destruction, showing and placing, text, long values, focus and capture.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"
#include "ZevGdi.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace ZevWinCore;

namespace {

bool EqualNoCase(const std::string& a, const char* b)
{
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

TZevClassRec* FindClass(const char* name)
{
    if (!name)
        return nullptr;
    for (auto& c : P().classes)
        if (EqualNoCase(c->name, name))
            return c.get();
    return nullptr;
}

void SetTopmost(TZevWindowRec* rec)
{
    auto& tl = P().topLevels;
    auto it = std::find(tl.begin(), tl.end(), rec);
    if (it != tl.end()) {
        tl.erase(it);
        tl.push_back(rec);
    }
}

void SendActivate(HWND window, UINT state)
{
    if (ZevFindWindow(window))
        SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(static_cast<std::uint16_t>(state), 0), 0);
}

void DestroyRecord(TZevWindowRec* rec)
{
    if (rec->controlFree && rec->controlData)
        rec->controlFree(rec->controlData);
    rec->controlData = nullptr;
    delete rec;
}

} // namespace

TZevWindowRec* ZevFindWindow(HWND window)
{
    if (!window)
        return nullptr;
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it == P().windows.end() ? nullptr : it->second;
}

std::uint16_t RegisterClassA(const WNDCLASSA* wc)
{
    EnsureBackend();
    if (!wc || !wc->lpszClassName || !*wc->lpszClassName || !wc->lpfnWndProc || FindClass(wc->lpszClassName))
        return 0;
    auto c = std::make_unique<TZevClassRec>();
    c->name = wc->lpszClassName;
    c->proc = wc->lpfnWndProc;
    c->background = wc->hbrBackground;
    c->style = wc->style;
    P().classes.push_back(std::move(c));
    return static_cast<std::uint16_t>(P().classes.size());
}

std::int32_t ZevCaptionHeight(const TZevWindowRec* rec)
{
    if (rec->IsChild() || (rec->style & WS_CAPTION) != WS_CAPTION || ZevBackend()->HasWindowManager())
        return 0;
    return 22;
}

std::int32_t ZevMenuBarHeight(const TZevWindowRec* rec)
{
    return !rec->IsChild() && rec->menu && IsMenu(rec->menu) ? 20 * ZevMenuBarRows(rec) : 0;
}

POINT ZevClientOrigin(const TZevWindowRec* rec)
{
    if (!rec->IsChild())
        return {rec->rect.left, rec->rect.top + ZevCaptionHeight(rec) + ZevMenuBarHeight(rec)};
    POINT p = ZevClientOrigin(rec->parent);
    return {p.x + rec->rect.left, p.y + rec->rect.top};
}

TZevWindowRec* ZevTopLevel(TZevWindowRec* rec)
{
    while (rec && rec->IsChild() && rec->parent)
        rec = rec->parent;
    return rec;
}

void ZevUpdateClientSize(TZevWindowRec* rec, bool notify)
{
    const std::int32_t w = std::max(0, rec->rect.right - rec->rect.left);
    const std::int32_t h = std::max(0, rec->rect.bottom - rec->rect.top - ZevCaptionHeight(rec) - ZevMenuBarHeight(rec));
    if (!rec->IsChild())
        rec->frame.Resize(w, ZevCaptionHeight(rec) + ZevMenuBarHeight(rec), 0xD4D0C8);
    if (w == rec->client.width && h == rec->client.height && !rec->client.pixels.empty() == (w * h > 0))
        return;
    std::vector<TZevResizeEntry> listeners;
    {
        std::lock_guard<std::mutex> lock(P().tableMutex);
        rec->client.Resize(w, h, 0xFFFFFF);
        ++rec->resizeSerial;
        listeners = rec->listeners;
    }
    rec->invalid = true;
    rec->erase = true;
    rec->invalidRect = {0, 0, w, h};
    ++rec->invalidSerial;
    ZevBackend()->UpdateGeometry(rec);
    if (!notify)
        return;
    const HWND handle = rec->Handle();
    for (const TZevResizeEntry& e : listeners)
        e.listener(handle, w, h, e.user);
    if (ZevFindWindow(handle))
        SendMessageA(handle, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)));
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* text, DWORD style, std::int32_t x,
                     std::int32_t y, std::int32_t width, std::int32_t height, HWND parent, HMENU menu,
                     HINSTANCE instance, void* param)
{
    EnsureBackend();
    PlatformState& s = P();
    TZevClassRec* cls = FindClass(className);
    if (!cls)
        return nullptr;
    TZevWindowRec* parentRec = nullptr;
    if (parent) {
        parentRec = ZevFindWindow(parent);
        if (!parentRec || parentRec->destroying)
            return nullptr;
    }
    if ((style & WS_CHILD) && !parentRec)
        return nullptr;
    auto* rec = new TZevWindowRec();
    rec->cls = cls;
    rec->proc = cls->proc;
    rec->text = text ? text : "";
    rec->style = style & ~WS_VISIBLE;
    rec->exStyle = exStyle;
    rec->enabled = (style & WS_DISABLED) == 0;
    rec->queue = ZevCurrentQueue();
    rec->rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
    if (style & WS_CHILD) {
        rec->parent = parentRec;
        rec->id = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(menu));
    } else {
        rec->owner = parentRec ? ZevTopLevel(parentRec) : nullptr;
        rec->menu = menu;
    }
    {
        std::lock_guard<std::mutex> lock(s.tableMutex);
        rec->handle = s.nextHandle;
        s.nextHandle += 4;
        s.windows[rec->handle] = rec;
    }
    if (rec->parent)
        rec->parent->children.push_back(rec);
    else
        s.topLevels.push_back(rec);
    ZevUpdateClientSize(rec, false);
    ZevBackend()->CreateNative(rec);
    const HWND handle = rec->Handle();
    CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<std::int32_t>(style),
                     text, className, exStyle};
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) || !ZevFindWindow(handle)) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1 || !ZevFindWindow(handle)) {
        DestroyWindow(handle);
        return nullptr;
    }
    if ((rec = ZevFindWindow(handle)) == nullptr)
        return nullptr;
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rec->client.width, rec->client.height));
    if (ZevFindWindow(handle))
        SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(rec->rect.left, rec->rect.top));
    if ((style & WS_VISIBLE) && ZevFindWindow(handle))
        ShowWindow(handle, SW_SHOW);
    return ZevFindWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window)
{
    PlatformState& s = P();
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || rec->destroying)
        return 0;
    rec->destroying = true;
    // Owned windows go first.
    for (bool found = true; found;) {
        found = false;
        for (TZevWindowRec* t : s.topLevels) {
            if (t->owner == rec && !t->destroying) {
                DestroyWindow(t->Handle());
                found = true;
                break;
            }
        }
    }
    if (rec->visible) {
        rec->visible = false;
        ZevBackend()->UpdateVisibility(rec);
    }
    if (s.capture == window)
        s.capture = nullptr;
    ZevMenusWindowGone(rec);
    SendMessageA(window, WM_DESTROY, 0, 0);
    while (!rec->children.empty()) {
        TZevWindowRec* child = rec->children.back();
        if (child->destroying) {
            // Its destruction is under way further up the stack: it leaves the list there.
            rec->children.pop_back();
            continue;
        }
        DestroyWindow(child->Handle());
    }
    SendMessageA(window, WM_NCDESTROY, 0, 0);
    if (rec->parent) {
        auto& c = rec->parent->children;
        c.erase(std::remove(c.begin(), c.end(), rec), c.end());
    } else {
        s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), rec), s.topLevels.end());
    }
    for (TZevWindowRec* t : s.topLevels)
        if (t->owner == rec)
            t->owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.tableMutex);
        s.windows.erase(rec->handle);
    }
    ZevBackend()->DestroyNative(rec);
    if (s.focus == window)
        s.focus = nullptr;
    const bool wasActive = s.active == window;
    TZevWindowRec* owner = rec->owner;
    DestroyRecord(rec);
    if (wasActive) {
        s.active = nullptr;
        TZevWindowRec* next = owner && owner->visible && !owner->minimized ? owner : nullptr;
        for (auto it = s.topLevels.rbegin(); !next && it != s.topLevels.rend(); ++it)
            if ((*it)->visible && !(*it)->minimized && !((*it)->style & WS_POPUP))
                next = *it;
        if (next)
            ZevActivate(next);
    }
    return 1;
}

BOOL IsWindow(HWND window) { return ZevFindWindow(window) != nullptr; }

void ZevActivate(TZevWindowRec* rec)
{
    PlatformState& s = P();
    const HWND handle = rec->Handle();
    SetTopmost(rec);
    ZevBackend()->Activate(rec);
    if (s.active == handle)
        return;
    const HWND old = s.active;
    s.active = handle;
    if (old)
        SendActivate(old, WA_INACTIVE);
    if (ZevFindWindow(handle))
        SendActivate(handle, WA_ACTIVE);
    if (TZevWindowRec* r = ZevFindWindow(handle)) {
        HWND f = r->focusChild && ZevFindWindow(r->focusChild) ? r->focusChild : handle;
        SetFocus(f);
    }
}

HWND SetActiveWindow(HWND window)
{
    const HWND old = P().active;
    if (TZevWindowRec* rec = ZevFindWindow(window))
        ZevActivate(ZevTopLevel(rec));
    return old;
}

HWND GetActiveWindow() { return P().active; }

BOOL ShowWindow(HWND window, int command)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    const bool wasVisible = rec->visible;
    const bool show = command != SW_HIDE;
    rec->minimized = command == SW_MINIMIZE;
    if (show != wasVisible) {
        rec->visible = show;
        SendMessageA(window, WM_SHOWWINDOW, show ? 1 : 0, 0);
        if (!(rec = ZevFindWindow(window)))
            return wasVisible;
    }
    ZevBackend()->UpdateVisibility(rec);
    if (show) {
        InvalidateRect(window, nullptr, 1);
        if (!rec->IsChild()) {
            ZevPaintNonClient(rec);
            if (!rec->minimized && !(rec->style & WS_POPUP))
                ZevActivate(rec);
        }
    } else if (P().active == window) {
        P().active = nullptr;
    }
    return wasVisible;
}

BOOL IsWindowVisible(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    for (TZevWindowRec* r = rec; r; r = r->parent)
        if (!r->visible)
            return 0;
    return 1;
}

BOOL UpdateWindow(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    if (rec->invalid && rec->visible) {
        const std::uint32_t serial = rec->invalidSerial;
        SendMessageA(window, WM_PAINT, 0, 0);
        if ((rec = ZevFindWindow(window)) && rec->invalid && rec->invalidSerial == serial)
            rec->invalid = false;
    }
    return 1;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    const bool wasDisabled = !rec->enabled;
    if (rec->enabled != (enable != 0)) {
        rec->enabled = enable != 0;
        if (!rec->enabled && P().capture == window)
            P().capture = nullptr;
        SendMessageA(window, WM_ENABLE, enable ? 1 : 0, 0);
        InvalidateRect(window, nullptr, 1);
    }
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    return rec && rec->enabled;
}

BOOL SetWindowPos(HWND window, HWND, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  UINT flags)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    const RECT old = rec->rect;
    if (!(flags & SWP_NOMOVE)) {
        rec->rect.right = x + (old.right - old.left);
        rec->rect.bottom = y + (old.bottom - old.top);
        rec->rect.left = x;
        rec->rect.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
        rec->rect.right = rec->rect.left + std::max(0, width);
        rec->rect.bottom = rec->rect.top + std::max(0, height);
    }
    const bool moved = rec->rect.left != old.left || rec->rect.top != old.top;
    ZevBackend()->UpdateGeometry(rec);
    if (rec->IsChild() && rec->parent)
        InvalidateRect(rec->parent->Handle(), nullptr, 1);
    ZevUpdateClientSize(rec, true);
    if (!(rec = ZevFindWindow(window)))
        return 1;
    if (!rec->IsChild())
        ZevPaintNonClient(rec);
    if (moved)
        SendMessageA(window, WM_MOVE, 0, MAKELPARAM(rec->rect.left, rec->rect.top));
    return 1;
}

BOOL MoveWindow(HWND window, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, BOOL)
{
    return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER);
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !rect)
        return 0;
    if (!rec->IsChild()) {
        *rect = rec->rect;
    } else {
        const POINT o = ZevClientOrigin(rec->parent);
        *rect = {o.x + rec->rect.left, o.y + rec->rect.top, o.x + rec->rect.right, o.y + rec->rect.bottom};
    }
    return 1;
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !rect)
        return 0;
    *rect = {0, 0, rec->client.width, rec->client.height};
    return 1;
}

BOOL ClientToScreen(HWND window, POINT* point)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !point)
        return 0;
    const POINT o = ZevClientOrigin(rec);
    point->x += o.x;
    point->y += o.y;
    return 1;
}

BOOL ScreenToClient(HWND window, POINT* point)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !point)
        return 0;
    const POINT o = ZevClientOrigin(rec);
    point->x -= o.x;
    point->y -= o.y;
    return 1;
}

BOOL SetWindowTextA(HWND window, const char* text)
{
    return ZevFindWindow(window) ? static_cast<BOOL>(SendMessageA(window, WM_SETTEXT, 0,
                                                                  reinterpret_cast<LPARAM>(text ? text : "")))
                                 : 0;
}

std::int32_t GetWindowTextA(HWND window, char* buffer, std::int32_t max)
{
    if (!buffer || max <= 0)
        return 0;
    buffer[0] = 0;
    if (!ZevFindWindow(window))
        return 0;
    return static_cast<std::int32_t>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(max),
                                                  reinterpret_cast<LPARAM>(buffer)));
}

std::int32_t GetWindowTextLengthA(HWND window)
{
    return ZevFindWindow(window) ? static_cast<std::int32_t>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

std::string ZevGetWindowText(HWND window)
{
    const std::int32_t n = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    const std::int32_t got = GetWindowTextA(window, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(std::max(0, got)));
    return text;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    switch (index) {
    case GWLP_USERDATA: return rec->userData;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(rec->proc);
    case GWLP_ID: return rec->id;
    default: return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWLP_USERDATA: old = rec->userData, rec->userData = value; break;
    case GWLP_WNDPROC:
        if (!value)
            return 0;
        old = reinterpret_cast<LONG_PTR>(rec->proc);
        rec->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_ID: old = rec->id, rec->id = static_cast<std::int32_t>(value); break;
    default: break;
    }
    return old;
}

HWND GetParent(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return nullptr;
    if (rec->parent)
        return rec->parent->Handle();
    return rec->owner ? rec->owner->Handle() : nullptr;
}

HWND GetDlgItem(HWND window, std::int32_t id)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return nullptr;
    for (TZevWindowRec* c : rec->children)
        if (c->id == id)
            return c->Handle();
    return nullptr;
}

HWND SetFocus(HWND window)
{
    PlatformState& s = P();
    const HWND old = s.focus;
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return old;
    if (old == window)
        return old;
    s.focus = window;
    if (TZevWindowRec* top = ZevTopLevel(rec))
        top->focusChild = window;
    if (old && ZevFindWindow(old))
        SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (ZevFindWindow(window) && s.focus == window)
        SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return P().focus; }

HWND SetCapture(HWND window)
{
    const HWND old = P().capture;
    if (ZevFindWindow(window))
        P().capture = window;
    return old;
}

BOOL ReleaseCapture()
{
    P().capture = nullptr;
    return 1;
}

BOOL GetCursorPos(POINT* point)
{
    if (!point)
        return 0;
    *point = P().cursor;
    return 1;
}
