// Margin bitmaps and their filters, the 3x3 matrix helpers and affine drawing, checked on small images.
#include "ZevBitmap.h"
#include "ZevBitmapFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override { ZevCoreInit(); }
};

std::uint32_t PixelAt(TZevBitmap* b, int x, int y)
{
    std::uint32_t v;
    std::memcpy(&v, b->GetBits() + y * b->GetPitch() + x * 4, 4);
    return v;
}

void SetPixelAt(TZevBitmap* b, int x, int y, std::uint32_t v)
{
    std::memcpy(b->GetBits() + y * b->GetPitch() + x * 4, &v, 4);
}

// A 32-bit bitmap filled by a function of the position.
template <class F> TZevBitmap* Picture(int w, int h, F pixel)
{
    auto* b = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    EXPECT_NE(b, nullptr);
    EXPECT_TRUE(b->CreateByDepth(w, h, 32));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixelAt(b, x, y, pixel(x, y));
    return b;
}

TZevMargin1Bmp2* MarginOf(TZevVBitmap* source)
{
    auto* m = dynamic_cast<TZevMargin1Bmp2*>(CreateObjectByName("TZevMargin1Bmp2"));
    EXPECT_NE(m, nullptr);
    EXPECT_TRUE(m->SetSource(source));
    return m;
}

// The picture pixels of a margin bitmap, row by row.
std::vector<std::uint32_t> Inside(TZevMargin1Bmp2* m)
{
    std::vector<std::uint32_t> out;
    for (int y = 1; y < m->GetHeight() - 1; ++y)
        for (int x = 1; x < m->GetWidth() - 1; ++x)
            out.push_back(PixelAt(m, x, y));
    return out;
}

// Every margin pixel repeats the nearest picture pixel.
void ExpectMarginFilled(TZevMargin1Bmp2* m)
{
    const int w = m->GetWidth(), h = m->GetHeight();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int nx = std::min(std::max(x, 1), w - 2), ny = std::min(std::max(y, 1), h - 2);
            EXPECT_EQ(PixelAt(m, x, y), PixelAt(m, nx, ny)) << x << "," << y;
        }
}

TEST_F(FilterTest, SetSourceCopiesInsideARepeatingMargin)
{
    TZevBitmap* source = Picture(2, 2, [](int x, int y) { return 0x11223344u + x * 0x10 + y * 0x1000; });
    TZevMargin1Bmp2* m = MarginOf(source);
    EXPECT_STREQ(m->GetClassRecordName(), "TZevMargin1Bmp2");
    ASSERT_EQ(m->GetWidth(), 4);
    ASSERT_EQ(m->GetHeight(), 4);
    EXPECT_EQ(m->GetBitCount(), 32);
    EXPECT_EQ(m->GetAlphaMask(), 0xFF000000u);
    EXPECT_EQ(PixelAt(m, 0, 0), PixelAt(source, 0, 0));
    EXPECT_EQ(PixelAt(m, 2, 1), PixelAt(source, 1, 0));
    ExpectMarginFilled(m);
    EXPECT_EQ(m->GetSource(), source);

    // Other depths and empty bitmaps change nothing.
    for (int depth : {8, 16}) {
        TZevBitmap other;
        ASSERT_TRUE(other.Create(2, 2, depth, 0, 0, 0, 0));
        EXPECT_FALSE(m->SetSource(&other)) << depth;
        EXPECT_EQ(m->GetWidth(), 4);
        EXPECT_EQ(m->GetSource(), source);
    }
    TZevBitmap empty;
    EXPECT_FALSE(m->SetSource(&empty));
    EXPECT_FALSE(m->SetSource(nullptr));

    // 24-bit sources are converted.
    TZevBitmap rgb;
    ASSERT_TRUE(rgb.Create(1, 1, 24, 0xFF0000, 0xFF00, 0xFF, 0));
    const std::uint8_t bgr[3] = {0x30, 0x20, 0x10};
    std::memcpy(rgb.GetBits(), bgr, 3);
    ASSERT_TRUE(m->SetSource(&rgb));
    EXPECT_EQ(PixelAt(m, 1, 1), 0x00102030u);
    ExpectMarginFilled(m);
    m->Release();
    source->Release();
}

