#include "QEBodies.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "LispStream.h"
#include "QEBodyState.h"
#include "QEContext.h"
#include "QEJoints.h"
#include "ZevBodyUtil.h"
#include "ZevEasyDeformableObj.h"
#include "ZevJoint.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevNameTable.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsSaveLoad.h"

#include <cmath>
#include <cstdio>
#include <vector>

TZevClassRecord TZevLispXPhBodyClassRecord;
TZevClassRecord TZevLispXPhJointClassRecord;

namespace {

TZevLSObj* CreateTZevLispXPhBody() { return ZevCreateRegistered<TZevLispXPhBody>(&TZevLispXPhBodyClassRecord); }
TZevLSObj* CreateTZevLispXPhJoint() { return ZevCreateRegistered<TZevLispXPhJoint>(&TZevLispXPhJointClassRecord); }

// Destroys a body, through its world when it is in one (a body deleted during the callback walk goes once the
// walk is over).
void DestroyBody(TZevGameChara* body)
{
    QEForgetBody(body);
    if (TZevPhscs2World* world = ZevBodyWorld(body))
        world->DeleteBody(body);
    else
        delete body;
}

} // namespace

// ---- Wrappers ----------------------------------------------------------------------------------------------------

TZevLispXPhBody::TZevLispXPhBody()
{
    ListNode = XPhBodyList.Add(this);
}

TZevLispXPhBody::~TZevLispXPhBody()
{
    if (TZevGameChara* body = Body) {
        Body = nullptr;
        TZevPhscs2World* world = ZevBodyWorld(body);
        if (OwnsBody && (!world || world == CurrentWorld)) {
            DestroyBody(body);
        }
    }
    if (ListNode)
        TZevList::RemoveNode(ListNode);
    ListNode = nullptr;
    Result.Clear();
}

void TZevLispXPhBody::ForgetBody()
{
    Body = nullptr;
    Result.Clear();
}

TZevLispXPhJoint::TZevLispXPhJoint()
{
    ListNode = XPhJointList.Add(this);
}

TZevLispXPhJoint::~TZevLispXPhJoint()
{
    if (ListNode)
        TZevList::RemoveNode(ListNode);
    ListNode = nullptr;
    Joint = nullptr;
}

TZevLispXPhBody* NewLispXPhBody(TZevGameChara* body)
{
    TZevLispXPhBody* wrapper = dynamic_cast<TZevLispXPhBody*>(CreateObjectByName("TZevLispXPhBody"));
    if (wrapper)
        wrapper->Body = body;
    return wrapper;
}

TZevLispXPhJoint* NewLispXPhJoint(TZevJoint* joint)
{
    TZevLispXPhJoint* wrapper = dynamic_cast<TZevLispXPhJoint*>(CreateObjectByName("TZevLispXPhJoint"));
    if (wrapper) {
        wrapper->Joint = joint;
        // A joint a script can hold is a live handle for the exports too.
        if (joint)
            QEJointHandle(joint);
    }
    return wrapper;
}

TZevLispXPhBody* QEScriptBodyWrapper(TZevLSObj* object)
{
    if (!object || object->GetClassRecord() != &TZevLispXPhBodyClassRecord)
        return nullptr;
    return static_cast<TZevLispXPhBody*>(object);
}

TZevGameChara* QEScriptBody(TZevLSObj* object)
{
    TZevLispXPhBody* wrapper = QEScriptBodyWrapper(object);
    return wrapper ? wrapper->Body : nullptr;
}

TZevLispXPhJoint* QEScriptJointWrapper(TZevLSObj* object)
{
    if (!object || object->GetClassRecord() != &TZevLispXPhJointClassRecord)
        return nullptr;
    return static_cast<TZevLispXPhJoint*>(object);
}

// ---- Script values -----------------------------------------------------------------------------------------------

namespace {

int TZevLispXPhBody_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevLispXPhBody_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevLispXPhJoint_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevLispXPhJoint_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// Whether the reference record at the stream's position holds its object (its first occurrence in the stream)
// rather than only naming one met before. The position is kept.
bool IsFirstOccurrence(TZevStream* stream)
{
    const std::int32_t at = stream->Tell();
    std::uint32_t size = 0;
    const bool read = ReadUInt32(stream, &size);
    stream->Seek(at);
    return read && size > 8;
}

int TZevLispXPhBody_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevLispXPhBody* wrapper = QEScriptBodyWrapper(static_cast<TZevLSObj*>(object));
    return table->WriteRef(stream, TZevGameChara_SaveFunction, TZevGameChara_LoadFunction,
                           wrapper ? wrapper->Body : nullptr);
}

