// Inline vector steps for the physics' inner loops. Each computes in single precision in the order written, as
// the shared vector functions do, so that results repeat bit for bit whichever form a file uses.
#pragma once

#include "ZevVector.h"

#include <cmath>

inline TZevVector Plus(const TZevVector& a, const TZevVector& b)
{
    return TZevVector(a.x + b.x, a.y + b.y, a.z + b.z);
}

inline TZevVector Minus(const TZevVector& a, const TZevVector& b)
{
    return TZevVector(a.x - b.x, a.y - b.y, a.z - b.z);
}

inline TZevVector Times(const TZevVector& v, float s)
{
    return TZevVector(v.x * s, v.y * s, v.z * s);
}

inline TZevVector Neg(const TZevVector& v)
{
    return TZevVector(-v.x, -v.y, -v.z);
}

inline float Dot(const TZevVector& a, const TZevVector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline TZevVector Cross(const TZevVector& a, const TZevVector& b)
{
    return TZevVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline float Length(const TZevVector& v)
{
    return std::sqrt(Dot(v, v));
}

// The part of v across the unit n.
inline TZevVector Across(const TZevVector& v, const TZevVector& n)
{
    return Minus(v, Times(n, Dot(v, n)));
}

// v / |v|, or zero when |v| is 1e-7 or less.
inline TZevVector UnitOrZero(const TZevVector& v)
{
    const float l = Length(v);
    if (!(l > 1e-7f))
        return TZevVector();
    return TZevVector(v.x / l, v.y / l, v.z / l);
}

// TZevVector::Normalize in line, with the same steps: the edge and face contact tests call it several times per
// re-test, and the call cost showed in their profiles. 0 (v unchanged) for a zero or unordered length.
inline int NormalizeInPlace(TZevVector& v)
{
    const float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    if (!(squared > 0.0f))
        return 0;
    const float scale = 1.0f / std::sqrt(squared);
    v.x *= scale;
    v.y *= scale;
    v.z *= scale;
    return 1;
}
