// Our window layer: windows by class name with a window procedure, per-thread message queues, posting across
// threads, painting, built-in controls ("BUTTON", "EDIT", "LISTBOX", "STATIC"), menus, modal dialogs and 2D
// drawing, with the Win32-like names the form library is written against. Backed by X11 on a display, or by an
// in-memory backend without one (tests): the window logic is the same in both.
//
// A window's messages are dispatched on the thread that created it; PostMessageA may be called from any thread
// and wakes a GetMessageA that waits. A handle that is not (or no longer) a window is refused by every call.
#pragma once

#include "ZevPng.h"
#include "ZevWinTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// ---- Backend ------------------------------------------------------------------------------------------------------
// None: X11 was asked for and no display opened; no backend was chosen.
enum class TZevBackendKind { Auto, Memory, X11, None };
// Chooses the backend before the first window: X11 on the display $DISPLAY names (a few attempts), Memory in
// memory (for tests), Auto the one or else the other. Returns the kind in use. Called implicitly (Auto) by the
// first call that needs it; a program that shows its windows asks for X11 and ends when it gets None. Once a
// display is open, losing it ends the process at once with exit code 1 and a line on standard error.
TZevBackendKind ZevPlatformInit(TZevBackendKind kind);
TZevBackendKind ZevPlatformKind();
// Destroys every remaining window, drops every queue and closes the display; a later call may start again.
void ZevPlatformShutdown();

// ---- Window classes and windows ----------------------------------------------------------------------------------
struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    std::int32_t cbClsExtra;
    std::int32_t cbWndExtra;
    HINSTANCE hInstance;
    void* hIcon;
    void* hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

// Registers a window class (names compare without regard to case); 0 when the name is taken or missing.
std::uint16_t RegisterClassA(const WNDCLASSA* wc);
// The creation parameter arrives in WM_CREATE's CREATESTRUCTA. For a child window (WS_CHILD) `menu` is its control
// identifier. Null for an unknown class, a stale parent, or when WM_CREATE answers -1.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* text, DWORD style, std::int32_t x,
                     std::int32_t y, std::int32_t width, std::int32_t height, HWND parent, HMENU menu,
                     HINSTANCE instance, void* param);
// Owned windows are destroyed first; then the window gets WM_DESTROY, then its children (each once), then
// WM_NCDESTROY; the handle is stale afterwards.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
BOOL UpdateWindow(HWND window);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
// Position and size of the outer window (a top-level window's caption and menu bar included); a child is placed in
// its parent's client coordinates.
BOOL SetWindowPos(HWND window, HWND after, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                  UINT flags);
BOOL MoveWindow(HWND window, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, BOOL repaint);
// Outer rectangle in screen coordinates.
BOOL GetWindowRect(HWND window, RECT* rect);
// (0, 0, client width, client height).
BOOL GetClientRect(HWND window, RECT* rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL SetWindowTextA(HWND window, const char* text);
// Copies at most max - 1 bytes and a terminator; returns the bytes copied.
std::int32_t GetWindowTextA(HWND window, char* buffer, std::int32_t max);
std::int32_t GetWindowTextLengthA(HWND window);
// The whole text (for our own callers).
std::string ZevGetWindowText(HWND window);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
HWND GetParent(HWND window);
// The child with the given control identifier.
HWND GetDlgItem(HWND window, std::int32_t id);
HWND SetFocus(HWND window);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND window);
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
// The cursor position in screen coordinates (the last position our windows saw).
BOOL GetCursorPos(POINT* point);

// ---- Messages ----------------------------------------------------------------------------------------------------
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once on the window's own thread; from another thread it waits for that thread to
// handle it. 0 for a stale handle.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues the message for the window's thread (a null window: the calling thread's queue); wakes its GetMessageA.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the calling thread (no window).
BOOL PostThreadQuit(int exitCode);
void PostQuitMessage(int exitCode);
// Waits for the next message of the calling thread (sent messages from other threads are handled while waiting):
// posted and input messages first, then WM_QUIT when one was asked for, then WM_PAINT of windows with an invalid
// area. Returns 0 for WM_QUIT, 1 otherwise.
BOOL GetMessageA(MSG* msg, HWND window, UINT first, UINT last);
// The same without waiting: 0 when nothing is there.
BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
// Posts WM_CHAR for a WM_KEYDOWN that produced a character.
BOOL TranslateMessage(const MSG* msg);
// Calls the window procedure of the message's window; nothing for a stale window.
LRESULT DispatchMessageA(const MSG* msg);
// Waits at most `milliseconds` for a message or an event of the calling thread's queue (for pumps with a time-out).
void ZevWaitForMessages(std::int32_t milliseconds);

