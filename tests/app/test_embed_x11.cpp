// The embedding exports on an X server of the test's own: a host program of ours embeds a view in its own window
// through libqe.so and forwards its mouse (driven by xdotool); a host that draws with its own device presents the
// frames itself; the Direct3D 8 manner shows a part of its picture in another window.
#include "XProgramSupport.h"

#include "../common/DataSet.h"

#include "ZevBitmap.h"
#include "QEInit.h"
#include "ZevEngineInstance.h"
#include "ZevGLDevice.h"
#include "ZevGLDriver.h"
#include "ZevGLOwnWindow.h"
#include "ZevGLPrivateServer.h"
#include "ZevQueuedRenderer.h"
#include "qe.h"

#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// A folder holding the engine's data, made the working directory for the test.
class TDataFolder {
public:
    TDataFolder() : Home(fs::current_path())
    {
        EXPECT_TRUE(MakeTestDataFolder("embed", &Path));
        fs::current_path(Path);
    }
    ~TDataFolder()
    {
        fs::current_path(Home);
        std::error_code error;
        fs::remove_all(Path, error);
    }
    fs::path Home, Path;
};

int Colours(const std::vector<std::uint32_t>& pixels)
{
    return static_cast<int>(std::unordered_set<std::uint32_t>(pixels.begin(), pixels.end()).size());
}

// A line of the child's output, read within `ms` milliseconds ("" when none came).
std::string ReadLine(int fd, int ms)
{
    std::string line;
    pollfd waiting{fd, POLLIN, 0};
    char c = 0;
    while (poll(&waiting, 1, ms) > 0 && read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

using EmbedHostProgram = XProgramTest;

TEST_F(EmbedHostProgram, EmbedsAViewInItsOwnWindowStepsItAndForwardsItsMouse)
{
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    const pid_t host = StartProgram({QE_BIN_DIR "/embed_host", QE_SCREENSHOT_DIR "/embed_host.png"},
                                    Folder.string(), output[1]);
    close(output[1]);
    ASSERT_GT(host, 0);
    ASSERT_EQ(ReadLine(output[0], 60000), "ready");
    // The host's window is at the top left, under the window layer's own caption of 22 pixels.
    EXPECT_EQ(RunProgram({"xdotool", "mousemove", "160", "150", "click", "1"}), 0);
    EXPECT_EQ(ReadLine(output[0], 60000), "clicked (1 160 128)");
    EXPECT_EQ(ReadLine(output[0], 60000), "failures 0");
    EXPECT_EQ(WaitForExit(host, 30000), 0);
    close(output[0]);
}

class EmbedDeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!ZevGLStartPrivateServer())
            GTEST_SKIP() << "Xvfb is not installed";
        ZevEngineInit();
        ASSERT_TRUE(Window.Create(320, 240));
    }
    void TearDown() override { QE_Final(); }

    std::vector<std::uint32_t> Shown()
    {
        std::int32_t w = 0, h = 0;
        std::vector<std::uint32_t> pixels;
        Window.ReadPixels(&w, &h, &pixels);
        return pixels;
    }

    TZevGLOwnWindow Window;
};

TEST_F(EmbedDeviceTest, OnTheHostsDeviceTheFramesAreDrawnAndTheHostPresentsThem)
{
    TDataFolder data;
    TZevGLDriver* driver = nullptr;
    ASSERT_EQ(TZevGLDriver::Create(&driver), ZevGL::Ok);
    TZevGLPresentParameters parameters;
    parameters.EnableAutoDepthStencil = 1;
    TZevGLDevice* device = nullptr;
    ASSERT_EQ(driver->CreateDevice(Window.GetWindow(), parameters, &device), ZevGL::Ok);
    const std::vector<std::uint32_t> before = Shown();
    ASSERT_EQ(QE_DX8InitFromDevice(reinterpret_cast<QE_GLDriver*>(driver), reinterpret_cast<QE_GLDevice*>(device)), 1);
    QE_SendLispCommand("(place (make-body \"lbox.x\" 2 2 2 1.0) 0 3 0)");
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QE_Render(), 1);
    // Drawn on the device, not shown: the host presents.
    EXPECT_EQ(Shown(), before);
    TZevLSObj* made = CreateObjectByName("TZevBitmap");
    auto* picture = dynamic_cast<TZevBitmap*>(made);
    ASSERT_TRUE(picture && picture->Create(320, 240, 24, 0xFF0000u, 0xFF00u, 0xFFu, 0u));
    EXPECT_TRUE(CurrentEngineInstance->Renderer->CaptureFrame(picture));
    made->Release();
    ASSERT_EQ(device->Present(nullptr, nullptr, 0), ZevGL::Ok);
    EXPECT_GT(Colours(Shown()), 100);
    EXPECT_EQ(QE_Final(), 1);
    device->Release();
    driver->Release();
}

TEST_F(EmbedDeviceTest, TheDirect3D8MannerShowsAPartOfItsPictureInAnotherWindow)
{
    TDataFolder data;
    TZevGLOwnWindow other;
    ASSERT_TRUE(other.Create(320, 240, 400, 0));
    ASSERT_EQ(QE_DX8InitFromHWND(Window.GetWindow()), 1);
    ASSERT_EQ(QE_Render(), 1);
    const std::vector<std::uint32_t> whole = Shown();
    EXPECT_GT(Colours(whole), 100);
    // The frame is drawn into the lower half of the picture (the source rectangle becomes the viewport) and that
    // half is shown over the whole of the other window: the same scene, sky above and floor below.
    const QE_Rect lower{0, 120, 320, 240};
    ASSERT_EQ(QE_RenderToHWND(other.GetWindow(), &lower, nullptr), 1);
    std::int32_t w = 0, h = 0;
    std::vector<std::uint32_t> part;
    ASSERT_TRUE(other.ReadPixels(&w, &h, &part));
    ASSERT_EQ(part.size(), whole.size());
    EXPECT_GT(Colours(part), 100);
    EXPECT_EQ(part[5 * 320 + 160], whole[5 * 320 + 160]);
    EXPECT_NE(part[235 * 320 + 160], whole[5 * 320 + 160]);
    const QE_Rect empty{200, 10, 100, 50};
    EXPECT_EQ(QE_RenderToHWND(other.GetWindow(), &empty, nullptr), 0);
}

} // namespace
