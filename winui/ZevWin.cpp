#include "ZevWin.h"

#include "ZevApplication.h"
#include "ZevGdi.h"

#include <string_view>
#include <vector>

TZevControl* WindowTable[WindowTableSize] = {};
std::int32_t WindowTableCursor = 0;

TZevClassRecord TZevControlClassRecord;
TZevClassRecord TZevVWinClassRecord;
TZevClassRecord TZevWinClassRecord;
TZevClassRecord TZevChildWinClassRecord;

namespace {

bool gClassRegistered = false;

void ClearSlot(TZevControl* control)
{
    const std::int32_t id = control->CommandId;
    if (id >= 0 && id < WindowTableSize && WindowTable[id] == control)
        WindowTable[id] = nullptr;
}

// The window children of a window, taken before any of them moves.
std::vector<TZevWin*> ChildWindows(TZevWin* window)
{
    std::vector<TZevWin*> list;
    for (TZevVTree* n = window->GetFirstChild(); n; n = n->GetNextSibling())
        if (auto* w = dynamic_cast<TZevWin*>(n))
            list.push_back(w);
    return list;
}

} // namespace

std::int32_t TakeWindowSlot(TZevControl* control)
{
    std::int32_t start = WindowTableCursor;
    if (start < 0 || start >= WindowTableSize)
        start = 0;
    // Upwards from the cursor, then once around from slot 0: a full table fails instead of searching forever.
    for (std::int32_t n = 0; n < WindowTableSize; ++n) {
        const std::int32_t slot = (start + n) % WindowTableSize;
        if (!WindowTable[slot]) {
            WindowTable[slot] = control;
            WindowTableCursor = slot + 1 > WindowTableSize - 1 ? 0 : slot + 1;
            return slot;
        }
    }
    return -1;
}

// ---- TZevControl -------------------------------------------------------------------------------------------------

TZevControl::~TZevControl() { ClearSlot(this); }

LRESULT TZevControl::OnCommand(std::uint32_t, WPARAM, LPARAM) { return 0; }

void TZevControl::AttachTo(TZevWin*) {}

bool TZevControl::AssignId()
{
    if (CommandId > 0)
        ClearSlot(this);
    CommandId = TakeWindowSlot(this);
    return CommandId >= 0;
}

// ---- TZevWin -----------------------------------------------------------------------------------------------------

TZevWin::TZevWin() { Controls = static_cast<TZevTree*>(CreateObjectByName("TZevTree")); }

TZevWin::~TZevWin()
{
    delete Controls;
    Controls = nullptr;
    // A window deleted while still on screen must never call back into this object.
    if (Handle && IsWindow(Handle) && GetWindowLongPtrA(Handle, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
        SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
        if (PrevWndProc)
            SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevWndProc));
        DestroyWindow(Handle);
    }
    ClearSlot(this);
}

bool TZevWin::IsClassRegistered() { return gClassRegistered; }

void TZevWin::RegisterClass()
{
    if (AppPrevInstance || IsClassRegistered())
        return;
    WNDCLASSA wc{};
    wc.style = 3;
    wc.lpfnWndProc = ZevWindowProc;
    wc.cbWndExtra = 4;
    wc.hInstance = AppInstance;
    wc.hbrBackground = GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "TZevWin";
    ::RegisterClassA(&wc);
    gClassRegistered = true;
}

void TZevWin::CreateWithParent(HWND) { Create(); }

void TZevWin::Create()
{
    RegisterClass();
    const char* name = GetClassRecordName() ? GetClassRecordName() : "TZevWin";
    if (CommandId == 0) {
        Handle = CreateWindowExA(WS_EX_APPWINDOW, "TZevWin", name, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                 nullptr, AppInstance, this);
        X = Y = 30000;
        Width = Height = 0;
        SetWindowPos(Handle, HWND_NOTOPMOST, 30000, 30000, 0, 0, SWP_NOZORDER);
        ShowWindow(Handle, SW_MINIMIZE);
        return;
    }
    X = Y = 100;
    Width = Height = 200;
    TZevWin* root = GetRootWindow();
    Handle = CreateWindowExA(WS_EX_CONTROLPARENT, "TZevWin", name,
                             WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 100, 100, 200, 200,
                             root ? root->Handle : nullptr, nullptr, AppInstance, this);
    Show();
}

void TZevWin::Show()
{
    ShowWindow(Handle, AppShowCommand);
    UpdateWindow(Handle);
}

void TZevWin::OnPaint(HDC) {}
void TZevWin::OnKeyDown(WPARAM) {}
void TZevWin::OnKeyUp(WPARAM) {}
void TZevWin::OnChar(WPARAM, LPARAM) {}
void TZevWin::OnSetText(const char*) {}
void TZevWin::OnShow() {}
void TZevWin::OnMouseDown(WPARAM, std::int32_t, std::int32_t) {}
void TZevWin::OnMouseMove(WPARAM, std::int32_t, std::int32_t) {}
void TZevWin::OnMouseUp(WPARAM, std::int32_t, std::int32_t) {}
void TZevWin::OnDestroy() {}
void TZevWin::OnCloseQuery(std::int32_t*) {}
void TZevWin::OnClose() {}
void TZevWin::OnCreate() {}
void TZevWin::OnActivate() {}
void TZevWin::OnSize() {}

