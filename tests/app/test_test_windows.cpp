// The test launcher, its script window and the test form on the in-memory backend: what opens where, the checks
// and sorts of the test form, the curve in the image-filter window, evaluation in the script window, and windows
// that close in any order without leaving a pointer behind.
#include "AppWindowTest.h"

#include "TestForm.h"
#include "ZevDXFormTest.h"
#include "ZevBitmap.h"
#include "ZevFilterForm.h"
#include "ZevForm1.h"
#include "ZevLispWin.h"

#include <cstdlib>
#include <set>
#include <vector>

namespace {

class TestWindowsTest : public AppWindowTest {
protected:
    void SetUp() override
    {
        AppWindowTest::SetUp();
        TZevWin* launcher = nullptr;
        Main->CreateChild(&launcher, "TZevForm1");
        Launcher = static_cast<TZevForm1*>(launcher);
        ASSERT_NE(Launcher, nullptr);
        Pump();
    }
    void ChooseTest(const char* caption)
    {
        TTestForm* form = Launcher->TestForm;
        Choose(form, form->Items, 10, caption);
    }

    TZevForm1* Launcher = nullptr;
};

void ExpectBounds(TZevWin* w, int x, int y, int width, int height)
{
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->X, x);
    EXPECT_EQ(w->Y, y);
    EXPECT_EQ(w->Width, width);
    EXPECT_EQ(w->Height, height);
}

TEST_F(TestWindowsTest, TheLauncherOpensItsWindowsBesideItselfAndTakesThemAlongWhenItClosesLeavingNoPointerBehind)
{
    EXPECT_EQ(CurrentForm1, Launcher);
    ExpectBounds(Launcher, 0, 0, 640, 128);
    ExpectBounds(Launcher->FilterForm, 650, 240, 630, 480);
    ExpectBounds(Launcher->TestForm, 960, 0, 320, 240);
    ExpectBounds(Launcher->LispWin, 640, 0, 320, 240);
    EXPECT_EQ(ZevGetMenuItemCount(GetMenu(Launcher->Handle)), 2);
    EXPECT_EQ(ZevGetMenuItemCount(Launcher->D3DTestMenu->MenuHandle), 7);
    EXPECT_EQ(ZevGetMenuItemText(Launcher->D3DTestMenu->MenuHandle, 6), "End");

    // A window of the launcher closed by its own menu: the launcher forgets it, and the curve has no window to go to.
    TZevFilterForm* filter = Launcher->FilterForm;
    Choose(filter, filter->Items, 13, "Close");
    EXPECT_EQ(Launcher->FilterForm, nullptr);
    ChooseTest("Test3");

    // The launcher closed by its menu takes its other windows along; the test form, which ends the program when
    // closed on its own, leaves the program running here.
    const HWND windows[3] = {Launcher->LispWin->Handle, Launcher->TestForm->Handle, Launcher->DXFormTest->Handle};
    Choose(Launcher, Launcher->Items, 8, "Close");
    Pump();
    EXPECT_EQ(CurrentForm1, nullptr);
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(QuitPosted);
}

TEST_F(TestWindowsTest, TheTestFormsButtonsShowTheFloorOfMinusOneAndAHalfAndTheRecordsOfTheGridRange)
{
    TTestForm* form = Launcher->TestForm;
    ExpectBounds(form->Button1, 128, 8, 64, 24);
    ExpectBounds(form->Memo, 8, 40, 120, 120);
    Click(form->Button1);
    EXPECT_EQ(Text(form->Edit), "-2");
    Click(form->Button2);
    // "1" is taken out; the range of its cells holds "0" and "2", each handed out once.
    EXPECT_EQ(Text(form->Memo), "0\r\n2\r\n");
    Click(form->Button3); // no handler
    ChooseTest("Test4");
    ChooseTest("Atari");
    EXPECT_EQ(Text(form->Edit), "-2");
}

