#include "ZevPhscs2Obj.h"

#include "ZevBodyPair.h"
#include "ZevNameTable.h"
#include "ZevXPhObj.h"

#include <atomic>
#include <cmath>
#include <mutex>

namespace {

std::atomic<std::uint32_t> Phscs2SerialCounter{0};

std::uint32_t NextSerial()
{
    std::uint32_t serial = ++Phscs2SerialCounter;
    if (serial == 0) // 0 stands for "no object" in the pair keys
        serial = ++Phscs2SerialCounter;
    return serial;
}

struct TPhscs2ClassRecords {
    TZevPhscs2ClassInfo object{TZevString("TZevPhscs2Obj")};
    TZevPhscs2ClassInfo particle{TZevString("TZevPhscs2Particle")};
    TZevPhscs2ClassInfo rigidBody{TZevString("TZevPhscs2RigidBody")};
};

TPhscs2ClassRecords& ClassRecords()
{
    static TPhscs2ClassRecords records;
    return records;
}

inline void AddTo(TZevVector& sum, const TZevVector& v)
{
    sum = TZevVector(sum.x + v.x, sum.y + v.y, sum.z + v.z);
}

// Removes the first item of a list of links until the list is empty; a link whose Release leaves it in the list
// is taken out here, so that the walk always ends.
void ReleaseAll(TZevList& list)
{
    while (!list.IsEmpty()) {
        TZevListNode* first = list.First();
        ZevItem<TZevReleasableLink>(first)->Release();
        if (list.First() == first)
            TZevList::RemoveNode(first);
    }
}

} // namespace

TZevPhscs2ClassInfo* ZevPhscs2ObjClassInfo()
{
    return &ClassRecords().object;
}

TZevPhscs2ClassInfo* ZevPhscs2ParticleClassInfo()
{
    return &ClassRecords().particle;
}

TZevPhscs2ClassInfo* ZevPhscs2RigidBodyClassInfo()
{
    return &ClassRecords().rigidBody;
}

void ZevPhscs2Init()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TPhscs2ClassRecords& records = ClassRecords();
        TZevNameTable* dictionary = GetFunctionDictionary();
        dictionary->Add("TZevPhscs2Obj", static_cast<const void*>(&records.object));
        dictionary->Add("TZevPhscs2Particle", static_cast<const void*>(&records.particle));
        dictionary->Add("TZevPhscs2RigidBody", static_cast<const void*>(&records.rigidBody));
    });
}

void ZevSetPhscs2ClassHooks(TZevPhscs2ClassInfo* record, TZevRefReader load, TZevRefWriter save)
{
    record->load = load;
    record->save = save;
}

float ZevStepOverMass(float dt, float mass)
{
    if (!(mass > 0.0f) || !std::isfinite(mass))
        return 0.0f;
    const float k = dt / mass;
    return std::isfinite(k) ? k : 0.0f;
}

// ---- TZevPhscs2Obj

TZevPhscs2Obj::TZevPhscs2Obj() : ClassInfo(ZevPhscs2ObjClassInfo()), Serial(NextSerial()) {}

TZevPhscs2Obj::~TZevPhscs2Obj()
{
    TZevPhscs2Obj::ReleaseLinks();
}

void TZevPhscs2Obj::ReleaseLinks()
{
    ReleaseAll(Joints);
    ReleaseAll(RigidLinks);
    while (!Pairs.IsEmpty()) {
        TZevListNode* first = Pairs.First();
        ZevItem<TZevBodyPair>(first)->DetachObject(this);
        if (Pairs.First() == first)
            TZevList::RemoveNode(first);
    }
}

