#include "ZevSatisfyPass.h"

#include "ZevBodyPair.h"
#include "ZevContactLink.h"
#include "ZevContactPass.h"
#include "ZevForceLaws.h"
#include "ZevJoint.h"
#include "ZevJointPass.h"
#include "ZevListView.h"
#include "ZevPhscs2World.h"
#include "ZevRigidLink.h"
#include "ZevSubContactLink.h"
#include "ZevVecInline.h"
#include "ZevWorkers.h"
#include "ZevXPhObj.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

EZevSatisfyMode ZevSatisfyModeOf(std::int32_t mode)
{
    if (mode == 2)
        return EZevSatisfyMode::PairShared;
    if (mode == 1)
        return EZevSatisfyMode::MarkScaled;
    return EZevSatisfyMode::LineSearch;
}

namespace {

constexpr std::uint32_t NoIsland = 0xFFFFFFFFu;

// An island of the pass: parts that a contact link or a rigid link joins, with the links between them. A part that
// cannot move (a fixed one) joins nothing: a floor under many piles leaves them apart. An island iterates on its
// own, writing only its own parts, bodies and links; what it would write to a fixed part or to the world waits in
// its records until the islands are merged, in island order.
struct TFixedRef {
    TZevPhscs2Obj* part = nullptr;
    std::uint32_t begin = 0; // the island's links of the part, in the part's list order: fixedLinks[begin, end)
    std::uint32_t end = 0;
    std::uint32_t round = 0; // the island's collection that last walked the part
    std::int32_t mark = 0;   // the part's Mark, counted within the island
    bool pulled = false;     // collected for an iteration that corrected: all the part's links are re-tested
    bool woken = false;      // took a correction: its users join ActiveBodies
};

struct TFixedForce {
    TZevPhscs2Obj* part;
    TZevVector force;
    TZevVector point;
    bool delayed;
};

// A set of bodies by address (open addressing), grown as it fills.
class TBodySet {
public:
    void Clear()
    {
        if (used != 0)
            std::fill(table.begin(), table.end(), nullptr);
        used = 0;
    }
    // True when the body was not in the set.
    bool Insert(const TZevXPhObj* body)
    {
        if ((used + 1) * 2 > table.size())
            Grow();
        if (Place(table, body)) {
            ++used;
            return true;
        }
        return false;
    }

private:
    static bool Place(std::vector<const TZevXPhObj*>& t, const TZevXPhObj* body)
    {
        const std::size_t mask = t.size() - 1;
        std::size_t i = static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(body) >> 4) *
                                                 0x9E3779B97F4A7C15ull >> 24) & mask;
        for (;; i = (i + 1) & mask) {
            if (t[i] == body)
                return false;
            if (t[i] == nullptr) {
                t[i] = body;
                return true;
            }
        }
    }
    void Grow()
    {
        std::vector<const TZevXPhObj*> bigger(table.empty() ? 64 : table.size() * 2, nullptr);
        for (const TZevXPhObj* body : table)
            if (body != nullptr)
                Place(bigger, body);
        table.swap(bigger);
    }

    std::vector<const TZevXPhObj*> table;
    std::size_t used = 0;
};

struct TIsland {
    std::uint32_t id = 0;
    std::vector<std::uint32_t> links;          // pass indices, in pass order
    std::vector<TZevContactLink*> worldLinks;  // its links of the world's list, in pass order
    std::vector<std::uint32_t> slots;          // its movable parts' slots
    std::vector<TZevRigidLink*> rigids;        // in the world's order
    std::vector<TZevJoint*> joints;            // in the world's order
    std::vector<TFixedRef> fixed;
    std::vector<std::uint32_t> fixedLinks;
    bool iterates = false; // a link too deep or a rigid link too long at the pass's start

    // The run.
    TZevWorkers* workers = nullptr; // for its per-link loops; none while islands run side by side
    std::uint32_t round = 0;
    std::vector<TZevContactLink*> contactList; // the satisfy lists, each link once
    std::vector<std::uint32_t> listedIndex;    // the pass indices of contactList
    std::vector<TZevRigidLink*> rigidList;
    std::vector<TZevXPhObj*> stepBodies; // woken bodies, stepped in every iteration
    TBodySet stepSet;
    std::vector<TZevXPhObj*> walk;
    std::vector<TFixedForce> fixedForces;
    std::vector<std::uint8_t> yes;
    std::vector<TZevVector> forces;
    std::int32_t count = 0;
    std::int64_t retests = 0;

    void Clear()
    {
        links.clear();
        worldLinks.clear();
        slots.clear();
        rigids.clear();
        joints.clear();
        fixed.clear();
        fixedLinks.clear();
        iterates = false;
        contactList.clear();
        listedIndex.clear();
        rigidList.clear();
        stepBodies.clear();
        stepSet.Clear();
        fixedForces.clear();
        count = 0;
        retests = 0;
    }

    TFixedRef* FindFixed(const TZevPhscs2Obj* part)
    {
        for (TFixedRef& ref : fixed)
            if (ref.part == part)
                return &ref;
        return nullptr;
    }
};

// Every contact link of the world, as the satisfy pass in progress found them at its start: no link is made or
// released during the pass. A link's PassIndex is its place here. Links that a part lists but the world does not
// (none in a sound world) follow the world's, from worldCount on: they are listed as the parts' walks list them,
// but neither re-tested with all nor looked at for depth by the world. The arrays belong to the thread that runs
// the pass; islands on other threads reach them through the reference they are given, each writing only the
// entries of its own links.
struct TPass {
    TZevPhscs2World* world = nullptr;
    std::uint32_t number = 0;
    float h = 0.0f;
    std::int32_t r = 0;
    bool linkPart = false; // rigid links are part of this pass

