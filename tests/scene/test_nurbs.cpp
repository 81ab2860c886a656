// NURBS curves: the knot vector, the basis, points on the curve (a rational arc lies on its circle),
// parameters out of range, weights that cancel, points of other sizes, and evaluation without leaks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ZevNurbs.h"

namespace {

class NurbsTest : public ::testing::Test {
protected:
    void SetUp() override { ZevCoreInit(); }
};

void SetXY(TZevNurbsCurve& curve, std::initializer_list<std::pair<double, double>> xy)
{
    int32_t i = 0;
    for (const auto& p : xy) {
        const double c[2] = {p.first, p.second};
        ASSERT_TRUE(curve.SetPoint(i++, c, 2));
    }
}

TEST_F(NurbsTest, KnotVectorAndSetUpLimits)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(4, 3));
    const double expected[8] = {0, 0, 0, 0.5, 1, 1 + 1 / 100000.0, 1 + 2 / 100000.0, 1 + 3 / 100000.0};
    ASSERT_EQ(curve.knots.rows, 8);
    ASSERT_EQ(curve.knots.cols, 1);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(curve.knots.data[i], expected[i]) << i;
    EXPECT_EQ(curve.pointCount, 4);
    EXPECT_EQ(curve.points[3].weight, 1.0);
    EXPECT_TRUE(curve.points[3].point.IsEmpty());

    // Orders the point count cannot carry are refused, leaving no points.
    for (auto nk : {std::pair{3, 4}, std::pair{3, 0}, std::pair{0, 1}, std::pair{-2, 1},
             std::pair{TZevNurbsCurve::MaxPoints + 1, 2}}) {
        EXPECT_FALSE(curve.SetUp(nk.first, nk.second)) << nk.first << " " << nk.second;
        EXPECT_EQ(curve.points, nullptr);
        EXPECT_EQ(curve.pointCount, 0);
    }
    TZevMatrixD result(1, 2);
    EXPECT_FALSE(curve.PointAt(result, 0.5));
}

TEST_F(NurbsTest, BasisOfOrderOneIsHalfOpen)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(5, 3));
    for (int32_t i = 0; i + 1 < curve.knots.rows; ++i) {
        const double ti = curve.knots.data[i], next = curve.knots.data[i + 1];
        if (ti == next)
            continue;
        EXPECT_EQ(curve.Basis(i, 1, ti), 1.0) << i;
        EXPECT_EQ(curve.Basis(i, 1, next), 0.0) << i;
    }
    // The basis of the full order sums to 1 across [0, 1].
    for (double t : {0.0, 0.1, 0.37, 0.5, 0.99, 1.0}) {
        double sum = 0;
        for (int32_t i = 0; i < 5; ++i)
            sum += curve.Basis(i, 3, t);
        EXPECT_NEAR(sum, 1.0, 1e-12) << t;
    }
    EXPECT_EQ(curve.Basis(-1, 3, 0.5), 0.0);
    EXPECT_EQ(curve.Basis(6, 3, 0.5), 0.0);
}

TEST_F(NurbsTest, EndsAndParametersOutOfRange)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(4, 3));
    SetXY(curve, {{0, 0}, {1, 2}, {3, 2}, {4, 0}});
    double x, y;
    ASSERT_TRUE(curve.PointAt(0.0, &x, &y));
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    ASSERT_TRUE(curve.PointAt(1.0, &x, &y));
    EXPECT_NEAR(x, 4.0, 1e-3);
    EXPECT_NEAR(y, 0.0, 1e-3);
    struct Case {
        double t, same;
    };
    for (const Case& c : {Case{-0.5, 0.0}, Case{std::numeric_limits<double>::quiet_NaN(), 0.0}, Case{2.0, 1.0},
             Case{std::numeric_limits<double>::infinity(), 1.0}}) {
        double x1, y1, x2, y2;
        ASSERT_TRUE(curve.PointAt(c.t, &x1, &y1));
        ASSERT_TRUE(curve.PointAt(c.same, &x2, &y2));
        EXPECT_EQ(x1, x2) << c.t;
        EXPECT_EQ(y1, y2) << c.t;
    }
}

