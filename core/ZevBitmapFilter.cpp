#include "ZevBitmapFilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

TZevClassRecord TZevMargin1Bmp2ClassRecord;

TZevLSObj* CreateTZevMargin1Bmp2()
{
    return ZevCreateRegistered<TZevMargin1Bmp2>(&TZevMargin1Bmp2ClassRecord);
}

namespace {

constexpr std::uint32_t White = 0x00FFFFFF;

// Pixel access of a 32-bit bitmap whose rows follow each other without padding.
std::uint32_t Get(const std::uint8_t* bits, std::int32_t width, std::int32_t x, std::int32_t y)
{
    std::uint32_t v;
    std::memcpy(&v, bits + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4, 4);
    return v;
}

void Put(std::uint8_t* bits, std::int32_t width, std::int32_t x, std::int32_t y, std::uint32_t v)
{
    std::memcpy(bits + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4, &v, 4);
}

std::uint32_t Blue(std::uint32_t p)
{
    return p & 0xFF;
}

std::uint32_t Green(std::uint32_t p)
{
    return (p >> 8) & 0xFF;
}

// One channel of the convolution: the pixels' channel masked in place (alpha moved down first by the
// caller), weighted, divided with sign, the bias added at the channel's place, clamped to the channel.
std::uint32_t ConvolveChannel(const std::uint32_t p[9], const TZevKernel3x3& kernel, std::uint32_t mask, int shift)
{
    std::int64_t sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += std::int64_t(kernel.k[i]) * std::int64_t(p[i] & mask);
    // 64 bits: no sum of nine weighted channels overflows, and no quotient is undefined.
    std::int64_t value = sum / kernel.divisor + std::int64_t(kernel.bias) * (std::int64_t(1) << shift);
    if (value < 0)
        value = 0;
    if (value > std::int64_t(mask))
        value = mask;
    return std::uint32_t(value);
}

std::uint32_t ConvolvePixel(const std::uint32_t p[9], const TZevKernel3x3& kernel)
{
    std::uint32_t alpha[9];
    for (int i = 0; i < 9; ++i)
        alpha[i] = (p[i] >> 8) & 0xFF0000;
    return ConvolveChannel(p, kernel, 0xFF0000, 16) | ConvolveChannel(p, kernel, 0xFF00, 8) |
        ConvolveChannel(p, kernel, 0xFF, 0) | (ConvolveChannel(alpha, kernel, 0xFF0000, 16) << 8);
}

// The 3x3 neighbourhood of (x, y) in kernel order.
void Neighbourhood(const std::uint32_t* pixels, std::int32_t width, std::int32_t x, std::int32_t y, std::uint32_t p[9])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            p[3 * r + c] = pixels[std::size_t(y - 1 + r) * std::size_t(width) + std::size_t(x - 1 + c)];
}

// The bitmap's pixels as words (a copy to read from while the bitmap is written).
std::vector<std::uint32_t> CopyPixels(TZevBitmap* b)
{
    std::vector<std::uint32_t> out(std::size_t(b->GetWidth()) * std::size_t(b->GetHeight()));
    if (!out.empty())
        std::memcpy(out.data(), b->GetBits(), out.size() * 4);
    return out;
}

} // namespace

bool TZevMargin1Bmp2::IsMarginBitmap()
{
    return bits && bitCount == 32 && width >= 3 && height >= 3 && pitch == width * 4;
}

bool TZevMargin1Bmp2::SetSource(TZevVBitmap* bitmap)
{
    if (!bitmap || bitmap == this)
        return false;
    const std::int32_t count = bitmap->GetBitCount();
    const std::int32_t w = bitmap->GetWidth(), h = bitmap->GetHeight();
    if ((count != 24 && count != 32) || w < 1 || h < 1 || w > MaxSide - 2 || h > MaxSide - 2 || !bitmap->GetBits()) {
        bitmap->ReleaseBits();
        return false;
    }
    bitmap->ReleaseBits();
    if (!Create(w + 2, h + 2, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000))
        return false;
    std::memset(bits, 0, std::size_t(pitch) * std::size_t(height));
    source = bitmap;
    Blit(1, 1, bitmap, 0, 0, w, h);
    FillMargin();
    return true;
}

