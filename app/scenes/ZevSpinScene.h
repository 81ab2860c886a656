// The spinning-spheres scene (the collision load of "GM Bench"): two sphere bodies, moved only by the scene, turn
// in place every frame, overlapping each other.
#pragma once

#include "ZevGMLoop.h"

#include <cstdint>

class TZevSpinScene : public TZevGMLoop {
public:
    TZevSpinScene() = default;
    ~TZevSpinScene() override;

    // Both spheres turn 0.01 rad about y, the second also about x; SHIFT shows the bodies' boxes; one world step.
    void Step() override;
    void Setup() override;
    // The two spheres go.
    void OnShutdown() override;

    // A kinematic sphere body of n rings and 2n segments at `matrix`, in the world with its frame under the
    // root frame; null when it cannot be made.
    TZevGameChara* MakeSphereBody(std::int32_t resolution, const TZevMatrix& matrix);

    std::int32_t Resolution = 8;
    std::int32_t SphereCount = 0;
    float Spacing = 0.0f; // the spheres start at -d and +d on x
    TZevGameChara** Spheres = nullptr; // owned array of SphereCount bodies
};
