#include "ZevLSObj.h"
#include "ZevNameTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

int TestFunctionA(int x)
{
    return x + 1;
}
int TestFunctionB(int x)
{
    return x + 2;
}

void InitObjects()
{
    ZevCoreInit();
    ZevLSObjInit();
}

#ifdef QE_NAMES_TEST_LIB
const char* TestLibrary()
{
    return std::filesystem::exists(QE_NAMES_TEST_LIB) ? QE_NAMES_TEST_LIB : nullptr;
}
#else
const char* TestLibrary()
{
    return nullptr;
}
#endif

} // namespace

TEST(NameTable, FindsByNameAndByValue)
{
    InitObjects();
    TZevNameTable t;
    t.Add("ab", TZevNameValue(1));
    EXPECT_EQ(t.GetValue("ab"), 1u);
    EXPECT_STREQ(t.GetName(TZevNameValue(1)), "ab");
    EXPECT_EQ(TZevNameTable::NameBucket("ab"), TZevNameTable::NameBucket("ba"));
    t.Add("ba", TZevNameValue(2));
    EXPECT_EQ(t.GetValue("ba"), 2u);

    // A second entry of a name does not replace the first.
    t.Add("ab", TZevNameValue(3));
    EXPECT_EQ(t.GetValue("ab"), 1u);
    EXPECT_STREQ(t.GetName(TZevNameValue(3)), "ab");

    // Bytes above 0x7F and values with the top bit set stay within the buckets.
    const char heavy[] = "\xE3\x81\x82\xE3\x81\x84";
    EXPECT_GE(TZevNameTable::NameBucket(heavy), 0);
    EXPECT_LT(TZevNameTable::NameBucket(heavy), TZevNameTable::BucketCount);
    const TZevNameValue high = ~TZevNameValue(0) - 5;
    t.Add(heavy, high);
    EXPECT_EQ(t.GetValue(heavy), high);
    EXPECT_STREQ(t.GetName(high), heavy);

    EXPECT_EQ(t.GetValue("missing"), 0u);
    EXPECT_EQ(t.GetValue(nullptr), 0u);
    EXPECT_EQ(t.GetName(TZevNameValue(99)), nullptr);
    EXPECT_EQ(t.GetCount(), 4);
}

TEST(NameTable, DestroyedTableReturnsAllEntries)
{
    InitObjects();
    const int made = NewCount.load(), freed = DeleteCount.load();
    {
        TZevNameTable t;
        for (int i = 0; i < 1000; ++i)
            t.Add(std::to_string(i).c_str(), TZevNameValue(i));
    }
    EXPECT_EQ(NewCount.load() - made, DeleteCount.load() - freed);
}

TEST(NameTable, SaveLoadRegistrationsAreFoundByTheFunctionDictionary)
{
    InitObjects();
    // One set of entries: what start-up registers for loading is found by value when a stream is written.
    GetSaveLoadFunctionDictionary()->Add("TestNames_LoadFunction", TestFunctionA);
    EXPECT_STREQ(GetFunctionDictionary()->GetName(TestFunctionA), "TestNames_LoadFunction");
    EXPECT_EQ(GetFunctionDictionary()->GetFunction<int (*)(int)>("TestNames_LoadFunction"), &TestFunctionA);

    GetFunctionDictionary()->Add("TestNames_Callback", TestFunctionB);
    TZevMemStream s;
    EXPECT_EQ(WriteFunctionName(&s, TestFunctionA), 1);
    EXPECT_EQ(WriteFunctionName(&s, TestFunctionB), 1);
    EXPECT_EQ(WriteFunctionName(&s, TZevNameValue(0xDEAD)), 1); // no name: a null text
    s.Seek(0);
    EXPECT_EQ(ReadFunctionName(&s), reinterpret_cast<TZevNameValue>(TestFunctionA));
    EXPECT_EQ(ReadFunctionName(&s), reinterpret_cast<TZevNameValue>(TestFunctionB));
    TZevNameValue v = 1;
    EXPECT_TRUE(ReadFunctionName(&s, &v));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(ReadFunctionName(&s, &v)); // the stream is at its end
}

