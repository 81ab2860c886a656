// Inside the window layer: the records behind window and menu handles, the per-thread message queues, and the
// backend interface through which windows reach a screen (X11) or stay in memory. Not for use outside platform/.
#pragma once

#include "ZevNativeWindow.h"
#include "ZevWinApi.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A 32-bit 0x00RRGGBB image, rows top-down.
struct TZevSurface {
    std::vector<std::uint32_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    void Resize(std::int32_t w, std::int32_t h, std::uint32_t fill);
};

// A SendMessageA from another thread, waiting for its answer.
struct TZevSentItem {
    MSG msg{};
    LRESULT result = 0;
    bool done = false;
};

// The message queue of one thread: posted messages, sent messages from other threads, the quit request, and an
// eventfd that wakes the thread's wait.
struct TZevMsgQueue {
    TZevMsgQueue();
    ~TZevMsgQueue();
    void Wake();
    void DrainWake();

    std::mutex mutex;
    std::condition_variable answered; // sent items are answered under `mutex`
    std::deque<MSG> posted;
    std::deque<TZevSentItem*> sent;
    bool quitPosted = false;
    int quitCode = 0;
    bool alive = true;
    int eventFd = -1;
    std::thread::id owner;
};

struct TZevClassRec {
    std::string name;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    UINT style = 0;
    bool builtin = false;
};

struct TZevResizeEntry {
    int token;
    TZevResizeListener listener;
    void* user;
};

struct TZevWindowRec {
    std::uintptr_t handle = 0;
    TZevClassRec* cls = nullptr;
    WNDPROC proc = nullptr;
    LONG_PTR userData = 0;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::int32_t id = 0;
    TZevWindowRec* parent = nullptr; // child windows
    TZevWindowRec* owner = nullptr;  // top-level windows
    std::vector<TZevWindowRec*> children; // bottom to top
    RECT rect{};                          // outer: screen for top-level, parent's client for children
    bool visible = false;
    bool minimized = false;
    bool enabled = true;
    bool destroying = false;
    HMENU menu = nullptr;
    std::shared_ptr<TZevMsgQueue> queue;
    TZevSurface client;
    TZevSurface frame; // caption and menu bar strip of a top-level window
    bool invalid = false;
    bool erase = false;
    RECT invalidRect{};
    std::uint32_t invalidSerial = 0;
    RECT dirty{};     // drawn since the last present
    bool hasDirty = false;
    HWND focusChild = nullptr; // top-level: the window that had the focus inside it
    void* controlData = nullptr;
    void (*controlFree)(void*) = nullptr;
    unsigned long nativeFrame = 0;
    unsigned long nativeClient = 0;
    std::atomic<bool> externalDrawing{false};
    std::uint32_t resizeSerial = 0;
    std::vector<TZevResizeEntry> listeners;
    int hotMenuItem = -1; // menu bar entry whose popup is open

    HWND Handle() const { return reinterpret_cast<HWND>(handle); }
    bool IsChild() const { return (style & WS_CHILD) != 0; }
};

// What a screen offers the window layer. Every call comes from the thread that owns the windows concerned.
class TZevBackend {
public:
    virtual ~TZevBackend() = default;
    virtual TZevBackendKind Kind() const = 0;
    // Whether a window manager draws captions (then ours are not drawn).
    virtual bool HasWindowManager() const { return false; }
    virtual void CreateNative(TZevWindowRec*) {}
    virtual void DestroyNative(TZevWindowRec*) {}
    virtual void UpdateGeometry(TZevWindowRec*) {}
    virtual void UpdateVisibility(TZevWindowRec*) {}
    virtual void UpdateTitle(TZevWindowRec*) {}
    virtual void Activate(TZevWindowRec*) {}
    // Shows the rectangle of the client surface (client coordinates), or the non-client strip.
    virtual void PresentClient(TZevWindowRec*, const RECT&) {}
    virtual void PresentFrame(TZevWindowRec*) {}
    // Asks the screen to keep what another party draws into a native window (a 3D device's frames), so that a
    // window uncovered while nobody draws shows its last picture again. The one call that may come from any
    // thread: it only touches the native window.
    virtual void KeepContents(unsigned long /*native*/, bool /*keep*/) {}
    // A descriptor to wait on for events, -1 for none; DispatchEvents turns waiting events into input.
    virtual int EventFd() { return -1; }
    virtual void DispatchEvents() {}
    // Sends what is buffered; true when events wait to be dispatched (then nothing must block).
    virtual bool Flush() { return false; }
    virtual void Sync() {}
    virtual void SetClipboard(const std::string& text) { clipboard = text; }
    virtual std::string GetClipboard() { return clipboard; }
    virtual const char* DisplayName() { return ""; }
    virtual void* NativeDisplay() { return nullptr; }
    virtual bool CaptureScreen(std::int32_t*, std::int32_t*, std::uint32_t**) { return false; }
    // The thread that may call the backend.
    std::thread::id thread;

protected:
    std::string clipboard;
};

