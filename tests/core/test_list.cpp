#include "ZevList.h"
#include "ZevObjPool.h"

#include <gtest/gtest.h>

#include <barrier>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Empties the calling thread's node pool so that allocations can be counted from a known state.
void DrainThreadPool()
{
    if (TZevList* pool = GetThreadListNodePool())
        pool->FreeNodes();
}

std::vector<void*> Items(const TZevList& list)
{
    std::vector<void*> items;
    for (void* item : list)
        items.push_back(item);
    return items;
}

int a, b, c, d;

} // namespace

TEST(List, NodesComeFromThePoolOnceItIsWarm)
{
    DrainThreadPool();
    TZevList list;
    const std::int32_t made = NewCount;
    list.Add(&a);
    EXPECT_EQ(NewCount - made, 1);
    EXPECT_EQ(list.PopFront(), &a);
    EXPECT_EQ(list.PopFront(), nullptr);
    list.Add(&b);
    EXPECT_EQ(NewCount - made, 1);
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(List, AddAppendsAndPushPooledLinksAtTheFront)
{
    TZevList list;
    EXPECT_EQ(list.GetCount(), 0);
    list.Add(&a);
    list.Add(&b);
    TZevListNode* node = ZevListPushPooled(&list, &c);
    EXPECT_EQ(list.First(), node);
    EXPECT_EQ(Items(list), (std::vector<void*>{&c, &a, &b}));
    EXPECT_EQ(list.GetCount(), 3);
}

TEST(List, ClearSplicesAllNodesToTheFrontOfThePool)
{
    TZevList* pool = GetThreadListNodePool();
    ASSERT_NE(pool, nullptr);
    TZevList list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    pool->FreeNodes();
    pool->Add(&d); // a node already in the pool stays behind the spliced ones
    const std::int32_t made = NewCount, freed = DeleteCount;
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(NewCount - made, 0);
    EXPECT_EQ(DeleteCount - freed, 0);
    TZevListNode* n = pool->First();
    EXPECT_EQ(n->data, &a);
    EXPECT_EQ(n->next->data, &b);
    EXPECT_EQ(n->next->next->data, &c);
    EXPECT_EQ(n->next->next->next->data, &d);
    // Clearing an empty list and the pool itself change nothing.
    list.Clear();
    const int pooled = pool->GetCount();
    pool->Clear();
    EXPECT_EQ(pool->GetCount(), pooled);
}

TEST(List, RemoveTakesTheFirstMatchingNodeOnly)
{
    TZevList list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&a);
    EXPECT_TRUE(list.Remove(&a));
    EXPECT_EQ(Items(list), (std::vector<void*>{&b, &a}));
    EXPECT_FALSE(list.Remove(&c));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(TZevList::RemoveNode(list.Last()), &a);
    EXPECT_EQ(Items(list), (std::vector<void*>{&b}));
}

TEST(List, ClearBucketArrayEmptiesEveryBucket)
{
    auto buckets = std::make_unique<TZevList[]>(256);
    buckets[0].Add(&a);
    buckets[17].Add(&b);
    buckets[17].Add(&c);
    buckets[255].Add(&d);
    const std::int32_t made = NewCount, freed = DeleteCount;
    ClearBucketArray(buckets.get());
    for (int i = 0; i < 256; ++i)
        EXPECT_TRUE(buckets[i].IsEmpty()) << i;
    EXPECT_EQ(NewCount - made, 0);
    EXPECT_EQ(DeleteCount - freed, 0);
}

TEST(List, FreeNodesReturnsNodesToTheHeap)
{
    TZevList list;
    list.Add(&a);
    list.Add(&b);
    const std::int32_t freed = DeleteCount;
    list.FreeNodes();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(DeleteCount - freed, 2);
}

TEST(CursorList, SequentialAccessAndRangeChecks)
{
    TZevCursorList list;
    EXPECT_EQ(list.GetAt(0), nullptr);
    int values[5];
    for (int& v : values)
        list.Add(&v);
    EXPECT_EQ(list.Count, 5);
    EXPECT_EQ(list.CursorIndex, 0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list.GetAt(i), &values[i]);
    EXPECT_EQ(list.GetAt(2), &values[2]);
    EXPECT_EQ(list.CursorIndex, 2);
    EXPECT_EQ(list.GetAt(5), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(list.CursorIndex, 2);
    EXPECT_EQ(list.GetAt(1), &values[1]);
    EXPECT_EQ(list.PopFront(), &values[0]);
    EXPECT_EQ(list.GetAt(0), &values[1]);
    EXPECT_EQ(list.GetAt(3), &values[4]);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetAt(0), nullptr);
}

