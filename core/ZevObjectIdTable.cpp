// Shared objects of one save or load: written once, referred to by a serial id afterwards.
#include "ZevLSObj.h"

#include "ZevNameTable.h"

#include <cstring>
#include <new>

// Records of one table, taken in order and freed together.
struct TZevObjectIdTable::TRecordBlock {
    static constexpr std::uint32_t Size = 1024;
    TRecordBlock* next;
    TZevObjectIdRecord records[Size];
};

TZevObjectIdTable::TZevObjectIdTable()
    : bucketCount(0), byId(nullptr), byObject(nullptr), nextId(1), depth(0), context(nullptr)
{
    Resize(DefaultBucketCount);
}

TZevObjectIdTable::~TZevObjectIdTable()
{
    Resize(0);
}

void TZevObjectIdTable::Resize(std::uint32_t n)
{
    while (TRecordBlock* b = blocks) {
        blocks = b->next;
        ZevFree(b);
    }
    blockUsed = 0;
    recordCount = 0;
    ZevFree(byId);
    ZevFree(byObject);
    byId = nullptr;
    byObject = nullptr;
    bucketCount = 0;
    nextId = 1;
    if (n == 0)
        return;
    const std::size_t bytes = std::size_t(n) * sizeof(TZevObjectIdRecord*);
    byId = static_cast<TZevObjectIdRecord**>(ZevAlloc(bytes));
    byObject = static_cast<TZevObjectIdRecord**>(ZevAlloc(bytes));
    if (!byId || !byObject) {
        ZevFree(byId);
        ZevFree(byObject);
        byId = nullptr;
        byObject = nullptr;
        return;
    }
    std::memset(byId, 0, bytes);
    std::memset(byObject, 0, bytes);
    bucketCount = n;
}

namespace {
std::uint32_t ObjectHash(const void* object)
{
    // Only the speed of the lookup depends on the address; what is written depends on the order of writing.
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(object);
    return static_cast<std::uint32_t>((a >> 4) ^ (a >> 20));
}
} // namespace

TZevObjectIdRecord* TZevObjectIdTable::Find(std::uint32_t id) const
{
    if (bucketCount == 0)
        return nullptr;
    for (TZevObjectIdRecord* r = byId[id % bucketCount]; r; r = r->nextById) {
        if (r->id == id)
            return r;
    }
    return nullptr;
}

TZevObjectIdRecord* TZevObjectIdTable::FindObject(const void* object) const
{
    if (bucketCount == 0)
        return nullptr;
    for (TZevObjectIdRecord* r = byObject[ObjectHash(object) % bucketCount]; r; r = r->nextByObject) {
        if (r->object == object)
            return r;
    }
    return nullptr;
}

bool TZevObjectIdTable::Grow()
{
    // Four times the buckets, odd, while the count stays well inside 32 bits.
    if (bucketCount > 0x3FFFFFFFu / sizeof(TZevObjectIdRecord*) / 4)
        return false;
    const std::uint32_t n = bucketCount * 4 + 1;
    const std::size_t bytes = std::size_t(n) * sizeof(TZevObjectIdRecord*);
    auto** newById = static_cast<TZevObjectIdRecord**>(ZevAlloc(bytes));
    auto** newByObject = static_cast<TZevObjectIdRecord**>(ZevAlloc(bytes));
    if (!newById || !newByObject) {
        ZevFree(newById);
        ZevFree(newByObject);
        return false;
    }
    std::memset(newById, 0, bytes);
    std::memset(newByObject, 0, bytes);
    // Only the records already entered by object move into the new object buckets: a record whose reader still
    // runs is entered when it ends.
    for (std::uint32_t b = 0; b < bucketCount; ++b) {
        for (TZevObjectIdRecord* r = byId[b]; r;) {
            TZevObjectIdRecord* next = r->nextById;
            r->nextById = newById[r->id % n];
            newById[r->id % n] = r;
            r = next;
        }
        for (TZevObjectIdRecord* r = byObject[b]; r;) {
            TZevObjectIdRecord* next = r->nextByObject;
            const std::uint32_t to = ObjectHash(r->object) % n;
            r->nextByObject = newByObject[to];
            newByObject[to] = r;
            r = next;
        }
    }
    ZevFree(byId);
    ZevFree(byObject);
    byId = newById;
    byObject = newByObject;
    bucketCount = n;
    return true;
}

void TZevObjectIdTable::EnterObject(TZevObjectIdRecord* r)
{
    const std::uint32_t b = ObjectHash(r->object) % bucketCount;
    r->nextByObject = byObject[b];
    byObject[b] = r;
}

