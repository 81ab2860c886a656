// The OGLPomu program as a user runs it: the console menu, and each scene drawn under Xvfb with Mesa's software
// renderer, its last frame read back and checked.
#include "GldemoTestSupport.h"
#include "QEPngFile.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

TEST(ProgramTest, ChoiceOutsideTheMenuEndsWithoutAWindow)
{
    // Without a display a window could not open: any attempt would end with an error instead of 0.
    for (const char* answer : {"0", "5", "-3", "text", ""}) {
        const TRun run = Shell("printf '%s\\n' '" + std::string(answer) + "' | env -u DISPLAY '" + Program + "'");
        EXPECT_EQ(run.ExitCode, 0) << answer << "\n" << run.Output;
        EXPECT_EQ(run.Output, Menu) << answer;
    }
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
    if (!ReadPngRGB(path, &s.Width, &s.Height, &rgb))
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
    if (Shell("command -v xvfb-run").ExitCode != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
    const int scene = GetParam();
    const std::string shot = std::string(QE_SCREENSHOT_DIR) + "/scene" + std::to_string(scene) + ".png";
    std::remove(shot.c_str());
    // 40 frames: the bodies have moved, and the frame-rate text is drawn.
    // Test processes run side by side: each starts its search for a free display at a number of its own.
    const std::string server = std::to_string(100 + (getpid() * 7 + scene) % 800);
    const std::string command = "printf '" + std::to_string(scene) + "\\n' | xvfb-run -a -n " + server +
                                " -s '-screen 0 800x600x24' env LIBGL_ALWAYS_SOFTWARE=1 "
                                "ASAN_OPTIONS=detect_leaks=0 OGLPOMU_EXIT_FRAMES=40 OGLPOMU_SNAPSHOT='" +
                                shot + "' '" + Program + "'";
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

} // namespace
