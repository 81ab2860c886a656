// Script values in object streams: LispSaveValue / LispLoadValue, the value file builtins, and damaged streams.
#include "LispTestHost.h"

#include "LispArgs.h"
#include "LispGeneral.h"
#include "LispLSObj.h"
#include "LispStream.h"
#include "ZevNameTable.h"
#include "ZevTree.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// An engine object kind for the tests: a named tree node, saved as its name.
int SaveTestNode(TZevObjectIdTable*, TZevStream* stream, void* object)
{
    return WriteCString(stream, static_cast<TZevStringTree*>(object)->GetName()) ? 1 : 0;
}

int LoadTestNode(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    TZevString name;
    if (!ReadString(stream, &name))
        return 0;
    auto* node = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    node->SetName(name.CStr());
    *slot = node;
    return 1;
}

int LoadLooseNode(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    return LoadTestNode(table, stream, slot);
}

int SaveLooseNode(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    return SaveTestNode(table, stream, object);
}

class LispStream : public LispHostTest {
protected:
    void SetUp() override
    {
        LispHostTest::SetUp();
        LispRegisterOuterParts();
        static bool registered = false;
        if (!registered) {
            registered = true;
            GetSaveLoadFunctionDictionary()->Add("TestNode_LoadFunction", LoadTestNode);
            GetSaveLoadFunctionDictionary()->Add("TestNode_SaveFunction", SaveTestNode);
            // A load/save pair of the same form whose objects may not stand alone.
            GetSaveLoadFunctionDictionary()->Add("LooseNode_LoadFunction", LoadLooseNode);
            GetSaveLoadFunctionDictionary()->Add("LooseNode_SaveFunction", SaveLooseNode);
        }
    }

    TZevLispRef Eval(const char* text)
    {
        TZevLispRef form, value;
        host->SendCommand((std::string("(def evalResult ") + text + ")").c_str());
        LispIntern(form, "evalResult");
        LispAtom(form)->GetValue(value);
        return value;
    }

    std::vector<unsigned char> Save(const TZevLispRef& v)
    {
        TZevMemStream stream;
        TZevObjectIdTable table;
        EXPECT_EQ(LispSaveValue(&table, &stream, &v), 1);
        std::vector<unsigned char> bytes(static_cast<std::size_t>(stream.GetSize()));
        stream.Seek(0);
        if (!bytes.empty())
            stream.Read(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        return bytes;
    }

    // 1 and the value, or 0.
    int Load(const std::vector<unsigned char>& bytes, TZevLispRef& out)
    {
        TZevBufferStream stream;
        stream.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        TZevObjectIdTable table;
        const int ok = LispLoadValue(&table, &stream, &out);
        EXPECT_TRUE(LispLoadHoldList->IsEmpty());
        return ok;
    }

    TZevLispRef RoundTrip(const TZevLispRef& v)
    {
        TZevLispRef out;
        EXPECT_EQ(Load(Save(v), out), 1);
        return out;
    }

    static std::string Text(const TZevLispRef& v) { return v.IsNull() ? "NULL" : v->ToString().CStr(); }
};

std::uint32_t Word(const std::vector<unsigned char>& b, std::size_t at)
{
    std::uint32_t w;
    std::memcpy(&w, b.data() + at, 4);
    return w;
}

TEST_F(LispStream, AnIntegerIsOneRecordOf21Bytes)
{
    TZevLispRef five;
    LispMakeInteger(five, 5);
    const std::vector<unsigned char> bytes = Save(five);
    ASSERT_EQ(bytes.size(), 21u);
    EXPECT_EQ(Word(bytes, 0), 21u);
    EXPECT_EQ(Word(bytes, 4), 1u); // a serial number of this save, not an address
    EXPECT_EQ(Word(bytes, 8), 5u);
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 17), "TI_LF");
    EXPECT_EQ(Word(bytes, 17), 5u);
    TZevLispRef back;
    ASSERT_EQ(Load(bytes, back), 1);
    ASSERT_TRUE(LispIsInteger(back));
    EXPECT_EQ(static_cast<TZevLispInteger*>(back.Get())->Value, 5);
}

