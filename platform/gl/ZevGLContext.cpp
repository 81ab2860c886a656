#include "ZevGLContext.h"

#include "ZevNativeWindow.h"
#include "ZevPixelChannels.h"

#include <X11/Xatom.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

std::atomic<std::uint32_t> ZevGLModeEpoch{1};

namespace {

// X errors on our own connections (a window destroyed under us, a drawable the server refuses) are our calls'
// failures, reported through their results; errors on anyone else's connection go to the handler that was there.
std::mutex gDisplaysMutex;
std::vector<Display*> gDisplays;
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* display, XErrorEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(gDisplaysMutex);
        if (std::find(gDisplays.begin(), gDisplays.end(), display) != gDisplays.end())
            return 0;
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
}

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
    if (PresentGC)
        XFreeGC(XDisplay, PresentGC);
    ZevGLCloseDisplay(XDisplay);
}

bool TZevGLContext::Open()
{
    XDisplay = ZevGLOpenDisplay();
    if (!XDisplay)
        return false;
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
    std::call_once(pinned, PinDriverLibraries);
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

bool TZevGLContext::PutPixels(Window window, const std::uint32_t* pixels, std::int32_t pitchWords,
                              std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y)
{
    if (!window || width <= 0 || height <= 0)
        return false;
    if (window != PresentWindow) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(XDisplay, window, &attributes) || !attributes.visual)
            return false;
        if (PresentGC)
            XFreeGC(XDisplay, PresentGC);
        PresentGC = XCreateGC(XDisplay, window, 0, nullptr);
        PresentWindow = window;
        PresentVisual = attributes.visual;
        PresentDepth = attributes.depth;
    }
    const Visual* visual = PresentVisual;
    if (visual->c_class != TrueColor && visual->c_class != DirectColor)
        return false;
    XImage* image = XCreateImage(XDisplay, PresentVisual, static_cast<unsigned>(PresentDepth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image)
        return false;
    PresentBuffer.assign(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height) / 4 + 1,
                         0);
    image->data = reinterpret_cast<char*>(PresentBuffer.data());
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    for (std::int32_t row = 0; row < height; ++row) {
        const std::uint32_t* in = pixels + static_cast<std::ptrdiff_t>(row) * pitchWords;
        if (direct) {
            std::memcpy(image->data + static_cast<std::ptrdiff_t>(row) * image->bytes_per_line, in,
                        static_cast<std::size_t>(width) * 4);
            continue;
        }
        for (std::int32_t column = 0; column < width; ++column) {
            const std::uint32_t p = in[column];
            XPutPixel(image, column, row,
                      ZevChannelFrom8((p >> 16) & 0xFF, visual->red_mask) |
                          ZevChannelFrom8((p >> 8) & 0xFF, visual->green_mask) |
                          ZevChannelFrom8(p & 0xFF, visual->blue_mask));
        }
    }
    XPutImage(XDisplay, window, PresentGC, image, 0, 0, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    image->data = nullptr;
    XDestroyImage(image);
    // The picture is on the server before the caller goes on (and a window that vanished is noticed).
    XSync(XDisplay, False);
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

TZevGLBinding::TZevGLBinding(TZevGLContext* context) : Context(context)
{
    if (!Context || !Context->Context)
        return;
    Context->Mutex.lock();
    if (Context->Depth++ > 0)
        return;
    Context->PrevContext = glXGetCurrentContext();
    Context->PrevDisplay = glXGetCurrentDisplay();
    Context->PrevDraw = glXGetCurrentDrawable();
    Context->PrevRead = glXGetCurrentReadDrawable();
    Context->Bound = Context->PrevContext == Context->Context ||
                     glXMakeContextCurrent(Context->XDisplay, Context->Drawable, Context->Drawable, Context->Context);
}

TZevGLBinding::~TZevGLBinding()
{
    if (!Context || !Context->Context)
        return;
    if (--Context->Depth == 0 && Context->Bound) {
        if (Context->PrevContext != Context->Context) {
            if (Context->PrevContext && Context->PrevDisplay)
                glXMakeContextCurrent(Context->PrevDisplay, Context->PrevDraw, Context->PrevRead,
                                      Context->PrevContext);
            else
                glXMakeContextCurrent(Context->XDisplay, None, None, nullptr);
        }
        Context->Bound = false;
    }
    Context->Mutex.unlock();
}
