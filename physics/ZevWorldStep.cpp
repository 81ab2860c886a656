// The world step: integrate, collide, make and drop contact links, correct by satisfy passes until the contacts
// and links are acceptable, then compute and hand over the forces, advance the trees and run the callbacks.
#include "ZevPhscs2World.h"

#include "ZevBodyPair.h"
#include "ZevColLink.h"
#include "ZevCollisionMeshObj.h"
#include "ZevContactEstimate.h"
#include "ZevContactLink.h"
#include "ZevContactPass.h"
#include "ZevForceLaws.h"
#include "ZevJointPass.h"
#include "ZevListView.h"
#include "ZevRigidLink.h"
#include "ZevSatisfyPass.h"
#include "ZevWorkers.h"
#include "ZevXPhObj.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

TZevXPhObj* AsBody(TZevOwnerListLink* child)
{
    TZevCTree* tree = static_cast<TZevCTree*>(child);
    return tree->IsMeshTree() ? static_cast<TZevXPhObj*>(tree) : nullptr;
}

void ShiftForces(TZevPhscs2Link* link)
{
    link->PrevForce = link->Force;
    link->PrevTorque = link->Torque;
    link->Force = TZevVector();
    link->Torque = TZevVector();
    link->CorrectionSum = TZevVector();
    link->Correction = TZevVector();
}

// Inactive contact links go; the others advance and move their force history one step back.
void PrepareContactLinks(TZevPhscs2World* world)
{
    TZevOwnerListLink* l = world->ContactLinks->First();
    while (l != world->ContactLinks->End()) {
        TZevOwnerListLink* next = l->next;
        TZevContactLink* link = static_cast<TZevContactLink*>(l);
        if (link->Active == 0) {
            link->Release();
            // A link released before stays in the ring after its second release.
            if (link->IsLinked())
                link->Unlink();
        } else {
            link->Advance();
            ShiftForces(link);
        }
        l = next;
    }
}

// Every rigid link gets its pair record once, advances, moves its force history one step back and takes the
// world's step coefficient.
void PrepareRigidLinks(TZevPhscs2World* world)
{
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
        if (link->Pair == nullptr)
            link->Pair = RegisterPair(&world->pairs, link->ObjectA, link->ObjectB, nullptr, 1.0f);
        link->Advance();
        link->OlderForce = link->PrevForce;
        link->OlderTorque = link->PrevTorque;
        ShiftForces(link);
        link->StepCoeff = world->LinkStepCoeff;
    }
}

// BodyList: every body of the tree under the active root, in pre-order.
void RebuildBodyList(TZevPhscs2World* world)
{
    TZevList stack;
    for (TZevOwnerListLink* child = world->activeRoot->Last(); child != world->activeRoot->End();
         child = child->prev)
        stack.PushFront(child);
    while (TZevOwnerListLink* link = ZevPopItem<TZevOwnerListLink>(stack)) {
        TZevXPhObj* body = AsBody(link);
        if (body != nullptr) {
            if (body->WorldNode0 != nullptr)
                TZevList::RemoveNode(body->WorldNode0);
            body->WorldNode0 = world->BodyList.Add(body);
        }
        TZevCTree* tree = static_cast<TZevCTree*>(link);
        ZevPushChildren<TZevOwnerListLink>(stack, tree);
    }
}

// The contact normal and direction estimates of every body whose tree is not up to date. They follow from the
// body's vertices and the positions its boxes took at the step's start: within a step, a body whose vertices and
// boxes stayed as its last estimates left them would get the same estimates again.
thread_local std::vector<TZevXPhObj*> EstimateBodies;

// Bodies per chunk handed to a thread.
constexpr std::size_t EstimateGrain = 8;

void ProcessWorldContacts(TZevPhscs2World* world)
{
    std::vector<TZevXPhObj*>& bodies = EstimateBodies;
    bodies.clear();
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(world->BodyList)) {
        if (body->level != 0 &&
            !(body->estimateRound == world->stepRound && body->estimateVertexVersion == body->vertexVersion &&
              body->estimateBoxVersion == body->boxVersion))
            bodies.push_back(body);
    }
    // A body's estimates touch only its own leaves and their links: the bodies may go in any order.
    auto estimate = [&](std::size_t i) {
        TZevXPhObj* body = bodies[i];
        ProcessBodyContacts(world, body);
        body->estimateRound = world->stepRound;
        body->estimateVertexVersion = body->vertexVersion;
        body->estimateBoxVersion = body->boxVersion;
    };
    if (TZevWorkers* workers = world->Workers())
        workers->For(bodies.size(), EstimateGrain, estimate);
    else
        for (std::size_t i = 0; i < bodies.size(); ++i)
            estimate(i);
}

