#include "ZevPhysicsSaveLoad.h"

#include "LispStream.h"
#include "ZevBodyBoxes.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevJoint.h"
#include "ZevListView.h"
#include "ZevMesh.h"
#include "ZevNameTable.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevRigidLink.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Matrices

int WriteMatrix4(TZevStream* stream, const TZevMatrix& m)
{
    for (int i = 0; i < 16; ++i) {
        if (!WriteFloat(stream, &m.m[i]))
            return 0;
    }
    return 1;
}

int ReadMatrix4(TZevStream* stream, TZevMatrix& m)
{
    TZevMatrix read;
    for (int i = 0; i < 16; ++i) {
        if (!ReadFloat(stream, &read.m[i]))
            return 0;
    }
    m = read;
    return 1;
}

// ---- Load session

namespace {

struct TLoadedRecord {
    void* object;
    std::uint32_t kind;
    std::int32_t claimed;
    void* savedMainPart; // characters: the main part they were saved with
};

struct TListedLink {
    void* body;
    void* item;
    TZevListNode* node;
    bool joint;
};

template <class T> struct TGrowArray {
    T* items = nullptr;
    int count = 0;
    int capacity = 0;

    bool Push(const T& value)
    {
        if (count == capacity) {
            const int wanted = capacity == 0 ? 32 : capacity * 2;
            T* grown = static_cast<T*>(ZevAlloc(sizeof(T) * static_cast<std::size_t>(wanted)));
            if (grown == nullptr)
                return false;
            for (int i = 0; i < count; ++i)
                grown[i] = items[i];
            if (items != nullptr)
                ZevFree(items);
            items = grown;
            capacity = wanted;
        }
        items[count++] = value;
        return true;
    }
    void Free()
    {
        if (items != nullptr)
            ZevFree(items);
        items = nullptr;
        count = capacity = 0;
    }
};

// One load at a time per thread (loads run under the program-wide lock).
struct TLoadSession {
    TZevObjectIdTable* table;
    TGrowArray<TLoadedRecord> records;
    TGrowArray<TListedLink> listed;
};
thread_local TLoadSession Session{};

void ForgetSession()
{
    Session.records.Free();
    Session.listed.Free();
    Session.table = nullptr;
}

void BindSession(TZevObjectIdTable* table)
{
    if (Session.table == table)
        return;
    if (Session.table != nullptr)
        ZevDebugLog("physics load: a load ended without ZevEndPhysicsLoad; its records are dropped\n");
    ForgetSession();
    Session.table = table;
}

TLoadedRecord* FindLoaded(const void* object)
{
    if (object == nullptr)
        return nullptr;
    for (int i = Session.records.count - 1; i >= 0; --i) {
        if (Session.records.items[i].object == object)
            return &Session.records.items[i];
    }
    return nullptr;
}

void LoadFailure(const char* what)
{
    char line[200];
    std::snprintf(line, sizeof line, "physics load: %s\n", what);
    ZevDebugLog(line);
}

// The registered reader of a kind.
struct TKindReader {
    TZevRefReader reader;
    std::uint32_t kind;
};
const TKindReader KindReaders[] = {
    {TZevPhscs2RigidBody_LoadFunction, ZevSavedRigidBody}, {TZevRigidLink_LoadFunction, ZevSavedRigidLink},
    {TZevJoint_LoadFunction, ZevSavedJoint},               {TZevFrame_LoadFunction, ZevSavedFrame},
    {TZevPolygonMesh_LoadFunction, ZevSavedMesh},          {TZevGameChara_LoadFunction, ZevSavedGameChara},
    {TZevGameCharaCFuncListItem_LoadFunction, ZevSavedCFuncItem},
};

// Readers of derived callback items.
TZevRefReader ItemReaders[16] = {};

std::uint32_t KindOfReader(TZevNameValue value)
{
    for (const TKindReader& k : KindReaders) {
        if (reinterpret_cast<TZevNameValue>(k.reader) == value)
            return k.kind;
    }
    for (TZevRefReader reader : ItemReaders) {
        if (reader != nullptr && reinterpret_cast<TZevNameValue>(reader) == value)
            return ZevSavedCFuncItem;
    }
    return 0;
}

} // namespace

