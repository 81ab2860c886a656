// The image-filter window: every menu entry on a small fixture, loading and saving through its dialogs.
#include "WinUITestSupport.h"
#include "ZevFilterForm.h"

#include "../common/TestFiles.h"
#include "ZevDebug.h"

#include <filesystem>
#include <vector>

namespace {

class FilterTest : public WinUITest {
protected:
    void SetUp() override
    {
        WinUITest::SetUp();
        NewForm();
        TZevWin* w = nullptr;
        ASSERT_TRUE(App->CreateForm(&w, "TZevFilterForm"));
        Form = static_cast<TZevFilterForm*>(w);
        Panel = Form->Panel;
        ASSERT_NE(Panel, nullptr);
    }
    // Chooses the entry as the menu does: WM_COMMAND with its identifier.
    void Choose(const char* caption)
    {
        for (TZevMenuItem* item : Form->Items)
            if (item && std::string(item->Caption.CStr()) == caption) {
                SendMessageA(Form->Handle, WM_COMMAND, static_cast<WPARAM>(item->CommandId), 0);
                Pump(App);
                return;
            }
        ADD_FAILURE() << "no entry " << caption;
    }
    // A w x h image of one colour, with an optional different centre pixel.
    void Fill(std::int32_t w, std::int32_t h, std::uint8_t v, int centre = -1)
    {
        Panel->NewImage(w, h);
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x)
                Panel->DisplayBitmap->SetPixel(x, y, v, v, v, 0);
        if (centre >= 0)
            Panel->DisplayBitmap->SetPixel(w / 2, h / 2, static_cast<std::uint8_t>(centre),
                                           static_cast<std::uint8_t>(centre), static_cast<std::uint8_t>(centre), 0);
        Panel->ShowWorkImage();
    }
    std::uint8_t At(std::int32_t x, std::int32_t y) { return Panel->DisplayBitmap->GetRed(x, y); }

    TZevFilterForm* Form = nullptr;
    TZevFilterPanel* Panel = nullptr;
};

} // namespace

TEST_F(FilterTest, MenusHoldTheThirteenEntriesInOrder)
{
    HMENU bar = GetMenu(Form->Handle);
    ASSERT_EQ(ZevGetMenuItemCount(bar), 2);
    EXPECT_EQ(ZevGetMenuItemText(Form->FilterMenu->MenuHandle, 7), "Half");
    EXPECT_EQ(ZevGetMenuItemCount(Form->FilesMenu->MenuHandle), 3);
    EXPECT_EQ(ZevGetMenuItemCount(Form->FilterMenu->MenuHandle), 10);
    EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 8); // starts with an 8 x 8 black image
    EXPECT_EQ(At(3, 3), 0);
}

TEST_F(FilterTest, EachFilterOnAUniformOrSpotImage)
{
    struct Case {
        const char* entry;
        std::uint8_t level;
        int centre;
        std::uint8_t expectCorner;
        int expectCentre; // -1: not checked
    };
    const Case cases[] = {
        {"Heikin", 90, -1, 90, 90},   {"Gaussian", 90, -1, 90, 90}, {"Laplacian", 90, -1, 127, 127},
        {"SobelX", 90, -1, 127, 127}, {"SobelY", 90, -1, 127, 127}, {"GrayScale", 90, -1, 90, 90},
        {"Median", 40, 250, 40, 40},  {"Heikin", 0, 90, 0, 10},     {"Laplacian", 100, 110, 127, 167},
    };
    for (const Case& c : cases) {
        Fill(5, 5, c.level, c.centre);
        Choose(c.entry);
        EXPECT_EQ(At(0, 0), c.expectCorner) << c.entry;
        if (c.expectCentre >= 0) {
            EXPECT_EQ(At(2, 2), c.expectCentre) << c.entry;
        }
    }
    // The edge detectors leave only black and white.
    for (const char* entry : {"EdgeDetect", "EdgeDetect2"}) {
        Fill(7, 7, 20, 240);
        Choose(entry);
        for (std::int32_t y = 0; y < 7; ++y) {
            for (std::int32_t x = 0; x < 7; ++x) {
                EXPECT_TRUE(At(x, y) == 0 || At(x, y) == 255) << entry << " " << x << "," << y;
            }
        }
    }
}

