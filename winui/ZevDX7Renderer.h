// The renderer that draws the engine's scene into a window in the DirectDraw 7 / Direct3D 7 manner: its texture
// store sets up the surfaces and the device on the window, frames are drawn by the shared passes, 2D lines and
// text are drawn on the back surface with its drawing context, and Present copies the back surface into the window
// (blit) or flips it in full screen.
#pragma once

#include "ZevFramePassRenderer.h"

class TZevDX7Surfaces;
class TZevDX7TextureStore;

class TZevDX7Renderer : public TZevFramePassRenderer {
public:
    TZevDX7Renderer() = default;
    // Release.
    ~TZevDX7Renderer() override;

    // Size of the back surface (0 before initialisation).
    int GetWidth() override;
    int GetHeight() override;
    // A texture of the store, as a handle; 0 when it cannot be loaded.
    TZevTextureHandle LoadTexture(const char* name) override;
    // One holder less; the texture goes with the last.
    void UnloadTexture(TZevTextureHandle handle) override;

    // Back to the constructed state: commands given back, textures forgotten by their entries, store deleted.
    // Safe to call twice.
    void Release() override;
    // Segments between point pairs (an odd last point is ignored) with the default black pen, and with a pen of
    // the colour (0x00BBGGRR).
    void DrawScreenLines(const TZevPoint2D* points, int count) override;
    void DrawScreenLinesColor(std::uint32_t color, const TZevPoint2D* points, int count) override;
    // Pre-transformed coloured lines (TZevLineRecord), pixel centres.
    void DrawScreenLineList(TZevList* list) override;
    // Coloured 3D segments (TZevSegmentRecord) in the frame of the matrix.
    void DrawWorldLines(const TZevMatrix& matrix, TZevList* list) override;
    void SetFullScreen(int value) override { FullScreen = value; }
    int GetFullScreen() override { return FullScreen; }
    // Appends a texture search directory.
    void AddText(const char* text) override;
    // UTF-8 text on the back surface at (x, y).
    void DrawText(int x, int y, const char* text) override;
    // Full screen: flip; windowed: the back surface into the window's top-left corner (no larger than it).
    int Present() override;
    int RestoreSurfaces() override;

    // Store, surfaces, device and index buffer for the window. The full-screen flag and the stencil-shadow flag
    // (a stencil buffer) take effect here. False, with everything released, on failure.
    bool InitFromWindow(TZevGLWindow window) override;
    using TZevFramePassRenderer::InitFromWindow;

    TZevDX7Surfaces* Surfaces = nullptr;   // the store's
    TZevDX7TextureStore* Store = nullptr;  // owned
    std::int32_t FullScreen = 0;

protected:
    void GetTargetSize(std::int32_t* width, std::int32_t* height) override;
    void DrawTriangles(const TZevMeshData* mesh, bool lit, const std::uint16_t* indices,
                       std::uint32_t count) override;
    TZevGLSurface* TextureSurface(TZevTextureHandle handle) override;
    void PlainStageExtras(bool materialMesh) override;

private:
    void DrawSegments(const TZevPoint2D* points, int count, const std::uint32_t* color);
};