void ZevRegisterCFuncItemReader(TZevRefReader reader)
{
    for (TZevRefReader& slot : ItemReaders) {
        if (slot == reader)
            return;
        if (slot == nullptr) {
            slot = reader;
            return;
        }
    }
    ZevDebugLog("ZevRegisterCFuncItemReader: no room for another item reader\n");
}

void ZevNoteLoaded(TZevObjectIdTable* table, void* object, std::uint32_t kind)
{
    BindSession(table);
    if (object != nullptr && !Session.records.Push(TLoadedRecord{object, kind, 0, nullptr}))
        ZevDebugLog("physics load: no memory for the load records\n");
}

bool ZevPhysicsLoadActive(const TZevObjectIdTable* table)
{
    return table != nullptr && Session.table == table && Session.records.count > 0;
}

bool ZevIsLoadedObject(const void* object)
{
    return FindLoaded(object) != nullptr;
}

bool ZevClaimLoaded(void* object)
{
    TLoadedRecord* record = FindLoaded(object);
    if (record == nullptr || record->claimed != 0) {
        LoadFailure(record == nullptr ? "an object that this load did not make" : "an object owned twice");
        return false;
    }
    record->claimed = 1;
    return true;
}

void ZevNoteListedLink(void* body, void* item, void* node, bool joint)
{
    if (!Session.listed.Push(TListedLink{body, item, static_cast<TZevListNode*>(node), joint})) {
        // Without a record the node could never be put right: it leaves the list again.
        TZevList::RemoveNode(static_cast<TZevListNode*>(node));
    }
}

void ZevNoteSavedMainPart(TZevGameChara* chara, void* mainPart)
{
    if (TLoadedRecord* record = FindLoaded(chara))
        record->savedMainPart = mainPart;
}

bool ZevReadCount(TZevStream* stream, std::int32_t itemBytes, std::int32_t* count, const char* what)
{
    std::int32_t n = 0;
    if (!ReadInt32(stream, &n)) {
        char line[160];
        std::snprintf(line, sizeof line, "the stream ends before the count of %s", what);
        LoadFailure(line);
        return false;
    }
    if (n < 0 || n > StreamBytesLeft(stream) / (itemBytes > 0 ? itemBytes : 1)) {
        char line[160];
        std::snprintf(line, sizeof line, "absurd count %d of %s", static_cast<int>(n), what);
        LoadFailure(line);
        return false;
    }
    *count = n;
    return true;
}

bool ZevReadRefOfKind(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t kinds, void** out)
{
    *out = nullptr;
    const std::int32_t start = stream->Tell();
    std::uint32_t size = 0;
    std::uint32_t id = 0;
    if (!ReadUInt32(stream, &size) || !ReadUInt32(stream, &id)) {
        LoadFailure("the stream ends inside a reference");
        return false;
    }
    if (id == 0) {
        stream->Seek(start);
        table->ReadRef(stream);
        return true;
    }
    if (TZevObjectIdRecord* known = table->Find(id)) {
        stream->Seek(start);
        void* object = table->ReadRef(stream);
        // A particle or plain dynamic object reads back as nothing; a reference to it again is null too.
        if (known->object == nullptr && object == nullptr && size == 8 && (kinds & ZevSavedRigidBody) != 0)
            return true;
        TLoadedRecord* record = Session.table == table ? FindLoaded(object) : nullptr;
        if (object == nullptr || object != known->object || record == nullptr || (record->kind & kinds) == 0) {
            LoadFailure("a reference names an object of another kind");
            return false;
        }
        *out = object;
        return true;
    }
    // A first occurrence: the reader it names decides the kind of what comes.
    TZevNameValue value = 0;
    if (!ReadStreamFunctionName(stream, &value)) {
        LoadFailure("a reference names no registered reader");
        stream->Seek(start);
        return false;
    }
    if (value == reinterpret_cast<TZevNameValue>(TZevPhscs2Obj_LoadFunction) && (kinds & ZevSavedRigidBody) != 0) {
        stream->Seek(start);
        table->ReadRef(stream);
        return true;
    }
    if ((KindOfReader(value) & kinds) == 0) {
        LoadFailure("a reference names a reader of another kind");
        stream->Seek(start);
        return false;
    }
    stream->Seek(start);
    void* object = table->ReadRef(stream);
    TLoadedRecord* record = FindLoaded(object);
    if (object == nullptr || record == nullptr || (record->kind & kinds) == 0) {
        LoadFailure("an object could not be read");
        return false;
    }
    *out = object;
    return true;
}

