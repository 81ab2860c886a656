// Type records of the collision classes: fixed numbering, kinds set only by the narrow-phase set-up, and type
// tests by record pointer.
#include "ZevBBoxTree.h"
#include "ZevTypeInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* const kNames[] = {"TZevBBoxTree",     "TZevFaceBox",  "TZevFaceBoxVec", "TZevFaceBoxVecT", "TZevEdgeBoxVecT",
                              "TZevPointBoxVecT", "TZevFMCTTree", "TZevLandCTree",  "TZevGameChara"};

// In a fresh program: other tests of this program construct collision spaces, which set the kinds.
bool FreshRecordsAreNumberedWithoutKinds()
{
    ZevTypeInfoInit();
    for (int k = 0; k < ZevCollisionTypeCount; ++k) {
        const TZevTypeInfo* record = ZevCollisionTypeInfo(static_cast<EZevCollisionType>(k));
        if (std::strcmp(record->name.CStr(), kNames[k]) != 0 || record->number != k || record->kind != 0 ||
            record->vertexCount != 0)
            return false;
    }
    return TypeInfoCounter == ZevCollisionTypeCount;
}

TEST(TypeInfoDeathTest, RecordsAreNumberedInCreationOrderAndStartWithoutKinds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the check runs in a newly started copy of this program
    EXPECT_EXIT(std::exit(FreshRecordsAreNumberedWithoutKinds() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(TypeInfo, KindsComeFromTheSetUp)
{
    ZevTypeInfoInit();
    ZevSetCollisionKinds();
    const int kinds[] = {0, 0, 0, 1, 2, 3, 0, 0, 0};
    const int vertices[] = {0, 0, 0, 3, 2, 1, 0, 0, 0};
    for (int k = 0; k < ZevCollisionTypeCount; ++k) {
        const TZevTypeInfo* record = ZevCollisionTypeInfo(static_cast<EZevCollisionType>(k));
        EXPECT_STREQ(record->name.CStr(), kNames[k]);
        EXPECT_EQ(record->kind, kinds[k]) << kNames[k];
        EXPECT_EQ(record->vertexCount, vertices[k]) << kNames[k];
    }

    // A record made later takes the next number.
    const std::int32_t next = TypeInfoCounter;
    TZevTypeInfo extra("TZevExtra");
    EXPECT_EQ(extra.number, next);
    EXPECT_EQ(TypeInfoCounter, next + 1);
    EXPECT_EQ(extra.kind, 0);
}

TEST(TypeInfo, NodesCarryTheirClassRecord)
{
    TZevFaceBoxVecT face;
    TZevEdgeBoxVecT edge;
    TZevPointBoxVecT point;
    TZevBBoxTree inner;
    TZevPooledBBoxTree pooled;
    EXPECT_EQ(face.type, ZevCollisionTypeInfo(ZevTypeFaceBoxVecT));
    EXPECT_EQ(edge.type, ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT));
    EXPECT_EQ(point.type, ZevCollisionTypeInfo(ZevTypePointBoxVecT));
    EXPECT_EQ(inner.type, ZevCollisionTypeInfo(ZevTypeBBoxTree));
    // A derived class keeps its base's record unless it sets its own: the test compares pointers only.
    EXPECT_EQ(pooled.type, ZevCollisionTypeInfo(ZevTypeBBoxTree));
    EXPECT_NE(face.type, ZevCollisionTypeInfo(ZevTypeFaceBox));
    // New nodes start clear.
    EXPECT_EQ(face.layer, 0);
    EXPECT_EQ(face.linkCount, 0);
    EXPECT_EQ(face.contactCount, 0);
    EXPECT_EQ(face.bodyAttached, 0);
    EXPECT_EQ(face.object, nullptr);
    EXPECT_EQ(face.edges[2], nullptr);
    EXPECT_TRUE(face.partners.IsEmpty());
    EXPECT_TRUE(point.edges.IsEmpty());
}

} // namespace