LRESULT TZevWin::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return PrevWndProc ? CallWindowProcA(PrevWndProc, Handle, message, wParam, lParam) : 0;
}

LRESULT TZevWin::PassOn(UINT message, WPARAM wParam, LPARAM lParam)
{
    return PrevWndProc ? CallWindowProcA(PrevWndProc, Handle, message, wParam, lParam)
                       : DefWindowProcA(Handle, message, wParam, lParam);
}

LRESULT TZevWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: {
        Destroyed = 1;
        if (DestroyHandled)
            return 0;
        DestroyHandled = 1;
        OnDestroy();
        if (DestroyCallback.Fn)
            DestroyCallback.Fn(DestroyCallback.Arg);
        delete Controls;
        Controls = nullptr;
        for (TZevWin* child : ChildWindows(this))
            SendMessageA(child->Handle, WM_CLOSE, 0, 0);
        for (TZevWin* child : ChildWindows(this)) {
            if (!child->Destroyed) {
                child->Destroyed = 1;
                DestroyWindow(child->Handle);
            }
        }
        if (Application)
            Application->DeferredDeletes->AddChild(this);
        if (CommandId == 0)
            PostQuitMessage(0);
        else if (CommandId == 1)
            if (TZevWin* root = GetRootWindow())
                root->Destroy();
        return Default(message, wParam, lParam);
    }
    case WM_MOVE: return Default(message, wParam, lParam);
    case WM_SIZE: {
        RECT r;
        if (GetWindowRect(Handle, &r)) {
            Width = r.right - r.left;
            Height = r.bottom - r.top;
        }
        OnSize();
        if (SizeCallback.Fn)
            SizeCallback.Fn(SizeCallback.Arg);
        return Default(message, wParam, lParam);
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE) {
            OnActivate();
            if (ActivateCallback.Fn)
                ActivateCallback.Fn(ActivateCallback.Arg);
        }
        return Default(message, wParam, lParam);
    case WM_SETTEXT:
        OnSetText(reinterpret_cast<const char*>(lParam));
        return PassOn(message, wParam, lParam);
    case WM_PAINT:
        if (!PrevWndProc) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle, &ps);
            OnPaint(dc);
            if (PaintCallback.Fn)
                PaintCallback.Fn(PaintCallback.Arg, dc);
            EndPaint(Handle, &ps);
        } else {
            OnPaint(nullptr);
            if (PaintCallback.Fn)
                PaintCallback.Fn(PaintCallback.Arg, nullptr);
        }
        return Default(message, wParam, lParam);
    case WM_CLOSE:
        if (!CanClose())
            return 0;
        for (TZevWin* child : ChildWindows(this))
            SendMessageA(child->Handle, WM_CLOSE, 0, 0);
        OnClose();
        if (CloseCallback.Fn)
            CloseCallback.Fn(CloseCallback.Arg);
        return PassOn(message, wParam, lParam);
    case WM_SHOWWINDOW:
        OnShow();
        if (ShowCallback.Fn)
            ShowCallback.Fn(ShowCallback.Arg);
        return Default(message, wParam, lParam);
    case WM_KEYDOWN:
        OnKeyDown(wParam);
        if (KeyDownCallback.Fn)
            KeyDownCallback.Fn(KeyDownCallback.Arg, wParam);
        return Default(message, wParam, lParam);
    case WM_KEYUP:
        OnKeyUp(wParam);
        if (KeyUpCallback.Fn)
            KeyUpCallback.Fn(KeyUpCallback.Arg, wParam);
        return Default(message, wParam, lParam);
    case WM_CHAR:
        OnChar(wParam, lParam);
        if (CharCallback.Fn)
            CharCallback.Fn(CharCallback.Arg, wParam, lParam);
        return Default(message, wParam, lParam);
    case WM_COMMAND: {
        // An identifier whose slot is empty (its control is gone) has no target.
        if (TZevControl* control = WindowTable[LOWORD(wParam)])
            control->OnCommand(HIWORD(wParam), wParam, lParam);
        return Default(message, wParam, lParam);
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        // Client coordinates, as signed 16-bit halves of lParam.
        const std::int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        TZevWinCallback<TZevWinMouseFn>* cb = &MouseMoveCallback;
        if (message == WM_MOUSEMOVE) {
            OnMouseMove(wParam, x, y);
        } else if (message == WM_LBUTTONDOWN) {
            OnMouseDown(wParam, x, y);
            cb = &MouseDownCallback;
        } else {
            OnMouseUp(wParam, x, y);
            cb = &MouseUpCallback;
        }
        if (cb->Fn)
            cb->Fn(cb->Arg, wParam, x, y);
        return Default(message, wParam, lParam);
    }
    default: return PassOn(message, wParam, lParam);
    }
}

