// Deformable objects: a soft body whose mesh vertices are carried by control nodes instead of one rigid matrix.
// Each control node holds weighted references to proxies, and a proxy stands for one dynamic object that really
// moves (a particle, or a rigid body through a body record). After every integration pass the collision meshes'
// vertices move to the weighted sums of their proxies' positions, and at the end of a step the visual meshes do;
// forces and pair registrations that reach a control node are handed on to its proxies.
//
// The easy deformable object fills the box of a body tree's meshes with an N x N x N lattice of particles joined
// by rigid links, binds every vertex to the particles of its lattice cell with trilinear weights, and gives every
// face and edge leaf of the bodies' collision trees a control node of its own, so that contacts push particles.
#pragma once

#include "ZevBox.h"
#include "ZevGameChara.h"
#include "ZevList.h"
#include "ZevMatrix.h"
#include "ZevMeshData.h"
#include "ZevPhscs2Obj.h"

#include <cstdint>

class TZevBodyPair;
class TZevBodyPairTable;
class TZevCollisionMeshObj;
class TZevPhscs2RigidBody;
class TZevPolygonMesh;

// What a control node refers to: one dynamic object that really moves. Every operation does nothing here.
class TZevVBodyProxy : public TZevAllocated {
public:
    TZevVBodyProxy() = default;
    virtual ~TZevVBodyProxy() = default;
    TZevVBodyProxy(const TZevVBodyProxy&) = delete;
    TZevVBodyProxy& operator=(const TZevVBodyProxy&) = delete;

    // Where the object carries a point that was at `rest` when the proxy was bound.
    virtual void GetPosition(const TZevVector& rest, TZevVector& out) { out = rest; }
    virtual void AddForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt);
    virtual TZevBodyPair* RegisterPair(TZevBodyPairTable* table, TZevBodyPair* pair, float weight,
                                       TZevPhscs2Obj* other);

    TZevPhscs2Obj* Object = nullptr;
};

// The proxy of one particle.
class TZevBodyProxy : public TZevVBodyProxy {
public:
    // The particle's position (`rest` is not used).
    void GetPosition(const TZevVector& rest, TZevVector& out) override;
    void AddForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    TZevBodyPair* RegisterPair(TZevBodyPairTable* table, TZevBodyPair* pair, float weight,
                               TZevPhscs2Obj* other) override;
};

// The proxy of a rigid body: carries points with the body's motion since binding.
class TZevDeformBodyRecord : public TZevVBodyProxy {
public:
    // rest x Deform: the bound point where the body has moved it.
    void GetPosition(const TZevVector& rest, TZevVector& out) override;

    TZevPhscs2RigidBody* Body() const;

    TZevMatrix BindInverse;        // inverse of the body's matrix at binding
    TZevMatrix Deform;             // BindInverse x the body's current matrix
    float InfluenceRadiusSq = 0.0f;
    float Radius = 0.0f;
};

// One weighted reference of a control node.
struct TZevDeformWeight {
    TZevVBodyProxy* Proxy; // null: the vertex stays at its rest position
    float Weight;
};

// A dynamic object that stands for a weighted set of proxies (Integrable 0, so that pair registrations naming it
// reach RegisterPairPart).
class TZevDeformControlNode : public TZevPhscs2Obj {
public:
    TZevDeformControlNode();
    ~TZevDeformControlNode() override;

    // Each proxy gets an equal share of the force (the weights play no part); nothing without entries.
    void AddForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    // Each proxy registers the pair with weight x its own weight.
    void RegisterPairPart(TZevBodyPairTable* table, TZevBodyPair* pair, float weight, TZevPhscs2Obj* other) override;

    // n entries (not initialised); the old ones are freed. A negative n gives none.
    void AllocWeights(std::int32_t n);

    std::int32_t Count = 0;
    TZevDeformWeight* Weights = nullptr; // owned
    const float* RestVertex = nullptr;   // position of the vertex in the rest copy
    float* Vertex = nullptr;             // position of the vertex in the live mesh
};

// The base: body records, proxies, the control nodes of the collision meshes' vertices (Nodes1) and of the
// visual meshes' vertices (Nodes2), and the passes that integrate, commit and move the vertices.
class TZevDeformableObj : public TZevDeformPart {
public:
    TZevDeformableObj() = default;
    ~TZevDeformableObj() override;
    TZevDeformableObj(const TZevDeformableObj&) = delete;
    TZevDeformableObj& operator=(const TZevDeformableObj&) = delete;

