// Dynamic state of everything that moves: the base of all dynamic objects and the point mass.
//
// Each object keeps the state at the start of the current step (Prev...) and the state being computed, three force
// accumulators with different lifetimes (per pass, per step, and delayed by two steps) and the lists of what acts
// on it. Within a step forces are added, Integrate may run several times from the same start state (retries) and
// EndStep commits. All arithmetic is single precision in the order written, so reruns repeat bit for bit.
#pragma once

#include "ZevDebug.h"
#include "ZevLSObj.h"
#include "ZevList.h"
#include "ZevOwnerList.h"
#include "ZevString.h"
#include "ZevVector.h"

#include <cstdint>

class TZevBodyPair;
class TZevBodyPairTable;
class TZevXPhObj;

// Registration record of a dynamic-object class: its name and its stream hooks.
struct TZevPhscs2ClassInfo {
    TZevString name;
    TZevRefReader load = nullptr;
    TZevRefWriter save = nullptr;
};

// The records of the three classes ("TZevPhscs2Obj", "TZevPhscs2Particle", "TZevPhscs2RigidBody").
TZevPhscs2ClassInfo* ZevPhscs2ObjClassInfo();
TZevPhscs2ClassInfo* ZevPhscs2ParticleClassInfo();
TZevPhscs2ClassInfo* ZevPhscs2RigidBodyClassInfo();

// Start-up: builds the three records and enters them by name into the function dictionary. Later calls do
// nothing. The stream hooks are set by the save and load code (ZevSetPhscs2ClassHooks).
void ZevPhscs2Init();
void ZevSetPhscs2ClassHooks(TZevPhscs2ClassInfo* record, TZevRefReader load, TZevRefWriter save);

// What the Joints and RigidLinks lists of a dynamic object hold: links that the object releases when it goes.
// Release gives the link back to its pool and takes it out of both objects' lists.
class TZevReleasableLink : public TZevOwnerList {
public:
    ~TZevReleasableLink() override = default;
    virtual void Release() = 0;
};

class TZevPhscs2Obj : public TZevAllocated {
public:
    TZevPhscs2Obj();
    TZevPhscs2Obj(const TZevPhscs2Obj&) = delete;
    TZevPhscs2Obj& operator=(const TZevPhscs2Obj&) = delete;

    // Releases the joints and rigid links attached to this object and detaches it from its pair records. A
    // record that a contact link or a holder still references stays valid for them (no longer naming this
    // object); the others go back to their pool.
    virtual void ReleaseLinks();
    virtual ~TZevPhscs2Obj();
    // Force accumulators: per pass, per step, and delayed by two steps. dt is not used.
    virtual void AddForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual void RestoreStepForce();
    virtual void SaveStepForce();
    // Makes the computed state the start state of the next step.
    virtual void EndStep();
    // Computes the new state from the start state over dt.
    virtual void Integrate(float dt);
    virtual void LocalToWorld(const TZevVector& in, TZevVector& out);
    virtual void WorldToLocal(const TZevVector& in, TZevVector& out);
    virtual void LocalToWorldDir(const TZevVector& in, TZevVector& out);
    virtual void WorldToLocalDir(const TZevVector& in, TZevVector& out);
    // Where `point` would be after one step of dt if `force` alone acted at it (first order); out unchanged
    // for objects that do not answer.
    virtual void PredictPoint(const TZevVector& force, const TZevVector& point, TZevVector& out, float dt);
    virtual void ClearMark();
    // Tells the owning body that this state moved (its AlignToPart).
    virtual void NotifyOwner();
    // Composite objects pass a pair registration on to the objects they weight; nothing here.
    virtual void RegisterPairPart(TZevBodyPairTable* table, TZevBodyPair* pair, float weight, TZevPhscs2Obj* other);

    const TZevPhscs2ClassInfo* ClassInfo;
    std::int32_t Flags = 1;
    std::int32_t Integrable = 0; // 0: pair registrations naming this object go to RegisterPairPart
    std::int32_t Fixed = 0;      // non-zero: the integrator leaves the object unchanged
    TZevList ContactLinks;       // contact links whose face lies on this object
    TZevList RigidLinks;
    TZevList Joints;
    TZevList Users;              // bodies that use this object as their dynamic state
    TZevList Pairs;              // pair records naming this object, newest first
    TZevXPhObj* Owner = nullptr;
    std::int32_t Mark = 0;
    // The satisfy pass's work collection that last walked this object's links (a fixed land shares one object
    // among all its contacts: walking it once per collection, not once per deep contact, keeps big scenes linear).
    std::uint32_t CollectRound = 0;
    // The number of the satisfy pass that last gave the object a slot in its arrays of the parts' links.
    std::uint32_t SatisfyRound = 0;
    std::uint32_t SatisfySlot = 0;
    // The number of the satisfy pass in which the object's users were last woken.
    std::uint32_t WokenRound = 0;
    // Creation number (1, 2, ...): pairs are hashed and ordered by it rather than by address, which changes
    // from run to run.
    std::uint32_t Serial;
};

class TZevPhscs2Particle : public TZevPhscs2Obj {
public:
    TZevPhscs2Particle();
    ~TZevPhscs2Particle() override;

    void AddForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void RestoreStepForce() override;
    void SaveStepForce() override;
    void EndStep() override;
    void Integrate(float dt) override;
    void LocalToWorld(const TZevVector& in, TZevVector& out) override;
    void WorldToLocal(const TZevVector& in, TZevVector& out) override;
    void LocalToWorldDir(const TZevVector& in, TZevVector& out) override;
    void WorldToLocalDir(const TZevVector& in, TZevVector& out) override;

    // Refuses a mass that is not a positive finite number (false, logged, unchanged).
    bool SetMass(float mass);

    TZevVector PrevPosition;
    TZevVector Position;
    TZevVector Velocity;
    TZevVector Force;
    TZevVector PrevVelocity;
    TZevVector StepForce;
    TZevVector SavedStepForce;
    TZevVector DelayedForce0; // AddDelayedForceAt adds here
    TZevVector DelayedForce1;
    TZevVector DelayedForce2; // the integrator reads this stage
    float Mass = 1.0f;
};

// dt / mass, or 0 when the mass cannot be divided by (zero, negative, not finite) or the quotient overflows: such
// an object does not respond to forces rather than flying off to infinity.
float ZevStepOverMass(float dt, float mass);
