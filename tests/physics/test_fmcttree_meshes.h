// Small meshes and helpers shared by the collision-tree, collision-space and physics-object tests.
#pragma once

#include "ZevFMCTTree.h"
#include "ZevMeshData.h"

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace physics_test {

// A mesh of the given positions and polygons.
inline void MakeMesh(TZevMeshData& mesh, const std::vector<TZevVector>& positions,
                     const std::vector<std::vector<int>>& polygons)
{
    mesh.SetVertexCount(static_cast<std::int32_t>(positions.size()));
    mesh.VertexCount = static_cast<std::int32_t>(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        mesh.Vertices()[i].x = positions[i].x;
        mesh.Vertices()[i].y = positions[i].y;
        mesh.Vertices()[i].z = positions[i].z;
    }
    mesh.SetFaceCount(static_cast<std::int32_t>(polygons.size()));
    mesh.FaceCount = static_cast<std::int32_t>(polygons.size());
    for (std::size_t f = 0; f < polygons.size(); ++f) {
        mesh.SetFaceIndexCount(static_cast<std::int32_t>(f), static_cast<std::uint32_t>(polygons[f].size()));
        for (std::size_t k = 0; k < polygons[f].size(); ++k)
            mesh.Faces[f].Indices[k] = static_cast<std::uint16_t>(polygons[f][k]);
    }
}

// A closed, consistently wound cube of 8 shared corners and 12 triangles, from (x0, y0, z0) to (x1, y1, z1).
inline void MakeCube(TZevMeshData& mesh, float x0, float y0, float z0, float x1, float y1, float z1)
{
    const std::vector<TZevVector> p = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                                       {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
    MakeMesh(mesh, p,
             {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
              {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}});
}

// Random triangles over random vertices in [-r, r]^3 (no triangle names a vertex twice).
inline void MakeRandomMesh(TZevMeshData& mesh, std::mt19937& rng, int vertices, int triangles, float r)
{
    std::uniform_real_distribution<float> coord(-r, r);
    std::uniform_int_distribution<int> index(0, vertices - 1);
    std::vector<TZevVector> p;
    for (int i = 0; i < vertices; ++i) {
        const float x = coord(rng);
        const float y = coord(rng);
        const float z = coord(rng);
        p.emplace_back(x, y, z);
    }
    std::vector<std::vector<int>> faces;
    while (static_cast<int>(faces.size()) < triangles) {
        const int a = index(rng);
        const int b = index(rng);
        const int c = index(rng);
        if (a != b && b != c && a != c)
            faces.push_back({a, b, c});
    }
    MakeMesh(mesh, p, faces);
}

inline TZevMatrix Translation(float x, float y, float z)
{
    TZevMatrix m;
    ZevMatTranslation(m, x, y, z);
    return m;
}

// Every leaf under a node, in pre-order.
inline void CollectLeaves(TZevBoxNode* node, std::vector<TZevBoxNode*>& out)
{
    std::vector<TZevBoxNode*> stack{node};
    while (!stack.empty()) {
        TZevBoxNode* n = stack.back();
        stack.pop_back();
        if (n->type->number >= ZevCollisionTypeInfo(ZevTypeFaceBoxVecT)->number &&
            n->type->number <= ZevCollisionTypeInfo(ZevTypePointBoxVecT)->number) {
            out.push_back(n);
            continue;
        }
        std::vector<TZevBoxNode*> children;
        for (TZevBoxNode* c = n->FirstChild(); c != nullptr; c = c->NextSibling())
            children.push_back(c);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
    }
}

inline std::vector<TZevBoxNode*> LeavesOfType(TZevFMCTTree& tree, EZevCollisionType type)
{
    std::vector<TZevBoxNode*> all;
    std::vector<TZevBoxNode*> result;
    if (tree.primitiveRoot != nullptr)
        CollectLeaves(tree.primitiveRoot, all);
    for (TZevBoxNode* n : all) {
        if (n->type == ZevCollisionTypeInfo(type))
            result.push_back(n);
    }
    return result;
}

// How often `text` occurs in the debug log.
inline int CountInDebugLog(const std::string& text)
{
    std::ifstream in("ZevDebug.txt", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size()))
        ++count;
    return count;
}

} // namespace physics_test
