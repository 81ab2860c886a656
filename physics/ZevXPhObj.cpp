#include "ZevXPhObj.h"

#include "ZevCollisionSpace.h"
#include "ZevListView.h"
#include "ZevPhscs2Link.h"

TZevReleaseBodyBoxes ZevReleaseBodyBoxesHook = nullptr;

namespace {

// Each item of a state object's link list leaves the owning ring it stands in; the link itself stays.
void UnlinkRings(TZevList& links)
{
    for (TZevReleasableLink* link : ZevItems<TZevReleasableLink>(links))
        link->Unlink();
}

// The teardown of one body, without its children.
void TeardownOne(TZevXPhObj* body)
{
    for (TZevPhscs2Obj* state : ZevItems<TZevPhscs2Obj>(body->StateObjects)) {
        UnlinkRings(state->RigidLinks);
        UnlinkRings(state->Joints);
    }
    for (TZevListNode** node : {&body->WorldNode0, &body->WorldNode1}) {
        if (*node != nullptr) {
            TZevList::RemoveNode(*node);
            *node = nullptr;
        }
    }
    while (!body->OwnedRecords.IsEmpty()) {
        TZevListNode* first = body->OwnedRecords.First();
        ZevItem<TZevPhscs2Link>(first)->Release();
        // A record whose release left it here (released before) must not hold the walk.
        if (body->OwnedRecords.First() == first)
            TZevList::RemoveNode(first);
    }
    body->HitWord = 0;
    if (body->HasBodyBoxes != 0) {
        if (ZevReleaseBodyBoxesHook != nullptr)
            ZevReleaseBodyBoxesHook(body);
        body->HasBodyBoxes = 0;
        ++body->boxVersion;
    }
}

} // namespace

TZevXPhObj::TZevXPhObj() = default;

TZevXPhObj::~TZevXPhObj()
{
    Teardown();
    // The state objects must not keep naming a body that is gone.
    while (TZevPhscs2Obj* state = ZevPopItem<TZevPhscs2Obj>(StateObjects)) {
        state->Users.Remove(this);
        if (state->Owner == this)
            state->Owner = nullptr;
    }
}

void TZevXPhObj::Teardown()
{
    // Pre-order over the body tree with an explicit stack; the children of a body are bodies.
    TZevList stack;
    stack.PushFront(this);
    while (TZevXPhObj* body = ZevPopItem<TZevXPhObj>(stack)) {
        TeardownOne(body);
        ZevPushChildren<TZevXPhObj>(stack, body);
    }
}

void TZevXPhObj::Unlink()
{
    Teardown();
    TZevFMCTTree::Unlink();
}

std::int32_t TZevXPhObj::SetDynamic(std::int32_t flag)
{
    Dynamic = flag;
    return Dynamic;
}

std::int32_t TZevXPhObj::SetFixed(std::int32_t flag)
{
    Fixed = flag;
    return Fixed;
}

std::int32_t TZevXPhObj::SetNoRetest(std::int32_t flag)
{
    NoRetest = flag;
    return NoRetest;
}

void TZevXPhObj::SetContactHit(std::int32_t flag)
{
    ContactHit = flag;
    if (flag != 0)
        level = 0;
}

void TZevXPhObj::ClearContactHit()
{
    SetRebuildFlag();
    ContactHit = 0;
}

void TZevXPhObj::SetFixedTree(std::int32_t flag)
{
    SetFixed(flag);
    for (TZevCTree* child = FirstChildTree(); child != nullptr; child = child->NextSiblingTree())
        static_cast<TZevXPhObj*>(child)->SetFixedTree(flag);
}

void LinkBodyAndRigidBody(TZevXPhObj* body, TZevPhscs2Obj* state)
{
    if (body == nullptr || state == nullptr)
        return;
    body->StateObjects.Add(state);
    state->Users.Add(body);
}

void UnlinkBodyAndRigidBody(TZevXPhObj* body, TZevPhscs2Obj* state)
{
    if (body == nullptr || state == nullptr)
        return;
    body->StateObjects.Remove(state);
    state->Users.Remove(body);
}

int CollideTrees(TZevCollisionSpace* space, TZevFMCTTree* a, TZevFMCTTree* b)
{
    return ZevCollideTrees(space, a, b);
}

int CollideTrees(TZevFMCTTree* a, TZevFMCTTree* b)
{
    if (a == nullptr || b == nullptr || a->space == nullptr)
        return 0;
    return ZevCollideTrees(a->space, a, b);
}