std::unique_ptr<TZevBackend> ZevCreateMemoryBackend();
// Null when no display opens.
std::unique_ptr<TZevBackend> ZevCreateX11Backend();

// ---- Shared inside the layer ---------------------------------------------------------------------------------------
TZevBackend* ZevBackend();
// The record of a handle of any thread; null when stale. The caller is on the window's thread (records are
// freed only there).
TZevWindowRec* ZevFindWindow(HWND window);
std::shared_ptr<TZevMsgQueue> ZevCurrentQueue();

// Heights of the caption and of the menu bar of a top-level window (0 when it has none).
std::int32_t ZevCaptionHeight(const TZevWindowRec* rec);
std::int32_t ZevMenuBarHeight(const TZevWindowRec* rec);
// The screen position of a window's client origin.
POINT ZevClientOrigin(const TZevWindowRec* rec);
// The top-level window a window belongs to.
TZevWindowRec* ZevTopLevel(TZevWindowRec* rec);
// Marks a client rectangle as drawn (shown at the next ZevPresentDirty) and shows it.
void ZevMarkDirty(TZevWindowRec* rec, const RECT& rect);
void ZevPresentDirty(TZevWindowRec* rec);
// Redraws and shows the caption and menu bar strip.
void ZevPaintNonClient(TZevWindowRec* rec);
// Recomputes the client size after a change of outer size or menu bar; sends WM_SIZE when it changed.
void ZevUpdateClientSize(TZevWindowRec* rec, bool notify);
// Rows of a window's menu bar (entries that do not fit the window's width wrap onto further rows).
std::int32_t ZevMenuBarRows(const TZevWindowRec* rec);
// The menu bar: the entry at a window position of the strip (-1 for none), and a click on it.
int ZevMenuBarHit(TZevWindowRec* rec, std::int32_t x, std::int32_t y);
void ZevMenuBarClick(TZevWindowRec* rec, int item);
// Open popup menus: whether a screen point is inside one, and closing them all.
bool ZevMenuTracking();
void ZevCloseMenus();
// Mouse input of the open popup menus (screen coordinates).
void ZevMenuMouse(std::int32_t sx, std::int32_t sy, int button, bool down);
// Drops the menu state of a destroyed window.
void ZevMenusWindowGone(TZevWindowRec* rec);
void ZevMenusShutdown();
// Registers the built-in control classes and the layer's own classes.
void ZevRegisterBuiltinClasses();
// Fills a rectangle of a surface.
void ZevFillSurface(TZevSurface* s, RECT r, std::uint32_t rgb);
// Draws one line of text into a surface (clipped to `clip`).
void ZevSurfaceText(TZevSurface* s, const char* text, std::int32_t x, std::int32_t y, std::uint32_t rgb,
                    const RECT& clip, bool bold = false);
std::uint32_t ZevColourToRgb(COLORREF c);
// The UI font of captions, menus and controls.
constexpr std::int32_t ZevUiFontHeight = 13;
// Makes a top-level window active (WM_ACTIVATE to the old and the new one) and raises it.
void ZevActivate(TZevWindowRec* rec);
