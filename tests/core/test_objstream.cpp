#include "ZevBitmap.h"
#include "ZevLSObj.h"
#include "ZevNameTable.h"
#include "ZevTree.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

// A class with a chunk that has a reader, a chunk that has none, and a body of its own.
struct ChunkObject : TZevLSObj {
    std::int32_t chunkValue = 0;
    std::int32_t bodyValue = 0;

    bool SaveChunks(TZevStream* s, TZevChunkHeader* h) override
    {
        const char unknown[6] = "junk!";
        return BeginChunk(s, h, "TZZQ") && s->Write(unknown, 6) == 1 && EndChunk(s, h) &&
               BeginChunk(s, h, "TTCK") && WriteInt32(s, chunkValue) && WriteInt32(s, 99) && EndChunk(s, h);
    }
    bool Save(TZevStream* s) override { return TZevLSObj::Save(s) && WriteInt32(s, bodyValue); }
    bool Load(TZevStream* s) override { return ReadInt32(s, &bodyValue); }
};

TZevClassRecord ChunkObjectRecord;
TZevLSObj* CreateChunkObject()
{
    return ZevCreateRegistered<ChunkObject>(&ChunkObjectRecord);
}

// Reads only the first word: the stream is moved to the chunk's end whatever a reader leaves.
bool ReadTestChunk(TZevStream* s, TZevLSObj* object)
{
    ChunkObject* c = dynamic_cast<ChunkObject*>(object);
    return c && ReadInt32(s, &c->chunkValue);
}

// A shared object and its named writer and reader.
struct Shared : TZevAllocated {
    std::int32_t value = 0;
};

int WriteShared(TZevObjectIdTable*, TZevStream* s, void* object)
{
    return WriteInt32(s, static_cast<Shared*>(object)->value) ? 1 : 0;
}

int ReadShared(TZevObjectIdTable*, TZevStream* s, void** slot)
{
    Shared* x = new Shared();
    if (!ReadInt32(s, &x->value)) {
        delete x;
        return 0;
    }
    *slot = x;
    return 1;
}

// A reader that is registered only as a plain callback, not as a stream function.
int ReadSharedUnlisted(TZevObjectIdTable* t, TZevStream* s, void** slot)
{
    return ReadShared(t, s, slot);
}

// A chain of references: each object's data is a reference to the next one.
struct Link : TZevAllocated {
    Link* next = nullptr;
    ~Link() { delete next; }
};
int ReadLink(TZevObjectIdTable* t, TZevStream* s, void** slot);
int WriteLink(TZevObjectIdTable* t, TZevStream* s, void* object)
{
    return t->WriteRef(s, WriteLink, ReadLink, static_cast<Link*>(object)->next);
}
int ReadLink(TZevObjectIdTable* t, TZevStream* s, void** slot)
{
    Link* l = new Link();
    l->next = static_cast<Link*>(t->ReadRef(s));
    *slot = l;
    return 1;
}

void InitObjects()
{
    static bool done = false;
    ZevCoreInit();
    ZevLSObjInit();
    ZevBitmapInit();
    if (done)
        return;
    done = true;
    RegisterClassRecord(&ChunkObjectRecord, "TZevTestChunkObject", "TZevLSObj", CreateChunkObject);
    RegisterChunkReader("TTCK", ReadTestChunk);
    GetSaveLoadFunctionDictionary()->Add("TestShared_SaveFunction", WriteShared);
    GetSaveLoadFunctionDictionary()->Add("TestShared_LoadFunction", ReadShared);
    GetSaveLoadFunctionDictionary()->Add("TestLink_LoadFunction", ReadLink);
    GetFunctionDictionary()->Add("TestShared_UnlistedLoad", ReadSharedUnlisted);
}

Bytes StreamBytes(TZevStream& s)
{
    Bytes b(static_cast<std::size_t>(s.GetSize()), '\0');
    s.Seek(0);
    if (!b.empty())
        s.Read(b.data(), static_cast<std::int32_t>(b.size()));
    return b;
}

Bytes Word(std::uint32_t v)
{
    Bytes b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    return b;
}

