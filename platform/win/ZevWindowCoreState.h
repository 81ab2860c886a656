// Shared by the files of the window core alone: the layer's one state (handle table, classes, backend, top-level
// order, focus and input state) and the few helpers that more than one of them calls.
#pragma once

#include "ZevWindowCore.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace ZevWinCore {

struct PlatformState {
    std::mutex tableMutex; // guards the handle table and what other threads read of a record
    std::unordered_map<std::uintptr_t, TZevWindowRec*> windows;
    std::uintptr_t nextHandle = 0x100;
    std::vector<std::unique_ptr<TZevClassRec>> classes;
    std::unique_ptr<TZevBackend> backend;
    std::vector<TZevWindowRec*> topLevels; // bottom to top
    HWND active = nullptr;
    HWND focus = nullptr;
    HWND capture = nullptr;
    POINT cursor{0, 0};
    int nextListenerToken = 1;
    bool shuttingDown = false;
    // Double clicks of classes that ask for them.
    HWND lastClickWindow = nullptr;
    std::chrono::steady_clock::time_point lastClickTime{};
    POINT lastClickPoint{0, 0};
    bool controlDown = false;
    bool shiftDown = false;
    WPARAM buttonsDown = 0; // MK_LBUTTON, MK_RBUTTON held
};

// The state lives to the end of the program: threads may post during exit.
PlatformState& P();

// The queue of the calling thread once it has one (set by ZevCurrentQueue).
extern thread_local std::shared_ptr<TZevMsgQueue> tQueue;

DWORD NowMs();
// Starts the backend of the environment when none runs yet.
void EnsureBackend();
bool OnBackendThread();

} // namespace ZevWinCore
