// Shared by the rendering tests: an X server of the test's own, frames read back from the renderers, screenshots,
// small scenes built in code and bitmap fixtures written on the spot.
#pragma once

#include "Zev3DG2R.h"
#include "ZevDX7Renderer.h"
#include "ZevDX8Renderer.h"
#include "ZevFrame.h"
#include "ZevGLOwnWindow.h"
#include "ZevGLPrivateServer.h"
#include "ZevMesh.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Skips the test when no X server can be started.
#define REQUIRE_X_SERVER()                                                                                             \
    do {                                                                                                               \
        if (!ZevGLStartPrivateServer())                                                                                \
            GTEST_SKIP() << "Xvfb is not installed";                                                                   \
    } while (0)

// A picture read back: 0x00RRGGBB pixels, top row first.
struct TImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint32_t> Pixels;

    std::uint32_t At(std::int32_t x, std::int32_t y) const
    {
        return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + static_cast<std::size_t>(x)];
    }
    // Average of each channel over the square of side 2r + 1 around (x, y), as 0x00RRGGBB.
    std::uint32_t Around(std::int32_t x, std::int32_t y, std::int32_t r = 2) const;
    // Pixels that satisfy the test.
    std::int32_t Count(const std::function<bool(std::uint32_t)>& test) const;
};

inline int Red(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
inline int Green(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
inline int Blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }
inline int Brightness(std::uint32_t p) { return Red(p) + Green(p) + Blue(p); }
// The largest channel difference.
int ColorDistance(std::uint32_t a, std::uint32_t b);

TImage CaptureBack(TZevDX7Renderer* renderer);
TImage CaptureBack(TZevDX8Renderer* renderer);
TImage CaptureWindow(TZevGLOwnWindow* window);
// Keeps the picture as build/screenshots/<name>.png for people to look at.
void SaveScreenshot(const TImage& image, const std::string& name);

// A 24-bit BMP of the colours (0x00RRGGBB) the function gives for each pixel, (0, 0) the top-left.
void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height,
              const std::function<std::uint32_t(std::int32_t, std::int32_t)>& color);

// A root frame with a camera frame below it, and meshes placed in frames of their own; the root owns them all.
class TTestScene {
public:
    TTestScene();
    ~TTestScene();

    // The camera at `eye`, turned by `yaw` about y, then tilted down by `pitch` (radians).
    void PlaceCamera(const TZevVector& eye, float pitch, float yaw = 0.0f);
    // A closed box from min to max with texture coordinates 0 to 1 across each face, in a new frame at the origin.
    TZevPolygonMesh* AddBox(const TZevVector& min, const TZevVector& max, const float* diffuse = nullptr,
                            const char* texture = nullptr);
    // A flat grid of n x n squares (2 n n triangles) over [-size, size] in x and z at height y, facing up.
    TZevPolygonMesh* AddGrid(std::int32_t n, float size, float y, const float* diffuse = nullptr);
    // The frame that carries the mesh added last.
    TZevFrame* LastFrame() const { return Last; }

    TZevFrame* Root;
    TZevFrame* Camera;

private:
    TZevPolygonMesh* Attach(TZevPolygonMesh* mesh, const float* diffuse, const char* texture);
    TZevFrame* Last = nullptr;
};

// One frame as the engine host draws it: restore, clear, the frame tree.
void DrawFrame(TZevFramePassRenderer* renderer, TTestScene& scene);

// A directional light with white diffuse and no specular, travelling along `direction`.
TZevLight DirectionalLight(const TZevVector& direction);

// The pixel a world point is drawn at, through the renderer's last view and projection; false behind the camera.
bool ProjectToPixel(TZevFramePassRenderer* renderer, const TZevVector& point, float* x, float* y);