TEST(CursorList, NodesAreRecycledThroughTheCursorPool)
{
    TZevCursorList* pool = GetThreadCursorNodePool();
    ASSERT_NE(pool, nullptr);
    pool->FreeNodes();
    {
        TZevCursorList list;
        list.Add(&a);
        list.Add(&b);
    }
    EXPECT_EQ(pool->GetCount(), 2);
    const std::int32_t made = NewCount;
    TZevCursorList again;
    again.Add(&c);
    again.Add(&d);
    EXPECT_EQ(NewCount - made, 0);
    EXPECT_EQ(again.GetAt(1), &d);
}

TEST(HashTable, NewestEqualKeyWinsAndUnlinkUncoversTheOlder)
{
    TZevHashTable table;
    static const char key[] = "TBMP";
    TZevHashEntry older(key, &a), newer(key, &b), other("WBMP", &c), sameBucket("Tx", &d);
    table.Add(&older);
    table.Add(&newer);
    table.Add(&other);
    table.Add(&sameBucket);
    EXPECT_EQ(table.Find("TBMP"), &newer);
    EXPECT_EQ(table.Find("WBMP"), &other);
    EXPECT_EQ(table.Find("ABCD"), nullptr);
    EXPECT_EQ(table.Find(nullptr), nullptr);
    // Keys beginning with the same byte share a bucket.
    TZevHashEntry& bucketT = table.Buckets['T'];
    EXPECT_EQ(bucketT.next, &sameBucket);
    EXPECT_EQ(bucketT.next->next, &newer);
    TZevHashTable::Unlink(&newer);
    EXPECT_EQ(newer.next, &newer);
    EXPECT_EQ(table.Find("TBMP"), &older);
    int visited = 0;
    table.ForEach([&](TZevHashEntry* e) {
        ++visited;
        TZevHashTable::Unlink(e);
    });
    EXPECT_EQ(visited, 3);
    EXPECT_EQ(table.Find("TBMP"), nullptr);

    // Entries that outlive their table are left self-linked.
    TZevHashEntry survivor("abc", &a);
    {
        TZevHashTable shortLived;
        shortLived.Add(&survivor);
    }
    EXPECT_EQ(survivor.next, &survivor);
    TZevHashTable::Unlink(&survivor);
}

// Keys shorter than four bytes are compared up to their terminating zero, never past it.
TEST(HashTable, EqualIntNeverReadsPastShortKeys)
{
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"ab", "ab", true}, {"ab", "ac", false}, {"a", "ab", false}, {"", "", true},
        {"TBMP", "TBMP", true}, {"TBMPx", "TBMPy", true}, {"TBMP", "TBMQ", false},
    };
    for (const Case& k : cases) {
        // Exact-size heap copies, so that a read past the end is caught by the sanitizer build.
        auto copy = [](const char* s) {
            auto p = std::make_unique<char[]>(std::strlen(s) + 1);
            std::memcpy(p.get(), s, std::strlen(s) + 1);
            return p;
        };
        auto x = copy(k.a), y = copy(k.b);
        EXPECT_EQ(EqualInt(x.get(), y.get()), k.equal) << k.a << " / " << k.b;
    }
    EXPECT_EQ(HashFirstByte("abc"), 'a');
    EXPECT_EQ(ByteSumHash(""), 0);
    EXPECT_EQ(ByteSumHash("ab"), ('a' + 'b') & 255);
    EXPECT_EQ(ByteSumHash("\xff\xff"), 0xFE);
}

TEST(Serial, CountsUp)
{
    const std::int32_t first = ZevNextSerial();
    EXPECT_EQ(ZevNextSerial(), first + 1);
}

TEST(ThreadPools, ThreadWithoutAttachGetsItsOwnSlot)
{
    const int mainSlot = GetThreadPoolIndex();
    ASSERT_GE(mainSlot, 0);
    const int before = GetThreadPoolCount();
    int workerSlot = -2;
    TZevList* workerPool = nullptr;
    std::thread worker([&] {
        TZevList list;
        list.Add(&a);
        workerSlot = GetThreadPoolIndex();
        workerPool = GetThreadListNodePool();
    });
    worker.join();
    EXPECT_GE(workerSlot, 0);
    EXPECT_NE(workerSlot, mainSlot);
    EXPECT_NE(workerPool, GetThreadListNodePool());
    EXPECT_EQ(workerPool, &GetListNodePools()[workerSlot]);
    // The slot went back when the thread ended.
    EXPECT_EQ(GetThreadPoolCount(), before);
}

