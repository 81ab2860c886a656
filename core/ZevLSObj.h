// Reference-counted object root, the serialisable-object root TZevLSObj, the class registry that creates objects
// by class name, and the tagged-chunk object stream format they are saved in.
#pragma once

#include "ZevDebug.h"
#include "ZevStream.h"
#include "ZevString.h"

#include <cstdint>

class TZevLSObj;
class TZevObjectIdTable;
struct TZevChunkHeader;

// Root of every reference-counted object: count 1 after construction.
class TZevObject : public TZevAllocated {
public:
    TZevObject() : refCount(1) {}
    virtual ~TZevObject() = default;
    TZevObject(const TZevObject&) = delete;
    TZevObject& operator=(const TZevObject&) = delete;

    // Count + 1; returns the new count.
    std::int32_t AddRef();
    // Count - 1; destroys the object when that reaches 0 and returns 0. A release of an object whose count is
    // already 0 or below (a pooled or parked object) only logs and returns 0: it never deletes a second time.
    std::int32_t Release();

    std::int32_t GetRefCount() const { return refCount; }
    // For pools that park objects and hand them out again with a count of their own.
    void SetRefCount(std::int32_t count) { refCount = count; }

protected:
    std::int32_t refCount;
};

// Makes a new object of its class (count 1), owned by the caller.
typedef TZevLSObj* (*TZevFactory)();

// One static record per registered class.
struct TZevClassRecord {
    char* name;         // heap copy (plain heap)
    char* parentName;   // heap copy, null for a class without parent
    TZevFactory factory;
    std::int32_t reserved;
};

// Fills the record (copies of both names, the factory, reserved 0) and enters it in the registry. A later
// registration of the same name hides an earlier one. Registering the same record again replaces its contents
// without a second registry entry.
void RegisterClassRecord(TZevClassRecord* record, const char* name, const char* parentName, TZevFactory factory);
// Enters a filled record (the registry is created on first use).
void InsertClassRecord(TZevClassRecord* record);
// The newest record registered under `name`; null when none (or for null).
TZevClassRecord* FindClassRecord(const char* name);
// A new object of the class registered under `name` (count 1, owned by the caller); null when no class of that
// name is registered.
TZevLSObj* CreateObjectByName(const char* name);
// Frees the registry's entries and the registry, and the name copies of every record it held (at exit).
void FreeClassRegistry();

// Root of every object that can be saved and loaded.
class TZevLSObj : public TZevObject {
public:
    TZevLSObj() : classRecord(nullptr) {}
    ~TZevLSObj() override = default;

    // Reads the object's own body (after its chunks). False when the stream is damaged or ends early: the object
    // is then dropped by ReadObject. Nothing to read in TZevLSObj.
    virtual bool Load(TZevStream* stream);
    // Writes the object: class name, chunks, closing chunk; a derived class calls its base's Save first and then
    // writes its own body. False when a write failed, or when the object has no class record (it was not made by
    // its factory, so no class name can be written).
    virtual bool Save(TZevStream* stream);
    // Hook through which a class writes its tagged chunks (BeginChunk, data, EndChunk). False on a failed write.
    virtual bool SaveChunks(TZevStream* stream, TZevChunkHeader* header);

    // SaveChunks with a fresh header, then the closing "TEND" chunk.
    bool WriteChunks(TZevStream* stream);
    // Reads chunk headers up to "TEND", handing each to its registered reader and moving to the chunk's end
    // afterwards. False on a damaged chunk, a stream that ends before "TEND", or a reader that failed.
    bool ReadChunks(TZevStream* stream);
    // A new object of the same class with the same saved state (through a memory stream); null when the object
    // cannot be saved or read back.
    TZevLSObj* Clone();

    TZevClassRecord* GetClassRecord() const { return classRecord; }
    void SetClassRecord(TZevClassRecord* record) { classRecord = record; }
    // The registered class name, null without a record.
    const char* GetClassRecordName() const { return classRecord ? classRecord->name : nullptr; }

protected:
    TZevClassRecord* classRecord;
};

