#include "ZevBodyUtil.h"

#include "LispStream.h"
#include "ZevBitmap.h"
#include "ZevBodyBoxes.h"
#include "ZevCollisionSpace.h"
#include "ZevListView.h"
#include "ZevSaveFile.h"
#include "ZevXFile.h"

#include <cmath>
#include <cstdio>

// ---- Saved-body file

int SaveXPhBodyFile(const char* fileName, TZevGameChara* body, void* context)
{
    if (fileName == nullptr)
        return 0;
    TZevSaveFile file;
    if (!file.Open(fileName, "wb"))
        return 0;
    TZevObjectIdTable table;
    table.SetContext(context);
    // A body not written whole leaves the file it would have replaced.
    int ok = table.WriteRef(&file, TZevGameChara_SaveFunction, TZevGameChara_LoadFunction, body);
    ok = ok != 0 && file.Commit() != 0;
    if (ok == 0) {
        char line[300];
        std::snprintf(line, sizeof line, "SaveXPhBodyFile: %s: the body could not be written whole\n", fileName);
        ZevDebugLog(line);
    }
    return ok;
}

TZevGameChara* LoadXPhBodyFile(const char* fileName, void* context)
{
    if (fileName == nullptr)
        return nullptr;
    TZevFile file;
    if (!file.Open(fileName, "rb"))
        return nullptr;
    TZevObjectIdTable table;
    table.SetContext(context);
    void* read = nullptr;
    const bool ok = ZevReadRefOfKind(&table, &file, ZevSavedGameChara, &read);
    void* body = ZevEndPhysicsLoad(&table, ok ? read : nullptr, ZevSavedGameChara);
    LispReleaseLoadHolds();
    file.Close();
    if (!ok) {
        char line[300];
        std::snprintf(line, sizeof line, "LoadXPhBodyFile: %s: no body could be read\n", fileName);
        ZevDebugLog(line);
    }
    return static_cast<TZevGameChara*>(body);
}

// ---- Inertia

void CalcBoxInertiaTensor(TZevMatrix3& out, float a, float b, float c, float m)
{
    out = TZevMatrix3(m * (b * b + c * c) / 12.0f, 0.0f, 0.0f, 0.0f, m * (a * a + c * c) / 12.0f, 0.0f, 0.0f, 0.0f,
                      m * (a * a + b * b) / 12.0f);
}

// ---- Bodies

namespace {

TZevCollisionMeshObj* MakeBodyTree(TZevFrame* frame, TZevBodyFactory factory)
{
    TZevCollisionMeshObj maker;
    return maker.CreateFromFrame(frame, factory != nullptr ? factory : CreateGameChara, nullptr);
}

// Hangs the frame of a new body under the parent frame and places the body.
TZevCollisionMeshObj* Finish(TZevCollisionMeshObj* body, TZevFrame* frame, const TZevMatrix& matrix,
                             TZevFrame* parentFrame, TZevCollisionSpace* world)
{
    if (body == nullptr) {
        delete frame;
        return nullptr;
    }
    if (body->visualFrame == nullptr)
        body->visualFrame = frame; // a factory that left the frame to nobody
    if (parentFrame != nullptr && body->visualFrame != nullptr)
        parentFrame->AddChild(body->visualFrame);
    PlaceXPhBody(body, matrix);
    if (world != nullptr)
        world->AddBody(body);
    return body;
}

} // namespace

void PlaceXPhBody(TZevCollisionMeshObj* body, const TZevMatrix& matrix)
{
    if (body == nullptr)
        return;
    if (TZevGameChara* chara = ZevAsGameChara(body))
        chara->RigidPart->SetMatrix(matrix);
    body->SetMatrix(matrix);
    body->AdvanceStep(0.0f);
    body->AdvanceStep(0.0f);
    body->UpdateBox();
}

TZevCollisionMeshObj* CreateXPhBodyFromXFile(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                             TZevFrame* parentFrame)
{
    if (fileName == nullptr)
        return nullptr;
    TZevFrame* frame = ZevLoadXFile(fileName);
    if (frame == nullptr)
        return nullptr;
    return Finish(MakeBodyTree(frame, factory), frame, matrix, parentFrame, nullptr);
}

