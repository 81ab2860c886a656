#include "ZevGdi.h"

#include "ZevFont.h"
#include "ZevWindowCore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

enum class Kind { Bitmap, Brush, Pen, Font };

struct GdiObject {
    Kind kind = Kind::Brush;
    bool stock = false;
    int selected = 0;          // contexts that hold it
    bool deletePending = false; // deleted while selected: freed when let go
    // Bitmap (DIB section)
    BITMAPINFOHEADER header{};
    RGBQUAD palette[256]{};
    std::uint8_t* bits = nullptr;
    std::int32_t pitch = 0;
    // Brush and pen
    COLORREF colour = 0;
    bool hollow = false;
    std::int32_t penWidth = 1;
    // Font
    TZevFontDesc font;

    ~GdiObject() { delete[] bits; }
};

struct DeviceContext {
    HWND window = nullptr; // window context: its client surface
    bool screen = false;   // neither window nor bitmap: draws nothing
    bool paint = false;
    RECT clip{};
    GdiObject* bitmap = nullptr;
    GdiObject* brush = nullptr;
    GdiObject* pen = nullptr;
    GdiObject* font = nullptr;
    COLORREF textColour = 0;
    COLORREF bkColour = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    POINT pos{0, 0};
};

struct GdiState {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::unique_ptr<GdiObject>> objects;
    std::unordered_map<std::uintptr_t, std::unique_ptr<DeviceContext>> contexts;
    std::uintptr_t next = 0x10;
    GdiObject* stock[18] = {};
    std::uintptr_t stockHandle[18] = {};
};

GdiState& G()
{
    static GdiState* state = new GdiState(); // stock objects live to the end
    return *state;
}

std::uintptr_t AddObject(std::unique_ptr<GdiObject> o)
{
    GdiState& g = G();
    std::lock_guard<std::mutex> lock(g.mutex);
    const std::uintptr_t h = g.next;
    g.next += 4;
    g.objects[h] = std::move(o);
    return h;
}

GdiObject* FindObject(HGDIOBJ h)
{
    GdiState& g = G();
    std::lock_guard<std::mutex> lock(g.mutex);
    auto it = g.objects.find(reinterpret_cast<std::uintptr_t>(h));
    return it == g.objects.end() ? nullptr : it->second.get();
}

std::uintptr_t HandleOf(const GdiObject* o)
{
    GdiState& g = G();
    std::lock_guard<std::mutex> lock(g.mutex);
    for (auto& e : g.objects)
        if (e.second.get() == o)
            return e.first;
    return 0;
}

DeviceContext* FindDC(HDC dc)
{
    GdiState& g = G();
    std::lock_guard<std::mutex> lock(g.mutex);
    auto it = g.contexts.find(reinterpret_cast<std::uintptr_t>(dc));
    return it == g.contexts.end() ? nullptr : it->second.get();
}

HDC AddDC(std::unique_ptr<DeviceContext> dc)
{
    GdiState& g = G();
    std::lock_guard<std::mutex> lock(g.mutex);
    const std::uintptr_t h = g.next;
    g.next += 4;
    g.contexts[h] = std::move(dc);
    return reinterpret_cast<HDC>(h);
}

void LetGo(GdiObject* o)
{
    if (!o)
        return;
    --o->selected;
    if (o->selected <= 0 && o->deletePending) {
        GdiState& g = G();
        std::lock_guard<std::mutex> lock(g.mutex);
        for (auto it = g.objects.begin(); it != g.objects.end(); ++it)
            if (it->second.get() == o) {
                g.objects.erase(it);
                break;
            }
    }
}