    std::vector<TZevContactLink*> links;
    std::size_t worldCount = 0;
    std::vector<TZevPhscs2Obj*> partA;
    std::vector<TZevPhscs2Obj*> partB;
    // The hot state by pass index: too deep (kept up to date by every re-test of the pass: nothing else changes a
    // link's depth or activity during the pass), listed for the iteration, and its island.
    std::vector<std::uint8_t> deep;
    std::vector<std::uint8_t> listed;
    std::vector<std::uint32_t> linkIsland;

    // Every part met, by its SatisfySlot k: its contact links as its ContactLinks list orders them, partLinks[
    // partBegin[k] .. partBegin[k + 1]), whether it can move, and the union-find of the islands.
    std::vector<std::uint32_t> partBegin;
    std::vector<std::uint32_t> partLinks;
    std::vector<TZevPhscs2Obj*> slotPart;
    std::vector<std::uint8_t> slotMovable;
    std::vector<std::uint32_t> parent;
    std::vector<std::uint32_t> rootIsland;
    std::vector<std::pair<const TZevXPhObj*, std::uint32_t>> bodySlots;
    std::vector<TZevXPhObj*> walk;

    std::vector<TIsland> islands; // the first islandCount are this pass's
    std::size_t islandCount = 0;
    std::vector<TIsland*> big;
    std::vector<TIsland*> small;
    std::vector<TZevXPhObj*> preActive;
    std::vector<TZevXPhObj*> mergeWoken;
    std::vector<TZevContactLink*> mergeRetest;

    std::uint32_t Find(std::uint32_t s)
    {
        while (parent[s] != s) {
            parent[s] = parent[parent[s]];
            s = parent[s];
        }
        return s;
    }
    void Union(std::uint32_t a, std::uint32_t b)
    {
        a = Find(a);
        b = Find(b);
        if (a != b)
            parent[a < b ? b : a] = a < b ? a : b;
    }
    bool Movable(const TZevPhscs2Obj* part) const
    {
        return part != nullptr && part->SatisfyRound == number && slotMovable[part->SatisfySlot] != 0;
    }
};

thread_local TPass Pass;

// Each pass in the program has a number of its own (never 0), which marks the objects it has given a slot or
// woken: a world may be stepped by one thread and then another, and an object that meets a later pass must never
// take an earlier pass's marks for its own. The work collections of all islands take numbers from one counter
// for the same reason; the numbers only need to differ, so the order islands on several threads take them in
// does not matter.
std::atomic<std::uint32_t> LastPassNumber{0};
std::atomic<std::uint32_t> LastCollectRound{0};

std::uint32_t NextNumber(std::atomic<std::uint32_t>& last)
{
    std::uint32_t n = last.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == 0)
        n = last.fetch_add(1, std::memory_order_relaxed) + 1;
    return n;
}

// Links per chunk handed to a thread.
constexpr std::size_t LinkGrain = 64;
constexpr std::size_t RetestGrain = 32;
// An island with this many links runs alone, its per-link loops on the worker threads; smaller ones run side by
// side, one island per thread at a time (their loops are too short to share out).
constexpr std::size_t BigIslandLinks = 256;

// f(i) for i in [0, n): on the worker threads when there are some. Only for items that write nothing but their
// own link.
template <class F> void ForEachItem(TZevWorkers* workers, std::size_t n, std::size_t grain, F f)
{
    if (workers != nullptr) {
        workers->For(n, grain, f);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        f(i);
}

// Satisfy lists: each link listed once, its flag telling that it is.

void ListContact(TPass& P, TIsland& I, std::uint32_t index)
{
    if (P.listed[index] == 0) {
        P.listed[index] = 1;
        I.listedIndex.push_back(index);
        I.contactList.push_back(P.links[index]);
    }
}

void ListRigid(TIsland& I, TZevRigidLink* link)
{
    if (link->SatisfyListed == 0) {
        link->SatisfyListed = 1;
        I.rigidList.push_back(link);
    }
}

void EmptySatisfyLists(TPass& P, TIsland& I)
{
    for (std::uint32_t index : I.listedIndex)
        P.listed[index] = 0;
    I.listedIndex.clear();
    for (TZevRigidLink* link : I.rigidList)
        link->SatisfyListed = 0;
    I.contactList.clear();
    I.rigidList.clear();
}

bool LinkPartOfSatisfy(const TZevPhscs2World* world, std::int32_t r)
{
    return r < world->LinkSatisfyRepeatMax && world->LinkSatisfyBudget > 0;
}

bool RigidLinkTooLong(const TZevRigidLink* link)
{
    return link->Active != 0 && std::fabs(link->Length) > link->Tolerance;
}

bool OwnRigid(const TPass& P, const TIsland& I, const TZevRigidLink* link)
{
    return link->SatisfyPass == P.number && link->SatisfyIsland == I.id;
}

// The part's active rigid links of the island, when rigid links are part of the pass.
void ListOwnRigids(TPass& P, TIsland& I, TZevPhscs2Obj* part)
{
    if (!P.linkPart)
        return;
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(part->RigidLinks))
        if (link->Active != 0 && OwnRigid(P, I, link))
            ListRigid(I, link);
}

void CollectPart(TPass& P, TIsland& I, TZevPhscs2Obj* part)
{
    if (part == nullptr)
        return;
    if (!P.Movable(part)) {
        TFixedRef* ref = I.FindFixed(part);
        // A second walk in the same collection would list nothing new.
        if (ref == nullptr || ref->round == I.round)
            return;
        ref->round = I.round;
        // A fixed part lists all its links of the island. Listing only those of the parts collected gains nothing
        // measurable once islands keep apart what a floor carries, and it reorders the sums of the corrections,
        // to which some shipped scenes are sensitive.
        for (std::uint32_t k = ref->begin; k < ref->end; ++k)
            ListContact(P, I, I.fixedLinks[k]);
        ListOwnRigids(P, I, part);
        ref->mark = 0;
        return;
    }
    if (part->CollectRound == I.round)
        return;
    part->CollectRound = I.round;
    const std::uint32_t slot = part->SatisfySlot;
    const std::uint32_t end = P.partBegin[slot + 1];
    for (std::uint32_t k = P.partBegin[slot]; k < end; ++k)
        ListContact(P, I, P.partLinks[k]);
    ListOwnRigids(P, I, part);
    part->Mark = 0;
}

