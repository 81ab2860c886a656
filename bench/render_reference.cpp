// The yardstick of bench_render_frames: a plain GLX program drawing the same scene (a 640 x 480 window, a plane and
// spheres of 1,024 triangles, lit by one directional light) with one glDrawElements per mesh from client-side
// arrays and glXSwapBuffers, on an X server of its own with Mesa's software renderer. Run both programs side by
// side and compare their fps counters.
#include "ZevGLPrivateServer.h"
#include "ZevMeshData.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
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

struct TMesh {
    std::vector<TZevVertex> vertices;
    std::vector<std::uint16_t> indices;
};

// The faces fanned into triangles, as the renderers hand them to their device.
TMesh Flatten(const TZevMeshData& data)
{
    TMesh mesh;
    mesh.vertices.assign(data.Vertices(), data.Vertices() + data.VertexCount);
    for (std::int32_t f = 0; f < data.FaceCount; ++f) {
        const TZevMeshFace& face = data.Faces[f];
        for (std::uint32_t j = 1; j + 1 < face.Count; ++j) {
            mesh.indices.push_back(face.Indices[0]);
            mesh.indices.push_back(face.Indices[j]);
            mesh.indices.push_back(face.Indices[j + 1]);
        }
    }
    return mesh;
}

struct TWindow {
    Display* display = nullptr;
    Window window = 0;
    GLXContext context = nullptr;

    bool Open(int width, int height)
    {
        // A busy server now and then refuses a connection that it takes a moment later.
        for (int attempt = 0; attempt < 20 && !display; ++attempt) {
            display = XOpenDisplay(nullptr);
            if (!display)
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + 10 * attempt));
        }
        if (!display)
            return false;
        int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                            GLX_DEPTH_SIZE, 24, GLX_STENCIL_SIZE, 8, None};
        XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
        if (!visual)
            return false;
        const Window root = RootWindow(display, visual->screen);
        XSetWindowAttributes set{};
        set.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
        window = XCreateWindow(display, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               visual->depth, InputOutput, visual->visual, CWColormap, &set);
        XMapWindow(display, window);
        context = glXCreateContext(display, visual, nullptr, True);
        XFree(visual);
        XSync(display, False);
        return context && glXMakeCurrent(display, window, context);
    }

    ~TWindow()
    {
        if (!display)
            return;
        glXMakeCurrent(display, None, nullptr);
        if (context)
            glXDestroyContext(display, context);
        if (window)
            XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
};

void DrawMesh(const TMesh& mesh)
{
    glVertexPointer(3, GL_FLOAT, sizeof(TZevVertex), &mesh.vertices[0].x);
    glNormalPointer(GL_FLOAT, sizeof(TZevVertex), &mesh.vertices[0].nx);
    glTexCoordPointer(2, GL_FLOAT, sizeof(TZevVertex), &mesh.vertices[0].u);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(mesh.indices.size()), GL_UNSIGNED_SHORT, mesh.indices.data());
}

void ReferenceFrames(benchmark::State& state)
{
    const int spheres = static_cast<int>(state.range(0));
    if (!ZevGLStartPrivateServer()) {
        state.SkipWithError("Xvfb is not installed");
        return;
    }
    // One window for every run (the benchmark library calls this function several times).
    static TWindow window;
    if (!window.context && !window.Open(640, 480)) {
        state.SkipWithError("no GLX window");
        return;
    }
    TZevMeshData planeData, sphereData;
    ZevMakeBoxMesh(&planeData, -12, -0.6f, -12, 12, -0.5f, 12);
    ZevMakeSphereMesh(&sphereData, 17, 32);
    const TMesh plane = Flatten(planeData);
    const TMesh sphere = Flatten(sphereData);

    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-4.0 / 3.0, 4.0 / 3.0, -1.0, 1.0, 1.0, 1000.0); // 90 degrees high, as the renderers' projection
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW); // the meshes wind clockwise seen from outside, as the Direct3D-style renderers expect
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glClearColor(0.0f, 0.0f, 0.3f, 1.0f);

    // The camera at (0, 12, -16) looking down by 0.6 radians towards +z (z mirrored into OpenGL's view space).
    const float c = std::cos(0.6f), s = std::sin(0.6f);
    const GLfloat view[16] = {1, 0, 0, 0, 0, c, s, 0, 0, s, -c, 0, 0, -(12 * c - 16 * s), -(12 * s + 16 * c), 1};
    auto frame = [&] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glLoadMatrixf(view);
        const GLfloat light[4] = {-0.57735f, 0.57735f, -0.57735f, 0.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        DrawMesh(plane);
        for (int i = 0; i < spheres; ++i) {
            glLoadMatrixf(view);
            glTranslatef(-9.0f + 2.0f * float(i % 10), 1.0f, -9.0f + 2.0f * float(i / 10));
            glScalef(0.5f, 0.5f, 0.5f);
            DrawMesh(sphere);
        }
    };
    // The first frame compiles the driver's code for these states: not part of the measure.
    frame();
    glXSwapBuffers(window.display, window.window);
    glFinish();
    const double cpuStart = ProcessCpuSeconds();
    for (auto _ : state) {
        frame();
        glXSwapBuffers(window.display, window.window);
    }
    glFinish();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    if (std::getenv("REFERENCE_PICTURE")) {
        // What the frame showed, for comparing with the renderers' picture: a PPM.
        std::vector<unsigned char> rgb(640 * 480 * 3);
        frame();
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        if (FILE* out = std::fopen(std::getenv("REFERENCE_PICTURE"), "wb")) {
            std::fprintf(out, "P6\n640 480\n255\n");
            for (int row = 479; row >= 0; --row)
                std::fwrite(rgb.data() + row * 640 * 3, 1, 640 * 3, out);
            std::fclose(out);
        }
    }
    state.counters["cpu_ms_per_frame"] = 1000.0 * cpu / double(state.iterations());
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["triangles"] = double(spheres) * 1024.0;
}

} // namespace

BENCHMARK(ReferenceFrames)->ArgNames({"spheres"})->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