GdiObject* MakeStock(int which)
{
    GdiState& g = G();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        if (which < 0 || which >= 18)
            return nullptr;
        if (g.stock[which])
            return g.stock[which];
    }
    auto o = std::make_unique<GdiObject>();
    o->stock = true;
    switch (which) {
    case WHITE_BRUSH: o->kind = Kind::Brush, o->colour = RGB(255, 255, 255); break;
    case LTGRAY_BRUSH: o->kind = Kind::Brush, o->colour = RGB(192, 192, 192); break;
    case GRAY_BRUSH: o->kind = Kind::Brush, o->colour = RGB(128, 128, 128); break;
    case BLACK_BRUSH: o->kind = Kind::Brush, o->colour = 0; break;
    case NULL_BRUSH: o->kind = Kind::Brush, o->hollow = true; break;
    case WHITE_PEN: o->kind = Kind::Pen, o->colour = RGB(255, 255, 255); break;
    case BLACK_PEN: o->kind = Kind::Pen, o->colour = 0; break;
    case DEFAULT_GUI_FONT: o->kind = Kind::Font, o->font.pixelHeight = ZevUiFontHeight; break;
    default: return nullptr;
    }
    GdiObject* raw = o.get();
    const std::uintptr_t h = AddObject(std::move(o));
    std::lock_guard<std::mutex> lock(g.mutex);
    g.stock[which] = raw;
    g.stockHandle[which] = h;
    return raw;
}

// Pixel access to what a context draws on.
struct Target {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t pitch = 0;
    std::int32_t bpp = 32;
    bool bottomUp = false;
    const RGBQUAD* palette = nullptr;
    TZevWindowRec* window = nullptr;
    RECT clip{};

    std::uint8_t* Row(std::int32_t y) const
    {
        return bits + static_cast<std::ptrdiff_t>(bottomUp ? height - 1 - y : y) * pitch;
    }
    std::uint32_t Get(std::int32_t x, std::int32_t y) const
    {
        const std::uint8_t* p = Row(y);
        switch (bpp) {
        case 32: return reinterpret_cast<const std::uint32_t*>(p)[x] & 0xFFFFFF;
        case 24: p += x * 3; return (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
        case 8: {
            const RGBQUAD& q = palette[p[x]];
            return (static_cast<std::uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue;
        }
        default: return 0;
        }
    }
    void Put(std::int32_t x, std::int32_t y, std::uint32_t rgb) const
    {
        std::uint8_t* p = Row(y);
        switch (bpp) {
        case 32: reinterpret_cast<std::uint32_t*>(p)[x] = rgb; break;
        case 24:
            p += x * 3;
            p[0] = rgb & 0xFF, p[1] = (rgb >> 8) & 0xFF, p[2] = (rgb >> 16) & 0xFF;
            break;
        case 8: p[x] = Nearest(rgb); break;
        default: break;
        }
    }
    std::uint8_t Nearest(std::uint32_t rgb) const
    {
        int best = 0;
        long bestD = -1;
        const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        for (int i = 0; i < 256; ++i) {
            const long dr = palette[i].rgbRed - r, dg = palette[i].rgbGreen - g, db = palette[i].rgbBlue - b;
            const long d = dr * dr + dg * dg + db * db;
            if (bestD < 0 || d < bestD)
                bestD = d, best = i;
        }
        return static_cast<std::uint8_t>(best);
    }
    bool Inside(std::int32_t x, std::int32_t y) const
    {
        return x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
    }
};

bool TargetOf(DeviceContext* dc, Target* t)
{
    if (dc->window) {
        TZevWindowRec* rec = ZevFindWindow(dc->window);
        if (!rec || rec->client.pixels.empty())
            return false;
        t->bits = reinterpret_cast<std::uint8_t*>(rec->client.pixels.data());
        t->width = rec->client.width;
        t->height = rec->client.height;
        t->pitch = rec->client.width * 4;
        t->bpp = 32;
        t->window = rec;
        t->clip = dc->paint ? dc->clip : RECT{0, 0, t->width, t->height};
    } else if (dc->bitmap && dc->bitmap->bits) {
        const BITMAPINFOHEADER& h = dc->bitmap->header;
        t->bits = dc->bitmap->bits;
        t->width = h.biWidth;
        t->height = std::abs(h.biHeight);
        t->pitch = dc->bitmap->pitch;
        t->bpp = h.biBitCount;
        t->bottomUp = h.biHeight > 0;
        t->palette = dc->bitmap->palette;
        t->clip = {0, 0, t->width, t->height};
    } else {
        return false;
    }
    t->clip.left = std::max(0, t->clip.left);
    t->clip.top = std::max(0, t->clip.top);
    t->clip.right = std::min(t->width, t->clip.right);
    t->clip.bottom = std::min(t->height, t->clip.bottom);
    return true;
}

void Touched(const Target& t, RECT r)
{
    if (t.window)
        ZevMarkDirty(t.window, r);
}

void FillOn(const Target& t, RECT r, std::uint32_t rgb)
{
    r.left = std::max(r.left, t.clip.left);
    r.top = std::max(r.top, t.clip.top);
    r.right = std::min(r.right, t.clip.right);
    r.bottom = std::min(r.bottom, t.clip.bottom);
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        if (t.bpp == 32) {
            std::fill_n(reinterpret_cast<std::uint32_t*>(t.Row(y)) + r.left, r.right - r.left, rgb);
        } else {
            for (std::int32_t x = r.left; x < r.right; ++x)
                t.Put(x, y, rgb);
        }
    }
    Touched(t, r);
}

void PlotPen(const Target& t, std::int32_t x, std::int32_t y, std::int32_t width, std::uint32_t rgb)
{
    const std::int32_t h = width / 2;
    for (std::int32_t dy = -h; dy < width - h; ++dy)
        for (std::int32_t dx = -h; dx < width - h; ++dx)
            if (t.Inside(x + dx, y + dy))
                t.Put(x + dx, y + dy, rgb);
}

} // namespace

