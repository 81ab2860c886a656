// The stream hooks of game characters and their callback items.
#include "ZevGameChara.h"
#include "ZevListView.h"
#include "ZevPhysicsSaveLoad.h"

#include "LispLSObj.h"
#include "LispStream.h"
#include "ZevNameTable.h"

#include <cstdio>

namespace {

void Log(const char* what)
{
    char line[200];
    std::snprintf(line, sizeof line, "physics load: %s\n", what);
    ZevDebugLog(line);
}

int Fail(void** slot)
{
    *slot = nullptr;
    return 0;
}

bool WriteCharaRef(TZevObjectIdTable* table, TZevStream* stream, void* chara)
{
    return table->WriteRef(stream, TZevGameChara_SaveFunction, TZevGameChara_LoadFunction, chara) != 0;
}

bool WriteRigidRef(TZevObjectIdTable* table, TZevStream* stream, TZevPhscs2Obj* part)
{
    if (part == nullptr)
        return table->WriteRef(stream, nullptr, nullptr, nullptr) != 0;
    return table->WriteRef(stream, part->ClassInfo->save, part->ClassInfo->load, part) != 0;
}

// True when `node` is `body` or lies above it.
bool IsAncestorOrSelf(const TZevCollisionNode* node, const TZevCollisionNode* body)
{
    for (const TZevCollisionNode* p = body; p != nullptr; p = p->Parent()) {
        if (p == node)
            return true;
    }
    return false;
}

} // namespace

