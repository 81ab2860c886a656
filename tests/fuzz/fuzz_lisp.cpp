// Script text evaluated on a physics-only world: every form of the input is read and evaluated, its value printed,
// and the world stepped with whatever the script made; then the world starts afresh.
//
// Scripts may loop for ever, so each input gets a budget of builtin calls and a deadline, checked by a trampoline
// put in front of every builtin the dictionary names ("while" also checks it between rounds). Builtins that touch
// the file system or load libraries are kept to one file of the working folder, or refused.
#include "FuzzSupport.h"

#include "ZevLisp.h"
#include "qe.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int BuiltinCallBudget = 20000;
constexpr auto Deadline = std::chrono::milliseconds(500);
// Values larger than this (shared parts counted each time they are printed) are not printed.
constexpr size_t PrintLimit = 20000;

int BudgetLeft = 0;
std::chrono::steady_clock::time_point Started;

bool Spend()
{
    if (--BudgetLeft < 0)
        return false;
    return (BudgetLeft & 63) != 0 || std::chrono::steady_clock::now() - Started < Deadline ||
           (BudgetLeft = 0, false);
}

// ---- Trampolines: one per builtin, each calling the original native after spending the budget ----

constexpr size_t TrampolineCount = 512;
TZevLispBuiltin Originals[TrampolineCount];
int FileArgument[TrampolineCount]; // the argument that names a file, replaced by a fixed name; -1: none

TZevLispRef WithFixedFile(const TZevLispRef& args, int at);

template <size_t I> void Trampoline(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!Spend()) {
        LispMakeError(result, "Fuzz Budget Spent!");
        return;
    }
    if (FileArgument[I] >= 0)
        args = WithFixedFile(args, FileArgument[I]);
    Originals[I](result, interp, std::move(args));
}

template <size_t... I> constexpr auto MakeTrampolines(std::index_sequence<I...>)
{
    return std::array<TZevLispBuiltin, sizeof...(I)>{Trampoline<I>...};
}
constexpr auto Trampolines = MakeTrampolines(std::make_index_sequence<TrampolineCount>());

// ---- Builtins kept to the working folder, or refused ----

void Refused(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    LispMakeError(result, "Not While Fuzzing!");
}

// The argument list with its element `at` replaced by the file name every file builtin is given.
TZevLispRef WithFixedFile(const TZevLispRef& args, int at)
{
    std::vector<TZevLispRef> items;
    for (TZevLispRef p = args; LispIsPair(p); p = LispPair(p)->Cdr)
        items.push_back(LispPair(p)->Car);
    if (at < int(items.size()))
        LispMakeString(items[size_t(at)], "fuzz.file");
    TZevLispRef list = Nil;
    for (size_t i = items.size(); i-- > 0;) {
        TZevLispRef cell;
        LispCons(cell, items[i], list);
        list = cell;
    }
    return list;
}

// "while" tests its budget each round: its test form becomes (FuzzTick test).
size_t WhileSlot = 0;

void FuzzTick(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!Spend()) {
        LispMakeError(result, "Fuzz Budget Spent!");
        return;
    }
    if (!LispIsPair(args)) {
        result = Nil;
        return;
    }
    interp->Eval(result, LispPair(args)->Car);
}

void BudgetedWhile(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!LispIsPair(args)) {
        Originals[WhileSlot](result, interp, std::move(args));
        return;
    }
    TZevLispRef tick, test, form, rest;
    LispIntern(tick, "FuzzTick");
    LispCons(test, LispPair(args)->Car, Nil);
    LispCons(form, tick, test);
    LispCons(rest, form, LispPair(args)->Cdr);
    Originals[WhileSlot](result, interp, rest);
}

// ---- The host: reads and evaluates, and prints what is small enough to print ----