TEST_F(LispStream, ValuesComeBackEqual)
{
    TZevLispRef f;
    LispMakeFloat(f, 0.1);
    TZevLispRef back = RoundTrip(f);
    ASSERT_TRUE(LispIsFloat(back));
    EXPECT_EQ(std::memcmp(&static_cast<TZevLispFloat*>(back.Get())->Value, &static_cast<TZevLispFloat*>(f.Get())->Value,
                          8),
              0);

    EXPECT_EQ(RoundTrip(Nil), Nil); // nil itself, not a string "nil"

    TZevLispRef plain;
    LispMakeString(plain, "plain", 0);
    back = RoundTrip(plain);
    ASSERT_TRUE(LispIsString(back));
    EXPECT_EQ(static_cast<TZevLispString*>(back.Get())->Quoted, 0);
    EXPECT_EQ(Text(back), "plain");

    TZevLispRef atom, car;
    LispIntern(atom, "someAtom");
    EXPECT_EQ(RoundTrip(atom), atom);
    LispFindBuiltin(car, "car");
    EXPECT_EQ(RoundTrip(car), car);

    TZevLispRef error;
    LispMakeError(error, "a\nb");
    back = RoundTrip(error);
    ASSERT_TRUE(LispIsError(back));
    EXPECT_EQ(static_cast<TZevLispError*>(back.Get())->Message.GetCount(), 2);
    EXPECT_EQ(Text(back), "Error: a\nb\n");

    TZevLispRef list = Eval("'(1 2.5 \"s\" (a . b) nil (x (y (z))))");
    EXPECT_EQ(Text(RoundTrip(list)), "(1 2.500000 \"s\" (a . b) nil (x (y (z))))");
}

TEST_F(LispStream, ASharedValueIsWrittenOnceAndLoadsAsOne)
{
    TZevLispRef s, list;
    LispMakeString(s, "shared");
    list = LispMakeResult(host, "ll", s, s);
    const std::vector<unsigned char> bytes = Save(list);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("TS_LF"), text.rfind("TS_LF"));
    TZevLispRef back;
    ASSERT_EQ(Load(bytes, back), 1);
    ASSERT_TRUE(LispIsPair(back));
    TZevLispRef second = LispPair(LispPair(back)->Cdr)->Car;
    EXPECT_EQ(LispPair(back)->Car, second);
}

// No script makes a cycle of pairs, so one read from a stream is damage: loaded, it would hold itself for ever and a
// walk along it would never end. Cycles through the car and through the cdr alike.
TEST_F(LispStream, ACycleOfPairsIsRefusedOnLoad)
{
    for (bool throughCar : {false, true}) {
        SCOPED_TRACE(throughCar ? "car" : "cdr");
        TZevLispRef list = Eval("(list 1 (list 2) 3)");
        TZevPair* inner = LispPair(LispPair(LispPair(list)->Cdr)->Car);
        TZevLispRef& link = throughCar ? inner->Car : inner->Cdr;
        link = list;
        const std::vector<unsigned char> bytes = Save(list);
        link = Nil;
        TZevLispRef back = Eval("'untouched");
        EXPECT_EQ(Load(bytes, back), 0);
        EXPECT_EQ(Text(back), "untouched");
    }
    // A shared sub-list is no cycle.
    TZevLispRef sub = Eval("(list 1 2)");
    TZevLispRef shared = LispMakeResult(host, "ll", sub, sub);
    TZevLispRef back;
    ASSERT_EQ(Load(Save(shared), back), 1);
    EXPECT_EQ(LispPair(back)->Car, LispPair(LispPair(back)->Cdr)->Car);
}

