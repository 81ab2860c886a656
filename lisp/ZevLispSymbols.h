// The symbol table (256 buckets by byte sum), the global atoms, builtin registration, dynamic binding helpers and
// the argument routines of builtins.
#pragma once

#include "ZevLispValues.h"

// Nil: the empty list and false (an unquoted string "nil"). The atoms nil, t, ".", ")", lambda and cond.
extern TZevLispRef Nil;
extern TZevLispRef NilAtom;
extern TZevLispRef T;
extern TZevLispRef DotAtom;
extern TZevLispRef CloseAtom;
extern TZevLispRef LambdaAtom;
extern TZevLispRef CondAtom;
// Builtins the reader and the evaluator recognise.
extern TZevLispRef LispQuoteFunc;
extern TZevLispRef LispDefFunc;
extern TZevLispRef LispDefunFunc;
extern TZevLispRef LispIfFunc;

// Builds the 256 empty buckets (once).
void LispSymbolTableInit();
// Releases the global values, empties every atom's bindings and destroys the buckets (at shutdown).
void LispSymbolTableFree();

// The atom or builtin named `name`; a new atom without value when there is none.
void LispIntern(TZevLispRef& out, const TZevString& name);
void LispIntern(TZevLispRef& out, const char* name);
// As LispIntern; a new atom gets its own name (an unquoted string) as its value.
void LispInternWithSelfValue(TZevLispRef& out, const char* name);
// Enters a builtin (no duplicate check). Called from the registration functions only.
void LispRegisterBuiltin(TZevLispBuiltin native, const char* name);
// The builtin named `name`, else nil.
void LispFindBuiltin(TZevLispRef& out, const char* name);
// Calls `visit` with the name of every registered builtin, bucket by bucket (the reference page is made from it).
void LispForEachBuiltin(void (*visit)(const char* name, void* user), void* user);
// Makes the global atoms that do not exist yet (the interpreter's Init).
void LispMakeGlobalAtoms();

// Free forms of the atom value operations.
void LispPushValue(TZevAtom* atom, const TZevLispRef& v);
void LispPopValue(TZevAtom* atom, TZevLispRef& out);

// ---- Argument routines of builtins -----------------------------------------------------------------------------

// The forms of an argument list of exactly one (two) forms that ends in Nil, in place in the list; false for any
// other list, whose errors the routines below tell. The list must stay held while the forms are used.
inline bool LispOneForm(const TZevLispRef& list, const TZevLispRef*& a)
{
    if (!LispIsPair(list))
        return false;
    const TZevPair* p = LispPair(list);
    if (p->Cdr != Nil)
        return false;
    a = &p->Car;
    return true;
}

inline bool LispTwoForms(const TZevLispRef& list, const TZevLispRef*& a, const TZevLispRef*& b)
{
    if (!LispIsPair(list))
        return false;
    const TZevPair* p = LispPair(list);
    if (!LispIsPair(p->Cdr))
        return false;
    const TZevPair* q = LispPair(p->Cdr);
    if (q->Cdr != Nil)
        return false;
    a = &p->Car;
    b = &q->Car;
    return true;
}

// The car of the list; "Too Few Arguments!" when the list is nil (or not a list).
void LispFirstArg(TZevLispRef& out, const TZevLispRef& list);
// Advances the list to its cdr, then its car; "Too Few Arguments!" when nothing is left.
void LispPopArg(TZevLispRef& out, TZevLispRef& list);
// Nil when nothing follows the argument at hand, else "Too Many Arguments!".
void LispCheckNoMoreArgs(TZevLispRef& out, const TZevLispRef& list);
// Nil for an empty argument list, else "Too Many Arguments!".
void LispCheckNoArgs(TZevLispRef& out, const TZevLispRef& list);
