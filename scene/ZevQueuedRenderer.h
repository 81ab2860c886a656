// A renderer that turns every drawing call of the scene into a queued draw command, so that the scene can be
// walked at any time and the device renderers replay the whole queue inside their device scene.
#pragma once

#include "Zev3DRenderer.h"
#include "ZevDrawCommand.h"

// Viewport of a device renderer, in pixels and depth range.
struct TZevViewport {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    float MinZ = 0.0f;
    float MaxZ = 1.0f;
};

class TZevVBitmap;

class TZevQueuedRenderer : public TZev3DRenderer {
public:
    TZevQueuedRenderer() = default;
    // Recycles every command still queued.
    ~TZevQueuedRenderer() override;

    // Queuing: each takes a command, fills it, records the additive, translucent and shadow-volume states and
    // appends it to CommandQueue. Points and line records are copied; meshes, materials and textures are
    // referenced (they outlive the frame).
    void DrawPolyline(const TZevPoint2D* points, int count) override;
    void DrawLineList(TZevList* list) override;
    void DrawPolylineColor(std::uint32_t color, const TZevPoint2D* points, int count) override;
    void DrawLines3D(const TZevMatrix& matrix, TZevList* segments) override;
    void DrawMaterialMesh(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                          TZevMeshData* mesh) override;
    void DrawMesh(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh) override;

    // Gives every queued command (with its records) back to the calling thread's free lists and empties the queue.
    virtual void ClearCommands();
    // Replays every queued command in order, then clears the queue.
    void ReplayCommands();
    std::uint32_t GetQueueNumber() override { return QueueNumber; }

    // Device operations that the device renderers fill; nothing happens here.
    virtual void Release() {}
    virtual void DrawScreenLines(const TZevPoint2D*, int) {}
    virtual void DrawScreenLineList(TZevList*) {}
    virtual void DrawScreenLinesColor(std::uint32_t, const TZevPoint2D*, int) {}
    virtual void DrawWorldLines(const TZevMatrix&, TZevList*) {}
    virtual void DrawMaterialMeshNow(TZevTextureName*, const TZevMaterial*, const TZevMatrix&, TZevMeshData*) {}
    virtual void DrawLitMeshNow(TZevTextureName*, const TZevMatrix&, TZevMeshData*) {}
    virtual void SetFullScreen(int) {}
    virtual int GetFullScreen() { return 0; }
    virtual void AddText(const char*) {}
    virtual void DrawText(int, int, const char*) {}
    virtual int Present() { return 0; }
    virtual int RestoreSurfaces() { return 0; }
    virtual int SetViewport(const TZevViewport*) { return 0; }
    virtual int GetViewport(TZevViewport*) { return 0; }
    // Copies the picture of the last frame into `target`, sized by the caller (row 0 is the bottom row, as in a
    // BMP file); false when the device cannot read its picture back.
    virtual bool CaptureFrame(TZevVBitmap*) { return false; }

    TZevList CommandQueue; // of TZevDrawCommand*, in call order

protected:
    // A fresh command of the kind with the current states, appended to the queue.
    TZevDrawCommand* QueueCommand(std::int32_t kind);

private:
    std::uint32_t QueueNumber = 1; // never 0
};