// The factory pattern of every registered class: a new T that refers to its class record.
template <class T> TZevLSObj* ZevCreateRegistered(TZevClassRecord* record)
{
    T* object = new T();
    object->SetClassRecord(record);
    return object;
}

extern TZevClassRecord TZevLSObjClassRecord;
TZevLSObj* CreateTZevLSObj();

// ---- Object stream format -------------------------------------------------------------------------------------
// All integers are 32-bit little-endian; positions are absolute stream positions. A chunk is: start S, end E, tag
// text with its zero byte, data up to E. An object is: name length, class name, chunks, "TEND" chunk, body.

// The chunk in hand of a writer or reader.
struct TZevChunkHeader {
    std::int32_t start = 0;
    std::int32_t end = 0;
    TZevString tag;
};

// Longest class name, tag or float text that a reader accepts (the texts of a 260-byte buffer).
constexpr std::int32_t ZevMaxStreamName = 259;
// Deepest nesting of objects inside objects (a tree saves its children inside itself) that is saved or read.
constexpr int ZevMaxObjectNesting = 1024;

// Writes S, a placeholder end and the tag with its zero byte.
bool BeginChunk(TZevStream* stream, TZevChunkHeader* header, const char* tag);
// Rewrites the header with the real end and moves to the end.
bool EndChunk(TZevStream* stream, TZevChunkHeader* header);
// Reads one chunk header. False (stream position undefined) unless the start is where the header stands, the tag
// ends within ZevMaxStreamName characters and the stream, and the end lies after the tag and within the stream.
bool ReadChunkHeader(TZevStream* stream, TZevChunkHeader* header);

// Reader of one chunk tag: reads the chunk's data for the object being loaded. False when the data is damaged
// (the object is then dropped). The stream is moved to the chunk's end afterwards whatever the reader consumed.
typedef bool (*TZevChunkReader)(TZevStream* stream, TZevLSObj* object);
// Adds a reader for `tag` (at start-up).
void RegisterChunkReader(const char* tag, TZevChunkReader reader);
// Calls the reader registered for `tag`; true when there is none (the chunk is skipped) or it succeeded.
bool DispatchChunk(TZevStream* stream, TZevLSObj* object, const char* tag);
// Frees the chunk-reader table (at exit).
void FreeChunkReaders();

// Reads a saved object: class name, chunks, body. Null for an unregistered class name, a damaged or short stream,
// or objects nested deeper than ZevMaxObjectNesting; nothing of a failed object stays allocated.
TZevLSObj* ReadObject(TZevStream* stream);

// Bytes between the position and the end of the stream (0 when the position is past it): the bound of every
// length read from a stream.
std::int32_t StreamBytesLeft(TZevStream* stream);
// Raw little-endian 32-bit words.
bool WriteInt32(TZevStream* stream, std::int32_t value);
bool ReadInt32(TZevStream* stream, std::int32_t* value);
bool WriteUInt32(TZevStream* stream, std::uint32_t value);
bool ReadUInt32(TZevStream* stream, std::uint32_t* value);

// Text: 32-bit length L, then L bytes. A null text is written as length 1 and a zero byte (reads back empty).
bool WriteCString(TZevStream* stream, const char* text);
bool WriteString(TZevStream* stream, const TZevString& text);
// The text read; the null string when the stream is damaged (a text read back is never null otherwise).
TZevString ReadString(TZevStream* stream);
bool ReadString(TZevStream* stream, TZevString* text);
// Stores a new plain heap buffer (free it with free()) of L + 1 bytes; *text unchanged on failure. A length
// beyond what the stream holds fails before anything is allocated.
bool ReadCString(TZevStream* stream, char** text);

// Float: decimal text ("%.9g", so that every float reads back exactly) with its zero byte; the reader also reads
// the shorter "%g" texts of older streams.
bool WriteFloat(TZevStream* stream, const float* value);
bool ReadFloat(TZevStream* stream, float* value);
// The float read; 0 when the stream is damaged (use ReadFloat to tell).
float ReadFloatText(TZevStream* stream);

