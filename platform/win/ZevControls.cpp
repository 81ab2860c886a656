// The built-in controls: push button, single- and multi-line edit field, list box and static text. Each keeps its
// state in the window record (not in the user word, which a subclassing owner may take) and tells its parent of
// clicks and changes through WM_COMMAND with its control identifier.
#include "ZevFont.h"
#include "ZevGdi.h"
#include "ZevWindowCore.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

void ZevRegisterDialogClasses();

namespace {

constexpr COLORREF kFace = RGB(0xD4, 0xD0, 0xC8);
constexpr COLORREF kShadow = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kDark = RGB(0x40, 0x40, 0x40);
constexpr COLORREF kSelection = RGB(0x33, 0x66, 0xCC);
constexpr std::int32_t kLineHeight = 16;

void Notify(HWND window, UINT code)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec || !rec->parent)
        return;
    SendMessageA(rec->parent->Handle(), WM_COMMAND,
                 MAKEWPARAM(static_cast<std::uint16_t>(rec->id), static_cast<std::uint16_t>(code)),
                 reinterpret_cast<LPARAM>(window));
}

template <class T> T* DataOf(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    return rec ? static_cast<T*>(rec->controlData) : nullptr;
}

template <class T> T* Attach(HWND window)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return nullptr;
    if (!rec->controlData) {
        rec->controlData = new T();
        rec->controlFree = [](void* p) { delete static_cast<T*>(p); };
    }
    return static_cast<T*>(rec->controlData);
}

