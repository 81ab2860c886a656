#include "ZevContactResponse.h"

#include "ZevBodyPair.h"
#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevMatrix.h"
#include "ZevNarrowPhase.h"
#include "ZevPhscs2World.h"
#include "ZevRigidLink.h"
#include "ZevVecInline.h"
#include "ZevXPhObj.h"

#include <algorithm>
#include <cmath>
#include <vector>

TZevContactServices ZevContactServices;

namespace {

inline float Length(const TZevVector& v)
{
    return std::sqrt(Dot(v, v));
}
// The part of v across the unit n.
inline TZevVector Across(const TZevVector& v, const TZevVector& n)
{
    return Minus(v, Times(n, Dot(v, n)));
}
// v / |v|, or zero when |v| is 1e-7 or less.
inline TZevVector UnitOrZero(const TZevVector& v)
{
    const float l = Length(v);
    if (!(l > 1e-7f))
        return TZevVector();
    return TZevVector(v.x / l, v.y / l, v.z / l);
}

constexpr float Pi = 3.1415927f;
constexpr float TwoPi = 6.2831855f;

bool IsEdgeLeaf(const TZevBoxNode* node)
{
    return node != nullptr && node->type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT);
}

TZevBoxNode* MeshLeafOf(TZevBoxNode* node)
{
    if (node == nullptr || ZevContactServices.MeshLeaf == nullptr)
        return node;
    return ZevContactServices.MeshLeaf(node);
}

float SubDepth(const TZevPhscs2Link* sub)
{
    return ZevContactServices.SubContactDepth != nullptr ? ZevContactServices.SubContactDepth(sub) : 0.0f;
}

bool HasSubContacts(const TZevContactLink* link)
{
    return link->SubContacts[0] != nullptr || link->SubContacts[1] != nullptr;
}

TZevXPhObj* RecordBody(const TZevFMCTree_CFaceData* record)
{
    return record != nullptr ? static_cast<TZevXPhObj*>(record->tree) : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Satisfy lists: each link listed once through its own node.

void ListContact(TZevPhscs2World* world, TZevContactLink* link)
{
    if (link->SatisfyNode == nullptr)
        link->SatisfyNode = world->ContactSatisfyLinks.Add(link);
}

void ListRigid(TZevPhscs2World* world, TZevRigidLink* link)
{
    if (link->SatisfyNode == nullptr)
        link->SatisfyNode = world->LinkSatisfyLinks.Add(link);
}

void EmptySatisfyLists(TZevPhscs2World* world)
{
    while (!world->ContactSatisfyLinks.IsEmpty()) {
        TZevListNode* n = world->ContactSatisfyLinks.First();
        static_cast<TZevContactLink*>(n->data)->SatisfyNode = nullptr;
        TZevList::RemoveNode(n);
    }
    while (!world->LinkSatisfyLinks.IsEmpty()) {
        TZevListNode* n = world->LinkSatisfyLinks.First();
        static_cast<TZevRigidLink*>(n->data)->SatisfyNode = nullptr;
        TZevList::RemoveNode(n);
    }
}

bool LinkPartOfSatisfy(const TZevPhscs2World* world, std::int32_t r)
{
    return r < world->LinkSatisfyRepeatMax && world->LinkSatisfyBudget > 0;
}

bool RigidLinkTooLong(const TZevRigidLink* link)
{
    return link->Active != 0 && std::fabs(link->Length) > link->Tolerance;
}

void CollectPart(TZevPhscs2World* world, TZevPhscs2Obj* part, std::int32_t r)
{
    // A second walk in the same collection would list nothing new.
    if (part == nullptr || part->CollectRound == world->CollectRound)
        return;
    part->CollectRound = world->CollectRound;
    for (void* item : part->ContactLinks)
        ListContact(world, static_cast<TZevContactLink*>(item));
    if (LinkPartOfSatisfy(world, r)) {
        for (void* item : part->RigidLinks) {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(item);
            if (link->Active != 0)
                ListRigid(world, link);
        }
    }
    part->Mark = 0;
}

void CollectWork(TZevPhscs2World* world, std::int32_t r)
{
    if (++world->CollectRound == 0)
        world->CollectRound = 1; // 0 is the mark of an object never walked
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        if (ZevContactTooDeep(world, link)) {
            CollectPart(world, ZevContactPartA(link), r);
            CollectPart(world, ZevContactPartB(link), r);
        }
    }
    if (LinkPartOfSatisfy(world, r)) {
        for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l));
            if (RigidLinkTooLong(link)) {
                CollectPart(world, link->ObjectA, r);
                CollectPart(world, link->ObjectB, r);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Corrections.

void WakeUsers(TZevPhscs2World* world, TZevPhscs2Obj* part)
{
    for (void* item : part->Users) {
        TZevXPhObj* body = static_cast<TZevXPhObj*>(item);
        if (!world->IsActiveBody(body))
            world->AddActiveBodyTree(body);
    }
}

void ApplyCorrection(TZevPhscs2World* world, TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k,
                     float h)
{
    if (a != nullptr) {
        a->AddStepForceAt(link->Correction, link->CorrectionPointA, h);
        a->AddDelayedForceAt(Times(link->Correction, k), link->CorrectionPointA, h);
        WakeUsers(world, a);
    }
    if (b != nullptr) {
        b->AddStepForceAt(Neg(link->Correction), link->CorrectionPointB, h);
        b->AddDelayedForceAt(Neg(Times(link->Correction, k)), link->CorrectionPointB, h);
        WakeUsers(world, b);
    }
}

void WithdrawCorrection(TZevPhscs2World* world, TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float h)
{
    if (a != nullptr) {
        a->AddStepForceAt(Neg(link->Correction), link->CorrectionPointA, h);
        WakeUsers(world, a);
    }
    if (b != nullptr) {
        b->AddStepForceAt(link->Correction, link->CorrectionPointB, h);
        WakeUsers(world, b);
    }
    link->CorrectionSum = Minus(link->CorrectionSum, link->Correction);
    link->Correction = TZevVector();
}

void StoreCorrection(TZevPhscs2Link* link, const TZevVector& c, bool addToSum)
{
    link->Correction = c;
    link->CorrectionPointA = link->PointA;
    link->CorrectionPointB = link->PointB;
    if (addToSum)
        link->CorrectionSum = Plus(link->CorrectionSum, c);
}

void ClearCorrection(TZevPhscs2Link* link)
{
    link->Correction = TZevVector();
    link->CorrectionPointA = TZevVector();
    link->CorrectionPointB = TZevVector();
}

template <class F> void ForContacts(TZevList& list, F f)
{
    for (TZevListNode* n = list.First(); n != &list.Head; n = n->next)
        f(static_cast<TZevContactLink*>(n->data));
}

template <class F> void ForRigids(TZevList& list, F f)
{
    for (TZevListNode* n = list.First(); n != &list.Head; n = n->next)
        f(static_cast<TZevRigidLink*>(n->data));
}

// Every listed item, the contacts first.
template <class F> void ForSatisfyLinks(TZevPhscs2World* world, F f)
{
    ForContacts(world->ContactSatisfyLinks, f);
    ForRigids(world->LinkSatisfyLinks, f);
}

// Every listed item with its two parts and the rebound its correction applies with (none for a rigid link).
template <class F> void ForSatisfyLinkParts(TZevPhscs2World* world, F f)
{
    const float k = world->CollisionReboundCoeff;
    ForContacts(world->ContactSatisfyLinks,
                [&](TZevContactLink* link) { f(link, ZevContactPartA(link), ZevContactPartB(link), k); });
    ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) { f(link, link->ObjectA, link->ObjectB, 0.0f); });
}

