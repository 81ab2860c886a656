#include "ZevDX7TextureStore.h"

#include "ZevDX7Surfaces.h"
#include "ZevDX7Texture.h"
#include "ZevDeviceResult.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t ScratchBytes = 30000;
constexpr std::size_t LargeScratchBytes = 960000;

struct TDepthSearch {
    TZevGLPixelFormat Format;
    bool Found = false;
};

bool Take(const TZevGLPixelFormat& format, void* context)
{
    TDepthSearch* search = static_cast<TDepthSearch*>(context);
    search->Format = format;
    search->Found = true;
    return false;
}

// The first format that is a depth buffer and nothing else.
bool TakePlainDepth(const TZevGLPixelFormat& format, void* context)
{
    return format.Flags == ZevGL::PfZBuffer ? Take(format, context) : true;
}

// The first format with at least 8 stencil bits.
bool TakeStencilDepth(const TZevGLPixelFormat& format, void* context)
{
    return format.StencilBits >= 8 ? Take(format, context) : true;
}

void SetIdentity(float* m)
{
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(m, identity, sizeof identity);
}

} // namespace

int TZevDX7NameTable::Hash(const void* key) const
{
    return ByteSumHash(static_cast<const char*>(key));
}

bool TZevDX7NameTable::Equal(const void* entryKey, const void* key) const
{
    return entryKey && key && std::strcmp(static_cast<const char*>(entryKey), static_cast<const char*>(key)) == 0;
}

TZevDX7TextureStore::TZevDX7TextureStore()
    : Scratch(static_cast<std::uint8_t*>(ZevAlloc(ScratchBytes))),
      LargeScratch(static_cast<std::uint8_t*>(ZevAlloc(LargeScratchBytes)))
{
}

TZevDX7TextureStore::~TZevDX7TextureStore()
{
    TZevDX7TextureStore::ReleaseAll();
    ZevFree(Scratch);
    ZevFree(LargeScratch);
}

int TZevDX7TextureStore::Init(TZevGLWindow window, TZevTexture* sharedBack)
{
    ReleaseAll();
    if (sharedBack) {
        Surfaces = sharedBack->Owner;
        Back = sharedBack;
        OwnsSurfaces = 0;
    } else {
        Surfaces = new TZevDX7Surfaces();
        Surfaces->FullScreen = FullScreen;
        Surfaces->Hardware = 1;
        if (!Surfaces->Init(window)) {
            Surfaces->Release();
            Surfaces->Hardware = 0;
            if (!Surfaces->Init(window)) {
                delete Surfaces;
                Surfaces = nullptr;
                ReleaseAll();
                return 0;
            }
        }
        OwnsSurfaces = 1;
        Back = Surfaces->Back;
    }
    if (!Surfaces || !Surfaces->DirectDraw || !Back || !Back->Surface) {
        ReleaseAll();
        return 0;
    }
    Direct3D = Surfaces->DirectDraw;
    Direct3D->AddRef();

    // The device: hardware transform and lighting when it offers a depth buffer, else hardware rasterisation; the
    // software device for surfaces in system memory.
    ZevGL::DeviceKind kind = ZevGL::DeviceRGB;
    std::uint32_t memory = ZevGL::CapsSystemMemory;
    if (Surfaces->Hardware) {
        TDepthSearch probe;
        ZevDeviceCall(Direct3D->EnumZBufferFormats(ZevGL::DeviceTnLHAL, TakePlainDepth, &probe));
        kind = probe.Found ? ZevGL::DeviceTnLHAL : ZevGL::DeviceHAL;
        memory = ZevGL::CapsVideoMemory;
    }
    TDepthSearch depth;
    ZevDeviceCall(Direct3D->EnumZBufferFormats(kind, Stencil ? TakeStencilDepth : TakePlainDepth, &depth));
    if (!depth.Found) {
        // No depth buffer on this device: everything again in system memory, on the software device.
        if (!OwnsSurfaces) {
            ReleaseAll();
            return 0;
        }
        ZevGLRelease(Direct3D);
        Surfaces->Release();
        Surfaces->Hardware = 0;
        if (!Surfaces->Init(window)) {
            ReleaseAll();
            return 0;
        }
        Back = Surfaces->Back;
        Direct3D = Surfaces->DirectDraw;
        Direct3D->AddRef();
        kind = ZevGL::DeviceRGB;
        memory = ZevGL::CapsSystemMemory;
        ZevDeviceCall(Direct3D->EnumZBufferFormats(kind, TakePlainDepth, &depth));
        if (!depth.Found) {
            ReleaseAll();
            return 0;
        }
    }
    DeviceKind = kind;

    TZevGLSurfaceDesc backDesc;
    Back->Surface->GetSurfaceDesc(&backDesc);
    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight | ZevGL::DescPixelFormat;
    desc.Width = backDesc.Width;
    desc.Height = backDesc.Height;
    desc.Format = depth.Format;
    desc.Caps = ZevGL::CapsZBuffer | memory;
    Depth = new TZevTexture();
    Depth->Owner = Surfaces;
    Depth->Width = desc.Width;
    Depth->Height = desc.Height;
    if (ZevGL::Failed(ZevDeviceCall(Direct3D->CreateSurface(desc, &Depth->Surface))) ||
        ZevGL::Failed(ZevDeviceCall(Back->Surface->AddAttachedSurface(Depth->Surface)))) {
        ReleaseAll();
        return 0;
    }
    Depth->Name = " ZSurface";
    Depth->Backup = Depth->Surface;

    if (ZevGL::Failed(ZevDeviceCall(Direct3D->CreateDevice(kind, Back->Surface, &Device)))) {
        ReleaseAll();
        return 0;
    }
    TZevGLViewport viewport;
    viewport.Width = backDesc.Width;
    viewport.Height = backDesc.Height;
    ZevDeviceCall(Device->SetViewport(viewport));
    TZevGLMaterial material;
    material.Diffuse = material.Ambient = {1.0f, 1.0f, 1.0f, 0.0f};
    ZevDeviceCall(Device->SetMaterial(material));
    TZevGLLight light;
    light.Type = ZevGL::LightDirectional;
    light.Diffuse = light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    light.Position[2] = 1.0f;
    light.Direction[2] = 1.0f;
    light.Range = std::sqrt(FLT_MAX);
    light.Attenuation1 = 1.0f;
    ZevDeviceCall(Device->SetLight(0, light));
    ZevDeviceCall(Device->LightEnable(0, true));
    SetDefaultStates();
    return 1;
}

