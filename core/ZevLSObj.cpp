// Object root, class registry and the tagged-chunk object stream format.
#include "ZevLSObj.h"

#include "ZevBitmap.h"
#include "ZevNameTable.h"
#include "ZevTree.h"

#include <cfloat>
#include <cmath>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>

// ---- TZevObject ----------------------------------------------------------------------------------------------

std::int32_t TZevObject::AddRef()
{
    refCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(refCount) + 1u);
    return refCount;
}

std::int32_t TZevObject::Release()
{
    // An object at 0 or below is parked or already on its way out: deleting it again would free it twice.
    if (refCount <= 0) {
        ZevDebugLog("TZevObject::Release: count already 0\n");
        return 0;
    }
    if (--refCount == 0) {
        delete this;
        return 0;
    }
    return refCount;
}

// ---- Class registry --------------------------------------------------------------------------------------------

namespace {

// Bucket = the name's last character, so names ending alike share a bucket; lookups compare whole texts.
class TZevClassRegistry : public TZevHashTable {
public:
    int Hash(const void* key) const override
    {
        const char* name = static_cast<const char*>(key);
        const std::size_t n = std::strlen(name);
        return n ? static_cast<unsigned char>(name[n - 1]) : 0;
    }
    bool Equal(const void* entryKey, const void* key) const override
    {
        return std::strcmp(static_cast<const char*>(entryKey), static_cast<const char*>(key)) == 0;
    }
};

TZevClassRegistry* ClassRegistry = nullptr;

char* CopyName(const char* text)
{
    if (!text)
        return nullptr;
    const std::size_t n = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy)
        std::memcpy(copy, text, n + 1);
    return copy;
}

void FreeRecordNames(TZevClassRecord* record)
{
    std::free(record->name);
    std::free(record->parentName);
    record->name = nullptr;
    record->parentName = nullptr;
}

// Takes the registry entry of this record out (and frees it); false when the record is not entered.
bool RemoveRecordEntry(TZevClassRecord* record)
{
    if (!ClassRegistry)
        return false;
    bool found = false;
    ClassRegistry->ForEach([&](TZevHashEntry* e) {
        if (!found && e->value == record) {
            TZevHashTable::Unlink(e);
            delete e;
            found = true;
        }
    });
    return found;
}

} // namespace

void InsertClassRecord(TZevClassRecord* record)
{
    if (!record || !record->name)
        return;
    if (!ClassRegistry)
        ClassRegistry = new TZevClassRegistry();
    ClassRegistry->Add(new TZevHashEntry(record->name, record));
}

void RegisterClassRecord(TZevClassRecord* record, const char* name, const char* parentName, TZevFactory factory)
{
    if (!record || !name)
        return;
    if (RemoveRecordEntry(record))
        FreeRecordNames(record);
    record->name = CopyName(name);
    record->parentName = CopyName(parentName);
    record->factory = factory;
    record->reserved = 0;
    InsertClassRecord(record);
}

TZevClassRecord* FindClassRecord(const char* name)
{
    if (!name || !ClassRegistry)
        return nullptr;
    TZevHashEntry* e = ClassRegistry->Find(name);
    return e ? static_cast<TZevClassRecord*>(e->value) : nullptr;
}

TZevLSObj* CreateObjectByName(const char* name)
{
    TZevClassRecord* record = FindClassRecord(name);
    if (!record || !record->factory)
        return nullptr;
    return record->factory();
}

void FreeClassRegistry()
{
    if (!ClassRegistry)
        return;
    ClassRegistry->ForEach([](TZevHashEntry* e) {
        TZevClassRecord* record = static_cast<TZevClassRecord*>(e->value);
        TZevHashTable::Unlink(e);
        delete e;
        FreeRecordNames(record);
    });
    delete ClassRegistry;
    ClassRegistry = nullptr;
}

TZevClassRecord TZevLSObjClassRecord;

TZevLSObj* CreateTZevLSObj()
{
    return ZevCreateRegistered<TZevLSObj>(&TZevLSObjClassRecord);
}

// ---- Raw values and texts --------------------------------------------------------------------------------------

