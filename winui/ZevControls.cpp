#include "ZevControls.h"

#include "ZevApplication.h"

TZevClassRecord TZevButtonClassRecord;
TZevClassRecord TZevEditClassRecord;
TZevClassRecord TZevMemoClassRecord;
TZevClassRecord TZevPanelClassRecord;
TZevClassRecord TZevNFPanelClassRecord;

namespace {

// The common steps of every control: the window of the row's class and styles, text "Testing", shown.
void CreateControl(TZevWin* control, HWND parent, DWORD exStyle, const char* windowClass, DWORD style,
                   std::int32_t width, std::int32_t height)
{
    control->RegisterClass();
    const char* name = control->GetClassRecordName() ? control->GetClassRecordName() : windowClass;
    control->Handle =
        CreateWindowExA(exStyle, windowClass, name, style, 10, 10, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(control->CommandId)), AppInstance,
                        control);
    control->X = control->Y = 10;
    control->Width = width;
    control->Height = height;
    SetWindowTextA(control->Handle, "Testing");
}

std::int32_t FileDialog(bool save, HWND owner, HINSTANCE instance, char* file, const char* initialDir,
                        const char* filter)
{
    if (!file)
        return 0;
    file[0] = 0;
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = instance;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = 256;
    ofn.nMaxFileTitle = 256;
    ofn.lpstrInitialDir = initialDir;
    ofn.lpstrTitle = save ? "Save" : "Open";
    ofn.Flags = OFN_EXPLORER;
    ofn.lpstrDefExt = "txt";
    return save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
}

} // namespace

void TZevButton::CreateWithParent(HWND parent)
{
    CreateControl(this, parent, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, "BUTTON", WS_CHILD | WS_VISIBLE, 100, 100);
    Show();
}

LRESULT TZevButton::OnCommand(std::uint32_t, WPARAM, LPARAM)
{
    if (ClickHandler)
        ClickHandler(ClickArg);
    return 0;
}

void TZevEdit::CreateWithParent(HWND parent)
{
    CreateControl(this, parent, WS_EX_CLIENTEDGE, "EDIT", WS_CHILD | WS_VISIBLE | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                  100, 20);
    Show();
}

void TZevMemo::CreateWithParent(HWND parent)
{
    CreateControl(this, parent, WS_EX_CLIENTEDGE, "Edit",
                  WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                  100, 100);
    // Subclassed: every message reaches HandleMessage first, then the edit field's own procedure.
    PrevWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(Handle, GWLP_WNDPROC));
    SetWindowLongPtrA(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ZevWindowProc));
    Show();
}

void TZevPanel::CreateWithParent(HWND parent)
{
    CreateControl(this, parent, WS_EX_DLGMODALFRAME, "TZevWin", WS_CHILD | WS_VISIBLE, 100, 20);
    Show();
}

void TZevNFPanel::CreateWithParent(HWND parent)
{
    CreateControl(this, parent, WS_EX_WINDOWEDGE, "TZevWin", WS_CHILD | WS_VISIBLE, 100, 20);
    Show();
}

std::int32_t ShowOpenFileDialog(HWND owner, HINSTANCE instance, char* file, const char* filter)
{
    return FileDialog(false, owner, instance, file, nullptr, filter);
}

std::int32_t ShowOpenFileDialog(HWND owner, HINSTANCE instance, char* file, const char* initialDir,
                                const char* filter)
{
    return FileDialog(false, owner, instance, file, initialDir, filter);
}

std::int32_t ShowSaveFileDialog(HWND owner, HINSTANCE instance, char* file, const char* filter)
{
    return FileDialog(true, owner, instance, file, nullptr, filter);
}

std::int32_t ShowSaveFileDialog(HWND owner, HINSTANCE instance, char* file, const char* initialDir,
                                const char* filter)
{
    return FileDialog(true, owner, instance, file, initialDir, filter);
}
