// The renderer that draws the scene in the Direct3D 8 manner, on a device it makes for a window or on a host
// program's device. Frames are drawn by the shared passes; it draws no 2D lines; its text is drawn as textured
// quads from a cache of 16 x 16 glyph cells, 256 to a page texture, each character rasterised once.
#pragma once

#include "ZevFramePassRenderer.h"

class TZevDX8Texture;
class TZevDX8TextureStore;
class TZevGLDriver;

// A vertex of the text quads and of the converted lit meshes: position, diffuse, specular, u, v (28 bytes).
struct TZevDX8Vertex {
    float x, y, z;
    std::uint32_t Diffuse;
    std::uint32_t Specular;
    float u, v;
};
static_assert(sizeof(TZevDX8Vertex) == 28);

// A growable array of vertices (counting allocator), kept between calls.
struct TZevDX8VertexArray {
    // Room for n vertices; false when memory runs out.
    bool Reserve(std::int32_t n);
    void Free();

    TZevDX8Vertex* Vertices = nullptr;
    std::int32_t Count = 0;
    std::int32_t Capacity = 0;
};

struct TZevGlyphPage : TZevAllocated {
    TZevDX8Texture* Texture = nullptr;
    TZevDX8VertexArray Quads; // of the text call being drawn
    std::int32_t GlyphCount = 0;
};

struct TZevGlyph : TZevAllocated {
    char Bytes[5] = {}; // one UTF-8 character
    std::int32_t Length = 0;
    TZevGlyphPage* Page = nullptr;
    float U = 0.0f;
    float V = 0.0f;
};

class TZevDX8Renderer : public TZevFramePassRenderer {
public:
    TZevDX8Renderer() = default;
    // Release, then the converted-vertex array.
    ~TZevDX8Renderer() override;

    // Back-buffer size (0 before initialisation).
    int GetWidth() override;
    int GetHeight() override;
    TZevTextureHandle LoadTexture(const char* name) override;
    void UnloadTexture(TZevTextureHandle handle) override;
    // Glyphs, pages, index buffer and store go; commands are given back. Safe to call twice.
    void Release() override;
    void DrawWorldLines(const TZevMatrix& matrix, TZevList* list) override;
    // Converts the lit vertices to the device's layout, then draws as every mesh.
    void DrawLitMeshNow(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh) override;
    void SetFullScreen(int value) override { FullScreen = value; }
    int GetFullScreen() override { return FullScreen; }
    void AddText(const char* text) override;
    // UTF-8 text at (x, y) from the glyph cache: a character of one byte advances 8 pixels, a longer one 16; a
    // newline returns to x 20 pixels lower, a blank advances 8 and a tab 32.
    void DrawText(int x, int y, const char* text) override;
    // Into the window's whole client area.
    int Present() override;
    int SetViewport(const TZevViewport* viewport) override;
    int GetViewport(TZevViewport* viewport) override;

    // Store, index buffer and default states on the host's driver and device, or on a device made for the window.
    // False, with everything released, on failure.
    virtual bool InitFromDevice(TZevGLDriver* object, TZevGLDevice* device);
    bool InitFromWindow(TZevGLWindow window) override;
    using TZevFramePassRenderer::InitFromWindow;

    TZevDX8VertexArray Converted;
    TZevList GlyphTable[256]; // of TZevGlyph, by the sum of the character's bytes
    TZevList GlyphPages;
    TZevDX8TextureStore* Store = nullptr; // owned
    std::int32_t FullScreen = 0;

protected:
    void GetTargetSize(std::int32_t* width, std::int32_t* height) override;
    void DrawTriangles(const TZevMeshData* mesh, bool lit, const std::uint16_t* indices,
                       std::uint32_t count) override;
    TZevGLSurface* TextureSurface(TZevTextureHandle handle) override;

private:
    bool FinishInit();
    // The back buffer's width (or height); 0 without a device.
    int BackBufferSide(bool width);
    // The glyph of the character, rasterised into a page cell when it is new; null when memory runs out.
    TZevGlyph* FindGlyph(const char* character, std::int32_t length);
    TZevGlyph* CreateGlyph(const char* character, std::int32_t length);
};
