#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ZevMath.h"

namespace {

constexpr float kPi = 3.14159265358979f;

bool SameBits(const TZevMatrix& a, const TZevMatrix& b)
{
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

void ExpectNear(const TZevVector& v, float x, float y, float z, float eps = 1e-6f)
{
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

void ExpectNearIdentity(const TZevMatrix& m, float eps)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m.m[i], IdentityMatrix.m[i], eps) << "element " << i;
}

const TZevMatrix kGeneral(0.36f, 0.48f, -0.8f, 0, -0.8f, 0.6f, 0, 0, 0.48f, 0.64f, 0.6f, 0, 3, -2, 5, 1);

} // namespace

TEST(Vector, BasicOperations)
{
    TZevVector a(1, 2, 3), b(4, 5, 6), r;
    ExpectNear(ZevVecAdd(r, a, b), 5, 7, 9, 0);
    ExpectNear(ZevVecSub(r, a, b), -3, -3, -3, 0);
    EXPECT_EQ(ZevVecDot(a, b), 32.0f);
    ExpectNear(ZevVecCross(r, a, b), -3, 6, -3, 0);
    ExpectNear(ZevVecCrossTo(a, b, r), -3, 6, -3, 0);
    ExpectNear(ZevScalarTimesVec(r, 2, a), 2, 4, 6, 0);
    ExpectNear(ZevVecTimesScalar(r, a, -1), -1, -2, -3, 0);
    // The cross product may write over an operand.
    ExpectNear(ZevVecCross(a, a, b), -3, 6, -3, 0);

    TZevVector c;
    const TZevVector copy = c.Assign(b);
    ExpectNear(copy, 4, 5, 6, 0);
    c.Add(1, 1, 1);
    ExpectNear(c, 5, 6, 7, 0);
    EXPECT_EQ(TZevVector(3, 0, 4).Length(), 5.0f);
}

TEST(Vector, Normalize)
{
    TZevVector v(3, 0, 4);
    EXPECT_EQ(v.Normalize(), 1);
    ExpectNear(v, 0.6f, 0, 0.8f);

    TZevVector zero;
    EXPECT_EQ(zero.Normalize(), 0);
    ExpectNear(zero, 0, 0, 0, 0);

    TZevVector nan(std::nanf(""), 1, 0);
    EXPECT_EQ(nan.Normalize(), 0);
    EXPECT_EQ(nan.y, 1.0f);
}

TEST(Vector, AcosStaysDefinedJustPastOne)
{
    EXPECT_EQ(ZevAcosF(1.0000001f), 0.0f);
    EXPECT_NEAR(ZevAcosF(-1.0000001f), kPi, 1e-6f);
    EXPECT_NEAR(ZevAcosF(0.0f), kPi / 2, 1e-6f);
    EXPECT_EQ(ZevFabsF(-2.5f), 2.5f);
}

TEST(Matrix, MultiplySumsInIndexOrder)
{
    // Row (1e8, 1, -1e8, 0) times a column of ones: summed left to right, the 1 is lost to rounding first.
    TZevMatrix a(1e8f, 1, -1e8f, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    TZevMatrix b(1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1);
    TZevMatrix r;
    ZevMatMultiply(r, a, b);
    EXPECT_EQ(r.m[0], 0.0f);
    EXPECT_EQ(r.m[1], 1.0f);
}

TEST(Matrix, MultiplyAppliesFirstOperandFirst)
{
    TZevMatrix rot, move, both;
    ZevMatRotationZ(rot, kPi / 2);
    ZevMatTranslation(move, 10, 0, 0);
    ZevMatMultiply(both, rot, move); // rotate, then move
    TZevVector p;
    ExpectNear(ZevVecTransform(p, TZevVector(1, 0, 0), both), 10, 1, 0);
}

TEST(Matrix, MultiplyWithAliasedResultMatchesSeparateResult)
{
    TZevMatrix b;
    ZevMatRotationFromVector(b, 0.3f, -1.1f, 0.7f, 0.9f);
    b.m[12] = 1.5f;
    TZevMatrix separate;
    ZevMatMultiply(separate, kGeneral, b);

    TZevMatrix left = kGeneral;
    ZevMatMultiply(left, left, b);
    EXPECT_TRUE(SameBits(left, separate));

    TZevMatrix right = b;
    ZevMatMultiply(right, kGeneral, right);
    EXPECT_TRUE(SameBits(right, separate));

    TZevMatrix square = kGeneral, squareSeparate;
    ZevMatMultiply(squareSeparate, kGeneral, kGeneral);
    ZevMatMultiply(square, square, square);
    EXPECT_TRUE(SameBits(square, squareSeparate));
}

TEST(Matrix, TransformIgnoresProjectiveColumn)
{
    TZevMatrix m = kGeneral;
    TZevVector expected, p;
    ZevVecTransform(expected, TZevVector(1, 2, 3), m);
    m.m[3] = 7;
    m.m[7] = -2;
    m.m[11] = 9;
    m.m[15] = 0;
    ZevVecTransformTo(TZevVector(1, 2, 3), m, p);
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);

    // Summed left to right, translation last.
    TZevMatrix sum(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1);
    ZevVecTransform(p, TZevVector(1e8f, 1, -1e8f), sum);
    EXPECT_EQ(p.x, 0.0f);

    TZevVector d;
    ExpectNear(ZevVecRotate(d, TZevVector(1, 0, 0), kGeneral), 0.36f, 0.48f, -0.8f, 0);
}

