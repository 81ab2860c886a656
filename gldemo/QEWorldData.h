// The physics-only world of the demo: opens the engine's physics-only run, steps every registered object and then
// the engine, and draws every engine body with OpenGL.
#ifndef QE_WORLD_DATA_H
#define QE_WORLD_DATA_H

#include "qe.h"

#include <string>
#include <vector>

class TQEBody_Data;

class TQEWorld_Data {
public:
    TQEWorld_Data();
    virtual ~TQEWorld_Data();
    TQEWorld_Data(const TQEWorld_Data&) = delete;
    TQEWorld_Data& operator=(const TQEWorld_Data&) = delete;

    void Step();
    void Draw();

    void Register(TQEBody_Data* object);
    void Unregister(TQEBody_Data* object);
    const std::vector<TQEBody_Data*>& Objects() const { return Registered; }

    // The OpenGL texture of a body's texture pixels, uploaded on first use and kept while the world lasts (a
    // body's texture stays the same from frame to frame); 0 when it cannot be made.
    unsigned int TextureOf(const QE_RenderData& data);

private:
    struct KeptTexture {
        std::string name;
        const void* pixels;
        int width;
        int height;
        unsigned int texture;
    };

    std::vector<TQEBody_Data*> Registered; // stepping order; not owned
    std::vector<KeptTexture> Textures;
};

extern TQEWorld_Data* CurrentWorldData;

// Draws one engine body with the fixed-function pipeline (the enumeration callback of TQEWorld_Data::Draw).
int DrawBodyCallback(QE_XPhBody* body, void* userData);

// Divides by the length; a vector whose squared length is not above 0 stays as it is and the result is false.
bool NormalizeVector(float* v3);
// Turns m into a camera at its own translation looking at target: rows (-x, 0), (y, 0), (z, 0), (eye, 1).
void LookAtMatrix(float* m16, const float* target3, const float* up3);
int SetCameraLookAt(const float* eye3, const float* target3, const float* up3);
// Inverse of a rotation-and-translation matrix in row-vector form.
void AffineInverse(float* out16, const float* m16);

#endif
