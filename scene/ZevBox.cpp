#include "ZevBox.h"

void TZevBox::Set(const TZevVector& min, const TZevVector& max)
{
    const TZevVector lo = min; // either argument may be one of our own fields
    const TZevVector hi = max;
    Min = lo;
    Max = hi;
    Corners[0] = TZevVector(lo.x, lo.y, lo.z);
    Corners[1] = TZevVector(hi.x, lo.y, lo.z);
    Corners[2] = TZevVector(hi.x, hi.y, lo.z);
    Corners[3] = TZevVector(lo.x, hi.y, lo.z);
    Corners[4] = TZevVector(lo.x, lo.y, hi.z);
    Corners[5] = TZevVector(hi.x, lo.y, hi.z);
    Corners[6] = TZevVector(hi.x, hi.y, hi.z);
    Corners[7] = TZevVector(lo.x, hi.y, hi.z);
}

bool TZevBox::Overlaps(const TZevBox& other) const
{
    if (Min.x > other.Max.x || other.Min.x > Max.x)
        return false;
    if (Min.y > other.Max.y || other.Min.y > Max.y)
        return false;
    if (Min.z > other.Max.z || other.Min.z > Max.z)
        return false;
    return true;
}