// Takes a corrective term F of a mode and returns its square for the residual. Stored, mode 0 keeps F scaled by
// |F| f; mode 1 keeps `scaled` and marks both parts; mode 2 keeps `scaled` out of the sum and shares it in the pair.
float TakeTerm(TZevPhscs2Link* link, int mode, float f, bool store, const TZevVector& F, const TZevVector& scaled,
               TZevPhscs2Obj* partA, TZevPhscs2Obj* partB)
{
    const float sq = Dot(F, F);
    if (!store)
        return sq;
    if (mode == 0) {
        StoreCorrection(link, Times(Times(F, std::sqrt(sq)), f), true);
    } else if (mode == 1) {
        StoreCorrection(link, scaled, true);
        for (TZevPhscs2Obj* part : {partA, partB})
            if (part != nullptr)
                part->Mark += 1;
    } else {
        StoreCorrection(link, scaled, false);
        if (link->Pair != nullptr)
            link->Pair->AddShare(1.0f);
    }
    return sq;
}

// The corrective terms of a mode: every listed item gets its correction (when its force law answers yes);
// mode 0's residual is returned.
double CorrectiveTerms(TZevPhscs2World* world, int mode, float f, float h, std::int32_t r, bool store)
{
    const float invH = 1.0f / h;
    const float ipd = world->InterferencePermitDistance;
    const float half = ipd * 0.5f;
    double residual = 0.0;
    ForContacts(world->ContactSatisfyLinks, [&](TZevContactLink* link) {
        if (!ZevContactTooDeep(world, link))
            return;
        const std::int32_t keep = link->Keep;
        link->Keep = 1;
        TZevVector F;
        bool yes;
        if (mode == 0)
            yes = ZevContactForceLaw(link, 1.0f, 1.0f, 0.0f, invH, half * 0.75f, false, F);
        else if (mode == 1)
            yes = ZevContactForceLaw(link, f, 1.0f, 1.0f, invH, half * 0.5f, false, F);
        else
            yes = ZevContactForceLaw(link, f, 1.0f, 0.0f, invH, half * 0.5f, false, F);
        link->Keep = keep;
        if (yes)
            residual += static_cast<double>(
                TakeTerm(link, mode, f, store, F, F, ZevContactPartA(link), ZevContactPartB(link)));
    });
    if (LinkPartOfSatisfy(world, r)) {
        ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) {
            if (!RigidLinkTooLong(link))
                return;
            const float tol = link->Tolerance;
            TZevVector F;
            bool yes;
            if (mode == 0)
                yes = ZevLinkForceLaw(link, link->StepCoeff, 0.0f, tol * 0.75f, invH, F);
            else if (mode == 1)
                yes = ZevLinkForceLaw(link, f, 1.0f, tol * 0.5f, invH, F);
            else
                yes = ZevLinkForceLaw(link, f, 0.0f, tol * 0.5f, invH, F);
            if (yes)
                residual += static_cast<double>(
                    TakeTerm(link, mode, f, store, F, Times(F, f), link->ObjectA, link->ObjectB));
        });
    }
    return residual;
}

void ApplyAll(TZevPhscs2World* world, float h)
{
    ForSatisfyLinkParts(world, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        ApplyCorrection(world, link, a, b, k, h);
    });
}

void WithdrawAll(TZevPhscs2World* world, float h)
{
    ForSatisfyLinkParts(world, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float) {
        WithdrawCorrection(world, link, a, b, h);
    });
}

void ClearAllCorrections(TZevPhscs2World* world)
{
    ForSatisfyLinks(world, [](TZevPhscs2Link* link) { ClearCorrection(link); });
}

void ScaleByShare(TZevPhscs2World* world, TZevPhscs2Link* link)
{
    const float c = link->Pair != nullptr ? link->Pair->GetShareCount() : 0.0f;
    const float scale = world->CollisionSatisfyCoefficientScale;
    link->Correction = c > 0.0f ? Times(link->Correction, scale / c) : Times(link->Correction, scale);
    link->CorrectionSum = Plus(link->CorrectionSum, link->Correction);
}

// Mode 1 applies a correction only between parts that took corrections this iteration.
int MarkOf(const TZevPhscs2Obj* part)
{
    return (part != nullptr && part->Flags != 0) ? part->Mark : 0;
}

void StepBodies(TZevPhscs2World* world, float h)
{
    for (TZevListNode* n = world->ActiveBodies.First(); n != &world->ActiveBodies.Head; n = n->next)
        static_cast<TZevXPhObj*>(n->data)->UpdateWorldMatrix(h);
}

void RetestListed(TZevPhscs2World* world)
{
    ForContacts(world->ContactSatisfyLinks, [&](TZevContactLink* link) { ZevRetestContactLink(world, link); });
}

void RetestAll(TZevPhscs2World* world)
{
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next)
        ZevRetestContactLink(world, static_cast<TZevContactLink*>(l));
}

void Refresh(TZevPhscs2World* world, std::int32_t r, bool all)
{
    if (all)
        RetestAll(world);
    else
        RetestListed(world);
    ZevLinkLengthPass(world);
    EmptySatisfyLists(world);
    CollectWork(world, r);
}

