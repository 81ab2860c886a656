#include "ZevObjPool.h"
#include "ZevSaveFile.h"
#include "ZevStream.h"
#include "test_debug_workdir.h"
#include "../common/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<char> Pattern(int n, int seed = 0)
{
    std::vector<char> bytes(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

} // namespace

TEST(MemStream, BlocksGrowWithTheWrittenBytes)
{
    TZevMemStream s;
    EXPECT_EQ(s.GetSize(), 0);
    const std::vector<char> data = Pattern(1500);
    EXPECT_EQ(s.Write(data.data(), 1500), 1);
    EXPECT_EQ(s.GetBlockCount(), 2);
    EXPECT_EQ(s.GetCapacity(), 2048);
    EXPECT_EQ(s.Tell(), 1500);
    EXPECT_EQ(s.GetSize(), 1500);

    std::vector<char> back(600);
    EXPECT_EQ(s.Seek(1000), 1);
    EXPECT_EQ(s.Read(back.data(), 600), 0) << "1000 + 600 passes the 1500 bytes written";
    EXPECT_EQ(s.Tell(), 1000);
    EXPECT_EQ(s.Read(back.data(), 500), 1);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 500, data.begin() + 1000));
    EXPECT_EQ(s.Tell(), 1500);
    EXPECT_EQ(s.Read(back.data(), 1), 0);
    EXPECT_EQ(s.Read(back.data(), 0), 1);
}

TEST(MemStream, ExactBlockBoundaries)
{
    TZevMemStream s;
    const std::vector<char> data = Pattern(1025);
    EXPECT_EQ(s.Write(data.data(), 1024), 1);
    EXPECT_EQ(s.GetBlockCount(), 1);
    EXPECT_EQ(s.Write(data.data() + 1024, 1), 1);
    EXPECT_EQ(s.GetBlockCount(), 2);
    std::vector<char> back(1025);
    s.Seek(0);
    EXPECT_EQ(s.Read(back.data(), 1025), 1);
    EXPECT_EQ(back, data);
}

TEST(MemStream, OneWriteGrowsByAsManyBlocksAsItNeeds)
{
    TZevMemStream s;
    const std::vector<char> head = Pattern(100, 1);
    const std::vector<char> big = Pattern(5000, 2);
    s.Write(head.data(), 100);
    EXPECT_EQ(s.Write(big.data(), 5000), 1);
    EXPECT_EQ(s.GetBlockCount(), 5);
    EXPECT_EQ(s.GetSize(), 5100);
    std::vector<char> back(5000);
    s.Seek(100);
    EXPECT_EQ(s.Read(back.data(), 5000), 1);
    EXPECT_EQ(back, big);
}

TEST(MemStream, SeeksAreBoundedAndOverwritesKeepTheSize)
{
    TZevMemStream s;
    const std::vector<char> data = Pattern(3000);
    s.Write(data.data(), 3000);
    EXPECT_EQ(s.Seek(5000), 0);
    EXPECT_EQ(s.Tell(), 3000);
    EXPECT_EQ(s.Seek(-4), 0);
    EXPECT_EQ(s.Tell(), 0);

    // Rewriting a header backwards, as chunk writers do.
    const std::int32_t word = 0x11223344;
    EXPECT_EQ(s.Seek(1022), 1);
    EXPECT_EQ(s.Write(&word, 4), 1);
    EXPECT_EQ(s.GetSize(), 3000);
    EXPECT_EQ(s.GetBlockCount(), 3);
    std::int32_t back = 0;
    s.Seek(1022);
    EXPECT_EQ(s.Read(&back, 4), 1);
    EXPECT_EQ(back, word);
    EXPECT_EQ(s.Write(nullptr, -1), 0);
    EXPECT_EQ(s.Read(&back, -1), 0);
}

