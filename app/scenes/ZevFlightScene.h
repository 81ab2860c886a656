// The flight test scene: an aircraft from "f22.x" flies over a land made from "land.bmp" with the texture
// "map.bmp"; the keys steer it and the camera follows. It keeps a world of its own, advanced only by the collision
// trees' own steps (no rigid-body world step), and publishes none of the engine globals: scripts and exported
// functions do not reach it.
#pragma once

#include "ZevGMLoop.h"

class TZevLandCTree;
class TZevPhscs2World;
class TZevPlaneChara;

class TZevFlightScene : public TZevGMBase {
public:
    TZevFlightScene() = default;
    // A scene destroyed without its Shutdown still frees its world.
    ~TZevFlightScene() override;

    void Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
              std::int32_t* quitFlag) override;
    // The aircraft's key hook, its collision with the land, every tree's own step of 0.02 s, the chase camera.
    void Step() override;
    // The world goes, with the aircraft and the land.
    void Shutdown() override;

    TZevPhscs2World* World = nullptr;
    TZevPlaneChara* Aircraft = nullptr;
    TZevLandCTree* Land = nullptr;
};
