#include "ZevGLContext.h"
#include "ZevGLPrivateServer.h"

#include "ZevNativeWindow.h"
#include "ZevPixelChannels.h"

#include <X11/Xatom.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <dlfcn.h>
#include <link.h>
#include <malloc.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

std::atomic<std::uint32_t> ZevGLModeEpoch{1};

namespace {

// X errors on our own connections (a window destroyed under us, a drawable the server refuses) are our calls'
// failures, reported through their results; errors on anyone else's connection go to the handler that was there.
std::mutex gDisplaysMutex;
std::vector<Display*> gDisplays;
// The last error seen on each of our connections: its code and the number of the request that failed.
struct LastError {
    Display* display;
    int code;
    unsigned long request;
};
std::vector<LastError> gLastErrors;
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* display, XErrorEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(gDisplaysMutex);
        if (std::find(gDisplays.begin(), gDisplays.end(), display) != gDisplays.end()) {
            auto last = std::find_if(gLastErrors.begin(), gLastErrors.end(),
                                     [&](const LastError& e) { return e.display == display; });
            if (last != gLastErrors.end())
                *last = {display, event->error_code, event->serial};
            else
                gLastErrors.push_back({display, event->error_code, event->serial});
            return 0;
        }
    }
    return gPreviousHandler ? gPreviousHandler(display, event) : 0;
}

void AddDisplay(Display* display)
{
    static std::once_flag installed;
    std::call_once(installed, [] { gPreviousHandler = XSetErrorHandler(OnXError); });
    std::lock_guard<std::mutex> lock(gDisplaysMutex);
    gDisplays.push_back(display);
}

void RemoveDisplay(Display* display)
{
    std::lock_guard<std::mutex> lock(gDisplaysMutex);
    gDisplays.erase(std::remove(gDisplays.begin(), gDisplays.end(), display), gDisplays.end());
    gLastErrors.erase(std::remove_if(gLastErrors.begin(), gLastErrors.end(),
                                     [&](const LastError& e) { return e.display == display; }),
                      gLastErrors.end());
}

// The last error code on one of our connections (and the number of the request that failed), cleared.
int TakeLastError(Display* display, unsigned long* request = nullptr)
{
    std::lock_guard<std::mutex> lock(gDisplaysMutex);
    for (auto& e : gLastErrors) {
        if (e.display == display) {
            const int code = e.code;
            if (request)
                *request = e.request;
            e.code = 0;
            return code;
        }
    }
    return 0;
}

// Contexts that may put pictures into windows, for ZevGLFinishPresents.
std::mutex gPresentersMutex;
std::vector<TZevGLContext*> gPresenters;

// The OpenGL driver that the first context loaded stays loaded for the program's life: loading it again for every
// new device costs time, and what it keeps for itself would look lost once it were unloaded.
void PinDriverLibraries()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const char* name = info->dlpi_name;
            if (name && std::strstr(name, "_dri.so"))
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

} // namespace

void ZevGLKeepDriverLoaded()
{
    PinDriverLibraries();
}

namespace {

thread_local std::uint64_t tSwitches = 0;

Bool MakeCurrent(Display* display, GLXDrawable draw, GLXDrawable read, GLXContext context)
{
    ++tSwitches;
    return glXMakeContextCurrent(display, draw, read, context);
}

// A thread that waits longer than this for another thread's frame gives up the call rather than hang.
constexpr auto WaitLimit = std::chrono::seconds(10);

// Contexts alive, so that a thread ending with a frame held lets go only of contexts still there.
std::mutex gLiveMutex;
std::vector<TZevGLContext*> gLive;

// The frames this thread holds: ended when the thread ends, so that the context never stays current on a thread
// that is gone.
struct ThreadFrames {
    std::vector<TZevGLContext*> held;
    ~ThreadFrames()
    {
        while (!held.empty()) {
            TZevGLContext* context = held.back();
            {
                std::lock_guard<std::mutex> lock(gLiveMutex);
                if (std::find(gLive.begin(), gLive.end(), context) == gLive.end()) {
                    held.pop_back();
                    continue;
                }
            }
            context->EndFrame();
        }
    }
};
thread_local ThreadFrames tFrames;

void Release(TZevGLContext* context)
{
    if (context->PrevContext != context->Context) {
        if (context->PrevContext && context->PrevDisplay)
            MakeCurrent(context->PrevDisplay, context->PrevDraw, context->PrevRead, context->PrevContext);
        else
            MakeCurrent(context->XDisplay, None, None, nullptr);
    }
    context->Bound = false;
}

} // namespace

