// Engine bindings: terrain ("land") from a height-map bitmap and a texture, held by a script object, and the
// view's fog and background colour.
#pragma once

#include "ZevTree.h"

#include <cstdint>

class TZevLandCTree;

// The script object of a land.
class TZevLispLandObj : public TZevStringTree {
public:
    TZevLispLandObj() = default;
    // A land the script made, lying in no world or in the current one, goes with its object (out of the world
    // first); any other land is only forgotten.
    ~TZevLispLandObj() override;

    // Holds `land` (forgetting the one held before); the land clears LandAlive when it is destroyed elsewhere.
    void SetLand(TZevLandCTree* land, bool owned);
    // The land while it lives, else null.
    TZevLandCTree* GetLand() const { return LandAlive ? Land : nullptr; }

    TZevLandCTree* Land = nullptr;
    std::int32_t LandAlive = 0; // the land's watched flag
    bool OwnsLand = false;      // made by a script builtin or loaded with a script value
};

extern TZevClassRecord TZevLispLandObjClassRecord;

int TZevLandCTree_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* land);
int TZevLandCTree_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevLispLandObj_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevLispLandObj_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// Registers the class, the named functions and the builtins "XPhLoadLand", "XPhLoadLandWithScale",
// "SetXPhLandMat", "XPhLandSetVisualMaterial", "XPhFogEnable", "XPhFogNear", "XPhFogFar" and "XPhBgColor". Runs
// once; later calls do nothing.
void ZevEngineRegisterLand();
