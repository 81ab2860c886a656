// A surface of the device layer: the primary surface (the window), an off-screen colour surface, a texture or a
// depth buffer. Colour surfaces hold 32-bit 0xAARRGGBB pixels, top row first, in memory and, once a device draws
// into them or samples them, in an OpenGL texture; the layer copies between the two as needed, so Lock sees what
// was drawn and a device sees what was written. Video-memory surfaces are lost by a display-mode change: their
// calls fail with ErrSurfaceLost until Restore, which gives them back cleared (whoever keeps a copy puts it back).
//
// A surface draws text and GDI-style lines through its drawing context (GetDC).
#pragma once

#include "ZevFont.h"
#include "ZevGLObject.h"
#include "ZevGLTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TZevGLContext;
class TZevGLClipper;
class TZevGLDC;
class TZevGLDriver;
class TZevGLPalette;

class TZevGLSurface : public TZevGLObject {
public:
    enum Kind : std::int32_t { KindPrimary, KindColor, KindDepth };

    TZevGLSurface(TZevGLDriver* driver, Kind kind, const TZevGLSurfaceDesc& desc, bool managed);

    std::int32_t GetSurfaceDesc(TZevGLSurfaceDesc* out);
    std::int32_t GetWidth() const { return Desc.Width; }
    std::int32_t GetHeight() const { return Desc.Height; }
    Kind GetKind() const { return SurfaceKind; }
    TZevGLDriver* GetDriver() const { return Owner; }

    // The pixels of a colour surface (rect null: all) for reading and writing until Unlock.
    std::int32_t Lock(const TZevGLRect* rect, TZevGLSurfaceDesc* out, std::uint32_t flags);
    std::int32_t Unlock(const TZevGLRect* rect);
    // Copies the source rectangle onto the destination rectangle (null: the whole surface), scaled when the sizes
    // differ, or fills it with a colour (BltColorFill). Into the primary surface the destination is in screen
    // coordinates and the copy lands in the clipper's window (the driver's window without one).
    std::int32_t Blt(const TZevGLRect* destination, TZevGLSurface* source, const TZevGLRect* sourceRect,
                     std::uint32_t flags, std::uint32_t fillColor);
    // Primary of a flip chain: shows its back buffer over the whole window.
    std::int32_t Flip(TZevGLSurface* target, std::uint32_t flags);
    // Ok, or ErrSurfaceLost.
    std::int32_t IsLost();
    std::int32_t Restore();
    std::int32_t SetColorKey(std::uint32_t kind, std::uint32_t low, std::uint32_t high);
    std::int32_t SetClipper(TZevGLClipper* clipper);
    std::int32_t SetPalette(TZevGLPalette* palette);
    // The back buffer of a flip chain (CapsBackBuffer) or the attached depth buffer (CapsZBuffer), referenced.
    std::int32_t GetAttachedSurface(std::uint32_t caps, TZevGLSurface** out);
    // Attaches a depth buffer of the same size to a colour surface.
    std::int32_t AddAttachedSurface(TZevGLSurface* surface);
    // The drawing context of a colour surface; one at a time, given back with ReleaseDC.
    std::int32_t GetDC(TZevGLDC** out);
    std::int32_t ReleaseDC(TZevGLDC* dc);

    // Inside the layer: OpenGL texture of a colour surface, filled from memory when that is newer; 0 on failure.
    std::uint32_t GpuTexture();
    // Binds the surface (with its depth buffer) as the target of drawing; false when it cannot be drawn into.
    bool BindAsTarget();
    // Drawing changed the OpenGL copy: the memory copy is stale.
    void MarkDrawn() { CpuValid = false; }
    // Drawing into the surface (a device clear, text, lines) that is carried out when the surface is next drawn
    // into or read, in the order given: a frame's clear then goes with its scene and the overlay's text with the
    // presentation, each in one pass of the renderer, instead of a pass of its own. The operation runs with the
    // context bound; whatever reads or draws the surface runs the pending ones first.
    void Defer(std::function<void()> operation);
    // Carries out the pending operations now (the context bound).
    void ApplyPending();
    // A device clear of the surface and its depth buffer, deferred; rectangles already clipped, flags ZevGL::Clear*.
    void DeferClear(std::vector<TZevGLRect> rects, std::uint32_t flags, std::uint32_t color, float z,
                    std::uint32_t stencil);
    bool LostNow() const;
    TZevGLSurface* GetAttachedDepth() const { return Depth; }
    // Depth surfaces: a draw with the stencil test on may have changed the stencil values.
    void MarkStencilDrawn() { StencilUniform = false; }
    // Shows a rectangle of this colour surface in a window rectangle (scaled when the sizes differ).
    std::int32_t PresentTo(TZevGLWindow window, const TZevGLRect& source, const TZevGLRect& destination);

private:
    ~TZevGLSurface() override;
    // Whether the pixels may be reached now (Lock, GetDC): a colour surface, not lost, not locked; Ok or the error.
    std::int32_t PixelsReachable() const;
    // The memory copy of a colour surface, read back from OpenGL when that is newer; null when out of memory.
    std::uint32_t* CpuPixels();
    void FreeGpu();
    void FillRect(const TZevGLRect& rect, std::uint32_t color);
    std::int32_t CopyFrom(TZevGLSurface* source, const TZevGLRect& sourceRect, const TZevGLRect& destination);

