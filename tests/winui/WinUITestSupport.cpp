#include "WinUITestSupport.h"

#include <cctype>
#include <mutex>

namespace {
TZevClassRecord TRecordFormClassRecord;
TZevLSObj* CreateTRecordForm() { return ZevCreateRegistered<TRecordForm>(&TRecordFormClassRecord); }
} // namespace

void RegisterTestClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevWinUIInit();
        RegisterClassRecord(&TRecordFormClassRecord, "TRecordForm", "TZevWin", CreateTRecordForm);
    });
}

void Pump(TZevApplication* app)
{
    MSG msg;
    for (int i = 0; i < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (app)
        app->DeleteDeferred();
}

void WinUITest::SetUp()
{
    ZevPlatformInit(TZevBackendKind::Memory);
    RegisterTestClasses();
    App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
}

void WinUITest::TearDown()
{
    delete App;
    App = nullptr;
    ZevPlatformShutdown();
}

TRecordForm* WinUITest::NewForm()
{
    TZevWin* form = nullptr;
    EXPECT_TRUE(App->CreateForm(&form, "TRecordForm"));
    return static_cast<TRecordForm*>(form);
}

void WinUITest::Click(HWND window, std::int32_t x, std::int32_t y)
{
    POINT p{x, y};
    ClientToScreen(window, &p);
    ZevInputMouse(p.x, p.y, 1, true);
    ZevInputMouse(p.x, p.y, 1, false);
    Pump(App);
}

void WinUITest::Key(WPARAM vk, std::uint32_t character)
{
    ZevInputKey(vk, character, true);
    ZevInputKey(vk, 0, false);
    Pump(App);
}

void WinUITest::Type(const std::string& text)
{
    for (char c : text) {
        const WPARAM vk = std::isalpha(static_cast<unsigned char>(c)) ? static_cast<WPARAM>(std::toupper(c))
                                                                       : static_cast<WPARAM>(c);
        Key(vk, static_cast<unsigned char>(c));
    }
}