    virtual void Clear();
    // Commits every active record and proxy, then moves the visual meshes' vertices.
    void EndStep(float dt) override;
    // Integrates every active record and proxy, then moves the collision meshes' vertices.
    virtual void Integrate(float dt);
    // The character's step of its deformable part.
    void Step(float dt) override { Integrate(dt); }
    // Moves every proxied object and every vertex by the matrix.
    void Transform(const TZevMatrix& m) override;

    void AllocNodes1(std::int32_t n);
    void AllocNodes2(std::int32_t n);
    void AllocProxies(std::int32_t n);
    void AllocRecords(std::int32_t n);

    // Binds nodes start .. start + count - 1 to the body records by their influence (see the source).
    void BindControlNodes(TZevDeformControlNode* nodes, const TZevVertex* restVertices, std::int32_t start,
                          std::int32_t count);
    // Node start + i gets the position of vertex i as its live vertex.
    static void SetNodeVertices(TZevDeformControlNode* nodes, TZevVertex* vertices, std::int32_t start,
                                std::int32_t count);
    // Every node's vertex := the weighted sum of its proxies' positions.
    static void UpdateVertices(TZevDeformControlNode* nodes, std::int32_t count);

    std::int32_t RecordCount = 0;
    std::int32_t ProxyCount = 0;
    std::int32_t Nodes1Count = 0;
    std::int32_t Nodes2Count = 0;
    TZevDeformBodyRecord* Records = nullptr;
    TZevBodyProxy* Proxies = nullptr;
    TZevDeformControlNode* Nodes1 = nullptr;
    TZevDeformControlNode* Nodes2 = nullptr;
    std::int32_t* RecordActive = nullptr;
    std::int32_t* ProxyActive = nullptr;
};

class TZevEasyDeformableObj : public TZevDeformableObj {
public:
    // The particles' mass and the rigid links' coefficients (spring = mass x 120, damper = mass).
    static constexpr float ParticleMass = 0.0625f;
    static constexpr float LinkFriction = 0.08f;
    // The lattice box is enlarged by this factor, so that vertices on its upper faces lie inside.
    static constexpr float BoxEnlargement = 1.000001f;

    TZevEasyDeformableObj() = default;
    ~TZevEasyDeformableObj() override;

    // Makes `body` and the bodies below it soft with an N x N x N lattice. False (logged, nothing built) for N
    // below 2 or above 64, or a null body. The character still has to take the object (SetDeformPart).
    bool Build(TZevCollisionMeshObj* body, std::int32_t n);
    void Clear() override;
    // The base's, then the visual meshes get new normals.
    void EndStep(float dt) override;
    // The body's force and torque (with damping spread over the particles) and gravity reach every particle.
    void ApplyForces(const TZevVector& torque, const TZevVector& force, float linearDamping, float gravity) override;

    // The lattice as built: its minimum corner and cell size.
    TZevVector LatticeMin;
    TZevVector Cell;
    std::int32_t N = 0;

    TZevPolygonMesh** RestMeshes = nullptr; // owned copies, one reference each
    TZevPolygonMesh** Meshes = nullptr;     // the live meshes (no reference)
    TZevPhscs2Particle* Particles = nullptr;
    std::int32_t ParticleCount = 0;
    std::int32_t MeshCount = 0;
    TZevList LeafNodes;       // owned control nodes of face and edge leaves
    TZevList CollisionMeshes; // TZevPolygonMesh*
    TZevList VisualMeshes;    // TZevPolygonMesh*

private:
    // The steps of Build.
    void CollectBodyMeshes(TZevCollisionMeshObj* body, TZevList& bodies);
    void PrepareMeshes();
    void MakeLattice(TZevCollisionMeshObj* body);
    void BindMeshes();
    void BuildNodes(TZevCollisionMeshObj* body, std::int32_t start, TZevBoxNode* root);
    void PlaceAtBody(TZevCollisionMeshObj* body);
    // Mesh index i runs over CollisionMeshes first, then VisualMeshes.
    bool IsCollisionMesh(std::int32_t i) const { return i < CollisionMeshes.GetCount(); }
    // Detaches a state object from every body using it (the leaves of those bodies go back to their parts) and
    // from its contact links, before it is destroyed.
    static void Forget(TZevPhscs2Obj* object);
};
