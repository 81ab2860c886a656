#include "ZevGameChara.h"

#include "LispLSObj.h"
#include "ZevBodyBoxes.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevListView.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsSaveLoad.h"
#include "ZevVecInline.h"

#include <cmath>
#include <cstring>

TZevScriptBodyFactory ZevScriptBodyFactory = nullptr;
TZevRefReader ZevScriptBodyLoadFunction = nullptr;
TZevRefWriter ZevScriptBodySaveFunction = nullptr;

namespace {

TZevClassRecord CFuncItemClassRecord;

TZevLSObj* CreateCFuncItem()
{
    return ZevCreateRegistered<TZevGameCharaCFuncListItem>(&CFuncItemClassRecord);
}

inline void AddTo(TZevVector& a, const TZevVector& b)
{
    a = TZevVector(a.x + b.x, a.y + b.y, a.z + b.z);
}

template <class T> bool Listed(const TZevList& list, const T* item)
{
    for (const T* x : ZevItems<T>(list)) {
        if (x == item)
            return true;
    }
    return false;
}

void ListOnce(TZevList& list, TZevGameChara* item)
{
    if (!Listed(list, item))
        list.Add(item);
}

// The child trees that are characters, in order.
template <class F> void ForChildCharas(TZevGameChara* body, F f)
{
    for (TZevCTree* c = body->FirstChildTree(); c != nullptr; c = c->NextSiblingTree()) {
        TZevFMCTTree* tree = static_cast<TZevFMCTTree*>(c);
        if (tree->objectType == ZevCollisionTypeInfo(ZevTypeGameChara))
            f(static_cast<TZevGameChara*>(tree));
    }
}

} // namespace

// ---- Callback items

TZevGameCharaCFuncListItem::TZevGameCharaCFuncListItem() = default;

TZevGameCharaCFuncListItem::~TZevGameCharaCFuncListItem()
{
    if (BackRef != nullptr) {
        *BackRef = nullptr;
        BackRef = nullptr;
    }
    if (Node != nullptr) {
        TZevList::RemoveNode(Node);
        Node = nullptr;
    }
}

TZevGameCharaCFuncListItem* ZevNewCFuncItem(const char* name, TZevGameCharaCFunc function, void* user)
{
    ZevGameCharaInit();
    TZevGameCharaCFuncListItem* item = static_cast<TZevGameCharaCFuncListItem*>(CreateCFuncItem());
    item->Name = name != nullptr ? name : "";
    item->Function = function;
    item->UserData = user;
    return item;
}

// ---- Character

TZevGameChara::TZevGameChara()
{
    objectType = ZevCollisionTypeInfo(ZevTypeGameChara);
    RigidPart = new TZevPhscs2RigidBody;
    RigidPart->SetMass(1.0f);
    RigidPart->SetMassSphere(1.0f, 2.5f);
    RigidPart->Flags = 1;
    RigidPart->Owner = this;
    MainPart = RigidPart;
    LinkBodyAndRigidBody(this, RigidPart);
}

TZevGameChara::~TZevGameChara()
{
    if (StopFlagSlot != nullptr) {
        *StopFlagSlot = 1;
        StopFlagSlot = nullptr;
    }
    // The bodies below go first, while this body is whole: they leave their attachments to it.
    while (TZevCTree* child = FirstChildTree())
        delete child;
    while (TZevGameChara* other = ZevPopItem<TZevGameChara>(AttachList)) {
        other->AttachList.Remove(this);
        if (other->AttachParent == this) {
            other->AttachParent = nullptr;
            other->MainPart = other->RigidPart;
        }
    }
    AttachParent = nullptr;
    while (!CFuncItems.IsEmpty())
        delete ZevItem<TZevGameCharaCFuncListItem>(CFuncItems.First());
    delete ReplacedItem;
    ReplacedItem = nullptr;
    delete DeformPart;
    DeformPart = nullptr;
    if (LispIsLSObj(ScriptWrapper)) {
        if (TZevScriptBody* script = dynamic_cast<TZevScriptBody*>(LispLSObj(ScriptWrapper)->Object);
            script != nullptr && script->Body == this)
            script->ForgetBody();
    }
    ScriptWrapper.Clear();
    // Contact links, collision records and body boxes name the rigid part: they go before it does.
    Teardown();
    ParentJoint = nullptr; // released with the part's joints below
    UnlinkBodyAndRigidBody(this, MainPart);
    UnlinkBodyAndRigidBody(this, RigidPart);
    if (RigidPart->Owner == this)
        RigidPart->Owner = nullptr;
    delete RigidPart;
    RigidPart = nullptr;
    MainPart = nullptr;
    ScriptFunction.Clear();
    ScriptData.Clear();
}

