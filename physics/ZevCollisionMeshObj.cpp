#include "ZevCollisionMeshObj.h"

#include "ZevListView.h"
#include "ZevXFile.h"

#include <cstring>
#include <string>
#include <vector>

TZevCollisionMeshObj::TZevCollisionMeshObj() = default;

namespace {

// The bodies of a body tree, parents before children.
void CollectPreOrder(TZevCollisionMeshObj* root, TZevList& out)
{
    TZevList stack;
    stack.PushFront(root);
    while (TZevCollisionMeshObj* body = ZevPopItem<TZevCollisionMeshObj>(stack)) {
        out.Add(body);
        ZevPushChildren<TZevCollisionMeshObj>(stack, body);
    }
}

void ReleaseMesh(TZevPolygonMesh*& mesh)
{
    if (mesh != nullptr) {
        mesh->Release();
        mesh = nullptr;
    }
}

} // namespace

TZevCollisionMeshObj::~TZevCollisionMeshObj()
{
    Detach();
    if (visualFrame != nullptr)
        visualFrame->Unlink();
    // Children first: a child's frame usually hangs under this body's frame and must not go with it while the
    // child still names it.
    TZevList bodies;
    CollectPreOrder(this, bodies);
    for (TZevListNode* node = bodies.Last(); node != bodies.End(); node = node->prev) {
        TZevCollisionMeshObj* body = ZevItem<TZevCollisionMeshObj>(node);
        if (body->visualFrame != nullptr) {
            body->visualFrame->Unlink();
            delete body->visualFrame;
            body->visualFrame = nullptr;
        }
    }
    ReleaseMesh(visualMesh);
    ReleaseMesh(collisionMesh);
    AttachList.Clear();
    NoCollisionList.Clear();
}

void TZevCollisionMeshObj::FollowFrame()
{
    if (visualFrame != nullptr)
        visualFrame->LocalMatrix = GetPreviousMatrix();
}

void TZevCollisionMeshObj::UpdateWorldMatrix(float step)
{
    TZevXPhObj::UpdateWorldMatrix(step);
    FollowFrame();
}

void TZevCollisionMeshObj::SetMatrix(const TZevMatrix& m)
{
    TZevXPhObj::SetMatrix(m);
    FollowFrame();
}

void TZevCollisionMeshObj::SetMatrixValues(TZevMatrix m)
{
    TZevCollisionMeshObj::SetMatrix(m);
}

TZevCollisionMeshObj* TZevCollisionMeshObj::CreateFromFrame(TZevFrame* frame, TZevBodyFactory factory, void* argument)
{
    if (frame == nullptr || factory == nullptr)
        return nullptr;
    // Pre-lit and line visuals are drawn, not collided with.
    std::vector<TZevPolygonMesh*> visuals;
    for (TZevVMesh* item : ZevItems<TZevVMesh>(frame->Visuals)) {
        if (TZevPolygonMesh* visual = dynamic_cast<TZevPolygonMesh*>(item))
            visuals.push_back(visual);
    }
    // One body owns the frame. It collides with every polygon visual of the frame at once, so that a frame of
    // several meshes is one body with all of them and not several bodies sharing one frame.
    TZevPolygonMesh* copy = nullptr;
    if (visuals.size() == 1) {
        copy = visuals.front()->CloneFaceChecked();
    } else if (visuals.size() > 1) {
        std::vector<const TZevMeshData*> parts;
        for (TZevPolygonMesh* visual : visuals)
            parts.push_back(visual->Geometry);
        TZevMeshData joined;
        if (ZevJoinMeshData(parts.data(), static_cast<int32_t>(parts.size()), joined))
            copy = visuals.front()->CloneFaceChecked(&joined);
        if (copy == nullptr) {
            const std::string line = std::string("CreateFromFrame: the meshes of frame \"") +
                                     (frame->GetName() != nullptr ? frame->GetName() : "") +
                                     "\" cannot make one body (more than 65536 vertices together?)\n";
            ZevDebugLog(line.c_str());
            return nullptr;
        }
    }
    if (copy != nullptr)
        copy->ComputeNormals();
    TZevCollisionMeshObj* result = factory(frame, copy, argument);
    if (result == nullptr) {
        if (copy != nullptr)
            copy->Release();
        return nullptr;
    }
    result->visualFrame = frame;
    if (!visuals.empty()) {
        ReleaseMesh(result->collisionMesh);
        result->collisionMesh = copy;
        visuals.front()->AddRef();
        ReleaseMesh(result->visualMesh);
        result->visualMesh = visuals.front();
    }
    if (visuals.size() == 1)
        result->SetName(visuals.front()->GetName() != nullptr ? visuals.front()->GetName() : "");
    else if (frame->GetName() != nullptr)
        result->SetName(frame->GetName());
    for (TZevVTree* child = frame->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        TZevFrame* childFrame = dynamic_cast<TZevFrame*>(child);
        if (childFrame == nullptr)
            continue;
        TZevCollisionMeshObj* made = result->CreateFromFrame(childFrame, factory, argument != nullptr ? argument : result);
        // A body nobody took would be lost: it goes under the body of the parent frame.
        if (made == nullptr)
            continue;
        TZevCollisionMeshObj* top = made;
        while (top->Parent() != nullptr && top->Parent() != result &&
               static_cast<TZevCTree*>(static_cast<TZevBoxNode*>(top->Parent()))->IsMeshTree())
            top = static_cast<TZevCollisionMeshObj*>(static_cast<TZevBoxNode*>(top->Parent()));
        if (top->Parent() == nullptr && top != result)
            result->AppendChild(top);
    }
    return result;
}

