#include "ZevGLSurface.h"

#include "ZevGLContext.h"
#include "ZevGLDriver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

TZevGLRect WholeRect(const TZevGLSurface* surface)
{
    return {0, 0, surface->GetWidth(), surface->GetHeight()};
}

bool RectInside(const TZevGLRect& r, std::int32_t width, std::int32_t height)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= width &&
           r.bottom <= height;
}

// Pixel-exact 2D drawing into the bound target: x right and y down from its top-left corner.
void BeginPixelDrawing(std::int32_t width, std::int32_t height)
{
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_COLOR_SUM);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void SetColorRef(std::uint32_t color)
{
    glColor4ub(static_cast<GLubyte>(color & 0xFF), static_cast<GLubyte>((color >> 8) & 0xFF),
               static_cast<GLubyte>((color >> 16) & 0xFF), 255);
}

} // namespace

TZevGLSurface::TZevGLSurface(TZevGLDriver* driver, Kind kind, const TZevGLSurfaceDesc& desc, bool managed)
    : Owner(driver), Context(driver->GetContext()), SurfaceKind(kind), Desc(desc),
      Video((desc.Caps & ZevGL::CapsVideoMemory) != 0), Managed(managed), Epoch(ZevGLModeEpoch.load())
{
    Owner->AddRef();
    Desc.Pitch = 0;
    Desc.Bits = nullptr;
}

TZevGLSurface::~TZevGLSurface()
{
    ZevGLRelease(BackBuffer);
    ZevGLRelease(Depth);
    ZevGLRelease(Clipper);
    ZevGLRelease(Palette);
    {
        TZevGLBinding bind(Context);
        if (bind.Ok()) {
            if (DC)
                DC->FreeTextTextures();
            FreeGpu();
        }
    }
    delete DC;
    std::free(Pixels);
    Owner->Release();
}

bool TZevGLSurface::LostNow() const
{
    return Video && !Managed && Epoch != ZevGLModeEpoch.load();
}

std::int32_t TZevGLSurface::PixelsReachable() const
{
    if (SurfaceKind != KindColor)
        return ZevGL::ErrUnsupported;
    if (LostNow())
        return ZevGL::ErrSurfaceLost;
    if (Locked)
        return ZevGL::ErrLocked;
    return ZevGL::Ok;
}

void TZevGLSurface::FreeGpu()
{
    if (Framebuffer) {
        if (Context->BoundFramebuffer == Framebuffer)
            Context->BindFramebuffer(0);
        glDeleteFramebuffers(1, &Framebuffer);
    }
    if (Texture)
        glDeleteTextures(1, &Texture);
    if (Renderbuffer)
        glDeleteRenderbuffers(1, &Renderbuffer);
    Framebuffer = Texture = Renderbuffer = AttachedRenderbuffer = 0;
    StencilUniform = false;
    GpuValid = false;
    Context->StateOwner = nullptr;
}

std::int32_t TZevGLSurface::GetSurfaceDesc(TZevGLSurfaceDesc* out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = Desc;
    return ZevGL::Ok;
}

void TZevGLSurface::Defer(std::function<void()> operation)
{
    std::lock_guard<std::recursive_timed_mutex> lock(Context->Mutex);
    Pending.push_back(std::move(operation));
    // Drawing that nobody reads for a long while is carried out now rather than kept without end.
    if (Pending.size() >= 1024) {
        TZevGLBinding bind(Context);
        if (bind.Ok())
            ApplyPending();
    }
}

void TZevGLSurface::ApplyPending()
{
    if (Pending.empty())
        return;
    std::vector<std::function<void()>> pending;
    pending.swap(Pending);
    if (LostNow())
        return;
    for (const auto& operation : pending)
        operation();
}