namespace {

bool ReadBytes(TZevStream* stream, void* buffer, std::int32_t n)
{
    return n == 0 || stream->Read(buffer, n) == 1;
}

bool WriteBytes(TZevStream* stream, const void* buffer, std::int32_t n)
{
    return n == 0 || stream->Write(buffer, n) == 1;
}

// Reads a zero-terminated text of at most `limit` characters into `buffer` (limit + 1 bytes).
bool ReadZeroTerminated(TZevStream* stream, char* buffer, std::int32_t limit)
{
    for (std::int32_t i = 0; i <= limit; ++i) {
        if (!ReadBytes(stream, &buffer[i], 1))
            return false;
        if (buffer[i] == 0)
            return true;
    }
    return false;
}

// A length field of a text: not negative and within what the stream still holds.
bool ReadLength(TZevStream* stream, std::int32_t* length)
{
    std::int32_t n = 0;
    if (!ReadInt32(stream, &n) || n < 0 || n > StreamBytesLeft(stream))
        return false;
    *length = n;
    return true;
}

} // namespace

std::int32_t StreamBytesLeft(TZevStream* stream)
{
    const std::int32_t size = stream->GetSize();
    const std::int32_t at = stream->Tell();
    return (at >= 0 && size > at) ? size - at : 0;
}

bool WriteUInt32(TZevStream* stream, std::uint32_t value)
{
    const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return WriteBytes(stream, b, 4);
}

bool ReadUInt32(TZevStream* stream, std::uint32_t* value)
{
    unsigned char b[4];
    if (!ReadBytes(stream, b, 4))
        return false;
    *value = std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
             (std::uint32_t(b[3]) << 24);
    return true;
}

bool WriteInt32(TZevStream* stream, std::int32_t value)
{
    return WriteUInt32(stream, static_cast<std::uint32_t>(value));
}

bool ReadInt32(TZevStream* stream, std::int32_t* value)
{
    std::uint32_t u = 0;
    if (!ReadUInt32(stream, &u))
        return false;
    *value = static_cast<std::int32_t>(u);
    return true;
}

bool WriteCString(TZevStream* stream, const char* text)
{
    if (!text) {
        const char zero = 0;
        return WriteInt32(stream, 1) && WriteBytes(stream, &zero, 1);
    }
    const std::size_t n = std::strlen(text);
    if (n > 0x7FFFFFFF)
        return false;
    return WriteInt32(stream, static_cast<std::int32_t>(n)) &&
           WriteBytes(stream, text, static_cast<std::int32_t>(n));
}

bool WriteString(TZevStream* stream, const TZevString& text)
{
    return WriteCString(stream, text.CStr());
}

bool ReadString(TZevStream* stream, TZevString* text)
{
    std::int32_t n = 0;
    if (!ReadLength(stream, &n))
        return false;
    TZevString read;
    char* buffer = read.GetBuffer(n);
    if (!buffer || !ReadBytes(stream, buffer, n))
        return false;
    *text = std::move(read);
    return true;
}

TZevString ReadString(TZevStream* stream)
{
    TZevString text;
    ReadString(stream, &text);
    return text;
}

bool ReadCString(TZevStream* stream, char** text)
{
    std::int32_t n = 0;
    if (!ReadLength(stream, &n))
        return false;
    char* buffer = static_cast<char*>(std::malloc(static_cast<std::size_t>(n) + 1));
    if (!buffer)
        return false;
    if (!ReadBytes(stream, buffer, n)) {
        std::free(buffer);
        return false;
    }
    buffer[n] = 0;
    *text = buffer;
    return true;
}

bool WriteFloat(TZevStream* stream, const float* value)
{
    // Nine significant digits bring every float back exactly; to_chars is independent of the locale.
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, *value, std::chars_format::general, 9);
    if (r.ec != std::errc())
        return false;
    *r.ptr = 0;
    return WriteBytes(stream, text, static_cast<std::int32_t>(r.ptr - text) + 1);
}