std::uint32_t WordAt(const Bytes& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

void PutWord(Bytes& b, std::size_t at, std::uint32_t v)
{
    const Bytes w = Word(v);
    b.replace(at, 4, w);
}

TZevLSObj* ReadFromBytes(const Bytes& b)
{
    TZevBufferStream s;
    s.SetData(b.data(), static_cast<std::int32_t>(b.size()));
    return ReadObject(&s);
}

// A tree that uses every part of the format: names, children, sentinels, a bitmap chunk and a chunk object body.
TZevStringTree* MakeSample()
{
    TZevStringTree* root = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    root->SetName("root");
    TZevBitmap* bmp = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    bmp->CreateByDepth(3, 2, 32);
    for (int i = 0; i < 24; ++i)
        bmp->GetBits()[i] = static_cast<std::uint8_t>(i * 7);
    bmp->SetName("pixels");
    root->AddChild(bmp);
    TZevStringTree* leaf = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    root->AddChild(leaf);
    return root;
}

Bytes SampleBytes()
{
    TZevStringTree* root = MakeSample();
    TZevMemStream s;
    EXPECT_TRUE(root->Save(&s));
    delete root;
    return StreamBytes(s);
}

} // namespace

TEST(ObjectStream, SavedObjectHasTheExactLayout)
{
    InitObjects();
    TZevLSObj* o = CreateTZevLSObj();
    TZevMemStream s;
    ASSERT_TRUE(o->Save(&s));
    const Bytes expected = Word(9) + "TZevLSObj" + Word(13) + Word(26) + Bytes("TEND\0", 5);
    EXPECT_EQ(StreamBytes(s), expected);
    EXPECT_EQ(s.GetSize(), 26);
    o->Release();

    // A chunk begun at 100 with 40 bytes of data ends at 100 + 8 + 5 + 40.
    TZevMemStream c;
    const Bytes pad(100, 'x'), data(40, 'd');
    c.Write(pad.data(), 100);
    TZevChunkHeader h;
    ASSERT_TRUE(BeginChunk(&c, &h, "TBMP"));
    c.Write(data.data(), 40);
    ASSERT_TRUE(EndChunk(&c, &h));
    EXPECT_EQ(c.Tell(), 153);
    const Bytes all = StreamBytes(c);
    EXPECT_EQ(all.substr(100, 13), Word(100) + Word(153) + Bytes("TBMP\0", 5));
}

TEST(ObjectStream, RoundTripsThroughMemoryAndFileSkippingUnknownChunks)
{
    InitObjects();
    ChunkObject* o = static_cast<ChunkObject*>(CreateObjectByName("TZevTestChunkObject"));
    o->chunkValue = 1234;
    o->bodyValue = -77;
    {
        TZevMemStream m;
        ASSERT_TRUE(o->Save(&m));
        m.Seek(0);
        ChunkObject* back = dynamic_cast<ChunkObject*>(ReadObject(&m));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->chunkValue, 1234);
        EXPECT_EQ(back->bodyValue, -77);
        EXPECT_EQ(m.Tell(), m.GetSize());
        delete back;
    }
    {
        TZevFile f("objstream_roundtrip.bin", "wb");
        ASSERT_TRUE(o->Save(&f));
    }
    {
        TZevFile f("objstream_roundtrip.bin", "rb");
        ChunkObject* back = dynamic_cast<ChunkObject*>(ReadObject(&f));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->chunkValue, 1234);
        EXPECT_EQ(back->bodyValue, -77);
        delete back;
    }
    delete o;
}

