// Bodies for the world tests: a collision tree of a mesh with one rigid part that the world integrates, pulled
// down by the world's gravity, and a world with the physics-only parameters.
#pragma once

#include "ZevBodyBoxes.h"
#include "ZevJoint.h"
#include "ZevPhscs2RigidBody.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsInit.h"
#include "ZevXPhObj.h"
#include "test_fmcttree_meshes.h"

#include <functional>
#include <memory>
#include <vector>

namespace physics_test {

class SimBody : public TZevXPhObj {
public:
    // A body of `mesh` (given in body coordinates) placed at `pose`; a fixed body is neither integrated nor pulled.
    // The mesh needs its vertex normals: the contact estimates inset every vertex along its normal.
    SimBody(TZevMeshData* mesh, const TZevMatrix& pose, bool fixed = false, float mass = 1.0f, float radius = 0.5f)
    {
        part = new TZevPhscs2RigidBody;
        part->SetMassSphere(mass, radius);
        part->SetMatrix(pose);
        part->Owner = this;
        LinkBodyAndRigidBody(this, part);
        ClearNodes(mesh);
        SetMatrix(pose);
        if (primitiveRoot != nullptr)
            AssignBoxObject(primitiveRoot, part);
        if (fixed) {
            SetFixed(1);
            part->Fixed = 1;
        }
    }
    ~SimBody() override
    {
        Teardown();
        UnlinkBodyAndRigidBody(this, part);
        part->Owner = nullptr;
        delete part;
    }
    void StepHook(float h) override
    {
        (void)h;
        if (IsFixed() != 0 || IsDynamic() == 0)
            return;
        const float g = space != nullptr ? space->pairs.Gravity : 0.0f;
        part->AddForceAt(TZevVector(0.0f, -g * part->Mass, 0.0f), part->GetPosition(), h);
        const TZevVector v = part->Velocity;
        const TZevVector w = part->AngularVelocity;
        part->Force.Add(v.x * -damping, v.y * -damping, v.z * -damping);
        part->Torque.Add(w.x * -damping, w.y * -damping, w.z * -damping);
    }
    void UpdateWorldMatrix(float h) override
    {
        if (IsFixed() == 0 && IsDynamic() != 0) {
            part->Integrate(h);
            SetMatrix(part->Matrix);
        }
        TZevXPhObj::UpdateWorldMatrix(h);
    }
    void AdvanceStep(float h) override
    {
        TZevXPhObj::AdvanceStep(h);
        part->EndStep();
    }
    void StepCallback() override
    {
        ++callbacks;
        if (onCallback)
            onCallback(this);
    }
    TZevVector Position() const { return part->GetPosition(); }

    TZevPhscs2RigidBody* part;
    float damping = 0.05f;
    int callbacks = 0;
    std::function<void(SimBody*)> onCallback;
};

// A world with the physics-only parameters; the bodies made through it are added and deleted with it.
struct TestWorld {
    TestWorld()
    {
        ZevPhysicsInit();
        world = std::make_unique<TZevPhscs2World>();
        ZevSetPhOnlyParameters(world.get());
    }
    SimBody* Add(float x0, float y0, float z0, float x1, float y1, float z1, const TZevMatrix& pose,
                  bool fixed = false, float mass = 1.0f)
    {
        meshes.push_back(std::make_unique<TZevMeshData>());
        MakeCube(*meshes.back(), x0, y0, z0, x1, y1, z1);
        meshes.back()->ComputeNormals();
        SimBody* body = new SimBody(meshes.back().get(), pose, fixed, mass);
        world->AddBody(body);
        return body;
    }
    // A box of half sides (a, b, c) centred on its position.
    SimBody* Box(float a, float b, float c, const TZevMatrix& pose, bool fixed = false, float mass = 1.0f)
    {
        return Add(-a, -b, -c, a, b, c, pose, fixed, mass);
    }
    void Run(int steps, float dt = 0.02f)
    {
        for (int i = 0; i < steps; ++i)
            world->Step(dt);
    }
    ~TestWorld() { world.reset(); }

    std::unique_ptr<TZevPhscs2World> world;
    std::vector<std::unique_ptr<TZevMeshData>> meshes; // outlive the world and its bodies
};

} // namespace physics_test
