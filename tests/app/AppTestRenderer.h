// A renderer for the scene and host tests: the host's device slots append to a log in call order, the queued
// commands are replayed (and recorded) in the frame slot as a device renderer does, and the frame it captures is
// a known picture.
#pragma once

#include "../scene/RecordingRenderer.h"

#include "ZevBitmap.h"
#include "ZevLight.h"

#include <string>
#include <vector>

class TAppTestRenderer : public TRecordingRenderer {
public:
    struct TText {
        int X;
        int Y;
        std::string Text;
    };

    std::vector<std::string> Log; // "Restore", "Clear", "RenderFrame", "Text", "Present", "AddText"
    std::vector<TText> Texts;
    std::vector<std::string> Directories; // AddText
    std::vector<TZevLight> Lights;
    bool CanCapture = true;

    int RestoreSurfaces() override
    {
        Log.push_back("Restore");
        return 1;
    }
    void Clear() override
    {
        Log.push_back("Clear");
        TRecordingRenderer::Clear();
    }
    void SetCameraFrame(TZevVFrame* root, TZevVFrame* camera) override
    {
        Log.push_back("RenderFrame");
        Calls.clear();
        TRecordingRenderer::SetCameraFrame(root, camera);
        ReplayQueue();
    }
    void DrawText(int x, int y, const char* text) override
    {
        Log.push_back("Text");
        Texts.push_back({x, y, text ? text : "(null)"});
    }
    int Present() override
    {
        Log.push_back("Present");
        return 1;
    }
    void AddText(const char* text) override
    {
        Log.push_back("AddText");
        Directories.push_back(text ? text : "(null)");
    }
    void SetLight(int index, const TZevLight* light) override
    {
        if (index == 0 && light)
            Lights.push_back(*light);
    }
    // A picture whose pixels depend on their place: red = x, green = y, blue = x + y (8 bits each).
    bool CaptureFrame(TZevVBitmap* target) override
    {
        if (!CanCapture || !target || !target->GetBits())
            return false;
        TZevBitmapAccess access(target);
        for (int y = 0; y < access.height; ++y)
            for (int x = 0; x < access.width; ++x)
                access.WritePixel(x, y, access.MakePixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                                         static_cast<std::uint8_t>(x + y), 255));
        return true;
    }

    int Count(const std::string& op) const
    {
        int n = 0;
        for (const std::string& s : Log)
            n += s == op;
        return n;
    }
    int MeshesDrawn() const { return CountOf("MaterialMeshNow") + CountOf("LitMeshNow"); }
};
