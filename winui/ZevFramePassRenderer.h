// What both device renderers share: a frame is drawn by letting the scene queue its draw commands, sorting them into
// buckets by kind and render state, and replaying the buckets in fixed passes (opaque, translucent, or the stencil
// shadow sequence around them), each pass setting the device states it needs; meshes are then drawn at once as
// indexed triangle lists, and screen points map to world rays.
//
// The DirectDraw 7 and Direct3D 8 renderers derive from this class; they give it their device, the size of their
// target, their texture surfaces and their way of handing triangles to the device.
#pragma once

#include "ZevGLTypes.h"
#include "ZevQueuedRenderer.h"
#include "ZevWinTypes.h"

#include <cstdint>

class TZevDrawCommand;
class TZevGLDevice;
class TZevGLSurface;
class TZevVFrame;

class TZevFramePassRenderer : public TZevQueuedRenderer {
public:
    // Room of the index scratch buffer; a mesh that needs more is drawn in several calls.
    static constexpr std::int32_t IndexCapacity = 60000;
    static constexpr int BucketCount = 256;

    TZevFramePassRenderer();
    // Empties the buckets (the commands are the queue's) and hands an adopted window back to the framework.
    ~TZevFramePassRenderer() override;

    // The device renderer's store, surfaces and device on a native window; false, with everything released, on
    // failure.
    virtual bool InitFromWindow(TZevGLWindow window) = 0;
    // The same on a window of the window framework, drawing into its client area, which the framework leaves to
    // this renderer's drawing while it draws there.
    bool InitFromWindow(HWND window);

    // One frame: the view from the camera frame, the projection fitted to the target, fog, the frame tree queued,
    // the buckets replayed between BeginScene and EndScene, and every command given back.
    virtual void RenderFrame(TZevVFrame* root, TZevVFrame* cameraFrame);
    // The whole target to the background colour, depth 1 (and stencil 0 with stencil shadows).
    void Clear() override;
    // The frame slot of the engine host: the frame is drawn here.
    void SetCameraFrame(TZevVFrame* root, TZevVFrame* cameraFrame) override { RenderFrame(root, cameraFrame); }
    // The device target's picture (what the last frame drew) into the bitmap from its top-left corner, as far as
    // both reach; the bitmap's row 0 is the picture's bottom row.
    bool CaptureFrame(TZevVBitmap* target) override;
    // The ray through the screen point (x, y, depth d): origin the camera position, direction to the point at
    // camera depth d x view-plane scale.
    void ScreenToWorld(const TZevVector& screen, TZevVector* direction, TZevVector* origin) override;
    // The light record to the device light (first colour diffuse, second ambient, third specular), switched on;
    // light 0's direction also becomes the direction of the shadow passes.
    void SetLight(int index, const TZevLight* light) override;
    void DrawMaterialMeshNow(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                             TZevMeshData* mesh) override;
    void DrawLitMeshNow(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh) override;

    // The bucket of a command: kind x 8 + 4 (shadow volume), 2 (translucent), 1 (additive) or 0, modulo 256.
    static int BucketOf(const TZevDrawCommand* command);
    // The device the passes drive; null before initialisation.
    TZevGLDevice* GetDevice() const { return Device; }

    std::uint16_t* IndexBuffer = nullptr;
    TZevVFrame* CameraFrame = nullptr; // not owned
    std::int32_t DimPass = 0;

protected:
    // The size of what the frame is drawn into.
    virtual void GetTargetSize(std::int32_t* width, std::int32_t* height) = 0;
    // Hands `count` indices of a triangle list over the mesh's vertex array to the device.
    virtual void DrawTriangles(const TZevMeshData* mesh, bool lit, const std::uint16_t* indices,
                               std::uint32_t count) = 0;
    // The device surface of one of this renderer's texture handles.
    virtual TZevGLSurface* TextureSurface(TZevTextureHandle handle) = 0;
    // States a renderer adds in the plain (neither additive nor translucent) cases.
    virtual void PlainStageExtras(bool materialMesh) { (void)materialMesh; }

    // The texture of a command's entry for this renderer: loaded on first use (a texture another renderer loaded
    // is given back to it and loaded again here); 0 for none.
    TZevTextureHandle EntryTexture(TZevTextureName* entry);
    void SetRenderState(ZevGL::RenderState state, std::uint32_t value);
    void SetStageState(ZevGL::StageState state, std::uint32_t value);
    // Stage 0's colour arguments and operation, then its alpha arguments and operation.
    void SetStage(std::uint32_t colorArg1, std::uint32_t colorArg2, std::uint32_t colorOp, std::uint32_t alphaArg1,
                  std::uint32_t alphaArg2, std::uint32_t alphaOp);

    TZevGLDevice* Device = nullptr; // the device renderer's; not owned here
    HWND FrameworkWindow = nullptr;
    TZevList Buckets[BucketCount];

private:
    // The X window of a framework window's client area, which the framework leaves to this renderer's drawing from
    // now on; 0 for a window that has none (the in-memory backend).
    TZevGLWindow AdoptWindow(HWND window);
    // Hands the adopted window's client area back to the framework's drawing.
    void ReturnWindow();
    void Replay(int bucket);
    void OpaquePass();
    // Additive then translucent meshes of one kind.
    void BlendedMeshes(int additiveBucket, int translucentBucket);
    void TranslucentPass();
    void ShadowVolumeReplay();
    // The target rectangle that holds every pixel the queued shadow volumes can cover; false when a volume reaches
    // behind the camera (then any pixel may be covered). An empty rectangle when no volume is queued.
    bool VolumeScreenRect(TZevGLRect* rect);
    void ShadowSequence();
    void DrawMeshNow(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                     TZevMeshData* mesh, bool lit);
};
