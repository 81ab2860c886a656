#include "ZevMatrix.h"

#include <cmath>

namespace {

// Sine and cosine of a float angle, computed in double precision and stored as floats.
float SinF(float angle)
{
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}

float CosF(float angle)
{
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}

} // namespace

TZevMatrix::TZevMatrix(const float* elements)
{
    for (int i = 0; i < 16; ++i)
        m[i] = elements[i];
}

TZevMatrix& ZevMatCopy(TZevMatrix& destination, const TZevMatrix& source)
{
    destination = source;
    return destination;
}

TZevMatrix& ZevMatMultiply(TZevMatrix& result, const TZevMatrix& a, const TZevMatrix& b)
{
    const TZevMatrix x = a;
    const TZevMatrix y = b;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            result.m[4 * i + j] = x.m[4 * i + 0] * y.m[0 + j] + x.m[4 * i + 1] * y.m[4 + j] +
                                  x.m[4 * i + 2] * y.m[8 + j] + x.m[4 * i + 3] * y.m[12 + j];
    return result;
}

TZevVector& ZevVecTransform(TZevVector& result, const TZevVector& p, const TZevMatrix& matrix)
{
    const float* m = matrix.m;
    result = TZevVector(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                        p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]);
    return result;
}

TZevVector& ZevVecTransformTo(const TZevVector& point, const TZevMatrix& matrix, TZevVector& result)
{
    return ZevVecTransform(result, point, matrix);
}

TZevVector& ZevVecRotate(TZevVector& result, const TZevVector& v, const TZevMatrix& matrix)
{
    const float* m = matrix.m;
    result = TZevVector(v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
                        v.x * m[2] + v.y * m[6] + v.z * m[10]);
    return result;
}

bool ZevMatInverse(TZevMatrix& result, const TZevMatrix& matrix)
{
    const TZevMatrix s = matrix; // the result may be the input
    const float* m = s.m;
    const float det =
        m[0] * (m[5] * m[10] - m[9] * m[6]) - m[1] * (m[4] * m[10] - m[8] * m[6]) + m[2] * (m[9] * m[4] - m[8] * m[5]);
    // A zero or non-finite determinant would spread infinities or NaN through every later product.
    if (!(det != 0.0f) || !std::isfinite(det)) {
        result = IdentityMatrix;
        return false;
    }
    TZevMatrix r;
    // Transposed cofactors, each divided by the determinant.
    r.m[0] = (m[5] * m[10] - m[9] * m[6]) / det;
    r.m[1] = (m[9] * m[2] - m[1] * m[10]) / det;
    r.m[2] = (m[1] * m[6] - m[5] * m[2]) / det;
    r.m[3] = 0.0f;
    r.m[4] = (m[8] * m[6] - m[4] * m[10]) / det;
    r.m[5] = (m[0] * m[10] - m[8] * m[2]) / det;
    r.m[6] = (m[4] * m[2] - m[0] * m[6]) / det;
    r.m[7] = 0.0f;
    r.m[8] = (m[4] * m[9] - m[8] * m[5]) / det;
    r.m[9] = (m[8] * m[1] - m[0] * m[9]) / det;
    r.m[10] = (m[0] * m[5] - m[4] * m[1]) / det;
    r.m[11] = 0.0f;
    // Subtracted from +0 rather than negated, so that a zero translation stays +0 (the identity inverts to itself
    // bit for bit).
    r.m[12] = 0.0f - (m[12] * r.m[0] + m[13] * r.m[4] + m[14] * r.m[8]);
    r.m[13] = 0.0f - (m[12] * r.m[1] + m[13] * r.m[5] + m[14] * r.m[9]);
    r.m[14] = 0.0f - (m[12] * r.m[2] + m[13] * r.m[6] + m[14] * r.m[10]);
    r.m[15] = 1.0f;
    // A nearly singular part can still overflow; such an inverse is no more usable than a singular one.
    for (float e : r.m)
        if (!std::isfinite(e)) {
            result = IdentityMatrix;
            return false;
        }
    result = r;
    return true;
}

TZevMatrix& ZevMatScaling(TZevMatrix& result, float sx, float sy, float sz)
{
    result = TZevMatrix(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1);
    return result;
}

TZevMatrix& ZevMatTranslation(TZevMatrix& result, float x, float y, float z)
{
    result = TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1);
    return result;
}

TZevMatrix& ZevMatRotationX(TZevMatrix& result, float angle)
{
    const float c = CosF(angle);
    const float s = SinF(angle);
    result = TZevMatrix(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return result;
}

TZevMatrix& ZevMatRotationY(TZevMatrix& result, float angle)
{
    const float c = CosF(angle);
    const float s = SinF(angle);
    result = TZevMatrix(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return result;
}

TZevMatrix& ZevMatRotationZ(TZevMatrix& result, float angle)
{
    const float c = CosF(angle);
    const float s = SinF(angle);
    result = TZevMatrix(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return result;
}

TZevMatrix& ZevMatRotationFromVector(TZevMatrix& result, float wx, float wy, float wz, float t)
{
    const float length = std::sqrt(wx * wx + wy * wy + wz * wz);
    // The threshold is compared as a float: a vector of exactly 1e-7f counts as no rotation. NaN and infinity have
    // no axis either.
    if (!(length > 1e-7f) || !std::isfinite(length)) {
        result = IdentityMatrix;
        return result;
    }
    const float inv = 1.0f / length;
    const float x = wx * inv;
    const float y = wy * inv;
    const float z = wz * inv;
    const float angle = length * t;
    const float s = SinF(angle);
    const float c = CosF(angle);
    const float k = 1.0f - c;
    result = TZevMatrix(k * x * x + c, k * x * y + s * z, k * x * z - s * y, 0,  //
                        k * x * y - s * z, k * y * y + c, k * y * z + s * x, 0,  //
                        k * x * z + s * y, k * y * z - s * x, k * z * z + c, 0,  //
                        0, 0, 0, 1);
    return result;
}
