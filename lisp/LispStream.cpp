#include "LispStream.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"
#include "ZevNameTable.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

TZevLispRefList* LispLoadHoldList = nullptr;
void (*LispLoadEndHook)(int ok) = nullptr;
bool (*LispWrapperReaderRefused)(std::uintptr_t reader) = nullptr;

namespace {

// Nesting of values inside values (cars of cars, wrapped objects) that a save writes; deeper values could not
// be read back, since reading follows the same nesting.
constexpr int MaxSaveNesting = TZevObjectIdTable::MaxNesting / 2;
int SaveNesting = 0;
// Loads in progress: the hold list is released when the outermost one ends.
int LoadNesting = 0;
// Ids of everything the current load read for the first time. A failed load releases what it made, so these ids
// are then made to lead nowhere: the id table may serve further loads, whose references must not revive a value
// that went back to its pool, or reach an engine object that was destroyed.
std::vector<std::uint32_t> LoadedIds;

// The value classes, by their class records.
bool IsValueClass(const TZevClassRecord* r)
{
    return r && (r == TZevLispObj::TypeId || r == TZevLispError::TypeId || r == TZevPair::TypeId ||
                 r == TZevAtom::TypeId || r == TZevLispFunc::TypeId || r == TZevLispString::TypeId ||
                 r == TZevLispInteger::TypeId || r == TZevLispFloat::TypeId || r == TZevLispLSObj::TypeId);
}

void Hold(const TZevLispRef& v)
{
    if (LispLoadHoldList)
        LispLoadHoldList->PushBack(v);
}

// A new value of a class, stored into the stream's slot and held until the load ends.
template <class V> V* NewLoaded(void** slot)
{
    TZevLispRef v;
    V::New(v);
    Hold(v);
    *slot = v.Get();
    return static_cast<V*>(v.Get());
}

// Peeks at the next reference record: its size and id (a null object read for a non-zero id means the record was
// damaged) and, for a first occurrence in this table, the reader it names (0 when it names none).
bool PeekRecord(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t* size, std::uint32_t* id,
                TZevNameValue* reader)
{
    const std::int32_t at = stream->Tell();
    bool ok = ReadUInt32(stream, size) && ReadUInt32(stream, id);
    *reader = 0;
    // An id met before is of the kind its reader made; a new one names its reader.
    if (ok && *id != 0) {
        if (const TZevObjectIdRecord* known = table->Find(*id))
            *reader = reinterpret_cast<TZevNameValue>(known->reader);
        else if (*size > 8)
            ok = ReadStreamFunctionName(stream, reader);
    }
    stream->Seek(at);
    return ok;
}

// The stream function dictionary holds readers and writers alike; a damaged stream may name any of them, and
// calling a writer (or another kind's reader) as this reader would be undefined. So every record is checked for
// the kind of reader its place allows before the object stream calls it.
bool IsValueReader(TZevNameValue reader);
// Named functions of engine objects follow the convention "<class>_LoadFunction" / "<class>_SaveFunction" (or
// "<kind>_LF" / "<kind>_SF"). A reader a wrapper may keep is one named so (giving the name of its save function),
// not a value kind's reader, and not refused by LispWrapperReaderRefused.
bool IsWrapperReader(TZevNameValue reader, std::string* saveName);
bool IsWriterNamed(TZevNameValue writer, const std::string& saveName);

// ---- Writers ----

int SaveString(TZevObjectIdTable*, TZevStream* stream, void* value)
{
    auto* s = static_cast<TZevLispString*>(value);
    return WriteString(stream, s->Text) && WriteInt32(stream, s->Quoted) ? 1 : 0;
}

// Atoms and functions: their names.
int SaveName(TZevObjectIdTable*, TZevStream* stream, void* value)
{
    auto* v = static_cast<TZevLispObj*>(value);
    const TZevString& name = v->GetClassRecord() == TZevAtom::TypeId ? static_cast<TZevAtom*>(v)->Name
                                                                      : static_cast<TZevLispFunc*>(v)->Name;
    return WriteString(stream, name) ? 1 : 0;
}

int SaveInteger(TZevObjectIdTable*, TZevStream* stream, void* value)
{
    return WriteInt32(stream, static_cast<TZevLispInteger*>(value)->Value) ? 1 : 0;
}

int SaveFloat(TZevObjectIdTable*, TZevStream* stream, void* value)
{
    unsigned char bytes[8];
    std::memcpy(bytes, &static_cast<TZevLispFloat*>(value)->Value, 8);
    return stream->Write(bytes, 8) == 1 ? 1 : 0;
}

int SaveErrorValue(TZevObjectIdTable*, TZevStream* stream, void* value)
{
    TZevString text;
    static_cast<TZevLispError*>(value)->Message.GetText(text);
    return WriteString(stream, text) ? 1 : 0;
}

int SaveLSObj(TZevObjectIdTable* table, TZevStream* stream, void* value)
{
    auto* w = static_cast<TZevLispLSObj*>(value);
    // Without both named functions the object cannot be written or found again: it is saved as null.
    TZevLSObj* object = w->SaveFunction && w->LoadFunction ? w->Object : nullptr;
    int ok = table->WriteRef(stream, w->SaveFunction, w->LoadFunction, object);
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(w->LoadFunction)) && ok;
    ok = WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(w->SaveFunction)) && ok;
    return ok ? 1 : 0;
}

