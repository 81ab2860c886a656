// The handle and message vocabulary of our window layer: the Win32-like names and numbers that the form library
// speaks, defined here for Linux. Handles are opaque numbers of our own; a stale handle is refused, never followed.
#pragma once

#include <cstdint>

struct ZevWindowHandle_;
struct ZevMenuHandle_;
struct ZevDCHandle_;
struct ZevGdiHandle_;

typedef ZevWindowHandle_* HWND;
typedef ZevMenuHandle_* HMENU;
typedef ZevDCHandle_* HDC;
typedef ZevGdiHandle_* HGDIOBJ;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HFONT;
typedef void* HINSTANCE;

typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;
typedef std::intptr_t LONG_PTR;
typedef unsigned int UINT;
typedef std::uint32_t DWORD;
typedef std::uint32_t COLORREF; // 0x00BBGGRR
typedef int BOOL;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
    std::int32_t x;
    std::int32_t y;
};

struct RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// A queued message. `character` carries the text a key produced (a Unicode code point, 0 for none), which
// TranslateMessage turns into WM_CHAR.
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
    std::uint32_t character;
};

// Passed with WM_CREATE (lParam points to it).
struct CREATESTRUCTA {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    std::int32_t cy;
    std::int32_t cx;
    std::int32_t y;
    std::int32_t x;
    std::int32_t style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};

inline constexpr std::uint16_t LOWORD(std::uintptr_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
inline constexpr std::uint16_t HIWORD(std::uintptr_t v) { return static_cast<std::uint16_t>((v >> 16) & 0xFFFF); }
inline constexpr WPARAM MAKEWPARAM(std::uint16_t lo, std::uint16_t hi)
{
    return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16);
}
// Mouse positions travel as two signed 16-bit halves.
inline constexpr LPARAM MAKELPARAM(std::int32_t lo, std::int32_t hi)
{
    return static_cast<LPARAM>(static_cast<std::int32_t>((static_cast<std::uint32_t>(lo) & 0xFFFFu) |
                                                         (static_cast<std::uint32_t>(hi) << 16)));
}
inline constexpr std::int32_t GET_X_LPARAM(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
inline constexpr std::int32_t GET_Y_LPARAM(LPARAM l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }
inline constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// ---- Messages ---------------------------------------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_USER = 0x0400;

// Edit control messages and notifications.
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_SCROLLCARET = 0x00B7;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EN_CHANGE = 0x0300;
// Button notification.
constexpr UINT BN_CLICKED = 0;
// List box messages and notifications.
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr LRESULT LB_ERR = -1;

// WM_ACTIVATE
constexpr UINT WA_INACTIVE = 0;
constexpr UINT WA_ACTIVE = 1;
// WM_SIZE
constexpr WPARAM SIZE_RESTORED = 0;
// Mouse key flags.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;

// ---- Virtual-key codes (the engine's own key codes) -------------------------------------------------------------
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SHIFT = 0x10;
constexpr WPARAM VK_CONTROL = 0x11;
constexpr WPARAM VK_MENU = 0x12;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;
constexpr WPARAM VK_NEXT = 0x22;
constexpr WPARAM VK_END = 0x23;
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_INSERT = 0x2D;
constexpr WPARAM VK_DELETE = 0x2E;
constexpr WPARAM VK_NUMPAD0 = 0x60;
constexpr WPARAM VK_F1 = 0x70;

// ---- Styles ------------------------------------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTROLPARENT = 0x00010000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOW = 5;
// SetWindowPos
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
// GetWindowLongPtr / SetWindowLongPtr
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_USERDATA = -21;
constexpr int GWLP_ID = -12;
// PeekMessage
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

// Menus
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_BYPOSITION = 0x0400;

// MessageBox
constexpr UINT MB_OK = 0;
constexpr UINT MB_OKCANCEL = 1;
constexpr UINT MB_YESNO = 4;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// GDI
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD BI_RGB = 0;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr int PS_SOLID = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_SINGLELINE = 0x0020;

#pragma pack(push, 1)
// The 40-byte bitmap information header, as stored in BMP files.
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
// The 14-byte file header of a BMP file.
struct BITMAPFILEHEADER {
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(BITMAPFILEHEADER) == 14);

struct RGBQUAD {
    std::uint8_t rgbBlue;
    std::uint8_t rgbGreen;
    std::uint8_t rgbRed;
    std::uint8_t rgbReserved;
};

// A header followed by its colour table (256 entries for 8 bits per pixel, none otherwise).
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// The open and save dialogs: filter pairs (description, pattern) each ended by a zero byte, the list ended by a
// second zero; the chosen path is written into lpstrFile (nMaxFile bytes with its terminator).
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    const char* lpstrFilter;
    char* lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    char* lpstrFile;
    DWORD nMaxFile;
    char* lpstrFileTitle;
    DWORD nMaxFileTitle;
    const char* lpstrInitialDir;
    const char* lpstrTitle;
    DWORD Flags;
    std::uint16_t nFileOffset;
    std::uint16_t nFileExtension;
    const char* lpstrDefExt;
};
constexpr DWORD OFN_EXPLORER = 0x00080000;
