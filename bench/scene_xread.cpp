// Throughput of reading .x text mesh files, in bytes per second, on a generated terrain-like mesh of
// 250 x 250 vertices and 124,002 triangles with normals, texture coordinates and a material, written
// in the layout of common exporters into a temporary file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "ZevFrame.h"
#include "ZevLSObj.h"
#include "ZevMesh.h"
#include "ZevXFile.h"
#include "ZevXFileParser.h"

namespace {

std::string MakeLargeXText()
{
    const int side = 250;
    std::string s = "xof 0302txt 0064\n// generated\nHeader {\n 1;\n 0;\n 1;\n}\n\nFrame Ground {\n";
    s += " FrameTransformMatrix {\n  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
         "0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;\n }\n";
    char line[160];
    auto vectors = [&](int count, auto&& value) {
        for (int i = 0; i < count; ++i) {
            float a, b, c;
            value(i, a, b, c);
            std::snprintf(line, sizeof line, "  %f;%f;%f;%s\n", a, b, c, i + 1 < count ? "," : ";");
            s += line;
        }
    };
    auto faces = [&]() {
        const int cells = (side - 1) * (side - 1);
        std::snprintf(line, sizeof line, "  %d;\n", 2 * cells);
        s += line;
        for (int j = 0; j + 1 < side; ++j)
            for (int i = 0; i + 1 < side; ++i) {
                int a = j * side + i;
                bool last = j + 2 == side && i + 2 == side;
                std::snprintf(line, sizeof line, "  3;%d,%d,%d;,\n  3;%d,%d,%d;%s\n", a, a + side + 1, a + 1, a,
                    a + side, a + side + 1, last ? ";" : ",");
                s += line;
            }
    };
    s += " Mesh Terrain {\n";
    std::snprintf(line, sizeof line, "  %d;\n", side * side);
    s += line;
    vectors(side * side, [&](int i, float& x, float& y, float& z) {
        x = float(i % side) * 0.5f;
        y = float((i * 7919) % 101) * 0.01f;
        z = float(i / side) * 0.5f;
    });
    faces();
    s += "  MeshNormals {\n";
    std::snprintf(line, sizeof line, "  %d;\n", side * side);
    s += line;
    vectors(side * side, [&](int, float& x, float& y, float& z) {
        x = 0.0f;
        y = 1.0f;
        z = 0.0f;
    });
    faces();
    s += "  }\n  MeshTextureCoords {\n";
    std::snprintf(line, sizeof line, "  %d;\n", side * side);
    s += line;
    for (int i = 0; i < side * side; ++i) {
        std::snprintf(line, sizeof line, "  %f;%f;%s\n", float(i % side) / side, float(i / side) / side,
            i + 1 < side * side ? "," : ";");
        s += line;
    }
    s += "  }\n  MeshMaterialList {\n  1;\n  1;\n  0;;\n  Material {\n   0.8;0.8;0.8;1.0;;\n   20.0;\n"
         "   0.0;0.0;0.0;;\n   0.0;0.0;0.0;;\n   TextureFilename {\n    \"ground.bmp\";\n   }\n  }\n  }\n }\n}\n";
    return s;
}

// The generated file, written once per run and removed at exit.
struct TempXFile {
    std::string Path = "/tmp/qe_bench_xread_" + std::to_string(::getpid()) + ".x";
    TempXFile() { std::ofstream(Path, std::ios::binary) << MakeLargeXText(); }
    ~TempXFile() { std::remove(Path.c_str()); }
};

const std::string& LargeFile()
{
    static const TempXFile file;
    return file.Path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void BM_XParseText(benchmark::State& state)
{
    const std::string text = ReadAll(LargeFile());
    for (auto _ : state) {
        TZevXFileContents contents;
        std::string error;
        bool ok = ZevParseXText(text.data(), text.size(), contents, error);
        if (!ok)
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(contents.Root.Meshes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_XParseText)->Unit(benchmark::kMillisecond);

// The whole load: file into memory, text into records, records into a frame with its mesh.
void BM_ZevLoadXFile(benchmark::State& state)
{
    ZevCoreInit();
    ZevFrameInit();
    ZevMeshesInit();
    const std::string& path = LargeFile();
    const int64_t size = int64_t(ReadAll(path).size());
    for (auto _ : state) {
        TZevFrame* frame = ZevLoadXFile(path.c_str());
        if (!frame) {
            state.SkipWithError("the generated file did not load");
            break;
        }
        frame->Release();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_ZevLoadXFile)->Unit(benchmark::kMillisecond);

} // namespace
