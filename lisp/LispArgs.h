// Argument marshalling of builtins by format strings: LispParseArgs evaluates a builtin's argument forms and
// converts each value into a variable of the caller; LispMakeResult turns values of the caller into one script
// value or a list. Letters: i integer, f float, s string, o wrapped engine object, l any value; parentheses
// describe nested lists ("o(fff)", "(fff)(fff)(fff)(fff)").
//
// Both are variadic templates over typed pointers or values, so a format and its variables are checked against
// each other at run time instead of trusting C varargs: a letter whose variable has another kind fails the call.
#pragma once

#include "ZevLispValues.h"

#include <concepts>
#include <cstdint>
#include <type_traits>

class TZevFile;
class TZevLispInterpreter;
class TZevLSObj;

// One out variable of LispParseArgs, tagged with the letter it serves.
struct TZevLispArgOut {
    char Letter; // 'i', 'f', 's', 'o', 'l'; 'g' for a float* that takes an 'f'
    void* Ptr;
};

inline TZevLispArgOut LispArgOut(std::int32_t* p) { return {'i', p}; }
inline TZevLispArgOut LispArgOut(double* p) { return {'f', p}; }
inline TZevLispArgOut LispArgOut(float* p) { return {'g', p}; }
inline TZevLispArgOut LispArgOut(TZevString* p) { return {'s', p}; }
inline TZevLispArgOut LispArgOut(TZevLSObj** p) { return {'o', p}; }
inline TZevLispArgOut LispArgOut(TZevLispRef* p) { return {'l', p}; }

// The parser behind LispParseArgs: `outs` holds `count` variables in format order.
int LispParseArgsV(TZevLispInterpreter* interp, const TZevLispRef* args, const char* format,
                   const TZevLispArgOut* outs, int count);

// Evaluates the argument forms of `args` one by one (elements of nested lists are taken as they are) and stores
// each into the next variable: int32_t* for i, double* (or float*) for f, TZevString* for s, TZevLSObj** for o,
// TZevLispRef* for l. Returns 1 when every letter was satisfied; otherwise 0 with the reason in
// interp->ArgError ("Bad Argument!" or an argument's own error). Arguments beyond the format are not evaluated.
// A wrapper taken by o stays held by the interpreter until the builtin returns.
template <class... Outs> int LispParseArgs(TZevLispInterpreter* interp, const TZevLispRef* args, const char* format,
                                           Outs... outs)
{
    const TZevLispArgOut table[] = {LispArgOut(outs)..., {0, nullptr}};
    return LispParseArgsV(interp, args, format, table, static_cast<int>(sizeof...(Outs)));
}

// One value of LispMakeResult, tagged with its kind.
struct TZevLispResultArg {
    char Kind; // 'i' integer, 'f' floating point, 's' text, 'o' engine object, 'l' script value, 'n' null pointer
    std::int64_t I = 0;
    double F = 0.0;
    const void* P = nullptr;
};

template <std::integral T> TZevLispResultArg LispResultArg(T v)
{
    TZevLispResultArg a{'i'};
    a.I = static_cast<std::int64_t>(v);
    a.F = static_cast<double>(v);
    return a;
}
template <std::floating_point T> TZevLispResultArg LispResultArg(T v)
{
    TZevLispResultArg a{'f'};
    a.F = static_cast<double>(v);
    return a;
}
inline TZevLispResultArg LispResultArg(const char* s)
{
    TZevLispResultArg a{'s'};
    a.P = s;
    return a;
}
inline TZevLispResultArg LispResultArg(const TZevString& s) { return LispResultArg(s.CStr()); }
inline TZevLispResultArg LispResultArg(std::nullptr_t) { return TZevLispResultArg{'n'}; }
inline TZevLispResultArg LispResultArg(const TZevLispRef& v)
{
    TZevLispResultArg a{'l'};
    a.P = v.Get();
    return a;
}
// Script values (for l) and engine objects (for o) are told apart by their class.
template <class T> requires std::derived_from<T, TZevLSObj>
TZevLispResultArg LispResultArg(T* p)
{
    TZevLispResultArg a{'o'};
    if constexpr (std::derived_from<T, TZevLispObj>) {
        a.Kind = 'l';
        a.P = static_cast<const TZevLispObj*>(p);
    } else {
        a.P = static_cast<const TZevLSObj*>(p);
    }
    return a;
}

// The builder behind LispMakeResult.
TZevLispRef LispMakeResultV(TZevLispInterpreter* interp, const char* format, const TZevLispResultArg* args,
                            int count);

// Builds the result of a builtin: one value for a format of one element ("f", "(fff)" gives the list of three
// floats), otherwise the list of the elements in format order. Values: any integer for i, any number for f, a
// text for s, an engine-object pointer for o (wrapped, a reference added), a TZevLispRef or value pointer for l.
// A letter outside the table, or a value of the wrong kind, gives the error "Unknown Format!".
template <class... Values> TZevLispRef LispMakeResult(TZevLispInterpreter* interp, const char* format,
                                                      const Values&... values)
{
    const TZevLispResultArg table[] = {LispResultArg(values)..., TZevLispResultArg{0}};
    return LispMakeResultV(interp, format, table, static_cast<int>(sizeof...(Values)));
}

// Opens `file` by the name that is a builtin's one argument ("s"); false, with the argument error or "Cannot Open
// File!" in `result`, when it cannot be opened.
bool LispOpenArgFile(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevFile& file,
                     const char* mode);

// The body of a builtin (name value) that saves a value: `write` puts the value into the named file; T, or the
// argument error, "Cannot Open File!" or "Cannot Write File!" in `result`. A failed write leaves the old file.
void LispSaveArgToFile(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, const char* mode,
                       int (*write)(TZevFile& file, TZevLispRef& value));

// Registers the test builtins of the two functions.
void LispArgsInit();
