// Surface material of a mesh: the colours a renderer lights it with.
#pragma once

struct TZevMaterial {
    float Diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f}; // RGBA
    float Ambient[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float Specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float Power = 20.0f;
};
static_assert(sizeof(TZevMaterial) == 13 * sizeof(float));

// The material every mesh starts from.
inline constexpr TZevMaterial DefaultMaterial{};
