// Frames per second of the DirectDraw 7 renderer with Mesa's software renderer, under an X server of its own: a
// 640 x 480 window, spheres of 1,024 triangles on a plane (1k, 10k and 100k triangles), with and without stencil
// shadows. One frame is what the engine host does: restore, clear, the frame tree, present. The yardstick is
// bench_render_reference (the same scene through plain GLX); run both side by side. "binds" counts the times a
// frame makes the context current or releases it. With FRAMES_PICTURE=prefix set, each case writes the window's
// last picture to prefix_<spheres>_<shadows>.ppm, for comparing the pictures of two builds. With FRAMES_OWN_MESHES
// set, each sphere is a mesh of its own instead of one mesh shared by every sphere's frame. "cpu_ms_per_frame" is the
// whole process's CPU time (the driver's rasteriser threads included), "thread_ms_per_frame" the drawing thread's.
#include "Zev3DG2R.h"
#include "ZevDX7Renderer.h"
#include "ZevFrame.h"
#include "ZevGLOwnWindow.h"
#include "ZevGLPrivateServer.h"
#include "ZevGLTypes.h"
#include "ZevMesh.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// CPU time of the whole process (the driver's rasteriser threads included): a figure that a loaded machine
// changes far less than the wall-clock rate.
double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread alone: what the frame costs the thread that draws it, which sets the frame rate
// while the driver's rasteriser threads keep up.
double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A sphere of 2 x 16 x 32 = 1,024 triangles.
TZevPolygonMesh* MakeSphere()
{
    TZevPolygonMesh* mesh = new TZevPolygonMesh();
    mesh->Clear();
    ZevMakeSphereMesh(mesh->Geometry, 17, 32);
    mesh->Changed = 1;
    return mesh;
}

// Grey and without highlights, so that a shadow shows as a darker patch.
void Matte(TZevPolygonMesh* mesh)
{
    std::fill(mesh->Material.Diffuse, mesh->Material.Diffuse + 3, 0.7f);
    std::fill(mesh->Material.Specular, mesh->Material.Specular + 3, 0.0f);
}

void AddVisual(TZevFrame* root, TZevPolygonMesh* mesh, const TZevMatrix& matrix)
{
    TZevFrame* frame = new TZevFrame();
    frame->LocalMatrix = matrix;
    root->AddChild(frame);
    frame->AddVisual(mesh);
}

void RenderFrames(benchmark::State& state)
{
    const int spheres = static_cast<int>(state.range(0));
    const bool shadows = state.range(1) != 0;
    if (!ZevGLStartPrivateServer()) {
        state.SkipWithError("Xvfb is not installed");
        return;
    }
    ZevSceneInit();
    TZevGLOwnWindow window;
    if (!window.Create(640, 480)) {
        state.SkipWithError("no window");
        return;
    }
    TZevFrame* root = new TZevFrame();
    TZevFrame* camera = new TZevFrame();
    root->AddChild(camera);
    ZevMatRotationX(camera->LocalMatrix, 0.6f);
    camera->LocalMatrix.m[13] = 12.0f;
    camera->LocalMatrix.m[14] = -16.0f;

    // The plane, then the spheres in rows of ten, 0.5 units across.
    TZevPolygonMesh* plane = new TZevPolygonMesh();
    plane->Clear();
    ZevMakeBoxMesh(plane->Geometry, -12, -0.6f, -12, 12, -0.5f, 12);
    plane->Changed = 1;
    plane->ShadowOff = 1;
    Matte(plane);
    AddVisual(root, plane, IdentityMatrix);
    plane->Release();
    const bool ownMeshes = std::getenv("FRAMES_OWN_MESHES") != nullptr;
    TZevPolygonMesh* sphere = nullptr;
    for (int i = 0; i < spheres; ++i) {
        if (!sphere) {
            sphere = MakeSphere();
            Matte(sphere);
        }
        TZevMatrix m;
        ZevMatScaling(m, 0.5f, 0.5f, 0.5f);
        m.m[12] = -9.0f + 2.0f * float(i % 10);
        m.m[13] = 1.0f;
        m.m[14] = -9.0f + 2.0f * float(i / 10);
        AddVisual(root, sphere, m);
        if (ownMeshes) {
            sphere->Release();
            sphere = nullptr;
        }
    }
    if (sphere)
        sphere->Release();

    {
        TZevDX7Renderer renderer;
        renderer.SetStencilShadows(shadows);
        if (!renderer.InitFromWindow(window.GetWindow())) {
            state.SkipWithError("no renderer");
        } else {
            // Diffuse light alone: the default light's full ambient part would wash the plane out to white, where
            // halving the diffuse part in a shadow changes nothing.
            TZevLight light;
            std::fill(light.Specular, light.Specular + 3, 0.0f);
            std::fill(light.Ambient, light.Ambient + 3, 0.0f);
            light.Direction[0] = 0.57735f;
            light.Direction[1] = -0.57735f;
            light.Direction[2] = 0.57735f;
            renderer.SetLight(0, &light);
            // The shadow projection follows the light, (1, -1, 1), down to just under the plane's top (y = -0.5):
            // (x, y, z) goes to (x + y + 0.55, -0.55, z + y + 0.55). The renderer's default ends every volume at
            // y = -50, a streak 50 units long under the floor that a scene with a floor of its own never draws.
            const float shadow[16] = {1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 0.55f, -0.55f, 0.55f, 1};
            for (int i = 0; i < 16; ++i)
                renderer.ViewSettings[i] = shadow[i];
            const std::uint64_t switches = ZevGL::ContextSwitches();
            const double cpuStart = ProcessCpuSeconds();
            const double threadStart = ThreadCpuSeconds();
            for (auto _ : state) {
                renderer.RestoreSurfaces();
                renderer.Clear();
                renderer.RenderFrame(root, camera);
                renderer.Present();
            }
            if (const char* picture = std::getenv("FRAMES_PICTURE")) {
                // What the window showed, for comparing pictures between builds: a PPM per case.
                std::int32_t width = 0, height = 0;
                std::vector<std::uint32_t> pixels;
                const std::string name = std::string(picture) + "_" + std::to_string(spheres) + "_" +
                                         std::to_string(int(shadows)) + ".ppm";
                if (window.ReadPixels(&width, &height, &pixels)) {
                    if (FILE* out = std::fopen(name.c_str(), "wb")) {
                        std::fprintf(out, "P6\n%d %d\n255\n", width, height);
                        for (const std::uint32_t p : pixels) {
                            const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                                          static_cast<unsigned char>(p >> 8),
                                                          static_cast<unsigned char>(p)};
                            std::fwrite(rgb, 1, 3, out);
                        }
                        std::fclose(out);
                    }
                }
            }
            const double cpu = ProcessCpuSeconds() - cpuStart;
            const double thread = ThreadCpuSeconds() - threadStart;
            state.counters["cpu_ms_per_frame"] = 1000.0 * cpu / double(state.iterations());
            state.counters["thread_ms_per_frame"] = 1000.0 * thread / double(state.iterations());
            state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
            state.counters["triangles"] = double(spheres) * 1024.0;
            state.counters["binds"] = double(ZevGL::ContextSwitches() - switches) / double(state.iterations());
        }
    }
    root->Release();
}

} // namespace

BENCHMARK(RenderFrames)
    ->ArgNames({"spheres", "shadows"})
    ->ArgsProduct({{1, 10, 100}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
