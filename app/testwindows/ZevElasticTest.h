// An elastic body registered for tests: it only adds one owned object, freed with the body's clear. Nothing shows
// it (the launcher's elastic test entries do nothing).
#pragma once

#include "ZevElastic.h"

class TZevElasticTest : public TZevElastic {
public:
    TZevElasticTest() = default;
    ~TZevElasticTest() override;
    void Clear() override;

    TZevLSObj* Owned = nullptr; // one reference
};

extern TZevClassRecord TZevElasticTestClassRecord;
TZevLSObj* CreateTZevElasticTest();
