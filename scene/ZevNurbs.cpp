#include "ZevNurbs.h"

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

// ---- TZevMatrixD ----

TZevMatrixD::TZevMatrixD(int32_t r, int32_t c)
{
    if (r < 1 || c < 1 || int64_t(r) * int64_t(c) > (int64_t(1) << 28))
        return;
    const size_t n = size_t(r) * size_t(c);
    data = static_cast<double*>(ZevAlloc(n * sizeof(double)));
    if (!data)
        return;
    for (size_t i = 0; i < n; ++i)
        data[i] = 0.0;
    rows = r;
    cols = c;
}

TZevMatrixD::TZevMatrixD(const TZevMatrixD& other) : TZevAllocated()
{
    Assign(other);
}

TZevMatrixD::TZevMatrixD(TZevMatrixD&& other) noexcept
    : cols(other.cols), rows(other.rows), data(other.data)
{
    other.data = nullptr;
    other.rows = other.cols = 0;
}

TZevMatrixD& TZevMatrixD::operator=(const TZevMatrixD& other)
{
    if (this != &other) {
        Free();
        Assign(other);
    }
    return *this;
}

TZevMatrixD& TZevMatrixD::operator=(TZevMatrixD&& other) noexcept
{
    if (this != &other) {
        Free();
        std::swap(cols, other.cols);
        std::swap(rows, other.rows);
        std::swap(data, other.data);
    }
    return *this;
}

TZevMatrixD TZevMatrixD::Assign(const TZevMatrixD& other)
{
    if (other.data && this != &other) {
        TZevMatrixD copy(other.rows, other.cols);
        if (copy.data) {
            std::memcpy(copy.data, other.data, size_t(other.rows) * size_t(other.cols) * sizeof(double));
            *this = std::move(copy);
        }
    }
    TZevMatrixD result;
    if (data) {
        result = TZevMatrixD(rows, cols);
        if (result.data)
            std::memcpy(result.data, data, size_t(rows) * size_t(cols) * sizeof(double));
    }
    return result;
}

void TZevMatrixD::Free()
{
    ZevFree(data);
    data = nullptr;
    rows = cols = 0;
}

TZevMatrixD ZevMatDScale(const TZevMatrixD& m, double s)
{
    TZevMatrixD out(m.rows, m.cols);
    if (out.data && m.data)
        for (size_t i = 0, n = size_t(m.rows) * size_t(m.cols); i < n; ++i)
            out.data[i] = m.data[i] * s;
    return out;
}

TZevMatrixD ZevMatDAdd(const TZevMatrixD& a, const TZevMatrixD& b)
{
    if (!a.data || !b.data)
        return TZevMatrixD();
    const int32_t rows = a.rows < b.rows ? a.rows : b.rows;
    const int32_t cols = a.cols < b.cols ? a.cols : b.cols;
    TZevMatrixD out(rows, cols);
    if (out.data)
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < cols; ++c)
                out.At(r, c) = a.At(r, c) + b.At(r, c);
    return out;
}

// ---- TZevNurbsCurve ----

TZevNurbsCurve::~TZevNurbsCurve()
{
    FreePoints();
    knots.Free();
}

void TZevNurbsCurve::FreePoints()
{
    delete[] points;
    points = nullptr;
    pointCount = 0;
}

bool TZevNurbsCurve::SetUp(int32_t n, int32_t k)
{
    FreePoints();
    knots.Free();
    order = 0;
    if (k < 1 || n < k || n > MaxPoints)
        return false;
    TZevMatrixD t(n + k + 1, 1);
    if (!t.data)
        return false;
    for (int32_t i = 0; i < k; ++i)
        t.data[i] = 0.0;
    const double step = 1.0 / double(n - k + 1);
    for (int32_t i = k; i < n; ++i)
        t.data[i] = double(i - k + 1) * step;
    // Past the end the knots climb a little, so that t = 1 still lies inside a span that is not empty.
    for (int32_t i = n; i <= n + k; ++i)
        t.data[i] = 1.0 + double(i - n) / 100000.0;
    knots = std::move(t);
    points = new TZevNurbsPoint[size_t(n)];
    pointCount = n;
    order = k;
    return true;
}

bool TZevNurbsCurve::SetPoint(int32_t i, const double* coordinates, int32_t count)
{
    if (!points || i < 0 || i >= pointCount || !coordinates || count < 1)
        return false;
    TZevMatrixD p(1, count);
    if (!p.data)
        return false;
    std::memcpy(p.data, coordinates, size_t(count) * sizeof(double));
    points[i].point = std::move(p);
    return true;
}

double TZevNurbsCurve::Basis(int32_t i, int32_t k, double t) const
{
    const int32_t knotCount = knots.data ? knots.rows : 0;
    if (k < 1)
        k = 1;
    if (i < 0 || int64_t(i) + k >= knotCount)
        return 0.0;
    const double* kn = knots.data;
    // The recursion's values level by level (each N(j, m) once), so the cost stays k x k, not 2^k.
    std::vector<double> level(static_cast<size_t>(k));
    for (int32_t j = 0; j < k; ++j)
        level[size_t(j)] = kn[i + j] <= t && t < kn[i + j + 1] ? 1.0 : 0.0;
    for (int32_t m = 2; m <= k; ++m) {
        for (int32_t j = 0; j + m <= k; ++j) {
            const int32_t a = i + j;
            const double d1 = kn[a + m - 1] - kn[a];
            const double d2 = kn[a + m] - kn[a + 1];
            const double first = d1 == 0.0 ? 0.0 : level[size_t(j)] * (t - kn[a]) / d1;
            const double second = d2 == 0.0 ? 0.0 : level[size_t(j + 1)] * (kn[a + m] - t) / d2;
            level[size_t(j)] = first + second;
        }
    }
    return level[0];
}

bool TZevNurbsCurve::PointAt(TZevMatrixD& result, double t)
{
    if (!points || pointCount < 1)
        return false;
    if (!(t >= 0.0))
        t = 0.0;
    if (t > 1.0)
        t = 1.0;
    double sum = 0.0;
    for (int32_t i = 0; i < pointCount; ++i) {
        points[i].value = Basis(i, order, t) * points[i].weight;
        sum += points[i].value;
    }
    // Weights that cancel, or none at all, leave no point to divide out.
    if (sum == 0.0 || !std::isfinite(sum))
        return false;
    if (result.data)
        for (size_t e = 0, n = size_t(result.rows) * size_t(result.cols); e < n; ++e)
            result.data[e] = 0.0;
    for (int32_t i = 0; i < pointCount; ++i)
        result.Assign(ZevMatDAdd(result, ZevMatDScale(points[i].point, points[i].value / sum)));
    return true;
}

bool TZevNurbsCurve::PointAt(double t, double* x, double* y)
{
    TZevMatrixD result(1, 2);
    if (!PointAt(result, t) || !result.data || result.cols < 2)
        return false;
    if (x)
        *x = result.data[0];
    if (y)
        *y = result.data[1];
    return true;
}
