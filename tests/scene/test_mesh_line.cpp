// The line mesh: segments handed to the renderer once, records back to their pools.
#include <gtest/gtest.h>

#include "RecordingRenderer.h"
#include "ZevLSObj.h"
#include "ZevLineMesh.h"

namespace {

class LineMeshTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevMeshesInit();
    }
};

} // namespace

TEST_F(LineMeshTest, SegmentsAreDrawnOnceByDefault)
{
    auto* lines = dynamic_cast<TZevLineMesh*>(CreateObjectByName("TZevLineMesh"));
    ASSERT_NE(lines, nullptr);
    TRecordingRenderer r;
    r.SetAdditive(1);
    for (int i = 0; i < 3; ++i)
        lines->AddLine(0xFF00FF00u + i, TZevVector(0, 0, float(i)), TZevVector(1, 1, float(i)));
    lines->AddLine2D(0xFFFF0000u, 1, 2, 3, 4);
    lines->Render(&r, nullptr);
    EXPECT_EQ(r.GetAdditive(), 0);
    EXPECT_TRUE(lines->Segments.IsEmpty());
    EXPECT_TRUE(lines->Lines2D.IsEmpty());
    r.ReplayQueue();
    ASSERT_EQ(r.CountOf("WorldLines"), 1);
    ASSERT_EQ(r.CountOf("ScreenLineList"), 1);
    for (const TRecordedCall& c : r.Calls) {
        if (c.Op == "WorldLines") {
            ASSERT_EQ(c.Segments.size(), 3u);
            EXPECT_EQ(c.Segments[2].Color, 0xFF00FF02u);
            EXPECT_EQ(c.Segments[2].z2, 2.0f);
        }
        if (c.Op == "ScreenLineList") {
            ASSERT_EQ(c.Lines.size(), 1u);
            EXPECT_EQ(c.Lines[0].y2, 4.0f);
        }
    }

    // Kept when the mesh is told not to clear.
    lines->ClearAfterDrawing = 0;
    lines->AddLine(1, TZevVector(), TZevVector(1, 0, 0));
    lines->Render(&r, nullptr);
    lines->Render(&r, nullptr);
    EXPECT_EQ(lines->Segments.GetCount(), 1);
    r.ReplayQueue();
    lines->Release();
}

TEST_F(LineMeshTest, DestroyingGivesTheRecordsBack)
{
    auto* lines = dynamic_cast<TZevLineMesh*>(CreateObjectByName("TZevLineMesh"));
    ASSERT_NE(lines, nullptr);
    for (int i = 0; i < 5; ++i)
        lines->AddLine(0, TZevVector(), TZevVector());
    lines->AddLine2D(0, 0, 0, 1, 1);
    lines->Release();
    // The records are pooled: adding as many again takes no new memory.
    auto* again = dynamic_cast<TZevLineMesh*>(CreateObjectByName("TZevLineMesh"));
    const int32_t news = NewCount.load();
    for (int i = 0; i < 5; ++i)
        again->AddLine(0, TZevVector(), TZevVector());
    again->AddLine2D(0, 0, 0, 1, 1);
    EXPECT_EQ(NewCount.load(), news);
    again->Release();
}
