#include "ZevEngineHost.h"

#include "ZevFrame.h"
#include "ZevGMLoop.h"
#include "ZevQueuedRenderer.h"
#include "ZevSceneClock.h"
#include "ZevSceneSupport.h"

#include <cstdio>
#include <string>

TZevEngineHost* CurrentEngineHost = nullptr;
TZevFpsCounter FrameFps;
TZevFpsCounter RenderOnlyFps;
TZevFpsCounter RenderToWindowFps;

TZevEngineHost::~TZevEngineHost()
{
    Final();
}

void TZevEngineHost::Start(TZevQueuedRenderer* renderer, std::uint8_t* keys)
{
    // A restart ends the old run before the host is published again: Final unpublishes it, so publishing first
    // would leave no host published.
    if (Root != nullptr)
        Final();
    Renderer = renderer;
    KeyTable = keys != nullptr ? keys : OwnKeys;
    QuitFlag = 0;
    CurrentEngineHost = this;
    Root = ZevNewFrame();
    Camera = ZevNewFrame();
    if (Root == nullptr || Camera == nullptr) {
        if (Root != nullptr)
            Root->Release();
        if (Camera != nullptr)
            Camera->Release();
        Root = Camera = nullptr;
        return;
    }
    Root->AddChild(Camera);
    Camera->LocalMatrix = TZevMatrix();
    Camera->LocalMatrix.m[14] = -5.0f;
    if (Scene != nullptr) {
        Scene->Interpreter = &Interpreter;
        Interpreter.Init();
        Scene->Init(Renderer, KeyTable, Root, Camera, &QuitFlag);
    }
}

void TZevEngineHost::Final()
{
    if (CurrentEngineHost == this)
        CurrentEngineHost = nullptr;
    if (Scene != nullptr) {
        TZevGMBase* scene = Scene;
        Scene = nullptr;
        scene->Shutdown();
        delete scene;
    }
    if (Root != nullptr) {
        Root->Release(); // the camera frame goes with it
        Root = nullptr;
    }
}

void TZevEngineHost::Frame()
{
    Draw(FrameFps, true);
}

void TZevEngineHost::RenderOnly()
{
    Draw(RenderOnlyFps, false);
}

void TZevEngineHost::Draw(TZevFpsCounter& counter, bool step)
{
    if (Root == nullptr || Renderer == nullptr)
        return;
    Renderer->RestoreSurfaces();
    Renderer->Clear();
    // The device renderers draw the queued scene in this slot (their frame passes).
    Renderer->SetCameraFrame(Root, Camera);
    if (step && Scene != nullptr)
        Scene->Step();
    if (TextFlag)
        DrawTexts(counter);
    if (PresentFlag)
        Renderer->Present();
}

void TZevEngineHost::DrawTexts(TZevFpsCounter& counter)
{
    if (Renderer == nullptr)
        return;
    if (Scene != nullptr && Scene->ShowFps) {
        if (counter.Frames >= 10) {
            const double now = ZevSceneMilliseconds();
            const double elapsed = now - counter.LastUpdate;
            if (elapsed > 0.0) {
                char text[64];
                std::snprintf(text, sizeof text, "%f", 10000.0 / elapsed);
                FpsText = (std::string(" fps = ") + text).c_str();
            }
            counter.LastUpdate = now;
            counter.Frames = 0;
        }
        ++counter.Frames;
    }
    Renderer->DrawText(32, 32, FpsText.CStr() != nullptr ? FpsText.CStr() : "");
    if (Scene != nullptr) {
        const char* status = Scene->ShownStatusText();
        Renderer->DrawText(32, 48, status != nullptr ? status : "");
    }
}

void TZevEngineHost::MoveOnly()
{
    if (Root != nullptr && Scene != nullptr)
        Scene->Step();
}

void TZevEngineHost::MouseDown(int buttons, int x, int y)
{
    if (Root != nullptr && Scene != nullptr)
        Scene->MouseDown(buttons, x, y);
}

void TZevEngineHost::MouseMove(int buttons, int x, int y)
{
    if (Root != nullptr && Scene != nullptr)
        Scene->MouseMove(buttons, x, y);
}

void TZevEngineHost::MouseUp(int buttons, int x, int y)
{
    if (Root != nullptr && Scene != nullptr)
        Scene->MouseUp(buttons, x, y);
}

void TZevEngineHost::KeyDown(int key)
{
    if (Root != nullptr && Scene != nullptr)
        Scene->KeyDown(key);
}

void TZevEngineHost::KeyUp(int key)
{
    if (Root != nullptr && Scene != nullptr)
        Scene->KeyUp(key);
}
