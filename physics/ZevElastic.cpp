#include "ZevElastic.h"

#include "ZevListView.h"
#include "ZevMesh.h"
#include "ZevMeshCollider.h"

#include <atomic>
#include <cmath>
#include <new>

TZevClassRecord TZevPhisicsObjClassRecord;
TZevClassRecord TZevElasticClassRecord;

namespace {

// A registered object, or null when the heap has nothing left (no exception).
template <class T> TZevLSObj* CreateOrNull(TZevClassRecord* record)
{
    void* block = ZevAlloc(sizeof(T));
    if (block == nullptr)
        return nullptr;
    T* object = new (block) T();
    object->SetClassRecord(record);
    return object;
}

} // namespace

TZevLSObj* CreateTZevPhisicsObj()
{
    return CreateOrNull<TZevPhisicsObj>(&TZevPhisicsObjClassRecord);
}

TZevLSObj* CreateTZevElastic()
{
    return CreateOrNull<TZevElastic>(&TZevElasticClassRecord);
}

void ZevElasticInit()
{
    static std::atomic<bool> done{false};
    if (done.exchange(true))
        return;
    RegisterClassRecord(&TZevPhisicsObjClassRecord, "TZevPhisicsObj", "TZevStringTree", CreateTZevPhisicsObj);
    RegisterClassRecord(&TZevElasticClassRecord, "TZevElastic", "TZevPhisicsObj", CreateTZevElastic);
}

TZevPhisicsObj::~TZevPhisicsObj()
{
    TZevPhisicsObj::Clear();
}

void TZevPhisicsObj::Clear()
{
    if (Mesh)
        Mesh->Release();
    Mesh = nullptr;
}

void TZevPhisicsObj::SetMesh(TZevPolygonMesh* mesh)
{
    if (mesh)
        mesh->AddRef();
    if (Mesh)
        Mesh->Release();
    Mesh = mesh;
}

TZevElastic::~TZevElastic()
{
    TZevElastic::Clear();
}

void TZevElastic::Clear()
{
    // The collision model reads the lattice's mesh: it goes first.
    delete Collider;
    Collider = nullptr;
    delete Lattice;
    Lattice = nullptr;
    while (TZevElasticSpring* spring = ZevPopItem<TZevElasticSpring>(Springs))
        delete spring;
    Particles.Clear();
    for (std::int32_t i = 0; i < NodeCount; ++i)
        Nodes[i].~TZevElasticNode();
    ZevFree(Nodes);
    Nodes = nullptr;
    NodeCount = 0;
    N = 0;
    TZevPhisicsObj::Clear();
}

TZevElasticSpring* TZevElastic::AddSpring(TZevElasticParticle* a, TZevElasticParticle* b, float k, float c)
{
    if (a == nullptr || b == nullptr || a == b)
        return nullptr;
    TZevVector d;
    ZevVecSub(d, b->Position, a->Position);
    const float rest = d.Length();
    if (!(rest > 0.0f) || !std::isfinite(rest))
        return nullptr;
    auto* spring = new TZevElasticSpring;
    spring->A = a;
    spring->B = b;
    spring->K = k;
    spring->Rest = rest;
    spring->C = c;
    Springs.Add(spring);
    return spring;
}

