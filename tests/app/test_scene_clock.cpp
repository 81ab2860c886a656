// The scenes' millisecond clock counts from the program's start, like the program's own clock: the first fps text
// of a view (ten frames over the time since the last update, which starts at 0) is never more than the frames' rate.
#include "AppTestFixture.h"

#include "ZevSceneClock.h"
#include "ZevThread.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

// A scene that only asks for the fps text.
class TQuietScene : public TZevGMBase {};

using SceneClockTest = AppSceneTest;

TEST_F(SceneClockTest, TheFirstFpsTextIsNoMoreThanTheRateOfItsTenFrames)
{
    Start(new TQuietScene);
    // Ten frames of at least 5 ms: at most 200 frames a second. A clock that began at its first reading (in the
    // eleventh frame) gave millions.
    for (int i = 0; i < 10; ++i) {
        host.Frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    host.Frame();
    const std::string fps = host.FpsText.CStr();
    ASSERT_EQ(fps.rfind(" fps = ", 0), 0u) << fps;
    EXPECT_GT(std::stod(fps.substr(7)), 0.0);
    EXPECT_LE(std::stod(fps.substr(7)), 200.0);
    // Both clocks count from the start (the program's one in whole milliseconds). Read between two readings of
    // the program's clock, so that a thread held back between the readings cannot part them.
    const double earlier = GetElapsedMilliseconds();
    const double scene = ZevSceneMilliseconds();
    const double later = GetElapsedMilliseconds();
    EXPECT_GE(scene, earlier - 50.0);
    EXPECT_LE(scene, later + 50.0);
}

} // namespace
