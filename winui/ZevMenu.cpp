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

// A new entry of the class at the end of `menu`: its caption and a command identifier, then the menu's entry with
// `flags` and what `itemOf` gives of it; null, with nothing added, when no identifier is free.
template <class T, class ItemOf>
T* AppendEntry(TZevVMenu* menu, const char* className, const char* caption, UINT flags, ItemOf itemOf)
{
    auto* entry = static_cast<T*>(CreateObjectByName(className));
    if (!entry)
        return nullptr;
    entry->Caption = caption;
    if (!entry->AssignId()) {
        delete entry;
        return nullptr;
    }
    AppendMenuA(menu->MenuHandle, flags, itemOf(entry), caption);
    menu->AddChild(entry);
    return entry;
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
    return AppendEntry<TZevMenuItem>(this, "TZevMenuItem", caption, MF_STRING, [](TZevMenuItem* item) {
        return static_cast<std::uintptr_t>(item->CommandId);
    });
}

TZevPopupMenu* TZevVMenu::AddPopupMenu(const char* caption)
{
    return AppendEntry<TZevPopupMenu>(this, "TZevPopupMenu", caption, MF_POPUP, [](TZevPopupMenu* popup) {
        return reinterpret_cast<std::uintptr_t>(popup->MenuHandle);
    });
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
