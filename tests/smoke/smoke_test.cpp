#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

// The tests write logs to their working directory: it must be a scratch folder of the build, never the source tree.
TEST(Smoke, RunsInScratchDirectory)
{
    const auto cwd = std::filesystem::current_path().string();
    EXPECT_NE(cwd.find("testrun"), std::string::npos) << cwd;
    std::ofstream probe("probe.txt");
    EXPECT_TRUE(probe.good());
}
