#include "ZevVector.h"

#include <cmath>
#include <limits>

float TZevVector::Length() const
{
    return std::sqrt(x * x + y * y + z * z);
}

int TZevVector::Normalize()
{
    const float squared = x * x + y * y + z * z;
    if (!(squared > 0.0f))
        return 0;
    const float scale = 1.0f / std::sqrt(squared);
    x *= scale;
    y *= scale;
    z *= scale;
    return 1;
}

TZevVector& ZevVecAdd(TZevVector& result, const TZevVector& a, const TZevVector& b)
{
    result = TZevVector(a.x + b.x, a.y + b.y, a.z + b.z);
    return result;
}

TZevVector& ZevVecSub(TZevVector& result, const TZevVector& a, const TZevVector& b)
{
    result = TZevVector(a.x - b.x, a.y - b.y, a.z - b.z);
    return result;
}

float ZevVecDot(const TZevVector& a, const TZevVector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

TZevVector& ZevVecCross(TZevVector& result, const TZevVector& a, const TZevVector& b)
{
    // Built in a temporary first: the result may be one of the operands.
    result = TZevVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    return result;
}

TZevVector& ZevVecCrossTo(const TZevVector& a, const TZevVector& b, TZevVector& result)
{
    return ZevVecCross(result, a, b);
}

TZevVector& ZevScalarTimesVec(TZevVector& result, float s, const TZevVector& v)
{
    result = TZevVector(s * v.x, s * v.y, s * v.z);
    return result;
}

TZevVector& ZevVecTimesScalar(TZevVector& result, const TZevVector& v, float s)
{
    return ZevScalarTimesVec(result, s, v);
}

float ZevAcosF(float value)
{
    double v = value;
    if (v > 1.0)
        v = 1.0;
    else if (v < -1.0)
        v = -1.0;
    return static_cast<float>(std::acos(v));
}

float ZevFabsF(float value)
{
    return static_cast<float>(std::fabs(static_cast<double>(value)));
}

int ZevFloatToInt(float value)
{
    if (!(value == value))
        return 0;
    // 2^31 is exactly representable; every float below it in magnitude truncates into range.
    if (value >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    if (value < -2147483648.0f)
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
