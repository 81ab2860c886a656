// The OGLPomu program as a user runs it: the console menu, each scene drawn under Xvfb with Mesa's software
// renderer (its frames read back and checked), real keys and the right-button menu through xdotool, a folder
// without the data files, and no display at all.
#include "GldemoTestSupport.h"
#include "../common/TestFiles.h"
#include "ZevGLPrivateServer.h"
#include "ZevPng.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string Program = std::string(QE_BIN_DIR) + "/OGLPomu";

struct TRun {
    int ExitCode = -1;
    std::string Output;
};

// Runs a shell command, collecting standard output and error.
TRun Shell(const std::string& command)
{
    TRun run;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.Output.append(buffer, n);
    const int status = pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const char* const Menu = "Select Menu\n1 : Chair and Box\n2 : Floor and Car\n3 : Land and Car\n4 : Crane Car\n";

// xdotool on the path, and the process's own X server (Xvfb, Mesa's software renderer) running: DISPLAY names it.
bool HaveXTools()
{
    return Shell("command -v xdotool").ExitCode == 0 && ZevGLStartPrivateServer();
}

// A fresh folder for one run, below the test's working folder.
std::string ScratchFolder(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::current_path() / name;
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Runs a bash script in `dir` on the test's own display (HaveXTools started it); PROGRAM names OGLPomu.
TRun RunOnDisplay(const std::string& dir, const std::string& script)
{
    std::ofstream(dir + "/run.sh") << "PROGRAM='" << Program << "'\n"
                                   << "export ASAN_OPTIONS=detect_leaks=0\n"
                                   << script;
    return Shell("cd '" + dir + "' && bash run.sh");
}

// The allocation counts the program appended at exit must match (no "Don't Match!"); no file at all means the
// engine never started.
void ExpectCountsMatch(const std::string& dir)
{
    const std::string counts = ReadFile(dir + "/ZevMemoryCheck2.txt");
    EXPECT_EQ(counts.find("Don't Match!"), std::string::npos) << counts;
}

TEST(ProgramTest, AChoiceOutsideTheMenuIsSaidToBeUnknownAndTheMenuAskedAgain)
{
    const auto unknown = [](const std::string& answer) {
        return std::string(Menu) + "Unknown choice \"" + answer + "\": answer 1, 2, 3 or 4.\n";
    };
    // Without a display a window could not open: any attempt would end with an error instead of 0.
    for (const char* answer : {"0", "5", "-3", "text", "", "12345678901234567890123456789"}) {
        const TRun run = Shell("printf '%s\\n' '" + std::string(answer) + "' | env -u DISPLAY '" + Program + "'");
        EXPECT_EQ(run.ExitCode, 0) << answer << "\n" << run.Output;
        const std::string shown = std::string(answer).size() > 23 ? std::string(answer).substr(0, 23) + "..." : answer;
        EXPECT_EQ(run.Output, unknown(shown) + Menu) << answer;
    }
    // The input ends before any answer: the program ends, and says nothing more.
    EXPECT_EQ(Shell("env -u DISPLAY '" + Program + "' < /dev/null").Output, Menu);
    // After unknown answers, a scene's number is taken (and its window cannot open here).
    const TRun run = Shell("printf '5\\n abc \\n 3 \\n' | env -u DISPLAY '" + Program + "'");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(run.Output.rfind(unknown("5") + unknown("abc") + Menu + "OGLPomu: cannot open the window: ", 0), 0u)
        << run.Output;
}

struct TFrameStats {
    int Width = 0, Height = 0;
    long Total = 0;
    long NonWhite = 0;
    long Magenta = 0;
    long Brown = 0; // the chair's wood
    long Blue = 0;  // the box
    long Dark = 0;  // tyres and the car's textured body
    long Grey = 0;  // road and land
};

TFrameStats Analyse(const std::string& path)
{
    TFrameStats s;
    std::vector<std::uint8_t> rgb;
    if (!ZevReadPngRGB(path, &s.Width, &s.Height, &rgb))
        return s;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const int r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
        ++s.Total;
        if (r < 250 || g < 250 || b < 250)
            ++s.NonWhite;
        if (r > 200 && b > 200 && g < 80)
            ++s.Magenta;
        if (r > b + 25 && r > g + 8 && g > b && r > 40)
            ++s.Brown;
        if (b > r + 40 && b > g + 20)
            ++s.Blue;
        if (r < 90 && g < 90 && b < 90)
            ++s.Dark;
        if (std::abs(r - g) < 20 && std::abs(g - b) < 20 && r >= 60 && r < 240)
            ++s.Grey;
    }
    return s;
}

class SceneFrameTest : public GldemoTest, public testing::WithParamInterface<int> {};

TEST_P(SceneFrameTest, DrawsTheSceneIntoItsWindow)
{
    if (!ZevGLStartPrivateServer())
        GTEST_SKIP() << "Xvfb is not installed";
    const int scene = GetParam();
    const std::string shot = std::string(QE_SCREENSHOT_DIR) + "/scene" + std::to_string(scene) + ".png";
    std::remove(shot.c_str());
    // 40 frames: the bodies have moved, and the frame-rate text is drawn. Scene 3 runs 300 frames, so the car has
    // driven over a few borders of the land's tiles (which must join without stripes).
    const int frames = scene == 3 ? 300 : 40;
    const std::string command = "printf '" + std::to_string(scene) + "\\n' | env ASAN_OPTIONS=detect_leaks=0 "
                                "OGLPOMU_EXIT_FRAMES=" + std::to_string(frames) + " OGLPOMU_SNAPSHOT='" + shot +
                                "' '" + Program + "'";
    const TRun run = Shell(command);
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output.rfind(Menu, 0), 0u) << run.Output;
    if (scene == 4) {
        EXPECT_NE(run.Output.find("Key\n Z : Stop\n E : Go Foward\n"), std::string::npos) << run.Output;
    }

    const TFrameStats s = Analyse(shot);
    ASSERT_EQ(s.Width, 640) << "no screenshot at " << shot;
    ASSERT_EQ(s.Height, 480);
    // Not blank: the scene covers a good part of the white background.
    EXPECT_GT(s.NonWhite, s.Total / 50) << shot;
    // The frame-rate text is magenta, in scenes 2 to 4 only.
    if (scene == 1) {
        EXPECT_EQ(s.Magenta, 0) << shot;
    } else {
        EXPECT_GT(s.Magenta, 20) << shot;
    }
    switch (scene) {
    case 1:
        EXPECT_GT(s.Brown, 100) << shot;
        EXPECT_GT(s.Blue, 50) << shot;
        EXPECT_GT(s.Grey, 1000) << shot;
        break;
    case 2:
    case 4:
        EXPECT_GT(s.Dark, 200) << shot;
        EXPECT_GT(s.Grey, 1000) << shot;
        break;
    case 3:
        EXPECT_GT(s.Dark, 200) << shot;
        EXPECT_GT(s.NonWhite, s.Total / 4) << shot; // the land fills the view
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneFrameTest, testing::Values(1, 2, 3, 4));

// Where the pixels of one kind lie in a frame, above the frame-rate text.
struct TBlob {
    long Count = 0;
    double X = 0.0, Y = 0.0;
};

TBlob FindBlob(const std::string& path, bool (*kind)(int r, int g, int b))
{
    TBlob blob;
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    if (!ZevReadPngRGB(path, &w, &h, &rgb))
        return blob;
    for (int y = 0; y < h - 30; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            if (kind(p[0], p[1], p[2])) {
                ++blob.Count;
                blob.X += x;
                blob.Y += y;
            }
        }
    }
    if (blob.Count) {
        blob.X /= double(blob.Count);
        blob.Y /= double(blob.Count);
    }
    return blob;
}

