// Simulation world: every body, joint, rigid link and contact link of a scene, the contact and step parameters,
// the statistics of the last step and the working lists of the step and its passes. The world is the collision
// space of its bodies; Step (ZevWorldStep.cpp) advances it through the passes of ZevJointPass, ZevContactPass,
// ZevSatisfyPass and ZevForceLaws.
#pragma once

#include "ZevCollisionSpace.h"
#include "ZevList.h"
#include "ZevOwnerList.h"

#include <cstdint>
#include <vector>

class TZevContactLink;
class TZevJoint;
class TZevRigidLink;
class TZevWorkers;
class TZevXPhObj;

class TZevPhscs2World : public TZevCollisionSpace {
public:
    TZevPhscs2World();
    // Releases the contact links still listed, takes joints and rigid links out of the world lists without
    // destroying them (their bodies own them), then the collision space goes.
    ~TZevPhscs2World() override;

    // Every tree advances by the step, then the active root is refitted.
    void UpdateTrees(float step) override;
    // The space's AddBody, then the collision links, the joints and the rigid links of the body tree.
    void AddBody(TZevFMCTTree* tree) override;
    // Collides one body again against the world: with flag 0 only a body that suppresses retests, otherwise only
    // one that does not.
    virtual void RetestBody(std::int32_t flag, TZevXPhObj* body);
    // Every body of ActiveBodies collided as RetestBody collides one (on the worker threads, each body's contacts
    // added in list order), emptying that list.
    virtual void CollideActiveBodies(std::int32_t flag);

    // Advances the world by dt seconds. dt 0 only refreshes the trees and the contact estimates; a negative or
    // NaN dt only runs the callbacks. The result is that of the callback walk.
    int Step(float dt);
    // The callback walk: post-order over the body tree under `node`; every body's StepCallback runs.
    int UpdateBodyTree(TZevCTree* node, float dt);

    // The world's gravity (kept by the pair table) and its body tree.
    float& Gravity() { return pairs.Gravity; }
    TZevCTree* BodyRoot() const { return activeRoot; }
    TZevFMCTTree* FirstBody() const;
    bool HasNoBodies() const { return FirstBody() == nullptr; }

    // Destroys a body now, or, while the callback walk runs, once the walk is over, so that the walk never
    // visits freed nodes. A body that waits for deletion runs no further callbacks.
    void DeleteBody(TZevXPhObj* body);
    bool IsDeletionPending(const TZevXPhObj* body) const;
    bool InCallbackWalk() const { return CallbackWalkDepth > 0; }

    // ActiveBodies membership through the body's own node (constant time).
    void AddActiveBody(TZevXPhObj* body);
    void RemoveActiveBody(TZevXPhObj* body);
    bool IsActiveBody(const TZevXPhObj* body) const;
    // The body and every body below it, each listed once.
    void AddActiveBodyTree(TZevXPhObj* body);

    TZevOwnerList* ContactLinks = nullptr; // owned: released by the step or by the destructor
    TZevOwnerList* Joints = nullptr;       // listed only: the bodies own them
    TZevOwnerList* RigidLinks = nullptr;   // listed only
    TZevList CollisionLinkList;   // leaves that carry collision links
    TZevList BodyList;            // every body in tree order; a body's node is its WorldNode0
    TZevList NewContactLinks;     // contact links made in this step; a link's node is its NewNode
    TZevList ActiveBodies;        // bodies to collide again; a body's node is its WorldNode1

    // Contact and step parameters. The nine floats from CollisionReboundCoeff to CollisionExtraCoeff are the
    // contact parameter block.
    float InterferencePermitDistance = 0.1f;
    float CollisionReboundCoeff = 0.3f;
    float CollisionSpringCoeff = 20.5f;
    float CollisionVerticalDamperCoeff = 0.05f;
    float CollisionStaticFrictionCoeff = 0.8f;
    float CollisionDynamicFrictionCoeff = 0.4f;
    float LinkStepCoeff = 0.25f;
    float CollisionHorizontalDamperCoeff = 0.0f;
    float CollisionSatisfyCoefficientScale = 10.0f;
    float CollisionExtraCoeff = 0.15f;
    std::int32_t CollisionSatisfyMode = 2;
    std::int32_t CollisionSatisfyRepeatMax = 128;
    std::int32_t RetryCollisionMax = 6;
    std::int32_t LinkSatisfyRepeatMax = 4;
    std::int32_t PairForceSharing = 1;
    std::int32_t EdgeSmoothing = 0;
    // Threads the step may use (the calling thread included) for work whose items are independent: the contact
    // estimates of the bodies, the refit and the collision of the active bodies, the re-tests of contact links and
    // the islands of the satisfy pass. The results do not depend on it; 1 uses none but the caller's.
    std::int32_t WorkerThreads = 1;
    // The helpers for WorkerThreads, made when a step first needs them (null with 1 thread).
    TZevWorkers* Workers();

    // Statistics and state of the step in progress.
    std::int32_t SatisfyRepeatCount = 0;
    std::int32_t RetryCollisionCount = 0;
    std::int64_t RetestCount = 0; // contact links handed to a re-test in the step (the benchmarks' unit of work)
    std::int32_t NewContactFlag = 0;
    std::int32_t LinkSatisfyBudget = 0;
    std::uint32_t ContactGroupRound = 0; // number of the contact pass that groups the records by body
    // Each satisfy pass runs in a re-test round of its own (0 outside them). Within a round a contact link whose
    // two trees kept their vertices since its last re-test, and that nothing else changed, is not re-tested again:
    // the re-test would find what it found.
    std::uint32_t RetestRound = 0;
    std::uint32_t LastRetestRound = 0;
    void BeginRetestRound()
    {
        if (++LastRetestRound == 0)
            LastRetestRound = 1;
        RetestRound = LastRetestRound;
    }
    void EndRetestRound() { RetestRound = 0; }
    float StepSize = 0.0f;

private:
    void FinishDeferredDeletions();

    std::int32_t CallbackWalkDepth = 0;
    TZevWorkers* workers = nullptr;
    TZevList PendingDeletions; // bodies deleted during the callback walk
};

// The WorkerThreads that worlds made from now on start with: 1 until a host asks for more at its start-up.
void ZevSetDefaultWorkerThreads(int threads);
int ZevDefaultWorkerThreads();

// The parameter set of the physics-only run, written after the world is made.
void ZevSetPhOnlyParameters(TZevPhscs2World* world);
// The parameters that a scene start writes after making its world.
void ZevSetSceneStartParameters(TZevPhscs2World* world);

// The world a body belongs to, or null when its space is no world.
TZevPhscs2World* ZevBodyWorld(const TZevFMCTTree* body);