namespace {

// Puts each listed link's node on the side of the body that listed it, now that both objects are known.
void ResolveListedLinks()
{
    for (int i = 0; i < Session.listed.count; ++i) {
        TListedLink& e = Session.listed.items[i];
        TZevPhscs2Obj* a = nullptr;
        TZevPhscs2Obj* b = nullptr;
        TZevListNode** nodeA = nullptr;
        TZevListNode** nodeB = nullptr;
        if (e.joint) {
            TZevJoint* joint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(e.item));
            a = joint->ObjectA();
            b = joint->ObjectB();
            nodeA = &joint->NodeA;
            nodeB = &joint->NodeB;
        } else {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(e.item));
            a = link->ObjectA;
            b = link->ObjectB;
            nodeA = &link->NodeA;
            nodeB = &link->NodeB;
        }
        if (a == e.body && *nodeA == nullptr) {
            *nodeA = e.node;
        } else if (b == e.body && *nodeB == nullptr) {
            *nodeB = e.node;
        } else {
            LoadFailure("a body lists a link that does not name it");
            TZevList::RemoveNode(e.node);
        }
    }
}

bool IsLoadedKind(const void* object, std::uint32_t kind)
{
    const TLoadedRecord* record = FindLoaded(object);
    return record != nullptr && (record->kind & kind) != 0;
}

// Attachments, shared parts, joints and placement of a loaded character tree, parents first.
void CompleteCharaTree(TZevGameChara* root)
{
    TZevList stack;
    stack.PushFront(root);
    while (TZevGameChara* c = ZevPopItem<TZevGameChara>(stack)) {
        TZevGameChara* parent = c == root ? nullptr : static_cast<TZevGameChara*>(static_cast<TZevBoxNode*>(c->Parent()));
        c->AttachList.Clear();
        c->AttachParent = parent;
        if (parent != nullptr)
            c->AttachList.Add(parent);
        for (TZevCTree* child = c->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
            c->AttachList.Add(static_cast<TZevGameChara*>(child));
        const TLoadedRecord* record = FindLoaded(c);
        void* saved = record != nullptr ? record->savedMainPart : nullptr;
        c->MainPart = parent != nullptr && saved != nullptr && saved == parent->MainPart ? parent->MainPart : c->RigidPart;
        if (TZevJoint* joint = c->ParentJoint) {
            TZevPhscs2Obj* parentPart = parent != nullptr ? parent->MainPart : nullptr;
            const bool joins = (joint->ObjectA() == parentPart && joint->ObjectB() == c->MainPart) ||
                               (joint->ObjectB() == parentPart && joint->ObjectA() == c->MainPart);
            if (!IsLoadedKind(joint, ZevSavedJoint) || parentPart == nullptr || !joins || joint->NodeA == nullptr ||
                joint->NodeB == nullptr)
                c->ParentJoint = nullptr;
        }
        if (c->primitiveRoot != nullptr)
            AssignBoxObject(c->primitiveRoot, c->MainPart);
        c->MainPart->Flags = c->Dynamic;
        c->MainPart->Fixed = c->Fixed;
        if (c->MainPart == c->RigidPart) {
            TZevMatrix world = c->matrix;
            if (parent != nullptr)
                ZevMatMultiply(world, c->matrix, parent->worldMatrix);
            TZevMatrix inverseOffset;
            if (!ZevMatInverse(inverseOffset, c->PartOffset))
                inverseOffset = TZevMatrix();
            TZevMatrix pose;
            ZevMatMultiply(pose, inverseOffset, world);
            c->RigidPart->SetMatrix(pose);
        }
        // Both vertex arrays at the loaded pose, without a step of the part.
        for (int k = 0; k < 2; ++k) {
            c->previousMatrix = c->matrix;
            c->SwapVertexArrays();
            c->level = 2;
            c->TZevCollisionMeshObj::UpdateWorldMatrix(0.0f);
        }
        c->level = 2;
        c->UpdateBox();
        ZevPushChildren<TZevGameChara>(stack, c);
    }
}

} // namespace

