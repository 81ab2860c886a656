// The layer's state and its backend: start-up, the kind of screen, and shutting down.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"

using namespace ZevWinCore;

namespace ZevWinCore {

PlatformState& P()
{
    static PlatformState* state = new PlatformState(); // lives to the end: threads may post during exit
    return *state;
}

thread_local std::shared_ptr<TZevMsgQueue> tQueue;

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

} // namespace ZevWinCore

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
