// A panel that embeds one DirectDraw 7 renderer drawing into the panel, and a top-level form whose only content is
// such a panel of 640 x 480 pixels. The renderer stays uninitialised until the owner resets it; a new client size
// rebuilds its surfaces.
#pragma once

#include "ZevControls.h"
#include "ZevDX7Renderer.h"
#include "ZevWin.h"

class TZevDX7Panel : public TZevPanel {
public:
    // Releases the renderer.
    void OnDestroy() override;
    // Release, windowed, then the renderer set up on the panel's window.
    virtual void ResetRenderer();

    TZevDX7Renderer Renderer;
};

class TZevDX7Form : public TZevWin {
public:
    // The panel at (0, 0), 640 x 480, and the form around it.
    void OnCreate() override;
    // The panel's renderer, reset.
    virtual void ResetRenderer();
    // The panel at the new size, and its renderer reset to match it.
    virtual void SetClientSize(std::int32_t width, std::int32_t height);

    TZevDX7Panel* Panel = nullptr;
};

extern TZevClassRecord TZevDX7PanelClassRecord;
extern TZevClassRecord TZevDX7FormClassRecord;
TZevLSObj* CreateTZevDX7Panel();
TZevLSObj* CreateTZevDX7Form();
