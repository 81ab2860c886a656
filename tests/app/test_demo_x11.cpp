// The demo program as a person uses it, on an X server of the test's own, driven by real X input from xdotool:
// it starts, each script scene is chosen from the menus by clicks and draws (a picture per scene is kept), a line
// typed into the console changes the world, scenes come and go without the threads or the memory of the program
// growing, and "Files" > "Close" ends it with exit code 0.
#include "DemoTestSupport.h"
#include "XProgramSupport.h"

#include "ZevFont.h"
#include "ZevWindowCore.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The window layer's look without a window manager: our own caption, menu rows of 20 pixels.
constexpr int CaptionHeight = 22;
constexpr int MenuRowHeight = 20;
constexpr std::uint32_t MenuGrey = 0xD4D0C8;
// The main form and the view over it.
constexpr int FormWidth = 640;
constexpr int FormHeight = 480;

struct TBarSpan {
    int Left, Right, Row;
};

// Where the main form's menu bar puts each popup (as the window layer lays it out: rows that wrap).
std::vector<std::pair<std::string, TBarSpan>> MenuBarLayout()
{
    std::vector<std::pair<std::string, TBarSpan>> spans;
    TZevFontSpec font;
    font.pixelHeight = ZevUiFontHeight;
    int x = 4, row = 0;
    for (const TZevDemoMenuEntry& entry : DemoMenuTable()) {
        if (!spans.empty() && spans.back().first == entry.Popup)
            continue;
        std::int32_t w = 0, h = 0;
        ZevMeasureText(font, entry.Popup, std::strlen(entry.Popup), &w, &h);
        w += 16;
        if (x > 4 && x + w > FormWidth) {
            ++row;
            x = 4;
        }
        spans.push_back({entry.Popup, {x, x + w, row}});
        x += w;
    }
    return spans;
}

class DemoProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_PROGRAM_TOOLS();
        Folder = fs::current_path() /
                 (std::string("x11-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        fs::copy(QE_DATA_DIR, Folder, fs::copy_options::recursive);
        // Mesa's own allocations are not ours to check here; the program's own count is (ZevMemoryCheck2.txt).
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        Demo = StartProgram({QE_BIN_DIR "/demo"}, Folder.string());
        ASSERT_GT(Demo, 0);
        Layout = MenuBarLayout();
        ASSERT_TRUE(WaitUntil([&] { return FormShown(CaptureScreen()); }, 30000)) << "the main form did not show";
    }
    void TearDown() override
    {
        if (Demo > 0 && waitpid(Demo, nullptr, WNOHANG) == 0) {
            kill(Demo, SIGKILL);
            waitpid(Demo, nullptr, 0);
        }
        EndXSession();
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
        return !FormShown(shot) && ViewPicture(shot).DistinctColours() > 200;
    }
    void Click(int x, int y)
    {
        ASSERT_EQ(RunProgram({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"}), 0);
    }
    void Key(const char* key) { ASSERT_EQ(RunProgram({"xdotool", "key", key}), 0); }
    // A main-form entry, chosen with two clicks: its popup on the bar, then the entry.
    void Choose(const TZevDemoMenuEntry& chosen)
    {
        int index = 0;
        for (const TZevDemoMenuEntry& entry : DemoMenuTable()) {
            if (&entry == &chosen)
                break;
            index += std::string(entry.Popup) == chosen.Popup;
        }
        const auto span = std::find_if(Layout.begin(), Layout.end(), [&](auto& s) { return s.first == chosen.Popup; });
        ASSERT_NE(span, Layout.end());
        const TBarSpan bar = span->second;
        Click((bar.Left + bar.Right) / 2, CaptionHeight + bar.Row * MenuRowHeight + MenuRowHeight / 2);
        const int popupTop = CaptionHeight + (bar.Row + 1) * MenuRowHeight;
        Click(bar.Left + 30, popupTop + 2 + index * 20 + 10);
    }
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
        ASSERT_TRUE(WaitUntil([&] { return FormShown(CaptureScreen()); }, 20000)) << "the view did not close";
    }
    // Chooses a scene, waits until it is drawn, keeps its picture and checks it.
    void ShowScene(const TZevDemoMenuEntry& entry, const std::string& name)
    {
        Choose(entry);
        if (std::string(entry.Script) == "LoadWorld.lsp") {
            // Its file dialog opens at once: cancelled, the default world stays.
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            Key("Escape");
        }
        ASSERT_TRUE(WaitUntil([&] { return SceneDrawn(CaptureScreen()); }, 30000)) << entry.Caption;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const TScreenShot shot = CaptureScreen();
        shot.Part(0, 0, 960, FormHeight).Save("demo_" + name);
        const TScreenShot picture = ViewPicture(shot);
        EXPECT_GT(picture.DistinctColours(), 200) << entry.Caption;
        EXPECT_FALSE(FormShown(shot));
    }
    std::string MemoryReport() const
    {
        std::ifstream in(Folder / "ZevMemoryCheck2.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path Folder;
    pid_t Demo = -1;
    std::vector<std::pair<std::string, TBarSpan>> Layout;
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
            ASSERT_EQ(RunProgram({"xdotool", "type", "--delay", "15", "(place (LoadXPhBody \"lbox.x\") 0 4 0)"}), 0);
            Key("Return");
            const bool changed = WaitUntil(
                [&] { return ViewPicture(CaptureScreen()).Part(0, 80, FormWidth, 370).Differences(before, 40) > 100; },
                10000);
            EXPECT_TRUE(changed) << "the box typed into the console is not drawn";
            CaptureScreen().Part(0, 0, 960, FormHeight).Save("demo_console_box");
        }
        CloseView();
        // The render thread and its timer go with their view.
        if (threads == 0)
            threads = ProcessThreads(Demo);
        EXPECT_EQ(ProcessThreads(Demo), threads);
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
        EXPECT_EQ(ProcessThreads(Demo), threads);
    }
    // Memory as after the first scene, give or take what the heap and the drivers keep of bigger scenes (the
    // sanitizer keeps freed memory back for a while: there the program's own count at exit says it).
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(ProcessResidentKilobytes(Demo), resident + 64 * 1024);
#else
    (void)resident;
#endif
    Choose(Entry("Close"));
    EXPECT_EQ(WaitForExit(Demo, 30000), 0);
    Demo = -1;
    const std::string report = MemoryReport();
    EXPECT_NE(report.find("NewCount"), std::string::npos);
    EXPECT_EQ(report.find("Don't Match!"), std::string::npos) << report;
}

} // namespace