void* ZevEndPhysicsLoad(TZevObjectIdTable* table, void* result, std::uint32_t kinds)
{
    if (Session.table != table) {
        // Nothing of this load was recorded: it cannot have made a physics object.
        return nullptr;
    }
    ResolveListedLinks();
    TLoadedRecord* kept = FindLoaded(result);
    if (result != nullptr && (kept == nullptr || (kept->kind & kinds) == 0 || kept->claimed != 0)) {
        LoadFailure("the result is not an object of the kind asked for");
        result = nullptr;
        kept = nullptr;
    }
    if (kept != nullptr) {
        kept->claimed = 1;
        if (kept->kind == ZevSavedGameChara)
            CompleteCharaTree(static_cast<TZevGameChara*>(result));
    }
    TLoadedRecord* r = Session.records.items;
    const int n = Session.records.count;
    // Links and joints that no body lists, then the unowned characters (with everything they own), rigid bodies,
    // frames and callback items; the load's own mesh references last.
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedJoint) {
            TZevJoint* joint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(r[i].object));
            if (joint->InPool == 0 && joint->NodeA == nullptr && joint->NodeB == nullptr && r[i].claimed == 0)
                joint->Release();
        }
    }
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedRigidLink && r[i].claimed == 0) {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(r[i].object));
            if (link->InPool == 0 && link->NodeA == nullptr && link->NodeB == nullptr)
                link->Release();
        }
    }
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedGameChara && r[i].claimed == 0)
            delete static_cast<TZevGameChara*>(r[i].object);
    }
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedRigidBody && r[i].claimed == 0)
            delete static_cast<TZevPhscs2RigidBody*>(r[i].object);
    }
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedFrame && r[i].claimed == 0)
            delete static_cast<TZevFrame*>(r[i].object);
        else if (r[i].kind == ZevSavedCFuncItem && r[i].claimed == 0)
            delete static_cast<TZevGameCharaCFuncListItem*>(r[i].object);
    }
    for (int i = 0; i < n; ++i) {
        if (r[i].kind == ZevSavedMesh)
            static_cast<TZevPolygonMesh*>(r[i].object)->Release();
    }
    ForgetSession();
    return result;
}

// ---- Body callbacks

namespace {

TGrowArray<std::uintptr_t> BodyCallbacks;

void FreeBodyCallbacks()
{
    BodyCallbacks.Free();
}

} // namespace

void ZevRegisterBodyCallback(const char* name, void (*function)(TZevGameChara*, void*))
{
    if (name == nullptr || function == nullptr)
        return;
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(function);
    if (!ZevIsBodyCallback(value)) {
        if (BodyCallbacks.count == 0)
            std::atexit(FreeBodyCallbacks);
        BodyCallbacks.Push(value);
    }
    if (GetFunctionDictionary()->Find(name) == nullptr)
        GetFunctionDictionary()->Add(name, function);
}

bool ZevIsBodyCallback(std::uintptr_t function)
{
    for (int i = 0; i < BodyCallbacks.count; ++i) {
        if (BodyCallbacks.items[i] == function)
            return true;
    }
    return false;
}

// ---- Hooks of the dynamic objects, links and joints