Display* ZevGLOpenDisplay()
{
    // The window layer's display when it runs on one, else the one DISPLAY names.
    const char* framework = ZevGetDisplayName();
    const char* name = framework && *framework ? framework : nullptr;
    if (!name && !std::getenv("DISPLAY"))
        return nullptr;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (Display* display = XOpenDisplay(name)) {
            AddDisplay(display);
            return display;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10 + 10 * attempt));
    }
    return nullptr;
}

void ZevGLCloseDisplay(Display* display)
{
    if (!display)
        return;
    XSync(display, False);
    RemoveDisplay(display);
    XCloseDisplay(display);
}

TZevGLContext::~TZevGLContext()
{
    {
        std::lock_guard<std::mutex> lock(gPresentersMutex);
        gPresenters.erase(std::remove(gPresenters.begin(), gPresenters.end(), this), gPresenters.end());
    }
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLive.erase(std::remove(gLive.begin(), gLive.end(), this), gLive.end());
    }
    if (FrameHeld)
        EndFrame();
    if (!XDisplay)
        return;
    if (Context) {
        {
            TZevGLBinding bind(this);
            if (bind.Ok() && White)
                glDeleteTextures(1, &White);
        }
        glXDestroyContext(XDisplay, Context);
    }
    if (Pbuffer)
        glXDestroyPbuffer(XDisplay, Pbuffer);
    if (HiddenWindow)
        XDestroyWindow(XDisplay, HiddenWindow);
    if (HiddenColormap)
        XFreeColormap(XDisplay, HiddenColormap);
    FreeSharedImages();
    if (PresentGC)
        XFreeGC(XDisplay, PresentGC);
    ZevGLCloseDisplay(XDisplay);
}

bool TZevGLContext::Open()
{
    XDisplay = ZevGLOpenDisplay();
    if (!XDisplay)
        return false;
    {
        // Listed from the start rather than at its first put, which runs under the context's lock: a reader
        // holds the list while it takes that lock.
        std::lock_guard<std::mutex> lock(gPresentersMutex);
        gPresenters.push_back(this);
    }
    Screen = DefaultScreen(XDisplay);
    int major = 0, minor = 0;
    if (!glXQueryVersion(XDisplay, &major, &minor) || major < 1 || (major == 1 && minor < 3))
        return false;

    const int pbufferAttributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                                     GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    const int windowAttributes[] = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                                    GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(XDisplay, Screen, pbufferAttributes, &count);
    if (configs && count > 0) {
        Config = configs[0];
        const int size[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
        Pbuffer = glXCreatePbuffer(XDisplay, Config, size);
        Drawable = Pbuffer;
    }
    if (configs)
        XFree(configs);
    if (!Drawable) {
        configs = glXChooseFBConfig(XDisplay, Screen, windowAttributes, &count);
        if (!configs || count == 0) {
            if (configs)
                XFree(configs);
            return false;
        }
        Config = configs[0];
        XFree(configs);
        XVisualInfo* visual = glXGetVisualFromFBConfig(XDisplay, Config);
        if (!visual)
            return false;
        const Window root = RootWindow(XDisplay, Screen);
        HiddenColormap = XCreateColormap(XDisplay, root, visual->visual, AllocNone);
        XSetWindowAttributes attributes{};
        attributes.colormap = HiddenColormap;
        HiddenWindow = XCreateWindow(XDisplay, root, 0, 0, 1, 1, 0, visual->depth, InputOutput, visual->visual,
                                     CWColormap, &attributes);
        XFree(visual);
        Drawable = HiddenWindow;
    }
    Context = glXCreateNewContext(XDisplay, Config, GLX_RGBA_TYPE, nullptr, True);
    XSync(XDisplay, False);
    if (!Context || !Drawable)
        return false;
    TZevGLBinding bind(this);
    if (!bind.Ok())
        return false;
    static std::once_flag pinned;
    std::call_once(pinned, [] {
        PinDriverLibraries();
        // The software renderer allocates and frees vertex buffers of a few megabytes for every draw; with the
        // C library's default the freed top of the heap goes back to the system each time and comes back page by
        // page (zeroed) at the next draw, which cost half the frame. Freed memory up to this much is kept.
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    });
    // Off-screen drawing needs framebuffer objects (OpenGL 3.0 or the extension).
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const bool framebuffers = (version && version[0] >= '3') ||
                              (extensions && std::strstr(extensions, "GL_ARB_framebuffer_object"));
    return framebuffers && WhiteTexture() != 0;
}

GLuint TZevGLContext::WhiteTexture()
{
    if (White == 0) {
        const std::uint32_t texel = 0xFFFFFFFFu;
        glGenTextures(1, &White);
        glBindTexture(GL_TEXTURE_2D, White);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    return White;
}

void TZevGLContext::BindFramebuffer(GLuint framebuffer)
{
    if (framebuffer == BoundFramebuffer)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    BoundFramebuffer = framebuffer;
}

bool TZevGLContext::WindowRect(Window window, TZevGLRect* rect)
{
    if (!window)
        return false;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(XDisplay, window, &attributes))
        return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(XDisplay, window, RootWindow(XDisplay, Screen), 0, 0, &x, &y, &child))
        return false;
    *rect = {x, y, x + attributes.width, y + attributes.height};
    return true;
}

