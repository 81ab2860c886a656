// OGLPomu's window as a person meets it under Xvfb: titled with the program's name, and a right-button menu (and
// its "Files" submenu) drawn as soon as it opens, read back from the screen before the pointer passes over it.
#include "../common/TestFiles.h"
#include "XProgramSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A command's standard output.
std::string Output(const std::string& command)
{
    std::string text;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    pclose(pipe);
    return text;
}

struct TRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// Where xdotool sees a window on the screen.
TRect Geometry(const std::string& window)
{
    TRect r;
    std::istringstream shell(Output("xdotool getwindowgeometry --shell " + window));
    const std::pair<const char*, int*> fields[] = {{"X=", &r.X}, {"Y=", &r.Y}, {"WIDTH=", &r.Width},
                                                   {"HEIGHT=", &r.Height}};
    for (std::string line; std::getline(shell, line);)
        for (const auto& [key, field] : fields)
            if (line.rfind(key, 0) == 0)
                *field = std::atoi(line.c_str() + std::strlen(key));
    return r;
}

// The visible menu windows.
std::vector<std::string> MenuWindows()
{
    std::vector<std::string> windows;
    std::istringstream list(Output("xdotool search --onlyvisible --name 'freeglut menu' 2>/dev/null"));
    for (std::string id; list >> id;)
        windows.push_back(id);
    return windows;
}

// A drawn menu: mostly its light face, with the dark strokes of its text. Undrawn, it is one black box.
bool MenuDrawn(const TRect& r)
{
    const TScreenShot part = CaptureScreen().Part(r.X, r.Y, r.Width, r.Height);
    std::size_t light = 0, dark = 0;
    for (std::uint32_t p : part.Pixels) {
        const std::uint32_t g = (p >> 8) & 0xFF;
        light += g > 150;
        dark += g < 80;
    }
    return !part.Pixels.empty() && light > part.Pixels.size() / 2 && dark > 10;
}

void MovePointer(const TRect& to, const char* then = nullptr)
{
    std::vector<std::string> args{"xdotool", "mousemove", std::to_string(to.X + to.Width / 2),
                                  std::to_string(to.Y + to.Height / 2)};
    if (then != nullptr)
        args.insert(args.end(), {"sleep", "0.2", "click", then});
    ASSERT_EQ(RunProgram(args), 0);
}

class OGLPomuWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_PROGRAM_TOOLS();
        Folder = fs::current_path() / "window-menu";
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        fs::create_directory_symlink(QE_DATA_DIR, Folder / "objects");
        WriteFile(Folder / "answer.txt", "2\n");
        // Started by a relative path, as "../build/bin/OGLPomu" would be; frame 5 tells that it runs.
        const std::string program = fs::relative(fs::path(QE_BIN_DIR) / "OGLPomu", Folder).string();
        Program = StartProgram({"sh", "-c",
                                "ASAN_OPTIONS=detect_leaks=0 OGLPOMU_SNAPSHOT_AT=5:ready.png exec " + program +
                                    " < answer.txt > program.txt 2>&1"},
                               Folder.string());
        ASSERT_GT(Program, 0);
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(Folder / "ready.png"); }, 60000))
            << "no frame drawn\n" << ReadFile(Folder / "program.txt");
    }
    void TearDown() override
    {
        StopProgram(&Program);
        EndXSession();
    }

    fs::path Folder;
    pid_t Program = -1;
};

TEST_F(OGLPomuWindowTest, IsTitledWithTheProgramsNameAndItsMenusAreDrawnAsTheyOpen)
{
    const std::string found = Output("xdotool search --name '^OGLPomu$' 2>/dev/null");
    ASSERT_FALSE(found.empty()) << "no window titled OGLPomu";
    const std::string window = found.substr(0, found.find('\n'));
    EXPECT_EQ(Output("xdotool getwindowname " + window), "OGLPomu\n");

    // The right button opens the root menu at the pointer, which stays where it was.
    ASSERT_EQ(RunProgram({"xdotool", "mousemove", "--window", window, "100", "100", "click", "3"}), 0);
    std::vector<std::string> menus;
    ASSERT_TRUE(WaitUntil([&] { return (menus = MenuWindows()).size() == 1; }, 10000)) << "no menu opened";
    const std::string root = menus[0];
    const TRect rootBox = Geometry(root);
    EXPECT_TRUE(WaitUntil([&] { return MenuDrawn(rootBox); }, 5000)) << "the menu is not drawn";

    // Over "Files", its submenu opens beside it: drawn too, before the pointer reaches it.
    MovePointer(rootBox);
    std::string files;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const std::string& m : MenuWindows())
                if (m != root)
                    files = m;
            return !files.empty();
        },
        10000))
        << "no submenu opened";
    const TRect filesBox = Geometry(files);
    EXPECT_TRUE(WaitUntil([&] { return MenuDrawn(filesBox); }, 5000)) << "the submenu is not drawn";
    CaptureScreen().Part(0, 0, 640, 480).Save("oglpomu_menu");

    // "Quit" ends the program with 0.
    MovePointer(filesBox, "3");
    EXPECT_EQ(WaitForExit(Program, 30000), 0) << ReadFile(Folder / "program.txt");
    Program = -1;
}

} // namespace