TEST_F(FilterTest, Convolution)
{
    TZevBitmap* source =
        Picture(5, 4, [](int x, int y) { return 0x80000000u | (x * 40u) << 16 | (y * 50u) << 8 | 7u; });
    TZevMargin1Bmp2* m = MarginOf(source);
    const std::vector<std::uint32_t> before = Inside(m);

    const TZevKernel3x3 identity = {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 1, 0};
    ASSERT_TRUE(m->Convolve3x3(identity));
    EXPECT_EQ(Inside(m), before);

    // A zero divisor is refused, nothing changed.
    const TZevKernel3x3 broken = {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 0, 0};
    EXPECT_FALSE(m->Convolve3x3(broken));
    EXPECT_EQ(Inside(m), before);

    // Bias at each channel's place, clamped to the channel.
    const TZevKernel3x3 brighter = {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 1, 100};
    ASSERT_TRUE(m->Convolve3x3(brighter));
    EXPECT_EQ(PixelAt(m, 1, 1), 0xE464646Bu); // alpha 0x80 + 100, red and green 0 + 100, blue 7 + 100
    EXPECT_EQ(PixelAt(m, 5, 4), 0xE4FFFA6Bu); // red 160 + 100 clamps, green 150 + 100
    ExpectMarginFilled(m);

    // A sum that goes negative, divided by more than 1, is black, not white: the division keeps its sign.
    TZevBitmap* flat = Picture(3, 3, [](int, int) { return 0xFF808080u; });
    TZevMargin1Bmp2* f = MarginOf(flat);
    const TZevKernel3x3 negative = {{0, 0, 0, 0, -1, 0, 0, 0, 0}, 2, 0};
    ASSERT_TRUE(f->Convolve3x3(negative));
    EXPECT_EQ(PixelAt(f, 2, 2), 0u);
    // Smoothing a flat picture leaves it flat.
    TZevMargin1Bmp2* g = MarginOf(flat);
    const TZevKernel3x3 smooth = {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0};
    ASSERT_TRUE(g->Convolve3x3(smooth));
    for (std::uint32_t p : Inside(g))
        EXPECT_EQ(p, 0xFF808080u);
    // Weights large enough to pass 32 bits still clamp.
    const TZevKernel3x3 huge = {{0, 0, 0, 0, 2000000000, 0, 0, 0, 0}, 1, 0};
    ASSERT_TRUE(g->Convolve3x3(huge));
    EXPECT_EQ(PixelAt(g, 1, 1), 0xFFFFFFFFu);

    // Into another margin bitmap of the same size only.
    TZevMargin1Bmp2* into = MarginOf(flat);
    ASSERT_TRUE(m->Convolve3x3Into(identity, m)); // into itself is a plain convolution
    EXPECT_FALSE(m->Convolve3x3Into(identity, into));
    EXPECT_FALSE(f->Convolve3x3Into(broken, into));
    ASSERT_TRUE(f->Convolve3x3Into(brighter, into));
    EXPECT_EQ(PixelAt(into, 2, 2), 0x64646464u);
    EXPECT_EQ(PixelAt(f, 2, 2), 0u);
    ExpectMarginFilled(into);
    for (TZevMargin1Bmp2* b : {m, f, g, into})
        b->Release();
    source->Release();
    flat->Release();
}

