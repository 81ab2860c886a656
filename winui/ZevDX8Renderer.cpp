#include "ZevDX8Renderer.h"

#include "ZevBitmap.h"
#include "ZevDX8TextureStore.h"
#include "ZevDeviceResult.h"
#include "ZevGLDevice.h"
#include "ZevGLSurface.h"
#include "ZevMeshData.h"
#include "ZevMeshPools.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t LineFormat = ZevGL::VfXYZ | ZevGL::VfDiffuse;
constexpr std::uint32_t MaterialFormat = ZevGL::VfXYZ | ZevGL::VfNormal | ZevGL::VfTex1;
constexpr std::uint32_t ColoredFormat = ZevGL::VfXYZ | ZevGL::VfDiffuse | ZevGL::VfSpecular | ZevGL::VfTex1;

constexpr std::int32_t GlyphsPerPage = 256;
constexpr std::int32_t PageSide = 256;
constexpr std::int32_t Cell = 16;
// The texel of a glyph's ink (opaque, red 0, green and blue 0x88); the rest of a cell is transparent.
constexpr std::uint32_t InkTexel = 0xFF008888u;

TZevDX8Texture* TextureOf(TZevTextureHandle handle)
{
    return reinterpret_cast<TZevDX8Texture*>(handle);
}

int GlyphBucket(const char* character, std::int32_t length)
{
    std::uint32_t sum = 0;
    for (std::int32_t i = 0; i < length; ++i)
        sum += static_cast<unsigned char>(character[i]);
    return static_cast<int>(sum & 0xFF);
}

} // namespace

bool TZevDX8VertexArray::Reserve(std::int32_t n)
{
    if (n <= Capacity)
        return true;
    const std::int32_t capacity = std::max(n, Capacity * 2);
    TZevDX8Vertex* grown = static_cast<TZevDX8Vertex*>(ZevAlloc(sizeof(TZevDX8Vertex) * std::size_t(capacity)));
    if (!grown)
        return false;
    if (Count > 0)
        std::memcpy(grown, Vertices, sizeof(TZevDX8Vertex) * std::size_t(Count));
    ZevFree(Vertices);
    Vertices = grown;
    Capacity = capacity;
    return true;
}

void TZevDX8VertexArray::Free()
{
    ZevFree(Vertices);
    Vertices = nullptr;
    Count = Capacity = 0;
}

TZevDX8Renderer::~TZevDX8Renderer()
{
    TZevDX8Renderer::Release();
    ClearBucketArray(GlyphTable, 256);
    Converted.Free();
}

bool TZevDX8Renderer::FinishInit()
{
    IndexBuffer = static_cast<std::uint16_t*>(std::malloc(sizeof(std::uint16_t) * IndexCapacity));
    Device = Store->Device;
    if (!IndexBuffer || !Device)
        return false;
    SetRenderState(ZevGL::RsZEnable, 1);
    SetRenderState(ZevGL::RsSpecularEnable, 1);
    SetRenderState(ZevGL::RsZWriteEnable, 1);
    SetRenderState(ZevGL::RsShadeMode, ZevGL::ShadeGouraud);
    SetRenderState(ZevGL::RsCullMode, ZevGL::CullNone);
    SetStageState(ZevGL::TssMagFilter, ZevGL::FilterLinear);
    SetRenderState(ZevGL::RsAmbient, 0x808080u);
    return true;
}

bool TZevDX8Renderer::InitFromDevice(TZevGLDriver* object, TZevGLDevice* device)
{
    Release();
    Store = new TZevDX8TextureStore();
    Store->FullScreen = FullScreen;
    Store->Reserved = StencilShadows;
    if (!device || !Store->InitFromDevice(object, device) || !FinishInit()) {
        Release();
        return false;
    }
    return true;
}

bool TZevDX8Renderer::InitFromWindow(TZevGLWindow window)
{
    Release();
    Store = new TZevDX8TextureStore();
    Store->FullScreen = FullScreen;
    Store->Reserved = StencilShadows;
    if (!Store->InitFromWindow(window) || !FinishInit()) {
        Release();
        return false;
    }
    return true;
}

