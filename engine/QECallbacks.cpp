#include "QECallbacks.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "QEContext.h"
#include "QEPhOnly.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"
#include "ZevBodyUtil.h"
#include "ZevNameTable.h"

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include "ZevPhysicsSaveLoad.h"

TZevClassRecord TZevGCFuncCFuncLIClassRecord;

namespace {

TZevGCFuncCFuncLI* LiveCarriers = nullptr;

TZevLSObj* CreateTZevGCFuncCFuncLI()
{
    return ZevCreateRegistered<TZevGCFuncCFuncLI>(&TZevGCFuncCFuncLIClassRecord);
}

template <class F> F Resolve(const char* name)
{
    return name ? GetFunctionDictionary()->GetFunction<F>(name) : nullptr;
}

template <class F> const char* NameOf(F function)
{
    return function ? GetFunctionDictionary()->GetName(reinterpret_cast<TZevNameValue>(function)) : nullptr;
}

// A carrier's own functions: its per-step call and its writer and reader in a saved body.
void SetOwnFunctions(TZevGCFuncCFuncLI* carrier);

// The names and user data of a carrier into the host's descriptor: the step function's name always, each other
// name only when that function is set.
void Describe(const TZevGCFuncCFuncLI* carrier, QE_CFunctionDesc* desc)
{
    desc->stepFunction = NameOf(carrier->StepFunction);
    if (carrier->ReleaseFunction)
        desc->releaseFunction = NameOf(carrier->ReleaseFunction);
    if (carrier->LoadFunction)
        desc->loadFunction = NameOf(carrier->LoadFunction);
    if (carrier->SaveFunction)
        desc->saveFunction = NameOf(carrier->SaveFunction);
    desc->userData = carrier->HostData;
}

TZevGCFuncCFuncLI* FirstCarrier(TZevGameChara* body)
{
    for (TZevGameCharaCFuncListItem* item : ZevItems<TZevGameCharaCFuncListItem>(body->CFuncItems)) {
        TZevLSObj* object = item;
        if (object->GetClassRecord() == &TZevGCFuncCFuncLIClassRecord)
            return static_cast<TZevGCFuncCFuncLI*>(object);
    }
    return nullptr;
}

int TZevGCFuncCFuncLI_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevGCFuncCFuncLI_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

void SetOwnFunctions(TZevGCFuncCFuncLI* carrier)
{
    carrier->UserData = carrier;
    carrier->Function = ZevExternGCFuncCFunc;
    carrier->SaveUserData = nullptr;
    carrier->LoadUserData = nullptr;
}

// A saved carrier: the item's own part (with its name), the names of its save, load, step and release functions,
// its body, then what the host's save function writes.
int TZevGCFuncCFuncLI_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    TZevGCFuncCFuncLI* carrier = static_cast<TZevGCFuncCFuncLI*>(static_cast<TZevLSObj*>(object));
    bool ok = ZevSaveCFuncItemPart(table, stream, carrier) != 0;
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(carrier->SaveFunction)) && ok;
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(carrier->LoadFunction)) && ok;
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(carrier->StepFunction)) && ok;
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(carrier->ReleaseFunction)) && ok;
    ok = table->WriteRef(stream, TZevGameChara_SaveFunction, TZevGameChara_LoadFunction, carrier->Body) && ok;
    // The host's bytes follow their count, so that a load hands the host's load function exactly these bytes
    // (and skips them when that function is gone).
    const std::int32_t countAt = stream->Tell();
    ok = ok && WriteInt32(stream, 0);
    if (ok && carrier->SaveFunction) {
        TZevStreamHandle handle(stream, table);
        carrier->SaveFunction(QEBodyHandle(carrier->Body), reinterpret_cast<QE_StreamHandle*>(&handle),
                              carrier->HostData);
        const std::int32_t end = stream->Tell();
        ok = stream->Seek(countAt) && WriteInt32(stream, end - countAt - 4) && stream->Seek(end);
    }
    return ok ? 1 : 0;
}

template <class F> F ReadFunction(TZevStream* stream, bool* ok)
{
    TZevNameValue value = 0;
    *ok = ReadFunctionName(stream, &value) && *ok;
    return reinterpret_cast<F>(value);
}

