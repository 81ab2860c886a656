#include "QLPlugIn.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

const char* const QLPlugInHostName = "PomuLisp.exe";

TZevClassRecord TQLPlugInClassRecord;

TZevLSObj* CreateTQLPlugIn()
{
    return ZevCreateRegistered<TQLPlugIn>(&TQLPlugInClassRecord);
}

static TZevList* PlugInList = nullptr;

TZevList* GetQLPlugInList()
{
    if (!PlugInList)
        PlugInList = new TZevList();
    return PlugInList;
}

TQLPlugIn::TQLPlugIn()
{
    GetQLPlugInList()->Add(this);
}

TQLPlugIn::~TQLPlugIn()
{
    TQLPlugIn::Unload();
    if (PlugInList)
        PlugInList->Remove(this);
}

void* QLPlugInOpenLibrary(const char* name)
{
    if (!name || !*name)
        return nullptr;
    std::string path = name;
    const std::size_t n = path.size();
    if (n >= 4 && strcasecmp(path.c_str() + n - 4, ".dll") == 0)
        path.replace(n - 4, 4, ".so");
    if (path.find('/') == std::string::npos) {
        if (void* module = dlopen(("./" + path).c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
    }
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void QLPlugInCloseLibrary(void* module)
{
    if (module)
        dlclose(module);
}

void* QLPlugInFindEntry(void* module, const char* name)
{
    return module ? dlsym(module, name) : nullptr;
}

bool TQLPlugIn::LoadLibrary(const char* path)
{
    Unload();
    Module = QLPlugInOpenLibrary(path);
    if (!Module)
        return false;
    Init = reinterpret_cast<TQLPlugInInitFunc>(QLPlugInFindEntry(Module, "Init"));
    Final = reinterpret_cast<TQLPlugInFinalFunc>(QLPlugInFindEntry(Module, "Final"));
    About = reinterpret_cast<TQLPlugInAboutFunc>(QLPlugInFindEntry(Module, "About"));
    Call = reinterpret_cast<TQLPlugInCallFunc>(QLPlugInFindEntry(Module, "Call"));
    return true;
}

void TQLPlugIn::Unload()
{
    if (Final) {
        TQLPlugInFinalFunc final = Final;
        Final = nullptr;
        final();
    }
    // The entry points die with the library.
    Init = nullptr;
    About = nullptr;
    Call = nullptr;
    if (Module) {
        void* module = Module;
        Module = nullptr;
        QLPlugInCloseLibrary(module);
    }
}

void UnloadAllQLPlugIns()
{
    if (!PlugInList)
        return;
    // Taken from the list one by one, so a "Final" that ends up destroying another plug-in cannot leave a
    // dangling entry behind.
    while (void* item = PlugInList->PopFront())
        static_cast<TQLPlugIn*>(item)->Unload();
}

// ---- Builtins -----------------------------------------------------------------------------------------------------

namespace {

void LoadQLPlugIn(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString path;
    if (!LispParseArgs(interp, &args, "s", &path)) {
        result = interp->ArgError;
        return;
    }
    auto* plugIn = static_cast<TQLPlugIn*>(CreateObjectByName("TQLPlugIn"));
    if (!plugIn) {
        result = Nil;
        return;
    }
    plugIn->LoadLibrary(path.CStr());
    TZevLispRef wrapper;
    TZevLispLSObj::New(wrapper);
    LispLSObj(wrapper)->AdoptObject(plugIn);
    if (plugIn->Init && plugIn->Init(QLPlugInHostName) != 0) {
        result = wrapper;
        return;
    }
    // Refused or not a plug-in: the wrapper's release unloads and destroys it.
    result = Nil;
}

void QLPlugInCall(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* object = nullptr;
    TZevString text;
    if (!LispParseArgs(interp, &args, "os", &object, &text)) {
        result = interp->ArgError;
        return;
    }
    // Only a plug-in is called through.
    if (!object || object->GetClassRecord() != &TQLPlugInClassRecord) {
        LispMakeError(result, "Bad Argument!");
        return;
    }
    auto* plugIn = static_cast<TQLPlugIn*>(object);
    if (!plugIn->Call) {
        result = Nil;
        return;
    }
    // The reply belongs to the library: copied at once.
    TZevString reply(plugIn->Call(text.CStr() ? text.CStr() : ""));
    if (reply.IsNull()) {
        result = T;
        return;
    }
    result = LispMakeResult(interp, "s", reply);
}

void QLPlugInTest(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    void* module = QLPlugInOpenLibrary("QLPlugIn.dll");
    auto init = reinterpret_cast<TQLPlugInInitFunc>(QLPlugInFindEntry(module, "Init"));
    auto about = reinterpret_cast<TQLPlugInAboutFunc>(QLPlugInFindEntry(module, "About"));
    if (!init || !about) {
        QLPlugInCloseLibrary(module);
        result = Nil;
        return;
    }
    init(QLPlugInHostName);
    TZevString text(about());
    // Released without "Final": this builtin only asks the library who it is.
    QLPlugInCloseLibrary(module);
    result = LispMakeResult(interp, "s", text);
}

} // namespace

void QLPlugInInit()
{
    if (TQLPlugInClassRecord.name)
        return;
    RegisterClassRecord(&TQLPlugInClassRecord, "TQLPlugIn", "TZevStringTree", CreateTQLPlugIn);
    GetQLPlugInList();
    LispRegisterBuiltin(QLPlugInTest, "QLPlugInTest");
    LispRegisterBuiltin(LoadQLPlugIn, "LoadQLPlugIn");
    LispRegisterBuiltin(QLPlugInCall, "QLPlugInCall");
}

void QLPlugInFree()
{
    UnloadAllQLPlugIns();
    delete PlugInList;
    PlugInList = nullptr;
}
