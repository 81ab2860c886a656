#include "ZevDX7Surfaces.h"

#include "ZevDeviceResult.h"
#include "ZevGLDriver.h"
#include "ZevGLSurface.h"
#include "ZevTexture.h"

namespace {

// What a failed set-up writes to the debug log.
const char* const NoFrontSurface = "DDrawの初期化に失敗 … 3DDeviceが使用できない可能性があります";
const char* const NoBackSurface = "DDrawの初期化に失敗 BackBufferの生成\n";

} // namespace

TZevGLSurfaceDesc ZevOffscreenSurfaceDesc(std::int32_t width, std::int32_t height, bool video)
{
    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight;
    desc.Width = width;
    desc.Height = height;
    desc.Caps = ZevGL::CapsOffscreenPlain | ZevGL::CapsThreeDDevice |
                (video ? ZevGL::CapsVideoMemory : ZevGL::CapsSystemMemory);
    return desc;
}

TZevDX7Surfaces::~TZevDX7Surfaces()
{
    TZevDX7Surfaces::Release();
}

int TZevDX7Surfaces::Init(TZevGLWindow window)
{
    Release();
    TZevGLRect rect{};
    if (ZevGL::Failed(ZevDeviceCall(TZevGLDriver::Create(&DirectDraw))) ||
        ZevGL::Failed(ZevDeviceCall(DirectDraw->GetWindowRect(window, &rect)))) {
        Release();
        ZevDebugLog(NoFrontSurface);
        return 0;
    }
    const std::int32_t width = rect.right - rect.left;
    const std::int32_t height = rect.bottom - rect.top;
    Window = window;

    if (FullScreen) {
        ZevDeviceCall(DirectDraw->SetCooperativeLevel(
            window, ZevGL::LevelFullScreen | ZevGL::LevelAllowReboot | ZevGL::LevelExclusive));
        ZevDeviceCall(DirectDraw->SetDisplayMode(640, 480, 32));
    } else {
        ZevDeviceCall(DirectDraw->SetCooperativeLevel(window, ZevGL::LevelNormal));
    }

    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps;
    desc.Caps = ZevGL::CapsPrimary;
    if (FullScreen) {
        desc.Flags |= ZevGL::DescBackBufferCount;
        desc.BackBufferCount = 1;
        desc.Caps |= ZevGL::CapsFlip | ZevGL::CapsComplex | ZevGL::CapsThreeDDevice;
    }
    Front = new TZevTexture();
    Front->Owner = this;
    ZevDeviceCall(DirectDraw->CreateSurface(desc, &Front->Surface));
    if (!Front->Surface) {
        Release();
        ZevDebugLog(NoFrontSurface);
        return 0;
    }
    Front->Name = " FSurface";
    Front->Backup = Front->Surface;

    Back = new TZevTexture();
    Back->Owner = this;
    Back->VideoMemory = Hardware;
    if (FullScreen) {
        ZevDeviceCall(Front->Surface->GetAttachedSurface(ZevGL::CapsBackBuffer, &Back->Surface));
    } else {
        ZevDeviceCall(DirectDraw->CreateSurface(ZevOffscreenSurfaceDesc(width, height, Hardware != 0), &Back->Surface));
    }
    if (!Back->Surface) {
        Release();
        ZevDebugLog(NoBackSurface);
        return 0;
    }
    Back->Name = " BSurface";
    Back->Backup = Back->Surface;

    ZevDeviceCall(Front->Surface->SetColorKey(ZevGL::ColorKeySourceBlt, 0, 0));
    ZevDeviceCall(Back->Surface->SetColorKey(ZevGL::ColorKeySourceBlt, 0, 0));
    Front->Width = Back->Width = FullScreen ? 640 : width;
    Front->Height = Back->Height = FullScreen ? 480 : height;
    if (!FullScreen && !ZevGL::Failed(ZevDeviceCall(DirectDraw->CreateClipper(&Front->Clipper))))
        ZevDeviceCall(Front->Clipper->SetWindow(window));
    ZevDeviceCall(Back->Surface->Blt(nullptr, nullptr, nullptr, ZevGL::BltColorFill | ZevGL::BltWait, 0));
    return 1;
}

void TZevDX7Surfaces::Release()
{
    if (!DirectDraw)
        return;
    Table.ForEachObject<TZevTexture>([](TZevTexture* texture) { delete texture; });
    Table.Clear();
    ZevDeviceCall(DirectDraw->SetCooperativeLevel(Window, ZevGL::LevelNormal));
    ZevDeviceCall(DirectDraw->RestoreDisplayMode());
    delete Back;
    Back = nullptr;
    delete Front;
    Front = nullptr;
    ZevGLRelease(DirectDraw);
}

void TZevDX7Surfaces::RestoreAll()
{
    if (!Front || !Back)
        return;
    Table.ForEachObject<TZevTexture>([](TZevTexture* texture) { texture->Restore(); });
    Front->Restore();
    Back->Restore();
}

std::int32_t TZevDX7Surfaces::GetBackWidth()
{
    TZevGLSurfaceDesc desc;
    return Back && Back->Surface && !ZevGL::Failed(ZevDeviceCall(Back->Surface->GetSurfaceDesc(&desc))) ? desc.Width
                                                                                                     : 0;
}

std::int32_t TZevDX7Surfaces::GetBackHeight()
{
    TZevGLSurfaceDesc desc;
    return Back && Back->Surface && !ZevGL::Failed(ZevDeviceCall(Back->Surface->GetSurfaceDesc(&desc))) ? desc.Height
                                                                                                     : 0;
}
