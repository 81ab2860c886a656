// Texture files, shared by both texture stores: a bitmap found by its name and then in each search directory, and
// a picture with its alpha mask ("_" and the picture's name) turned into 32-bit texels.
#pragma once

#include <cstdint>

class TZevBitmap;
class TZevStringList;

// The bitmap of the file `name`, else of each directory followed by `name`, in list order; null when none loads.
// The caller releases it.
TZevBitmap* ZevLoadTextureBitmap(const char* name, TZevStringList& directories);
// The same for the alpha mask: "_" followed by the name.
TZevBitmap* ZevLoadAlphaMask(const char* name, TZevStringList& directories);

// Texels of `width` x `height`, top row first, 0xAARRGGBB words, `pitchWords` apart: the colours of the picture
// (whose row 0 is the bottom row, as BMP files keep it) and the alpha of the mask's first byte at the same pixel
// (the mask's first pixel where the mask is smaller), scaled to `alphaMask` and limited to it; without a mask the
// picture's own alpha. Pixels the picture does not cover stay as they are.
void ZevFillTexels(std::uint32_t* texels, std::int32_t pitchWords, std::int32_t width, std::int32_t height,
                   TZevBitmap* picture, TZevBitmap* mask, std::uint32_t alphaMask);

// The debug-log line of a texture file found nowhere.
void ZevLogMissingTexture(const char* name);