// The trees right under the active root, kept so that a warm step allocates nothing.
thread_local std::vector<TZevCTree*> RefitTrees;

// Trees per chunk handed to a thread.
constexpr std::size_t RefitGrain = 8;

// The refit of the active root (its UpdateBox) with the trees right under it refitted on the worker threads: each
// refits only its own subtree, and the root takes their union in ring order once all are done.
void RefitActiveRoot(TZevPhscs2World* world)
{
    TZevCTree* root = world->activeRoot;
    TZevWorkers* workers = world->Workers();
    if (workers == nullptr || root->FirstChild() == nullptr || root->level <= 0) {
        root->UpdateBox();
        return;
    }
    std::vector<TZevCTree*>& trees = RefitTrees;
    trees.clear();
    for (TZevCTree* child = root->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        trees.push_back(child);
    auto refit = [&](std::size_t i) { trees[i]->UpdateBox(); };
    workers->For(trees.size(), RefitGrain, refit);
    ZevSetEmptyBox(root->box);
    for (TZevCTree* tree : trees)
        ZevWidenBox(root->box, tree->box);
    root->level -= 1;
}

// The collision-link lists of every body whose tree is not up to date go back to the pool.
void ClearWorldLinkLists(TZevPhscs2World* world)
{
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(world->BodyList))
        if (body->level != 0)
            ClearBodyLinkLists(body);
}

// Every dynamic body with a tree to update joins ActiveBodies, and every body moves over the sub-step.
void IntegrateBodies(TZevPhscs2World* world, float h)
{
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(world->BodyList)) {
        if (body->IsDynamic() != 0 && body->level != 0 && !world->IsActiveBody(body))
            world->AddActiveBody(body);
        body->UpdateWorldMatrix(h);
    }
}

void ClearKeepFlags(TZevPhscs2World* world)
{
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks))
        link->Keep = 0;
}

void ClearNewContactLinks(TZevPhscs2World* world)
{
    while (!world->NewContactLinks.IsEmpty()) {
        TZevListNode* n = world->NewContactLinks.First();
        ZevItem<TZevContactLink>(n)->NewNode = nullptr;
        TZevList::RemoveNode(n);
    }
}

} // namespace

int TZevPhscs2World::Step(float dt)
{
    if (++stepRound == 0)
        stepRound = 1; // 0 marks a tree that kept nothing
    StepSize = dt;
    SatisfyRepeatCount = 0;
    RetryCollisionCount = 0;
    RetestCount = 0;
    if (dt == 0.0f) {
        TZevCollisionSpace::UpdateTrees(0.0f);
        RebuildBodyList(this);
        ProcessWorldContacts(this);
        activeRoot->UpdateBox();
        return 0;
    }
    const float end = dt * 0.999999f;
    if (!(end > 0.0f))
        return UpdateBodyTree(activeRoot, dt);

    // A positive dt runs one pass with h = dt; the loop only guards the rounding of the time done.
    float done = 0.0f;
    float h = dt;
    while (done < end) {
        // Preparation: histories move back, dead contact links go, the body list follows the body tree.
        ZevShiftJointHistories(this);
        PrepareContactLinks(this);
        PrepareRigidLinks(this);
        ClearWorldLinkLists(this);
        RebuildBodyList(this);
        if (dt - done < h)
            h = dt - done;
        IntegrateBodies(this, h);
        // Retry iterations: collide what moved, make and drop contact links, and correct by satisfy passes until
        // the contacts and links are acceptable or the iterations run out.
        LinkSatisfyBudget = 1;
        for (std::int32_t r = 0;; ++r) {
            ClearContacts();
            ProcessWorldContacts(this);
            RefitActiveRoot(this);
            CollideActiveBodies(1);
            ++RetryCollisionCount;
            ZevJointPass(this, h);
            ZevContactPass(this);
            ZevLinkLengthPass(this);
            ZevContactPreparePass(this);
            // Once the first iteration is over, an iteration that made no contact link ends the loop.
            if (NewContactLinks.IsEmpty() && r >= 1)
                break;
            if (ZevContactsSatisfied(this, r))
                break;
            if (NewContactFlag == 0 && r >= 1)
                --LinkSatisfyBudget;
            // A negative maximum ends the loop here, as 0 does.
            if (r >= RetryCollisionMax)
                break;
            ZevSatisfyPass(this, h, r);
            ClearKeepFlags(this);
        }
        // The forces of the step, the trees advanced to the new positions, the forces handed to the bodies.
        ZevForcePass(this, h);
        ClearNewContactLinks(this);
        TZevCollisionSpace::UpdateTrees(h);
        ZevForceHandOver(this, h);
        done = done + h;
    }
    // The contact records of the last pass refer to vertex arrays that the next step swaps; they are not kept.
    return UpdateBodyTree(activeRoot, dt);
}