TEST_F(FilterTest, PointFilters)
{
    TZevBitmap* source = Picture(3, 1, [](int x, int) {
        const std::uint32_t pixels[3] = {0xFF1E3C5Bu, 0x1200007Fu, 0x34000080u};
        return pixels[x];
    });
    TZevMargin1Bmp2* grey = MarginOf(source);
    grey->GrayScale();
    EXPECT_EQ(PixelAt(grey, 1, 1), 0x003C3C3Cu); // (30 + 60 + 91) / 3 = 60, alpha 0
    ExpectMarginFilled(grey);

    TZevMargin1Bmp2* level = MarginOf(source);
    level->Threshold(128);
    EXPECT_EQ(PixelAt(level, 2, 1), 0u);          // blue 127
    EXPECT_EQ(PixelAt(level, 3, 1), 0x00FFFFFFu); // blue 128
    ExpectMarginFilled(level);
    grey->Release();
    level->Release();
    source->Release();
}

TEST_F(FilterTest, ZeroCrossings)
{
    struct Case {
        std::uint32_t a, right, down;
        int limit;
        bool marked;
    };
    const Case cases[] = {
        {200, 50, 200, 0, true},     // across the middle to the right
        {50, 200, 50, 0, true},      // the other way
        {200, 50, 200, 22500, false}, // step too small for the limit
        {200, 200, 50, 0, true},     // downwards
        {127, 128, 127, 0, false},   // inside the dead band
        {200, 150, 129, 0, false},   // no crossing
    };
    for (const Case& c : cases) {
        // a at (0, 0), right at (1, 0), down at (0, 1).
        TZevBitmap* source = Picture(2, 2, [&](int x, int y) { return x ? c.right : y ? c.down : c.a; });
        TZevMargin1Bmp2* m = MarginOf(source);
        m->MarkZeroCrossings(c.limit);
        EXPECT_EQ(PixelAt(m, 1, 1), c.marked ? 0x00FFFFFFu : 0u) << c.a << " " << c.right << " " << c.down;
        m->Release();
        source->Release();
    }
}

TEST_F(FilterTest, MedianTakesTheWholeMiddlePixel)
{
    const int order[9] = {7, 2, 9, 4, 1, 8, 3, 6, 5};
    TZevBitmap* source = Picture(3, 3, [&](int x, int y) {
        const std::uint32_t g = std::uint32_t(order[3 * y + x]);
        return 0xA0000000u | (g * 3) << 16 | g << 8 | (g + 100);
    });
    TZevMargin1Bmp2* m = MarginOf(source);
    m->Median();
    EXPECT_EQ(PixelAt(m, 2, 2), 0xA00F0569u);
    ExpectMarginFilled(m);
    m->Release();
    source->Release();
}

TEST_F(FilterTest, EdgeDetectFindsAStepAndWritesBack)
{
    TZevBitmap* source = Picture(10, 6, [](int x, int) { return x < 5 ? 0xFF000000u : 0xFFFFFFFFu; });
    TZevMargin1Bmp2* m = MarginOf(source);
    ASSERT_TRUE(m->EdgeDetect2());
    for (int y = 1; y <= 6; ++y) {
        EXPECT_EQ(PixelAt(m, 1, y), 0u) << y;           // far from the step
        EXPECT_EQ(PixelAt(m, 10, y), 0u) << y;
        EXPECT_EQ(PixelAt(m, 5, y), 0x00FFFFFFu) << y;  // on it
        EXPECT_EQ(PixelAt(m, 6, y), 0x00FFFFFFu) << y;
    }
    ASSERT_TRUE(m->WriteBack());
    EXPECT_EQ(PixelAt(source, 4, 2), 0x00FFFFFFu);
    EXPECT_EQ(PixelAt(source, 0, 2), 0u);
    m->Release();
    source->Release();

    TZevMargin1Bmp2 unset;
    EXPECT_FALSE(unset.WriteBack());
    EXPECT_FALSE(unset.EdgeDetect2());
}