size_t PrintedSize(const TZevLispRef& value)
{
    size_t n = 0;
    std::vector<TZevLispObj*> stack = {value.Get()};
    while (!stack.empty() && n <= PrintLimit) {
        TZevLispObj* v = stack.back();
        stack.pop_back();
        ++n;
        if (v && v->GetClassRecord() == TZevPair::TypeId) {
            stack.push_back(static_cast<TZevPair*>(v)->Cdr.Get());
            stack.push_back(static_cast<TZevPair*>(v)->Car.Get());
        }
    }
    return n;
}

class FuzzHost : public TZevLispTextInterpreter {
public:
    void Write(const TZevString&) override {}
    void WriteChars(const char*, std::int32_t) override {}
    int SendCommand(const char* text) override
    {
        Input.AssignText(text);
        TZevLispRef form, value;
        for (;;) {
            Read(form);
            if (form.IsNull())
                break;
            Eval(value, form);
            if (PrintedSize(value) <= PrintLimit)
                value->Print(this);
        }
        return Running;
    }
};

FuzzHost* Host = nullptr;

// Builtin names: the entries of the target's dictionary.
std::vector<std::string> DictionaryNames()
{
    std::vector<std::string> names;
    std::ifstream in(QE_FUZZ_LISP_DICT);
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"'), close = line.rfind('"');
        if (line.empty() || line[0] == '#' || open == std::string::npos || close <= open)
            continue;
        names.push_back(line.substr(open + 1, close - open - 1));
    }
    return names;
}

void GuardBuiltins()
{
    const std::vector<std::string> names = DictionaryNames();
    if (names.empty()) {
        std::fprintf(stderr, "fuzz_lisp: no builtin names in %s\n", QE_FUZZ_LISP_DICT);
        std::abort();
    }
    struct Special {
        const char* name;
        TZevLispBuiltin native; // null: the argument `fileArgument` names a file, and a fixed name replaces it
        int fileArgument;
    } specials[] = {
        {"load", Refused, 0}, {"Load", Refused, 0}, {"AddLispPath", Refused, 0}, {"AddXPhObjectPath", Refused, 0},
        {"LoadQLPlugIn", Refused, 0}, {"QLPlugInCall", Refused, 0}, {"QLPlugInTest", Refused, 0},
        {"QLPlugInXPhBodyCall", Refused, 0}, {"SaveAtom", nullptr, 0}, {"LoadAtom", nullptr, 0},
        {"SaveLispObject", nullptr, 0}, {"LoadLispObject", nullptr, 0}, {"XPhObjSaveLoadTest", nullptr, 1},
    };
    size_t slot = 0;
    for (const std::string& name : names) {
        TZevLispRef found;
        LispFindBuiltin(found, name.c_str());
        if (!LispIsFunc(found))
            continue; // special words of the dictionary ("lambda", "cond") and names no longer registered
        auto* fn = static_cast<TZevLispFunc*>(found.Get());
        if (slot == TrampolineCount) {
            std::fprintf(stderr, "fuzz_lisp: more builtins than trampolines\n");
            std::abort();
        }
        Originals[slot] = fn->Native;
        fn->Native = Trampolines[slot];
        FileArgument[slot] = -1;
        for (const Special& s : specials) {
            if (name != s.name)
                continue;
            if (s.native)
                fn->Native = s.native;
            else
                FileArgument[slot] = s.fileArgument;
        }
        if (name == "while") {
            WhileSlot = slot;
            fn->Native = BudgetedWhile;
        }
        ++slot;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInit();
    LispRegisterBuiltin(FuzzTick, "FuzzTick");
    Host = FuzzStartHost<FuzzHost>();
    Host->SendCommand("(AddXPhObjectPath \"" QE_DATA_DIR "/\") (AddXPhObjectPath \"" QE_DATA_DIR "/objects/\")");
    GuardBuiltins();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    BudgetLeft = BuiltinCallBudget;
    Started = std::chrono::steady_clock::now();
    Host->Running = 1;
    Host->SendCommand(text.c_str());
    // Bodies' script functions run in the steps, on the same budget.
    for (int i = 0; i < 3; ++i)
        QE_PhOnlyStep();
    QE_PhOnlyFinal();
    QE_PhOnlyInit();
    FuzzInputDone();
    return 0;
}
