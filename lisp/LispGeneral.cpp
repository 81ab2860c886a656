#include "LispGeneral.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "LispSaveText.h"
#include "LispStream.h"
#include "LispPlugIn.h"
#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"

#include <cstdio>

namespace {

void PrintString(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "l", &value)) {
        result = interp->ArgError;
        return;
    }
    TZevString text = value.IsNull() ? TZevString("") : value->ToString();
    LispMakeString(result, text.CStr() ? text.CStr() : "");
}

void Strcat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispText text;
    for (TZevLispRef p = args; LispIsPair(p); p = LispPair(p)->Cdr) {
        TZevLispRef value;
        interp->Eval(value, LispPair(p)->Car);
        if (LispIsError(value)) {
            result = value;
            return;
        }
        if (LispIsString(value)) {
            const TZevString& s = static_cast<TZevLispString*>(value.Get())->Text;
            if (s.CStr())
                text.Append(s.CStr());
        }
    }
    TZevString joined = text.TakeString();
    LispMakeString(result, joined.CStr() ? joined.CStr() : "");
}

void PrintHexa(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t value = 0;
    if (!LispParseArgs(interp, &args, "i", &value)) {
        result = interp->ArgError;
        return;
    }
    char text[11];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    result = LispMakeResult(interp, "s", static_cast<const char*>(text));
    if (LispIsString(result))
        static_cast<TZevLispString*>(result.Get())->Quoted = 0;
}

// Binds each key of the association list held by an atom to its value while the body runs, then stores the
// keys' final values back into the atom as a new association list.
void With(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef name;
    LispFirstArg(name, args);
    if (!LispIsAtom(name)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    TZevLispRef alist;
    interp->Eval(alist, name);
    if (LispIsError(alist)) {
        result = alist;
        return;
    }
    if (!LispIsPair(alist)) {
        LispMakeError(result, "Not Assoc List!");
        return;
    }
    int bound = 0;
    TZevLispRef error;
    for (TZevLispRef p = alist; p != Nil; p = LispPair(p)->Cdr) {
        if (!LispIsPair(p) || !LispIsPair(LispPair(p)->Car)) {
            LispMakeError(error, "Bad Argument!");
            break;
        }
        TZevPair* entry = LispPair(LispPair(p)->Car);
        if (!LispIsPair(entry->Cdr)) {
            LispMakeError(error, "Bad Variable Type!");
            break;
        }
        const TZevLispRef& value = LispPair(entry->Cdr)->Car;
        if (LispIsError(value)) {
            error = value;
            break;
        }
        if (!LispIsAtom(entry->Car)) {
            LispMakeError(error, "Bad Variable Type!");
            break;
        }
        interp->Bindings.PushFront(entry->Car);
        LispAtom(entry->Car)->PushValue(value);
        ++bound;
    }
    if (!error.IsNull()) {
        interp->Unbind(bound);
        result = error;
        return;
    }

    TZevLispRef last = Nil;
    for (TZevLispRef body = LispPair(args)->Cdr; body != Nil; body = LispPair(body)->Cdr) {
        if (!LispIsPair(body)) {
            LispMakeError(last, "Bad Argument!");
            break;
        }
        interp->Eval(last, LispPair(body)->Car);
        if (LispIsError(last))
            break;
    }
    if (!LispIsError(last)) {
        // The binding records hold the keys most recent first; pushing each entry on the front puts them back in
        // the order of the list.
        TZevLispRef written = Nil;
        int i = 0;
        for (TZevLispRefList::Node* n = interp->Bindings.First(); i < bound && n != interp->Bindings.End();
             n = n->next, ++i) {
            TZevLispRef value, tail, entry, cell;
            LispAtom(n->value)->GetValue(value);
            LispCons(tail, value, Nil);
            LispCons(entry, n->value, tail);
            LispCons(cell, entry, written);
            written = cell;
        }
        TZevLispRef old;
        LispAtom(name)->PopValue(old);
        LispAtom(name)->PushValue(written);
    }
    interp->Unbind(bound);
    result = last;
}

void Progn(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!LispIsPair(args)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    TZevLispRef last;
    for (TZevLispRef p = args; p != Nil; p = LispPair(p)->Cdr) {
        if (!LispIsPair(p)) {
            LispMakeError(last, "Bad Argument!");
            break;
        }
        interp->Eval(last, LispPair(p)->Car);
        if (LispIsError(last))
            break;
    }
    result = last;
}

void Select(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef list;
    std::int32_t index = 0;
    if (!LispParseArgs(interp, &args, "li", &list, &index)) {
        result = interp->ArgError;
        return;
    }
    result = Nil;
    if (index < 0)
        return;
    TZevLispRef p = list;
    for (; index >= 1 && p != Nil; --index) {
        if (!LispIsPair(p))
            return;
        TZevLispRef next = LispPair(p)->Cdr;
        p = next;
    }
    if (LispIsPair(p))
        result = LispPair(p)->Car;
}

void AddLispPath(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString path;
    if (!LispParseArgs(interp, &args, "s", &path)) {
        result = interp->ArgError;
        return;
    }
    interp->SearchPaths.Add(path);
    result = T;
}

bool OuterPartsRegistered = false;

} // namespace

void LispGeneralInit()
{
    LispRegisterBuiltin(PrintString, "PrintString");
    LispRegisterBuiltin(Strcat, "strcat");
    LispRegisterBuiltin(PrintHexa, "PrintHexa");
    LispRegisterBuiltin(With, "with");
    LispRegisterBuiltin(Progn, "progn");
    LispRegisterBuiltin(Select, "select");
    LispRegisterBuiltin(AddLispPath, "AddLispPath");
}

void LispRegisterOuterParts()
{
    if (OuterPartsRegistered)
        return;
    OuterPartsRegistered = true;
    LispLSObjInit();
    LispStreamInit();
    LispArgsInit();
    LispSaveTextInit();
    LispGeneralInit();
    QLPlugInInit();
}

void LispShutdownOuterParts()
{
    LispStreamFree();
    LispLSObjDrain();
    QLPlugInFree();
}
