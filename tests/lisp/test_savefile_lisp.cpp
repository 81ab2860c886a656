// A value save that fails leaves the file it would have replaced as it was.
#include "LispTestHost.h"

#include <filesystem>
#include <string>

namespace {

using LispSaveFile = LispHostTest;

TEST_F(LispSaveFile, AFailedSaveKeepsTheOldFile)
{
    std::filesystem::remove_all("saves");
    std::filesystem::create_directories("saves");
    ASSERT_EQ(Run("(SaveLispObject \"saves/v.bin\" '(1 \"two\"))"), "t\n");
    // Nested deeper than a stream may be read back: the save is refused part-way.
    const std::string deep = std::string(1100, '(') + std::string(1100, ')');
    const std::string answer = Run("(SaveLispObject \"saves/v.bin\" '" + deep + ")");
    EXPECT_EQ(answer.rfind("Error: Cannot Write File!", 0), 0u) << answer.substr(0, 200);
    EXPECT_EQ(Run("(LoadLispObject \"saves/v.bin\")"), "(1 \"two\")\n");
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator("saves"))
        entries += e.path().filename() == "v.bin" ? 1 : 100; // a fragment left beside it counts against
    EXPECT_EQ(entries, 1);
}

} // namespace
