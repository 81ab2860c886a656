// The Direct3D test form's animation thread: about 75 frames a second of its runner, each under the program-wide
// lock, until it is stopped; then the runner is shut down on the thread itself.
//
// A call can be handed to it: on its next pass between two frames it runs the call and suspends itself until
// resumed. The script window uses this to have its evaluation run on the user-interface thread while no test
// frame is being computed. A resume that arrives before the thread suspends is kept, so the thread never sleeps
// for good; a stop always wakes it.
#pragma once

#include "ZevThread.h"
#include "ZevWinTypes.h"

#include <atomic>
#include <cstdint>

class TZevDXTestRunner;

typedef void (*TZevDXTestCall)(void* arg);

class TZevDXTestThread : public TZevThread {
public:
    TZevDXTestThread() = default;
    // Stops the thread before its members go.
    ~TZevDXTestThread() override;

    // Clears the pending call and the frame count, then starts the thread: a call handed over right after the start,
    // before the thread has run, is kept.
    bool Start();
    std::uint32_t Execute() override;
    // Asks the running thread to run call(arg) between two frames and then suspend itself.
    void HandOver(TZevDXTestCall call, void* arg);

    // The runner the thread animates; null until the first start (the form forwards the mouse only while set).
    std::atomic<TZevDXTestRunner*> Owner{nullptr};
    std::atomic<void*> PendingArg{nullptr};
    std::atomic<TZevDXTestCall> PendingCall{nullptr};
    // The least milliseconds between the starts of two frames.
    double FrameInterval = 13.3;
    // Frames run since the thread started.
    std::atomic<std::int32_t> Frames{0};

private:
    // Takes the program-wide lock, or gives up when the thread is asked to stop (so a stop issued by a holder of
    // the lock is never waited for in vain).
    bool LockUnlessStopping();
};

// The message a script window receives when the animation thread has stopped for its evaluation.
constexpr UINT WM_ZEV_TEST_EVALUATE = WM_USER + 0x5A;

// User-interface thread: the running thread stops after its frame and the window gets WM_ZEV_TEST_EVALUATE.
void ZevHandOverEvaluation(TZevDXTestThread* thread, HWND window);
// User-interface thread: the window has evaluated, or is going (gone): the thread waiting for it runs on, and
// a hand-over for a window that went is not waited for.
void ZevEndHandOver(HWND window, bool gone);
// User-interface thread: the thread has ended; a hand-over it was waiting in is forgotten.
void ZevForgetHandOver(TZevDXTestThread* thread);