int TZevGCFuncCFuncLI_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    TZevLSObj* object = CreateObjectByName("TZevGCFuncCFuncLI");
    TZevGCFuncCFuncLI* carrier = dynamic_cast<TZevGCFuncCFuncLI*>(object);
    if (!carrier) {
        if (object)
            object->Release();
        return 0;
    }
    // From here the load owns it: a damaged stream frees it with the rest of the load.
    *slot = static_cast<TZevLSObj*>(carrier);
    ZevNoteLoaded(table, *slot, ZevSavedCFuncItem);
    bool ok = ZevLoadCFuncItemPart(table, stream, carrier) != 0;
    SetOwnFunctions(carrier);
    // Only functions the program registered are found again; a name that is not (any more) leaves the function
    // unset, and its call is skipped.
    carrier->SaveFunction = ReadFunction<QE_BodySaveFunction>(stream, &ok);
    carrier->LoadFunction = ReadFunction<QE_BodyLoadFunction>(stream, &ok);
    carrier->StepFunction = ReadFunction<QE_BodyStepFunction>(stream, &ok);
    carrier->ReleaseFunction = ReadFunction<QE_BodyReleaseFunction>(stream, &ok);
    void* body = nullptr;
    ok = ok && ZevReadRefOfKind(table, stream, ZevSavedGameChara, &body);
    std::int32_t count = 0;
    if (!ok || !ReadInt32(stream, &count) || count < 0 || count > StreamBytesLeft(stream)) {
        carrier->ReleaseFunction = nullptr; // it holds no host data yet
        *slot = nullptr;
        return 0;
    }
    carrier->Body = static_cast<TZevGameChara*>(body);
    if (carrier->LoadFunction) {
        TZevBufferStream bytes(count);
        const std::int32_t at = stream->Tell();
        std::int32_t copied = 0;
        char chunk[256];
        while (copied < count) {
            const std::int32_t n = count - copied < 256 ? count - copied : 256;
            if (!stream->Read(chunk, n) || !bytes.Write(chunk, n))
                break;
            copied += n;
        }
        bytes.Seek(0);
        TZevStreamHandle handle(&bytes, table);
        carrier->HostData = carrier->LoadFunction(QEBodyHandle(carrier->Body),
                                                  reinterpret_cast<QE_StreamHandle*>(&handle));
        stream->Seek(at);
    }
    stream->Seek(stream->Tell() + count);
    return 1;
}

// ---- Builtins ------------------------------------------------------------------------------------------------

// The body of a script value that must wrap a body: an error value when it is no wrapper at all, nil (body
// null) when it is another object, a body gone, or no world is published.
bool TakeBody(TZevLispRef& result, const TZevLispRef& value, TZevGameChara** body)
{
    *body = nullptr;
    if (!LispIsLSObj(value)) {
        LispMakeError(result, "Bad Argument!");
        return false;
    }
    result = Nil;
    if (!QEWorldReady())
        return false;
    *body = QEScriptBody(LispLSObj(value)->Object);
    return *body != nullptr;
}

// TakeBody for the builtins whose arguments are the body and, when `second` is given, one value more.
bool TakeBodyArg(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevLispRef* value,
                 TZevGameChara** body, TZevLispRef* second = nullptr)
{
    const int parsed = second ? LispParseArgs(interp, &args, "ll", value, second)
                              : LispParseArgs(interp, &args, "l", value);
    if (!parsed) {
        result = interp->ArgError;
        return false;
    }
    return TakeBody(result, *value, body);
}

// A body calls its script function with its script value after every step, and the result is kept in its
// wrapper: the body holds the function inside (lambda (%XPhBody) (XPhBodyKeepResult %XPhBody (F %XPhBody))).
constexpr const char* KeptParameter = "%XPhBody";
constexpr const char* KeepBuiltin = "XPhBodyKeepResult";

TZevLispRef List(std::initializer_list<TZevLispRef> items)
{
    TZevLispRef list = Nil;
    for (auto it = std::rbegin(items); it != std::rend(items); ++it) {
        TZevLispRef cell;
        LispCons(cell, *it, list);
        list = cell;
    }
    return list;
}

TZevLispRef Symbol(const char* name)
{
    TZevLispRef atom;
    LispIntern(atom, name);
    return atom;
}

TZevLispRef KeepingFunction(const TZevLispRef& function)
{
    const TZevLispRef p = Symbol(KeptParameter);
    return List({LambdaAtom, List({p}), List({Symbol(KeepBuiltin), p, List({function, p})})});
}

// The n-th element of a list, or the empty handle.
TZevLispRef Nth(TZevLispRef list, int n)
{
    for (; n > 0 && LispIsPair(list); --n)
        list = TZevLispRef(LispPair(list)->Cdr);
    return LispIsPair(list) ? TZevLispRef(LispPair(list)->Car) : TZevLispRef();
}

// The script's own function inside a keeping function (the function itself when it is none).
TZevLispRef KeptFunction(const TZevLispRef& stored)
{
    const TZevLispRef call = Nth(stored, 2);
    if (Nth(stored, 0) != LambdaAtom || Nth(call, 0) != Symbol(KeepBuiltin))
        return stored;
    const TZevLispRef inner = Nth(Nth(call, 2), 0);
    return inner.IsNull() ? stored : inner;
}