int SaveNothing(TZevObjectIdTable*, TZevStream*, void*)
{
    return 1;
}

// The car of a pair only: the cdr chain is written by LispSaveValue's loop, which keeps long lists off the
// machine stack.
int SavePairCar(TZevObjectIdTable* table, TZevStream* stream, void* value)
{
    return LispSaveValue(table, stream, &static_cast<TZevPair*>(value)->Car);
}

// ---- Readers ----

int LoadString(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    TZevString text;
    std::int32_t quoted = 1;
    if (!ReadString(stream, &text) || !ReadInt32(stream, &quoted))
        return 0;
    TZevLispString* s = NewLoaded<TZevLispString>(slot);
    s->Text = text;
    s->Quoted = quoted;
    return 1;
}

int LoadInteger(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    std::int32_t value = 0;
    if (!ReadInt32(stream, &value))
        return 0;
    NewLoaded<TZevLispInteger>(slot)->Value = value;
    return 1;
}

int LoadFloat(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    unsigned char bytes[8];
    if (stream->Read(bytes, 8) != 1)
        return 0;
    double value;
    std::memcpy(&value, bytes, 8);
    NewLoaded<TZevLispFloat>(slot)->Value = value;
    return 1;
}

int LoadErrorValue(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    TZevString text;
    if (!ReadString(stream, &text))
        return 0;
    TZevLispError* e = NewLoaded<TZevLispError>(slot);
    e->Message.Clear();
    e->Message.AddText(text);
    return 1;
}

int LoadInterned(TZevStream* stream, void** slot, bool nilRule)
{
    TZevString name;
    if (!ReadString(stream, &name))
        return 0;
    TZevLispRef v;
    LispIntern(v, name);
    // The atom nil stands for nil itself.
    if (nilRule && v == NilAtom)
        v = Nil;
    if (v.IsNull())
        return 0;
    Hold(v);
    *slot = v.Get();
    return 1;
}

int LoadAtom(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    return LoadInterned(stream, slot, true);
}

int LoadFunc(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    return LoadInterned(stream, slot, false);
}

int LoadLSObj(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    TZevLispLSObj* w = NewLoaded<TZevLispLSObj>(slot);
    std::uint32_t size = 0, id = 0;
    TZevNameValue reader = 0;
    std::string saveName;
    if (!PeekRecord(table, stream, &size, &id, &reader))
        return 0;
    // The object's reader must be an engine object's load function, and one whose objects may stand alone.
    if (reader && !IsWrapperReader(reader, &saveName))
        return 0;
    if (size > 8 && id != 0)
        LoadedIds.push_back(id);
    auto* object = static_cast<TZevLSObj*>(table->ReadRef(stream));
    // An object met again while it is still being read (the wrapper of a body whose own script value, read inside
    // the body, refers back to it) has no object yet: the value holds none, as a value saved without one does.
    if (id != 0 && !object && !(size == 8 && table->Find(id) != nullptr))
        return 0;
    // A script value is never an engine object.
    if (object && LispIsValueObject(object))
        return 0;
    // A first occurrence hands over the reader's reference; an object met again gets one of its own.
    if (object && size == 8)
        w->SetObject(object);
    else
        w->AdoptObject(object);
    TZevNameValue load = 0, save = 0;
    if (!ReadStreamFunctionName(stream, &load) || !ReadStreamFunctionName(stream, &save))
        return 0;
    // Kept to be called later (save calls the writer): a load function, and the save function of the same name.
    if ((reader && load != reader) || (load && !IsWrapperReader(load, &saveName)) ||
        (save && (!load || !IsWriterNamed(save, saveName))))
        return 0;
    w->LoadFunction = reinterpret_cast<TZevRefReader>(load);
    w->SaveFunction = reinterpret_cast<TZevRefWriter>(save);
    return 1;
}

