// DIB-section bitmaps: layout, drawing to a window, BMP files and "WBMP" chunks, and damaged headers.
#include "WinUITestSupport.h"
#include "ZevWinBmp.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

TZevWinBmp* NewBmp() { return static_cast<TZevWinBmp*>(CreateObjectByName("TZevWinBmp")); }

bool SamePixels(TZevWinBmp* a, TZevWinBmp* b)
{
    if (a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() || a->GetBitCount() != b->GetBitCount())
        return false;
    const std::size_t n = static_cast<std::size_t>(a->GetPitch()) * static_cast<std::size_t>(std::abs(a->GetHeight()));
    if (std::memcmp(a->GetBits(), b->GetBits(), n) != 0)
        return false;
    return a->GetBitCount() != 8 || std::memcmp(a->GetColorTable(), b->GetColorTable(), 1024) == 0;
}

std::vector<char> ReadAll(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const char* path, const std::vector<char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST_F(WinUITest, PitchPaddingAndPixelAccessKeepToTheImage)
{
    TZevWinBmp* b = NewBmp();
    for (auto [width, pitch] : {std::pair{1, 4}, {5, 16}, {4, 12}}) {
        ASSERT_TRUE(b->Create(width, 3, 24));
        EXPECT_EQ(b->GetPitch(), pitch);
    }
    EXPECT_FALSE(b->Create(4, 4, 16));
    EXPECT_EQ(b->GetBits(), nullptr);
    ASSERT_TRUE(b->Create(4, -3, 24)); // top-down keeps its sign
    EXPECT_EQ(b->GetHeight(), -3);
    b->SetPixel(1, 2, 10, 20, 30, 0);
    b->SetPixel(4, 0, 1, 1, 1, 0);  // outside: nothing
    b->SetPixel(0, -1, 1, 1, 1, 0); // outside: nothing
    EXPECT_EQ(b->GetBlue(1, 2), 10);
    EXPECT_EQ(b->GetGreen(1, 2), 20);
    EXPECT_EQ(b->GetRed(1, 2), 30);
    EXPECT_EQ(b->GetRed(9, 9), 0);
    delete b;
}

TEST_F(WinUITest, BitmapsOf24And8BitsDrawToAWindowAndRoundTripAsFilesAndChunks)
{
    TRecordForm* form = NewForm();
    TZevWinBmp* b = NewBmp();
    ASSERT_TRUE(b->Create(3, 2, 24));
    b->SetPixel(0, 0, 0, 0, 255, 0); // memory row 0 is the bottom row: red bottom-left
    b->SetPixel(2, 1, 255, 0, 0, 0); // blue top-right
    Pump(App);
    b->BlitToWindow(form->Handle, 5, 5, 0, 0, 3, 2);
    std::int32_t w = 0, h = 0;
    ZevReadClientPixels(form->Handle, &w, &h, nullptr, 0);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w * h));
    ZevReadClientPixels(form->Handle, &w, &h, px.data(), px.size());
    EXPECT_EQ(px[static_cast<std::size_t>(6 * w + 5)], 0xFF0000u);
    EXPECT_EQ(px[static_cast<std::size_t>(5 * w + 7)], 0x0000FFu);

    // A saved 24-bit image is 54 + pitch x rows bytes.
    ASSERT_TRUE(b->SaveToFile("small.bmp"));
    EXPECT_EQ(std::filesystem::file_size("small.bmp"), 54u + 12u * 2u);
    TZevWinBmp* c = NewBmp();
    ASSERT_TRUE(c->LoadFromFile("small.bmp"));
    EXPECT_TRUE(SamePixels(b, c));

    // 8 bits with a colour table, through an object stream's "WBMP" chunk.
    ASSERT_TRUE(b->Create(5, 3, 8));
    b->GetColorTable()[7] = RGBQUAD{1, 2, 3, 0};
    b->UpdateColorTable();
    b->GetBits()[2] = 7;
    TZevLSObj* copy = b->Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(SamePixels(b, static_cast<TZevWinBmp*>(copy)));
    delete copy;
    delete b;
    delete c;
}

TEST_F(WinUITest, EveryTestDataBitmapTheReaderAcceptsRoundTripsPixelForPixel)
{
    int accepted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QE_TESTDATA_DIR) + "/bmp")) {
        TZevWinBmp* a = NewBmp();
        TZevWinBmp* b = NewBmp();
        const std::string path = entry.path().string();
        if (a->LoadFromFile(path.c_str())) {
            ++accepted;
            ASSERT_TRUE(a->SaveToFile("copy.bmp")) << path;
            ASSERT_TRUE(b->LoadFromFile("copy.bmp")) << path;
            EXPECT_TRUE(SamePixels(a, b)) << path;
        }
        delete a;
        delete b;
    }
    EXPECT_GT(accepted, 0);
}

TEST_F(WinUITest, DamagedHeadersAreRefusedWithALogLine)
{
    TZevWinBmp* b = NewBmp();
    ASSERT_TRUE(b->Create(4, 4, 8));
    ASSERT_TRUE(b->SaveToFile("good.bmp"));
    const std::vector<char> good = ReadAll("good.bmp");
    struct Case {
        const char* what;
        std::size_t offset;
        std::int32_t value;
    };
    const Case cases[] = {
        {"signature", 0, 0x4141},     {"width", 18, 1 << 30},     {"height", 22, -(1 << 30)},
        {"zero width", 18, 0},        {"bit count", 28, 16},      {"compression", 30, 1},
        {"palette size", 46, 100000}, {"header size", 14, 1 << 28}, {"planes", 26, 2},
    };
    for (const Case& c : cases) {
        std::vector<char> bad = good;
        const std::size_t n = (c.offset == 0 || c.offset == 26 || c.offset == 28) ? 2 : 4;
        std::memcpy(bad.data() + c.offset, &c.value, n);
        WriteAll("bad.bmp", bad);
        EXPECT_FALSE(b->LoadFromFile("bad.bmp")) << c.what;
        EXPECT_EQ(b->GetBits(), nullptr) << c.what;
    }
    std::vector<char> cut(good.begin(), good.end() - 1); // one byte of pixels missing
    WriteAll("bad.bmp", cut);
    EXPECT_FALSE(b->LoadFromFile("bad.bmp"));
    EXPECT_FALSE(b->LoadFromFile("missing.bmp"));
    const std::vector<char> log = ReadAll("ZevDebug.txt");
    EXPECT_NE(std::string(log.begin(), log.end()).find("TZevWinBmp::ReadBmp: "), std::string::npos);
    delete b;
}