// The share count that a mode-2 correction divides by counts the items of its pair corrected in this iteration
// only, so that the items of one pair share the correction. Left running across the iterations of a pass (and
// across steps), it grows by one per correction and the corrections fade away harmonically: a falling body sinks
// through what it lands on, and joints sag unless their springs are many times what the scenes give them.
void ResetShares(TZevPhscs2World* world)
{
    ForSatisfyLinks(world, [](TZevPhscs2Link* link) {
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    });
}

void Mode2Iteration(TZevPhscs2World* world, float h, std::int32_t r)
{
    ZevJointPass(world, h);
    ResetShares(world);
    CorrectiveTerms(world, 2, 1.0f, h, r, true);
    ForSatisfyLinkParts(world, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        ScaleByShare(world, link);
        ApplyCorrection(world, link, a, b, k, h);
    });
    StepBodies(world, h);
    ClearAllCorrections(world);
    Refresh(world, r, false);
}

void Mode1Iteration(TZevPhscs2World* world, float h, std::int32_t r)
{
    CorrectiveTerms(world, 1, 1.0f, h, r, true);
    auto apply = [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        if (Dot(link->Correction, link->Correction) == 0.0f)
            return;
        const int m = std::max(MarkOf(a), MarkOf(b));
        if (m <= 0)
            return;
        link->Correction = Times(link->Correction, 10.0f / static_cast<float>(m));
        ApplyCorrection(world, link, a, b, k, h);
    };
    ForSatisfyLinkParts(world, apply);
    StepBodies(world, h);
    ClearAllCorrections(world);
    Refresh(world, r, false);
}

void Mode0Iteration(TZevPhscs2World* world, float h, std::int32_t r, float& f, double& S)
{
    // a. Trial step.
    const double R0 = CorrectiveTerms(world, 0, f, h, r, true);
    ApplyAll(world, h);
    StepBodies(world, h);
    WithdrawAll(world, h);
    Refresh(world, r, true);
    // b. Slope.
    ForContacts(world->ContactSatisfyLinks, [&](TZevContactLink* link) {
        TZevPhscs2Obj* a = ZevContactPartA(link);
        TZevPhscs2Obj* b = ZevContactPartB(link);
        TZevVector pA = link->CorrectionPointA;
        TZevVector pB = link->CorrectionPointB;
        if (a != nullptr)
            a->PredictPoint(link->Correction, link->CorrectionPointA, pA, h);
        if (b != nullptr)
            b->PredictPoint(Neg(link->Correction), link->CorrectionPointB, pB, h);
        const TZevVector g = Minus(Minus(pB, pA), Minus(link->PointB, link->PointA));
        const TZevVector gk = Times(g, link->Spring);
        S -= static_cast<double>(Dot(gk, gk));
        link->Correction = TZevVector();
    });
    ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        link->Correction = TZevVector();
    });
    // c. Backtracking search on f.
    for (int attempt = 0; attempt < 8;) {
        StepBodies(world, h);
        EmptySatisfyLists(world);
        CollectWork(world, r);
        CorrectiveTerms(world, 0, f, h, r, true);
        ApplyAll(world, h);
        StepBodies(world, h);
        WithdrawAll(world, h);
        Refresh(world, r, true);
        const double R1 = CorrectiveTerms(world, 0, f, h, r, false);
        if (!(R1 > R0 + 0.25 * static_cast<double>(f) * S) || f <= 0.01f)
            break;
        f = f * 0.5f;
        ++attempt;
    }
    // d. Finish.
    StepBodies(world, h);
    Refresh(world, r, true);
    CorrectiveTerms(world, 0, f, h, r, true);
    ApplyAll(world, h);
    StepBodies(world, h);
    auto finish = [&](TZevPhscs2Link* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        ClearCorrection(link);
    };
    ForSatisfyLinks(world, finish);
    Refresh(world, r, true);
    CorrectiveTerms(world, 0, f, h, r, false);
    EmptySatisfyLists(world);
    CollectWork(world, r);
}

// ---------------------------------------------------------------------------------------------------------------
// Contact pass helpers.

// The contact link standing on both primitives (face and point, or the two edges in either order).
TZevContactLink* FindPrimitiveLink(TZevBoxNode* a, TZevBoxNode* b)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    for (void* item : a->contactLinks) {
        TZevContactLink* link = static_cast<TZevContactLink*>(item);
        if (link->RecordA == nullptr || link->RecordB == nullptr)
            continue;
        const TZevBoxNode* na = link->RecordA->node;
        const TZevBoxNode* nb = link->RecordB->node;
        if ((na == a && nb == b) || (na == b && nb == a))
            return link;
    }
    return nullptr;
}

// Bodies separate at a face-point contact when the vertex's outward motion (its vertex minus its inset point)
// runs along the face's normal.
bool PointLeavesFace(TZevBoxNode* face, TZevBoxNode* point)
{
    if (ZevContactServices.LeafBox == nullptr || ZevContactServices.LeafLinkNormal == nullptr)
        return false;
    TZevBoxNode* box2 = ZevContactServices.LeafBox(point, 2);
    TZevVector normal;
    if (box2 == nullptr || !ZevContactServices.LeafLinkNormal(face, normal))
        return false;
    const TZevPointBoxVecT* p = static_cast<const TZevPointBoxVecT*>(box2);
    if (p->current == nullptr || p->previous == nullptr || *p->current == nullptr || *p->previous == nullptr)
        return false;
    const TZevVector m = Minus((*p->current)[p->i], (*p->previous)[p->i]);
    return Dot(m, normal) > 0.0f;
}

void MakeLink(TZevPhscs2World* world, TZevFMCTree_CFaceData* record)
{
    if (ZevContactServices.CreateContactLink == nullptr)
        return;
    TZevContactLink* link = ZevContactServices.CreateContactLink(world, record, 1);
    if (link == nullptr)
        return;
    world->ContactLinks->Append(link);
    for (TZevXPhObj* body : {RecordBody(link->RecordA), RecordBody(link->RecordB)}) {
        if (body != nullptr && !world->IsActiveBody(body))
            world->AddActiveBodyTree(body);
    }
    link->Advance();
    world->NewContactFlag = 1;
}

