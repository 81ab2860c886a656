// The value kinds of the scripting language and the small constructors every other part of the interpreter uses.
#pragma once

#include "ZevLispObj.h"

#include <cstdint>

class TZevLispInterpreter;

// Native function of a builtin: result out, the calling interpreter, the argument forms (unevaluated; the
// builtin owns this handle).
typedef void (*TZevLispBuiltin)(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args);

// An error value: its message lines, then one context line per level of evaluation it passed.
class TZevLispError : public TZevLispObj {
public:
    void Clear() override { Message.Clear(); }
    void ResetDefaults() override { Message.Clear(); }
    void AppendText(TZevLispText& out) override;

    TZevStringList Message;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }
};

class TZevPair : public TZevLispObj {
public:
    static void* operator new(std::size_t size) { return LispSlabAlloc(&Slabs, size); }
    static void operator delete(void* p) noexcept { LispSlabFree(&Slabs, p); }
    static TZevLispSlabs Slabs;
    void Clear() override;
    void ResetDefaults() override { Marked = false; }

    TZevLispRef Car;
    TZevLispRef Cdr;
    bool Marked = false; // set while the printer is inside this pair (finds cycles)

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewPooledValue<TZevPair>(out); }
};

// A symbol: its name and its stack of values. The current value is kept in the atom itself, so that reading or
// replacing it (the most of what scripts do with variables) touches no node of the stack; the values it hides
// (outer bindings) wait in Shadowed, the most recent first.
class TZevAtom : public TZevLispObj {
public:
    void Clear() override { ClearValues(); }
    void ResetDefaults() override { Name = TZevString(); }
    void AppendText(TZevLispText& out) override;

    void SetName(const TZevString& name) { Name = name; }
    // The current value, or the empty handle when the atom has none.
    void GetValue(TZevLispRef& out) const
    {
        if (Bound)
            out = Top;
        else
            out.Clear();
    }
    const TZevLispRef* ValuePtr() const { return Bound ? &Top : nullptr; }
    bool HasValue() const { return Bound; }
    void PushValue(const TZevLispRef& v)
    {
        if (Bound)
            Shadowed.PushFront(Top);
        Top = v;
        Bound = true;
    }
    void PushValue(TZevLispRef&& v)
    {
        if (Bound)
            Shadowed.PushFront(Top);
        Top = std::move(v);
        Bound = true;
    }
    // The popped value; nil when the stack was empty.
    void PopValue(TZevLispRef& out);
    // Replaces the current value (an atom without one gets one): a pop and a push in one.
    void SetValue(const TZevLispRef& v)
    {
        Top = v;
        Bound = true;
    }
    void SetValue(TZevLispRef&& v)
    {
        Top = std::move(v);
        Bound = true;
    }
    // Drops every value, the current one first.
    void ClearValues();

    TZevString Name;

private:
    TZevLispRef Top;         // the current value, while Bound
    TZevLispRefList Shadowed; // the values below it
    bool Bound = false;

public:
    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }
};

// A builtin function value.
class TZevLispFunc : public TZevLispObj {
public:
    void ResetDefaults() override
    {
        Name = TZevString();
        Native = nullptr;
    }
    void AppendText(TZevLispText& out) override;

    // Runs the builtin on its (unevaluated) argument list; held values it leaves behind are released after.
    void Call(TZevLispRef& result, TZevLispInterpreter* interp, const TZevLispRef& args);

    TZevString Name;
    TZevLispBuiltin Native = nullptr;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }
};

class TZevLispString : public TZevLispObj {
public:
    void ResetDefaults() override
    {
        Quoted = 1;
        Text = TZevString();
    }
    void AppendText(TZevLispText& out) override;

    std::int32_t Quoted = 1; // 0: prints without its double quotes
    TZevString Text;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }
};

class TZevLispInteger : public TZevLispObj {
public:
    static void* operator new(std::size_t size) { return LispSlabAlloc(&Slabs, size); }
    static void operator delete(void* p) noexcept { LispSlabFree(&Slabs, p); }
    static TZevLispSlabs Slabs;
    void ResetDefaults() override { Value = 0; }
    void AppendText(TZevLispText& out) override;

    std::int32_t Value = 0;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewPooledValue<TZevLispInteger>(out); }
};

class TZevLispFloat : public TZevLispObj {
public:
    static void* operator new(std::size_t size) { return LispSlabAlloc(&Slabs, size); }
    static void operator delete(void* p) noexcept { LispSlabFree(&Slabs, p); }
    static TZevLispSlabs Slabs;
    void ResetDefaults() override { Value = 0.0; }
    void AppendText(TZevLispText& out) override;

    double Value = 0.0;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewPooledValue<TZevLispFloat>(out); }
};

// Registers the eight value classes in their fixed order and builds their pools.
void LispRegisterValueClasses();
// Deletes the pooled values of the eight classes (at shutdown).
void LispDrainValueClasses();

// ---- Type tests and accessors (null-safe) ----------------------------------------------------------------------

inline bool LispIsPair(const TZevLispRef& v) { return v.Is(TZevPair::TypeId); }
inline bool LispIsAtom(const TZevLispRef& v) { return v.Is(TZevAtom::TypeId); }
inline bool LispIsError(const TZevLispRef& v) { return v.Is(TZevLispError::TypeId); }
inline bool LispIsString(const TZevLispRef& v) { return v.Is(TZevLispString::TypeId); }
inline bool LispIsInteger(const TZevLispRef& v) { return v.Is(TZevLispInteger::TypeId); }
inline bool LispIsFloat(const TZevLispRef& v) { return v.Is(TZevLispFloat::TypeId); }
inline bool LispIsFunc(const TZevLispRef& v) { return v.Is(TZevLispFunc::TypeId); }

inline TZevPair* LispPair(const TZevLispRef& v) { return static_cast<TZevPair*>(v.Get()); }
inline TZevAtom* LispAtom(const TZevLispRef& v) { return static_cast<TZevAtom*>(v.Get()); }

// ---- Constructors -------------------------------------------------------------------------------------------------

// An error whose message is the text (a text with CR or LF gives several lines).
void LispMakeError(TZevLispRef& out, const char* text);
void LispMakeError(TZevLispRef& out, const TZevString& text);
void LispCons(TZevLispRef& out, const TZevLispRef& car, const TZevLispRef& cdr);
// LispCons that takes over the handles given (no count is added and dropped again).
void LispConsTaking(TZevLispRef& out, TZevLispRef&& car, TZevLispRef&& cdr);
void LispConsTaking(TZevLispRef& out, TZevLispRef&& car, const TZevLispRef& cdr);
// The car / cdr of a pair; "Bad Variable Type!" for anything else.
void LispCar(TZevLispRef& out, const TZevLispRef& v);
void LispCdr(TZevLispRef& out, const TZevLispRef& v);
// False for nil and the atom nil; true for everything else (0, "", errors included).
bool LispIsTrue(const TZevLispRef& v);

void LispMakeInteger(TZevLispRef& out, std::int32_t value);
void LispMakeFloat(TZevLispRef& out, double value);
// A string value (quoted flag 1 unless given).
void LispMakeString(TZevLispRef& out, const char* text, std::int32_t quoted = 1);

// Float to 32-bit integer, truncating toward zero; NaN gives 0 and values beyond the range the nearest end.
std::int32_t LispFloatToInt(double v);