int TZevPhscs2World::UpdateBodyTree(TZevCTree* node, float dt)
{
    (void)dt;
    if (node == nullptr)
        return 0;
    // Post-order with an explicit stack: a node is visited once all its children are. Deletions requested by
    // the callbacks wait until the walk is over, so no node of the stack is freed under it.
    ++CallbackWalkDepth;
    TZevList stack;
    TZevList expanded; // parallel marks: a node pushed once expanded
    stack.PushFront(node);
    expanded.PushFront(nullptr);
    int result = 0;
    while (!stack.IsEmpty()) {
        TZevCTree* tree = ZevItem<TZevCTree>(stack.First());
        const bool open = expanded.First()->data != nullptr;
        if (!open) {
            expanded.First()->data = tree;
            for (TZevOwnerListLink* child = tree->Last(); child != tree->End(); child = child->prev) {
                stack.PushFront(static_cast<TZevCTree*>(child));
                expanded.PushFront(nullptr);
            }
            continue;
        }
        stack.PopFront();
        expanded.PopFront();
        if (tree->IsMeshTree()) {
            TZevXPhObj* body = static_cast<TZevXPhObj*>(tree);
            if (!IsDeletionPending(body))
                body->StepCallback();
            result = 1;
        }
    }
    --CallbackWalkDepth;
    if (CallbackWalkDepth == 0)
        FinishDeferredDeletions();
    return result;
}

namespace {

// The walk of a body's collision, kept between calls so that a warm step allocates nothing.
thread_local std::vector<TZevCTree*> RetestStack;

// The bodies a body is attached to or must not collide with; the walk skips them.
thread_local std::vector<const TZevXPhObj*> RetestSkipped;

bool FiniteBox(const TZevNodeBox& b)
{
    return std::isfinite(b.Min.x) && std::isfinite(b.Min.y) && std::isfinite(b.Min.z) && std::isfinite(b.Max.x) &&
           std::isfinite(b.Max.y) && std::isfinite(b.Max.z);
}

bool EmptyBox(const TZevNodeBox& b)
{
    return b.Min.x > b.Max.x || b.Min.y > b.Max.y || b.Min.z > b.Max.z;
}

// The trees right under the active root, sorted by the low x of their boxes, so that the ones whose boxes a body's
// box overlaps are found without testing them all. A tree with a box far wider than most (a floor, a land) or
// with a box that is not finite is kept aside and always tested. The answer lists the trees in ring order: the
// order in which the walk over every tree of the root would meet them. Once built it is only read, by any thread.
class TopTreeSweep {
public:
    void Build(TZevCTree* root)
    {
        trees.clear();
        sorted.clear();
        wide.clear();
        for (TZevCTree* child = root->FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
            trees.push_back(child);
        std::vector<double>& widths = scratchWidths;
        widths.clear();
        for (TZevCTree* tree : trees)
            if (FiniteBox(tree->box) && !EmptyBox(tree->box))
                widths.push_back(static_cast<double>(tree->box.Max.x) - static_cast<double>(tree->box.Min.x));
        double limit = 0.0;
        if (!widths.empty()) {
            std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(widths.size() / 2),
                             widths.end());
            limit = 4.0 * widths[widths.size() / 2];
        }
        widest = 0.0;
        for (std::uint32_t i = 0; i < trees.size(); ++i) {
            const TZevNodeBox& b = trees[i]->box;
            if (!FiniteBox(b)) {
                wide.push_back(i);
                continue;
            }
            if (EmptyBox(b)) // overlaps nothing
                continue;
            const double width = static_cast<double>(b.Max.x) - static_cast<double>(b.Min.x);
            if (width > limit) {
                wide.push_back(i);
                continue;
            }
            widest = std::max(widest, width);
            sorted.push_back({static_cast<double>(b.Min.x), i});
        }
        std::sort(sorted.begin(), sorted.end(),
                  [](const Entry& a, const Entry& b) { return a.minX < b.minX || (a.minX == b.minX && a.index < b.index); });
    }

