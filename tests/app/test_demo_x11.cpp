// The demo program as a person uses it, on an X server of the test's own, driven by real X input from xdotool:
// it starts, each script scene is chosen from the menus by clicks and draws (a picture per scene is kept), a line
// typed into the console changes the world, scenes come and go without the threads or the memory of the program
// growing, and "Files" > "Close" ends it with exit code 0.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include "../common/TestFiles.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t MenuGrey = 0xD4D0C8;
// Colours of a view that shows a scene (the form and a blank view have a few dozen). The emptiest, the default
// world, is sky, text and a floor of flat tiles (their texels magnified as they are): some 160.
constexpr int SceneColours = 120;

class DemoProgramTest : public XProgramTest {
protected:
    void SetUp() override
    {
        XProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Demo = StartProgram({QE_BIN_DIR "/demo"}, Folder.string());
        ASSERT_GT(Demo, 0);
        ASSERT_TRUE(WaitForScreen(FormShown, Patience)) << "the main form did not show";
    }

    // The main form with its menu bar, not covered by a view.
    static bool FormShown(const TScreenShot& shot)
    {
        return shot.At(2, CaptionHeight + 2) == MenuGrey && shot.At(FormWidth - 2, CaptionHeight + 2) == MenuGrey;
    }
    static TScreenShot ViewPicture(const TScreenShot& shot)
    {
        return shot.Part(0, CaptionHeight, FormWidth, FormHeight - CaptionHeight);
    }
    // A view that shows a scene: shaded surfaces give a picture of many colours.
    static bool SceneDrawn(const TScreenShot& shot)
    {
        return !FormShown(shot) && ViewPicture(shot).DistinctColours() > SceneColours;
    }
    // A main-form entry, chosen with two clicks: its popup on the bar, then the entry.
    void Choose(const TZevDemoMenuEntry& entry) { ClickMenu(DemoMenuClicks(entry)); }
    const TZevDemoMenuEntry& Entry(const char* caption)
    {
        for (const TZevDemoMenuEntry& entry : DemoMenuTable())
            if (std::string(entry.Caption) == caption)
                return entry;
        throw std::runtime_error(caption);
    }
    // ESCAPE in the view (after a click that gives it the keyboard) ends its scene; the form shows again.
    void CloseView()
    {
        Click(FormWidth / 2, FormHeight - 20);
        Key("Escape");
        ASSERT_TRUE(WaitForScreen(FormShown, Patience)) << "the view did not close";
    }
    // Chooses a scene, waits until it is drawn, keeps its picture and checks it.
    void ShowScene(const TZevDemoMenuEntry& entry, const std::string& name)
    {
        Choose(entry);
        if (std::string(entry.Script) == "LoadWorld.lsp") {
            // Its file dialog opens at once: cancelled, the default world stays.
            ASSERT_TRUE(WaitForWindow("Open", Patience)) << "no file dialog";
            Key("Escape");
        }
        ASSERT_TRUE(WaitForScreen(SceneDrawn, Patience)) << entry.Caption;
        // A few frames on, for the picture kept.
        EXPECT_TRUE(WaitForFrames(10, Patience)) << "the view does not go on drawing";
        const TScreenShot shot = CaptureScreen();
        shot.Part(0, 0, 960, FormHeight).Save("demo_" + name);
        const TScreenShot picture = ViewPicture(shot);
        EXPECT_GT(picture.DistinctColours(), SceneColours) << entry.Caption;
        EXPECT_FALSE(FormShown(shot));
    }
    std::string MemoryReport() const { return ReadFile(Folder / "ZevMemoryCheck2.txt"); }
};

std::string PictureName(const char* script)
{
    std::string name = fs::path(script).stem().string();
    return name;
}

// The script scenes of the menus in two halves, each in a program of its own (the halves run side by side).
std::vector<const TZevDemoMenuEntry*> ScriptScenes(int half)
{
    std::vector<const TZevDemoMenuEntry*> scenes;
    for (const TZevDemoMenuEntry& entry : DemoMenuTable())
        if (entry.Kind == TZevDemoEntryKind::ScriptScene)
            scenes.push_back(&entry);
    const std::size_t middle = scenes.size() / 2;
    return half == 0 ? std::vector(scenes.begin(), scenes.begin() + static_cast<std::ptrdiff_t>(middle))
                     : std::vector(scenes.begin() + static_cast<std::ptrdiff_t>(middle), scenes.end());
}

