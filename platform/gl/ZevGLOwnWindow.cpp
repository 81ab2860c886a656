#include "ZevGLOwnWindow.h"

#include "ZevGLContext.h"
#include "ZevPixelChannels.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

Display* DisplayOf(void* display)
{
    return static_cast<Display*>(display);
}

} // namespace

TZevGLOwnWindow::~TZevGLOwnWindow()
{
    Destroy();
}

bool TZevGLOwnWindow::Create(std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y)
{
    Destroy();
    Display* display = ZevGLOpenDisplay();
    if (!display)
        return false;
    XDisplay = display;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.override_redirect = True; // placed as asked, whatever window manager runs
    const ::Window window = XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixel | CWOverrideRedirect, &attributes);
    Window = window;
    XMapRaised(display, window);
    XSync(display, False);
    return Window != 0;
}

void TZevGLOwnWindow::Destroy()
{
    if (!XDisplay)
        return;
    if (Window)
        XDestroyWindow(DisplayOf(XDisplay), Window);
    ZevGLCloseDisplay(DisplayOf(XDisplay));
    XDisplay = nullptr;
    Window = 0;
}

void TZevGLOwnWindow::Resize(std::int32_t width, std::int32_t height)
{
    if (!XDisplay || !Window)
        return;
    XResizeWindow(DisplayOf(XDisplay), Window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(DisplayOf(XDisplay), False);
}

bool TZevGLOwnWindow::ReadPixels(std::int32_t* width, std::int32_t* height, std::vector<std::uint32_t>* pixels)
{
    return Window && ZevGLReadWindow(Window, width, height, pixels);
}

bool ZevGLReadWindow(TZevGLWindow window, std::int32_t* width, std::int32_t* height,
                     std::vector<std::uint32_t>* pixels)
{
    Display* display = window ? ZevGLOpenDisplay() : nullptr;
    if (!display)
        return false;
    // Pictures put on other connections are on the server before this one asks for them.
    ZevGLFinishPresents();
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) && attributes.visual)
        image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) {
        ZevGLCloseDisplay(display);
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    pixels->resize(static_cast<std::size_t>(attributes.width) * static_cast<std::size_t>(attributes.height));
    const Visual* visual = attributes.visual;
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            (*pixels)[static_cast<std::size_t>(y) * static_cast<std::size_t>(attributes.width) +
                      static_cast<std::size_t>(x)] = (ZevChannelTo8(p, visual->red_mask) << 16) |
                                                     (ZevChannelTo8(p, visual->green_mask) << 8) |
                                                     ZevChannelTo8(p, visual->blue_mask);
        }
    }
    XDestroyImage(image);
    ZevGLCloseDisplay(display);
    return true;
}
