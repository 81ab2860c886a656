#include "QEPIDController.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevNameTable.h"

#include <cmath>

TZevPIDController::TZevPIDController() = default;

void TZevPIDController::SetParam(float band, float ti, float td)
{
    Band = band;
    Ti = ti;
    Td = td;
    Gain = std::fabs(band) <= 1e-11f ? 0.0f : 100.0f / band;
    InvTi = ti == 0.0f ? 0.0f : 1.0f / ti;
}

float TZevPIDController::Compute()
{
    IntegralIncrement = StepSize * Error;
    float u = ((Error - PrevError) * InvStep * Td + (IntegralIncrement + Integral) * InvTi + Error) * Gain;
    if (u > OutputMax) {
        u = OutputMax;
        Saturated = 1;
    }
    if (u < OutputMin) {
        u = OutputMin;
        Saturated = 1;
    }
    Output = u;
    return u;
}

float TZevPIDController::Step(float step)
{
    Error = Target - State;
    StepSize = step;
    if (step != 0.0f)
        InvStep = 1.0f / step;
    const float out = Compute();
    PrevError = Error;
    if (!Saturated)
        Integral = Integral + IntegralIncrement;
    PrevOutput = out;
    Saturated = 0;
    return out;
}

TZevClassRecord TZevLispPIDObjClassRecord;

TZevLSObj* CreateTZevLispPIDObj()
{
    return ZevCreateRegistered<TZevLispPIDObj>(&TZevLispPIDObjClassRecord);
}

TZevLispPIDObj::~TZevLispPIDObj()
{
    PID = TZevPIDController();
}

int TZevLispPIDObj_SaveFunction(TZevObjectIdTable*, TZevStream* stream, void* object)
{
    const TZevPIDController& pid = static_cast<TZevLispPIDObj*>(static_cast<TZevLSObj*>(object))->PID;
    const float values[5] = {pid.Band, pid.Ti, pid.Td, pid.OutputMax, pid.OutputMin};
    for (const float& v : values) {
        if (!WriteFloat(stream, &v))
            return 0;
    }
    return 1;
}

int TZevLispPIDObj_LoadFunction(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    float values[5];
    for (float& v : values) {
        if (!ReadFloat(stream, &v))
            return 0;
    }
    TZevLSObj* made = CreateObjectByName("TZevLispPIDObj");
    if (!made)
        return 0;
    if (made->GetClassRecord() != &TZevLispPIDObjClassRecord) {
        made->Release();
        return 0;
    }
    TZevPIDController& pid = static_cast<TZevLispPIDObj*>(made)->PID;
    pid.SetParam(values[0], values[1], values[2]);
    pid.OutputMax = values[3];
    pid.OutputMin = values[4];
    *slot = made;
    return 1;
}

namespace {

// The controller of a wrapped PID object; null for any other object (the builtins then answer nil).
TZevPIDController* AsPID(TZevLSObj* object)
{
    if (!object || object->GetClassRecord() != &TZevLispPIDObjClassRecord)
        return nullptr;
    return &static_cast<TZevLispPIDObj*>(object)->PID;
}

// Parses (object ...) for the PID builtins: the controller, or null with the result set (the interpreter's error
// for bad arguments, nil for an object that is no PID controller).
template <class... Outs>
TZevPIDController* ParsePID(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, const char* format,
                            Outs... outs)
{
    TZevLSObj* object = nullptr;
    if (!LispParseArgs(interp, &args, format, &object, outs...)) {
        result = interp->ArgError;
        return nullptr;
    }
    TZevPIDController* pid = AsPID(object);
    if (!pid)
        result = Nil;
    return pid;
}

void XPhPIDMake(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    TZevLSObj* made = CreateObjectByName("TZevLispPIDObj");
    if (!made) {
        result = Nil;
        return;
    }
    LispMakeLSObj(result, made, TZevLispPIDObj_LoadFunction, TZevLispPIDObj_SaveFunction);
    made->Release();
}

void XPhPIDSetParam(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    double band = 0, ti = 0, td = 0;
    TZevPIDController* pid = ParsePID(result, interp, args, "offf", &band, &ti, &td);
    if (!pid)
        return;
    pid->SetParam(static_cast<float>(band), static_cast<float>(ti), static_cast<float>(td));
    result = T;
}

// The (object value) builtins: ArgError for bad arguments, Nil for an object that is no PID controller, else
// what `apply` answers.
template <class F> void WithPIDValue(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, F&& apply)
{
    double value = 0;
    TZevPIDController* pid = ParsePID(result, interp, args, "of", &value);
    if (!pid)
        return;
    result = apply(pid, static_cast<float>(value));
}

void XPhPIDSetState(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    WithPIDValue(result, interp, args, [](TZevPIDController* pid, float value) {
        pid->PrevState = pid->State;
        pid->State = value;
        return T;
    });
}

void XPhPIDSetTarget(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    WithPIDValue(result, interp, args, [](TZevPIDController* pid, float value) {
        pid->Target = value;
        pid->Error = pid->Target - pid->State;
        return T;
    });
}

void XPhPIDStep(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    WithPIDValue(result, interp, args, [interp](TZevPIDController* pid, float step) {
        return LispMakeResult(interp, "f", pid->Step(step));
    });
}

void XPhPIDSetOutPutRange(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    double minimum = 0, maximum = 0;
    TZevPIDController* pid = ParsePID(result, interp, args, "off", &minimum, &maximum);
    if (!pid)
        return;
    pid->OutputMin = static_cast<float>(minimum);
    pid->OutputMax = static_cast<float>(maximum);
    result = T;
}

bool gRegistered = false;

} // namespace

void ZevEngineRegisterPID()
{
    if (gRegistered)
        return;
    gRegistered = true;
    RegisterClassRecord(&TZevLispPIDObjClassRecord, "TZevLispPIDObj", "TZevStringTree", CreateTZevLispPIDObj);
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevLispPIDObj_LoadFunction", TZevLispPIDObj_LoadFunction);
    d->Add("TZevLispPIDObj_SaveFunction", TZevLispPIDObj_SaveFunction);
    LispRegisterBuiltin(XPhPIDMake, "XPhPIDMake");
    LispRegisterBuiltin(XPhPIDSetParam, "XPhPIDSetParam");
    LispRegisterBuiltin(XPhPIDSetState, "XPhPIDSetState");
    LispRegisterBuiltin(XPhPIDSetTarget, "XPhPIDSetTarget");
    LispRegisterBuiltin(XPhPIDStep, "XPhPIDStep");
    LispRegisterBuiltin(XPhPIDSetOutPutRange, "XPhPIDSetOutPutRange");
}
