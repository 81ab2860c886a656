// The X11 backend: every window is an X window (a top-level one a frame holding its caption and menu bar strip and
// a client window below it), our surfaces are put on screen with XPutImage, and X events become our input. Without
// a window manager (as under Xvfb) we draw the caption and its close box ourselves.
#include "ZevWindowCore.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace {

int IgnoreErrors(Display*, XErrorEvent*)
{
    // A window that went away between a request and its handling, or focus on a window not yet shown: harmless.
    return 0;
}

// ---- Losing the display -------------------------------------------------------------------------------------------
//
// Without its display the program cannot go on, and must not try to end itself in an orderly way either: the
// exit-time clean-ups would free scripts, meshes and textures under render threads that still draw. So whichever
// thread finds the connection gone says so and ends the process at once, without the exit-time clean-ups.

// Written when a display opens, so that saying it takes no more than a write (it may be said from a signal).
char gLostText[400] = "";
std::size_t gLostLength = 0;
std::atomic<int> gConnection{-1};
std::atomic<bool> gDisplayLost{false};

[[noreturn]] void EndForLostDisplay()
{
    if (!gDisplayLost.exchange(true)) {
        if (write(STDERR_FILENO, gLostText, gLostLength) < 0) {
            // Nothing more can be said.
        }
        _exit(1);
    }
    // Another thread is saying it and ending the process.
    for (;;)
        pause();
}

bool ConnectionHungUp()
{
    const int connection = gConnection.load();
    if (connection < 0)
        return false;
    pollfd fd{connection, POLLRDHUP, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// A thread inside the OpenGL driver when the server goes may crash there (the driver's own requests go round
// Xlib and find no answer): with the connection gone that is the display's loss, and said as such. Any other
// crash goes on to the handler that was there before.
constexpr int FatalSignals[] = {SIGSEGV, SIGBUS, SIGABRT};
struct sigaction gPreviousActions[3];

void OnFatalSignal(int signal, siginfo_t* info, void* context)
{
    if (gDisplayLost.load() || ConnectionHungUp())
        EndForLostDisplay();
    for (int i = 0; i < 3; ++i) {
        if (FatalSignals[i] != signal)
            continue;
        const struct sigaction& previous = gPreviousActions[i];
        if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
        if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
            return;
        }
    }
    // As without us: the default action, at once for a sent signal, or when the faulting instruction runs again.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigaction(signal, &plain, nullptr);
    if (signal == SIGABRT)
        raise(signal);
}

void CatchFatalSignals()
{
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(FatalSignals[i], &action, &gPreviousActions[i]);
}

// Xlib calls this on any thread whose request or reply finds the connection broken (the server killed); the
// render threads' own connections to the same server end up here too.
int LostDisplay(Display*)
{
    EndForLostDisplay();
}

// Watches the connection from a thread of its own, so that the loss is noticed within a moment even while no
// thread talks to the server (the user-interface thread busy loading a scene, the render threads waiting for it).
// It only polls for the peer's hang-up and never reads: the events stay Xlib's.
class TDisplayWatch {
public:
    explicit TDisplayWatch(int connection) : stop(eventfd(0, EFD_CLOEXEC))
    {
        if (stop < 0)
            return;
        thread = std::thread([connection, stopFd = stop] {
            pollfd fds[2] = {{connection, POLLRDHUP, 0}, {stopFd, POLLIN, 0}};
            for (;;) {
                if (poll(fds, 2, -1) < 0) {
                    if (errno == EINTR)
                        continue;
                    return;
                }
                if (fds[1].revents != 0 || (fds[0].revents & POLLNVAL))
                    return;
                if (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR))
                    EndForLostDisplay();
            }
        });
    }
    ~TDisplayWatch() { Stop(); }
    void Stop()
    {
        if (thread.joinable()) {
            const std::uint64_t one = 1;
            if (write(stop, &one, sizeof one) == sizeof one)
                thread.join();
            else
                thread.detach();
        }
        if (stop >= 0)
            close(stop);
        stop = -1;
    }

private:
    int stop;
    std::thread thread;
};

