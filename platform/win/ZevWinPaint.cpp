// Painting: invalid and dirty rectangles, and the surfaces of the non-client strip.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"
#include "ZevFont.h"

#include <algorithm>
#include <cstring>

using namespace ZevWinCore;

namespace {

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

RECT Union(const RECT& a, const RECT& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

} // namespace

// ---- Painting ----------------------------------------------------------------------------------------------------

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    const RECT all{0, 0, rec->client.width, rec->client.height};
    const RECT r = rect ? Intersect(*rect, all) : all;
    rec->invalidRect = rec->invalid ? Union(rec->invalidRect, r) : r;
    rec->invalid = true;
    rec->erase = rec->erase || erase;
    ++rec->invalidSerial;
    rec->queue->Wake();
    return 1;
}

BOOL ValidateRect(HWND window, const RECT*)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return 0;
    rec->invalid = false;
    rec->erase = false;
    return 1;
}

void ZevMarkDirty(TZevWindowRec* rec, const RECT& rect)
{
    const RECT r = Intersect(rect, RECT{0, 0, rec->client.width, rec->client.height});
    if (IsEmpty(r))
        return;
    rec->dirty = rec->hasDirty ? Union(rec->dirty, r) : r;
    rec->hasDirty = true;
}

void ZevPresentDirty(TZevWindowRec* rec)
{
    if (!rec->hasDirty)
        return;
    rec->hasDirty = false;
    if (!rec->externalDrawing)
        ZevBackend()->PresentClient(rec, rec->dirty);
}

// ---- Non-client strip --------------------------------------------------------------------------------------------

void ZevFillSurface(TZevSurface* s, RECT r, std::uint32_t rgb)
{
    r = Intersect(r, RECT{0, 0, s->width, s->height});
    for (std::int32_t y = r.top; y < r.bottom; ++y)
        std::fill_n(&s->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(s->width) +
                               static_cast<std::size_t>(r.left)],
                    r.right - r.left, rgb);
}

void ZevSurfaceText(TZevSurface* s, const char* text, std::int32_t x, std::int32_t y, std::uint32_t rgb,
                    const RECT& clip, bool bold)
{
    if (s->pixels.empty() || !text)
        return;
    TZevFontDesc desc;
    desc.pixelHeight = ZevUiFontHeight;
    desc.bold = bold;
    ZevDrawText32(desc, text, std::strlen(text), s->pixels.data(), s->width, s->height, s->width * 4, x, y, rgb,
                  clip.left, clip.top, clip.right, clip.bottom);
}

std::uint32_t ZevColourToRgb(COLORREF c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
