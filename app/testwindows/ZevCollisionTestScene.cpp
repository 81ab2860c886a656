#include "ZevCollisionTestScene.h"

#include "ZevApplication.h"
#include "ZevFrame.h"
#include "ZevMatrix.h"
#include "ZevMesh.h"
#include "ZevXFile.h"

TZevFrame* ZevLoadTestModel(const char* fileName)
{
    if (TZevFrame* frame = ZevLoadXFile(fileName))
        return frame;
    const TZevString inObjects = AppDirectory + TZevString("objects/") + TZevString(fileName);
    if (TZevFrame* frame = ZevLoadXFile(inObjects.CStr()))
        return frame;
    ZevDebugLog((TZevString("D3D test: cannot read ") + TZevString(fileName) + TZevString("\n")).CStr());
    return nullptr;
}

TZevPolygonMesh* ZevFirstPolygonMesh(TZevFrame* frame)
{
    TZevPolygonMesh* found = nullptr;
    if (frame == nullptr)
        return nullptr;
    // Pre-order over the frames: a frame's own visuals before its children's.
    frame->ForEachPreOrder(
        [](TZevVTree* node, void* arg) {
            auto** first = static_cast<TZevPolygonMesh**>(arg);
            auto* f = dynamic_cast<TZevVFrame*>(node);
            if (*first != nullptr || f == nullptr)
                return;
            for (TZevVMesh* visual : ZevItems<TZevVMesh>(f->Visuals))
                if ((*first = dynamic_cast<TZevPolygonMesh*>(visual)) != nullptr)
                    return;
        },
        &found);
    return found;
}

// ---- Mesh model --------------------------------------------------------------------------------------------------

TZevTestMeshModel::~TZevTestMeshModel()
{
    if (Frame != nullptr)
        Frame->Release();
    Frame = nullptr;
}

void TZevTestMeshModel::Clear()
{
    TZevMeshCollider::Clear();
    if (Frame != nullptr)
        Frame->Release(); // leaves the frame tree it is in
    Frame = nullptr;
}

void TZevTestMeshModel::OnCollide(TZevMeshCollider* other)
{
    (void)other;
    Velocity = TZevVector(-Velocity.x, -Velocity.y, -Velocity.z);
    AngularVelocity = TZevVector(-AngularVelocity.x, -AngularVelocity.y, -AngularVelocity.z);
}

bool TZevTestMeshModel::Load(const char* fileName)
{
    Clear();
    Velocity = Acceleration = AngularVelocity = AngularAcceleration = TZevVector();
    Frame = ZevLoadTestModel(fileName);
    TZevPolygonMesh* mesh = Frame != nullptr ? ZevFirstPolygonMesh(Frame) : nullptr;
    if (mesh == nullptr || !BuildFromMesh(mesh)) {
        Clear();
        return false;
    }
    mesh->ComputeNormals();
    return true;
}

void TZevTestMeshModel::Integrate()
{
    if (Frame == nullptr)
        return;
    Velocity = TZevVector(Velocity.x + Acceleration.x, Velocity.y + Acceleration.y, Velocity.z + Acceleration.z);
    AngularVelocity = TZevVector(AngularVelocity.x + AngularAcceleration.x, AngularVelocity.y + AngularAcceleration.y,
                                 AngularVelocity.z + AngularAcceleration.z);
    TZevMatrix r;
    ZevMatRotationFromVector(r, AngularVelocity, 1.0f / 60.0f);
    TZevMatrix& m = Frame->LocalMatrix;
    ZevMatMultiply(m, m, r);
    ZevMatMultiply(m, m, ZevMatTranslation(Velocity.x, Velocity.y, Velocity.z));
    TransformVertices(m);
    Transform(m);
}

// ---- Deformation object ------------------------------------------------------------------------------------------

TZevTestFFDObject::~TZevTestFFDObject()
{
    if (Frame != nullptr)
        Frame->Release();
    Frame = nullptr;
}

void TZevTestFFDObject::Clear()
{
    TZevFFD::Clear();
    if (Frame != nullptr)
        Frame->Release();
    Frame = nullptr;
}

bool TZevTestFFDObject::Load(const char* fileName, std::int32_t l, std::int32_t m, std::int32_t n)
{
    Clear();
    TZevFrame* loaded = ZevLoadTestModel(fileName);
    TZevPolygonMesh* mesh = loaded != nullptr ? ZevFirstPolygonMesh(loaded) : nullptr;
    bool ok = mesh != nullptr && SetMesh(mesh) && SetLattice(l, m, n);
    if (loaded != nullptr)
        loaded->Release(); // the deformation keeps its own reference to the mesh
    if (ok) {
        Frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
        ok = Frame != nullptr;
    }
    if (!ok) {
        Clear();
        return false;
    }
    DeformedMesh->ComputeNormals();
    Frame->AddVisual(DeformedMesh);
    return true;
}

// ---- Scene -------------------------------------------------------------------------------------------------------

TZevCollisionTestScene::~TZevCollisionTestScene() { Shutdown(); }

void TZevCollisionTestScene::Show(TZevTestMeshModel& model, bool shown)
{
    if (model.Frame == nullptr || RootFrame == nullptr)
        return;
    if (shown && model.Frame->GetParent() != RootFrame)
        RootFrame->AddChild(model.Frame);
    else if (!shown && model.Frame->GetParent() != nullptr)
        model.Frame->Unlink();
}