TEST_F(DemoProgramTest, TheFirstScenesDrawAndALineTypedIntoTheConsoleChangesTheWorld)
{
    int threads = 0;
    for (const TZevDemoMenuEntry* entry : ScriptScenes(0)) {
        SCOPED_TRACE(entry->Caption);
        ShowScene(*entry, PictureName(entry->Script));
        if (threads == 0) {
            // The default world: a box loaded from the console falls onto the floor in the next frames.
            const TScreenShot before = ViewPicture(CaptureScreen()).Part(0, 80, FormWidth, 370);
            Click(800, 190); // the console's input pane
            Type("(place (LoadXPhBody \"lbox.x\") 0 4 0)", 15);
            Key("Return");
            const bool changed = WaitForScreen(
                [&](const TScreenShot& shot) {
                    return ViewPicture(shot).Part(0, 80, FormWidth, 370).Differences(before, 40) > 100;
                },
                Patience);
            EXPECT_TRUE(changed) << "the box typed into the console is not drawn";
            CaptureScreen().Part(0, 0, 960, FormHeight).Save("demo_console_box");
        }
        CloseView();
        // The render thread and its timer go with their view.
        if (threads == 0)
            threads = ProcessThreads(Demo);
        // (A thread that has been told to end may take a moment to go on a loaded machine.)
        EXPECT_TRUE(WaitUntil([&] { return ProcessThreads(Demo) == threads; }, Patience)) << ProcessThreads(Demo);
    }
}

TEST_F(DemoProgramTest, TheOtherScenesDrawAndFilesCloseEndsTheProgram)
{
    int threads = 0;
    long resident = 0;
    for (const TZevDemoMenuEntry* entry : ScriptScenes(1)) {
        SCOPED_TRACE(entry->Caption);
        ShowScene(*entry, PictureName(entry->Script));
        CloseView();
        if (threads == 0) {
            threads = ProcessThreads(Demo);
            resident = ProcessResidentKilobytes(Demo);
        }
        // (A thread that has been told to end may take a moment to go on a loaded machine.)
        EXPECT_TRUE(WaitUntil([&] { return ProcessThreads(Demo) == threads; }, Patience)) << ProcessThreads(Demo);
    }
    // Memory as after the first scene, give or take what the heap and the drivers keep of bigger scenes (the
    // sanitizer keeps freed memory back for a while: there the program's own count at exit says it).
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(ProcessResidentKilobytes(Demo), resident + 64 * 1024);
#else
    (void)resident;
#endif
    Choose(Entry("Close"));
    EXPECT_EQ(WaitForExit(Demo, Patience), 0);
    Demo = -1;
    const std::string report = MemoryReport();
    EXPECT_NE(report.find("NewCount"), std::string::npos);
    EXPECT_EQ(report.find("Don't Match!"), std::string::npos) << report;
}

// The crane robot's yellow body in the view: how many pixels show it and the row of their middle (-1 when none).
std::pair<int, int> RobotInView(const TScreenShot& view)
{
    int count = 0;
    long rows = 0;
    for (int y = 0; y < view.Height; ++y)
        for (int x = 0; x < view.Width; ++x) {
            const std::uint32_t p = view.At(x, y);
            const int r = static_cast<int>((p >> 16) & 0xFF), g = static_cast<int>((p >> 8) & 0xFF),
                      b = static_cast<int>(p & 0xFF);
            if (r > 180 && g > 160 && b < 90) {
                ++count;
                rows += y;
            }
        }
    return {count, count > 0 ? static_cast<int>(rows / count) : -1};
}

// Demo Crane at its keys as a person presses them: E held 0.6 s lifts the robot and it stays in the fixed view; X
// held brings it back down.
TEST_F(DemoProgramTest, DemoCraneRobotRisesUnderEAndComesBackUnderXWithinTheView)
{
    Choose(Entry("Demo Crane"));
    ASSERT_TRUE(WaitForScreen(SceneDrawn, Patience)) << "nothing drawn";
    ASSERT_TRUE(WaitForFrames(100, Patience)); // the robot lands on its legs
    Click(FormWidth / 2, CaptionHeight / 2);    // the view's caption: the view takes the keys
    const auto settled = [&] {
        // It comes to rest within a second of the key: two pictures 0.3 s apart show it in the same rows.
        std::pair<int, int> last{0, -100};
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const std::pair<int, int> now = RobotInView(ViewPicture(CaptureScreen()));
            if (now.first > 0 && std::abs(now.second - last.second) <= 1)
                return now;
            last = now;
        }
        return last;
    };
    const std::pair<int, int> standing = settled();
    ASSERT_GT(standing.first, 20) << "the robot is not in the view";
    const auto hold = [](const char* key, int ms) {
        ASSERT_EQ(RunProgram({"xdotool", "keydown", key}), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ASSERT_EQ(RunProgram({"xdotool", "keyup", key}), 0);
    };
    hold("e", 600);
    const std::pair<int, int> risen = settled();
    ViewPicture(CaptureScreen()).Save("demo_crane_risen");
    EXPECT_GT(risen.first, 20) << "the robot left the view";
    EXPECT_LT(risen.second, standing.second - 10) << "it did not rise";
    hold("x", 1200);
    const std::pair<int, int> down = settled();
    EXPECT_GT(down.first, 20) << "the robot left the view";
    EXPECT_GT(down.second, risen.second + 10) << "it did not come down";
    CloseView();
}