void CollectWork(TPass& P, TIsland& I)
{
    I.round = NextNumber(LastCollectRound);
    const std::vector<std::uint8_t>& deep = P.deep;
    for (std::uint32_t i : I.links) {
        if (i < P.worldCount && deep[i] != 0) {
            CollectPart(P, I, P.partA[i]);
            CollectPart(P, I, P.partB[i]);
        }
    }
    if (P.linkPart) {
        for (TZevRigidLink* link : I.rigids) {
            if (RigidLinkTooLong(link)) {
                CollectPart(P, I, link->ObjectA);
                CollectPart(P, I, link->ObjectB);
            }
        }
    }
}

// A fixed part collected for the iteration about to correct: its links are all re-tested once the islands are
// done, and their parts' users woken, as if they had been listed.
void NotePulls(TIsland& I)
{
    for (TFixedRef& ref : I.fixed)
        if (ref.round == I.round)
            ref.pulled = true;
}

// Corrections.

void AddStepBody(TIsland& I, TZevXPhObj* body)
{
    if (I.stepSet.Insert(body))
        I.stepBodies.push_back(body);
}

// The island's version of the world's AddActiveBodyTree: the body and every body below it, in pre-order.
void AddStepTree(TIsland& I, TZevXPhObj* body)
{
    std::vector<TZevXPhObj*>& stack = I.walk;
    stack.clear();
    stack.push_back(body);
    while (!stack.empty()) {
        TZevXPhObj* b = stack.back();
        stack.pop_back();
        AddStepBody(I, b);
        const std::size_t at = stack.size();
        for (TZevCTree* child = b->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
            if (child->IsMeshTree())
                stack.push_back(static_cast<TZevXPhObj*>(child));
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(at), stack.end());
    }
}

// During a pass bodies only join the woken and the users of a part stay as they are: once a part's users have
// been woken in the pass, waking them again would find them all woken. A body that was active at the pass's start
// is stepped as it is, without the bodies below it, as the world's list would take it.
void WakeUsers(TPass& P, TIsland& I, TZevPhscs2Obj* part)
{
    if (!P.Movable(part)) {
        if (TFixedRef* ref = I.FindFixed(part))
            ref->woken = true;
        return;
    }
    if (part->WokenRound == P.number)
        return;
    part->WokenRound = P.number;
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(part->Users)) {
        if (P.world->IsActiveBody(body))
            AddStepBody(I, body);
        else
            AddStepTree(I, body);
    }
}

void AddForce(TPass& P, TIsland& I, TZevPhscs2Obj* part, const TZevVector& force, const TZevVector& point,
              bool delayed)
{
    if (P.Movable(part)) {
        if (delayed)
            part->AddDelayedForceAt(force, point, P.h);
        else
            part->AddStepForceAt(force, point, P.h);
        return;
    }
    I.fixedForces.push_back({part, force, point, delayed});
}

void ApplyCorrection(TPass& P, TIsland& I, TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k)
{
    if (a != nullptr) {
        AddForce(P, I, a, link->Correction, link->CorrectionPointA, false);
        AddForce(P, I, a, Times(link->Correction, k), link->CorrectionPointA, true);
        WakeUsers(P, I, a);
    }
    if (b != nullptr) {
        AddForce(P, I, b, Neg(link->Correction), link->CorrectionPointB, false);
        AddForce(P, I, b, Neg(Times(link->Correction, k)), link->CorrectionPointB, true);
        WakeUsers(P, I, b);
    }
}

