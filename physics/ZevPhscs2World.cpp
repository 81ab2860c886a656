#include "ZevPhscs2World.h"

#include "ZevColLink.h"
#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevListView.h"
#include "ZevRigidLink.h"
#include "ZevWorkers.h"
#include "ZevXPhObj.h"

#include <atomic>

namespace {

TZevOwnerList* NewOwnerList()
{
    return new TZevOwnerList;
}

// Takes every item out of a listing-only ring without destroying it.
void UnlinkAll(TZevOwnerList* list)
{
    if (list == nullptr)
        return;
    while (!list->IsEmpty())
        list->First()->Unlink();
}

} // namespace

namespace {

std::atomic<int> DefaultWorkerThreads{1};

} // namespace

void ZevSetDefaultWorkerThreads(int threads)
{
    DefaultWorkerThreads.store(threads < 1 ? 1 : (threads > 64 ? 64 : threads), std::memory_order_relaxed);
}

int ZevDefaultWorkerThreads()
{
    return DefaultWorkerThreads.load(std::memory_order_relaxed);
}

TZevWorkers* TZevPhscs2World::Workers()
{
    const int threads = WorkerThreads < 1 ? 1 : (WorkerThreads > 64 ? 64 : WorkerThreads);
    if (workers != nullptr && workers->Threads() != threads) {
        delete workers;
        workers = nullptr;
    }
    if (workers == nullptr && threads > 1)
        workers = new TZevWorkers(threads);
    return workers;
}

TZevPhscs2World::TZevPhscs2World() : WorkerThreads(ZevDefaultWorkerThreads())
{
    ContactLinks = NewOwnerList();
    Joints = NewOwnerList();
    RigidLinks = NewOwnerList();
}

TZevPhscs2World::~TZevPhscs2World()
{
    delete workers;
    workers = nullptr;
    if (ContactLinks != nullptr) {
        while (!ContactLinks->IsEmpty()) {
            TZevOwnerListLink* first = ContactLinks->First();
            static_cast<TZevContactLink*>(first)->Release();
            // A link released before stays in the ring after its second release; it must not hold the loop.
            if (ContactLinks->First() == first)
                first->Unlink();
        }
    }
    UnlinkAll(Joints);
    UnlinkAll(RigidLinks);
    delete ContactLinks;
    delete Joints;
    delete RigidLinks;
    ContactLinks = Joints = RigidLinks = nullptr;
    // The bodies keep pointers to their nodes in these lists; those go with the bodies' teardown, which the
    // space's destructor runs below. Emptying them first leaves no body pointing into a freed node.
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(BodyList))
        body->WorldNode0 = nullptr;
    for (TZevXPhObj* body : ZevItems<TZevXPhObj>(ActiveBodies))
        body->WorldNode1 = nullptr;
    for (TZevContactLink* link : ZevItems<TZevContactLink>(NewContactLinks))
        link->NewNode = nullptr;
    BodyList.Clear();
    ActiveBodies.Clear();
    NewContactLinks.Clear();
    ZevForgetWorldColLinks(CollisionLinkList);
    FinishDeferredDeletions();
    PendingDeletions.Clear();
}

void TZevPhscs2World::UpdateTrees(float step)
{
    TZevCollisionSpace::UpdateTrees(step);
    activeRoot->UpdateBox();
}

void TZevPhscs2World::AddBody(TZevFMCTTree* tree)
{
    TZevCollisionSpace::AddBody(tree);
    if (tree != nullptr && tree->IsMeshTree())
        AddBodyToWorld(this, static_cast<TZevXPhObj*>(tree));
}

void TZevPhscs2World::AddActiveBody(TZevXPhObj* body)
{
    if (body->WorldNode1 != nullptr)
        TZevList::RemoveNode(body->WorldNode1);
    body->WorldNode1 = ActiveBodies.Add(body);
}

void TZevPhscs2World::RemoveActiveBody(TZevXPhObj* body)
{
    if (body->WorldNode1 == nullptr)
        return;
    TZevList::RemoveNode(body->WorldNode1);
    body->WorldNode1 = nullptr;
}

bool TZevPhscs2World::IsActiveBody(const TZevXPhObj* body) const
{
    return body->WorldNode1 != nullptr;
}

void TZevPhscs2World::AddActiveBodyTree(TZevXPhObj* body)
{
    TZevList stack;
    stack.PushFront(body);
    while (TZevXPhObj* b = ZevPopItem<TZevXPhObj>(stack)) {
        if (b->WorldNode1 == nullptr)
            AddActiveBody(b);
        for (TZevOwnerListLink* child = b->Last(); child != b->End(); child = child->prev) {
            TZevCTree* tree = static_cast<TZevCTree*>(child);
            if (tree->IsMeshTree())
                stack.PushFront(static_cast<TZevXPhObj*>(tree));
        }
    }
}

void TZevPhscs2World::DeleteBody(TZevXPhObj* body)
{
    if (body == nullptr || IsDeletionPending(body))
        return;
    if (InCallbackWalk()) {
        PendingDeletions.Add(body);
        return;
    }
    delete body;
}

bool TZevPhscs2World::IsDeletionPending(const TZevXPhObj* body) const
{
    for (TZevListNode* n = PendingDeletions.First(); n != &PendingDeletions.Head; n = n->next) {
        if (n->data == body)
            return true;
    }
    return false;
}

void TZevPhscs2World::FinishDeferredDeletions()
{
    // A body deleted by a deletion that was itself deferred is caught by the same loop; deleting a parent also
    // deletes its children, which must then not be deleted a second time.
    while (TZevXPhObj* body = ZevPopItem<TZevXPhObj>(PendingDeletions)) {
        for (TZevListNode* n = PendingDeletions.First(); n != &PendingDeletions.Head;) {
            TZevListNode* next = n->next;
            for (TZevCTree* t = ZevItem<TZevCTree>(n); t != nullptr; t = t->ParentTree()) {
                if (t == body) {
                    TZevList::RemoveNode(n);
                    break;
                }
            }
            n = next;
        }
        delete body;
    }
}

TZevFMCTTree* TZevPhscs2World::FirstBody() const
{
    for (TZevCTree* t = activeRoot->FirstChildTree(); t != nullptr; t = t->NextSiblingTree())
        if (t->IsMeshTree())
            return static_cast<TZevFMCTTree*>(t);
    return nullptr;
}

TZevPhscs2World* ZevBodyWorld(const TZevFMCTTree* body)
{
    if (body == nullptr)
        return nullptr;
    return dynamic_cast<TZevPhscs2World*>(body->space);
}

void ZevSetPhOnlyParameters(TZevPhscs2World* world)
{
    if (world == nullptr)
        return;
    world->InterferencePermitDistance = 0.01f;
    world->CollisionSpringCoeff = 15.0f;
    world->CollisionSatisfyCoefficientScale = 10.0f;
    world->CollisionVerticalDamperCoeff = 0.15f;
    world->CollisionStaticFrictionCoeff = 0.7f;
    world->CollisionDynamicFrictionCoeff = 0.5f;
    world->CollisionReboundCoeff = 0.1f;
    world->CollisionHorizontalDamperCoeff = 0.0f;
    world->CollisionSatisfyRepeatMax = 256;
    world->RetryCollisionMax = 10;
    world->LinkSatisfyRepeatMax = 6;
}

void ZevSetSceneStartParameters(TZevPhscs2World* world)
{
    if (world == nullptr)
        return;
    world->InterferencePermitDistance = 0.1f;
    world->CollisionSpringCoeff = 60.0f;
    world->CollisionVerticalDamperCoeff = 0.1f;
}