TEST_F(FilterTest, HalfShrinksTheImageAndThePanelButNotBelowOnePixel)
{
    Fill(3, 3, 77);
    Choose("Half");
    EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 1);
    EXPECT_EQ(Panel->DisplayBitmap->GetHeight(), 1);
    EXPECT_EQ(At(0, 0), 77);
    EXPECT_EQ(Panel->GetWidth(), 1);
    Fill(1, 6, 5);
    Choose("Half");
    EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 1);
    EXPECT_EQ(Panel->DisplayBitmap->GetHeight(), 6);
}

TEST_F(FilterTest, LoadAndSaveGoThroughTheDialogsAndACancelChangesNothing)
{
    Fill(4, 2, 200);
    static std::string answer;
    ZevSetModalHook(
        [](HWND dialog, void*) {
            HWND name = GetDlgItem(dialog, ZevDialogNameId);
            SetWindowTextA(name, answer.c_str());
            PostMessageA(dialog, WM_COMMAND, answer.empty() ? IDCANCEL : IDOK, 0);
        },
        nullptr);
    answer = std::filesystem::absolute("saved.bmp").string();
    Choose("Save");
    ASSERT_TRUE(std::filesystem::exists("saved.bmp"));
    Fill(2, 2, 0);
    answer.clear();
    Choose("Load"); // cancelled
    EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 2);
    answer = std::filesystem::absolute("saved.bmp").string();
    Choose("Load");
    EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 4);
    EXPECT_EQ(At(3, 1), 200);
    ZevSetModalHook(nullptr, nullptr);
    const HWND handle = Form->Handle;
    Choose("Close"); // the form is deleted after the pass
    EXPECT_FALSE(IsWindow(handle));
}

namespace {

// What the modal dialogs of one menu choice showed: the file dialog gets `path`, each message box is noted.
struct TDialogs {
    std::string path;
    std::vector<std::string> boxes; // caption, a line feed, text
};

void AnswerDialogs(HWND dialog, void* user)
{
    auto* d = static_cast<TDialogs*>(user);
    if (HWND name = GetDlgItem(dialog, ZevDialogNameId)) {
        SetWindowTextA(name, d->path.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return;
    }
    HWND text = GetDlgItem(dialog, 0);
    d->boxes.push_back(ZevGetWindowText(dialog) + "\n" + (text ? ZevGetWindowText(text) : ""));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

} // namespace

TEST_F(FilterTest, AFileThatCannotBeSavedOrReadIsSaidOnScreenAndInTheLog)
{
    namespace fs = std::filesystem;
    WriteFile("words.bmp", "no picture here");
    struct Case {
        const char* entry;
        std::string path;
        const char* said;
        const char* logged;
    };
    // (The dialogs themselves refuse a missing file to load and a missing folder to save in.)
    std::vector<Case> cases = {
        {"Load", fs::absolute("words.bmp").string(), "This file could not be read as a BMP image:", nullptr},
    };
    // A full disk: a name that leads to /dev/full. The picture is larger than the writer's buffer, so the write
    // itself fails.
    if (fs::exists("/dev/full")) {
        fs::remove("full.bmp");
        fs::create_symlink("/dev/full", "full.bmp");
        cases.push_back({"Save", fs::absolute("full.bmp").string(), "The image could not be saved to this file:",
                         "ZevSaveFile: \"/dev/full\" could not be written whole"});
    }
    Fill(64, 64, 90);
    TDialogs dialogs;
    ZevSetModalHook(AnswerDialogs, &dialogs);
    for (const Case& c : cases) {
        ZevDebugReset();
        dialogs = {c.path, {}};
        Choose(c.entry);
        ASSERT_EQ(dialogs.boxes.size(), 1u) << c.entry << " " << c.path;
        EXPECT_EQ(dialogs.boxes[0], std::string(c.entry) + "\n" + c.said + "\n" + c.path);
        const std::string log = ReadFile("ZevDebug.txt");
        EXPECT_NE(log.find(std::string("filter: ") + c.said + " \"" + c.path + "\""), std::string::npos) << log;
        if (c.logged != nullptr)
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(Panel->DisplayBitmap->GetWidth(), 64); // the image stays
        EXPECT_EQ(At(5, 5), 90);
    }
    // A save that works says nothing.
    dialogs = {fs::absolute("fine.bmp").string(), {}};
    Choose("Save");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_TRUE(fs::exists("fine.bmp"));
    ZevSetModalHook(nullptr, nullptr);
}