TZevCollisionMeshObj* AddXPhBodyFromXFile(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                          TZevFrame* parentFrame, TZevCollisionSpace* world)
{
    TZevCollisionMeshObj* body = CreateXPhBodyFromXFile(fileName, factory, matrix, parentFrame);
    if (body != nullptr && world != nullptr)
        world->AddBody(body);
    return body;
}

TZevCollisionMeshObj* CreateEmptyXPhBody(TZevBodyFactory factory, const TZevMatrix& matrix, TZevFrame* parentFrame,
                                         TZevCollisionSpace* world)
{
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    if (frame == nullptr)
        return nullptr;
    return Finish(MakeBodyTree(frame, factory), frame, matrix, parentFrame, world);
}

TZevCollisionMeshObj* CreateBoxXPhBody(TZevBodyFactory factory, const TZevMatrix& matrix, TZevFrame* parentFrame,
                                       TZevCollisionSpace* world, const TZevVector& min, const TZevVector& max,
                                       float mass)
{
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    TZevLSObj* made = CreateObjectByName("TZevPolygonMesh");
    TZevPolygonMesh* mesh = dynamic_cast<TZevPolygonMesh*>(made);
    if (frame == nullptr || mesh == nullptr) {
        delete frame;
        if (made != nullptr)
            made->Release();
        return nullptr;
    }
    mesh->Clear();
    if (mesh->Geometry == nullptr || !ZevMakeBoxMesh(mesh->Geometry, min, max)) {
        delete frame;
        mesh->Release();
        return nullptr;
    }
    mesh->Changed = 1;
    frame->AddVisual(mesh);
    mesh->Release(); // the frame holds it
    TZevCollisionMeshObj* body = MakeBodyTree(frame, factory);
    if (TZevGameChara* chara = ZevAsGameChara(body)) {
        TZevMatrix3 inertia;
        CalcBoxInertiaTensor(inertia, max.x - min.x, max.y - min.y, max.z - min.z, mass);
        chara->RigidPart->SetMass(mass);
        chara->RigidPart->SetInertia(inertia);
    }
    return Finish(body, frame, matrix, parentFrame, world);
}

void SetJointAngle(TZevJoint* joint, TZevGameChara* body, float theta)
{
    if (joint == nullptr)
        return;
    joint->SetAngle(theta);
    for (int k = 0; k < 4; ++k) {
        if (joint->Links[k] != nullptr)
            joint->Links[k]->Advance();
    }
    if (body == nullptr || body->MainPart != body->RigidPart)
        return;
    TZevPhscs2RigidBody* a = dynamic_cast<TZevPhscs2RigidBody*>(joint->ObjectA());
    TZevPhscs2RigidBody* b = dynamic_cast<TZevPhscs2RigidBody*>(joint->ObjectB());
    if (a == nullptr || b == nullptr || (body->RigidPart != a && body->RigidPart != b))
        return;
    // Orthonormal frames of the joint in each part: axis, reference, their cross product.
    TZevVector fa[3] = {joint->AxisA, joint->CurRefA, TZevVector()};
    TZevVector fb[3] = {joint->AxisB, joint->RefB, TZevVector()};
    ZevVecCross(fa[2], fa[0], fa[1]);
    ZevVecCross(fb[2], fb[0], fb[1]);
    const bool moveB = body->RigidPart == b;
    TZevPhscs2RigidBody* fixed = moveB ? a : b;
    TZevVector* from = moveB ? fb : fa; // frame in the moving part
    TZevVector* to = moveB ? fa : fb;   // frame in the fixed part
    // Rows of the moving part's rotation: R = transpose(from) x to x R(fixed).
    TZevMatrix m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k) {
                const float fk[3] = {from[k].x, from[k].y, from[k].z};
                const float tk[3] = {to[k].x, to[k].y, to[k].z};
                float tw = 0.0f;
                for (int j = 0; j < 3; ++j)
                    tw += tk[j] * fixed->Matrix.m[j * 4 + c];
                sum += fk[r] * tw;
            }
            m.m[r * 4 + c] = sum;
        }
    }
    TZevVector pivotFixed;
    fixed->LocalToWorld(moveB ? joint->PivotA : joint->PivotB, pivotFixed);
    const TZevVector pivotMoving = moveB ? joint->PivotB : joint->PivotA;
    TZevVector turned;
    ZevVecRotate(turned, pivotMoving, m);
    m.m[12] = pivotFixed.x - turned.x;
    m.m[13] = pivotFixed.y - turned.y;
    m.m[14] = pivotFixed.z - turned.z;
    ZevOrthonormalize(m);
    body->RigidPart->SetMatrix(m);
    body->AlignToPart();
}