TEST_F(TestWindowsTest, BothSortsOrderTheRecordsIntoTenRisingRunsOfEqualKeysAndShowTheirTimes)
{
    std::vector<float> keys(SortRecordCount);
    for (auto sort : {ZevSortTestArray, ZevSortTestList}) {
        std::srand(7);
        const TZevSortTiming timing = sort(keys.data());
        EXPECT_GE(timing.SortMilliseconds, 0.0);
        int runs = 1;
        for (int i = 1; i < SortRecordCount; ++i) {
            ASSERT_LE(keys[i - 1], keys[i]) << i;
            runs += keys[i] != keys[i - 1];
        }
        EXPECT_EQ(runs, 10);
        EXPECT_EQ(keys.front(), 0.0f);
        EXPECT_EQ(keys.back(), 9.0f);
        EXPECT_STREQ(SortRecords[123].Text.CStr(), TZevString(SortRecords[123].Key).CStr());
    }

    // The menu entries show the time of filling in the title and of sorting in the edit box.
    TTestForm* form = Launcher->TestForm;
    for (const char* entry : {"SortTest", "SortTest2"}) {
        form->SetText("");
        form->Edit->SetText("");
        ChooseTest(entry);
        char* end = nullptr;
        const std::string title = Text(form), edit = Text(form->Edit);
        EXPECT_GE(std::strtod(title.c_str(), &end), 0.0);
        EXPECT_EQ(*end, '\0') << title;
        EXPECT_GE(std::strtod(edit.c_str(), &end), 0.0);
        EXPECT_EQ(*end, '\0') << edit;
    }
}

TEST_F(TestWindowsTest, Test3DrawsACurveThroughItsControlPointsIntoTheFilterWindow)
{
    ChooseTest("Test3");
    TZevWinBmp* image = Launcher->FilterForm->Panel->DisplayBitmap;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 600);
    EXPECT_EQ(std::abs(image->GetHeight()), 400);
    EXPECT_EQ(Launcher->FilterForm->Panel->GetWidth(), 600);
    TZevBitmapAccess access(image);
    const std::uint32_t white = access.MakePixel(255, 255, 255, 255) & 0xFFFFFF;
    const std::uint32_t red = access.MakePixel(255, 0, 0, 255) & 0xFFFFFF;
    const std::uint32_t blue = access.MakePixel(0, 0, 255, 255) & 0xFFFFFF;
    std::set<std::pair<int, int>> curve;
    int points = 0, other = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x) {
            const std::uint32_t p = access.ReadPixel(x, y) & 0xFFFFFF;
            if (p == blue)
                curve.insert({x, y});
            else if (p == red)
                ++points;
            else if (p != white)
                ++other;
        }
    EXPECT_EQ(other, 0);
    EXPECT_GE(points, 1);
    EXPECT_LE(points, 8);
    EXPECT_GT(curve.size(), 200u);
    // A curve, not scattered dots: most pixels of it touch another (2,800 samples leave gaps on long stretches).
    int joined = 0;
    for (auto [x, y] : curve) {
        bool touches = false;
        for (int dy = -1; dy <= 1 && !touches; ++dy)
            for (int dx = -1; dx <= 1 && !touches; ++dx)
                touches = (dx || dy) && curve.count({x + dx, y + dy});
        joined += touches;
    }
    EXPECT_GT(joined, static_cast<int>(curve.size() * 3 / 4));
}

TEST_F(TestWindowsTest, TheScriptWindowEvaluatesWhatIsTypedAndAnEndingScriptClosesTheProgram)
{
    TZevLispWin* w = Launcher->LispWin;
    ExpectBounds(w->SendButton, 248, 8, 64, 24);
    EXPECT_EQ(Text(w->SendButton), "Send");
    Type(w->Input, "(+ 1 2)");
    Click(w->SendButton);
    EXPECT_EQ(Text(w->Input), "");
    EXPECT_NE(Text(w->Output).find('3'), std::string::npos) << Text(w->Output);
    EXPECT_FALSE(QuitPosted);

    Type(w->Input, "(exit)");
    Click(w->SendButton);
    EXPECT_TRUE(QuitPosted);
}

TEST_F(TestWindowsTest, ClosingTheTestFormEndsTheProgram)
{
    Launcher->TestForm->Close();
    Pump();
    EXPECT_TRUE(QuitPosted);
}

} // namespace