void TZevGLSurface::DeferClear(std::vector<TZevGLRect> rects, std::uint32_t flags, std::uint32_t color, float z,
                               std::uint32_t stencil)
{
    Defer([this, rects = std::move(rects), flags, color, z, stencil] {
        if (!BindAsTarget())
            return;
        GLbitfield bits = 0;
        if (flags & ZevGL::ClearTarget) {
            glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                         static_cast<float>((color >> 8) & 0xFF) / 255.0f, static_cast<float>(color & 0xFF) / 255.0f,
                         static_cast<float>(color >> 24) / 255.0f);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & ZevGL::ClearZBuffer) {
            glClearDepth(std::clamp(z, 0.0f, 1.0f));
            glDepthMask(GL_TRUE);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        const bool whole = rects.size() == 1 && rects[0].left == 0 && rects[0].top == 0 &&
                           rects[0].right == Desc.Width && rects[0].bottom == Desc.Height;
        if (flags & ZevGL::ClearStencil) {
            glClearStencil(static_cast<GLint>(stencil & 0xFF));
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
            if (Depth) {
                // The whole of it set to one value, or part of it set to the value the rest has.
                const std::uint8_t value = static_cast<std::uint8_t>(stencil & 0xFF);
                Depth->StencilUniform = whole || (Depth->StencilUniform && Depth->StencilValue == value);
                Depth->StencilValue = value;
            }
        } else if ((flags & ZevGL::ClearZBuffer) && Depth && Depth->StencilUniform) {
            // The stencil keeps its values: cleared to the value every one of them has.
            glClearStencil(Depth->StencilValue);
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        glEnable(GL_SCISSOR_TEST);
        for (const TZevGLRect& r : rects) {
            glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
            glClear(bits);
        }
        glDisable(GL_SCISSOR_TEST);
        Context->StateOwner = nullptr; // the write masks changed
        MarkDrawn();
    });
}

std::uint32_t* TZevGLSurface::CpuPixels()
{
    if (SurfaceKind != KindColor)
        return nullptr;
    ApplyPending();
    if (!Pixels) {
        Pixels = static_cast<std::uint32_t*>(
            std::calloc(static_cast<std::size_t>(Desc.Width) * static_cast<std::size_t>(Desc.Height), 4));
        if (!Pixels)
            return nullptr;
        if (!GpuValid)
            CpuValid = true; // a new surface is black
    }
    if (!CpuValid && GpuValid && Texture) {
        glBindTexture(GL_TEXTURE_2D, Texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, Pixels);
        Context->StateOwner = nullptr;
        CpuValid = true;
    }
    return Pixels;
}

std::uint32_t TZevGLSurface::GpuTexture()
{
    if (SurfaceKind != KindColor || LostNow())
        return 0;
    if (!Texture) {
        glGenTextures(1, &Texture);
        glBindTexture(GL_TEXTURE_2D, Texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, Desc.Width, Desc.Height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        GpuValid = false;
        Context->StateOwner = nullptr;
    }
    if (!GpuValid) {
        const std::uint32_t* pixels = CpuPixels();
        if (!pixels)
            return 0;
        glBindTexture(GL_TEXTURE_2D, Texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, Desc.Width, Desc.Height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                        pixels);
        GpuValid = true;
        Context->StateOwner = nullptr;
    }
    return Texture;
}

bool TZevGLSurface::BindAsTarget()
{
    if (SurfaceKind != KindColor || LostNow() || (Depth && Depth->LostNow()))
        return false;
    if (!GpuTexture())
        return false;
    if (!Pending.empty()) {
        ApplyPending(); // binds this surface again, with its pending drawing done
        return BindAsTarget();
    }
    if (!Framebuffer) {
        glGenFramebuffers(1, &Framebuffer);
        Context->BindFramebuffer(Framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, Texture, 0);
        AttachedRenderbuffer = 0;
    }
    Context->BindFramebuffer(Framebuffer);
    std::uint32_t depth = 0;
    bool made = false;
    if (Depth) {
        if (!Depth->Renderbuffer) {
            glGenRenderbuffers(1, &Depth->Renderbuffer);
            glBindRenderbuffer(GL_RENDERBUFFER, Depth->Renderbuffer);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, Depth->Desc.Width, Depth->Desc.Height);
            made = true;
        }
        depth = Depth->Renderbuffer;
    }
    if (depth != AttachedRenderbuffer) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
        AttachedRenderbuffer = depth;
    }
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (made && complete) {
        // A new buffer starts with its stencil at zero (its contents are not defined otherwise), so that clears
        // of the depth alone can take the fast way from the first frame.
        glDisable(GL_SCISSOR_TEST);
        glStencilMask(0xFF);
        glClearStencil(0);
        glClear(GL_STENCIL_BUFFER_BIT);
        Depth->StencilUniform = true;
        Depth->StencilValue = 0;
        Context->StateOwner = nullptr; // the stencil write mask changed
    }
    return complete;
}