TEST(MemStream, DestructionFreesEveryBlockAndNode)
{
    if (TZevCursorList* pool = GetThreadCursorNodePool())
        pool->FreeNodes();
    const std::int32_t made = NewCount, freed = DeleteCount;
    {
        TZevMemStream s;
        const std::vector<char> data = Pattern(4000);
        s.Write(data.data(), 4000);
    }
    EXPECT_EQ(NewCount - made, 8); // four blocks and their four nodes
    EXPECT_EQ(DeleteCount - freed, 8);
}

TEST(BufferStream, FixedSizeBoundsEverything)
{
    TZevBufferStream s(10);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.Seek(-5), 0);
    EXPECT_EQ(s.Tell(), 0);
    EXPECT_EQ(s.Seek(20), 0);
    EXPECT_EQ(s.Tell(), 10);
    s.Seek(8);
    char buffer[4] = {};
    EXPECT_EQ(s.Read(buffer, 4), 0);
    EXPECT_EQ(s.Tell(), 8);
    EXPECT_EQ(s.Write("abcd", 4), 0);
    EXPECT_EQ(s.Write("ab", 2), 1);
    EXPECT_EQ(s.Tell(), 10);
    s.Seek(8);
    EXPECT_EQ(s.Read(buffer, 2), 1);
    EXPECT_EQ(std::string(buffer, 2), "ab");

    TZevBufferStream empty(0);
    EXPECT_EQ(empty.GetSize(), 0);
    EXPECT_EQ(empty.Read(buffer, 1), 0);
    EXPECT_EQ(empty.Read(buffer, 0), 1);

    s.SetData("xyz", 3);
    EXPECT_EQ(s.GetSize(), 3);
    EXPECT_EQ(s.Tell(), 0);
    EXPECT_EQ(s.Read(buffer, 3), 1);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    s.SetData(nullptr, 0);
    EXPECT_EQ(s.GetSize(), 0);
}

TEST(BufferStream, LoadFile)
{
    ScopedWorkDir workDir;
    { std::ofstream("empty.bin", std::ios::binary); }
    std::ofstream("five.bin", std::ios::binary) << "12345";
    TZevBufferStream s;
    EXPECT_EQ(s.LoadFile("empty.bin"), 0);
    EXPECT_EQ(s.LoadFile("no_such_file.bin"), 0);
    EXPECT_EQ(s.LoadFile("five.bin"), 1);
    EXPECT_EQ(s.GetSize(), 5);
    EXPECT_EQ(std::string(s.data, 5), "12345");
}

TEST(File, WriteReadSizeAndShortReads)
{
    ScopedWorkDir workDir;
    {
        TZevFile f("file.bin", "wb");
        ASSERT_TRUE(f.IsOpen());
        EXPECT_EQ(f.Write("hello", 5), 1);
        EXPECT_EQ(f.WriteText(" world"), 1);
        EXPECT_EQ(f.Tell(), 11);
    }
    TZevFile f;
    ASSERT_EQ(f.Open("file.bin", "rb"), 1);
    EXPECT_EQ(f.GetSize(), 11);
    EXPECT_EQ(f.Tell(), 0);
    char buffer[16] = {};
    EXPECT_EQ(f.Seek(6), 1);
    EXPECT_EQ(f.Read(buffer, 5), 1);
    EXPECT_EQ(std::string(buffer, 5), "world");
    f.Seek(8);
    EXPECT_EQ(f.Read(buffer, 5), 0);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetSize(), 0);
    EXPECT_EQ(f.Read(buffer, 1), 0);
    EXPECT_EQ(f.Write(buffer, 1), 0);
    EXPECT_EQ(f.WriteText("x"), 0);
}