void TZevMargin1Bmp2::FillMargin()
{
    if (!IsMarginBitmap())
        return;
    // Columns of the picture rows first, then whole rows: the corners take the diagonal pixel.
    for (std::int32_t y = 1; y < height - 1; ++y) {
        Put(bits, width, 0, y, Get(bits, width, 1, y));
        Put(bits, width, width - 1, y, Get(bits, width, width - 2, y));
    }
    std::memcpy(bits, bits + pitch, std::size_t(pitch));
    std::memcpy(bits + std::size_t(height - 1) * pitch, bits + std::size_t(height - 2) * pitch, std::size_t(pitch));
    ReleaseBits();
}

bool TZevMargin1Bmp2::WriteBack()
{
    if (!source || !IsMarginBitmap())
        return false;
    source->Blit(0, 0, this, 1, 1, width - 1, height - 1);
    return true;
}

void TZevMargin1Bmp2::ConvolveFrom(const std::uint32_t* from, const TZevKernel3x3& kernel, TZevMargin1Bmp2* target)
{
    std::uint32_t p[9];
    for (std::int32_t y = 1; y < height - 1; ++y)
        for (std::int32_t x = 1; x < width - 1; ++x) {
            Neighbourhood(from, width, x, y, p);
            Put(target->bits, width, x, y, ConvolvePixel(p, kernel));
        }
    target->ReleaseBits();
    target->FillMargin();
}

bool TZevMargin1Bmp2::Convolve3x3(const TZevKernel3x3& kernel)
{
    if (kernel.divisor == 0 || !IsMarginBitmap())
        return false;
    const std::vector<std::uint32_t> copy = CopyPixels(this);
    ConvolveFrom(copy.data(), kernel, this);
    return true;
}

bool TZevMargin1Bmp2::Convolve3x3Into(const TZevKernel3x3& kernel, TZevMargin1Bmp2* target)
{
    if (target == this)
        return Convolve3x3(kernel);
    if (kernel.divisor == 0 || !target || !IsMarginBitmap() || !target->IsMarginBitmap() ||
        target->width != width || target->height != height)
        return false;
    const std::vector<std::uint32_t> pixels = CopyPixels(this);
    ReleaseBits();
    ConvolveFrom(pixels.data(), kernel, target);
    return true;
}

void TZevMargin1Bmp2::GrayScale()
{
    if (!IsMarginBitmap())
        return;
    for (std::int32_t y = 1; y < height - 1; ++y)
        for (std::int32_t x = 1; x < width - 1; ++x) {
            const std::uint32_t p = Get(bits, width, x, y);
            const std::uint32_t v = (((p >> 16) & 0xFF) + Green(p) + Blue(p)) / 3;
            Put(bits, width, x, y, (v << 16) | (v << 8) | v);
        }
    FillMargin();
}

void TZevMargin1Bmp2::Threshold(std::int32_t level)
{
    if (!IsMarginBitmap())
        return;
    for (std::int32_t y = 1; y < height - 1; ++y)
        for (std::int32_t x = 1; x < width - 1; ++x)
            Put(bits, width, x, y, std::int64_t(Blue(Get(bits, width, x, y))) < level ? 0 : White);
    FillMargin();
}

void TZevMargin1Bmp2::MarkZeroCrossings(std::int32_t limit)
{
    if (!IsMarginBitmap())
        return;
    const std::vector<std::uint32_t> copy = CopyPixels(this);
    auto crossed = [limit](std::int64_t a, std::int64_t b) {
        return ((a > 128 && b < 127) || (a < 127 && b > 128)) && (a - b) * (a - b) > limit;
    };
    for (std::int32_t y = 1; y < height - 1; ++y)
        for (std::int32_t x = 1; x < width - 1; ++x) {
            const std::size_t at = std::size_t(y) * std::size_t(width) + std::size_t(x);
            const std::int64_t a = Blue(copy[at]);
            const std::int64_t right = Blue(copy[at + 1]);
            const std::int64_t down = Blue(copy[at + std::size_t(width)]);
            Put(bits, width, x, y, crossed(a, right) || crossed(a, down) ? White : 0);
        }
    FillMargin();
}