TEST_F(FilterTest, MatrixHelpers)
{
    const float a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const float b[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    float r[9];
    const float expected[9] = {30, 24, 18, 84, 69, 54, 138, 114, 90};
    Matrix3x3Multiply(r, a, b);
    EXPECT_EQ(0, std::memcmp(r, expected, sizeof r));
    float same[9];
    std::memcpy(same, a, sizeof same);
    Matrix3x3Multiply(same, same, b); // result in place of an operand
    EXPECT_EQ(0, std::memcmp(same, expected, sizeof same));

    // Turned by 30 degrees, scaled 2 and 0.5, moved by (3, -4): m x inverse is the identity.
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    const float m[9] = {2 * c, 2 * s, 0, -0.5f * s, 0.5f * c, 0, 3, -4, 1};
    float inv[9], product[9];
    AffineInverse3x3(inv, m);
    Matrix3x3Multiply(product, m, inv);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(product[i], identity[i], 1e-5f) << i;
    const float flat[9] = {0, 0, 0, 1, 0, 0, 5, 5, 1};
    AffineInverse3x3(inv, flat);
    EXPECT_EQ(0, std::memcmp(inv, identity, sizeof inv));
}

TEST_F(FilterTest, AffineDrawing)
{
    TZevBitmap* source = Picture(4, 4, [](int x, int y) { return 0xFF000000u | std::uint32_t(y * 4 + x); });
    const std::uint32_t blank = 0x12345678u;
    auto fresh = [&]() { return Picture(6, 5, [&](int, int) { return blank; }); };

    // Moved by (2, 1): (x, y) shows source (x - 2, y - 1); beyond the source the pixel stays.
    TZevBitmap* d = fresh();
    const float move[9] = {1, 0, 0, 0, 1, 0, 2, 1, 1};
    d->DrawAffine(TZevIntRect{0, 0, 6, 5}, source, move);
    EXPECT_EQ(PixelAt(d, 2, 1), 0xFF000000u);
    EXPECT_EQ(PixelAt(d, 5, 4), 0xFF000000u | 15u);
    EXPECT_EQ(PixelAt(d, 1, 1), blank);
    EXPECT_EQ(PixelAt(d, 3, 0), blank);
    d->Release();

    // Halved, as the image form shows a picture at half size.
    d = fresh();
    const float half[9] = {0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 1};
    d->DrawAffine(TZevIntRect{0, 0, 2, 2}, source, half);
    EXPECT_EQ(PixelAt(d, 1, 1), 0xFF000000u | 10u);
    EXPECT_EQ(PixelAt(d, 2, 2), blank); // outside the rectangle
    d->Release();

    // Rectangles reaching past the bitmap are cut to it; out of reach, nothing happens.
    d = fresh();
    d->DrawAffine(TZevIntRect{-100, -100, 1 << 30, 1 << 30}, source, move);
    EXPECT_EQ(PixelAt(d, 3, 2), 0xFF000000u | 5u);
    d->Release();
    for (TZevIntRect rect : {TZevIntRect{0, 0, -1, 5}, TZevIntRect{0, 0, 6, -1}, TZevIntRect{6, 0, 9, 5},
             TZevIntRect{0, 5, 6, 9}}) {
        d = fresh();
        d->DrawAffine(rect, source, move);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(PixelAt(d, x, y), blank);
        d->Release();
    }
    // A source that is not 32-bit, or a flattening matrix, draws nothing harmful.
    d = fresh();
    TZevBitmap shallow;
    ASSERT_TRUE(shallow.CreateByDepth(4, 4, 16));
    d->DrawAffine(TZevIntRect{0, 0, 6, 5}, &shallow, move);
    EXPECT_EQ(PixelAt(d, 2, 1), blank);
    const float huge[9] = {1e-30f, 0, 0, 0, 1e-30f, 0, 0, 0, 1};
    d->DrawAffine(TZevIntRect{0, 0, 6, 5}, source, huge);
    EXPECT_EQ(PixelAt(d, 0, 0), 0xFF000000u); // the inverse is the identity for a vanishing axis
    d->Release();
    source->Release();
}

} // namespace
