#include "ZevWindowCore.h"

#include "ZevFont.h"
#include "ZevGdi.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <unordered_map>

namespace {

struct PlatformState {
    std::mutex tableMutex; // guards the handle table and what other threads read of a record
    std::unordered_map<std::uintptr_t, TZevWindowRec*> windows;
    std::uintptr_t nextHandle = 0x100;
    std::vector<std::unique_ptr<TZevClassRec>> classes;
    std::unique_ptr<TZevBackend> backend;
    std::vector<TZevWindowRec*> topLevels; // bottom to top
    HWND active = nullptr;
    HWND focus = nullptr;
    HWND capture = nullptr;
    POINT cursor{0, 0};
    int nextListenerToken = 1;
    bool shuttingDown = false;
    // Double clicks of classes that ask for them.
    HWND lastClickWindow = nullptr;
    std::chrono::steady_clock::time_point lastClickTime{};
    POINT lastClickPoint{0, 0};
    bool controlDown = false;
    bool shiftDown = false;
    WPARAM buttonsDown = 0; // MK_LBUTTON, MK_RBUTTON held
};

PlatformState& P()
{
    static PlatformState* state = new PlatformState(); // lives to the end: threads may post during exit
    return *state;
}

thread_local std::shared_ptr<TZevMsgQueue> tQueue;

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

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

RECT Union(const RECT& a, const RECT& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

DWORD NowMs()
{
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
}

void EnsureBackend()
{
    if (!P().backend)
        ZevPlatformInit(TZevBackendKind::Auto);
}

bool OnBackendThread()
{
    TZevBackend* b = ZevBackend();
    return b && b->thread == std::this_thread::get_id();
}

// Whether a window and all its ancestors (and a top-level's owner chain) accept input.
bool AcceptsInput(TZevWindowRec* rec)
{
    for (TZevWindowRec* r = rec; r; r = r->parent)
        if (!r->enabled || !r->visible)
            return false;
    return true;
}

void AnswerSentItems(TZevMsgQueue& q)
{
    for (;;) {
        TZevSentItem* item = nullptr;
        {
            std::lock_guard<std::mutex> lock(q.mutex);
            if (q.sent.empty())
                return;
            item = q.sent.front();
            q.sent.pop_front();
        }
        const LRESULT result =
            ZevFindWindow(item->msg.hwnd)
                ? SendMessageA(item->msg.hwnd, item->msg.message, item->msg.wParam, item->msg.lParam)
                : 0;
        std::lock_guard<std::mutex> lock(q.mutex);
        item->result = result;
        item->done = true;
        q.answered.notify_all();
    }
}

bool Matches(const MSG& m, HWND window, UINT first, UINT last)
{
    if (window && m.hwnd != window)
        return false;
    if (first == 0 && last == 0)
        return true;
    return m.message >= first && m.message <= last;
}

// Finds a window of this thread that waits for painting.
TZevWindowRec* FindInvalid(const std::shared_ptr<TZevMsgQueue>& q, HWND filter)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    for (auto& entry : P().windows) {
        TZevWindowRec* r = entry.second;
        if (r->invalid && r->queue == q && !r->destroying && (!filter || r->Handle() == filter))
            return r;
    }
    return nullptr;
}

// One pass over the sources of the calling thread's messages.
bool TakeMessage(MSG* msg, HWND window, UINT first, UINT last, bool remove)
{
    EnsureBackend();
    std::shared_ptr<TZevMsgQueue> q = ZevCurrentQueue();
    AnswerSentItems(*q);
    if (OnBackendThread())
        ZevBackend()->DispatchEvents();
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (Matches(*it, window, first, last)) {
                *msg = *it;
                if (remove)
                    q->posted.erase(it);
                return true;
            }
        }
        if (q->quitPosted && (first == 0 || (WM_QUIT >= first && WM_QUIT <= last))) {
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0, NowMs(), P().cursor, 0};
            if (remove)
                q->quitPosted = false;
            return true;
        }
    }
    if (first == 0 || (WM_PAINT >= first && WM_PAINT <= last)) {
        if (TZevWindowRec* r = FindInvalid(q, window)) {
            *msg = MSG{r->Handle(), WM_PAINT, 0, 0, NowMs(), P().cursor, 0};
            return true;
        }
    }
    return false;
}