HGDIOBJ GetStockObject(int which)
{
    if (!MakeStock(which))
        return nullptr;
    std::lock_guard<std::mutex> lock(G().mutex);
    return reinterpret_cast<HGDIOBJ>(G().stockHandle[which]);
}

HBRUSH CreateSolidBrush(COLORREF colour)
{
    auto o = std::make_unique<GdiObject>();
    o->kind = Kind::Brush;
    o->colour = colour;
    return reinterpret_cast<HBRUSH>(AddObject(std::move(o)));
}

HPEN CreatePen(int, std::int32_t width, COLORREF colour)
{
    auto o = std::make_unique<GdiObject>();
    o->kind = Kind::Pen;
    o->colour = colour;
    o->penWidth = std::clamp(width, 1, 64);
    return reinterpret_cast<HPEN>(AddObject(std::move(o)));
}

HFONT CreateFontA(std::int32_t height, std::int32_t, std::int32_t, std::int32_t, std::int32_t weight, DWORD, DWORD,
                  DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, const char* face)
{
    auto o = std::make_unique<GdiObject>();
    o->kind = Kind::Font;
    o->font.pixelHeight = height == 0 ? ZevUiFontHeight : std::clamp(std::abs(height), 1, 512);
    o->font.bold = weight >= FW_BOLD;
    if (face && *face)
        o->font.family = face;
    return reinterpret_cast<HFONT>(AddObject(std::move(o)));
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, void*, DWORD)
{
    if (bits)
        *bits = nullptr;
    if (!info)
        return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const std::int32_t height = h.biHeight == INT32_MIN ? -1 : std::abs(h.biHeight);
    if (h.biCompression != BI_RGB || h.biWidth <= 0 || height <= 0 || h.biWidth > ZevMaxDibSide ||
        height > ZevMaxDibSide || (h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32))
        return nullptr;
    auto o = std::make_unique<GdiObject>();
    o->kind = Kind::Bitmap;
    o->header = h;
    o->header.biSize = 40;
    o->pitch = ((h.biWidth * h.biBitCount + 31) / 32) * 4;
    const std::size_t size = static_cast<std::size_t>(o->pitch) * static_cast<std::size_t>(height);
    o->bits = new (std::nothrow) std::uint8_t[size]();
    if (!o->bits)
        return nullptr;
    if (h.biBitCount == 8) {
        const std::uint32_t n = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
        std::memcpy(o->palette, info->bmiColors, n * sizeof(RGBQUAD));
    }
    if (bits)
        *bits = o->bits;
    return reinterpret_cast<HBITMAP>(AddObject(std::move(o)));
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours)
{
    DeviceContext* c = FindDC(dc);
    if (!c || !c->bitmap || c->bitmap->header.biBitCount != 8 || !colours || start >= 256)
        return 0;
    const UINT n = std::min(count, 256 - start);
    std::memcpy(c->bitmap->palette + start, colours, n * sizeof(RGBQUAD));
    return n;
}