TEST_F(NurbsTest, RationalArcLiesOnTheCircle)
{
    // A quarter of the unit circle: the middle point weighted by cos 45 degrees. The knots past 1 are not
    // quite those of the arc, which costs a few millionths; unweighted, the curve would miss by 0.06.
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(3, 3));
    SetXY(curve, {{1, 0}, {1, 1}, {0, 1}});
    curve.points[1].weight = std::sqrt(0.5);
    for (double t : {0.0, 0.1, 0.25, 0.5, 0.75, 0.9}) {
        double x, y;
        ASSERT_TRUE(curve.PointAt(t, &x, &y));
        EXPECT_NEAR(std::hypot(x, y), 1.0, 5e-6) << t;
    }
    double x, y;
    ASSERT_TRUE(curve.PointAt(0.5, &x, &y));
    EXPECT_NEAR(x, y, 5e-6);
}

TEST_F(NurbsTest, WeightsThatCancelAreRefused)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(3, 2));
    SetXY(curve, {{0, 0}, {1, 1}, {2, 0}});
    TZevMatrixD result(1, 2);
    result.At(0, 0) = 7;
    for (int i = 0; i < 3; ++i)
        curve.points[i].weight = 0.0;
    EXPECT_FALSE(curve.PointAt(result, 0.3));
    EXPECT_EQ(result.At(0, 0), 7.0); // untouched
    // Opposite weights cancel exactly half-way between two points.
    curve.points[0].weight = 1.0;
    curve.points[1].weight = -1.0;
    curve.points[2].weight = 1.0;
    EXPECT_FALSE(curve.PointAt(result, 0.25));
    EXPECT_TRUE(curve.PointAt(result, 0.1));
}

TEST_F(NurbsTest, PointsOfOtherSizes)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(2, 2));
    const double a[3] = {0, 0, 0}, b[3] = {2, 4, 6};
    ASSERT_TRUE(curve.SetPoint(0, a, 3));
    ASSERT_TRUE(curve.SetPoint(1, b, 3));
    TZevMatrixD result(1, 3);
    ASSERT_TRUE(curve.PointAt(result, 0.25));
    EXPECT_DOUBLE_EQ(result.At(0, 2), 1.5);
    // A smaller point makes the result smaller; a point never set leaves it as it is.
    ASSERT_TRUE(curve.SetPoint(1, b, 2));
    ASSERT_TRUE(curve.PointAt(result, 0.5));
    EXPECT_EQ(result.cols, 2);
    EXPECT_DOUBLE_EQ(result.At(0, 1), 2.0);
    EXPECT_FALSE(curve.SetPoint(2, b, 2));
    EXPECT_FALSE(curve.SetPoint(0, b, 0));

    TZevMatrixD m(2, 2), small(1, 3), empty;
    m.At(1, 1) = 3;
    TZevMatrixD sum = ZevMatDAdd(m, small);
    EXPECT_EQ(sum.rows, 1);
    EXPECT_EQ(sum.cols, 2);
    EXPECT_TRUE(ZevMatDAdd(m, empty).IsEmpty());
    EXPECT_EQ(ZevMatDScale(m, 2).At(1, 1), 6.0);
    TZevMatrixD copy = m.Assign(empty); // nothing to take: unchanged
    EXPECT_EQ(copy.At(1, 1), 3.0);
    EXPECT_EQ(m.At(1, 1), 3.0);
    EXPECT_TRUE(TZevMatrixD(empty).IsEmpty());
}

TEST_F(NurbsTest, EvaluationDoesNotLeak)
{
    TZevNurbsCurve curve;
    ASSERT_TRUE(curve.SetUp(6, 4));
    SetXY(curve, {{0, 0}, {1, 3}, {2, -1}, {3, 2}, {4, 4}, {5, 0}});
    TZevMatrixD result(1, 2);
    const int32_t live = NewCount.load() - DeleteCount.load();
    for (int i = 0; i <= 100; ++i)
        ASSERT_TRUE(curve.PointAt(result, i / 100.0));
    EXPECT_EQ(NewCount.load() - DeleteCount.load(), live);
    curve.FreePoints();
    EXPECT_EQ(curve.points, nullptr);
}

} // namespace