void FillBox(HDC dc, RECT r, COLORREF c)
{
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void Frame(HDC dc, RECT r, COLORREF topLeft, COLORREF bottomRight)
{
    FillBox(dc, {r.left, r.top, r.right, r.top + 1}, topLeft);
    FillBox(dc, {r.left, r.top, r.left + 1, r.bottom}, topLeft);
    FillBox(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
    FillBox(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

// The advance of the character at s[*at] in the controls' font, *at moved past it. Each character is measured once
// and remembered: text is laid out glyph after glyph, without kerning, so a run of text is as wide as its
// characters' advances together, and a field never measures a whole line again for each key.
std::int32_t Advance(const std::string& s, std::size_t* at)
{
    thread_local std::unordered_map<std::uint32_t, std::int32_t> advances;
    const std::size_t from = *at;
    const std::uint32_t c = ZevDecodeUtf8(s.data(), s.size(), at);
    const auto known = advances.find(c);
    if (known != advances.end())
        return known->second;
    TZevFontDesc desc;
    desc.pixelHeight = ZevUiFontHeight;
    std::int32_t w = 0, h = 0;
    ZevMeasureText(desc, s.data() + from, *at - from, &w, &h);
    advances.emplace(c, w);
    return w;
}

std::int32_t Width(const std::string& s, std::size_t from, std::size_t to)
{
    std::int32_t w = 0;
    for (std::size_t at = from; at < to;)
        w += Advance(s, &at);
    return w;
}

LRESULT CopyText(const std::string& text, WPARAM max, LPARAM buffer)
{
    if (!buffer || max == 0)
        return 0;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(max) - 1);
    std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
    reinterpret_cast<char*>(buffer)[n] = 0;
    return static_cast<LRESULT>(n);
}

// ---- Button ------------------------------------------------------------------------------------------------------

struct ButtonData {
    bool pressed = false;
};

LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: Attach<ButtonData>(window); return 1;
    case WM_LBUTTONDOWN:
        if (auto* d = DataOf<ButtonData>(window)) {
            d->pressed = true;
            SetCapture(window);
            SetFocus(window);
            InvalidateRect(window, nullptr, 1);
        }
        return 0;
    case WM_LBUTTONUP: {
        auto* d = DataOf<ButtonData>(window);
        if (!d || !d->pressed)
            return 0;
        d->pressed = false;
        ReleaseCapture();
        InvalidateRect(window, nullptr, 1);
        RECT r;
        GetClientRect(window, &r);
        const std::int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (x >= 0 && y >= 0 && x < r.right && y < r.bottom)
            Notify(window, BN_CLICKED);
        return 0;
    }
    case WM_KEYUP:
        if (wParam == VK_SPACE)
            Notify(window, BN_CLICKED);
        return 0;
    case WM_SETTEXT: DefWindowProcA(window, message, wParam, lParam); InvalidateRect(window, nullptr, 1); return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT r;
        GetClientRect(window, &r);
        auto* d = DataOf<ButtonData>(window);
        const bool down = d && d->pressed;
        FillBox(dc, r, kFace);
        Frame(dc, r, down ? kDark : RGB(255, 255, 255), down ? RGB(255, 255, 255) : kDark);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, IsWindowEnabled(window) ? RGB(0, 0, 0) : kShadow);
        RECT t = r;
        if (down)
            t.left += 2, t.top += 2;
        const std::string text = ZevGetWindowText(window);
        DrawTextA(dc, text.c_str(), -1, &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (GetFocus() == window)
            Frame(dc, {r.left + 3, r.top + 3, r.right - 3, r.bottom - 3}, kShadow, kShadow);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE: InvalidateRect(window, nullptr, 1); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- Edit --------------------------------------------------------------------------------------------------------

struct EditData {
    std::string text;
    std::size_t caret = 0;
    std::size_t anchor = 0;
    std::int32_t firstLine = 0;
    std::int32_t scrollX = 0;
    bool multiline = false;
};

// Byte offsets where each line starts; line breaks are CR LF (a lone LF also ends a line).
std::vector<std::size_t> LineStarts(const std::string& t)
{
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == '\n')
            starts.push_back(i + 1);
    return starts;
}

std::size_t LineEnd(const std::string& t, std::size_t start)
{
    std::size_t e = t.find('\n', start);
    if (e == std::string::npos)
        return t.size();
    return e > start && t[e - 1] == '\r' ? e - 1 : e;
}

std::int32_t LineOf(const std::vector<std::size_t>& starts, std::size_t pos)
{
    return static_cast<std::int32_t>(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
}

std::size_t PrevChar(const std::string& t, std::size_t pos)
{
    if (pos == 0)
        return 0;
    // A CR LF pair counts as one step.
    if (pos >= 2 && t[pos - 1] == '\n' && t[pos - 2] == '\r')
        return pos - 2;
    --pos;
    while (pos > 0 && (static_cast<unsigned char>(t[pos]) & 0xC0) == 0x80)
        --pos;
    return pos;
}

std::size_t NextChar(const std::string& t, std::size_t pos)
{
    if (pos >= t.size())
        return t.size();
    if (t[pos] == '\r' && pos + 1 < t.size() && t[pos + 1] == '\n')
        return pos + 2;
    ++pos;
    while (pos < t.size() && (static_cast<unsigned char>(t[pos]) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

// The nearest character boundary at or before a byte offset.
std::size_t Snap(const std::string& t, std::size_t pos)
{
    pos = std::min(pos, t.size());
    while (pos > 0 && pos < t.size() && (static_cast<unsigned char>(t[pos]) & 0xC0) == 0x80)
        --pos;
    if (pos > 0 && pos < t.size() && t[pos] == '\n' && t[pos - 1] == '\r')
        --pos;
    return pos;
}

// The byte offset in a line nearest to a horizontal position.
std::size_t OffsetAtX(const std::string& t, std::size_t start, std::size_t end, std::int32_t x)
{
    std::size_t best = start;
    std::int32_t bestDistance = std::abs(x);
    std::int32_t w = 0;
    for (std::size_t p = start; p < end;) {
        w += Advance(t, &p);
        const std::int32_t d = std::abs(w - x);
        if (d < bestDistance)
            bestDistance = d, best = p;
        if (w > x)
            break;
    }
    return best;
}

// The part of a line that falls within [left, right) of the line's own pixels (0 at its start): from the character
// before the first one that shows to the one after the last, so that glyphs reaching over their advance are whole.
struct TLineSlice {
    std::size_t from, to;
    std::int32_t x; // where `from` starts
};

TLineSlice VisibleSlice(const std::string& t, std::size_t start, std::size_t end, std::int32_t left,
                        std::int32_t right)
{
    TLineSlice slice{start, start, 0};
    std::int32_t w = 0;
    std::size_t p = start;
    while (p < end) {
        std::size_t next = p;
        const std::int32_t a = Advance(t, &next);
        if (w + a >= left)
            break;
        slice.from = p;
        slice.x = w;
        w += a;
        p = next;
    }
    while (p < end && w <= right)
        w += Advance(t, &p);
    if (p < end)
        Advance(t, &p);
    slice.to = p;
    return slice;
}

void ScrollToCaret(HWND window, EditData* d)
{
    RECT r;
    GetClientRect(window, &r);
    const auto starts = LineStarts(d->text);
    const std::int32_t line = LineOf(starts, d->caret);
    if (d->multiline) {
        const std::int32_t visible = std::max(1, (r.bottom - 6) / kLineHeight);
        if (line < d->firstLine)
            d->firstLine = line;
        if (line >= d->firstLine + visible)
            d->firstLine = line - visible + 1;
    }
    const std::int32_t x = Width(d->text, starts[static_cast<std::size_t>(line)], d->caret);
    const std::int32_t room = std::max(8, r.right - 10);
    if (x < d->scrollX)
        d->scrollX = std::max(0, x - room / 3);
    if (x > d->scrollX + room)
        d->scrollX = x - room + room / 3;
}

void Changed(HWND window, EditData* d, bool notify)
{
    ScrollToCaret(window, d);
    InvalidateRect(window, nullptr, 1);
    if (notify)
        Notify(window, EN_CHANGE);
}

void ReplaceSelection(HWND window, EditData* d, const std::string& with, bool notify)
{
    std::string insert = with;
    if (!d->multiline) {
        // A single-line field keeps the first line of what it is given.
        const std::size_t e = insert.find_first_of("\r\n");
        if (e != std::string::npos)
            insert.resize(e);
    }
    const std::size_t a = std::min(d->anchor, d->caret), b = std::max(d->anchor, d->caret);
    d->text.replace(a, b - a, insert);
    d->caret = d->anchor = a + insert.size();
    Changed(window, d, notify);
}

std::string Selected(const EditData* d)
{
    const std::size_t a = std::min(d->anchor, d->caret), b = std::max(d->anchor, d->caret);
    return d->text.substr(a, b - a);
}

void MoveCaret(EditData* d, std::size_t to, bool extend)
{
    d->caret = to;
    if (!extend)
        d->anchor = to;
}

std::size_t PositionAt(HWND window, EditData* d, std::int32_t x, std::int32_t y)
{
    const auto starts = LineStarts(d->text);
    std::int32_t line = d->multiline ? d->firstLine + (y - 3) / kLineHeight : 0;
    line = std::clamp(line, 0, static_cast<std::int32_t>(starts.size()) - 1);
    const std::size_t start = starts[static_cast<std::size_t>(line)];
    (void)window;
    return OffsetAtX(d->text, start, LineEnd(d->text, start), x - 4 + d->scrollX);
}

void PaintEdit(HWND window, EditData* d)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    FillBox(dc, r, IsWindowEnabled(window) ? RGB(255, 255, 255) : kFace);
    Frame(dc, r, kShadow, RGB(0xE0, 0xE0, 0xE0));
    SetBkMode(dc, TRANSPARENT);
    const auto starts = LineStarts(d->text);
    const std::size_t selA = std::min(d->anchor, d->caret), selB = std::max(d->anchor, d->caret);
    const bool focused = GetFocus() == window;
    const std::int32_t top = d->multiline ? 3 : std::max(1, (r.bottom - kLineHeight) / 2);
    for (std::size_t i = static_cast<std::size_t>(std::max(0, d->firstLine)); i < starts.size(); ++i) {
        const std::int32_t y = top + (static_cast<std::int32_t>(i) - d->firstLine) * kLineHeight;
        if (y > r.bottom)
            break;
        const std::size_t s = starts[i], e = LineEnd(d->text, s);
        const std::int32_t x0 = 4 - d->scrollX;
        const std::size_t a = std::clamp(selA, s, e), b = std::clamp(selB, s, e);
        if (a < b)
            FillBox(dc, {x0 + Width(d->text, s, a), y, x0 + Width(d->text, s, b), y + kLineHeight}, kSelection);
        SetTextColor(dc, RGB(0, 0, 0));
        // Only what shows is drawn: a long line costs no more than a short one.
        const TLineSlice shown = VisibleSlice(d->text, s, e, d->scrollX - 4, d->scrollX - 4 + r.right);
        RECT at{x0 + shown.x, y, r.right - 2, y + kLineHeight};
        DrawTextA(dc, d->text.data() + shown.from, static_cast<std::int32_t>(shown.to - shown.from), &at,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        if (focused && d->caret >= s && d->caret <= e) {
            const std::int32_t cx = x0 + Width(d->text, s, d->caret);
            FillBox(dc, {cx, y + 1, cx + 1, y + kLineHeight - 1}, RGB(0, 0, 0));
        }
    }
    EndPaint(window, &ps);
}

LRESULT EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        EditData* d = Attach<EditData>(window);
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        d->multiline = cs && (static_cast<DWORD>(cs->style) & ES_MULTILINE);
        if (TZevWindowRec* rec = ZevFindWindow(window))
            d->text = rec->text;
        return 1;
    }
    EditData* d = DataOf<EditData>(window);
    if (!d)
        return DefWindowProcA(window, message, wParam, lParam);
    const bool shift = false;
    switch (message) {
    case WM_SETTEXT:
        d->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        d->caret = d->anchor = 0;
        d->firstLine = 0;
        d->scrollX = 0;
        Changed(window, d, false);
        return 1;
    case WM_GETTEXT: return CopyText(d->text, wParam, lParam);
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(d->text.size());
    case WM_CHAR: {
        const std::uint32_t c = static_cast<std::uint32_t>(wParam);
        if (c == 8) {
            if (d->anchor == d->caret)
                d->anchor = PrevChar(d->text, d->caret);
            if (d->anchor != d->caret)
                ReplaceSelection(window, d, "", true);
        } else if (c == 13) {
            if (d->multiline)
                ReplaceSelection(window, d, "\r\n", true);
        } else if (c == 1) {
            d->anchor = 0;
            d->caret = d->text.size();
            Changed(window, d, false);
        } else if (c == 3) {
            SendMessageA(window, WM_COPY, 0, 0);
        } else if (c == 22) {
            SendMessageA(window, WM_PASTE, 0, 0);
        } else if (c == 24) {
            SendMessageA(window, WM_CUT, 0, 0);
        } else if (c >= 32 && c != 127) {
            std::string s;
            ZevAppendUtf8(&s, c);
            ReplaceSelection(window, d, s, true);
        }
        return 0;
    }
    case WM_KEYDOWN: {
        const auto starts = LineStarts(d->text);
        const std::int32_t line = LineOf(starts, d->caret);
        const std::size_t s = starts[static_cast<std::size_t>(line)];
        switch (wParam) {
        case VK_LEFT: MoveCaret(d, PrevChar(d->text, d->caret), shift); break;
        case VK_RIGHT: MoveCaret(d, NextChar(d->text, d->caret), shift); break;
        case VK_HOME: MoveCaret(d, s, shift); break;
        case VK_END: MoveCaret(d, LineEnd(d->text, s), shift); break;
        case VK_UP:
        case VK_DOWN: {
            const std::int32_t to = line + (wParam == VK_UP ? -1 : 1);
            if (!d->multiline || to < 0 || to >= static_cast<std::int32_t>(starts.size()))
                break;
            const std::size_t ts = starts[static_cast<std::size_t>(to)];
            MoveCaret(d, OffsetAtX(d->text, ts, LineEnd(d->text, ts), Width(d->text, s, d->caret)), shift);
            break;
        }
        case VK_DELETE:
            if (d->anchor == d->caret)
                d->anchor = NextChar(d->text, d->caret);
            if (d->anchor != d->caret)
                ReplaceSelection(window, d, "", true);
            return 0;
        default: return 0;
        }
        Changed(window, d, false);
        return 0;
    }
    case EM_SETSEL: {
        const auto start = static_cast<std::intptr_t>(wParam);
        const auto end = static_cast<std::intptr_t>(lParam);
        if (start == -1) {
            d->anchor = d->caret;
        } else {
            d->anchor = Snap(d->text, static_cast<std::size_t>(std::max<std::intptr_t>(0, start)));
            d->caret = end < 0 ? d->text.size() : Snap(d->text, static_cast<std::size_t>(end));
        }
        InvalidateRect(window, nullptr, 1);
        return 0;
    }
    case EM_GETSEL: {
        const std::size_t a = std::min(d->anchor, d->caret), b = std::max(d->anchor, d->caret);
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(a);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(b);
        return static_cast<LRESULT>(MAKELPARAM(static_cast<std::int32_t>(std::min<std::size_t>(a, 0xFFFF)),
                                               static_cast<std::int32_t>(std::min<std::size_t>(b, 0xFFFF))));
    }
    case EM_REPLACESEL:
        ReplaceSelection(window, d, lParam ? reinterpret_cast<const char*>(lParam) : "", true);
        return 0;
    case EM_SCROLLCARET: ScrollToCaret(window, d); InvalidateRect(window, nullptr, 1); return 1;
    case WM_CLEAR:
        if (d->anchor != d->caret)
            ReplaceSelection(window, d, "", true);
        return 0;
    case WM_COPY:
        if (d->anchor != d->caret)
            ZevSetClipboardText(Selected(d));
        return 0;
    case WM_CUT:
        if (d->anchor != d->caret) {
            ZevSetClipboardText(Selected(d));
            ReplaceSelection(window, d, "", true);
        }
        return 0;
    case WM_PASTE: {
        std::string text = ZevGetClipboardText();
        if (d->multiline) {
            // Lone line feeds from other programs become the field's CR LF.
            std::string fixed;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                    fixed += '\r';
                fixed += text[i];
            }
            text.swap(fixed);
        }
        if (!text.empty())
            ReplaceSelection(window, d, text, true);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetFocus(window);
        if ((d = DataOf<EditData>(window))) {
            MoveCaret(d, PositionAt(window, d, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)),
                      (wParam & MK_SHIFT) != 0);
            SetCapture(window);
            InvalidateRect(window, nullptr, 1);
        }
        return 0;
    case WM_MOUSEMOVE:
        if ((wParam & MK_LBUTTON) && GetFocus() == window) {
            d->caret = PositionAt(window, d, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            InvalidateRect(window, nullptr, 1);
        }
        return 0;
    case WM_LBUTTONUP: ReleaseCapture(); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SIZE: InvalidateRect(window, nullptr, 1); return 0;
    case WM_PAINT: PaintEdit(window, d); return 0;
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- List box ----------------------------------------------------------------------------------------------------

constexpr std::int32_t kScrollBar = 16;

struct ListData {
    std::vector<std::string> items;
    std::int32_t selected = -1;
    std::int32_t top = 0;
    std::int32_t dragFrom = -1; // while the thumb is dragged: the grip's offset inside it
};

struct ListLayout {
    std::int32_t visible = 1; // whole rows that fit
    std::int32_t rowRight = 0;
    bool bar = false; // a scroll bar when the rows do not all fit
    RECT up{}, down{}, track{}, thumb{};
};

ListLayout LayoutOf(HWND window, const ListData* d)
{
    RECT r;
    GetClientRect(window, &r);
    ListLayout l;
    l.visible = std::max(1, (r.bottom - 4) / kLineHeight);
    l.rowRight = r.right - 2;
    const auto count = static_cast<std::int32_t>(d->items.size());
    l.bar = count > l.visible && r.right > 2 * kScrollBar;
    if (!l.bar)
        return l;
    l.rowRight -= kScrollBar;
    const std::int32_t x = l.rowRight;
    l.up = {x, 2, x + kScrollBar, 2 + kScrollBar};
    l.down = {x, std::max(l.up.bottom, r.bottom - 2 - kScrollBar), x + kScrollBar, r.bottom - 2};
    l.track = {x, l.up.bottom, x + kScrollBar, l.down.top};
    const std::int32_t length = l.track.bottom - l.track.top;
    const std::int32_t thumb = std::min(length, std::max(8, length * l.visible / count));
    const std::int32_t y = l.track.top + (length - thumb) * d->top / (count - l.visible);
    l.thumb = {x, y, x + kScrollBar, y + thumb};
    return l;
}

bool Inside(const RECT& r, std::int32_t x, std::int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void ScrollTo(HWND window, ListData* d, std::int32_t top)
{
    const auto most = std::max(0, static_cast<std::int32_t>(d->items.size()) - LayoutOf(window, d).visible);
    top = std::clamp(top, 0, most);
    if (top != d->top) {
        d->top = top;
        InvalidateRect(window, nullptr, 1);
    }
}

void ShowSelected(HWND window, ListData* d)
{
    const std::int32_t visible = LayoutOf(window, d).visible;
    if (d->selected >= 0 && d->selected < d->top)
        d->top = d->selected;
    if (d->selected >= d->top + visible)
        d->top = d->selected - visible + 1;
    InvalidateRect(window, nullptr, 1);
}

// A press on the scroll bar: the arrows move a row, the track beside the thumb a page, the thumb is dragged.
void ScrollBarPress(HWND window, ListData* d, const ListLayout& l, std::int32_t x, std::int32_t y)
{
    if (Inside(l.up, x, y))
        ScrollTo(window, d, d->top - 1);
    else if (Inside(l.down, x, y))
        ScrollTo(window, d, d->top + 1);
    else if (Inside(l.thumb, x, y)) {
        d->dragFrom = y - l.thumb.top;
        SetCapture(window);
    } else if (Inside(l.track, x, y))
        ScrollTo(window, d, d->top + (y < l.thumb.top ? -l.visible : l.visible));
}

void ThumbDragged(HWND window, ListData* d, std::int32_t y)
{
    const ListLayout l = LayoutOf(window, d);
    const std::int32_t room = (l.track.bottom - l.track.top) - (l.thumb.bottom - l.thumb.top);
    if (!l.bar || room <= 0)
        return;
    const std::int32_t most = static_cast<std::int32_t>(d->items.size()) - l.visible;
    const std::int32_t at = std::clamp(y - d->dragFrom - l.track.top, 0, room);
    ScrollTo(window, d, (at * most + room / 2) / room);
}

void PaintScrollBar(HDC dc, const ListLayout& l)
{
    FillBox(dc, l.track, RGB(0xE8, 0xE8, 0xE8));
    for (const RECT& b : {l.up, l.down, l.thumb}) {
        FillBox(dc, b, kFace);
        Frame(dc, b, RGB(255, 255, 255), kShadow);
    }
    // The arrows: rows of a small triangle pointing up and down.
    const std::int32_t cx = (l.up.left + l.up.right) / 2;
    for (std::int32_t i = 0; i < 4; ++i) {
        const std::int32_t upY = (l.up.top + l.up.bottom) / 2 - 2 + i;
        const std::int32_t downY = (l.down.top + l.down.bottom) / 2 + 1 - i;
        FillBox(dc, {cx - i, upY, cx + i + 1, upY + 1}, kDark);
        FillBox(dc, {cx - i, downY, cx + i + 1, downY + 1}, kDark);
    }
}

LRESULT ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        Attach<ListData>(window);
        return 1;
    }
    ListData* d = DataOf<ListData>(window);
    if (!d)
        return DefWindowProcA(window, message, wParam, lParam);
    const auto count = static_cast<std::int32_t>(d->items.size());
    switch (message) {
    case LB_ADDSTRING:
        d->items.push_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        InvalidateRect(window, nullptr, 1);
        return count;
    case LB_RESETCONTENT: d->items.clear(), d->selected = -1, d->top = 0; InvalidateRect(window, nullptr, 1); return 0;
    case LB_GETCOUNT: return count;
    case LB_GETCURSEL: return d->selected;
    case LB_SETCURSEL:
        d->selected = wParam < d->items.size() ? static_cast<std::int32_t>(wParam) : -1;
        ShowSelected(window, d);
        return d->selected < 0 ? LB_ERR : d->selected;
    // An index is unsigned here: the -1 of "no selection" passed on from LB_GETCURSEL is out of range too.
    case LB_GETTEXTLEN: return wParam < d->items.size() ? static_cast<LRESULT>(d->items[wParam].size()) : LB_ERR;
    case LB_GETTEXT:
        if (wParam >= d->items.size() || !lParam)
            return LB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), d->items[wParam].c_str(), d->items[wParam].size() + 1);
        return static_cast<LRESULT>(d->items[wParam].size());
    case LB_GETITEMRECT: {
        if (wParam >= d->items.size() || !lParam)
            return LB_ERR;
        const std::int32_t y = 2 + (static_cast<std::int32_t>(wParam) - d->top) * kLineHeight;
        *reinterpret_cast<RECT*>(lParam) = RECT{2, y, LayoutOf(window, d).rowRight, y + kLineHeight};
        return 1;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(window);
        d->dragFrom = -1;
        const std::int32_t x = GET_X_LPARAM(lParam);
        const std::int32_t y = GET_Y_LPARAM(lParam);
        const ListLayout l = LayoutOf(window, d);
        if (l.bar && x >= l.rowRight) {
            ScrollBarPress(window, d, l, x, y);
            return 0;
        }
        const std::int32_t row = d->top + (y - 2) / kLineHeight;
        if (y < 2 || row >= count)
            return 0;
        if (row != d->selected) {
            d->selected = row;
            ShowSelected(window, d);
            Notify(window, LBN_SELCHANGE);
        }
        if (message == WM_LBUTTONDBLCLK)
            Notify(window, LBN_DBLCLK);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (d->dragFrom >= 0 && (wParam & MK_LBUTTON))
            ThumbDragged(window, d, GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (d->dragFrom >= 0) {
            d->dragFrom = -1;
            ReleaseCapture();
        }
        return 0;
    case WM_MOUSEWHEEL: ScrollTo(window, d, d->top - 3 * GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA); return 0;
    case WM_KEYDOWN: {
        std::int32_t to = d->selected;
        if (wParam == VK_UP)
            to = std::max(0, d->selected - 1);
        else if (wParam == VK_DOWN)
            to = std::min(count - 1, d->selected + 1);
        else if (wParam == VK_HOME)
            to = 0;
        else if (wParam == VK_END)
            to = count - 1;
        else if (wParam == VK_RETURN && d->selected >= 0)
            Notify(window, LBN_DBLCLK); // Return opens the entry, as a double click does
        if (to != d->selected && to >= 0) {
            d->selected = to;
            ShowSelected(window, d);
            Notify(window, LBN_SELCHANGE);
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT r;
        GetClientRect(window, &r);
        const ListLayout l = LayoutOf(window, d);
        FillBox(dc, r, RGB(255, 255, 255));
        Frame(dc, r, kShadow, RGB(0xE0, 0xE0, 0xE0));
        SetBkMode(dc, TRANSPARENT);
        for (std::int32_t i = d->top; i < count; ++i) {
            const std::int32_t y = 2 + (i - d->top) * kLineHeight;
            if (y >= r.bottom - 2)
                break;
            RECT row{2, y, l.rowRight, y + kLineHeight};
            if (i == d->selected)
                FillBox(dc, row, kSelection);
            SetTextColor(dc, i == d->selected ? RGB(255, 255, 255) : RGB(0, 0, 0));
            row.left += 4;
            DrawTextA(dc, d->items[static_cast<std::size_t>(i)].c_str(), -1, &row,
                      DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        }
        if (l.bar)
            PaintScrollBar(dc, l);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(window, nullptr, 1); return 0;
    case WM_SIZE: ScrollTo(window, d, d->top); InvalidateRect(window, nullptr, 1); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- Static text -------------------------------------------------------------------------------------------------

LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETTEXT: DefWindowProcA(window, message, wParam, lParam); InvalidateRect(window, nullptr, 1); return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT r;
        GetClientRect(window, &r);
        FillBox(dc, r, kFace);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        const std::string text = ZevGetWindowText(window);
        std::int32_t y = 0;
        for (std::size_t s = 0; s <= text.size();) {
            std::size_t e = text.find('\n', s);
            if (e == std::string::npos)
                e = text.size();
            RECT line{0, y, r.right, y + kLineHeight};
            const std::string part = text.substr(s, e - s);
            DrawTextA(dc, part.c_str(), static_cast<std::int32_t>(part.size()), &line,
                      DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            y += kLineHeight;
            s = e + 1;
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void Register(const char* name, WNDPROC proc, UINT style)
{
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

} // namespace

void ZevRegisterBuiltinClasses()
{
    Register("BUTTON", ButtonProc, 0);
    Register("EDIT", EditProc, 0);
    Register("LISTBOX", ListProc, 0x0008 /* double clicks */);
    Register("STATIC", StaticProc, 0);
    ZevRegisterDialogClasses();
}
