#include "LispPlugIn.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"

#include "ZevSharedLibrary.h"

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

namespace {

// A library named by a script is looked for in the working folder first, as the Windows loader does.
void* OpenPlugInLibrary(const char* name)
{
    return ZevOpenSharedLibrary(name, TZevLibrarySearch::WorkingFolderFirst);
}

} // namespace

bool TQLPlugIn::LoadLibrary(const char* path)
{
    Unload();
    Module = OpenPlugInLibrary(path);
    if (!Module)
        return false;
    Init = reinterpret_cast<TQLPlugInInitFunc>(ZevFindLibrarySymbol(Module, "Init"));
    Final = reinterpret_cast<TQLPlugInFinalFunc>(ZevFindLibrarySymbol(Module, "Final"));
    About = reinterpret_cast<TQLPlugInAboutFunc>(ZevFindLibrarySymbol(Module, "About"));
    Call = reinterpret_cast<TQLPlugInCallFunc>(ZevFindLibrarySymbol(Module, "Call"));
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
        ZevCloseSharedLibrary(module);
    }
}

void UnloadAllQLPlugIns()
{
    if (!PlugInList)
        return;
    // Taken from the list one by one, so a "Final" that ends up destroying another plug-in cannot leave a
    // dangling entry behind.
    while (TQLPlugIn* plugIn = ZevPopItem<TQLPlugIn>(*PlugInList))
        plugIn->Unload();
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
    void* module = OpenPlugInLibrary("QLPlugIn.dll");
    auto init = reinterpret_cast<TQLPlugInInitFunc>(ZevFindLibrarySymbol(module, "Init"));
    auto about = reinterpret_cast<TQLPlugInAboutFunc>(ZevFindLibrarySymbol(module, "About"));
    if (!init || !about) {
        ZevCloseSharedLibrary(module);
        result = Nil;
        return;
    }
    init(QLPlugInHostName);
    TZevString text(about());
    // Released without "Final": this builtin only asks the library who it is.
    ZevCloseSharedLibrary(module);
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
