#include "QEPicking.h"

#include "LispArgs.h"
#include "QEBodyState.h"
#include "QEContext.h"
#include "QEJoints.h"
#include "Zev3DRenderer.h"
#include "ZevBitmap.h"
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevLineMesh.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"
#include "ZevNameTable.h"
#include "ZevPhscs2World.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

TZevLineMesh* DrawLineMesh = nullptr;
TZevGameChara* EditChara = nullptr;
TZevLispRef ScriptEditChara;
TZevLispRef MouseDownProc;
TZevLispRef MouseMoveProc;
TZevLispRef MouseUpProc;
TZevLispRef MouseData;
QE_MouseFunction HostMouseDown = nullptr;
QE_MouseFunction HostMouseMove = nullptr;
QE_MouseFunction HostMouseUp = nullptr;
QE_MouseReleaseFunction HostMouseRelease = nullptr;
void* HostMouseUserData = nullptr;

namespace {

// One colour component of 0 to 1 as a byte (x 255 + 0.5, truncated); values outside the range are held at its
// ends so that a component never spills into its neighbour.
std::uint32_t ColorByte(float c)
{
    if (!(c > 0.0f))
        return 0;
    if (c >= 1.0f)
        return 255;
    return static_cast<std::uint32_t>(ZevFloatToInt(c * 255.0f + 0.5f)) & 0xFFu;
}

} // namespace

// ---- Picking -------------------------------------------------------------------------------------------------

namespace {

// The nearest hit of the ray over the current world's bodies and lands, leaving `skip` out. False without a hit.
bool Pick(TZevGameChara* skip, const TZevVector& start, const TZevVector& ray, TZevCollisionMeshObj** hit,
          TZevVector* point, float* distance)
{
    *hit = nullptr;
    *point = TZevVector();
    *distance = ZevRayPickFar;
    if (skip)
        RayPickBodiesExcept(CurrentWorld, skip, start, ray, hit, point, distance);
    else
        RayPickBodies(CurrentWorld, start, ray, hit, point, distance);
    return *hit != nullptr;
}

int PickExport(QE_XPhBody* skipHandle, bool skipGiven, const float* start3, const float* ray3, QE_PickResult* result)
{
    TZevGameChara* skip = QEBody(skipHandle);
    if (!QEWorldReady() || !start3 || !ray3 || !result || (skipGiven && skipHandle && !skip))
        return 0;
    TZevCollisionMeshObj* hit = nullptr;
    TZevVector point;
    float distance = 0.0f;
    const bool found = Pick(skip, TZevVector(start3[0], start3[1], start3[2]), TZevVector(ray3[0], ray3[1], ray3[2]),
                            &hit, &point, &distance);
    result->body = found ? QEBodyHandle(dynamic_cast<TZevGameChara*>(hit)) : nullptr;
    result->x = point.x;
    result->y = point.y;
    result->z = point.z;
    result->distance = distance;
    return found ? 1 : 0;
}

} // namespace

extern "C" QE_API int QE_XPhRayPick(const float* start3, const float* ray3, QE_PickResult* result)
{
    return QEGuard(0, [&] { return PickExport(nullptr, false, start3, ray3, result); });
}

// A skip handle that is not a live body is refused rather than taken for "skip nothing".
extern "C" QE_API int QE_XPhRayPickNCBody(QE_XPhBody* skip, const float* start3, const float* ray3,
                                          QE_PickResult* result)
{
    return QEGuard(0, [&] { return PickExport(skip, true, start3, ray3, result); });
}

// ---- Exports: lines, edit character, mouse functions, depth clip ---------------------------------------------

extern "C" QE_API int QE_XPhDrawLine(const float* rgba4, const float* start3, const float* end3)
{
    return QEGuard(0, [&] {
        if (!DrawLineMesh || !rgba4 || !start3 || !end3)
            return 0;
        const std::uint32_t color = ColorByte(rgba4[3]) << 24 | ColorByte(rgba4[0]) << 16 |
                                    ColorByte(rgba4[1]) << 8 | ColorByte(rgba4[2]);
        DrawLineMesh->AddLine(color, TZevVector(start3[0], start3[1], start3[2]),
                              TZevVector(end3[0], end3[1], end3[2]));
        return 1;
    });
}

extern "C" QE_API int QE_SetEditChara(QE_XPhBody* body)
{
    return QEGuard(0, [&] {
        EditChara = QEBody(body);
        return 1;
    });
}