int LoadNothing(TZevObjectIdTable*, TZevStream*, void** slot)
{
    *slot = nullptr;
    return 1;
}

bool IsValueReader(TZevNameValue reader)
{
    const TZevRefReader readers[] = {LoadErrorValue, LoadString, LispLoadPair, LoadAtom,
                                     LoadFunc,       LoadInteger, LoadFloat,   LoadLSObj};
    for (TZevRefReader r : readers) {
        if (reader == reinterpret_cast<TZevNameValue>(r))
            return true;
    }
    return false;
}

bool EndsWith(const std::string& text, const char* tail, std::string* base)
{
    const std::size_t n = std::strlen(tail);
    if (text.size() <= n || text.compare(text.size() - n, n, tail) != 0)
        return false;
    *base = text.substr(0, text.size() - n);
    return true;
}

bool IsWrapperReader(TZevNameValue reader, std::string* saveName)
{
    if (IsValueReader(reader) || (LispWrapperReaderRefused && LispWrapperReaderRefused(reader)))
        return false;
    const char* name = GetFunctionDictionary()->GetName(reader);
    if (!name)
        return false;
    const std::string text = name;
    std::string b;
    if (EndsWith(text, "_LoadFunction", &b)) {
        *saveName = b + "_SaveFunction";
        return true;
    }
    if (EndsWith(text, "_LF", &b)) {
        *saveName = b + "_SF";
        return true;
    }
    return false;
}

bool IsWriterNamed(TZevNameValue writer, const std::string& saveName)
{
    const TZevNameEntry* e = GetFunctionDictionary()->Find(saveName.c_str(), ZevNameFunction | ZevNameStreamFunction);
    return e && e->value == writer;
}

// Saves a value that is not a pair.
int SaveAtomLike(TZevObjectIdTable* table, TZevStream* stream, TZevLispObj* v)
{
    if (!v)
        return table->WriteRef(stream, SaveNothing, LoadNothing, nullptr);
    const TZevClassRecord* r = v->GetClassRecord();
    if (r == TZevLispInteger::TypeId)
        return table->WriteRef(stream, SaveInteger, LoadInteger, v);
    if (r == TZevLispFloat::TypeId)
        return table->WriteRef(stream, SaveFloat, LoadFloat, v);
    if (r == TZevAtom::TypeId)
        return table->WriteRef(stream, SaveName, LoadAtom, v);
    if (r == TZevLispFunc::TypeId)
        return table->WriteRef(stream, SaveName, LoadFunc, v);
    if (r == TZevLispString::TypeId) {
        if (v == Nil.Get())
            return table->WriteRef(stream, SaveName, LoadAtom, NilAtom.Get());
        return table->WriteRef(stream, SaveString, LoadString, v);
    }
    if (r == TZevLispError::TypeId)
        return table->WriteRef(stream, SaveErrorValue, LoadErrorValue, v);
    if (r == TZevLispLSObj::TypeId) {
        if (SaveNesting >= MaxSaveNesting)
            return 0;
        ++SaveNesting;
        const int ok = table->WriteRef(stream, SaveLSObj, LoadLSObj, v);
        --SaveNesting;
        return ok;
    }
    // A kind without a stream form is written as null, so the records around it stay whole.
    return table->WriteRef(stream, SaveNothing, LoadNothing, nullptr);
}

} // namespace

bool LispIsValueObject(const TZevLSObj* object)
{
    return object && IsValueClass(object->GetClassRecord());
}

int LispSavePair(TZevObjectIdTable* table, TZevStream* stream, void* value)
{
    auto* pair = static_cast<TZevPair*>(value);
    return LispSaveValue(table, stream, &pair->Car) && LispSaveValue(table, stream, &pair->Cdr) ? 1 : 0;
}

namespace {

// Reading a chain of pairs without nesting once per element: the cdr records of a list lie inside one another
// (each pair's record holds its car and then its cdr's record), so the pair reader reads the chain in a loop.
// Each further pair goes through ReadRef (which enters its id) with ChainCarOnly set: the reader then reads only
// the car and notes where the next cdr record starts, and the loop continues from there (ReadRef itself moves
// past the whole rest of the chain).
bool ChainCarOnly = false;
std::int32_t ChainResume = -1;

// Whether the record at the position is the first occurrence of a pair in this load.
bool NextIsNewPair(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t* idOut)
{
    const std::int32_t at = stream->Tell();
    std::uint32_t size = 0, id = 0;
    TZevNameValue reader = 0;
    const bool pair = ReadUInt32(stream, &size) && ReadUInt32(stream, &id) && size > 8 && id != 0 &&
                      !table->Find(id) && ReadStreamFunctionName(stream, &reader) &&
                      reader == reinterpret_cast<TZevNameValue>(&LispLoadPair);
    stream->Seek(at);
    *idOut = id;
    return pair;
}

} // namespace