void HandleRecord(TZevPhscs2World* world, TZevFMCTree_CFaceData* record)
{
    TZevFMCTree_CFaceData* other = record->other;
    if (other == nullptr || record->node == nullptr || other->node == nullptr)
        return;
    TZevXPhObj* bodyA = RecordBody(record);
    TZevXPhObj* bodyB = RecordBody(other);
    if (bodyA == nullptr || bodyB == nullptr)
        return;
    TZevBoxNode* leafA = MeshLeafOf(record->node);
    TZevBoxNode* leafB = MeshLeafOf(other->node);
    const bool bothFixed = bodyA->IsFixed() != 0 && bodyB->IsFixed() != 0;
    const bool bothDynamic = bodyA->IsDynamic() != 0 && bodyB->IsDynamic() != 0;
    if (!IsEdgeLeaf(leafA)) {
        TZevContactLink* existing = FindPrimitiveLink(leafA, leafB);
        if (PointLeavesFace(leafA, leafB)) {
            if (existing != nullptr) {
                existing->Active = 0;
                existing->Keep = 0;
            }
            return;
        }
        if (!bothDynamic || bothFixed)
            return;
        if (existing != nullptr)
            existing->Keep = 1;
        else
            MakeLink(world, record);
        return;
    }
    if (!bothDynamic || bothFixed || FindPrimitiveLink(leafA, leafB) != nullptr)
        return;
    MakeLink(world, record);
}

// Scratch of the contact pass, kept between steps so that a warm step allocates nothing.
thread_local std::vector<TZevFMCTree_CFaceData*> ScratchRecords;
thread_local std::vector<TZevFMCTree_CFaceData*> ScratchOrdered;
thread_local std::vector<char> ScratchDone;

} // namespace

// ---------------------------------------------------------------------------------------------------------------

TZevPhscs2Obj* ZevContactPartA(const TZevContactLink* link)
{
    return (link->RecordA != nullptr && link->RecordA->node != nullptr) ? link->RecordA->node->object : nullptr;
}

TZevPhscs2Obj* ZevContactPartB(const TZevContactLink* link)
{
    return (link->RecordB != nullptr && link->RecordB->node != nullptr) ? link->RecordB->node->object : nullptr;
}