std::int32_t TZevGLSurface::Lock(const TZevGLRect* rect, TZevGLSurfaceDesc* out, std::uint32_t)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    if (const std::int32_t reachable = PixelsReachable(); reachable != ZevGL::Ok)
        return reachable;
    const TZevGLRect r = rect ? *rect : WholeRect(this);
    if (!RectInside(r, Desc.Width, Desc.Height))
        return ZevGL::ErrInvalidParams;
    TZevGLBinding bind(Context);
    std::uint32_t* pixels = bind.Ok() ? CpuPixels() : nullptr;
    if (!pixels)
        return ZevGL::ErrOutOfMemory;
    *out = Desc;
    out->Pitch = Desc.Width * 4;
    out->Bits = pixels + static_cast<std::ptrdiff_t>(r.top) * Desc.Width + r.left;
    Locked = true;
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::Unlock(const TZevGLRect*)
{
    if (!Locked)
        return ZevGL::ErrInvalidParams;
    Locked = false;
    GpuValid = false; // the caller may have written
    return ZevGL::Ok;
}

void TZevGLSurface::FillRect(const TZevGLRect& r, std::uint32_t color)
{
    // Drawn on the OpenGL copy when that is where the surface lives, else in memory.
    if (GpuValid && BindAsTarget()) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((color >> 8) & 0xFF) / 255.0f, static_cast<float>(color & 0xFF) / 255.0f,
                     static_cast<float>(color >> 24) / 255.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        Context->StateOwner = nullptr;
        MarkDrawn();
        return;
    }
    std::uint32_t* pixels = CpuPixels();
    if (!pixels)
        return;
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        std::fill_n(pixels + static_cast<std::ptrdiff_t>(y) * Desc.Width + r.left, r.right - r.left, color);
    GpuValid = false;
}