bool ReadFloat(TZevStream* stream, float* value)
{
    char text[ZevMaxStreamName + 1];
    if (!ReadZeroTerminated(stream, text, ZevMaxStreamName))
        return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    if (*p == '+')
        ++p;
    const char* end = text + std::strlen(text);
    float f = 0;
    std::from_chars_result r = std::from_chars(p, end, f);
    if (r.ec == std::errc::result_out_of_range) {
        // A text beyond the float range (an old writer's double): infinity or zero as the C reader gives.
        double d = 0;
        r = std::from_chars(p, end, d);
        if (r.ec != std::errc())
            return false;
        if (d > FLT_MAX)
            f = HUGE_VALF;
        else if (d < -FLT_MAX)
            f = -HUGE_VALF;
        else
            f = static_cast<float>(d);
    } else if (r.ec != std::errc()) {
        return false;
    }
    *value = f;
    return true;
}

float ReadFloatText(TZevStream* stream)
{
    float f = 0;
    return ReadFloat(stream, &f) ? f : 0.0f;
}

// ---- Chunks ----------------------------------------------------------------------------------------------------

bool BeginChunk(TZevStream* stream, TZevChunkHeader* header, const char* tag)
{
    if (!tag)
        tag = "";
    header->tag = tag;
    header->start = stream->Tell();
    const std::int32_t n = static_cast<std::int32_t>(std::strlen(tag));
    return WriteInt32(stream, header->start) && WriteInt32(stream, header->end) && WriteBytes(stream, tag, n + 1);
}

bool EndChunk(TZevStream* stream, TZevChunkHeader* header)
{
    header->end = stream->Tell();
    const char* tag = header->tag.CStr() ? header->tag.CStr() : "";
    const std::int32_t n = static_cast<std::int32_t>(std::strlen(tag));
    return stream->Seek(header->start) == 1 && WriteInt32(stream, header->start) &&
           WriteInt32(stream, header->end) && WriteBytes(stream, tag, n + 1) && stream->Seek(header->end) == 1;
}

bool ReadChunkHeader(TZevStream* stream, TZevChunkHeader* header)
{
    const std::int32_t at = stream->Tell();
    std::int32_t start = 0, end = 0;
    if (!ReadInt32(stream, &start) || !ReadInt32(stream, &end) || start != at)
        return false;
    char tag[ZevMaxStreamName + 1];
    if (!ReadZeroTerminated(stream, tag, ZevMaxStreamName))
        return false;
    // The end must lie after the tag (so reading always moves forward) and inside the stream.
    if (end < stream->Tell() || end > stream->GetSize())
        return false;
    header->start = start;
    header->end = end;
    header->tag = tag;
    return true;
}

namespace {

struct TZevChunkReaderEntry : TZevAllocated {
    TZevString tag;
    TZevChunkReader reader;
    TZevChunkReaderEntry* next;
};

// 256 buckets by the byte sum of the tag; entries in registration order.
TZevChunkReaderEntry** ChunkReaders = nullptr;

TZevChunkReaderEntry** GetChunkReaders()
{
    if (!ChunkReaders) {
        ChunkReaders = static_cast<TZevChunkReaderEntry**>(ZevAlloc(256 * sizeof(TZevChunkReaderEntry*)));
        if (ChunkReaders)
            std::memset(ChunkReaders, 0, 256 * sizeof(TZevChunkReaderEntry*));
    }
    return ChunkReaders;
}

} // namespace

void RegisterChunkReader(const char* tag, TZevChunkReader reader)
{
    TZevChunkReaderEntry** buckets = GetChunkReaders();
    if (!tag || !reader || !buckets)
        return;
    TZevChunkReaderEntry* entry = new TZevChunkReaderEntry();
    entry->tag = tag;
    entry->reader = reader;
    entry->next = nullptr;
    TZevChunkReaderEntry** link = &buckets[ByteSumHash(tag)];
    while (*link)
        link = &(*link)->next;
    *link = entry;
}

bool DispatchChunk(TZevStream* stream, TZevLSObj* object, const char* tag)
{
    if (!ChunkReaders || !tag)
        return true;
    for (TZevChunkReaderEntry* e = ChunkReaders[ByteSumHash(tag)]; e; e = e->next) {
        if (std::strcmp(e->tag.CStr(), tag) == 0)
            return e->reader(stream, object);
    }
    return true;
}

