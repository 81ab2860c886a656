// Types of our OpenGL device layer: result codes, rectangles, surface descriptions, render and texture-stage
// states with their values, lights, materials and vertex formats. The renderers speak only these; X11 and OpenGL
// stay inside platform/gl.
#pragma once

#include <cstdint>

// An X window id of the display the layer talks to; 0 for none.
typedef std::uintptr_t TZevGLWindow;

namespace ZevGL {

// Results of the layer's calls: 0 or above succeeded.
enum Result : std::int32_t {
    Ok = 0,
    ErrGeneric = -1,
    ErrInvalidParams = -2,
    ErrOutOfMemory = -3,
    ErrNoDisplay = -4,   // no X server, or it offers no OpenGL
    ErrSurfaceLost = -5, // the surface's memory went with a display-mode change; Restore brings it back
    ErrUnsupported = -6,
    ErrNotFound = -7,
    ErrLocked = -8,
    ErrNotInScene = -9,
    ErrWrongMode = -10,
};
inline bool Failed(std::int32_t result) { return result < 0; }

// Surface description flags (which fields are valid).
inline constexpr std::uint32_t DescCaps = 0x1;
inline constexpr std::uint32_t DescWidth = 0x2;
inline constexpr std::uint32_t DescHeight = 0x4;
inline constexpr std::uint32_t DescPixelFormat = 0x8;
inline constexpr std::uint32_t DescBackBufferCount = 0x10;
inline constexpr std::uint32_t DescTextureStage = 0x20;

// Surface capabilities.
inline constexpr std::uint32_t CapsPrimary = 0x1; // the window (the screen in full-screen mode)
inline constexpr std::uint32_t CapsFlip = 0x2;
inline constexpr std::uint32_t CapsComplex = 0x4;
inline constexpr std::uint32_t CapsThreeDDevice = 0x8; // a device may render into it
inline constexpr std::uint32_t CapsOffscreenPlain = 0x10;
inline constexpr std::uint32_t CapsVideoMemory = 0x20; // lost with a display-mode change
inline constexpr std::uint32_t CapsSystemMemory = 0x40;
inline constexpr std::uint32_t CapsTexture = 0x80;
inline constexpr std::uint32_t CapsZBuffer = 0x100;
inline constexpr std::uint32_t CapsBackBuffer = 0x200;
inline constexpr std::uint32_t Caps2TextureManage = 0x1; // a texture the layer keeps a copy of: never lost

// Pixel format flags.
inline constexpr std::uint32_t PfRGB = 0x1;
inline constexpr std::uint32_t PfAlphaPixels = 0x2;
inline constexpr std::uint32_t PfZBuffer = 0x4;
inline constexpr std::uint32_t PfStencilBuffer = 0x8;
inline constexpr std::uint32_t PfLuminance = 0x10;
inline constexpr std::uint32_t PfBumpMap = 0x20;
inline constexpr std::uint32_t PfFourCC = 0x40;

// Cooperative levels.
inline constexpr std::uint32_t LevelNormal = 0x1;
inline constexpr std::uint32_t LevelFullScreen = 0x2;
inline constexpr std::uint32_t LevelExclusive = 0x4;
inline constexpr std::uint32_t LevelAllowReboot = 0x8;

// Blt and Flip flags.
inline constexpr std::uint32_t BltWait = 0x1;
inline constexpr std::uint32_t BltColorFill = 0x2;
inline constexpr std::uint32_t FlipWait = 0x1;

// Colour-key kinds.
inline constexpr std::uint32_t ColorKeySourceBlt = 0x1;

// Palette flags.
inline constexpr std::uint32_t Palette8Bit = 0x1;

// The devices a driver offers: all draw through OpenGL; the kind says what the caller asked for.
enum DeviceKind : std::int32_t {
    DeviceRGB = 0,    // software
    DeviceHAL = 1,    // hardware rasterisation
    DeviceTnLHAL = 2, // hardware transform and lighting
};

// Render states. Every one holds a 32-bit value (floats as their bits).
enum RenderState : std::int32_t {
    RsZEnable,
    RsZWriteEnable,
    RsZFunc,
    RsShadeMode,
    RsCullMode,
    RsLighting,
    RsSpecularEnable,
    RsAmbient,
    RsAlphaBlendEnable,
    RsSrcBlend,
    RsDestBlend,
    RsFogEnable,
    RsFogTableMode,
    RsFogStart,
    RsFogEnd,
    RsFogColor,
    RsStencilEnable,
    RsStencilFunc,
    RsStencilRef,
    RsStencilMask,
    RsStencilWriteMask,
    RsStencilFail,
    RsStencilZFail,
    RsStencilPass,
    RsDiffuseMaterialSource,
    RsSpecularMaterialSource,
    RsTexturePerspective,
    RsTextureMapBlend, // an older texture-blend switch: kept, the stage states decide
    RsColorVertex,
    // Two-sided stencil: with the mode on, faces counter-clockwise on screen take the Ccw function and operations,
    // clockwise ones the plain states, in one pass.
    RsTwoSidedStencilMode,
    RsCcwStencilFail,
    RsCcwStencilZFail,
    RsCcwStencilPass,
    RsCcwStencilFunc,
    RenderStateCount
};

// Comparison functions (depth and stencil).
inline constexpr std::uint32_t CmpNever = 1;
inline constexpr std::uint32_t CmpLess = 2;
inline constexpr std::uint32_t CmpEqual = 3;
inline constexpr std::uint32_t CmpLessEqual = 4;
inline constexpr std::uint32_t CmpGreater = 5;
inline constexpr std::uint32_t CmpNotEqual = 6;
inline constexpr std::uint32_t CmpGreaterEqual = 7;
inline constexpr std::uint32_t CmpAlways = 8;

// Blend factors.
inline constexpr std::uint32_t BlendZero = 1;
inline constexpr std::uint32_t BlendOne = 2;
inline constexpr std::uint32_t BlendSrcColor = 3;
inline constexpr std::uint32_t BlendInvSrcColor = 4;
inline constexpr std::uint32_t BlendSrcAlpha = 5;
inline constexpr std::uint32_t BlendInvSrcAlpha = 6;
inline constexpr std::uint32_t BlendDestAlpha = 7;
inline constexpr std::uint32_t BlendInvDestAlpha = 8;
inline constexpr std::uint32_t BlendDestColor = 9;
inline constexpr std::uint32_t BlendInvDestColor = 10;

// Stencil operations.
inline constexpr std::uint32_t StencilKeep = 1;
inline constexpr std::uint32_t StencilZero = 2;
inline constexpr std::uint32_t StencilReplace = 3;
inline constexpr std::uint32_t StencilIncrSat = 4;
inline constexpr std::uint32_t StencilDecrSat = 5;
inline constexpr std::uint32_t StencilInvert = 6;
inline constexpr std::uint32_t StencilIncr = 7;
inline constexpr std::uint32_t StencilDecr = 8;

inline constexpr std::uint32_t CullNone = 1;
inline constexpr std::uint32_t CullCW = 2;
inline constexpr std::uint32_t CullCCW = 3;
inline constexpr std::uint32_t ShadeFlat = 1;
inline constexpr std::uint32_t ShadeGouraud = 2;
inline constexpr std::uint32_t FogNone = 0;
inline constexpr std::uint32_t FogExp = 1;
inline constexpr std::uint32_t FogExp2 = 2;
inline constexpr std::uint32_t FogLinear = 3;
inline constexpr std::uint32_t MaterialSourceMaterial = 0;
inline constexpr std::uint32_t MaterialSourceColor1 = 1;
inline constexpr std::uint32_t MaterialSourceColor2 = 2;

// Texture-stage states and their values.
enum StageState : std::int32_t {
    TssColorOp,
    TssColorArg1,
    TssColorArg2,
    TssAlphaOp,
    TssAlphaArg1,
    TssAlphaArg2,
    TssMagFilter,
    TssMinFilter,
    StageStateCount
};
inline constexpr std::uint32_t OpDisable = 1;
inline constexpr std::uint32_t OpSelectArg1 = 2;
inline constexpr std::uint32_t OpSelectArg2 = 3;
inline constexpr std::uint32_t OpModulate = 4;
inline constexpr std::uint32_t OpModulate2x = 5;
inline constexpr std::uint32_t OpAdd = 7;
inline constexpr std::uint32_t ArgDiffuse = 0;
inline constexpr std::uint32_t ArgCurrent = 1;
inline constexpr std::uint32_t ArgTexture = 2;
inline constexpr std::uint32_t ArgSpecular = 4;
inline constexpr std::uint32_t FilterPoint = 1;
inline constexpr std::uint32_t FilterLinear = 2;

enum TransformState : std::int32_t { TsWorld, TsView, TsProjection, TransformStateCount };

inline constexpr std::uint32_t ClearTarget = 1;
inline constexpr std::uint32_t ClearZBuffer = 2;
inline constexpr std::uint32_t ClearStencil = 4;

enum PrimitiveType : std::int32_t {
    PrimPointList = 1,
    PrimLineList = 2,
    PrimLineStrip = 3,
    PrimTriangleList = 4,
    PrimTriangleStrip = 5,
    PrimTriangleFan = 6,
};

// Vertex format flags; the parts of a vertex follow each other in this order, 4-byte words each.
inline constexpr std::uint32_t VfXYZ = 0x002; // position, 3 floats
inline constexpr std::uint32_t VfXYZRHW = 0x004; // position in pixels and its reciprocal w, 4 floats
inline constexpr std::uint32_t VfNormal = 0x010; // 3 floats
inline constexpr std::uint32_t VfReserved = 0x020; // one unused word
inline constexpr std::uint32_t VfDiffuse = 0x040; // ARGB word
inline constexpr std::uint32_t VfSpecular = 0x080; // ARGB word
inline constexpr std::uint32_t VfTex1 = 0x100; // u, v

enum LightType : std::int32_t { LightPoint = 1, LightSpot = 2, LightDirectional = 3 };

// Texture formats of the Direct3D 8 style texture creation.
enum TextureFormat : std::int32_t { FormatA8R8G8B8 = 21, FormatX8R8G8B8 = 22, FormatD24S8 = 75 };

inline constexpr std::int32_t MaxLights = 8;
inline constexpr std::int32_t MaxStages = 8;

// Times this thread has made a context of the layer current or released it so far (each one costs the software
// renderer a flush of what was drawn).
std::uint64_t ContextSwitches();

} // namespace ZevGL

