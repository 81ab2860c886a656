#include "LispArgs.h"

#include "LispLSObj.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevSaveFile.h"

#include <cstdio>

namespace {

int Fail(TZevLispInterpreter* interp, const TZevLispRef& error)
{
    interp->ArgError = error;
    return 0;
}

int BadArgument(TZevLispInterpreter* interp)
{
    TZevLispRef e;
    LispMakeError(e, "Bad Argument!");
    return Fail(interp, e);
}

// A format whose letters and variables disagree is a fault of the builtin, not of the script: say so in the log.
int FormatMismatch(TZevLispInterpreter* interp, const char* format)
{
    ZevDebugLog("LispParseArgs: the variables do not match the format \"");
    ZevDebugLog(format);
    ZevDebugLog("\"\n");
    return BadArgument(interp);
}

// A new list of the elements of `list` in reverse order.
void Reverse(TZevLispRef& out, const TZevLispRef& list)
{
    TZevLispRef r = Nil;
    for (TZevLispRef p = list; LispIsPair(p); p = LispPair(p)->Cdr) {
        TZevLispRef cell;
        LispCons(cell, LispPair(p)->Car, r);
        r = cell;
    }
    out = r;
}

TZevLispRef UnknownFormat()
{
    TZevLispRef e;
    LispMakeError(e, "Unknown Format!");
    return e;
}

bool OpenNamedFile(TZevLispRef& result, TZevFile& file, const TZevString& name, const char* mode)
{
    if (name.CStr() && file.Open(name.CStr(), mode))
        return true;
    LispMakeError(result, "Cannot Open File!");
    return false;
}

} // namespace

bool LispOpenArgFile(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevFile& file,
                     const char* mode)
{
    TZevString name;
    if (!LispParseArgs(interp, &args, "s", &name)) {
        result = interp->ArgError;
        return false;
    }
    return OpenNamedFile(result, file, name, mode);
}

void LispSaveArgToFile(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, const char* mode,
                       int (*write)(TZevFile& file, TZevLispRef& value))
{
    TZevString name;
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "sl", &name, &value)) {
        result = interp->ArgError;
        return;
    }
    // Written beside the old file, which is replaced only when the whole value was written.
    TZevSaveFile file;
    if (!OpenNamedFile(result, file, name, mode))
        return;
    const int ok = write(file, value) && file.Commit();
    if (!ok) {
        LispMakeError(result, "Cannot Write File!");
        return;
    }
    result = T;
}

int LispParseArgsV(TZevLispInterpreter* interp, const TZevLispRef* args, const char* format,
                   const TZevLispArgOut* outs, int count)
{
    if (!interp || !format)
        return 0;
    TZevLispRef position = args ? *args : Nil;
    TZevLispRef saved = Nil; // chain of the outer positions of the nested lists we are in
    TZevLispRef element;
    int next = 0;
    for (const char* f = format; *f; ++f) {
        const char letter = *f;
        if (LispIsError(position))
            return Fail(interp, position);
        if (!LispIsPair(position)) {
            // This level is used up: only a ")" may follow.
            if (letter != ')' || !LispIsPair(saved))
                return BadArgument(interp);
            TZevLispRef outer = LispPair(saved)->Car;
            TZevLispRef rest = LispPair(saved)->Cdr;
            saved = rest;
            position = LispPair(outer)->Cdr;
            continue;
        }
        element = LispPair(position)->Car;
        if (!LispIsPair(saved)) {
            // Top level: an argument form, evaluated now (and only when its letter is reached).
            TZevLispRef value;
            interp->Eval(value, element);
            if (LispIsError(value))
                return Fail(interp, value);
            element = value;
        }
        if (element.IsNull())
            return BadArgument(interp);

        if (letter == '(') {
            TZevLispRef pushed;
            LispCons(pushed, position, saved);
            saved = pushed;
            position = element;
            continue;
        }
        if (letter != 'i' && letter != 'f' && letter != 's' && letter != 'o' && letter != 'l')
            return BadArgument(interp);
        if (next >= count)
            return FormatMismatch(interp, format);
        const TZevLispArgOut& out = outs[next++];
        switch (letter) {
        case 'i': {
            if (out.Letter != 'i')
                return FormatMismatch(interp, format);
            auto* p = static_cast<std::int32_t*>(out.Ptr);
            if (LispIsInteger(element))
                *p = static_cast<TZevLispInteger*>(element.Get())->Value;
            else if (LispIsFloat(element))
                *p = LispFloatToInt(static_cast<TZevLispFloat*>(element.Get())->Value);
            else
                return BadArgument(interp);
            break;
        }
        case 'f': {
            if (out.Letter != 'f' && out.Letter != 'g')
                return FormatMismatch(interp, format);
            double v;
            if (LispIsInteger(element))
                v = static_cast<TZevLispInteger*>(element.Get())->Value;
            else if (LispIsFloat(element))
                v = static_cast<TZevLispFloat*>(element.Get())->Value;
            else
                return BadArgument(interp);
            if (out.Letter == 'f')
                *static_cast<double*>(out.Ptr) = v;
            else
                *static_cast<float*>(out.Ptr) = static_cast<float>(v);
            break;
        }
        case 's':
            if (out.Letter != 's')
                return FormatMismatch(interp, format);
            if (!LispIsString(element))
                return BadArgument(interp);
            *static_cast<TZevString*>(out.Ptr) = static_cast<TZevLispString*>(element.Get())->Text;
            break;
        case 'o':
            if (out.Letter != 'o')
                return FormatMismatch(interp, format);
            if (!LispIsLSObj(element))
                return BadArgument(interp);
            // The builtin gets the bare object: the wrapper stays held until the builtin returns.
            interp->HeldValues.PushFront(element);
            ++interp->HeldDepth;
            *static_cast<TZevLSObj**>(out.Ptr) = LispLSObj(element)->Object;
            break;
        case 'l':
            if (out.Letter != 'l')
                return FormatMismatch(interp, format);
            *static_cast<TZevLispRef*>(out.Ptr) = element;
            break;
        }
        position = LispPair(position)->Cdr;
    }
    return 1;
}