void FreeChunkReaders()
{
    if (!ChunkReaders)
        return;
    for (int b = 0; b < 256; ++b) {
        for (TZevChunkReaderEntry* e = ChunkReaders[b]; e;) {
            TZevChunkReaderEntry* next = e->next;
            delete e;
            e = next;
        }
    }
    ZevFree(ChunkReaders);
    ChunkReaders = nullptr;
}

// ---- TZevLSObj -------------------------------------------------------------------------------------------------

bool TZevLSObj::Load(TZevStream*)
{
    return true;
}

bool TZevLSObj::SaveChunks(TZevStream*, TZevChunkHeader*)
{
    return true;
}

bool TZevLSObj::Save(TZevStream* stream)
{
    const char* name = GetClassRecordName();
    if (!name)
        return false;
    const std::int32_t n = static_cast<std::int32_t>(std::strlen(name));
    return WriteInt32(stream, n) && WriteBytes(stream, name, n) && WriteChunks(stream);
}

bool TZevLSObj::WriteChunks(TZevStream* stream)
{
    TZevChunkHeader header;
    if (!SaveChunks(stream, &header))
        return false;
    TZevChunkHeader end;
    return BeginChunk(stream, &end, "TEND") && EndChunk(stream, &end);
}

bool TZevLSObj::ReadChunks(TZevStream* stream)
{
    // Every chunk ends after its own header, so each pass moves forward and the loop ends with the stream.
    for (;;) {
        TZevChunkHeader header;
        if (!ReadChunkHeader(stream, &header))
            return false;
        if (std::strcmp(header.tag.CStr(), "TEND") == 0)
            return header.end == stream->Tell();
        if (!DispatchChunk(stream, this, header.tag.CStr()))
            return false;
        if (stream->Seek(header.end) != 1)
            return false;
    }
}

TZevLSObj* TZevLSObj::Clone()
{
    TZevMemStream memory;
    if (!Save(&memory) || memory.Seek(0) != 1)
        return nullptr;
    return ReadObject(&memory);
}

namespace {
thread_local int ReadObjectDepth = 0;
}

TZevLSObj* ReadObject(TZevStream* stream)
{
    if (!stream)
        return nullptr;
    if (ReadObjectDepth >= ZevMaxObjectNesting) {
        ZevDebugLog("ReadObject: objects nested too deep\n");
        return nullptr;
    }
    std::int32_t n = 0;
    if (!ReadInt32(stream, &n) || n < 0 || n > ZevMaxStreamName || n > StreamBytesLeft(stream))
        return nullptr;
    char name[ZevMaxStreamName + 1];
    if (!ReadBytes(stream, name, n))
        return nullptr;
    name[n] = 0;
    if (std::strlen(name) != static_cast<std::size_t>(n))
        return nullptr;
    TZevClassRecord* record = FindClassRecord(name);
    if (!record || !record->factory)
        return nullptr;
    TZevLSObj* object = record->factory();
    if (!object)
        return nullptr;
    ++ReadObjectDepth;
    const bool ok = object->ReadChunks(stream) && object->Load(stream);
    --ReadObjectDepth;
    if (!ok) {
        delete object;
        return nullptr;
    }
    return object;
}

// ---- Start-up --------------------------------------------------------------------------------------------------

namespace {

void FreeObjectLibrary()
{
    FreeNameTables();
    FreeChunkReaders();
    FreeClassRegistry();
}

} // namespace

void ZevLSObjInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevLogInited("ZevLSObj.cpp");
        GetChunkReaders();
        GetFunctionDictionary();
        GetSaveLoadFunctionDictionary();
        GetDllTable();
        RegisterClassRecord(&TZevLSObjClassRecord, "TZevLSObj", nullptr, CreateTZevLSObj);
        ZevTreeInit();
        // Registered after the log's report, so it runs before it and the report counts these frees.
        std::atexit(FreeObjectLibrary);
    });
}