TEST_F(LispStream, LongListsSaveAndLoadWithoutDeepRecursion)
{
    TZevLispRef list = Nil;
    for (int i = 0; i < 1000; ++i) {
        TZevLispRef n, cell;
        LispMakeInteger(n, i);
        LispCons(cell, n, list);
        list = cell;
    }
    TZevLispRef back = RoundTrip(list);
    int count = 0;
    for (TZevLispRef p = back; LispIsPair(p); p = LispPair(p)->Cdr)
        ++count;
    EXPECT_EQ(count, 1000);
    // Far longer than references may nest: the records of a list lie inside one another, and are still
    // written and read in a loop.
    for (int i = 0; i < 200000; ++i) {
        TZevLispRef cell;
        LispCons(cell, Nil, list);
        list = cell;
    }
    const std::vector<unsigned char> bytes = Save(list);
    EXPECT_EQ(Word(bytes, 0), bytes.size());
    TZevLispRef out;
    ASSERT_EQ(Load(bytes, out), 1);
    count = 0;
    TZevLispRef p = out;
    for (; LispIsPair(p) && count < 200000; p = LispPair(p)->Cdr)
        ++count;
    EXPECT_EQ(count, 200000);
    EXPECT_EQ(Text(LispPair(p)->Car), "999");
}

TEST_F(LispStream, DeepNestingIsBoundedAlike)
{
    // Lists inside lists nest their records: as deep as a stream may be read back is written, deeper is refused.
    auto nested = [](int depth) {
        TZevLispRef v = Nil;
        for (int i = 0; i < depth; ++i) {
            TZevLispRef cell;
            LispCons(cell, v, Nil);
            v = cell;
        }
        return v;
    };
    TZevLispRef back = RoundTrip(nested(1000));
    int depth = 0;
    for (TZevLispRef p = back; LispIsPair(p); p = LispPair(p)->Car)
        ++depth;
    EXPECT_EQ(depth, 1000);
    TZevMemStream stream;
    TZevObjectIdTable table;
    TZevLispRef deep = nested(5000);
    EXPECT_EQ(LispSaveValue(&table, &stream, &deep), 0);
}

TEST_F(LispStream, WrappedObjectsTravelWithTheirNamedFunctions)
{
    auto* node = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    node->SetName("node");
    TZevLispRef w, bare, list;
    LispMakeLSObj(w, node, LoadTestNode, SaveTestNode);
    LispMakeLSObj(bare, node); // no named functions: its object is saved as null
    node->Release();
    TZevLispRef w2;
    LispMakeLSObj(w2, node, LoadTestNode, SaveTestNode); // a second wrapper of the same object
    list = LispMakeResult(host, "llll", w, w, w2, bare);

    TZevLispRef back = RoundTrip(list);
    ASSERT_EQ(Text(back), "(<LSObj TZevStringTree> <LSObj TZevStringTree> <LSObj TZevStringTree> )");
    TZevLispRef a = LispPair(back)->Car;
    TZevLispRef b = LispPair(LispPair(back)->Cdr)->Car;
    TZevLispRef c = LispPair(LispPair(LispPair(back)->Cdr)->Cdr)->Car;
    EXPECT_EQ(a, b);
    ASSERT_NE(a, c);
    TZevLSObj* loaded = LispLSObj(a)->Object;
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(loaded, node);
    EXPECT_STREQ(static_cast<TZevStringTree*>(loaded)->GetName(), "node");
    EXPECT_EQ(LispLSObj(c)->Object, loaded);
    EXPECT_EQ(LispLSObj(a)->LoadFunction, &LoadTestNode);
    EXPECT_EQ(LispLSObj(a)->SaveFunction, &SaveTestNode);
    // Each of the two wrappers holds its own reference: the object met again got one of its own.
    EXPECT_EQ(loaded->GetRefCount(), 2);
}

