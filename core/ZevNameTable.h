// Named-function dictionaries: functions and records found by name at run time, and the cache of shared
// libraries whose procedures are named as "<library file> <procedure>".
#pragma once

#include "ZevDebug.h"
#include "ZevStream.h"
#include "ZevString.h"

#include <cstdint>

// A dictionary value: a function or record address (pointer-sized).
typedef std::uintptr_t TZevNameValue;

// What an entry is, as flags.
enum : std::uint32_t {
    ZevNameFunction = 1,       // a function: a stream may name it (ReadFunctionName)
    ZevNameStreamFunction = 2, // registered through the save/load dictionary: a stream may name it as a reader
    ZevNameLibrary = 4,        // a procedure found in a shared library: never resolved from a stream
    ZevNameRefReader = 8,      // has the shape of a shared-object reader: the only kind ReadRef will call
};

class TZevObjectIdTable;

struct TZevNameEntry : TZevAllocated {
    TZevString name;
    TZevNameValue value;
    std::uint32_t flags;
    TZevNameEntry* nextByName;
    TZevNameEntry* nextByValue;
};

// Name <-> value dictionary of 257 name buckets and 257 value buckets. Adding a name that is already there keeps
// both entries; lookups find the older one first.
class TZevNameTable : public TZevAllocated {
public:
    static constexpr int BucketCount = 257;

    TZevNameTable();
    virtual ~TZevNameTable();
    TZevNameTable(const TZevNameTable&) = delete;
    TZevNameTable& operator=(const TZevNameTable&) = delete;

    // A function address.
    void Add(const char* name, TZevNameValue value);
    template <class R, class... A> void Add(const char* name, R (*function)(A...))
    {
        Add(name, reinterpret_cast<TZevNameValue>(function));
    }
    // A shared-object reader: flagged so, since a stream that names a function of any other shape as a reader
    // must not get it called.
    void Add(const char* name, int (*reader)(TZevObjectIdTable* table, TZevStream* stream, void** slot));
    // A record (data, never called): found by name and by address, but never resolved from a stream.
    void Add(const char* name, const void* record);
    // Adds with explicit flags (the library cache uses it).
    void AddEntry(const char* name, TZevNameValue value, std::uint32_t flags);

    // The value of the first entry of `name`. On a miss, a name of the form "<library file> <procedure>" is
    // resolved through the library cache and remembered here; otherwise 0.
    TZevNameValue GetValue(const char* name);
    template <class F> F GetFunction(const char* name) { return reinterpret_cast<F>(GetValue(name)); }
    // The first entry of `name` whose flags include all of `required`, without asking any library; null if none.
    const TZevNameEntry* Find(const char* name, std::uint32_t required = 0) const;
    // The value of the first entry of `name` that the program added itself and whose flags include all of
    // `required`; 0 if none. No library is asked, and a library procedure found earlier does not count: names that
    // scripts and data files give are resolved here.
    TZevNameValue GetRegistered(const char* name, std::uint32_t required = ZevNameFunction) const;
    // The first entry with this value whose flags include all of `required`; null if none.
    const TZevNameEntry* FindValue(TZevNameValue value, std::uint32_t required = 0) const;
    // The name of the first entry with this value; null when none.
    const char* GetName(TZevNameValue value) const;
    const char* GetName(const void* record) const { return GetName(reinterpret_cast<TZevNameValue>(record)); }
    template <class R, class... A> const char* GetName(R (*function)(A...)) const
    {
        return GetName(reinterpret_cast<TZevNameValue>(function));
    }
    // Number of entries.
    int GetCount() const;
    // Calls f(entry) for every entry.
    template <class F> void ForEach(F f) const
    {
        const TZevNameTable* t = Store();
        for (int b = 0; b < BucketCount; ++b) {
            for (const TZevNameEntry* e = t->byName[b]; e; e = e->nextByName)
                f(e);
        }
    }

    // Name bucket: the sum of the name's bytes (as signed characters) modulo 257, made non-negative.
    static int NameBucket(const char* name);
    static int ValueBucket(TZevNameValue value) { return static_cast<int>(value % BucketCount); }

private:
    friend TZevNameTable* GetSaveLoadFunctionDictionary();
    // A view that stores into `store`, marking what is added through it with `addFlags`.
    TZevNameTable(TZevNameTable* store, std::uint32_t addFlags);
    TZevNameTable* Store() { return store ? store : this; }
    const TZevNameTable* Store() const { return store ? store : this; }

    TZevNameTable* store;
    std::uint32_t addFlags;
    TZevNameEntry** byName;
    TZevNameEntry** byValue;
};

// The one program-wide dictionary of named functions and records: callbacks and plug-in calls look names up here
// (library names included).
TZevNameTable* GetFunctionDictionary();
// The same dictionary, seen by the start-up registrations of the named load and save functions ("TE_LF",
// "TZevJoint_LoadFunction", ...): one set of entries, so a registered reader is found by value when a stream is
// written and by name when it is read. Only functions added through it can be named by a stream as the reader
// of a shared object.
TZevNameTable* GetSaveLoadFunctionDictionary();

// Reads a text and returns the registered function of that name; 0 when it names none. Only functions added by
// the program count: a stream never resolves a record, a library procedure or a library name, and never loads
// a library.
TZevNameValue ReadFunctionName(TZevStream* stream);
// As above; false (and 0) when the stream is damaged.
bool ReadFunctionName(TZevStream* stream, TZevNameValue* value);
// As ReadFunctionName, accepting only functions registered through GetSaveLoadFunctionDictionary.
bool ReadStreamFunctionName(TZevStream* stream, TZevNameValue* value);
// As ReadStreamFunctionName, accepting only shared-object readers.
bool ReadRefReaderName(TZevStream* stream, TZevNameValue* value);
// Writes the name of `value` in the function dictionary as a text (a null text when it has none); 1, or 0 on a
// failed write.
int WriteFunctionName(TZevStream* stream, TZevNameValue value);
template <class R, class... A> int WriteFunctionName(TZevStream* stream, R (*function)(A...))
{
    return WriteFunctionName(stream, reinterpret_cast<TZevNameValue>(function));
}

// A loaded shared library (null handle when loading failed) and the procedures found in it so far.
class TZevDllModule : public TZevAllocated {
public:
    explicit TZevDllModule(void* handle) : handle(handle) {}
    // Releases the library when it was loaded.
    virtual ~TZevDllModule();

    void* handle;
    TZevNameTable procedures;
};

// The library cache: library file name -> module.
class TZevDllTable : public TZevAllocated {
public:
    TZevDllTable() = default;
    // Deletes every module (releasing its library).
    virtual ~TZevDllTable();

    // "<library file> <procedure>" (split at the first blank): the procedure's address, or 0 (no blank, no
    // library file name, library not loadable, procedure not exported).
    TZevNameValue Resolve(const char* name);
    // The cached module of the file, or a new one (ZevOpenSharedLibrary: a ".dll" name as ".so", an empty name
    // loads nothing), cached even when loading failed.
    TZevDllModule* GetModule(const char* fileName);
    // The cached module of the file, or null; loads nothing.
    TZevDllModule* FindModule(const char* fileName) const;

    TZevNameTable modules;
};

// The program-wide library cache, created on first use.
TZevDllTable* GetDllTable();
// Destroys the dictionaries and then the library cache (at exit).
void FreeNameTables();