void TZevDX7TextureStore::SetDefaultStates()
{
    SetIdentity(World);
    SetIdentity(View);
    static const float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
    std::memcpy(Projection, projection, sizeof projection);
    const float halfWidth = Back ? static_cast<float>(Back->Width) * 0.5f : 0.0f;
    const float halfHeight = Back ? static_cast<float>(Back->Height) * 0.5f : 0.0f;
    const float view[13] = {0, 0, 1.0f, 1.0f, 1.0f, 1.0f, halfWidth, halfHeight, 1000.0f, 1.0f, 0.5f, 0.5f, 0.5f};
    std::memcpy(ViewParameters, view, sizeof view);
    if (!Device)
        return;
    ZevDeviceCall(Device->SetTransform(ZevGL::TsWorld, World));
    ZevDeviceCall(Device->SetTransform(ZevGL::TsView, View));
    ZevDeviceCall(Device->SetTransform(ZevGL::TsProjection, Projection));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsZEnable, 1));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsSpecularEnable, 1));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsZWriteEnable, 1));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsShadeMode, ZevGL::ShadeGouraud));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsTexturePerspective, 1));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsCullMode, ZevGL::CullNone));
    // Magnified texels are drawn as they are: the floors map one texture of 1-texel grout lines over hundreds of
    // units (2.5 units a texel), which blending neighbours turned into blurred dark bands along every seam.
    ZevDeviceCall(Device->SetTextureStageState(0, ZevGL::TssMagFilter, ZevGL::FilterPoint));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsAmbient, 0xFF7F7F7Fu));
    ZevDeviceCall(Device->SetRenderState(ZevGL::RsLighting, 1));
}

void TZevDX7TextureStore::ReleaseAll()
{
    NameTable.ForEach([](TZevHashEntry* entry) { delete static_cast<TZevDX7Texture*>(entry->value); });
    delete Depth;
    Depth = nullptr;
    ZevGLRelease(Device);
    ZevGLRelease(Direct3D);
    if (OwnsSurfaces)
        delete Surfaces;
    Surfaces = nullptr;
    Back = nullptr;
    OwnsSurfaces = 0;
}

TZevDX7Texture* TZevDX7TextureStore::LoadTexture(const char* name)
{
    if (!name || !*name)
        return nullptr;
    if (TZevHashEntry* entry = NameTable.Find(name)) {
        TZevDX7Texture* texture = static_cast<TZevDX7Texture*>(entry->value);
        if (texture->LoadFailed)
            return nullptr;
        ++texture->RefCount;
        return texture;
    }
    TZevDX7Texture* texture = new TZevDX7Texture();
    if (texture->LoadBmp(name, this))
        return texture;
    // Remembered as failed: the next frames ask again and get null at once, without a new log line.
    texture->ReleaseSurfaces();
    texture->LoadFailed = 1;
    texture->Store = this;
    texture->Name2 = name;
    texture->Entry.key = texture->Name2.CStr();
    NameTable.Add(&texture->Entry);
    return nullptr;
}

TZevDX7Texture* TZevDX7TextureStore::CreateMaterial(const char* name, const float* material)
{
    TZevDX7Texture* texture = new TZevDX7Texture();
    texture->InitMaterial(name, material, this);
    return texture;
}

TZevDX7Texture* TZevDX7TextureStore::FindTexture(const char* name)
{
    TZevHashEntry* entry = name ? NameTable.Find(name) : nullptr;
    TZevDX7Texture* texture = entry ? static_cast<TZevDX7Texture*>(entry->value) : nullptr;
    return texture && !texture->LoadFailed ? texture : nullptr;
}

void TZevDX7TextureStore::RemoveTexture(const char* name)
{
    if (TZevHashEntry* entry = name ? NameTable.Find(name) : nullptr)
        TZevHashTable::Unlink(entry);
}

void TZevDX7TextureStore::Restore()
{
    if (Depth)
        Depth->Restore();
    if (Surfaces)
        Surfaces->RestoreAll();
}