TEST_F(LispStream, DamagedStreamsAreRefusedWithoutHarm)
{
    auto* node = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    node->SetName("n");
    TZevLispRef w;
    LispMakeLSObj(w, node, LoadTestNode, SaveTestNode);
    node->Release();
    TZevLispRef s;
    LispMakeString(s, "str");
    TZevLispRef value = LispMakeResult(host, "l(lfi)ll", s, 2.5, 3, s, Nil, w);
    const std::vector<unsigned char> good = Save(value);

    // Every truncation.
    for (std::size_t n = 0; n < good.size(); ++n) {
        TZevLispRef out;
        EXPECT_EQ(Load(std::vector<unsigned char>(good.begin(), good.begin() + n), out), 0) << n;
        EXPECT_TRUE(out.IsNull());
    }
    // Every byte changed: loads or refuses, never crashes (the sanitizer build watches).
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (unsigned char x : {0x01, 0x80, 0xFF}) {
            std::vector<unsigned char> bad = good;
            bad[at] ^= x;
            TZevLispRef out;
            Load(bad, out);
        }
    }
}

TEST_F(LispStream, AFailedLoadLeavesNoWayToTheObjectsItDropped)
{
    auto* node = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    TZevLispRef w, five;
    LispMakeLSObj(w, node, LoadTestNode, SaveTestNode);
    node->Release();
    LispMakeInteger(five, 5);
    std::vector<unsigned char> bytes = Save(LispMakeResult(host, "lll", w, w, five));
    // Ids in writing order: pair 1, wrapper 2, its object 3, pair 4, pair 5, integer 6. The integer's reader
    // name is spoiled, so the load fails after the wrapper has taken its object.
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t at = text.find("TI_LF");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = 'X';
    const unsigned char objectAgain[8] = {8, 0, 0, 0, 3, 0, 0, 0};
    bytes.insert(bytes.end(), objectAgain, objectAgain + 8);
    TZevBufferStream stream;
    stream.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    TZevObjectIdTable table;
    TZevLispRef out;
    EXPECT_EQ(LispLoadValue(&table, &stream, &out), 0);
    ASSERT_NE(table.Find(3), nullptr);
    EXPECT_EQ(table.Find(3)->object, nullptr);
    EXPECT_EQ(LispLoadValue(&table, &stream, &out), 0);
}

