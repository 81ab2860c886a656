#include "ZevApplication.h"

#include "ZevWin.h"

#include <unistd.h>

HINSTANCE AppInstance = nullptr;
HINSTANCE AppPrevInstance = nullptr;
const char* AppCommandLine = "";
std::int32_t AppShowCommand = SW_SHOWNORMAL;
TZevString AppDirectory;

TZevApplication::TZevApplication(HINSTANCE instance, HINSTANCE previous, const char* commandLine,
                                 std::int32_t showCommand)
{
    ZevWinUIInit();
    AppInstance = instance;
    AppPrevInstance = previous;
    AppCommandLine = commandLine ? commandLine : "";
    AppShowCommand = showCommand;
    WindowTableCursor = 0;
    char buffer[4096];
    AppDirectory = TZevString(getcwd(buffer, sizeof buffer) ? buffer : ".") + TZevString("/");
    LiveWindows = static_cast<TZevTree*>(CreateObjectByName("TZevTree"));
    DeferredDeletes = static_cast<TZevTree*>(CreateObjectByName("TZevTree"));
    TZevWin* root = nullptr;
    CreateForm(&root, "TZevWin");
}

TZevApplication::~TZevApplication()
{
    DeleteDeferred();
    while (TZevVTree* first = LiveWindows->GetFirstChild()) {
        auto* window = dynamic_cast<TZevWin*>(first);
        if (window && !window->Destroyed) {
            window->Destroyed = 1;
            DestroyWindow(window->Handle);
        }
        // A window whose destruction did not take it out of the tree would be met forever.
        if (LiveWindows->GetFirstChild() == first)
            DeferredDeletes->AddChild(first);
    }
    DeleteDeferred();
    delete LiveWindows;
    delete DeferredDeletes;
    LiveWindows = DeferredDeletes = nullptr;
}

bool TZevApplication::CreateForm(TZevWin** window, const char* className)
{
    TZevLSObj* object = CreateObjectByName(className);
    auto* form = dynamic_cast<TZevWin*>(object);
    if (window)
        *window = form;
    if (!form) {
        delete object;
        return false;
    }
    form->Application = this;
    form->CommandId = TakeWindowSlot(form);
    if (form->CommandId < 0) {
        if (window)
            *window = nullptr;
        delete form;
        return false;
    }
    TZevVTree* parent = form->CommandId == 0 ? LiveWindows : LiveWindows->GetFirstChild();
    (parent ? parent : LiveWindows)->AddChild(form);
    form->Create();
    return true;
}

std::int32_t TZevApplication::Run()
{
    MSG msg;
    for (;;) {
        if (IdleFunction) {
            IdleFunction(this);
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    DeleteDeferred();
                    return static_cast<std::int32_t>(msg.wParam);
                }
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            GetMessageA(&msg, nullptr, 0, 0);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (IdleFunction)
                IdleFunction(this);
            if (msg.message == WM_QUIT)
                return static_cast<std::int32_t>(msg.wParam);
        }
        DeleteDeferred();
    }
}

std::int32_t TZevApplication::ProcessMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Called from inside a handler: the loop that called that handler must still see the quit.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return static_cast<std::int32_t>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

void TZevApplication::DeleteDeferred()
{
    while (TZevVTree* first = DeferredDeletes->GetFirstChild())
        delete first;
}

void CloseRootWindow()
{
    if (TZevWin* root = GetRootWindow())
        root->Close();
}
