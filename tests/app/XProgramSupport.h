// Shared by the tests that run our programs on an X server of the test's own (Xvfb with Mesa's software renderer)
// and drive them with real X input from xdotool: starting programs, waiting for them, reading the screen back and
// keeping pictures under build/screenshots/.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Skips the test when Xvfb or xdotool is missing; otherwise starts the test's own X server (DISPLAY points at it)
// and opens the window layer on it, for reading the screen back.
#define REQUIRE_X_PROGRAM_TOOLS()                                                                                      \
    do {                                                                                                               \
        if (!StartXSession())                                                                                          \
            GTEST_SKIP() << "Xvfb or xdotool is not installed";                                                        \
    } while (0)

bool StartXSession();
void EndXSession();

// How long a wait for what a program shows may last (ms): what a heavily loaded machine (or the sanitizer build) may
// take. A wait ends as soon as what it waits for comes, so the figure costs nothing when all goes well.
constexpr int Patience = 120000;

// Starts a program in a folder (the current one when empty), its standard output into `outFd` when given. The
// child's pid, or -1.
pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder = "", int outFd = -1);
// The same on another X display: DISPLAY is `display` (unset when empty), the standard output thrown away when
// `quiet`, the standard error written to the file `errors` when given.
pid_t StartProgramOn(const std::string& display, const std::vector<std::string>& args, const std::string& folder = "",
                     const std::string& errors = "", bool quiet = false);
// Kills a program started for a test when it still runs; *pid becomes -1.
void StopProgram(pid_t* pid);
// Runs a program (xdotool) to its end; its exit status, -1 when it could not start.
int RunProgram(const std::vector<std::string>& args);
// The exit code of a program that ends within `ms` milliseconds (its end is waited for as an event); -1 when it
// did not end (it is then killed).
int WaitForExit(pid_t pid, int ms);

// A picture of the screen: 0x00RRGGBB pixels, top row first.
struct TScreenShot {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint32_t> Pixels;

    std::uint32_t At(std::int32_t x, std::int32_t y) const;
    // The part of the picture from (left, top), of the given size.
    TScreenShot Part(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) const;
    int DistinctColours() const;
    // Pixels whose largest channel difference to the other picture (of the same size) is above `threshold`.
    int Differences(const TScreenShot& other, int threshold) const;
    // Kept as build/screenshots/<name>.png.
    void Save(const std::string& name) const;
};

TScreenShot CaptureScreen();

// Waits for what the screen shows: `done` is asked about a picture of the screen at once and again after every
// change drawn on it (the X server's damage events, one or more frames of a view); false when `ms` milliseconds pass
// first.
bool WaitForScreen(const std::function<bool(const TScreenShot&)>& done, int ms);
// Waits until `frames` more changes have been drawn on the screen (each one frame or more); false after `ms`.
bool WaitForFrames(int frames, int ms);
// Waits until a top-level window of this name is mapped; false after `ms`.
bool WaitForWindow(const std::string& name, int ms);
// Waits until `done` holds, for what no event tells (a process's threads): checked every 20 ms; false after `ms`.
bool WaitUntil(const std::function<bool()>& done, int ms);
// Threads and resident kilobytes of a process.
int ProcessThreads(pid_t pid);
long ProcessResidentKilobytes(pid_t pid);

// Fixture of the tests that run the demo program (or another of ours) on the test's own X server: skipped when Xvfb
// or xdotool is missing; a scratch folder "x11-<suite>-<test>" holding a copy of the data set; the leak check of the
// programs started left off (Mesa's own allocations are not ours to check; the demo's own count is, in
// ZevMemoryCheck2.txt). The program in `Demo` is killed at the end when it still runs. A SetUp of a derived fixture
// goes on only when this one neither skipped nor failed.
class XProgramTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A click of the left button at a point of the screen, keys pressed and text typed: real X input from xdotool.
    static void Click(int x, int y);
    static void Key(const char* key);
    static void Type(const std::string& text, int msPerKey = 1);

    std::filesystem::path Folder;
    pid_t Demo = -1;
};
