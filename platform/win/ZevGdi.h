// 2D drawing in the manner of GDI, on memory surfaces: device contexts of windows (their client surface) and of
// memory (a selected DIB section), DIB sections of 8 (colour table), 24 and 32 bits, BitBlt between any of them,
// solid brushes, pens, fonts (through ZevFont) and text. What a window context draws reaches the screen when the
// context is released or the painting ends.
#pragma once

#include "ZevWinTypes.h"

#include <cstdint>

// DIB section: the pixel memory belongs to the section (freed by DeleteObject); *bits points to it. Rows are
// bottom-up for a positive height, top-down for a negative one, padded to 4 bytes. Depths 8, 24 and 32 without
// compression; null for anything else or for a size past ZevMaxDibSide.
constexpr std::int32_t ZevMaxDibSide = 1 << 15;
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, void* section, DWORD offset);
// The colour table of the 8-bit DIB section selected in a memory context; returns the entries set.
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Selects a bitmap, brush, pen or font; returns the object of that kind selected before.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Stock objects are never deleted; an object selected in a context is deleted when the context lets it go.
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int which);
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, std::int32_t width, COLORREF colour);
// Height in pixels (a negative height counts as its absolute value); the face name is a fontconfig family, null
// for the default.
HFONT CreateFontA(std::int32_t height, std::int32_t width, std::int32_t escapement, std::int32_t orientation,
                  std::int32_t weight, DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char* face);

BOOL BitBlt(HDC destination, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, HDC source,
            std::int32_t sourceX, std::int32_t sourceY, DWORD rop);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL Rectangle(HDC dc, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
BOOL MoveToEx(HDC dc, std::int32_t x, std::int32_t y, POINT* previous);
BOOL LineTo(HDC dc, std::int32_t x, std::int32_t y);
COLORREF SetPixel(HDC dc, std::int32_t x, std::int32_t y, COLORREF colour);
COLORREF GetPixel(HDC dc, std::int32_t x, std::int32_t y);
// UTF-8 text with its top-left corner at (x, y).
BOOL TextOutA(HDC dc, std::int32_t x, std::int32_t y, const char* text, std::int32_t length);
BOOL GetTextExtentPoint32A(HDC dc, const char* text, std::int32_t length, POINT* size);
// DT_SINGLELINE with DT_LEFT or DT_CENTER and DT_VCENTER; a length of -1 means up to the terminator.
int DrawTextA(HDC dc, const char* text, std::int32_t length, RECT* rect, UINT format);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