TEST(ObjectStream, TextsAndFloats)
{
    TZevMemStream s;
    ASSERT_TRUE(WriteCString(&s, nullptr));
    ASSERT_TRUE(WriteCString(&s, "abc"));
    EXPECT_EQ(StreamBytes(s), Word(1) + Bytes(1, '\0') + Word(3) + "abc");
    s.Seek(0);
    TZevString a = ReadString(&s);
    ASSERT_FALSE(a.IsNull());
    EXPECT_STREQ(a.CStr(), "");
    char* b = nullptr;
    ASSERT_TRUE(ReadCString(&s, &b));
    EXPECT_STREQ(b, "abc");
    std::free(b);
    EXPECT_TRUE(ReadString(&s).IsNull()); // nothing left

    TZevMemStream f;
    const float half = 0.5f;
    ASSERT_TRUE(WriteFloat(&f, &half));
    EXPECT_EQ(StreamBytes(f), Bytes("0.5\0", 4));

    // Every float comes back exactly.
    const float values[] = {0.1f, 1.0f / 3.0f, -2.5e-7f, FLT_MAX, -FLT_MAX, FLT_MIN, 1e-45f, 123456.789f, -0.0f};
    TZevMemStream r;
    for (float v : values)
        ASSERT_TRUE(WriteFloat(&r, &v));
    r.Seek(0);
    for (float v : values) {
        float back = 1;
        ASSERT_TRUE(ReadFloat(&r, &back));
        EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0) << v;
    }

    // Texts of the old six-digit writer, and texts a float cannot hold.
    struct {
        Bytes text;
        float value;
    } old[] = {{Bytes("0.333333\0", 9), 0.333333f}, {Bytes("1e+06\0", 6), 1e6f}, {Bytes("-inf\0", 5), -INFINITY},
               {Bytes(" +2\0", 4), 2.0f}, {Bytes("1e50\0", 5), INFINITY}};
    for (const auto& c : old) {
        TZevBufferStream t;
        t.SetData(c.text.data(), static_cast<std::int32_t>(c.text.size()));
        float v = 0;
        ASSERT_TRUE(ReadFloat(&t, &v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    for (const Bytes& bad : {Bytes("abc\0", 4), Bytes("\0", 1), Bytes("12", 2), Bytes(300, '1')}) {
        TZevBufferStream t;
        t.SetData(bad.data(), static_cast<std::int32_t>(bad.size()));
        float v = 0;
        EXPECT_FALSE(ReadFloat(&t, &v)) << bad.size();
    }
}

TEST(ObjectStream, SharedObjectIsWrittenOnceAndReadBackAsOne)
{
    InitObjects();
    Shared* x = new Shared();
    x->value = 42;
    Shared* y = new Shared();
    y->value = 7;
    TZevMemStream s;
    {
        TZevObjectIdTable table;
        EXPECT_EQ(table.WriteRef(&s, WriteShared, ReadShared, x), 1);
        EXPECT_EQ(table.WriteRef(&s, WriteShared, ReadShared, x), 1);
        EXPECT_EQ(table.WriteRef(&s, WriteShared, ReadShared, nullptr), 1);
        EXPECT_EQ(table.WriteRef(&s, WriteShared, ReadShared, y), 1);
    }
    const Bytes b = StreamBytes(s);
    // First record: size, id 1 (a serial number, not an address), the reader's name, the data.
    const Bytes name = "TestShared_LoadFunction";
    const std::uint32_t firstSize = 8 + 4 + static_cast<std::uint32_t>(name.size()) + 4;
    EXPECT_EQ(b.substr(0, firstSize), Word(firstSize) + Word(1) + Word(name.size()) + name + Word(42));
    EXPECT_EQ(b.substr(firstSize, 16), Word(8) + Word(1) + Word(8) + Word(0));
    EXPECT_EQ(WordAt(b, firstSize + 20), 2u);

    s.Seek(0);
    TZevObjectIdTable table;
    Shared* a = static_cast<Shared*>(table.ReadRef(&s));
    Shared* again = static_cast<Shared*>(table.ReadRef(&s));
    EXPECT_EQ(table.ReadRef(&s), nullptr);
    Shared* c = static_cast<Shared*>(table.ReadRef(&s));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, again);
    EXPECT_EQ(a->value, 42);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->value, 7);
    EXPECT_EQ(s.Tell(), s.GetSize());
    delete a;
    delete c;
    delete x;
    delete y;
}