HDC CreateCompatibleDC(HDC)
{
    auto dc = std::make_unique<DeviceContext>();
    return AddDC(std::move(dc));
}

BOOL DeleteDC(HDC dc)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    LetGo(c->bitmap);
    LetGo(c->brush);
    LetGo(c->pen);
    LetGo(c->font);
    std::lock_guard<std::mutex> lock(G().mutex);
    G().contexts.erase(reinterpret_cast<std::uintptr_t>(dc));
    return 1;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    DeviceContext* c = FindDC(dc);
    GdiObject* o = FindObject(object);
    if (!c || !o)
        return nullptr;
    GdiObject** slot = nullptr;
    switch (o->kind) {
    case Kind::Bitmap:
        if (c->window)
            return nullptr;
        slot = &c->bitmap;
        break;
    case Kind::Brush: slot = &c->brush; break;
    case Kind::Pen: slot = &c->pen; break;
    case Kind::Font: slot = &c->font; break;
    }
    GdiObject* old = *slot;
    const std::uintptr_t oldHandle = old ? HandleOf(old) : 0;
    *slot = o;
    ++o->selected;
    LetGo(old);
    return reinterpret_cast<HGDIOBJ>(oldHandle);
}

BOOL DeleteObject(HGDIOBJ object)
{
    GdiObject* o = FindObject(object);
    if (!o || o->stock)
        return 0;
    if (o->selected > 0) {
        o->deletePending = true;
        return 1;
    }
    std::lock_guard<std::mutex> lock(G().mutex);
    G().objects.erase(reinterpret_cast<std::uintptr_t>(object));
    return 1;
}

HDC GetDC(HWND window)
{
    auto dc = std::make_unique<DeviceContext>();
    if (!window) {
        dc->screen = true;
        return AddDC(std::move(dc));
    }
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return nullptr;
    dc->window = window;
    return AddDC(std::move(dc));
}

int ReleaseDC(HWND, HDC dc)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    if (TZevWindowRec* rec = c->window ? ZevFindWindow(c->window) : nullptr)
        ZevPresentDirty(rec);
    return DeleteDC(dc);
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !paint)
        return nullptr;
    HDC dc = GetDC(window);
    DeviceContext* c = FindDC(dc);
    c->paint = true;
    c->clip = rec->invalid ? rec->invalidRect : RECT{0, 0, 0, 0};
    const bool erase = rec->erase && rec->invalid;
    rec->invalid = false;
    rec->erase = false;
    paint->hdc = dc;
    paint->rcPaint = c->clip;
    paint->fErase = erase ? 0 : 1;
    if (erase)
        paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? 0 : 1;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (!paint)
        return 0;
    ReleaseDC(window, paint->hdc);
    return 1;
}

