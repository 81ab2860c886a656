#include "ZevGLDevice.h"

#include "ZevGLContext.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const float Identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// out = a then b, points as row vectors.
void Multiply(float* out, const float* a, const float* b)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = sum;
        }
    }
}

float FloatOf(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::uint32_t BitsOf(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void ArgbToFloats(std::uint32_t argb, float* out)
{
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>(argb >> 24) / 255.0f;
}

GLenum CompareFunction(std::uint32_t value)
{
    static const GLenum table[] = {GL_NEVER,   GL_NEVER,    GL_LESS,   GL_EQUAL,  GL_LEQUAL,
                                   GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return value < sizeof table / sizeof table[0] ? table[value] : GL_ALWAYS;
}

GLenum BlendFactor(std::uint32_t value)
{
    static const GLenum table[] = {GL_ONE,
                                   GL_ZERO,
                                   GL_ONE,
                                   GL_SRC_COLOR,
                                   GL_ONE_MINUS_SRC_COLOR,
                                   GL_SRC_ALPHA,
                                   GL_ONE_MINUS_SRC_ALPHA,
                                   GL_DST_ALPHA,
                                   GL_ONE_MINUS_DST_ALPHA,
                                   GL_DST_COLOR,
                                   GL_ONE_MINUS_DST_COLOR};
    return value < sizeof table / sizeof table[0] ? table[value] : GL_ONE;
}

GLenum StencilOperation(std::uint32_t value)
{
    static const GLenum table[] = {GL_KEEP, GL_KEEP,   GL_ZERO,      GL_REPLACE, GL_INCR,
                                   GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return value < sizeof table / sizeof table[0] ? table[value] : GL_KEEP;
}

GLenum CombineSource(std::uint32_t argument)
{
    switch (argument) {
    case ZevGL::ArgTexture:
        return GL_TEXTURE;
    case ZevGL::ArgCurrent:
        return GL_PREVIOUS;
    default: // diffuse; the specular colour is added after the stages
        return GL_PRIMARY_COLOR;
    }
}

// One half (colour or alpha) of stage 0 as a GL_COMBINE function.
void SetCombine(bool alpha, std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2)
{
    const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
    const GLenum source0 = alpha ? GL_SOURCE0_ALPHA : GL_SOURCE0_RGB;
    const GLenum source1 = alpha ? GL_SOURCE1_ALPHA : GL_SOURCE1_RGB;
    const GLenum scale = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
    glTexEnvi(GL_TEXTURE_ENV, alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB, alpha ? GL_SRC_ALPHA : GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB, alpha ? GL_SRC_ALPHA : GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, scale, op == ZevGL::OpModulate2x ? 2 : 1);
    switch (op) {
    case ZevGL::OpSelectArg1:
        glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, source0, static_cast<GLint>(CombineSource(arg1)));
        break;
    case ZevGL::OpSelectArg2:
        glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, source0, static_cast<GLint>(CombineSource(arg2)));
        break;
    case ZevGL::OpModulate:
    case ZevGL::OpModulate2x:
    case ZevGL::OpAdd:
        glTexEnvi(GL_TEXTURE_ENV, combine, op == ZevGL::OpAdd ? GL_ADD : GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, source0, static_cast<GLint>(CombineSource(arg1)));
        glTexEnvi(GL_TEXTURE_ENV, source1, static_cast<GLint>(CombineSource(arg2)));
        break;
    default: // disabled: the diffuse colour passes
        glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, source0, GL_PRIMARY_COLOR);
        break;
    }
}

// Whether one half of stage 0 hands on the diffuse colour unchanged when its texture reads white: the diffuse
// colour selected, or modulated by the texture.
bool PassesDiffuse(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2)
{
    switch (op) {
    case ZevGL::OpDisable:
        return true;
    case ZevGL::OpSelectArg1:
        return arg1 != ZevGL::ArgTexture;
    case ZevGL::OpSelectArg2:
        return arg2 != ZevGL::ArgTexture;
    case ZevGL::OpModulate:
        return (arg1 == ZevGL::ArgTexture) != (arg2 == ZevGL::ArgTexture);
    default:
        return false;
    }
}

void SetColor(GLenum light, GLenum name, const TZevGLColor& c)
{
    const float v[4] = {c.r, c.g, c.b, c.a};
    glLightfv(light, name, v);
}

std::uint32_t VertexSize(std::uint32_t format)
{
    std::uint32_t size = 0;
    if (format & ZevGL::VfXYZRHW)
        size += 16;
    else if (format & ZevGL::VfXYZ)
        size += 12;
    if (format & ZevGL::VfNormal)
        size += 12;
    if (format & ZevGL::VfReserved)
        size += 4;
    if (format & ZevGL::VfDiffuse)
        size += 4;
    if (format & ZevGL::VfSpecular)
        size += 4;
    if (format & ZevGL::VfTex1)
        size += 8;
    return size;
}

// Vertices a primitive count needs.
std::uint32_t VerticesFor(ZevGL::PrimitiveType type, std::uint32_t primitives)
{
    switch (type) {
    case ZevGL::PrimPointList:
        return primitives;
    case ZevGL::PrimLineList:
        return primitives * 2;
    case ZevGL::PrimLineStrip:
        return primitives ? primitives + 1 : 0;
    case ZevGL::PrimTriangleList:
        return primitives * 3;
    case ZevGL::PrimTriangleStrip:
    case ZevGL::PrimTriangleFan:
        return primitives ? primitives + 2 : 0;
    }
    return 0;
}

GLenum PrimitiveMode(ZevGL::PrimitiveType type)
{
    switch (type) {
    case ZevGL::PrimPointList:
        return GL_POINTS;
    case ZevGL::PrimLineList:
        return GL_LINES;
    case ZevGL::PrimLineStrip:
        return GL_LINE_STRIP;
    case ZevGL::PrimTriangleStrip:
        return GL_TRIANGLE_STRIP;
    case ZevGL::PrimTriangleFan:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

} // namespace

TZevGLDevice::TZevGLDevice(TZevGLDriver* driver, ZevGL::DeviceKind kind, TZevGLSurface* target,
                           TZevGLWindow window)
    : Driver(driver), Context(driver->GetContext()), Kind(kind), Target(target), Window(window)
{
    Driver->AddRef();
    Target->AddRef();
    using namespace ZevGL;
    std::fill_n(RenderStates, static_cast<int>(RenderStateCount), 0u);
    RenderStates[RsZEnable] = target->GetAttachedDepth() ? 1 : 0;
    RenderStates[RsZWriteEnable] = 1;
    RenderStates[RsZFunc] = CmpLessEqual;
    RenderStates[RsShadeMode] = ShadeGouraud;
    RenderStates[RsCullMode] = CullCCW;
    RenderStates[RsLighting] = 1;
    RenderStates[RsSrcBlend] = BlendOne;
    RenderStates[RsDestBlend] = BlendZero;
    RenderStates[RsFogEnd] = BitsOf(1.0f);
    RenderStates[RsStencilFunc] = CmpAlways;
    RenderStates[RsStencilMask] = 0xFFFFFFFFu;
    RenderStates[RsStencilWriteMask] = 0xFFFFFFFFu;
    RenderStates[RsStencilFail] = StencilKeep;
    RenderStates[RsStencilZFail] = StencilKeep;
    RenderStates[RsStencilPass] = StencilKeep;
    RenderStates[RsCcwStencilFunc] = CmpAlways;
    RenderStates[RsCcwStencilFail] = StencilKeep;
    RenderStates[RsCcwStencilZFail] = StencilKeep;
    RenderStates[RsCcwStencilPass] = StencilKeep;
    RenderStates[RsDiffuseMaterialSource] = MaterialSourceColor1;
    RenderStates[RsSpecularMaterialSource] = MaterialSourceColor2;
    RenderStates[RsTexturePerspective] = 1;
    RenderStates[RsColorVertex] = 1;
    for (int s = 0; s < MaxStages; ++s) {
        std::uint32_t* stage = StageStates[s];
        stage[TssColorOp] = s == 0 ? OpModulate : OpDisable;
        stage[TssColorArg1] = ArgTexture;
        stage[TssColorArg2] = ArgCurrent;
        stage[TssAlphaOp] = s == 0 ? OpSelectArg1 : OpDisable;
        stage[TssAlphaArg1] = ArgTexture;
        stage[TssAlphaArg2] = ArgCurrent;
        stage[TssMagFilter] = FilterPoint;
        stage[TssMinFilter] = FilterPoint;
    }
    for (auto& transform : Transforms)
        std::memcpy(transform, Identity, sizeof Identity);
    Viewport.Width = target->GetWidth();
    Viewport.Height = target->GetHeight();
}

TZevGLDevice::~TZevGLDevice()
{
    for (TZevGLSurface*& texture : Textures)
        ZevGLRelease(texture);
    if (Context->StateOwner == this)
        Context->StateOwner = nullptr;
    // A scene left open lets the context go with its device.
    Context->EndFrame();
    Target->Release();
    Driver->Release();
}

std::int32_t TZevGLDevice::BeginScene()
{
    if (InScene)
        return ZevGL::ErrGeneric;
    if (Target->LostNow() || (Target->GetAttachedDepth() && Target->GetAttachedDepth()->LostNow()))
        return ZevGL::ErrSurfaceLost;
    InScene = true;
    // The scene's calls draw on this thread without binding the context one by one, after the frame's clear.
    TZevGLBinding bind(Context);
    if (bind.Ok()) {
        Context->HoldForFrame();
        Target->ApplyPending();
    }
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::EndScene()
{
    if (!InScene)
        return ZevGL::ErrNotInScene;
    InScene = false;
    TZevGLBinding bind(Context);
    if (bind.Ok()) {
        // A scissor never outlives the scene: what else draws into the target (clears, blits, text) draws
        // everywhere.
        if (ScissorOn && Context->StateOwner == this) {
            glDisable(GL_SCISSOR_TEST);
            Dirty |= DirtyScissor;
        }
        glFlush();
    }
    Context->EndFrame();
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::Clear(std::uint32_t count, const TZevGLRect* rects, std::uint32_t flags,
                                 std::uint32_t color, float z, std::uint32_t stencil)
{
    if (!Context->Context)
        return ZevGL::ErrNoDisplay;
    if (Target->LostNow() || (Target->GetAttachedDepth() && Target->GetAttachedDepth()->LostNow()))
        return ZevGL::ErrSurfaceLost;
    std::vector<TZevGLRect> clipped;
    const TZevGLRect view{Viewport.X, Viewport.Y, Viewport.X + Viewport.Width, Viewport.Y + Viewport.Height};
    for (std::uint32_t i = 0; i < (rects && count ? count : 1); ++i) {
        TZevGLRect r = rects && count ? rects[i] : view;
        r = {std::max(r.left, view.left), std::max(r.top, view.top), std::min(r.right, view.right),
             std::min(r.bottom, view.bottom)};
        if (r.right > r.left && r.bottom > r.top)
            clipped.push_back(r);
    }
    if (clipped.empty() || !(flags & (ZevGL::ClearTarget | ZevGL::ClearZBuffer | ZevGL::ClearStencil)))
        return ZevGL::Ok;
    // Carried out with the next scene (or whatever reads the target first).
    Target->DeferClear(std::move(clipped), flags, color, z, stencil);
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetScissorRect(const TZevGLRect* rect)
{
    bool on = rect != nullptr;
    TZevGLRect r{};
    if (rect) {
        r = {std::clamp(rect->left, 0, Target->GetWidth()), std::clamp(rect->top, 0, Target->GetHeight()),
             std::clamp(rect->right, 0, Target->GetWidth()), std::clamp(rect->bottom, 0, Target->GetHeight())};
        r.right = std::max(r.right, r.left);
        r.bottom = std::max(r.bottom, r.top);
    }
    if (on == ScissorOn && (!on || std::memcmp(&r, &Scissor, sizeof r) == 0))
        return ZevGL::Ok;
    ScissorOn = on;
    Scissor = r;
    Dirty |= DirtyScissor;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetViewport(const TZevGLViewport& viewport)
{
    if (viewport.Width <= 0 || viewport.Height <= 0 || viewport.X < 0 || viewport.Y < 0 ||
        viewport.X + viewport.Width > Target->GetWidth() || viewport.Y + viewport.Height > Target->GetHeight())
        return ZevGL::ErrInvalidParams;
    Viewport = viewport;
    Dirty |= DirtyTransform;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::GetViewport(TZevGLViewport* viewport)
{
    if (!viewport)
        return ZevGL::ErrInvalidParams;
    *viewport = Viewport;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetTransform(ZevGL::TransformState state, const float* matrix)
{
    if (state < 0 || state >= ZevGL::TransformStateCount || !matrix)
        return ZevGL::ErrInvalidParams;
    if (std::memcmp(Transforms[state], matrix, sizeof Transforms[state]) == 0)
        return ZevGL::Ok;
    std::memcpy(Transforms[state], matrix, sizeof Transforms[state]);
    Dirty |= DirtyTransform;
    if (state == ZevGL::TsView)
        Dirty |= DirtyLights;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::GetTransform(ZevGL::TransformState state, float* matrix)
{
    if (state < 0 || state >= ZevGL::TransformStateCount || !matrix)
        return ZevGL::ErrInvalidParams;
    std::memcpy(matrix, Transforms[state], sizeof Transforms[state]);
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetRenderState(ZevGL::RenderState state, std::uint32_t value)
{
    using namespace ZevGL;
    if (state < 0 || state >= RenderStateCount)
        return ErrInvalidParams;
    // The renderers set their states again for every mesh: only a change makes OpenGL's state be set again.
    if (RenderStates[state] == value)
        return Ok;
    RenderStates[state] = value;
    switch (state) {
    case RsZEnable:
    case RsZWriteEnable:
    case RsZFunc:
        Dirty |= DirtyDepth;
        break;
    case RsShadeMode:
    case RsCullMode:
        Dirty |= DirtyRaster;
        break;
    case RsAlphaBlendEnable:
    case RsSrcBlend:
    case RsDestBlend:
        Dirty |= DirtyBlend;
        break;
    case RsFogEnable:
    case RsFogTableMode:
    case RsFogStart:
    case RsFogEnd:
    case RsFogColor:
        Dirty |= DirtyFog;
        break;
    case RsStencilEnable:
    case RsStencilFunc:
    case RsStencilRef:
    case RsStencilMask:
    case RsStencilWriteMask:
    case RsStencilFail:
    case RsStencilZFail:
    case RsStencilPass:
    case RsTwoSidedStencilMode:
    case RsCcwStencilFail:
    case RsCcwStencilZFail:
    case RsCcwStencilPass:
    case RsCcwStencilFunc:
        Dirty |= DirtyStencil;
        break;
    default:
        Dirty |= DirtyLighting | DirtyLights;
        break;
    }
    return Ok;
}

std::int32_t TZevGLDevice::GetRenderState(ZevGL::RenderState state, std::uint32_t* value)
{
    if (state < 0 || state >= ZevGL::RenderStateCount || !value)
        return ZevGL::ErrInvalidParams;
    *value = RenderStates[state];
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetTextureStageState(std::int32_t stage, ZevGL::StageState state, std::uint32_t value)
{
    if (stage < 0 || stage >= ZevGL::MaxStages || state < 0 || state >= ZevGL::StageStateCount)
        return ZevGL::ErrInvalidParams;
    StageStates[stage][state] = value;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::GetTextureStageState(std::int32_t stage, ZevGL::StageState state, std::uint32_t* value)
{
    if (stage < 0 || stage >= ZevGL::MaxStages || state < 0 || state >= ZevGL::StageStateCount || !value)
        return ZevGL::ErrInvalidParams;
    *value = StageStates[stage][state];
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetTexture(std::int32_t stage, TZevGLSurface* texture)
{
    if (stage < 0 || stage >= ZevGL::MaxStages)
        return ZevGL::ErrInvalidParams;
    if (texture && (texture->GetKind() != TZevGLSurface::KindColor || texture->GetDriver() != Driver))
        return ZevGL::ErrInvalidParams;
    ZevGLHold(Textures[stage], texture);
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetMaterial(const TZevGLMaterial& material)
{
    if (std::memcmp(&Material, &material, sizeof Material) == 0)
        return ZevGL::Ok;
    Material = material;
    Dirty |= DirtyLighting;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::GetMaterial(TZevGLMaterial* material)
{
    if (!material)
        return ZevGL::ErrInvalidParams;
    *material = Material;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetLight(std::int32_t index, const TZevGLLight& light)
{
    if (index < 0 || index >= ZevGL::MaxLights || light.Type < ZevGL::LightPoint ||
        light.Type > ZevGL::LightDirectional)
        return ZevGL::ErrInvalidParams;
    if (std::memcmp(&Lights[index], &light, sizeof light) == 0)
        return ZevGL::Ok;
    Lights[index] = light;
    Dirty |= DirtyLights;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::GetLight(std::int32_t index, TZevGLLight* light)
{
    if (index < 0 || index >= ZevGL::MaxLights || !light)
        return ZevGL::ErrInvalidParams;
    *light = Lights[index];
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::LightEnable(std::int32_t index, bool enable)
{
    if (index < 0 || index >= ZevGL::MaxLights)
        return ZevGL::ErrInvalidParams;
    if (LightOn[index] == enable)
        return ZevGL::Ok;
    LightOn[index] = enable;
    Dirty |= DirtyLights;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::SetVertexFormat(std::uint32_t format)
{
    if (!(format & (ZevGL::VfXYZ | ZevGL::VfXYZRHW)))
        return ZevGL::ErrInvalidParams;
    VertexFormat = format;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::EnumTextureFormats(TZevGLTextureFormatCallback callback, void* context)
{
    if (!callback)
        return ZevGL::ErrInvalidParams;
    const TZevGLPixelFormat formats[] = {
        {ZevGL::PfRGB | ZevGL::PfAlphaPixels, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 0},
        {ZevGL::PfRGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0},
    };
    for (const TZevGLPixelFormat& format : formats) {
        if (!callback(format, context))
            break;
    }
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::CreateTexture(std::int32_t width, std::int32_t height, std::int32_t, std::uint32_t,
                                         std::int32_t format, std::int32_t pool, TZevGLSurface** out)
{
    if (!out || (format != ZevGL::FormatA8R8G8B8 && format != ZevGL::FormatX8R8G8B8))
        return ZevGL::ErrInvalidParams;
    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight | ZevGL::DescPixelFormat;
    desc.Width = width;
    desc.Height = height;
    desc.Caps = ZevGL::CapsTexture;
    desc.Caps2 = pool == 1 ? ZevGL::Caps2TextureManage : 0;
    desc.Format = {ZevGL::PfRGB | (format == ZevGL::FormatA8R8G8B8 ? ZevGL::PfAlphaPixels : 0u),
                   0,
                   32,
                   0xFF0000,
                   0xFF00,
                   0xFF,
                   format == ZevGL::FormatA8R8G8B8 ? 0xFF000000u : 0u,
                   0,
                   0};
    return Driver->CreateSurface(desc, out);
}

std::int32_t TZevGLDevice::GetBackBuffer(TZevGLSurface** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    Target->AddRef();
    *out = Target;
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::Present(const TZevGLRect* source, const TZevGLRect* destination, TZevGLWindow window)
{
    const TZevGLWindow to = window ? window : Window;
    const TZevGLRect from = source ? *source : TZevGLRect{0, 0, Target->GetWidth(), Target->GetHeight()};
    TZevGLRect into{};
    if (destination) {
        into = *destination;
    } else {
        TZevGLRect client{};
        if (ZevGL::Failed(Driver->GetWindowRect(to, &client)))
            return ZevGL::ErrNotFound;
        into = {0, 0, client.right - client.left, client.bottom - client.top};
    }
    return Target->PresentTo(to, from, into);
}

bool TZevGLDevice::ReadyToDraw()
{
    return InScene && Target->BindAsTarget();
}

void TZevGLDevice::ApplyLights()
{
    // Lights are given in world space: OpenGL takes their positions through the model-view matrix of the moment.
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(Transforms[ZevGL::TsView]);
    for (int i = 0; i < ZevGL::MaxLights; ++i) {
        const GLenum id = static_cast<GLenum>(GL_LIGHT0 + i);
        if (!LightOn[i]) {
            glDisable(id);
            continue;
        }
        const TZevGLLight& l = Lights[i];
        glEnable(id);
        SetColor(id, GL_DIFFUSE, l.Diffuse);
        SetColor(id, GL_SPECULAR, l.Specular);
        SetColor(id, GL_AMBIENT, l.Ambient);
        if (l.Type == ZevGL::LightDirectional) {
            const float toLight[4] = {-l.Direction[0], -l.Direction[1], -l.Direction[2], 0.0f};
            glLightfv(id, GL_POSITION, toLight);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            continue;
        }
        const float position[4] = {l.Position[0], l.Position[1], l.Position[2], 1.0f};
        glLightfv(id, GL_POSITION, position);
        const bool none = l.Attenuation0 == 0.0f && l.Attenuation1 == 0.0f && l.Attenuation2 == 0.0f;
        glLightf(id, GL_CONSTANT_ATTENUATION, none ? 1.0f : std::max(l.Attenuation0, 0.0f));
        glLightf(id, GL_LINEAR_ATTENUATION, std::max(l.Attenuation1, 0.0f));
        glLightf(id, GL_QUADRATIC_ATTENUATION, std::max(l.Attenuation2, 0.0f));
        if (l.Type == ZevGL::LightSpot) {
            glLightfv(id, GL_SPOT_DIRECTION, l.Direction);
            const float cutoff = std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f);
            glLightf(id, GL_SPOT_CUTOFF, cutoff);
            glLightf(id, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
        } else {
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
        }
    }
}

void TZevGLDevice::ApplyStage()
{
    const std::uint32_t* stage = StageStates[0];
    glActiveTexture(GL_TEXTURE0);
    GLuint texture = Textures[0] ? Textures[0]->GpuTexture() : 0;
    if (!texture && PassesDiffuse(stage[ZevGL::TssColorOp], stage[ZevGL::TssColorArg1], stage[ZevGL::TssColorArg2]) &&
        (stage[ZevGL::TssColorOp] == ZevGL::OpDisable ||
         PassesDiffuse(stage[ZevGL::TssAlphaOp], stage[ZevGL::TssAlphaArg1], stage[ZevGL::TssAlphaArg2]))) {
        // Without a texture the stage would only multiply the diffuse colour by white: the same picture without a
        // texture look-up for every pixel.
        glDisable(GL_TEXTURE_2D);
        return;
    }
    if (!texture)
        texture = Context->WhiteTexture();
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    stage[ZevGL::TssMagFilter] == ZevGL::FilterLinear ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    stage[ZevGL::TssMinFilter] == ZevGL::FilterLinear ? GL_LINEAR : GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    if (stage[ZevGL::TssColorOp] == ZevGL::OpDisable) {
        // A disabled first stage switches texturing off: the diffuse colour and alpha pass.
        SetCombine(false, ZevGL::OpDisable, 0, 0);
        SetCombine(true, ZevGL::OpDisable, 0, 0);
        return;
    }
    SetCombine(false, stage[ZevGL::TssColorOp], stage[ZevGL::TssColorArg1], stage[ZevGL::TssColorArg2]);
    SetCombine(true, stage[ZevGL::TssAlphaOp], stage[ZevGL::TssAlphaArg1], stage[ZevGL::TssAlphaArg2]);
}

void TZevGLDevice::ApplyStates(std::uint32_t format)
{
    using namespace ZevGL;
    if (Context->StateOwner != this) {
        Dirty = DirtyAll;
        Context->StateOwner = this;
    }
    const bool pixel = (format & VfXYZRHW) != 0;
    if (pixel != PixelDrawing) {
        Dirty |= DirtyTransform | DirtyLighting | DirtyFog | DirtyLights;
        PixelDrawing = pixel;
    }
    const std::uint32_t* rs = RenderStates;
    // Blending by (zero, one) keeps the colour as it is (the stencil passes of shadows): then neither colour nor
    // light is worked out, only depth and stencil, which the software renderer does far faster.
    const bool colorless = rs[RsAlphaBlendEnable] && rs[RsSrcBlend] == BlendZero && rs[RsDestBlend] == BlendOne;
    if (colorless != Colorless) {
        Dirty |= DirtyBlend | DirtyLighting | DirtyLights | DirtyFog | DirtyTransform;
        Colorless = colorless;
    }
    const bool lighting = !pixel && rs[RsLighting] && !colorless;
    if (Dirty & DirtyDepth) {
        if (rs[RsZEnable])
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
        glDepthMask(rs[RsZWriteEnable] ? GL_TRUE : GL_FALSE);
        glDepthFunc(CompareFunction(rs[RsZFunc]));
    }
    if (Dirty & DirtyRaster) {
        glShadeModel(rs[RsShadeMode] == ShadeFlat ? GL_FLAT : GL_SMOOTH);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        // The picture is stored upside down for OpenGL, which mirrors every winding: a face that is clockwise on
        // screen is counter-clockwise to OpenGL.
        glFrontFace(GL_CCW);
        if (rs[RsCullMode] == CullCCW || rs[RsCullMode] == CullCW) {
            glEnable(GL_CULL_FACE);
            glCullFace(rs[RsCullMode] == CullCCW ? GL_BACK : GL_FRONT);
        } else {
            glDisable(GL_CULL_FACE);
        }
    }
    if (Dirty & DirtyBlend) {
        if (rs[RsAlphaBlendEnable] && !colorless)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
        glBlendFunc(BlendFactor(rs[RsSrcBlend]), BlendFactor(rs[RsDestBlend]));
        const GLboolean write = colorless ? GL_FALSE : GL_TRUE;
        glColorMask(write, write, write, write);
    }
    if (Dirty & DirtyStencil) {
        if (rs[RsStencilEnable])
            glEnable(GL_STENCIL_TEST);
        else
            glDisable(GL_STENCIL_TEST);
        const GLint ref = static_cast<GLint>(rs[RsStencilRef] & 0xFF);
        glStencilMask(rs[RsStencilWriteMask]);
        if (rs[RsTwoSidedStencilMode]) {
            // Clockwise on screen is counter-clockwise to OpenGL (the picture is stored upside down): its front.
            glStencilFuncSeparate(GL_FRONT, CompareFunction(rs[RsStencilFunc]), ref, rs[RsStencilMask]);
            glStencilOpSeparate(GL_FRONT, StencilOperation(rs[RsStencilFail]), StencilOperation(rs[RsStencilZFail]),
                                StencilOperation(rs[RsStencilPass]));
            glStencilFuncSeparate(GL_BACK, CompareFunction(rs[RsCcwStencilFunc]), ref, rs[RsStencilMask]);
            glStencilOpSeparate(GL_BACK, StencilOperation(rs[RsCcwStencilFail]),
                                StencilOperation(rs[RsCcwStencilZFail]), StencilOperation(rs[RsCcwStencilPass]));
        } else {
            glStencilFunc(CompareFunction(rs[RsStencilFunc]), ref, rs[RsStencilMask]);
            glStencilOp(StencilOperation(rs[RsStencilFail]), StencilOperation(rs[RsStencilZFail]),
                        StencilOperation(rs[RsStencilPass]));
        }
    }
    if (Dirty & DirtyFog) {
        if (!pixel && !colorless && rs[RsFogEnable] && rs[RsFogTableMode] != FogNone) {
            float color[4];
            ArgbToFloats(rs[RsFogColor], color);
            glEnable(GL_FOG);
            glFogi(GL_FOG_COORD_SRC, GL_FRAGMENT_DEPTH);
            glFogi(GL_FOG_MODE, rs[RsFogTableMode] == FogExp ? GL_EXP : rs[RsFogTableMode] == FogExp2 ? GL_EXP2
                                                                                                      : GL_LINEAR);
            glFogf(GL_FOG_START, FloatOf(rs[RsFogStart]));
            glFogf(GL_FOG_END, FloatOf(rs[RsFogEnd]));
            glFogfv(GL_FOG_COLOR, color);
        } else {
            glDisable(GL_FOG);
        }
    }
    if (Dirty & DirtyLighting) {
        if (lighting)
            glEnable(GL_LIGHTING);
        else
            glDisable(GL_LIGHTING);
        float ambient[4];
        ArgbToFloats(rs[RsAmbient], ambient);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL,
                      rs[RsSpecularEnable] ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
        const TZevGLColor none{0, 0, 0, 0};
        const TZevGLColor* colors[] = {&Material.Diffuse, &Material.Ambient,
                                       rs[RsSpecularEnable] ? &Material.Specular : &none, &Material.Emissive};
        const GLenum names[] = {GL_DIFFUSE, GL_AMBIENT, GL_SPECULAR, GL_EMISSION};
        for (int i = 0; i < 4; ++i) {
            const float v[4] = {colors[i]->r, colors[i]->g, colors[i]->b, colors[i]->a};
            glMaterialfv(GL_FRONT_AND_BACK, names[i], v);
        }
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(Material.Power, 0.0f, 128.0f));
    }
    if (Dirty & (DirtyTransform | DirtyLights)) {
        if (pixel) {
            const std::int32_t w = Target->GetWidth(), h = Target->GetHeight();
            glViewport(0, 0, w, h);
            glDepthRange(0.0, 1.0);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, w, 0, h, 0, -1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        } else {
            glViewport(Viewport.X, Viewport.Y, Viewport.Width, Viewport.Height);
            glDepthRange(Viewport.MinZ, Viewport.MaxZ);
            if (lighting)
                ApplyLights();
            // Depth 0 to 1 of the projection becomes OpenGL's -1 to 1, and y turns downwards.
            static const float toGL[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 2, 0, 0, 0, -1, 1};
            float projection[16], modelView[16];
            Multiply(projection, Transforms[TsProjection], toGL);
            Multiply(modelView, Transforms[TsWorld], Transforms[TsView]);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(projection);
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(modelView);
        }
    }
    if (Dirty & DirtyScissor) {
        // The picture is stored top row first for OpenGL too: its rows count as the target's do.
        if (ScissorOn) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(Scissor.left, Scissor.top, Scissor.right - Scissor.left, Scissor.bottom - Scissor.top);
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
    }
    // The stage every time: a texture written since the last draw is uploaded again.
    if (colorless)
        glDisable(GL_TEXTURE_2D);
    else
        ApplyStage();
    Dirty = 0;
    Context->StateOwner = this;

    // Per draw: where the vertex colours go.
    const bool colorMaterial = lighting && (format & VfDiffuse) && rs[RsColorVertex] &&
                               rs[RsDiffuseMaterialSource] == MaterialSourceColor1;
    if (colorMaterial) {
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        Dirty |= DirtyLighting; // the vertex colours overwrite the material's diffuse colour
    } else {
        glDisable(GL_COLOR_MATERIAL);
    }
    if (!lighting && rs[RsSpecularEnable] && (format & VfSpecular))
        glEnable(GL_COLOR_SUM);
    else
        glDisable(GL_COLOR_SUM);
}

void TZevGLDevice::SetVertexArrays(std::uint32_t format, const void* vertices, std::uint32_t stride)
{
    const GLsizei s = static_cast<GLsizei>(stride);
    const unsigned char* p = static_cast<const unsigned char*>(vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, s, p);
    if (Colorless) {
        // Depth and stencil only (no light, texture, fog or colour): the positions are all that is read, and the
        // driver then fetches and passes on nothing else (the shadow volumes' many vertices).
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        return;
    }
    p += (format & ZevGL::VfXYZRHW) ? 16 : 12;
    if (format & ZevGL::VfNormal) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, s, p);
        p += 12;
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
        glNormal3f(0.0f, 0.0f, 0.0f);
    }
    if (format & ZevGL::VfReserved)
        p += 4;
    if (format & ZevGL::VfDiffuse) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, p);
        p += 4;
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }
    if (format & ZevGL::VfSpecular) {
        glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
        glSecondaryColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, s, p);
        p += 4;
    } else {
        glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
        glSecondaryColor3f(0.0f, 0.0f, 0.0f);
    }
    if (format & ZevGL::VfTex1) {
        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, s, p);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glMultiTexCoord2f(GL_TEXTURE0, 0.0f, 0.0f);
    }
}

std::int32_t TZevGLDevice::Draw(ZevGL::PrimitiveType type, std::uint32_t format, const void* vertices,
                                std::uint32_t vertexCount, std::uint32_t stride, const std::uint16_t* indices,
                                std::uint32_t indexCount)
{
    if (type < ZevGL::PrimPointList || type > ZevGL::PrimTriangleFan || !(format & (ZevGL::VfXYZ | ZevGL::VfXYZRHW)))
        return ZevGL::ErrInvalidParams;
    const std::uint32_t count = indices ? indexCount : vertexCount;
    if (count == 0)
        return ZevGL::Ok;
    if (!vertices || stride < VertexSize(format))
        return ZevGL::ErrInvalidParams;
    // A device reads only the vertices it was given. The range the indices span goes to OpenGL too, which then
    // need not search it out itself. (One pass without an early way out, which the compiler turns into vector
    // instructions: the meshes' draws hand over hundreds of thousands of indices a frame.)
    std::uint16_t low = 0xFFFFu, high = 0;
    for (std::uint32_t i = 0; indices && i < indexCount; ++i) {
        low = std::min(low, indices[i]);
        high = std::max(high, indices[i]);
    }
    if (indices && high >= vertexCount)
        return ZevGL::ErrInvalidParams;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    if (!InScene)
        return ZevGL::ErrNotInScene;
    // Taken again after another thread was let in.
    Context->HoldForFrame();
    if (Textures[0])
        Textures[0]->ApplyPending();
    if (!ReadyToDraw())
        return Target->LostNow() ? ZevGL::ErrSurfaceLost : ZevGL::ErrGeneric;
    ApplyStates(format);
    if (RenderStates[ZevGL::RsStencilEnable] && Target->GetAttachedDepth())
        Target->GetAttachedDepth()->MarkStencilDrawn();
    SetVertexArrays(format, vertices, stride);
    if (indices)
        glDrawRangeElements(PrimitiveMode(type), low, high, static_cast<GLsizei>(indexCount), GL_UNSIGNED_SHORT,
                            indices);
    else
        glDrawArrays(PrimitiveMode(type), 0, static_cast<GLsizei>(vertexCount));
    Target->MarkDrawn();
    return ZevGL::Ok;
}

std::int32_t TZevGLDevice::DrawPrimitive(ZevGL::PrimitiveType type, std::uint32_t format, const void* vertices,
                                         std::uint32_t vertexCount, std::uint32_t)
{
    return Draw(type, format, vertices, vertexCount, VertexSize(format), nullptr, 0);
}

std::int32_t TZevGLDevice::DrawIndexedPrimitive(ZevGL::PrimitiveType type, std::uint32_t format,
                                                const void* vertices, std::uint32_t vertexCount,
                                                const std::uint16_t* indices, std::uint32_t indexCount,
                                                std::uint32_t)
{
    if (!indices && indexCount)
        return ZevGL::ErrInvalidParams;
    if (!indices)
        return ZevGL::Ok;
    return Draw(type, format, vertices, vertexCount, VertexSize(format), indices, indexCount);
}

std::int32_t TZevGLDevice::DrawPrimitiveUP(ZevGL::PrimitiveType type, std::uint32_t primitiveCount,
                                           const void* vertices, std::uint32_t stride)
{
    return Draw(type, VertexFormat, vertices, VerticesFor(type, primitiveCount), stride, nullptr, 0);
}

std::int32_t TZevGLDevice::DrawIndexedPrimitiveUP(ZevGL::PrimitiveType type, std::uint32_t minIndex,
                                                  std::uint32_t vertexCount, std::uint32_t primitiveCount,
                                                  const std::uint16_t* indices, const void* vertices,
                                                  std::uint32_t stride)
{
    const std::uint32_t indexCount = VerticesFor(type, primitiveCount);
    if (!indices && indexCount)
        return ZevGL::ErrInvalidParams;
    if (!indices)
        return ZevGL::Ok;
    return Draw(type, VertexFormat, vertices, minIndex + vertexCount, stride, indices, indexCount);
}