bool BoxBlue(int r, int g, int b)
{
    return b > r + 40 && b > g + 20;
}

bool RockBrown(int r, int g, int b)
{
    return r > b + 15 && r > 45 && g > b;
}

// The camera follows the car, so the box and the rock, which lie still on the road, shift on the screen (or leave
// it) exactly when the car moves.
bool Shifted(const TBlob& before, const TBlob& after)
{
    return after.Count < before.Count / 3 || std::hypot(after.X - before.X, after.Y - before.Y) > 40.0;
}

TEST(ProgramXTest, CraneCarDrivesOffOnAPressedE)
{
    if (!HaveXTools())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    const std::string dir = ScratchFolder("drive-e");
    std::filesystem::create_directory_symlink(QE_DATA_DIR, dir + "/objects");
    const std::string before = std::string(QE_SCREENSHOT_DIR) + "/scene4-before-E.png";
    const std::string after = std::string(QE_SCREENSHOT_DIR) + "/scene4-after-E.png";
    std::remove(before.c_str());
    std::remove(after.c_str());
    // Frame 150: landed and at rest. Then E, typed on the keyboard into the window under the pointer, and about
    // 300 frames (6 simulated seconds) of driving.
    const TRun run = RunOnDisplay(dir,
                                  "printf '4\\n' | OGLPOMU_SNAPSHOT_AT='150:" + before + "' OGLPOMU_EXIT_FRAMES=450 "
                                  "OGLPOMU_SNAPSHOT='" + after + "' \"$PROGRAM\" &\n"
                                  "pid=$!\n"
                                  "wid=$(timeout 60 xdotool search --sync --name OGLPomu | head -1)\n"
                                  "xdotool mousemove --window \"$wid\" 320 240\n"
                                  "i=0; while [ ! -f '" + before + "' ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done\n"
                                  "xdotool key e\n"
                                  "wait $pid\n");
    ASSERT_EQ(run.ExitCode, 0) << run.Output;
    const TBlob box0 = FindBlob(before, BoxBlue), box1 = FindBlob(after, BoxBlue);
    const TBlob rock0 = FindBlob(before, RockBrown), rock1 = FindBlob(after, RockBrown);
    ASSERT_GT(box0.Count, 50) << before;
    ASSERT_GT(rock0.Count, 50) << before;
    EXPECT_TRUE(Shifted(box0, box1)) << "box at " << box0.X << "," << box0.Y << " and " << box1.X << "," << box1.Y;
    EXPECT_TRUE(Shifted(rock0, rock1)) << "rock at " << rock0.X << "," << rock0.Y << " and " << rock1.X << ","
                                       << rock1.Y;
    ExpectCountsMatch(dir);
}

