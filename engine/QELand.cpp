#include "QELand.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "QEContext.h"
#include "QEBodyState.h"
#include "QEJoints.h"
#include "Zev3DRenderer.h"
#include "ZevBitmap.h"
#include "ZevFrame.h"
#include "ZevBodyUtil.h"
#include "ZevLandCTree.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevNameTable.h"
#include "ZevPhscs2World.h"

#include <unordered_set>

TZevClassRecord TZevLispLandObjClassRecord;

TZevLispLandObj::~TZevLispLandObj()
{
    SetLand(nullptr, false);
}

void TZevLispLandObj::SetLand(TZevLandCTree* land, bool owned)
{
    if (TZevLandCTree* old = GetLand()) {
        old->watchedFlag = nullptr;
        TZevCollisionSpace* space = old->space;
        if (OwnsLand && (!space || space == CurrentWorld)) {
            // Through the world, which defers it while the bodies' callbacks run.
            if (space && CurrentWorld) {
                QEBodyLeaveWorld(old);
                CurrentWorld->DeleteBody(old);
            } else {
                delete old;
            }
        }
    }
    Land = land;
    LandAlive = land ? 1 : 0;
    OwnsLand = land && owned;
    if (land)
        land->watchedFlag = &LandAlive;
}

// ---- Saved lands -------------------------------------------------------------------------------------------------

int TZevLandCTree_SaveFunction(TZevObjectIdTable*, TZevStream* stream, void* object)
{
    auto* land = static_cast<TZevLandCTree*>(static_cast<TZevCollisionMeshObj*>(object));
    const std::int32_t inWorld = CurrentWorld && land->Parent() == CurrentWorld->activeRoot ? 1 : 0;
    const bool ok = WriteString(stream, ExtractFileName(land->heightMapFile.CStr() ? land->heightMapFile.CStr() : "")) &&
                    WriteString(stream, ExtractFileName(land->textureFile.CStr() ? land->textureFile.CStr() : "")) &&
                    WriteMatrix4(stream, land->placement) && WriteInt32(stream, land->windowWidth) &&
                    WriteInt32(stream, land->windowHeight) && WriteFloat(stream, &land->uStep) &&
                    WriteFloat(stream, &land->vStep) && WriteInt32(stream, inWorld);
    return ok ? 1 : 0;
}

namespace {

// Lands made by the land reader and not yet taken by a land object: a damaged stream may name another reader where
// a land is expected, and only what this reader made is used as a land.
std::unordered_set<const void*>& UntakenLands()
{
    static auto* lands = new std::unordered_set<const void*>();
    return *lands;
}

// The land of a saved record, rebuilt from its files (as named, then with each object directory in front of both
// names), in no world yet; null when no attempt succeeds.
TZevLandCTree* RebuildLand(const TZevString& heightMap, const TZevString& texture, const TZevMatrix& placement,
                           std::int32_t w, std::int32_t h, float u, float v)
{
    TZevLSObj* made = CreateObjectByName("TZevBitmap");
    auto* bitmap = dynamic_cast<TZevBitmap*>(made);
    if (!bitmap) {
        if (made)
            made->Release();
        return nullptr;
    }
    TZevLandCTree* land = nullptr;
    for (int i = -1; !land && i < ObjectPathList.GetCount(); ++i) {
        const char* directory = i < 0 ? "" : ObjectPathList.GetAt(i);
        if (!directory)
            continue;
        const TZevString map = TZevString(directory) + heightMap;
        const TZevString tex = TZevString(directory) + texture;
        if (!bitmap->LoadBmp(map.CStr()))
            continue;
        land = CreateLandFromBitmaps(bitmap, tex.CStr(), nullptr, nullptr, placement, w, h, u, v);
        if (land) {
            land->heightMapFile = map;
            land->textureFile = tex;
        }
    }
    bitmap->Release();
    return land;
}

} // namespace