TEST(Matrix, InverseOfAffineMatrix)
{
    TZevMatrix scaled;
    ZevMatScaling(scaled, 2, 4, 0.5f);
    scaled.m[12] = 1;
    scaled.m[13] = 2;
    scaled.m[14] = 3;
    for (const TZevMatrix& m : {kGeneral, scaled}) {
        TZevMatrix inv, product;
        ASSERT_TRUE(ZevMatInverse(inv, m));
        EXPECT_EQ(inv.m[3], 0.0f);
        EXPECT_EQ(inv.m[7], 0.0f);
        EXPECT_EQ(inv.m[11], 0.0f);
        EXPECT_EQ(inv.m[15], 1.0f);
        ZevMatMultiply(product, inv, m);
        ExpectNearIdentity(product, 1e-5f);
        ZevMatMultiply(product, m, inv);
        ExpectNearIdentity(product, 1e-5f);
    }

    // No negative zeros: the identity inverts to itself bit for bit.
    TZevMatrix inv;
    ASSERT_TRUE(ZevMatInverse(inv, IdentityMatrix));
    EXPECT_TRUE(SameBits(inv, IdentityMatrix));

    // The input's projective column is not read, and the result may be the input.
    TZevMatrix odd = kGeneral, expected;
    ASSERT_TRUE(ZevMatInverse(expected, kGeneral));
    odd.m[3] = 5;
    odd.m[15] = 0;
    ASSERT_TRUE(ZevMatInverse(odd, odd));
    EXPECT_TRUE(SameBits(odd, expected));
}

