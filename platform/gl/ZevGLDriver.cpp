#include "ZevGLDriver.h"

#include "ZevGLContext.h"
#include "ZevGLDevice.h"
#include "ZevGLSurface.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr std::int32_t MaxSide = 8192;

bool SideOk(std::int32_t side)
{
    return side > 0 && side <= MaxSide;
}

TZevGLPixelFormat DepthFormat(std::uint32_t depthBits, std::uint32_t stencilBits)
{
    TZevGLPixelFormat format;
    format.Flags = ZevGL::PfZBuffer | (stencilBits ? ZevGL::PfStencilBuffer : 0);
    format.DepthBits = depthBits;
    format.StencilBits = stencilBits;
    format.BitCount = depthBits + stencilBits;
    return format;
}

} // namespace

std::int32_t TZevGLPalette::SetEntries(std::int32_t start, std::int32_t count, const std::uint32_t* entries)
{
    if (start < 0 || count < 0 || start + count > 256)
        return ZevGL::ErrInvalidParams;
    if (entries)
        std::memcpy(Entries + start, entries, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
    return ZevGL::Ok;
}

TZevGLDriver::TZevGLDriver(TZevGLContext* context) : Context(context) {}

TZevGLDriver::~TZevGLDriver()
{
    if (ModeSet)
        RestoreDisplayMode();
    delete Context;
}

std::int32_t TZevGLDriver::Create(TZevGLDriver** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = nullptr;
    auto context = std::make_unique<TZevGLContext>();
    if (!context->Open())
        return ZevGL::ErrNoDisplay;
    *out = new TZevGLDriver(context.release());
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::SetCooperativeLevel(TZevGLWindow window, std::uint32_t flags)
{
    TZevGLBinding bind(Context);
    const bool fullScreen = (flags & ZevGL::LevelFullScreen) != 0;
    if (fullScreen && !(flags & ZevGL::LevelExclusive))
        return ZevGL::ErrInvalidParams;
    if (FullScreen && !fullScreen) {
        if (ModeSet)
            RestoreDisplayMode();
        Context->SetWindowFullScreen(Window, false);
    }
    Window = window;
    FullScreen = fullScreen;
    if (FullScreen)
        Context->SetWindowFullScreen(Window, true);
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::SetDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel)
{
    if (!FullScreen)
        return ZevGL::ErrWrongMode;
    if (!SideOk(width) || !SideOk(height) || bitsPerPixel != 32)
        return ZevGL::ErrUnsupported;
    Mode.Width = width;
    Mode.Height = height;
    Mode.Format = ZevGL::FormatX8R8G8B8;
    ModeSet = true;
    ++ZevGLModeEpoch;
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::RestoreDisplayMode()
{
    if (ModeSet) {
        ModeSet = false;
        ++ZevGLModeEpoch;
    }
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::GetDisplayMode(TZevGLDisplayMode* mode)
{
    if (!mode)
        return ZevGL::ErrInvalidParams;
    if (ModeSet) {
        *mode = Mode;
        return ZevGL::Ok;
    }
    std::lock_guard<std::recursive_timed_mutex> lock(Context->Mutex);
    mode->Format = ZevGL::FormatX8R8G8B8;
    Context->ScreenSize(&mode->Width, &mode->Height);
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::CreateSurface(const TZevGLSurfaceDesc& request, TZevGLSurface** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = nullptr;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    const std::uint32_t caps = request.Flags & ZevGL::DescCaps ? request.Caps : 0;
    TZevGLSurfaceDesc desc = request;
    desc.Caps = caps;
    desc.Flags |= ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight | ZevGL::DescPixelFormat;
    if (!(caps & ZevGL::CapsSystemMemory))
        desc.Caps |= ZevGL::CapsVideoMemory;
    const bool managed = (desc.Caps2 & ZevGL::Caps2TextureManage) != 0;

    if (caps & ZevGL::CapsPrimary) {
        TZevGLDisplayMode mode;
        GetDisplayMode(&mode);
        desc.Width = mode.Width;
        desc.Height = mode.Height;
        desc.Format = TZevGLPixelFormat{ZevGL::PfRGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0};
        TZevGLSurface* primary = new TZevGLSurface(this, TZevGLSurface::KindPrimary, desc, false);
        const bool chain = (request.Flags & ZevGL::DescBackBufferCount) && request.BackBufferCount > 0;
        if (chain) {
            if (!(caps & ZevGL::CapsFlip) || !FullScreen) {
                primary->Release();
                return ZevGL::ErrInvalidParams;
            }
            TZevGLSurfaceDesc back = desc;
            back.Caps = ZevGL::CapsBackBuffer | ZevGL::CapsThreeDDevice | ZevGL::CapsVideoMemory;
            TZevGLSurface* backBuffer = new TZevGLSurface(this, TZevGLSurface::KindColor, back, false);
            primary->AddAttachedSurface(backBuffer);
            backBuffer->Release();
        }
        *out = primary;
        return ZevGL::Ok;
    }

    if (!(request.Flags & ZevGL::DescWidth) || !(request.Flags & ZevGL::DescHeight) || !SideOk(request.Width) ||
        !SideOk(request.Height))
        return ZevGL::ErrInvalidParams;
    if (caps & ZevGL::CapsZBuffer) {
        if (!(request.Flags & ZevGL::DescPixelFormat) || !(request.Format.Flags & ZevGL::PfZBuffer))
            return ZevGL::ErrInvalidParams;
        *out = new TZevGLSurface(this, TZevGLSurface::KindDepth, desc, managed);
        return ZevGL::Ok;
    }
    if (request.Flags & ZevGL::DescPixelFormat) {
        const TZevGLPixelFormat& f = request.Format;
        if ((f.Flags & (ZevGL::PfLuminance | ZevGL::PfBumpMap | ZevGL::PfFourCC)) || f.BitCount != 32 ||
            f.RedMask != 0xFF0000 || f.GreenMask != 0xFF00 || f.BlueMask != 0xFF)
            return ZevGL::ErrUnsupported;
    } else {
        desc.Format = TZevGLPixelFormat{ZevGL::PfRGB | ZevGL::PfAlphaPixels, 0, 32, 0xFF0000, 0xFF00, 0xFF,
                                        0xFF000000u, 0, 0};
    }
    *out = new TZevGLSurface(this, TZevGLSurface::KindColor, desc, managed);
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::CreateClipper(TZevGLClipper** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = new TZevGLClipper();
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::CreatePalette(std::uint32_t flags, const std::uint32_t* entries, TZevGLPalette** out)
{
    if (!out || !(flags & ZevGL::Palette8Bit))
        return ZevGL::ErrInvalidParams;
    *out = new TZevGLPalette(entries);
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::EnumZBufferFormats(ZevGL::DeviceKind kind, TZevGLFormatCallback callback, void* context)
{
    if (!callback || kind < ZevGL::DeviceRGB || kind > ZevGL::DeviceTnLHAL)
        return ZevGL::ErrInvalidParams;
    const TZevGLPixelFormat formats[] = {DepthFormat(24, 0), DepthFormat(24, 8), DepthFormat(16, 0)};
    for (const TZevGLPixelFormat& format : formats) {
        if (!callback(format, context))
            break;
    }
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::CreateDevice(ZevGL::DeviceKind kind, TZevGLSurface* target, TZevGLDevice** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = nullptr;
    if (!target || target->GetDriver() != this || target->GetKind() != TZevGLSurface::KindColor ||
        kind < ZevGL::DeviceRGB || kind > ZevGL::DeviceTnLHAL)
        return ZevGL::ErrInvalidParams;
    TZevGLSurfaceDesc desc;
    target->GetSurfaceDesc(&desc);
    if (!(desc.Caps & ZevGL::CapsThreeDDevice))
        return ZevGL::ErrInvalidParams;
    *out = new TZevGLDevice(this, kind, target, Window);
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::CreateDevice(TZevGLWindow window, const TZevGLPresentParameters& parameters,
                                        TZevGLDevice** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = nullptr;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    std::int32_t width = parameters.BackBufferWidth;
    std::int32_t height = parameters.BackBufferHeight;
    if (width == 0 || height == 0) {
        TZevGLRect rect{};
        if (!Context->WindowRect(window, &rect))
            return ZevGL::ErrInvalidParams;
        width = width ? width : rect.right - rect.left;
        height = height ? height : rect.bottom - rect.top;
    }
    if (!SideOk(width) || !SideOk(height))
        return ZevGL::ErrInvalidParams;
    const std::uint32_t level =
        parameters.Windowed ? ZevGL::LevelNormal : ZevGL::LevelFullScreen | ZevGL::LevelExclusive;
    std::int32_t result = SetCooperativeLevel(window, level);
    if (ZevGL::Failed(result))
        return result;
    if (!parameters.Windowed && ZevGL::Failed(result = SetDisplayMode(width, height, 32)))
        return result;

    TZevGLSurfaceDesc desc;
    desc.Flags = ZevGL::DescCaps | ZevGL::DescWidth | ZevGL::DescHeight;
    desc.Width = width;
    desc.Height = height;
    desc.Caps = ZevGL::CapsThreeDDevice | ZevGL::CapsBackBuffer | ZevGL::CapsVideoMemory;
    desc.Format = TZevGLPixelFormat{ZevGL::PfRGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0};
    TZevGLSurface* back = new TZevGLSurface(this, TZevGLSurface::KindColor, desc, true);
    if (parameters.EnableAutoDepthStencil) {
        TZevGLSurfaceDesc depthDesc = desc;
        depthDesc.Caps = ZevGL::CapsZBuffer | ZevGL::CapsVideoMemory;
        depthDesc.Format = DepthFormat(24, 8);
        TZevGLSurface* depth = new TZevGLSurface(this, TZevGLSurface::KindDepth, depthDesc, true);
        back->AddAttachedSurface(depth);
        depth->Release();
    }
    *out = new TZevGLDevice(this, ZevGL::DeviceHAL, back, window);
    back->Release();
    return ZevGL::Ok;
}

std::int32_t TZevGLDriver::GetWindowRect(TZevGLWindow window, TZevGLRect* rect)
{
    if (!rect)
        return ZevGL::ErrInvalidParams;
    // Only the connection is used: its lock, without making the context current.
    std::unique_lock<std::recursive_timed_mutex> lock(Context->Mutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::seconds(10)))
        return ZevGL::ErrNotFound;
    return Context->WindowRect(window, rect) ? ZevGL::Ok : ZevGL::ErrNotFound;
}