void TZevCollisionTestScene::Setup(TZevQueuedRenderer* renderer, TZevFrame* root, TZevFrame* camera)
{
    Shutdown();
    Renderer = renderer;
    RootFrame = root;
    CameraFrame = camera;
    Dragging = 0;
    DragX = DragY = 0.0f;
    ResultText = "False";
    for (TZevTestMeshModel& model : Models)
        model.Renderer = renderer;
    switch (Mode) {
    case 1: {
        const char* files[3] = {"floor.x", "bxa.x", "tsume.x"};
        for (int i = 0; i < 3; ++i) {
            Models[i].Load(files[i]);
            Show(Models[i], true);
        }
        if (Models[2].Frame != nullptr)
            Models[2].Frame->LocalMatrix = ZevMatTranslation(4.0f, 0.0f, 0.0f);
        if (Models[0].Frame != nullptr) {
            TZevMatrix turn;
            ZevMatRotationZ(turn, 0.3f);
            ZevMatMultiply(Models[0].Frame->LocalMatrix, ZevMatTranslation(0.0f, -3.0f, 0.0f), turn);
        }
        Models[2].Velocity = TZevVector(0.1f, 0.0f, 0.0f);
        Models[2].AngularVelocity = TZevVector(1.1f, 0.0f, 0.0f);
        break;
    }
    case 2:
        if (Deformation.Load("tsume.x", 3, 3, 3) && root != nullptr)
            root->AddChild(Deformation.Frame);
        break;
    case 3:
        Models[1].Load("tsume.x");
        Models[3].Load("midoriball.x");
        Models[4].Load("soraball.x");
        Show(Models[1], true);
        Show(Models[3], true);
        break;
    default: break;
    }
    Active = 1;
}

void TZevCollisionTestScene::Shutdown()
{
    if (!Active)
        return;
    // Every model goes, whatever the mode: none may be left in the frame tree that its owner is about to delete.
    for (TZevTestMeshModel& model : Models)
        model.Clear();
    Deformation.Clear();
    Dragging = 0;
}

void TZevCollisionTestScene::Step()
{
    if (!Active)
        return;
    switch (Mode) {
    case 1: {
        Models[1].Acceleration = Models[2].Acceleration = TZevVector(0.0f, -0.005f, 0.0f);
        for (int i : {1, 2, 0})
            Models[i].Integrate();
        const int pairs[3][2] = {{1, 2}, {1, 0}, {2, 0}};
        bool touching = false;
        for (const auto& p : pairs) {
            TZevTestMeshModel& a = Models[p[0]];
            TZevTestMeshModel& b = Models[p[1]];
            touching = a.Frame != nullptr && b.Frame != nullptr &&
                       TZevMeshCollider::Collide(a.Frame->LocalMatrix, &a, b.Frame->LocalMatrix, &b);
        }
        ResultText = touching ? "True" : "False";
        break;
    }
    case 2: Deformation.Apply(); break;
    case 3: {
        TZevTestMeshModel& claw = Models[1];
        TZevTestMeshModel& inside = Models[3];
        TZevTestMeshModel& outside = Models[4];
        if (inside.Frame == nullptr || outside.Frame == nullptr || claw.Frame == nullptr)
            break;
        inside.Frame->LocalMatrix.m[12] += DragX;
        inside.Frame->LocalMatrix.m[13] += DragY;
        DragX = DragY = 0.0f;
        outside.Frame->LocalMatrix = inside.Frame->LocalMatrix;
        for (int i : {1, 3, 4})
            Models[i].Integrate();
        // The ball's place in the claw's own space.
        TZevMatrix toClaw;
        (void)ZevMatInverse(toClaw, claw.Frame->LocalMatrix);
        const TZevVector at(inside.Frame->LocalMatrix.m[12], inside.Frame->LocalMatrix.m[13],
                            inside.Frame->LocalMatrix.m[14]);
        TZevVector local;
        ZevVecTransform(local, at, toClaw);
        const bool in = claw.IsPointInside(local);
        Show(inside, in);
        Show(outside, !in);
        break;
    }
    default: break;
    }
}

void TZevCollisionTestScene::MouseDown(std::int32_t x, std::int32_t y)
{
    if (!Active || Mode == 0)
        return;
    Dragging = 1;
    LastX = x;
    LastY = y;
    DragX = DragY = 0.0f;
}

void TZevCollisionTestScene::MouseMove(std::int32_t x, std::int32_t y)
{
    if (!Active || Mode == 0 || !Dragging)
        return;
    const float dx = static_cast<float>(x - LastX);
    const float dy = static_cast<float>(y - LastY);
    if (Mode == 2 && Deformation.HasLattice() && Deformation.PointCount > 1) {
        TZevVector& p = Deformation.Points[Deformation.PointIndex(0, 0, 1)];
        p = TZevVector(p.x + 0.01f * dx, p.y, p.z + 0.01f * dy);
    } else if (Mode == 3) {
        DragX += 0.01f * dx;
        DragY -= 0.01f * dy;
    }
    LastX = x;
    LastY = y;
}

void TZevCollisionTestScene::MouseUp(std::int32_t x, std::int32_t y)
{
    (void)x, (void)y;
    if (!Active || Mode == 0)
        return;
    Dragging = 0;
}