namespace {

bool WriteFloats(TZevStream* stream, const float* values, int n)
{
    for (int i = 0; i < n; ++i) {
        if (!WriteFloat(stream, &values[i]))
            return false;
    }
    return true;
}

bool ReadFloats(TZevStream* stream, float* values, int n)
{
    for (int i = 0; i < n; ++i) {
        if (!ReadFloat(stream, &values[i])) {
            LoadFailure("the stream ends inside a float");
            return false;
        }
    }
    return true;
}

bool WriteVector(TZevStream* stream, const TZevVector& v)
{
    const float f[3] = {v.x, v.y, v.z};
    return WriteFloats(stream, f, 3);
}

bool ReadVector(TZevStream* stream, TZevVector& v)
{
    float f[3];
    if (!ReadFloats(stream, f, 3))
        return false;
    v = TZevVector(f[0], f[1], f[2]);
    return true;
}

bool ReadRawInt(TZevStream* stream, std::int32_t* value)
{
    if (!ReadInt32(stream, value)) {
        LoadFailure("the stream ends inside an integer");
        return false;
    }
    return true;
}

int Fail(void** slot)
{
    *slot = nullptr;
    return 0;
}

bool WriteObjectRef(TZevObjectIdTable* table, TZevStream* stream, TZevPhscs2Obj* object)
{
    if (object == nullptr)
        return table->WriteRef(stream, nullptr, nullptr, nullptr) != 0;
    return table->WriteRef(stream, object->ClassInfo->save, object->ClassInfo->load, object) != 0;
}

} // namespace

int TZevPhscs2RigidBody_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevPhscs2RigidBody* body = static_cast<TZevPhscs2RigidBody*>(object);
    bool ok = WriteInt32(stream, body->RigidLinks.GetCount());
    for (TZevReleasableLink* link : ZevItems<TZevReleasableLink>(body->RigidLinks))
        ok = table->WriteRef(stream, TZevRigidLink_SaveFunction, TZevRigidLink_LoadFunction, link) != 0 && ok;
    ok = WriteInt32(stream, body->Joints.GetCount()) && ok;
    for (TZevReleasableLink* link : ZevItems<TZevReleasableLink>(body->Joints))
        ok = table->WriteRef(stream, TZevJoint_SaveFunction, TZevJoint_LoadFunction, link) != 0 && ok;
    ok = WriteFloats(stream, body->Inertia.m, 9) && ok;
    ok = WriteFloat(stream, &body->Mass) && ok;
    return ok ? 1 : 0;
}

int TZevPhscs2RigidBody_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevPhscs2RigidBody* body = new TZevPhscs2RigidBody;
    *slot = body; // first, so that links read below find their way back to it
    ZevNoteLoaded(table, body, ZevSavedRigidBody);
    const auto note = [body](void* item, TZevList& list, bool joint) {
        if (item != nullptr)
            ZevNoteListedLink(body, item, list.Add(item), joint);
        return true;
    };
    if (!ZevReadRefList(table, stream, ZevSavedRigidLink, "rigid links",
                        [&](void* link) { return note(link, body->RigidLinks, false); }) ||
        !ZevReadRefList(table, stream, ZevSavedJoint, "joints",
                        [&](void* joint) { return note(joint, body->Joints, true); }))
        return Fail(slot);
    if (!ReadFloats(stream, body->Inertia.m, 9) || !ReadFloats(stream, &body->Mass, 1))
        return Fail(slot);
    return 1;
}

int TZevRigidLink_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(object));
    const float values[5] = {link->Tolerance, link->Spring, link->Damper, link->StaticFriction,
                             link->DynamicFriction};
    bool ok = WriteInt32(stream, link->State);
    ok = WriteFloats(stream, values, 5) && ok;
    ok = WriteVector(stream, link->AttachA) && WriteVector(stream, link->AttachB) && ok;
    ok = WriteInt32(stream, link->Active) && ok;
    ok = WriteObjectRef(table, stream, link->ObjectA) && ok;
    ok = WriteObjectRef(table, stream, link->ObjectB) && ok;
    return ok ? 1 : 0;
}

int TZevRigidLink_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevRigidLink* link = NewRigidLink();
    *slot = static_cast<TZevReleasableLink*>(link);
    ZevNoteLoaded(table, *slot, ZevSavedRigidLink);
    float values[5];
    if (!ReadRawInt(stream, &link->State) || !ReadFloats(stream, values, 5) || !ReadVector(stream, link->AttachA) ||
        !ReadVector(stream, link->AttachB) || !ReadRawInt(stream, &link->Active))
        return Fail(slot);
    link->Tolerance = values[0];
    link->Spring = values[1];
    link->Damper = values[2];
    link->StaticFriction = values[3];
    link->DynamicFriction = values[4];
    link->RestLength = 0.0f;
    void* a = nullptr;
    void* b = nullptr;
    if (!ZevReadRefOfKind(table, stream, ZevSavedRigidBody, &a))
        return Fail(slot);
    link->ObjectA = static_cast<TZevPhscs2RigidBody*>(a);
    if (!ZevReadRefOfKind(table, stream, ZevSavedRigidBody, &b))
        return Fail(slot);
    link->ObjectB = static_cast<TZevPhscs2RigidBody*>(b);
    return 1;
}