void WaitOnQueue(std::int32_t milliseconds)
{
    std::shared_ptr<TZevMsgQueue> q = ZevCurrentQueue();
    pollfd fds[2];
    int n = 0;
    fds[n++] = {q->eventFd, POLLIN, 0};
    if (OnBackendThread()) {
        if (ZevBackend()->Flush())
            return;
        const int fd = ZevBackend()->EventFd();
        if (fd >= 0)
            fds[n++] = {fd, POLLIN, 0};
    }
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        if (!q->posted.empty() || !q->sent.empty() || q->quitPosted)
            return;
    }
    ::poll(fds, static_cast<nfds_t>(n), milliseconds);
    q->DrainWake();
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

void DestroyRecord(TZevWindowRec* rec)
{
    if (rec->controlFree && rec->controlData)
        rec->controlFree(rec->controlData);
    rec->controlData = nullptr;
    delete rec;
}

} // namespace

// ---- Queues ------------------------------------------------------------------------------------------------------

TZevMsgQueue::TZevMsgQueue() : eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), owner(std::this_thread::get_id())
{
}

TZevMsgQueue::~TZevMsgQueue()
{
    if (eventFd >= 0)
        ::close(eventFd);
}

void TZevMsgQueue::Wake()
{
    const std::uint64_t one = 1;
    if (eventFd >= 0) {
        const ssize_t written = ::write(eventFd, &one, sizeof one);
        (void)written;
    }
}

void TZevMsgQueue::DrainWake()
{
    std::uint64_t value = 0;
    if (eventFd >= 0) {
        const ssize_t got = ::read(eventFd, &value, sizeof value);
        (void)got;
    }
}