float TZevGameChara::WorldGravity() const
{
    return space != nullptr ? space->pairs.Gravity : 0.0f;
}

TZevMatrix TZevGameChara::MatrixFromPart() const
{
    TZevMatrix pose;
    ZevMatMultiply(pose, PartOffset, MainPart->Matrix);
    TZevCTree* parent = ParentTree();
    if (parent == nullptr || !parent->IsMeshTree())
        return pose;
    TZevMatrix inverse;
    if (!ZevMatInverse(inverse, static_cast<TZevFMCTTree*>(parent)->worldMatrix))
        return pose;
    TZevMatrix local;
    ZevMatMultiply(local, pose, inverse);
    return local;
}

void TZevGameChara::ApplyExternalForces(float dt)
{
    if (IsDynamic() == 0)
        return;
    const float g = WorldGravity();
    if (DeformPart != nullptr) {
        DeformPart->ApplyForces(TorqueAccumulator, ForceAccumulator, LinearDamping, g);
        TorqueAccumulator = ForceAccumulator = TZevVector();
        return;
    }
    AddTo(MainPart->Torque, TorqueAccumulator);
    AddTo(MainPart->Force, ForceAccumulator);
    TorqueAccumulator = ForceAccumulator = TZevVector();
    if (MainPart != RigidPart)
        return;
    if (GravityOn != 0)
        RigidPart->AddForceAt(TZevVector(0.0f, -g * RigidPart->Mass, 0.0f), RigidPart->GetPosition(), dt);
    const TZevVector w = RigidPart->AngularVelocity;
    const TZevVector v = RigidPart->Velocity;
    AddTo(RigidPart->Torque, Times(w, -LinearDamping));
    AddTo(RigidPart->Torque, Times(w, -QuadraticDamping * w.Length()));
    AddTo(RigidPart->Force, Times(v, -LinearDamping));
    AddTo(RigidPart->Force, Times(v, -QuadraticDamping * v.Length()));
}

void TZevGameChara::Step(float dt)
{
    if (IsDynamic() != 0) {
        if (DeformPart != nullptr) {
            TZevCollisionMeshObj::SetMatrix(TZevMatrix());
            DeformPart->Step(dt);
        } else if (MainPart == RigidPart) {
            if (IsFixed() == 0) {
                RigidPart->Integrate(dt);
                TZevCollisionMeshObj::SetMatrix(MatrixFromPart());
            }
        } else if (AttachParent != nullptr && MainPart == AttachParent->MainPart && AttachParent->level != 0) {
            ClearContactHit();
        }
    }
    TZevCollisionMeshObj::UpdateWorldMatrix(dt);
}

void TZevGameChara::AdvanceStep(float dt)
{
    TZevCollisionMeshObj::AdvanceStep(dt);
    if (DeformPart != nullptr)
        DeformPart->EndStep(dt);
    else
        RigidPart->EndStep();
}

bool TZevGameChara::ClearNodes(TZevMeshData* newMesh)
{
    const bool accepted = TZevCollisionMeshObj::ClearNodes(newMesh);
    RigidPart->Owner = this;
    if (primitiveRoot != nullptr)
        AssignBoxObject(primitiveRoot, MainPart);
    return accepted;
}