TEST_F(LispStream, OnlyValueReadersMayNameAValue)
{
    // A first-occurrence record with id 1: size, id, reader name, body.
    auto record = [](const char* reader, const std::string& body) {
        auto word = [](std::uint32_t w) {
            char b[4];
            std::memcpy(b, &w, 4);
            return std::string(b, 4);
        };
        const std::string rest = word(static_cast<std::uint32_t>(std::strlen(reader))) + reader + body;
        const std::string all = word(static_cast<std::uint32_t>(8 + rest.size())) + word(1) + rest;
        return std::vector<unsigned char>(all.begin(), all.end());
    };
    TZevLispRef out;
    EXPECT_EQ(Load(record("TI_LF", std::string("\x07\0\0\0", 4)), out), 1);
    EXPECT_EQ(Text(out), "7");
    out.Clear();
    EXPECT_EQ(Load(record("XX_LF", std::string("\x07\0\0\0", 4)), out), 0); // not registered
    // A writer named as a reader (both are stream functions) is never called as one.
    EXPECT_EQ(Load(record("TI_SF", std::string("\x07\0\0\0", 4)), out), 0);
    // A registered function that is not a stream function, or a library procedure name.
    EXPECT_EQ(Load(record("car", ""), out), 0);
    EXPECT_EQ(Load(record("libc.so.6 abort", ""), out), 0);
    // An engine object where a value belongs: refused and dropped, and a later reference to its id in the same
    // load operation (as a body's save holds several values) finds nothing.
    {
        std::vector<unsigned char> bytes = record("TestNode_LoadFunction", std::string("\x01\0\0\0x", 5));
        const unsigned char again[8] = {8, 0, 0, 0, 1, 0, 0, 0};
        bytes.insert(bytes.end(), again, again + 8);
        TZevBufferStream stream;
        stream.SetData(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        TZevObjectIdTable table;
        EXPECT_EQ(LispLoadValue(&table, &stream, &out), 0);
        EXPECT_EQ(LispLoadValue(&table, &stream, &out), 0);
        EXPECT_TRUE(out.IsNull());
    }
    // A wrapper's object read by a writer, or kept with named functions that are not a load/save pair.
    {
        auto wrapped = [&](const char* objectReader, const char* load, const char* save) {
            auto text = [](const char* t) {
                const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(t));
                return std::string(reinterpret_cast<const char*>(&n), 4) + t;
            };
            std::vector<unsigned char> object = record(objectReader, text("x"));
            object[4] = 2; // id 2: the wrapper's own record has id 1
            return record("TO_LF", std::string(object.begin(), object.end()) + text(load) + text(save));
        };
        EXPECT_EQ(Load(wrapped("TestNode_LoadFunction", "TestNode_LoadFunction", "TestNode_SaveFunction"), out), 1);
        EXPECT_EQ(Text(out), "<LSObj TZevStringTree>");
        EXPECT_EQ(Load(wrapped("TestNode_SaveFunction", "TestNode_LoadFunction", "TestNode_SaveFunction"), out), 0);
        EXPECT_EQ(Load(wrapped("TestNode_LoadFunction", "TestNode_SaveFunction", "TestNode_SaveFunction"), out), 0);
        EXPECT_EQ(Load(wrapped("TestNode_LoadFunction", "TestNode_LoadFunction", "TI_SF"), out), 0);
        EXPECT_EQ(Load(wrapped("TI_LF", "TI_LF", "TI_SF"), out), 0);
        // A pair named like any other, but refused for wrappers: neither as the object's reader nor as the
        // functions kept.
        auto* const before = LispWrapperReaderRefused;
        static const TZevRefReader Refused = LoadLooseNode;
        LispWrapperReaderRefused = [](std::uintptr_t r) { return r == reinterpret_cast<std::uintptr_t>(Refused); };
        EXPECT_EQ(Load(wrapped("LooseNode_LoadFunction", "LooseNode_LoadFunction", "LooseNode_SaveFunction"), out), 0);
        EXPECT_EQ(Load(wrapped("TestNode_LoadFunction", "LooseNode_LoadFunction", "LooseNode_SaveFunction"), out), 0);
        EXPECT_EQ(Load(wrapped("TestNode_LoadFunction", "TestNode_LoadFunction", "TestNode_SaveFunction"), out), 1);
        LispWrapperReaderRefused = before;
        EXPECT_EQ(Load(wrapped("LooseNode_LoadFunction", "LooseNode_LoadFunction", "LooseNode_SaveFunction"), out), 1);
        out.Clear();
    }
    // A text length beyond the stream.
    EXPECT_EQ(Load(record("TS_LF", std::string("\xff\xff\xff\x7f", 4)), out), 0);
    // A back reference to an id never read.
    std::vector<unsigned char> back8 = {8, 0, 0, 0, 9, 0, 0, 0};
    EXPECT_EQ(Load(back8, out), 0);
    EXPECT_TRUE(out.IsNull());
}

TEST_F(LispStream, ValueFileBuiltins)
{
    EXPECT_EQ(Run("(SaveLispObject \"v.bin\" '(1 \"two\" 3.5 (four)))"), "t\n");
    EXPECT_EQ(Run("(LoadLispObject \"v.bin\")"), "(1 \"two\" 3.500000 (four))\n");
    EXPECT_EQ(Run("(SaveLispObject \"no/such/dir/v.bin\" 1)"),
              "Error: Cannot Open File!\n   in \"(SaveLispObject \"no/such/dir/v.bin\" 1)\"\n\n");
    EXPECT_EQ(Run("(LoadLispObject \"missing.bin\")"),
              "Error: Cannot Open File!\n   in \"(LoadLispObject \"missing.bin\")\"\n\n");
    {
        std::ofstream f("damaged.bin", std::ios::binary);
        f << "\x40\0\0\0\x01\0\0\0garbage";
    }
    EXPECT_EQ(Run("(LoadLispObject \"damaged.bin\")"),
              "Error: Cannot Read File!\n   in \"(LoadLispObject \"damaged.bin\")\"\n\n");
    EXPECT_EQ(Run("(SaveLispObject 1 2)"), "Error: Bad Argument!\n   in \"(SaveLispObject 1 2)\"\n\n");
}

} // namespace
