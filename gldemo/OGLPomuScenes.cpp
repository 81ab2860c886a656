#include "OGLPomuScenes.h"

#include "QEDataFiles.h"

#include <cctype>
#include <cstdio>

const char* const SceneMenuText = "Select Menu\n"
                                  "1 : Chair and Box\n"
                                  "2 : Floor and Car\n"
                                  "3 : Land and Car\n"
                                  "4 : Crane Car\n";

const char* const CraneCarKeyHelp = "Key\n Z : Stop\n E : Go Foward\n X : Go Back\n S : Left Turn\n D : Right Turn\n"
                                    " C : Crane Grasp\n V : Crane Release\n F : Raise Crane a little\n"
                                    " G : Lower Crane\n H : Raise Crane High\n";

namespace {

void LoadRoad(TQEBody_Data& road, float scale)
{
    road.Load("road.x");
    road.SetScale(scale, 1.0f, scale);
    road.SetPosition(0.0f, -10.0f, 0.0f);
    road.SetFixed(true);
}

// The frame of scenes 2 to 4: clear, simulate, the bodies, the frame rate.
template <typename Scene> void DrawWithFps(Scene& scene)
{
    scene.TGLUTViewer::Draw();
    scene.Advance();
    scene.World.Draw();
    scene.DrawFps();
}

template <typename Scene> int Run(int argc, char** argv)
{
    // The display first: without one the program ends here, before the engine starts.
    GlutInitOnce(&argc, argv);
    ClearMissingDataFiles();
    Scene scene;
    scene.Init(argc, argv);
    if (!MissingDataFiles().empty()) {
        for (const std::string& name : MissingDataFiles())
            std::fprintf(stderr, "%s\n", MissingDataFileMessage(name).c_str());
        return 1;
    }
    scene.Run();
    return 0;
}

} // namespace

// ---- 1 : Chair and Box

void TChairAndBoxScene::Build()
{
    Chair.Load("chair.x");
    Box.Load("lbox.x");
    Box.SetPosition(2.0f, -4.0f, 2.0f);
    LoadRoad(Road, 5.0f);
}

void TChairAndBoxScene::Init(int argc, char** argv)
{
    TGLUTViewer::Init(argc, argv);
    Build();
}

void TChairAndBoxScene::Advance()
{
    World.Step();
    // The camera follows the falling chair: recomputed after the step, before the bodies are drawn.
    float target[3];
    Chair.GetPosition(target);
    const float eye[3] = {0.0f, 0.0f, -40.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    SetCameraLookAt(eye, target, up);
}

void TChairAndBoxScene::Draw()
{
    TGLUTViewer::Draw();
    Advance();
    World.Draw();
}

// ---- 2 : Floor and Car

void TFloorAndCarScene::Build()
{
    Car.Build();
    Camera.Attach(&Car);
    LoadRoad(Road, 50.0f);
    QE_SetGravity(16.333334f);
    QE_SetInterferencePermitDistance(0.05f);
    QE_SetSimulationStepSize(0.02f);
}

void TFloorAndCarScene::Init(int argc, char** argv)
{
    TGLUTViewer::Init(argc, argv);
    Build();
}

void TFloorAndCarScene::Advance()
{
    World.Step();
}

void TFloorAndCarScene::Draw()
{
    DrawWithFps(*this);
}

// ---- 3 : Land and Car

void TLandAndCarScene::Build()
{
    Car.Build();
    Camera.Attach(&Car);
    Land.Setup(32, 32, 8, 8, 0.4f, 8.0f, 5);
    QE_SetGravity(16.333334f);
    QE_SetInterferencePermitDistance(0.05f);
    QE_SetCollisionSpringCoeff(10.0f);
    QE_SetSimulationStepSize(0.02f);
}

void TLandAndCarScene::Init(int argc, char** argv)
{
    TGLUTViewer::Init(argc, argv);
    Build();
}

void TLandAndCarScene::Advance()
{
    // The ground around the car comes first, so it is there before the step.
    float m[16] = {};
    Car.GetWorldMatrix(m);
    Land.Update(m[12], m[14]);
    World.Step();
}

void TLandAndCarScene::Draw()
{
    DrawWithFps(*this);
}

// ---- 4 : Crane Car

void TCraneCarScene::Build()
{
    CraneCar.Build();
    Camera.Attach(&CraneCar);
    LoadRoad(Road, 50.0f);
    QE_SetCollisionSpringCoeff(1.0f);
    Box.Load("lbox.x");
    Box.SetPosition(6.0f, 0.0f, 6.0f);
    Box.SetMass(0.2f);
    Box.SetScale(0.4f, 0.4f, 0.4f);
    Rock.Load("rocka.x");
    Rock.SetPosition(0.0f, 0.0f, 6.0f);
    Rock.SetMass(0.2f);
    Rock.SetScale(0.4f, 0.4f, 0.4f);
    QE_SetGravity(16.333334f);
    QE_SetInterferencePermitDistance(0.05f);
    QE_SetSimulationStepSize(0.02f);
}

void TCraneCarScene::Init(int argc, char** argv)
{
    TGLUTViewer::Init(argc, argv);
    Build();
    std::fputs(CraneCarKeyHelp, stdout);
    std::fflush(stdout);
}

void TCraneCarScene::Advance()
{
    World.Step();
}

void TCraneCarScene::Draw()
{
    DrawWithFps(*this);
}

void TCraneCarScene::Keyboard(int key, int, int)
{
    CraneCar.KeyDown(key);
}

int AskSceneChoice(std::FILE* in, std::FILE* out)
{
    for (;;) {
        std::fputs(SceneMenuText, out);
        std::fflush(out);
        // One line, of which the first characters are kept: an answer longer than a number names no scene anyway.
        char answer[24];
        std::size_t length = 0;
        bool cut = false;
        int c = 0;
        while ((c = std::fgetc(in)) != EOF && c != '\n') {
            if (length + 1 < sizeof answer)
                answer[length++] = static_cast<char>(c);
            else
                cut = true;
        }
        if (c == EOF && length == 0 && !cut)
            return 0;
        while (length > 0 && std::isspace(static_cast<unsigned char>(answer[length - 1])))
            --length;
        answer[length] = 0;
        const char* text = answer;
        while (std::isspace(static_cast<unsigned char>(*text)))
            ++text;
        if (!cut && text[0] >= '1' && text[0] <= '4' && text[1] == 0)
            return text[0] - '0';
        std::fprintf(out, "Unknown choice \"%s%s\": answer 1, 2, 3 or 4.\n", text, cut ? "..." : "");
        if (c == EOF)
            return 0;
    }
}

int RunScene(int choice, int argc, char** argv)
{
    switch (choice) {
    case 1: return Run<TChairAndBoxScene>(argc, argv);
    case 2: return Run<TFloorAndCarScene>(argc, argv);
    case 3: return Run<TLandAndCarScene>(argc, argv);
    case 4: return Run<TCraneCarScene>(argc, argv);
    default: return 0;
    }
}
