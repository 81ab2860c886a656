#include <gtest/gtest.h>

#include <cstring>

#include "RecordingRenderer.h"
#include "ZevMeshData.h"

namespace {

bool SameBits(const TZevMatrix& a, const TZevMatrix& b)
{
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

std::vector<TZevDrawCommand*> Queued(const TZevQueuedRenderer& r)
{
    std::vector<TZevDrawCommand*> out;
    for (void* item : r.CommandQueue)
        out.push_back(static_cast<TZevDrawCommand*>(item));
    return out;
}

// One frame's worth of drawing of every kind.
void DrawFrame(TZevQueuedRenderer& r, TZevList& lines, TZevList& segments, TZevMeshData* mesh)
{
    const TZevPoint2D points[3] = {{1, 2}, {3, 4}, {5, 6}};
    r.DrawPolyline(points, 3);
    r.DrawPolylineColor(0xFF00FF00u, points, 2);
    r.DrawLineList(&lines);
    r.DrawLines3D(IdentityMatrix, &segments);
    r.DrawMaterialMesh(nullptr, &DefaultMaterial, IdentityMatrix, mesh);
    r.DrawMesh(nullptr, IdentityMatrix, mesh);
}

} // namespace

TEST(Queue, ReplaysInCallOrderWithTheStatesOfEachCall)
{
    TRecordingRenderer r;
    TZevMeshData litMesh, plainMesh;
    TZevTextureName* texture = GetTextureName("stone.bmp");
    TZevMatrix moved;
    ZevMatTranslation(moved, 1, 2, 3);
    const TZevPoint2D points[2] = {{10, 20}, {30, 40}};

    r.SetAdditive(1);
    r.DrawMaterialMesh(texture, &DefaultMaterial, moved, &litMesh);
    r.SetAdditive(0);
    r.SetTranslucent(1);
    r.DrawMesh(texture, moved, &plainMesh);
    r.SetTranslucent(0);
    r.SetShadowVolume(1);
    r.DrawPolyline(points, 2);
    r.SetShadowVolume(0);
    r.SetStencilShadows(1); // not a per-command state

    const std::vector<TZevDrawCommand*> q = Queued(r);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0]->Kind, 4);
    EXPECT_EQ(q[0]->Arg1, texture);
    EXPECT_EQ(q[0]->Arg2, &DefaultMaterial);
    EXPECT_EQ(q[0]->LitMesh, &litMesh);
    EXPECT_TRUE(SameBits(q[0]->Matrix, moved));
    EXPECT_EQ(q[1]->Kind, 6);
    EXPECT_EQ(q[1]->PlainMesh, &plainMesh);
    EXPECT_EQ(q[2]->Kind, 0);

    r.ReplayQueue();
    EXPECT_TRUE(r.CommandQueue.IsEmpty());
    ASSERT_EQ(r.Calls.size(), 3u);
    const struct {
        const char* op;
        int additive, translucent, shadow;
    } expected[] = {{"MaterialMeshNow", 1, 0, 0}, {"LitMeshNow", 0, 1, 0}, {"ScreenLines", 0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.Calls[i].Op, expected[i].op);
        EXPECT_EQ(r.Calls[i].Additive, expected[i].additive) << i;
        EXPECT_EQ(r.Calls[i].Translucent, expected[i].translucent) << i;
        EXPECT_EQ(r.Calls[i].ShadowVolume, expected[i].shadow) << i;
    }
    EXPECT_EQ(r.Calls[0].Texture, texture);
    EXPECT_EQ(r.Calls[0].Material, &DefaultMaterial);
    EXPECT_EQ(r.Calls[0].Mesh, &litMesh);
    EXPECT_TRUE(SameBits(r.Calls[0].Matrix, moved));
    EXPECT_EQ(r.Calls[1].Mesh, &plainMesh);
    ASSERT_EQ(r.Calls[2].Points.size(), 2u);
    EXPECT_EQ(r.Calls[2].Points[1].y, 40);
    texture->Release();
}

