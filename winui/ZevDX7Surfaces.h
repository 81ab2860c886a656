// The DirectDraw side of the DirectDraw 7 renderer: the driver object, the primary (front) surface that shows in
// the window, the back surface the device draws into, and a table of every surface made on it.
#pragma once

#include "ZevBucketTable.h"
#include "ZevGLTypes.h"

#include <cstdint>

class TZevGLDriver;
class TZevTexture;

// The description of a plain off-screen surface the device can draw into, in video or in system memory.
TZevGLSurfaceDesc ZevOffscreenSurfaceDesc(std::int32_t width, std::int32_t height, bool video);

class TZevDX7Surfaces : public TZevAllocated {
public:
    TZevDX7Surfaces() = default;
    virtual ~TZevDX7Surfaces();
    TZevDX7Surfaces(const TZevDX7Surfaces&) = delete;
    TZevDX7Surfaces& operator=(const TZevDX7Surfaces&) = delete;

    // Driver, cooperative level, front and back surfaces for the window: the window's size, or 640 x 480 at 32
    // bits in full screen. 1 on success; 0, with everything released, on failure.
    virtual int Init(TZevGLWindow window);
    // Deletes every surface of the table, leaves full screen, deletes back and front, releases the driver.
    virtual void Release();
    // When front and back exist: restores every surface of the table, then the front and the back.
    virtual void RestoreAll();

    std::int32_t GetBackWidth();
    std::int32_t GetBackHeight();

    TZevGLDriver* DirectDraw = nullptr;
    TZevBucketTable Table;
    TZevTexture* Front = nullptr;
    TZevTexture* Back = nullptr;
    TZevGLWindow Window = 0;
    std::int32_t FullScreen = 0;
    std::int32_t Hardware = 0;
};
