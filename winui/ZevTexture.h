// One surface of the DirectDraw 7 renderer with a name: the front, back and depth surfaces and any off-screen
// surface made on the surfaces object. A video-memory surface keeps a system-memory backup from which Restore
// puts its pixels back after a display-mode change lost them.
#pragma once

#include "ZevString.h"

#include <cstdint>

class TZevDX7Surfaces;
class TZevGLClipper;
class TZevGLPalette;
class TZevGLSurface;

class TZevTexture : public TZevAllocated {
public:
    TZevTexture() = default;
    // ReleaseSurfaces.
    virtual ~TZevTexture();
    TZevTexture(const TZevTexture&) = delete;
    TZevTexture& operator=(const TZevTexture&) = delete;

    // An off-screen surface of Width x Height (with its backup in video memory), entered in the owner's table
    // under " NoName_" and the next number. 0 when no surface could be made (LastHResult holds why).
    virtual int CreateSurface(TZevDX7Surfaces* owner);
    // A surface of the bitmap file's size with its pixels. 0 when the file or the surface cannot be made.
    virtual int LoadImage(const char* fileName, TZevDX7Surfaces* owner);
    // Leaves the owner's table (when named), then releases clipper, palette, backup and surface.
    virtual void ReleaseSurfaces();
    // A lost surface is restored and its backup copied back onto it.
    virtual void Restore();

    // UTF-8 text at (x, y) in the colour RGB(0, 128, 128) over what is there, broken at blanks to fit the surface.
    void DrawText(std::int32_t x, std::int32_t y, const char* text);
    // The 256 palette entries' flags (0x40 at both ends, 1 between) and a palette of them.
    void MakePalette();

    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t VideoMemory = 0;
    TZevDX7Surfaces* Owner = nullptr;
    TZevGLSurface* Surface = nullptr;
    TZevGLSurface* Backup = nullptr; // Surface itself when there is no separate backup
    TZevGLPalette* Palette = nullptr;
    TZevGLClipper* Clipper = nullptr; // front surface only
    std::uint32_t PaletteEntries[256] = {};
    TZevString Name;
};
