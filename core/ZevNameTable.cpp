// Named-function dictionaries and the cache of shared libraries.
#include "ZevNameTable.h"

#include "ZevLSObj.h"
#include "ZevSharedLibrary.h"

#include <cstring>

TZevNameTable::TZevNameTable() : store(nullptr), addFlags(ZevNameFunction), byName(nullptr), byValue(nullptr)
{
    const std::size_t bytes = BucketCount * sizeof(TZevNameEntry*);
    byName = static_cast<TZevNameEntry**>(ZevAllocObject(bytes));
    byValue = static_cast<TZevNameEntry**>(ZevAllocObject(bytes));
    std::memset(byName, 0, bytes);
    std::memset(byValue, 0, bytes);
}

TZevNameTable::TZevNameTable(TZevNameTable* target, std::uint32_t flags)
    : store(target), addFlags(flags), byName(nullptr), byValue(nullptr)
{
}

TZevNameTable::~TZevNameTable()
{
    if (store)
        return;
    for (int b = 0; b < BucketCount; ++b) {
        for (TZevNameEntry* e = byName[b]; e;) {
            TZevNameEntry* next = e->nextByName;
            delete e;
            e = next;
        }
    }
    ZevFree(byName);
    ZevFree(byValue);
}

int TZevNameTable::NameBucket(const char* name)
{
    int sum = 0;
    for (const char* p = name; *p; ++p)
        sum += static_cast<signed char>(*p);
    const int r = sum % BucketCount;
    return r < 0 ? r + BucketCount : r;
}

void TZevNameTable::AddEntry(const char* name, TZevNameValue value, std::uint32_t flags)
{
    if (!name)
        return;
    TZevNameTable* t = Store();
    TZevNameEntry* e = new TZevNameEntry();
    e->name = name;
    e->value = value;
    e->flags = flags;
    e->nextByName = nullptr;
    e->nextByValue = nullptr;
    // Appended, so that the older of two equal names stays the one found.
    TZevNameEntry** link = &t->byName[NameBucket(name)];
    while (*link)
        link = &(*link)->nextByName;
    *link = e;
    link = &t->byValue[ValueBucket(value)];
    while (*link)
        link = &(*link)->nextByValue;
    *link = e;
}

void TZevNameTable::Add(const char* name, TZevNameValue value)
{
    AddEntry(name, value, addFlags);
}

void TZevNameTable::Add(const char* name, int (*reader)(TZevObjectIdTable*, TZevStream*, void**))
{
    AddEntry(name, reinterpret_cast<TZevNameValue>(reader), addFlags | ZevNameRefReader);
}

void TZevNameTable::Add(const char* name, const void* record)
{
    AddEntry(name, reinterpret_cast<TZevNameValue>(record),
             addFlags & ~(ZevNameFunction | ZevNameStreamFunction | ZevNameRefReader));
}

const TZevNameEntry* TZevNameTable::Find(const char* name, std::uint32_t required) const
{
    if (!name)
        return nullptr;
    const TZevNameTable* t = Store();
    for (const TZevNameEntry* e = t->byName[NameBucket(name)]; e; e = e->nextByName) {
        if ((e->flags & required) == required && std::strcmp(e->name.CStr(), name) == 0)
            return e;
    }
    return nullptr;
}

TZevNameValue TZevNameTable::GetRegistered(const char* name, std::uint32_t required) const
{
    if (!name)
        return 0;
    const TZevNameTable* t = Store();
    for (const TZevNameEntry* e = t->byName[NameBucket(name)]; e; e = e->nextByName) {
        if ((e->flags & required) == required && !(e->flags & ZevNameLibrary) &&
            std::strcmp(e->name.CStr(), name) == 0)
            return e->value;
    }
    return 0;
}

const TZevNameEntry* TZevNameTable::FindValue(TZevNameValue value, std::uint32_t required) const
{
    const TZevNameTable* t = Store();
    for (const TZevNameEntry* e = t->byValue[ValueBucket(value)]; e; e = e->nextByValue) {
        if (e->value == value && (e->flags & required) == required)
            return e;
    }
    return nullptr;
}

const char* TZevNameTable::GetName(TZevNameValue value) const
{
    const TZevNameEntry* e = FindValue(value);
    return e ? e->name.CStr() : nullptr;
}

TZevNameValue TZevNameTable::GetValue(const char* name)
{
    if (!name)
        return 0;
    if (const TZevNameEntry* e = Find(name))
        return e->value;
    const TZevNameValue value = GetDllTable()->Resolve(name);
    if (value)
        AddEntry(name, value, ZevNameFunction | ZevNameLibrary);
    return value;
}

