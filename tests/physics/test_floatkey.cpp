// Sorting keyed records: the pointer-array quicksort and the ring that re-links itself in key order.
#include "ZevFloatKeyList.h"

#include "ZevDebug.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

class FloatKeyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ZevCoreInit();
        ZevFloatKeyListInit();
    }
};

struct Tagged : TZevFloatKeyRecord {
    int tag = 0;
};

std::vector<Tagged> MakeRecords(const std::vector<float>& keys)
{
    std::vector<Tagged> records(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        records[i].Key = keys[i];
        records[i].tag = static_cast<int>(i);
    }
    return records;
}

std::vector<float> Shape(const std::string& name, int n)
{
    std::mt19937 rng(7);
    std::vector<float> keys(n);
    for (int i = 0; i < n; ++i) {
        if (name == "ascending")
            keys[i] = static_cast<float>(i);
        else if (name == "descending")
            keys[i] = static_cast<float>(n - i);
        else if (name == "all equal")
            keys[i] = 2.5f;
        else if (name == "few distinct")
            keys[i] = static_cast<float>(rng() % 10);
        else if (name == "organ pipe")
            keys[i] = static_cast<float>(i < n / 2 ? i : n - i);
        else
            keys[i] = std::uniform_real_distribution<float>(-1e6f, 1e6f)(rng);
    }
    return keys;
}

TEST_F(FloatKeyTest, SortByKeyOrdersEveryShapeAndKeepsEveryRecord)
{
    for (const char* shape : {"ascending", "descending", "all equal", "few distinct", "organ pipe", "random"}) {
        for (int n : {1, 2, 3, 17, 1000, 100000}) {
            SCOPED_TRACE(std::string(shape) + " n=" + std::to_string(n));
            std::vector<Tagged> records = MakeRecords(Shape(shape, n));
            std::vector<TZevFloatKeyRecord*> ptrs;
            for (Tagged& r : records)
                ptrs.push_back(&r);
            TZevFloatKeyList::SortArray(ptrs.data(), n);
            for (int i = 1; i < n; ++i)
                ASSERT_LE(ptrs[i - 1]->Key, ptrs[i]->Key) << "at " << i;
            std::vector<int> tags;
            for (TZevFloatKeyRecord* p : ptrs)
                tags.push_back(static_cast<Tagged*>(p)->tag);
            std::sort(tags.begin(), tags.end());
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(tags[i], i);
        }
    }
}

TEST_F(FloatKeyTest, SortArrayIgnoresEmptyInputAndSurvivesNotANumber)
{
    TZevFloatKeyList::SortArray(nullptr, 5);
    std::vector<Tagged> records = MakeRecords({3, NAN, 1, NAN, 2, 0});
    std::vector<TZevFloatKeyRecord*> ptrs;
    for (Tagged& r : records)
        ptrs.push_back(&r);
    TZevFloatKeyList::SortArray(ptrs.data(), 0);
    EXPECT_EQ(ptrs[0], &records[0]);
    // Keys that compare with nothing may land anywhere, but every record stays and nothing runs off the array.
    TZevFloatKeyList::SortArray(ptrs.data(), static_cast<int>(ptrs.size()));
    std::vector<TZevFloatKeyRecord*> sorted = ptrs;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

// Keys walked from the ring, checking the back links on the way.
std::vector<float> RingKeys(const TZevFloatKeyList& list)
{
    std::vector<float> keys;
    const TZevFloatKeyRecord* prev = list.End();
    for (const TZevFloatKeyRecord* r = list.First(); r != list.End(); r = r->Next) {
        EXPECT_EQ(r->Prev, prev);
        keys.push_back(r->Key);
        prev = r;
    }
    EXPECT_EQ(list.End()->Prev, prev);
    return keys;
}

TEST_F(FloatKeyTest, BuildSortedRelinksInStableKeyOrder)
{
    for (const char* shape : {"ascending", "descending", "all equal", "few distinct", "random"}) {
        for (int n : {0, 1, 2, 5, 16, 17, 1000}) {
            SCOPED_TRACE(std::string(shape) + " n=" + std::to_string(n));
            std::vector<Tagged> records = MakeRecords(Shape(shape, n));
            TZevFloatKeyList list;
            for (Tagged& r : records)
                ASSERT_TRUE(list.Add(&r));
            list.BuildSorted();
            EXPECT_EQ(list.GetCount(), n);
            std::vector<Tagged> expected = records;
            std::stable_sort(expected.begin(), expected.end(),
                             [](const Tagged& a, const Tagged& b) { return a.Key < b.Key; });
            std::vector<int> tags;
            for (const TZevFloatKeyRecord* r = list.First(); r != list.End(); r = r->Next)
                tags.push_back(static_cast<const Tagged*>(r)->tag);
            ASSERT_EQ(tags.size(), expected.size());
            for (std::size_t i = 0; i < tags.size(); ++i)
                ASSERT_EQ(tags[i], expected[i].tag) << "at " << i;
            RingKeys(list);
            list.Clear();
        }
    }
}

TEST_F(FloatKeyTest, ItemNodesComeFromTheSharedStoreAndGoBack)
{
    ASSERT_NE(SharedFloatKeyList, nullptr);
    TZevFloatKeyNode* first = nullptr;
    int marker[3];
    {
        TZevFloatKeyList list;
        first = list.AddItem(3.0f, &marker[0]);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(list.AddItem(1.0f, &marker[1]), nullptr);
        ASSERT_NE(list.AddItem(2.0f, &marker[2]), nullptr);
        Tagged caller;
        EXPECT_FALSE(list.Add(&caller)) << "a list of its own nodes takes no caller records";
        list.BuildSorted();
        EXPECT_EQ(RingKeys(list), (std::vector<float>{1.0f, 2.0f, 3.0f}));
        EXPECT_EQ(static_cast<TZevFloatKeyNode*>(list.First())->Item, &marker[1]);
    }
    const int stored = SharedFloatKeyList->GetCount();
    EXPECT_GE(stored, 3);
    // The next list takes a node back instead of allocating one.
    const int allocated = NewCount.load();
    TZevFloatKeyList again;
    TZevFloatKeyNode* reused = again.AddItem(5.0f, nullptr);
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(NewCount.load(), allocated);
    EXPECT_EQ(SharedFloatKeyList->GetCount(), stored - 1);
    EXPECT_EQ(reused->Key, 5.0f);

    Tagged caller;
    TZevFloatKeyList callers;
    ASSERT_TRUE(callers.Add(&caller));
    EXPECT_EQ(callers.AddItem(1.0f, nullptr), nullptr) << "a list of caller records makes no nodes";
    callers.Remove(&caller);
    EXPECT_TRUE(callers.IsEmpty());
    EXPECT_EQ(caller.Next, nullptr);
}

} // namespace
