// Scenes shared by the result-hash test and the step benchmarks: boxes on a floor (one at rest, towers, the
// pyramid, piles), hinge chains, and boxes dropped on a height-map terrain. Every world takes the physics-only
// parameters and every body is an engine body (a game character with a box mesh of 12 triangles), as the
// exported interface makes them.
#pragma once

#include "ZevBBoxTree.h"
#include "ZevBitmap.h"
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace physics_scenes {

struct Scene {
    std::unique_ptr<TZevPhscs2World> world;
    std::vector<TZevCollisionMeshObj*> bodies; // every body made, in the order made (the floor and land first)

    void Run(int steps, float dt = 0.02f)
    {
        for (int i = 0; i < steps; ++i)
            world->Step(dt);
    }
};

inline TZevMatrix At(float x, float y, float z)
{
    TZevMatrix m;
    ZevMatTranslation(m, x, y, z);
    return m;
}

inline Scene NewScene()
{
    ZevCharaInit();
    Scene s;
    s.world = std::make_unique<TZevPhscs2World>();
    ZevSetPhOnlyParameters(s.world.get());
    return s;
}

// A box of half side `half` at `pose`; mass 1.
inline TZevGameChara* AddBox(Scene& s, float half, const TZevMatrix& pose, bool fixed = false)
{
    TZevGameChara* body = ZevAsGameChara(CreateBoxXPhBody(nullptr, pose, nullptr, s.world.get(),
                                                          TZevVector(-half, -half, -half),
                                                          TZevVector(half, half, half), 1.0f));
    if (body != nullptr) {
        if (fixed)
            body->SetFixed(1);
        s.bodies.push_back(body);
    }
    return body;
}

// A fixed slab 40 x 1 x 40 whose top is y = 0.
inline void AddFloor(Scene& s)
{
    TZevGameChara* floor = ZevAsGameChara(CreateBoxXPhBody(nullptr, At(0, -0.5f, 0), nullptr, s.world.get(),
                                                           TZevVector(-20, -0.5f, -20), TZevVector(20, 0.5f, 20),
                                                           1.0f));
    if (floor != nullptr) {
        floor->SetFixed(1);
        s.bodies.push_back(floor);
    }
}

// One unit box a little above the floor.
inline Scene BoxAtRest()
{
    Scene s = NewScene();
    AddFloor(s);
    AddBox(s, 0.5f, At(0, 0.505f, 0));
    return s;
}

// `n` unit boxes stacked with gaps of 0.005.
inline Scene Tower(int n)
{
    Scene s = NewScene();
    AddFloor(s);
    for (int i = 0; i < n; ++i)
        AddBox(s, 0.5f, At(0, 0.5f + 1.005f * static_cast<float>(i), 0));
    return s;
}

// 10 rows of 10, 9, ..., 1 unit boxes: 55 boxes.
inline Scene Pyramid()
{
    Scene s = NewScene();
    AddFloor(s);
    const int rows = 10;
    for (int row = 0; row < rows; ++row)
        for (int i = 0; i < rows - row; ++i)
            AddBox(s, 0.5f,
                   At(1.1f * (static_cast<float>(i) - 0.5f * static_cast<float>(rows - row - 1)),
                      0.5f + 1.005f * static_cast<float>(row), 0));
    return s;
}

// A fixed sequence of numbers in [0, 1) that repeats on every machine.
class Lcg {
public:
    float Next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
    }

private:
    std::uint32_t state = 12345u;
};

// `n` unit boxes dropped on the floor in four loose layers, each box shifted and turned a little at random, so
// that they tumble into a pile. The layers keep their height whatever n: the footprint grows with n.
inline Scene Pile(int n)
{
    Scene s = NewScene();
    AddFloor(s);
    const int layers = 4;
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n) / layers)));
    const float pitch = 1.45f;
    Lcg random;
    for (int k = 0; k < n; ++k) {
        const int layer = k / (side * side);
        const int i = k % side;
        const int j = (k / side) % side;
        // A turn of up to 0.3 about each axis.
        TZevMatrix turn;
        ZevMatRotationFromVector(turn, random.Next() - 0.5f, random.Next() - 0.5f, random.Next() - 0.5f, 0.6f);
        turn.m[12] = pitch * (static_cast<float>(i) - 0.5f * static_cast<float>(side - 1)) + 0.2f * (random.Next() - 0.5f);
        turn.m[13] = 0.75f + pitch * static_cast<float>(layer);
        turn.m[14] = pitch * (static_cast<float>(j) - 0.5f * static_cast<float>(side - 1)) + 0.2f * (random.Next() - 0.5f);
        AddBox(s, 0.5f, turn);
    }
    return s;
}