// The watch of the open backend; a program's exit stops it first (a test's own server goes down at its exit).
std::atomic<TDisplayWatch*> gWatch{nullptr};

void StopWatchAtExit()
{
    if (TDisplayWatch* watch = gWatch.exchange(nullptr))
        watch->Stop();
}

struct NativeEntry {
    std::uintptr_t handle;
    bool frame;
};

WPARAM VirtualKey(KeySym s)
{
    if (s >= XK_a && s <= XK_z)
        return 'A' + (s - XK_a);
    if (s >= XK_A && s <= XK_Z)
        return 'A' + (s - XK_A);
    if (s >= XK_0 && s <= XK_9)
        return '0' + (s - XK_0);
    if (s >= XK_F1 && s <= XK_F12)
        return VK_F1 + (s - XK_F1);
    if (s >= XK_KP_0 && s <= XK_KP_9)
        return VK_NUMPAD0 + (s - XK_KP_0);
    switch (s) {
    case XK_BackSpace: return VK_BACK;
    case XK_Tab: return VK_TAB;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R: return VK_MENU;
    case XK_Escape: return VK_ESCAPE;
    case XK_space: return VK_SPACE;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_End: return VK_END;
    case XK_Home: return VK_HOME;
    case XK_Left: return VK_LEFT;
    case XK_Up: return VK_UP;
    case XK_Right: return VK_RIGHT;
    case XK_Down: return VK_DOWN;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    case XK_semicolon: return 0xBA;
    case XK_equal: return 0xBB;
    case XK_comma: return 0xBC;
    case XK_minus: return 0xBD;
    case XK_period: return 0xBE;
    case XK_slash: return 0xBF;
    case XK_grave: return 0xC0;
    case XK_bracketleft: return 0xDB;
    case XK_backslash: return 0xDC;
    case XK_bracketright: return 0xDD;
    case XK_apostrophe: return 0xDE;
    default: return 0;
    }
}

class TZevX11Backend : public TZevBackend {
public:
    explicit TZevX11Backend(Display* display) : dpy(display)
    {
        screen = DefaultScreen(dpy);
        root = RootWindow(dpy, screen);
        visual = DefaultVisual(dpy, screen);
        depth = DefaultDepth(dpy, screen);
        XSetErrorHandler(IgnoreErrors);
        Bool supported = False;
        XkbSetDetectableAutoRepeat(dpy, True, &supported);
        wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
        wmDelete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
        netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
        utf8 = XInternAtom(dpy, "UTF8_STRING", False);
        clipboardAtom = XInternAtom(dpy, "CLIPBOARD", False);
        targets = XInternAtom(dpy, "TARGETS", False);
        textAtom = XInternAtom(dpy, "TEXT", False);
        property = XInternAtom(dpy, "ZEV_SELECTION", False);
        utility = XCreateSimpleWindow(dpy, root, -10, -10, 1, 1, 0, 0, 0);
        XSelectInput(dpy, utility, PropertyChangeMask);
        gc = XCreateGC(dpy, root, 0, nullptr);
        wm = DetectWindowManager();
        name = DisplayString(dpy);
        const int n = std::snprintf(gLostText, sizeof gLostText, "%s: lost the connection to the X display \"%s\"\n",
                                    program_invocation_short_name, name.c_str());
        gLostLength = n > 0 ? std::min(static_cast<std::size_t>(n), sizeof gLostText - 1) : 0;
        gConnection = ConnectionNumber(dpy);
        static const bool caught = (CatchFatalSignals(), true);
        (void)caught;
        watch = std::make_unique<TDisplayWatch>(ConnectionNumber(dpy));
        gWatch = watch.get();
        static const bool stopsAtExit = std::atexit(StopWatchAtExit) == 0;
        (void)stopsAtExit;
    }