int TZevGameChara_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevGameChara* c = static_cast<TZevGameChara*>(object);
    bool ok = WriteRigidRef(table, stream, c->RigidPart);
    ok = WriteRigidRef(table, stream, c->MainPart) && ok;
    ok = WriteInt32(stream, c->StateObjects.GetCount()) && ok;
    for (TZevPhscs2Obj* object : ZevItems<TZevPhscs2Obj>(c->StateObjects))
        ok = WriteRigidRef(table, stream, object) && ok;
    ok = WriteInt32(stream, c->AttachList.GetCount()) && ok;
    for (TZevGameChara* other : ZevItems<TZevGameChara>(c->AttachList))
        ok = WriteCharaRef(table, stream, other) && ok;
    ok = table->WriteRef(stream, TZevJoint_SaveFunction, TZevJoint_LoadFunction,
                         c->ParentJoint != nullptr ? static_cast<TZevReleasableLink*>(c->ParentJoint) : nullptr) != 0 &&
         ok;
    ok = table->WriteRef(stream, TZevFrame_SaveFunction, TZevFrame_LoadFunction,
                         c->visualFrame != nullptr ? static_cast<TZevLSObj*>(c->visualFrame) : nullptr) != 0 &&
         ok;
    ok = table->WriteRef(stream, TZevPolygonMesh_SaveFunction, TZevPolygonMesh_LoadFunction,
                         c->visualMesh != nullptr ? static_cast<TZevLSObj*>(c->visualMesh) : nullptr) != 0 &&
         ok;
    ok = table->WriteRef(stream, TZevPolygonMesh_SaveFunction, TZevPolygonMesh_LoadFunction,
                         c->collisionMesh != nullptr ? static_cast<TZevLSObj*>(c->collisionMesh) : nullptr) != 0 &&
         ok;
    ok = WriteMatrix4(stream, c->PartOffset) && ok;
    ok = WriteMatrix4(stream, c->matrix) && ok;
    ok = WriteFloat(stream, &c->LinearDamping) && ok;
    ok = WriteInt32(stream, c->Dynamic) && WriteInt32(stream, c->Fixed) && WriteInt32(stream, c->NoRetest) && ok;
    std::int32_t children = 0;
    for (TZevCTree* child = c->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        ++children;
    ok = WriteInt32(stream, children) && ok;
    for (TZevCTree* child = c->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        ok = WriteCharaRef(table, stream, static_cast<TZevGameChara*>(child)) && ok;
    ok = WriteInt32(stream, c->CFuncItems.GetCount()) && ok;
    // Oldest first, so that pushing each to the front on loading gives the same order.
    for (TZevListNode* node = c->CFuncItems.Last(); node != c->CFuncItems.End(); node = node->prev) {
        TZevGameCharaCFuncListItem* item = ZevItem<TZevGameCharaCFuncListItem>(node);
        ok = table->WriteRef(stream, item->GetSaveFunction(), item->GetLoadFunction(), static_cast<TZevLSObj*>(item)) !=
                 0 &&
             ok;
    }
    ok = LispSaveValue(table, stream, &c->ScriptWrapper) != 0 && ok;
    ok = LispSaveValue(table, stream, &c->ScriptFunction) != 0 && ok;
    ok = LispSaveValue(table, stream, &c->ScriptData) != 0 && ok;
    return ok ? 1 : 0;
}

int TZevGameChara_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevGameChara* c = new TZevGameChara;
    *slot = c;
    ZevNoteLoaded(table, c, ZevSavedGameChara);

    void* part = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedRigidBody, &part))
        return Fail(slot);
    if (part != nullptr) {
        if (!ZevClaimLoaded(part))
            return Fail(slot);
        UnlinkBodyAndRigidBody(c, c->RigidPart);
        delete c->RigidPart;
        c->RigidPart = static_cast<TZevPhscs2RigidBody*>(part);
        c->RigidPart->Owner = c;
        c->MainPart = c->RigidPart;
        LinkBodyAndRigidBody(c, c->RigidPart);
    }
    void* main = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedRigidBody, &main))
        return Fail(slot);
    ZevNoteSavedMainPart(c, main);
    // The part lists and the attachments are rebuilt from the parts and the tree when the load ends; they are
    // read here to check them and to keep the stream in step.
    const auto skip = [](void*) { return true; };
    if (!ZevReadRefList(table, stream, ZevSavedRigidBody, "parts", skip) ||
        !ZevReadRefList(table, stream, ZevSavedGameChara, "attached characters", skip))
        return Fail(slot);
    void* joint = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedJoint, &joint))
        return Fail(slot);
    c->ParentJoint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(joint));
    void* frame = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedFrame, &frame) || (frame != nullptr && !ZevClaimLoaded(frame)))
        return Fail(slot);
    c->visualFrame = static_cast<TZevFrame*>(static_cast<TZevLSObj*>(frame));
    void* visual = nullptr;
    void* collision = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedMesh, &visual) ||
        !ZevReadRefOfKind(table, stream, ZevSavedMesh, &collision))
        return Fail(slot);
    c->SetVisualMesh(static_cast<TZevPolygonMesh*>(static_cast<TZevLSObj*>(visual)));
    if (!ReadMatrix4(stream, c->PartOffset) || !ReadMatrix4(stream, c->matrix) ||
        !ReadFloat(stream, &c->LinearDamping) || !ReadInt32(stream, &c->Dynamic) || !ReadInt32(stream, &c->Fixed) ||
        !ReadInt32(stream, &c->NoRetest)) {
        Log("the stream ends inside a character");
        return Fail(slot);
    }
    const TZevMatrix placed = c->matrix;
    c->SetCollisionMesh(static_cast<TZevPolygonMesh*>(static_cast<TZevLSObj*>(collision)));
    c->matrix = placed;
    const bool childrenRead = ZevReadRefList(table, stream, ZevSavedGameChara, "child characters", [c](void* read) {
        if (read == nullptr)
            return true;
        TZevGameChara* child = static_cast<TZevGameChara*>(read);
        if (IsAncestorOrSelf(child, c)) {
            Log("a character is its own ancestor");
            return false;
        }
        if (!ZevClaimLoaded(child))
            return false;
        c->AppendChild(child);
        if (c->visualFrame != nullptr && child->visualFrame != nullptr)
            c->visualFrame->AddChild(child->visualFrame);
        return true;
    });
    if (!childrenRead)
        return Fail(slot);
    const bool itemsRead = ZevReadRefList(table, stream, ZevSavedCFuncItem, "callback items", [c](void* read) {
        if (read == nullptr)
            return true;
        if (!ZevClaimLoaded(read))
            return false;
        // In the saved order, oldest first; not by name, so that a damaged name cannot drop another item.
        auto* item = static_cast<TZevGameCharaCFuncListItem*>(static_cast<TZevLSObj*>(read));
        item->Node = c->CFuncItems.PushFront(item);
        return true;
    });
    if (!itemsRead)
        return Fail(slot);
    if (!LispLoadValue(table, stream, &c->ScriptWrapper) || !LispLoadValue(table, stream, &c->ScriptFunction) ||
        !LispLoadValue(table, stream, &c->ScriptData)) {
        Log("the script values of a character cannot be read");
        return Fail(slot);
    }
    // A wrapper that holds no script body of this character would hand the script function a stranger.
    TZevScriptBody* script = LispIsLSObj(c->ScriptWrapper)
                                 ? dynamic_cast<TZevScriptBody*>(LispLSObj(c->ScriptWrapper)->Object)
                                 : nullptr;
    if (script != nullptr)
        script->Body = c;
    else
        c->ScriptWrapper.Clear();
    c->ScriptFunctionSet = c->ScriptFunction.IsNull() ? 0 : 1;
    return 1;
}

