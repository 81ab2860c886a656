// Body-pair table: one counted record per linked pair, found in either order, recycled through the pool; holders
// and weights of composite registrations; what an object's ReleaseLinks does to the records and links it has.
#include "ZevBodyPair.h"
#include "ZevPhscs2Obj.h"
#include "ZevPhscs2RigidBody.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class BodyPairs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevBodyPairInit();
        table = std::make_unique<TZevBodyPairTable>(); // two megabytes: not on the stack
    }

    static bool Lists(const TZevList& list, const void* item)
    {
        for (void* it : list) {
            if (it == item)
                return true;
        }
        return false;
    }

    std::unique_ptr<TZevBodyPairTable> table;
};

TEST_F(BodyPairs, OneRecordForBothOrders)
{
    EXPECT_EQ(table->Gravity, 9.8f);
    TZevPhscs2RigidBody a, b;
    TZevBodyPair* ab = RegisterPair(table.get(), &a, &b, nullptr, 1.0f);
    ASSERT_NE(ab, nullptr);
    EXPECT_EQ(ab->RefCount, 1);
    EXPECT_EQ(ab->ObjectA, &a);
    EXPECT_EQ(ab->ObjectB, &b);
    EXPECT_EQ(RegisterPair(table.get(), &b, &a, nullptr, 1.0f), ab);
    EXPECT_EQ(ab->RefCount, 2);
    EXPECT_EQ(a.Pairs.GetCount(), 1);
    EXPECT_EQ(b.Pairs.GetCount(), 1);
    const int bucket = TZevBodyPairTable::BucketIndex(&a, &b);
    EXPECT_EQ(bucket, TZevBodyPairTable::BucketIndex(&b, &a));
    EXPECT_TRUE(Lists(table->Buckets[bucket], ab));

    ZevDropPairRef(ab);
    EXPECT_EQ(a.Pairs.GetCount(), 1);
    ZevDropPairRef(ab);
    EXPECT_TRUE(a.Pairs.IsEmpty());
    EXPECT_TRUE(b.Pairs.IsEmpty());
    EXPECT_TRUE(table->Buckets[bucket].IsEmpty());
    ZevDropPairRef(nullptr);
}

TEST_F(BodyPairs, OneSidedAndEmptyRegistrations)
{
    TZevPhscs2Particle b;
    TZevBodyPair* pair = RegisterPair(table.get(), nullptr, &b, nullptr, 1.0f);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->ObjectA, nullptr);
    EXPECT_EQ(pair->NodeA, nullptr);
    EXPECT_TRUE(Lists(b.Pairs, pair));
    const int bucket = static_cast<int>((b.Serial & 255u) * 256u);
    EXPECT_EQ(TZevBodyPairTable::BucketIndex(nullptr, &b), bucket);
    EXPECT_TRUE(Lists(table->Buckets[bucket], pair));

    EXPECT_EQ(RegisterPair(table.get(), nullptr, nullptr, nullptr, 1.0f), nullptr);
    ZevDropPairRef(pair);
    EXPECT_TRUE(b.Pairs.IsEmpty());
}

TEST_F(BodyPairs, SharedBucketKeepsPairsApart)
{
    // Objects whose creation numbers differ by a multiple of 256 share buckets.
    std::vector<std::unique_ptr<TZevPhscs2Particle>> objects;
    for (int k = 0; k <= 256; ++k)
        objects.push_back(std::make_unique<TZevPhscs2Particle>());
    TZevPhscs2Particle* first = objects.front().get();
    TZevPhscs2Particle* last = objects.back().get();
    ASSERT_EQ(last->Serial - first->Serial, 256u);
    ASSERT_EQ(TZevBodyPairTable::BucketIndex(first, nullptr), TZevBodyPairTable::BucketIndex(last, nullptr));

    TZevBodyPair* p1 = RegisterPair(table.get(), first, nullptr, nullptr, 1.0f);
    TZevBodyPair* p2 = RegisterPair(table.get(), last, nullptr, nullptr, 1.0f);
    EXPECT_NE(p1, p2);
    EXPECT_EQ(RegisterPair(table.get(), nullptr, first, nullptr, 1.0f), p1);
    EXPECT_EQ(RegisterPair(table.get(), last, nullptr, nullptr, 1.0f), p2);
    EXPECT_EQ(table->Buckets[TZevBodyPairTable::BucketIndex(first, nullptr)].GetCount(), 2);
    for (TZevBodyPair* p : {p1, p1, p2, p2})
        ZevDropPairRef(p);
}

