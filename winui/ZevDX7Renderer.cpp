#include "ZevDX7Renderer.h"

#include "ZevDX7Surfaces.h"
#include "ZevDX7Texture.h"
#include "ZevDX7TextureStore.h"
#include "ZevDeviceResult.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevMeshData.h"
#include "ZevMeshPools.h"

#include <algorithm>

namespace {

// Vertices of the line lists: pre-transformed (x, y, z, 1/w) or in the world with a reserved word, then diffuse,
// specular, u and v.
struct TScreenVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse, specular;
    float u, v;
};
struct TWorldVertex {
    float x, y, z;
    std::uint32_t reserved, diffuse, specular;
    float u, v;
};

constexpr std::uint32_t ScreenFormat = ZevGL::VfXYZRHW | ZevGL::VfDiffuse | ZevGL::VfSpecular | ZevGL::VfTex1;
constexpr std::uint32_t LitFormat =
    ZevGL::VfXYZ | ZevGL::VfReserved | ZevGL::VfDiffuse | ZevGL::VfSpecular | ZevGL::VfTex1;
constexpr std::uint32_t MaterialFormat = ZevGL::VfXYZ | ZevGL::VfNormal | ZevGL::VfTex1;

TZevDX7Texture* TextureOf(TZevTextureHandle handle)
{
    return reinterpret_cast<TZevDX7Texture*>(handle);
}

} // namespace

TZevDX7Renderer::~TZevDX7Renderer()
{
    TZevDX7Renderer::Release();
}

int TZevDX7Renderer::GetWidth()
{
    return Surfaces ? Surfaces->GetBackWidth() : 0;
}

int TZevDX7Renderer::GetHeight()
{
    return Surfaces ? Surfaces->GetBackHeight() : 0;
}

void TZevDX7Renderer::GetTargetSize(std::int32_t* width, std::int32_t* height)
{
    *width = GetWidth();
    *height = GetHeight();
}

bool TZevDX7Renderer::InitFromWindow(TZevGLWindow window)
{
    Release();
    Store = new TZevDX7TextureStore();
    Store->FullScreen = FullScreen;
    Store->Stencil = StencilShadows;
    if (!Store->Init(window, nullptr)) {
        Release();
        return false;
    }
    Surfaces = Store->Surfaces;
    Device = Store->Device;
    IndexBuffer = static_cast<std::uint16_t*>(ZevAlloc(sizeof(std::uint16_t) * IndexCapacity));
    if (!IndexBuffer) {
        Release();
        return false;
    }
    return true;
}

void TZevDX7Renderer::Release()
{
    ClearCommands();
    Surfaces = nullptr;
    Device = nullptr;
    ZevFree(IndexBuffer);
    IndexBuffer = nullptr;
    // The store's textures go with it: no entry may keep one.
    ZevDetachTextures(this, false);
    delete Store;
    Store = nullptr;
}

TZevTextureHandle TZevDX7Renderer::LoadTexture(const char* name)
{
    return Store ? reinterpret_cast<TZevTextureHandle>(Store->LoadTexture(name)) : 0;
}

void TZevDX7Renderer::UnloadTexture(TZevTextureHandle handle)
{
    TZevDX7Texture* texture = TextureOf(handle);
    if (texture && --texture->RefCount <= 0)
        delete texture;
}

TZevGLSurface* TZevDX7Renderer::TextureSurface(TZevTextureHandle handle)
{
    return handle ? TextureOf(handle)->Surface : nullptr;
}

void TZevDX7Renderer::PlainStageExtras(bool materialMesh)
{
    SetRenderState(ZevGL::RsTextureMapBlend, 7);
    if (materialMesh)
        SetStageState(ZevGL::TssAlphaOp, ZevGL::OpDisable);
}

void TZevDX7Renderer::DrawTriangles(const TZevMeshData* mesh, bool lit, const std::uint16_t* indices,
                                    std::uint32_t count)
{
    const std::uint32_t vertices = static_cast<std::uint32_t>(std::min(mesh->VertexCount, mesh->VertexCapacity));
    ZevDeviceCall(Device->DrawIndexedPrimitive(ZevGL::PrimTriangleList, lit ? LitFormat : MaterialFormat,
                                               mesh->VertexArray, vertices, indices, count, 0));
}