void WithdrawCorrection(TPass& P, TIsland& I, TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b)
{
    if (a != nullptr) {
        AddForce(P, I, a, Neg(link->Correction), link->CorrectionPointA, false);
        WakeUsers(P, I, a);
    }
    if (b != nullptr) {
        AddForce(P, I, b, link->Correction, link->CorrectionPointB, false);
        WakeUsers(P, I, b);
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

template <class F> void ForContacts(const std::vector<TZevContactLink*>& list, F f)
{
    for (TZevContactLink* link : list)
        f(link);
}

template <class F> void ForRigids(const std::vector<TZevRigidLink*>& list, F f)
{
    for (TZevRigidLink* link : list)
        f(link);
}

// Every listed item, the contacts first.
template <class F> void ForSatisfyLinks(TIsland& I, F f)
{
    ForContacts(I.contactList, f);
    ForRigids(I.rigidList, f);
}

// Every listed item with its two parts and the rebound its correction applies with (none for a rigid link).
template <class F> void ForSatisfyLinkParts(TPass& P, TIsland& I, F f)
{
    const float k = P.world->CollisionReboundCoeff;
    ForContacts(I.contactList, [&](TZevContactLink* link) { f(link, link->SatisfyPartA, link->SatisfyPartB, k); });
    ForRigids(I.rigidList, [&](TZevRigidLink* link) { f(link, link->ObjectA, link->ObjectB, 0.0f); });
}

void AddMark(TPass& P, TIsland& I, TZevPhscs2Obj* part)
{
    if (part == nullptr)
        return;
    if (P.Movable(part)) {
        part->Mark += 1;
    } else if (TFixedRef* ref = I.FindFixed(part)) {
        ref->mark += 1;
    }
}

// Mode 1 applies a correction only between parts that took corrections this iteration; a fixed part counts those
// of the island.
int MarkOf(TPass& P, TIsland& I, TZevPhscs2Obj* part)
{
    if (part == nullptr || part->Flags == 0)
        return 0;
    if (P.Movable(part))
        return part->Mark;
    const TFixedRef* ref = I.FindFixed(part);
    return ref != nullptr ? ref->mark : 0;
}

// Takes a corrective term F of a mode and returns its square for the residual. Stored, the line search keeps F
// scaled by |F| f; the marked mode keeps `scaled` and marks both parts; the shared mode keeps `scaled` out of the
// sum and counts it in the pair's share.
float TakeTerm(TPass& P, TIsland& I, TZevPhscs2Link* link, EZevSatisfyMode mode, float f, bool store,
               const TZevVector& F, const TZevVector& scaled, TZevPhscs2Obj* partA, TZevPhscs2Obj* partB)
{
    const float sq = Dot(F, F);
    if (!store)
        return sq;
    if (mode == EZevSatisfyMode::LineSearch) {
        StoreCorrection(link, Times(Times(F, std::sqrt(sq)), f), true);
    } else if (mode == EZevSatisfyMode::MarkScaled) {
        StoreCorrection(link, scaled, true);
        AddMark(P, I, partA);
        AddMark(P, I, partB);
    } else {
        StoreCorrection(link, scaled, false);
        if (link->Pair != nullptr)
            link->Pair->AddShare(1.0f);
    }
    return sq;
}

// The corrective terms of a mode: every listed item gets its correction (when its force law answers yes); the
// residual (the sum of the squared terms) is returned, which only the line search reads.
double CorrectiveTerms(TPass& P, TIsland& I, EZevSatisfyMode mode, float f, bool store)
{
    TZevPhscs2World* world = P.world;
    const float invH = 1.0f / P.h;
    const float ipd = world->InterferencePermitDistance;
    const float half = ipd * 0.5f;
    double residual = 0.0;
    // The force law of a contact link reads and writes only that link: the laws run on any thread, then the terms
    // are taken in list order (the residual's sum, the marks and the share counts of the pairs).
    const std::vector<TZevContactLink*>& links = I.contactList;
    const std::size_t n = links.size();
    std::vector<std::uint8_t>& yes = I.yes;
    std::vector<TZevVector>& forces = I.forces;
    const std::vector<std::uint8_t>& deepFlags = P.deep;
    yes.resize(n);
    forces.resize(n);
    ForEachItem(I.workers, n, LinkGrain, [&](std::size_t i) {
        TZevContactLink* link = links[i];
        yes[i] = 0;
        if (deepFlags[link->PassIndex] == 0)
            return;
        const std::int32_t keep = link->Keep;
        link->Keep = 1;
        TZevVector F;
        bool holds;
        if (mode == EZevSatisfyMode::LineSearch)
            holds = ZevContactForceLaw(link, 1.0f, 1.0f, 0.0f, invH, half * 0.75f, false, F);
        else if (mode == EZevSatisfyMode::MarkScaled)
            holds = ZevContactForceLaw(link, f, 1.0f, 1.0f, invH, half * 0.5f, false, F);
        else
            holds = ZevContactForceLaw(link, f, 1.0f, 0.0f, invH, half * 0.5f, false, F);
        link->Keep = keep;
        yes[i] = holds ? 1 : 0;
        forces[i] = F;
    });
    for (std::size_t i = 0; i < n; ++i) {
        if (yes[i] != 0) {
            TZevContactLink* link = links[i];
            residual += static_cast<double>(TakeTerm(P, I, link, mode, f, store, forces[i], forces[i],
                                                     link->SatisfyPartA, link->SatisfyPartB));
        }
    }
    if (P.linkPart) {
        ForRigids(I.rigidList, [&](TZevRigidLink* link) {
            if (!RigidLinkTooLong(link))
                return;
            const float tol = link->Tolerance;
            TZevVector F;
            bool yes;
            if (mode == EZevSatisfyMode::LineSearch)
                yes = ZevLinkForceLaw(link, link->StepCoeff, 0.0f, tol * 0.75f, invH, F);
            else if (mode == EZevSatisfyMode::MarkScaled)
                yes = ZevLinkForceLaw(link, f, 1.0f, tol * 0.5f, invH, F);
            else
                yes = ZevLinkForceLaw(link, f, 0.0f, tol * 0.5f, invH, F);
            if (yes)
                residual += static_cast<double>(
                    TakeTerm(P, I, link, mode, f, store, F, Times(F, f), link->ObjectA, link->ObjectB));
        });
    }
    return residual;
}

void ApplyAll(TPass& P, TIsland& I)
{
    NotePulls(I);
    ForSatisfyLinkParts(P, I, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        ApplyCorrection(P, I, link, a, b, k);
    });
}

void WithdrawAll(TPass& P, TIsland& I)
{
    ForSatisfyLinkParts(P, I, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float) {
        WithdrawCorrection(P, I, link, a, b);
    });
}

// The contact links' corrections are cleared by their re-tests (Refresh).
void ClearRigidCorrections(TIsland& I)
{
    ForRigids(I.rigidList, [](TZevRigidLink* link) { ClearCorrection(link); });
}

void ScaleByShare(TZevPhscs2World* world, TZevPhscs2Link* link)
{
    const float c = link->Pair != nullptr ? link->Pair->GetShareCount() : 0.0f;
    const float scale = world->CollisionSatisfyCoefficientScale;
    link->Correction = c > 0.0f ? Times(link->Correction, scale / c) : Times(link->Correction, scale);
    link->CorrectionSum = Plus(link->CorrectionSum, link->Correction);
}

void StepBodies(TPass& P, TIsland& I)
{
    for (TZevXPhObj* body : I.stepBodies)
        body->UpdateWorldMatrix(P.h);
}