struct TZevGLRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct TZevGLPixelFormat {
    std::uint32_t Flags = 0;
    std::uint32_t FourCC = 0;
    std::uint32_t BitCount = 0; // colour bits, or depth plus stencil bits
    std::uint32_t RedMask = 0;
    std::uint32_t GreenMask = 0;
    std::uint32_t BlueMask = 0;
    std::uint32_t AlphaMask = 0;
    std::uint32_t DepthBits = 0;
    std::uint32_t StencilBits = 0;
};

struct TZevGLSurfaceDesc {
    std::uint32_t Flags = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint32_t BackBufferCount = 0;
    std::uint32_t Caps = 0;
    std::uint32_t Caps2 = 0;
    TZevGLPixelFormat Format;
    // Filled by Lock.
    std::int32_t Pitch = 0;
    void* Bits = nullptr;
};

struct TZevGLColor {
    float r, g, b, a;
};

// A device light: type, diffuse, specular and ambient colours, then the geometry.
struct TZevGLLight {
    std::int32_t Type = ZevGL::LightDirectional;
    TZevGLColor Diffuse{0, 0, 0, 0};
    TZevGLColor Specular{0, 0, 0, 0};
    TZevGLColor Ambient{0, 0, 0, 0};
    float Position[3] = {0, 0, 0};
    float Direction[3] = {0, 0, 1};
    float Range = 0;
    float Falloff = 0;
    float Attenuation0 = 0;
    float Attenuation1 = 0;
    float Attenuation2 = 0;
    float Theta = 0; // full angle of the inner cone, radians
    float Phi = 0;   // full angle of the outer cone, radians
};

// A device material: 17 floats.
struct TZevGLMaterial {
    TZevGLColor Diffuse{0, 0, 0, 0};
    TZevGLColor Ambient{0, 0, 0, 0};
    TZevGLColor Specular{0, 0, 0, 0};
    TZevGLColor Emissive{0, 0, 0, 0};
    float Power = 0;
};
static_assert(sizeof(TZevGLMaterial) == 17 * sizeof(float));

struct TZevGLViewport {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    float MinZ = 0.0f;
    float MaxZ = 1.0f;
};

// The screen mode: size and colour format.
struct TZevGLDisplayMode {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Format = ZevGL::FormatX8R8G8B8;
};

// What a device made for a window presents into.
struct TZevGLPresentParameters {
    std::int32_t BackBufferWidth = 0; // 0: the window's client size
    std::int32_t BackBufferHeight = 0;
    std::int32_t BackBufferFormat = ZevGL::FormatX8R8G8B8;
    std::int32_t BackBufferCount = 1;
    std::int32_t Windowed = 1;
    std::int32_t EnableAutoDepthStencil = 0;
    std::int32_t AutoDepthStencilFormat = ZevGL::FormatD24S8;
};
