// Inside of the device layer (never included outside platform/gl): one X connection with its OpenGL context,
// shared by the driver and everything made on it, and the binding that makes the context current for one call.
//
// The context is current only while a call of the layer runs, under the connection's own lock: whichever thread
// calls (the render thread for its frames, the window thread when it restores surfaces on activation) draws
// through it, one at a time, and a thread's own current context is put back afterwards. A scene is the exception:
// from BeginScene to EndScene the context stays current on the drawing thread (making a context current and
// releasing it flushes everything drawn so far, which at one binding per draw costs most of a frame). Another
// thread that needs the context meanwhile takes it at the scene's next call, or when the scene ends.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "ZevGLTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// A connection to the window layer's display (the one DISPLAY names when the layer has none). A busy server now
// and then refuses a connection that it takes a moment later: a few attempts are made before giving up.
// X errors on it are the calls' failures, never the end of the program. Null when there is no server.
Display* ZevGLOpenDisplay();
void ZevGLCloseDisplay(Display* display);

// Makes every put that any context has sent so far reach its window: for readers of a window's pixels on
// another connection.
void ZevGLFinishPresents();

// Bumped by every display-mode change: video-memory surfaces made before it are lost.
extern std::atomic<std::uint32_t> ZevGLModeEpoch;

struct TZevGLContext {
    TZevGLContext() = default;
    ~TZevGLContext();
    TZevGLContext(const TZevGLContext&) = delete;
    TZevGLContext& operator=(const TZevGLContext&) = delete;

    // Opens the connection named by DISPLAY and a compatibility-profile context drawing into a 1 x 1 pbuffer (a
    // hidden window where pbuffers are missing); false when there is no server or no OpenGL on it.
    bool Open();

    // The window's client area in screen coordinates; false for a window that is not there.
    bool WindowRect(Window window, TZevGLRect* rect);
    // The screen's size.
    void ScreenSize(std::int32_t* width, std::int32_t* height) const;
    // Copies rows of 0xAARRGGBB pixels (top row first) into the window at (x, y); the server clips. False when the
    // window is gone or its visual is not a true-colour one.
    bool PutPixels(Window window, const std::uint32_t* pixels, std::int32_t pitchWords, std::int32_t width,
                   std::int32_t height, std::int32_t x, std::int32_t y);
    // The same with the rows written by `fill` straight into the memory that goes to the server (pitch in words),
    // which spares a copy; false as above, or when fill fails.
    //
    // A put is less synchronous than a swap of the software OpenGL driver (which waits for the server to take its
    // picture): it waits only until the server has handled the previous put, which it has had a frame's time
    // for, never for its own; the picture goes through two shared images in turn. A window that is gone fails
    // the next put at the latest (its destruction, or the previous put's error, has come in by then). Whoever
    // reads the window back calls ZevGLFinishPresents first.
    bool PutRows(Window window, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                 const std::function<bool(std::uint32_t* rows, std::int32_t pitchWords)>& fill);
    // Waits until the server has carried out every put sent so far; false when the connection gave up.
    bool FinishPuts();
    // Asks the window manager to show the window over the whole screen, or as before.
    void SetWindowFullScreen(Window window, bool on);

    // The 1 x 1 white texture that stands in for "no texture" (texture arguments then read as white).
    GLuint WhiteTexture();
    // Binds the framebuffer object for drawing (0: none); skips the call when it is bound already.
    void BindFramebuffer(GLuint framebuffer);

    Display* XDisplay = nullptr;
    int Screen = 0;
    GLXFBConfig Config = nullptr;
    GLXContext Context = nullptr;
    GLXPbuffer Pbuffer = 0;
    Window HiddenWindow = 0;
    Colormap HiddenColormap = 0;
    GLXDrawable Drawable = 0;

    // Keeps the context current on the calling thread (inside a binding) until EndFrame on the same thread (or the
    // thread's end).
    void HoldForFrame();
    // Ends the calling thread's frame hold, if it has one: the context is released once no binding is open.
    void EndFrame();

    std::recursive_timed_mutex Mutex;
    int Depth = 0;
    bool Bound = false;
    bool FrameHeld = false;
    std::atomic<int> Waiting{0};
    Display* PrevDisplay = nullptr;
    GLXDrawable PrevDraw = 0;
    GLXDrawable PrevRead = 0;
    GLXContext PrevContext = nullptr;

    GLuint White = 0;
    GLuint BoundFramebuffer = 0;
    // The device whose states the context holds now; anyone else who changes GL state clears it.
    const void* StateOwner = nullptr;

    // Presentation: one graphics context and the visual of the last window drawn into.
    Window PresentWindow = 0;
    GC PresentGC = nullptr;
    Visual* PresentVisual = nullptr;
    int PresentDepth = 0;
    // The present window was destroyed (its DestroyNotify came in): puts into it fail without asking the server.
    bool PresentWindowGone = false;
    std::vector<std::uint32_t> PresentBuffer;
    std::vector<std::uint32_t> Scratch;
    // The picture goes to the server through shared memory when the server offers it (a local one): a frame of
    // 640 x 480 is 1.2 MB, which the socket would copy twice. Two images used in turn, each with the request
    // number of its last put (0: none outstanding).
    struct SharedSlot {
        XShmSegmentInfo Shm{};
        XImage* Image = nullptr;
        unsigned long PutRequest = 0;
    };
    SharedSlot Shared[2];
    int NextShared = 0;
    bool ShmRefused = false;
    // Request number of the first put whose outcome has not been looked at yet (0: none), and of the last one.
    unsigned long UncheckedPut = 0;
    unsigned long LastPut = 0;
    // The server answers that put by itself (a shared image's completion event): waiting for it needs no question.
    bool UncheckedPutAnswered = false;

private:
    // The shared image to write the next picture into, of at least this size for the present visual, once the
    // server is done with it; null when shared memory is refused (or the server does not answer).
    SharedSlot* SharedImage(std::int32_t width, std::int32_t height);
    bool MakeSharedImage(SharedSlot* slot, std::int32_t width, std::int32_t height);
    void FreeSharedImages();
    // Reads what the server sent without waiting: errors go to their handler, a destroy of the present window is
    // noted, the rest (put completions, other structure events) is dropped.
    void TakeEvents();
    // Waits until the server has handled the request of this number; false when it did not within the limit.
    bool WaitForRequest(unsigned long request);
};

// Makes the context current on the calling thread for the lifetime of the object (nested bindings are free).
class TZevGLBinding {
public:
    explicit TZevGLBinding(TZevGLContext* context);
    ~TZevGLBinding();
    TZevGLBinding(const TZevGLBinding&) = delete;
    TZevGLBinding& operator=(const TZevGLBinding&) = delete;

    bool Ok() const { return Context && Context->Bound; }

private:
    TZevGLContext* Context;
};

