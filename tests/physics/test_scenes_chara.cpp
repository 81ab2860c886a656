// Whole scenes of game characters made by the body utilities: resting on a floor, and bodies deleted by their
// callbacks during the step's callback walk.
#include "ZevBodyUtil.h"
#include "ZevContactLink.h"
#include "ZevGameChara.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace physics_test;

struct CharaWorld {
    CharaWorld()
    {
        ZevCharaInit();
        world = std::make_unique<TZevPhscs2World>();
        ZevSetPhOnlyParameters(world.get());
    }
    TZevGameChara* Box(float a, float b, float c, const TZevMatrix& pose, bool fixed)
    {
        TZevCollisionMeshObj* body =
            CreateBoxXPhBody(nullptr, pose, nullptr, world.get(), TZevVector(-a, -b, -c), TZevVector(a, b, c), 1.0f);
        TZevGameChara* chara = ZevAsGameChara(body);
        if (chara != nullptr && fixed)
            chara->SetFixed(1);
        return chara;
    }
    std::unique_ptr<TZevPhscs2World> world;
};

TEST(CharaScenes, BoxCharacterComesToRestOnAFixedFloor)
{
    CharaWorld w;
    TZevGameChara* floor = w.Box(5.0f, 0.5f, 5.0f, Translation(0, -0.5f, 0), true);
    TZevGameChara* box = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 1.0f, 0), false);
    ASSERT_NE(floor, nullptr);
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < 300; ++i)
        w.world->Step(0.02f);
    const float half = w.world->InterferencePermitDistance * 0.5f;
    const float sink = w.world->pairs.Gravity * 0.02f * 0.02f;
    const TZevMatrix pose = box->GetMatrix();
    // Resting flat at the floor's top, within the permitted interference.
    EXPECT_GT(pose.m[5], 0.9999f);
    EXPECT_LE(pose.m[13], 0.5f + 0.001f);
    EXPECT_GE(pose.m[13], 0.5f - half - sink - 0.001f);
    for (int i = 0; i < 200; ++i)
        w.world->Step(0.02f);
    EXPECT_NEAR(box->GetMatrix().m[13], pose.m[13], 0.001f);
    EXPECT_NEAR(box->GetMatrix().m[12], pose.m[12], 0.001f);
    EXPECT_EQ(floor->GetMatrix().m[13], -0.5f);
}

struct Deletions {
    TZevPhscs2World* world;
    TZevGameChara* other;
    int calls = 0;
};

void DeleteSelfAndOther(TZevGameChara* body, void* user)
{
    Deletions* d = static_cast<Deletions*>(user);
    ++d->calls;
    d->world->DeleteBody(body);
    d->world->DeleteBody(d->other);
}

void Count(TZevGameChara*, void* user)
{
    ++*static_cast<int*>(user);
}

TEST(CharaScenes, CallbackDeletingBodiesDuringTheWalkIsSafe)
{
    CharaWorld w;
    TZevGameChara* a = w.Box(0.5f, 0.5f, 0.5f, Translation(0, 0, 0), false);
    TZevGameChara* b = w.Box(0.5f, 0.5f, 0.5f, Translation(3, 0, 0), false);
    TZevGameChara* c = w.Box(0.5f, 0.5f, 0.5f, Translation(6, 0, 0), false);
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    Deletions d{w.world.get(), c};
    int laterOnA = 0;
    int onC = 0;
    int onB = 0;
    // The items run front first: the deleting one, then one that must not run any more.
    a->AddCFuncItem(ZevNewCFuncItem("later", Count, &laterOnA));
    a->AddCFuncItem(ZevNewCFuncItem("delete", DeleteSelfAndOther, &d));
    c->AddCFuncItem(ZevNewCFuncItem("count", Count, &onC));
    b->AddCFuncItem(ZevNewCFuncItem("count", Count, &onB));
    w.world->Step(0.02f);
    EXPECT_EQ(d.calls, 1);
    EXPECT_EQ(laterOnA, 0);
    EXPECT_EQ(onC, 0);
    EXPECT_EQ(onB, 1);
    int bodies = 0;
    for (TZevCTree* t = w.world->activeRoot->FirstChildTree(); t != nullptr; t = t->NextSiblingTree())
        ++bodies;
    EXPECT_EQ(bodies, 1);
    w.world->Step(0.02f);
    EXPECT_EQ(onB, 2);
}

} // namespace
