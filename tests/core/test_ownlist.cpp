#include "ZevOwnerList.h"

#include <gtest/gtest.h>

namespace {

struct Item : TZevOwnerListLink {
    explicit Item(int* destroyed) : destroyed(destroyed) {}
    ~Item() override { ++*destroyed; }
    int* destroyed;
};

} // namespace

TEST(OwnerList, NewListIsEmpty)
{
    TZevOwnerList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_FALSE(list.IsLinked());
    EXPECT_EQ(list.owner, 0);
    ASSERT_NE(list.sentinel, nullptr);
    EXPECT_EQ(list.sentinel->sentinel, nullptr);
}

TEST(OwnerList, DestroyingTheListDeletesItsItemsAndSentinel)
{
    int destroyed = 0;
    auto* list = new TZevOwnerList;
    Item* items[3];
    for (Item*& item : items) {
        item = new Item(&destroyed);
        list->Append(item);
    }
    EXPECT_EQ(list->First(), items[0]);
    EXPECT_EQ(list->Last(), items[2]);
    EXPECT_EQ(items[1]->owner, 1);
    const std::int32_t freed = DeleteCount;
    delete list;
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(DeleteCount - freed, 5); // three items, the sentinel and the list
}

TEST(OwnerList, AnItemDeletedOnItsOwnLeavesTheRing)
{
    int destroyed = 0;
    const std::int32_t freed = DeleteCount;
    {
        TZevOwnerList list;
        Item* first = new Item(&destroyed);
        list.Append(first);
        list.Append(new Item(&destroyed));
        list.Append(new Item(&destroyed));
        delete first;
        EXPECT_EQ(list.GetCount(), 2);
    }
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(DeleteCount - freed, 4); // three items and the sentinel
}

TEST(OwnerList, ItemsMoveBetweenListsAndNest)
{
    int destroyed = 0;
    TZevOwnerList a, b;
    Item* item = new Item(&destroyed);
    a.Append(item);
    b.Append(item);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.First(), item);
    item->Unlink();
    EXPECT_EQ(item->owner, 0);
    EXPECT_TRUE(b.IsEmpty());
    delete item;

    // A list inside a list: deleting the outer one deletes the inner one's items too.
    auto* outer = new TZevOwnerList;
    auto* inner = new TZevOwnerList;
    outer->Append(inner);
    inner->Append(new Item(&destroyed));
    delete outer;
    EXPECT_EQ(destroyed, 2);

    a.Append(new Item(&destroyed));
    a.DeleteItems();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(destroyed, 3);
}
