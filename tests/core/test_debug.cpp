#include "ZevDebug.h"
#include "ZevList.h"
#include "ZevStream.h"
#include "test_debug_workdir.h"
#include "../common/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Probe : TZevAllocated {
    Probe() { ++constructed; }
    static inline int constructed = 0;
    int payload[4] = {};
};

} // namespace

TEST(DebugLog, AppendsTextExactlyAsGiven)
{
    ScopedWorkDir workDir;
    ZevDebugLog("a");
    ZevDebugLog("b\n");
    ZevDebugLog(nullptr);
    const std::string log = ReadFile("ZevDebug.txt");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.substr(log.size() - 3), "ab\n");
}

TEST(DebugLog, ResetEmptiesTheFile)
{
    ScopedWorkDir workDir;
    ZevDebugLog("something\n");
    ZevDebugReset();
    EXPECT_EQ(ReadFile("ZevDebug.txt"), "");
}

// When the log itself cannot be opened the text is dropped: its open failure must not be logged again.
TEST(DebugLog, UnopenableLogIsSkippedWithoutRecursion)
{
    ScopedWorkDir workDir;
    std::filesystem::create_directory("ZevDebug.txt");
    ZevDebugLog("dropped\n");
    TZevFile file;
    EXPECT_EQ(file.Open("missing.bin", "rb"), 0);
    EXPECT_TRUE(std::filesystem::is_directory("ZevDebug.txt"));
}

TEST(CountingAllocator, CountsBlocksButNotNullFrees)
{
    const std::int32_t made = NewCount, freed = DeleteCount;
    void* p = ZevAlloc(24);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(NewCount - made, 1);
    ZevFree(nullptr);
    EXPECT_EQ(DeleteCount - freed, 0);
    ZevFree(p);
    EXPECT_EQ(DeleteCount - freed, 1);

    Probe* probe = new Probe;
    EXPECT_EQ(NewCount - made, 2);
    delete probe;
    EXPECT_EQ(DeleteCount - freed, 2);
}

// A failed allocation must never hand a null object to a constructor, nor count as an allocation.
TEST(CountingAllocator, FailedAllocationNeverReachesConstructor)
{
    ScopedWorkDir workDir;
    const std::int32_t made = NewCount, freed = DeleteCount;
    const int constructedBefore = Probe::constructed;

    ZevFailAllocationAfter(0);
    EXPECT_EQ(ZevAlloc(16), nullptr);

    ZevFailAllocationAfter(0);
    EXPECT_THROW({ Probe* p = new Probe; delete p; }, std::bad_alloc);
    EXPECT_EQ(Probe::constructed, constructedBefore);

    // The failure strikes after the given number of successes, then switches itself off.
    ZevFailAllocationAfter(1);
    void* first = ZevAlloc(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(ZevAlloc(8), nullptr);
    void* third = ZevAlloc(8);
    EXPECT_NE(third, nullptr);
    ZevFree(first);
    ZevFree(third);
    ZevFailAllocationAfter(-1);

    EXPECT_EQ(NewCount - made, 2);
    EXPECT_EQ(DeleteCount - freed, 2);
    const std::string log = ReadFile("ZevDebug.txt");
    EXPECT_NE(log.find("out of memory"), std::string::npos);
}

// The report and the start-up log of a whole program run, in a folder of their own.
TEST(AllocationReport, WrittenAtExitForCleanAndLeakingRuns)
{
    struct Case {
        const char* argument;
        const char* expectedReport; // "%d" is the allocation count of the run
        bool leaks;
    };
    const Case cases[] = {
        {"", "NewCount = %d DeleteCount = %d \n", false},
        {"leak", "NewCount = %d DeleteCount = %d \nDon't Match!\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        const std::filesystem::path dir = std::filesystem::current_path() / (std::string("report_run_") + c.argument);
        std::filesystem::create_directories(dir);
        // Leftovers of an earlier run must be gone after the start.
        WriteFile(dir / "ZevDebug.txt", "old log line\n");
        WriteFile(dir / "ZevMemoryCheck2.txt", "old report\n");

        const std::string command = "cd '" + dir.string() + "' && ASAN_OPTIONS=detect_leaks=0 '" +
                                    CORE_ALLOC_REPORT_PROG + "' " + c.argument;
        ASSERT_EQ(std::system(command.c_str()), 0);

        const std::string report = ReadFile(dir / "ZevMemoryCheck2.txt");
        int made = -1, freed = -1;
        ASSERT_EQ(std::sscanf(report.c_str(), "NewCount = %d DeleteCount = %d", &made, &freed), 2) << report;
        EXPECT_GT(made, 100);
        EXPECT_EQ(freed, c.leaks ? made - 1 : made);
        char expected[160];
        std::snprintf(expected, sizeof expected, c.expectedReport, made, freed);
        EXPECT_EQ(report, expected);

        const std::string log = ReadFile(dir / "ZevDebug.txt");
        EXPECT_EQ(log.rfind("ZevDebug.cpp inited.\nZevList.cpp inited.\naZevList.cpp inited.\n", 0), 0u) << log;
        EXPECT_EQ(log.find("old log line"), std::string::npos);
        EXPECT_NE(log.find("ZevObjPool.cpp inited.\n"), std::string::npos);
    }
}
