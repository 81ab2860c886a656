#include "ZevTextureFiles.h"

#include "ZevBitmap.h"
#include "ZevPixelChannels.h"
#include "ZevString.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// The file reader writes a log line for every file it cannot open: a texture's candidates that are not there are
// passed over quietly (the store writes its own line when none loads, and a missing mask is no fault).
bool LoadIfPresent(TZevBitmap* bitmap, const TZevString& path)
{
    std::FILE* file = path.CStr() ? std::fopen(path.CStr(), "rb") : nullptr;
    if (!file)
        return false;
    std::fclose(file);
    return bitmap->LoadBmp(path.CStr());
}

// The bitmap of the first file of the list that loads.
TZevBitmap* LoadFirst(const TZevString& name, TZevStringList& directories)
{
    TZevBitmap* bitmap = new TZevBitmap();
    if (LoadIfPresent(bitmap, name))
        return bitmap;
    for (int i = 0; i < directories.GetCount(); ++i) {
        const char* directory = directories.GetAt(i);
        if (directory && LoadIfPresent(bitmap, TZevString(directory) + name))
            return bitmap;
    }
    bitmap->Release();
    return nullptr;
}

// Red, green, blue and alpha of a pixel. A 32-bit bitmap keeps them as the bytes red, green, blue, alpha (the BMP
// reader's layout); other depths through their masks.
void ReadPixel(const TZevBitmapAccess& access, std::int32_t x, std::int32_t y, std::uint8_t* rgba)
{
    if (access.bytesPerPixel == 4) {
        const std::uint8_t* p = access.bits + static_cast<std::ptrdiff_t>(y) * access.pitch + std::ptrdiff_t(x) * 4;
        std::copy(p, p + 4, rgba);
        return;
    }
    const std::uint32_t v = access.ReadPixel(x, y);
    rgba[0] = static_cast<std::uint8_t>(ZevChannelTo8(v, access.redMask));
    rgba[1] = static_cast<std::uint8_t>(ZevChannelTo8(v, access.greenMask));
    rgba[2] = static_cast<std::uint8_t>(ZevChannelTo8(v, access.blueMask));
    rgba[3] = access.alphaMask ? static_cast<std::uint8_t>(ZevChannelTo8(v, access.alphaMask)) : 255;
}

bool Readable(const TZevBitmapAccess& access)
{
    return access.bits && access.width > 0 && access.height > 0 && access.bytesPerPixel >= 1 &&
           access.bytesPerPixel <= 4 && access.pitch >= access.width * access.bytesPerPixel;
}

} // namespace

TZevBitmap* ZevLoadTextureBitmap(const char* name, TZevStringList& directories)
{
    if (!name || !*name)
        return nullptr;
    return LoadFirst(TZevString(name), directories);
}

TZevBitmap* ZevLoadAlphaMask(const char* name, TZevStringList& directories)
{
    if (!name || !*name)
        return nullptr;
    return LoadFirst(TZevString("_") + TZevString(name), directories);
}

void ZevFillTexels(std::uint32_t* texels, std::int32_t pitchWords, std::int32_t width, std::int32_t height,
                   TZevBitmap* picture, TZevBitmap* mask, std::uint32_t alphaMask)
{
    if (!texels || !picture)
        return;
    TZevBitmapAccess image(picture);
    if (!Readable(image))
        return;
    std::optional<TZevBitmapAccess> maskAccess;
    if (mask)
        maskAccess.emplace(mask);
    const TZevBitmapAccess* alpha = maskAccess && Readable(*maskAccess) ? &*maskAccess : nullptr;
    const std::int32_t rows = std::min(height, image.height);
    const std::int32_t columns = std::min(width, image.width);
    for (std::int32_t row = 0; row < rows; ++row) {
        // Texel rows run from the top, the picture's rows from the bottom.
        const std::int32_t y = image.height - 1 - row;
        std::uint32_t* out = texels + static_cast<std::ptrdiff_t>(row) * pitchWords;
        for (std::int32_t x = 0; x < columns; ++x) {
            std::uint8_t rgba[4];
            ReadPixel(image, x, y, rgba);
            std::uint32_t v = rgba[3];
            if (alpha) {
                std::uint8_t m[4];
                const bool inside = x < alpha->width && y < alpha->height;
                ReadPixel(*alpha, inside ? x : 0, inside ? y : 0, m);
                v = m[0];
            }
            const std::uint64_t scaled = static_cast<std::uint64_t>(v) * alphaMask / 255u;
            const std::uint32_t a = static_cast<std::uint32_t>(std::min<std::uint64_t>(scaled, alphaMask)) & alphaMask;
            out[x] = (out[x] & ~(0x00FFFFFFu | alphaMask)) | a | (std::uint32_t(rgba[0]) << 16) |
                     (std::uint32_t(rgba[1]) << 8) | rgba[2];
        }
    }
}

void ZevLogMissingTexture(const char* name)
{
    const TZevString line = TZevString("ファイルのオープンに失敗しました FileName… \"") + TZevString(name ? name : "") +
                            TZevString("\"\r\n");
    ZevDebugLog(line.CStr());
}
