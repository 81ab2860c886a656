// Windows of the form library: every window, control and menu entry is a named tree node created by class name.
// A control owns a command identifier, its index in WindowTable, through which WM_COMMAND finds it. TZevWin binds an
// object to a window of the one window class "TZevWin"; ZevWindowProc hands each message to the object's
// HandleMessage, which turns it into virtual operations and optional callbacks.
//
// Ownership: windows are deleted through their application's deferred-deletion tree after WM_DESTROY, never inside
// their own message handling; a window owns its controls tree (menus) and, as tree children, its child windows.
#pragma once

#include "ZevTree.h"
#include "ZevWinApi.h"

#include <atomic>
#include <cstdint>

class TZevApplication;
class TZevWin;

constexpr std::int32_t WindowTableSize = 65536;
// The control of each command identifier; slot 0 holds the root window, slot 1 the main form.
extern class TZevControl* WindowTable[WindowTableSize];
// Where the next search for a free identifier starts.
extern std::int32_t WindowTableCursor;

// Takes the first free slot at or after the cursor, wrapping once to the slots before it; stores the control there
// and moves the cursor past it. -1 (nothing stored) when every slot is taken.
std::int32_t TakeWindowSlot(TZevControl* control);

class TZevControl : public TZevStringTree {
public:
    TZevControl() = default;
    // Frees its identifier's slot.
    ~TZevControl() override;

    // Handles WM_COMMAND addressed to this control's identifier; nothing in the base.
    virtual LRESULT OnCommand(std::uint32_t notifyCode, WPARAM wParam, LPARAM lParam);
    // Called when the control is added to a window; nothing in the base.
    virtual void AttachTo(TZevWin* window);

    // Gives the control the next free identifier (freeing the one it held when above 0). False, with the
    // identifier -1, when the table is full.
    bool AssignId();
    std::int32_t GetCommandId() const { return CommandId; }

    std::int32_t CommandId = -1;
};

class TZevVWin : public TZevControl {
public:
    HWND GetHandle() const { return Handle; }
    HWND Handle = nullptr;
};

typedef void (*TZevWinNotifyFn)(void* arg);
typedef void (*TZevWinPaintFn)(void* arg, HDC dc);
typedef void (*TZevWinKeyFn)(void* arg, WPARAM key);
typedef void (*TZevWinCharFn)(void* arg, WPARAM wParam, LPARAM lParam);
typedef void (*TZevWinTextFn)(void* arg, const char* text);
typedef void (*TZevWinMouseFn)(void* arg, WPARAM flags, std::int32_t x, std::int32_t y);
typedef void (*TZevWinCloseQueryFn)(void* arg, std::int32_t* closeFlag);

// A callback: called after the virtual operation, with its own argument first, when its function is set.
template <class F> struct TZevWinCallback {
    void* Arg = nullptr;
    F Fn = nullptr;
};

class TZevWin : public TZevVWin {
public:
    TZevWin();
    // Deletes its controls tree; a window still on screen is detached from this object and destroyed.
    ~TZevWin() override;

    virtual bool IsClassRegistered();
    virtual void RegisterClass();
    virtual void CreateWithParent(HWND parent);
    virtual void Create();
    virtual void Show();
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnPaint(HDC dc);
    virtual void OnKeyDown(WPARAM key);
    virtual void OnKeyUp(WPARAM key);
    virtual void OnChar(WPARAM wParam, LPARAM lParam);
    virtual void OnSetText(const char* text);
    virtual void OnShow();
    virtual void OnMouseDown(WPARAM flags, std::int32_t x, std::int32_t y);
    virtual void OnMouseMove(WPARAM flags, std::int32_t x, std::int32_t y);
    virtual void OnMouseUp(WPARAM flags, std::int32_t x, std::int32_t y);
    virtual void OnDestroy();
    virtual void OnCloseQuery(std::int32_t* closeFlag);
    virtual void OnClose();
    virtual void OnCreate();
    virtual void OnActivate();
    virtual void OnSize();

    // Creates a child window by class name: next free identifier, this window's application, added under this
    // window, then its CreateWithParent. The child is stored into `child` at once; null for an unknown class or
    // when no identifier is free.
    TZevWin* CreateChild(TZevWin** child, const char* className);
    // Adds a control (a menu bar) to this window's controls tree and attaches it.
    void AddControl(TZevControl* control);
    // Removes the menu bar from the window and deletes it; false when the controls tree holds no menu bar.
    bool RemoveMenuBar();
    void SetBounds(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    void SetSize(std::int32_t width, std::int32_t height);
    std::int32_t GetScreenLeft();
    std::int32_t GetScreenTop();
    std::int32_t GetWidth() const { return Width; }
    std::int32_t GetHeight() const { return Height; }
    void SetText(const char* text);
    TZevString GetText();
    void Refresh();
    HDC GetDC();
    void ReleaseDC(HDC dc);
    void Destroy();
    // Asks this window and its child windows whether it may close (see the close flag).
    std::int32_t CanClose();
    void Close();

    std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
    TZevTree* Controls = nullptr;
    std::int32_t CloseFlag = 0;
    std::uint8_t DestroyHandled = 0;
    std::uint8_t Destroyed = 0;
    WNDPROC PrevWndProc = nullptr;
    TZevApplication* Application = nullptr;

    TZevWinCallback<TZevWinPaintFn> PaintCallback;
    TZevWinCallback<TZevWinKeyFn> KeyDownCallback;
    TZevWinCallback<TZevWinKeyFn> KeyUpCallback;
    TZevWinCallback<TZevWinCharFn> CharCallback;
    TZevWinCallback<TZevWinTextFn> SetTextCallback;
    TZevWinCallback<TZevWinNotifyFn> ShowCallback;
    TZevWinCallback<TZevWinMouseFn> MouseDownCallback;
    TZevWinCallback<TZevWinMouseFn> MouseMoveCallback;
    TZevWinCallback<TZevWinMouseFn> MouseUpCallback;
    TZevWinCallback<TZevWinNotifyFn> DestroyCallback;
    TZevWinCallback<TZevWinCloseQueryFn> CloseQueryCallback;
    TZevWinCallback<TZevWinNotifyFn> CloseCallback;
    TZevWinCallback<TZevWinNotifyFn> CreateCallback;
    TZevWinCallback<TZevWinNotifyFn> ActivateCallback;
    TZevWinCallback<TZevWinNotifyFn> SizeCallback;

protected:
    // What HandleMessage does after its own work: the subclassed control's procedure, or 0 / DefWindowProcA.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT PassOn(UINT message, WPARAM wParam, LPARAM lParam);
};

class TZevChildWin : public TZevWin {};

// The procedure of the window class "TZevWin" and of subclassed controls.
LRESULT ZevWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// BeginPaint on construction, EndPaint with End (or on destruction).
class TZevPaintDC {
public:
    explicit TZevPaintDC(HWND window);
    ~TZevPaintDC();
    void End();
    HDC DC = nullptr;

private:
    HWND Window;
    PAINTSTRUCT Paint{};
};

// The window of slot 0 of WindowTable (the root window), or null.
TZevWin* GetRootWindow();

extern TZevClassRecord TZevControlClassRecord;
extern TZevClassRecord TZevVWinClassRecord;
extern TZevClassRecord TZevWinClassRecord;
extern TZevClassRecord TZevChildWinClassRecord;