std::int32_t TZevGameChara::SetDynamic(std::int32_t flag)
{
    MainPart->Flags = flag;
    return TZevCollisionMeshObj::SetDynamic(flag);
}

std::int32_t TZevGameChara::SetFixed(std::int32_t flag)
{
    MainPart->Fixed = flag;
    return TZevCollisionMeshObj::SetFixed(flag);
}

void TZevGameChara::AlignToPart()
{
    TZevCollisionMeshObj::SetMatrix(MatrixFromPart());
    SettleAfterMove();
}

void TZevGameChara::ResetPartMotion()
{
    if (IsDynamic() == 0 || MainPart != RigidPart)
        return;
    const TZevVector zero;
    RigidPart->Velocity = RigidPart->PrevVelocity = zero;
    RigidPart->AngularVelocity = RigidPart->PrevAngularVelocity = zero;
    RigidPart->Force = RigidPart->Torque = zero;
    RigidPart->StepForce = RigidPart->StepTorque = zero;
}

void TZevGameChara::SetMatrixValues(TZevMatrix m)
{
    if (DeformPart != nullptr) {
        DeformPart->Transform(m);
    } else {
        if (MainPart == RigidPart)
            RigidPart->SetMatrix(PartPoseFor(m));
        TZevCollisionMeshObj::SetMatrix(m);
        TZevCollisionMeshObj::AdvanceStep(0.0f);
        ForChildCharas(this, [](TZevGameChara* child) { child->SetMatrixValues(child->GetPreviousMatrix()); });
    }
    SettleAfterMove();
}

void TZevGameChara::PlaceAt(TZevMatrix m)
{
    if (MainPart == RigidPart)
        RigidPart->SetMatrix(PartPoseFor(m));
    TZevCollisionMeshObj::SetMatrix(m);
    Step(0.0f);
    ForChildCharas(this, [](TZevGameChara* child) { child->PlaceAt(child->GetPreviousMatrix()); });
    SettleAfterMove();
}

TZevMatrix TZevGameChara::PartPoseFor(const TZevMatrix& m) const
{
    TZevMatrix world = m;
    if (TZevCTree* parent = ParentTree(); parent != nullptr && parent->IsMeshTree())
        ZevMatMultiply(world, m, static_cast<TZevFMCTTree*>(parent)->worldMatrix);
    TZevMatrix inverseOffset;
    if (!ZevMatInverse(inverseOffset, PartOffset))
        inverseOffset = TZevMatrix();
    TZevMatrix pose;
    ZevMatMultiply(pose, inverseOffset, world);
    return pose;
}

void TZevGameChara::SettleAfterMove()
{
    AdvanceStep(0.0f);
    AdvanceStep(0.0f);
    ClearContactHit();
}

void TZevGameChara::AdoptChild(TZevGameChara* child, bool share)
{
    if (child == nullptr || child == this)
        return;
    if (child->AttachParent != nullptr && child->AttachParent != this) {
        child->AttachParent->AttachList.Remove(child);
        child->AttachList.Remove(child->AttachParent);
    }
    if (child->Parent() != this) {
        TZevCollisionMeshObj::MoveToParent(child);
        if (child->Parent() != this)
            return; // refused: this body lies below the child
    }
    child->AttachParent = this;
    if (share) {
        child->MainPart = MainPart;
        if (child->primitiveRoot != nullptr)
            AssignBoxObject(child->primitiveRoot, MainPart);
    }
    ListOnce(AttachList, child);
    ListOnce(child->AttachList, this);
}

