// A body save that fails leaves the body file it would have replaced as it was.
#include "ZevBodyUtil.h"

#include "ZevLisp.h"
#include "ZevCharaInit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadAll(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BodyFileSave, AFailedSaveKeepsTheOldFile)
{
    ZevCharaInit();
    LispInitialize();
    std::filesystem::remove_all("body-saves");
    std::filesystem::create_directories("body-saves");
    TZevGameChara* body = new TZevGameChara;
    ASSERT_EQ(SaveXPhBodyFile("body-saves/b.body", body, nullptr), 1);
    const std::string good = ReadAll("body-saves/b.body");
    // Script data nested deeper than a stream may hold cannot be written.
    TZevLispRef deep = Nil;
    for (int i = 0; i < 2000; ++i) {
        TZevLispRef cell;
        LispCons(cell, deep, Nil);
        deep = cell;
    }
    body->ScriptData = deep;
    EXPECT_EQ(SaveXPhBodyFile("body-saves/b.body", body, nullptr), 0);
    EXPECT_EQ(ReadAll("body-saves/b.body"), good);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator("body-saves"))
        entries += e.path().filename() == "b.body" ? 1 : 100;
    EXPECT_EQ(entries, 1);
    body->ScriptData.Clear();
    deep.Clear();
    delete body;
}

} // namespace