TEST(NameTable, StreamsNeverResolveRecordsOrLibraries)
{
    InitObjects();
    static const int record = 1;
    GetFunctionDictionary()->Add("TestNames_Record", static_cast<const void*>(&record));
    EXPECT_EQ(GetFunctionDictionary()->GetValue("TestNames_Record"), reinterpret_cast<TZevNameValue>(&record));

    std::string library = TestLibrary() ? TestLibrary() : "qe_names_missing.so";
    const std::string procedure = library + " ZevNamesTestProc";
    TZevMemStream s;
    WriteCString(&s, "TestNames_Record");
    WriteCString(&s, procedure.c_str());
    s.Seek(0);
    EXPECT_EQ(ReadFunctionName(&s), 0u);
    EXPECT_EQ(ReadFunctionName(&s), 0u);
    // Reading the name did not load or even try the library.
    EXPECT_EQ(GetDllTable()->FindModule(library.c_str()), nullptr);
}

TEST(LibraryCache, MissingLibraryIsTriedOnceAndGivesZero)
{
    InitObjects();
    const char* name = "qe_names_no_such_library.dll Proc";
    EXPECT_EQ(GetFunctionDictionary()->GetValue(name), 0u);
    TZevDllModule* m = GetDllTable()->FindModule("qe_names_no_such_library.dll");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->handle, nullptr);
    EXPECT_EQ(GetFunctionDictionary()->GetValue(name), 0u);
    EXPECT_EQ(GetDllTable()->FindModule("qe_names_no_such_library.dll"), m);
    EXPECT_EQ(GetFunctionDictionary()->Find(name), nullptr); // nothing remembered for a miss
    EXPECT_EQ(GetFunctionDictionary()->GetValue("NoBlankAndNotRegistered"), 0u);
}

TEST(LibraryCache, ResolvesProceduresOfALibraryByName)
{
    InitObjects();
    const char* lib = TestLibrary();
    if (!lib)
        GTEST_SKIP() << "test library not built";
    const std::string name = std::string(lib) + " ZevNamesTestProc";
    auto proc = GetFunctionDictionary()->GetFunction<int (*)(int)>(name.c_str());
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc(20), 41);
    // Remembered under the whole name, marked as a library procedure.
    const TZevNameEntry* e = GetFunctionDictionary()->Find(name.c_str());
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->flags & ZevNameLibrary);
    EXPECT_EQ(GetFunctionDictionary()->GetValue(name.c_str()), reinterpret_cast<TZevNameValue>(proc));

    // A ".dll" name is looked up as ".so"; the procedure part is all that follows the first blank.
    std::string dll(lib);
    dll.replace(dll.size() - 3, 3, ".dll");
    EXPECT_EQ(GetFunctionDictionary()->GetValue((dll + " ZevNamesTestProc").c_str()),
              reinterpret_cast<TZevNameValue>(proc));
    EXPECT_EQ(GetFunctionDictionary()->GetValue((std::string(lib) + " ZevNamesTestProc x").c_str()), 0u);
    EXPECT_EQ(GetFunctionDictionary()->GetValue((std::string(lib) + " NoSuchProc").c_str()), 0u);
    // Found through the library, but never as a registered function.
    EXPECT_EQ(GetFunctionDictionary()->GetRegistered(name.c_str()), 0u);
}

TEST(LibraryCache, ANameWithoutALibraryFileResolvesNothing)
{
    InitObjects();
    // An empty library file name would open the program itself, and every library it uses would answer for it.
    for (const char* name : {" puts", "  puts", " abort", " "})
        EXPECT_EQ(GetFunctionDictionary()->GetValue(name), 0u) << '"' << name << '"';
    EXPECT_EQ(GetDllTable()->FindModule("")->handle, nullptr);
}
