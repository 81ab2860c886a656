// Renderers for tests: every device operation appends a record, so that culling, render states, queued commands
// and mesh drawing are checked without a GPU.
#pragma once

#include "ZevMeshPools.h"
#include "ZevQueuedRenderer.h"

#include <set>
#include <string>
#include <vector>

struct TRecordedCall {
    std::string Op; // "Polyline", "ScreenLines", "ScreenLinesColor", "ScreenLineList", "WorldLines",
                    // "MaterialMeshNow", "LitMeshNow", "Clear", "LoadTexture", "UnloadTexture"
    std::vector<TZevPoint2D> Points;
    std::uint32_t Color = 0;
    std::vector<TZevLineRecord> Lines;
    std::vector<TZevSegmentRecord> Segments;
    TZevMatrix Matrix;
    TZevTextureName* Texture = nullptr;
    const TZevMaterial* Material = nullptr;
    TZevMeshData* Mesh = nullptr;
    // The renderer's states when the device operation ran.
    int Additive = 0;
    int Translucent = 0;
    int ShadowVolume = 0;
    std::string Name;
    TZevTextureHandle Handle = 0;
};

// The device side shared by both recording renderers.
template <class Base> class TRecordingDevice : public Base {
public:
    int Width = 640;
    int Height = 480;
    std::vector<TRecordedCall> Calls;
    std::set<std::string> Unloadable; // names the device cannot load
    TZevTextureHandle NextHandle = 100;

    ~TRecordingDevice() override
    {
        // A device renderer gives its textures back before its device goes.
        this->ReleaseAllTextures();
    }

    int GetWidth() override { return Width; }
    int GetHeight() override { return Height; }
    void Clear() override { Record("Clear"); }
    TZevTextureHandle LoadTexture(const char* name) override
    {
        TRecordedCall& c = Record("LoadTexture");
        c.Name = name ? name : "(null)";
        c.Handle = Unloadable.count(c.Name) ? 0 : NextHandle++;
        return c.Handle;
    }
    void UnloadTexture(TZevTextureHandle handle) override { Record("UnloadTexture").Handle = handle; }

    int CountOf(const std::string& op) const
    {
        int n = 0;
        for (const TRecordedCall& c : Calls)
            n += c.Op == op;
        return n;
    }

protected:
    TRecordedCall& Record(const char* op)
    {
        TRecordedCall c;
        c.Op = op;
        c.Additive = this->GetAdditive();
        c.Translucent = this->GetTranslucent();
        c.ShadowVolume = this->GetShadowVolume();
        Calls.push_back(c);
        return Calls.back();
    }
    static std::vector<TZevPoint2D> Copy(const TZevPoint2D* points, int count)
    {
        return points && count > 0 ? std::vector<TZevPoint2D>(points, points + count) : std::vector<TZevPoint2D>();
    }
};

// The base renderer without a queue: its software drawing ends in DrawPolyline.
class TRecordingBaseRenderer : public TRecordingDevice<TZev3DRenderer> {
public:
    void DrawPolyline(const TZevPoint2D* points, int count) override
    {
        Record("Polyline").Points = Copy(points, count);
    }
};

// A queued renderer whose immediate drawing operations record what a device would draw.
class TRecordingRenderer : public TRecordingDevice<TZevQueuedRenderer> {
public:
    void DrawScreenLines(const TZevPoint2D* points, int count) override
    {
        Record("ScreenLines").Points = Copy(points, count);
    }
    void DrawScreenLinesColor(std::uint32_t color, const TZevPoint2D* points, int count) override
    {
        TRecordedCall& c = Record("ScreenLinesColor");
        c.Color = color;
        c.Points = Copy(points, count);
    }
    void DrawScreenLineList(TZevList* list) override
    {
        TRecordedCall& c = Record("ScreenLineList");
        for (void* item : *list)
            c.Lines.push_back(*static_cast<TZevLineRecord*>(item));
    }
    void DrawWorldLines(const TZevMatrix& matrix, TZevList* list) override
    {
        TRecordedCall& c = Record("WorldLines");
        c.Matrix = matrix;
        for (void* item : *list)
            c.Segments.push_back(*static_cast<TZevSegmentRecord*>(item));
    }
    void DrawMaterialMeshNow(TZevTextureName* texture, const TZevMaterial* material, const TZevMatrix& matrix,
                             TZevMeshData* mesh) override
    {
        TRecordedCall& c = Record("MaterialMeshNow");
        c.Texture = texture;
        c.Material = material;
        c.Matrix = matrix;
        c.Mesh = mesh;
    }
    void DrawLitMeshNow(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh) override
    {
        TRecordedCall& c = Record("LitMeshNow");
        c.Texture = texture;
        c.Matrix = matrix;
        c.Mesh = mesh;
    }

    // What a device renderer does inside its scene: each command drawn with the states recorded in it, then the
    // queue recycled.
    void ReplayQueue()
    {
        for (void* item : CommandQueue) {
            TZevDrawCommand* command = static_cast<TZevDrawCommand*>(item);
            SetAdditive(command->State1);
            SetTranslucent(command->State2);
            SetShadowVolume(command->State3);
            command->Replay(this);
        }
        ClearCommands();
    }
};