// The record is read to its end even when the land cannot be rebuilt: the values saved after it still load, and
// the land object comes back without a land.
int TZevLandCTree_LoadFunction(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    TZevString heightMap, texture;
    TZevMatrix placement;
    std::int32_t w = 0, h = 0, inWorld = 0;
    float u = 0.0f, v = 0.0f;
    if (!ReadString(stream, &heightMap) || !ReadString(stream, &texture) || !ReadMatrix4(stream, placement) ||
        !ReadInt32(stream, &w) || !ReadInt32(stream, &h) || !ReadFloat(stream, &u) || !ReadFloat(stream, &v) ||
        !ReadInt32(stream, &inWorld))
        return 0;
    TZevLandCTree* land = RebuildLand(heightMap, texture, placement, w, h, u, v);
    if (!land) {
        ZevDebugLog("TZevLandCTree_LoadFunction: the land's files were found nowhere\n");
        return 1;
    }
    if (inWorld && QEWorldReady())
        QEBodyEnterWorld(land);
    *slot = static_cast<TZevCollisionMeshObj*>(land);
    UntakenLands().insert(*slot);
    return 1;
}

int TZevLispLandObj_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    auto* landObject = static_cast<TZevLispLandObj*>(static_cast<TZevLSObj*>(object));
    TZevLandCTree* land = landObject->GetLand();
    return table->WriteRef(stream, TZevLandCTree_SaveFunction, TZevLandCTree_LoadFunction,
                           land ? static_cast<TZevCollisionMeshObj*>(land) : nullptr);
}

int TZevLispLandObj_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    void* read = table->ReadRef(stream);
    auto* made = CreateObjectByName("TZevLispLandObj");
    if (!made || made->GetClassRecord() != &TZevLispLandObjClassRecord) {
        if (made)
            made->Release();
        return 0;
    }
    auto* landObject = static_cast<TZevLispLandObj*>(made);
    // A land is taken once; a second reference to it leaves this object without one.
    if (read && UntakenLands().erase(read) != 0) {
        auto* land = static_cast<TZevLandCTree*>(static_cast<TZevCollisionMeshObj*>(read));
        if (!land->watchedFlag)
            landObject->SetLand(land, true);
    }
    *slot = made;
    return 1;
}

namespace {

bool gRegistered = false;

TZevLSObj* CreateLispLandObj()
{
    return ZevCreateRegistered<TZevLispLandObj>(&TZevLispLandObjClassRecord);
}

// The land of a script value holding a land object, while it lives; null otherwise.
TZevLandCTree* ScriptLand(TZevLSObj* object)
{
    if (!object || object->GetClassRecord() != &TZevLispLandObjClassRecord)
        return nullptr;
    return static_cast<TZevLispLandObj*>(object)->GetLand();
}

// The land of the two files, as named and then with each object directory in front of both.
template <class Make> TZevLandCTree* SearchLand(const TZevString& heightMap, const TZevString& texture, Make make)
{
    for (int i = -1; i < ObjectPathList.GetCount(); ++i) {
        const char* directory = i < 0 ? "" : ObjectPathList.GetAt(i);
        if (!directory)
            continue;
        const TZevString map = TZevString(directory) + heightMap;
        const TZevString tex = TZevString(directory) + texture;
        if (TZevLandCTree* land = make(map.CStr(), tex.CStr()))
            return land;
    }
    return nullptr;
}

void WrapLand(TZevLispRef& result, TZevLandCTree* land)
{
    auto* made = CreateObjectByName("TZevLispLandObj");
    if (!made || made->GetClassRecord() != &TZevLispLandObjClassRecord) {
        if (made)
            made->Release();
        QEBodyLeaveWorld(land);
        delete land;
        result = Nil;
        return;
    }
    auto* object = static_cast<TZevLispLandObj*>(made);
    object->SetLand(land, true);
    LispMakeLSObj(result, object, TZevLispLandObj_LoadFunction, TZevLispLandObj_SaveFunction);
    object->Release();
}

void XPhLoadLand(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString heightMap, texture;
    if (!LispParseArgs(interp, &args, "ss", &heightMap, &texture)) {
        result = interp->ArgError;
        return;
    }
    result = Nil;
    if (!QEWorldReady() || !heightMap.CStr() || !texture.CStr())
        return;
    TZevLandCTree* land = SearchLand(heightMap, texture, [](const char* map, const char* tex) {
        return CreateLand(map, tex, RootFrame, CurrentWorld);
    });
    if (land)
        WrapLand(result, land);
}

void XPhLoadLandWithScale(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString heightMap, texture;
    float sx = 0, sy = 0, sz = 0;
    if (!LispParseArgs(interp, &args, "ssfff", &heightMap, &texture, &sx, &sy, &sz)) {
        result = interp->ArgError;
        return;
    }
    result = Nil;
    if (!QEWorldReady() || !heightMap.CStr() || !texture.CStr())
        return;
    TZevLandCTree* land = SearchLand(heightMap, texture, [&](const char* map, const char* tex) {
        return CreateLandWithScale(map, tex, RootFrame, CurrentWorld, sx, sy, sz);
    });
    if (land)
        WrapLand(result, land);
}

void SetXPhLandMat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    TZevMatrix m;
    if (!QEParseObjectMatrix(result, interp, args, &o, &m))
        return;
    TZevLandCTree* land = ScriptLand(o);
    if (!QEWorldReady() || !land) {
        result = Nil;
        return;
    }
    QEBodyLeaveWorld(land);
    land->SetMatrix(m);
    land->AdvanceStep(0.0f);
    land->AdvanceStep(0.0f);
    QEBodyEnterWorld(land);
    result = T;
}