// ---- Painting ----------------------------------------------------------------------------------------------------
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HDC GetDC(HWND window); // null window: a screen-compatible context
int ReleaseDC(HWND window, HDC dc);

// ---- Menus -------------------------------------------------------------------------------------------------------
HMENU CreateMenu();
HMENU CreatePopupMenu();
// MF_STRING: `idOrPopup` is the entry's command identifier; MF_POPUP: the popup's handle.
BOOL AppendMenuA(HMENU menu, UINT flags, std::uintptr_t idOrPopup, const char* caption);
// MF_BYCOMMAND: the entry or popup whose identifier or handle is `item`, searched through popups too.
BOOL RemoveMenu(HMENU menu, UINT item, UINT flags);
BOOL ZevRemoveMenuHandle(HMENU menu, HMENU popup);
BOOL DestroyMenu(HMENU menu);
BOOL SetMenu(HWND window, HMENU menu);
HMENU GetMenu(HWND window);
BOOL DrawMenuBar(HWND window);
DWORD CheckMenuItem(HMENU menu, UINT id, UINT flags);
BOOL IsMenu(HMENU menu);
// The captions of a menu's entries in order (popups too), for tests and for drawing.
int ZevGetMenuItemCount(HMENU menu);
std::string ZevGetMenuItemText(HMENU menu, int position);

// ---- Dialogs -----------------------------------------------------------------------------------------------------
// Modal: the owner is disabled while the dialog runs its own message loop. A WM_QUIT met there ends the dialog
// (as cancelled) and is posted again for the outer loop.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
// The open and save dialogs of our own: a folder's entries that match the current filter, folders to walk into,
// a name field. 1 with the path in lpstrFile when a file was chosen; 0 when cancelled (lpstrFile[0] = 0).
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);
// Called with each modal dialog window right after it is shown (tests drive dialogs through it); null to clear.
typedef void (*TZevModalHook)(HWND dialog, void* user);
void ZevSetModalHook(TZevModalHook hook, void* user);
// Control identifiers in our dialogs.
constexpr std::int32_t ZevDialogListId = 100;
constexpr std::int32_t ZevDialogNameId = 101;
constexpr std::int32_t ZevDialogFolderId = 102;
constexpr std::int32_t ZevDialogFilterId = 103;

// ---- Input (the backend's events; tests of the in-memory backend call them as a person's input) ---------------------
// A press or release of a key with its virtual-key code and the character it types (0 for none); goes to the
// focused window of the active top-level window.
void ZevInputKey(WPARAM virtualKey, std::uint32_t character, bool down);
// A mouse event at a screen position: button 0 for a move, 1 left, 3 right, 4 and 5 a notch of the wheel up and
// down (on the press); routed to the window under it (or to the window holding the capture): caption close box,
// menu bar, or a client area in client coordinates (WM_MOUSEWHEEL carries the screen position).
void ZevInputMouse(std::int32_t screenX, std::int32_t screenY, int button, bool down);
// The close request of the window manager (or our caption's close box): WM_CLOSE.
void ZevInputClose(HWND window);

// ---- Clipboard ---------------------------------------------------------------------------------------------------
void ZevSetClipboardText(const std::string& text);
std::string ZevGetClipboardText();

// ---- Reading back what is shown (tests) --------------------------------------------------------------------------
// The client area's pixels (0x00RRGGBB, rows top-down) as drawn so far; false for a stale handle.
bool ZevReadClientPixels(HWND window, std::int32_t* width, std::int32_t* height, std::uint32_t* out,
                         std::size_t capacity);
// The whole screen of the X display (false in the in-memory backend).
bool ZevCaptureScreen(std::int32_t* width, std::int32_t* height, std::uint32_t** pixels);
void ZevFreeCapture(std::uint32_t* pixels);
// Waits until the X server has handled every request and every event it sent is in our queues.
void ZevSync();
// Screenshots are written with ZevWritePng (ZevPng.h).

// ---- Shell -------------------------------------------------------------------------------------------------------
// Opens a document with the desktop's default program (xdg-open); false when the file is missing or the opener
// could not be started or failed, with the reason in `why` when it is given.
bool ZevShellOpen(const char* file, const char* parameters, std::string* why = nullptr);
