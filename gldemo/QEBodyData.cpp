#include "QEBodyData.h"

#include "QEDataFiles.h"
#include "QEWorldData.h"

const char* const TQEBody_Data::StepFunctionName = "TQEBody_Data";

namespace {

void ScaleMatrix(float* m, float sx, float sy, float sz)
{
    for (int i = 0; i < 16; ++i)
        m[i] = 0.0f;
    m[0] = sx;
    m[5] = sy;
    m[10] = sz;
    m[15] = 1.0f;
}

} // namespace

TQEBody_Data::TQEBody_Data()
{
    if (CurrentWorldData)
        CurrentWorldData->Register(this);
}

TQEBody_Data::~TQEBody_Data()
{
    if (CurrentWorldData)
        CurrentWorldData->Unregister(this);
    DeleteBody();
}

void TQEBody_Data::DeleteBody()
{
    if (Handle)
        QE_DeleteXPhBody(Handle);
    Handle = nullptr;
}

void TQEBody_Data::AttachCallback()
{
    if (!Handle)
        return;
    QE_CFunctionDesc desc{};
    desc.stepFunction = StepFunctionName;
    desc.userData = this; // pointer-sized: the holder's address survives on 64-bit hosts
    QE_XPhBodySetCFunction(Handle, &desc);
}

bool TQEBody_Data::Load(const char* fileName)
{
    DeleteBody();
    Handle = QE_LoadXPhBody(fileName);
    AttachCallback();
    if (!Handle && fileName)
        NoteMissingDataFile(fileName);
    return Handle != nullptr;
}

bool TQEBody_Data::MakeEmpty()
{
    DeleteBody();
    Handle = QE_MakeEmptyXPhBody();
    AttachCallback();
    return Handle != nullptr;
}

int TQEBody_Data::AddToWorld()
{
    int result = QE_XPhBodyAddToWorld(Handle);
    if (CurrentWorldData) {
        CurrentWorldData->Unregister(this);
        CurrentWorldData->Register(this);
    }
    return result;
}

int TQEBody_Data::RemoveFromWorld()
{
    int result = QE_XPhBodyRemoveFromWorld(Handle);
    if (CurrentWorldData)
        CurrentWorldData->Unregister(this);
    return result;
}

int TQEBody_Data::SetFixed(bool fixed)
{
    return QE_SetXPhBodyPhysicsMode(Handle, fixed ? 0 : 1);
}

int TQEBody_Data::GetWorldMatrix(float* out16) const
{
    return QE_GetXPhBodyGMat(Handle, out16);
}

void TQEBody_Data::GetPosition(float* out3) const
{
    float m[16] = {};
    GetWorldMatrix(m);
    out3[0] = m[12];
    out3[1] = m[13];
    out3[2] = m[14];
}

int TQEBody_Data::SetPosition(float x, float y, float z)
{
    float m[16];
    if (!QE_GetXPhBodyMat(Handle, m))
        return 0;
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return QE_SetXPhBodyMat(Handle, m);
}

int TQEBody_Data::UpdateInertia(float s)
{
    float m[16];
    ScaleMatrix(m, s, s, s);
    QE_SetXPhVertexTransformMat(Handle, m);
    return SetInertiaFromBox();
}

int TQEBody_Data::SetScale(float sx, float sy, float sz)
{
    float m[16];
    ScaleMatrix(m, sx, sy, sz);
    QE_SetXPhVertexTransformMat(Handle, m);
    return UpdateInertia(1.0f);
}

int TQEBody_Data::SetTransform(const float* m16)
{
    QE_SetXPhVertexTransformMat(Handle, m16);
    return UpdateInertia(1.0f);
}

int TQEBody_Data::SetMass(float m)
{
    int result = QE_XPhBodySetMass(Handle, m);
    UpdateInertia(1.0f);
    return result;
}

float TQEBody_Data::GetMass() const
{
    float m = 0.0f;
    QE_XPhBodyGetMass(Handle, &m);
    return m;
}

int TQEBody_Data::SetAngularVelocity(float x, float y, float z)
{
    const float w[3] = {x, y, z};
    return QE_XPhBodySetAVelocity(Handle, w);
}

int TQEBody_Data::SetInertiaFromBox()
{
    float t[9] = {};
    if (!QE_XPhBodyGetInertiaTensorFromAABB(Handle, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &t[7], &t[8]))
        return 0;
    return QE_XPhBodySetInertiaTensor(Handle, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]);
}

int TQEBody_Data::SetCollisionVertices(int vertexCount, const QE_Vertex* vertices, int faceCount,
                                       const QE_Face* faces)
{
    return QE_SetCollisionVertices(Handle, vertexCount, vertices, faceCount, faces);
}

int TQEBody_Data::SetTexture(const char* fileName)
{
    const int result = QE_SetXPhBodyTexture(Handle, fileName);
    // The engine reads the bitmap when its pixels are first asked for: ask now, so a missing file is known before
    // anything is drawn.
    QE_RenderData data{};
    if (result && fileName && *fileName && QE_GetXPhBodyRenderData(Handle, &data) && !data.texturePixels)
        NoteMissingDataFile(fileName);
    return result;
}

int TQEBody_Data::SetAirResistance(float k)
{
    // The export trusts its handle: a holder without a body must not reach it.
    return Handle ? QE_XPhBodySetEAirRegistance1(Handle, k) : 0;
}

int TQEBody_Data::SetVisualMaterial(const float* diffuse4, const float* ambient4, const float* specular4,
                                    float power)
{
    return QE_XPhBodySetVisualMaterial(Handle, diffuse4, ambient4, specular4, power);
}

int TQEBody_Data::AddFixedChild(TQEBody_Data& other)
{
    return QE_XPhBodyAddFixedChild(Handle, other.Handle);
}

int TQEBody_Data::EnableCollisionPair(TQEBody_Data& other, int flag)
{
    return QE_XPhBodyEnableCollisionPair(Handle, other.Handle, flag);
}
