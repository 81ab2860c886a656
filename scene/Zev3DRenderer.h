// The abstract renderer through which frames and meshes draw themselves: projection and view, culling against the
// side planes of the view pyramid, the render states that meshes and scripts set, and textures by name. The
// queued renderer derives from it and the device renderers from that.
#pragma once

#include "ZevLight.h"
#include "ZevList.h"
#include "ZevMaterial.h"
#include "ZevMath.h"
#include "ZevTextureName.h"

#include <cstdint>

class TZevMeshData;
class TZevVFrame;
class TZevVMesh;

// A point of the 2D polyline operations, in pixels.
struct TZevPoint2D {
    std::int32_t x;
    std::int32_t y;
};

// Whether the face with corners a, b and c (vertices of either kind) turns towards the direction d: (b - a) x (c - a)
// . d > 0. The shadow passes ask it of every face of every drawing, so it is inline; it computes in the order of
// ZevVecSub, ZevVecCross and ZevVecDot, so its answers are theirs bit for bit.
template <class Vertex> bool ZevFaceTurnsTowards(const Vertex& a, const Vertex& b, const Vertex& c, const TZevVector& d)
{
    const float e1x = b.x - a.x, e1y = b.y - a.y, e1z = b.z - a.z;
    const float e2x = c.x - a.x, e2y = c.y - a.y, e2z = c.z - a.z;
    const float nx = e1y * e2z - e1z * e2y, ny = e1z * e2x - e1x * e2z, nz = e1x * e2y - e1y * e2x;
    return nx * d.x + ny * d.y + nz * d.z > 0.0f;
}

class TZev3DRenderer : public TZevAllocated {
public:
    TZev3DRenderer();
    // Entries that this renderer loaded forget it (their device textures are the device renderer's to release).
    virtual ~TZev3DRenderer();
    TZev3DRenderer(const TZev3DRenderer&) = delete;
    TZev3DRenderer& operator=(const TZev3DRenderer&) = delete;

    // Size of the drawing surface in pixels.
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;

    // 2D polyline of pixel points.
    virtual void DrawPolyline(const TZevPoint2D* points, int count) = 0;
    // Items are TZevLineRecord (ZevMeshPools.h): each becomes a two-point DrawPolylineColor, its ends rounded to
    // pixels.
    virtual void DrawLineList(TZevList* list);
    // The base ignores the colour.
    virtual void DrawPolylineColor(std::uint32_t color, const TZevPoint2D* points, int count);
    // Items are TZevSegmentRecord (ZevMeshPools.h), given in the frame of `matrix`.
    virtual void DrawLines3D(const TZevMatrix& matrix, TZevList* segments);
    // A polygon mesh (TZevVertex elements) with its material: the material mesh of a queued command of kind 4.
    virtual void DrawMaterialMesh(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                                  TZevMeshData* mesh);
    // A pre-lit mesh (TZevLVertex elements).
    virtual void DrawMesh(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh);

    // Render list: (frame, visual) pairs collected while the tree is walked, drawn after the walk.
    virtual void AddRenderItem(TZevVFrame* frame, TZevVMesh* visual);
    // The first pair of the render list; both null when it is empty.
    virtual void GetFirstRenderItem(TZevVFrame** frame, TZevVMesh** visual);

    // Renders a scene: the view from the camera frame, the frame tree walked from `root`, then every visual of the
    // render list drawn with its frame.
    virtual void SetCameraFrame(TZevVFrame* root, TZevVFrame* cameraFrame);
    // Walks `root` with the 16 floats as its parent's world matrix.
    virtual void RenderVisual(TZevVFrame* root, const float* matrix);

    // Device operations.
    virtual void Clear() = 0;
    virtual TZevTextureHandle LoadTexture(const char* name) = 0;
    virtual void UnloadTexture(TZevTextureHandle handle) = 0;
    // The registry entry of the name, loaded by this renderer: the device is asked once per entry. Null when the
    // device cannot load it; the caller's reference is then dropped (other holders keep the entry).
    virtual TZevTextureName* LoadTextureByName(const char* name);

