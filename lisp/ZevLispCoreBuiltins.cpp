// The core builtins: pairs and lists, identity and atom tests, definitions, binding, branching, looping, printing,
// evaluation, file loading and leaving the loop. Each receives its argument forms unevaluated.
#include "ZevLisp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Evaluates a taken argument form (an error of the argument routines goes through Eval like a form). False, with
// the error as the result, when the value is an error.
bool EvalArg(TZevLispInterpreter* in, TZevLispRef& v, TZevLispRef& result)
{
    in->Eval(v, v);
    if (LispIsError(v)) {
        result = v;
        return false;
    }
    return true;
}

// The first argument evaluated.
bool First(TZevLispInterpreter* in, const TZevLispRef& list, TZevLispRef& v, TZevLispRef& result)
{
    LispFirstArg(v, list);
    return EvalArg(in, v, result);
}

// The next argument evaluated (advances the list).
bool Next(TZevLispInterpreter* in, TZevLispRef& list, TZevLispRef& v, TZevLispRef& result)
{
    LispPopArg(v, list);
    return EvalArg(in, v, result);
}

bool NoMore(const TZevLispRef& list, TZevLispRef& result)
{
    TZevLispRef check;
    LispCheckNoMoreArgs(check, list);
    if (LispIsError(check)) {
        result = check;
        return false;
    }
    return true;
}

// Two evaluated arguments and the count check.
bool TwoArgs(TZevLispInterpreter* in, TZevLispRef args, TZevLispRef& a, TZevLispRef& b, TZevLispRef& result)
{
    // A list of exactly two forms, the common case, is read in place; any other list goes through the argument
    // routines, which tell what is wrong with it.
    const TZevLispRef *fa, *fb;
    if (LispTwoForms(args, fa, fb)) {
        in->Eval(a, *fa);
        if (LispIsError(a)) {
            result = a;
            return false;
        }
        in->Eval(b, *fb);
        if (LispIsError(b)) {
            result = b;
            return false;
        }
        return true;
    }
    return First(in, args, a, result) && Next(in, args, b, result) && NoMore(args, result);
}

// One evaluated argument and the count check.
bool OneArg(TZevLispInterpreter* in, const TZevLispRef& args, TZevLispRef& a, TZevLispRef& result)
{
    const TZevLispRef* fa;
    if (LispOneForm(args, fa)) {
        in->Eval(a, *fa);
        if (LispIsError(a)) {
            result = a;
            return false;
        }
        return true;
    }
    return First(in, args, a, result) && NoMore(args, result);
}

// Replaces the atom's current value (an atom without one gets one).
void Redefine(TZevAtom* atom, const TZevLispRef& v)
{
    atom->SetValue(v);
}

void LispCons_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a, b;
    if (TwoArgs(in, std::move(args), a, b, result))
        LispConsTaking(result, std::move(a), std::move(b));
}

void LispCar_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a;
    if (OneArg(in, args, a, result))
        LispCar(result, a);
}

void LispCdr_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a;
    if (OneArg(in, args, a, result))
        LispCdr(result, a);
}

void LispAtom_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef check;
    LispCheckNoMoreArgs(check, args);
    if (!EvalArg(in, check, result))
        return;
    TZevLispRef a;
    if (First(in, args, a, result))
        result = LispIsPair(a) ? Nil : T;
}

void LispEq_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a, b;
    if (TwoArgs(in, args, a, b, result))
        result = a == b ? T : Nil;
}

void LispQuote_(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef args)
{
    if (NoMore(args, result))
        LispFirstArg(result, args);
}

void LispBye_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef check;
    LispCheckNoArgs(check, args);
    if (LispIsError(check)) {
        result = check;
        return;
    }
    in->Running = 0;
    result = Nil;
}

void LispExit_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    LispBye_(result, in, std::move(args));
}

// def and setq: a first argument that is not an atom is a form whose value's value names the variable.
void SetVariable(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef a, const TZevLispRef& b)
{
    if (!LispIsAtom(a)) {
        in->Eval(a, a);
        in->Eval(a, a);
        if (!LispIsAtom(a)) {
            LispMakeError(result, "Bad Variable Type!");
            return;
        }
    }
    Redefine(LispAtom(a), b);
    result = a;
}

void LispDef_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a, b;
    if (!TwoArgs(in, args, a, b, result))
        return;
    SetVariable(result, in, std::move(a), b);
}