TEST(ThreadPools, SlotsGoBackSoAnyNumberOfThreadsCanComeAndGo)
{
    const int before = GetThreadPoolCount();
    for (int i = 0; i < 3 * ThreadPoolSlots; ++i) {
        int slot = -2;
        std::thread([&] { slot = AttachThreadNodePools(); }).join();
        EXPECT_GE(slot, 0) << i;
        EXPECT_LT(slot, ThreadPoolSlots);
    }
    EXPECT_EQ(GetThreadPoolCount(), before);
}

// More threads at once than there are slots: the extra ones work without a pool, straight from the heap.
TEST(ThreadPools, ThreadsBeyondTheSlotsUseTheHeap)
{
    constexpr int kThreads = ThreadPoolSlots + 4;
    GetThreadPoolIndex();
    const int held = GetThreadPoolCount();
    std::barrier allAttached(kThreads);
    std::vector<int> slots(kThreads, -2);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            slots[t] = AttachThreadNodePools();
            allAttached.arrive_and_wait();
            if (slots[t] < 0) {
                EXPECT_EQ(GetThreadListNodePool(), nullptr);
                EXPECT_EQ(AttachThreadNodePools(), -1);
            }
            TZevList list;
            for (int i = 0; i < 50; ++i)
                list.Add(&slots[t]);
            for (int i = 0; i < 20; ++i)
                list.PopFront();
            list.Remove(&slots[t]);
            void* small = AllocSmallNode();
            FreeSmallNode(small);
            allAttached.arrive_and_wait();
        });
    }
    for (std::thread& th : threads)
        th.join();
    int withSlot = 0;
    std::vector<bool> used(ThreadPoolSlots, false);
    for (int s : slots) {
        ASSERT_GE(s, -1);
        ASSERT_LT(s, ThreadPoolSlots);
        if (s >= 0) {
            EXPECT_FALSE(used[s]) << "slot " << s << " given twice";
            used[s] = true;
            ++withSlot;
        }
    }
    EXPECT_EQ(withSlot, ThreadPoolSlots - held); // the main thread holds one
    EXPECT_EQ(GetThreadPoolCount(), held);
}

TEST(ThreadPools, NodesFreedOnAnotherThreadJoinThatThreadsPool)
{
    TZevList list;
    list.Add(&a);
    list.Add(&b);
    int pooledByWorker = -1;
    std::thread([&] {
        GetThreadListNodePool()->FreeNodes();
        list.Clear();
        pooledByWorker = GetThreadListNodePool()->GetCount();
    }).join();
    EXPECT_EQ(pooledByWorker, 2);
}

// A thread that frees what another made (a render thread ending a scene that the window thread built) must not
// leave it in its slot for good: a thread's pools go back to the heap when it ends, however many threads come and go.
TEST(ThreadPools, WhatAThreadFreesGoesBackToTheHeapWhenItEnds)
{
    static int destroyed = 0;
    TZevPoolHeads records([](void* item) {
        ++destroyed;
        ZevFree(item);
    });
    DrainThreadPool();
    const std::int32_t live = NewCount - DeleteCount;
    for (int round = 0; round < 3; ++round) {
        TZevList list;
        std::vector<void*> made;
        for (int i = 0; i < 100; ++i) {
            list.Add(&a);
            made.push_back(ZevAlloc(16));
        }
        destroyed = 0;
        std::thread([&] {
            list.Clear();
            for (void* record : made)
                records.Give(record);
        }).join();
        EXPECT_EQ(destroyed, 100);
        EXPECT_EQ(NewCount - DeleteCount, live) << "round " << round;
    }
}

TEST(SmallNodes, FreedBlocksAreReused)
{
    void* first = AllocSmallNode();
    ASSERT_NE(first, nullptr);
    FreeSmallNode(first);
    const std::int32_t made = NewCount;
    void* again = AllocSmallNode();
    EXPECT_EQ(again, first);
    FreeSmallNode(again);
    FreeSmallNode(nullptr);
    // The block's node may be new, the block itself is not.
    EXPECT_LE(NewCount - made, 1);
}

TEST(PoolHeads, TakeGivesBackWhatTheThreadGave)
{
    TZevPoolHeads heads;
    EXPECT_EQ(heads.Take(), nullptr);
    EXPECT_TRUE(heads.Give(&a));
    EXPECT_TRUE(heads.Give(&b));
    EXPECT_EQ(heads.Take(), &a);
    int drained = 0;
    heads.DrainAll([&](void* item) {
        EXPECT_EQ(item, &b);
        ++drained;
    });
    EXPECT_EQ(drained, 1);
    EXPECT_EQ(heads.Take(), nullptr);
}
