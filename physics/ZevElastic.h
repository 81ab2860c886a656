// Soft bodies beside the rigid-body world: a named node that owns one mesh, and the elastic object whose lattice
// points are particles joined by damped springs; gravity and the springs move the particles, and the lattice bends
// the mesh with them.
#pragma once

#include "ZevFFD.h"
#include "ZevList.h"
#include "ZevMath.h"
#include "ZevTree.h"

#include <cstdint>

class TZevMeshCollider;
class TZevPolygonMesh;

// Registered base of the soft bodies: a named tree node holding one reference to its mesh.
class TZevPhisicsObj : public TZevStringTree {
public:
    TZevPhisicsObj() = default;
    ~TZevPhisicsObj() override;

    // Releases the mesh.
    virtual void Clear();
    // Holds one reference to the mesh (null allowed); the one held before is released.
    void SetMesh(TZevPolygonMesh* mesh);

    std::int32_t Word = 0;
    TZevPolygonMesh* Mesh = nullptr;
};

struct TZevElasticParticle {
    TZevVector Position;
    TZevVector Velocity;
    TZevVector Force;
    TZevVector Increment; // added to the velocity as it is, then cleared, every step
    float Mass = 0.0f;
};

// One lattice point.
struct TZevElasticNode {
    std::int32_t HasParticle = 0;
    TZevElasticParticle Particle;
    TZevList Springs; // TZevElasticSpring* of the springs at this point (not owned)
};

struct TZevElasticSpring : TZevAllocated {
    TZevElasticParticle* A = nullptr;
    TZevElasticParticle* B = nullptr;
    float K = 0.0f;    // stiffness
    float Rest = 0.0f; // rest length
    float C = 0.0f;    // damping
};

class TZevElastic : public TZevPhisicsObj {
public:
    TZevElastic() = default;
    ~TZevElastic() override;

    // Deletes the lattice, the collision model, the nodes and the springs, and releases the mesh.
    void Clear() override;

    // Builds an n x n x n lattice over the mesh with a particle of mass / n^3 at every point and springs of
    // stiffness k and damping c between every point and its neighbours (along the axes and the diagonals of its
    // cells). False, leaving the object empty, for n below 2, a mass that is not positive, a mesh the lattice
    // refuses (flat on an axis) or when memory runs out.
    bool Build(TZevPolygonMesh* mesh, std::int32_t n, float mass, float k, float c);
    // A spring between two particles at their present distance. Null for a missing particle, a particle joined to
    // itself or two particles in one place: a spring without length has no direction.
    TZevElasticSpring* AddSpring(TZevElasticParticle* a, TZevElasticParticle* b, float k, float c);

    // One step of dt seconds: gravity and the springs move the particles, the lattice and the mesh follow. While
    // paused, only the particle positions are copied into the lattice.
    void Step(float dt);

    TZevElasticNode* Node(std::int32_t i, std::int32_t j, std::int32_t k) const
    {
        return &Nodes[(i * N + j) * N + k];
    }

    float* Gravity = nullptr; // shared with the owner; no gravity while null
    TZevFFD* Lattice = nullptr;
    TZevMeshCollider* Collider = nullptr; // over the lattice's deformed mesh
    TZevList Springs;                     // TZevElasticSpring*, owned
    TZevList Particles;                   // TZevElasticParticle* inside Nodes
    TZevElasticNode* Nodes = nullptr;
    std::int32_t NodeCount = 0;
    std::int32_t N = 0;
    std::int32_t NoGravity = 0;
    std::int32_t Paused = 0;

private:
    void CopyParticlesToLattice();
};

extern TZevClassRecord TZevPhisicsObjClassRecord;
extern TZevClassRecord TZevElasticClassRecord;
// Factories; null when memory runs out.
TZevLSObj* CreateTZevPhisicsObj();
TZevLSObj* CreateTZevElastic();

// Start-up: registers "TZevPhisicsObj" and "TZevElastic". Runs once; later calls do nothing.
void ZevElasticInit();