// Bodies read for script values wait outside the world until the whole value load has succeeded; a load that
// fails later destroys them again, so a damaged stream leaves the world as it was. Each entry holds a reference
// to its wrapper.
struct TPendingBody {
    TZevGameChara* body;
    TZevLispXPhBody* wrapper;
};
std::vector<TPendingBody> PendingBodies;

void PlaceBody(TZevGameChara* body)
{
    CurrentWorld->AddBody(body);
    if (body->visualFrame)
        RootFrame->AddChild(body->visualFrame);
}

void EndValueLoad(int ok)
{
    std::vector<TPendingBody> pending;
    pending.swap(PendingBodies);
    for (const TPendingBody& p : pending) {
        TZevGameChara* body = p.wrapper->Body;
        if (body == p.body && !ZevBodyWorld(body)) {
            if (ok && QEWorldReady()) {
                PlaceBody(body);
            } else {
                p.wrapper->Body = nullptr;
                DestroyBody(body);
            }
        }
        p.wrapper->Release();
    }
}

// A body or joint whose first record lies inside the record of another physics object cannot be read here: the
// load of the outer object owns the load session, and ending the session for the inner one would destroy the
// outer object while it is still being read.
bool RefuseNested(TZevObjectIdTable* table, bool first, const char* what)
{
    if (!first || !ZevPhysicsLoadActive(table))
        return false;
    char line[200];
    std::snprintf(line, sizeof line, "script value load: a %s first met inside another body's record is refused\n",
                  what);
    ZevDebugLog(line);
    return true;
}

// Reads the reference to the object of a script value (of `kind`, called `what` in the log); false when it is
// refused or cannot be read, what a failed first read made then dropped.
bool ReadWrappedRef(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t kind, const char* what, bool* first,
                    void** loaded)
{
    *first = IsFirstOccurrence(stream);
    if (RefuseNested(table, *first, what))
        return false;
    *loaded = nullptr;
    if (!ZevReadRefOfKind(table, stream, kind, loaded)) {
        if (*first)
            ZevEndPhysicsLoad(table, nullptr, kind); // drops what the failed read made
        return false;
    }
    return true;
}

int TZevLispXPhBody_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    // A body met again belongs to the load in progress (the one whose script value this is, still being read).
    bool first = false;
    void* loaded = nullptr;
    if (!ReadWrappedRef(table, stream, ZevSavedGameChara, "body", &first, &loaded))
        return 0;
    TZevGameChara* body = static_cast<TZevGameChara*>(loaded);
    if (first) {
        body = static_cast<TZevGameChara*>(ZevEndPhysicsLoad(table, loaded, ZevSavedGameChara));
        if (loaded && !body)
            return 0;
    }
    // A body read for a script value belongs to the current world, as a body the script made would; with no
    // world to hold it the value comes back without a body rather than with one nobody owns.
    const bool placing = first && body && !ZevBodyWorld(body);
    if (placing && !QEWorldReady()) {
        delete body;
        body = nullptr;
    }

    // One wrapper a body: the body clears only the wrapper its script value holds when it goes, so a body that
    // has one (met again in the stream, or read around its script value) hands out that one.
    TZevLispXPhBody* wrapper = nullptr;
    if (body && LispIsLSObj(body->ScriptWrapper)) {
        wrapper = QEScriptBodyWrapper(LispLSObj(body->ScriptWrapper)->Object);
        if (wrapper && wrapper->Body == body)
            wrapper->AddRef();
        else
            wrapper = nullptr;
    }
    if (!wrapper) {
        wrapper = NewLispXPhBody(body);
        if (!wrapper) {
            if (placing && body)
                delete body;
            return 0;
        }
        // The body must know its wrapper, so that it clears the wrapper's pointer when it goes.
        if (body && !(LispIsLSObj(body->ScriptWrapper) &&
                      dynamic_cast<TZevScriptBody*>(LispLSObj(body->ScriptWrapper)->Object)))
            LispMakeLSObj(body->ScriptWrapper, wrapper, TZevLispXPhBody_LoadFunction, TZevLispXPhBody_SaveFunction);
    }
    if (placing && body) {
        if (LispLoadInProgress()) {
            wrapper->AddRef();
            PendingBodies.push_back(TPendingBody{body, wrapper});
        } else {
            PlaceBody(body);
        }
    }
    *slot = static_cast<TZevLSObj*>(wrapper);
    return 1;
}

