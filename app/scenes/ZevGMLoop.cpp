#include "ZevGMLoop.h"

#include "LispArgs.h"
#include "QEContext.h"
#include "QEPicking.h"
#include "ZevBodyUtil.h"
#include "ZevContactLink.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevLandCTree.h"
#include "ZevLineMesh.h"
#include "ZevLispInterpreter.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"
#include "ZevQueuedRenderer.h"
#include "ZevSceneClock.h"
#include "ZevSceneSupport.h"

#include <filesystem>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

namespace {

enum { MouseDownKind, MouseMoveKind, MouseUpKind };

} // namespace

// ---- TZevGMBase ------------------------------------------------------------------------------------------------

void TZevGMBase::Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
                      std::int32_t* quitFlag)
{
    Renderer = renderer;
    KeyTable = keys;
    RootFrame = root;
    CameraFrame = camera;
    QuitFlag = quitFlag;
    if (root == nullptr)
        return;
    LineFrame = ZevNewFrame();
    TZevLSObj* made = CreateObjectByName("TZevLineMesh");
    LineMesh = dynamic_cast<TZevLineMesh*>(made);
    if (LineFrame == nullptr || LineMesh == nullptr) {
        if (LineFrame != nullptr)
            LineFrame->Release();
        if (made != nullptr)
            made->Release();
        LineFrame = nullptr;
        LineMesh = nullptr;
        return;
    }
    LineFrame->AddVisual(LineMesh);
    LineMesh->Release(); // the frame holds it
    LineFrame->LocalMatrix = TZevMatrix();
    root->AddChild(LineFrame);
}

const char* TZevGMBase::ShownStatusText()
{
    const char* status = CurrentStatusText();
    if (FileFailureText.IsNull())
        return status;
    ShownText = TZevString(status) + FileFailureText;
    return ShownText.CStr();
}

void TZevGMBase::ReportFileFailure(const char* path)
{
    const std::string line = std::string("Cannot open file: ") + (path != nullptr ? path : "");
    ZevDebugLog((line + "\n").c_str());
    FileFailureText = ("\n" + line).c_str();
}

void TZevGMBase::KeyUp(int key)
{
    if (key == SceneKeyEscape)
        RequestQuit();
}

void TZevGMBase::SetCameraMatrix(const TZevMatrix& m)
{
    if (CameraFrame != nullptr)
        CameraFrame->LocalMatrix = m;
}

// ---- TZevGMLoop: start and end of a run ----------------------------------------------------------------------------

TZevGMLoop::~TZevGMLoop()
{
    if (World != nullptr)
        Shutdown();
}

void TZevGMLoop::Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
                      std::int32_t* quitFlag)
{
    TZevGMBase::Init(renderer, keys, root, camera, quitFlag);
    const TZevString directory = Directory.IsNull() ? TZevString("") : Directory;
    if (Renderer != nullptr) {
        Renderer->AddText(directory.CStr());
        Renderer->AddText((directory + "objects/").CStr());
    }
    World = new TZevPhscs2World;
    ZevSetSceneStartParameters(World);
    ZevSetSceneLight(Renderer, 1.0f, 0.5f, 1.0f);
    if (directory.GetLength() > 0) {
        std::error_code error;
        std::filesystem::current_path(directory.CStr(), error);
        if (error)
            ZevDebugLog((std::string("scene: cannot enter the folder \"") + directory.CStr() + "\"\n").c_str());
    }
    if (Interpreter != nullptr) {
        Interpreter->SearchPaths.Clear();
        Interpreter->SearchPaths.Add(directory + "LispLib/");
        Interpreter->SearchPaths.Add(directory + "LispSource/");
    }
    ObjectPathList.Clear();
    ObjectPathList.Add(directory + "objects/");
    Publish();
    Setup();
    World->Step(0.0f);
    World->Step(0.0f);
    if (Land != nullptr) {
        Land->SetRebuildFlag();
        Land->Refit();
    }
}

void TZevGMLoop::Shutdown()
{
    if (World == nullptr)
        return;
    OnShutdown();
    if (HostMouseRelease != nullptr)
        HostMouseRelease(HostMouseUserData);
    MouseDownProc.Clear();
    MouseMoveProc.Clear();
    MouseUpProc.Clear();
    MouseData.Clear();
    HostMouseDown = nullptr;
    HostMouseMove = nullptr;
    HostMouseUp = nullptr;
    // Called once: a later QE_SetMouseFunction must not release the same user data again.
    HostMouseRelease = nullptr;
    HostMouseUserData = nullptr;
    DeleteScriptBodies();
    TZevPhscs2World* world = World;
    const bool published = IsPublished();
    World = nullptr;
    MainChara = nullptr;
    Land = nullptr;
    QEForgetWorldBodies(world);
    delete world;
    if (published)
        CurrentWorld = nullptr;
    Unpublish();
}

bool TZevGMLoop::IsPublished() const
{
    return World != nullptr && CurrentWorld == World;
}