TEST(Queue, CopiesWhatTheCallerMayChangeOrFree)
{
    TRecordingRenderer r;
    TZevPoint2D* points = new TZevPoint2D[3]{{1, 1}, {2, 2}, {3, 3}};
    r.DrawPolylineColor(0x123456u, points, 3);
    delete[] points; // gone before the replay

    TZevLineRecord lines[3] = {{1, 0, 0, 1, 1}, {2, 1, 1, 2, 2}, {3, 2, 2, 3, 3}};
    TZevList lineList;
    for (TZevLineRecord& l : lines)
        lineList.Add(&l);
    r.DrawLineList(&lineList);

    TZevSegmentRecord segment = {7, 1, 2, 3, 4, 5, 6};
    TZevList segmentList;
    segmentList.Add(&segment);
    TZevMatrix m;
    ZevMatRotationX(m, 0.5f);
    r.DrawLines3D(m, &segmentList);

    const std::vector<TZevDrawCommand*> q = Queued(r);
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[1]->Items.GetCount(), 3);
    EXPECT_EQ(q[2]->Items.GetCount(), 1);

    // The caller changes everything after the calls.
    for (TZevLineRecord& l : lines)
        l = {99, 9, 9, 9, 9};
    segment = {99, 9, 9, 9, 9, 9, 9};
    m.m[12] = 100;

    r.ReplayQueue();
    ASSERT_EQ(r.Calls.size(), 3u);
    const TRecordedCall& poly = r.Calls[0];
    EXPECT_EQ(poly.Op, "ScreenLinesColor");
    EXPECT_EQ(poly.Color, 0x123456u);
    ASSERT_EQ(poly.Points.size(), 3u);
    EXPECT_EQ(poly.Points[2].x, 3);
    const TRecordedCall& list = r.Calls[1];
    ASSERT_EQ(list.Lines.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.Lines[i].Color, static_cast<std::uint32_t>(i + 1));
        EXPECT_EQ(list.Lines[i].x2, static_cast<float>(i + 1));
    }
    const TRecordedCall& world = r.Calls[2];
    ASSERT_EQ(world.Segments.size(), 1u);
    EXPECT_EQ(world.Segments[0].Color, 7u);
    EXPECT_EQ(world.Segments[0].z2, 6.0f);
    EXPECT_EQ(world.Matrix.m[12], 0.0f);
}

TEST(Queue, EmptyOrMissingInputsQueueEmptyCommands)
{
    TRecordingRenderer r;
    r.DrawPolyline(nullptr, 5);
    const TZevPoint2D p = {1, 1};
    r.DrawPolyline(&p, -3);
    r.DrawLineList(nullptr);
    r.DrawLines3D(IdentityMatrix, nullptr);
    TZevList holes; // a list of null records
    holes.Add(nullptr);
    r.DrawLineList(&holes);
    r.DrawLines3D(IdentityMatrix, &holes);
    for (TZevDrawCommand* c : Queued(r)) {
        EXPECT_EQ(c->PointCount, 0);
        EXPECT_TRUE(c->Items.IsEmpty());
    }
    r.ReplayQueue();
    EXPECT_EQ(r.Calls.size(), 6u);
}

TEST(Queue, WarmFramesAllocateNothing)
{
    TRecordingRenderer r;
    TZevLineRecord lines[4] = {};
    TZevSegmentRecord segments[4] = {};
    TZevList lineList, segmentList;
    for (int i = 0; i < 4; ++i) {
        lineList.Add(&lines[i]);
        segmentList.Add(&segments[i]);
    }
    TZevMeshData mesh;

    DrawFrame(r, lineList, segmentList, &mesh);
    r.ClearCommands();
    EXPECT_TRUE(r.CommandQueue.IsEmpty());
    EXPECT_GE(ZevDrawCommandPoolCount(), 6);

    const int news = NewCount.load();
    for (int frame = 0; frame < 3; ++frame) {
        DrawFrame(r, lineList, segmentList, &mesh);
        r.ReplayQueue();
    }
    EXPECT_EQ(NewCount.load(), news);
}

TEST(Queue, ClearingGivesRecordsBackToTheirPools)
{
    TRecordingRenderer r;
    TZevLineRecord line = {};
    TZevList lineList;
    lineList.Add(&line);
    r.DrawLineList(&lineList);
    TZevDrawCommand* command = Queued(r)[0];
    void* record = command->Items.First()->data;

    FreeDrawCommandItems(command);
    EXPECT_TRUE(command->Items.IsEmpty());
    // The record went back to the calling thread's 20-byte pool: the next one taken is that record.
    void* again = ZevPool20Alloc();
    EXPECT_EQ(again, record);
    ZevPool20Release(again);
    r.ClearCommands();
}

TEST(Queue, DestroyingTheRendererRecyclesQueuedCommands)
{
    const int pooled = ZevDrawCommandPoolCount();
    const int live = NewCount.load() - DeleteCount.load();
    {
        TRecordingRenderer r;
        TZevLineRecord line = {};
        TZevList lineList;
        lineList.Add(&line);
        const TZevPoint2D p[2] = {{0, 0}, {1, 1}};
        r.DrawPolyline(p, 2);
        r.DrawLineList(&lineList);
    } // never cleared by its owner
    EXPECT_GE(ZevDrawCommandPoolCount(), 2);
    EXPECT_GE(ZevDrawCommandPoolCount(), pooled);
    // Nothing but pooled commands, records and nodes stays allocated; taking two commands again allocates nothing.
    const int news = NewCount.load();
    TZevDrawCommand* a = TakeDrawCommand();
    TZevDrawCommand* b = TakeDrawCommand();
    EXPECT_EQ(NewCount.load(), news);
    EXPECT_EQ(a->Kind, 0);
    EXPECT_EQ(a->PointCount, 0);
    EXPECT_TRUE(a->Items.IsEmpty());
    ZevDrawCommandRelease(a);
    ZevDrawCommandRelease(b);
    (void)live;
}
