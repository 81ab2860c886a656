// One engine body of the demo, held by handle, with thin operations over the QE_ interface. Every stepped object
// of a scene derives from it: it registers with the live world holder when constructed, so its Step runs before
// each engine step.
#ifndef QE_BODY_DATA_H
#define QE_BODY_DATA_H

#include "qe.h"

class TQEBody_Data {
public:
    TQEBody_Data();
    virtual ~TQEBody_Data();
    TQEBody_Data(const TQEBody_Data&) = delete;
    TQEBody_Data& operator=(const TQEBody_Data&) = delete;

    virtual void Step() {}
    virtual void Draw() {}

    QE_XPhBody* GetHandle() const { return Handle; }

    bool Load(const char* fileName);
    bool MakeEmpty();
    int AddToWorld();
    int RemoveFromWorld();
    int SetFixed(bool fixed);
    int GetWorldMatrix(float* out16) const;
    // Elements 12 to 14 of the world matrix (zero without a body).
    void GetPosition(float* out3) const;
    int SetPosition(float x, float y, float z);
    int UpdateInertia(float s);
    int SetScale(float sx, float sy, float sz);
    int SetTransform(const float* m16);
    int SetMass(float m);
    float GetMass() const;
    int SetAngularVelocity(float x, float y, float z);
    int SetInertiaFromBox();
    int SetCollisionVertices(int vertexCount, const QE_Vertex* vertices, int faceCount, const QE_Face* faces);
    int SetTexture(const char* fileName);
    int SetAirResistance(float k);
    int SetVisualMaterial(const float* diffuse4, const float* ambient4, const float* specular4, float power);
    int AddFixedChild(TQEBody_Data& other);
    int EnableCollisionPair(TQEBody_Data& other, int flag);

    // The name of the step function that every held body carries, so the engine body leads back to its holder.
    static const char* const StepFunctionName;

private:
    void DeleteBody();
    void AttachCallback();

    QE_XPhBody* Handle = nullptr;
};

#endif