TEST(ProgramXTest, FilesQuitFromTheRightButtonMenuEndsWithZero)
{
    if (!HaveXTools())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    const std::string dir = ScratchFolder("quit");
    std::filesystem::create_directory_symlink(QE_DATA_DIR, dir + "/objects");
    // A right click opens the root menu at the pointer; over its one entry "Files" the submenu opens beside it;
    // a click on its one entry "Quit" chooses it.
    const TRun run = RunOnDisplay(dir,
                                  "printf '2\\n' | OGLPOMU_SNAPSHOT_AT=5:ready.png \"$PROGRAM\" > program.txt 2>&1 &\n"
                                  "pid=$!\n"
                                  "wid=$(timeout 60 xdotool search --sync --name OGLPomu | head -1)\n"
                                  "i=0; while [ ! -f ready.png ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done\n"
                                  "xdotool mousemove --window \"$wid\" 100 100 click 3\n"
                                  "root=$(timeout 10 xdotool search --sync --onlyvisible --name 'freeglut menu' | head -1)\n"
                                  "eval $(xdotool getwindowgeometry --shell \"$root\")\n"
                                  "xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))\n"
                                  "files=''; i=0\n"
                                  "while [ -z \"$files\" ] && [ $i -lt 200 ]; do\n"
                                  "  sleep 0.05; i=$((i+1))\n"
                                  "  for m in $(xdotool search --onlyvisible --name 'freeglut menu'); do\n"
                                  "    [ \"$m\" != \"$root\" ] && files=$m\n"
                                  "  done\n"
                                  "done\n"
                                  "sleep 0.2\n"
                                  "eval $(xdotool getwindowgeometry --shell \"$files\")\n"
                                  "xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2 click 3\n"
                                  "timeout 30 tail --pid=$pid -f /dev/null || kill $pid\n"
                                  "wait $pid\n"
                                  "echo \"exit code $?\"\n");
    EXPECT_NE(run.Output.find("exit code 0"), std::string::npos) << run.Output << ReadFile(dir + "/program.txt");
    // The scene was destroyed before the program ended: the engine's allocations all came back.
    EXPECT_NE(ReadFile(dir + "/ZevMemoryCheck2.txt").find("NewCount"), std::string::npos);
    ExpectCountsMatch(dir);
}

