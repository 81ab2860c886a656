#include "ZevSatisfyPass.h"

#include "ZevBodyPair.h"
#include "ZevContactLink.h"
#include "ZevContactPass.h"
#include "ZevForceLaws.h"
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

// Every contact link of the world, as the satisfy pass in progress found them at its start: no link is made or
// released during the pass, and the array is walked in every iteration. A link's PassIndex is its place here.
// Links that a part lists but the world does not (none in a sound world) follow the world's, from PassWorldCount
// on: they are listed as the parts' walks list them, but neither re-tested with all nor looked at for depth.
thread_local std::vector<TZevContactLink*> PassLinks;
thread_local std::size_t PassWorldCount = 0;

// The hot state of the pass's links in flat arrays by pass index, so that the walks of every iteration read a
// few bytes per link instead of the links themselves, which lie wherever the pool put them: the parts read at the
// pass's start, whether the link is too deep (kept up to date by every re-test of the pass: nothing else changes
// a link's depth or activity during the pass), and whether it is listed for the iteration.
thread_local std::vector<TZevPhscs2Obj*> PassPartA;
thread_local std::vector<TZevPhscs2Obj*> PassPartB;
thread_local std::vector<std::uint8_t> PassDeep;
thread_local std::vector<std::uint8_t> PassListed;
// The pass indices of the world's ContactSatisfyLinks, in the same order.
thread_local std::vector<std::uint32_t> ListedIndex;

// The contact links of every part met at the pass's start, as its ContactLinks list orders them: the links of
// the part in slot k are PartLinks[PartBegin[k] .. PartBegin[k + 1]). A part's list does not change during the
// pass, and the collections walk it in every iteration.
thread_local std::vector<std::uint32_t> PartBegin;
thread_local std::vector<std::uint32_t> PartLinks;

// Each pass in the program has a number of its own (never 0), which marks the objects it has given a slot or
// woken: a world may be stepped by one thread and then another, and an object that meets a later pass must never
// take an earlier pass's marks for its own.
std::atomic<std::uint32_t> LastPassNumber{0};
thread_local std::uint32_t PassNumber = 0;

void BeginPassNumber()
{
    std::uint32_t n = LastPassNumber.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == 0)
        n = LastPassNumber.fetch_add(1, std::memory_order_relaxed) + 1;
    PassNumber = n;
}

// Per link of the pass's arrays, what a first walk over them (on the worker threads) found for the second (in list
// order on the caller's thread): whether the link is too deep, and its force law's answer and force.
thread_local std::vector<std::uint8_t> LinkFlags;
thread_local std::vector<TZevVector> LinkForces;

// Links per chunk handed to a thread.
constexpr std::size_t LinkGrain = 64;
constexpr std::size_t RetestGrain = 32;