// `piles` piles of `each` unit boxes dropped on the floor 6 units apart, four to a row: each pile tumbles on its own
// and touches no other, so the satisfy pass finds an island per pile, all sharing the floor.
inline Scene SeparatePiles(int piles, int each)
{
    Scene s = NewScene();
    AddFloor(s);
    Lcg random;
    for (int p = 0; p < piles; ++p) {
        const float x = 6.0f * (static_cast<float>(p % 4) - 1.5f);
        const float z = 6.0f * (static_cast<float>(p / 4) - 1.5f);
        for (int k = 0; k < each; ++k) {
            TZevMatrix turn;
            ZevMatRotationFromVector(turn, random.Next() - 0.5f, random.Next() - 0.5f, random.Next() - 0.5f, 0.6f);
            turn.m[12] = x + 0.6f * static_cast<float>(k % 2) + 0.2f * (random.Next() - 0.5f);
            turn.m[13] = 0.75f + 1.2f * static_cast<float>(k / 2);
            turn.m[14] = z + 0.2f * (random.Next() - 0.5f);
            AddBox(s, 0.5f, turn);
        }
    }
    return s;
}

// A fixed anchor and `n` boxes of side 0.4 hanging one unit apart below it, each hinged about z to the one above.
inline Scene HingeChain(int n)
{
    Scene s = NewScene();
    TZevGameChara* previous = AddBox(s, 0.2f, At(0, 0, 0), true);
    for (int i = 1; i <= n && previous != nullptr; ++i) {
        TZevGameChara* body = ZevAsGameChara(CreateBoxXPhBody(nullptr, At(0, -static_cast<float>(i), 0), nullptr,
                                                              nullptr, TZevVector(-0.2f, -0.2f, -0.2f),
                                                              TZevVector(0.2f, 0.2f, 0.2f), 1.0f));
        if (body == nullptr)
            break;
        CreateJoint(previous->RigidPart, body->RigidPart, TZevVector(0, -0.5f, 0), TZevVector(0, 0, 1),
                    TZevVector(1, 0, 0), 0.5f);
        s.world->AddBody(body);
        s.bodies.push_back(body);
        previous = body;
    }
    // A push sideways, so that the chain swings.
    if (s.bodies.size() > 1) {
        TZevPhscs2RigidBody* part = ZevAsGameChara(s.bodies[1])->RigidPart;
        part->Velocity = TZevVector(0.5f, 0.0f, 0.0f);
        part->PrevVelocity = part->Velocity;
    }
    return s;
}

// Smooth hills of up to `height` units over a `side` x `side` unit grid of height samples.
inline TZevLandCTree* AddHills(Scene& s, int side, float height)
{
    auto* bitmap = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    if (bitmap == nullptr)
        return nullptr;
    bitmap->Create(side, side, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    for (int j = 0; j < side; ++j) {
        std::uint32_t* row = reinterpret_cast<std::uint32_t*>(bitmap->GetBits() + j * bitmap->GetPitch());
        for (int i = 0; i < side; ++i) {
            const float h = 0.5f + 0.25f * std::sin(0.11f * static_cast<float>(i)) +
                            0.25f * std::cos(0.07f * static_cast<float>(j) +
                                             0.3f * std::sin(0.05f * static_cast<float>(i)));
            const auto g = static_cast<std::uint32_t>(std::lround(h * 255.0f));
            row[i] = 0xFF000000u | (g << 8);
        }
    }
    TZevMatrix placement;
    ZevMatScaling(placement, 1.0f, height, 1.0f);
    TZevLandCTree* land =
        CreateLandFromBitmaps(bitmap, nullptr, nullptr, s.world.get(), placement, side, side, 0.1f, 0.1f);
    bitmap->Release();
    if (land != nullptr)
        s.bodies.push_back(land);
    return land;
}

// `n` boxes of side 0.8 on a square lattice 3 units apart over the middle of a `side` x `side` terrain with hills
// of up to 6 units, dropped from 2 units above its highest point.
inline Scene BoxesOnTerrain(int n, int side = 128)
{
    Scene s = NewScene();
    const float height = 6.0f;
    if (AddHills(s, side, height) == nullptr)
        return s;
    const int perRow = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    const float middle = 0.5f * static_cast<float>(side);
    for (int k = 0; k < n; ++k) {
        const float x = 3.0f * static_cast<float>(k % perRow - perRow / 2) + middle + 0.37f;
        const float z = 3.0f * static_cast<float>(k / perRow - perRow / 2) + middle + 0.61f;
        AddBox(s, 0.4f, At(x, height + 2.0f, z));
    }
    return s;
}

} // namespace physics_scenes