bool TZevElastic::Build(TZevPolygonMesh* mesh, std::int32_t n, float mass, float k, float c)
{
    TZevElastic::Clear();
    if (mesh == nullptr || n < 2 || !(mass > 0.0f) || !std::isfinite(mass))
        return false;
    Lattice = new TZevFFD;
    if (!Lattice->SetMesh(mesh) || !Lattice->SetLattice(n, n, n)) {
        TZevElastic::Clear();
        return false;
    }
    const std::int32_t count = Lattice->PointCount;
    void* block = ZevAlloc(sizeof(TZevElasticNode) * std::size_t(count));
    if (block == nullptr) {
        TZevElastic::Clear();
        return false;
    }
    Nodes = static_cast<TZevElasticNode*>(block);
    for (std::int32_t i = 0; i < count; ++i)
        new (&Nodes[i]) TZevElasticNode;
    NodeCount = count;
    N = n;
    SetMesh(mesh);

    const float particleMass = mass / static_cast<float>(count);
    for (std::int32_t q = 0; q < count; ++q) {
        Nodes[q].HasParticle = 1;
        Nodes[q].Particle.Position = Lattice->Points[q];
        Nodes[q].Particle.Mass = particleMass;
        Particles.Add(&Nodes[q].Particle);
    }
    // Every point to each neighbour in the 13 directions that come later in index order, so each pair once.
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < n; ++j)
            for (std::int32_t kk = 0; kk < n; ++kk)
                for (std::int32_t di = -1; di <= 1; ++di)
                    for (std::int32_t dj = -1; dj <= 1; ++dj)
                        for (std::int32_t dk = -1; dk <= 1; ++dk) {
                            if (di * 9 + dj * 3 + dk <= 0)
                                continue;
                            const std::int32_t a = i + di, b = j + dj, e = kk + dk;
                            if (a < 0 || a >= n || b < 0 || b >= n || e < 0 || e >= n)
                                continue;
                            TZevElasticNode* from = Node(i, j, kk);
                            TZevElasticNode* to = Node(a, b, e);
                            if (TZevElasticSpring* s = AddSpring(&from->Particle, &to->Particle, k, c)) {
                                from->Springs.Add(s);
                                to->Springs.Add(s);
                            }
                        }

    Collider = new TZevMeshCollider;
    if (!Collider->BuildFromMesh(Lattice->DeformedMesh)) {
        TZevElastic::Clear();
        return false;
    }
    return true;
}

void TZevElastic::CopyParticlesToLattice()
{
    if (Lattice == nullptr || Lattice->Points == nullptr || Lattice->PointCount != NodeCount)
        return;
    for (std::int32_t q = 0; q < NodeCount; ++q)
        if (Nodes[q].HasParticle)
            Lattice->Points[q] = Nodes[q].Particle.Position;
}

void TZevElastic::Step(float dt)
{
    if (Paused) {
        CopyParticlesToLattice();
        return;
    }
    const bool latticeMatches = Lattice && Lattice->Points && Lattice->PointCount == NodeCount;
    if (latticeMatches)
        for (std::int32_t q = 0; q < NodeCount; ++q)
            if (Nodes[q].HasParticle)
                Nodes[q].Particle.Position = Lattice->Points[q];

    if (!NoGravity && Gravity != nullptr) {
        const float g = *Gravity;
        for (TZevElasticParticle* p : ZevItems<TZevElasticParticle>(Particles)) {
            p->Force.y = p->Force.y + -g * p->Mass;
        }
    }

    for (TZevElasticSpring* s : ZevItems<TZevElasticSpring>(Springs)) {
        TZevVector d, dv, e, spring, damping, f;
        ZevVecSub(d, s->B->Position, s->A->Position);
        const float length = d.Length();
        // Two particles in one place give the spring no direction: it acts again once they part.
        if (!(length > 0.0f))
            continue;
        e = TZevVector(d.x / length, d.y / length, d.z / length);
        ZevVecSub(dv, s->B->Velocity, s->A->Velocity);
        ZevVecTimesScalar(spring, e, (length - s->Rest) * s->K * dt);
        const float along = ZevVecDot(dv, d) * dt;
        ZevVecTimesScalar(damping, d, along);
        ZevVecTimesScalar(damping, damping, s->C);
        const float length2 = length * length;
        damping = TZevVector(damping.x / length2, damping.y / length2, damping.z / length2);
        ZevVecAdd(f, damping, spring);
        ZevVecAdd(s->A->Force, s->A->Force, f);
        ZevVecSub(s->B->Force, s->B->Force, f);
    }

    for (TZevElasticParticle* p : ZevItems<TZevElasticParticle>(Particles)) {
        // A particle without mass is held in place by forces: only its increment moves it.
        TZevVector dv = p->Increment;
        if (p->Mass > 0.0f) {
            TZevVector push;
            ZevVecTimesScalar(push, p->Force, dt / p->Mass);
            ZevVecAdd(dv, push, p->Increment);
        }
        ZevVecAdd(p->Velocity, p->Velocity, dv);
        TZevVector move;
        ZevVecTimesScalar(move, p->Velocity, dt);
        ZevVecAdd(p->Position, p->Position, move);
        p->Force = TZevVector();
        p->Increment = TZevVector();
    }

    CopyParticlesToLattice();
    if (Lattice)
        Lattice->Apply();
    if (Collider) {
        Collider->UpdateNodeBoxes();
        Collider->UpdateBox();
    }
}