void TZevMargin1Bmp2::Median()
{
    if (!IsMarginBitmap())
        return;
    const std::vector<std::uint32_t> copy = CopyPixels(this);
    std::uint32_t p[9];
    for (std::int32_t y = 1; y < height - 1; ++y)
        for (std::int32_t x = 1; x < width - 1; ++x) {
            Neighbourhood(copy.data(), width, x, y, p);
            // Sorting the first five places is enough for the middle one.
            for (int i = 0; i < 5; ++i)
                for (int j = i + 1; j < 9; ++j)
                    if (Green(p[i]) > Green(p[j])) {
                        const std::uint32_t t = p[i];
                        p[i] = p[j];
                        p[j] = t;
                    }
            Put(bits, width, x, y, p[4]);
        }
    FillMargin();
}

bool TZevMargin1Bmp2::EdgeDetect2()
{
    if (!IsMarginBitmap())
        return false;
    TZevMargin1Bmp2* work[2] = {};
    bool ok = true;
    for (TZevMargin1Bmp2*& w : work) {
        TZevLSObj* made = CreateObjectByName("TZevMargin1Bmp2");
        w = dynamic_cast<TZevMargin1Bmp2*>(made);
        if (!w && made)
            made->Release();
        ok = ok && w && w->Create(width, height, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    }
    if (ok) {
        const TZevKernel3x3 smooth = {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0};
        const TZevKernel3x3 vertical = {{-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1, 127};
        const TZevKernel3x3 horizontal = {{-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1, 127};
        Convolve3x3(smooth);
        Convolve3x3Into(vertical, work[0]);
        Convolve3x3Into(horizontal, work[1]);
        for (std::int32_t y = 1; y < height - 1; ++y)
            for (std::int32_t x = 1; x < width - 1; ++x) {
                std::int32_t a = 2 * std::abs(std::int32_t(Blue(Get(work[0]->bits, width, x, y))) - 127);
                std::int32_t b = 2 * std::abs(std::int32_t(Blue(Get(work[1]->bits, width, x, y))) - 127);
                const std::uint32_t v = std::uint32_t(std::min(std::max(a, b), 255));
                Put(bits, width, x, y, 0xFF000000 | (v << 16) | (v << 8) | v);
            }
        ReleaseBits();
    }
    for (TZevMargin1Bmp2* w : work)
        if (w)
            w->Release();
    if (!ok)
        return false;
    Threshold(128);
    Median();
    return true;
}

// ---- 3x3 matrices ----

float* Matrix3x3Multiply(float* result, const float* a, const float* b)
{
    float out[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
    std::memcpy(result, out, sizeof out);
    return result;
}

float* AffineInverse3x3(float* result, const float* m)
{
    const float r0 = m[0] * m[0] + m[1] * m[1];
    const float r1 = m[3] * m[3] + m[4] * m[4];
    if (!(r0 > 1e-7f) || !(r1 > 1e-7f)) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(result, identity, sizeof identity);
        return result;
    }
    const float t[9] = {1, 0, 0, 0, 1, 0, -m[6], -m[7], 1};
    const float a[9] = {m[0], m[3], 0, m[1], m[4], 0, 0, 0, 1};
    const float s[9] = {1.0f / r0, 0, 0, 0, 1.0f / r1, 0, 0, 0, 1};
    float ta[9];
    Matrix3x3Multiply(ta, t, a);
    return Matrix3x3Multiply(result, ta, s);
}

// ---- start-up ----

void ZevBitmapFilterInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevLogInited("aZevBitmap.cpp");
        RegisterClassRecord(&TZevMargin1Bmp2ClassRecord, "TZevMargin1Bmp2", "TZevBitmap", CreateTZevMargin1Bmp2);
    });
}
