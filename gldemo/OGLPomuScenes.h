// The four scenes of the demo. Each owns a physics-only world (constructed first, so the engine exists before any
// body) and its objects. Build makes the bodies and Advance runs one frame's simulation, both without OpenGL, so
// they run without a display too; Init opens the window first, and Draw adds the drawing.
#ifndef OGLPOMU_SCENES_H
#define OGLPOMU_SCENES_H

#include "GLUTViewer.h"
#include "QEBodyData.h"
#include "QECarData.h"
#include "QEFollowCamera.h"
#include "QELandData.h"
#include "QEWorldData.h"

#include <cstdio>

class TChairAndBoxScene : public TGLUTViewer {
public:
    void Init(int argc, char** argv) override;
    void Draw() override;
    void Build();
    void Advance();

    TQEWorld_Data World;
    TQEBody_Data Chair;
    TQEBody_Data Box;
    TQEBody_Data Road;
};

class TFloorAndCarScene : public TGLUTViewer {
public:
    void Init(int argc, char** argv) override;
    void Draw() override;
    void Build();
    void Advance();

    TQEWorld_Data World;
    TQECar_Data Car;
    TQEBody_Data Road;
    TQEFollowCamera_Data Camera;
};

class TLandAndCarScene : public TGLUTViewer {
public:
    void Init(int argc, char** argv) override;
    void Draw() override;
    void Build();
    void Advance();

    TQEWorld_Data World;
    TQECar_Data Car;
    TQELand_Data Land;
    TQEFollowCamera_Data Camera;
};

class TCraneCarScene : public TGLUTViewer {
public:
    void Init(int argc, char** argv) override;
    void Draw() override;
    void Keyboard(int key, int x, int y) override;
    void Build();
    void Advance();

    TQEWorld_Data World;
    TQECraneCar_Data CraneCar;
    TQEBody_Data Road;
    TQEFollowCamera_Data Camera;
    TQEBody_Data Rock;
    TQEBody_Data Box;
};

extern const char* const CraneCarKeyHelp;

// The menu text, the scene of a menu number (1 to 4) and its run: construct, Init, main loop, destroy.
extern const char* const SceneMenuText;
// Shows the menu on `out` and reads answers from `in`, one a line, until one names a scene: its number. An answer
// that names none is said to be unknown and the menu shown again. 0 when the input ends first.
int AskSceneChoice(std::FILE* in, std::FILE* out);
// The program's exit code: 0 after the main loop (and at once for a number outside 1 to 4), 1 when a data file
// could not be loaded (each is named on the console, and no frame is drawn).
int RunScene(int choice, int argc, char** argv);

#endif
