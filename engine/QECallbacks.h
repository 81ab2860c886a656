// Body callbacks: host functions attached to bodies by name (carriers), saved and loaded with the body; the
// script function and data of a body; calling a named function with a body.
#pragma once

#include "ZevGameChara.h"
#include "qe.h"

// A host's callbacks on one body. Its user word is the carrier itself; the per-step call of the item runs the
// host's step function with the body and the host's user data. It is saved and loaded with its body.
class TZevGCFuncCFuncLI : public TZevGameCharaCFuncListItem {
public:
    TZevGCFuncCFuncLI();
    // Calls the release function with (body, user data) when one is set.
    ~TZevGCFuncCFuncLI() override;

    TZevRefWriter GetSaveFunction() const override;
    TZevRefReader GetLoadFunction() const override;

    // Whether `carrier` is a live carrier.
    static bool IsLive(const void* carrier);

    void* HostData = nullptr;
    TZevGameChara* Body = nullptr;
    QE_BodyReleaseFunction ReleaseFunction = nullptr;
    QE_BodyStepFunction StepFunction = nullptr;
    QE_BodySaveFunction SaveFunction = nullptr;
    QE_BodyLoadFunction LoadFunction = nullptr;
    TZevGCFuncCFuncLI* NextLive = nullptr;
    TZevGCFuncCFuncLI* PrevLive = nullptr;
};

extern TZevClassRecord TZevGCFuncCFuncLIClassRecord;

// The per-step call of a carrier (user word: the carrier): the host's step function when it is set.
void ZevExternGCFuncCFunc(TZevGameChara* body, void* carrier);

// Registers the carrier class, its named functions and the callback builtins. Runs once.
void ZevEngineRegisterCallbacks();