void LispDefun_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef a, b;
    if (!TwoArgs(in, args, a, b, result))
        return;
    if (!LispIsAtom(a)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    Redefine(LispAtom(a), b);
    result = a;
}

void LispSetq_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    const TZevLispRef *fa, *fb;
    if (LispTwoForms(args, fa, fb) && LispIsAtom(*fa)) {
        // (setq atom form), the common case: the atom stays held by the argument list meanwhile.
        TZevLispRef v;
        in->Eval(v, *fb);
        if (LispIsError(v)) {
            result = std::move(v);
            return;
        }
        LispAtom(*fa)->SetValue(std::move(v));
        result = *fa;
        return;
    }
    TZevLispRef a, b;
    LispFirstArg(a, args);
    if (LispIsError(a)) {
        result = a;
        return;
    }
    if (!Next(in, args, b, result) || !NoMore(args, result))
        return;
    SetVariable(result, in, std::move(a), b);
}

void LispIf_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef c;
    if (LispIsPair(args)) {
        in->Eval(c, LispPair(args)->Car);
        if (LispIsError(c)) {
            result = std::move(c);
            return;
        }
    } else if (!First(in, args, c, result)) {
        return;
    }
    const TZevLispRef& rest = LispPair(args)->Cdr;
    if (!LispIsPair(rest)) {
        LispMakeError(result, "Too Few Argument!");
        return;
    }
    const TZevLispRef& thenForm = LispPair(rest)->Car;
    const TZevLispRef& more = LispPair(rest)->Cdr;
    if (LispIsTrue(c))
        in->Eval(result, thenForm);
    else if (LispIsPair(more))
        in->Eval(result, LispPair(more)->Car);
    else
        result = Nil;
}

void LispLet_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef list;
    LispFirstArg(list, args);
    if (LispIsError(list)) {
        result = list;
        return;
    }
    if (!LispIsPair(list)) {
        LispMakeError(result, "Need List!");
        return;
    }
    // The binding list and the body are parts of the argument list, which is held and never changed: walked in
    // place.
    int n = 0;
    TZevLispRef r;
    for (const TZevLispRef* cell = &list; *cell != Nil; cell = &LispPair(*cell)->Cdr) {
        if (!LispIsPair(*cell) || !LispIsPair(LispPair(*cell)->Car)) {
            LispMakeError(r, "Bad Argument!");
            break;
        }
        TZevPair* binding = LispPair(LispPair(*cell)->Car);
        if (!LispIsPair(binding->Cdr)) {
            LispMakeError(r, "Bad Variable Type!");
            break;
        }
        TZevLispRef v;
        in->Eval(v, LispPair(binding->Cdr)->Car);
        if (LispIsError(v)) {
            r = std::move(v);
            break;
        }
        if (!LispIsAtom(binding->Car)) {
            LispMakeError(r, "Bad Variable Type!");
            break;
        }
        in->Bindings.PushFront(binding->Car);
        LispAtom(binding->Car)->PushValue(std::move(v));
        ++n;
    }
    if (r.IsNull()) {
        for (const TZevLispRef* body = &LispPair(args)->Cdr; *body != Nil; body = &LispPair(*body)->Cdr) {
            if (!LispIsPair(*body)) {
                LispMakeError(r, "Bad Variable Type!");
                break;
            }
            in->Eval(r, LispPair(*body)->Car);
            if (LispIsError(r))
                break;
        }
    }
    in->Unbind(n);
    result = std::move(r);
}

void LispList_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    in->EvalList(result, args, "Not Pair!(Internal Error : in list function)");
}

void LispPrint_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    result = Nil;
    if (!LispIsPair(args))
        return;
    TZevLispRef v;
    in->Eval(v, LispPair(args)->Car);
    v->Print(in);
    in->WriteChars("\n", 1);
    if (LispIsError(v))
        result = v;
}

void LispEval_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    if (!LispIsPair(args)) {
        result = Nil;
        return;
    }
    TZevLispRef v;
    in->Eval(v, LispPair(args)->Car);
    in->Eval(result, v);
}

