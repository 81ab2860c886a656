// Axis-aligned box: the two extreme corners, then the eight corner points (the face at the minimum z in turn,
// then the face at the maximum z in the same order). Code that needs only the extent reads Min and Max.
#pragma once

#include "ZevVector.h"

struct TZevBox {
    TZevVector Min;
    TZevVector Max;
    TZevVector Corners[8];

    // Stores the two corners and derives the eight corner points.
    void Set(const TZevVector& min, const TZevVector& max);
    // Closed intervals on every axis: touching boxes overlap.
    bool Overlaps(const TZevBox& other) const;
};