// The size is measured once per open and then follows the writes: overwriting inside keeps it, writing past the
// end (also after a seek beyond it, and in append mode wherever the position stood) grows it.
TEST(File, SizeFollowsTheWritesOfEveryMode)
{
    ScopedWorkDir workDir;
    const std::vector<char> data = Pattern(300);
    {
        TZevFile f("size.bin", "wb");
        EXPECT_EQ(f.GetSize(), 0);
        ASSERT_EQ(f.Write(data.data(), 100), 1);
        EXPECT_EQ(f.GetSize(), 100);
        ASSERT_EQ(f.Seek(10), 1);
        ASSERT_EQ(f.Write(data.data(), 50), 1);
        EXPECT_EQ(f.GetSize(), 100);
        ASSERT_EQ(f.Seek(200), 1);
        ASSERT_EQ(f.Write(data.data(), 5), 1);
        EXPECT_EQ(f.GetSize(), 205);
    }
    {
        TZevFile f("size.bin", "at+");
        EXPECT_EQ(f.GetSize(), 205);
        ASSERT_EQ(f.Seek(0), 1);
        ASSERT_EQ(f.Write(data.data(), 20), 1);
        EXPECT_EQ(f.GetSize(), 225);
    }
    {
        TZevFile f("size.bin", "rb+");
        EXPECT_EQ(f.GetSize(), 225);
        ASSERT_EQ(f.Seek(225), 1);
        ASSERT_EQ(f.Write(data.data(), 75), 1);
        EXPECT_EQ(f.GetSize(), 300);
        ASSERT_EQ(f.Seek(0), 1);
        char first[4] = {};
        ASSERT_EQ(f.Read(first, 4), 1);
        EXPECT_EQ(std::string(first, 4), std::string(data.data(), 4));
    }
    EXPECT_EQ(std::filesystem::file_size("size.bin"), 300u);
    // A save file used for a second save measures the new file, not the first one.
    TZevSaveFile save;
    ASSERT_EQ(save.Open("saved.bin", "wb"), 1);
    ASSERT_EQ(save.Write(data.data(), 100), 1);
    EXPECT_EQ(save.GetSize(), 100);
    ASSERT_EQ(save.Commit(), 1);
    ASSERT_EQ(save.Open("saved.bin", "wb"), 1);
    EXPECT_EQ(save.GetSize(), 0);
    ASSERT_EQ(save.Write(data.data(), 7), 1);
    EXPECT_EQ(save.GetSize(), 7);
    ASSERT_EQ(save.Commit(), 1);
    EXPECT_EQ(std::filesystem::file_size("saved.bin"), 7u);
}

// Writes of a file opened for writing, going back to fill in earlier bytes near and far (as record sizes are filled
// in), leaving gaps and writing blocks larger than any buffer: the file holds exactly what a model of it holds, on
// a plain file and on a save file; a device takes the writes too.
TEST(File, WritesGoingBackAndForthLandWhereTheyWereMeant)
{
    ScopedWorkDir workDir;
    struct Step {
        int Seek; // -1: write on
        int Count;
    };
    const Step steps[] = {
        {-1, 10},  {2, 4},     {-1, 70000}, {5, 4},  {70010, 4}, {-1, 3},     {-1, 65530}, {100, 8},
        {-1, 200}, {135545, 1}, {140000, 5}, {0, 1},  {139999, 1}, {-1, 10}, {-1, 131072}, {3, 4},
    };
    const std::vector<char> source = Pattern(140000, 5);
    std::vector<char> model;
    auto play = [&](TZevFile& f) {
        model.clear();
        std::size_t at = 0;
        int seed = 0;
        for (const Step& step : steps) {
            SCOPED_TRACE(testing::Message() << "seek " << step.Seek << " write " << step.Count);
            if (step.Seek >= 0) {
                ASSERT_EQ(f.Seek(step.Seek), 1);
                at = static_cast<std::size_t>(step.Seek);
            }
            ASSERT_EQ(f.Tell(), static_cast<std::int32_t>(at));
            std::vector<char> bytes(static_cast<std::size_t>(step.Count));
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = source[(i + static_cast<std::size_t>(seed)) % source.size()];
            ++seed;
            ASSERT_EQ(f.Write(bytes.data(), step.Count), 1);
            if (model.size() < at + bytes.size())
                model.resize(at + bytes.size(), 0);
            std::copy(bytes.begin(), bytes.end(), model.begin() + static_cast<long>(at));
            at += bytes.size();
            EXPECT_EQ(f.Tell(), static_cast<std::int32_t>(at));
            EXPECT_EQ(f.GetSize(), static_cast<std::int32_t>(model.size()));
        }
    };
    {
        TZevFile f("written.bin", "wb");
        play(f);
    }
    EXPECT_EQ(ReadFile("written.bin"), std::string(model.begin(), model.end()));
    {
        TZevSaveFile f("saved.bin", "wb");
        play(f);
        ASSERT_EQ(f.Commit(), 1);
    }
    EXPECT_EQ(ReadFile("saved.bin"), std::string(model.begin(), model.end()));
    TZevFile device("/dev/null", "wb");
    ASSERT_TRUE(device.IsOpen());
    EXPECT_EQ(device.Write(source.data(), 1000), 1);
}

