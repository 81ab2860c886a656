// A window that a 3D device draws into, on a real X server: covered by another window and uncovered while nobody
// draws (a stopped test view under a menu that closed), it shows its last picture again.
#include "X11TestSupport.h"

#include "ZevApplication.h"
#include "ZevDX7Form.h"
#include "ZevNativeWindow.h"
#include "ZevPng.h"

#include <chrono>
#include <thread>

namespace {

// The screen's pixels inside a screen rectangle.
std::vector<std::uint32_t> ScreenPart(const RECT& r)
{
    std::int32_t width = 0, height = 0;
    std::uint32_t* shot = nullptr;
    std::vector<std::uint32_t> part;
    if (!ZevCaptureScreen(&width, &height, &shot))
        return part;
    for (std::int32_t y = r.top; y < r.bottom && y < height; ++y)
        for (std::int32_t x = r.left; x < r.right && x < width; ++x)
            part.push_back(shot[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x] & 0xFFFFFF);
    ZevFreeCapture(shot);
    return part;
}

TEST_F(X11Test, AWindowADeviceDrawsIntoShowsItsLastPictureWhenUncovered)
{
    ZevWinUIInit();
    TZevWin* made = nullptr;
    ASSERT_TRUE(App->CreateForm(&made, "TZevDX7Form"));
    auto* form = dynamic_cast<TZevDX7Form*>(made);
    ASSERT_NE(form, nullptr);
    form->SetBounds(40, 40, 340, 290);
    form->SetClientSize(320, 240);
    Drive({"true"});
    TZevDX7Renderer& renderer = form->Panel->Renderer;
    renderer.SetBackgroundColor(0x203040);
    renderer.RestoreSurfaces();
    renderer.Clear();
    ASSERT_TRUE(renderer.Present());
    Drive({"true"});
    RECT panel;
    GetWindowRect(form->Panel->Handle, &panel);
    const std::vector<std::uint32_t> drawn = ScreenPart(panel);
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn[drawn.size() / 2], 0x203040u);

    // Another window over the middle of the panel, then gone; nothing draws into the panel meanwhile.
    TRecordForm* cover = NewForm();
    cover->SetBounds(panel.left + 40, panel.top + 40, 160, 120);
    cover->SetText("cover");
    Drive({"true"});
    EXPECT_NE(ScreenPart(panel), drawn) << "the cover did not show";
    cover->Destroy();
    Drive({"true"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Drive({"true"});
    const std::vector<std::uint32_t> shown = ScreenPart(panel);
    std::int32_t width = 0, height = 0;
    std::uint32_t* shot = nullptr;
    if (ZevCaptureScreen(&width, &height, &shot)) {
        ZevWritePng(QE_SCREENSHOT_DIR "/winui_uncovered_device_window.png", shot, width, height);
        ZevFreeCapture(shot);
    }
    ASSERT_EQ(shown.size(), drawn.size());
    int changed = 0;
    for (std::size_t i = 0; i < shown.size(); ++i)
        changed += shown[i] != drawn[i];
    EXPECT_EQ(changed, 0) << "pixels of the panel that the cover left behind";
    form->Destroy();
    Drive({"true"});
}

} // namespace