// ---- Land

TZevLandCTree* CreateLandFromBitmaps(TZevVBitmap* heightMap, const char* textureFile, TZevFrame* rootFrame,
                                     TZevCollisionSpace* world, const TZevMatrix& placement, std::int32_t w,
                                     std::int32_t h, float uStep, float vStep)
{
    if (heightMap == nullptr)
        return nullptr;
    TZevLandCTree* land = new TZevLandCTree;
    if (!land->SetUp(heightMap, placement, uStep, vStep, w, h)) {
        delete land;
        return nullptr;
    }
    if (textureFile != nullptr) {
        land->landMesh->SetTextureName(textureFile);
        land->textureFile = textureFile;
    }
    // Into the world first: adding a body unlinks it, and with it its frame.
    if (world != nullptr)
        world->AddBody(land);
    if (rootFrame != nullptr && land->visualFrame != nullptr)
        rootFrame->AddChild(land->visualFrame);
    return land;
}

TZevLandCTree* CreateLandWithScale(const char* heightMapFile, const char* textureFile, TZevFrame* rootFrame,
                                   TZevCollisionSpace* world, float sx, float sy, float sz)
{
    if (heightMapFile == nullptr)
        return nullptr;
    TZevBitmap* bitmap = dynamic_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    if (bitmap == nullptr)
        return nullptr;
    TZevLandCTree* land = nullptr;
    if (bitmap->LoadBmp(heightMapFile)) {
        TZevMatrix placement;
        ZevMatScaling(placement, sx, sy, sz);
        // The whole grid is drawn and the texture spans it once.
        const std::int32_t w = bitmap->GetWidth();
        const std::int32_t h = bitmap->GetHeight();
        const float u = h > 1 ? 1.0f / static_cast<float>(h - 1) : 1.0f;
        const float v = w > 1 ? 1.0f / static_cast<float>(w - 1) : 1.0f;
        land = CreateLandFromBitmaps(bitmap, textureFile, rootFrame, world, placement, w, h, u, v);
        if (land != nullptr)
            land->heightMapFile = heightMapFile;
    }
    bitmap->Release();
    return land;
}

TZevLandCTree* CreateLand(const char* heightMapFile, const char* textureFile, TZevFrame* rootFrame,
                          TZevCollisionSpace* world)
{
    return CreateLandWithScale(heightMapFile, textureFile, rootFrame, world, 64.0f, 128.0f, 64.0f);
}

// ---- Body trees

void CollectBodyTree(TZevCollisionMeshObj* body, TZevList& list)
{
    if (body == nullptr)
        return;
    TZevList stack;
    stack.PushFront(body);
    while (TZevCollisionMeshObj* b = ZevPopItem<TZevCollisionMeshObj>(stack)) {
        list.Add(b);
        ZevPushChildren<TZevCollisionMeshObj>(stack, b);
    }
}

void SetVisualMaterialTree(TZevCollisionMeshObj* body, const TZevMaterial& material)
{
    TZevList bodies;
    CollectBodyTree(body, bodies);
    for (TZevCollisionMeshObj* b : ZevItems<TZevCollisionMeshObj>(bodies)) {
        if (b->visualMesh != nullptr)
            b->visualMesh->Material = material;
    }
}

void SetEachChildNoCollision(TZevCollisionMeshObj* body)
{
    TZevList bodies;
    CollectBodyTree(body, bodies);
    for (TZevListNode* i = bodies.First(); i != bodies.End(); i = i->next) {
        TZevCollisionMeshObj* a = ZevItem<TZevCollisionMeshObj>(i);
        for (TZevListNode* j = i->next; j != bodies.End(); j = j->next) {
            TZevCollisionMeshObj* b = ZevItem<TZevCollisionMeshObj>(j);
            if (a->Parent() == b || b->Parent() == a)
                continue;
            a->NoCollisionList.Remove(b);
            a->NoCollisionList.Add(b);
            b->NoCollisionList.Remove(a);
            b->NoCollisionList.Add(a);
        }
    }
}

