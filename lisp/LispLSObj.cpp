#include "LispLSObj.h"

#include "LispArgs.h"
#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"

#include <cstring>

TZevLispClass TZevLispLSObj::Class{};
TZevClassRecord* TZevLispLSObj::TypeId = nullptr;

void TZevLispLSObj::Clear()
{
    if (TZevLSObj* object = Object) {
        Object = nullptr;
        object->Release();
    }
}

void TZevLispLSObj::ResetDefaults()
{
    Object = nullptr;
    PrintFunction = nullptr;
    LoadFunction = nullptr;
    SaveFunction = nullptr;
}

void TZevLispLSObj::AppendText(TZevLispText& out)
{
    if (PrintFunction) {
        TZevString text = PrintFunction(this);
        if (text.CStr())
            out.Append(text.CStr());
        return;
    }
    if (!Object)
        return;
    out.Append("<LSObj ");
    if (const char* name = Object->GetClassRecordName())
        out.Append(name);
    out.Append(">");
}

void TZevLispLSObj::SetObject(TZevLSObj* object)
{
    if (object)
        object->AddRef();
    TZevLSObj* old = Object;
    Object = object;
    if (old)
        old->Release();
}

void TZevLispLSObj::AdoptObject(TZevLSObj* object)
{
    TZevLSObj* old = Object;
    Object = object;
    if (old)
        old->Release();
}

bool TZevLispLSObj::IsClass(const char* name) const
{
    const char* own = Object ? Object->GetClassRecordName() : nullptr;
    return own && name && std::strcmp(own, name) == 0;
}

void LispMakeLSObj(TZevLispRef& out, TZevLSObj* object, TZevRefReader load, TZevRefWriter save)
{
    TZevLispRef v;
    TZevLispLSObj::New(v);
    TZevLispLSObj* w = LispLSObj(v);
    w->SetObject(object);
    w->LoadFunction = load;
    w->SaveFunction = save;
    out = v;
}

bool LispIsValueClassName(const char* name)
{
    // Parent names are texts, so the chain is walked by name; a bound keeps a registry with a loop finite.
    for (int depth = 0; name && depth < 64; ++depth) {
        if (std::strcmp(name, "TZevLispObj") == 0)
            return true;
        const TZevClassRecord* record = FindClassRecord(name);
        name = record ? record->parentName : nullptr;
    }
    return false;
}

namespace {

void IsZevLispObj(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* object = nullptr;
    TZevString name;
    if (!LispParseArgs(interp, &args, "os", &object, &name)) {
        result = interp->ArgError;
        return;
    }
    const char* own = object ? object->GetClassRecordName() : nullptr;
    result = own && TZevString(own) == name ? T : Nil;
}

void CreateZevLispObj(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef form;
    LispFirstArg(form, args);
    TZevLispRef value;
    interp->Eval(value, form);
    if (LispIsError(value)) {
        result = value;
        return;
    }
    TZevLispRef check;
    LispCheckNoMoreArgs(check, args);
    if (LispIsError(check)) {
        result = check;
        return;
    }
    if (!LispIsString(value)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    const char* name = static_cast<TZevLispString*>(value.Get())->Text.CStr();
    TZevLispRef w;
    TZevLispLSObj::New(w);
    if (name && !LispIsValueClassName(name))
        LispLSObj(w)->AdoptObject(CreateObjectByName(name));
    result = w;
}

} // namespace

void LispLSObjInit()
{
    if (TZevLispLSObj::TypeId)
        return;
    LispRegisterValueClass(&TZevLispLSObj::Class, "TZevLispLSObj",
                           [] { return ZevCreateRegistered<TZevLispLSObj>(&TZevLispLSObj::Class.Record); });
    TZevLispLSObj::TypeId = &TZevLispLSObj::Class.Record;
    LispRegisterBuiltin(CreateZevLispObj, "CreateZevLispObj");
    LispRegisterBuiltin(IsZevLispObj, "IsZevLispObj");
}

void LispLSObjDrain()
{
    LispDrainValueClass(&TZevLispLSObj::Class);
}
