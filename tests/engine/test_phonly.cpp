// The physics-only run: the context it publishes, its life cycle and the stream handle checks.
#include "EngineTestHost.h"
#include "QEContext.h"
#include "QEPhOnly.h"
#include "ZevFrame.h"
#include "ZevPhscs2World.h"

#include <string>
#include <vector>

namespace {

using PhOnlyTest = EngineTest;

std::vector<std::string> ObjectPaths()
{
    std::vector<std::string> paths;
    for (int i = 0; i < ObjectPathList.GetCount(); ++i)
        paths.push_back(ObjectPathList.GetAt(i));
    return paths;
}

TEST_F(PhOnlyTest, NothingToDoWithoutAContext)
{
    EXPECT_EQ(QE_PhOnlyStep(), 0);
    EXPECT_EQ(QE_PhOnlyFinal(), 0);
    EXPECT_EQ(CurrentWorld, nullptr);
}

TEST_F(PhOnlyTest, InitPublishesTheContext)
{
    ObjectPathList.Clear();
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    ASSERT_NE(PhOnlyContext, nullptr);
    EXPECT_EQ(CurrentWorld, PhOnlyContext->World);
    EXPECT_EQ(RootFrame, PhOnlyContext->Root);
    EXPECT_EQ(CameraFrame, PhOnlyContext->Camera);
    EXPECT_EQ(CameraFrame->GetParent(), RootFrame);
    EXPECT_EQ(KeyStateTable, nullptr);
    EXPECT_EQ(StepSizePtr, &PhOnlyContext->StepSize);
    EXPECT_EQ(RepeatSizePtr, &PhOnlyContext->RepeatSize);
    EXPECT_FLOAT_EQ(*StepSizePtr, 0.02f);
    EXPECT_EQ(*RepeatSizePtr, 1000);
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(CameraFrame->LocalMatrix.m[i], expected[i]) << i;
    EXPECT_EQ(ObjectPaths(), (std::vector<std::string>{"objects/", "/usr/share/vizorudada/qetest/objects/"}));
}

TEST_F(PhOnlyTest, FinalClearsEveryGlobal)
{
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    EXPECT_EQ(QE_PhOnlyFinal(), 1);
    EXPECT_EQ(PhOnlyContext, nullptr);
    EXPECT_EQ(CurrentWorld, nullptr);
    EXPECT_EQ(RootFrame, nullptr);
    EXPECT_EQ(CameraFrame, nullptr);
    EXPECT_EQ(StepSizePtr, nullptr);
    EXPECT_EQ(RepeatSizePtr, nullptr);
    EXPECT_EQ(QE_PhOnlyStep(), 0);
    EXPECT_EQ(QE_PhOnlyFinal(), 0);
}

TEST_F(PhOnlyTest, SecondInitReplacesTheFirstWithoutLeakOrDuplicatePaths)
{
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    const std::vector<std::string> paths = ObjectPaths();
    const std::int32_t liveAfterFirst = NewCount - DeleteCount;
    const TZevPhOnlyContext* first = PhOnlyContext;
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    EXPECT_NE(PhOnlyContext, nullptr);
    EXPECT_NE(PhOnlyContext, first);
    EXPECT_EQ(CurrentWorld, PhOnlyContext->World);
    // The first context is gone: no more objects live than after the first run was built.
    EXPECT_LE(NewCount - DeleteCount, liveAfterFirst);
    EXPECT_EQ(ObjectPaths(), paths);
}

TEST_F(PhOnlyTest, FailedAllocationReturnsZeroAndLeavesNothingPublished)
{
    for (int successes = 0; successes < 6; ++successes) {
        ZevFailAllocationAfter(successes);
        const int result = QE_PhOnlyInit();
        ZevFailAllocationAfter(-1);
        if (result == 0) {
            EXPECT_EQ(PhOnlyContext, nullptr) << successes;
            EXPECT_EQ(CurrentWorld, nullptr) << successes;
        } else {
            EXPECT_EQ(CurrentWorld, PhOnlyContext->World) << successes;
            QE_PhOnlyFinal();
        }
    }
    ZevFailAllocationAfter(0);
    EXPECT_EQ(QE_PhOnlyInit(), 0);
    ZevFailAllocationAfter(-1);
    EXPECT_EQ(PhOnlyContext, nullptr);
}

TEST_F(PhOnlyTest, StreamExportsRefuseHandlesOutsideACallback)
{
    char bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(QE_WriteToStream(nullptr, bytes, 4), 0);
    EXPECT_EQ(QE_ReadFromStream(nullptr, bytes, 4), 0);
    // A pointer that is no open handle (a stale one, or any other object) is refused too.
    EXPECT_EQ(QE_WriteToStream(reinterpret_cast<QE_StreamHandle*>(bytes), bytes, 4), 0);
    EXPECT_EQ(QE_ReadFromStream(reinterpret_cast<QE_StreamHandle*>(bytes), bytes, 4), 0);

    TZevMemStream memory;
    {
        TZevStreamHandle handle(&memory, nullptr);
        QE_StreamHandle* h = reinterpret_cast<QE_StreamHandle*>(&handle);
        EXPECT_EQ(QE_WriteToStream(h, bytes, 4), 1);
        EXPECT_EQ(QE_WriteToStream(h, nullptr, 4), 0);
        EXPECT_EQ(QE_WriteToStream(h, bytes, -1), 0);
        memory.Seek(0);
        char back[4] = {};
        EXPECT_EQ(QE_ReadFromStream(h, back, 4), 1);
        EXPECT_EQ(std::string(back, 4), std::string(bytes, 4));
        EXPECT_EQ(QE_ReadFromStream(h, back, 1), 0); // past the end
        EXPECT_EQ(QE_ReadFromStream(h, nullptr, 1), 0);
    }
}

int StepsTaken = 0;
int CountSteps(QE_XPhBody*, void*)
{
    ++StepsTaken;
    return 1;
}
int CountAndShrinkRepeat(QE_XPhBody*, void*)
{
    ++StepsTaken;
    QE_SetSimulationRepeatSize(1000);
    return 1;
}
int TryToEndTheRun(QE_XPhBody*, void* result)
{
    *static_cast<int*>(result) = QE_PhOnlyFinal() * 10 + QE_PhOnlyInit();
    return 1;
}

// A physics-only run with one body that counts the steps taken.
class RepeatTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        QE_RegisterFunction("CountSteps", reinterpret_cast<QE_Function>(CountSteps));
        QE_RegisterFunction("CountAndShrinkRepeat", reinterpret_cast<QE_Function>(CountAndShrinkRepeat));
        QE_RegisterFunction("TryToEndTheRun", reinterpret_cast<QE_Function>(TryToEndTheRun));
        ASSERT_EQ(QE_PhOnlyInit(), 1);
        body = QE_MakeEmptyXPhBody();
        ASSERT_NE(body, nullptr);
        StepsTaken = 0;
        RepeatAccumulator = 0;
    }
    void Attach(const char* step, void* user = nullptr)
    {
        QE_CFunctionDesc desc = {step, nullptr, nullptr, nullptr, user};
        ASSERT_NE(QE_XPhBodySetCFunction(body, &desc), nullptr);
    }
    QE_XPhBody* body = nullptr;
};

