// The Direct3D test form: a DirectDraw 7 form whose animation thread draws the collision test scene about 75 times
// a second into its panel, with keys that fly the camera and a mouse drag that moves the test's objects. The test
// launcher picks its mode and starts and stops it; closing the form ends the program.
//
// Keys and mouse reach the scene under the program-wide lock, as the frames are computed under it.
#pragma once

#include "ZevDX7Form.h"
#include "ZevDXTestRunner.h"
#include "ZevDXTestThread.h"

#include <cstdint>

class TZevDXFormTest : public TZevDX7Form {
public:
    TZevDXFormTest() = default;
    // Stops the thread before the runner goes.
    ~TZevDXFormTest() override;

    // A close that goes ahead stops the animation before the panel is closed: the panel's renderer goes with it.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnKeyDown(WPARAM key) override;
    void OnKeyUp(WPARAM key) override;
    void OnDestroy() override;
    // Stops the test and closes the program's root window.
    void OnClose() override;
    // The form with its panel; keys cleared; the panel's mouse and keys go to the test.
    void OnCreate() override;

    // Stops, sizes the panel to 640 x 480 with its renderer reset, sets the runner up in the scene's mode and
    // starts the thread.
    virtual void Start();
    // Ends the thread, which shuts the runner down on its way out.
    virtual void Stop();
    bool IsRunning() const { return Running != 0; }

    // The mouse on the panel, forwarded to the scene while the thread has its runner.
    void Mouse(int kind, std::int32_t x, std::int32_t y);
    // A key of the panel or the form, into the key table.
    void Key(WPARAM key, std::uint8_t down);

    std::int32_t Running = 0;
    std::uint8_t KeyTable[256] = {};
    TZevDXTestRunner Runner;
    TZevDXTestThread Thread; // after the runner: it goes first

private:
    bool Closing = false;
};

extern TZevClassRecord TZevDXFormTestClassRecord;
TZevLSObj* CreateTZevDXFormTest();