    ~TZevX11Backend() override
    {
        gConnection = -1;
        gWatch = nullptr;
        watch.reset();
        XFreeGC(dpy, gc);
        XDestroyWindow(dpy, utility);
        XCloseDisplay(dpy);
    }

    TZevBackendKind Kind() const override { return TZevBackendKind::X11; }
    bool HasWindowManager() const override { return wm; }

    void CreateNative(TZevWindowRec* rec) override
    {
        XSetWindowAttributes a{};
        a.background_pixel = WhitePixel(dpy, screen);
        a.bit_gravity = NorthWestGravity;
        const long input = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                           KeyReleaseMask;
        if (rec->IsChild()) {
            a.event_mask = input;
            const Window parent = rec->parent ? rec->parent->nativeClient : root;
            rec->nativeClient = XCreateWindow(dpy, parent, rec->rect.left, rec->rect.top, Side(rec->client.width),
                                              Side(rec->client.height), 0, CopyFromParent, InputOutput,
                                              CopyFromParent, CWBackPixel | CWEventMask | CWBitGravity, &a);
            windows[rec->nativeClient] = {rec->handle, false};
            return;
        }
        a.event_mask = input | StructureNotifyMask | FocusChangeMask;
        a.override_redirect = (rec->style & WS_POPUP) ? True : False;
        const int w = Side(rec->rect.right - rec->rect.left), h = Side(rec->rect.bottom - rec->rect.top);
        rec->nativeFrame = XCreateWindow(dpy, root, rec->rect.left, rec->rect.top, w, h, 0, CopyFromParent,
                                         InputOutput, CopyFromParent,
                                         CWBackPixel | CWEventMask | CWBitGravity | CWOverrideRedirect, &a);
        XSetWMProtocols(dpy, rec->nativeFrame, &wmDelete, 1);
        XSizeHints hints{};
        hints.flags = USPosition | PPosition;
        hints.x = rec->rect.left;
        hints.y = rec->rect.top;
        XSetWMNormalHints(dpy, rec->nativeFrame, &hints);
        if (rec->owner && rec->owner->nativeFrame)
            XSetTransientForHint(dpy, rec->nativeFrame, rec->owner->nativeFrame);
        a.event_mask = input;
        const int top = ZevCaptionHeight(rec) + ZevMenuBarHeight(rec);
        rec->nativeClient = XCreateWindow(dpy, rec->nativeFrame, 0, top, Side(rec->client.width),
                                          Side(rec->client.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                          CWBackPixel | CWEventMask | CWBitGravity, &a);
        XMapWindow(dpy, rec->nativeClient);
        windows[rec->nativeFrame] = {rec->handle, true};
        windows[rec->nativeClient] = {rec->handle, false};
        frameGeometry[rec->handle] = rec->rect;
        UpdateTitle(rec);
    }

    void DestroyNative(TZevWindowRec* rec) override
    {
        windows.erase(rec->nativeClient);
        windows.erase(rec->nativeFrame);
        frameGeometry.erase(rec->handle);
        if (rec->nativeFrame)
            XDestroyWindow(dpy, rec->nativeFrame);
        else if (rec->nativeClient)
            XDestroyWindow(dpy, rec->nativeClient);
        rec->nativeFrame = rec->nativeClient = 0;
    }

    void UpdateGeometry(TZevWindowRec* rec) override
    {
        if (!rec->nativeClient)
            return;
        if (rec->IsChild()) {
            XMoveResizeWindow(dpy, rec->nativeClient, rec->rect.left, rec->rect.top, Side(rec->client.width),
                              Side(rec->client.height));
            return;
        }
        RECT& known = frameGeometry[rec->handle];
        if (known.left != rec->rect.left || known.top != rec->rect.top || known.right != rec->rect.right ||
            known.bottom != rec->rect.bottom) {
            known = rec->rect;
            XMoveResizeWindow(dpy, rec->nativeFrame, rec->rect.left, rec->rect.top,
                              Side(rec->rect.right - rec->rect.left), Side(rec->rect.bottom - rec->rect.top));
        }
        XMoveResizeWindow(dpy, rec->nativeClient, 0, ZevCaptionHeight(rec) + ZevMenuBarHeight(rec),
                          Side(rec->client.width), Side(rec->client.height));
    }

    void UpdateVisibility(TZevWindowRec* rec) override
    {
        const Window w = rec->IsChild() ? rec->nativeClient : rec->nativeFrame;
        if (!w)
            return;
        if (rec->visible && !rec->minimized)
            rec->IsChild() ? XMapWindow(dpy, w) : XMapRaised(dpy, w);
        else
            XUnmapWindow(dpy, w);
    }

    void UpdateTitle(TZevWindowRec* rec) override
    {
        if (!rec->nativeFrame)
            return;
        XStoreName(dpy, rec->nativeFrame, rec->text.c_str());
        XChangeProperty(dpy, rec->nativeFrame, netWmName, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(rec->text.data()),
                        static_cast<int>(rec->text.size()));
    }

    void Activate(TZevWindowRec* rec) override
    {
        if (!rec->nativeFrame || !rec->visible || rec->minimized)
            return;
        XRaiseWindow(dpy, rec->nativeFrame);
        if (!wm) {
            // Focus needs a viewable window: wait for the map to be done.
            XSync(dpy, False);
            XSetInputFocus(dpy, rec->nativeFrame, RevertToParent, CurrentTime);
        }
    }

    void PresentClient(TZevWindowRec* rec, const RECT& r) override
    {
        if (!rec->nativeClient || rec->client.pixels.empty() || r.right <= r.left || r.bottom <= r.top)
            return;
        Put(rec->nativeClient, rec->client, r);
    }

    void KeepContents(unsigned long native, bool keep) override
    {
        if (!native || DoesBackingStore(ScreenOfDisplay(dpy, screen)) == NotUseful)
            return;
        XSetWindowAttributes a{};
        a.backing_store = keep ? Always : NotUseful;
        XChangeWindowAttributes(dpy, static_cast<Window>(native), CWBackingStore, &a);
        XFlush(dpy);
    }

    void PresentFrame(TZevWindowRec* rec) override
    {
        if (!rec->nativeFrame || rec->frame.pixels.empty())
            return;
        Put(rec->nativeFrame, rec->frame, RECT{0, 0, rec->frame.width, rec->frame.height});
    }

    int EventFd() override { return ConnectionNumber(dpy); }

    bool Flush() override { return XEventsQueued(dpy, QueuedAfterFlush) > 0; }

    void Sync() override { XSync(dpy, False); }

    void DispatchEvents() override
    {
        while (XPending(dpy) > 0) {
            XEvent e;
            XNextEvent(dpy, &e);
            Handle(e);
        }
    }

    void SetClipboard(const std::string& text) override
    {
        clipboard = text;
        XSetSelectionOwner(dpy, clipboardAtom, utility, CurrentTime);
        XFlush(dpy);
    }

    std::string GetClipboard() override
    {
        const Window owner = XGetSelectionOwner(dpy, clipboardAtom);
        if (owner == None || owner == utility)
            return owner == None ? std::string() : clipboard;
        XDeleteProperty(dpy, utility, property);
        XConvertSelection(dpy, clipboardAtom, utf8, property, utility, CurrentTime);
        XFlush(dpy);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
        XEvent e;
        while (!XCheckTypedWindowEvent(dpy, utility, SelectionNotify, &e)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                     std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()));
            XEventsQueued(dpy, QueuedAfterReading);
        }
        if (e.xselection.property == None)
            return {};
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string text;
        // At most 4 MB; larger transfers in parts are not taken.
        if (XGetWindowProperty(dpy, utility, property, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 8)
            text.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        return text;
    }