int LispLoadPair(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    const bool carOnly = ChainCarOnly;
    ChainCarOnly = false;
    // The slot is filled before the parts are read, so a part that refers back to the pair (a cycle) finds it.
    TZevPair* pair = NewLoaded<TZevPair>(slot);
    TZevLispRef car;
    if (!LispLoadValue(table, stream, &car))
        return 0;
    pair->Car = car;
    if (carOnly) {
        ChainResume = stream->Tell();
        return 1;
    }
    TZevPair* tail = pair;
    std::uint32_t id = 0;
    while (NextIsNewPair(table, stream, &id)) {
        LoadedIds.push_back(id);
        ChainCarOnly = true;
        ChainResume = -1;
        auto* next = static_cast<TZevLSObj*>(table->ReadRef(stream));
        ChainCarOnly = false;
        if (!next || next->GetClassRecord() != TZevPair::TypeId || ChainResume < 0)
            return 0;
        stream->Seek(ChainResume);
        tail->Cdr = TZevLispRef(static_cast<TZevPair*>(next));
        tail = static_cast<TZevPair*>(next);
    }
    TZevLispRef cdr;
    if (!LispLoadValue(table, stream, &cdr))
        return 0;
    tail->Cdr = cdr;
    return 1;
}

int LispSaveValue(TZevObjectIdTable* table, TZevStream* stream, const TZevLispRef* value)
{
    if (!table || !stream)
        return 0;
    if (SaveNesting >= MaxSaveNesting)
        return 0;
    ++SaveNesting;
    // A chain of pairs is written in a loop: each pair's record holds its car and then the record of its cdr, so
    // the sizes of the records along the chain are set once the chain's end is written.
    std::vector<std::int32_t> starts;
    int ok = 1;
    TZevLispRef v = value ? *value : TZevLispRef();
    while (LispIsPair(v)) {
        const std::int32_t start = stream->Tell();
        ok = table->WriteRef(stream, SavePairCar, LispLoadPair, v.Get()) && ok;
        if (stream->Tell() - start <= 8)
            break; // written before: the 8-byte reference is the whole record
        starts.push_back(start);
        TZevLispRef next = LispPair(v)->Cdr;
        v = next;
        if (!ok)
            break;
    }
    if (!LispIsPair(v) && ok)
        ok = SaveAtomLike(table, stream, v.Get());
    const std::int32_t end = stream->Tell();
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        ok = stream->Seek(*it) == 1 && WriteUInt32(stream, static_cast<std::uint32_t>(end - *it)) && ok;
    }
    if (!starts.empty())
        ok = stream->Seek(end) == 1 && ok;
    --SaveNesting;
    return ok ? 1 : 0;
}

bool LispLoadInProgress()
{
    return LoadNesting > 0;
}

void LispReleaseLoadHolds()
{
    if (LispLoadHoldList)
        LispLoadHoldList->Clear();
}

namespace {

// After a failed load nothing refers to the values it made; pairs among them may form cycles, which are
// broken so that they go back to their pools.
void DropFailedLoad(TZevObjectIdTable* table)
{
    for (std::uint32_t id : LoadedIds) {
        if (TZevObjectIdRecord* r = table->Find(id))
            r->object = nullptr;
    }
    if (!LispLoadHoldList)
        return;
    for (TZevLispRefList::Node* n = LispLoadHoldList->First(); n != LispLoadHoldList->End(); n = n->next) {
        if (LispIsPair(n->value)) {
            LispPair(n->value)->Car.Clear();
            LispPair(n->value)->Cdr.Clear();
        }
    }
}

// Whether the pairs this load made form a cycle. No script can make one, so a cycle is a damaged stream: its
// pairs would hold each other for ever and a walk along the list would never end. Pairs of earlier loads cannot
// refer to the new ones, so only the new pairs are walked (iteratively: lists may be long).
bool LoadMadeACycle()
{
    if (!LispLoadHoldList)
        return false;
    enum : std::uint8_t { Unseen, Open, Done };
    std::unordered_map<TZevPair*, std::uint8_t> state;
    for (TZevLispRefList::Node* n = LispLoadHoldList->First(); n != LispLoadHoldList->End(); n = n->next) {
        if (LispIsPair(n->value))
            state.emplace(LispPair(n->value), Unseen);
    }
    std::vector<std::pair<TZevPair*, int>> stack;
    for (auto& [root, rootState] : state) {
        if (rootState != Unseen)
            continue;
        rootState = Open;
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            auto& [pair, next] = stack.back();
            if (next == 2) {
                state[pair] = Done;
                stack.pop_back();
                continue;
            }
            const TZevLispRef& part = next++ == 0 ? pair->Car : pair->Cdr;
            if (!LispIsPair(part))
                continue;
            auto found = state.find(LispPair(part));
            if (found == state.end() || found->second == Done)
                continue;
            if (found->second == Open)
                return true;
            found->second = Open;
            stack.emplace_back(found->first, 0);
        }
    }
    return false;
}

} // namespace

