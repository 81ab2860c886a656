// Save and load hooks of the physics classes. Bodies are saved as graphs of shared objects: a character refers to
// its rigid part, frames and meshes, a rigid part to the rigid links and joints that act on it, a link to both of
// its objects; each object is written once and referred to by its id afterwards.
//
// A stream names the reader of every object it holds, so a damaged or hostile stream could put an object of one
// class where another is expected. The physics readers therefore run inside a load session that records what each
// reader made: a reference read for a slot of one kind is accepted only when it names an object of that kind, an
// object is owned by one holder at most, and at the end of the load everything the result does not own is
// destroyed, so that a failed load leaves nothing behind and a successful one nothing half-linked.
#pragma once

#include "ZevLSObj.h"
#include "ZevMatrix.h"

#include <cstdint>

class TZevGameChara;

// The 16 floats of a matrix in element order, each as a float text. 1 on success, 0 on a failed write or read.
int WriteMatrix4(TZevStream* stream, const TZevMatrix& m);
int ReadMatrix4(TZevStream* stream, TZevMatrix& m);

// Kinds of saved physics objects.
enum EZevSavedKind : std::uint32_t {
    ZevSavedRigidBody = 1,
    ZevSavedRigidLink = 2,
    ZevSavedJoint = 4,
    ZevSavedFrame = 8,
    ZevSavedMesh = 16,
    ZevSavedGameChara = 32,
    ZevSavedCFuncItem = 64,
};

// The hooks (writer(table, stream, object) -> 1; reader(table, stream, slot) -> 1, or 0 on damage).
int TZevPhscs2RigidBody_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevPhscs2RigidBody_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevRigidLink_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevRigidLink_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevJoint_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevJoint_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevFrame_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevFrame_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevPolygonMesh_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevPolygonMesh_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
// Particles and plain dynamic objects write nothing and read nothing (a reference to one reads back as null).
int TZevPhscs2Obj_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevPhscs2Obj_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevGameChara_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevGameChara_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevGameCharaCFuncListItem_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevGameCharaCFuncListItem_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// ---- Load sessions ----
// Every load of physics objects through these hooks ends with ZevEndPhysicsLoad on the same table. It completes
// the objects under `result` (a character: its attachments, shared parts and placement), destroys every object
// of the load that `result` does not own, and returns `result`, or null when `result` is not an object of `kinds`
// made by this load. With a null result (a failed load) everything made is destroyed.
void* ZevEndPhysicsLoad(TZevObjectIdTable* table, void* result, std::uint32_t kinds);

// Whether a load of physics objects through `table` is under way (a reader has recorded an object and the load
// has not ended): a reader called inside it must leave the ending to the load that began it.
bool ZevPhysicsLoadActive(const TZevObjectIdTable* table);

// Reads a reference for a slot of `kinds`: true with the object (or null for a null reference); false, logged,
// when the stream is damaged or names an object of another kind.
bool ZevReadRefOfKind(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t kinds, void** out);
// Records an object a reader made (before it reads anything further), so the session can check and free it.
void ZevNoteLoaded(TZevObjectIdTable* table, void* object, std::uint32_t kind);
// Whether the current load made the object.
bool ZevIsLoadedObject(const void* object);
// Takes ownership of a loaded object for a holder; false when it is not of the load or has an owner already.
bool ZevClaimLoaded(void* object);
// A count read from a stream whose items take at least `itemBytes` each: false, logged, when it is negative or
// more than the rest of the stream can hold.
bool ZevReadCount(TZevStream* stream, std::int32_t itemBytes, std::int32_t* count, const char* what);
// A list saved as a count and that many references of `kinds`: each object read (or null) goes to `each`, which
// returns false to fail the list; false too when the count or a reference cannot be read.
template <class F>
bool ZevReadRefList(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t kinds, const char* what, F each)
{
    std::int32_t n = 0;
    if (!ZevReadCount(stream, 8, &n, what))
        return false;
    for (std::int32_t i = 0; i < n; ++i) {
        void* object = nullptr;
        if (!ZevReadRefOfKind(table, stream, kinds, &object) || !each(object))
            return false;
    }
    return true;
}
// A rigid link or joint listed by a rigid body while loading: its node in the body's list is assigned to the
// right side (or dropped) when the load ends, once both of its objects are known.
void ZevNoteListedLink(void* body, void* item, void* node, bool joint);
// The main part a loaded character was saved with; its attachments are rebuilt from it when the load ends.
void ZevNoteSavedMainPart(TZevGameChara* chara, void* mainPart);

// The base part of a callback item: the function's registered name, then the user word (see
// TZevGameCharaCFuncListItem::GetSaveFunction). 1 on success, 0 on a failed write or damaged stream.
class TZevGameCharaCFuncListItem;
int ZevSaveCFuncItemPart(TZevObjectIdTable* table, TZevStream* stream, TZevGameCharaCFuncListItem* item);
int ZevLoadCFuncItemPart(TZevObjectIdTable* table, TZevStream* stream, TZevGameCharaCFuncListItem* item);
// A reader of a derived callback item, accepted where a saved body expects an item.
void ZevRegisterCFuncItemReader(TZevRefReader reader);

// Callback functions a saved body may name. Only functions registered here are found again by a load: a stream
// never makes the program call a function of another signature, nor load a library.
void ZevRegisterBodyCallback(const char* name, void (*function)(TZevGameChara*, void*));
bool ZevIsBodyCallback(std::uintptr_t function);

// Start-up: registers the named hooks in the save/load dictionary and sets the stream hooks of the dynamic-object
// classes. Later calls do nothing.
void ZevPhysicsSaveLoadInit();
// The character and callback-item hooks (called by ZevGameCharaInit).
void ZevRegisterGameCharaStreamHooks();