TEST(Matrix, InverseOfSingularMatrixFailsWithoutInfinities)
{
    const TZevMatrix cases[] = {
        TZevMatrix(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1),              // all zero
        TZevMatrix(1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 0, 0, 0, 1),              // two equal rows
        TZevMatrix(1e-30f, 0, 0, 0, 0, 1e-30f, 0, 0, 0, 0, 1e-30f, 0, 0, 0, 0, 1), // determinant underflows
        TZevMatrix(1e-39f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),        // inverse overflows
        TZevMatrix(std::nanf(""), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
    };
    for (const TZevMatrix& m : cases) {
        TZevMatrix inv(2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2);
        EXPECT_FALSE(ZevMatInverse(inv, m));
        EXPECT_TRUE(SameBits(inv, IdentityMatrix));
    }
}

TEST(Matrix, ElementaryMatrices)
{
    TZevMatrix m;
    ZevMatTranslation(m, 1, 2, 3);
    EXPECT_TRUE(SameBits(m, TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1)));
    EXPECT_TRUE(SameBits(ZevMatTranslation(1, 2, 3), m));
    ZevMatScaling(m, 2, 3, 4);
    EXPECT_TRUE(SameBits(m, TZevMatrix(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1)));

    // Each axis rotation turns the next axis into the one after it.
    TZevVector p;
    ZevMatRotationX(m, kPi / 2);
    ExpectNear(ZevVecTransform(p, TZevVector(0, 1, 0), m), 0, 0, 1);
    ZevMatRotationY(m, kPi / 2);
    ExpectNear(ZevVecTransform(p, TZevVector(0, 0, 1), m), 1, 0, 0);
    ZevMatRotationZ(m, kPi / 2);
    ExpectNear(ZevVecTransform(p, TZevVector(1, 0, 0), m), 0, 1, 0);

    const float e[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    TZevMatrix fromArray(e), copy;
    ZevMatCopy(copy, fromArray);
    EXPECT_EQ(copy.m[12], 13.0f);
    EXPECT_EQ(copy[15], 16.0f);
    const TZevMatrix3 m3(1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_EQ(m3[4], 5.0f);
}

TEST(Matrix, RotationFromVectorNearZeroIsIdentity)
{
    const float below[][4] = {
        {0, 0, 1e-8f, 3}, {0, 0, 1e-7f, 1}, {0, 0, -1e-7f, 1}, {0, 0, 0, 1}, {std::nanf(""), 0, 0, 1},
        {INFINITY, 0, 0, 1}, {1e30f, 1e30f, 0, 1}, // the length overflows
    };
    for (const auto& w : below) {
        TZevMatrix m(2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2);
        ZevMatRotationFromVector(m, w[0], w[1], w[2], w[3]);
        EXPECT_TRUE(SameBits(m, IdentityMatrix)) << w[0] << " " << w[1] << " " << w[2];
    }
    // Just above the threshold it rotates.
    TZevMatrix m;
    ZevMatRotationFromVector(m, 0, 0, 1.2e-7f, 1e7f);
    EXPECT_FALSE(SameBits(m, IdentityMatrix));
}

TEST(Matrix, RotationFromVectorTurnsAboutAxis)
{
    TZevMatrix m, z;
    TZevVector p;
    ZevMatRotationFromVector(m, 0, 0, kPi / 2, 1);
    ExpectNear(ZevVecTransform(p, TZevVector(1, 0, 0), m), 0, 1, 0);
    ZevMatRotationZ(z, kPi / 2);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m.m[i], z.m[i], 1e-6f);

    // A third of a turn about (1, 1, 1) carries x to y, y to z; the axis is scaled out, the time step is not.
    const float a = 2 * kPi / 3 / std::sqrt(3.0f) / 4;
    ZevMatRotationFromVector(m, a, a, a, 4);
    ExpectNear(ZevVecTransform(p, TZevVector(1, 0, 0), m), 0, 1, 0);
    ExpectNear(ZevVecTransform(p, TZevVector(0, 1, 0), m), 0, 0, 1);
    EXPECT_EQ(m.m[3], 0.0f);
    EXPECT_EQ(m.m[12], 0.0f);
    EXPECT_EQ(m.m[15], 1.0f);
}

TEST(Matrix, RotationFromVectorFollowsTheFixedFormula)
{
    // Single precision in the written order: the reference repeats the formula step by step.
    const float wx = 0.3f, wy = -1.1f, wz = 0.7f, t = 0.02f;
    const float length = std::sqrt(wx * wx + wy * wy + wz * wz);
    const float inv = 1.0f / length;
    const float x = wx * inv, y = wy * inv, z = wz * inv;
    const float angle = length * t;
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float k = 1.0f - c;
    const TZevMatrix expected(k * x * x + c, k * x * y + s * z, k * x * z - s * y, 0, k * x * y - s * z,
                              k * y * y + c, k * y * z + s * x, 0, k * x * z + s * y, k * y * z - s * x,
                              k * z * z + c, 0, 0, 0, 0, 1);
    TZevMatrix m;
    ZevMatRotationFromVector(m, wx, wy, wz, t);
    EXPECT_TRUE(SameBits(m, expected));
    TZevMatrix fromVector;
    ZevMatRotationFromVector(fromVector, TZevVector(wx, wy, wz), t);
    EXPECT_TRUE(SameBits(fromVector, expected));
}

TEST(Box, SetComputesCornersInFaceOrder)
{
    TZevBox box;
    box.Set(TZevVector(0, 1, 2), TZevVector(10, 11, 12));
    const float expected[8][3] = {{0, 1, 2},  {10, 1, 2},  {10, 11, 2},  {0, 11, 2},
                                  {0, 1, 12}, {10, 1, 12}, {10, 11, 12}, {0, 11, 12}};
    for (int i = 0; i < 8; ++i)
        ExpectNear(box.Corners[i], expected[i][0], expected[i][1], expected[i][2], 0);

    // Built from its own corners.
    box.Set(box.Max, box.Min);
    ExpectNear(box.Min, 10, 11, 12, 0);
    ExpectNear(box.Max, 0, 1, 2, 0);
}

TEST(Box, OverlapOnClosedIntervals)
{
    struct Case {
        TZevVector min, max;
        bool overlaps;
    };
    TZevBox unit;
    unit.Set(TZevVector(0, 0, 0), TZevVector(1, 1, 1));
    const Case cases[] = {
        {{1, 1, 1}, {2, 2, 2}, true},           // touching at a corner
        {{0.5f, 0.5f, 0.5f}, {3, 3, 3}, true},  // partly inside
        {{0.2f, 0.2f, 0.2f}, {0.8f, 0.8f, 0.8f}, true},
        {{1.0001f, 0, 0}, {2, 1, 1}, false},    // apart on x only
        {{0, -2, 0}, {1, -0.0001f, 1}, false},  // apart on y only
        {{0, 0, 1.0001f}, {1, 1, 2}, false},    // apart on z only
    };
    for (const Case& c : cases) {
        TZevBox other;
        other.Set(c.min, c.max);
        EXPECT_EQ(unit.Overlaps(other), c.overlaps);
        EXPECT_EQ(other.Overlaps(unit), c.overlaps);
    }
}
