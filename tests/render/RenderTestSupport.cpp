#include "RenderTestSupport.h"

#include "ZevDX7Surfaces.h"
#include "ZevGLDevice.h"
#include "ZevGLSurface.h"
#include "ZevPng.h"
#include "ZevTexture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

TImage CaptureSurface(TZevGLSurface* surface)
{
    TImage image;
    TZevGLSurfaceDesc locked;
    if (!surface || ZevGL::Failed(surface->Lock(nullptr, &locked, 0)))
        return image;
    image.Width = locked.Width;
    image.Height = locked.Height;
    image.Pixels.resize(static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height));
    for (std::int32_t y = 0; y < image.Height; ++y) {
        const std::uint32_t* row =
            static_cast<const std::uint32_t*>(locked.Bits) + std::ptrdiff_t(y) * (locked.Pitch / 4);
        for (std::int32_t x = 0; x < image.Width; ++x)
            image.Pixels[std::size_t(y) * std::size_t(image.Width) + std::size_t(x)] = row[x] & 0xFFFFFFu;
    }
    surface->Unlock(nullptr);
    return image;
}

void Put16(std::FILE* f, std::uint32_t v)
{
    std::fputc(int(v & 0xFF), f);
    std::fputc(int((v >> 8) & 0xFF), f);
}

void Put32(std::FILE* f, std::uint32_t v)
{
    Put16(f, v & 0xFFFF);
    Put16(f, v >> 16);
}

} // namespace

std::uint32_t TImage::Around(std::int32_t x, std::int32_t y, std::int32_t r) const
{
    int sum[3] = {0, 0, 0}, n = 0;
    for (std::int32_t dy = -r; dy <= r; ++dy) {
        for (std::int32_t dx = -r; dx <= r; ++dx) {
            const std::int32_t px = x + dx, py = y + dy;
            if (px < 0 || py < 0 || px >= Width || py >= Height)
                continue;
            const std::uint32_t p = At(px, py);
            sum[0] += Red(p);
            sum[1] += Green(p);
            sum[2] += Blue(p);
            ++n;
        }
    }
    if (n == 0)
        return 0;
    return (std::uint32_t(sum[0] / n) << 16) | (std::uint32_t(sum[1] / n) << 8) | std::uint32_t(sum[2] / n);
}

std::int32_t TImage::Count(const std::function<bool(std::uint32_t)>& test) const
{
    return static_cast<std::int32_t>(std::count_if(Pixels.begin(), Pixels.end(), test));
}

int ColorDistance(std::uint32_t a, std::uint32_t b)
{
    return std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
}

TImage CaptureBack(TZevDX7Renderer* renderer)
{
    return renderer->Surfaces && renderer->Surfaces->Back ? CaptureSurface(renderer->Surfaces->Back->Surface)
                                                          : TImage();
}

TImage CaptureBack(TZevDX8Renderer* renderer)
{
    TZevGLSurface* back = nullptr;
    if (!renderer->GetDevice() || ZevGL::Failed(renderer->GetDevice()->GetBackBuffer(&back)))
        return TImage();
    TImage image = CaptureSurface(back);
    back->Release();
    return image;
}

TImage CaptureWindow(TZevGLOwnWindow* window)
{
    TImage image;
    window->ReadPixels(&image.Width, &image.Height, &image.Pixels);
    return image;
}

void SaveScreenshot(const TImage& image, const std::string& name)
{
    ZevWritePng((std::string(QE_SCREENSHOT_DIR) + "/" + name + ".png").c_str(), image.Pixels.data(), image.Width,
                image.Height);
}

void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height,
              const std::function<std::uint32_t(std::int32_t, std::int32_t)>& color)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    const std::uint32_t rowBytes = (std::uint32_t(width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * std::uint32_t(height);
    std::fputc('B', f);
    std::fputc('M', f);
    Put32(f, 54 + imageBytes);
    Put32(f, 0);
    Put32(f, 54);
    Put32(f, 40);
    Put32(f, std::uint32_t(width));
    Put32(f, std::uint32_t(height));
    Put16(f, 1);
    Put16(f, 24);
    for (int i = 0; i < 6; ++i)
        Put32(f, 0);
    for (std::int32_t row = height - 1; row >= 0; --row) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t c = color(x, row);
            std::fputc(Blue(c), f);
            std::fputc(Green(c), f);
            std::fputc(Red(c), f);
        }
        for (std::uint32_t pad = std::uint32_t(width) * 3; pad < rowBytes; ++pad)
            std::fputc(0, f);
    }
    std::fclose(f);
}

TTestScene::TTestScene()
{
    ZevSceneInit();
    Root = new TZevFrame();
    Camera = new TZevFrame();
    Root->AddChild(Camera);
}

TTestScene::~TTestScene()
{
    Root->Release();
}

void TTestScene::PlaceCamera(const TZevVector& eye, float pitch, float yaw)
{
    TZevMatrix tilt, turn;
    ZevMatRotationX(tilt, pitch);
    ZevMatRotationY(turn, yaw);
    ZevMatMultiply(Camera->LocalMatrix, tilt, turn);
    Camera->LocalMatrix.m[12] = eye.x;
    Camera->LocalMatrix.m[13] = eye.y;
    Camera->LocalMatrix.m[14] = eye.z;
}

