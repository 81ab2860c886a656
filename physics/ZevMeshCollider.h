// Stand-alone collision model of one polygon mesh: the faces are grouped into nodes of at most 16 with boxes, and
// the model tells whether two placed models touch (reporting every touching triangle pair), where a ray or a
// segment meets it, and whether a point lies inside it. Simpler than the collision trees; the test scenes and
// the deformable objects use it.
#pragma once

#include "ZevList.h"
#include "ZevMath.h"

#include <cstdint>

class TZevPolygonMesh;
struct TZevMeshFace;
class TZevMeshCollider;

// Does the segment from p to q meet the triangle (a, b, c)? t (0 at p, 1 at q) is written on a hit.
bool ZevSegmentTriangle(const TZevVector& p, const TZevVector& q, const TZevVector& a, const TZevVector& b,
                        const TZevVector& c, float& t);

// A face of the mesh in a node: the box of its corners (refreshed whenever it is collected against a box) and
// its polygon.
struct TZevMeshFaceEntry {
    TZevVector Min;
    TZevVector Max;
    const TZevMeshFace* Face = nullptr;
};

// A group of at most 16 faces.
struct TZevMeshColliderNode : TZevAllocated {
    TZevBox LocalBox;  // model space
    TZevBox WorldBox;  // after Transform
    TZevList Entries;  // TZevMeshFaceEntry*
    float Size = 0.0f; // sum of the three extents of LocalBox
};

// One touching triangle pair, seen from the model that receives it.
struct TZevMeshHit {
    std::uint16_t I0, I1, I2; // this model's triangle (fan order)
    TZevMeshColliderNode* Node;
    TZevMeshCollider* Other;
    std::uint16_t J0, J1, J2; // the other model's triangle
    TZevMeshColliderNode* OtherNode;
};

// Called by RayCast for every triangle the ray meets: (model, i0, i1, i2, t, context).
using TZevRayCastCallback = void (*)(TZevMeshCollider* model, std::uint16_t i0, std::uint16_t i1,
                                     std::uint16_t i2, float t, void* context);

// Context of the standard ray-cast callback: the face whose centroid lies nearest to Point among those hit.
struct TZevRayCastNearest {
    TZevVector Point;
    float BestDistance2 = 3.4e37f;
    std::int32_t Found = 0;
    std::int32_t Facing = 0; // 1 when the kept face's normal points away from Point (or along it)
};
void ZevRayCastNearestFace(TZevMeshCollider* model, std::uint16_t i0, std::uint16_t i1, std::uint16_t i2, float t,
                           void* context);

class TZevMeshCollider : public TZevAllocated {
public:
    TZevMeshCollider();
    virtual ~TZevMeshCollider();
    TZevMeshCollider(const TZevMeshCollider&) = delete;
    TZevMeshCollider& operator=(const TZevMeshCollider&) = delete;

    // Frees the nodes and both arrays; the model is empty and touches nothing.
    virtual void Clear();
    // Called for every touching triangle pair Collide finds; empty here.
    virtual void OnHit(const TZevMeshHit& hit);
    // Called once on each model at the end of a Collide that found a touching pair; empty here.
    virtual void OnCollide(TZevMeshCollider* other);

    // Builds the nodes over the mesh's faces (the mesh is not owned and must outlive the model). False, leaving
    // the model empty, for a mesh without geometry, with corners beyond its vertices or when memory runs out.
    bool BuildFromMesh(TZevPolygonMesh* mesh);
    // Node boxes from their faces' corners, then the model's box from the nodes.
    void UpdateNodeBoxes();
    void UpdateBox();
    // World boxes of the model and of every node by the matrix.
    void Transform(const TZevMatrix& matrix);
    // The mesh's vertex positions by the matrix into `vertices`.
    void TransformVertices(const TZevMatrix& matrix);

    // Do the two placed models touch? Both must have been placed first (Transform and TransformVertices with the
    // same matrices). Every touching triangle pair goes to OnHit of both models.
    static bool Collide(const TZevMatrix& matrixA, TZevMeshCollider* a, const TZevMatrix& matrixB,
                        TZevMeshCollider* b);

    // Every triangle met by the ray origin + t direction with t >= 0 (and t <= maxT), in model space, goes to the
    // callback when one is set. True when any was met.
    bool RayCast(const TZevVector& origin, const TZevVector& direction, TZevRayCastCallback callback,
                 void* context, float maxT = 3.4e38f);
    // The same for the segment from p to q (t from 0 at p to 1 at q).
    bool SegmentCast(const TZevVector& p, const TZevVector& q, TZevRayCastCallback callback, void* context);
    // Does the point (model space) lie inside the closed mesh?
    bool IsPointInside(const TZevVector& point);

    std::int32_t GetNodeCount() const { return nodeCount; }

    TZevBox localBox;
    TZevBox worldBox;
    TZevList nodes; // TZevMeshColliderNode*, owned, in build order
    TZevPolygonMesh* mesh = nullptr;
    std::int32_t nodeCount = 0;
    float size = 0.0f;
    const TZevMatrix* matrix = nullptr; // the placement given to the last Collide
    TZevVector* vertices = nullptr;     // transformed positions, one per mesh vertex
    TZevMeshFaceEntry* faceEntries = nullptr;
    std::int32_t vertexCount = 0; // length of `vertices`
    std::int32_t faceCount = 0;   // length of `faceEntries`
};
