#include "QEWorldParams.h"

#include "LispArgs.h"
#include "QEContext.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevPhscs2World.h"

#include <cstdint>
#include <iterator>
#include <utility>

namespace {

// A parameter: where it lives under the current globals (null when nothing is published there).
template <class T> struct TQEParam {
    const char* setter; // builtin names
    const char* getter;
    T* (*field)();
};

// The common guard, then the field.
template <class T, T TZevPhscs2World::*Member> T* WorldField()
{
    return QEWorldReady() ? &(CurrentWorld->*Member) : nullptr;
}
float* GravityField() { return QEWorldReady() ? &CurrentWorld->pairs.Gravity : nullptr; }
float* StepSizeField() { return QEWorldReady() ? StepSizePtr : nullptr; }
std::int32_t* RepeatSizeField() { return QEWorldReady() ? RepeatSizePtr : nullptr; }

using W = TZevPhscs2World;

const TQEParam<float> FloatParams[] = {
    {"SetCollisionReboundCoeff", "GetCollisionReboundCoeff", WorldField<float, &W::CollisionReboundCoeff>},
    {"SetCollisionSpringCoeff", "GetCollisionSpringCoeff", WorldField<float, &W::CollisionSpringCoeff>},
    {"SetCollisionStaticFrictionCoeff", "GetCollisionStaticFrictionCoeff",
     WorldField<float, &W::CollisionStaticFrictionCoeff>},
    {"SetCollisionDynamicFrictionCoeff", "GetCollisionDynamicFrictionCoeff",
     WorldField<float, &W::CollisionDynamicFrictionCoeff>},
    {"SetCollisionVerticalDamperCoeff", "GetCollisionVerticalDamperCoeff",
     WorldField<float, &W::CollisionVerticalDamperCoeff>},
    {"SetCollisionHorizontalDamperCoeff", "GetCollisionHorizontalDamperCoeff",
     WorldField<float, &W::CollisionHorizontalDamperCoeff>},
    {"SetInterferencePermitDistance", "GetInterferencePermitDistance",
     WorldField<float, &W::InterferencePermitDistance>},
    {"SetGravity", "GetGravity", GravityField},
    {"SetCollisionSatisfyCoefficientScale", "GetCollisionSatisfyCoefficientScale",
     WorldField<float, &W::CollisionSatisfyCoefficientScale>},
    {"SetSimulationStepSize", "GetSimulationStepSize", StepSizeField},
};

const TQEParam<std::int32_t> IntParams[] = {
    {"SetCollisionSatisfyMode", "GetCollisionSatisfyMode", WorldField<std::int32_t, &W::CollisionSatisfyMode>},
    {"SetCollisionSatisfyRepeatMax", "GetCollisionSatisfyRepeatMax",
     WorldField<std::int32_t, &W::CollisionSatisfyRepeatMax>},
    {"SetLinkSatisfyRepeatMax", "GetLinkSatisfyRepeatMax", WorldField<std::int32_t, &W::LinkSatisfyRepeatMax>},
    {"SetRetryCollisionMax", "GetRetryCollisionMax", WorldField<std::int32_t, &W::RetryCollisionMax>},
    {"SetSimulationRepeatSize", "GetSimulationRepeatSize", RepeatSizeField},
    // Read only: statistics of the last step.
    {nullptr, "GetSatisfyRepeatCount", WorldField<std::int32_t, &W::SatisfyRepeatCount>},
    {nullptr, "GetRetryCollisionCount", WorldField<std::int32_t, &W::RetryCollisionCount>},
};

template <class T> int SetParam(T* (*field)(), T value)
{
    return QEGuard(0, [&] {
        T* p = field();
        if (!p)
            return 0;
        *p = value;
        return 1;
    });
}

template <class T> int GetParam(T* (*field)(), T* out)
{
    return QEGuard(0, [&] {
        T* p = field();
        if (!p || !out)
            return 0;
        *out = *p;
        return 1;
    });
}

// Builtins: one instance per table row.
template <class V> constexpr const char* ArgFormat = "f";
template <> constexpr const char* ArgFormat<std::int32_t> = "i";

template <class V> const TQEParam<V>& Row(int i);
template <> const TQEParam<float>& Row<float>(int i) { return FloatParams[i]; }
template <> const TQEParam<std::int32_t>& Row<std::int32_t>(int i) { return IntParams[i]; }

template <class V, int I> void SetBuiltin(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    V value{};
    if (!LispParseArgs(interp, &args, ArgFormat<V>, &value)) {
        result = interp->ArgError;
        return;
    }
    V* p = Row<V>(I).field();
    if (!p) {
        result = Nil;
        return;
    }
    *p = value;
    result = ::T;
}

template <class V, int I> void GetBuiltin(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    const V* p = Row<V>(I).field();
    if (!p) {
        result = Nil;
        return;
    }
    result = LispMakeResult(interp, ArgFormat<V>, *p);
}

template <class V, int... I> void RegisterRows(std::integer_sequence<int, I...>)
{
    ((Row<V>(I).setter ? LispRegisterBuiltin(SetBuiltin<V, I>, Row<V>(I).setter) : void()), ...);
    (LispRegisterBuiltin(GetBuiltin<V, I>, Row<V>(I).getter), ...);
}

bool Registered = false;

} // namespace

void ZevEngineRegisterWorldParams()
{
    if (Registered)
        return;
    Registered = true;
    RegisterRows<float>(std::make_integer_sequence<int, std::size(FloatParams)>());
    RegisterRows<std::int32_t>(std::make_integer_sequence<int, std::size(IntParams)>());
}

// ---- Exports: one pair per parameter, in the order of the tables ------------------------------------------------

#define QE_PARAM_EXPORTS(Name, V, Index, Table)                                                                   \
    extern "C" QE_API int QE_Set##Name(V value) { return SetParam<V>(Table[Index].field, value); }              \
    extern "C" QE_API int QE_Get##Name(V* value) { return GetParam<V>(Table[Index].field, value); }

QE_PARAM_EXPORTS(CollisionReboundCoeff, float, 0, FloatParams)
QE_PARAM_EXPORTS(CollisionSpringCoeff, float, 1, FloatParams)
QE_PARAM_EXPORTS(CollisionStaticFrictionCoeff, float, 2, FloatParams)
QE_PARAM_EXPORTS(CollisionDynamicFrictionCoeff, float, 3, FloatParams)
QE_PARAM_EXPORTS(CollisionVerticalDamperCoeff, float, 4, FloatParams)
QE_PARAM_EXPORTS(CollisionHorizontalDamperCoeff, float, 5, FloatParams)
QE_PARAM_EXPORTS(InterferencePermitDistance, float, 6, FloatParams)
QE_PARAM_EXPORTS(Gravity, float, 7, FloatParams)
QE_PARAM_EXPORTS(CollisionSatisfyCoefficientScale, float, 8, FloatParams)
QE_PARAM_EXPORTS(SimulationStepSize, float, 9, FloatParams)
QE_PARAM_EXPORTS(CollisionSatisfyRepeatMax, int, 1, IntParams)
QE_PARAM_EXPORTS(LinkSatisfyRepeatMax, int, 2, IntParams)
QE_PARAM_EXPORTS(RetryCollisionMax, int, 3, IntParams)
QE_PARAM_EXPORTS(SimulationRepeatSize, int, 4, IntParams)