void ZevAddBodyToWorld(TZevPhscs2World* world, TZevXPhObj* body)
{
    if (world == nullptr || body == nullptr)
        return;
    if (ZevContactServices.AddBodyToWorld != nullptr) {
        ZevContactServices.AddBodyToWorld(world, body);
        return;
    }
    // Without collision links the leaves take part in the narrow phase themselves; the links and joints of the
    // body tree still join the world lists.
    TZevList stack;
    stack.PushFront(body);
    while (void* item = stack.PopFront()) {
        TZevXPhObj* b = static_cast<TZevXPhObj*>(item);
        for (void* s : b->StateObjects) {
            TZevPhscs2Obj* state = static_cast<TZevPhscs2Obj*>(s);
            for (void* l : state->RigidLinks)
                world->RigidLinks->Append(static_cast<TZevReleasableLink*>(l));
            for (void* j : state->Joints)
                world->Joints->Append(static_cast<TZevReleasableLink*>(j));
        }
        for (TZevOwnerListLink* child = b->Last(); child != b->End(); child = child->prev) {
            TZevCTree* tree = static_cast<TZevCTree*>(child);
            if (tree->IsMeshTree())
                stack.PushFront(static_cast<TZevXPhObj*>(tree));
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Joint pass.

namespace {

// The fields of one joint axis. Axis 1 turns about the first axis (as the second axis has turned it) and is held
// by the reference pair (links 3 and 4); axis 2 turns about the reference direction, measured from the first axis,
// and is held by the axis pair (links 1 and 2).
struct TJointAxis {
    float& Torque;
    float& RotationalDamper;
    float& StaticFrictionCoeff;
    float& DynamicFrictionCoeff;
    float& Brake;
    float& NetTorque;
    float& Theta;
    float& PrevTheta;
    float& MaxTheta;
    float& MinTheta;
    float& DTheta;
    float& PrevDTheta;
    std::int32_t& State;
    std::int32_t& LimitFlag;
    TZevVector AxisA; // the axis the angle turns about, in A's coordinates
    TZevVector RefA;  // the direction the angle is measured from, in A's coordinates
    TZevRigidLink* P; // the lock pair
    TZevRigidLink* Q;
};

TJointAxis FirstAxis(TZevJoint* j)
{
    return {j->Torque,   j->RotationalDamper, j->StaticFrictionCoeff, j->DynamicFrictionCoeff,
            j->Brake,    j->NetTorque,        j->Theta,               j->PrevTheta,
            j->MaxTheta, j->MinTheta,         j->DTheta,              j->PrevDTheta,
            j->State,    j->LimitFlag,        j->CurAxisA,            j->RefA,
            j->Links[2], j->Links[3]};
}

TJointAxis SecondAxis(TZevJoint* j)
{
    return {j->Torque2,   j->RotationalDamper2, j->StaticFrictionCoeff2, j->DynamicFrictionCoeff2,
            j->Brake2,    j->NetTorque2,        j->Theta2,               j->PrevTheta2,
            j->MaxTheta2, j->MinTheta2,         j->DTheta2,              j->PrevDTheta2,
            j->State2,    j->LimitFlag2,        j->RefA,                 j->AxisA,
            j->Links[0],  j->Links[1]};
}

// After an axis moved: the A ends of the four outer links follow both angles, the B ends go back onto the joint's
// frame in B, and the outer links take the joint's spring.
void ResetOuterLinks(TZevJoint* joint, int which)
{
    if (which == 1) {
        const float prevTheta = joint->PrevTheta;
        joint->SetAngle(joint->Theta);
        joint->PrevTheta = prevTheta;
    } else {
        const float prevTheta = joint->PrevTheta2;
        joint->SetAngle2(joint->Theta2);
        joint->PrevTheta2 = prevTheta;
    }
    const float size = joint->Size;
    for (int k = 0; k < 4; ++k)
        joint->Links[k]->Spring = joint->LinkSpring;
    joint->Links[0]->AttachA = Plus(joint->PivotA, Times(joint->CurAxisA, size));
    joint->Links[0]->AttachB = Plus(joint->PivotB, Times(joint->AxisB, size));
    joint->Links[1]->AttachA = Minus(joint->PivotA, Times(joint->CurAxisA, size));
    joint->Links[1]->AttachB = Minus(joint->PivotB, Times(joint->AxisB, size));
    joint->Links[2]->AttachB = Plus(joint->PivotB, Times(joint->RefB, size));
    joint->Links[3]->AttachB = Minus(joint->PivotB, Times(joint->RefB, size));
}

// The angle about the unit axis x from the unit reference r to the direction q (its part across x); false when q
// has no such part.
bool AxisAngle(const TZevVector& x, const TZevVector& r, const TZevVector& q, float& angle)
{
    TZevVector u = Minus(q, Times(x, Dot(q, x)));
    if (u.Normalize() == 0)
        return false;
    const float c = Dot(r, u);
    const float s = Dot(x, Cross(r, u));
    if (c >= 1.0f)
        angle = 0.0f;
    else if (c <= -1.0f)
        angle = Pi;
    else
        angle = std::acos(c);
    if (s <= 0.0f)
        angle = -angle;
    return true;
}

// One axis of the joint pass; the result tells whether the axis is moving. With `holdTilt` (axis 2 while axis 1
// moves too) the axis pair stays on to hold the third direction, so its A ends are put at the angle the B ends
// have now, not at the angle of the step's start: they then hold the tilt without holding back the axis.
bool JointAxisPass(TZevJoint* joint, int which, float h, bool holdTilt = false)
{
    TJointAxis a = which == 1 ? FirstAxis(joint) : SecondAxis(joint);
    TZevPhscs2Obj* A = joint->ObjectA();
    TZevPhscs2Obj* B = joint->ObjectB();
    TZevRigidLink* l3 = a.P;
    TZevRigidLink* l4 = a.Q;
    // 1. Axis, reference and the twist of the lock pair.
    TZevVector x, r;
    A->LocalToWorldDir(a.AxisA, x);
    A->LocalToWorldDir(a.RefA, r);
    TZevVector a3, b3, a4, b4;
    A->LocalToWorld(l3->AttachA, a3);
    B->LocalToWorld(l3->AttachB, b3);
    A->LocalToWorld(l4->AttachA, a4);
    B->LocalToWorld(l4->AttachB, b4);
    const TZevVector g = Minus(Minus(b3, a3), Minus(b4, a4));
    // 2. Applied and test torque.
    float applied = a.Torque - a.RotationalDamper * a.PrevDTheta;
    const float test = applied + Dot(x, Cross(r, g)) * joint->LinkSpring;
    // 3. Static friction.
    if (std::fabs(test) > a.StaticFrictionCoeff * a.Brake)
        a.State = 1;
    // 4. A moving axis.
    if (a.State == 0) {
        applied = 0.0f;
    } else {
        const float friction = a.DynamicFrictionCoeff * a.Brake;
        if (a.PrevDTheta <= 0.0f)
            applied = applied + friction;
        else
            applied = applied - friction;
        const TZevVector q = Times(Minus(l3->PrevPointB, l4->PrevPointB), 0.5f);
        float angle = 0.0f;
        if (x.Normalize() != 0 && r.Normalize() != 0) {
            if (AxisAngle(x, r, q, angle)) {
                if (a.LimitFlag == 0) {
                    if (angle > a.MaxTheta) {
                        angle = a.MaxTheta;
                        a.State = 0;
                    } else if (angle < a.MinTheta) {
                        angle = a.MinTheta;
                        a.State = 0;
                    }
                }
                float d = angle - a.PrevTheta;
                if (std::fabs(d + TwoPi) < std::fabs(d))
                    d = d + TwoPi;
                if (std::fabs(d - TwoPi) < std::fabs(d))
                    d = d - TwoPi;
                a.Theta = angle;
                a.DTheta = d / h;
                if (((a.DTheta > 0.0f && a.PrevDTheta < 0.0f) || (a.DTheta < 0.0f && a.PrevDTheta > 0.0f)) &&
                    a.Brake > 0.0f)
                    a.State = 0;
                if (a.State != 0) {
                    float now = a.Theta;
                    if (holdTilt && AxisAngle(x, r, Times(Minus(b3, b4), 0.5f), now) && a.LimitFlag == 0) {
                        if (now > a.MaxTheta)
                            now = a.MaxTheta;
                        else if (now < a.MinTheta)
                            now = a.MinTheta;
                    }
                    const float theta = a.Theta;
                    a.Theta = now;
                    ResetOuterLinks(joint, which);
                    a.Theta = theta;
                }
            }
        }
    }
    a.NetTorque = applied;
    return a.State != 0;
}

} // namespace

void ZevJointPass(TZevPhscs2World* world, float h)
{
    for (TZevOwnerListLink* l = world->Joints->First(); l != world->Joints->End(); l = l->next) {
        TZevJoint* joint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(l));
        if (joint->ObjectA() == nullptr || joint->ObjectB() == nullptr)
            continue;
        bool complete = true;
        for (TZevRigidLink* link : joint->Links)
            complete = complete && link != nullptr;
        if (!complete)
            continue;
        // 5. Each axis's lock pair holds it exactly while it does not move.
        const bool moving1 = JointAxisPass(joint, 1, h);
        joint->Links[2]->Active = moving1 ? 0 : 1;
        joint->Links[3]->Active = moving1 ? 0 : 1;
        std::int32_t axisPair = 1;
        if (joint->AxisCount == 2) {
            const bool moving2 = JointAxisPass(joint, 2, h, moving1);
            // With both axes free and both pairs off nothing would hold the third direction (the child would
            // tilt freely about it): the axis pair, which the first axis does not move, then stays on. Its A ends
            // follow the second angle every pass, so it holds the tilt and barely resists the second axis.
            axisPair = moving2 && !moving1 ? 0 : 1;
        } else {
            joint->NetTorque2 = 0.0f;
        }
        joint->Links[0]->Active = axisPair;
        joint->Links[1]->Active = axisPair;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Contact pass.

void ZevRetestContactLink(TZevPhscs2World* world, TZevContactLink* link)
{
    link->Update();
    TZevFMCTree_CFaceData* A = link->RecordA;
    TZevFMCTree_CFaceData* B = link->RecordB;
    bool holds = false;
    if (A != nullptr && B != nullptr && A->node != nullptr && B->node != nullptr) {
        const bool edge = IsEdgeLeaf(A->node);
        bool found = false;
        if (ZevContactServices.LeafBox != nullptr) {
            for (int which = 1; which <= 2 && !found; ++which) {
                TZevBoxNode* ba = ZevContactServices.LeafBox(A->node, which);
                TZevBoxNode* bb = ZevContactServices.LeafBox(B->node, which);
                if (ba == nullptr || bb == nullptr)
                    continue;
                found = (edge ? ZevEdgeEdgeTest(ba, nullptr, bb) : ZevVertexFaceTest(ba, nullptr, bb)) != 0;
            }
        } else {
            // Leaves without collision links are tested themselves.
            found = (edge ? ZevEdgeEdgeTest(A->node, nullptr, B->node) : ZevVertexFaceTest(A->node, nullptr, B->node))
                    != 0;
        }
        if (found) {
            if (edge)
                holds = ZevContactServices.BodyContactGeometry != nullptr &&
                        ZevContactServices.BodyContactGeometry(A, B, link) != 0;
            else
                holds = ZevContactServices.ContactNormalFacePoint != nullptr &&
                        ZevContactServices.ContactNormalFacePoint(world, A, B, link);
        }
    }
    if (holds) {
        link->Keep = 1;
        link->Active = 1;
    } else {
        link->Active = 0;
        link->RetestNeeded = 1;
    }
}

void ZevContactPass(TZevPhscs2World* world, float h)
{
    (void)h;
    world->NewContactFlag = 0;
    // Group the records by body, in the order the bodies first appear; within a body a record earlier in time
    // than the group's first goes to the front.
    std::vector<TZevFMCTree_CFaceData*>& records = ScratchRecords;
    std::vector<TZevFMCTree_CFaceData*>& ordered = ScratchOrdered;
    records.clear();
    ordered.clear();
    for (void* item : world->contactRecords)
        records.push_back(static_cast<TZevFMCTree_CFaceData*>(item));
    std::vector<char>& done = ScratchDone;
    done.assign(records.size(), 0);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (done[i] != 0)
            continue;
        TZevFMCTTree* body = records[i]->tree;
        const std::size_t start = ordered.size();
        ordered.push_back(records[i]);
        done[i] = 1;
        for (std::size_t j = i + 1; j < records.size(); ++j) {
            if (done[j] != 0 || records[j]->tree != body)
                continue;
            done[j] = 1;
            if (records[j]->time < ordered[start]->time) {
                ordered.insert(ordered.begin() + static_cast<std::ptrdiff_t>(start), records[j]);
            } else {
                ordered.push_back(records[j]);
            }
        }
    }
    for (TZevFMCTree_CFaceData* record : ordered) {
        // A record taken over by a link made for an earlier record of the same contact stays with that link.
        if (record->released != 0 || record->IsLinked() == false)
            continue;
        HandleRecord(world, record);
    }
    records.clear();
    ordered.clear();
    RetestAll(world);
}

void ZevLinkLengthPass(TZevPhscs2World* world)
{
    for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next)
        static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l))->UpdateLength();
}