// f(i) for i in [0, n): on the world's worker threads when it has them. Only for items that write nothing but
// their own link.
template <class F> void ForEachItem(TZevPhscs2World* world, std::size_t n, std::size_t grain, F f)
{
    if (TZevWorkers* workers = world->Workers()) {
        workers->For(n, grain, f);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        f(i);
}

// Satisfy lists: each link listed once, its flag telling that it is.

void ListContact(TZevPhscs2World* world, std::uint32_t index)
{
    if (PassListed[index] == 0) {
        PassListed[index] = 1;
        ListedIndex.push_back(index);
        world->ContactSatisfyLinks.push_back(PassLinks[index]);
    }
}

void ListRigid(TZevPhscs2World* world, TZevRigidLink* link)
{
    if (link->SatisfyListed == 0) {
        link->SatisfyListed = 1;
        world->LinkSatisfyLinks.push_back(link);
    }
}

void EmptySatisfyLists(TZevPhscs2World* world)
{
    for (std::uint32_t index : ListedIndex)
        PassListed[index] = 0;
    ListedIndex.clear();
    for (TZevRigidLink* link : world->LinkSatisfyLinks)
        link->SatisfyListed = 0;
    world->ContactSatisfyLinks.clear();
    world->LinkSatisfyLinks.clear();
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
    if (part->SatisfyRound == PassNumber) {
        const std::uint32_t end = PartBegin[part->SatisfySlot + 1];
        for (std::uint32_t k = PartBegin[part->SatisfySlot]; k < end; ++k)
            ListContact(world, PartLinks[k]);
    } else {
        // A part that no link of the pass names (one of a rigid link only) lists no contact link of the pass.
        for (TZevContactLink* link : ZevItems<TZevContactLink>(part->ContactLinks))
            if (link->PassIndex < PassLinks.size() && PassLinks[link->PassIndex] == link)
                ListContact(world, link->PassIndex);
    }
    if (LinkPartOfSatisfy(world, r)) {
        for (TZevRigidLink* link : ZevItems<TZevRigidLink>(part->RigidLinks)) {
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
    const std::vector<std::uint8_t>& deep = PassDeep;
    const std::size_t n = PassWorldCount;
    for (std::size_t i = 0; i < n; ++i) {
        if (deep[i] != 0) {
            CollectPart(world, PassPartA[i], r);
            CollectPart(world, PassPartB[i], r);
        }
    }
    if (LinkPartOfSatisfy(world, r)) {
        for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
            if (RigidLinkTooLong(link)) {
                CollectPart(world, link->ObjectA, r);
                CollectPart(world, link->ObjectB, r);
            }
        }
    }
}

// The pass's arrays: the links and their parts, the parts' links, and the depth flags as they stand.
void BeginPass(TZevPhscs2World* world)
{
    BeginPassNumber();
    const std::uint32_t round = PassNumber;
    PassLinks.clear();
    PassPartA.clear();
    PassPartB.clear();
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        link->SatisfyPartA = link->PartA();
        link->SatisfyPartB = link->PartB();
        link->PassIndex = static_cast<std::uint32_t>(PassLinks.size());
        PassLinks.push_back(link);
        PassPartA.push_back(link->SatisfyPartA);
        PassPartB.push_back(link->SatisfyPartB);
    }
    PassWorldCount = PassLinks.size();
    for (TZevContactLink* link : PassLinks)
        ZevReadPassConstants(link, world->RetestRound);
    PartBegin.clear();
    PartLinks.clear();
    std::uint32_t slots = 0;
    for (std::size_t i = 0; i < PassWorldCount; ++i) {
        for (TZevPhscs2Obj* part : {PassPartA[i], PassPartB[i]}) {
            if (part == nullptr || part->SatisfyRound == round)
                continue;
            part->SatisfyRound = round;
            part->SatisfySlot = slots++;
            PartBegin.push_back(static_cast<std::uint32_t>(PartLinks.size()));
            for (TZevContactLink* link : ZevItems<TZevContactLink>(part->ContactLinks)) {
                if (link->PassIndex >= PassLinks.size() || PassLinks[link->PassIndex] != link) {
                    link->PassIndex = static_cast<std::uint32_t>(PassLinks.size());
                    PassLinks.push_back(link);
                }
                PartLinks.push_back(link->PassIndex);
            }
        }
    }
    PartBegin.push_back(static_cast<std::uint32_t>(PartLinks.size()));
    const std::size_t n = PassLinks.size();
    PassListed.assign(n, 0);
    ListedIndex.clear();
    // The arrays are this thread's: the helpers reach them through these references.
    std::vector<std::uint8_t>& deep = PassDeep;
    const std::vector<TZevContactLink*>& links = PassLinks;
    deep.assign(n, 0);
    ForEachItem(world, n, LinkGrain * 2,
                [&](std::size_t i) { deep[i] = ZevContactTooDeep(world, links[i]) ? 1 : 0; });
}

// Corrections.

// During a pass bodies only join ActiveBodies and the users of a part stay as they are: once a part's users have
// been woken in the pass, waking them again would find them all active.
void WakeUsers(TZevPhscs2World* world, TZevPhscs2Obj* part)
{
    if (part->WokenRound == PassNumber)
        return;
    part->WokenRound = PassNumber;
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(part->Users)) {
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
                [&](TZevContactLink* link) { f(link, link->SatisfyPartA, link->SatisfyPartB, k); });
    ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) { f(link, link->ObjectA, link->ObjectB, 0.0f); });
}