// A body destroyed since it was set reads back as null.
extern "C" QE_API int QE_GetEditChara(QE_XPhBody** body)
{
    return QEGuard(0, [&] {
        if (!body)
            return 0;
        if (EditChara && !QEIsLiveBody(EditChara))
            EditChara = nullptr;
        *body = QEBodyHandle(EditChara);
        return 1;
    });
}

extern "C" QE_API int QE_SetMouseFunction(const QE_MouseFunctionDesc* desc)
{
    return QEGuard(0, [&] {
        if (!desc)
            return 0;
        if (HostMouseRelease)
            HostMouseRelease(HostMouseUserData);
        HostMouseUserData = desc->userData;
        TZevNameTable* names = GetFunctionDictionary();
        if (desc->mouseDown)
            HostMouseDown = names->GetFunction<QE_MouseFunction>(desc->mouseDown);
        if (desc->mouseMove)
            HostMouseMove = names->GetFunction<QE_MouseFunction>(desc->mouseMove);
        if (desc->mouseUp)
            HostMouseUp = names->GetFunction<QE_MouseFunction>(desc->mouseUp);
        if (desc->release)
            HostMouseRelease = names->GetFunction<QE_MouseReleaseFunction>(desc->release);
        return 1;
    });
}

// A depth range with near at or beyond far would divide by zero or turn the depth test round: refused.
extern "C" QE_API int QE_XPhSetZClip(float zNear, float zFar)
{
    return QEGuard(0, [&] {
        if (!CurrentView || !std::isfinite(zNear) || !std::isfinite(zFar) || !(zNear < zFar))
            return 0;
        TZevMatrix p = CurrentView->ProjectionMatrix;
        p.m[10] = zFar / (zFar - zNear);
        p.m[14] = -zNear * p.m[10];
        if (!std::isfinite(p.m[10]) || !std::isfinite(p.m[14]))
            return 0;
        CurrentView->SetProjectionMatrix(p.m);
        return 1;
    });
}

// ---- Bodies for a host renderer ------------------------------------------------------------------------------

static_assert(sizeof(QE_Vertex) == sizeof(TZevVertex) && sizeof(QE_Face) == sizeof(TZevMeshFace),
              "the exported mesh records are the engine's own");

namespace {

// The pixels of a texture as a host renderer takes them (RGBA, 8 bits each, rows from the top), made on the
// first request and kept with a reference to the texture entry until exit.
struct TTexturePixels : TZevAllocated {
    TZevTextureName* Entry = nullptr;
    std::uint8_t* Pixels = nullptr; // null when the file was found nowhere
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    TTexturePixels* Next = nullptr;
};

TTexturePixels* gTextures = nullptr;

void FreeTexturePixels()
{
    while (TTexturePixels* t = gTextures) {
        gTextures = t->Next;
        if (t->Pixels)
            ZevFree(t->Pixels);
        t->Entry->Release();
        delete t;
    }
}

// The bitmap of a texture file: the name as given, then each object directory in front of it.
TZevBitmap* LoadTextureBitmap(const char* name)
{
    TZevLSObj* made = CreateObjectByName("TZevBitmap");
    auto* bitmap = dynamic_cast<TZevBitmap*>(made);
    if (!bitmap) {
        if (made)
            made->Release();
        return nullptr;
    }
    if (bitmap->LoadBmp(name))
        return bitmap;
    for (int i = 0; i < ObjectPathList.GetCount(); ++i) {
        const char* directory = ObjectPathList.GetAt(i);
        if (directory && bitmap->LoadBmp((TZevString(directory) + TZevString(name)).CStr()))
            return bitmap;
    }
    bitmap->Release();
    return nullptr;
}

TTexturePixels* TexturePixels(TZevTextureName* entry)
{
    for (TTexturePixels* t = gTextures; t; t = t->Next) {
        if (t->Entry == entry)
            return t;
    }
    auto* t = new TTexturePixels();
    entry->AddRef();
    t->Entry = entry;
    t->Next = gTextures;
    gTextures = t;
    const char* name = entry->Name.CStr();
    TZevBitmap* bitmap = name && *name ? LoadTextureBitmap(name) : nullptr;
    if (!bitmap)
        return t;
    // A loaded bitmap is 32 bits a pixel with row 0 at the bottom; the host takes RGBA bytes with row 0 at the top.
    const std::int32_t w = bitmap->GetWidth(), h = bitmap->GetHeight(), pitch = bitmap->GetPitch();
    const std::uint8_t* bits = bitmap->GetBits();
    if (bits && bitmap->GetBitCount() == 32 && w > 0 && h > 0 && w <= 0x4000 && h <= 0x4000 && pitch >= w * 4) {
        t->Pixels = static_cast<std::uint8_t*>(ZevAlloc(static_cast<std::size_t>(w) * h * 4));
        if (t->Pixels) {
            t->Width = w;
            t->Height = h;
            // The loader stores each pixel as the bytes red, green, blue, alpha.
            std::uint8_t* p = t->Pixels;
            for (std::int32_t y = 0; y < h; ++y) {
                const std::uint8_t* row = bits + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(pitch);
                std::memcpy(p, row, static_cast<std::size_t>(w) * 4);
                p += static_cast<std::size_t>(w) * 4;
            }
        }
    }
    bitmap->Release();
    return t;
}

// The mesh words of a record; all zero for a body without that mesh.
void FillMeshData(QE_RenderData* data, const TZevPolygonMesh* mesh)
{
    const TZevMeshData* g = mesh ? mesh->Geometry : nullptr;
    data->vertexCount = g ? g->VertexCount : 0;
    data->faceCount = g ? g->FaceCount : 0;
    data->vertices = g && g->VertexCount > 0 ? reinterpret_cast<QE_Vertex*>(g->Vertices()) : nullptr;
    data->faces = g && g->FaceCount > 0 ? reinterpret_cast<QE_Face*>(g->Faces) : nullptr;
}

} // namespace

