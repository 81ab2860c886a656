// The engine instance of the embedding exports: a host program embeds a view in its own window (or on its own
// device) through QE_DX7InitFromHWND and its kin, drives frames, rendering and mouse input itself, and ends with
// QE_Final. Further scripts reach the instance through QE_SendLispCommand.
//
// One instance at a time: an init export ends the instance that runs before it makes its own. The frame exports act
// on CurrentEngineHost, the host started last (a view window of the demo program publishes its host too). Only the
// mouse exports take GlobalLock; a host calls the others from one thread.
#pragma once

#include "ZevEngineHost.h"
#include "ZevRendererKind.h"

#include <cstdint>

class TZevGMBase;
class TZevQueuedRenderer;

class TZevEngineInstance : public TZevAllocated {
public:
    TZevEngineInstance() = default;
    // The plug-ins unloaded, the run ended (scene and frames deleted), the renderer deleted.
    virtual ~TZevEngineInstance();
    TZevEngineInstance(const TZevEngineInstance&) = delete;
    TZevEngineInstance& operator=(const TZevEngineInstance&) = delete;

    TZevQueuedRenderer* Renderer = nullptr; // owned
    TZevEngineHost Host;
    std::uint8_t KeyTable[256] = {};
    TZevGMBase* Scene = nullptr; // the host's
};

// The instance made by the last successful init export; null before and after.
extern TZevEngineInstance* CurrentEngineInstance;
// How QE_RenderToHWND shows its picture (the Direct3D 8 manner's device present; null for the DirectDraw 7 manner).
extern TZevPresentHook PresentHook;
// Handed to every new renderer of an init export.
extern std::int32_t EmbedFullScreen;
extern std::int32_t EmbedShadow;

// The text of QE_About.
constexpr const char* EngineVersionText = "Orvelle Physics Engine Ver.1.3.0";

// Clips a rectangle to [0, width) x [0, height); false when nothing is left of it.
bool ZevClipRect(TZevPixelRect* rect, std::int32_t width, std::int32_t height);
