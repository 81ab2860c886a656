// Shared by the window framework's tests: an application on the in-memory backend (or on an Xvfb display of the
// test's own), a test form that records the messages its handlers see, and pumping helpers.
#ifndef WINUI_TEST_SUPPORT_H
#define WINUI_TEST_SUPPORT_H

#include "ZevApplication.h"
#include "ZevControls.h"
#include "ZevMenu.h"
#include "ZevWin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Records every handler call as a line: "create", "size", "paint", "keydown 65", "char 97", "keyup 65",
// "mousedown 12 34", "command", "closequery", "close", "destroy".
class TRecordForm : public TZevWin {
public:
    void OnCreate() override { Log.push_back("create"); }
    void OnSize() override { Log.push_back("size"); }
    void OnPaint(HDC) override { Log.push_back("paint"); }
    void OnKeyDown(WPARAM key) override { Log.push_back("keydown " + std::to_string(key)); }
    void OnKeyUp(WPARAM key) override { Log.push_back("keyup " + std::to_string(key)); }
    void OnChar(WPARAM c, LPARAM) override { Log.push_back("char " + std::to_string(c)); }
    void OnMouseDown(WPARAM, std::int32_t x, std::int32_t y) override
    {
        Log.push_back("mousedown " + std::to_string(x) + " " + std::to_string(y));
    }
    void OnMouseUp(WPARAM, std::int32_t x, std::int32_t y) override
    {
        Log.push_back("mouseup " + std::to_string(x) + " " + std::to_string(y));
    }
    void OnCloseQuery(std::int32_t* flag) override
    {
        Log.push_back("closequery");
        if (RefuseClose)
            *flag = 0;
    }
    void OnClose() override { Log.push_back("close"); }
    void OnDestroy() override
    {
        Log.push_back("destroy");
        if (Destroyed_)
            *Destroyed_ = true;
    }
    ~TRecordForm() override
    {
        if (Deleted)
            *Deleted = true;
        if (KeepLog)
            *KeepLog = Log;
    }
    // Only the lines starting with one of the given words, in order.
    std::vector<std::string> Only(std::initializer_list<const char*> words) const
    {
        std::vector<std::string> out;
        for (const auto& l : Log)
            for (const char* w : words)
                if (l.rfind(w, 0) == 0) {
                    out.push_back(l);
                    break;
                }
        return out;
    }

    std::vector<std::string> Log;
    bool RefuseClose = false;
    bool* Deleted = nullptr;
    bool* Destroyed_ = nullptr;
    std::vector<std::string>* KeepLog = nullptr; // receives the log when the form is deleted
};

void RegisterTestClasses();

// Handles every waiting message (and deletes destroyed windows) without blocking.
void Pump(TZevApplication* app);

class WinUITest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TRecordForm* NewForm();
    // A click of the left button at a client position of a window.
    void Click(HWND window, std::int32_t x, std::int32_t y);
    // Types text (ASCII) into the focused window, key by key, as a keyboard would.
    void Type(const std::string& text);
    void Key(WPARAM vk, std::uint32_t character);

    TZevApplication* App = nullptr;
};

#endif