std::int32_t TZevGLSurface::CopyFrom(TZevGLSurface* source, const TZevGLRect& from, const TZevGLRect& to)
{
    const std::uint32_t* in = source->CpuPixels();
    std::uint32_t* out = CpuPixels();
    if (!in || !out)
        return ZevGL::ErrOutOfMemory;
    const std::int32_t fromWidth = from.right - from.left, fromHeight = from.bottom - from.top;
    const std::int32_t toWidth = to.right - to.left, toHeight = to.bottom - to.top;
    for (std::int32_t y = 0; y < toHeight; ++y) {
        const std::int32_t sy =
            from.top + static_cast<std::int32_t>(static_cast<std::int64_t>(y) * fromHeight / toHeight);
        const std::uint32_t* row = in + static_cast<std::ptrdiff_t>(sy) * source->Desc.Width;
        std::uint32_t* target = out + static_cast<std::ptrdiff_t>(to.top + y) * Desc.Width + to.left;
        if (fromWidth == toWidth) {
            std::memmove(target, row + from.left, static_cast<std::size_t>(toWidth) * 4);
            continue;
        }
        for (std::int32_t x = 0; x < toWidth; ++x)
            target[x] = row[from.left + static_cast<std::int32_t>(static_cast<std::int64_t>(x) * fromWidth / toWidth)];
    }
    GpuValid = false;
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::PresentTo(TZevGLWindow window, const TZevGLRect& source, const TZevGLRect& destination)
{
    if (SurfaceKind != KindColor)
        return ZevGL::ErrInvalidParams;
    if (LostNow())
        return ZevGL::ErrSurfaceLost;
    if (!RectInside(source, Desc.Width, Desc.Height) || destination.right <= destination.left ||
        destination.bottom <= destination.top)
        return ZevGL::ErrInvalidParams;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    const std::int32_t width = destination.right - destination.left;
    const std::int32_t height = destination.bottom - destination.top;
    if (width == source.right - source.left && height == source.bottom - source.top) {
        ApplyPending();
        bool noMemory = false;
        const bool shown = Context->PutRows(
            window, width, height, destination.left, destination.top, [&](std::uint32_t* rows, std::int32_t pitch) {
                if (!CpuValid && GpuValid && Framebuffer) {
                    // Drawn by OpenGL: read straight into what goes to the server (the memory copy stays stale).
                    Context->BindFramebuffer(Framebuffer);
                    glPixelStorei(GL_PACK_ROW_LENGTH, pitch);
                    glReadPixels(source.left, source.top, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows);
                    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
                    return true;
                }
                const std::uint32_t* pixels = CpuPixels();
                if (!pixels) {
                    noMemory = true;
                    return false;
                }
                for (std::int32_t row = 0; row < height; ++row)
                    std::memcpy(rows + static_cast<std::ptrdiff_t>(row) * pitch,
                                pixels + static_cast<std::ptrdiff_t>(source.top + row) * Desc.Width + source.left,
                                static_cast<std::size_t>(width) * 4);
                return true;
            });
        return shown ? ZevGL::Ok : noMemory ? ZevGL::ErrOutOfMemory : ZevGL::ErrNotFound;
    }
    // Scaled: OpenGL stretches the rectangle into a scratch target, which is read back and sent.
    if (!BindAsTarget())
        return ZevGL::ErrGeneric;
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, Framebuffer);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(source.left, source.top, source.right, source.bottom, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
    std::vector<std::uint32_t> scaled(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, scaled.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    Context->BoundFramebuffer = 0;
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    Context->StateOwner = nullptr;
    return Context->PutPixels(window, scaled.data(), width, width, height, destination.left, destination.top)
               ? ZevGL::Ok
               : ZevGL::ErrNotFound;
}

std::int32_t TZevGLSurface::Blt(const TZevGLRect* destination, TZevGLSurface* source, const TZevGLRect* sourceRect,
                                std::uint32_t flags, std::uint32_t fillColor)
{
    if (LostNow() || (source && source->LostNow()))
        return ZevGL::ErrSurfaceLost;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    if (flags & ZevGL::BltColorFill) {
        const TZevGLRect r = destination ? *destination : WholeRect(this);
        if (SurfaceKind != KindColor || !RectInside(r, Desc.Width, Desc.Height))
            return ZevGL::ErrInvalidParams;
        FillRect(r, fillColor);
        return ZevGL::Ok;
    }
    if (!source)
        return ZevGL::ErrInvalidParams;
    const TZevGLRect from = sourceRect ? *sourceRect : WholeRect(source);
    const TZevGLRect to = destination ? *destination : WholeRect(this);
    // A surface that is its own copy (the primary, back and depth surfaces) has nothing to put back.
    if (source == this && from.left == to.left && from.top == to.top && from.right == to.right &&
        from.bottom == to.bottom)
        return ZevGL::Ok;
    if (SurfaceKind == KindPrimary) {
        const TZevGLWindow window = Clipper && Clipper->GetWindow() ? Clipper->GetWindow() : Owner->GetWindow();
        TZevGLRect client{};
        if (!Context->WindowRect(window, &client))
            return ZevGL::ErrNotFound;
        const TZevGLRect local{to.left - client.left, to.top - client.top, to.right - client.left,
                               to.bottom - client.top};
        return source->PresentTo(window, from, local);
    }
    if (SurfaceKind != KindColor || source->SurfaceKind != KindColor ||
        !RectInside(from, source->Desc.Width, source->Desc.Height) || !RectInside(to, Desc.Width, Desc.Height))
        return ZevGL::ErrInvalidParams;
    return CopyFrom(source, from, to);
}

std::int32_t TZevGLSurface::Flip(TZevGLSurface*, std::uint32_t)
{
    if (SurfaceKind != KindPrimary || !BackBuffer)
        return ZevGL::ErrInvalidParams;
    if (LostNow() || BackBuffer->LostNow())
        return ZevGL::ErrSurfaceLost;
    TZevGLBinding bind(Context);
    TZevGLRect client{};
    if (!bind.Ok() || !Context->WindowRect(Owner->GetWindow(), &client))
        return ZevGL::ErrNotFound;
    return BackBuffer->PresentTo(Owner->GetWindow(), WholeRect(BackBuffer),
                                 {0, 0, client.right - client.left, client.bottom - client.top});
}

std::int32_t TZevGLSurface::IsLost()
{
    return LostNow() ? ZevGL::ErrSurfaceLost : ZevGL::Ok;
}

std::int32_t TZevGLSurface::Restore()
{
    if (BackBuffer)
        BackBuffer->Restore();
    if (!LostNow())
        return ZevGL::Ok;
    TZevGLBinding bind(Context);
    if (!bind.Ok())
        return ZevGL::ErrNoDisplay;
    // The video memory is gone: the surface comes back cleared.
    Pending.clear();
    FreeGpu();
    if (Pixels)
        std::memset(Pixels, 0, static_cast<std::size_t>(Desc.Width) * static_cast<std::size_t>(Desc.Height) * 4);
    CpuValid = true;
    Epoch = ZevGLModeEpoch.load();
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::SetColorKey(std::uint32_t kind, std::uint32_t low, std::uint32_t high)
{
    if (!(kind & ZevGL::ColorKeySourceBlt))
        return ZevGL::ErrInvalidParams;
    ColorKeyLow = low;
    ColorKeyHigh = high;
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::SetClipper(TZevGLClipper* clipper)
{
    ZevGLHold(Clipper, clipper);
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::SetPalette(TZevGLPalette* palette)
{
    ZevGLHold(Palette, palette);
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::GetAttachedSurface(std::uint32_t caps, TZevGLSurface** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = (caps & ZevGL::CapsBackBuffer) ? BackBuffer : (caps & ZevGL::CapsZBuffer) ? Depth : nullptr;
    if (!*out)
        return ZevGL::ErrNotFound;
    (*out)->AddRef();
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::AddAttachedSurface(TZevGLSurface* surface)
{
    if (!surface || surface == this)
        return ZevGL::ErrInvalidParams;
    TZevGLSurface** slot = nullptr;
    if (SurfaceKind == KindColor && surface->SurfaceKind == KindDepth && surface->Desc.Width == Desc.Width &&
        surface->Desc.Height == Desc.Height)
        slot = &Depth;
    else if (SurfaceKind == KindPrimary && surface->SurfaceKind == KindColor)
        slot = &BackBuffer;
    if (!slot)
        return ZevGL::ErrInvalidParams;
    ZevGLHold(*slot, surface);
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::GetDC(TZevGLDC** out)
{
    if (!out)
        return ZevGL::ErrInvalidParams;
    *out = nullptr;
    if (const std::int32_t reachable = PixelsReachable(); reachable != ZevGL::Ok)
        return reachable;
    if (!DC)
        DC = new TZevGLDC(this);
    *out = DC;
    Locked = true;
    return ZevGL::Ok;
}

std::int32_t TZevGLSurface::ReleaseDC(TZevGLDC* dc)
{
    if (!dc || dc != DC || !Locked)
        return ZevGL::ErrInvalidParams;
    Locked = false;
    return ZevGL::Ok;
}

void TZevGLDC::SelectPen(std::uint32_t color, std::int32_t width)
{
    PenColor = color;
    PenWidth = std::max(width, 1);
}

void TZevGLDC::MoveTo(std::int32_t x, std::int32_t y)
{
    CurrentX = x;
    CurrentY = y;
}

void TZevGLDC::LineTo(std::int32_t x, std::int32_t y)
{
    TZevGLSurface* surface = Surface;
    const std::int32_t x0 = CurrentX, y0 = CurrentY;
    const std::uint32_t color = PenColor;
    const std::int32_t width = PenWidth;
    Surface->Defer([surface, x0, y0, x, y, color, width] {
        TZevGLContext* context = surface->GetDriver()->GetContext();
        if (!surface->BindAsTarget())
            return;
        BeginPixelDrawing(surface->GetWidth(), surface->GetHeight());
        SetColorRef(color);
        glLineWidth(static_cast<float>(width));
        glBegin(GL_LINES);
        glVertex2f(static_cast<float>(x0) + 0.5f, static_cast<float>(y0) + 0.5f);
        glVertex2f(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
        glEnd();
        glLineWidth(1.0f);
        context->StateOwner = nullptr;
        surface->MarkDrawn();
    });
    MoveTo(x, y);
}

void TZevGLDC::TextOut(std::int32_t x, std::int32_t y, const char* text)
{
    DrawText(text, {x, y, Surface->GetWidth(), Surface->GetHeight()}, 0);
}

namespace {

// UTF-8 text laid out as a GDI word-breaking text: lines at '\n', broken at the last blank that keeps a line within
// `wrapWidth` (0: no breaking), and rasterised into one coverage image.
TZevTextCoverage LayOutText(const char* text, std::int32_t wrapWidth)
{
    const TZevFontDesc& font = ZevGLTextFont();
    auto width = [&](const std::string& line) {
        std::int32_t w = 0, h = 0;
        ZevMeasureText(font, line.data(), line.size(), &w, &h);
        return w;
    };
    std::vector<std::string> lines;
    std::string current;
    std::size_t lastBlank = std::string::npos;
    for (const char* p = text; *p;) {
        if (*p == '\n') {
            lines.push_back(current);
            current.clear();
            lastBlank = std::string::npos;
            ++p;
            continue;
        }
        const std::int32_t n = ZevGLCharLength(p);
        if (*p == ' ')
            lastBlank = current.size();
        current.append(p, static_cast<std::size_t>(n));
        p += n;
        if (wrapWidth > 0 && lastBlank != std::string::npos && width(current) > wrapWidth) {
            lines.push_back(current.substr(0, lastBlank));
            current.erase(0, lastBlank + 1);
            lastBlank = std::string::npos;
        }
    }
    if (!current.empty())
        lines.push_back(current);

    TZevTextCoverage all;
    std::vector<TZevTextCoverage> rendered(lines.size());
    for (std::size_t l = 0; l < lines.size(); ++l) {
        if (!ZevRenderText(font, lines[l].data(), lines[l].size(), &rendered[l]))
            return TZevTextCoverage();
        all.width = std::max(all.width, rendered[l].width);
        all.height += rendered[l].height;
    }
    all.alpha.assign(static_cast<std::size_t>(all.width) * static_cast<std::size_t>(all.height), 0);
    std::int32_t top = 0;
    for (const TZevTextCoverage& line : rendered) {
        for (std::int32_t y = 0; y < line.height; ++y)
            std::copy_n(line.alpha.data() + static_cast<std::ptrdiff_t>(y) * line.width, line.width,
                        all.alpha.data() + static_cast<std::ptrdiff_t>(top + y) * all.width);
        top += line.height;
    }
    return all;
}

} // namespace

const TZevFontDesc& ZevGLTextFont()
{
    static const TZevFontDesc font{14, false, "VL Gothic"};
    return font;
}

std::int32_t ZevGLCharLength(const char* text)
{
    if (!text || !*text)
        return 0;
    std::size_t next = 0;
    ZevDecodeUtf8(text, strnlen(text, 4), &next);
    return static_cast<std::int32_t>(next);
}

void TZevGLDC::FreeTextTextures()
{
    for (const TextTexture& kept : TextTextures)
        glDeleteTextures(1, &kept.texture);
    TextTextures.clear();
}

const TZevGLDC::TextTexture* TZevGLDC::TextureOfText(const char* text, std::int32_t wrapWidth)
{
    ++TextUses;
    for (TextTexture& kept : TextTextures) {
        if (kept.wrapWidth == wrapWidth && kept.text == text) {
            kept.lastUse = TextUses;
            return &kept;
        }
    }
    const TZevTextCoverage image = LayOutText(text, wrapWidth);
    if (image.width == 0 || image.height == 0)
        return nullptr;
    TextTexture* slot = nullptr;
    if (TextTextures.size() < MaxTextTextures) {
        slot = &TextTextures.emplace_back();
    } else {
        // The text unused for longest makes room.
        slot = &*std::min_element(TextTextures.begin(), TextTextures.end(),
                                  [](const TextTexture& a, const TextTexture& b) { return a.lastUse < b.lastUse; });
        glDeleteTextures(1, &slot->texture);
        slot->texture = 0;
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, image.width, image.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 image.alpha.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    slot->text = text;
    slot->wrapWidth = wrapWidth;
    slot->texture = texture;
    slot->width = image.width;
    slot->height = image.height;
    slot->lastUse = TextUses;
    return slot;
}

void TZevGLDC::DrawText(const char* text, const TZevGLRect& rect, std::uint32_t flags)
{
    if (!text || !*text || rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    Surface->Defer([this, line = std::string(text), rect, flags, bkMode = BkMode, bkColor = BkColor,
                    textColor = TextColor] {
        TZevGLContext* context = Surface->GetDriver()->GetContext();
        const TextTexture* image =
            TextureOfText(line.c_str(), (flags & ZevGL::TextWordBreak) ? rect.right - rect.left : 0);
        context->StateOwner = nullptr;
        if (!image || !Surface->BindAsTarget())
            return;
        BeginPixelDrawing(Surface->GetWidth(), Surface->GetHeight());
        glEnable(GL_SCISSOR_TEST);
        glScissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        const float x0 = static_cast<float>(rect.left), y0 = static_cast<float>(rect.top);
        const float x1 = x0 + static_cast<float>(image->width), y1 = y0 + static_cast<float>(image->height);
        if (bkMode == ZevGL::BkOpaque) {
            SetColorRef(bkColor);
            glRectf(x0, y0, x1, y1);
        }
        glBindTexture(GL_TEXTURE_2D, image->texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        SetColorRef(textColor);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(x0, y0);
        glTexCoord2f(1, 0);
        glVertex2f(x1, y0);
        glTexCoord2f(1, 1);
        glVertex2f(x1, y1);
        glTexCoord2f(0, 1);
        glVertex2f(x0, y1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        context->StateOwner = nullptr;
        Surface->MarkDrawn();
    });
}