    // The trees under the root whose boxes overlap `box`, in ring order; false when the box is not finite (the
    // caller then walks every tree). `found` is the caller's scratch.
    bool Overlapping(const TZevNodeBox& box, std::vector<TZevCTree*>& out, std::vector<std::uint32_t>& found) const
    {
        out.clear();
        if (!FiniteBox(box))
            return false;
        found.clear();
        // A tree overlapping on x has its low x within [box low - widest, box high]; the margin only widens the
        // range, the overlap test below decides.
        const double low = static_cast<double>(box.Min.x) - widest - (widest * 1e-6 + 1e-6);
        const double high = static_cast<double>(box.Max.x);
        auto first = std::lower_bound(sorted.begin(), sorted.end(), low,
                                      [](const Entry& e, double x) { return e.minX < x; });
        for (auto it = first; it != sorted.end() && it->minX <= high; ++it)
            if (box.Overlaps(trees[it->index]->box))
                found.push_back(it->index);
        for (std::uint32_t i : wide)
            if (box.Overlaps(trees[i]->box))
                found.push_back(i);
        std::sort(found.begin(), found.end());
        for (std::uint32_t i : found)
            out.push_back(trees[i]);
        return true;
    }

    const TZevPhscs2World* owner = nullptr;

private:
    struct Entry {
        double minX;
        std::uint32_t index;
    };
    std::vector<TZevCTree*> trees; // in ring order
    std::vector<Entry> sorted;
    std::vector<std::uint32_t> wide;
    double widest = 0.0;
    std::vector<double> scratchWidths;
};

thread_local TopTreeSweep Sweep;
thread_local std::vector<TZevCTree*> SweepFound;
thread_local std::vector<std::uint32_t> SweepScratch;

// The sweep pays once several bodies are tested against many trees.
constexpr int SweepMinBodies = 4;
constexpr int SweepMinTrees = 32;

// What one body's collision found, to be added to the world in body order: the meetings and contacts, and the
// meetings after which the other body's contact hit is cleared.
struct TBodyCollision {
    TZevXPhObj* body = nullptr;
    TZevContactBuffer found;
    std::vector<std::uint32_t> clearHits;
};

// The collisions of the active bodies in progress on the calling thread, kept so that a warm step allocates nothing.
thread_local std::vector<TBodyCollision> BodyCollisions;

// Bodies per chunk handed to a thread.
constexpr std::size_t CollideGrain = 4;

// Collides one body with the body tree under the active root and writes what it found to `out`, and nothing
// else: the world and every body are only read, so bodies may be collided at once on several threads.
void CollideBody(TZevPhscs2World* world, std::int32_t flag, TZevXPhObj* body, const TopTreeSweep* sweep,
                 TBodyCollision& out)
{
    out.body = body;
    out.found.Clear();
    out.clearHits.clear();
    if (body == nullptr)
        return;
    const bool noRetest = body->IsNoRetest() != 0;
    if (flag == 0 ? !noRetest : noRetest)
        return;
    if (body->level == 0)
        return;
    // A body never collides with the bodies attached to it, nor with those of its no-collision list.
    std::vector<const TZevXPhObj*>& skipped = RetestSkipped;
    skipped.clear();
    if (TZevCollisionMeshObj* meshBody = dynamic_cast<TZevCollisionMeshObj*>(body)) {
        for (TZevXPhObj* b : ZevItems<TZevXPhObj>(meshBody->AttachList))
            skipped.push_back(b);
        for (TZevXPhObj* b : ZevItems<TZevXPhObj>(meshBody->NoCollisionList))
            skipped.push_back(b);
    }
    // Collide the body with the body tree under the active root, in pre-order; boxes that miss skip their whole
    // subtree. Every body of the world is visited for every body retested, so the stack is a plain array rather
    // than a list of pooled nodes; with a sweep of the root's trees the walk starts only at those it overlaps.
    TZevCTree* root = world->activeRoot;
    std::vector<TZevCTree*>& stack = RetestStack;
    stack.clear();
    if (sweep != nullptr && body->box.Overlaps(root->box) && sweep->Overlapping(body->box, SweepFound, SweepScratch)) {
        for (auto it = SweepFound.rbegin(); it != SweepFound.rend(); ++it)
            stack.push_back(*it);
    } else {
        stack.push_back(root);
    }
    while (!stack.empty()) {
        TZevCTree* node = stack.back();
        stack.pop_back();
        if (!body->box.Overlaps(node->box))
            continue;
        if (node->IsMeshTree()) {
            TZevXPhObj* other = static_cast<TZevXPhObj*>(node);
            // Each pair is tested once: from the body created first, or against a body that does not move.
            const bool first = body->serial < other->serial || other->level == 0;
            if (other != body && first && !(body->IsFixed() != 0 && other->IsFixed() != 0) &&
                std::find(skipped.begin(), skipped.end(), other) == skipped.end()) {
                if (ZevCollideTreesInto(world, body, other, out.found) != 0 && other->IsContactHit() != 0)
                    out.clearHits.push_back(static_cast<std::uint32_t>(out.found.meetings.size() - 1));
            }
        }
        for (TZevOwnerListLink* child = node->Last(); child != node->End(); child = child->prev)
            stack.push_back(static_cast<TZevCTree*>(child));
    }
}

// Adds what a body's collision found to the world, as colliding it there would have: each meeting's contacts and
// partners in the order met, the other body's contact hit cleared right after its meeting. True when a hit was
// cleared: that changes the rebuild levels, which the collisions of the bodies after this one read.
bool AddBodyCollision(TZevPhscs2World* world, const TBodyCollision& c)
{
    std::size_t nextClear = 0;
    for (std::size_t m = 0; m < c.found.meetings.size(); ++m) {
        ZevAddFoundMeeting(world, c.found, m);
        if (nextClear < c.clearHits.size() && c.clearHits[nextClear] == m) {
            ++nextClear;
            static_cast<TZevXPhObj*>(c.found.meetings[m].treeB)->ClearContactHit();
        }
    }
    return !c.clearHits.empty();
}

} // namespace