void ZevContactPreparePass(TZevPhscs2World* world, float h)
{
    (void)h;
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        link->Force = TZevVector();
        link->StepCoeff = world->LinkStepCoeff;
        link->PrevDepth = link->Depth * 2.0f;
        if (link->Initialised == 0) {
            if (ZevContactServices.RetestContact != nullptr)
                ZevContactServices.RetestContact(link);
            link->Update();
            link->RetestNeeded = 0;
        }
        if (!ZevStickTest(link, 1.0f, 1.0f)) {
            link->Active = 0;
            link->RetestNeeded = 1;
        }
        link->Initialised = 1;
    }
}

bool ZevContactTooDeep(const TZevPhscs2World* world, const TZevContactLink* link)
{
    const float half = world->InterferencePermitDistance * 0.5f;
    if (link->Active == 0)
        return false;
    if (!HasSubContacts(link))
        return link->Depth < -half;
    for (const TZevPhscs2Link* sub : link->SubContacts) {
        if (sub != nullptr && !(SubDepth(sub) < -half))
            return false;
    }
    return true;
}

bool ZevContactsSatisfied(TZevPhscs2World* world, std::int32_t r)
{
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        if (ZevContactTooDeep(world, static_cast<TZevContactLink*>(l)))
            return false;
    }
    if (LinkPartOfSatisfy(world, r)) {
        for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
            if (RigidLinkTooLong(static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l))))
                return false;
        }
    }
    return true;
}

void ZevSatisfyPass(TZevPhscs2World* world, float h, std::int32_t r)
{
    EmptySatisfyLists(world);
    CollectWork(world, r);
    float f = 4.5f;
    double S = 0.0;
    std::int32_t count = 0;
    for (;;) {
        if (world->ContactSatisfyLinks.IsEmpty() &&
            (world->LinkSatisfyLinks.IsEmpty() || r >= world->LinkSatisfyRepeatMax))
            break;
        // A negative maximum ends the pass at once, as 0 does.
        if (count >= world->CollisionSatisfyRepeatMax)
            break;
        ++count;
        ++world->SatisfyRepeatCount;
        const std::int32_t mode = world->CollisionSatisfyMode;
        if (mode == 2) {
            f = 1.0f;
            Mode2Iteration(world, h, r);
        } else if (mode == 1) {
            f = 1.0f;
            Mode1Iteration(world, h, r);
        } else {
            Mode0Iteration(world, h, r, f, S);
        }
    }
    EmptySatisfyLists(world);
}

// ---------------------------------------------------------------------------------------------------------------
// Force laws.

bool ZevLinkForceLaw(TZevRigidLink* link, float springScale, float damperScale, float deadBand, float invH,
                     TZevVector& force)
{
    link->Penetration = 0.0f;
    link->PenetrationDirection = TZevVector();
    link->DeadBand = deadBand;
    const float ks = link->Spring * springScale;
    const float kd = link->Damper * damperScale;
    const float e = link->Length;
    const float e2 = e <= 0.0f ? e + deadBand : e - deadBand;
    if (std::fabs(e2) > 0.0f && std::fabs(e) > 1e-7f) {
        const TZevVector d = link->Direction;
        link->Penetration = std::fabs(e2);
        link->PenetrationDirection = d;
        force = Times(d, e2 * ks);
        if (kd != 0.0f) {
            const TZevVector s =
                Minus(Minus(link->PointB, link->PointA), Minus(link->PrevPointB, link->PrevPointA));
            force = Plus(force, Times(d, kd * invH * Dot(s, d)));
        }
        return true;
    }
    force = TZevVector();
    return false;
}

