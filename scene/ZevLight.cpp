#include "ZevLight.h"

#include <cmath>

TZevLight::TZevLight()
    : Type(3), Diffuse{1.0f, 1.0f, 1.0f, 1.0f}, Specular{0.8f, 0.8f, 0.8f, 1.0f}, Ambient{1.0f, 1.0f, 1.0f, 1.0f},
      Position{0.0f, 1.0f, 0.0f}, Direction{0.0f, 0.0f, 0.0f},
      // The largest range a device accepts.
      Range(std::sqrt(3.4e37f)), Falloff(0.0f), Attenuation0(0.0f), Attenuation1(1.0f), Attenuation2(0.0f),
      Theta(0.0f), Phi(0.0f)
{
}