// (XPhBodyKeepResult value result): keeps the result in the body's wrapper; returns it.
void XPhBodyKeepResult(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value, kept;
    if (!LispParseArgs(interp, &args, "ll", &value, &kept)) {
        result = interp->ArgError;
        return;
    }
    if (LispIsLSObj(value)) {
        if (TZevLispXPhBody* wrapper = QEScriptBodyWrapper(LispLSObj(value)->Object))
            wrapper->Result = kept;
    }
    result = kept;
}

// (XPhBodySetFunction body function): nil as function clears it.
void XPhBodySetFunction(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value, function;
    TZevGameChara* body;
    if (!TakeBodyArg(result, interp, args, &value, &body, &function))
        return;
    if (function == Nil) {
        body->ScriptFunction.Clear();
        body->ScriptFunctionSet = 0;
    } else {
        body->ScriptWrapper = value;
        body->ScriptFunction = KeepingFunction(function);
        body->ScriptFunctionSet = 1;
    }
    result = T;
}

void XPhBodyGetFunction(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    TZevGameChara* body;
    if (!TakeBodyArg(result, interp, args, &value, &body))
        return;
    result = body->ScriptFunctionSet && !body->ScriptFunction.IsNull() ? KeptFunction(body->ScriptFunction) : Nil;
}

void XPhBodySetData(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value, data;
    TZevGameChara* body;
    if (!TakeBodyArg(result, interp, args, &value, &body, &data))
        return;
    body->ScriptWrapper = value;
    body->ScriptData = data;
    result = T;
}

void XPhBodyGetData(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    TZevGameChara* body;
    if (!TakeBodyArg(result, interp, args, &value, &body))
        return;
    result = body->ScriptData.IsNull() ? Nil : body->ScriptData;
}

void XPhBodyGetFuncResult(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    TZevGameChara* body;
    if (!TakeBodyArg(result, interp, args, &value, &body))
        return;
    TZevLispXPhBody* wrapper = QEScriptBodyWrapper(LispLSObj(value)->Object);
    result = wrapper->Result.IsNull() ? Nil : wrapper->Result;
}

// (QLPlugInXPhBodyCall name body): calls the named function, int function(void* body); t when it was called.
// A script names only functions that the program registered: a library procedure ("<library file> <procedure>")
// answers an error, so that no script text makes the program load a library or call whatever a library exports.
void QLPlugInXPhBodyCall(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString name;
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "sl", &name, &value)) {
        result = interp->ArgError;
        return;
    }
    result = Nil;
    if (value == Nil)
        return;
    TZevGameChara* body;
    if (!TakeBody(result, value, &body))
        return;
    using Call = int (*)(void*);
    const auto function = reinterpret_cast<Call>(GetFunctionDictionary()->GetRegistered(name.CStr()));
    if (function) {
        function(QEBodyHandle(body));
        result = T;
    } else if (name.CStr() && std::strchr(name.CStr(), ' ')) {
        const std::string line =
            std::string("QLPlugInXPhBodyCall: \"") + name.CStr() + "\" is no registered function; not called\n";
        ZevDebugLog(line.c_str());
        LispMakeError(result, "Unregistered Function!");
    }
}

bool Registered = false;

} // namespace

// ---- The carrier ------------------------------------------------------------------------------------------------

TZevGCFuncCFuncLI::TZevGCFuncCFuncLI()
{
    SetOwnFunctions(this);
    NextLive = LiveCarriers;
    if (LiveCarriers)
        LiveCarriers->PrevLive = this;
    LiveCarriers = this;
}

TZevGCFuncCFuncLI::~TZevGCFuncCFuncLI()
{
    if (PrevLive)
        PrevLive->NextLive = NextLive;
    else
        LiveCarriers = NextLive;
    if (NextLive)
        NextLive->PrevLive = PrevLive;
    if (ReleaseFunction)
        ReleaseFunction(QEBodyHandle(Body), HostData);
}

TZevRefWriter TZevGCFuncCFuncLI::GetSaveFunction() const
{
    return TZevGCFuncCFuncLI_SaveFunction;
}

TZevRefReader TZevGCFuncCFuncLI::GetLoadFunction() const
{
    return TZevGCFuncCFuncLI_LoadFunction;
}

bool TZevGCFuncCFuncLI::IsLive(const void* carrier)
{
    if (!carrier)
        return false;
    for (const TZevGCFuncCFuncLI* c = LiveCarriers; c; c = c->NextLive) {
        if (c == carrier)
            return true;
    }
    return false;
}

void ZevExternGCFuncCFunc(TZevGameChara* body, void* user)
{
    // The host may destroy the body, and with it this carrier: nothing of the carrier is touched after the call.
    TZevGCFuncCFuncLI* carrier = static_cast<TZevGCFuncCFuncLI*>(user);
    if (carrier && carrier->StepFunction)
        carrier->StepFunction(QEBodyHandle(body), carrier->HostData);
}