TZevCollisionMeshObj* TZevGameChara::CreateFromFrame(TZevFrame* frame, TZevBodyFactory factory, void* argument)
{
    if (argument == nullptr)
        return TZevCollisionMeshObj::CreateFromFrame(frame, CreateGameChara, this);
    TZevCollisionMeshObj* made = TZevCollisionMeshObj::CreateFromFrame(frame, factory, argument);
    // The body of a child frame hangs under the body of its parent frame, so that the two trees agree.
    if (TZevGameChara* child = ZevAsGameChara(made); child != nullptr && child != this)
        AdoptChild(child, child->ParentJoint == nullptr);
    return made;
}

void TZevGameChara::MoveToParent(TZevCollisionMeshObj* body)
{
    if (TZevGameChara* child = ZevAsGameChara(body))
        AdoptChild(child, child->ParentJoint == nullptr);
    else
        TZevCollisionMeshObj::MoveToParent(body);
}

void TZevGameChara::LeaveParent()
{
    if (AttachParent != nullptr) {
        AttachParent->AttachList.Remove(this);
        AttachList.Remove(AttachParent);
        AttachParent = nullptr;
    }
    if (ParentJoint != nullptr) {
        ParentJoint->Release();
        ParentJoint = nullptr;
    }
    if (MainPart != RigidPart) {
        MainPart = RigidPart;
        if (primitiveRoot != nullptr)
            AssignBoxObject(primitiveRoot, MainPart);
    }
    TZevCollisionMeshObj::LeaveParent();
}

void TZevGameChara::SetMass(float m)
{
    RigidPart->SetMassSphere(m, 4.0f);
}

void TZevGameChara::SetDeformPart(TZevDeformPart* part)
{
    if (part == DeformPart)
        return;
    delete DeformPart;
    DeformPart = part;
    RigidShape = part == nullptr ? 1 : 0;
}

TZevGameCharaCFuncListItem* TZevGameChara::FindCFuncItem(const char* name) const
{
    for (TZevGameCharaCFuncListItem* item : ZevItems<TZevGameCharaCFuncListItem>(CFuncItems)) {
        if (std::strcmp(item->Name.IsNull() ? "" : item->Name.CStr(), name != nullptr ? name : "") == 0)
            return item;
    }
    return nullptr;
}

void TZevGameChara::AddCFuncItem(TZevGameCharaCFuncListItem* item)
{
    if (item == nullptr)
        return;
    while (TZevGameCharaCFuncListItem* old = FindCFuncItem(item->Name.IsNull() ? "" : item->Name.CStr())) {
        if (old == item)
            return; // listed already
        if (old == RunningItem) {
            // Its function is running: it leaves the list now and is destroyed when the function returns.
            TZevList::RemoveNode(old->Node);
            old->Node = nullptr;
            delete ReplacedItem;
            ReplacedItem = old;
        } else {
            delete old;
        }
    }
    if (item->Node != nullptr)
        TZevList::RemoveNode(item->Node);
    item->Node = CFuncItems.PushFront(item);
}

void TZevGameChara::StepCallback()
{
    std::int32_t stop = 0;
    std::int32_t* outer = StopFlagSlot;
    StopFlagSlot = &stop;
    // The items to run are fixed when the walk begins; an item destroyed or replaced meanwhile is passed over.
    TZevList walk;
    for (TZevGameCharaCFuncListItem* item : ZevItems<TZevGameCharaCFuncListItem>(CFuncItems))
        walk.Add(item);
    while (TZevGameCharaCFuncListItem* item = ZevPopItem<TZevGameCharaCFuncListItem>(walk)) {
        if (!Listed(CFuncItems, item) || item->Function == nullptr)
            continue;
        stop = 0;
        RunningItem = item;
        item->Function(this, item->UserData);
        if (stop != 0) {
            walk.Clear();
            return; // the body is gone
        }
        RunningItem = nullptr;
        delete ReplacedItem;
        ReplacedItem = nullptr;
        if (TZevPhscs2World* world = ZevBodyWorld(this); world != nullptr && world->IsDeletionPending(this)) {
            walk.Clear();
            StopFlagSlot = outer;
            return;
        }
    }
    StopFlagSlot = outer;
    RunScriptFunction();
}

