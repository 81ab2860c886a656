#include "ZevSlideTestScene.h"

#include "QEContext.h"
#include "ZevBitmap.h"
#include "ZevBodyUtil.h"
#include "ZevContactLink.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevLineMesh.h"
#include "ZevPhscs2World.h"
#include "ZevQueuedRenderer.h"
#include "ZevSceneClock.h"

#include <cmath>
#include <cstdio>

std::string SlideTestModeName = "TestMode4";
std::int32_t SlideDynamicFlag = 0;
float SlideReferenceX = 0.0f;
std::int32_t SlideCameraMode = 1;

namespace {

TZevVector PreviousPartPoint;
TZevVector PreviousFramePoint;
std::int32_t TrailCounter = 0;

const float StepSizes[4] = {0.02f, 0.01f, 0.005f, 0.0025f};
const float Weights[1] = {1.0f};
const char* const FloorFiles[1] = {"objects/sbox.x"};
const char* const BoxFiles[1] = {"objects/lbox.x"};
const float Forces[10] = {0.0f, 0.0f, 0.0f, 2.45f, 3.43f, 3.675f, 3.92f, 4.41f, 4.9f, 9.8f};
const float Velocities[10] = {9.8f, 19.6f, 29.4f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
const float Springs[1] = {20.0f};
// The largest index each table allows, whatever the counts say.
const std::int32_t TableSizes[5] = {4, 1, 1, 10, 1};

std::string F(double value)
{
    return ZevFormatFloat(value);
}

TZevVector FramePosition(TZevGameChara* body)
{
    TZevMatrix m;
    if (body->visualFrame != nullptr)
        body->visualFrame->GetWorldMatrix(&m);
    else
        m = body->GetMatrix();
    return TZevVector(m.m[12], m.m[13], m.m[14]);
}

} // namespace

TZevSlideTestScene::TZevSlideTestScene()
{
    // The folder first: the summary file lies in it.
    ZevMakeFolders(OutputFolder().c_str());
    SummaryFile.Open((OutputFolder() + "slip.txt").c_str(), this);
    std::string header;
    for (float force : Forces) {
        if (std::fabs(force) > 1e-7f) {
            std::string text = F(force);
            if (text.size() >= 8) {
                text[6] = ' ';
                text[7] = '\t';
            }
            header += text;
        }
    }
    SummaryFile.Write(header + "\n");
}

std::string TZevSlideTestScene::OutputFolder()
{
    return "../datas/" + SlideTestModeName + "/";
}

std::string TZevSlideTestScene::IndexSuffix() const
{
    std::string suffix;
    for (std::int32_t index : Indices)
        suffix += "_" + std::to_string(index);
    return suffix;
}

float TZevSlideTestScene::RunStepSize() const { return StepSizes[Indices[0]]; }
float TZevSlideTestScene::RunWeight() const { return Weights[Indices[1]]; }
float TZevSlideTestScene::RunForce() const { return Forces[Indices[3]]; }
float TZevSlideTestScene::RunVelocity() const { return Velocities[Indices[3]]; }
float TZevSlideTestScene::RunSpring() const { return Springs[Indices[4]]; }
bool TZevSlideTestScene::IsLaunchCase() const { return std::fabs(RunForce()) < 1e-7f; }

void TZevSlideTestScene::Setup()
{
    // Counts beyond the tables are held to them.
    for (int k = 0; k < 5; ++k)
        Counts[k] = Counts[k] < 1 ? 1 : (Counts[k] > TableSizes[k] ? TableSizes[k] : Counts[k]);
    FrameInterval = 0.0f;
    World->InterferencePermitDistance = 0.1f;
    World->CollisionSpringCoeff = RunSpring();
    World->CollisionVerticalDamperCoeff = 1.15f;
    World->CollisionStaticFrictionCoeff = 0.5f;
    World->CollisionDynamicFrictionCoeff = 0.5f;
    World->CollisionReboundCoeff = 0.0f;

    const std::string folder = OutputFolder();
    const std::string runName = "dt" + IndexSuffix();
    ZevMakeFolders(folder.c_str());
    DataFile.Open((folder + runName + ".txt").c_str(), this);
    if (LineMesh != nullptr)
        LineMesh->Clear();
    LinesOn = false;

    Floor = LoadXBody(FloorFiles[Indices[2]], nullptr, TZevMatrix());
    if (Floor != nullptr) {
        Floor->RigidPart->SetMass(0.5f);
        TZevMatrix scale;
        Floor->TransformVertices(ZevMatScaling(scale, 100.0f, 5.0f, 100.0f));
        ZevAddToScene(Floor, World, TZevGMBase::RootFrame);
        Floor->SetDynamic(1);
        Floor->SetFixed(1);
    }
    Box = LoadXBody(BoxFiles[Indices[2]], nullptr, ZevMatTranslation(-30.0f, 10.0f, -20.0f));
    if (Box != nullptr) {
        Box->RigidPart->SetMassSphere(RunWeight(), 5.0f);
        const bool flat = SlideTestModeName == "TestMode1" && Indices[2] == 0;
        TZevMatrix scale;
        Box->TransformVertices(ZevMatScaling(scale, 5.0f, flat ? 2.5f : 5.0f, 5.0f));
        Box->RigidPart->SetInertia(ZevBoxInertiaOf(Box, Box->RigidPart->Mass));
        Box->SetDynamic(1);
        Box->LinearDamping = 0.0f;
    }

    StepCost = 0.0;
    Time = 0.0f;
    FirstPush = 1;
    if (Box != nullptr) {
        PreviousPartPoint = Box->RigidPart->GetPosition();
        PreviousFramePoint = FramePosition(Box);
    }
    WritePlotScript(folder + runName + ".plt", runName);

    std::string first = "#";
    for (int k = 4; k >= 0; --k)
        first += "ia[" + std::to_string(k) + "] = " + std::to_string(Indices[k]) + (k > 0 ? ", " : "");
    DataFile.Write(first + ".\n");

    SetStatusText((SlideTestModeName + "\n\r" + "step_sizes = " + F(RunStepSize()) + "\n\r" + "weights = " +
                   F(RunWeight()) + "\n\r" + "objects0 = " + FloorFiles[Indices[2]] + "\n\r" + "force = " +
                   F(RunForce()) + "\n\r" + "v0 = " + F(RunVelocity()) + "\n\r" + "springk = " + F(RunSpring()) +
                   "\n\r")
                      .c_str());
    SlideDynamicFlag = 0;
}

void TZevSlideTestScene::WritePlotScript(const std::string& path, const std::string& runName)
{
    TZevMeasureFile plot;
    if (!plot.Open(path.c_str(), this))
        return;
    const std::string v = F(RunVelocity());
    const std::string mu = F(World->CollisionStaticFrictionCoeff);
    plot.Write("set xrange [0:" + F(RunEnd - SettleTime) + "]\n");
    plot.Write("set autoscale y\n");
    plot.Write("set xlabel \"time(s)\" \n");
    plot.Write("show xlabel\n");
    plot.Write("set ylabel \"x-axis(m)\" \n");
    plot.Write("show ylabel\n");
    const std::string what = IsLaunchCase() ? " Initial Velocity = " + v : " Force = " + F(RunForce());
    plot.Write("plot \"" + runName + ".txt\" using 1:2 title \" Simulated Trajectory" + what + " Step Size = " +
               F(RunStepSize()) + "\" with lines\n");
    if (IsLaunchCase()) {
        // The ideal slide: v t - mu g t^2 / 2 until it stops at v / (mu g), v^2 / (2 mu g) after.
        plot.Write("xmu(t) = (t < " + v + "/(" + mu + "*(9.8))) ? -0.5 * " + mu + "*(9.8) * t * t + " + v +
                   " * t:0.5 / " + mu + "/(9.8)*" + v + "*" + v + "\n");
        plot.Write("replot xmu(x) title \"Ideal Trajectory\" with lines\n");
    }
    plot.Write("set term pos eps\n");
    plot.Write("set output \"" + runName + ".eps\"\n");
    plot.Write("rep\n");
    plot.Write("set term windows\n");
}

void TZevSlideTestScene::OnShutdown()
{
    for (TZevGameChara** body : {&Floor, &Box}) {
        if (*body != nullptr) {
            QEForgetBody(*body);
            World->DeleteBody(*body);
        }
        *body = nullptr;
    }
}

void TZevSlideTestScene::Step()
{
    World->ClearContacts();
    if (!Finished && Time > RunEnd)
        EndRun();
    if (IsKeyDown(SceneKeyShift)) {
        LinesOn = true;
        DrawBodyBoxes(false);
    }
    if (IsKeyDown(SceneKeyControl)) {
        LinesOn = true;
        DrawWireframes();
    }
    if (Box == nullptr || Floor == nullptr) {
        // A run without its bodies (a mesh file missing) still ends.
        Time += RunStepSize();
        return;
    }
    WriteDataLine();
    const double start = ZevSceneMilliseconds();
    World->Step(RunStepSize());
    StepCost += ZevSceneMilliseconds() - start;
    Time += RunStepSize();
    UpdateCamera();
    DrawTrail();
    if (!LinesOn && LineMesh != nullptr)
        LineMesh->Clear();
}

void TZevSlideTestScene::WriteDataLine()
{
    if (Finished)
        return;
    const float x = Box->RigidPart->GetPosition().x;
    if (Time < SettleTime)
        SlideReferenceX = x;
    const float moved = x - SlideReferenceX;
    if (moved > SlideDistance && Time > SettleTime)
        SlideDynamicFlag = 1;
    std::string line = F(Time - SettleTime) + "\t" + F(moved) + "\t" + F(Box->RigidPart->GetPosition().y);
    float depth = 0.0f, dy = 0.0f, dx = 0.0f;
    int count = 0;
    for (const TZevContactLink* link : ZevItems<TZevContactLink>(*World->ContactLinks)) {
        const bool onBox = (link->RecordA != nullptr && link->RecordA->tree == Box) ||
                           (link->RecordB != nullptr && link->RecordB->tree == Box);
        if (!onBox)
            continue;
        depth += std::fabs(link->Depth);
        dy += std::fabs(link->PointB.y - link->PointA.y);
        dx += std::fabs(link->PointB.x - link->PointA.x);
        ++count;
    }
    line += "\t" + F(depth) + "\t" + F(dy) + "\t" + F(dx) + "\t" + std::to_string(count);
    if (Time > SettleTime) {
        const float f = RunForce();
        const float push = Time < RampEnd ? f * (Time - SettleTime) * 0.5f : f;
        Box->ForceAccumulator = TZevVector(push, 0.0f, 0.0f);
        line += "\t" + F(push) + "\t" + F(Box->RigidPart->Force.x);
        if (FirstPush) {
            FirstPush = 0;
            // An impulse that gives the box the launch velocity within one step.
            Box->ForceAccumulator.x += RunVelocity() * RunWeight() / RunStepSize();
        }
    }
    DataFile.Write(line + "\n");
}

void TZevSlideTestScene::EndRun()
{
    DataFile.Write("#CalcCost(ms) = " + F(StepCost) + "\n");
    DataFile.Close();
    // The view as it stands, as a BMP beside the measurements.
    const std::string capture = OutputFolder() + "gt" + IndexSuffix() + ".bmp";
    TZevLSObj* made = CreateObjectByName("TZevBitmap");
    TZevBitmap* picture = dynamic_cast<TZevBitmap*>(made);
    bool saved = false;
    if (picture != nullptr && picture->Create(640, 480, 24, 0xFF0000u, 0xFF00u, 0xFFu, 0u) && Renderer != nullptr &&
        Renderer->CaptureFrame(picture))
        saved = ZevSaveBmp24(picture, capture.c_str());
    if (made != nullptr)
        made->Release();
    if (!saved)
        ReportFileFailure(capture.c_str());
    if (!IsLaunchCase())
        SummaryFile.Write(SlideDynamicFlag ? "dynamic\t" : "static\t");
    for (int k = 4; k >= 0; --k) {
        if (Indices[k] < Counts[k] - 1) {
            ++Indices[k];
            OnShutdown();
            Setup();
            return;
        }
        if (k == 3)
            SummaryFile.Write("\n");
        Indices[k] = 0;
    }
    Finished = true;
    RequestQuit();
}

void TZevSlideTestScene::DrawWireframes()
{
    if (LineMesh == nullptr)
        return;
    std::uint32_t color = 0xFFu;
    ZevForEachWorldBody(World, [&](TZevCollisionMeshObj* body) {
        const TZevMeshData* mesh = body->collisionMesh != nullptr ? body->collisionMesh->Geometry : nullptr;
        const TZevMatrix world = body->GetMatrix();
        if (mesh != nullptr) {
            for (int f = 0; f < mesh->FaceCount; ++f) {
                const TZevMeshFace& face = mesh->Faces[f];
                for (std::uint32_t c = 0; c < face.Count; ++c) {
                    const std::uint16_t a = face.Indices[c];
                    const std::uint16_t b = face.Indices[(c + 1) % face.Count];
                    if (a >= mesh->VertexCount || b >= mesh->VertexCount)
                        continue;
                    const TZevVertex& va = mesh->Vertices()[a];
                    const TZevVertex& vb = mesh->Vertices()[b];
                    TZevVector pa, pb;
                    ZevVecTransform(pa, TZevVector(va.x, va.y, va.z), world);
                    ZevVecTransform(pb, TZevVector(vb.x, vb.y, vb.z), world);
                    LineMesh->AddLine(color, pa, pb);
                }
            }
        }
        color <<= 8;
    });
}

void TZevSlideTestScene::UpdateCamera()
{
    if (MainChara != nullptr)
        FollowMainChara(TZevVector(0.0f, 12.0f, -20.0f));
    if (IsKeyDown(SceneKeyF1))
        SlideCameraMode = 1;
    if (IsKeyDown(SceneKeyF2))
        SlideCameraMode = 2;
    TZevMatrix projection;
    if (SlideCameraMode == 1) {
        SetCameraMatrix(ZevMatTranslation(0.0f, 12.0f, -120.0f));
        projection.m[0] = projection.m[5] = 0.015625f;
        projection.m[10] = 0.001f;
    } else {
        TZevMatrix tilt, camera;
        ZevMatRotationX(tilt, 0.35f);
        SetCameraMatrix(ZevMatMultiply(camera, tilt, ZevMatTranslation(0.0f, 30.0f, -80.0f)));
        projection = TZevMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0);
    }
    if (Renderer != nullptr)
        Renderer->SetProjectionMatrix(projection.m);
}

void TZevSlideTestScene::DrawTrail()
{
    if (++TrailCounter % 20 != 0 || LineMesh == nullptr)
        return;
    const TZevVector part = Box->RigidPart->GetPosition();
    const TZevVector frame = FramePosition(Box);
    LineMesh->AddLine(0xFFu, part, PreviousPartPoint);
    LineMesh->AddLine(0xFF00u, frame, PreviousFramePoint);
    PreviousPartPoint = part;
    PreviousFramePoint = frame;
}
