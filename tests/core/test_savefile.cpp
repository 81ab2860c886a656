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

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

    // A device is written directly; a write the device cannot take makes the commit fail, and a writer that gives
    // up after a failed write leaves the failure in the log too (a full disk is never silent).
    if (fs::exists("/dev/full")) {
        ZevDebugReset();
        {
            TZevSaveFile full("/dev/full", "wb");
            ASSERT_TRUE(full.IsOpen());
            full.WriteText("no room");
            EXPECT_EQ(full.Commit(), 0);
        }
        const std::string line = "ZevSaveFile: \"/dev/full\" could not be written whole";
        EXPECT_NE(ReadFile("ZevDebug.txt").find(line), std::string::npos);
        ZevDebugReset();
        {
            TZevSaveFile full("/dev/full", "wb");
            const std::string picture(1 << 16, 'x'); // more than the stream's buffer: the write itself fails
            EXPECT_EQ(full.Write(picture.data(), static_cast<std::int32_t>(picture.size())), 0);
        } // the writer gives up without a commit
        EXPECT_NE(ReadFile("ZevDebug.txt").find(line), std::string::npos);
    }
    // A save given up without a failed write is no failure.
    ZevDebugReset();
    {
        TZevSaveFile file("saves/old.txt", "wb");
        file.WriteText("abandoned");
    }
    EXPECT_EQ(ReadFile("ZevDebug.txt"), "");
}

// A save killed half-way leaves its hidden temporary file; the next save of the same file by a program started
// later removes it. Temporaries of a save still running, of other files, or of another form stay.
TEST_F(SaveFile, ASaveOfALaterProgramRemovesTheTemporaryOfAKilledSave)
{
    const auto temporaries = [] {
        std::vector<std::string> names;
        for (const std::string& name : Entries("saves"))
            if (name.rfind(".old.txt.", 0) == 0)
                names.push_back(name);
        return names;
    };
    // A save killed (SIGKILL) while it writes.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t killed = fork();
    ASSERT_GE(killed, 0);
    if (killed == 0) {
        TZevSaveFile file("saves/old.txt", "wb");
        const std::string part(1 << 16, 'k');
        const bool written = file.IsOpen() && file.Write(part.data(), static_cast<std::int32_t>(part.size())) == 1;
        (void)!write(ready[1], written ? "y" : "n", 1);
        for (;;)
            pause();
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    const std::vector<std::string> left = temporaries();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".old.txt." + std::to_string(killed) + "-", 0), 0u) << left[0];
    EXPECT_EQ(ReadFile("saves/old.txt"), "old contents");
    // This process started before that save was killed: its saves leave the temporary where it is.
    {
        TZevSaveFile earlier("saves/old.txt", "wb");
        ASSERT_EQ(earlier.WriteText("saved by an earlier program"), 1);
        ASSERT_EQ(earlier.Commit(), 1);
    }
    EXPECT_EQ(temporaries(), left);

    // This process's own save in progress, and hidden files that only look alike.
    TZevSaveFile running("saves/old.txt", "wb");
    ASSERT_TRUE(running.IsOpen());
    running.WriteText("still being written");
    std::vector<std::string> kept = temporaries();
    ASSERT_EQ(kept.size(), 2u);
    kept.erase(std::find(kept.begin(), kept.end(), left[0]));
    const std::string notOurs[] = {".old.txt.backup.tmp", ".old.txt." + std::to_string(killed) + "-0-zz0.tmp",
                                   ".other.txt." + std::to_string(killed) + "-0-a0.tmp"};
    for (const std::string& name : notOurs)
        WriteFile("saves/" + name, "x");

    // The start time of a process is known to a clock tick: the later program starts well after the kill.
    usleep(50000);
    const pid_t later = fork();
    ASSERT_GE(later, 0);
    if (later == 0) {
        TZevSaveFile file("saves/old.txt", "wb");
        _exit(file.IsOpen() && file.WriteText("new") == 1 && file.Commit() == 1 ? 0 : 1);
    }
    int status = -1;
    waitpid(later, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile("saves/old.txt"), "new");
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), notOurs, notOurs + 2);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(temporaries(), expected);
    EXPECT_TRUE(fs::exists("saves/" + notOurs[2]));
    EXPECT_NE(ReadFile("ZevDebug.txt").find("removed \"saves/" + left[0] + "\""), std::string::npos);
    // The save still running is whole.
    EXPECT_EQ(running.Commit(), 1);
    EXPECT_EQ(ReadFile("saves/old.txt"), "still being written");
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