// Re-tests the links (each link's depth flag follows); `clear` first clears each link's correction, in the same
// walk (a re-test reads no correction).
void RetestPassLinks(TPass& P, TZevWorkers* workers, std::int64_t& count, TZevContactLink* const* links,
                     std::size_t n, bool clear)
{
    count += static_cast<std::int64_t>(n);
    TZevPhscs2World* world = P.world;
    std::vector<std::uint8_t>& deep = P.deep;
    auto retest = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            TZevContactLink* link = links[i];
            if (clear)
                ClearCorrection(link);
            ZevRetestContactLink(world, link);
            deep[link->PassIndex] = ZevContactTooDeep(world, link) ? 1 : 0;
        }
    };
    if (workers != nullptr)
        workers->ForRanges(n, RetestGrain, retest);
    else
        retest(0, n);
}

// The listed links' corrections are cleared with their re-tests when `clearListed`, which must then be asked
// for the listed links only.
void Refresh(TPass& P, TIsland& I, bool all, bool clearListed = false)
{
    if (all)
        RetestPassLinks(P, I.workers, I.retests, I.worldLinks.data(), I.worldLinks.size(), false);
    else
        RetestPassLinks(P, I.workers, I.retests, I.contactList.data(), I.contactList.size(), clearListed);
    for (TZevRigidLink* link : I.rigids)
        link->UpdateLength();
    EmptySatisfyLists(P, I);
    CollectWork(P, I);
}

// The share count that a shared correction divides by counts the items of its pair corrected in this iteration
// only, so that the items of one pair share the correction. Left running across the iterations of a pass (and
// across steps), it grows by one per correction and the corrections fade away harmonically: a falling body sinks
// through what it lands on, and joints sag unless their springs are many times what the scenes give them.
void ResetShares(TIsland& I)
{
    ForSatisfyLinks(I, [](TZevPhscs2Link* link) {
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    });
}

// The pair-shared mode: the island's joints move again, every item's correction is shared among the items of its
// body pair, all act in one trial step.
void PairSharedIteration(TPass& P, TIsland& I)
{
    for (TZevJoint* joint : I.joints)
        ZevJointPass(joint, P.h);
    ResetShares(I);
    CorrectiveTerms(P, I, EZevSatisfyMode::PairShared, 1.0f, true);
    NotePulls(I);
    ForSatisfyLinkParts(P, I, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        ScaleByShare(P.world, link);
        ApplyCorrection(P, I, link, a, b, k);
    });
    StepBodies(P, I);
    ClearRigidCorrections(I);
    Refresh(P, I, false, true);
}

// The mark-scaled mode: a correction acts only between parts that took corrections, scaled by their count.
void MarkScaledIteration(TPass& P, TIsland& I)
{
    CorrectiveTerms(P, I, EZevSatisfyMode::MarkScaled, 1.0f, true);
    NotePulls(I);
    auto apply = [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        if (Dot(link->Correction, link->Correction) == 0.0f)
            return;
        const int m = std::max(MarkOf(P, I, a), MarkOf(P, I, b));
        if (m <= 0)
            return;
        link->Correction = Times(link->Correction, 10.0f / static_cast<float>(m));
        ApplyCorrection(P, I, link, a, b, k);
    };
    ForSatisfyLinkParts(P, I, apply);
    StepBodies(P, I);
    ClearRigidCorrections(I);
    Refresh(P, I, false, true);
}