void TZevDX7Renderer::DrawSegments(const TZevPoint2D* points, int count, const std::uint32_t* color)
{
    if (!Surfaces || !Surfaces->Back || !Surfaces->Back->Surface || !points || count < 2)
        return;
    TZevGLSurface* back = Surfaces->Back->Surface;
    TZevGLDC* dc = nullptr;
    if (ZevGL::Failed(ZevDeviceCall(back->GetDC(&dc))))
        return;
    if (color)
        dc->SelectPen(*color, 1);
    for (int i = 0; i < count / 2; ++i) {
        dc->MoveTo(points[2 * i].x, points[2 * i].y);
        dc->LineTo(points[2 * i + 1].x, points[2 * i + 1].y);
    }
    dc->SelectDefaultPen();
    ZevDeviceCall(back->ReleaseDC(dc));
}

void TZevDX7Renderer::DrawScreenLines(const TZevPoint2D* points, int count)
{
    DrawSegments(points, count, nullptr);
}

void TZevDX7Renderer::DrawScreenLinesColor(std::uint32_t color, const TZevPoint2D* points, int count)
{
    DrawSegments(points, count, &color);
}

void TZevDX7Renderer::DrawScreenLineList(TZevList* list)
{
    if (!Device || !list)
        return;
    ZevDeviceCall(Device->SetTexture(0, nullptr));
    for (const TZevLineRecord* line : ZevItems<const TZevLineRecord>(*list)) {
        const TScreenVertex v[2] = {{line->x1 + 0.5f, line->y1 + 0.5f, 0, 0, line->Color, 0, 0, 0},
                                    {line->x2 + 0.5f, line->y2 + 0.5f, 0, 0, line->Color, 0, 0, 0}};
        ZevDeviceCall(Device->DrawPrimitive(ZevGL::PrimLineList, ScreenFormat, v, 2, 0));
    }
}

void TZevDX7Renderer::DrawWorldLines(const TZevMatrix& matrix, TZevList* list)
{
    if (!Device || !list)
        return;
    ZevDeviceCall(Device->SetTransform(ZevGL::TsWorld, matrix.m));
    for (const TZevSegmentRecord* s : ZevItems<const TZevSegmentRecord>(*list)) {
        const TWorldVertex v[2] = {{s->x1, s->y1, s->z1, 0, s->Color, 0, 0, 0},
                                   {s->x2, s->y2, s->z2, 0, s->Color, 0, 0, 0}};
        ZevDeviceCall(Device->DrawPrimitive(ZevGL::PrimLineList, LitFormat, v, 2, 0));
    }
}

void TZevDX7Renderer::AddText(const char* text)
{
    if (Store && text)
        Store->SearchDirectories.Add(text);
}

void TZevDX7Renderer::DrawText(int x, int y, const char* text)
{
    if (Surfaces && Surfaces->Back)
        Surfaces->Back->DrawText(x, y, text);
}

int TZevDX7Renderer::Present()
{
    if (!Surfaces || !Surfaces->Front || !Surfaces->Back || !Surfaces->DirectDraw)
        return 0;
    TZevGLSurface* front = Surfaces->Front->Surface;
    if (Surfaces->FullScreen)
        return !ZevGL::Failed(ZevDeviceCall(front->Flip(nullptr, ZevGL::FlipWait)));
    // The back surface at the window's top-left corner, clipped to the window by the server: the same picture as
    // a copy into the primary surface through the window's clipper, without asking the server where the window
    // is on the screen first (two round trips a frame on a busy server).
    const TZevGLRect whole{0, 0, GetWidth(), GetHeight()};
    return !ZevGL::Failed(ZevDeviceCall(Surfaces->Back->Surface->PresentTo(Surfaces->Window, whole, whole)));
}

int TZevDX7Renderer::RestoreSurfaces()
{
    if (Store)
        Store->Restore();
    return 1;
}
