// Discrete PID controller in proportional-band notation (gain = 100 / band) and the script object that holds one,
// so that scripts can drive joint torques towards set points.
#pragma once

#include "ZevLSObj.h"
#include "ZevTree.h"

#include <cstdint>

class TZevPIDController : public TZevAllocated {
public:
    // Errors, integral, states, outputs and the saturation flag at 0; the output range at +-3.4e37; the
    // parameters, target and step also at 0 (no gain until SetParam).
    TZevPIDController();
    virtual ~TZevPIDController() = default;

    // Stores band, Ti and Td; gain = 100 / band (0 when |band| <= 1e-11), reciprocal Ti = 1 / Ti (0 for Ti = 0).
    void SetParam(float band, float ti, float td);
    // The clamped output of the current error; sets the saturation flag when the output was clamped.
    float Compute();
    // One control step of `step` seconds: error from target and state, Compute, then the integral (only when the
    // output did not saturate, so it cannot wind up at a bound). A step of 0 keeps the previous reciprocal step.
    float Step(float step);

    float Error = 0.0f;
    float PrevError = 0.0f;
    float Integral = 0.0f;
    float IntegralIncrement = 0.0f;
    float State = 0.0f;
    float PrevState = 0.0f;
    float Output = 0.0f;
    float PrevOutput = 0.0f;
    float Band = 0.0f;
    float Ti = 0.0f;
    float Td = 0.0f;
    float Gain = 0.0f;
    float InvTi = 0.0f;
    float Target = 0.0f;
    float StepSize = 0.0f;
    float InvStep = 0.0f;
    float OutputMax = 3.4e37f;
    float OutputMin = -3.4e37f;
    std::int32_t Saturated = 0;
};

// The script object of a controller.
class TZevLispPIDObj : public TZevStringTree {
public:
    TZevLispPIDObj() = default;
    ~TZevLispPIDObj() override;

    TZevPIDController PID;
};

extern TZevClassRecord TZevLispPIDObjClassRecord;
TZevLSObj* CreateTZevLispPIDObj();

// The object's saved form: band, Ti, Td, output maximum, output minimum (five float texts).
int TZevLispPIDObj_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevLispPIDObj_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// Registers the class, its named load and save functions and the builtins "XPhPIDMake", "XPhPIDSetParam",
// "XPhPIDSetState", "XPhPIDSetTarget", "XPhPIDStep" and "XPhPIDSetOutPutRange". Runs once.
void ZevEngineRegisterPID();