int TZevLispXPhJoint_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevLispXPhJoint* wrapper = QEScriptJointWrapper(static_cast<TZevLSObj*>(object));
    return table->WriteRef(stream, TZevJoint_SaveFunction, TZevJoint_LoadFunction,
                           wrapper ? wrapper->Joint : nullptr);
}

int TZevLispXPhJoint_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    bool first = false;
    void* loaded = nullptr;
    if (!ReadWrappedRef(table, stream, ZevSavedJoint, "joint", &first, &loaded))
        return 0;
    TZevJoint* joint =
        static_cast<TZevJoint*>(first ? ZevEndPhysicsLoad(table, loaded, ZevSavedJoint) : loaded);
    // A joint that came without bodies to tie (read by itself: the load drops what no body holds) is listed by
    // no body and owned by no world; a script could not use it, and nothing would ever release it.
    if (first && joint && joint->NodeA == nullptr && joint->NodeB == nullptr) {
        joint->Release();
        joint = nullptr;
    }
    TZevLispXPhJoint* wrapper = NewLispXPhJoint(joint);
    if (!wrapper)
        return 0;
    *slot = static_cast<TZevLSObj*>(wrapper);
    return 1;
}

// The character's own factory of its script side (a character that runs its script function without a value).
TZevScriptBody* MakeScriptBody(TZevGameChara* body)
{
    return NewLispXPhBody(body);
}

} // namespace

void GetXPhBodyLispObj(TZevLispRef& out, TZevGameChara* body)
{
    out.Clear();
    if (!body)
        return;
    if (LispIsLSObj(body->ScriptWrapper) && QEScriptBody(LispLSObj(body->ScriptWrapper)->Object) == body) {
        out = body->ScriptWrapper;
        return;
    }
    TZevLispXPhBody* wrapper = NewLispXPhBody(body);
    if (!wrapper)
        return;
    LispMakeLSObj(out, wrapper, TZevLispXPhBody_LoadFunction, TZevLispXPhBody_SaveFunction);
    wrapper->Release(); // the value holds it now
    body->ScriptWrapper = out;
}

void QEWrapNewBody(TZevLispRef& out, TZevGameChara* body)
{
    GetXPhBodyLispObj(out, body);
    if (!out.IsNull())
        QEScriptBodyWrapper(LispLSObj(out)->Object)->OwnsBody = true;
}

void QEWrapJoint(TZevLispRef& out, TZevJoint* joint)
{
    out.Clear();
    TZevLispXPhJoint* wrapper = NewLispXPhJoint(joint);
    if (!wrapper)
        return;
    LispMakeLSObj(out, wrapper, TZevLispXPhJoint_LoadFunction, TZevLispXPhJoint_SaveFunction);
    wrapper->Release();
}

// ---- Creation and loading ---------------------------------------------------------------------------------------

TZevString QEFindObjectFile(const char* fileName)
{
    if (!fileName)
        return TZevString();
    // Each probe that fails leaves the file class's line in the debug log.
    {
        TZevFile probe(fileName, "r");
        if (probe.IsOpen())
            return TZevString(fileName);
    }
    for (int i = 0; i < ObjectPathList.GetCount(); ++i) {
        const TZevString path = TZevString(ObjectPathList.GetAt(i)) + TZevString(fileName);
        TZevFile probe(path.CStr(), "r");
        if (probe.IsOpen())
            return path;
    }
    return TZevString();
}

TZevGameChara* QELoadBodyFromSearch(const char* fileName)
{
    if (!fileName || !QEWorldReady())
        return nullptr;
    auto load = [](const char* path) {
        return ZevAsGameChara(AddXPhBodyFromXFile(path, CreateGameChara, IdentityMatrix, RootFrame, CurrentWorld));
    };
    if (TZevGameChara* body = load(fileName))
        return body;
    // The directory text is put in front of the name as it is: no separator is added.
    for (int i = 0; i < ObjectPathList.GetCount(); ++i) {
        const TZevString path = TZevString(ObjectPathList.GetAt(i)) + TZevString(fileName);
        if (TZevGameChara* body = load(path.CStr()))
            return body;
    }
    return nullptr;
}

