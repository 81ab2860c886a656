// The drawing device of our OpenGL layer, in the manner of the Direct3D 7 and 8 devices the renderers were written
// against: render and texture-stage states, transforms in row-vector order, lights, a material, textures, and
// primitives drawn from the caller's vertex arrays, into a colour surface with its depth-stencil buffer.
//
// States map to fixed-function OpenGL (compatibility profile): depth, stencil and blend functions one to one, fog
// as linear eye-depth fog, lights in world space, stage 0 through GL_COMBINE, the vertex specular colour as the
// secondary colour. The picture is kept top row first in its surface: the device turns the projection upside down,
// so screen y runs downwards as on the devices the renderers know, and faces keep their winding on screen.
//
// Calls that draw must lie between BeginScene and EndScene; a target that was lost makes them fail with
// ErrSurfaceLost until it is restored.
#pragma once

#include "ZevGLObject.h"
#include "ZevGLTypes.h"

#include <cstdint>
#include <vector>

struct TZevGLContext;
class TZevGLDriver;
class TZevGLSurface;

typedef bool (*TZevGLTextureFormatCallback)(const TZevGLPixelFormat& format, void* context);

class TZevGLDevice : public TZevGLObject {
public:
    TZevGLDevice(TZevGLDriver* driver, ZevGL::DeviceKind kind, TZevGLSurface* target, TZevGLWindow window);

    ZevGL::DeviceKind GetKind() const { return Kind; }
    TZevGLDriver* GetDriver() const { return Driver; }

    std::int32_t BeginScene();
    std::int32_t EndScene();
    // Clears the viewport (or the given rectangles within it): target colour (ARGB), depth and stencil.
    std::int32_t Clear(std::uint32_t count, const TZevGLRect* rects, std::uint32_t flags, std::uint32_t color,
                       float z, std::uint32_t stencil);

    // Draws change only the pixels inside the rectangle (target pixels, left and top inside, right and bottom
    // outside), clipped to the target; null draws everywhere again. Clears are not limited by it.
    std::int32_t SetScissorRect(const TZevGLRect* rect);
    std::int32_t SetViewport(const TZevGLViewport& viewport);
    std::int32_t GetViewport(TZevGLViewport* viewport);
    // 16 floats, points as row vectors.
    std::int32_t SetTransform(ZevGL::TransformState state, const float* matrix);
    std::int32_t GetTransform(ZevGL::TransformState state, float* matrix);
    std::int32_t SetRenderState(ZevGL::RenderState state, std::uint32_t value);
    std::int32_t GetRenderState(ZevGL::RenderState state, std::uint32_t* value);
    std::int32_t SetTextureStageState(std::int32_t stage, ZevGL::StageState state, std::uint32_t value);
    std::int32_t GetTextureStageState(std::int32_t stage, ZevGL::StageState state, std::uint32_t* value);
    // A colour surface as the stage's texture; null for none (texture arguments then read white).
    std::int32_t SetTexture(std::int32_t stage, TZevGLSurface* texture);
    std::int32_t SetMaterial(const TZevGLMaterial& material);
    std::int32_t GetMaterial(TZevGLMaterial* material);
    std::int32_t SetLight(std::int32_t index, const TZevGLLight& light);
    std::int32_t GetLight(std::int32_t index, TZevGLLight* light);
    std::int32_t LightEnable(std::int32_t index, bool enable);

    // Vertices as a format (Vf flags) and their count; indices must lie below the vertex count.
    std::int32_t DrawPrimitive(ZevGL::PrimitiveType type, std::uint32_t format, const void* vertices,
                               std::uint32_t vertexCount, std::uint32_t flags);
    std::int32_t DrawIndexedPrimitive(ZevGL::PrimitiveType type, std::uint32_t format, const void* vertices,
                                      std::uint32_t vertexCount, const std::uint16_t* indices,
                                      std::uint32_t indexCount, std::uint32_t flags);
    // The Direct3D 8 manner: the format set beforehand, counts in primitives, a stride per vertex.
    std::int32_t SetVertexFormat(std::uint32_t format);
    std::int32_t DrawPrimitiveUP(ZevGL::PrimitiveType type, std::uint32_t primitiveCount, const void* vertices,
                                 std::uint32_t stride);
    std::int32_t DrawIndexedPrimitiveUP(ZevGL::PrimitiveType type, std::uint32_t minIndex, std::uint32_t vertexCount,
                                        std::uint32_t primitiveCount, const std::uint16_t* indices,
                                        const void* vertices, std::uint32_t stride);

    // 32-bit ARGB with alpha, then without.
    std::int32_t EnumTextureFormats(TZevGLTextureFormatCallback callback, void* context);
    // The Direct3D 8 manner of textures: one level of 32-bit texels; pool 1 (managed) is never lost.
    std::int32_t CreateTexture(std::int32_t width, std::int32_t height, std::int32_t levels, std::uint32_t usage,
                               std::int32_t format, std::int32_t pool, TZevGLSurface** out);
    // The surface drawn into, referenced.
    std::int32_t GetBackBuffer(TZevGLSurface** out);
    // Shows the source rectangle of the back buffer (null: all) in the destination rectangle of the window (null:
    // its whole client area), scaled when the sizes differ; the window is the device's unless one is given.
    std::int32_t Present(const TZevGLRect* source, const TZevGLRect* destination, TZevGLWindow window);

private:
    ~TZevGLDevice() override;

    // Groups of state that ApplyStates hands to OpenGL when they changed.
    enum : std::uint32_t {
        DirtyDepth = 1,
        DirtyRaster = 2,
        DirtyBlend = 4,
        DirtyStencil = 8,
        DirtyFog = 16,
        DirtyLighting = 32,
        DirtyLights = 64,
        DirtyTransform = 128,
        DirtyScissor = 256,
        DirtyAll = 511,
    };

    bool ReadyToDraw();
    void ApplyStates(std::uint32_t format);
    void ApplyStage();
    void ApplyLights();
    void SetVertexArrays(std::uint32_t format, const void* vertices, std::uint32_t stride);
    std::int32_t Draw(ZevGL::PrimitiveType type, std::uint32_t format, const void* vertices,
                      std::uint32_t vertexCount, std::uint32_t stride, const std::uint16_t* indices,
                      std::uint32_t indexCount);

    TZevGLDriver* Driver;
    TZevGLContext* Context;
    ZevGL::DeviceKind Kind;
    TZevGLSurface* Target;
    TZevGLWindow Window;
    bool InScene = false;

    std::uint32_t RenderStates[ZevGL::RenderStateCount];
    std::uint32_t StageStates[ZevGL::MaxStages][ZevGL::StageStateCount];
    TZevGLSurface* Textures[ZevGL::MaxStages] = {};
    float Transforms[ZevGL::TransformStateCount][16];
    TZevGLViewport Viewport;
    bool ScissorOn = false;
    TZevGLRect Scissor{};
    TZevGLMaterial Material;
    TZevGLLight Lights[ZevGL::MaxLights];
    bool LightOn[ZevGL::MaxLights] = {};
    std::uint32_t VertexFormat = 0;
    std::uint32_t Dirty = DirtyAll;
    // What the last draw set up for its vertex format (pixel or world drawing).
    bool PixelDrawing = false;
    // Whether the last draw wrote no colour (blending that keeps it).
    bool Colorless = false;
};
