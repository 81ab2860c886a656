#include "ZevContactPass.h"

#include "ZevBodyBoxes.h"
#include "ZevColLink.h"
#include "ZevContactEstimate.h"
#include "ZevContactLink.h"
#include "ZevContactMaker.h"
#include "ZevListView.h"
#include "ZevNarrowPhase.h"
#include "ZevPhscs2World.h"
#include "ZevVecInline.h"
#include "ZevWorkers.h"
#include "ZevXPhObj.h"

#include <vector>

namespace {

// The contact link standing on both primitives (face and point, or the two edges in either order).
TZevContactLink* FindPrimitiveLink(TZevBoxNode* a, TZevBoxNode* b)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    // A pair of primitives has at most one link, listed by both: the shorter list finds it sooner (a floor face
    // lists the links of everything that stands on it).
    const TZevBoxNode* shorter = b->contactCount < a->contactCount ? b : a;
    for (TZevContactLink* link : ZevItems<TZevContactLink>(shorter->contactLinks)) {
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
    TZevBoxNode* box2 = ZevLeafBox(point, 2);
    TZevVector normal;
    if (box2 == nullptr || !ZevLeafLinkNormal(face, normal))
        return false;
    const TZevPointBoxVecT* p = static_cast<const TZevPointBoxVecT*>(box2);
    if (p->current == nullptr || p->previous == nullptr || *p->current == nullptr || *p->previous == nullptr)
        return false;
    const TZevVector m = Minus((*p->current)[p->i], (*p->previous)[p->i]);
    return Dot(m, normal) > 0.0f;
}

void MakeLink(TZevPhscs2World* world, TZevFMCTree_CFaceData* record)
{
    TZevContactLink* link = ZevCreateContactLink(world, record, 1);
    if (link == nullptr)
        return;
    world->ContactLinks->Append(link);
    for (TZevXPhObj* body : {link->BodyA(), link->BodyB()}) {
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
    TZevXPhObj* bodyA = static_cast<TZevXPhObj*>(record->tree);
    TZevXPhObj* bodyB = static_cast<TZevXPhObj*>(other->tree);
    if (bodyA == nullptr || bodyB == nullptr)
        return;
    TZevBoxNode* leafA = ZevMeshLeaf(record->node);
    TZevBoxNode* leafB = ZevMeshLeaf(other->node);
    const bool bothFixed = bodyA->IsFixed() != 0 && bodyB->IsFixed() != 0;
    const bool bothDynamic = bodyA->IsDynamic() != 0 && bodyB->IsDynamic() != 0;
    if (!ZevIsNodeType(leafA, ZevTypeEdgeBoxVecT)) {
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

// The records of one body in the contact pass's order: `fronts` were put before the group's first record (last
// put, first met), `backs` after it, the first record included.
struct TRecordGroup {
    std::vector<TZevFMCTree_CFaceData*> fronts;
    std::vector<TZevFMCTree_CFaceData*> backs;
    float headTime = 0.0f;
};

// Scratch of the contact pass, kept between steps so that a warm step allocates nothing.
thread_local std::vector<TRecordGroup> ScratchGroups;
thread_local std::vector<TZevFMCTree_CFaceData*> ScratchOrdered;

// The records grouped by body, the bodies in the order they first appear; within a body a record earlier in time
// than the group's first (as it stands when the record is met) goes to the front, any other to the back.
void OrderRecords(TZevPhscs2World* world, std::vector<TZevFMCTree_CFaceData*>& ordered)
{
    if (++world->ContactGroupRound == 0)
        world->ContactGroupRound = 1; // 0 is the mark of a tree never grouped
    const std::uint32_t round = world->ContactGroupRound;
    std::vector<TRecordGroup>& groups = ScratchGroups;
    std::size_t used = 0;
    for (TZevFMCTree_CFaceData* record : ZevItems<TZevFMCTree_CFaceData>(world->contactRecords)) {
        TZevFMCTTree* body = record->tree;
        if (body != nullptr && body->contactGroupRound == round) {
            TRecordGroup& group = groups[static_cast<std::size_t>(body->contactGroup)];
            if (record->time < group.headTime) {
                group.fronts.push_back(record);
                group.headTime = record->time;
            } else {
                group.backs.push_back(record);
            }
            continue;
        }
        // The first record of a body (a record without one is left alone by the pass: any group will do).
        if (used == groups.size())
            groups.emplace_back();
        TRecordGroup& group = groups[used];
        group.fronts.clear();
        group.backs.clear();
        group.backs.push_back(record);
        group.headTime = record->time;
        if (body != nullptr) {
            body->contactGroupRound = round;
            body->contactGroup = static_cast<std::int32_t>(used);
        }
        ++used;
    }
    ordered.clear();
    for (std::size_t g = 0; g < used; ++g) {
        const TRecordGroup& group = groups[g];
        ordered.insert(ordered.end(), group.fronts.rbegin(), group.fronts.rend());
        ordered.insert(ordered.end(), group.backs.begin(), group.backs.end());
    }
}

} // namespace

// Contact pass.

namespace {

std::uint32_t VertexVersion(const TZevFMCTTree* tree)
{
    return tree != nullptr ? tree->vertexVersion : 0;
}

// Would a re-test now find what the last one found? Only within the satisfy pass's round, with the vertices of
// both trees unchanged and the link untouched since. An edge contact also needs a separation that the last
// re-test can have accepted (one that the test against itself, d . d > 0, lets pass again).
bool RetestStillHolds(const TZevPhscs2World* world, const TZevContactLink* link)
{
    if (world->RetestRound == 0 || link->RetestRound != world->RetestRound ||
        link->RetestVersionA != VertexVersion(link->TreeA) || link->RetestVersionB != VertexVersion(link->TreeB))
        return false;
    return link->EdgeContact == 0 || !(Dot(link->Separation, link->Separation) <= 0.0f);
}

// The sweep test of the body-attached boxes of the link's two primitives: the first pair of boxes, then the
// second. Its answer is kept with the trees' box versions, which change whenever the boxes may have moved.
// The versions are read through the link's copies of the records' trees, which the re-test has just read.
bool BoxesMeet(TZevContactLink* link, bool edge)
{
    const TZevFMCTree_CFaceData* A = link->RecordA;
    const TZevFMCTree_CFaceData* B = link->RecordB;
    const TZevFMCTTree* treeA = link->TreeA;
    const TZevFMCTTree* treeB = link->TreeB;
    const bool versioned = treeA != nullptr && treeB != nullptr;
    if (versioned && link->BoxesMet >= 0 && link->BoxesVersionA == treeA->boxVersion &&
        link->BoxesVersionB == treeB->boxVersion)
        return link->BoxesMet != 0;
    bool found = false;
    for (int which = 1; which <= 2 && !found; ++which) {
        TZevBoxNode* ba = ZevLeafBox(A->node, which);
        TZevBoxNode* bb = ZevLeafBox(B->node, which);
        if (ba == nullptr || bb == nullptr)
            continue;
        found = (edge ? ZevEdgeEdgeTest(ba, nullptr, bb) : ZevVertexFaceTest(ba, nullptr, bb)) != 0;
    }
    if (versioned) {
        link->BoxesMet = found ? 1 : 0;
        link->BoxesVersionA = treeA->boxVersion;
        link->BoxesVersionB = treeB->boxVersion;
    }
    return found;
}

} // namespace

void ZevRetestContactLink(TZevPhscs2World* world, TZevContactLink* link)
{
    if (RetestStillHolds(world, link))
        return;
    link->RetestRound = world->RetestRound;
    link->RetestVersionA = VertexVersion(link->TreeA);
    link->RetestVersionB = VertexVersion(link->TreeB);
    // The link's Update, its sub-contacts' half left out when the geometry remakes them.
    link->UpdatePoints();
    TZevFMCTree_CFaceData* A = link->RecordA;
    TZevFMCTree_CFaceData* B = link->RecordB;
    bool holds = false;
    bool subsDropped = false;
    if (A != nullptr && B != nullptr && A->node != nullptr && B->node != nullptr) {
        // The link's flag, not the leaf's class: the leaves lie apart from everything else the re-test reads.
        const bool edge = link->EdgeContact != 0;
        if (BoxesMeet(link, edge))
            holds = edge ? ZevEdgeLinkGeometry(A, B, link, subsDropped) != 0
                         : ContactNormalFacePoint(world, A, B, link);
    }
    if (!subsDropped)
        link->UpdateSubContacts();
    if (holds) {
        link->Keep = 1;
        link->Active = 1;
    } else {
        link->Active = 0;
        link->RetestNeeded = 1;
    }
}

void ZevContactPass(TZevPhscs2World* world)
{
    world->NewContactFlag = 0;
    std::vector<TZevFMCTree_CFaceData*>& ordered = ScratchOrdered;
    OrderRecords(world, ordered);
    for (TZevFMCTree_CFaceData* record : ordered) {
        // A record taken over by a link made for an earlier record of the same contact stays with that link.
        if (record->released != 0 || record->IsLinked() == false)
            continue;
        HandleRecord(world, record);
    }
    ordered.clear();
    const std::vector<TZevContactLink*>& links = ZevContactLinkArray(world);
    ZevRetestContactLinks(world, links.data(), links.size());
}

namespace {

thread_local std::vector<TZevContactLink*> ScratchLinks;

// Links per chunk handed to a thread: enough to outweigh taking the chunk.
constexpr std::size_t RetestGrain = 32;

} // namespace

const std::vector<TZevContactLink*>& ZevContactLinkArray(TZevPhscs2World* world)
{
    std::vector<TZevContactLink*>& links = ScratchLinks;
    links.clear();
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks))
        links.push_back(link);
    return links;
}

void ZevRetestContactLinks(TZevPhscs2World* world, TZevContactLink* const* links, std::size_t n)
{
    world->RetestCount += static_cast<std::int64_t>(n);
    TZevWorkers* workers = world->Workers();
    if (workers == nullptr) {
        for (std::size_t i = 0; i < n; ++i)
            ZevRetestContactLink(world, links[i]);
        return;
    }
    auto retest = [&](std::size_t i) { ZevRetestContactLink(world, links[i]); };
    workers->For(n, RetestGrain, retest);
}

void ZevContactPreparePass(TZevPhscs2World* world)
{
    // Each link's preparation touches only that link: the links go to the worker threads when there are some.
    const std::vector<TZevContactLink*>& links = ZevContactLinkArray(world);
    auto prepare = [&](std::size_t i) {
        TZevContactLink* link = links[i];
        link->Force = TZevVector();
        link->StepCoeff = world->LinkStepCoeff;
        link->PrevDepth = link->Depth * 2.0f;
        if (link->Initialised == 0) {
            RetestContact(link);
            link->Update();
            link->RetestNeeded = 0;
        }
        if (!ZevStickTest(link, 1.0f, 1.0f)) {
            link->Active = 0;
            link->RetestNeeded = 1;
        }
        link->Initialised = 1;
    };
    if (TZevWorkers* workers = world->Workers())
        workers->For(links.size(), RetestGrain, prepare);
    else
        for (std::size_t i = 0; i < links.size(); ++i)
            prepare(i);
}

bool ZevStickTest(TZevContactLink* link, float springScale, float staticScale)
{
    if (link->Active == 0 || link->RecordA == nullptr || link->RecordB == nullptr)
        return false;
    const bool subs = link->HasSubContacts();
    if (!subs) {
        if (!(link->Depth < 0.0f))
            return false;
    } else {
        for (const TZevPhscs2Link* sub : link->SubContacts)
            if (sub != nullptr && !(ZevSubContactDepth(sub) < 0.0f))
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
        if (Length(est) > mus * (N - ks * ZevSubContactDepth(sub)))
            slide = true;
    }
    if (slide)
        link->RetestNeeded = 1;
    return true;
}