namespace {

// The 34 floats of a joint after its limit flag, in stream order.
void JointFloats(TZevJoint* j, float* out[34])
{
    TZevVector* vectors[8] = {&j->PivotA, &j->PivotB, &j->AxisA, &j->AxisB, &j->RefA, &j->RefB, &j->CurRefA,
                              &j->CurAxisA};
    int k = 0;
    for (TZevVector* v : vectors) {
        out[k++] = &v->x;
        out[k++] = &v->y;
        out[k++] = &v->z;
    }
    float* rest[10] = {&j->Size,   &j->Torque,         &j->RotationalDamper, &j->StaticFrictionCoeff,
                       &j->DynamicFrictionCoeff,        &j->Brake,            &j->SpringReserved,
                       &j->LinkSpring, &j->LinkDamper, &j->GuessValue};
    for (float* f : rest)
        out[k++] = f;
}

void JointAxis2Floats(TZevJoint* j, float* out[8])
{
    float* f[8] = {&j->Torque2, &j->RotationalDamper2, &j->StaticFrictionCoeff2, &j->DynamicFrictionCoeff2,
                   &j->Brake2,  &j->Theta2,            &j->MaxTheta2,            &j->MinTheta2};
    for (int i = 0; i < 8; ++i)
        out[i] = f[i];
}

} // namespace

int TZevJoint_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevJoint* joint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(object));
    bool ok = WriteInt32(stream, joint->LimitFlag);
    float* f[34];
    JointFloats(joint, f);
    for (float* p : f)
        ok = WriteFloat(stream, p) && ok;
    const float angles[3] = {joint->Theta, joint->MaxTheta, joint->MinTheta};
    ok = WriteFloats(stream, angles, 3) && ok;
    ok = WriteInt32(stream, joint->AxisCount) && WriteInt32(stream, joint->State2) &&
         WriteInt32(stream, joint->LimitFlag2) && ok;
    float* g[8];
    JointAxis2Floats(joint, g);
    for (float* p : g)
        ok = WriteFloat(stream, p) && ok;
    for (TZevRigidLink* link : joint->Links) {
        ok = table->WriteRef(stream, TZevRigidLink_SaveFunction, TZevRigidLink_LoadFunction,
                             link != nullptr ? static_cast<TZevReleasableLink*>(link) : nullptr) != 0 &&
             ok;
    }
    return ok ? 1 : 0;
}

int TZevJoint_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevJoint* joint = NewJoint();
    *slot = static_cast<TZevReleasableLink*>(joint);
    ZevNoteLoaded(table, *slot, ZevSavedJoint);
    if (!ReadRawInt(stream, &joint->LimitFlag))
        return Fail(slot);
    float* f[34];
    JointFloats(joint, f);
    for (float* p : f) {
        if (!ReadFloats(stream, p, 1))
            return Fail(slot);
    }
    if (!ReadFloats(stream, &joint->Theta, 1) || !ReadFloats(stream, &joint->MaxTheta, 1) ||
        !ReadFloats(stream, &joint->MinTheta, 1) || !ReadRawInt(stream, &joint->AxisCount) ||
        !ReadRawInt(stream, &joint->State2) || !ReadRawInt(stream, &joint->LimitFlag2))
        return Fail(slot);
    float* g[8];
    JointAxis2Floats(joint, g);
    for (float* p : g) {
        if (!ReadFloats(stream, p, 1))
            return Fail(slot);
    }
    for (TZevRigidLink*& link : joint->Links) {
        void* read = nullptr;
        if (!ZevReadRefOfKind(table, stream, ZevSavedRigidLink, &read))
            return Fail(slot);
        if (read != nullptr && !ZevClaimLoaded(read))
            return Fail(slot);
        link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(read));
    }
    return 1;
}

