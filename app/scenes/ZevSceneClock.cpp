#include "ZevSceneClock.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Read while the program starts, before any scene or host runs: the clock counts from the program's start, so that
// the first fps text (ten frames over the time since the last update, which starts at 0) is not the rate of a clock
// that began a moment ago.
const Clock::time_point ProgramStart = Clock::now();

} // namespace

double ZevSceneMilliseconds()
{
    return std::chrono::duration<double, std::milli>(Clock::now() - ProgramStart).count();
}

void ZevSceneSleep(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