void ZevEngineRegisterCallbacks()
{
    if (Registered)
        return;
    Registered = true;
    RegisterClassRecord(&TZevGCFuncCFuncLIClassRecord, "TZevGCFuncCFuncLI", "TZevGameCharaCFuncListItem",
                        CreateTZevGCFuncCFuncLI);
    ZevRegisterBodyCallback("ZevExternGCFuncCFunc", ZevExternGCFuncCFunc);
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevGCFuncCFuncLI_SaveFunction", TZevGCFuncCFuncLI_SaveFunction);
    d->Add("TZevGCFuncCFuncLI_LoadFunction", TZevGCFuncCFuncLI_LoadFunction);
    ZevRegisterCFuncItemReader(TZevGCFuncCFuncLI_LoadFunction);
    LispRegisterBuiltin(XPhBodySetFunction, "XPhBodySetFunction");
    LispRegisterBuiltin(XPhBodyGetFunction, "XPhBodyGetFunction");
    LispRegisterBuiltin(XPhBodySetData, "XPhBodySetData");
    LispRegisterBuiltin(XPhBodyGetData, "XPhBodyGetData");
    LispRegisterBuiltin(XPhBodyGetFuncResult, "XPhBodyGetFuncResult");
    LispRegisterBuiltin(XPhBodyKeepResult, KeepBuiltin);
    LispRegisterBuiltin(QLPlugInXPhBodyCall, "QLPlugInXPhBodyCall");
}

// ---- Exports ------------------------------------------------------------------------------------------------

extern "C" QE_API QE_CFuncCarrier* QE_XPhBodySetCFunction(QE_XPhBody* handle, const QE_CFunctionDesc* desc)
{
    return QEGuard<QE_CFuncCarrier*>(nullptr, [&]() -> QE_CFuncCarrier* {
        TZevGameChara* body = QEBody(handle);
        if (!body || !desc || !desc->stepFunction)
            return nullptr;
        TZevLSObj* object = CreateObjectByName("TZevGCFuncCFuncLI");
        TZevGCFuncCFuncLI* carrier = dynamic_cast<TZevGCFuncCFuncLI*>(object);
        if (!carrier) {
            if (object)
                object->Release();
            return nullptr;
        }
        carrier->Name = desc->stepFunction;
        carrier->HostData = desc->userData;
        carrier->Body = body;
        carrier->StepFunction = Resolve<QE_BodyStepFunction>(desc->stepFunction);
        carrier->ReleaseFunction = Resolve<QE_BodyReleaseFunction>(desc->releaseFunction);
        carrier->LoadFunction = Resolve<QE_BodyLoadFunction>(desc->loadFunction);
        carrier->SaveFunction = Resolve<QE_BodySaveFunction>(desc->saveFunction);
        // Appended: a body runs its carriers in the order they were attached.
        carrier->Node = body->CFuncItems.Add(carrier);
        return reinterpret_cast<QE_CFuncCarrier*>(carrier);
    });
}

extern "C" QE_API QE_CFuncCarrier* QE_XPhBodyGetCFunction(QE_XPhBody* handle, int which, QE_CFunctionDesc* desc)
{
    return QEGuard<QE_CFuncCarrier*>(nullptr, [&]() -> QE_CFuncCarrier* {
        TZevGameChara* body = QEBody(handle);
        if (!body || !desc || which == 0)
            return nullptr;
        TZevGCFuncCFuncLI* carrier = FirstCarrier(body);
        if (!carrier)
            return nullptr;
        Describe(carrier, desc);
        return reinterpret_cast<QE_CFuncCarrier*>(carrier);
    });
}

extern "C" QE_API QE_CFuncCarrier* QE_XPhBodyGetCFunctionFromCarrierHandle(QE_CFuncCarrier* handle,
                                                                          QE_CFunctionDesc* desc)
{
    return QEGuard<QE_CFuncCarrier*>(nullptr, [&]() -> QE_CFuncCarrier* {
        if (!desc || !TZevGCFuncCFuncLI::IsLive(handle))
            return nullptr;
        TZevGCFuncCFuncLI* carrier = reinterpret_cast<TZevGCFuncCFuncLI*>(handle);
        if (!carrier->StepFunction || !NameOf(carrier->StepFunction))
            return nullptr;
        Describe(carrier, desc);
        return handle;
    });
}

extern "C" QE_API int QE_QLPlugInXPhBodyCall(const char* functionName, void* argument)
{
    return QEGuard(0, [&] {
        if (!argument || !functionName)
            return 0;
        using Call = int (*)(void*);
        Call function = GetFunctionDictionary()->GetFunction<Call>(functionName);
        if (!function)
            return 0;
        function(argument);
        return 1;
    });
}