BOOL BitBlt(HDC destination, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, HDC source,
            std::int32_t sourceX, std::int32_t sourceY, DWORD)
{
    DeviceContext* d = FindDC(destination);
    DeviceContext* s = FindDC(source);
    Target dt, st;
    if (!d || !s || !TargetOf(d, &dt) || !TargetOf(s, &st) || width <= 0 || height <= 0)
        return 0;
    // Clip against the source, then against the destination.
    std::int32_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    x0 = std::max({x0, -sourceX, dt.clip.left - x});
    y0 = std::max({y0, -sourceY, dt.clip.top - y});
    x1 = std::min({x1, st.width - sourceX, dt.clip.right - x});
    y1 = std::min({y1, st.height - sourceY, dt.clip.bottom - y});
    if (x1 <= x0 || y1 <= y0)
        return 1;
    for (std::int32_t j = y0; j < y1; ++j)
        for (std::int32_t i = x0; i < x1; ++i)
            dt.Put(x + i, y + j, st.Get(sourceX + i, sourceY + j));
    Touched(dt, RECT{x + x0, y + y0, x + x1, y + y1});
    return 1;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    DeviceContext* c = FindDC(dc);
    GdiObject* b = FindObject(brush);
    Target t;
    if (!c || !b || !rect || b->kind != Kind::Brush || !TargetOf(c, &t))
        return 0;
    if (!b->hollow)
        FillOn(t, *rect, ZevColourToRgb(b->colour));
    return 1;
}

BOOL Rectangle(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    DeviceContext* c = FindDC(dc);
    Target t;
    if (!c || !TargetOf(c, &t))
        return 0;
    const GdiObject* brush = c->brush ? c->brush : MakeStock(WHITE_BRUSH);
    if (!brush->hollow)
        FillOn(t, RECT{left, top, right, bottom}, ZevColourToRgb(brush->colour));
    const std::uint32_t pen = ZevColourToRgb(c->pen ? c->pen->colour : 0);
    FillOn(t, RECT{left, top, right, top + 1}, pen);
    FillOn(t, RECT{left, bottom - 1, right, bottom}, pen);
    FillOn(t, RECT{left, top, left + 1, bottom}, pen);
    FillOn(t, RECT{right - 1, top, right, bottom}, pen);
    return 1;
}

BOOL MoveToEx(HDC dc, std::int32_t x, std::int32_t y, POINT* previous)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    if (previous)
        *previous = c->pos;
    c->pos = {x, y};
    return 1;
}

BOOL LineTo(HDC dc, std::int32_t x, std::int32_t y)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    Target t;
    const POINT from = c->pos;
    c->pos = {x, y};
    if (!TargetOf(c, &t))
        return 0;
    const std::uint32_t rgb = ZevColourToRgb(c->pen ? c->pen->colour : 0);
    const std::int32_t w = c->pen ? c->pen->penWidth : 1;
    // Bresenham; the end point itself is not drawn.
    std::int64_t x0 = from.x, y0 = from.y;
    const std::int64_t dx = std::llabs(static_cast<std::int64_t>(x) - x0), sx = x0 < x ? 1 : -1;
    const std::int64_t dy = -std::llabs(static_cast<std::int64_t>(y) - y0), sy = y0 < y ? 1 : -1;
    std::int64_t err = dx + dy;
    // Bounded: a line far outside costs no more than its length across a 64k square.
    for (std::int64_t steps = 0; (x0 != x || y0 != y) && steps < (1 << 17); ++steps) {
        PlotPen(t, static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0), w, rgb);
        const std::int64_t e2 = 2 * err;
        if (e2 >= dy)
            err += dy, x0 += sx;
        if (e2 <= dx)
            err += dx, y0 += sy;
    }
    Touched(t, RECT{std::min(from.x, x) - w, std::min(from.y, y) - w, std::max(from.x, x) + w + 1,
                    std::max(from.y, y) + w + 1});
    return 1;
}

COLORREF SetPixel(HDC dc, std::int32_t x, std::int32_t y, COLORREF colour)
{
    DeviceContext* c = FindDC(dc);
    Target t;
    if (!c || !TargetOf(c, &t) || !t.Inside(x, y))
        return static_cast<COLORREF>(-1);
    t.Put(x, y, ZevColourToRgb(colour));
    Touched(t, RECT{x, y, x + 1, y + 1});
    return colour;
}