// The entries of the popups of scenes in code and test windows, in menu order.
std::vector<const TZevDemoMenuEntry*> ExtraEntries()
{
    std::vector<const TZevDemoMenuEntry*> entries;
    for (const TZevDemoMenuEntry& entry : DemoMenuTable())
        if (std::string(entry.Popup) == "ExtraDemo" || std::string(entry.Popup) == "実験用(Dont Touch)")
            entries.push_back(&entry);
    return entries;
}

// A caption as a file name: its letters and digits, in lower case.
std::string FileName(const char* caption)
{
    std::string name;
    for (const char* c = caption; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return name;
}

// The close box of a top-level window at (left, top) of the given width (our own caption, without a window
// manager).
POINT CloseBox(int left, int top, int width) { return POINT{left + width - 12, top + CaptionHeight / 2}; }

// Every entry of "ExtraDemo" and of the experiments menu, opened by clicks in one program: each window draws (its
// picture is kept) and is closed by its close box. The test launcher comes last: its Direct3D test form animates
// under the launcher's menu, the script window evaluates what is typed while it does, and closing the test form
// ends the program.
TEST_F(DemoProgramTest, EveryExtraAndExperimentEntryOpensByClicksDrawsAndCloses)
{
    const TZevDemoMenuEntry* launcherEntry = nullptr;
    for (const TZevDemoMenuEntry* entry : ExtraEntries()) {
        if (entry->Kind == TZevDemoEntryKind::TestWindow) {
            launcherEntry = entry;
            continue;
        }
        SCOPED_TRACE(entry->Caption);
        const std::string caption = entry->Caption;
        Choose(*entry);
        // An empty world draws little but its text: what is typed into its console (a sky colour, a land) shows.
        const bool empty = caption == "Easy Test";
        const int colours = empty ? 2 : 60;
        ASSERT_TRUE(WaitForScreen(
            [&](const TScreenShot& shot) { return !FormShown(shot) && ViewPicture(shot).DistinctColours() > colours; },
            Patience))
            << "nothing drawn";
        if (empty) {
            const TScreenShot before = ViewPicture(CaptureScreen());
            Click(800, 190); // the console's input pane
            Type("(XPhBgColor 96 128 176)(XPhFogEnable nil)(XPhLoadLandWithScale \"land.bmp\" \"landtex.bmp\" 8 30 8)", 10);
            Key("Return");
            EXPECT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return ViewPicture(shot).Differences(before, 40) > 20000; },
                                      Patience))
                << "what was typed into the console does not show";
        }
        if (caption == "2DDemo") {
            // The sprite demo's planet grows out of a speck in the middle of the view for its first two seconds: the
            // picture kept shows it grown (warm colours over much of the middle, where the sky is blue and the stars
            // white).
            int warmest = 0;
            const auto planetGrown = [&](const TScreenShot& shot) {
                int warm = 0;
                for (std::uint32_t pixel : ViewPicture(shot).Part(220, 129, 200, 200).Pixels) {
                    const int red = static_cast<int>((pixel >> 16) & 0xFF), blue = static_cast<int>(pixel & 0xFF);
                    warm += red >= 120 && red >= blue + 40;
                }
                warmest = std::max(warmest, warm);
                return warm > 2000;
            };
            EXPECT_TRUE(WaitForScreen(planetGrown, Patience)) << "the planet does not grow: " << warmest;
        } else {
            // A few frames on, for the picture kept.
            EXPECT_TRUE(WaitForFrames(10, Patience)) << "the view does not go on drawing";
        }
        const TScreenShot shot = CaptureScreen();
        shot.Part(0, 0, 960, FormHeight).Save("demo_extra_" + FileName(entry->Caption));
        // Still a picture of the scene, and one that moves (the sprite demo's and the scenes' frames go on).
        EXPECT_GT(ViewPicture(shot).DistinctColours(), colours);
        EXPECT_TRUE(WaitForScreen([&](const TScreenShot& now) { return ViewPicture(now).Differences(ViewPicture(shot), 8) > 20; },
                                  Patience))
            << "the picture does not change";
        const POINT close = CloseBox(0, 0, FormWidth);
        Click(close.x, close.y);
        // A heavy scene whose frames run late (the sanitizer build) must not keep the click from closing it.
        const bool closed = WaitForScreen(FormShown, Patience);
        ASSERT_TRUE(closed) << "the view did not close";
    }

    ASSERT_NE(launcherEntry, nullptr);
    Choose(*launcherEntry);
    // The launcher (0, 0, 640 x 128) with its menu bar, the script window (640, 0) and the test form (960, 0) beside
    // it; below them the Direct3D test form (0, 240) and the image-filter window (650, 240, 630 x 480).
    const auto region = [](const TScreenShot& shot, int left, int top, int width, int height) {
        return shot.Part(left, top + CaptionHeight, width, height - CaptionHeight);
    };
    ASSERT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return region(shot, 960, 0, 320, 240).DistinctColours() > 3; },
                              Patience))
        << "the test form did not show";
    // The windows are drawn one after another: a busy machine may show the test form before the others.
    const auto allDrawn = [&](const TScreenShot& shot) {
        return region(shot, 0, 0, 640, 128).DistinctColours() > 2 && region(shot, 640, 0, 320, 240).DistinctColours() > 2 &&
               region(shot, 320, 128, 320, 240).DistinctColours() > 1;
    };
    WaitForScreen(allDrawn, Patience);
    const TScreenShot windows = CaptureScreen();
    EXPECT_GT(region(windows, 0, 0, 640, 128).DistinctColours(), 2) << "the launcher";
    EXPECT_GT(region(windows, 640, 0, 320, 240).DistinctColours(), 2) << "the script window";
    EXPECT_GT(region(windows, 650, 240, 630, 480).DistinctColours(), 1) << "the image-filter window";
    CaptureScreen().Part(0, 0, 1280, 760).Save("demo_extra_form1test");

    // "D3DTest" > "TestStart": the test form grows to 650 x 510 and animates its collision test.
    ClickMenu(MenuBarClicks({"Files", "D3DTest"}, FormWidth, 0, 0, "D3DTest", 0));
    const auto panel = [](const TScreenShot& shot) { return shot.Part(0, 240 + CaptionHeight, 640, 480); };
    ASSERT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return panel(shot).DistinctColours() > 20; }, Patience))
        << "the test does not draw";
    const TScreenShot first = panel(CaptureScreen());
    EXPECT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return panel(shot).Differences(first, 8) > 20; }, Patience))
        << "the test does not move";

    // The script window evaluates while the animation runs, and the animation goes on after it.
    const TScreenShot output = region(CaptureScreen(), 640, 0, 320, 240).Part(8, 96, 240, 80);
    Click(640 + 8 + 120, CaptionHeight + 8 + 40); // the input memo
    Type("(* 6 7)", 15);
    Click(640 + 248 + 32, CaptionHeight + 8 + 12); // "Send"
    EXPECT_TRUE(WaitForScreen(
        [&](const TScreenShot& shot) {
            return region(shot, 640, 0, 320, 240).Part(8, 96, 240, 80).Differences(output, 40) > 10;
        },
        Patience))
        << "no answer in the output memo";
    const TScreenShot after = panel(CaptureScreen());
    EXPECT_TRUE(WaitForScreen([&](const TScreenShot& shot) { return panel(shot).Differences(after, 8) > 20; }, Patience))
        << "the animation stopped";
    CaptureScreen().Part(0, 0, 1280, 760).Save("demo_extra_form1test_running");

    // Closing the test form ends the program, the running test with it.
    const POINT close = CloseBox(960, 0, 320);
    Click(close.x, close.y);
    EXPECT_EQ(WaitForExit(Demo, Patience), 0);
    Demo = -1;
    const std::string report = MemoryReport();
    EXPECT_NE(report.find("NewCount"), std::string::npos);
    EXPECT_EQ(report.find("Don't Match!"), std::string::npos) << report;
    std::error_code error;
    fs::remove_all(Folder / ".." / "datas", error);
}

} // namespace