void TZevSurface::Resize(std::int32_t w, std::int32_t h, std::uint32_t fill)
{
    width = std::max(0, w);
    height = std::max(0, h);
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

// The queue of the calling thread, made on first use. When the thread ends, senders still waiting are answered.
std::shared_ptr<TZevMsgQueue> ZevCurrentQueue()
{
    struct Holder {
        std::shared_ptr<TZevMsgQueue> queue;
        ~Holder()
        {
            if (!queue)
                return;
            std::lock_guard<std::mutex> lock(queue->mutex);
            queue->alive = false;
            for (TZevSentItem* item : queue->sent)
                item->done = true;
            queue->sent.clear();
            queue->answered.notify_all();
        }
    };
    thread_local Holder holder;
    if (!holder.queue) {
        holder.queue = std::make_shared<TZevMsgQueue>();
        tQueue = holder.queue;
    }
    return holder.queue;
}

// ---- Backend -----------------------------------------------------------------------------------------------------

TZevBackendKind ZevPlatformInit(TZevBackendKind kind)
{
    PlatformState& s = P();
    if (s.backend)
        return s.backend->Kind();
    if (kind == TZevBackendKind::X11 || kind == TZevBackendKind::Auto)
        s.backend = ZevCreateX11Backend();
    if (!s.backend && kind == TZevBackendKind::X11)
        return TZevBackendKind::None;
    if (!s.backend)
        s.backend = ZevCreateMemoryBackend();
    s.backend->thread = std::this_thread::get_id();
    if (s.classes.empty())
        ZevRegisterBuiltinClasses();
    return s.backend->Kind();
}

TZevBackendKind ZevPlatformKind()
{
    EnsureBackend();
    return P().backend->Kind();
}

TZevBackend* ZevBackend() { return P().backend.get(); }

void ZevPlatformShutdown()
{
    PlatformState& s = P();
    ZevCloseMenus();
    // Top-level windows first (each takes its children and owned windows along).
    while (!s.topLevels.empty()) {
        TZevWindowRec* r = s.topLevels.front();
        if (!DestroyWindow(r->Handle())) {
            std::lock_guard<std::mutex> lock(s.tableMutex);
            s.windows.erase(r->handle);
            s.topLevels.erase(s.topLevels.begin());
        }
    }
    ZevMenusShutdown();
    s.backend.reset();
    s.active = s.focus = s.capture = nullptr;
    s.buttonsDown = 0;
    s.controlDown = s.shiftDown = false;
    if (tQueue) {
        std::lock_guard<std::mutex> lock(tQueue->mutex);
        tQueue->posted.clear();
        tQueue->quitPosted = false;
    }
}

// ---- Windows -----------------------------------------------------------------------------------------------------

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

// ---- Messages ----------------------------------------------------------------------------------------------------

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    switch (message) {
    case WM_NCCREATE: return 1;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SETTEXT:
        rec->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (!rec->IsChild()) {
            ZevBackend()->UpdateTitle(rec);
            ZevPaintNonClient(rec);
        }
        return 1;
    case WM_GETTEXT: {
        if (!lParam || wParam == 0)
            return 0;
        const std::size_t n = std::min(rec->text.size(), static_cast<std::size_t>(wParam) - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), rec->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(rec->text.size());
    case WM_ERASEBKGND: {
        if (!rec->cls->background)
            return 0;
        RECT r{0, 0, rec->client.width, rec->client.height};
        FillRect(reinterpret_cast<HDC>(wParam), &r, rec->cls->background);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_NCPAINT:
        if (!rec->IsChild())
            ZevPaintNonClient(rec);
        return 0;
    default: return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<TZevMsgQueue> target;
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> lock(P().tableMutex);
        auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
        if (it == P().windows.end())
            return 0;
        target = it->second->queue;
        proc = it->second->proc;
    }
    if (target->owner == std::this_thread::get_id())
        return proc(window, message, wParam, lParam);
    TZevSentItem item;
    item.msg = MSG{window, message, wParam, lParam, NowMs(), P().cursor, 0};
    std::shared_ptr<TZevMsgQueue> own = ZevCurrentQueue();
    {
        std::unique_lock<std::mutex> lock(target->mutex);
        if (!target->alive)
            return 0;
        target->sent.push_back(&item);
        target->Wake();
        // Answer what others send to this thread meanwhile, so that two threads sending to each other go on.
        while (!item.done) {
            target->answered.wait_for(lock, std::chrono::milliseconds(10));
            if (!item.done) {
                lock.unlock();
                AnswerSentItems(*own);
                lock.lock();
            }
        }
    }
    return item.result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<TZevMsgQueue> target;
    if (!window) {
        target = ZevCurrentQueue();
    } else {
        std::lock_guard<std::mutex> lock(P().tableMutex);
        auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
        if (it == P().windows.end())
            return 0;
        target = it->second->queue;
    }
    std::lock_guard<std::mutex> lock(target->mutex);
    if (!target->alive)
        return 0;
    target->posted.push_back(MSG{window, message, wParam, lParam, NowMs(), P().cursor, 0});
    target->Wake();
    return 1;
}

void PostQuitMessage(int exitCode)
{
    std::shared_ptr<TZevMsgQueue> q = ZevCurrentQueue();
    std::lock_guard<std::mutex> lock(q->mutex);
    q->quitPosted = true;
    q->quitCode = exitCode;
    q->Wake();
}

BOOL PostThreadQuit(int exitCode)
{
    PostQuitMessage(exitCode);
    return 1;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT first, UINT last)
{
    for (;;) {
        if (TakeMessage(msg, window, first, last, true))
            return msg->message == WM_QUIT ? 0 : 1;
        WaitOnQueue(-1);
    }
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove)
{
    return TakeMessage(msg, window, first, last, (remove & PM_REMOVE) != 0) ? 1 : 0;
}

void ZevWaitForMessages(std::int32_t milliseconds)
{
    MSG m;
    if (!TakeMessage(&m, nullptr, 0, 0, false))
        WaitOnQueue(milliseconds);
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || msg->message != WM_KEYDOWN || msg->character == 0 || !ZevFindWindow(msg->hwnd))
        return 0;
    std::shared_ptr<TZevMsgQueue> q = ZevCurrentQueue();
    std::lock_guard<std::mutex> lock(q->mutex);
    // The character comes right after its key, before any later input.
    q->posted.push_front(MSG{msg->hwnd, WM_CHAR, msg->character, msg->lParam, msg->time, msg->pt, 0});
    return 1;
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    TZevWindowRec* rec = ZevFindWindow(msg->hwnd);
    if (!rec)
        return 0;
    if (msg->message == WM_PAINT) {
        const std::uint32_t serial = rec->invalidSerial;
        const LRESULT r = SendMessageA(msg->hwnd, WM_PAINT, 0, 0);
        // A handler that did not paint must not get WM_PAINT forever.
        if ((rec = ZevFindWindow(msg->hwnd)) && rec->invalid && rec->invalidSerial == serial)
            rec->invalid = false;
        return r;
    }
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// ---- Painting ----------------------------------------------------------------------------------------------------

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    const RECT all{0, 0, rec->client.width, rec->client.height};
    const RECT r = rect ? Intersect(*rect, all) : all;
    rec->invalidRect = rec->invalid ? Union(rec->invalidRect, r) : r;
    rec->invalid = true;
    rec->erase = rec->erase || erase;
    ++rec->invalidSerial;
    rec->queue->Wake();
    return 1;
}

BOOL ValidateRect(HWND window, const RECT*)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    rec->invalid = false;
    rec->erase = false;
    return 1;
}

void ZevMarkDirty(TZevWindowRec* rec, const RECT& rect)
{
    const RECT r = Intersect(rect, RECT{0, 0, rec->client.width, rec->client.height});
    if (IsEmpty(r))
        return;
    rec->dirty = rec->hasDirty ? Union(rec->dirty, r) : r;
    rec->hasDirty = true;
}

