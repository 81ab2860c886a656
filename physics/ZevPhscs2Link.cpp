#include "ZevPhscs2Link.h"

#include "ZevBodyPair.h"

void TZevPhscs2Link::Release()
{
    ZevDropPairRef(Pair);
    Pair = nullptr;
    Unlink();
}

void TZevPhscs2Link::Advance()
{
    PrevPointA = PointA;
    PrevPointB = PointB;
    Update();
}

void TZevPhscs2Link::ClearWorkingValues()
{
    const TZevVector zero;
    Penetration = 0.0f;
    DeadBand = 0.0f;
    PenetrationDirection = zero;
    StepCoeff = 0.0f;
    Force = zero;
    CorrectionSum = zero;
    Correction = zero;
    CorrectionPointA = zero;
    CorrectionPointB = zero;
    Torque = zero;
    PrevForce = zero;
    PrevTorque = zero;
    OlderForce = zero;
    OlderTorque = zero;
}
