#include "ZevFlightScene.h"

#include "ZevBodyUtil.h"
#include "ZevLandCTree.h"
#include "ZevPhscs2World.h"
#include "ZevPlaneChara.h"
#include "ZevSceneSupport.h"

TZevFlightScene::~TZevFlightScene()
{
    delete World;
}

void TZevFlightScene::Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
                           std::int32_t* quitFlag)
{
    TZevGMBase::Init(renderer, keys, root, camera, quitFlag);
    World = new TZevPhscs2World;
    TZevCollisionMeshObj* aircraft =
        CreateXPhBodyFromXFile("f22.x", CreatePlaneChara, ZevMatTranslation(3.0f, 3.0f, 0.0f), root);
    Aircraft = dynamic_cast<TZevPlaneChara*>(aircraft);
    if (Aircraft == nullptr) {
        delete aircraft;
        ZevDebugLog("flight: cannot make the aircraft from \"f22.x\"\n");
    }
    ZevAddToScene(Aircraft, World, root);
    TZevMatrix scale, placement;
    ZevMatScaling(scale, 32.0f, 64.0f, 32.0f);
    ZevMatMultiply(placement, scale, ZevMatTranslation(0.0f, -40.0f, 0.0f));
    Land = ZevBuildLand("land.bmp", "map.bmp", placement, 0.1f, 0.1f, 64, 64, 0);
    ZevAddToScene(Land, World, root);
    ZevSetLandMaterial(Land);
    ZevSetSceneLight(Renderer, 1.0f, 0.5f, 1.0f);
    World->UpdateTrees(0.0f);
    World->UpdateTrees(0.0f);
}

void TZevFlightScene::Step()
{
    if (World == nullptr)
        return;
    if (Aircraft != nullptr)
        Aircraft->KeyControl(KeyTable);
    World->ClearContacts();
    if (Aircraft != nullptr && Land != nullptr)
        CollideTrees(World, Aircraft, Land);
    World->UpdateTrees(0.02f);
    if (Aircraft != nullptr) {
        TZevMatrix camera;
        SetCameraMatrix(ZevMatMultiply(camera, ZevMatTranslation(0.0f, 6.0f, -16.0f), Aircraft->GetMatrix()));
    }
}

void TZevFlightScene::Shutdown()
{
    delete World;
    World = nullptr;
    Aircraft = nullptr;
    Land = nullptr;
    TZevGMBase::Shutdown();
}
