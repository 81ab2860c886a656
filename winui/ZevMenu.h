// Menu bars, drop-down menus and menu entries as controls: each takes a command identifier, so that WM_COMMAND of
// a chosen entry reaches the entry's OnCommand, which calls its handler. A window owns its bar through its
// controls tree; drop-downs and entries are tree children of their menu.
#pragma once

#include "ZevWin.h"

typedef void (*TZevMenuHandler)(void* arg);

class TZevMenuItem;
class TZevPopupMenu;

class TZevVMenu : public TZevControl {
public:
    // Takes the menu off its parent menu and destroys it.
    ~TZevVMenu() override;
    virtual void MenuHook() {}

    // A new entry at the end of this menu; null when no identifier is free.
    TZevMenuItem* AddMenuItem(const char* caption);
    // A new drop-down menu at the end of this menu; null when no identifier is free.
    TZevPopupMenu* AddPopupMenu(const char* caption);

    HMENU MenuHandle = nullptr;
};

class TZevMenu : public TZevVMenu {
public:
    TZevMenu();
    ~TZevMenu() override;
    // Takes an identifier and becomes the window's menu bar.
    void AttachTo(TZevWin* window) override;

    HWND AttachedWindow = nullptr;
};

class TZevPopupMenu : public TZevVMenu {
public:
    TZevPopupMenu();
    TZevString Caption;
};

class TZevMenuItem : public TZevControl {
public:
    // Takes the entry off its menu.
    ~TZevMenuItem() override;
    virtual void ItemHook() {}
    // The hook, then the handler with its argument when set.
    LRESULT OnCommand(std::uint32_t notifyCode, WPARAM wParam, LPARAM lParam) override;

    TZevString Caption;
    void* HandlerArg = nullptr;
    TZevMenuHandler Handler = nullptr;
};

// A new menu bar, made by class name.
TZevMenu* NewMenuBar();

extern TZevClassRecord TZevVMenuClassRecord;
extern TZevClassRecord TZevMenuClassRecord;
extern TZevClassRecord TZevPopupMenuClassRecord;
extern TZevClassRecord TZevMenuItemClassRecord;
