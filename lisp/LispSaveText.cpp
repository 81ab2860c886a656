#include "LispSaveText.h"

#include "LispArgs.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"

#include <cstring>

const char* const LispLoadAtomVariable = "_lisp_LoadAtom_Dummy_Zev_Dont_Define_this";

namespace {

// Longest text value file that "LoadAtom" reads.
constexpr std::int32_t MaxTextFileSize = 64 * 1024 * 1024;

} // namespace

bool LispReadQuotedDatum(TZevLispTextInterpreter* host, const char* text, TZevLispRef& out)
{
    if (!host || !text)
        return false;
    // The host reads through its input and then its pending text: both are put aside for this read.
    TZevBufferStream savedInput;
    savedInput.SetData(host->Input.data, host->Input.size);
    const std::int32_t savedPosition = host->Input.position;
    TZevString savedPending = host->Pending;

    // A number or a string is read as itself; anything else as the datum after a quote character.
    TZevString first;
    std::int32_t position = 0;
    const int kind = LispLex(text, static_cast<std::int32_t>(std::strlen(text)), &position, first);
    const bool self = kind == LispTokenInteger || kind == LispTokenFloat || kind == LispTokenString;
    TZevString quoted = self ? TZevString(text) : TZevString("'") + TZevString(text);
    host->Input.AssignText(quoted.CStr());
    host->Pending = "";
    TZevLispRef form, rest;
    host->Read(form);
    if (self && !form.IsNull() && !LispIsError(form)) {
        // Wrapped as the quote form would be, for the checks below.
        TZevLispRef tail;
        LispCons(tail, form, Nil);
        LispCons(form, LispQuoteFunc, tail);
    }
    if (LispIsPair(form) && !LispIsError(form))
        host->Read(rest);

    host->Input.SetData(savedInput.data, savedInput.size);
    host->Input.position = savedPosition;
    host->Pending = savedPending;

    // Exactly (quote datum), and nothing after it.
    if (!LispIsPair(form) || LispPair(form)->Car != LispQuoteFunc || !rest.IsNull())
        return false;
    const TZevLispRef& tail = LispPair(form)->Cdr;
    if (!LispIsPair(tail) || LispPair(tail)->Cdr != Nil)
        return false;
    const TZevLispRef& datum = LispPair(tail)->Car;
    if (datum.IsNull() || LispIsError(datum))
        return false;
    out = datum;
    return true;
}

namespace {

void SaveAtom(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    LispSaveArgToFile(result, interp, args, "wt", [](TZevFile& file, TZevLispRef& value) {
        TZevString text = value.IsNull() ? TZevString("") : value->ToString();
        return file.WriteText(text.CStr());
    });
}

void LoadAtom(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevFile file;
    if (!LispOpenArgFile(result, interp, args, file, "rt"))
        return;
    const std::int32_t size = file.GetFileLength();
    TZevString text;
    char* buffer = size >= 0 && size <= MaxTextFileSize ? text.GetBuffer(size) : nullptr;
    const bool read = buffer && file.Read(buffer, size) == 1;
    file.Close();
    // A zero byte would end the text early and hide what follows it.
    auto* host = dynamic_cast<TZevLispTextInterpreter*>(interp);
    TZevLispRef datum, variable;
    if (read && std::memchr(buffer, 0, static_cast<std::size_t>(size)) == nullptr)
        LispReadQuotedDatum(host, buffer, datum);
    LispIntern(variable, LispLoadAtomVariable);
    if (datum.IsNull() || !LispIsAtom(variable)) {
        LispMakeError(result, "Cannot Read File!");
        return;
    }
    // Defined as "def" would define it: the current binding is replaced.
    TZevLispRef old;
    LispAtom(variable)->PopValue(old);
    LispAtom(variable)->PushValue(datum);
    result = datum;
}

} // namespace

void LispSaveTextInit()
{
    LispRegisterBuiltin(SaveAtom, "SaveAtom");
    LispRegisterBuiltin(LoadAtom, "LoadAtom");
}