// A save of many shared objects: the table grows while it fills, and every object, written first and then
// referred to again in the opposite order, is still found by address when writing and by id when reading.
TEST(ObjectStream, ManySharedObjectsAreFoundAgainInOneTable)
{
    InitObjects();
    const int n = 30000;
    std::vector<Shared> objects(static_cast<std::size_t>(n));
    TZevMemStream s;
    {
        TZevObjectIdTable table;
        for (int i = 0; i < n; ++i) {
            objects[static_cast<std::size_t>(i)].value = i;
            ASSERT_EQ(table.WriteRef(&s, WriteShared, ReadShared, &objects[static_cast<std::size_t>(i)]), 1);
        }
        EXPECT_GT(table.GetBucketCount(), TZevObjectIdTable::DefaultBucketCount);
        for (int i = n - 1; i >= 0; --i) {
            const std::int32_t at = s.Tell();
            ASSERT_EQ(table.WriteRef(&s, WriteShared, ReadShared, &objects[static_cast<std::size_t>(i)]), 1);
            ASSERT_EQ(s.Tell() - at, 8) << "object " << i << " was written twice";
        }
    }
    s.Seek(0);
    const std::int32_t live = NewCount - DeleteCount;
    {
        TZevObjectIdTable table;
        std::vector<Shared*> read(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            read[static_cast<std::size_t>(i)] = static_cast<Shared*>(table.ReadRef(&s));
            ASSERT_NE(read[static_cast<std::size_t>(i)], nullptr);
            ASSERT_EQ(read[static_cast<std::size_t>(i)]->value, i);
        }
        for (int i = n - 1; i >= 0; --i)
            ASSERT_EQ(table.ReadRef(&s), read[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(s.Tell(), s.GetSize());
        for (Shared* x : read)
            delete x;
    }
    EXPECT_EQ(NewCount - DeleteCount, live) << "the table's records and buckets are freed with it";
}

TEST(ObjectStream, ReaderNamesResolveOnlyToRegisteredStreamFunctions)
{
    InitObjects();
    Shared x;
    TZevMemStream s;
    TZevObjectIdTable w;
    // A reader that is not a registered stream function cannot be named: the save says so.
    EXPECT_EQ(w.WriteRef(&s, WriteShared, ReadSharedUnlisted, &x), 0);
    s.Seek(0);
    TZevObjectIdTable r;
    EXPECT_EQ(r.ReadRef(&s), nullptr);
    EXPECT_EQ(s.Tell(), s.GetSize());

    // Names in a stream: a plain callback, a record, a library procedure, an unknown name. Each record is skipped.
    static const int record = 5;
    GetFunctionDictionary()->Add("TestSharedRecord", static_cast<const void*>(&record));
    std::vector<Bytes> names = {"TestShared_UnlistedLoad", "TestSharedRecord", "NoSuchReader", "",
                                "libqe_no_such_library.so ReadShared"};
    Bytes stream;
    for (const Bytes& n : names) {
        const std::uint32_t size = 8 + 4 + static_cast<std::uint32_t>(n.size()) + 4;
        stream += Word(size) + Word(static_cast<std::uint32_t>(stream.size() / 8 + 1)) + Word(n.size()) + n + Word(3);
    }
    TZevBufferStream in;
    in.SetData(stream.data(), static_cast<std::int32_t>(stream.size()));
    TZevObjectIdTable t;
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(t.ReadRef(&in), nullptr) << names[i];
    EXPECT_EQ(in.Tell(), in.GetSize());
    EXPECT_EQ(GetDllTable()->FindModule("libqe_no_such_library.so"), nullptr);
}

TEST(ObjectStream, DamagedReferenceRecordsGiveNull)
{
    InitObjects();
    Shared x;
    x.value = 9;
    TZevMemStream s;
    TZevObjectIdTable w;
    ASSERT_EQ(w.WriteRef(&s, WriteShared, ReadShared, &x), 1);
    const Bytes good = StreamBytes(s);

    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"negative id", [](Bytes& b) { PutWord(b, 4, 0xFFFFFFF0u); }},
        {"size below 8", [](Bytes& b) { PutWord(b, 0, 7); }},
        {"size past the end", [](Bytes& b) { PutWord(b, 0, 0x7FFFFFFF); }},
        {"huge name length", [](Bytes& b) { PutWord(b, 8, 0x7FFFFFF0u); }},
        {"repeated id never read", [](Bytes& b) { b = Word(8) + Word(77); }},
        {"data cut short", [](Bytes& b) { b.resize(b.size() - 2); }},
        {"id defined twice", [](Bytes& b) { b += b; }},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        c.damage(b);
        TZevBufferStream in;
        in.SetData(b.data(), static_cast<std::int32_t>(b.size()));
        TZevObjectIdTable t;
        void* first = t.ReadRef(&in);
        if (std::string(c.what) == "id defined twice") {
            // The first definition stands; the second is refused.
            ASSERT_NE(first, nullptr);
            EXPECT_EQ(t.ReadRef(&in), nullptr) << c.what;
            delete static_cast<Shared*>(first);
            continue;
        }
        EXPECT_EQ(first, nullptr) << c.what;
        delete static_cast<Shared*>(first);
    }

    // References nested deeper than the table follows end in null instead of exhausting the stack.
    Link* head = new Link();
    Link* l = head;
    for (int i = 0; i < TZevObjectIdTable::MaxNesting + 100; ++i)
        l = l->next = new Link();
    GetSaveLoadFunctionDictionary()->Add("TestLink_SaveFunction", WriteLink);
    TZevMemStream chain;
    {
        TZevObjectIdTable t;
        ASSERT_EQ(t.WriteRef(&chain, WriteLink, ReadLink, head), 1);
    }
    chain.Seek(0);
    TZevObjectIdTable t;
    Link* back = static_cast<Link*>(t.ReadRef(&chain));
    ASSERT_NE(back, nullptr);
    int depth = 0;
    for (Link* p = back; p; p = p->next)
        ++depth;
    EXPECT_LE(depth, TZevObjectIdTable::MaxNesting + 1);
    delete back;
    delete head;
}