// The line search: a trial step with the corrections scaled by f, the slope of the residual along them, then f
// halved until the residual falls enough, and the step with that f.
void LineSearchIteration(TPass& P, TIsland& I, float& f, double& S)
{
    const EZevSatisfyMode mode = EZevSatisfyMode::LineSearch;
    const float h = P.h;
    // Trial step.
    const double R0 = CorrectiveTerms(P, I, mode, f, true);
    ApplyAll(P, I);
    StepBodies(P, I);
    WithdrawAll(P, I);
    Refresh(P, I, true);
    // Slope.
    ForContacts(I.contactList, [&](TZevContactLink* link) {
        TZevPhscs2Obj* a = link->SatisfyPartA;
        TZevPhscs2Obj* b = link->SatisfyPartB;
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
    ForRigids(I.rigidList, [&](TZevRigidLink* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        link->Correction = TZevVector();
    });
    // Backtracking search on f.
    for (int attempt = 0; attempt < 8;) {
        StepBodies(P, I);
        EmptySatisfyLists(P, I);
        CollectWork(P, I);
        CorrectiveTerms(P, I, mode, f, true);
        ApplyAll(P, I);
        StepBodies(P, I);
        WithdrawAll(P, I);
        Refresh(P, I, true);
        const double R1 = CorrectiveTerms(P, I, mode, f, false);
        if (!(R1 > R0 + 0.25 * static_cast<double>(f) * S) || f <= 0.01f)
            break;
        f = f * 0.5f;
        ++attempt;
    }
    // The step with the factor found.
    StepBodies(P, I);
    Refresh(P, I, true);
    CorrectiveTerms(P, I, mode, f, true);
    ApplyAll(P, I);
    StepBodies(P, I);
    auto finish = [&](TZevPhscs2Link* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        ClearCorrection(link);
    };
    ForSatisfyLinks(I, finish);
    Refresh(P, I, true);
    CorrectiveTerms(P, I, mode, f, false);
    EmptySatisfyLists(P, I);
    CollectWork(P, I);
}

// One island's iterations, against the pass's maximum, with its own line-search factor and slope.
void RunIsland(TPass& P, TIsland& I)
{
    TZevPhscs2World* world = P.world;
    EmptySatisfyLists(P, I);
    CollectWork(P, I);
    float f = 4.5f;
    double S = 0.0;
    std::int32_t count = 0;
    for (;;) {
        if (I.contactList.empty() && (I.rigidList.empty() || P.r >= world->LinkSatisfyRepeatMax))
            break;
        // A negative maximum ends the pass at once, as 0 does.
        if (count >= world->CollisionSatisfyRepeatMax)
            break;
        ++count;
        switch (ZevSatisfyModeOf(world->CollisionSatisfyMode)) {
        case EZevSatisfyMode::PairShared:
            f = 1.0f;
            PairSharedIteration(P, I);
            break;
        case EZevSatisfyMode::MarkScaled:
            f = 1.0f;
            MarkScaledIteration(P, I);
            break;
        case EZevSatisfyMode::LineSearch:
            LineSearchIteration(P, I, f, S);
            break;
        }
    }
    EmptySatisfyLists(P, I);
    I.count = count;
}

// The pass's arrays: the links and their parts, the parts' links, and the depth flags as they stand.
void BeginPass(TPass& P)
{
    TZevPhscs2World* world = P.world;
    P.number = NextNumber(LastPassNumber);
    const std::uint32_t round = P.number;
    P.links.clear();
    P.partA.clear();
    P.partB.clear();
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        link->SatisfyPartA = link->PartA();
        link->SatisfyPartB = link->PartB();
        link->PassIndex = static_cast<std::uint32_t>(P.links.size());
        P.links.push_back(link);
        P.partA.push_back(link->SatisfyPartA);
        P.partB.push_back(link->SatisfyPartB);
    }
    P.worldCount = P.links.size();
    for (TZevContactLink* link : P.links)
        ZevReadPassConstants(link, world->RetestRound);
    P.partBegin.clear();
    P.partLinks.clear();
    P.slotPart.clear();
    P.slotMovable.clear();
    auto slotOf = [&](TZevPhscs2Obj* part) {
        if (part == nullptr || part->SatisfyRound == round)
            return false;
        part->SatisfyRound = round;
        part->SatisfySlot = static_cast<std::uint32_t>(P.slotPart.size());
        P.slotPart.push_back(part);
        P.slotMovable.push_back(part->Fixed == 0 ? 1 : 0);
        P.partBegin.push_back(static_cast<std::uint32_t>(P.partLinks.size()));
        return true;
    };
    // The links a part lists that the world does not follow the world's, with the parts they name.
    for (std::size_t i = 0; i < P.links.size(); ++i) {
        for (TZevPhscs2Obj* part : {P.partA[i], P.partB[i]}) {
            if (!slotOf(part))
                continue;
            for (TZevContactLink* link : ZevItems<TZevContactLink>(part->ContactLinks)) {
                if (link->PassIndex >= P.links.size() || P.links[link->PassIndex] != link) {
                    link->PassIndex = static_cast<std::uint32_t>(P.links.size());
                    link->SatisfyPartA = link->PartA();
                    link->SatisfyPartB = link->PartB();
                    P.links.push_back(link);
                    P.partA.push_back(link->SatisfyPartA);
                    P.partB.push_back(link->SatisfyPartB);
                }
                P.partLinks.push_back(link->PassIndex);
            }
        }
    }
    // The parts of rigid links alone list no contact link of the pass.
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks))
        for (TZevPhscs2Obj* part : {link->ObjectA, link->ObjectB})
            slotOf(part);
    P.partBegin.push_back(static_cast<std::uint32_t>(P.partLinks.size()));
    const std::size_t n = P.links.size();
    P.listed.assign(n, 0);
    std::vector<std::uint8_t>& deep = P.deep;
    const std::vector<TZevContactLink*>& links = P.links;
    deep.assign(n, 0);
    ForEachItem(world->Workers(), n, LinkGrain * 2,
                [&](std::size_t i) { deep[i] = ZevContactTooDeep(world, links[i]) ? 1 : 0; });
}

TIsland& NewIsland(TPass& P)
{
    if (P.islandCount == P.islands.size())
        P.islands.emplace_back();
    TIsland& I = P.islands[P.islandCount];
    I.Clear();
    I.id = static_cast<std::uint32_t>(P.islandCount++);
    return I;
}

// The island of a root of the union-find, made at its first link.
std::uint32_t IslandOfRoot(TPass& P, std::uint32_t root)
{
    if (P.rootIsland[root] == NoIsland)
        P.rootIsland[root] = NewIsland(P).id;
    return P.rootIsland[root];
}

// A movable part of the two (the first), or none.
TZevPhscs2Obj* MovableOf(const TPass& P, TZevPhscs2Obj* a, TZevPhscs2Obj* b)
{
    if (P.Movable(a))
        return a;
    if (P.Movable(b))
        return b;
    return nullptr;
}