void TZevDX8Renderer::Release()
{
    for (TZevList& glyphs : GlyphTable) {
        for (TZevGlyph* glyph : ZevItems<TZevGlyph>(glyphs))
            delete glyph;
        glyphs.Clear();
    }
    for (TZevGlyphPage* page : ZevItems<TZevGlyphPage>(GlyphPages)) {
        if (Store)
            Store->UnloadTexture(page->Texture);
        page->Quads.Free();
        delete page;
    }
    GlyphPages.Clear();
    std::free(IndexBuffer);
    IndexBuffer = nullptr;
    Device = nullptr;
    ZevDetachTextures(this, false);
    delete Store;
    Store = nullptr;
    ClearCommands();
}

int TZevDX8Renderer::BackBufferSide(bool width)
{
    TZevGLSurface* back = nullptr;
    if (!Device || ZevGL::Failed(ZevDeviceCall(Device->GetBackBuffer(&back))))
        return 0;
    const int side = width ? back->GetWidth() : back->GetHeight();
    back->Release();
    return side;
}

int TZevDX8Renderer::GetWidth()
{
    return BackBufferSide(true);
}

int TZevDX8Renderer::GetHeight()
{
    return BackBufferSide(false);
}

void TZevDX8Renderer::GetTargetSize(std::int32_t* width, std::int32_t* height)
{
    TZevGLViewport viewport;
    viewport.Width = viewport.Height = 0;
    if (Device)
        ZevDeviceCall(Device->GetViewport(&viewport));
    *width = viewport.Width;
    *height = viewport.Height;
}

TZevTextureHandle TZevDX8Renderer::LoadTexture(const char* name)
{
    return Store ? reinterpret_cast<TZevTextureHandle>(Store->LoadTexture(name)) : 0;
}

void TZevDX8Renderer::UnloadTexture(TZevTextureHandle handle)
{
    if (Store)
        Store->UnloadTexture(TextureOf(handle));
}

TZevGLSurface* TZevDX8Renderer::TextureSurface(TZevTextureHandle handle)
{
    return handle ? TextureOf(handle)->Texture : nullptr;
}

void TZevDX8Renderer::DrawTriangles(const TZevMeshData* mesh, bool lit, const std::uint16_t* indices,
                                    std::uint32_t count)
{
    const std::uint32_t vertices = static_cast<std::uint32_t>(std::min(mesh->VertexCount, mesh->VertexCapacity));
    if (lit && Converted.Count < static_cast<std::int32_t>(vertices))
        return; // the conversion found no memory
    ZevDeviceCall(Device->SetVertexFormat(lit ? ColoredFormat : MaterialFormat));
    ZevDeviceCall(Device->DrawIndexedPrimitiveUP(ZevGL::PrimTriangleList, 0, vertices, count / 3, indices,
                                                 lit ? static_cast<const void*>(Converted.Vertices)
                                                     : mesh->VertexArray,
                                                 lit ? sizeof(TZevDX8Vertex) : sizeof(TZevVertex)));
}

void TZevDX8Renderer::DrawLitMeshNow(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh)
{
    if (!mesh || !mesh->VertexArray)
        return;
    const std::int32_t count = std::min(mesh->VertexCount, mesh->VertexCapacity);
    Converted.Count = 0;
    if (!Converted.Reserve(count))
        return;
    const TZevLVertex* in = mesh->LVertices();
    for (std::int32_t i = 0; i < count; ++i)
        Converted.Vertices[i] = {in[i].x, in[i].y, in[i].z, in[i].Diffuse, in[i].Specular, in[i].u, in[i].v};
    Converted.Count = count;
    TZevFramePassRenderer::DrawLitMeshNow(texture, matrix, mesh);
}

void TZevDX8Renderer::DrawWorldLines(const TZevMatrix& matrix, TZevList* list)
{
    if (!Device || !list)
        return;
    struct TLineVertex {
        float x, y, z;
        std::uint32_t color;
    };
    ZevDeviceCall(Device->SetTransform(ZevGL::TsWorld, matrix.m));
    ZevDeviceCall(Device->SetTexture(0, nullptr));
    ZevDeviceCall(Device->SetVertexFormat(LineFormat));
    for (const TZevSegmentRecord* s : ZevItems<const TZevSegmentRecord>(*list)) {
        const TLineVertex v[2] = {{s->x1, s->y1, s->z1, s->Color}, {s->x2, s->y2, s->z2, s->Color}};
        ZevDeviceCall(Device->DrawPrimitiveUP(ZevGL::PrimLineList, 1, v, sizeof(TLineVertex)));
    }
}

