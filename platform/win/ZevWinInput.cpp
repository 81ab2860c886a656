// Keys and mouse turned into messages for the windows they reach.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"

#include <algorithm>
#include <cstdlib>

using namespace ZevWinCore;

namespace {

// Whether a window and all its ancestors (and a top-level's owner chain) accept input.
bool AcceptsInput(TZevWindowRec* rec)
{
    for (TZevWindowRec* r = rec; r; r = r->parent)
        if (!r->enabled || !r->visible)
            return false;
    return true;
}

// The deepest visible child of `rec` at a point in its client coordinates.
TZevWindowRec* ChildAt(TZevWindowRec* rec, POINT* p)
{
    for (;;) {
        TZevWindowRec* hit = nullptr;
        for (auto it = rec->children.rbegin(); it != rec->children.rend(); ++it) {
            TZevWindowRec* c = *it;
            if (c->visible && p->x >= c->rect.left && p->x < c->rect.right && p->y >= c->rect.top &&
                p->y < c->rect.bottom) {
                hit = c;
                break;
            }
        }
        if (!hit)
            return rec;
        p->x -= hit->rect.left;
        p->y -= hit->rect.top;
        rec = hit;
    }
}

void PostInput(TZevWindowRec* rec, UINT message, WPARAM wParam, LPARAM lParam, std::uint32_t character)
{
    MSG m{rec->Handle(), message, wParam, lParam, NowMs(), P().cursor, character};
    std::lock_guard<std::mutex> lock(rec->queue->mutex);
    rec->queue->posted.push_back(m);
    rec->queue->Wake();
}

// The buttons held (moves while a button is held carry it, so that drags are seen) and the modifier keys.
WPARAM MouseFlags()
{
    WPARAM f = P().buttonsDown;
    if (P().controlDown)
        f |= MK_CONTROL;
    if (P().shiftDown)
        f |= MK_SHIFT;
    return f;
}

} // namespace

void ZevInputKey(WPARAM virtualKey, std::uint32_t character, bool down)
{
    PlatformState& s = P();
    if (virtualKey == VK_CONTROL)
        s.controlDown = down;
    if (virtualKey == VK_SHIFT)
        s.shiftDown = down;
    if (ZevMenuTracking()) {
        if (down && virtualKey == VK_ESCAPE)
            ZevCloseMenus();
        return;
    }
    TZevWindowRec* target = ZevFindWindow(s.focus);
    if (!target)
        target = ZevFindWindow(s.active);
    if (!target || !AcceptsInput(target) || !AcceptsInput(ZevTopLevel(target)))
        return;
    const LPARAM lParam = down ? 1 : static_cast<LPARAM>(static_cast<std::int32_t>(0xC0000001u));
    PostInput(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, lParam, down ? character : 0);
}

void ZevInputMouse(std::int32_t sx, std::int32_t sy, int button, bool down)
{
    PlatformState& s = P();
    s.cursor = {sx, sy};
    if (button == 1 || button == 3) {
        const WPARAM changed = button == 1 ? MK_LBUTTON : MK_RBUTTON;
        s.buttonsDown = down ? (s.buttonsDown | changed) : (s.buttonsDown & ~changed);
    }
    if (ZevMenuTracking()) {
        ZevMenuMouse(sx, sy, button, down);
        return;
    }
    TZevWindowRec* target = ZevFindWindow(s.capture);
    POINT local{sx, sy};
    if (target) {
        const POINT o = ZevClientOrigin(target);
        local = {sx - o.x, sy - o.y};
    } else {
        TZevWindowRec* top = nullptr;
        for (auto it = s.topLevels.rbegin(); it != s.topLevels.rend(); ++it) {
            TZevWindowRec* t = *it;
            if (t->visible && !t->minimized && sx >= t->rect.left && sx < t->rect.right && sy >= t->rect.top &&
                sy < t->rect.bottom) {
                top = t;
                break;
            }
        }
        if (!top)
            return;
        // A disabled window (under a modal dialog) takes no input.
        const bool press = (button == 1 || button == 3) && down;
        if (!top->enabled) {
            if (press)
                for (auto it = s.topLevels.rbegin(); it != s.topLevels.rend(); ++it)
                    if ((*it)->visible && (*it)->enabled && (*it)->owner == top) {
                        ZevActivate(*it);
                        break;
                    }
            return;
        }
        if (press && !(top->style & WS_POPUP))
            ZevActivate(top);
        const std::int32_t fx = sx - top->rect.left;
        const std::int32_t fy = sy - top->rect.top;
        const std::int32_t caption = ZevCaptionHeight(top);
        if (fy < caption + ZevMenuBarHeight(top)) {
            if (button == 1 && down) {
                if (fy < caption) {
                    if (fx >= top->rect.right - top->rect.left - 22)
                        ZevInputClose(top->Handle());
                } else {
                    ZevMenuBarClick(top, ZevMenuBarHit(top, fx, fy));
                }
            }
            return;
        }
        const POINT o = ZevClientOrigin(top);
        local = {sx - o.x, sy - o.y};
        target = ChildAt(top, &local);
        if (!AcceptsInput(target))
            return;
    }
    UINT message = WM_MOUSEMOVE;
    if (button == 1)
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    else if (button == 3)
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    if (button == 4 || button == 5) {
        if (down) {
            const auto delta = static_cast<std::int16_t>(button == 4 ? WHEEL_DELTA : -WHEEL_DELTA);
            PostInput(target, WM_MOUSEWHEEL,
                      MAKEWPARAM(static_cast<std::uint16_t>(MouseFlags()), static_cast<std::uint16_t>(delta)),
                      MAKELPARAM(sx, sy), 0);
        }
        return;
    }
    if (message == WM_MOUSEMOVE && button != 0)
        return;
    if (message == WM_LBUTTONDOWN && (target->cls->style & 0x0008 /* double clicks */)) {
        const auto now = std::chrono::steady_clock::now();
        if (s.lastClickWindow == target->Handle() && now - s.lastClickTime < std::chrono::milliseconds(500) &&
            std::abs(local.x - s.lastClickPoint.x) < 5 && std::abs(local.y - s.lastClickPoint.y) < 5) {
            message = WM_LBUTTONDBLCLK;
            s.lastClickWindow = nullptr;
        } else {
            s.lastClickWindow = target->Handle();
            s.lastClickTime = now;
            s.lastClickPoint = local;
        }
    }
    PostInput(target, message, MouseFlags(), MAKELPARAM(local.x, local.y), 0);
}

void ZevInputClose(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !rec->enabled)
        return;
    PostInput(rec, WM_CLOSE, 0, 0, 0);
}