// Splits the pass into islands. Parts join through their links, and through the bodies a correction wakes: the
// users of a part and every body below them, so that no body is stepped by two islands. Islands are numbered by
// their first link in pass order, those of rigid links alone after them in the world's order.
void BuildIslands(TPass& P)
{
    TZevPhscs2World* world = P.world;
    const std::size_t slots = P.slotPart.size();
    P.parent.resize(slots);
    for (std::uint32_t s = 0; s < slots; ++s)
        P.parent[s] = s;
    auto join = [&](TZevPhscs2Obj* a, TZevPhscs2Obj* b) {
        if (P.Movable(a) && P.Movable(b))
            P.Union(a->SatisfySlot, b->SatisfySlot);
    };
    for (std::size_t i = 0; i < P.links.size(); ++i)
        join(P.partA[i], P.partB[i]);
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks))
        join(link->ObjectA, link->ObjectB);
    P.bodySlots.clear();
    for (std::uint32_t s = 0; s < slots; ++s) {
        if (P.slotMovable[s] == 0)
            continue;
        for (TZevXPhObj* user : ZevItems<TZevXPhObj>(P.slotPart[s]->Users)) {
            P.walk.clear();
            P.walk.push_back(user);
            while (!P.walk.empty()) {
                TZevXPhObj* body = P.walk.back();
                P.walk.pop_back();
                P.bodySlots.push_back({body, s});
                for (TZevCTree* child = body->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
                    if (child->IsMeshTree())
                        P.walk.push_back(static_cast<TZevXPhObj*>(child));
            }
        }
    }
    std::sort(P.bodySlots.begin(), P.bodySlots.end());
    for (std::size_t i = 1; i < P.bodySlots.size(); ++i)
        if (P.bodySlots[i].first == P.bodySlots[i - 1].first)
            P.Union(P.bodySlots[i].second, P.bodySlots[i - 1].second);

    P.islandCount = 0;
    P.rootIsland.assign(slots, NoIsland);
    P.linkIsland.assign(P.links.size(), NoIsland);
    for (std::size_t i = 0; i < P.links.size(); ++i) {
        TZevPhscs2Obj* part = MovableOf(P, P.partA[i], P.partB[i]);
        if (part == nullptr)
            continue; // between parts that cannot move: nothing to correct
        const std::uint32_t id = IslandOfRoot(P, P.Find(part->SatisfySlot));
        P.linkIsland[i] = id;
        TIsland& I = P.islands[id];
        I.links.push_back(static_cast<std::uint32_t>(i));
        if (i < P.worldCount) {
            I.worldLinks.push_back(P.links[i]);
            if (P.deep[i] != 0)
                I.iterates = true;
        }
    }
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
        link->SatisfyPass = 0;
        TZevPhscs2Obj* part = MovableOf(P, link->ObjectA, link->ObjectB);
        if (part == nullptr)
            continue;
        const std::uint32_t id = IslandOfRoot(P, P.Find(part->SatisfySlot));
        link->SatisfyPass = P.number;
        link->SatisfyIsland = id;
        TIsland& I = P.islands[id];
        I.rigids.push_back(link);
        if (P.linkPart && RigidLinkTooLong(link))
            I.iterates = true;
    }
    for (TZevJoint* joint : ZevItems<TZevJoint>(*world->Joints)) {
        TZevPhscs2Obj* part = MovableOf(P, joint->ObjectA(), joint->ObjectB());
        if (part != nullptr && P.rootIsland[P.Find(part->SatisfySlot)] != NoIsland)
            P.islands[P.rootIsland[P.Find(part->SatisfySlot)]].joints.push_back(joint);
    }
    for (std::uint32_t s = 0; s < slots; ++s) {
        if (P.slotMovable[s] == 0)
            continue;
        const std::uint32_t id = P.rootIsland[P.Find(s)];
        if (id != NoIsland)
            P.islands[id].slots.push_back(s);
    }
    // Each island's links of every fixed part, in the part's list order.
    for (std::uint32_t s = 0; s < slots; ++s) {
        if (P.slotMovable[s] != 0)
            continue;
        TZevPhscs2Obj* part = P.slotPart[s];
        for (std::uint32_t k = P.partBegin[s]; k < P.partBegin[s + 1]; ++k) {
            const std::uint32_t index = P.partLinks[k];
            const std::uint32_t id = P.linkIsland[index];
            if (id == NoIsland)
                continue;
            TIsland& I = P.islands[id];
            if (I.fixed.empty() || I.fixed.back().part != part) {
                TFixedRef ref;
                ref.part = part;
                ref.begin = ref.end = static_cast<std::uint32_t>(I.fixedLinks.size());
                I.fixed.push_back(ref);
            }
            I.fixedLinks.push_back(index);
            I.fixed.back().end = static_cast<std::uint32_t>(I.fixedLinks.size());
        }
    }
    // A fixed part that an island reaches by a rigid link alone.
    for (std::size_t id = 0; id < P.islandCount; ++id) {
        TIsland& I = P.islands[id];
        for (TZevRigidLink* link : I.rigids)
            for (TZevPhscs2Obj* part : {link->ObjectA, link->ObjectB})
                if (part != nullptr && !P.Movable(part) && I.FindFixed(part) == nullptr) {
                    TFixedRef ref;
                    ref.part = part;
                    ref.begin = ref.end = static_cast<std::uint32_t>(I.fixedLinks.size());
                    I.fixed.push_back(ref);
                }
    }
}

// A body stepped by an island marks its parents for rebuild: the parents outside the island (the tree under the
// active root, a fixed body carrying moving ones) are marked before the islands run, so that islands on several
// threads never write them.
void MarkParents(TPass& P)
{
    for (std::size_t id = 0; id < P.islandCount; ++id) {
        const TIsland& I = P.islands[id];
        if (!I.iterates)
            continue;
        for (std::uint32_t s : I.slots)
            for (TZevXPhObj* user : ZevItems<TZevXPhObj>(P.slotPart[s]->Users))
                for (TZevCTree* p = user->ParentTree(); p != nullptr && p->level < 2; p = p->ParentTree())
                    p->level = 2;
    }
}

