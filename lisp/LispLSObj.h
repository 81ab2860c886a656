// The script value that holds an engine object (anything derived from TZevLSObj): bodies, joints, frames,
// plug-ins. It owns one reference to the object, prints as "<LSObj " and the object's class name, and carries the
// named functions with which the object is written into and read from a stream of saved values.
#pragma once

#include "ZevLispValues.h"

class TZevLispLSObj : public TZevLispObj {
public:
    // Releases Object. The named functions stay for a value handed out again by New to be set anew.
    void Clear() override;
    // A wrapper handed out again by its pool starts with no object and no named functions, so it can never save
    // an object with the writer of another class.
    void ResetDefaults() override;
    // Nothing without an object; else "<LSObj ", the class name and ">".
    void AppendText(TZevLispText& out) override;

    // Holds `object` instead (adds a reference to it; releases the old one).
    void SetObject(TZevLSObj* object);
    // Holds `object` and takes over the reference its creator had.
    void AdoptObject(TZevLSObj* object);
    // Object's class name is exactly `name` (no test of base classes).
    bool IsClass(const char* name) const;

    TZevLSObj* Object = nullptr;
    // Optional text for printing in place of the "<LSObj " form; nothing in the system sets it.
    TZevString (*PrintFunction)(TZevLispLSObj* self) = nullptr;
    TZevRefReader LoadFunction = nullptr;
    TZevRefWriter SaveFunction = nullptr;

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }
};

inline bool LispIsLSObj(const TZevLispRef& v) { return v.Is(TZevLispLSObj::TypeId); }
inline TZevLispLSObj* LispLSObj(const TZevLispRef& v) { return static_cast<TZevLispLSObj*>(v.Get()); }

// A new wrapper in `out` holding `object` (a reference added) with the given named functions.
void LispMakeLSObj(TZevLispRef& out, TZevLSObj* object, TZevRefReader load = nullptr, TZevRefWriter save = nullptr);

// Whether the class registered under `name` is a script value class (TZevLispObj or one derived from it):
// those are made only by the interpreter, never wrapped as engine objects.
bool LispIsValueClassName(const char* name);

// Registers the wrapper class and the builtins "CreateZevLispObj" and "IsZevLispObj".
void LispLSObjInit();
// Deletes the pooled wrappers (at shutdown).
void LispLSObjDrain();