TZevWin* TZevWin::CreateChild(TZevWin** child, const char* className)
{
    TZevLSObj* object = CreateObjectByName(className);
    auto* window = dynamic_cast<TZevWin*>(object);
    if (!window) {
        delete object;
        if (child)
            *child = nullptr;
        return nullptr;
    }
    if (child)
        *child = window;
    if (!window->AssignId()) {
        if (child)
            *child = nullptr;
        delete window;
        return nullptr;
    }
    window->Application = Application;
    AddChild(window);
    window->CreateWithParent(Handle);
    return window;
}

void TZevWin::AddControl(TZevControl* control)
{
    if (!control)
        return;
    if (Controls)
        Controls->AddChild(control);
    control->AttachTo(this);
}

void TZevWin::SetBounds(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
{
    X = x, Y = y, Width = width, Height = height;
    SetWindowPos(Handle, HWND_NOTOPMOST, x, y, width, height, SWP_NOZORDER);
}

void TZevWin::SetSize(std::int32_t width, std::int32_t height)
{
    Width = width, Height = height;
    SetWindowPos(Handle, HWND_NOTOPMOST, X, Y, width, height, SWP_NOZORDER);
}

std::int32_t TZevWin::GetScreenLeft()
{
    RECT r{};
    GetWindowRect(Handle, &r);
    return r.left;
}

std::int32_t TZevWin::GetScreenTop()
{
    RECT r{};
    GetWindowRect(Handle, &r);
    return r.top;
}

void TZevWin::SetText(const char* text) { SetWindowTextA(Handle, text); }

TZevString TZevWin::GetText()
{
    const std::int32_t n = GetWindowTextLengthA(Handle) + 1;
    TZevString text;
    char* buffer = text.GetBuffer(n);
    GetWindowTextA(Handle, buffer, n);
    return text;
}

void TZevWin::Refresh()
{
    UpdateWindow(Handle);
    SendMessageA(Handle, WM_NCPAINT, 1, 0);
}

HDC TZevWin::GetDC() { return ::GetDC(Handle); }

void TZevWin::ReleaseDC(HDC dc) { ::ReleaseDC(Handle, dc); }

void TZevWin::Destroy()
{
    if (Destroyed)
        return;
    Destroyed = 1;
    DestroyWindow(Handle);
}

std::int32_t TZevWin::CanClose()
{
    if (CloseFlag)
        return 1;
    CloseFlag = 1;
    OnCloseQuery(&CloseFlag);
    if (!CloseFlag)
        return 0;
    if (CloseQueryCallback.Fn) {
        CloseQueryCallback.Fn(CloseQueryCallback.Arg, &CloseFlag);
        if (!CloseFlag)
            return 0;
    }
    for (TZevWin* child : ChildWindows(this)) {
        if (!child->CanClose()) {
            // Refused below: the next request must ask again.
            CloseFlag = 0;
            return 0;
        }
    }
    return 1;
}

void TZevWin::Close()
{
    if (!CanClose())
        return;
    const std::int32_t id = CommandId;
    SendMessageA(Handle, WM_CLOSE, 0, 0);
    if (id == 0 || id == 1)
        Destroy();
}

bool TZevWin::RemoveMenuBar()
{
    if (!Controls)
        return false;
    for (TZevVTree* n = Controls->GetFirstChild(); n; n = n->GetNextSibling()) {
        // Only a menu bar (a top-level menu, not a drop-down) is taken off the window.
        if (auto* control = dynamic_cast<TZevControl*>(n)) {
            const char* cls = control->GetClassRecordName();
            if (cls && std::string_view(cls) == "TZevMenu") {
                SetMenu(Handle, nullptr);
                delete control;
                return true;
            }
        }
    }
    return false;
}

LRESULT ZevWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* object = reinterpret_cast<TZevWin*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!object) {
        if (message != WM_CREATE)
            return DefWindowProcA(window, message, wParam, lParam);
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        object = cs ? static_cast<TZevWin*>(cs->lpCreateParams) : nullptr;
        if (!object)
            return DefWindowProcA(window, message, wParam, lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        object->Handle = window;
        object->OnCreate();
        if (object->CreateCallback.Fn)
            object->CreateCallback.Fn(object->CreateCallback.Arg);
    }
    return object->HandleMessage(message, wParam, lParam);
}

TZevPaintDC::TZevPaintDC(HWND window) : Window(window) { DC = BeginPaint(window, &Paint); }

TZevPaintDC::~TZevPaintDC() { End(); }

void TZevPaintDC::End()
{
    if (DC)
        EndPaint(Window, &Paint);
    DC = nullptr;
}

TZevWin* GetRootWindow() { return dynamic_cast<TZevWin*>(WindowTable[0]); }
