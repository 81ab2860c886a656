// A rational B-spline curve over control points of any dimension, evaluated by the Cox-de Boor
// recursion on a knot vector made from the point count and the order. Points are small dense matrices
// of doubles, so one curve serves points of two, three or more coordinates.
#pragma once

#include <cstdint>

#include "ZevDebug.h"

// rows x cols doubles in row order (element (r, c) at r x cols + c); no data for an empty matrix.
class TZevMatrixD : public TZevAllocated {
public:
    TZevMatrixD() = default;
    // rows x cols zeros; empty when either is below 1 or the allocation fails.
    TZevMatrixD(int32_t rows, int32_t cols);
    TZevMatrixD(const TZevMatrixD& other);
    TZevMatrixD(TZevMatrixD&& other) noexcept;
    TZevMatrixD& operator=(const TZevMatrixD& other);
    TZevMatrixD& operator=(TZevMatrixD&& other) noexcept;
    ~TZevMatrixD() { Free(); }

    // When the other has data: this takes its size and a copy of its data (else nothing changes).
    // Returns a copy of the result.
    TZevMatrixD Assign(const TZevMatrixD& other);
    void Free();
    bool IsEmpty() const { return data == nullptr; }

    double& At(int32_t r, int32_t c) { return data[size_t(r) * size_t(cols) + size_t(c)]; }
    double At(int32_t r, int32_t c) const { return data[size_t(r) * size_t(cols) + size_t(c)]; }

    int32_t cols = 0;
    int32_t rows = 0;
    double* data = nullptr; // ZevAlloc
};

// Every element times s, in a new matrix of the same size.
TZevMatrixD ZevMatDScale(const TZevMatrixD& m, double s);
// Element-wise sums over the part both matrices have (the smaller size in each direction).
TZevMatrixD ZevMatDAdd(const TZevMatrixD& a, const TZevMatrixD& b);

struct TZevNurbsPoint : TZevAllocated {
    TZevMatrixD point;
    double weight = 1.0;
    double value = 0.0; // weighted basis value of the last evaluation
};

class TZevNurbsCurve : public TZevAllocated {
public:
    // Most control points a curve takes; the order is at most the point count.
    static constexpr int32_t MaxPoints = 1 << 20;

    TZevNurbsCurve() = default;
    virtual ~TZevNurbsCurve();
    TZevNurbsCurve(const TZevNurbsCurve&) = delete;
    TZevNurbsCurve& operator=(const TZevNurbsCurve&) = delete;

    // n control points (weight 1, empty point matrices for the caller to fill) and the knot vector of
    // order k: k zeros, then (i - k + 1) / (n - k + 1) for i = k to n - 1, then 1, 1.00001, 1.00002, ...
    // up to index n + k. False, with no points, unless 1 <= k <= n <= MaxPoints.
    bool SetUp(int32_t n, int32_t k);
    // The curve point at t (limited to [0, 1]; not a number counts as 0) into `result`, which the caller
    // sized like the control points (the result keeps the smaller size where sizes differ). False, with
    // `result` unchanged, without points or when the weighted basis values sum to 0.
    bool PointAt(TZevMatrixD& result, double t);
    // The same for points of (at least) two coordinates in one row: the curve's x and y.
    bool PointAt(double t, double* x, double* y);
    // Control point i as one row of the given coordinates. False for an index out of range.
    bool SetPoint(int32_t i, const double* coordinates, int32_t count);
    // The basis function N(i, k, t) of the knot vector (0 outside the knots).
    double Basis(int32_t i, int32_t k, double t) const;
    void FreePoints();

    TZevMatrixD knots; // one column
    TZevNurbsPoint* points = nullptr;
    int32_t pointCount = 0;
    int32_t order = 0;
};
