// 4x4 and 3x3 matrices of 32-bit floats in the row-vector convention: a point is a row vector multiplied on the
// left (p' = p x M), element index = 4 x row + column, translation in elements 12, 13, 14, element 15 is 1.
#pragma once

#include "ZevVector.h"

struct TZevMatrix {
    float m[16];

    // The identity.
    constexpr TZevMatrix() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}
    constexpr TZevMatrix(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8,
                         float m9, float m10, float m11, float m12, float m13, float m14, float m15)
        : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15}
    {
    }
    // From 16 floats in row order.
    explicit TZevMatrix(const float* elements);

    float& operator[](int i) { return m[i]; }
    const float& operator[](int i) const { return m[i]; }
};

struct TZevMatrix3 {
    float m[9];

    constexpr TZevMatrix3() : m{1, 0, 0, 0, 1, 0, 0, 0, 1} {}
    constexpr TZevMatrix3(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8)
        : m{m0, m1, m2, m3, m4, m5, m6, m7, m8}
    {
    }

    float& operator[](int i) { return m[i]; }
    const float& operator[](int i) const { return m[i]; }
};

inline constexpr TZevMatrix IdentityMatrix{};

TZevMatrix& ZevMatCopy(TZevMatrix& destination, const TZevMatrix& source);

// result = a x b: applied to a point, a first, then b. All inputs are read before the result is written, so the
// result may be a or b.
TZevMatrix& ZevMatMultiply(TZevMatrix& result, const TZevMatrix& a, const TZevMatrix& b);

// point x matrix including the translation row; elements 3, 7, 11 and 15 are not used (no division by w).
TZevVector& ZevVecTransform(TZevVector& result, const TZevVector& point, const TZevMatrix& matrix);
TZevVector& ZevVecTransformTo(const TZevVector& point, const TZevMatrix& matrix, TZevVector& result);
// v x the 3x3 part only: turns a direction without moving it.
TZevVector& ZevVecRotate(TZevVector& result, const TZevVector& v, const TZevMatrix& matrix);

// Inverse of an affine matrix (elements 3, 7, 11, 15 of the input are not read). A singular 3x3 part, or one whose
// inverse does not fit in floats, gives false and the identity, never infinities.
[[nodiscard]] bool ZevMatInverse(TZevMatrix& result, const TZevMatrix& m);

TZevMatrix& ZevMatScaling(TZevMatrix& result, float sx, float sy, float sz);
TZevMatrix& ZevMatTranslation(TZevMatrix& result, float x, float y, float z);
// Angles in radians.
TZevMatrix& ZevMatRotationX(TZevMatrix& result, float angle);
TZevMatrix& ZevMatRotationY(TZevMatrix& result, float angle);
TZevMatrix& ZevMatRotationZ(TZevMatrix& result, float angle);
// Rotation by the angle |w| t about w / |w| (w an angular velocity, t a time step); the identity when |w| is at or
// below 1e-7, not a number or infinite.
TZevMatrix& ZevMatRotationFromVector(TZevMatrix& result, float wx, float wy, float wz, float t);
inline TZevMatrix& ZevMatRotationFromVector(TZevMatrix& result, const TZevVector& w, float t)
{
    return ZevMatRotationFromVector(result, w.x, w.y, w.z, t);
}
// The translation as a value.
inline TZevMatrix ZevMatTranslation(float x, float y, float z)
{
    TZevMatrix result;
    return ZevMatTranslation(result, x, y, z);
}
