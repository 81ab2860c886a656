#include "ZevMenu.h"

TZevClassRecord TZevVMenuClassRecord;
TZevClassRecord TZevMenuClassRecord;
TZevClassRecord TZevPopupMenuClassRecord;
TZevClassRecord TZevMenuItemClassRecord;

namespace {

HMENU ParentMenuHandle(TZevVTree* node)
{
    auto* menu = dynamic_cast<TZevVMenu*>(node ? node->GetParent() : nullptr);
    return menu ? menu->MenuHandle : nullptr;
}

} // namespace

TZevVMenu::~TZevVMenu()
{
    if (MenuHandle) {
        if (HMENU parent = ParentMenuHandle(this))
            ZevRemoveMenuHandle(parent, MenuHandle);
        DestroyMenu(MenuHandle);
        MenuHandle = nullptr;
    }
}

TZevMenuItem* TZevVMenu::AddMenuItem(const char* caption)
{
    auto* item = static_cast<TZevMenuItem*>(CreateObjectByName("TZevMenuItem"));
    if (!item)
        return nullptr;
    item->Caption = caption;
    if (!item->AssignId()) {
        delete item;
        return nullptr;
    }
    AppendMenuA(MenuHandle, MF_STRING, static_cast<std::uintptr_t>(item->CommandId), caption);
    AddChild(item);
    return item;
}

TZevPopupMenu* TZevVMenu::AddPopupMenu(const char* caption)
{
    auto* popup = static_cast<TZevPopupMenu*>(CreateObjectByName("TZevPopupMenu"));
    if (!popup)
        return nullptr;
    popup->Caption = caption;
    if (!popup->AssignId()) {
        delete popup;
        return nullptr;
    }
    AppendMenuA(MenuHandle, MF_POPUP, reinterpret_cast<std::uintptr_t>(popup->MenuHandle), caption);
    AddChild(popup);
    return popup;
}

TZevMenu::TZevMenu() { MenuHandle = CreateMenu(); }

TZevMenu::~TZevMenu()
{
    // A window that still shows this bar loses it.
    if (AttachedWindow && GetMenu(AttachedWindow) == MenuHandle)
        SetMenu(AttachedWindow, nullptr);
}

void TZevMenu::AttachTo(TZevWin* window)
{
    AssignId();
    AttachedWindow = window->Handle;
    SetMenu(window->Handle, MenuHandle);
    DrawMenuBar(window->Handle);
}

TZevPopupMenu::TZevPopupMenu() { MenuHandle = CreatePopupMenu(); }

TZevMenuItem::~TZevMenuItem()
{
    if (HMENU parent = ParentMenuHandle(this))
        RemoveMenu(parent, static_cast<UINT>(CommandId), MF_BYCOMMAND);
}

LRESULT TZevMenuItem::OnCommand(std::uint32_t, WPARAM, LPARAM)
{
    ItemHook();
    if (Handler)
        Handler(HandlerArg);
    return 0;
}

TZevMenu* NewMenuBar() { return static_cast<TZevMenu*>(CreateObjectByName("TZevMenu")); }