void TZevGLContext::ScreenSize(std::int32_t* width, std::int32_t* height) const
{
    *width = DisplayWidth(XDisplay, Screen);
    *height = DisplayHeight(XDisplay, Screen);
}

void TZevGLContext::FreeSharedImages()
{
    bool attached = false;
    for (SharedSlot& slot : Shared) {
        if (slot.Image) {
            XShmDetach(XDisplay, &slot.Shm);
            attached = true;
        }
    }
    if (!attached)
        return;
    // The server lets go of the memory (and finishes the puts from it) before it is unmapped.
    XSync(XDisplay, False);
    for (SharedSlot& slot : Shared) {
        if (!slot.Image)
            continue;
        slot.Image->data = nullptr;
        XDestroyImage(slot.Image);
        shmdt(slot.Shm.shmaddr);
        slot = SharedSlot{};
    }
    TakeEvents();
}

bool TZevGLContext::MakeSharedImage(SharedSlot* slot, std::int32_t width, std::int32_t height)
{
    XShmSegmentInfo& shm = slot->Shm;
    XImage* image = XShmCreateImage(XDisplay, PresentVisual, static_cast<unsigned>(PresentDepth), ZPixmap, nullptr,
                                    &shm, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image)
        return false;
    const std::size_t bytes = static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
    shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shm.shmid < 0) {
        XDestroyImage(image);
        shm = {};
        return false;
    }
    shm.shmaddr = image->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
    shm.readOnly = False;
    if (shm.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(shm.shmid, IPC_RMID, nullptr);
        image->data = nullptr;
        XDestroyImage(image);
        shm = {};
        return false;
    }
    TakeLastError(XDisplay);
    const bool attached = XShmAttach(XDisplay, &shm);
    XSync(XDisplay, False);
    // Marked for removal now: it goes away with the last process that detaches, a crash included.
    shmctl(shm.shmid, IPC_RMID, nullptr);
    if (!attached || TakeLastError(XDisplay) != 0) {
        // A server elsewhere cannot see our memory: the socket it is, from now on.
        ShmRefused = true;
        shmdt(shm.shmaddr);
        image->data = nullptr;
        XDestroyImage(image);
        shm = {};
        return false;
    }
    slot->Image = image;
    slot->PutRequest = 0;
    return true;
}

TZevGLContext::SharedSlot* TZevGLContext::SharedImage(std::int32_t width, std::int32_t height)
{
    if (ShmRefused)
        return nullptr;
    SharedSlot* slot = &Shared[NextShared];
    const XImage* image = slot->Image;
    if (!image || image->width < width || image->height < height || image->depth != PresentDepth ||
        image->bits_per_pixel != 32) {
        FreeSharedImages();
        if (!XShmQueryExtension(XDisplay)) {
            ShmRefused = true;
            return nullptr;
        }
        for (SharedSlot& s : Shared) {
            if (!MakeSharedImage(&s, width, height)) {
                FreeSharedImages();
                return nullptr;
            }
        }
        NextShared = 0;
        slot = &Shared[0];
    }
    // The server may still be reading this image for the put before last.
    if (!WaitForRequest(slot->PutRequest))
        return nullptr;
    slot->PutRequest = 0;
    return slot;
}