bool ZevContactForceLaw(TZevContactLink* link, float springScale, float frictionScale, float damperScale,
                        float invH, float deadBand, bool normalOnly, TZevVector& force)
{
    force = TZevVector();
    if (link->Active == 0 || link->RecordA == nullptr || link->RecordB == nullptr)
        return false;
    link->Penetration = 0.0f;
    link->PenetrationDirection = TZevVector();
    link->DeadBand = deadBand;
    const float b = deadBand;
    TZevVector F;
    // 2.
    TZevVector a = Minus(link->PointB, link->PointA);
    TZevVector n = link->RecordA->normal;
    const float ks = link->Spring * springScale;
    const float kf = link->DynamicFriction * frictionScale;
    const float kd = link->Damper * damperScale;
    const float kh = link->HorizontalDamper * damperScale;
    // 3. Motion over the step on the faces.
    const TZevVector dA = Minus(link->PointA, GetFacePointPrev(*link->RecordA));
    const TZevVector dB = Minus(link->PointB, GetFacePointPrev(*link->RecordB));
    const TZevVector m = Minus(dB, dA);
    TZevVector t;
    TZevVector ti[2];
    TZevVector ni[2];
    const bool subs = HasSubContacts(link);
    if (!subs) {
        if (!(link->Depth < 0.0f))
            return false;
        t = UnitOrZero(Across(m, n));
    } else {
        for (int i = 0; i < 2; ++i) {
            const TZevPhscs2Link* sub = link->SubContacts[i];
            if (sub == nullptr)
                continue;
            if (!(SubDepth(sub) < 0.0f))
                return false;
            ni[i] = i == 0 ? link->RecordA->normal : link->RecordB->normal;
            ti[i] = UnitOrZero(Across(m, ni[i]));
            n = ni[i];
        }
    }
    const TZevVector s = Minus(Minus(link->PointB, link->PrevPointB), Minus(link->PointA, link->PrevPointA));
    // 4. Choice of path.
    int path = 5;
    if (link->RetestNeeded != 0) {
        const int ok = ZevContactServices.RetestContact != nullptr ? ZevContactServices.RetestContact(link) : 1;
        if (ok == 0)
            return false;
        const float du0 = link->DeltaUV[0] - link->PrevDeltaUV[0];
        const float du1 = link->DeltaUV[1] - link->PrevDeltaUV[1];
        const float dot = link->DeltaUV[0] * link->PrevDeltaUV[0] + link->DeltaUV[1] * link->PrevDeltaUV[1];
        if (dot < 0.0f || du0 * du0 + du1 * du1 < 4e-14f) {
            link->Initialised = 0;
            link->RetestNeeded = 0;
            path = 5;
        } else {
            link->Update();
            a = Minus(link->PointB, link->PointA);
            path = (subs && IsEdgeLeaf(link->RecordA->node)) ? 7 : 6;
        }
    }
    if (link->Keep == 0)
        return false;
    if (path == 5) {
        link->LawState = 1;
        const float vn = Dot(s, n);
        const float p = std::fabs(Dot(a, n));
        const float e = p - b;
        if (e > 0.0f && p > 1e-7f) {
            F = TZevVector(a.x / p * e * ks, a.y / p * e * ks, a.z / p * e * ks);
            if (vn < 0.0f)
                F = Plus(F, Times(n, vn * invH * kd));
            F = Plus(F, Times(Minus(s, Times(n, vn)), kh * invH));
            link->Penetration += e;
            link->PenetrationDirection = n;
        }
    } else if (path == 6) {
        link->LawState = 0;
        const TZevVector v = Times(n, Dot(n, a));
        const float p = Length(v);
        const float e = p - b;
        if (e > 0.0f && p > 1e-7f) {
            F = TZevVector(v.x / p * e * ks, v.y / p * e * ks, v.z / p * e * ks);
            link->Penetration += e;
            link->PenetrationDirection = n;
            const float vn = Dot(s, n);
            if (vn < 0.0f)
                F = Plus(F, Times(n, vn * invH * kd));
            F = Plus(F, Times(t, -Dot(n, F) * kf));
        }
    } else {
        float w = 2.0f;
        for (int i = 0; i < 2; ++i) {
            const TZevPhscs2Link* sub = link->SubContacts[i];
            if (sub == nullptr)
                continue;
            const float g = i == 0 ? 1.0f : -1.0f;
            const TZevVector ai = Minus(sub->PointB, sub->PointA);
            const float q = Dot(ai, ni[i]);
            if (q >= 0.0f) {
                force = F;
                return false;
            }
            const float p = -q;
            const float e = p - b;
            link->LawState = 0;
            if (e > 0.0f && p > 1e-7f) {
                F = Plus(F, Times(ti[i], e * kf * ks));
                link->Penetration += e;
                link->PenetrationDirection = Plus(link->PenetrationDirection, Times(ni[i], -g));
                F = Plus(F, Times(Neg(ni[i]), e * ks * g));
                const float vn = Dot(s, ni[i]);
                if (vn < 0.0f)
                    F = Plus(F, Times(Times(ni[i], vn * invH * kd), g));
                w = w * 0.5f;
                if (normalOnly)
                    F = Times(ni[i], Dot(ni[i], F));
            }
        }
        F = Times(F, w);
        link->Penetration = link->Penetration * w;
        link->PenetrationDirection.Normalize();
        force = F;
        return true;
    }
    if (normalOnly)
        F = Times(n, Dot(n, F));
    force = F;
    return true;
}