TZevMatrix3 QEBoxInertia(TZevGameChara* body, float mass)
{
    const TZevMatrix m = body->GetMatrix();
    const float p[3] = {m.m[12], m.m[13], m.m[14]};
    const float lo[3] = {body->box.Min.x, body->box.Min.y, body->box.Min.z};
    const float hi[3] = {body->box.Max.x, body->box.Max.y, body->box.Max.z};
    float edge[3];
    for (int i = 0; i < 3; ++i) {
        const float up = std::fabs(hi[i] - p[i]);
        const float down = std::fabs(p[i] - lo[i]);
        edge[i] = 2.0f * (up > down ? up : down);
    }
    TZevMatrix3 tensor;
    CalcBoxInertiaTensor(tensor, edge[0], edge[1], edge[2], mass);
    return tensor;
}

void QEPrepareNewBody(TZevGameChara* body, float airResistance)
{
    // Drawn under the root frame: a body whose frame hangs nowhere gets it there (adding a body to the world leaves
    // its frame where it is).
    if (body->visualFrame && !body->visualFrame->GetParent() && RootFrame)
        RootFrame->AddChild(body->visualFrame);
    if (body->visualMesh)
        body->visualMesh->ComputeNormals();
    body->RigidPart->SetMass(1.0f);
    body->Refit();
    // An empty body has no extent: its singular tensor is refused and the part keeps the one it has.
    body->RigidPart->SetInertia(QEBoxInertia(body, 1.0f));
    body->LinearDamping = airResistance;
    body->SetDynamic(1);
}

void QEGiveOwnParts(TZevGameChara* body)
{
    // Leaves first: once a body's children have parts of their own, giving it its own moves no one else.
    TZevList bodies;
    CollectBodyTree(body, bodies);
    TZevPhscs2RigidBody* shared = body->MainPart;
    for (TZevListNode* n = bodies.Last(); n != bodies.End(); n = n->prev) {
        TZevGameChara* b = ZevAsGameChara(ZevItem<TZevCollisionMeshObj>(n));
        if (b && b->MainPart == shared && b->MainPart != b->RigidPart)
            SetRigidBodyRecursive(b, b->RigidPart);
    }
}

extern "C" QE_API QE_XPhBody* QE_LoadXPhBody(const char* fileName)
{
    return QEGuard<QE_XPhBody*>(nullptr, [&]() -> QE_XPhBody* {
        TZevGameChara* body = QELoadBodyFromSearch(fileName);
        if (!body)
            return nullptr;
        QEPrepareNewBody(body, 0.1f);
        return QEBodyHandle(body);
    });
}

namespace {

TZevGameChara* MakeEmptyBody()
{
    if (!QEWorldReady())
        return nullptr;
    TZevGameChara* body =
        ZevAsGameChara(CreateEmptyXPhBody(CreateGameChara, IdentityMatrix, RootFrame, CurrentWorld));
    if (body)
        QEPrepareNewBody(body, 0.5f);
    return body;
}

} // namespace

extern "C" QE_API QE_XPhBody* QE_MakeEmptyXPhBody(void)
{
    return QEGuard<QE_XPhBody*>(nullptr, [] { return QEBodyHandle(MakeEmptyBody()); });
}

extern "C" QE_API int QE_LoadXPhBodyVisual(QE_XPhBody* handle, const char* fileName)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body)
            return 0;
        const TZevString path = QEFindObjectFile(fileName);
        if (path.IsNull())
            return 0;
        return body->LoadVisualMesh(path.CStr()) ? 1 : 0;
    });
}

namespace {

// The collision mesh becomes a closed box around the one it replaces.
bool CollisionBoxApprox(TZevGameChara* body)
{
    TZevPolygonMesh* old = body->collisionMesh;
    if (!old)
        return false;
    old->UpdateBounds();
    const TZevVector min = old->Bounds.Min;
    const TZevVector max = old->Bounds.Max;
    TZevPolygonMesh* box = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
    if (!box)
        return false;
    box->Clear();
    TZevPolygonMesh* copy = ZevMakeBoxMesh(box->Geometry, min, max) ? box->CloneFaceChecked() : nullptr;
    box->Release();
    if (!copy)
        return false;
    copy->ComputeNormals();
    bool done = false;
    QEReseatBody(body, [&](TZevGameChara* b) { done = b->SetCollisionMesh(copy); });
    copy->Release(); // the body holds it now
    return done;
}

} // namespace

