// Three-component vector of 32-bit floats and the free functions of vector arithmetic.
// Every operation computes in single precision in the order written, so results repeat bit for bit.
#pragma once

struct TZevVector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr TZevVector() = default;
    constexpr TZevVector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    // Copies the other's components and returns a copy of the result.
    TZevVector Assign(const TZevVector& other)
    {
        x = other.x;
        y = other.y;
        z = other.z;
        return *this;
    }
    void Add(float ax, float ay, float az)
    {
        x += ax;
        y += ay;
        z += az;
    }

    float Length() const;
    // Scales to unit length and returns 1; a zero or not-a-number length leaves the vector as it is and returns 0.
    int Normalize();
};

// The result goes into the first argument, except for the *To forms, which write into the last one.
TZevVector& ZevVecAdd(TZevVector& result, const TZevVector& a, const TZevVector& b);
TZevVector& ZevVecSub(TZevVector& result, const TZevVector& a, const TZevVector& b);
float ZevVecDot(const TZevVector& a, const TZevVector& b);
TZevVector& ZevVecCross(TZevVector& result, const TZevVector& a, const TZevVector& b);
TZevVector& ZevVecCrossTo(const TZevVector& a, const TZevVector& b, TZevVector& result);
TZevVector& ZevScalarTimesVec(TZevVector& result, float s, const TZevVector& v);
TZevVector& ZevVecTimesScalar(TZevVector& result, const TZevVector& v, float s);

// Arc cosine and absolute value, computed in double precision and stored as floats. The arc cosine takes its
// argument clamped to [-1, 1], so a dot product of unit vectors that rounds a little past 1 gives 0, not NaN.
float ZevAcosF(float value);
float ZevFabsF(float value);

// Truncation toward zero with a defined result everywhere: NaN gives 0, values beyond the int range give its ends.
int ZevFloatToInt(float value);
