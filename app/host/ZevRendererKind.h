// The device renderers that a view of the demo program or an embedded engine instance can draw with, each as a
// factory, the adapter that puts a new renderer on a window, and the way a drawn frame reaches another window.
// These are the only places that name a concrete renderer class. Tests replace the factory and the adapter of a
// kind to run views without an X server.
#pragma once

#include "ZevGLTypes.h"
#include "ZevWinTypes.h"

#include <cstdint>

class TZevGLDevice;
class TZevGLDriver;
class TZevQueuedRenderer;

// A rectangle of pixels: left, top, right, bottom (right and bottom outside).
struct TZevPixelRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

typedef TZevQueuedRenderer* (*TZevRendererFactory)();
// 1 when the renderer draws into the window (its X window id) from now on, else 0.
typedef int (*TZevRendererWindowInit)(TZevGLWindow window, TZevQueuedRenderer* renderer);
// The same for a window of the window framework, whose client area the renderer takes over.
typedef int (*TZevRendererFrameworkInit)(HWND window, TZevQueuedRenderer* renderer);
// Shows a rectangle of the renderer's last frame (null: all) in a rectangle of the window (null: its client area).
typedef void (*TZevPresentHook)(TZevGLWindow window, const TZevPixelRect* source, const TZevPixelRect* destination,
                                TZevQueuedRenderer* renderer);

struct TZevRendererKind {
    TZevRendererFactory Create;
    TZevRendererWindowInit InitFromWindow;
    TZevPresentHook Present; // null: the kind presents only through the renderer's own Present
    TZevRendererFrameworkInit InitFromFrameworkWindow;
};

// The DirectDraw 7 / Direct3D 7 manner (the demo's views): no present hook.
extern TZevRendererKind DX7RendererKind;
// The Direct3D 8 manner: presents other rectangles through its device.
extern TZevRendererKind DX8RendererKind;

TZevQueuedRenderer* DX7RendererFactory();
TZevQueuedRenderer* DX8RendererFactory();
int InitRendererFromWindowDX7(TZevGLWindow window, TZevQueuedRenderer* renderer);
int InitRendererFromWindowDX8(TZevGLWindow window, TZevQueuedRenderer* renderer);
int InitRendererFromFrameworkWindowDX7(HWND window, TZevQueuedRenderer* renderer);
int InitRendererFromFrameworkWindowDX8(HWND window, TZevQueuedRenderer* renderer);
// A Direct3D 8 manner renderer on a host's driver and device; 1 on success.
int InitRendererFromDevice(TZevGLDriver* driver, TZevGLDevice* device, TZevQueuedRenderer* renderer);
void PresentThroughDevice(TZevGLWindow window, const TZevPixelRect* source, const TZevPixelRect* destination,
                          TZevQueuedRenderer* renderer);

// A renderer of the kind set up for a window (an X window id, or a window of the window framework): made, reset,
// full screen and stencil shadows set, then put on the window. `*drawing` tells whether it draws there (false when
// the window has no X window or there is no OpenGL); the renderer is returned either way (it then draws nothing).
// Null only when it cannot be made.
TZevQueuedRenderer* ZevMakeWindowRenderer(const TZevRendererKind& kind, TZevGLWindow window, std::int32_t fullScreen,
                                          std::int32_t shadow, bool* drawing);
TZevQueuedRenderer* ZevMakeWindowRenderer(const TZevRendererKind& kind, HWND window, std::int32_t fullScreen,
                                          std::int32_t shadow, bool* drawing);