    const char* DisplayName() override { return name.c_str(); }
    void* NativeDisplay() override { return dpy; }

    bool CaptureScreen(std::int32_t* width, std::int32_t* height, std::uint32_t** pixels) override
    {
        XWindowAttributes wa;
        XGetWindowAttributes(dpy, root, &wa);
        XImage* img = XGetImage(dpy, root, 0, 0, static_cast<unsigned>(wa.width), static_cast<unsigned>(wa.height),
                                AllPlanes, ZPixmap);
        if (!img)
            return false;
        *width = wa.width;
        *height = wa.height;
        *pixels = new std::uint32_t[static_cast<std::size_t>(wa.width) * static_cast<std::size_t>(wa.height)];
        for (int y = 0; y < wa.height; ++y)
            for (int x = 0; x < wa.width; ++x)
                (*pixels)[static_cast<std::size_t>(y) * static_cast<std::size_t>(wa.width) + x] =
                    static_cast<std::uint32_t>(XGetPixel(img, x, y)) & 0xFFFFFF;
        XDestroyImage(img);
        return true;
    }

private:
    static int Side(int v) { return v < 1 ? 1 : v; }

    bool DetectWindowManager()
    {
        const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", True);
        if (check == None)
            return false;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(dpy, root, check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                                              &after, &data) == Success &&
                           count == 1;
        if (data)
            XFree(data);
        return found;
    }

