// Image filters on 32-bit bitmaps: the margin bitmap, a working copy of a picture inside a one-pixel
// border that repeats its edge, so that every picture pixel has a full 3x3 neighbourhood; its filters
// (3x3 convolution, grey scale, threshold, median, zero-crossing marks, an edge detector); and the 3x3
// matrix helpers of affine drawing (TZevBitmap::DrawAffine).
#pragma once

#include "ZevBitmap.h"

#include <cstdint>

// 3x3 weights in row order (k[0] upper left, rows going down in memory), the divisor and the bias.
struct TZevKernel3x3 {
    std::int32_t k[9];
    std::int32_t divisor;
    std::int32_t bias;
};

// Pixels are 32-bit (blue in bits 0-7, green 8-15, red 16-23, alpha 24-31); pixel (x + 1, y + 1)
// holds the source's (x, y). The filters change the picture pixels and then refresh the margin.
class TZevMargin1Bmp2 : public TZevBitmap {
public:
    TZevMargin1Bmp2() = default;

    // Copies a 24- or 32-bit bitmap of at least 1 x 1 pixel inside a margin. False, with nothing
    // changed, for other depths, an empty bitmap, or one too large to get a margin.
    bool SetSource(TZevVBitmap* bitmap);
    // Each margin pixel repeats the nearest picture pixel (corners the diagonal one).
    void FillMargin();
    // The picture back into the source, in the source's format. False without a source.
    bool WriteBack();

    // Each channel: sum of weights x neighbourhood, divided (signed) by the divisor, plus the bias,
    // clamped to the channel. False, with nothing changed, for a zero divisor or a bitmap that is not a
    // margin bitmap.
    bool Convolve3x3(const TZevKernel3x3& kernel);
    // The same computed from this bitmap into `target`, a margin bitmap of the same size.
    bool Convolve3x3Into(const TZevKernel3x3& kernel, TZevMargin1Bmp2* target);
    // (red + green + blue) / 3 in the three colour channels, alpha 0.
    void GrayScale();
    // Blue below `level`: black; otherwise white with alpha 0.
    void Threshold(std::int32_t level);
    // White where the blue channel crosses the middle level towards the right or downwards by a step
    // whose square exceeds `limit`; black elsewhere.
    void MarkZeroCrossings(std::int32_t limit);
    // Each pixel becomes the neighbourhood pixel of median green.
    void Median();
    // Smoothing, two gradients, their larger magnitude, then Threshold(128) and Median.
    bool EdgeDetect2();

    TZevVBitmap* GetSource() const { return source; }

private:
    // A 32-bit bitmap of at least 3 x 3 pixels.
    bool IsMarginBitmap();
    void ConvolveFrom(const std::uint32_t* from, const TZevKernel3x3& kernel, TZevMargin1Bmp2* target);

    TZevVBitmap* source = nullptr; // not owned
};

// result = a x b for 3x3 matrices in row order; result may be a or b. Returns result.
float* Matrix3x3Multiply(float* result, const float* a, const float* b);
// Inverse of a 2D affine matrix (points are rows (x, y, 1); elements 6 and 7 translate) whose two axis
// rows are orthogonal; the identity when an axis row is (nearly) zero. Returns result.
float* AffineInverse3x3(float* result, const float* m);

extern TZevClassRecord TZevMargin1Bmp2ClassRecord;
TZevLSObj* CreateTZevMargin1Bmp2();

// Registers the margin bitmap (after the bitmap classes). Runs once; later calls do nothing.
void ZevBitmapFilterInit();