void TZevCollisionMeshObj::MoveToParent(TZevCollisionMeshObj* body)
{
    if (body == nullptr || body == this)
        return;
    // A body cannot become a child of its own subtree.
    for (TZevCollisionNode* p = Parent(); p != nullptr; p = p->Parent()) {
        if (p == body)
            return;
    }
    AppendChild(body);
    SetRebuildFlag();
    if (visualFrame != nullptr && body->visualFrame != nullptr)
        visualFrame->AddChild(body->visualFrame);
}

void TZevCollisionMeshObj::LeaveParent()
{
    TZevCollisionNode* old = Parent();
    Detach();
    if (old != nullptr && static_cast<TZevCTree*>(static_cast<TZevBoxNode*>(old))->level < 2)
        static_cast<TZevCTree*>(static_cast<TZevBoxNode*>(old))->SetRebuildFlag();
    if (visualFrame != nullptr)
        visualFrame->Unlink();
}

void TZevCollisionMeshObj::SetVisualMesh(TZevPolygonMesh* mesh)
{
    // The new reference is taken first, so that the current mesh passed again survives its own release.
    if (mesh != nullptr) {
        mesh->AddRef();
        mesh->Changed = 1;
    }
    if (visualMesh != nullptr) {
        if (visualFrame != nullptr && visualFrame->Visuals.Remove(visualMesh))
            visualMesh->Release();
        visualMesh->Release();
    }
    visualMesh = mesh;
    if (mesh != nullptr && visualFrame != nullptr)
        visualFrame->AddVisual(mesh);
}

bool TZevCollisionMeshObj::SetCollisionMesh(TZevPolygonMesh* mesh)
{
    if (mesh != nullptr)
        mesh->AddRef();
    ReleaseMesh(collisionMesh);
    collisionMesh = mesh;
    return ClearNodes(mesh != nullptr ? mesh->Geometry : nullptr);
}

bool TZevCollisionMeshObj::LoadVisualMesh(const char* path)
{
    if (path == nullptr)
        return false;
    TZevFrame* loaded = ZevLoadXFile(path);
    if (loaded == nullptr)
        return false;
    bool done = false;
    if (!loaded->Visuals.IsEmpty()) {
        TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(ZevItem<TZevVMesh>(loaded->Visuals.First()));
        if (mesh != nullptr) {
            mesh->ComputeNormals();
            SetVisualMesh(mesh);
            done = true;
        }
    }
    delete loaded;
    return done;
}

namespace {

void TransformMesh(TZevPolygonMesh* mesh, const TZevMatrix& matrix)
{
    if (mesh == nullptr || mesh->Geometry == nullptr)
        return;
    mesh->Geometry->Transform(matrix);
    mesh->ComputeNormals();
    mesh->Changed = 1;
}

} // namespace

void TZevCollisionMeshObj::TransformVertices(const TZevMatrix& matrix)
{
    TransformMesh(collisionMesh, matrix);
    if (visualMesh != collisionMesh)
        TransformMesh(visualMesh, matrix);
    for (TZevCTree* c = FirstChildTree(); c != nullptr; c = c->NextSiblingTree()) {
        TZevCollisionMeshObj* child = static_cast<TZevCollisionMeshObj*>(c);
        child->TransformVertices(matrix);
        TZevMatrix placed = child->GetPreviousMatrix();
        const TZevVector position(placed.m[12], placed.m[13], placed.m[14]);
        TZevVector moved;
        ZevVecTransform(moved, position, matrix);
        placed.m[12] = moved.x;
        placed.m[13] = moved.y;
        placed.m[14] = moved.z;
        child->SetMatrixValues(placed);
    }
    ClearContactHit();
    AdvanceStep(0.0f);
    AdvanceStep(0.0f);
    ClearContactHit();
    UpdateBox();
}

TZevCollisionMeshObj* ZevDefaultBodyFactory(TZevFrame* frame, TZevPolygonMesh* mesh, void* argument)
{
    (void)argument;
    TZevCollisionMeshObj* body = new TZevCollisionMeshObj;
    body->ClearNodes(mesh != nullptr ? mesh->Geometry : nullptr);
    if (frame != nullptr)
        body->SetMatrix(frame->LocalMatrix);
    return body;
}

TZevCollisionMeshObj* ZevCreateBodyTreeFromFrame(TZevFrame* frame, void* argument)
{
    TZevCollisionMeshObj maker;
    return maker.CreateFromFrame(frame, ZevDefaultBodyFactory, argument);
}

bool ZevIsClassOrDerived(const TZevLSObj* object, const char* name)
{
    if (object == nullptr || name == nullptr)
        return false;
    const TZevClassRecord* record = object->GetClassRecord();
    // Parent chains are short; the bound keeps a registry with a loop from hanging the test.
    for (int depth = 0; record != nullptr && depth < 64; ++depth) {
        if (record->name != nullptr && std::strcmp(record->name, name) == 0)
            return true;
        record = record->parentName != nullptr ? FindClassRecord(record->parentName) : nullptr;
    }
    return false;
}