void ZevPresentDirty(TZevWindowRec* rec)
{
    if (!rec->hasDirty)
        return;
    rec->hasDirty = false;
    if (!rec->externalDrawing)
        ZevBackend()->PresentClient(rec, rec->dirty);
}

// ---- Non-client strip --------------------------------------------------------------------------------------------

void ZevFillSurface(TZevSurface* s, RECT r, std::uint32_t rgb)
{
    r = Intersect(r, RECT{0, 0, s->width, s->height});
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        std::fill_n(&s->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(s->width) +
                               static_cast<std::size_t>(r.left)],
                    r.right - r.left, rgb);
}

void ZevSurfaceText(TZevSurface* s, const char* text, std::int32_t x, std::int32_t y, std::uint32_t rgb,
                    const RECT& clip, bool bold)
{
    if (s->pixels.empty() || !text)
        return;
    TZevFontDesc desc;
    desc.pixelHeight = ZevUiFontHeight;
    desc.bold = bold;
    ZevDrawText32(desc, text, std::strlen(text), s->pixels.data(), s->width, s->height, s->width * 4, x, y, rgb,
                  clip.left, clip.top, clip.right, clip.bottom);
}

std::uint32_t ZevColourToRgb(COLORREF c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// ---- Input -------------------------------------------------------------------------------------------------------

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

// ---- Clipboard and reading back ----------------------------------------------------------------------------------

void ZevSetClipboardText(const std::string& text)
{
    EnsureBackend();
    ZevBackend()->SetClipboard(text);
}

std::string ZevGetClipboardText()
{
    EnsureBackend();
    return ZevBackend()->GetClipboard();
}

bool ZevReadClientPixels(HWND window, std::int32_t* width, std::int32_t* height, std::uint32_t* out,
                         std::size_t capacity)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return false;
    *width = rec->client.width;
    *height = rec->client.height;
    if (out)
        std::copy_n(rec->client.pixels.begin(), std::min(capacity, rec->client.pixels.size()), out);
    return true;
}

bool ZevCaptureScreen(std::int32_t* width, std::int32_t* height, std::uint32_t** pixels)
{
    EnsureBackend();
    return ZevBackend()->CaptureScreen(width, height, pixels);
}

void ZevFreeCapture(std::uint32_t* pixels) { delete[] pixels; }

void ZevSync()
{
    EnsureBackend();
    if (OnBackendThread()) {
        ZevBackend()->Sync();
        ZevBackend()->DispatchEvents();
    }
}

// ---- Native window interface -------------------------------------------------------------------------------------

const char* ZevGetDisplayName()
{
    TZevBackend* b = ZevBackend();
    return b ? b->DisplayName() : "";
}

void* ZevGetNativeDisplay()
{
    TZevBackend* b = ZevBackend();
    return b ? b->NativeDisplay() : nullptr;
}

unsigned long ZevGetNativeWindow(HWND window)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it == P().windows.end() ? 0 : it->second->nativeClient;
}

bool ZevGetClientSize(HWND window, std::int32_t* width, std::int32_t* height)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    const bool found = it != P().windows.end();
    *width = found ? it->second->client.width : 0;
    *height = found ? it->second->client.height : 0;
    return found;
}

std::uint32_t ZevGetResizeSerial(HWND window)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it == P().windows.end() ? 0 : it->second->resizeSerial;
}

int ZevAddResizeListener(HWND window, TZevResizeListener listener, void* user)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == P().windows.end() || !listener)
        return 0;
    const int token = P().nextListenerToken++;
    it->second->listeners.push_back({token, listener, user});
    return token;
}

void ZevRemoveResizeListener(int token)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    for (auto& entry : P().windows) {
        auto& l = entry.second->listeners;
        l.erase(std::remove_if(l.begin(), l.end(), [token](const TZevResizeEntry& e) { return e.token == token; }),
                l.end());
    }
}

void ZevSetExternalDrawing(HWND window, bool external)
{
    unsigned long native = 0;
    {
        std::lock_guard<std::mutex> lock(P().tableMutex);
        auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
        if (it == P().windows.end())
            return;
        it->second->externalDrawing = external;
        native = it->second->nativeClient;
    }
    // Exposures of such a window are not ours to repaint: the server keeps its last picture instead (a stopped
    // 3D view under a closed menu showed the menu's hole).
    if (native != 0 && ZevBackend() != nullptr)
        ZevBackend()->KeepContents(native, external);
}