void TZevPhscs2Obj::AddForceAt(const TZevVector&, const TZevVector&, float) {}
void TZevPhscs2Obj::AddStepForceAt(const TZevVector&, const TZevVector&, float) {}
void TZevPhscs2Obj::AddDelayedForceAt(const TZevVector&, const TZevVector&, float) {}
void TZevPhscs2Obj::RestoreStepForce() {}
void TZevPhscs2Obj::SaveStepForce() {}
void TZevPhscs2Obj::EndStep() {}
void TZevPhscs2Obj::Integrate(float) {}
void TZevPhscs2Obj::LocalToWorld(const TZevVector&, TZevVector&) {}
void TZevPhscs2Obj::WorldToLocal(const TZevVector&, TZevVector&) {}
void TZevPhscs2Obj::LocalToWorldDir(const TZevVector&, TZevVector&) {}
void TZevPhscs2Obj::WorldToLocalDir(const TZevVector&, TZevVector&) {}
void TZevPhscs2Obj::PredictPoint(const TZevVector&, const TZevVector&, TZevVector&, float) {}

void TZevPhscs2Obj::ClearMark()
{
    Mark = 0;
}

void TZevPhscs2Obj::NotifyOwner()
{
    if (Owner != nullptr)
        Owner->AlignToPart();
}

void TZevPhscs2Obj::RegisterPairPart(TZevBodyPairTable*, TZevBodyPair*, float, TZevPhscs2Obj*) {}

// ---- TZevPhscs2Particle

TZevPhscs2Particle::TZevPhscs2Particle()
{
    ClassInfo = ZevPhscs2ParticleClassInfo();
    Integrable = 1;
}

TZevPhscs2Particle::~TZevPhscs2Particle() = default;

void TZevPhscs2Particle::AddForceAt(const TZevVector& force, const TZevVector&, float)
{
    AddTo(Force, force);
}

void TZevPhscs2Particle::AddStepForceAt(const TZevVector& force, const TZevVector&, float)
{
    AddTo(StepForce, force);
}

void TZevPhscs2Particle::AddDelayedForceAt(const TZevVector& force, const TZevVector&, float)
{
    AddTo(DelayedForce0, force);
}

void TZevPhscs2Particle::RestoreStepForce()
{
    StepForce = SavedStepForce;
}

void TZevPhscs2Particle::SaveStepForce()
{
    SavedStepForce = StepForce;
}

void TZevPhscs2Particle::EndStep()
{
    PrevPosition = Position;
    PrevVelocity = Velocity;
    StepForce = TZevVector();
    Force = TZevVector();
    // The delayed stages shift before stage 0 is cleared, as in the rigid body: a delayed force acts in the
    // integrations of the second step after the one in which it was added.
    DelayedForce2 = DelayedForce1;
    DelayedForce1 = DelayedForce0;
    DelayedForce0 = TZevVector();
}

void TZevPhscs2Particle::Integrate(float dt)
{
    if (Fixed != 0)
        return;
    const float k = ZevStepOverMass(dt, Mass);
    const TZevVector total((StepForce.x + Force.x) + DelayedForce2.x, (StepForce.y + Force.y) + DelayedForce2.y,
                           (StepForce.z + Force.z) + DelayedForce2.z);
    Velocity = TZevVector(PrevVelocity.x + total.x * k, PrevVelocity.y + total.y * k, PrevVelocity.z + total.z * k);
    Position = TZevVector(PrevPosition.x + Velocity.x * dt, PrevPosition.y + Velocity.y * dt,
                          PrevPosition.z + Velocity.z * dt);
}

void TZevPhscs2Particle::LocalToWorld(const TZevVector& in, TZevVector& out)
{
    out = TZevVector(Position.x + in.x, Position.y + in.y, Position.z + in.z);
}

void TZevPhscs2Particle::WorldToLocal(const TZevVector& in, TZevVector& out)
{
    out = TZevVector(in.x - Position.x, in.y - Position.y, in.z - Position.z);
}

void TZevPhscs2Particle::LocalToWorldDir(const TZevVector& in, TZevVector& out)
{
    out = in;
}

void TZevPhscs2Particle::WorldToLocalDir(const TZevVector& in, TZevVector& out)
{
    out = in;
}

bool TZevPhscs2Particle::SetMass(float mass)
{
    if (!(mass > 0.0f) || !std::isfinite(mass)) {
        ZevDebugLog("TZevPhscs2Particle: a mass that is not positive was refused\n");
        return false;
    }
    Mass = mass;
    return true;
}
