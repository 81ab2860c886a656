// Light record handed to the device renderers (26 words). The three colours go to the device as its diffuse,
// specular and ambient colour.
#pragma once

#include <cstdint>

struct TZevLight {
    TZevLight();

    std::int32_t Type;    // 1 point, 2 spot, 3 directional
    float Diffuse[4];     // RGBA
    float Specular[4];
    float Ambient[4];
    float Position[3];
    float Direction[3];
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};
static_assert(sizeof(TZevLight) == 26 * 4);
