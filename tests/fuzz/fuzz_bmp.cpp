// BMP files: the reader either refuses an input or gives a bitmap whose every pixel can be read.
#include "FuzzSupport.h"

#include "ZevBitmap.h"
#include "ZevStream.h"

#include <cstdint>

FUZZ_DEFAULT_INITIALIZE()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TZevBufferStream stream;
    if (!FuzzStream(stream, data, size))
        return 0;
    TZevBitmap bitmap;
    if (bitmap.ReadBmp(&stream)) {
        FUZZ_CHECK(bitmap.GetBitCount() == 32);
        FUZZ_CHECK(bitmap.GetPitch() == bitmap.GetWidth() * 4);
        // Every byte is there: the sanitizer sees a read past the block.
        const std::uint8_t* bits = bitmap.GetBits();
        const size_t bytes = size_t(bitmap.GetPitch()) * size_t(bitmap.GetHeight());
        FUZZ_CHECK(bytes == 0 || bits != nullptr);
        unsigned sum = 0;
        for (size_t i = 0; i < bytes; ++i)
            sum += bits[i];
        FUZZ_CHECK(sum <= bytes * 255u);
    } else {
        FUZZ_CHECK(bitmap.GetBits() == nullptr);
    }
    FuzzInputDone();
    return 0;
}