TZevRefWriter TZevGameCharaCFuncListItem::GetSaveFunction() const
{
    return TZevGameCharaCFuncListItem_SaveFunction;
}

TZevRefReader TZevGameCharaCFuncListItem::GetLoadFunction() const
{
    return TZevGameCharaCFuncListItem_LoadFunction;
}

int ZevSaveCFuncItemPart(TZevObjectIdTable* table, TZevStream* stream, TZevGameCharaCFuncListItem* item)
{
    bool ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(item->Function)) != 0;
    if (item->SaveUserData != nullptr && item->LoadUserData != nullptr)
        ok = table->WriteRef(stream, item->SaveUserData, item->LoadUserData, item->UserData) != 0 && ok;
    else
        ok = table->WriteRef(stream, nullptr, nullptr, nullptr) != 0 && ok;
    // The name last: without it the items of a loaded body could no longer be replaced by name.
    ok = WriteString(stream, item->Name) && ok;
    return ok ? 1 : 0;
}

int ZevLoadCFuncItemPart(TZevObjectIdTable* table, TZevStream* stream, TZevGameCharaCFuncListItem* item)
{
    TZevNameValue function = 0;
    if (!ReadFunctionName(stream, &function)) {
        Log("the stream ends inside a callback item");
        return 0;
    }
    // Only functions registered as body callbacks are called: any other name leaves the item idle.
    if (function != 0 && ZevIsBodyCallback(function))
        item->Function = reinterpret_cast<TZevGameCharaCFunc>(function);
    else if (function != 0)
        Log("a callback item names a function that is no body callback; it stays idle");
    item->UserData = table->ReadRef(stream);
    // A physics object of the load may be freed when the load ends: it is no user word (the item itself is).
    if (item->UserData != nullptr && item->UserData != static_cast<TZevLSObj*>(item) &&
        ZevIsLoadedObject(item->UserData)) {
        Log("a callback item's user word names a physics object; it is dropped");
        item->UserData = nullptr;
    }
    TZevString name;
    if (!ReadString(stream, &name)) {
        Log("the stream ends inside a callback item's name");
        return 0;
    }
    item->Name = name.IsNull() ? "" : name.CStr();
    return 1;
}

int TZevGameCharaCFuncListItem_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    return ZevSaveCFuncItemPart(table, stream,
                                static_cast<TZevGameCharaCFuncListItem*>(static_cast<TZevLSObj*>(object)));
}

int TZevGameCharaCFuncListItem_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevGameCharaCFuncListItem* item = ZevNewCFuncItem("", nullptr, nullptr);
    *slot = static_cast<TZevLSObj*>(item);
    ZevNoteLoaded(table, *slot, ZevSavedCFuncItem);
    if (ZevLoadCFuncItemPart(table, stream, item) == 0)
        return Fail(slot);
    return 1;
}

void ZevRegisterGameCharaStreamHooks()
{
    ZevPhysicsSaveLoadInit();
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevGameChara_LoadFunction", TZevGameChara_LoadFunction);
    d->Add("TZevGameChara_SaveFunction", TZevGameChara_SaveFunction);
    d->Add("TZevGameCharaCFuncListItem_LoadFunction", TZevGameCharaCFuncListItem_LoadFunction);
    d->Add("TZevGameCharaCFuncListItem_SaveFunction", TZevGameCharaCFuncListItem_SaveFunction);
}
