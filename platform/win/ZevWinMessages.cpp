// Messages: the default window procedure, sending, posting, getting and dispatching.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"
#include "ZevGdi.h"

#include <poll.h>

#include <cstring>

using namespace ZevWinCore;

namespace {

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

} // namespace

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
