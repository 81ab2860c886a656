// The driver object of our OpenGL device layer: what the renderers were written against as the DirectDraw object
// (cooperative level, display mode, surfaces, clippers, palettes) and the Direct3D object (depth formats, device
// creation), backed by one X connection and one OpenGL context. Every surface and device made on a driver holds a
// reference to it.
//
// Full screen on X: the display mode becomes the size of the back buffers and the window is asked to cover the
// screen; the real screen mode is left alone. A change of display mode (setting or restoring one) loses every
// video-memory surface of every driver in the program, as the renderers expect of a mode switch.
#pragma once

#include "ZevGLObject.h"
#include "ZevGLTypes.h"

struct TZevGLContext;
class TZevGLClipper;
class TZevGLDevice;
class TZevGLPalette;
class TZevGLSurface;

// Enumeration callbacks: return false to stop.
typedef bool (*TZevGLFormatCallback)(const TZevGLPixelFormat& format, void* context);

class TZevGLDriver : public TZevGLObject {
public:
    // A driver on the X display named by DISPLAY; ErrNoDisplay when there is none or it offers no OpenGL.
    static std::int32_t Create(TZevGLDriver** out);

    // The window the driver draws for and whether it takes the screen (LevelFullScreen) or shares the desktop
    // (LevelNormal). Leaving full screen restores the display mode.
    std::int32_t SetCooperativeLevel(TZevGLWindow window, std::uint32_t flags);
    // Full-screen only: the size of the screen's surfaces from now on (32 bits a pixel only).
    std::int32_t SetDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);
    std::int32_t RestoreDisplayMode();
    // The mode surfaces are made for: the set mode, else the screen's.
    std::int32_t GetDisplayMode(TZevGLDisplayMode* mode);

    // Primary (the window, or a flip chain with BackBufferCount back buffers in full screen), off-screen colour
    // surfaces (32-bit ARGB), textures, and depth buffers (Format with PfZBuffer). Sides 1 to 8192.
    std::int32_t CreateSurface(const TZevGLSurfaceDesc& desc, TZevGLSurface** out);
    std::int32_t CreateClipper(TZevGLClipper** out);
    // 256 entries of 4 bytes; kept for whoever asks (surfaces here are 32 bits a pixel).
    std::int32_t CreatePalette(std::uint32_t flags, const std::uint32_t* entries, TZevGLPalette** out);

    // Depth formats a device of the kind can use: 24-bit depth without stencil, 24-bit depth with 8 stencil bits,
    // then 16-bit depth.
    std::int32_t EnumZBufferFormats(ZevGL::DeviceKind kind, TZevGLFormatCallback callback, void* context);
    // A device drawing into a colour surface made with CapsThreeDDevice (its attached depth surface, if any, is its
    // depth and stencil buffer).
    std::int32_t CreateDevice(ZevGL::DeviceKind kind, TZevGLSurface* target, TZevGLDevice** out);
    // A device with its own back buffer (and depth-stencil buffer when asked) that presents into the window. These
    // surfaces are the device's: a mode change does not lose them.
    std::int32_t CreateDevice(TZevGLWindow window, const TZevGLPresentParameters& parameters, TZevGLDevice** out);

    // The window's client area in screen coordinates.
    std::int32_t GetWindowRect(TZevGLWindow window, TZevGLRect* rect);

    TZevGLWindow GetWindow() const { return Window; }
    bool IsFullScreen() const { return FullScreen; }
    TZevGLContext* GetContext() const { return Context; }

private:
    explicit TZevGLDriver(TZevGLContext* context);
    ~TZevGLDriver() override;

    TZevGLContext* Context;
    TZevGLWindow Window = 0;
    bool FullScreen = false;
    bool ModeSet = false;
    TZevGLDisplayMode Mode;
};

// Clips copies into the primary surface to a window.
class TZevGLClipper : public TZevGLObject {
public:
    std::int32_t SetWindow(TZevGLWindow window)
    {
        Window = window;
        return ZevGL::Ok;
    }
    TZevGLWindow GetWindow() const { return Window; }

private:
    TZevGLWindow Window = 0;
};

// A palette of 256 entries.
class TZevGLPalette : public TZevGLObject {
public:
    explicit TZevGLPalette(const std::uint32_t* entries) { SetEntries(0, 256, entries); }
    std::int32_t SetEntries(std::int32_t start, std::int32_t count, const std::uint32_t* entries);
    std::uint32_t Entries[256] = {};
};
