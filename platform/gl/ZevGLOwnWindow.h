// A plain top-level X window of the device layer's own, for the programs, tests and benchmarks that draw without
// the window framework: the renderers present into it like into any window, and its picture can be read back.
#pragma once

#include "ZevGLTypes.h"

#include <cstdint>
#include <vector>

// What a window shows, as 0x00RRGGBB pixels, top row first; false when it cannot be read (gone, or not on screen).
bool ZevGLReadWindow(TZevGLWindow window, std::int32_t* width, std::int32_t* height,
                     std::vector<std::uint32_t>* pixels);

class TZevGLOwnWindow {
public:
    TZevGLOwnWindow() = default;
    ~TZevGLOwnWindow();
    TZevGLOwnWindow(const TZevGLOwnWindow&) = delete;
    TZevGLOwnWindow& operator=(const TZevGLOwnWindow&) = delete;

    // Opens a window of the client size at (x, y) on the display named by DISPLAY, shown on screen; false without a
    // server.
    bool Create(std::int32_t width, std::int32_t height, std::int32_t x = 0, std::int32_t y = 0);
    void Destroy();
    void Resize(std::int32_t width, std::int32_t height);
    // What the window shows, as 0x00RRGGBB pixels, top row first; false when it cannot be read.
    bool ReadPixels(std::int32_t* width, std::int32_t* height, std::vector<std::uint32_t>* pixels);

    TZevGLWindow GetWindow() const { return Window; }

private:
    void* XDisplay = nullptr; // Display*
    TZevGLWindow Window = 0;
};