bool ZevStickTest(TZevContactLink* link, float springScale, float staticScale)
{
    if (link->Active == 0 || link->RecordA == nullptr || link->RecordB == nullptr)
        return false;
    const bool subs = HasSubContacts(link);
    if (!subs) {
        if (!(link->Depth < 0.0f))
            return false;
    } else {
        for (const TZevPhscs2Link* sub : link->SubContacts)
            if (sub != nullptr && !(SubDepth(sub) < 0.0f))
                return false;
    }
    const TZevVector n = link->RecordA->normal;
    const float ks = link->Spring * springScale;
    const float mus = link->StaticFriction * staticScale;
    const TZevVector P = Plus(link->PrevForce, link->OlderForce);
    TZevVector offset;
    if (link->NewNode != nullptr) {
        const TZevVector dA = Minus(link->PointA, GetFacePointPrev(*link->RecordA));
        const TZevVector dB = Minus(link->PointB, GetFacePointPrev(*link->RecordB));
        offset = Minus(dB, dA);
    } else {
        offset = Minus(link->PointB, link->PointA);
    }
    if (!subs) {
        const TZevVector T = Across(offset, n);
        if (!(Length(T) > 1e-7f)) {
            link->RetestNeeded = 0;
            return true;
        }
        const float nP = Dot(n, P);
        const float N = -nP;
        const TZevVector est = Minus(Plus(Times(T, ks), P), Times(n, nP));
        if (Length(est) > mus * (N - ks * link->Depth))
            link->RetestNeeded = 1;
        return true;
    }
    bool slide = false;
    for (int i = 0; i < 2; ++i) {
        const TZevPhscs2Link* sub = link->SubContacts[i];
        if (sub == nullptr)
            continue;
        const float g = i == 0 ? 1.0f : -1.0f;
        const TZevVector ni = i == 0 ? link->RecordA->normal : link->RecordB->normal;
        const TZevVector T = Across(offset, ni);
        if (!(Length(T) > 1e-7f)) {
            link->RetestNeeded = 1;
            return true;
        }
        const float N = -Dot(ni, Times(P, g));
        const TZevVector est = Minus(Plus(Times(T, ks), P), Times(ni, N));
        if (Length(est) > mus * (N - ks * SubDepth(sub)))
            slide = true;
    }
    if (slide)
        link->RetestNeeded = 1;
    return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Force pass and hand-over.

void ZevForcePass(TZevPhscs2World* world, float h)
{
    const float invH = 1.0f / h;
    // Every share count used this step starts again from 0, those of pairs held only by contacts included;
    // a count left running would make resting contacts weaker the longer a scene runs.
    for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
        TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l));
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    }
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    }
    if (world->PairForceSharing != 0) {
        for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
            TZevContactLink* link = static_cast<TZevContactLink*>(l);
            if (link->Active != 0 && link->Pair != nullptr)
                link->Pair->AddShare(1.0f);
        }
        for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
            TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l));
            if (link->Active != 0 && link->Pair != nullptr)
                link->Pair->AddShare(1.0f);
        }
    }
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        TZevVector F;
        if (ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, invH, 0.0f, false, F)) {
            link->Force = F;
            link->Keep = 0;
            link->Active = 1;
        } else {
            link->Active = 0;
            link->RetestNeeded = 1;
        }
    }
    for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
        TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l));
        link->Force = TZevVector();
        float scale = 1.0f;
        if (world->PairForceSharing != 0 && link->Pair != nullptr && link->Pair->GetShareCount() > 0.0f)
            scale = 1.0f / link->Pair->GetShareCount();
        if (link->Active != 0) {
            TZevVector F;
            ZevLinkForceLaw(link, scale, 1.0f, 0.0f, invH, F);
            link->Force = F;
        }
    }
}

namespace {

// The torque couple of one axis through two links: the forces (r x r2) torque / (2 |r|) act at the links' points on
// both objects, r the half span of the pair, r2 a vector along the axis.
void ApplyCouple(TZevPhscs2Obj* A, TZevPhscs2Obj* B, const TZevRigidLink* p, const TZevRigidLink* q,
                 const TZevVector& r2, float torque, float h)
{
    const TZevVector r = Times(Minus(p->PointA, q->PointA), 0.5f);
    const float lr = Length(r);
    if (!(lr > 1e-10f))
        return;
    const TZevVector f = Times(Cross(r, r2), torque / 2.0f / lr);
    A->AddForceAt(f, p->PointA, h);
    A->AddForceAt(Neg(f), q->PointA, h);
    B->AddForceAt(Neg(f), p->PointB, h);
    B->AddForceAt(f, q->PointB, h);
}

} // namespace

void ZevForceHandOver(TZevPhscs2World* world, float h)
{
    for (TZevOwnerListLink* l = world->ContactLinks->First(); l != world->ContactLinks->End(); l = l->next) {
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        TZevPhscs2Obj* a = ZevContactPartA(link);
        TZevPhscs2Obj* b = ZevContactPartB(link);
        if (a != nullptr)
            a->AddForceAt(link->Force, link->PointA, h);
        if (b != nullptr)
            b->AddForceAt(Neg(link->Force), link->PointB, h);
    }
    for (TZevOwnerListLink* l = world->Joints->First(); l != world->Joints->End(); l = l->next) {
        TZevJoint* joint = static_cast<TZevJoint*>(static_cast<TZevReleasableLink*>(l));
        TZevPhscs2Obj* A = joint->ObjectA();
        TZevPhscs2Obj* B = joint->ObjectB();
        TZevRigidLink* const* L = joint->Links;
        if (A == nullptr || B == nullptr || L[0] == nullptr || L[1] == nullptr || L[2] == nullptr ||
            L[3] == nullptr)
            continue;
        // Axis 1 turns about the axis pair's span, which follows the second angle.
        const TZevVector axisSpan = Times(Minus(L[0]->PointA, L[1]->PointA), 0.5f);
        ApplyCouple(A, B, L[2], L[3], axisSpan, joint->NetTorque, h);
        if (joint->AxisCount == 2) {
            // Axis 2 turns about the reference direction fixed in A, with the reference pair's span as length.
            // The reference pair itself turns with the first angle: as the lever of the second couple it would
            // turn the second torque about the first axis (a spinning wheel would steer back and forth and tilt).
            TZevVector ref;
            A->LocalToWorldDir(joint->RefA, ref);
            const float span = Length(Times(Minus(L[2]->PointA, L[3]->PointA), 0.5f));
            if (ref.Normalize() != 0)
                ApplyCouple(A, B, L[0], L[1], Times(ref, span), joint->NetTorque2, h);
        }
    }
    for (TZevOwnerListLink* l = world->RigidLinks->First(); l != world->RigidLinks->End(); l = l->next) {
        TZevRigidLink* link = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(l));
        if (link->Active == 0)
            continue;
        if (link->ObjectA != nullptr)
            link->ObjectA->AddForceAt(link->Force, link->PointA, h);
        if (link->ObjectB != nullptr)
            link->ObjectB->AddForceAt(Neg(link->Force), link->PointB, h);
    }
}