int TZevFrame_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    (void)table;
    return WriteMatrix4(stream, static_cast<TZevFrame*>(static_cast<TZevLSObj*>(object))->LocalMatrix);
}

int TZevFrame_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevLSObj* made = CreateObjectByName("TZevFrame");
    TZevFrame* frame = dynamic_cast<TZevFrame*>(made);
    if (frame == nullptr) {
        delete made;
        return Fail(slot);
    }
    *slot = static_cast<TZevLSObj*>(frame);
    ZevNoteLoaded(table, *slot, ZevSavedFrame);
    if (!ReadMatrix4(stream, frame->LocalMatrix)) {
        LoadFailure("the stream ends inside a frame matrix");
        return Fail(slot);
    }
    return 1;
}

int TZevPolygonMesh_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    (void)table;
    return static_cast<TZevPolygonMesh*>(static_cast<TZevLSObj*>(object))->Save(stream) ? 1 : 0;
}

int TZevPolygonMesh_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevLSObj* read = ReadObject(stream);
    TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(read);
    if (mesh == nullptr) {
        if (read != nullptr) {
            LoadFailure("a mesh slot holds an object of another class");
            read->Release();
        } else {
            LoadFailure("a mesh could not be read");
        }
        return Fail(slot);
    }
    *slot = static_cast<TZevLSObj*>(mesh);
    ZevNoteLoaded(table, *slot, ZevSavedMesh);
    return 1;
}

int TZevPhscs2Obj_SaveFunction(TZevObjectIdTable*, TZevStream*, void*)
{
    return 1;
}

int TZevPhscs2Obj_LoadFunction(TZevObjectIdTable*, TZevStream*, void** slot)
{
    *slot = nullptr;
    return 1;
}

void ZevPhysicsSaveLoadInit()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The objects of these readers belong to the load of a body; a script value never holds one.
    LispWrapperReaderRefused = [](std::uintptr_t reader) { return KindOfReader(reader) != 0; };
    ZevPhscs2Init();
    ZevRigidLinkInit();
    ZevJointInit();
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevJoint_LoadFunction", TZevJoint_LoadFunction);
    d->Add("TZevJoint_SaveFunction", TZevJoint_SaveFunction);
    d->Add("TZevPhscs2Obj_LoadFunction", TZevPhscs2Obj_LoadFunction);
    d->Add("TZevPhscs2Obj_SaveFunction", TZevPhscs2Obj_SaveFunction);
    d->Add("TZevRigidLink_LoadFunction", TZevRigidLink_LoadFunction);
    d->Add("TZevRigidLink_SaveFunction", TZevRigidLink_SaveFunction);
    d->Add("TZevPhscs2RigidBody_LoadFunction", TZevPhscs2RigidBody_LoadFunction);
    d->Add("TZevPhscs2RigidBody_SaveFunction", TZevPhscs2RigidBody_SaveFunction);
    // Particles share the empty functions of the plain object.
    d->Add("TZevPhscs2Particle_LoadFunction", TZevPhscs2Obj_LoadFunction);
    d->Add("TZevPhscs2Particle_SaveFunction", TZevPhscs2Obj_SaveFunction);
    d->Add("TZevFrame_LoadFunction", TZevFrame_LoadFunction);
    d->Add("TZevFrame_SaveFunction", TZevFrame_SaveFunction);
    d->Add("TZevPolygonMesh_LoadFunction", TZevPolygonMesh_LoadFunction);
    d->Add("TZevPolygonMesh_SaveFunction", TZevPolygonMesh_SaveFunction);
    ZevSetPhscs2ClassHooks(ZevPhscs2ObjClassInfo(), TZevPhscs2Obj_LoadFunction, TZevPhscs2Obj_SaveFunction);
    ZevSetPhscs2ClassHooks(ZevPhscs2ParticleClassInfo(), TZevPhscs2Obj_LoadFunction, TZevPhscs2Obj_SaveFunction);
    ZevSetPhscs2ClassHooks(ZevPhscs2RigidBodyClassInfo(), TZevPhscs2RigidBody_LoadFunction,
                           TZevPhscs2RigidBody_SaveFunction);
}