void TZevGLContext::TakeEvents()
{
    if (XEventsQueued(XDisplay, QueuedAlready) == 0 && XEventsQueued(XDisplay, QueuedAfterReading) == 0)
        return;
    while (XEventsQueued(XDisplay, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(XDisplay, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == PresentWindow && PresentWindow)
            PresentWindowGone = true;
    }
}

bool TZevGLContext::WaitForRequest(unsigned long request)
{
    if (request == 0 || LastKnownRequestProcessed(XDisplay) >= request)
        return true;
    XFlush(XDisplay);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Anything the server sends after the request (its completion event, or its error) tells it was handled.
    while (LastKnownRequestProcessed(XDisplay) < request) {
        TakeEvents();
        if (LastKnownRequestProcessed(XDisplay) >= request)
            break;
        if (std::chrono::steady_clock::now() > limit)
            return false;
        pollfd waiting{ConnectionNumber(XDisplay), POLLIN, 0};
        poll(&waiting, 1, 100);
    }
    return true;
}

bool TZevGLContext::FinishPuts()
{
    if (!XDisplay)
        return false;
    if (LastPut == 0 || LastKnownRequestProcessed(XDisplay) >= LastPut)
        return true;
    XSync(XDisplay, False);
    TakeEvents();
    return true;
}

bool TZevGLContext::PutPixels(Window window, const std::uint32_t* pixels, std::int32_t pitchWords,
                              std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y)
{
    return PutRows(window, width, height, x, y, [&](std::uint32_t* rows, std::int32_t pitch) {
        for (std::int32_t row = 0; row < height; ++row)
            std::memcpy(rows + static_cast<std::ptrdiff_t>(row) * pitch,
                        pixels + static_cast<std::ptrdiff_t>(row) * pitchWords, static_cast<std::size_t>(width) * 4);
        return true;
    });
}

bool TZevGLContext::PutRows(Window window, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                            const std::function<bool(std::uint32_t*, std::int32_t)>& fill)
{
    if (!window || width <= 0 || height <= 0)
        return false;
    // The outcome of the previous put is known before this one goes out, so that a window that went away fails
    // the next present at the latest. The server has had a frame's time for that put: this rarely waits, and
    // never for the put about to be sent.
    if (UncheckedPut != 0 && !UncheckedPutAnswered && LastKnownRequestProcessed(XDisplay) < UncheckedPut) {
        // A put from ordinary memory gets no answer when it succeeds: one round trip tells that it was handled.
        XSync(XDisplay, False);
    } else if (!WaitForRequest(UncheckedPut)) {
        return false;
    }
    // What came back since the last put: a destroyed window, or an error of a put that the server refused.
    TakeEvents();
    unsigned long failed = 0;
    const bool refused = TakeLastError(XDisplay, &failed) != 0 && UncheckedPut != 0 && failed >= UncheckedPut;
    UncheckedPut = 0;
    if (refused)
        return false;
    if (window != PresentWindow || PresentWindowGone) {
        if (PresentWindow && PresentWindow != window && !PresentWindowGone)
            XSelectInput(XDisplay, PresentWindow, NoEventMask);
        // Told when the window goes, so that a put into it fails without a round trip each frame; the question
        // that follows makes sure the server took the request before anyone can destroy the window unnoticed.
        XSelectInput(XDisplay, window, StructureNotifyMask);
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(XDisplay, window, &attributes) || !attributes.visual) {
            TakeLastError(XDisplay);
            PresentWindow = 0; // asked about again next time, whichever window it is
            return false;
        }
        if (PresentGC)
            XFreeGC(XDisplay, PresentGC);
        PresentGC = XCreateGC(XDisplay, window, 0, nullptr);
        PresentWindow = window;
        PresentWindowGone = false;
        if (attributes.visual != PresentVisual || attributes.depth != PresentDepth)
            FreeSharedImages();
        PresentVisual = attributes.visual;
        PresentDepth = attributes.depth;
    }
    const Visual* visual = PresentVisual;
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
        return false;
    SharedSlot* shared = SharedImage(width, height);
    XImage* image = shared ? shared->Image : nullptr;
    if (!image) {
        image = XCreateImage(XDisplay, PresentVisual, static_cast<unsigned>(PresentDepth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (!image)
            return false;
        PresentBuffer.resize(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height) / 4 +
                             1);
        image->data = reinterpret_cast<char*>(PresentBuffer.data());
    }
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF &&
                        image->bytes_per_line % 4 == 0;
    bool filled = false;
    if (direct) {
        filled = fill(reinterpret_cast<std::uint32_t*>(image->data), image->bytes_per_line / 4);
    } else {
        Scratch.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        filled = fill(Scratch.data(), width);
        for (std::int32_t row = 0; filled && row < height; ++row) {
            const std::uint32_t* in = Scratch.data() + static_cast<std::ptrdiff_t>(row) * width;
            for (std::int32_t column = 0; column < width; ++column) {
                const std::uint32_t p = in[column];
                XPutPixel(image, column, row,
                          ZevChannelFrom8((p >> 16) & 0xFF, visual->red_mask) |
                              ZevChannelFrom8((p >> 8) & 0xFF, visual->green_mask) |
                              ZevChannelFrom8(p & 0xFF, visual->blue_mask));
            }
        }
    }
    const unsigned long request = NextRequest(XDisplay);
    if (filled && shared) {
        // The completion event tells when the server is done with the memory.
        XShmPutImage(XDisplay, window, PresentGC, image, 0, 0, x, y, static_cast<unsigned>(width),
                     static_cast<unsigned>(height), True);
        shared->PutRequest = request;
        NextShared = (NextShared + 1) % 2;
    } else if (filled) {
        // The request carries a copy of the pixels: the buffer is free again at once.
        XPutImage(XDisplay, window, PresentGC, image, 0, 0, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    }
    if (!shared) {
        image->data = nullptr;
        XDestroyImage(image);
    }
    if (!filled)
        return false;
    UncheckedPut = request;
    UncheckedPutAnswered = shared != nullptr;
    LastPut = request;
    XFlush(XDisplay);
    return true;
}

void TZevGLContext::SetWindowFullScreen(Window window, bool on)
{
    if (!window)
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(XDisplay, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = on ? 1 : 0; // add or remove
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(XDisplay, "_NET_WM_STATE_FULLSCREEN", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;
    XSendEvent(XDisplay, RootWindow(XDisplay, Screen), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(XDisplay);
}


void ZevGLFinishPresents()
{
    std::lock_guard<std::mutex> lock(gPresentersMutex);
    for (TZevGLContext* context : gPresenters) {
        // The context's connection is used under its lock; a thread inside a frame hands it over at its next call.
        ++context->Waiting;
        const bool locked = context->Mutex.try_lock_for(WaitLimit);
        --context->Waiting;
        if (!locked)
            continue;
        context->FinishPuts();
        context->Mutex.unlock();
    }
}

std::uint64_t ZevGL::ContextSwitches()
{
    return tSwitches;
}

void TZevGLContext::HoldForFrame()
{
    if (FrameHeld || !Bound || Depth <= 0)
        return;
    if (!Mutex.try_lock())
        return; // cannot happen on the thread inside a binding; stay with per-call binding
    FrameHeld = true;
    ++Depth;
    tFrames.held.push_back(this);
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        if (std::find(gLive.begin(), gLive.end(), this) == gLive.end())
            gLive.push_back(this);
    }
}

void TZevGLContext::EndFrame()
{
    auto mine = std::find(tFrames.held.begin(), tFrames.held.end(), this);
    if (mine == tFrames.held.end())
        return; // no frame of this thread
    tFrames.held.erase(mine);
    FrameHeld = false;
    if (--Depth == 0 && Bound)
        Release(this);
    Mutex.unlock();
}

TZevGLBinding::TZevGLBinding(TZevGLContext* context) : Context(context)
{
    if (!Context || !Context->Context)
        return;
    if (!Context->Mutex.try_lock()) {
        // Another thread draws: wait for its call to end, or for its frame to hand the context over.
        ++Context->Waiting;
        const bool locked = Context->Mutex.try_lock_for(WaitLimit);
        --Context->Waiting;
        if (!locked) {
            std::fprintf(stderr, "OpenGL device: the context stayed busy on another thread; a call is skipped\n");
            Context = nullptr;
            return;
        }
    }
    if (Context->Depth++ > 0) {
        // Inside this thread's own call or frame; another context may have been made current here since.
        if (Context->Bound && glXGetCurrentContext() != Context->Context)
            Context->Bound = MakeCurrent(Context->XDisplay, Context->Drawable, Context->Drawable, Context->Context);
        return;
    }
    Context->PrevContext = glXGetCurrentContext();
    Context->PrevDisplay = glXGetCurrentDisplay();
    Context->PrevDraw = glXGetCurrentDrawable();
    Context->PrevRead = glXGetCurrentReadDrawable();
    Context->Bound = Context->PrevContext == Context->Context ||
                     MakeCurrent(Context->XDisplay, Context->Drawable, Context->Drawable, Context->Context);
}

TZevGLBinding::~TZevGLBinding()
{
    if (!Context || !Context->Context)
        return;
    if (--Context->Depth == 0) {
        if (Context->Bound)
            Release(Context);
    } else if (Context->Depth == 1 && Context->FrameHeld && Context->Waiting.load() > 0) {
        // Another thread waits for the context: this thread's frame lets it go now and takes it again at its
        // next call.
        Context->EndFrame();
    }
    Context->Mutex.unlock();
}