void SetSameCollisionGroupEachChild(TZevCollisionMeshObj* body)
{
    TZevList bodies;
    CollectBodyTree(body, bodies);
    for (TZevCollisionMeshObj* b : ZevItems<TZevCollisionMeshObj>(bodies))
        b->group = body->group;
}

void SetRigidBodyRecursive(TZevGameChara* body, TZevPhscs2RigidBody* state)
{
    if (body == nullptr)
        return;
    if (state == nullptr)
        state = body->RigidPart; // back to the body's own part
    TZevPhscs2RigidBody* old = body->MainPart;
    for (TZevCTree* c = body->FirstChildTree(); c != nullptr; c = c->NextSiblingTree()) {
        TZevGameChara* child = ZevAsGameChara(static_cast<TZevCollisionMeshObj*>(c));
        if (child != nullptr && child->MainPart == old)
            SetRigidBodyRecursive(child, state);
    }
    // The own part stays listed as the body's state object; a foreign main part is listed while it moves the body.
    if (old != body->RigidPart)
        UnlinkBodyAndRigidBody(body, old);
    body->MainPart = state;
    if (state != body->RigidPart)
        LinkBodyAndRigidBody(body, state);
    if (body->primitiveRoot != nullptr)
        AssignBoxObject(body->primitiveRoot, state);
}

void SetRigidPart(TZevGameChara* body, TZevPhscs2RigidBody* part)
{
    if (body == nullptr || part == nullptr || part == body->RigidPart)
        return;
    TZevPhscs2RigidBody* old = body->RigidPart;
    if (body->MainPart == old) {
        body->MainPart = part;
        if (body->primitiveRoot != nullptr)
            AssignBoxObject(body->primitiveRoot, part);
    }
    UnlinkBodyAndRigidBody(body, old);
    // Links and contact records on the old part go with it.
    body->Teardown();
    delete old;
    body->RigidPart = part;
    part->Owner = body;
    LinkBodyAndRigidBody(body, part);
}

void VertexTransformToCenter(TZevCollisionMeshObj* body)
{
    if (body == nullptr)
        return;
    TZevPolygonMesh* mesh = body->collisionMesh != nullptr ? body->collisionMesh : body->visualMesh;
    if (mesh == nullptr || mesh->Geometry == nullptr || mesh->Geometry->VertexCount <= 0)
        return;
    const TZevMeshData& data = *mesh->Geometry;
    TZevVector lo = TZevVector(data.Vertices()[0].x, data.Vertices()[0].y, data.Vertices()[0].z);
    TZevVector hi = lo;
    for (std::int32_t i = 1; i < data.VertexCount; ++i) {
        const TZevVertex& v = data.Vertices()[i];
        lo = TZevVector(std::fmin(lo.x, v.x), std::fmin(lo.y, v.y), std::fmin(lo.z, v.z));
        hi = TZevVector(std::fmax(hi.x, v.x), std::fmax(hi.y, v.y), std::fmax(hi.z, v.z));
    }
    TZevMatrix shift;
    ZevMatTranslation(shift, -0.5f * (lo.x + hi.x), -0.5f * (lo.y + hi.y), -0.5f * (lo.z + hi.z));
    body->TransformVertices(shift);
}

// ---- Ray picking