    TZevGLDriver* Owner;
    TZevGLContext* Context;
    Kind SurfaceKind;
    TZevGLSurfaceDesc Desc;
    bool Video;
    bool Managed;
    std::uint32_t Epoch;

    std::uint32_t* Pixels = nullptr; // Width x Height words
    bool CpuValid = true;
    bool GpuValid = false;
    std::uint32_t Texture = 0;
    std::uint32_t Framebuffer = 0;
    std::uint32_t AttachedRenderbuffer = 0; // what Framebuffer's depth attachment holds now
    std::uint32_t Renderbuffer = 0;         // depth surfaces
    // Depth surfaces: every stencil value is StencilValue (cleared so, and not drawn into since). A clear of the
    // depth alone then clears the stencil to that same value too, which the driver does as one fill rather than a
    // masked write per pixel.
    bool StencilUniform = false;
    std::uint8_t StencilValue = 0;

    std::vector<std::function<void()>> Pending;
    TZevGLSurface* BackBuffer = nullptr; // primary of a flip chain
    TZevGLSurface* Depth = nullptr;
    TZevGLClipper* Clipper = nullptr;
    TZevGLPalette* Palette = nullptr;
    std::uint32_t ColorKeyLow = 0;
    std::uint32_t ColorKeyHigh = 0;
    bool Locked = false;
    TZevGLDC* DC = nullptr;
};

// The text face of the device layer: the Japanese gothic face, lines of 16 pixels.
const TZevFontDesc& ZevGLTextFont();
// Bytes of the UTF-8 character that starts at `text`: 1 to 4, never past a terminating zero; 0 at the terminator.
std::int32_t ZevGLCharLength(const char* text);

namespace ZevGL {
inline constexpr std::int32_t BkTransparent = 1;
inline constexpr std::int32_t BkOpaque = 2;
inline constexpr std::uint32_t TextWordBreak = 0x10;
} // namespace ZevGL

// GDI-style drawing on a colour surface: lines with a pen and text in the layer's text face. Colours are
// 0x00BBGGRR words. Drawing lands before anything reads or draws the surface next.
class TZevGLDC {
public:
    explicit TZevGLDC(TZevGLSurface* surface) : Surface(surface) {}

    void SetBkMode(std::int32_t mode) { BkMode = mode; }
    void SetTextColor(std::uint32_t color) { TextColor = color; }
    void SetBkColor(std::uint32_t color) { BkColor = color; }
    // A solid pen of the colour and width; the default pen is black, 1 pixel.
    void SelectPen(std::uint32_t color, std::int32_t width);
    void SelectDefaultPen() { SelectPen(0, 1); }
    void MoveTo(std::int32_t x, std::int32_t y);
    // A line from the current point up to, not including, (x, y), which becomes the current point.
    void LineTo(std::int32_t x, std::int32_t y);
    // UTF-8 text in the rectangle, broken at blanks to fit its width with TextWordBreak; clipped to it.
    void DrawText(const char* text, const TZevGLRect& rect, std::uint32_t flags);
    void TextOut(std::int32_t x, std::int32_t y, const char* text);
    // Inside the layer: deletes the kept text textures (the surface's context bound).
    void FreeTextTextures();

private:
    // A text laid out once and kept as a texture while it is drawn again unchanged (an overlay redraws the same
    // lines every frame).
    struct TextTexture {
        std::string text;
        std::int32_t wrapWidth = 0;
        std::uint32_t texture = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::uint64_t lastUse = 0;
    };
    static constexpr std::size_t MaxTextTextures = 32;
    // The kept texture of the text (made on first use); null when it has nothing to draw or cannot be made.
    const TextTexture* TextureOfText(const char* text, std::int32_t wrapWidth);

    std::vector<TextTexture> TextTextures;
    std::uint64_t TextUses = 0;
    TZevGLSurface* Surface;
    std::int32_t BkMode = ZevGL::BkOpaque;
    std::uint32_t TextColor = 0;
    std::uint32_t BkColor = 0xFFFFFF;
    std::uint32_t PenColor = 0;
    std::int32_t PenWidth = 1;
    std::int32_t CurrentX = 0;
    std::int32_t CurrentY = 0;
};
