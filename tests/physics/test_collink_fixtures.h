// A world with a few mesh bodies, shared by the collision-link, contact-estimate and contact-maker tests.
#pragma once

#include "ZevBodyBoxes.h"
#include "ZevColLink.h"
#include "ZevContactEstimate.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevPhscs2World.h"
#include "ZevXPhObj.h"

#include "ZevDebug.h"
#include "test_fmcttree_meshes.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace physics_test {

// Owns the world, the meshes of its bodies and their rigid parts; the world owns the bodies.
class ContactWorld : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevColLinkInit();
        world = new TZevPhscs2World;
    }
    void TearDown() override
    {
        delete world;
        world = nullptr;
        parts.clear();
        meshes.clear();
    }

    // A mesh with vertex normals, kept alive as long as the fixture.
    TZevMeshData* NewMesh()
    {
        meshes.push_back(std::make_unique<TZevMeshData>());
        return meshes.back().get();
    }
    TZevMeshData* CubeMesh(float x0, float y0, float z0, float x1, float y1, float z1)
    {
        TZevMeshData* mesh = NewMesh();
        MakeCube(*mesh, x0, y0, z0, x1, y1, z1);
        mesh->ComputeNormals();
        return mesh;
    }

    // A body of the mesh with its own rigid part; added to the world when asked.
    TZevXPhObj* NewBody(TZevMeshData* mesh, bool add = true)
    {
        auto* body = new TZevXPhObj;
        body->ClearNodes(mesh);
        parts.push_back(std::make_unique<TZevPhscs2RigidBody>());
        LinkBodyAndRigidBody(body, parts.back().get());
        AssignBoxObject(body->primitiveRoot, parts.back().get());
        if (add)
            world->AddBody(body);
        return body;
    }

    // Moves a body to a new pose for the current step (the previous positions stay those of the step before).
    static void MoveTo(TZevXPhObj* body, const TZevMatrix& m)
    {
        body->SetMatrix(m);
        body->UpdateWorldMatrix(0.0f);
    }

    // Refits a body's boxes after its body-attached boxes moved.
    static void Refit(TZevXPhObj* body)
    {
        body->Invalidate();
        body->UpdateBox();
    }

    // What a step pass does to a resting body before its first collision: the layer-1 boxes start at the last
    // inset points, the estimates run again, the boxes are refitted.
    void StartPass(TZevXPhObj* body)
    {
        ClearBodyLinkLists(body);
        ProcessBodyContacts(world, body);
        Refit(body);
    }

    TZevPhscs2World* world = nullptr;
    std::vector<std::unique_ptr<TZevMeshData>> meshes;
    std::vector<std::unique_ptr<TZevPhscs2RigidBody>> parts;
};

// The mesh leaves of a kind (the body-attached boxes, which are leaves of the same kinds, left out).
inline std::vector<TZevBoxNode*> MeshLeaves(TZevFMCTTree& tree, EZevCollisionType type)
{
    std::vector<TZevBoxNode*> out;
    for (TZevBoxNode* n : LeavesOfType(tree, type)) {
        if (n->bodyAttached == 0)
            out.push_back(n);
    }
    return out;
}

inline bool IsLeafType(const TZevBoxNode* node, EZevCollisionType type)
{
    return node->type == ZevCollisionTypeInfo(type);
}

// Every node under `node` (itself included), pre-order.
inline std::vector<TZevBoxNode*> AllNodes(TZevBoxNode* node)
{
    std::vector<TZevBoxNode*> out;
    std::vector<TZevBoxNode*> stack{node};
    while (!stack.empty()) {
        TZevBoxNode* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (TZevBoxNode* c = n->FirstChild(); c != nullptr; c = c->NextSibling())
            stack.push_back(c);
    }
    return out;
}

inline int CountNodes(TZevBoxNode* node, bool bodyAttached)
{
    int count = 0;
    for (TZevBoxNode* n : AllNodes(node))
        count += (n->bodyAttached != 0) == bodyAttached ? 1 : 0;
    return count;
}

} // namespace physics_test