void TZevGameChara::RunScriptFunction()
{
    if (ScriptFunctionSet == 0 || ScriptFunction.IsNull() || LispHost == nullptr)
        return;
    if (ScriptWrapper.IsNull()) {
        if (ZevScriptBodyFactory == nullptr)
            return;
        TZevScriptBody* script = ZevScriptBodyFactory(this);
        if (script == nullptr)
            return;
        script->Body = this;
        LispMakeLSObj(ScriptWrapper, script, ZevScriptBodyLoadFunction, ZevScriptBodySaveFunction);
        script->Release(); // the wrapper holds it now
    }
    TZevLispRef tail;
    LispCons(tail, ScriptWrapper, Nil);
    TZevLispRef form;
    LispCons(form, ScriptFunction, tail);
    std::int32_t stop = 0;
    std::int32_t* outer = StopFlagSlot;
    StopFlagSlot = &stop;
    TZevLispRef result;
    LispHost->Eval(result, form);
    if (stop == 0)
        StopFlagSlot = outer;
}

TZevJoint* TZevGameChara::AttachChildByJointHere(TZevGameChara* child, const TZevJointSettings& settings)
{
    if (child == nullptr)
        return nullptr;
    return AttachChildByJoint(child, settings, child->GetMatrix());
}

TZevJoint* TZevGameChara::AttachChildByJointAt(TZevGameChara* child, const TZevJointSettings& settings,
                                               const TZevMatrix& frame)
{
    return AttachChildByJoint(child, settings, frame);
}

TZevJoint* TZevGameChara::AttachChildByJoint(TZevGameChara* child, const TZevJointSettings& settings,
                                             const TZevMatrix& frame)
{
    if (child == nullptr || child == this)
        return nullptr;
    AdoptChild(child, false);
    if (child->Parent() != this || child->MainPart == MainPart)
        return nullptr;
    TZevPhscs2RigidBody* parentPart = MainPart != nullptr ? MainPart : RigidPart;
    TZevMatrix pose;
    ZevMatMultiply(pose, frame, parentPart->Matrix);
    child->MainPart->SetMatrix(pose);
    child->ClearContactHit();
    child->AdvanceStep(0.0f);
    child->AdvanceStep(0.0f);
    TZevJoint* joint =
        CreateJoint(parentPart, child->MainPart, settings.Pivot, settings.Axis, settings.Reference, settings.Size);
    if (child->ParentJoint != nullptr)
        child->ParentJoint->Release();
    child->ParentJoint = joint;
    return joint;
}

TZevGameChara* ZevAsGameChara(TZevCollisionMeshObj* body)
{
    if (body == nullptr || body->objectType != ZevCollisionTypeInfo(ZevTypeGameChara))
        return nullptr;
    return static_cast<TZevGameChara*>(body);
}

TZevCollisionMeshObj* CreateGameChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument)
{
    return ZevSetUpGameChara(new TZevGameChara, holder, source, argument);
}

TZevCollisionMeshObj* ZevSetUpGameChara(TZevGameChara* chara, TZevFrame* holder, TZevPolygonMesh* source,
                                        void* argument)
{
    chara->ClearNodes(source != nullptr ? source->Geometry : nullptr);
    if (holder != nullptr) {
        chara->RigidPart->SetMatrix(holder->LocalMatrix);
        chara->SetMatrix(holder->LocalMatrix);
    }
    if (TZevGameChara* parent = ZevAsGameChara(static_cast<TZevCollisionMeshObj*>(argument)))
        parent->AdoptChild(chara, true);
    return chara;
}

void ZevGameCharaInit()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterClassRecord(&CFuncItemClassRecord, "TZevGameCharaCFuncListItem", "TZevLSObj", CreateCFuncItem);
    ZevRegisterGameCharaStreamHooks();
}
