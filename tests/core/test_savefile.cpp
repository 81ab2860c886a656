// Saving whole or not at all: the temporary file beside the target replaces it only on a successful Commit.
#include "ZevSaveFile.h"
#include "test_debug_workdir.h"
#include "../common/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The names in `folder`, so that a test sees any temporary file left behind.
std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SaveFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all("saves");
        fs::create_directories("saves");
        WriteFile("saves/old.txt", "old contents");
    }
    ScopedWorkDir work;
};

} // namespace

TEST_F(SaveFile, CommitReplacesTheTargetAndKeepsItsPermissions)
{
    chmod("saves/old.txt", 0640);
    TZevSaveFile file;
    ASSERT_EQ(file.Open("saves/old.txt", "wb"), 1);
    ASSERT_EQ(file.WriteText("new "), 1);
    // Chunk writers seek back to patch a header: that must work on the temporary file too.
    const std::int32_t at = file.Tell();
    ASSERT_EQ(file.WriteText("xxxx"), 1);
    ASSERT_EQ(file.Seek(at), 1);
    ASSERT_EQ(file.WriteText("data"), 1);
    EXPECT_EQ(ReadFile("saves/old.txt"), "old contents") << "nothing reaches the target before the commit";
    EXPECT_EQ(file.Commit(), 1);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile("saves/old.txt"), "new data");
    struct stat st{};
    ASSERT_EQ(stat("saves/old.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Entries("saves"), std::vector<std::string>{"old.txt"});

    // A new file in the working folder, through the opening constructor.
    TZevSaveFile fresh("plain.txt", "wt");
    ASSERT_TRUE(fresh.IsOpen());
    fresh.WriteText("plain");
    EXPECT_EQ(fresh.Commit(), 1);
    EXPECT_EQ(ReadFile("plain.txt"), "plain");
    EXPECT_EQ(fresh.Commit(), 0) << "nothing left to commit";
}

TEST_F(SaveFile, AnUncommittedSaveLeavesTheOldFile)
{
    {
        TZevSaveFile file("saves/old.txt", "wb");
        ASSERT_TRUE(file.IsOpen());
        file.WriteText("a fragment");
    } // destroyed: a writer that gave up
    EXPECT_EQ(ReadFile("saves/old.txt"), "old contents");

    TZevSaveFile file("saves/old.txt", "wb");
    file.WriteText("first try");
    // A second Open starts over; Close gives up.
    ASSERT_EQ(file.Open("saves/other.txt", "wb"), 1);
    file.WriteText("second try");
    file.Close();
    EXPECT_EQ(ReadFile("saves/old.txt"), "old contents");
    EXPECT_EQ(Entries("saves"), std::vector<std::string>{"old.txt"});
}

TEST_F(SaveFile, RefusedOpensAndFailedWrites)
{
    fs::create_directories("saves/folder");
    struct Case {
        const char* name;
        const char* mode;
    } refused[] = {
        {"no-such-folder/a.txt", "wb"}, // the folder is missing
        {"saves/folder", "wb"},         // a folder is no file
        {"saves/old.txt", "rb"},        // not a writing mode
        {"", "wb"},
        {nullptr, "wb"},
        {"saves/old.txt", nullptr},
    };
    for (const Case& c : refused) {
        TZevSaveFile file;
        EXPECT_EQ(file.Open(c.name, c.mode), 0) << (c.name ? c.name : "(null)");
        EXPECT_EQ(file.Commit(), 0);
    }
    // A file that may not be written is not replaced either (root may write anything: not checked then).
    if (geteuid() != 0) {
        chmod("saves/old.txt", 0444);
        TZevSaveFile file;
        EXPECT_EQ(file.Open("saves/old.txt", "wb"), 0);
        chmod("saves/old.txt", 0644);
    }
    EXPECT_EQ(ReadFile("saves/old.txt"), "old contents");
    EXPECT_EQ(Entries("saves"), (std::vector<std::string>{"folder", "old.txt"}));

    // A device is written directly; a write the device cannot take makes the commit fail.
    if (fs::exists("/dev/full")) {
        TZevSaveFile full("/dev/full", "wb");
        ASSERT_TRUE(full.IsOpen());
        full.WriteText("no room");
        EXPECT_EQ(full.Commit(), 0);
    }
}

TEST_F(SaveFile, ALinkKeepsPointingAtTheSavedFile)
{
    fs::create_symlink("old.txt", "saves/link.txt");
    TZevSaveFile file("saves/link.txt", "wb");
    ASSERT_TRUE(file.IsOpen());
    file.WriteText("through the link");
    ASSERT_EQ(file.Commit(), 1);
    EXPECT_TRUE(fs::is_symlink("saves/link.txt"));
    EXPECT_EQ(ReadFile("saves/old.txt"), "through the link");
}
