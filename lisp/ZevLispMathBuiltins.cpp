// Arithmetic, comparison and mathematical builtins. Integer arithmetic wraps modulo 2^32 (done in unsigned
// arithmetic); a float operand makes the operation double precision. The mathematical functions take their
// arguments through the format parser and answer "Bad Argument!" for any failure of it.
#include "LispArgs.h"
#include "ZevLisp.h"

#include <cmath>
#include <cstdint>

namespace {

enum Op { Add, Sub, Mul, Div, Eq, Lt, Gt, Le, Ge };

bool EvalTwo(TZevLispInterpreter* in, TZevLispRef args, TZevLispRef& a, TZevLispRef& b, TZevLispRef& result)
{
    // A list of exactly two forms, the common case, is read in place; any other list goes the long way, which
    // tells what is wrong with it.
    const TZevLispRef *fa, *fb;
    if (LispTwoForms(args, fa, fb)) {
        in->Eval(a, *fa);
        if (LispIsError(a)) {
            result = std::move(a);
            return false;
        }
        in->Eval(b, *fb);
        if (LispIsError(b)) {
            result = std::move(b);
            return false;
        }
        return true;
    }
    LispFirstArg(a, args);
    in->Eval(a, a);
    if (LispIsError(a)) {
        result = a;
        return false;
    }
    LispPopArg(b, args);
    in->Eval(b, b);
    if (LispIsError(b)) {
        result = b;
        return false;
    }
    TZevLispRef check;
    LispCheckNoMoreArgs(check, args);
    if (LispIsError(check)) {
        result = check;
        return false;
    }
    return true;
}

bool AsDouble(const TZevLispRef& v, double& d)
{
    if (LispIsInteger(v)) {
        d = static_cast<TZevLispInteger*>(v.Get())->Value;
        return true;
    }
    if (LispIsFloat(v)) {
        d = static_cast<TZevLispFloat*>(v.Get())->Value;
        return true;
    }
    return false;
}

std::int32_t Wrap(std::uint32_t v)
{
    return static_cast<std::int32_t>(v);
}

void Operate(Op op, TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a, b;
    if (!EvalTwo(in, std::move(args), a, b, result))
        return;
    if (LispIsInteger(a) && LispIsInteger(b)) {
        const std::int32_t x = static_cast<TZevLispInteger*>(a.Get())->Value;
        const std::int32_t y = static_cast<TZevLispInteger*>(b.Get())->Value;
        const std::uint32_t ux = static_cast<std::uint32_t>(x), uy = static_cast<std::uint32_t>(y);
        switch (op) {
        case Add: LispMakeInteger(result, Wrap(ux + uy)); return;
        case Sub: LispMakeInteger(result, Wrap(ux - uy)); return;
        case Mul: LispMakeInteger(result, Wrap(ux * uy)); return;
        case Div:
            if (y == 0)
                LispMakeError(result, "Zero Division!");
            else if (y == -1)
                LispMakeInteger(result, Wrap(0u - ux)); // INT_MIN / -1 wraps to INT_MIN
            else
                LispMakeInteger(result, x / y);
            return;
        case Eq: result = x == y ? T : Nil; return;
        case Lt: result = x < y ? T : Nil; return;
        case Gt: result = x > y ? T : Nil; return;
        case Le: result = x <= y ? T : Nil; return;
        case Ge: result = x >= y ? T : Nil; return;
        }
    }
    double x, y;
    if (!AsDouble(a, x) || !AsDouble(b, y)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    switch (op) {
    case Add: LispMakeFloat(result, x + y); return;
    case Sub: LispMakeFloat(result, x - y); return;
    case Mul: LispMakeFloat(result, x * y); return;
    case Div: LispMakeFloat(result, x / y); return;
    case Eq: result = x == y ? T : Nil; return;
    case Lt: result = x < y ? T : Nil; return;
    case Gt: result = x > y ? T : Nil; return;
    case Le: result = x <= y ? T : Nil; return;
    case Ge: result = x >= y ? T : Nil; return;
    }
}

template <Op op> void Operator(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    Operate(op, result, in, std::move(args));
}

template <double (*fn)(double)> void Unary(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    double x;
    if (!LispParseArgs(in, &args, "f", &x))
        LispMakeError(result, "Bad Argument!");
    else
        LispMakeFloat(result, fn(x));
}

double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Asin(double x) { return std::asin(x); }
double Acos(double x) { return std::acos(x); }
double Atan(double x) { return std::atan(x); }
double Log(double x) { return std::log(x); }
double Exp(double x) { return std::exp(x); }
double Sqrt(double x) { return std::sqrt(x); }
double Fabs(double x) { return std::fabs(x); }

void LispAtan2_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    double y, x;
    if (!LispParseArgs(in, &args, "ff", &y, &x))
        LispMakeError(result, "Bad Argument!");
    else
        LispMakeFloat(result, std::atan2(y, x));
}

void LispPI_(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    LispMakeFloat(result, 3.141592653589793);
}

thread_local std::uint32_t tRandState = 1;

void LispRand_(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    tRandState = tRandState * 214013u + 2531011u;
    LispMakeInteger(result, static_cast<std::int32_t>((tRandState >> 16) & 0x7FFF));
}

void LispMod_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    std::int32_t a, b;
    if (!LispParseArgs(in, &args, "ii", &a, &b))
        LispMakeError(result, "Bad Argument!");
    else if (b == 0)
        LispMakeError(result, "Zero Division!");
    else if (b == -1)
        LispMakeInteger(result, 0); // INT_MIN % -1 would trap
    else
        LispMakeInteger(result, a % b);
}

} // namespace

void LispRegisterMathBuiltins()
{
    LispRegisterBuiltin(Operator<Add>, "+");
    LispRegisterBuiltin(Operator<Sub>, "-");
    LispRegisterBuiltin(Operator<Mul>, "*");
    LispRegisterBuiltin(Operator<Div>, "/");
    LispRegisterBuiltin(Operator<Eq>, "=");
    LispRegisterBuiltin(Operator<Lt>, "<");
    LispRegisterBuiltin(Operator<Gt>, ">");
    LispRegisterBuiltin(Operator<Le>, "<=");
    LispRegisterBuiltin(Operator<Ge>, ">=");
    LispRegisterBuiltin(Unary<Sin>, "sin");
    LispRegisterBuiltin(Unary<Cos>, "cos");
    LispRegisterBuiltin(LispPI_, "PI");
    LispRegisterBuiltin(Unary<Asin>, "asin");
    LispRegisterBuiltin(Unary<Acos>, "acos");
    LispRegisterBuiltin(Unary<Tan>, "tan");
    LispRegisterBuiltin(Unary<Atan>, "atan");
    LispRegisterBuiltin(Unary<Log>, "log");
    LispRegisterBuiltin(Unary<Exp>, "exp");
    LispRegisterBuiltin(Unary<Sqrt>, "sqrt");
    LispRegisterBuiltin(Unary<Fabs>, "fabs");
    LispRegisterBuiltin(LispAtan2_, "atan2");
    LispRegisterBuiltin(LispRand_, "rand");
    LispRegisterBuiltin(LispMod_, "mod");
}