    // Render states. The first three are set by every mesh before it draws and recorded in each queued command;
    // the stencil-shadow switch says whether meshes draw shadow volumes. Each setter returns what it stored.
    virtual int SetAdditive(int value) { return Additive = value; }
    virtual int GetAdditive() { return Additive; }
    virtual int SetTranslucent(int value) { return Translucent = value; }
    virtual int GetTranslucent() { return Translucent; }
    virtual int SetShadowVolume(int value) { return ShadowVolume = value; }
    virtual int GetShadowVolume() { return ShadowVolume; }
    virtual int SetStencilShadows(int value) { return StencilShadows = value; }
    virtual int GetStencilShadows() { return StencilShadows; }
    // A renderer that queues its draws keeps only pointers to the meshes until the queue is replayed: the number
    // of the present queue (it changes whenever the queue is emptied), so that a mesh rebuilt for each drawing
    // gives every drawing in one queue a block of its own. 0: every draw is done at once.
    virtual std::uint32_t GetQueueNumber() { return 0; }

    // Picking: the ray through a screen point (x, y, depth); filled by the device renderers.
    virtual void ScreenToWorld(const TZevVector& screen, TZevVector* direction, TZevVector* origin);

    // Linear table fog; the background colour is also the fog colour.
    virtual int SetFogEnable(int value) { return FogEnable = value; }
    virtual int GetFogEnable() { return FogEnable; }
    virtual float SetFogStart(float value) { return FogStart = value; }
    virtual float GetFogStart() { return FogStart; }
    virtual float SetFogEnd(float value) { return FogEnd = value; }
    virtual float GetFogEnd() { return FogEnd; }
    virtual std::uint32_t SetBackgroundColor(std::uint32_t value) { return BackgroundColor = value; }
    virtual std::uint32_t GetBackgroundColor() { return BackgroundColor; }

    // Hands a light to the device; nothing without one.
    virtual void SetLight(int index, const TZevLight* light);

    // The same operations under their other names.
    void DrawLitMesh(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                     TZevMeshData* mesh)
    {
        DrawMaterialMesh(texture, material, matrix, mesh);
    }
    void DeferVisual(TZevVFrame* frame, TZevVMesh* visual) { AddRenderItem(frame, visual); }
    void GetFirstDeferred(TZevVFrame** frame, TZevVMesh** visual) { GetFirstRenderItem(frame, visual); }
    void ReleaseTexture(TZevTextureHandle handle) { UnloadTexture(handle); }
    float SetFogNear(float value) { return SetFogStart(value); }
    float GetFogNear() { return GetFogStart(); }
    float SetFogFar(float value) { return SetFogEnd(value); }
    float GetFogFar() { return GetFogEnd(); }
    std::uint32_t SetFogColor(std::uint32_t value) { return SetBackgroundColor(value); }
    std::uint32_t GetFogColor() { return GetBackgroundColor(); }

    // Copies 16 floats into ProjectionMatrix.
    void SetProjectionMatrix(const float* elements);
    // 1 when the box, given in the frame of `matrix`, may be visible; 0 when it lies wholly outside one side plane
    // of the view pyramid.
    int IsBoxVisible(const TZevMatrix& matrix, const TZevBox& box);
    // Gives back and forgets every device texture that this renderer loaded; a device renderer calls it before
    // its device goes.
    void ReleaseAllTextures();

    TZevMatrix ProjectionMatrix;
    // The perspective the device uses; elements 0 and 5 (the horizontal and vertical scale) shape the view pyramid.
    TZevMatrix DeviceProjection;
    TZevMatrix ViewMatrix;
    float ViewSettings[16];
    float ViewPlaneScale;
    TZevVector Light0Direction;
    // Outward unit normals of the four side planes of the view pyramid, and the camera position, in world space.
    TZevVector FrustumNormals[4];
    TZevVector CameraPosition;
    // Frame and visual alternate: frame, visual, frame, visual, ...
    TZevList DeferredList;

    int Additive;
    int Translucent;
    int ShadowVolume;
    int StencilShadows;
    int FogEnable;
    float FogStart;
    float FogEnd;
    std::uint32_t BackgroundColor;

protected:
    // The software projection of the base drawing: a point in camera space to pixels; false when it lies at or in
    // front of the near distance 1.
    bool ProjectToScreen(const TZevVector& camera, TZevPoint2D* out);
    // The base drawing of both mesh layouts: the outline of every face.
    void DrawMeshEdges(const TZevMatrix& matrix, const TZevMeshData* mesh, bool lit);
    // Draws every (frame, visual) pair of the render list in order.
    void RenderDeferredVisuals();
};