extern "C" QE_API int QE_GetXPhBodyRenderData(QE_XPhBody* handle, QE_RenderData* data)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body || !data)
            return 0;
        FillMeshData(data, body->visualMesh);
        data->textureName = nullptr;
        data->texturePixels = nullptr;
        data->textureWidth = 0;
        data->textureHeight = 0;
        TZevTextureName* entry = body->visualMesh ? body->visualMesh->Texture : nullptr;
        const char* name = entry ? entry->Name.CStr() : nullptr;
        if (name && *name) {
            const TTexturePixels* t = TexturePixels(entry);
            if (t->Pixels) {
                data->textureName = name;
                data->texturePixels = t->Pixels;
                data->textureWidth = t->Width;
                data->textureHeight = t->Height;
            }
        }
        return 1;
    });
}

extern "C" QE_API int QE_GetXPhBodyCollisionData(QE_XPhBody* handle, QE_RenderData* data)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body || !data)
            return 0;
        FillMeshData(data, body->collisionMesh);
        data->textureName = nullptr;
        data->texturePixels = nullptr;
        data->textureWidth = 0;
        data->textureHeight = 0;
        return 1;
    });
}

// The bodies are collected first: a host function may delete bodies, and each is called only while it lives.
extern "C" QE_API int QE_GetXPhBodyEnume(const QE_BodyEnumDesc* desc)
{
    return QEGuard(0, [&] {
        if (!desc || !desc->function || !QEWorldReady() || !CurrentWorld->activeRoot)
            return 0;
        std::vector<TZevGameChara*> bodies;
        // Pre-order without recursion: a stack of trees, each tree's children pushed in reverse.
        std::vector<TZevCTree*> stack;
        auto pushChildren = [&stack](TZevCTree* parent) {
            const std::size_t at = stack.size();
            for (TZevCTree* c = parent->FirstChildTree(); c; c = c->NextSiblingTree()) {
                if (c->IsMeshTree())
                    stack.push_back(c);
            }
            std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(at), stack.end());
        };
        pushChildren(CurrentWorld->activeRoot);
        while (!stack.empty()) {
            TZevCTree* t = stack.back();
            stack.pop_back();
            if (TZevGameChara* body = QEAsBody(t))
                bodies.push_back(body);
            pushChildren(t);
        }
        for (TZevGameChara* body : bodies) {
            if (QEIsLiveBody(body))
                desc->function(QEBodyHandle(body), desc->userData);
        }
        return 1;
    });
}

extern "C" QE_API int QE_SetXPhBodyTexture(QE_XPhBody* handle, const char* textureName)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!body || !textureName || !body->visualMesh)
            return 0;
        body->visualMesh->SetTextureName(textureName);
        return 1;
    });
}