// Reads of a file larger than its read buffer: every place and length reads what the file holds, seeks back and
// forth (within what was read and beyond it) land where asked, and a read past the end moves nothing.
TEST(File, ReadsAndSeeksAnywhereInALargeFile)
{
    ScopedWorkDir workDir;
    const int n = 200000;
    const std::vector<char> data = Pattern(n, 3);
    {
        std::ofstream out("large.bin", std::ios::binary);
        out.write(data.data(), n);
    }
    TZevFile f("large.bin", "rb");
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.GetSize(), n);
    struct Step {
        int Seek; // -1: read on from where the last read ended
        int Count;
    };
    const Step steps[] = {
        {-1, 4}, {-1, 1},     {0, 8},       {65530, 12}, {-1, 70000}, {10, 3},      {199990, 10},
        {-1, 0}, {65536, 1},  {65535, 2},   {4, 150000}, {131072, 1}, {131071, 1},  {0, n},
    };
    int at = 0;
    std::vector<char> got(static_cast<std::size_t>(n));
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "seek " << step.Seek << " read " << step.Count);
        if (step.Seek >= 0) {
            ASSERT_EQ(f.Seek(step.Seek), 1);
            at = step.Seek;
        }
        EXPECT_EQ(f.Tell(), at);
        ASSERT_EQ(f.Read(got.data(), step.Count), 1);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + step.Count, data.begin() + at));
        at += step.Count;
        EXPECT_EQ(f.Tell(), at);
    }
    // Past the end: refused whole, from inside the buffer and from beyond it, and reading goes on from there.
    for (int from : {n - 5, 1000, n}) {
        ASSERT_EQ(f.Seek(from), 1);
        EXPECT_EQ(f.Read(got.data(), n - from + 1), 0) << from;
        EXPECT_EQ(f.Tell(), from);
        if (from < n) {
            ASSERT_EQ(f.Read(got.data(), 1), 1);
            EXPECT_EQ(got[0], data[static_cast<std::size_t>(from)]);
        }
    }
    char byte = 0;
    EXPECT_EQ(f.Write(&byte, 1), 0) << "a file opened for reading is not written";
    EXPECT_EQ(f.Seek(-1), 0);
}

TEST(File, OpenFailureIsLoggedWithTheName)
{
    ScopedWorkDir workDir;
    TZevFile f;
    EXPECT_EQ(f.Open("missing_dir/nothing.bin", "rb"), 0);
    const std::string log = ReadFile("ZevDebug.txt");
    const std::string line = "ファイルのオープンに失敗しました FileName… \"missing_dir/nothing.bin\"\r\n";
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);

    TZevFile opened("missing_dir/other.bin", "rb");
    EXPECT_FALSE(opened.IsOpen());
    EXPECT_NE(ReadFile("ZevDebug.txt").find("\"missing_dir/other.bin\"\r\n"), std::string::npos);
}