extern "C" QE_API int QE_XPhBodyCollisionBoxApprox(QE_XPhBody* handle)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        return body && CollisionBoxApprox(body) ? 1 : 0;
    });
}

extern "C" QE_API int QE_XPhBodySaveToFile(QE_XPhBody* handle, const char* fileName)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body || !fileName)
            return 0;
        return SaveXPhBodyFile(fileName, body, LispHost);
    });
}

extern "C" QE_API QE_XPhBody* QE_XPhBodyLoadFromFile(const char* fileName)
{
    return QEGuard<QE_XPhBody*>(nullptr, [&]() -> QE_XPhBody* {
        if (!fileName)
            return nullptr;
        TZevGameChara* body = LoadXPhBodyFile(fileName, LispHost);
        if (body && !ZevBodyWorld(body))
            LooseBodies.Add(body); // a live handle until it is deleted or goes with a world
        return QEBodyHandle(body);
    });
}

// ---- Deletion -----------------------------------------------------------------------------------------------

namespace {

// The first body at the top of the world's body tree that is not waiting for deletion, or null.
TZevGameChara* FirstWorldBody(TZevPhscs2World* world)
{
    for (TZevCTree* tree = world->activeRoot->FirstChildTree(); tree; tree = tree->NextSiblingTree()) {
        TZevGameChara* body = dynamic_cast<TZevGameChara*>(tree);
        if (body && !world->IsDeletionPending(body))
            return body;
    }
    return nullptr;
}

// Destroys every body at the top of the world's body tree (the bodies below them go with them). Other trees of
// the world (a land) are left: script objects may still hold them.
void DeleteAllBodies()
{
    TZevPhscs2World* world = CurrentWorld;
    // One body at a time: a host's release function may delete others meanwhile.
    while (TZevGameChara* body = world ? FirstWorldBody(world) : nullptr)
        DestroyBody(body);
}

} // namespace

extern "C" QE_API int QE_DeleteXPhBody(QE_XPhBody* handle)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body)
            return 0;
        DestroyBody(body);
        return 1;
    });
}

extern "C" QE_API int QE_DeleteAllXPhBody(void)
{
    return QEGuard(0, [] {
        if (!QEWorldReady())
            return 0;
        DeleteAllBodies();
        return 1;
    });
}

// ---- Builtins ------------------------------------------------------------------------------------------------