namespace {

// A host mesh is taken only whole and consistent: counts within what 16-bit indices address, every face with at
// least three corners, every index naming a vertex.
bool ValidHostMesh(int vertexCount, const QE_Vertex* vertices, int faceCount, const QE_Face* faces)
{
    if (vertexCount < 3 || vertexCount > ZevMaxMeshVertices || !vertices || faceCount < 1 || !faces)
        return false;
    for (int f = 0; f < faceCount; ++f) {
        const QE_Face& face = faces[f];
        if (face.indexCount < 3 || face.indexCount > static_cast<unsigned>(ZevMaxMeshVertices) || !face.indices)
            return false;
        for (unsigned i = 0; i < face.indexCount; ++i) {
            if (face.indices[i] >= static_cast<unsigned>(vertexCount))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" QE_API int QE_SetCollisionVertices(QE_XPhBody* handle, int vertexCount, const QE_Vertex* vertices,
                                              int faceCount, const QE_Face* faces)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!QEWorldReady() || !body || !ValidHostMesh(vertexCount, vertices, faceCount, faces))
            return 0;
        auto* mesh = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
        if (!mesh)
            return 0;
        mesh->Clear();
        bool ok = mesh->SetFaceAndVertexCount(vertexCount, faceCount);
        TZevMeshData* g = mesh->Geometry;
        if (ok && g) {
            std::memcpy(g->VertexArray, vertices, sizeof(TZevVertex) * static_cast<std::size_t>(vertexCount));
            g->VertexCount = vertexCount;
            g->FaceCount = faceCount;
            for (int f = 0; ok && f < faceCount; ++f) {
                ok = g->SetFaceIndexCount(f, faces[f].indexCount);
                if (ok)
                    std::memcpy(g->Faces[f].Indices, faces[f].indices, sizeof(std::uint16_t) * faces[f].indexCount);
            }
        }
        mesh->Changed = 1;
        TZevPolygonMesh* collision = ok && g ? mesh->CloneFaceChecked() : nullptr;
        if (!collision) {
            mesh->Release();
            return 0;
        }
        collision->ComputeNormals();
        // The links of the world stand on the old mesh's leaves: the body's tree leaves the world while the mesh
        // changes, and the world builds them anew when it takes the tree back.
        QEReseatBody(QETopBody(body), [&](TZevGameChara*) {
            body->SetVisualMesh(mesh);
            body->SetCollisionMesh(collision);
            body->ClearContactHit();
            body->AdvanceStep(0.0f);
            body->AdvanceStep(0.0f);
        });
        mesh->Release();
        collision->Release();
        return 1;
    });
}

// ---- Builtins ------------------------------------------------------------------------------------------------

namespace {

bool gRegistered = false;

void XPhDrawLine(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t r = 0, g = 0, b = 0, a = 0;
    float s[3], e[3];
    if (!LispParseArgs(interp, &args, "(iiii)(fff)(fff)", &r, &g, &b, &a, &s[0], &s[1], &s[2], &e[0], &e[1],
                       &e[2])) {
        result = interp->ArgError;
        return;
    }
    if (!QEWorldReady() || !DrawLineMesh) {
        result = Nil;
        return;
    }
    // Unmasked, as scripts have always composed it: a value above 255 spills into the next component.
    const std::uint32_t color = ((((static_cast<std::uint32_t>(a) << 8) | static_cast<std::uint32_t>(r)) << 8 |
                                  static_cast<std::uint32_t>(g))
                                 << 8) |
                                static_cast<std::uint32_t>(b);
    DrawLineMesh->AddLine(color, TZevVector(s[0], s[1], s[2]), TZevVector(e[0], e[1], e[2]));
    result = T;
}

// The result of a script pick: the body's script value (nil for a land), the hit point and the distance.
void PickResult(TZevLispRef& result, TZevLispInterpreter* interp, TZevGameChara* skip, const float* s, const float* r)
{
    TZevCollisionMeshObj* hit = nullptr;
    TZevVector point;
    float distance = 0.0f;
    if (!Pick(skip, TZevVector(s[0], s[1], s[2]), TZevVector(r[0], r[1], r[2]), &hit, &point, &distance)) {
        result = Nil;
        return;
    }
    TZevLispRef body;
    if (TZevGameChara* chara = dynamic_cast<TZevGameChara*>(hit))
        GetXPhBodyLispObj(body, chara);
    if (body.IsNull())
        body = Nil;
    result = LispMakeResult(interp, "l(fff)f", body, point.x, point.y, point.z, distance);
}

void XPhRayPick(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    float s[3], r[3];
    if (!LispParseArgs(interp, &args, "(fff)(fff)", &s[0], &s[1], &s[2], &r[0], &r[1], &r[2])) {
        result = interp->ArgError;
        return;
    }
    if (!QEWorldReady() || !DrawLineMesh) {
        result = Nil;
        return;
    }
    PickResult(result, interp, nullptr, s, r);
}

void XPhRayPickNCBody(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    float s[3], r[3];
    TZevGameChara* skip = QEParseBody(result, interp, args, "o(fff)(fff)", &s[0], &s[1], &s[2], &r[0], &r[1], &r[2]);
    if (!skip || !DrawLineMesh)
        return;
    PickResult(result, interp, skip, s, r);
}

void XPhBodyVertexTransFormToCenter(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevGameChara* body = QEParseBody(result, interp, args, "o");
    if (!body)
        return;
    QEReseatBody(QETopBody(body), [&](TZevGameChara*) {
        VertexTransformToCenter(body);
        body->AdvanceStep(0.0f);
        body->AdvanceStep(0.0f);
    });
    result = T;
}

void SetEditChara(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!LispParseArgs(interp, &args, "l", &value)) {
        result = interp->ArgError;
        return;
    }
    ScriptEditChara = value;
    result = T;
}