TZevObjectIdRecord* TZevObjectIdTable::AddRecord(std::uint32_t id, void* object)
{
    if (bucketCount == 0)
        Resize(DefaultBucketCount);
    if (bucketCount == 0)
        return nullptr;
    // Chains of two records on average at most; a table that cannot grow still works, only slower.
    if (recordCount / 2 >= bucketCount)
        Grow();
    if (!blocks || blockUsed == TRecordBlock::Size) {
        void* memory = ZevAlloc(sizeof(TRecordBlock));
        if (!memory)
            return nullptr;
        TRecordBlock* block = static_cast<TRecordBlock*>(memory);
        block->next = blocks;
        blocks = block;
        blockUsed = 0;
    }
    TZevObjectIdRecord* r = new (&blocks->records[blockUsed++]) TZevObjectIdRecord();
    ++recordCount;
    r->id = id;
    r->object = object;
    r->nextById = byId[id % bucketCount];
    byId[id % bucketCount] = r;
    // Records made while reading are entered by object too once their reader has filled them (see ReadRef).
    r->nextByObject = nullptr;
    if (object)
        EnterObject(r);
    return r;
}

int TZevObjectIdTable::WriteRef(TZevStream* stream, TZevRefWriter writer, TZevRefReader reader, void* object)
{
    const std::int32_t start = stream->Tell();
    if (!WriteUInt32(stream, 0) || !WriteUInt32(stream, 0))
        return 0;
    bool ok = true;
    std::uint32_t id = 0;
    if (object) {
        if (TZevObjectIdRecord* r = FindObject(object)) {
            id = r->id;
        } else {
            // Only a reader registered as a stream function can be found again when the stream is read.
            const TZevNameEntry* e = GetFunctionDictionary()->FindValue(reinterpret_cast<TZevNameValue>(reader),
                                                                        ZevNameFunction | ZevNameStreamFunction | ZevNameRefReader);
            if (!e) {
                ZevDebugLog("WriteRef: the reader has no registered name\n");
                ok = false;
            }
            ok = WriteCString(stream, e ? e->name.CStr() : nullptr) && ok;
            id = nextId++;
            if (TZevObjectIdRecord* r = AddRecord(id, object))
                r->reader = reader;
            else
                ok = false;
            ok = (writer && writer(this, stream, object) != 0) && ok;
        }
    }
    const std::int32_t end = stream->Tell();
    const std::uint32_t size = static_cast<std::uint32_t>(end) - static_cast<std::uint32_t>(start);
    ok = stream->Seek(start) == 1 && WriteUInt32(stream, size) && WriteUInt32(stream, id) &&
         stream->Seek(end) == 1 && ok;
    return ok ? 1 : 0;
}

void* TZevObjectIdTable::ReadRef(TZevStream* stream)
{
    const std::int32_t start = stream->Tell();
    std::uint32_t size = 0, id = 0;
    if (!ReadUInt32(stream, &size) || !ReadUInt32(stream, &id))
        return nullptr;
    // A size that does not fit the stream cannot be trusted to skip by: stop here.
    const std::uint32_t room = static_cast<std::uint32_t>(StreamBytesLeft(stream)) + 8u;
    if (size < 8 || size > room)
        return nullptr;
    const std::int32_t end = static_cast<std::int32_t>(static_cast<std::uint32_t>(start) + size);
    auto skip = [&]() -> void* {
        stream->Seek(end);
        return nullptr;
    };
    // Ids are serial numbers 1, 2, ...: 0 is the null object and the upper half never occurs.
    if (id == 0 || id > 0x7FFFFFFFu)
        return skip();
    if (size == 8) {
        TZevObjectIdRecord* r = Find(id);
        return r ? r->object : nullptr;
    }
    // A first occurrence: an id defined twice, or a reader the program did not register, is damage.
    if (Find(id))
        return skip();
    if (depth >= MaxNesting) {
        ZevDebugLog("ReadRef: references nested too deep\n");
        return skip();
    }
    TZevNameValue value = 0;
    if (!ReadRefReaderName(stream, &value) || value == 0)
        return skip();
    TZevObjectIdRecord* r = AddRecord(id, nullptr);
    if (!r)
        return skip();
    TZevRefReader reader = reinterpret_cast<TZevRefReader>(value);
    r->reader = reader;
    void* object = nullptr;
    ++depth;
    const int ok = reader(this, stream, &r->object);
    --depth;
    // The record may have been looked up again meanwhile, but never freed: records live as long as the table.
    object = ok ? r->object : nullptr;
    if (!object) {
        r->object = nullptr;
        return skip();
    }
    EnterObject(r);
    stream->Seek(end);
    return object;
}