// Started in a folder without its data files, the program names each file it could not load and the places it
// looked, and ends with 1 before drawing a frame.
struct TMissingCase {
    const char* name;
    int scene;
    bool withObjects;                 // an objects/ folder holding every data file but the tyre texture
    std::vector<std::string> missing; // named on the console, in the order the scene loads them
};

void PrintTo(const TMissingCase& c, std::ostream* os)
{
    *os << c.name;
}

class MissingDataTest : public testing::TestWithParam<TMissingCase> {};

TEST_P(MissingDataTest, NamesTheFileAndWhereItLooked)
{
    if (!HaveXTools())
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    const TMissingCase c = GetParam();
    const std::string dir = ScratchFolder(std::string("missing-") + c.name);
    if (c.withObjects) {
        std::filesystem::create_directory(dir + "/objects");
        for (const char* file : {"chair.x", "lbox.x", "road.x", "rocka.x"})
            std::filesystem::create_symlink(std::string(QE_DATA_DIR) + "/" + file, dir + "/objects/" + file);
    }
    const TRun run = RunOnDisplay(dir, "printf '" + std::to_string(c.scene) + "\\n' | \"$PROGRAM\"\n");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    size_t at = 0;
    for (const std::string& file : c.missing) {
        const std::string line = "OGLPomu: cannot find the data file \"" + file + "\"; looked for it at " + dir +
                                 "/" + file + ", " + dir + "/objects/" + file + ", /usr/share/vizorudada/qetest/objects/" +
                                 file + "\n";
        const size_t found = run.Output.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\n" << run.Output;
        at = found == std::string::npos ? at : found;
    }
    size_t named = 0;
    for (size_t p = run.Output.find("cannot find"); p != std::string::npos; p = run.Output.find("cannot find", p + 1))
        ++named;
    EXPECT_EQ(named, c.missing.size()) << run.Output;
    ExpectCountsMatch(dir);
}

INSTANTIATE_TEST_SUITE_P(Folders, MissingDataTest,
                         testing::Values(TMissingCase{"Empty", 1, false, {"chair.x", "lbox.x", "road.x"}},
                                         TMissingCase{"NoTexture", 4, true, {"tire.bmp"}}),
                         [](const testing::TestParamInfo<TMissingCase>& info) { return info.param.name; });

TEST(ProgramTest, WithoutADisplaySaysSoAndEndsWithOne)
{
    const std::string dir = ScratchFolder("no-display");
    std::filesystem::create_directory_symlink(QE_DATA_DIR, dir + "/objects");
    for (const char* answer : {"1", "4"}) {
        const TRun run = Shell("cd '" + dir + "' && printf '" + answer + "\\n' | env -u DISPLAY '" + Program + "'");
        EXPECT_EQ(run.ExitCode, 1) << run.Output;
        EXPECT_NE(run.Output.find("OGLPomu: cannot open the window: "), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("(DISPLAY is not set)"), std::string::npos) << run.Output;
        ExpectCountsMatch(dir);
    }
}

} // namespace