// ---- Shared objects of one save or load ------------------------------------------------------------------------

// Writes an object's data; returns 1 (0 on a failed write).
typedef int (*TZevRefWriter)(TZevObjectIdTable* table, TZevStream* stream, void* object);
// Reads an object's data, creates the object and stores it into the slot; returns 1. A reader that fails returns
// 0 and leaves the slot null (it frees what it made).
typedef int (*TZevRefReader)(TZevObjectIdTable* table, TZevStream* stream, void** slot);

struct TZevObjectIdRecord : TZevAllocated {
    std::uint32_t id;
    void* object;
    // The reader that made the object (or, writing, that will): what the object is. A reference met again
    // names only the id, and its object is a bare pointer that must not be looked at before its kind is known.
    TZevRefReader reader = nullptr;
    TZevObjectIdRecord* nextById;
    TZevObjectIdRecord* nextByObject;
};

// The objects already written or read in one save or load: an object written twice is stored once and read back
// as one object. Ids are serial numbers of this save (1, 2, ...), never addresses. A reference record is a 4-byte
// size and a 4-byte id, followed at an object's first occurrence by its reader's registered name and its data.
class TZevObjectIdTable : public TZevAllocated {
public:
    static constexpr std::uint32_t DefaultBucketCount = 6001;
    // Deepest nesting of references inside referenced objects that ReadRef follows.
    static constexpr int MaxNesting = 2048;

    TZevObjectIdTable();
    virtual ~TZevObjectIdTable();
    TZevObjectIdTable(const TZevObjectIdTable&) = delete;
    TZevObjectIdTable& operator=(const TZevObjectIdTable&) = delete;

    // Writes a reference to `object` (null allowed); at its first occurrence in this table also the reader's
    // registered name and writer(table, stream, object). 1 on success; 0 when a write failed or the reader has no
    // registered name (the record is still written whole, and reads back as null).
    int WriteRef(TZevStream* stream, TZevRefWriter writer, TZevRefReader reader, void* object);
    // Reads a reference: null for id 0; at a first occurrence the object made by the reader named in the stream;
    // the object read before for a repeated id. Null, with the stream moved past the record when its size can be
    // trusted, for a damaged record, an id never read, or a reader name that is not a registered stream function.
    void* ReadRef(TZevStream* stream);

    // The record of `id`, or null.
    TZevObjectIdRecord* Find(std::uint32_t id) const;
    // Frees every record and replaces the buckets by n empty ones (none for 0). The table grows its buckets
    // by itself as records are added, so that a lookup stays short in a save of millions of objects.
    void Resize(std::uint32_t n);
    std::uint32_t GetBucketCount() const { return bucketCount; }

    // A word of the operation's owner that readers and writers may consult (a body file's load context).
    void* GetContext() const { return context; }
    void SetContext(void* value) { context = value; }

private:
    struct TRecordBlock;

    TZevObjectIdRecord* FindObject(const void* object) const;
    TZevObjectIdRecord* AddRecord(std::uint32_t id, void* object);
    // Enters a record whose object its reader has just made.
    void EnterObject(TZevObjectIdRecord* r);
    // More buckets for more records (the records stay); false when there was no memory for them.
    bool Grow();

    std::uint32_t bucketCount;
    TZevObjectIdRecord** byId;
    TZevObjectIdRecord** byObject;
    std::uint32_t recordCount = 0;
    // Records are taken in blocks and live as long as the table's buckets.
    TRecordBlock* blocks = nullptr;
    std::uint32_t blockUsed = 0;
    std::uint32_t nextId;
    int depth;
    void* context;
};

// Start-up of this file: registers TZevLSObj, creates the chunk-reader table and the dictionaries, and arranges
// their clean-up at exit. Runs once; later calls do nothing.
void ZevLSObjInit();