void XPhLandSetVisualMaterial(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    TZevMaterial m;
    if (!LispParseArgs(interp, &args, "o((ffff)(ffff)(ffff)f)", &o, &m.Diffuse[0], &m.Diffuse[1], &m.Diffuse[2],
                       &m.Diffuse[3], &m.Ambient[0], &m.Ambient[1], &m.Ambient[2], &m.Ambient[3], &m.Specular[0],
                       &m.Specular[1], &m.Specular[2], &m.Specular[3], &m.Power)) {
        result = interp->ArgError;
        return;
    }
    TZevLandCTree* land = ScriptLand(o);
    if (!QEWorldReady() || !land) {
        result = Nil;
        return;
    }
    SetVisualMaterialTree(land, m);
    result = T;
}

void XPhFogEnable(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "l", &value)) {
        result = interp->ArgError;
        return;
    }
    if (!CurrentView) {
        result = Nil;
        return;
    }
    // Only nil itself switches fog off; the atom nil and every other value switch it on.
    CurrentView->SetFogEnable(value == Nil ? 0 : 1);
    result = T;
}

template <float (TZev3DRenderer::*Setter)(float)>
void FogDistance(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    double d = 0;
    if (!LispParseArgs(interp, &args, "f", &d)) {
        result = interp->ArgError;
        return;
    }
    if (!CurrentView) {
        result = Nil;
        return;
    }
    (CurrentView->*Setter)(static_cast<float>(d));
    result = T;
}

// Red, green and blue are not masked: a value above 255 spills into the next byte up.
void XPhBgColor(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t r = 0, g = 0, b = 0;
    if (!LispParseArgs(interp, &args, "iii", &r, &g, &b)) {
        result = interp->ArgError;
        return;
    }
    if (!CurrentView) {
        result = Nil;
        return;
    }
    const std::uint32_t color = ((static_cast<std::uint32_t>(r) << 8 | static_cast<std::uint32_t>(g)) << 8) |
                                static_cast<std::uint32_t>(b);
    CurrentView->SetBackgroundColor(color);
    result = T;
}

} // namespace

void ZevEngineRegisterLand()
{
    if (gRegistered)
        return;
    gRegistered = true;
    RegisterClassRecord(&TZevLispLandObjClassRecord, "TZevLispLandObj", "TZevStringTree", CreateLispLandObj);
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevLandCTree_LoadFunction", TZevLandCTree_LoadFunction);
    d->Add("TZevLandCTree_SaveFunction", TZevLandCTree_SaveFunction);
    d->Add("TZevLispLandObj_LoadFunction", TZevLispLandObj_LoadFunction);
    d->Add("TZevLispLandObj_SaveFunction", TZevLispLandObj_SaveFunction);
    LispRegisterBuiltin(XPhLoadLand, "XPhLoadLand");
    LispRegisterBuiltin(XPhLoadLandWithScale, "XPhLoadLandWithScale");
    LispRegisterBuiltin(SetXPhLandMat, "SetXPhLandMat");
    LispRegisterBuiltin(XPhLandSetVisualMaterial, "XPhLandSetVisualMaterial");
    LispRegisterBuiltin(XPhFogEnable, "XPhFogEnable");
    LispRegisterBuiltin(FogDistance<&TZev3DRenderer::SetFogStart>, "XPhFogNear");
    LispRegisterBuiltin(FogDistance<&TZev3DRenderer::SetFogEnd>, "XPhFogFar");
    LispRegisterBuiltin(XPhBgColor, "XPhBgColor");
}
