// Rigid body: a 4x4 matrix (rows 0-2 the body axes in world coordinates, row 3 the centre of mass), an inertia
// tensor in body coordinates and angular velocity, integrated by semi-implicit Euler within a turn limit of pi/8
// and a movement limit of 16 units per step.
#pragma once

#include "ZevMatrix.h"
#include "ZevPhscs2Obj.h"

#include <cstdint>

class TZevPhscs2RigidBody : public TZevPhscs2Obj {
public:
    TZevPhscs2RigidBody();
    ~TZevPhscs2RigidBody() override;

    void AddForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddStepForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void AddDelayedForceAt(const TZevVector& force, const TZevVector& point, float dt) override;
    void RestoreStepForce() override;
    // Also logs the saved step force as "(x, y, z)".
    void SaveStepForce() override;
    void EndStep() override;
    void Integrate(float dt) override;
    void LocalToWorld(const TZevVector& in, TZevVector& out) override;
    void WorldToLocal(const TZevVector& in, TZevVector& out) override;
    void LocalToWorldDir(const TZevVector& in, TZevVector& out) override;
    void WorldToLocalDir(const TZevVector& in, TZevVector& out) override;
    void PredictPoint(const TZevVector& force, const TZevVector& point, TZevVector& out, float dt) override;

    // Mass m and the inertia of a solid sphere of radius r (0.4 m r r on the diagonal). A mass or radius that is
    // not a positive finite number is refused: false, logged, nothing changed.
    bool SetMassSphere(float m, float r);
    // Refuses a mass that is not a positive finite number, and an inertia tensor that cannot be inverted.
    bool SetMass(float mass);
    bool SetInertia(const TZevMatrix3& inertia);
    // Both the current and the start-of-step matrix.
    void SetMatrix(const TZevMatrix& m);
    void SetMatrix(const float* elements) { SetMatrix(TZevMatrix(elements)); }

    TZevVector GetPosition() const { return TZevVector(Matrix.m[12], Matrix.m[13], Matrix.m[14]); }

    TZevMatrix PrevMatrix;
    TZevMatrix Matrix;
    TZevVector Velocity;
    TZevVector AngularVelocity;
    TZevVector Force;
    TZevVector Torque;
    TZevVector PrevVelocity;
    TZevVector PrevAngularVelocity;
    TZevVector StepForce;
    TZevVector StepTorque;
    TZevVector SavedStepForce;
    TZevVector SavedStepTorque;
    TZevVector DelayedForce0; // AddDelayedForceAt adds here
    TZevVector DelayedTorque0;
    TZevVector DelayedForce1;
    TZevVector DelayedTorque1;
    TZevVector DelayedForce2; // the integrator reads this stage
    TZevVector DelayedTorque2;
    TZevMatrix3 Inertia; // body coordinates, row by row
    float Mass = 1.0f;

private:
    // What Integrate and PredictPoint derive from the start-of-step rotation, the inertia and the start-of-step
    // angular velocity, which stay the same through every trial move of a step's satisfy passes: the inverse world
    // inertia and the gyroscopic term, kept with a bitwise copy of the inputs they came from (the fields are
    // public, so a change is found by comparing, not by being told).
    struct TStartTerms {
        std::uint32_t rotation[11] = {}; // PrevMatrix elements 0 to 10
        std::uint32_t inertia[9] = {};
        std::uint32_t spin[3] = {};      // PrevAngularVelocity
        bool valid = false;
        TZevMatrix3 inverse;
        TZevVector gyro;
    };
    TStartTerms StartCache;
    // The start terms for the current inputs, computed again only when one of them changed (Integrate).
    const TStartTerms& StartTerms();
    // Do the kept terms stand for the current inputs? Only read: PredictPoint, which may run for one body on
    // several threads at once, uses them when they do and computes its own otherwise.
    bool StartTermsHold() const;
};

// The largest turn of one step (pi/8) and the largest move of one step.
inline constexpr float ZevMaxTurnPerStep = 0.3926991f;
inline constexpr float ZevMaxMovePerStep = 16.0f;

// Inverse of the world inertia transpose(R) Inertia R for the rotation rows R of `matrix`. False, with a zero
// inverse (no angular response), when the tensor cannot be inverted.
bool ZevInverseWorldInertia(const TZevMatrix& matrix, const TZevMatrix3& inertia, TZevMatrix3& inverse);

// Re-orthonormalises the rotation rows: row 2 keeps its direction, row 1 only gives the plane. When row 2 or the
// cross product of rows 1 and 2 vanishes (squared length at most 1e-9, or not a number) the rotation becomes the
// identity, the translation is kept, and the result is false.
bool ZevOrthonormalize(TZevMatrix& m);
