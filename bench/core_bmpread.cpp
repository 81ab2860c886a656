// Reading BMP files into new 32-bit bitmaps, as texture and height-map loaders do: an 8-bit 220 x 193 picture
// (a palette of 256 colours, rows padded to 4 bytes) and a 24-bit 128 x 128 one, against a plain baseline that
// reads the same file into a buffer kept from pass to pass and copies as many bytes as the bitmap holds.
#include "ZevBitmap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFFu);
    Put16(b, v >> 16);
}

// A bottom-up BMP of the given size and bit count (8 with a full palette, or 24), in a temporary file.
std::string WriteBmp(int w, int h, int bits)
{
    const int rowSize = (w * bits + 31) / 32 * 4;
    const int palette = bits == 8 ? 256 * 4 : 0;
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, static_cast<std::uint32_t>(54 + palette + rowSize * h));
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(54 + palette));
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(w));
    Put32(b, static_cast<std::uint32_t>(h));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bits));
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    for (int i = 0; i < palette / 4; ++i)
        Put32(b, static_cast<std::uint32_t>(i * 0x010203u));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < rowSize; ++x)
            b.push_back(static_cast<std::uint8_t>(x * 7 + y * 13));
    }
    char name[] = "/tmp/bench_bmpreadXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return std::string();
    const bool ok = write(fd, b.data(), b.size()) == static_cast<ssize_t>(b.size());
    close(fd);
    return ok ? std::string(name) : std::string();
}

struct TFile {
    std::string Name;
    int W, H;
    TFile(int w, int h, int bits) : Name(WriteBmp(w, h, bits)), W(w), H(h) {}
    ~TFile()
    {
        if (!Name.empty())
            unlink(Name.c_str());
    }
};

const TFile& Picture(int bits)
{
    static const TFile eight(220, 193, 8);
    static const TFile twentyFour(128, 128, 24);
    return bits == 8 ? eight : twentyFour;
}

void LoadBmp(benchmark::State& state, int bits)
{
    ZevCoreInit();
    const TFile& file = Picture(bits);
    for (auto _ : state) {
        TZevBitmap* bitmap = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
        if (!bitmap->LoadBmp(file.Name.c_str()) || bitmap->GetWidth() != file.W) {
            state.SkipWithError("the picture was not read");
            delete bitmap;
            return;
        }
        benchmark::DoNotOptimize(bitmap->GetBits());
        delete bitmap;
    }
    state.SetBytesProcessed(state.iterations() * file.W * file.H * 4);
}

// The floor of a load: the file read whole into a buffer that stays, and the bitmap's bytes written once.
void Baseline(benchmark::State& state, int bits)
{
    const TFile& file = Picture(bits);
    std::vector<char> in(1 << 20);
    std::vector<char> out(static_cast<std::size_t>(file.W * file.H * 4));
    for (auto _ : state) {
        std::FILE* f = std::fopen(file.Name.c_str(), "rb");
        if (!f) {
            state.SkipWithError("no file");
            return;
        }
        const std::size_t n = std::fread(in.data(), 1, in.size(), f);
        std::fclose(f);
        std::memcpy(out.data(), in.data(), n < out.size() ? n : out.size());
        if (n < out.size())
            std::memcpy(out.data() + n, in.data(), out.size() - n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * file.W * file.H * 4);
}

void BM_LoadBmp8Bit220x193(benchmark::State& state) { LoadBmp(state, 8); }
void BM_LoadBmp24Bit128x128(benchmark::State& state) { LoadBmp(state, 24); }
void BM_BaselineRead8Bit220x193(benchmark::State& state) { Baseline(state, 8); }
void BM_BaselineRead24Bit128x128(benchmark::State& state) { Baseline(state, 24); }

} // namespace

BENCHMARK(BM_LoadBmp8Bit220x193);
BENCHMARK(BM_BaselineRead8Bit220x193);
BENCHMARK(BM_LoadBmp24Bit128x128);
BENCHMARK(BM_BaselineRead24Bit128x128);