    void Put(Window target, const TZevSurface& s, const RECT& r)
    {
        XImage* img = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                   reinterpret_cast<char*>(const_cast<std::uint32_t*>(s.pixels.data())),
                                   static_cast<unsigned>(s.width), static_cast<unsigned>(s.height), 32, s.width * 4);
        if (!img)
            return;
        XPutImage(dpy, target, gc, img, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                  static_cast<unsigned>(r.bottom - r.top));
        img->data = nullptr; // the surface's own memory
        XDestroyImage(img);
    }

    TZevWindowRec* Find(Window w, bool* frame)
    {
        auto it = windows.find(w);
        if (it == windows.end())
            return nullptr;
        *frame = it->second.frame;
        return ZevFindWindow(reinterpret_cast<HWND>(it->second.handle));
    }

    void Handle(XEvent& e)
    {
        bool frame = false;
        switch (e.type) {
        case Expose: {
            TZevWindowRec* rec = Find(e.xexpose.window, &frame);
            if (!rec)
                return;
            if (frame)
                PresentFrame(rec);
            else if (!rec->externalDrawing)
                PresentClient(rec, RECT{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                                        e.xexpose.y + e.xexpose.height});
            return;
        }
        case ConfigureNotify: {
            TZevWindowRec* rec = Find(e.xconfigure.window, &frame);
            if (!rec || !frame)
                return;
            int x = e.xconfigure.x, y = e.xconfigure.y;
            Window child;
            XTranslateCoordinates(dpy, rec->nativeFrame, root, 0, 0, &x, &y, &child);
            const RECT r{x, y, x + e.xconfigure.width, y + e.xconfigure.height};
            frameGeometry[rec->handle] = r;
            if (r.left == rec->rect.left && r.top == rec->rect.top && r.right == rec->rect.right &&
                r.bottom == rec->rect.bottom)
                return;
            rec->rect = r;
            ZevUpdateClientSize(rec, true);
            if ((rec = ZevFindWindow(reinterpret_cast<HWND>(windows[e.xconfigure.window].handle))))
                ZevPaintNonClient(rec);
            return;
        }
        case ButtonPress:
        case ButtonRelease: {
            TZevWindowRec* rec = Find(e.xbutton.window, &frame);
            const unsigned b = e.xbutton.button;
            // X numbers the buttons as our input does: 1 left, 3 right, 4 and 5 the wheel up and down.
            if (!rec || (b != Button1 && b != Button3 && b != Button4 && b != Button5))
                return;
            POINT p = Origin(rec, frame);
            ZevInputMouse(p.x + e.xbutton.x, p.y + e.xbutton.y, static_cast<int>(b), e.type == ButtonPress);
            return;
        }
        case MotionNotify: {
            while (XCheckTypedWindowEvent(dpy, e.xmotion.window, MotionNotify, &e)) {
            }
            TZevWindowRec* rec = Find(e.xmotion.window, &frame);
            if (!rec)
                return;
            POINT p = Origin(rec, frame);
            ZevInputMouse(p.x + e.xmotion.x, p.y + e.xmotion.y, 0, false);
            return;
        }
        case KeyPress:
        case KeyRelease: {
            char buffer[16] = {};
            KeySym typed = NoSymbol;
            const int n = XLookupString(&e.xkey, buffer, sizeof buffer, &typed, nullptr);
            const KeySym base = XkbKeycodeToKeysym(dpy, static_cast<KeyCode>(e.xkey.keycode), 0, 0);
            WPARAM vk = VirtualKey(base);
            if (!vk)
                vk = VirtualKey(typed);
            std::uint32_t ch = 0;
            if (n == 1)
                ch = static_cast<unsigned char>(buffer[0]);
            else if (typed >= 0x01000100 && typed <= 0x0110FFFF)
                ch = static_cast<std::uint32_t>(typed - 0x01000000);
            else if (typed >= 0x20 && typed <= 0xFF)
                ch = static_cast<std::uint32_t>(typed);
            if (ch == 127)
                ch = 0;
            if (vk || ch)
                ZevInputKey(vk, ch, e.type == KeyPress);
            return;
        }
        case ClientMessage:
            if (e.xclient.message_type == wmProtocols &&
                static_cast<Atom>(e.xclient.data.l[0]) == wmDelete)
                if (TZevWindowRec* rec = Find(e.xclient.window, &frame))
                    ZevInputClose(rec->Handle());
            return;
        case SelectionRequest: Answer(e.xselectionrequest); return;
        case MappingNotify: XRefreshKeyboardMapping(&e.xmapping); return;
        default: return;
        }
    }

    // The screen position of an X window's origin in our coordinates.
    POINT Origin(TZevWindowRec* rec, bool frame)
    {
        if (frame)
            return {rec->rect.left, rec->rect.top};
        return ZevClientOrigin(rec);
    }

    void Answer(const XSelectionRequestEvent& r)
    {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = r.display;
        reply.requestor = r.requestor;
        reply.selection = r.selection;
        reply.target = r.target;
        reply.time = r.time;
        reply.property = None;
        const Atom prop = r.property == None ? r.target : r.property;
        if (r.target == targets) {
            const Atom list[] = {targets, utf8, XA_STRING, textAtom};
            XChangeProperty(dpy, r.requestor, prop, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(list), 4);
            reply.property = prop;
        } else if (r.target == utf8 || r.target == XA_STRING || r.target == textAtom) {
            XChangeProperty(dpy, r.requestor, prop, r.target == textAtom ? utf8 : r.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(clipboard.data()),
                            static_cast<int>(clipboard.size()));
            reply.property = prop;
        }
        XSendEvent(dpy, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
        XFlush(dpy);
    }

    Display* dpy;
    int screen = 0;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 24;
    GC gc = nullptr;
    bool wm = false;
    Atom wmProtocols = 0, wmDelete = 0, netWmName = 0, utf8 = 0, clipboardAtom = 0, targets = 0, textAtom = 0,
         property = 0;
    Window utility = 0;
    std::string name;
    std::unordered_map<Window, NativeEntry> windows;
    std::unordered_map<std::uintptr_t, RECT> frameGeometry;
    std::unique_ptr<TDisplayWatch> watch;
};

} // namespace

std::unique_ptr<TZevBackend> ZevCreateX11Backend()
{
    static const bool threads = XInitThreads() != 0; // the render threads open connections of their own
    (void)threads;
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
        return nullptr;
    XSetIOErrorHandler(LostDisplay);
    // A busy server now and then refuses a connection that it takes a moment later.
    for (int attempt = 0; attempt < 12; ++attempt) {
        if (Display* dpy = XOpenDisplay(nullptr))
            return std::make_unique<TZevX11Backend>(dpy);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 20 * attempt));
    }
    return nullptr;
}
