// Common base of the links between two dynamic objects (rigid links, contact links and the sub-contacts of
// edge contacts): the coefficients of the force laws, the two world-space end points of this step and of the
// step before, the working values of the contact and satisfy passes, and the body-pair record of the two objects.
// Every link class is pooled per thread; Release gives a link back to its pool.
#pragma once

#include "ZevPhscs2Obj.h"
#include "ZevVector.h"

#include <cstdint>

class TZevBodyPair;

class TZevPhscs2Link : public TZevReleasableLink {
public:
    TZevPhscs2Link() = default;
    ~TZevPhscs2Link() override = default;

    // Drops the pair reference and leaves the ring the link stands in.
    void Release() override;
    // The previous points take the current ones, then Update.
    virtual void Advance();
    // Recomputes the world-space points; nothing here.
    virtual void Update() {}

    // Every working value of the passes back to zero (forces, corrections, histories, penetration).
    void ClearWorkingValues();

    std::int32_t State = 0;
    float RestLength = 0.0f;
    float Tolerance = 0.0f; // the length error below which the link counts as satisfied
    float Spring = 0.0f;
    float Damper = 0.0f;
    float StaticFriction = 0.0f;
    float DynamicFriction = 0.0f;
    TZevVector PrevPointA;
    TZevVector PrevPointB;
    TZevVector PointA;
    TZevVector PointB;
    // Working values of the contact, length and satisfy passes.
    float Penetration = 0.0f;
    float DeadBand = 0.0f;
    TZevVector PenetrationDirection;
    float StepCoeff = 0.0f;
    TZevVector Force; // current force
    TZevVector CorrectionSum;
    TZevVector Correction;
    TZevVector CorrectionPointA;
    TZevVector CorrectionPointB;
    TZevVector Torque;
    TZevVector PrevForce;
    TZevVector PrevTorque;
    TZevVector OlderForce;
    TZevVector OlderTorque;
    TZevBodyPair* Pair = nullptr; // a held reference
};