// The world's WakeUsers, on the merging thread: bodies that join ActiveBodies here are recorded to be stepped.
void WakeAtMerge(TPass& P, TZevPhscs2Obj* part)
{
    if (part == nullptr || part->WokenRound == P.number)
        return;
    part->WokenRound = P.number;
    TZevPhscs2World* world = P.world;
    for (TZevXPhObj* user : ZevItems<TZevXPhObj>(part->Users)) {
        if (world->IsActiveBody(user))
            continue;
        P.walk.clear();
        P.walk.push_back(user);
        while (!P.walk.empty()) {
            TZevXPhObj* b = P.walk.back();
            P.walk.pop_back();
            if (!world->IsActiveBody(b)) {
                world->AddActiveBody(b);
                P.mergeWoken.push_back(b);
            }
            const std::size_t at = P.walk.size();
            for (TZevCTree* child = b->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
                if (child->IsMeshTree())
                    P.walk.push_back(static_cast<TZevXPhObj*>(child));
            std::reverse(P.walk.begin() + static_cast<std::ptrdiff_t>(at), P.walk.end());
        }
    }
}

// What the islands left for the world, in island order: the statistics, the corrections of fixed parts, the woken
// bodies, and the links of the fixed parts collected, re-tested where the islands did not re-test them.
void MergeIslands(TPass& P)
{
    TZevPhscs2World* world = P.world;
    std::int32_t count = 0;
    for (std::size_t id = 0; id < P.islandCount; ++id) {
        const TIsland& I = P.islands[id];
        count = std::max(count, I.count);
        world->RetestCount += I.retests;
    }
    world->SatisfyRepeatCount += count;
    if (count == 0)
        return;
    // The bodies active at the start, in no island or in one that had nothing to correct, would have been stepped
    // with the others.
    for (TZevXPhObj* body : P.preActive)
        body->UpdateWorldMatrix(P.h);
    for (std::size_t id = 0; id < P.islandCount; ++id)
        if (!P.islands[id].iterates)
            for (TZevXPhObj* body : P.islands[id].stepBodies)
                body->UpdateWorldMatrix(P.h);
    for (std::size_t id = 0; id < P.islandCount; ++id)
        for (const TFixedForce& c : P.islands[id].fixedForces) {
            if (c.delayed)
                c.part->AddDelayedForceAt(c.force, c.point, P.h);
            else
                c.part->AddStepForceAt(c.force, c.point, P.h);
        }
    for (std::size_t id = 0; id < P.islandCount; ++id)
        for (TZevXPhObj* body : P.islands[id].stepBodies)
            if (!world->IsActiveBody(body))
                world->AddActiveBody(body);
    P.mergeWoken.clear();
    P.mergeRetest.clear();
    const std::uint32_t round = NextNumber(LastCollectRound);
    for (std::size_t id = 0; id < P.islandCount; ++id) {
        for (const TFixedRef& ref : P.islands[id].fixed) {
            if (ref.woken || ref.pulled)
                WakeAtMerge(P, ref.part);
            if (!ref.pulled || ref.part->CollectRound == round)
                continue;
            ref.part->CollectRound = round;
            const std::uint32_t slot = ref.part->SatisfySlot;
            for (std::uint32_t k = P.partBegin[slot]; k < P.partBegin[slot + 1]; ++k) {
                const std::uint32_t index = P.partLinks[k];
                TZevContactLink* link = P.links[index];
                if (index < P.worldCount)
                    P.mergeRetest.push_back(link);
                WakeAtMerge(P, P.partA[index]);
                WakeAtMerge(P, P.partB[index]);
            }
        }
    }
    RetestPassLinks(P, world->Workers(), world->RetestCount, P.mergeRetest.data(), P.mergeRetest.size(), false);
    for (TZevXPhObj* body : P.mergeWoken)
        body->UpdateWorldMatrix(P.h);
}

void RunIslands(TPass& P)
{
    TZevWorkers* workers = P.world->Workers();
    P.big.clear();
    P.small.clear();
    for (std::size_t id = 0; id < P.islandCount; ++id) {
        TIsland& I = P.islands[id];
        if (!I.iterates)
            continue;
        if (I.links.size() >= BigIslandLinks)
            P.big.push_back(&I);
        else
            P.small.push_back(&I);
    }
    for (TIsland* I : P.big) {
        I->workers = workers;
        RunIsland(P, *I);
    }
    std::vector<TIsland*>& small = P.small;
    auto run = [&](std::size_t i) {
        small[i]->workers = nullptr;
        RunIsland(P, *small[i]);
    };
    ForEachItem(workers, small.size(), 1, run);
}

} // namespace

void ZevLinkLengthPass(TZevPhscs2World* world)
{
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks))
        link->UpdateLength();
}

bool ZevContactTooDeep(const TZevPhscs2World* world, const TZevContactLink* link)
{
    const float half = world->InterferencePermitDistance * 0.5f;
    if (link->Active == 0)
        return false;
    if (!link->HasSubContacts())
        return link->Depth < -half;
    for (const TZevPhscs2Link* sub : link->SubContacts) {
        if (sub != nullptr && !(ZevSubContactDepth(sub) < -half))
            return false;
    }
    return true;
}

bool ZevContactsSatisfied(TZevPhscs2World* world, std::int32_t r)
{
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        if (ZevContactTooDeep(world, link))
            return false;
    }
    if (LinkPartOfSatisfy(world, r)) {
        for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
            if (RigidLinkTooLong(link))
                return false;
        }
    }
    return true;
}

void ZevSatisfyPass(TZevPhscs2World* world, float h, std::int32_t r)
{
    TPass& P = Pass;
    P.world = world;
    P.h = h;
    P.r = r;
    P.linkPart = LinkPartOfSatisfy(world, r);
    world->BeginRetestRound();
    BeginPass(P);
    BuildIslands(P);
    // The bodies active at the pass's start are stepped in every iteration of their island from its first;
    // those of no island once the islands are done.
    P.preActive.clear();
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(world->ActiveBodies)) {
        auto it = std::lower_bound(P.bodySlots.begin(), P.bodySlots.end(), body,
                                   [](const std::pair<const TZevXPhObj*, std::uint32_t>& e, const TZevXPhObj* b) {
                                       return e.first < b;
                                   });
        const std::uint32_t id =
            it != P.bodySlots.end() && it->first == body ? P.rootIsland[P.Find(it->second)] : NoIsland;
        if (id != NoIsland)
            AddStepBody(P.islands[id], body);
        else
            P.preActive.push_back(body);
    }
    MarkParents(P);
    RunIslands(P);
    MergeIslands(P);
    P.links.clear();
    P.worldCount = 0;
    world->EndRetestRound();
}
