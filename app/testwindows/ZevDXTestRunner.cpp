#include "ZevDXTestRunner.h"

#include "ZevApplication.h"
#include "ZevFrame.h"
#include "QE3DObjects.h"
#include "ZevMatrix.h"
#include "ZevQueuedRenderer.h"
#include "ZevThread.h"

#include <cstdio>

double ZevDXTestNow() { return GetElapsedMilliseconds(); }

TZevDXTestRunner::~TZevDXTestRunner() { Shutdown(); }

void TZevDXTestRunner::Setup(TZevQueuedRenderer* renderer, std::uint8_t* keys)
{
    if (RootFrame != nullptr)
        Shutdown();
    Renderer = renderer;
    KeyTable = keys;
    // The models' textures are beside them.
    if (renderer != nullptr)
        renderer->AddText((AppDirectory + TZevString("objects/")).CStr());
    RootFrame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    CameraFrame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    if (RootFrame == nullptr || CameraFrame == nullptr) {
        if (RootFrame != nullptr)
            RootFrame->Release();
        if (CameraFrame != nullptr)
            CameraFrame->Release();
        RootFrame = CameraFrame = nullptr;
        return;
    }
    RootFrame->AddChild(CameraFrame);
    CameraFrame->LocalMatrix = ZevMatTranslation(0.0f, 0.0f, -5.0f);
    Scene.Setup(renderer, RootFrame, CameraFrame);
    LastFrameTime = ZevDXTestNow();
}

void TZevDXTestRunner::Shutdown()
{
    Scene.Shutdown();
    if (RootFrame == nullptr)
        return;
    ShowScriptObjects(false);
    RootFrame->Release(); // the camera frame goes with it
    RootFrame = CameraFrame = nullptr;
}

void TZevDXTestRunner::FlyCamera()
{
    if (KeyTable == nullptr)
        return;
    auto turn = [](TZevMatrix& (*rotation)(TZevMatrix&, float), float angle) {
        TZevMatrix m;
        return rotation(m, angle);
    };
    struct Key {
        int Code; // Windows virtual-key code
        TZevMatrix Move;
    };
    const Key keys[] = {
        {102, turn(ZevMatRotationY, 0.05f)},  {100, turn(ZevMatRotationY, -0.05f)}, // numeric keypad 6 and 4
        {104, ZevMatTranslation(0.0f, 0.0f, 0.2f)}, {98, ZevMatTranslation(0.0f, 0.0f, -0.2f)}, // 8 and 2
        {68, turn(ZevMatRotationZ, -0.05f)},  {83, turn(ZevMatRotationZ, 0.05f)},  // D and S
        {69, turn(ZevMatRotationX, 0.05f)},   {88, turn(ZevMatRotationX, -0.05f)}, // E and X
        {38, ZevMatTranslation(0.0f, 0.2f, 0.0f)}, {40, ZevMatTranslation(0.0f, -0.2f, 0.0f)}, // up and down
    };
    for (const Key& k : keys)
        if (KeyTable[k.Code])
            ZevMatMultiply(CameraFrame->LocalMatrix, k.Move, CameraFrame->LocalMatrix);
}

void TZevDXTestRunner::ShowScriptObjects(bool shown)
{
    TZevLisp3DObj* top = GetLisp3DObjRoot();
    TZevVTree* first = top != nullptr ? top->GetFirstChild() : nullptr;
    if (first == nullptr)
        return;
    struct Walk {
        TZevDXTestRunner* Runner;
        TZevLisp3DObj* Top;
        bool Shown;
    } walk{this, top, shown};
    // Every object below the tree's root; each frame hangs under its parent object's frame.
    first->ForEachPreOrder(
        [](TZevVTree* node, void* arg) {
            const Walk& w = *static_cast<Walk*>(arg);
            auto* object = dynamic_cast<TZevLisp3DObj*>(node);
            if (object == nullptr || object->Frame == nullptr)
                return;
            if (!w.Shown) {
                if (object->Frame->GetParent() != nullptr)
                    object->Frame->Unlink();
                return;
            }
            object->Move(0.02f);
            auto* parent = dynamic_cast<TZevLisp3DObj*>(object->GetParent());
            TZevFrame* under = parent != nullptr && parent != w.Top && parent->Frame != nullptr ? parent->Frame
                                                                                                 : w.Runner->RootFrame;
            under->AddChild(object->Frame);
        },
        &walk);
}

void TZevDXTestRunner::Frame()
{
    if (RootFrame == nullptr || Renderer == nullptr)
        return;
    Renderer->Clear();
    FlyCamera();
    ShowScriptObjects(true);
    Scene.Step();
    // The device renderers draw the queued frame tree in this slot.
    Renderer->SetCameraFrame(RootFrame, CameraFrame);
    const double now = ZevDXTestNow();
    const double since = now - LastFrameTime;
    char text[160];
    std::snprintf(text, sizeof text, "%f %f fps = %f", since, now, since > 0.0 ? 1000.0 / since : 0.0);
    Renderer->DrawText(4, 4, text);
    LastFrameTime = now;
    Renderer->Present();
    ShowScriptObjects(false);
}
