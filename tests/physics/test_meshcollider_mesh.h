// A polygon mesh owned by a test, for the mesh collision model and the soft-body tests.
#pragma once

#include "ZevMesh.h"
#include "test_fmcttree_meshes.h"

namespace physics_test {

struct TestMesh {
    TestMesh()
    {
        mesh = new TZevPolygonMesh;
        mesh->SetFaceAndVertexCount(0, 0);
    }
    ~TestMesh() { mesh->Release(); }
    TestMesh(const TestMesh&) = delete;
    TestMesh& operator=(const TestMesh&) = delete;
    TZevMeshData& data() { return *mesh->Geometry; }
    TZevPolygonMesh* mesh;
};

// Position of vertex i.
inline TZevVector VertexPosition(const TZevPolygonMesh* mesh, int i)
{
    const TZevVertex& v = mesh->Geometry->Vertices()[i];
    return TZevVector(v.x, v.y, v.z);
}

} // namespace physics_test
