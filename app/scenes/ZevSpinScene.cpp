#include "ZevSpinScene.h"

#include "ZevBodyUtil.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevMeshData.h"
#include "ZevPhscs2World.h"
#include "ZevSceneSupport.h"

TZevSpinScene::~TZevSpinScene()
{
    ZevFree(Spheres);
}

TZevGameChara* TZevSpinScene::MakeSphereBody(std::int32_t resolution, const TZevMatrix& matrix)
{
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    TZevLSObj* made = CreateObjectByName("TZevPolygonMesh");
    TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(made);
    if (frame == nullptr || mesh == nullptr) {
        if (frame != nullptr)
            frame->Release();
        if (made != nullptr)
            made->Release();
        return nullptr;
    }
    mesh->Clear();
    frame->AddVisual(mesh);
    const bool built = mesh->Geometry != nullptr && ZevMakeSphereMesh(mesh->Geometry, resolution, 2 * resolution);
    mesh->Changed = 1;
    mesh->SetTextureName("");
    TZevCollisionMeshObj maker;
    TZevGameChara* body = built ? ZevAsGameChara(maker.CreateFromFrame(frame, CreateGameChara, nullptr)) : nullptr;
    mesh->Release(); // the frame (and the body) hold it
    if (body == nullptr) {
        frame->Release();
        return nullptr;
    }
    if (body->visualFrame == nullptr)
        body->visualFrame = frame;
    PlaceXPhBody(body, matrix);
    body->SetRebuildFlag();
    body->SetDynamic(0);
    ZevAddToScene(body, World, TZevGMBase::RootFrame);
    return body;
}

void TZevSpinScene::Setup()
{
    SphereCount = 2;
    Spheres = static_cast<TZevGameChara**>(ZevAlloc(sizeof(TZevGameChara*) * SphereCount));
    if (Spheres == nullptr) {
        SphereCount = 0;
        return;
    }
    TZevMatrix scale;
    ZevMatScaling(scale, 5.0f, 5.0f, 5.0f);
    for (int i = 0; i < SphereCount; ++i) {
        const float x = static_cast<float>(2 * i - 1) * Spacing;
        Spheres[i] = MakeSphereBody(Resolution, ZevMatTranslation(x, 0.0f, 0.0f));
        if (Spheres[i] != nullptr)
            Spheres[i]->TransformVertices(scale);
    }
    World->Step(0.0f);
    World->Step(0.0f);
}

void TZevSpinScene::Step()
{
    for (int i = 0; i < SphereCount; ++i) {
        TZevGameChara* sphere = Spheres[i];
        if (sphere == nullptr)
            continue;
        TZevMatrix pitch, yaw, turned;
        ZevMatRotationX(pitch, 0.01f * static_cast<float>(i));
        ZevMatRotationY(yaw, 0.01f);
        ZevMatMultiply(turned, pitch, yaw);
        ZevMatMultiply(turned, turned, sphere->RigidPart->Matrix);
        sphere->RigidPart->SetMatrix(turned);
        sphere->SetMatrix(turned);
    }
    if (IsKeyDown(SceneKeyShift))
        DrawBodyBoxes(true);
    SetCameraMatrix(ZevMatTranslation(0.0f, 0.0f, -15.0f));
    World->Step(0.02f);
}

void TZevSpinScene::OnShutdown()
{
    for (int i = 0; i < SphereCount; ++i) {
        if (Spheres[i] != nullptr)
            World->DeleteBody(Spheres[i]);
        Spheres[i] = nullptr;
    }
    ZevFree(Spheres);
    Spheres = nullptr;
    SphereCount = 0;
}