TEST(ObjectStream, EveryCutOfAValidStreamGivesNullWithoutLeaks)
{
    InitObjects();
    const Bytes full = SampleBytes();
    TZevLSObj* whole = ReadFromBytes(full);
    ASSERT_NE(whole, nullptr);
    delete whole;

    const int made = NewCount.load(), freed = DeleteCount.load();
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(ReadFromBytes(full.substr(0, n)), nullptr) << "cut at " << n;
    // Everything made for the failed reads was freed again.
    EXPECT_EQ(NewCount.load() - made, DeleteCount.load() - freed);
}

TEST(ObjectStream, DamagedObjectStreamsGiveNull)
{
    InitObjects();
    const Bytes good = SampleBytes();
    // Offsets in the sample: root name length at 0, name "TZevStringTree" (14), its TEND chunk at 18.
    const std::size_t tend = 18;
    const std::size_t child = tend + 13; // first child: the bitmap, whose "TBMP" chunk follows its name
    const std::size_t tbmp = child + 4 + 10;

    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"huge class name length", [](Bytes& b) { PutWord(b, 0, 0x7FFFFFFF); }},
        {"negative class name length", [](Bytes& b) { PutWord(b, 0, 0xFFFFFFFF); }},
        {"unknown class", [](Bytes& b) { b[5] = 'X'; }},
        {"unknown child class", [&](Bytes& b) { b[child + 6] = 'Q'; }},
        {"chunk end before its start", [&](Bytes& b) { PutWord(b, tbmp + 4, static_cast<std::uint32_t>(tbmp) - 1); }},
        {"chunk end inside its header", [&](Bytes& b) { PutWord(b, tbmp + 4, static_cast<std::uint32_t>(tbmp) + 9); }},
        {"chunk end past the stream", [&](Bytes& b) { PutWord(b, tbmp + 4, 0x7FFFFFF0u); }},
        {"chunk start not where it stands", [&](Bytes& b) { PutWord(b, tbmp, 0); }},
        {"tag without terminator", [&](Bytes& b) { b.replace(tbmp + 8, 300, Bytes(300, 'T')); }},
        {"no TEND", [&](Bytes& b) { b[tend + 8] = 'X'; }},
        {"TEND with data", [&](Bytes& b) { PutWord(b, tend + 4, static_cast<std::uint32_t>(tend) + 14); }},
        {"bitmap larger than the stream", [&](Bytes& b) { PutWord(b, tbmp + 13, 60000); }},
        {"bitmap of an unknown depth", [&](Bytes& b) { PutWord(b, tbmp + 13 + 8, 12); }},
        {"huge name text", [](Bytes& b) { PutWord(b, b.size() - 8, 0x7FFFFFFF); }},
    };
    for (const Case& c : cases) {
        Bytes b = good;
        c.damage(b);
        TZevLSObj* o = ReadFromBytes(b);
        EXPECT_EQ(o, nullptr) << c.what;
        delete o;
    }

    // A child list must hold tree nodes: the same stream with a tree child loads, with a plain object does not.
    auto object = [](const Bytes& name, std::size_t at) {
        const std::uint32_t tend = static_cast<std::uint32_t>(at + 4 + name.size());
        return Word(static_cast<std::uint32_t>(name.size())) + name + Word(tend) + Word(tend + 13) +
               Bytes("TEND\0", 5);
    };
    for (const Bytes childClass : {"TZevTree", "TZevLSObj"}) {
        Bytes b = object("TZevTree", 0);
        b += object(childClass, b.size());
        if (childClass == "TZevTree")
            b += object("TZevTreeSentinel", b.size());
        b += object("TZevTreeSentinel", b.size());
        TZevLSObj* o = ReadFromBytes(b);
        EXPECT_EQ(o != nullptr, childClass == "TZevTree") << childClass;
        delete o;
    }

    // Objects nested past the limit (each a tree whose children never end) stop the read.
    Bytes deep;
    for (int i = 0; i < ZevMaxObjectNesting + 50; ++i) {
        const std::uint32_t at = static_cast<std::uint32_t>(deep.size()) + 12;
        deep += Word(8) + "TZevTree" + Word(at) + Word(at + 13) + Bytes("TEND\0", 5);
    }
    EXPECT_EQ(ReadFromBytes(deep), nullptr);
}