TEST_F(RepeatTest, StepsTakenForEachRepeatSize)
{
    Attach("CountSteps");
    struct Case {
        int repeat;
        int calls;
        int steps;
    } cases[] = {
        {1000, 3, 3}, {2500, 3, 6}, {500, 4, 2}, {500, 3, 1}, {1, 999, 0}, {1, 1000, 1},
        {999, 1000, 999}, {3000, 1, 3}, {0, 5, 0}, {-5, 5, 0},
    };
    for (const Case& c : cases) {
        StepsTaken = 0;
        RepeatAccumulator = 0;
        ASSERT_EQ(QE_SetSimulationRepeatSize(c.repeat), 1);
        for (int i = 0; i < c.calls; ++i)
            ASSERT_EQ(QE_PhOnlyStep(), 1);
        EXPECT_EQ(StepsTaken, c.steps) << "repeat " << c.repeat << ", " << c.calls << " calls";
    }
}

TEST_F(RepeatTest, RepeatSizeOfZeroOrBelowLeavesTheAccumulatorAlone)
{
    Attach("CountSteps");
    for (int repeat : {0, -300}) {
        StepsTaken = 0;
        RepeatAccumulator = 700;
        QE_SetSimulationRepeatSize(repeat);
        QE_PhOnlyStep();
        EXPECT_EQ(RepeatAccumulator, 700) << repeat;
        QE_SetSimulationRepeatSize(300);
        QE_PhOnlyStep(); // 700 + 300 reaches a step
        EXPECT_EQ(StepsTaken, 1) << repeat;
        EXPECT_EQ(RepeatAccumulator, 0) << repeat;
    }
}

TEST_F(RepeatTest, ARepeatSizeChangedByACallbackCountsWithinTheCall)
{
    Attach("CountAndShrinkRepeat");
    QE_SetSimulationRepeatSize(5000);
    QE_PhOnlyStep();
    EXPECT_EQ(StepsTaken, 1);
}

TEST_F(RepeatTest, SimulationFlagOffStepsNothing)
{
    Attach("CountSteps");
    SimulationFlag = 0;
    EXPECT_EQ(QE_PhOnlyStep(), 1);
    SimulationFlag = 1;
    EXPECT_EQ(StepsTaken, 0);
    EXPECT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(StepsTaken, 1);
}

TEST_F(RepeatTest, TheStepSizeIsTheContextsFromTheNextCallOn)
{
    Attach("CountSteps");
    QE_SetSimulationStepSize(0.05f);
    QE_PhOnlyStep();
    EXPECT_FLOAT_EQ(CurrentWorld->StepSize, 0.05f);
}

TEST_F(RepeatTest, TheRunCannotBeEndedOrReplacedFromInsideItsStep)
{
    int result = -1;
    Attach("TryToEndTheRun", &result);
    EXPECT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(result, 0); // both refused
    EXPECT_NE(PhOnlyContext, nullptr);
    EXPECT_EQ(QE_PhOnlyFinal(), 1);
}

} // namespace