namespace {

struct TRay {
    TZevVector origin;
    TZevVector direction;
    const TZevCollisionMeshObj* except;
    TZevCollisionMeshObj** hitBody;
    TZevVector* point;
    float* distance;
};

// Slab test of the ray against a box, for t in [0, best).
bool RayMeetsBox(const TRay& ray, const TZevNodeBox& box)
{
    float t0 = 0.0f;
    float t1 = *ray.distance;
    const float o[3] = {ray.origin.x, ray.origin.y, ray.origin.z};
    const float d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    const float lo[3] = {box.Min.x, box.Min.y, box.Min.z};
    const float hi[3] = {box.Max.x, box.Max.y, box.Max.z};
    for (int k = 0; k < 3; ++k) {
        if (d[k] == 0.0f) {
            if (o[k] < lo[k] || o[k] > hi[k])
                return false;
            continue;
        }
        float a = (lo[k] - o[k]) / d[k];
        float b = (hi[k] - o[k]) / d[k];
        if (a > b) {
            const float s = a;
            a = b;
            b = s;
        }
        if (a > t0)
            t0 = a;
        if (b < t1)
            t1 = b;
        if (!(t0 <= t1))
            return false;
    }
    return true;
}

// Ray against a triangle: the parameter t of the hit, or false.
bool RayTriangle(const TRay& ray, const TZevVector& p0, const TZevVector& p1, const TZevVector& p2, float* t)
{
    TZevVector e1, e2, p, s, q;
    ZevVecSub(e1, p1, p0);
    ZevVecSub(e2, p2, p0);
    ZevVecCross(p, ray.direction, e2);
    const float det = ZevVecDot(e1, p);
    if (std::fabs(det) < 1e-12f)
        return false;
    const float inv = 1.0f / det;
    ZevVecSub(s, ray.origin, p0);
    const float u = ZevVecDot(s, p) * inv;
    if (u < 0.0f || u > 1.0f)
        return false;
    ZevVecCross(q, s, e1);
    const float v = ZevVecDot(ray.direction, q) * inv;
    if (v < 0.0f || u + v > 1.0f)
        return false;
    *t = ZevVecDot(e2, q) * inv;
    return std::isfinite(*t);
}

void PickTree(const TRay& ray, TZevCollisionMeshObj* body)
{
    if (body->primitiveRoot == nullptr || body->currentVertices == nullptr)
        return;
    const TZevTypeInfo* faceType = ZevCollisionTypeInfo(ZevTypeFaceBoxVecT);
    TZevList stack;
    stack.PushFront(body->primitiveRoot);
    while (TZevBoxNode* node = ZevPopItem<TZevBoxNode>(stack)) {
        if (node->type == faceType) {
            const TZevFaceBoxVecT* face = static_cast<const TZevFaceBoxVecT*>(node);
            const TZevVector* v = *face->current;
            float t = 0.0f;
            if (v != nullptr && RayTriangle(ray, v[face->i0], v[face->i1], v[face->i2], &t) && t >= 0.0f &&
                t < *ray.distance) {
                *ray.distance = t;
                *ray.hitBody = body;
                *ray.point = TZevVector(ray.origin.x + t * ray.direction.x, ray.origin.y + t * ray.direction.y,
                                        ray.origin.z + t * ray.direction.z);
            }
            continue;
        }
        if (node->bodyAttached != 0 || !RayMeetsBox(ray, node->box))
            continue;
        for (TZevBoxNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling())
            stack.PushFront(child);
    }
}

void Pick(TZevCollisionSpace* world, const TRay& ray)
{
    *ray.hitBody = nullptr;
    *ray.point = TZevVector(ZevRayPickFar, ZevRayPickFar, ZevRayPickFar);
    *ray.distance = ZevRayPickFar;
    if (world == nullptr || world->activeRoot == nullptr)
        return;
    TZevList stack;
    stack.PushFront(world->activeRoot);
    while (TZevCTree* tree = ZevPopItem<TZevCTree>(stack)) {
        if (tree->IsMeshTree()) {
            if (!RayMeetsBox(ray, tree->box))
                continue;
            TZevCollisionMeshObj* body = static_cast<TZevCollisionMeshObj*>(static_cast<TZevFMCTTree*>(tree));
            if (body != ray.except)
                PickTree(ray, body);
        }
        ZevPushChildren<TZevCTree>(stack, tree);
    }
}

} // namespace

void RayPickBodies(TZevCollisionSpace* world, const TZevVector& origin, const TZevVector& direction,
                   TZevCollisionMeshObj** hitBody, TZevVector* point, float* distance)
{
    Pick(world, TRay{origin, direction, nullptr, hitBody, point, distance});
}

void RayPickBodiesExcept(TZevCollisionSpace* world, const TZevCollisionMeshObj* except, const TZevVector& origin,
                         const TZevVector& direction, TZevCollisionMeshObj** hitBody, TZevVector* point,
                         float* distance)
{
    Pick(world, TRay{origin, direction, except, hitBody, point, distance});
}
