#include "ZevFramePassRenderer.h"

#include "ZevDeviceResult.h"
#include "ZevFrame.h"
#include "ZevBitmap.h"
#include "ZevGLDevice.h"
#include "ZevGLSurface.h"
#include "ZevMeshData.h"
#include "ZevNativeWindow.h"
#include "ZevWinApi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace {

std::uint32_t FloatBits(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TZevGLColor ColorOf(const float* rgba)
{
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

} // namespace

TZevFramePassRenderer::TZevFramePassRenderer()
{
    ViewPlaneScale = 1.0f;
}

TZevFramePassRenderer::~TZevFramePassRenderer()
{
    // The device renderer's destructor has released its device by now.
    ReturnWindow();
    ClearBucketArray(Buckets, BucketCount);
}

bool TZevFramePassRenderer::InitFromWindow(HWND window)
{
    const TZevGLWindow native = AdoptWindow(window);
    if (InitFromWindow(native))
        return true;
    ReturnWindow();
    return false;
}

void TZevFramePassRenderer::SetRenderState(ZevGL::RenderState state, std::uint32_t value)
{
    ZevDeviceCall(Device->SetRenderState(state, value));
}

void TZevFramePassRenderer::SetStageState(ZevGL::StageState state, std::uint32_t value)
{
    ZevDeviceCall(Device->SetTextureStageState(0, state, value));
}

TZevGLWindow TZevFramePassRenderer::AdoptWindow(HWND window)
{
    ReturnWindow();
    // The window layer's last moves and resizes reach the server before the surfaces are sized from it.
    ZevSync();
    const TZevGLWindow native = ZevGetNativeWindow(window);
    if (native) {
        ZevSetExternalDrawing(window, true);
        FrameworkWindow = window;
    }
    return native;
}

void TZevFramePassRenderer::ReturnWindow()
{
    if (FrameworkWindow)
        ZevSetExternalDrawing(FrameworkWindow, false);
    FrameworkWindow = nullptr;
}

void TZevFramePassRenderer::SetStage(std::uint32_t colorArg1, std::uint32_t colorArg2, std::uint32_t colorOp,
                                     std::uint32_t alphaArg1, std::uint32_t alphaArg2, std::uint32_t alphaOp)
{
    SetStageState(ZevGL::TssColorArg1, colorArg1);
    SetStageState(ZevGL::TssColorArg2, colorArg2);
    SetStageState(ZevGL::TssColorOp, colorOp);
    SetStageState(ZevGL::TssAlphaArg1, alphaArg1);
    SetStageState(ZevGL::TssAlphaArg2, alphaArg2);
    SetStageState(ZevGL::TssAlphaOp, alphaOp);
}

int TZevFramePassRenderer::BucketOf(const TZevDrawCommand* command)
{
    const int state = command->State3 ? 4 : command->State2 ? 2 : command->State1 ? 1 : 0;
    return static_cast<int>((static_cast<std::uint32_t>(command->Kind) * 8u + static_cast<std::uint32_t>(state)) %
                            BucketCount);
}

void TZevFramePassRenderer::RenderFrame(TZevVFrame* root, TZevVFrame* cameraFrame)
{
    if (!Device) {
        ClearCommands();
        return;
    }
    CameraFrame = cameraFrame;
    TZevMatrix camera;
    if (cameraFrame)
        cameraFrame->GetWorldMatrix(&camera);
    (void)ZevMatInverse(ViewMatrix, camera);

    // The projection fitted to the target's aspect and the view-plane scale.
    std::int32_t width = 0, height = 0;
    GetTargetSize(&width, &height);
    const float aspect = width > 0 && height > 0 ? static_cast<float>(height) / static_cast<float>(width) : 1.0f;
    const float scale = ViewPlaneScale != 0.0f ? ViewPlaneScale : 1.0f;
    const TZevMatrix fit(aspect, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.0f / scale, 0, 0, 0, 0, 1);
    ZevMatMultiply(DeviceProjection, fit, ProjectionMatrix);

    SetRenderState(ZevGL::RsSpecularEnable, 1);
    SetRenderState(ZevGL::RsSpecularMaterialSource, ZevGL::MaterialSourceColor2);
    SetRenderState(ZevGL::RsCullMode, ZevGL::CullCCW);
    ZevDeviceCall(Device->SetTransform(ZevGL::TsView, ViewMatrix.m));
    ZevDeviceCall(Device->SetTransform(ZevGL::TsProjection, DeviceProjection.m));
    if (FogEnable) {
        SetRenderState(ZevGL::RsFogEnable, 1);
        SetRenderState(ZevGL::RsFogTableMode, ZevGL::FogLinear);
        SetRenderState(ZevGL::RsFogStart, FloatBits(FogStart));
        SetRenderState(ZevGL::RsFogEnd, FloatBits(FogEnd));
        SetRenderState(ZevGL::RsFogColor, BackgroundColor);
    } else {
        SetRenderState(ZevGL::RsFogEnable, 0);
    }

    TZev3DRenderer::SetCameraFrame(root, cameraFrame);
    for (TZevDrawCommand* command : ZevItems<TZevDrawCommand>(CommandQueue)) {
        Buckets[BucketOf(command)].Add(command);
    }

    ZevDeviceCall(Device->BeginScene());
    if (StencilShadows) {
        ShadowSequence();
    } else {
        OpaquePass();
        TranslucentPass();
    }
    ClearCommands();
    ZevDeviceCall(Device->EndScene());
    ClearBucketArray(Buckets, BucketCount);
}

void TZevFramePassRenderer::Clear()
{
    if (!Device)
        return;
    const std::uint32_t flags = ZevGL::ClearTarget | ZevGL::ClearZBuffer | (StencilShadows ? ZevGL::ClearStencil : 0u);
    ZevDeviceCall(Device->Clear(0, nullptr, flags, BackgroundColor, 1.0f, 0));
}

void TZevFramePassRenderer::Replay(int bucket)
{
    for (TZevDrawCommand* command : ZevItems<TZevDrawCommand>(Buckets[bucket]))
        command->Replay(this);
}

void TZevFramePassRenderer::OpaquePass()
{
    SetAdditive(0);
    SetTranslucent(0);
    SetShadowVolume(0);
    SetRenderState(ZevGL::RsZWriteEnable, 1);
    Replay(32);
    SetRenderState(ZevGL::RsLighting, 0);
    SetAdditive(0);
    SetTranslucent(0);
    SetShadowVolume(0);
    SetRenderState(ZevGL::RsZWriteEnable, 1);
    Replay(48);
    SetRenderState(ZevGL::RsLighting, 1);
}

void TZevFramePassRenderer::BlendedMeshes(int additiveBucket, int translucentBucket)
{
    SetShadowVolume(0);
    SetAdditive(1);
    SetRenderState(ZevGL::RsZWriteEnable, 0);
    Replay(additiveBucket);
    SetRenderState(ZevGL::RsZWriteEnable, 1);

    SetTranslucent(1);
    SetRenderState(ZevGL::RsZWriteEnable, 0);
    SetStageState(ZevGL::TssColorArg1, ZevGL::ArgTexture);
    SetStageState(ZevGL::TssColorOp, ZevGL::OpSelectArg1);
    SetStageState(ZevGL::TssAlphaArg1, ZevGL::ArgTexture);
    SetStageState(ZevGL::TssAlphaArg2, ZevGL::ArgDiffuse);
    SetStageState(ZevGL::TssAlphaOp, ZevGL::OpModulate);
    SetRenderState(ZevGL::RsAlphaBlendEnable, 1);
    SetRenderState(ZevGL::RsSrcBlend, ZevGL::BlendSrcAlpha);
    SetRenderState(ZevGL::RsDestBlend, ZevGL::BlendInvSrcAlpha);
    SetRenderState(ZevGL::RsDiffuseMaterialSource, ZevGL::MaterialSourceColor1);
    Replay(translucentBucket);
    SetStageState(ZevGL::TssColorArg1, ZevGL::ArgTexture);
    SetStageState(ZevGL::TssColorArg2, ZevGL::ArgCurrent);
    SetStageState(ZevGL::TssColorOp, ZevGL::OpModulate);
    SetRenderState(ZevGL::RsAlphaBlendEnable, 0);
    SetRenderState(ZevGL::RsZWriteEnable, 1);
    SetTranslucent(0);
}

void TZevFramePassRenderer::TranslucentPass()
{
    BlendedMeshes(33, 34);
    SetRenderState(ZevGL::RsLighting, 0);
    BlendedMeshes(49, 50);
    SetRenderState(ZevGL::RsLighting, 1);

    // Lines last, over everything.
    SetRenderState(ZevGL::RsLighting, 0);
    SetRenderState(ZevGL::RsZEnable, 0);
    ZevDeviceCall(Device->SetTexture(0, nullptr));
    Replay(0);
    Replay(8);
    Replay(16);
    Replay(24);
    SetRenderState(ZevGL::RsLighting, 1);
    SetRenderState(ZevGL::RsZEnable, 1);
}

void TZevFramePassRenderer::ShadowVolumeReplay()
{
    SetAdditive(0);
    SetTranslucent(0);
    SetShadowVolume(1);
    Replay(36);
}

bool TZevFramePassRenderer::VolumeScreenRect(TZevGLRect* rect)
{
    TZevGLViewport view;
    if (ZevGL::Failed(ZevDeviceCall(Device->GetViewport(&view))))
        return false;
    float left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (TZevDrawCommand* command : ZevItems<TZevDrawCommand>(Buckets[36])) {
        const TZevMeshData* mesh = command->LitMesh;
        // The box of the volume's vertices, whose corners' projections span every pixel the volume covers as long
        // as all of them lie in front of the camera.
        TZevVector low, high;
        if (command->Kind != TZevDrawCommand::KindMaterialMesh || !mesh || !ZevMeshDataExtent(*mesh, low, high))
            continue;
        TZevMatrix toView, toClip;
        ZevMatMultiply(toView, command->Matrix, ViewMatrix);
        ZevMatMultiply(toClip, toView, DeviceProjection);
        const float* m = toClip.m;
        for (int corner = 0; corner < 8; ++corner) {
            const float x = corner & 1 ? high.x : low.x, y = corner & 2 ? high.y : low.y,
                        z = corner & 4 ? high.z : low.z;
            const float cx = x * m[0] + y * m[4] + z * m[8] + m[12];
            const float cy = x * m[1] + y * m[5] + z * m[9] + m[13];
            const float cw = x * m[3] + y * m[7] + z * m[11] + m[15];
            if (!(cw > 1e-6f))
                return false;
            const float sx = (cx / cw + 1.0f) * 0.5f * float(view.Width) + float(view.X);
            const float sy = (1.0f - cy / cw) * 0.5f * float(view.Height) + float(view.Y);
            if (!std::isfinite(sx) || !std::isfinite(sy))
                return false;
            left = any ? std::min(left, sx) : sx;
            right = any ? std::max(right, sx) : sx;
            top = any ? std::min(top, sy) : sy;
            bottom = any ? std::max(bottom, sy) : sy;
            any = true;
        }
    }
    if (!any) {
        *rect = {view.X, view.Y, view.X, view.Y};
        return true;
    }
    // Two pixels more on every side than the rounding of this sum and of the driver's could ever differ by.
    const auto clampTo = [](float value, std::int32_t low, std::int32_t high) {
        return value < float(low) ? low : value > float(high) ? high : static_cast<std::int32_t>(value);
    };
    *rect = {clampTo(std::floor(left) - 2.0f, view.X, view.X + view.Width),
             clampTo(std::floor(top) - 2.0f, view.Y, view.Y + view.Height),
             clampTo(std::ceil(right) + 3.0f, view.X, view.X + view.Width),
             clampTo(std::ceil(bottom) + 3.0f, view.Y, view.Y + view.Height)};
    return true;
}

void TZevFramePassRenderer::ShadowSequence()
{
    OpaquePass();

    // Count the volumes into the stencil where they lie behind what was drawn: front faces up, back faces down,
    // both in one pass (the counts wrap, so the order of the faces does not matter); colour and depth stay as
    // they are.
    SetRenderState(ZevGL::RsZWriteEnable, 0);
    SetRenderState(ZevGL::RsStencilEnable, 1);
    SetRenderState(ZevGL::RsShadeMode, ZevGL::ShadeFlat);
    SetRenderState(ZevGL::RsZFunc, ZevGL::CmpGreaterEqual);
    SetRenderState(ZevGL::RsStencilFunc, ZevGL::CmpAlways);
    SetRenderState(ZevGL::RsStencilZFail, ZevGL::StencilKeep);
    SetRenderState(ZevGL::RsStencilFail, ZevGL::StencilKeep);
    SetRenderState(ZevGL::RsStencilPass, ZevGL::StencilIncr);
    SetRenderState(ZevGL::RsTwoSidedStencilMode, 1);
    SetRenderState(ZevGL::RsCcwStencilFunc, ZevGL::CmpAlways);
    SetRenderState(ZevGL::RsCcwStencilZFail, ZevGL::StencilKeep);
    SetRenderState(ZevGL::RsCcwStencilFail, ZevGL::StencilKeep);
    SetRenderState(ZevGL::RsCcwStencilPass, ZevGL::StencilDecr);
    SetRenderState(ZevGL::RsStencilRef, 1);
    SetRenderState(ZevGL::RsStencilMask, 0xFFFFFFFFu);
    SetRenderState(ZevGL::RsStencilWriteMask, 0xFFFFFFFFu);
    SetRenderState(ZevGL::RsAlphaBlendEnable, 1);
    SetRenderState(ZevGL::RsSrcBlend, ZevGL::BlendZero);
    SetRenderState(ZevGL::RsDestBlend, ZevGL::BlendOne);
    SetRenderState(ZevGL::RsCullMode, ZevGL::CullNone);
    ShadowVolumeReplay();
    SetRenderState(ZevGL::RsTwoSidedStencilMode, 0);

    // Redraw what lies inside a volume with light 0 dimmed.
    SetRenderState(ZevGL::RsCullMode, ZevGL::CullCCW);
    SetRenderState(ZevGL::RsSrcBlend, ZevGL::BlendOne);
    SetRenderState(ZevGL::RsDestBlend, ZevGL::BlendZero);
    SetRenderState(ZevGL::RsStencilRef, 0);
    SetRenderState(ZevGL::RsStencilFunc, ZevGL::CmpNotEqual);
    SetRenderState(ZevGL::RsStencilPass, ZevGL::StencilKeep);
    SetRenderState(ZevGL::RsShadeMode, ZevGL::ShadeGouraud);
    TZevGLLight saved;
    ZevDeviceCall(Device->GetLight(0, &saved));
    TZevGLLight dim = saved;
    dim.Diffuse.r *= 0.5f;
    dim.Diffuse.g *= 0.5f;
    dim.Diffuse.b *= 0.5f;
    dim.Specular.r = dim.Specular.g = dim.Specular.b = 0.0f;
    ZevDeviceCall(Device->SetLight(0, dim));
    SetRenderState(ZevGL::RsZFunc, ZevGL::CmpEqual);
    // Only pixels that a volume covered can hold a count: the redraw is cut to their rectangle, and left out when
    // no volume was drawn.
    TZevGLRect covered;
    const bool bounded = VolumeScreenRect(&covered);
    if (bounded)
        ZevDeviceCall(Device->SetScissorRect(&covered));
    DimPass = 1;
    if (!bounded || (covered.right > covered.left && covered.bottom > covered.top))
        OpaquePass();
    DimPass = 0;
    ZevDeviceCall(Device->SetScissorRect(nullptr));
    SetRenderState(ZevGL::RsZFunc, ZevGL::CmpLess);

    ZevDeviceCall(Device->SetLight(0, saved));
    SetRenderState(ZevGL::RsZWriteEnable, 1);
    SetRenderState(ZevGL::RsStencilEnable, 0);
    SetRenderState(ZevGL::RsAlphaBlendEnable, 0);
    TranslucentPass();
}

TZevTextureHandle TZevFramePassRenderer::EntryTexture(TZevTextureName* entry)
{
    return ZevRendererTexture(this, entry);
}

void TZevFramePassRenderer::DrawMaterialMeshNow(TZevTextureName* texture, const TZevMaterial* material,
                                                const TZevMatrix& matrix, TZevMeshData* mesh)
{
    DrawMeshNow(texture, material, matrix, mesh, false);
}

void TZevFramePassRenderer::DrawLitMeshNow(TZevTextureName* texture, const TZevMatrix& matrix, TZevMeshData* mesh)
{
    DrawMeshNow(texture, nullptr, matrix, mesh, true);
}

void TZevFramePassRenderer::DrawMeshNow(TZevTextureName* texture, const TZevMaterial* material,
                                        const TZevMatrix& matrix, TZevMeshData* mesh, bool lit)
{
    if (!Device || !IndexBuffer || !mesh || !mesh->VertexArray || !mesh->Faces)
        return;
    if (!lit) {
        const TZevMaterial& m = material ? *material : DefaultMaterial;
        TZevGLMaterial deviceMaterial;
        deviceMaterial.Diffuse = ColorOf(m.Diffuse);
        deviceMaterial.Ambient = ColorOf(m.Ambient);
        deviceMaterial.Specular = ColorOf(m.Specular);
        deviceMaterial.Power = m.Power;
        ZevDeviceCall(Device->SetMaterial(deviceMaterial));
    }
    if (!GetShadowVolume()) {
        if (GetTranslucent()) {
            SetStage(ZevGL::ArgDiffuse, ZevGL::ArgTexture, ZevGL::OpModulate, ZevGL::ArgTexture, ZevGL::ArgDiffuse,
                     ZevGL::OpModulate);
        } else if (GetAdditive()) {
            SetRenderState(ZevGL::RsSrcBlend, ZevGL::BlendOne);
            SetRenderState(ZevGL::RsDestBlend, ZevGL::BlendOne);
            SetRenderState(ZevGL::RsAlphaBlendEnable, 1);
            SetStage(ZevGL::ArgTexture, ZevGL::ArgDiffuse, ZevGL::OpModulate, ZevGL::ArgTexture, ZevGL::ArgDiffuse,
                     ZevGL::OpModulate);
        } else if (!lit) {
            PlainStageExtras(true);
            SetRenderState(ZevGL::RsAlphaBlendEnable, 1);
            SetStage(ZevGL::ArgTexture, ZevGL::ArgDiffuse, ZevGL::OpModulate, ZevGL::ArgTexture, ZevGL::ArgDiffuse,
                     ZevGL::OpModulate);
            SetRenderState(ZevGL::RsSrcBlend, ZevGL::BlendSrcAlpha);
            SetRenderState(ZevGL::RsDestBlend, ZevGL::BlendInvSrcAlpha);
        } else {
            PlainStageExtras(false);
            SetStageState(ZevGL::TssColorArg1, ZevGL::ArgTexture);
            SetStageState(ZevGL::TssColorArg2, ZevGL::ArgDiffuse);
            SetStageState(ZevGL::TssColorOp, ZevGL::OpModulate);
            SetStageState(ZevGL::TssAlphaOp, ZevGL::OpDisable);
            SetRenderState(ZevGL::RsAlphaBlendEnable, 0);
        }
    }
    ZevDeviceCall(Device->SetTexture(0, TextureSurface(EntryTexture(texture))));
    ZevDeviceCall(Device->SetTransform(ZevGL::TsWorld, matrix.m));

    // The light's direction in the mesh's own frame, for the dimmed redraw of the shadow sequence. (A direction:
    // the frame's translation plays no part.)
    TZevVector light;
    if (DimPass) {
        TZevMatrix inverse;
        (void)ZevMatInverse(inverse, matrix);
        ZevVecRotate(light, Light0Direction, inverse);
    }
    const std::int32_t vertexCount = std::min(mesh->VertexCount, mesh->VertexCapacity);
    const std::int32_t faceCount = std::min(mesh->FaceCount, mesh->FaceCapacity);
    // Faces fanned into triangles; when the buffer is full the triangles so far are drawn and it starts again.
    std::uint32_t count = 0;
    for (std::int32_t f = 0; f < faceCount; ++f) {
        const TZevMeshFace& face = mesh->Faces[f];
        if (face.Count < 3 || !face.Indices)
            continue;
        bool inside = true;
        for (std::uint32_t i = 0; i < face.Count && inside; ++i)
            inside = face.Indices[i] < vertexCount;
        if (!inside)
            continue;
        if (DimPass) {
            const bool away = lit ? ZevFaceTurnsTowards(mesh->LVertices()[face.Indices[0]],
                                                        mesh->LVertices()[face.Indices[1]],
                                                        mesh->LVertices()[face.Indices[2]], light)
                                  : ZevFaceTurnsTowards(mesh->Vertices()[face.Indices[0]],
                                                        mesh->Vertices()[face.Indices[1]],
                                                        mesh->Vertices()[face.Indices[2]], light);
            if (away)
                continue;
        }
        for (std::uint32_t j = 1; j + 1 < face.Count; ++j) {
            if (count + 3 > static_cast<std::uint32_t>(IndexCapacity)) {
                DrawTriangles(mesh, lit, IndexBuffer, count);
                count = 0;
            }
            IndexBuffer[count++] = face.Indices[0];
            IndexBuffer[count++] = face.Indices[j];
            IndexBuffer[count++] = face.Indices[j + 1];
        }
    }
    if (count > 0)
        DrawTriangles(mesh, lit, IndexBuffer, count);
}

void TZevFramePassRenderer::SetLight(int index, const TZevLight* light)
{
    if (!light || !Device)
        return;
    TZevGLLight deviceLight;
    deviceLight.Type = light->Type;
    // The record's three colours in order: diffuse, ambient, specular.
    deviceLight.Diffuse = ColorOf(light->Diffuse);
    deviceLight.Ambient = ColorOf(light->Specular);
    deviceLight.Specular = ColorOf(light->Ambient);
    std::memcpy(deviceLight.Position, light->Position, sizeof deviceLight.Position);
    std::memcpy(deviceLight.Direction, light->Direction, sizeof deviceLight.Direction);
    deviceLight.Range = light->Range;
    deviceLight.Falloff = light->Falloff;
    deviceLight.Attenuation0 = light->Attenuation0;
    deviceLight.Attenuation1 = light->Attenuation1;
    deviceLight.Attenuation2 = light->Attenuation2;
    deviceLight.Theta = light->Theta;
    deviceLight.Phi = light->Phi;
    if (ZevGL::Failed(ZevDeviceCall(Device->SetLight(index, deviceLight))))
        return;
    ZevDeviceCall(Device->LightEnable(index, true));
    if (index == 0)
        Light0Direction = TZevVector(light->Direction[0], light->Direction[1], light->Direction[2]);
}

void TZevFramePassRenderer::ScreenToWorld(const TZevVector& screen, TZevVector* direction, TZevVector* origin)
{
    std::int32_t width = 0, height = 0;
    GetTargetSize(&width, &height);
    const float* p = ProjectionMatrix.m;
    TZevMatrix camera;
    (void)ZevMatInverse(camera, ViewMatrix);
    const TZevVector eye(camera.m[12], camera.m[13], camera.m[14]);
    if (origin)
        *origin = eye;
    if (!direction)
        return;
    *direction = TZevVector();
    if (width <= 0 || height <= 0 || p[0] == 0.0f || p[5] == 0.0f)
        return;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    // The device draws with the projection's x scaled by h / w (RenderFrame): the ray undoes the same.
    const float xScale = p[0] * (h / w);
    const TZevVector point((screen.x - w * 0.5f) * (2.0f / w) * screen.z * p[11] / xScale,
                           (screen.y - h * 0.5f) * (-2.0f / h) * screen.z * p[11] / p[5],
                           screen.z * ViewPlaneScale);
    TZevVector world;
    ZevVecTransform(world, point, camera);
    ZevVecSub(*direction, world, eye);
}

bool TZevFramePassRenderer::CaptureFrame(TZevVBitmap* target)
{
    if (!Device || !target || !target->GetBits())
        return false;
    TZevGLSurface* picture = nullptr;
    if (ZevGL::Failed(ZevDeviceCall(Device->GetBackBuffer(&picture))) || !picture)
        return false;
    TZevGLSurfaceDesc locked;
    const bool read = !ZevGL::Failed(ZevDeviceCall(picture->Lock(nullptr, &locked, 0)));
    if (read) {
        TZevBitmapAccess access(target);
        const std::int32_t width = std::min(access.width, locked.Width);
        const std::int32_t height = std::min(access.height, locked.Height);
        for (std::int32_t y = 0; y < height; ++y) {
            const auto* row = static_cast<const std::uint32_t*>(locked.Bits) + std::ptrdiff_t(y) * (locked.Pitch / 4);
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t p = row[x];
                access.WritePixel(x, access.height - 1 - y,
                                  access.MakePixel(std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), 255));
            }
        }
        picture->Unlock(nullptr);
    }
    picture->Release();
    return read;
}