void TZevPhscs2World::CollideActiveBodies(std::int32_t flag)
{
    // The boxes of the trees stay as they are while the bodies are collided: the sweep built now holds for all.
    int trees = 0;
    for (TZevCTree* child = activeRoot->FirstChildTree(); child != nullptr && trees < SweepMinTrees;
         child = child->NextSiblingTree())
        ++trees;
    const bool sweep = ActiveBodies.GetCount() >= SweepMinBodies && trees >= SweepMinTrees && Sweep.owner == nullptr;
    if (sweep) {
        Sweep.Build(activeRoot);
        Sweep.owner = this;
    }
    const TopTreeSweep* shared = Sweep.owner == this ? &Sweep : nullptr;
    // Every body is collided on its own, on whichever thread, into its own record; the records are then added in
    // the order of ActiveBodies, so the contacts, their order and every pool use are those of one thread.
    std::vector<TBodyCollision>& collisions = BodyCollisions;
    std::size_t count = 0;
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(ActiveBodies)) {
        if (count == collisions.size())
            collisions.emplace_back();
        collisions[count++].body = body;
    }
    TZevWorkers* workers = Workers();
    std::size_t start = 0;
    while (start < count) {
        // On the caller's thread alone each body is collided once the one before it is added: nothing is
        // collided again.
        if (workers == nullptr) {
            TBodyCollision& c = collisions[start];
            CollideBody(this, flag, c.body, shared, c);
            AddBodyCollision(this, c);
            RemoveActiveBody(c.body);
            ++start;
            continue;
        }
        auto collide = [&](std::size_t i) {
            TBodyCollision& c = collisions[start + i];
            CollideBody(this, flag, c.body, shared, c);
        };
        workers->For(count - start, CollideGrain, collide);
        std::size_t i = start;
        bool changed = false;
        while (i < count && !changed) {
            changed = AddBodyCollision(this, collisions[i]);
            RemoveActiveBody(collisions[i].body);
            ++i;
        }
        // A cleared hit changed what the later bodies' collisions read: they are collided again.
        start = i;
    }
    if (sweep)
        Sweep.owner = nullptr;
}

void TZevPhscs2World::RetestBody(std::int32_t flag, TZevXPhObj* body)
{
    thread_local TBodyCollision single;
    CollideBody(this, flag, body, Sweep.owner == this ? &Sweep : nullptr, single);
    AddBodyCollision(this, single);
}