int LispLoadValue(TZevObjectIdTable* table, TZevStream* stream, TZevLispRef* out)
{
    if (!table || !stream || !out)
        return 0;
    const bool outermost = LoadNesting == 0;
    ++LoadNesting;
    int ok = 0;
    TZevLispRef v;
    std::uint32_t size = 0, id = 0;
    TZevNameValue reader = 0;
    // Only a value kind's reader may stand where a value belongs; an object met again must be a value too.
    if (PeekRecord(table, stream, &size, &id, &reader) && (!reader || IsValueReader(reader))) {
        if (size > 8 && id != 0)
            LoadedIds.push_back(id);
        auto* p = static_cast<TZevLSObj*>(table->ReadRef(stream));
        if (id == 0) {
            ok = 1;
        } else if (p && LispIsValueObject(p) && static_cast<TZevLispObj*>(p)->GetRefCount() > 0) {
            // (A value met again must still be alive: one dropped since went back to its pool.)
            v = TZevLispRef(static_cast<TZevLispObj*>(p));
            ok = 1;
        }
    }
    --LoadNesting;
    if (outermost && ok && LoadMadeACycle())
        ok = 0;
    if (ok)
        *out = v;
    if (outermost) {
        if (LispLoadEndHook)
            LispLoadEndHook(ok);
        if (!ok)
            DropFailedLoad(table);
        LoadedIds.clear();
        LispReleaseLoadHolds();
    }
    return ok;
}

// ---- Builtins ----------------------------------------------------------------------------------------------------

namespace {

void SaveLispObject(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    LispSaveArgToFile(result, interp, args, "wb", [](TZevFile& file, TZevLispRef& value) {
        TZevObjectIdTable table;
        return LispSaveValue(&table, &file, &value);
    });
}

void LoadLispObject(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevFile file;
    if (!LispOpenArgFile(result, interp, args, file, "rb"))
        return;
    TZevObjectIdTable table;
    TZevLispRef value;
    const int ok = LispLoadValue(&table, &file, &value);
    file.Close();
    if (!ok) {
        LispMakeError(result, "Cannot Read File!");
        return;
    }
    result = value.IsNull() ? Nil : value;
}

} // namespace

void LispStreamInit()
{
    if (LispLoadHoldList)
        return;
    LispLoadHoldList = new TZevLispRefList();
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TE_LF", LoadErrorValue);
    d->Add("TE_SF", SaveErrorValue);
    d->Add("TS_LF", LoadString);
    d->Add("TS_SF", SaveString);
    d->Add("TP_LF", LispLoadPair);
    d->Add("TP_SF", LispSavePair);
    d->Add("TA_LF", LoadAtom);
    d->Add("TA_SF", SaveName);
    d->Add("TFunc_LF", LoadFunc);
    d->Add("TFunc_SF", SaveName);
    d->Add("TI_LF", LoadInteger);
    d->Add("TI_SF", SaveInteger);
    d->Add("TF_LF", LoadFloat);
    d->Add("TF_SF", SaveFloat);
    d->Add("TO_LF", LoadLSObj);
    d->Add("TO_SF", SaveLSObj);
    d->Add("NULL_LF", LoadNothing);
    d->Add("NULL_SF", SaveNothing);
    LispRegisterBuiltin(SaveLispObject, "SaveLispObject");
    LispRegisterBuiltin(LoadLispObject, "LoadLispObject");
}

void LispStreamFree()
{
    delete LispLoadHoldList;
    LispLoadHoldList = nullptr;
}
