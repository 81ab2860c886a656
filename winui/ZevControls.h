// The child-window classes of the form library: push button, single-line edit field, multi-line memo (subclassed,
// so its keys also pass through the object's handler), and two kinds of panel of the program's own window class.
// And the open and save file dialogs.
#pragma once

#include "ZevWin.h"

typedef void (*TZevClickHandler)(void* arg);

class TZevButton : public TZevChildWin {
public:
    void CreateWithParent(HWND parent) override;
    void Create() override {}
    LRESULT OnCommand(std::uint32_t notifyCode, WPARAM wParam, LPARAM lParam) override;

    void* ClickArg = nullptr;
    TZevClickHandler ClickHandler = nullptr;
};

class TZevEdit : public TZevChildWin {
public:
    void CreateWithParent(HWND parent) override;
    void Create() override {}
};

class TZevMemo : public TZevChildWin {
public:
    void CreateWithParent(HWND parent) override;
    void Create() override {}
};

class TZevPanel : public TZevChildWin {
public:
    void CreateWithParent(HWND parent) override;
    void Create() override {}
};

class TZevNFPanel : public TZevChildWin {
public:
    void CreateWithParent(HWND parent) override;
    void Create() override {}
};

// The file buffer must hold 256 characters. 1 when a file was chosen (its full path in the buffer), otherwise 0
// with the buffer's first character 0. The filter is pairs of zero-terminated texts ended by an empty one.
std::int32_t ShowOpenFileDialog(HWND owner, HINSTANCE instance, char* file, const char* filter);
std::int32_t ShowOpenFileDialog(HWND owner, HINSTANCE instance, char* file, const char* initialDir,
                                const char* filter);
std::int32_t ShowSaveFileDialog(HWND owner, HINSTANCE instance, char* file, const char* filter);
std::int32_t ShowSaveFileDialog(HWND owner, HINSTANCE instance, char* file, const char* initialDir,
                                const char* filter);

extern TZevClassRecord TZevButtonClassRecord;
extern TZevClassRecord TZevEditClassRecord;
extern TZevClassRecord TZevMemoClassRecord;
extern TZevClassRecord TZevPanelClassRecord;
extern TZevClassRecord TZevNFPanelClassRecord;