namespace {

// (DeleteXPhBody body): t, also when the wrapper's body is gone already; nil for another object.
void DeleteXPhBody(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* object = nullptr;
    if (!LispParseArgs(interp, &args, "o", &object)) {
        result = interp->ArgError;
        return;
    }
    TZevLispXPhBody* wrapper = QEScriptBodyWrapper(object);
    if (!QEWorldReady() || !wrapper) {
        result = Nil;
        return;
    }
    if (TZevGameChara* body = wrapper->Body)
        DestroyBody(body);
    result = T;
}

void DeleteAllXPhBody(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    if (!QEWorldReady()) {
        result = Nil;
        return;
    }
    DeleteAllBodies();
    result = T;
}

void AddXPhObjectPath(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString path;
    if (!QEParseWorldArgs(result, interp, args, "s", &path))
        return;
    ObjectPathList.Add(path.CStr() ? path.CStr() : "");
    result = T;
}

// (file): the body found for it, prepared with `airResistance` and its script value in `result`; null (result the
// argument error, or nil when the file is found nowhere) when there is none.
TZevGameChara* LoadWrappedBody(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, float airResistance)
{
    TZevString name;
    if (!LispParseArgs(interp, &args, "s", &name)) {
        result = interp->ArgError;
        return nullptr;
    }
    result = Nil;
    TZevGameChara* body = QELoadBodyFromSearch(name.CStr());
    if (!body)
        return nullptr;
    QEPrepareNewBody(body, airResistance);
    QEWrapNewBody(result, body);
    return body;
}

// (LoadXPhBody file): the new body's script value, nil when the file is found nowhere.
void LoadXPhBody(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    LoadWrappedBody(result, interp, args, 0.1f);
}

void MakeEmptyXPhBody(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    result = Nil;
    if (TZevGameChara* body = MakeEmptyBody())
        QEWrapNewBody(result, body);
}

// (LoadXPhEasyDeformableObj file): a body loaded as LoadXPhBody does, made soft by a lattice of 3 x 3 x 3.
void LoadXPhEasyDeformableObj(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevGameChara* body = LoadWrappedBody(result, interp, args, 0.5f);
    if (!body)
        return;
    TZevEasyDeformableObj* soft = new TZevEasyDeformableObj;
    if (soft->Build(body, 3))
        body->SetDeformPart(soft); // the body owns it now
    else
        delete soft;
    QEReseatBody(body, [](TZevGameChara*) {});
}

void LoadXPhBodyVisual(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString name;
    TZevGameChara* body = QEParseBody(result, interp, args, "os", &name);
    if (!body)
        return;
    const TZevString path = QEFindObjectFile(name.CStr());
    if (!path.IsNull() && body->LoadVisualMesh(path.CStr()))
        result = T;
}

void XPhBodyCollisionBoxApprox(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevGameChara* body = QEParseBody(result, interp, args, "o");
    if (body && CollisionBoxApprox(body))
        result = T;
}

// (XPhObjSaveLoadTest body file): saves the body, deletes every body, and loads the file back into the world;
// the loaded body's script value, or nil when the body could not be saved or read back.
void XPhObjSaveLoadTest(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString name;
    TZevGameChara* body = QEParseBody(result, interp, args, "os", &name);
    if (!body || !SaveXPhBodyFile(name.CStr(), body, interp))
        return;
    TZevLispRef head, call, ignored;
    LispIntern(head, "DeleteAllXPhBody");
    LispCons(call, head, Nil);
    interp->Eval(ignored, call);
    TZevGameChara* loaded = LoadXPhBodyFile(name.CStr(), interp);
    if (!loaded || !QEWorldReady())
        return;
    // The script value read with the body stays its value (a new one only for a file that held none), so that
    // saving the loaded body writes the same file again.
    GetXPhBodyLispObj(result, loaded);
    if (result.IsNull()) {
        DestroyBody(loaded);
        return;
    }
    CurrentWorld->AddBody(loaded);
    if (loaded->visualFrame)
        RootFrame->AddChild(loaded->visualFrame);
}

bool Registered = false;

} // namespace

void ZevEngineRegisterBodies()
{
    if (Registered)
        return;
    Registered = true;
    RegisterClassRecord(&TZevLispXPhBodyClassRecord, "TZevLispXPhBody", "TZevLSObj", CreateTZevLispXPhBody);
    RegisterClassRecord(&TZevLispXPhJointClassRecord, "TZevLispXPhJoint", "TZevStringTree", CreateTZevLispXPhJoint);
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevLispXPhBody_SaveFunction", TZevLispXPhBody_SaveFunction);
    d->Add("TZevLispXPhBody_LoadFunction", TZevLispXPhBody_LoadFunction);
    d->Add("TZevLispXPhJoint_SaveFunction", TZevLispXPhJoint_SaveFunction);
    d->Add("TZevLispXPhJoint_LoadFunction", TZevLispXPhJoint_LoadFunction);
    LispLoadEndHook = EndValueLoad;
    ZevScriptBodyFactory = MakeScriptBody;
    ZevScriptBodyLoadFunction = TZevLispXPhBody_LoadFunction;
    ZevScriptBodySaveFunction = TZevLispXPhBody_SaveFunction;
    LispRegisterBuiltin(LoadXPhBody, "LoadXPhBody");
    LispRegisterBuiltin(MakeEmptyXPhBody, "MakeEmptyXPhBody");
    LispRegisterBuiltin(LoadXPhEasyDeformableObj, "LoadXPhEasyDeformableObj");
    LispRegisterBuiltin(LoadXPhBodyVisual, "LoadXPhBodyVisual");
    LispRegisterBuiltin(XPhBodyCollisionBoxApprox, "XPhBodyCollisionBoxApprox");
    LispRegisterBuiltin(XPhObjSaveLoadTest, "XPhObjSaveLoadTest");
    LispRegisterBuiltin(DeleteXPhBody, "DeleteXPhBody");
    LispRegisterBuiltin(DeleteAllXPhBody, "DeleteAllXPhBody");
    LispRegisterBuiltin(AddXPhObjectPath, "AddXPhObjectPath");
}