int TZevNameTable::GetCount() const
{
    const TZevNameTable* t = Store();
    int n = 0;
    for (int b = 0; b < BucketCount; ++b) {
        for (const TZevNameEntry* e = t->byName[b]; e; e = e->nextByName)
            ++n;
    }
    return n;
}

// ---- The program-wide dictionaries -----------------------------------------------------------------------------

namespace {
TZevNameTable* FunctionDictionary = nullptr;
TZevNameTable* SaveLoadDictionary = nullptr;
TZevDllTable* DllTable = nullptr;
} // namespace

TZevNameTable* GetFunctionDictionary()
{
    if (!FunctionDictionary) {
        GetListNodePools();
        FunctionDictionary = new TZevNameTable();
    }
    return FunctionDictionary;
}

TZevNameTable* GetSaveLoadFunctionDictionary()
{
    if (!SaveLoadDictionary)
        SaveLoadDictionary = new TZevNameTable(GetFunctionDictionary(), ZevNameFunction | ZevNameStreamFunction);
    return SaveLoadDictionary;
}

TZevDllTable* GetDllTable()
{
    if (!DllTable)
        DllTable = new TZevDllTable();
    return DllTable;
}

void FreeNameTables()
{
    delete SaveLoadDictionary;
    SaveLoadDictionary = nullptr;
    delete FunctionDictionary;
    FunctionDictionary = nullptr;
    delete DllTable;
    DllTable = nullptr;
}

namespace {

bool ReadNamedFunction(TZevStream* stream, TZevNameValue* value, std::uint32_t required)
{
    *value = 0;
    TZevString name;
    if (!ReadString(stream, &name))
        return false;
    // Only what the program registered itself: a name from a file never reaches the library cache.
    *value = GetFunctionDictionary()->GetRegistered(name.CStr(), required);
    return true;
}

} // namespace

bool ReadFunctionName(TZevStream* stream, TZevNameValue* value)
{
    return ReadNamedFunction(stream, value, ZevNameFunction);
}

TZevNameValue ReadFunctionName(TZevStream* stream)
{
    TZevNameValue value = 0;
    ReadFunctionName(stream, &value);
    return value;
}

bool ReadStreamFunctionName(TZevStream* stream, TZevNameValue* value)
{
    return ReadNamedFunction(stream, value, ZevNameFunction | ZevNameStreamFunction);
}

bool ReadRefReaderName(TZevStream* stream, TZevNameValue* value)
{
    return ReadNamedFunction(stream, value, ZevNameFunction | ZevNameStreamFunction | ZevNameRefReader);
}

int WriteFunctionName(TZevStream* stream, TZevNameValue value)
{
    return WriteCString(stream, GetFunctionDictionary()->GetName(value)) ? 1 : 0;
}

// ---- Library cache ---------------------------------------------------------------------------------------------

TZevDllModule::~TZevDllModule()
{
    ZevCloseSharedLibrary(handle);
}

TZevDllTable::~TZevDllTable()
{
    // Each module is the value of exactly one entry (its file name).
    modules.ForEach([](const TZevNameEntry* e) { delete reinterpret_cast<TZevDllModule*>(e->value); });
}

TZevDllModule* TZevDllTable::FindModule(const char* fileName) const
{
    const TZevNameEntry* e = modules.Find(fileName);
    return e ? reinterpret_cast<TZevDllModule*>(e->value) : nullptr;
}

TZevDllModule* TZevDllTable::GetModule(const char* fileName)
{
    if (TZevDllModule* m = FindModule(fileName))
        return m;
    TZevDllModule* module = new TZevDllModule(ZevOpenSharedLibrary(fileName));
    modules.Add(fileName, static_cast<const void*>(module));
    return module;
}

TZevNameValue TZevDllTable::Resolve(const char* name)
{
    if (!name)
        return 0;
    const char* blank = std::strchr(name, ' ');
    if (!blank)
        return 0;
    TZevString fileName(name, static_cast<std::int32_t>(blank - name));
    const char* procedure = blank + 1;
    TZevDllModule* module = GetModule(fileName.CStr());
    if (!module->handle)
        return 0;
    if (const TZevNameEntry* e = module->procedures.Find(procedure))
        return e->value;
    void* address = ZevFindLibrarySymbol(module->handle, procedure);
    if (!address)
        return 0;
    const TZevNameValue value = reinterpret_cast<TZevNameValue>(address);
    module->procedures.AddEntry(procedure, value, ZevNameFunction | ZevNameLibrary);
    return value;
}