void TZevDX8Renderer::AddText(const char* text)
{
    if (Store && text)
        Store->SearchDirectories.Add(text);
}

int TZevDX8Renderer::Present()
{
    return Device && !ZevGL::Failed(ZevDeviceCall(Device->Present(nullptr, nullptr, 0)));
}

int TZevDX8Renderer::SetViewport(const TZevViewport* viewport)
{
    if (!Device || !viewport)
        return 0;
    TZevGLViewport v;
    v.X = viewport->X;
    v.Y = viewport->Y;
    v.Width = viewport->Width;
    v.Height = viewport->Height;
    v.MinZ = viewport->MinZ;
    v.MaxZ = viewport->MaxZ;
    return !ZevGL::Failed(ZevDeviceCall(Device->SetViewport(v)));
}

int TZevDX8Renderer::GetViewport(TZevViewport* viewport)
{
    TZevGLViewport v;
    if (!Device || !viewport || ZevGL::Failed(ZevDeviceCall(Device->GetViewport(&v))))
        return 0;
    viewport->X = v.X;
    viewport->Y = v.Y;
    viewport->Width = v.Width;
    viewport->Height = v.Height;
    viewport->MinZ = v.MinZ;
    viewport->MaxZ = v.MaxZ;
    return 1;
}

TZevGlyph* TZevDX8Renderer::FindGlyph(const char* character, std::int32_t length)
{
    for (TZevGlyph* glyph : ZevItems<TZevGlyph>(GlyphTable[GlyphBucket(character, length)])) {
        if (glyph->Length == length && std::memcmp(glyph->Bytes, character, std::size_t(length)) == 0)
            return glyph;
    }
    return CreateGlyph(character, length);
}

TZevGlyph* TZevDX8Renderer::CreateGlyph(const char* character, std::int32_t length)
{
    TZevGlyphPage* page = GlyphPages.IsEmpty() ? nullptr : ZevItem<TZevGlyphPage>(GlyphPages.Last());
    if (!page || page->GlyphCount >= GlyphsPerPage) {
        TZevBitmap* blank = new TZevBitmap();
        TZevDX8Texture* texture = nullptr;
        if (blank->CreateByDepth(PageSide, PageSide, 32)) {
            std::memset(blank->GetBits(), 0, std::size_t(blank->GetPitch()) * PageSide);
            texture = Store->CreateTexture(blank);
        }
        blank->Release();
        if (!texture)
            return nullptr;
        page = new TZevGlyphPage();
        page->Texture = texture;
        GlyphPages.Add(page);
    }
    const std::int32_t slot = page->GlyphCount;
    TZevGlyph* glyph = new TZevGlyph();
    std::memcpy(glyph->Bytes, character, std::size_t(length));
    glyph->Length = length;
    glyph->Page = page;
    glyph->U = static_cast<float>(slot % 16) / 16.0f;
    glyph->V = static_cast<float>(slot / 16) / 16.0f;
    GlyphTable[GlyphBucket(character, length)].Add(glyph);

    // The character drawn black on white in the cell's place: ink opaque, the rest transparent.
    TZevTextCoverage image;
    if (!ZevRenderText(ZevGLTextFont(), character, std::size_t(length), &image))
        image = TZevTextCoverage();
    const TZevGLRect rect{(slot % 16) * Cell, (slot / 16) * Cell, (slot % 16) * Cell + Cell, (slot / 16) * Cell + Cell};
    TZevGLSurfaceDesc locked;
    TZevGLSurface* texture = page->Texture->Texture;
    if (!ZevGL::Failed(ZevDeviceCall(texture->Lock(&rect, &locked, 0)))) {
        for (std::int32_t row = 0; row < Cell; ++row) {
            std::uint32_t* out = static_cast<std::uint32_t*>(locked.Bits) + std::ptrdiff_t(row) * (locked.Pitch / 4);
            for (std::int32_t column = 0; column < Cell; ++column) {
                const bool ink = row < image.height && column < image.width &&
                                 image.alpha[std::size_t(row) * std::size_t(image.width) + std::size_t(column)] >= 128;
                out[column] = ink ? InkTexel : 0u;
            }
        }
        ZevDeviceCall(texture->Unlock(&rect));
    }
    ++page->GlyphCount;
    return glyph;
}

