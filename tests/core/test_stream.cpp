#include "ZevObjPool.h"
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