TZevPolygonMesh* TTestScene::Attach(TZevPolygonMesh* mesh, const float* diffuse, const char* texture)
{
    if (diffuse)
        std::copy(diffuse, diffuse + 4, mesh->Material.Diffuse);
    // No highlights: the tests compare the light that faces receive.
    std::fill(mesh->Material.Specular, mesh->Material.Specular + 3, 0.0f);
    if (texture)
        mesh->SetTextureName(texture);
    mesh->Changed = 1;
    Last = new TZevFrame();
    Root->AddChild(Last);
    Last->AddVisual(mesh);
    mesh->Release();
    return mesh;
}

TZevPolygonMesh* TTestScene::AddBox(const TZevVector& min, const TZevVector& max, const float* diffuse,
                                    const char* texture)
{
    TZevPolygonMesh* mesh = new TZevPolygonMesh();
    mesh->Clear();
    EXPECT_TRUE(ZevMakeBoxMesh(mesh->Geometry, min, max));
    // Each face runs 0 to 1 in both texture directions, v downwards: copy k of the corners serves the faces across
    // x, then z, then y.
    for (int i = 0; i < 24; ++i) {
        TZevVertex& v = mesh->Geometry->Vertices()[i];
        const float fx = (v.x - min.x) / (max.x - min.x), fy = (v.y - min.y) / (max.y - min.y);
        const float fz = (v.z - min.z) / (max.z - min.z);
        const int k = i / 8;
        v.u = k == 0 ? fz : fx;
        v.v = k == 2 ? fz : 1.0f - fy;
    }
    return Attach(mesh, diffuse, texture);
}

TZevPolygonMesh* TTestScene::AddGrid(std::int32_t n, float size, float y, const float* diffuse)
{
    TZevPolygonMesh* mesh = new TZevPolygonMesh();
    EXPECT_TRUE(mesh->SetFaceAndVertexCount((n + 1) * (n + 1), n * n));
    TZevMeshData* g = mesh->Geometry;
    for (std::int32_t j = 0; j <= n; ++j) {
        for (std::int32_t i = 0; i <= n; ++i) {
            const float x = -size + 2.0f * size * float(i) / float(n), z = -size + 2.0f * size * float(j) / float(n);
            g->Vertices()[j * (n + 1) + i] = TZevVertex{x, y, z, 0, 1, 0, float(i) / float(n), float(j) / float(n)};
        }
    }
    g->VertexCount = (n + 1) * (n + 1);
    for (std::int32_t j = 0; j < n; ++j) {
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t f = j * n + i;
            EXPECT_TRUE(g->SetFaceIndexCount(f, 4));
            const std::uint16_t a = std::uint16_t(j * (n + 1) + i);
            const std::uint16_t b = std::uint16_t(a + (n + 1));
            // Clockwise seen from above: the face looks up.
            g->Faces[f].Indices[0] = a;
            g->Faces[f].Indices[1] = b;
            g->Faces[f].Indices[2] = std::uint16_t(b + 1);
            g->Faces[f].Indices[3] = std::uint16_t(a + 1);
        }
    }
    g->FaceCount = n * n;
    return Attach(mesh, diffuse, nullptr);
}

void DrawFrame(TZevFramePassRenderer* renderer, TTestScene& scene)
{
    renderer->RestoreSurfaces();
    renderer->Clear();
    renderer->RenderFrame(scene.Root, scene.Camera);
}

TZevLight DirectionalLight(const TZevVector& direction)
{
    TZevLight light;
    light.Type = 3;
    TZevVector d = direction;
    d.Normalize();
    light.Direction[0] = d.x;
    light.Direction[1] = d.y;
    light.Direction[2] = d.z;
    light.Position[0] = d.x;
    light.Position[1] = d.y;
    light.Position[2] = d.z;
    std::fill(light.Diffuse, light.Diffuse + 4, 1.0f);
    std::fill(light.Specular, light.Specular + 4, 0.0f); // the record's second colour: the light's ambient part
    std::fill(light.Ambient, light.Ambient + 4, 0.0f);   // the third: its specular part
    return light;
}

bool ProjectToPixel(TZevFramePassRenderer* renderer, const TZevVector& point, float* x, float* y)
{
    TZevMatrix m;
    ZevMatMultiply(m, renderer->ViewMatrix, renderer->DeviceProjection);
    float clip[4];
    for (int c = 0; c < 4; ++c)
        clip[c] = point.x * m.m[c] + point.y * m.m[4 + c] + point.z * m.m[8 + c] + m.m[12 + c];
    if (clip[3] <= 0.0f)
        return false;
    *x = (clip[0] / clip[3] + 1.0f) * 0.5f * float(renderer->GetWidth());
    *y = (1.0f - clip[1] / clip[3]) * 0.5f * float(renderer->GetHeight());
    return true;
}
