// Fixture of the test-window tests: the engine and the window framework on the in-memory backend, an application
// whose main form is a plain window (identifier 1), the demo's test windows registered, and helpers that click,
// type and choose menu entries as a user would.
#pragma once

#include "ZevApplication.h"
#include "ZevControls.h"
#include "ZevDemoExtras.h"
#include "QEInit.h"
#include "ZevMenu.h"
#include "ZevWin.h"
#include "ZevWinApi.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevPlatformInit(TZevBackendKind::Memory);
        ZevEngineInit();
        ZevWinUIInit();
        ZevDemoExtrasInit();
        App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
        TZevWin* main = nullptr;
        ASSERT_TRUE(App->CreateForm(&main, "TZevWin"));
        Main = main;
    }
    void TearDown() override
    {
        Pump();
        delete App;
        App = nullptr;
        ZevPlatformShutdown();
    }

    // Handles every waiting message, then deletes the destroyed windows. A quit message is noted.
    void Pump()
    {
        MSG msg;
        for (int i = 0; i < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (msg.message == WM_QUIT) {
                QuitPosted = true;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        App->DeleteDeferred();
    }
    // Runs the application's idle function once, as the message loop does when one is set.
    void Idle()
    {
        if (App->IdleFunction)
            App->IdleFunction(App);
        Pump();
    }
    // A click of the left button in the middle of a window (a button).
    void Click(TZevWin* window)
    {
        ASSERT_NE(window, nullptr);
        POINT p{window->GetWidth() / 2, window->GetHeight() / 2};
        ClientToScreen(window->Handle, &p);
        ZevInputMouse(p.x, p.y, 1, true);
        ZevInputMouse(p.x, p.y, 1, false);
        Pump();
    }
    // Chooses the entry of a menu by its caption, as the menu does: WM_COMMAND with its identifier.
    void Choose(TZevWin* window, TZevMenuItem* const* items, int count, const char* caption)
    {
        for (int i = 0; i < count; ++i)
            if (items[i] && std::string(items[i]->Caption.CStr()) == caption) {
                SendMessageA(window->Handle, WM_COMMAND, static_cast<WPARAM>(items[i]->CommandId), 0);
                Pump();
                return;
            }
        ADD_FAILURE() << "no entry " << caption;
    }
    // Types text into a window (it takes the focus first), key by key.
    void Type(TZevWin* window, const std::string& text)
    {
        SetFocus(window->Handle);
        for (char c : text) {
            const auto u = static_cast<unsigned char>(c);
            const WPARAM vk = std::isalpha(u) ? static_cast<WPARAM>(std::toupper(u)) : static_cast<WPARAM>(u);
            ZevInputKey(vk, u, true);
            ZevInputKey(vk, 0, false);
            Pump();
        }
    }
    static std::string Text(TZevWin* window)
    {
        const TZevString text = window->GetText();
        return text.CStr() ? text.CStr() : "";
    }

    TZevApplication* App = nullptr;
    TZevWin* Main = nullptr;
    bool QuitPosted = false;
};
