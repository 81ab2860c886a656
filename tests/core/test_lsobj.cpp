#include "ZevBitmap.h"
#include "ZevLSObj.h"
#include "ZevTree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void InitObjects()
{
    ZevCoreInit();
    ZevLSObjInit();
    ZevBitmapInit();
}

struct CountedObject : TZevLSObj {
    ~CountedObject() override { ++destroyed; }
    static inline int destroyed = 0;
};

std::string SavedBytes(TZevLSObj* object)
{
    TZevMemStream stream;
    EXPECT_TRUE(object->Save(&stream));
    std::string bytes(static_cast<std::size_t>(stream.GetSize()), '\0');
    stream.Seek(0);
    stream.Read(bytes.data(), stream.GetSize());
    return bytes;
}

TZevClassRecord FirstRecord, SecondRecord, ReplacedRecord;
TZevLSObj* MakeFirst()
{
    return ZevCreateRegistered<TZevLSObj>(&FirstRecord);
}
TZevLSObj* MakeSecond()
{
    return ZevCreateRegistered<TZevTree>(&SecondRecord);
}
TZevLSObj* MakeReplaced()
{
    return ZevCreateRegistered<TZevLSObj>(&ReplacedRecord);
}

} // namespace

TEST(ClassRegistry, CreatesRegisteredClassesByName)
{
    InitObjects();
    TZevLSObj* o = CreateObjectByName("TZevLSObj");
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->GetClassRecordName(), "TZevLSObj");
    EXPECT_EQ(o->GetClassRecord(), &TZevLSObjClassRecord);
    EXPECT_EQ(o->GetRefCount(), 1);
    delete o;

    // Names ending in the same character share a bucket and are still told apart.
    TZevLSObj* tree = CreateObjectByName("TZevTree");
    TZevLSObj* vtree = CreateObjectByName("TZevVTree");
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(vtree, nullptr);
    EXPECT_STREQ(tree->GetClassRecordName(), "TZevTree");
    EXPECT_STREQ(vtree->GetClassRecordName(), "TZevVTree");
    EXPECT_NE(dynamic_cast<TZevTree*>(tree), nullptr);
    EXPECT_EQ(dynamic_cast<TZevTree*>(vtree), nullptr);
    delete tree;
    delete vtree;

    for (const char* name : {"TZevStringTree", "TZevClassTree", "TZevTreeSentinel", "TZevVBitmap", "TZevBitmap"}) {
        TZevLSObj* x = CreateObjectByName(name);
        ASSERT_NE(x, nullptr) << name;
        EXPECT_STREQ(x->GetClassRecordName(), name);
        delete x;
    }
    EXPECT_STREQ(FindClassRecord("TZevBitmap")->parentName, "TZevVBitmap");
    EXPECT_EQ(FindClassRecord("TZevLSObj")->parentName, nullptr);
}

TEST(ClassRegistry, UnregisteredNamesGiveNull)
{
    InitObjects();
    EXPECT_EQ(CreateObjectByName("TZevNoSuchClass"), nullptr);
    EXPECT_EQ(CreateObjectByName("TZevLSOb"), nullptr); // a prefix is not the name
    EXPECT_EQ(CreateObjectByName(""), nullptr);
    EXPECT_EQ(CreateObjectByName(nullptr), nullptr);
}

TEST(ClassRegistry, LaterRegistrationHidesEarlierAndReRegistrationReplaces)
{
    InitObjects();
    RegisterClassRecord(&FirstRecord, "TZevTestHidden", "TZevLSObj", MakeFirst);
    RegisterClassRecord(&SecondRecord, "TZevTestHidden", "TZevTree", MakeSecond);
    TZevLSObj* o = CreateObjectByName("TZevTestHidden");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->GetClassRecord(), &SecondRecord);
    delete o;

    // The same record registered again takes the new contents without a second entry.
    RegisterClassRecord(&ReplacedRecord, "TZevTestReplaced", nullptr, MakeReplaced);
    RegisterClassRecord(&ReplacedRecord, "TZevTestReplaced2", "TZevLSObj", MakeReplaced);
    EXPECT_EQ(FindClassRecord("TZevTestReplaced"), nullptr);
    EXPECT_EQ(FindClassRecord("TZevTestReplaced2"), &ReplacedRecord);
    EXPECT_STREQ(ReplacedRecord.parentName, "TZevLSObj");
}

TEST(ObjectRoot, ReferenceCountDestroysAtZeroAndNeverTwice)
{
    CountedObject::destroyed = 0;
    CountedObject* o = new CountedObject();
    EXPECT_EQ(o->AddRef(), 2);
    EXPECT_EQ(o->Release(), 1);
    EXPECT_EQ(CountedObject::destroyed, 0);
    EXPECT_EQ(o->Release(), 0);
    EXPECT_EQ(CountedObject::destroyed, 1);

    // A parked object at 0 is left alone by a further release.
    CountedObject* parked = new CountedObject();
    parked->SetRefCount(0);
    EXPECT_EQ(parked->Release(), 0);
    EXPECT_EQ(CountedObject::destroyed, 1);
    EXPECT_EQ(parked->GetRefCount(), 0);
    delete parked;
    EXPECT_EQ(CountedObject::destroyed, 2);
}

TEST(ObjectRoot, ObjectsAreCountedByTheAllocator)
{
    InitObjects();
    const int made = NewCount.load(), freed = DeleteCount.load();
    TZevLSObj* o = CreateTZevLSObj();
    EXPECT_EQ(NewCount.load(), made + 1);
    o->Release();
    EXPECT_EQ(DeleteCount.load(), freed + 1);
}

TEST(ObjectRoot, CloneMakesAnEqualObjectOfTheSameClass)
{
    InitObjects();
    TZevStringTree* tree = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    tree->SetName("root");
    TZevStringTree* child = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    child->SetName("child");
    tree->AddChild(child);

    TZevLSObj* copy = tree->Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, tree);
    EXPECT_EQ(copy->GetClassRecord(), tree->GetClassRecord());
    EXPECT_EQ(SavedBytes(copy), SavedBytes(tree));
    delete copy;
    delete tree;

    // An object not made by its factory has no class name to save.
    TZevLSObj plain;
    TZevMemStream stream;
    EXPECT_FALSE(plain.Save(&stream));
    EXPECT_EQ(plain.Clone(), nullptr);
}
