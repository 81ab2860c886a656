#include "ZevDXTestThread.h"

#include "GlobalLock.h"
#include "ZevDXTestRunner.h"
#include "ZevWinApi.h"

#include <mutex>

namespace {

// The one hand-over in progress: the thread suspended (or about to be) for the window's evaluation.
std::mutex HandOverMutex;
TZevDXTestThread* WaitingThread = nullptr;
HWND OwingWindow = nullptr;
// The last script window that went: a hand-over for it that the thread takes up afterwards must not wait.
HWND GoneWindow = nullptr;
thread_local TZevDXTestThread* RunningTestThread = nullptr;

// Runs on the animation thread, between two frames: the window is told to evaluate; the thread suspends next.
void HandOverStep(void* arg)
{
    HWND window = static_cast<HWND>(arg);
    TZevDXTestThread* self = RunningTestThread;
    {
        std::lock_guard<std::mutex> lock(HandOverMutex);
        if (window != GoneWindow) {
            WaitingThread = self;
            OwingWindow = window;
            if (PostMessageA(window, WM_ZEV_TEST_EVALUATE, 0, 0))
                return;
            WaitingThread = nullptr;
            OwingWindow = nullptr;
        }
    }
    // The window is gone: nobody will resume the thread, so its suspension must end at once.
    if (self != nullptr)
        self->Resume();
}

} // namespace

TZevDXTestThread::~TZevDXTestThread() { Stop(); }

void TZevDXTestThread::HandOver(TZevDXTestCall call, void* arg)
{
    PendingArg.store(arg);
    PendingCall.store(call);
}

bool TZevDXTestThread::LockUnlessStopping()
{
    while (!GlobalLock.TryEnter()) {
        if (StopFlag)
            return false;
        ZevSleep(1);
    }
    return true;
}

bool TZevDXTestThread::Start()
{
    PendingArg = nullptr;
    PendingCall = nullptr;
    Frames = 0;
    return TZevThread::Start();
}

std::uint32_t TZevDXTestThread::Execute()
{
    RunningTestThread = this;
    double frameStart = ZevDXTestNow() - FrameInterval;
    while (!StopFlag) {
        const double now = ZevDXTestNow();
        if (now - frameStart >= FrameInterval) {
            frameStart = now;
            if (LockUnlessStopping()) {
                if (TZevDXTestRunner* runner = Owner.load())
                    runner->Frame();
                GlobalLock.Leave();
                ++Frames;
            }
        }
        if (TZevDXTestCall call = PendingCall.exchange(nullptr)) {
            call(PendingArg.load());
            Suspend();
            continue;
        }
        // Until the next frame is due: a thread that spun here would take a whole processor for nothing.
        const double wait = frameStart + FrameInterval - ZevDXTestNow();
        if (wait >= 1.0 && !StopFlag)
            ZevSleep(static_cast<std::uint32_t>(wait));
    }
    // The shutdown frees meshes and textures that other threads' frames also reach, so it waits for the lock;
    // but a stop may come from a holder of the lock, which waits for this thread: then nobody else runs.
    bool locked = false;
    for (int tries = 0; tries < 250 && !(locked = GlobalLock.TryEnter()); ++tries)
        ZevSleep(1);
    if (TZevDXTestRunner* runner = Owner.load())
        runner->Shutdown();
    if (locked)
        GlobalLock.Leave();
    RunningTestThread = nullptr;
    return 0;
}

void ZevHandOverEvaluation(TZevDXTestThread* thread, HWND window)
{
    if (thread != nullptr)
        thread->HandOver(HandOverStep, window);
}

void ZevEndHandOver(HWND window, bool gone)
{
    TZevDXTestThread* thread = nullptr;
    {
        std::lock_guard<std::mutex> lock(HandOverMutex);
        if (gone)
            GoneWindow = window;
        if (OwingWindow != window || WaitingThread == nullptr)
            return;
        thread = WaitingThread;
        WaitingThread = nullptr;
        OwingWindow = nullptr;
    }
    thread->Resume();
}

void ZevForgetHandOver(TZevDXTestThread* thread)
{
    std::lock_guard<std::mutex> lock(HandOverMutex);
    if (WaitingThread == thread) {
        WaitingThread = nullptr;
        OwingWindow = nullptr;
    }
}