COLORREF GetPixel(HDC dc, std::int32_t x, std::int32_t y)
{
    DeviceContext* c = FindDC(dc);
    Target t;
    if (!c || !TargetOf(c, &t) || x < 0 || y < 0 || x >= t.width || y >= t.height)
        return static_cast<COLORREF>(-1);
    const std::uint32_t rgb = t.Get(x, y);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

namespace {

TZevFontDesc FontOf(DeviceContext* c)
{
    if (c->font)
        return c->font->font;
    TZevFontDesc desc;
    desc.pixelHeight = ZevUiFontHeight;
    return desc;
}

std::size_t TextLength(const char* text, std::int32_t length)
{
    return length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
}

} // namespace

BOOL TextOutA(HDC dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length)
{
    DeviceContext* c = FindDC(dc);
    Target t;
    if (!c || !text || !TargetOf(c, &t))
        return 0;
    TZevTextCoverage cover;
    if (!ZevRenderText(FontOf(c), text, TextLength(text, length), &cover))
        return 0;
    if (c->bkMode == OPAQUE)
        FillOn(t, RECT{x, y, x + cover.width, y + cover.height}, ZevColourToRgb(c->bkColour));
    const std::uint32_t rgb = ZevColourToRgb(c->textColour);
    for (std::int32_t j = 0; j < cover.height; ++j) {
        for (std::int32_t i = 0; i < cover.width; ++i) {
            const std::uint32_t k = cover.alpha[static_cast<std::size_t>(j) * static_cast<std::size_t>(cover.width) +
                                                static_cast<std::size_t>(i)];
            if (k == 0 || !t.Inside(x + i, y + j))
                continue;
            t.Put(x + i, y + j, ZevBlendTextPixel(t.Get(x + i, y + j), rgb, k));
        }
    }
    Touched(t, RECT{x, y, x + cover.width, y + cover.height});
    return 1;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, std::int32_t length, POINT* size)
{
    DeviceContext* c = FindDC(dc);
    if (!c || !text || !size)
        return 0;
    return ZevMeasureText(FontOf(c), text, TextLength(text, length), &size->x, &size->y) ? 1 : 0;
}

int DrawTextA(HDC dc, const char* text, std::int32_t length, RECT* rect, UINT format)
{
    DeviceContext* c = FindDC(dc);
    if (!c || !text || !rect)
        return 0;
    POINT size{0, 0};
    GetTextExtentPoint32A(dc, text, length, &size);
    std::int32_t x = rect->left;
    std::int32_t y = rect->top;
    if (format & DT_CENTER)
        x = rect->left + (rect->right - rect->left - size.x) / 2;
    if (format & DT_VCENTER)
        y = rect->top + (rect->bottom - rect->top - size.y) / 2;
    const RECT saved = c->clip;
    const bool savedPaint = c->paint;
    RECT clip = *rect;
    if (c->paint) {
        clip.left = std::max(clip.left, saved.left);
        clip.top = std::max(clip.top, saved.top);
        clip.right = std::min(clip.right, saved.right);
        clip.bottom = std::min(clip.bottom, saved.bottom);
    }
    c->clip = clip;
    c->paint = c->window != nullptr;
    TextOutA(dc, x, y, text, length);
    c->clip = saved;
    c->paint = savedPaint;
    return size.y;
}

COLORREF SetTextColor(HDC dc, COLORREF colour)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    const COLORREF old = c->textColour;
    c->textColour = colour;
    return old;
}

COLORREF SetBkColor(HDC dc, COLORREF colour)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    const COLORREF old = c->bkColour;
    c->bkColour = colour;
    return old;
}

int SetBkMode(HDC dc, int mode)
{
    DeviceContext* c = FindDC(dc);
    if (!c)
        return 0;
    const int old = c->bkMode;
    c->bkMode = mode;
    return old;
}