TZevLispRef LispMakeResultV(TZevLispInterpreter*, const char* format, const TZevLispResultArg* args, int count)
{
    if (!format)
        return UnknownFormat();
    TZevLispRef result = Nil;
    TZevLispRef saved = Nil;
    int next = 0;
    for (const char* f = format; *f; ++f) {
        const char letter = *f;
        TZevLispRef element;
        switch (letter) {
        case '(': {
            TZevLispRef pushed;
            LispCons(pushed, result, saved);
            saved = pushed;
            result = Nil;
            continue;
        }
        case ')': {
            if (!LispIsPair(saved))
                return UnknownFormat();
            TZevLispRef inner;
            Reverse(inner, result);
            TZevLispRef outer = LispPair(saved)->Car;
            TZevLispRef rest = LispPair(saved)->Cdr;
            LispCons(result, inner, outer);
            saved = rest;
            continue;
        }
        case 'i':
        case 'f':
        case 's':
        case 'o':
        case 'l':
            break;
        default:
            return UnknownFormat();
        }
        if (next >= count)
            return UnknownFormat();
        const TZevLispResultArg& a = args[next++];
        switch (letter) {
        case 'i':
            if (a.Kind == 'i')
                LispMakeInteger(element, static_cast<std::int32_t>(static_cast<std::uint32_t>(a.I)));
            else if (a.Kind == 'f')
                LispMakeInteger(element, LispFloatToInt(a.F));
            else
                return UnknownFormat();
            break;
        case 'f':
            if (a.Kind != 'i' && a.Kind != 'f')
                return UnknownFormat();
            LispMakeFloat(element, a.F);
            break;
        case 's':
            if (a.Kind != 's' && a.Kind != 'n')
                return UnknownFormat();
            LispMakeString(element, a.P ? static_cast<const char*>(a.P) : "");
            break;
        case 'o':
            if (a.Kind != 'o' && a.Kind != 'n')
                return UnknownFormat();
            LispMakeLSObj(element, const_cast<TZevLSObj*>(static_cast<const TZevLSObj*>(a.P)));
            break;
        case 'l':
            if (a.Kind != 'l' && a.Kind != 'n')
                return UnknownFormat();
            element = TZevLispRef(const_cast<TZevLispObj*>(static_cast<const TZevLispObj*>(a.P)));
            break;
        }
        TZevLispRef cell;
        LispCons(cell, element, result);
        result = cell;
    }
    // Values left over mean the format and the values disagree.
    if (next != count || LispIsPair(saved))
        return UnknownFormat();
    if (LispIsPair(result) && LispPair(result)->Cdr == Nil)
        return LispPair(result)->Car;
    TZevLispRef ordered;
    Reverse(ordered, result);
    return ordered;
}

// ---- Test builtins of the two functions ------------------------------------------------------------------------

namespace {

std::int32_t TestInteger = 0;

void BadArgumentResult(TZevLispRef& result)
{
    LispMakeError(result, "Bad Argument!");
}

void ArgParseReadFuncTest(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t i = 0;
    double f = 0;
    if (!LispParseArgs(interp, &args, "if", &i, &f))
        return BadArgumentResult(result);
    std::printf("i = %d\n", i);
    std::printf("f = %lf\n", f);
    result = LispMakeResult(interp, "if", i, f);
}

void ArgParseReadFuncTest2(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString s;
    if (!LispParseArgs(interp, &args, "s", &s))
        return BadArgumentResult(result);
    std::printf("i = %s\n", s.CStr() ? s.CStr() : "");
    result = LispMakeResult(interp, "s", s);
}

void ArgParseReadFuncTest3(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t i1 = 0, i2 = 0;
    double f1 = 0, f2 = 0, f3 = 0, f4 = 0;
    if (!LispParseArgs(interp, &args, "i(ffi)ff", &i1, &f1, &f2, &i2, &f3, &f4)) {
        result = interp->ArgError;
        return;
    }
    std::printf("i = %d\n", i1);
    std::printf("f = %lf\n", f1);
    result = LispMakeResult(interp, "if(fif)f", i1, f1, f2, i2, f3, f4);
}

void ArgParseReadFuncTest4(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef a, b;
    if (!LispParseArgs(interp, &args, "ll", &a, &b)) {
        result = interp->ArgError;
        return;
    }
    result = LispMakeResult(interp, "(llll)", a, b, a, b);
}

void SetIntTest(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t i = 0;
    if (!LispParseArgs(interp, &args, "i", &i)) {
        result = interp->ArgError;
        return;
    }
    TestInteger = i;
    result = T;
}

void GetIntTest(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    result = LispMakeResult(interp, "i", TestInteger);
}

} // namespace

void LispArgsInit()
{
    LispRegisterBuiltin(ArgParseReadFuncTest, "ArgParseReadFuncTest");
    LispRegisterBuiltin(ArgParseReadFuncTest2, "ArgParseReadFuncTest2");
    LispRegisterBuiltin(ArgParseReadFuncTest3, "ArgParseReadFuncTest3");
    LispRegisterBuiltin(ArgParseReadFuncTest4, "ArgParseReadFuncTest4");
    LispRegisterBuiltin(SetIntTest, "SetIntTest");
    LispRegisterBuiltin(SetIntTest, "SetIntTest2");
    LispRegisterBuiltin(GetIntTest, "GetIntTest");
    LispRegisterBuiltin(GetIntTest, "GetIntTest2");
}