void TZevGMLoop::Publish()
{
    CurrentWorld = World;
    ::RootFrame = TZevGMBase::RootFrame;
    ::CameraFrame = TZevGMBase::CameraFrame;
    MainCharaSlot = &MainChara;
    KeyStateTable = KeyTable;
    StepSizePtr = &StepSize;
    RepeatSizePtr = &RepeatSize;
    DrawLineMesh = LineMesh;
    EasyViewText = StatusText;
    CurrentView = Renderer;
    LispHost = Interpreter;
}

// Every global that still points into this scene is cleared (another publisher may have replaced some since), so
// that nothing reaches the frames, the renderer or the interpreter once the run is over.
void TZevGMLoop::Unpublish()
{
    if (MainCharaSlot == &MainChara) {
        MainCharaSlot = nullptr;
        EasyViewText = nullptr;
    }
    if (::RootFrame == TZevGMBase::RootFrame)
        ::RootFrame = nullptr;
    if (::CameraFrame == TZevGMBase::CameraFrame)
        ::CameraFrame = nullptr;
    if (KeyStateTable == KeyTable)
        KeyStateTable = nullptr;
    if (StepSizePtr == &StepSize)
        StepSizePtr = nullptr;
    if (RepeatSizePtr == &RepeatSize)
        RepeatSizePtr = nullptr;
    if (DrawLineMesh == LineMesh)
        DrawLineMesh = nullptr;
    if (CurrentView == Renderer)
        CurrentView = nullptr;
    if (LispHost == Interpreter)
        LispHost = nullptr;
}

// The bodies of the scripts' wrappers go with the scene (those of this world, and those that scripts hold in no
// world). A body's destructor may free other wrappers (its children's), so the wrappers are held while the list
// is walked.
void TZevGMLoop::DeleteScriptBodies()
{
    std::vector<TZevLispXPhBody*> wrappers;
    for (TZevLispXPhBody* wrapper : ZevItems<TZevLispXPhBody>(XPhBodyList)) {
        wrapper->AddRef();
        wrappers.push_back(wrapper);
    }
    for (TZevLispXPhBody* wrapper : wrappers) {
        TZevGameChara* body = wrapper->Body;
        if (body == nullptr)
            continue;
        TZevPhscs2World* world = ZevBodyWorld(body);
        if (world != nullptr && world != World)
            continue; // another publisher's body
        wrapper->Body = nullptr;
        QEForgetBody(body);
        if (world != nullptr)
            world->DeleteBody(body);
        else
            delete body;
    }
    for (TZevLispXPhBody* wrapper : wrappers)
        wrapper->Release();
}

// ---- Frames and input ----------------------------------------------------------------------------------------------

void TZevGMLoop::RunKeyHook()
{
    if (MainChara != nullptr && KeyTable != nullptr)
        MainChara->KeyControl(KeyTable);
}

void TZevGMLoop::SleepIfPaused()
{
    if (Pause && !PacedPause)
        ZevSceneSleep(PauseMilliseconds);
}

void TZevGMLoop::DrawContactsIfShift()
{
    if (IsKeyDown(SceneKeyShift))
        DrawContactGeometry();
}

void TZevGMLoop::StepWithKeys()
{
    RunKeyHook();
    if (IsKeyDown(SceneKeyEscape))
        RequestQuit();
    SleepIfPaused();
    DrawContactsIfShift();
    World->Step(0.02f);
}

void TZevGMLoop::Step()
{
    RunKeyHook();
    SleepIfPaused();
    DrawContactsIfShift();
    World->Step(0.02f);
    if (MainChara != nullptr) {
        FollowMainChara(TZevVector(0.0f, 6.0f, -40.0f));
    } else {
        TZevMatrix turn, place, camera;
        ZevMatRotationY(turn, std::numbers::pi_v<float> / 2.0f);
        ZevMatTranslation(place, -60.0f, 10.0f, 80.0f);
        SetCameraMatrix(ZevMatMultiply(camera, turn, place));
    }
}

void TZevGMLoop::FollowMainChara(const TZevVector& offset)
{
    if (MainChara == nullptr)
        return;
    TZevMatrix camera;
    SetCameraMatrix(ZevMatMultiply(camera, ZevMatTranslation(offset.x, offset.y, offset.z), MainChara->GetMatrix()));
}

void TZevGMLoop::KeyDown(int key)
{
    if (key == SceneKeyControl)
        Pause = !Pause;
}

void TZevGMLoop::MouseDown(int buttons, int x, int y)
{
    CallMouseHooks(MouseDownKind, buttons, x, y);
}

void TZevGMLoop::MouseMove(int buttons, int x, int y)
{
    CallMouseHooks(MouseMoveKind, buttons, x, y);
}

void TZevGMLoop::MouseUp(int buttons, int x, int y)
{
    CallMouseHooks(MouseUpKind, buttons, x, y);
}