// Takes a corrective term F of a mode and returns its square for the residual. Stored, the line search keeps F
// scaled by |F| f; the marked mode keeps `scaled` and marks both parts; the shared mode keeps `scaled` out of the
// sum and counts it in the pair's share.
float TakeTerm(TZevPhscs2Link* link, EZevSatisfyMode mode, float f, bool store, const TZevVector& F, const TZevVector& scaled,
               TZevPhscs2Obj* partA, TZevPhscs2Obj* partB)
{
    const float sq = Dot(F, F);
    if (!store)
        return sq;
    if (mode == EZevSatisfyMode::LineSearch) {
        StoreCorrection(link, Times(Times(F, std::sqrt(sq)), f), true);
    } else if (mode == EZevSatisfyMode::MarkScaled) {
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

// The corrective terms of a mode: every listed item gets its correction (when its force law answers yes); the
// residual (the sum of the squared terms) is returned, which only the line search reads.
double CorrectiveTerms(TZevPhscs2World* world, EZevSatisfyMode mode, float f, float h, std::int32_t r, bool store)
{
    const float invH = 1.0f / h;
    const float ipd = world->InterferencePermitDistance;
    const float half = ipd * 0.5f;
    double residual = 0.0;
    // The force law of a contact link reads and writes only that link: the laws run on any thread, then the terms
    // are taken in list order (the residual's sum, the marks and the share counts of the pairs).
    const std::vector<TZevContactLink*>& links = world->ContactSatisfyLinks;
    const std::size_t n = links.size();
    std::vector<std::uint8_t>& yes = LinkFlags;
    std::vector<TZevVector>& forces = LinkForces;
    const std::vector<std::uint8_t>& deepFlags = PassDeep;
    yes.resize(n);
    forces.resize(n);
    ForEachItem(world, n, LinkGrain, [&](std::size_t i) {
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
            residual += static_cast<double>(
                TakeTerm(link, mode, f, store, forces[i], forces[i], link->SatisfyPartA, link->SatisfyPartB));
        }
    }
    if (LinkPartOfSatisfy(world, r)) {
        ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) {
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

// The contact links' corrections are cleared by their re-tests (Refresh).
void ClearRigidCorrections(TZevPhscs2World* world)
{
    ForRigids(world->LinkSatisfyLinks, [](TZevRigidLink* link) { ClearCorrection(link); });
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
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(world->ActiveBodies))
        body->UpdateWorldMatrix(h);
}

// Re-tests the links (each link's depth flag follows); `clear` first clears each link's correction, in the same
// walk (a re-test reads no correction).
void RetestPassLinks(TZevPhscs2World* world, TZevContactLink* const* links, std::size_t n, bool clear)
{
    world->RetestCount += static_cast<std::int64_t>(n);
    std::vector<std::uint8_t>& deep = PassDeep;
    auto retest = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            TZevContactLink* link = links[i];
            if (clear)
                ClearCorrection(link);
            ZevRetestContactLink(world, link);
            deep[link->PassIndex] = ZevContactTooDeep(world, link) ? 1 : 0;
        }
    };
    if (TZevWorkers* workers = world->Workers())
        workers->ForRanges(n, RetestGrain, retest);
    else
        retest(0, n);
}

// The listed links' corrections are cleared with their re-tests when `clearListed`, which must then be asked
// for the listed links only.
void Refresh(TZevPhscs2World* world, std::int32_t r, bool all, bool clearListed = false)
{
    if (all)
        RetestPassLinks(world, PassLinks.data(), PassWorldCount, false);
    else
        RetestPassLinks(world, world->ContactSatisfyLinks.data(), world->ContactSatisfyLinks.size(), clearListed);
    ZevLinkLengthPass(world);
    EmptySatisfyLists(world);
    CollectWork(world, r);
}

// The share count that a shared correction divides by counts the items of its pair corrected in this iteration
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

// The pair-shared mode: the joints move again, every item's correction is shared among the items of its body pair,
// all act in one trial step.
void PairSharedIteration(TZevPhscs2World* world, float h, std::int32_t r)
{
    ZevJointPass(world, h);
    ResetShares(world);
    CorrectiveTerms(world, EZevSatisfyMode::PairShared, 1.0f, h, r, true);
    ForSatisfyLinkParts(world, [&](TZevPhscs2Link* link, TZevPhscs2Obj* a, TZevPhscs2Obj* b, float k) {
        ScaleByShare(world, link);
        ApplyCorrection(world, link, a, b, k, h);
    });
    StepBodies(world, h);
    ClearRigidCorrections(world);
    Refresh(world, r, false, true);
}

// The mark-scaled mode: a correction acts only between parts that took corrections, scaled by their count.
void MarkScaledIteration(TZevPhscs2World* world, float h, std::int32_t r)
{
    CorrectiveTerms(world, EZevSatisfyMode::MarkScaled, 1.0f, h, r, true);
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
    ClearRigidCorrections(world);
    Refresh(world, r, false, true);
}

// The line search: a trial step with the corrections scaled by f, the slope of the residual along them, then f
// halved until the residual falls enough, and the step with that f.
void LineSearchIteration(TZevPhscs2World* world, float h, std::int32_t r, float& f, double& S)
{
    const EZevSatisfyMode mode = EZevSatisfyMode::LineSearch;
    // Trial step.
    const double R0 = CorrectiveTerms(world, mode, f, h, r, true);
    ApplyAll(world, h);
    StepBodies(world, h);
    WithdrawAll(world, h);
    Refresh(world, r, true);
    // Slope.
    ForContacts(world->ContactSatisfyLinks, [&](TZevContactLink* link) {
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
    ForRigids(world->LinkSatisfyLinks, [&](TZevRigidLink* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        link->Correction = TZevVector();
    });
    // Backtracking search on f.
    for (int attempt = 0; attempt < 8;) {
        StepBodies(world, h);
        EmptySatisfyLists(world);
        CollectWork(world, r);
        CorrectiveTerms(world, mode, f, h, r, true);
        ApplyAll(world, h);
        StepBodies(world, h);
        WithdrawAll(world, h);
        Refresh(world, r, true);
        const double R1 = CorrectiveTerms(world, mode, f, h, r, false);
        if (!(R1 > R0 + 0.25 * static_cast<double>(f) * S) || f <= 0.01f)
            break;
        f = f * 0.5f;
        ++attempt;
    }
    // The step with the factor found.
    StepBodies(world, h);
    Refresh(world, r, true);
    CorrectiveTerms(world, mode, f, h, r, true);
    ApplyAll(world, h);
    StepBodies(world, h);
    auto finish = [&](TZevPhscs2Link* link) {
        S -= static_cast<double>(Dot(link->Correction, link->Correction));
        ClearCorrection(link);
    };
    ForSatisfyLinks(world, finish);
    Refresh(world, r, true);
    CorrectiveTerms(world, mode, f, h, r, false);
    EmptySatisfyLists(world);
    CollectWork(world, r);
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
    world->BeginRetestRound();
    BeginPass(world);
    EmptySatisfyLists(world);
    CollectWork(world, r);
    float f = 4.5f;
    double S = 0.0;
    std::int32_t count = 0;
    for (;;) {
        if (world->ContactSatisfyLinks.empty() &&
            (world->LinkSatisfyLinks.empty() || r >= world->LinkSatisfyRepeatMax))
            break;
        // A negative maximum ends the pass at once, as 0 does.
        if (count >= world->CollisionSatisfyRepeatMax)
            break;
        ++count;
        ++world->SatisfyRepeatCount;
        switch (ZevSatisfyModeOf(world->CollisionSatisfyMode)) {
        case EZevSatisfyMode::PairShared:
            f = 1.0f;
            PairSharedIteration(world, h, r);
            break;
        case EZevSatisfyMode::MarkScaled:
            f = 1.0f;
            MarkScaledIteration(world, h, r);
            break;
        case EZevSatisfyMode::LineSearch:
            LineSearchIteration(world, h, r, f, S);
            break;
        }
    }
    EmptySatisfyLists(world);
    PassLinks.clear();
    PassWorldCount = 0;
    world->EndRetestRound();
}
