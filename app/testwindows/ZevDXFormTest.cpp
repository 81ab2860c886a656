#include "ZevDXFormTest.h"

#include "GlobalLock.h"
#include "ZevApplication.h"

TZevClassRecord TZevDXFormTestClassRecord;

TZevLSObj* CreateTZevDXFormTest() { return ZevCreateRegistered<TZevDXFormTest>(&TZevDXFormTestClassRecord); }

namespace {

TZevDXFormTest* FormOf(void* arg) { return static_cast<TZevDXFormTest*>(arg); }

void OnPanelMouseDown(void* arg, WPARAM, std::int32_t x, std::int32_t y) { FormOf(arg)->Mouse(0, x, y); }
void OnPanelMouseMove(void* arg, WPARAM, std::int32_t x, std::int32_t y) { FormOf(arg)->Mouse(1, x, y); }
void OnPanelMouseUp(void* arg, WPARAM, std::int32_t x, std::int32_t y) { FormOf(arg)->Mouse(2, x, y); }
void OnPanelKeyDown(void* arg, WPARAM key) { FormOf(arg)->Key(key, 1); }
void OnPanelKeyUp(void* arg, WPARAM key) { FormOf(arg)->Key(key, 0); }

} // namespace

TZevDXFormTest::~TZevDXFormTest() { Stop(); }

void TZevDXFormTest::OnCreate()
{
    Running = 0;
    TZevDX7Form::OnCreate();
    for (std::uint8_t& k : KeyTable)
        k = 0;
    if (Panel != nullptr) {
        Panel->MouseDownCallback = {this, OnPanelMouseDown};
        Panel->MouseMoveCallback = {this, OnPanelMouseMove};
        Panel->MouseUpCallback = {this, OnPanelMouseUp};
        Panel->KeyDownCallback = {this, OnPanelKeyDown};
        Panel->KeyUpCallback = {this, OnPanelKeyUp};
    }
}

LRESULT TZevDXFormTest::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The window layer closes the child windows before OnClose runs.
    if (message == WM_CLOSE && CanClose())
        Stop();
    return TZevDX7Form::HandleMessage(message, wParam, lParam);
}

void TZevDXFormTest::Key(WPARAM key, std::uint8_t down)
{
    TZevCriticalSectionLock lock(&GlobalLock, true);
    KeyTable[key & 0xFF] = down;
}

void TZevDXFormTest::OnKeyDown(WPARAM key) { Key(key, 1); }

void TZevDXFormTest::OnKeyUp(WPARAM key) { Key(key, 0); }

void TZevDXFormTest::Mouse(int kind, std::int32_t x, std::int32_t y)
{
    if (Thread.Owner.load() == nullptr)
        return;
    TZevCriticalSectionLock lock(&GlobalLock, true);
    TZevCollisionTestScene& scene = Runner.Scene;
    if (kind == 0)
        scene.MouseDown(x, y);
    else if (kind == 1)
        scene.MouseMove(x, y);
    else
        scene.MouseUp(x, y);
}

void TZevDXFormTest::Start()
{
    Stop();
    SetSize(650, 510);
    SetClientSize(640, 480);
    Runner.Setup(Panel != nullptr ? &Panel->Renderer : nullptr, KeyTable);
    Thread.Owner = &Runner;
    Running = 1;
    Thread.Start();
}

void TZevDXFormTest::Stop()
{
    Running = 0;
    // Joined without taking the program-wide lock: the thread may need it to finish its frame.
    Thread.Stop();
    ZevForgetHandOver(&Thread);
    // A form stopped before it ever ran still has its runner set up by nobody; one that ran was shut down by the
    // thread itself.
    Runner.Shutdown();
}

void TZevDXFormTest::OnDestroy()
{
    Running = 0;
    Stop();
    TZevDX7Form::OnDestroy();
}

void TZevDXFormTest::OnClose()
{
    Stop();
    // Closing the root window closes this form again: the second time only stops.
    if (Closing)
        return;
    Closing = true;
    CloseRootWindow();
}