// A composite object (Integrable 0) has its registrations passed on.
class TComposite : public TZevPhscs2Obj {
public:
    void RegisterPairPart(TZevBodyPairTable* t, TZevBodyPair* pair, float weight, TZevPhscs2Obj* other) override
    {
        calls.push_back({t, pair, weight, other});
    }
    struct Call {
        TZevBodyPairTable* table;
        TZevBodyPair* pair;
        float weight;
        TZevPhscs2Obj* other;
    };
    std::vector<Call> calls;
};

TEST_F(BodyPairs, HoldersAddUpWeightsAndShares)
{
    TZevPhscs2Particle a, b, c;
    TZevBodyPair* holder = RegisterPair(table.get(), &a, nullptr, nullptr, 1.0f);
    TZevBodyPair* ab = RegisterPair(table.get(), &a, &b, holder, 0.25f);
    EXPECT_EQ(ab->RefCount, 2); // the caller's and the holder's
    EXPECT_EQ(RegisterPair(table.get(), &b, &a, holder, 0.5f), ab);
    EXPECT_EQ(ab->RefCount, 3);
    ASSERT_EQ(holder->SubPairs.GetCount(), 1);
    EXPECT_EQ(ZevSubWeight(holder->SubWeights.First()), 0.75f);

    TZevBodyPair* bc = RegisterPair(table.get(), &b, &c, holder, 0.25f);
    holder->AddShare(2.0f);
    EXPECT_EQ(ab->GetShareCount(), 1.5f);
    EXPECT_EQ(bc->GetShareCount(), 0.5f);
    EXPECT_EQ(holder->GetShareCount(), 2.0f);
    bc->AddShare(1.0f); // no sub-records: its own count
    EXPECT_EQ(bc->GetShareCount(), 1.5f);

    // Releasing the holder drops its references to the sub-records.
    ZevDropPairRef(holder);
    EXPECT_EQ(ab->RefCount, 2);
    EXPECT_EQ(bc->RefCount, 1);
    for (TZevBodyPair* p : {ab, ab, bc})
        ZevDropPairRef(p);
    EXPECT_TRUE(b.Pairs.IsEmpty());

    TComposite composite;
    TZevBodyPair* cp = RegisterPair(table.get(), &composite, &a, nullptr, 0.5f);
    ASSERT_EQ(composite.calls.size(), 1u);
    EXPECT_EQ(composite.calls[0].pair, cp);
    EXPECT_EQ(composite.calls[0].other, &a);
    EXPECT_EQ(composite.calls[0].weight, 0.5f);
    RegisterPair(table.get(), &a, &composite, nullptr, 1.0f);
    ASSERT_EQ(composite.calls.size(), 2u);
    EXPECT_EQ(composite.calls[1].other, &a);
    ZevDropPairRef(cp);
    ZevDropPairRef(cp);
}

TEST_F(BodyPairs, RecycledRecordStartsWithZeroCounts)
{
    TZevPhscs2Particle a, b, c;
    TZevBodyPair* used = RegisterPair(table.get(), &a, &b, nullptr, 1.0f);
    TZevBodyPair* sub = RegisterPair(table.get(), &b, &c, used, 1.0f);
    used->AddShare(5.0f); // 5 on both
    ZevDropPairRef(sub);
    ZevDropPairRef(used); // both back to the pool, the sub-record through its holder
    EXPECT_TRUE(a.Pairs.IsEmpty());
    EXPECT_TRUE(c.Pairs.IsEmpty());

    // Take records until both come back (the pool hands out its oldest first); each starts afresh.
    std::vector<std::unique_ptr<TZevPhscs2Particle>> partners;
    std::vector<TZevBodyPair*> taken;
    bool usedBack = false;
    bool subBack = false;
    while (!(usedBack && subBack) && taken.size() < 10000) {
        partners.push_back(std::make_unique<TZevPhscs2Particle>());
        TZevBodyPair* fresh = RegisterPair(table.get(), &a, partners.back().get(), nullptr, 1.0f);
        taken.push_back(fresh);
        usedBack = usedBack || fresh == used;
        subBack = subBack || fresh == sub;
        EXPECT_EQ(fresh->GetShareCount(), 0.0f);
        EXPECT_EQ(fresh->RefCount, 1);
        EXPECT_TRUE(fresh->SubPairs.IsEmpty());
        EXPECT_TRUE(fresh->SubWeights.IsEmpty());
    }
    EXPECT_TRUE(usedBack && subBack);
    for (TZevBodyPair* fresh : taken)
        ZevDropPairRef(fresh);
    EXPECT_TRUE(a.Pairs.IsEmpty());
}

