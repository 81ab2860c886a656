// The script-driven scene: the scene of every .lsp menu entry of the demo and of the embedding exports. Its
// content comes entirely from the scripts loaded into its interpreter host; it steps the world as the scripts'
// step and repeat sizes say and leaves the camera to them.
#pragma once

#include "ZevGMLoop.h"

#include <cstdint>

// Thousandths of a world step carried over between the frames of script scenes while the repeat size is below
// 1000 (program-wide: it carries over between scenes too).
extern std::int32_t ScriptSceneStepAccumulator;

class TZevLispGMLoop : public TZevGMLoop {
public:
    TZevLispGMLoop() = default;
    ~TZevLispGMLoop() override = default;

    // The key hook, pause and SHIFT overlay of the default step; then repeat size / 1000 world steps of the step
    // size (or one step every 1000 / repeat size frames), or, while the simulation is switched off, only the
    // per-step update of the edit characters' body trees.
    void Step() override;
    // The light and the world parameters that DefaultWorld.lsp and the scene's file start from.
    void Setup() override;
    // The host program's edit character goes with the scene.
    void OnShutdown() override;
};