void GetEditChara(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    result = QEWorldReady() && !ScriptEditChara.IsNull() ? ScriptEditChara : Nil;
}

// The setters and getters of the four script mouse values.
template <TZevLispRef* Slot> void SetMouseValue(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!QEParseWorldArgs(result, interp, args, "l", &value))
        return;
    *Slot = value;
    result = T;
}

template <TZevLispRef* Slot> void GetMouseValue(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    result = QEWorldReady() && !Slot->IsNull() ? *Slot : Nil;
}

void XPhSetEasyViewText(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString text;
    if (!QEParseWorldArgs(result, interp, args, "s", &text))
        return;
    EasyViewText = text;
    result = T;
}

void XPhGetEasyViewText(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    if (!QEWorldReady()) {
        result = Nil;
        return;
    }
    result = LispMakeResult(interp, "s", EasyViewText.CStr() ? EasyViewText.CStr() : "");
}

// The script values go before the interpreter's own shut-down releases its pools.
void ReleaseScriptMouseValues()
{
    ScriptEditChara.Clear();
    MouseDownProc.Clear();
    MouseMoveProc.Clear();
    MouseUpProc.Clear();
    MouseData.Clear();
}

} // namespace

void ZevEngineRegisterPicking()
{
    if (gRegistered)
        return;
    gRegistered = true;
    LispRegisterBuiltin(XPhRayPick, "XPhRayPick");
    LispRegisterBuiltin(XPhRayPickNCBody, "XPhRayPickNCBody");
    LispRegisterBuiltin(XPhDrawLine, "XPhDrawLine");
    LispRegisterBuiltin(SetEditChara, "SetEditChara");
    LispRegisterBuiltin(GetEditChara, "GetEditChara");
    LispRegisterBuiltin(SetMouseValue<&MouseDownProc>, "SetMouseDownProc");
    LispRegisterBuiltin(SetMouseValue<&MouseMoveProc>, "SetMouseMoveProc");
    LispRegisterBuiltin(SetMouseValue<&MouseUpProc>, "SetMouseUpProc");
    LispRegisterBuiltin(SetMouseValue<&MouseData>, "SetMouseData");
    LispRegisterBuiltin(GetMouseValue<&MouseDownProc>, "GetMouseDownProc");
    LispRegisterBuiltin(GetMouseValue<&MouseMoveProc>, "GetMouseMoveProc");
    LispRegisterBuiltin(GetMouseValue<&MouseUpProc>, "GetMouseUpProc");
    LispRegisterBuiltin(GetMouseValue<&MouseData>, "GetMouseData");
    LispRegisterBuiltin(XPhSetEasyViewText, "XPhSet_EasyViewText");
    LispRegisterBuiltin(XPhGetEasyViewText, "XPhGet_EasyViewText");
    LispRegisterBuiltin(XPhBodyVertexTransFormToCenter, "XPhBodyVertexTransFormToCenter");
    std::atexit(ReleaseScriptMouseValues);
    std::atexit(FreeTexturePixels);
}
