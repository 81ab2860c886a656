// What a renderer needs of a window of our layer to draw into it with its own GL context: the X display, the
// native X window of the window's client area, the client size, and word of resizes.
//
// The X connection of the window layer belongs to the user-interface thread. A render thread opens its own
// connection with XOpenDisplay(ZevGetDisplayName()) and creates its GLX context for the window id given here; the
// id stays valid until the window is destroyed. In the in-memory backend (tests without an X server) there is no
// display and no native window: the functions answer null / 0, and the client size is still kept.
//
// All functions here may be called from any thread.
#pragma once

#include "ZevWinTypes.h"

#include <cstdint>

// The X display name of the window layer's connection ("" in the in-memory backend).
const char* ZevGetDisplayName();
// The window layer's own Display* (as void*, so that callers need no X header); null in the in-memory backend.
// Only the user-interface thread may use it.
void* ZevGetNativeDisplay();
// The X window id of the client area of `window` (top-level windows keep their caption and menu bar outside it);
// 0 for a stale handle or in the in-memory backend.
unsigned long ZevGetNativeWindow(HWND window);
// The client area size in pixels; false (and 0 x 0) for a stale handle.
bool ZevGetClientSize(HWND window, std::int32_t* width, std::int32_t* height);

// A number that grows by one at every change of the client size; 0 for a stale handle. A render thread compares
// it with the one it saw last to learn of resizes without a callback.
std::uint32_t ZevGetResizeSerial(HWND window);

// Called on the user-interface thread after the client size changed, before the window gets WM_SIZE.
typedef void (*TZevResizeListener)(HWND window, std::int32_t width, std::int32_t height, void* user);
// Registers a listener; returns a token (> 0) for ZevRemoveResizeListener, 0 for a stale handle. A window's
// listeners are dropped when it is destroyed.
int ZevAddResizeListener(HWND window, TZevResizeListener listener, void* user);
void ZevRemoveResizeListener(int token);

// While set, the window layer never paints the client area of `window` on screen (its background and WM_PAINT
// drawing stay in memory only), so that frames drawn by a GL context are not overwritten.
void ZevSetExternalDrawing(HWND window, bool external);
