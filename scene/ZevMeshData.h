// Geometry block of the polygon meshes: a flat array of 32-byte vertices and faces of 16-bit indices,
// with the operations that work on geometry alone (normals, transformation, box and sphere makers) and
// the clean-up pass that turns a drawing mesh into a collision mesh.
#pragma once

#include <cstdint>

#include "ZevDebug.h"
#include "ZevMatrix.h"
#include "ZevVector.h"

// Vertex of a polygon mesh.
struct TZevVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

// Vertex of a pre-lit mesh: colours of its own instead of a normal.
struct TZevLVertex {
    float x, y, z;
    uint32_t Reserved;
    uint32_t Diffuse;  // packed ARGB
    uint32_t Specular; // packed ARGB
    float u, v;
};

static_assert(sizeof(TZevVertex) == 32 && sizeof(TZevLVertex) == 32, "vertex layouts are 32 bytes");

// Indices are 16-bit, so a mesh never has more vertices than this.
inline constexpr int32_t ZevMaxMeshVertices = 65536;

// A polygon: its corner count and that many vertex indices. The indices are freed with the face array.
struct TZevMeshFace {
    // Replaces the indices by n new ones, all 0; false (and no indices) when the allocation fails.
    bool SetIndexCount(uint32_t n);
    void FreeIndices();

    uint32_t Count;
    uint16_t* Indices; // null when Count is 0
};

class TZevMeshData : public TZevAllocated {
public:
    TZevMeshData() = default;
    ~TZevMeshData() { Free(); }
    TZevMeshData(const TZevMeshData&) = delete;
    TZevMeshData& operator=(const TZevMeshData&) = delete;

    // Replaces the vertex array by n zeroed vertices (capacity n, count 0). n outside [0, 65536] or a
    // failed allocation leaves no array and gives false.
    bool SetVertexCount(int32_t n);
    // Replaces the face array by n empty faces (capacity n, count 0); false when n is negative or the
    // allocation fails.
    bool SetFaceCount(int32_t n);
    // Gives face f room for n indices (zeroed); false when f is outside the capacity or allocation fails.
    bool SetFaceIndexCount(int32_t f, uint32_t n);
    // Frees both arrays with every face's indices.
    void Free();

    // True when every corner of the faces in use refers to a vertex in use.
    bool IndicesInRange() const;

    // Angle-weighted vertex normals of the vertices in use.
    void ComputeNormals();
    // Positions by the whole matrix, normals by its 3x3 part (renormalised).
    void Transform(const TZevMatrix& m);

    TZevVertex* Vertices() const { return static_cast<TZevVertex*>(VertexArray); }
    TZevLVertex* LVertices() const { return static_cast<TZevLVertex*>(VertexArray); }

    void* VertexArray = nullptr; // TZevVertex elements, or TZevLVertex in a pre-lit mesh
    TZevMeshFace* Faces = nullptr;
    int32_t VertexCount = 0;
    int32_t FaceCount = 0;
    int32_t VertexCapacity = 0;
    int32_t FaceCapacity = 0;
};

// The polygon geometry of `count` blocks (null ones skipped) one after another in `out`, each block's indices
// moved past the vertices before it. False (and `out` empty) for more than 65536 vertices together, a block that
// refers to vertices it does not have, or a failed allocation.
bool ZevJoinMeshData(const TZevMeshData* const* parts, int32_t count, TZevMeshData& out);

// The extent of the vertices in use (positions lead both vertex layouts), no further than the array's capacity;
// false, with both corners at the origin, when there are none.
bool ZevMeshDataExtent(const TZevMeshData& data, TZevVector& low, TZevVector& high);

// True when no two different faces run along a shared edge in the same direction.
bool ZevMeshFacesConsistent(const TZevMeshData& data);

// The collision clean-up of a drawing mesh: triangulates, welds vertices closer than 0.05, drops the
// triangles that welding collapses, computes the normals. Writes its findings to the debug log.
// False (and `out` empty) when the source refers to vertices it does not have.
bool ZevMeshFaceDirectionPass(const TZevMeshData& source, TZevMeshData& out);

// A closed box of 24 vertices and 12 triangles with outward normals. False when allocation fails.
bool ZevMakeBoxMesh(TZevMeshData* data, float x0, float y0, float z0, float x1, float y1, float z1);
bool ZevMakeBoxMesh(TZevMeshData* data, const TZevVector& min, const TZevVector& max);
// A unit sphere of rings x segments vertices. False for fewer than 2 rings or 1 segment, or more than
// 65536 vertices.
bool ZevMakeSphereMesh(TZevMeshData* data, int32_t rings, int32_t segments);