void TZevGMLoop::CallMouseHooks(int kind, int buttons, int x, int y)
{
    x &= 0xFFFF;
    y &= 0xFFFF;
    TZevVector direction, origin;
    if (Renderer != nullptr)
        Renderer->ScreenToWorld(TZevVector(static_cast<float>(x), static_cast<float>(y), 1.0f), &direction, &origin);
    QE_MouseFunction host = kind == MouseDownKind ? HostMouseDown : kind == MouseMoveKind ? HostMouseMove : HostMouseUp;
    if (host != nullptr) {
        const QE_MouseEvent event{HostMouseUserData, buttons, direction.x, direction.y, direction.z,
                                  origin.x,          origin.y, origin.z,    x,           y};
        host(&event);
    }
    const TZevLispRef& procedure =
        kind == MouseDownKind ? MouseDownProc : kind == MouseMoveKind ? MouseMoveProc : MouseUpProc;
    if (procedure.IsNull() || procedure == Nil || Interpreter == nullptr)
        return;
    // The procedure may replace itself while it runs: the form holds its own reference.
    const TZevLispRef held = procedure;
    TZevLispRef args = LispMakeResult(Interpreter, "iiiffffff", buttons, x, y, direction.x, direction.y, direction.z,
                                      origin.x, origin.y, origin.z);
    TZevLispRef form, result;
    LispCons(form, held, args);
    Interpreter->Eval(result, form);
}

// ---- Debug drawing -------------------------------------------------------------------------------------------------

void TZevGMLoop::DrawContactGeometry()
{
    if (World == nullptr || LineMesh == nullptr)
        return;
    for (const TZevContactLink* link : ZevItems<TZevContactLink>(*World->ContactLinks))
        if (link->RecordA != nullptr && link->RecordB != nullptr)
            LineMesh->AddLine(0xFFFF0000u, GetFacePoint(*link->RecordA), GetFacePoint(*link->RecordB));
    DrawBodyBoxes(false);
}

void TZevGMLoop::DrawBodyBoxes(bool skipLand)
{
    if (World == nullptr || LineMesh == nullptr)
        return;
    ZevForEachWorldBody(World, [&](TZevCollisionMeshObj* body) {
        if (skipLand && dynamic_cast<TZevLandCTree*>(body) != nullptr)
            return;
        ZevDrawBoxEdges(LineMesh, body->box.Min, body->box.Max, 0xFF00FF00u);
        if (body->primitiveRoot == nullptr)
            return;
        for (const TZevBoxNode* n = body->primitiveRoot->FirstChild(); n != nullptr; n = n->NextSibling())
            ZevDrawBoxEdges(LineMesh, n->box.Min, n->box.Max, 0xFF0000FFu);
    });
}

// ---- Bodies and lands ----------------------------------------------------------------------------------------------

TZevGameChara* TZevGMLoop::LoadXBody(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix)
{
    TZevCollisionMeshObj* made = CreateXPhBodyFromXFile(fileName, factory, matrix, nullptr);
    TZevGameChara* body = ZevAsGameChara(made);
    if (body == nullptr) {
        delete made;
        ZevDebugLog((std::string("scene: cannot make a body from \"") + (fileName ? fileName : "") + "\"\n").c_str());
        return nullptr;
    }
    body->SetRebuildFlag();
    ZevAddToScene(body, World, TZevGMBase::RootFrame);
    return body;
}

TZevGameChara* TZevGMLoop::LoadSceneBody(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                         const TZevBodySetup& setup)
{
    TZevGameChara* body = LoadXBody(fileName, factory, matrix);
    if (body != nullptr)
        FinishBody(body, setup);
    return body;
}

void TZevGMLoop::FinishBody(TZevGameChara* body, const TZevBodySetup& setup)
{
    if (body->visualMesh != nullptr)
        body->visualMesh->ComputeNormals();
    TZevMatrix scale;
    body->TransformVertices(ZevMatScaling(scale, setup.Scale.x, setup.Scale.y, setup.Scale.z));
    body->RigidPart->SetMassSphere(setup.Mass, setup.Radius);
    if (setup.BoxInertia)
        body->RigidPart->SetInertia(ZevBoxInertiaOf(body, setup.Mass));
    body->SetDynamic(1);
    body->LinearDamping = setup.AirResistance;
}

TZevLandCTree* TZevGMLoop::LoadLand(const char* heightMapFile, const char* textureFile)
{
    TZevMatrix placement;
    ZevMatScaling(placement, 64.0f, 128.0f, 64.0f);
    TZevLandCTree* land = ZevBuildLand(heightMapFile, textureFile, placement, 0.05f, 0.05f, 32, 32, 0);
    if (land != nullptr) {
        ZevAddToScene(land, World, TZevGMBase::RootFrame);
        Land = land;
    }
    return land;
}

// ---- The status text -----------------------------------------------------------------------------------------------

const char* TZevGMLoop::CurrentStatusText() const
{
    return IsPublished() ? EasyViewText.CStr() : StatusText.CStr();
}

void TZevGMLoop::SetStatusText(const char* text)
{
    StatusText = text;
    if (IsPublished())
        EasyViewText = text;
}