// A link that goes when one of its objects goes, as joints and rigid links do.
class TTestLink : public TZevReleasableLink {
public:
    TTestLink(TZevPhscs2Obj* a, TZevPhscs2Obj* b, TZevBodyPairTable* table, bool leaveLists = false)
        : leaveListsAlone(leaveLists)
    {
        nodeA = ZevListPushPooled(&a->RigidLinks, this);
        nodeB = ZevListPushPooled(&b->RigidLinks, this);
        pair = RegisterPair(table, a, b, nullptr, 1.0f);
    }
    void Release() override
    {
        ++releases;
        if (!leaveListsAlone) {
            if (nodeA)
                TZevList::RemoveNode(nodeA);
            if (nodeB)
                TZevList::RemoveNode(nodeB);
            nodeA = nodeB = nullptr;
        }
        ZevDropPairRef(pair);
        pair = nullptr;
    }
    bool leaveListsAlone;
    TZevListNode* nodeA = nullptr;
    TZevListNode* nodeB = nullptr;
    TZevBodyPair* pair = nullptr;
    int releases = 0;
};

TEST_F(BodyPairs, ReleaseLinksKeepsRecordsThatAreStillHeld)
{
    auto a = std::make_unique<TZevPhscs2RigidBody>();
    TZevPhscs2RigidBody b, c;
    TTestLink link(a.get(), &b, table.get());
    EXPECT_EQ(link.pair->RefCount, 1);
    // A contact link also holds the record of (a, b); another record joins a and c.
    TZevBodyPair* contact = RegisterPair(table.get(), a.get(), &b, nullptr, 1.0f);
    ASSERT_EQ(contact, link.pair);
    TZevBodyPair* ac = RegisterPair(table.get(), a.get(), &c, nullptr, 1.0f);

    a.reset(); // ReleaseLinks: the link goes, the records forget a
    EXPECT_EQ(link.releases, 1);
    EXPECT_TRUE(b.RigidLinks.IsEmpty());
    EXPECT_EQ(contact->RefCount, 1); // still held: not recycled
    EXPECT_EQ(contact->ObjectA, nullptr);
    EXPECT_EQ(contact->ObjectB, &b);
    EXPECT_TRUE(Lists(b.Pairs, contact));
    EXPECT_EQ(ac->RefCount, 1);
    EXPECT_EQ(ac->ObjectB, &c);

    // A new registration never gets a record that is still held.
    TZevPhscs2Particle d;
    TZevBodyPair* bd = RegisterPair(table.get(), &b, &d, nullptr, 1.0f);
    EXPECT_NE(bd, contact);
    EXPECT_NE(bd, ac);
    // Nor is a held record found again for a pair that now looks the same.
    TZevBodyPair* alone = RegisterPair(table.get(), nullptr, &b, nullptr, 1.0f);
    EXPECT_NE(alone, contact);

    // The holders drop them later; then they leave the remaining object's list.
    ZevDropPairRef(contact);
    EXPECT_FALSE(Lists(b.Pairs, contact));
    ZevDropPairRef(ac);
    EXPECT_TRUE(c.Pairs.IsEmpty());
    ZevDropPairRef(bd);
    ZevDropPairRef(alone);
    EXPECT_TRUE(b.Pairs.IsEmpty());
}

TEST_F(BodyPairs, ReleaseLinksEndsEvenWhenALinkStaysListed)
{
    TZevPhscs2Particle b;
    auto a = std::make_unique<TZevPhscs2Particle>();
    TTestLink stubborn(a.get(), &b, table.get(), /*leaveLists=*/true);
    a->ReleaseLinks();
    EXPECT_EQ(stubborn.releases, 1);
    EXPECT_TRUE(a->RigidLinks.IsEmpty());
    EXPECT_TRUE(a->Pairs.IsEmpty());
    TZevList::RemoveNode(stubborn.nodeB);
}

TEST_F(BodyPairs, RecordsOutliveTheirTable)
{
    TZevPhscs2Particle a, b;
    TZevBodyPair* pair = RegisterPair(table.get(), &a, &b, nullptr, 1.0f);
    table.reset();
    EXPECT_EQ(pair->BucketNode, nullptr);
    ZevDropPairRef(pair); // must not touch the destroyed buckets
    EXPECT_TRUE(a.Pairs.IsEmpty());
}

TEST(BodyPairFormulas, ReducedMassAndJointGuess)
{
    EXPECT_EQ(ReducedMassPerSquare(2, 2, 1), 1.0f);
    EXPECT_EQ(ReducedMassPerSquare(3, 6, 2), 0.5f);
    const TZevMatrix3 zero(0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FLOAT_EQ(GuessJointParam(zero, zero, 1, 1, 1, 1, 1, 1), std::sqrt(0.5f));
    // Mean diagonal 2 plus m r^2 = 2: A = B = 4, sqrt(16 / (8 * 2 * 1)) = 1.
    const TZevMatrix3 twos(2, 9, 9, 9, 2, 9, 9, 9, 2);
    EXPECT_FLOAT_EQ(GuessJointParam(twos, twos, 2, 2, 1, 1, 2, 1), 1.0f);
}

} // namespace
