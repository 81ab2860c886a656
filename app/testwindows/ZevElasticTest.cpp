#include "ZevElasticTest.h"

TZevClassRecord TZevElasticTestClassRecord;

TZevLSObj* CreateTZevElasticTest() { return ZevCreateRegistered<TZevElasticTest>(&TZevElasticTestClassRecord); }

TZevElasticTest::~TZevElasticTest()
{
    if (Owned != nullptr)
        Owned->Release();
    Owned = nullptr;
}

void TZevElasticTest::Clear()
{
    TZevElastic::Clear();
    if (Owned != nullptr)
        Owned->Release();
    Owned = nullptr;
}