void LispWhile_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    if (!LispIsPair(args)) {
        LispMakeError(result, "Bad Argument!");
        return;
    }
    // The test and the body are parts of the argument list, which is held and never changed: walked in place.
    const TZevLispRef& test = LispPair(args)->Car;
    const TZevLispRef& forms = LispPair(args)->Cdr;
    TZevLispRef r = Nil;
    TZevLispRef t;
    for (;;) {
        in->Eval(t, test);
        if (LispIsError(t)) {
            result = std::move(t);
            return;
        }
        if (!LispIsTrue(t))
            break;
        for (const TZevLispRef* body = &forms; *body != Nil && *body != NilAtom; body = &LispPair(*body)->Cdr) {
            if (!LispIsPair(*body)) {
                LispMakeError(result, "Bad Variable Type!");
                return;
            }
            in->Eval(r, LispPair(*body)->Car);
            if (LispIsError(r)) {
                result = std::move(r);
                return;
            }
        }
    }
    result = std::move(r);
}

// The whole file, the end marker and a zero byte; null (with the error text) when it cannot be opened or read, or
// holds a zero byte.
char* ReadScriptFile(TZevLispInterpreter* in, const char* name, const char** error)
{
    static const char marker[] = "\" ===== end of file ===== \"";
    TZevFile file;
    bool open = file.Open(name, "rb") != 0;
    for (int i = 0; !open && i < in->SearchPaths.GetCount(); ++i) {
        TZevString path = TZevString(in->SearchPaths.GetAt(i)) + TZevString(name);
        open = file.Open(path.CStr(), "rb") != 0;
    }
    if (!open) {
        *error = "Cannot Open File!";
        return nullptr;
    }
    *error = "Cannot Read File!";
    const std::int32_t size = file.GetFileLength();
    const std::int32_t extra = static_cast<std::int32_t>(sizeof marker); // marker and zero byte
    if (size < 0 || size > INT32_MAX - extra)
        return nullptr;
    char* buffer = static_cast<char*>(ZevAlloc(static_cast<std::size_t>(size) + extra));
    if (!buffer)
        return nullptr;
    // A directory opens like a file but cannot be read: the read of the byte after the end tells.
    char after;
    if ((size > 0 && !file.Read(buffer, size)) || (!file.Read(&after, 1) && std::ferror(file.handle))) {
        ZevFree(buffer);
        return nullptr;
    }
    // The reader stops at a zero byte: the text after it would be dropped without a word.
    if (std::memchr(buffer, 0, static_cast<std::size_t>(size)) != nullptr) {
        ZevFree(buffer);
        *error = "Zero Byte In File!";
        return nullptr;
    }
    std::memcpy(buffer + size, marker, sizeof marker);
    return buffer;
}

void LispLoad_(TZevLispRef& result, TZevLispInterpreter* in, TZevLispRef args)
{
    TZevLispRef name;
    if (!First(in, args, name, result) || !NoMore(args, result))
        return;
    if (!LispIsString(name)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    if (in->LoadDepth >= LispMaxLoadDepth) {
        LispMakeError(result, "Too Deep Recursion!");
        return;
    }
    const char* error = nullptr;
    const char* path = static_cast<TZevLispString*>(name.Get())->Text.CStr();
    char* text = ReadScriptFile(in, path ? path : "", &error);
    if (!text) {
        LispMakeError(result, error);
        return;
    }
    ++in->LoadDepth;
    in->SendCommand(text);
    --in->LoadDepth;
    ZevFree(text);
    result = Nil;
}

} // namespace

void LispRegisterCoreBuiltins()
{
    LispRegisterBuiltin(LispCons_, "cons");
    LispRegisterBuiltin(LispCar_, "car");
    LispRegisterBuiltin(LispCdr_, "cdr");
    LispRegisterBuiltin(LispAtom_, "atom");
    LispRegisterBuiltin(LispEq_, "eq");
    LispRegisterBuiltin(LispQuote_, "quote");
    LispRegisterBuiltin(LispBye_, "bye");
    LispRegisterBuiltin(LispExit_, "exit");
    LispRegisterBuiltin(LispDef_, "def");
    LispRegisterBuiltin(LispDefun_, "defun");
    LispRegisterBuiltin(LispIf_, "if");
    LispRegisterBuiltin(LispLet_, "let");
    LispRegisterBuiltin(LispLet_, "let*");
    LispRegisterBuiltin(LispLoad_, "Load");
    LispRegisterBuiltin(LispLoad_, "load");
    LispRegisterBuiltin(LispSetq_, "setq");
    LispRegisterBuiltin(LispList_, "list");
    LispRegisterBuiltin(LispPrint_, "print");
    LispRegisterBuiltin(LispEval_, "eval");
    LispRegisterBuiltin(LispWhile_, "while");
}