void TZevDX8Renderer::DrawText(int x, int y, const char* text)
{
    if (!Device || !Store)
        return;
    ZevDeviceCall(Device->BeginScene());
    SetRenderState(ZevGL::RsAlphaBlendEnable, 1);
    SetRenderState(ZevGL::RsZEnable, 0);
    SetStage(ZevGL::ArgTexture, ZevGL::ArgDiffuse, ZevGL::OpModulate, ZevGL::ArgTexture, ZevGL::ArgDiffuse,
             ZevGL::OpModulate);
    SetRenderState(ZevGL::RsLighting, 0);
    // A glyph's texels land one to one on pixels: a linear filter would blend each with its neighbours wherever the
    // driver rounds the quad's edges a little differently.
    SetStageState(ZevGL::TssMagFilter, ZevGL::FilterPoint);
    ZevDeviceCall(Device->SetVertexFormat(ColoredFormat));
    // The quads are placed in world space: whatever mesh was drawn last must not move them.
    ZevDeviceCall(Device->SetTransform(ZevGL::TsWorld, IdentityMatrix.m));

    // One pixel to the right and one down, in the world, at a depth just beyond the near plane.
    TZevVector d, o;
    ScreenToWorld(TZevVector(0.5f, 0.5f, 1.1f), &d, &o);
    TZevVector origin;
    ZevVecAdd(origin, o, d);
    ScreenToWorld(TZevVector(1.5f, 0.5f, 1.1f), &d, &o);
    TZevVector right;
    ZevVecAdd(right, o, d);
    ScreenToWorld(TZevVector(0.5f, 1.5f, 1.1f), &d, &o);
    TZevVector down;
    ZevVecAdd(down, o, d);
    TZevVector stepX, stepY;
    ZevVecSub(stepX, right, origin);
    ZevVecSub(stepY, down, origin);
    auto corner = [&](float cx, float cy, float u, float v) {
        return TZevDX8Vertex{origin.x + stepX.x * cx + stepY.x * cy, origin.y + stepX.y * cx + stepY.y * cy,
                             origin.z + stepX.z * cx + stepY.z * cy, 0xFFFFFFFFu, 0, u, v};
    };

    float px = static_cast<float>(x), py = static_cast<float>(y);
    for (const char* p = text ? text : ""; *p;) {
        if (*p == '\n' || *p == ' ' || *p == '\t') {
            if (*p == '\n') {
                px = static_cast<float>(x);
                py += 20.0f;
            } else {
                px += *p == ' ' ? 8.0f : 32.0f;
            }
            ++p;
            continue;
        }
        const std::int32_t length = ZevGLCharLength(p);
        TZevGlyph* glyph = FindGlyph(p, length);
        if (glyph && glyph->Page->Quads.Reserve(glyph->Page->Quads.Count + 6)) {
            const float u = glyph->U, v = glyph->V, s = 1.0f / 16.0f;
            const TZevDX8Vertex topLeft = corner(px, py, u, v);
            const TZevDX8Vertex topRight = corner(px + 16.0f, py, u + s, v);
            const TZevDX8Vertex bottomLeft = corner(px, py + 16.0f, u, v + s);
            const TZevDX8Vertex bottomRight = corner(px + 16.0f, py + 16.0f, u + s, v + s);
            TZevDX8Vertex* quad = glyph->Page->Quads.Vertices + glyph->Page->Quads.Count;
            quad[0] = topLeft;
            quad[1] = topRight;
            quad[2] = bottomLeft;
            quad[3] = bottomRight;
            quad[4] = bottomLeft;
            quad[5] = topRight;
            glyph->Page->Quads.Count += 6;
        }
        px += length > 1 ? 16.0f : 8.0f;
        p += length;
    }
    for (TZevGlyphPage* page : ZevItems<TZevGlyphPage>(GlyphPages)) {
        ZevDeviceCall(Device->SetTexture(0, page->Texture->Texture));
        if (page->Quads.Count > 0)
            ZevDeviceCall(Device->DrawPrimitiveUP(ZevGL::PrimTriangleList, std::uint32_t(page->Quads.Count / 3),
                                                  page->Quads.Vertices, sizeof(TZevDX8Vertex)));
        page->Quads.Count = 0;
    }
    SetStageState(ZevGL::TssMagFilter, ZevGL::FilterLinear);
    SetRenderState(ZevGL::RsZEnable, 1);
    SetRenderState(ZevGL::RsLighting, 1);
    ZevDeviceCall(Device->EndScene());
}
