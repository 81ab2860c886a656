#include "ZevMesh.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "Zev3DRenderer.h"
#include "ZevBmpLandMesh.h"
#include "ZevFrame.h"
#include "ZevLineMesh.h"
#include "ZevShadowMesh.h"
#include "ZevTextureName.h"

TZevClassRecord TZevVMeshClassRecord;
TZevClassRecord TZevPolygonMeshClassRecord;
TZevClassRecord TZevLPolygonMeshClassRecord;

TZevLSObj* CreateTZevVMesh()
{
    return ZevCreateRegistered<TZevVMesh>(&TZevVMeshClassRecord);
}
TZevLSObj* CreateTZevPolygonMesh()
{
    return ZevCreateRegistered<TZevPolygonMesh>(&TZevPolygonMeshClassRecord);
}
TZevLSObj* CreateTZevLPolygonMesh()
{
    return ZevCreateRegistered<TZevLPolygonMesh>(&TZevLPolygonMeshClassRecord);
}

namespace {

const char* const PolygonMeshTag = "TZevPolygonMeshTag";
const char* const LPolygonMeshTag = "TZevLPolygonMeshTag";

const TZevMatrix& WorldOf(const TZevVFrame* frame)
{
    return frame ? frame->WorldMatrix : IdentityMatrix;
}

void ReplaceTexture(TZevTextureName*& slot, TZevTextureName* entry)
{
    if (slot)
        slot->Release();
    slot = entry;
}

void BoundsOf(const TZevMeshData* geometry, TZevBox& box)
{
    TZevVector lo, hi;
    if (geometry)
        ZevMeshDataExtent(*geometry, lo, hi);
    box.Set(lo, hi);
}

// ---- chunk data ----

bool WriteFaces(TZevStream* stream, const TZevMeshData* g)
{
    for (int32_t f = 0; f < g->FaceCount; ++f) {
        const TZevMeshFace& face = g->Faces[f];
        if (!WriteUInt32(stream, face.Count))
            return false;
        for (uint32_t k = 0; k < face.Count; ++k) {
            const uint8_t bytes[2] = {uint8_t(face.Indices[k] & 0xFF), uint8_t(face.Indices[k] >> 8)};
            if (!stream->Write(bytes, 2))
                return false;
        }
    }
    return true;
}

bool WriteTextureName(TZevStream* stream, const TZevTextureName* texture)
{
    const char* name = texture ? texture->Name.CStr() : nullptr;
    return WriteCString(stream, name ? name : "");
}

// The counts and the face list of a chunk, checked against the stream and the vertices.
bool ReadCounts(TZevStream* stream, uint32_t& nV, uint32_t& nF, uint32_t bytesPerVertex)
{
    if (!ReadUInt32(stream, &nV) || !ReadUInt32(stream, &nF))
        return false;
    if (nV > uint32_t(ZevMaxMeshVertices)) {
        ZevDebugLog("mesh chunk: more than 65536 vertices\n");
        return false;
    }
    const uint64_t left = uint64_t(StreamBytesLeft(stream));
    return uint64_t(nV) * bytesPerVertex + uint64_t(nF) * 4 <= left;
}

bool ReadFaces(TZevStream* stream, TZevMeshData* g, uint32_t nF)
{
    for (uint32_t f = 0; f < nF; ++f) {
        uint32_t n;
        if (!ReadUInt32(stream, &n))
            return false;
        if (uint64_t(n) * 2 > uint64_t(StreamBytesLeft(stream)))
            return false;
        if (!g->SetFaceIndexCount(int32_t(f), n))
            return false;
        TZevMeshFace& face = g->Faces[f];
        for (uint32_t k = 0; k < n; ++k) {
            uint8_t bytes[2];
            if (!stream->Read(bytes, 2))
                return false;
            face.Indices[k] = uint16_t(bytes[0] | (bytes[1] << 8));
            if (face.Indices[k] >= g->VertexCount) {
                ZevDebugLog("mesh chunk: a face index beyond the vertices\n");
                return false;
            }
        }
        g->FaceCount = int32_t(f + 1);
    }
    return true;
}

bool ReadFloats(TZevStream* stream, float* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!ReadFloat(stream, &v[i]))
            return false;
    return true;
}

} // namespace

// ---- TZevVMesh ----

void TZevVMesh::Render(TZev3DRenderer*, TZevVFrame*) { }

// ---- TZevMeshSurface ----

TZevMeshSurface::~TZevMeshSurface()
{
    delete Geometry;
    Geometry = nullptr;
    ReplaceTexture(Texture, nullptr);
}

bool TZevMeshSurface::SizeGeometry(int32_t nV, int32_t nF)
{
    if (Geometry->SetVertexCount(nV) && Geometry->SetFaceCount(nF))
        return true;
    Geometry->Free();
    return false;
}

void TZevMeshSurface::SetTextureName(const char* name)
{
    ReplaceTexture(Texture, GetTextureName(name));
}

void TZevMeshSurface::SetTextureEntry(TZevTextureName* entry)
{
    if (entry)
        entry->AddRef();
    ReplaceTexture(Texture, entry);
}

void TZevMeshSurface::UpdateBounds()
{
    BoundsOf(Geometry, Bounds);
    Changed = 0;
}

// ---- TZevPolygonMesh ----

TZevPolygonMesh::TZevPolygonMesh() = default;

// The geometry and the texture go with the surface part, after the shadow.
TZevPolygonMesh::~TZevPolygonMesh()
{
    if (Shadow)
        Shadow->Release();
    Shadow = nullptr;
}

void TZevPolygonMesh::Clear()
{
    Changed = 1;
    if (Shadow)
        Shadow->Release();
    Shadow = nullptr;
    delete Geometry;
    Geometry = new TZevMeshData;
}

bool TZevPolygonMesh::SetFaceAndVertexCount(int32_t nV, int32_t nF)
{
    Clear();
    Changed = 1;
    return SizeGeometry(nV, nF);
}

void TZevPolygonMesh::ComputeNormals()
{
    if (Geometry)
        Geometry->ComputeNormals();
    Changed = 1;
}

void TZevPolygonMesh::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer)
        return;
    renderer->SetAdditive(Additive);
    renderer->SetTranslucent(Translucent);
    renderer->SetShadowVolume(0);
    if (Changed)
        UpdateBounds();
    const TZevMatrix& world = WorldOf(frame);
    if (Geometry && Geometry->VertexCount > 0 && renderer->IsBoxVisible(world, Bounds))
        renderer->DrawMaterialMesh(Texture, &Material, world, Geometry);
    // The shadow falls whether or not the mesh itself is in view.
    if (ShadowOff || !renderer->GetStencilShadows())
        return;
    if (!Shadow) {
        TZevLSObj* made = CreateObjectByName("TZevShadowMesh");
        Shadow = dynamic_cast<TZevShadowMesh*>(made);
        if (!Shadow) {
            if (made)
                made->Release();
            return;
        }
        Shadow->SetSource(this);
    }
    Shadow->Render(renderer, frame);
}

bool TZevPolygonMesh::Load(TZevStream* stream)
{
    if (!Geometry)
        Clear();
    return TZevVMesh::Load(stream);
}

bool TZevPolygonMesh::SaveChunks(TZevStream* stream, TZevChunkHeader* header)
{
    if (!TZevVMesh::SaveChunks(stream, header))
        return false;
    TZevMeshData empty;
    const TZevMeshData* g = Geometry ? Geometry : &empty;
    if (!BeginChunk(stream, header, PolygonMeshTag) || !WriteTextureName(stream, Texture))
        return false;
    float material[13];
    std::memcpy(material, &Material, sizeof material);
    for (int i = 0; i < 13; ++i)
        if (!WriteFloat(stream, &material[i]))
            return false;
    if (!WriteUInt32(stream, uint32_t(g->VertexCount)) || !WriteUInt32(stream, uint32_t(g->FaceCount)))
        return false;
    for (int32_t i = 0; i < g->VertexCount; ++i) {
        const float* v = &g->Vertices()[i].x;
        for (int k = 0; k < 8; ++k)
            if (!WriteFloat(stream, &v[k]))
                return false;
    }
    return WriteFaces(stream, g) && EndChunk(stream, header);
}

bool TZevPolygonMesh::LoadChunk(TZevStream* stream, TZevLSObj* object)
{
    auto* mesh = dynamic_cast<TZevPolygonMesh*>(object);
    if (!mesh)
        return false;
    mesh->Clear();
    TZevString name;
    float material[13];
    uint32_t nV, nF;
    // Each float is at least one character and its zero byte.
    bool ok = ReadString(stream, &name) && ReadFloats(stream, material, 13) && ReadCounts(stream, nV, nF, 16);
    if (ok) {
        if (name.GetLength() > 0)
            mesh->SetTextureName(name.CStr());
        std::memcpy(&mesh->Material, material, sizeof material);
        ok = mesh->SetFaceAndVertexCount(int32_t(nV), int32_t(nF));
    }
    TZevMeshData* g = mesh->Geometry;
    for (uint32_t i = 0; ok && i < nV; ++i) {
        ok = ReadFloats(stream, &g->Vertices()[i].x, 8);
        g->VertexCount = int32_t(i + 1);
    }
    ok = ok && ReadFaces(stream, g, nF);
    if (!ok)
        mesh->Clear();
    return ok;
}

TZevPolygonMesh* TZevPolygonMesh::CloneFaceChecked()
{
    return CloneFaceChecked(Geometry);
}

TZevPolygonMesh* TZevPolygonMesh::CloneFaceChecked(const TZevMeshData* geometry)
{
    TZevLSObj* copied = Clone();
    auto* copy = dynamic_cast<TZevPolygonMesh*>(copied);
    if (!copy && copied)
        copied->Release();
    if (!copy && !GetClassRecord()) {
        // A mesh made without its factory cannot go through a stream: copy what the stream would carry.
        copy = dynamic_cast<TZevPolygonMesh*>(CreateObjectByName("TZevPolygonMesh"));
        if (copy) {
            copy->SetName(GetName());
            copy->SetTextureEntry(Texture);
            copy->Material = Material;
        }
    }
    if (!copy)
        return nullptr;
    copy->Clear();
    if (geometry && !ZevMeshFaceDirectionPass(*geometry, *copy->Geometry)) {
        copy->Release();
        return nullptr;
    }
    copy->Changed = 1;
    return copy;
}

// ---- TZevLPolygonMesh ----

TZevLPolygonMesh::TZevLPolygonMesh() = default;

TZevLPolygonMesh::~TZevLPolygonMesh() = default;

void TZevLPolygonMesh::Clear()
{
    delete Geometry;
    Geometry = new TZevMeshData;
    Changed = 1;
}

bool TZevLPolygonMesh::SetFaceAndVertexCount(int32_t nV, int32_t nF)
{
    Clear();
    return SizeGeometry(nV, nF);
}

void TZevLPolygonMesh::Render(TZev3DRenderer* renderer, TZevVFrame* frame)
{
    if (!renderer)
        return;
    if (Changed)
        UpdateBounds();
    const TZevMatrix& world = WorldOf(frame);
    if (!Geometry || Geometry->VertexCount <= 0 || !renderer->IsBoxVisible(world, Bounds))
        return;
    renderer->SetAdditive(Additive);
    renderer->SetTranslucent(Translucent);
    renderer->SetShadowVolume(0);
    renderer->DrawMesh(Texture, world, Geometry);
}

bool TZevLPolygonMesh::Load(TZevStream* stream)
{
    if (!Geometry)
        Clear();
    return TZevVMesh::Load(stream);
}

bool TZevLPolygonMesh::SaveChunks(TZevStream* stream, TZevChunkHeader* header)
{
    if (!TZevVMesh::SaveChunks(stream, header))
        return false;
    TZevMeshData empty;
    const TZevMeshData* g = Geometry ? Geometry : &empty;
    if (!BeginChunk(stream, header, LPolygonMeshTag) || !WriteTextureName(stream, Texture) ||
        !WriteUInt32(stream, uint32_t(g->VertexCount)) || !WriteUInt32(stream, uint32_t(g->FaceCount)))
        return false;
    for (int32_t i = 0; i < g->VertexCount; ++i) {
        const TZevLVertex& v = g->LVertices()[i];
        if (!WriteFloat(stream, &v.x) || !WriteFloat(stream, &v.y) || !WriteFloat(stream, &v.z) ||
            !WriteUInt32(stream, v.Reserved) || !WriteUInt32(stream, v.Diffuse) || !WriteUInt32(stream, v.Specular) ||
            !WriteFloat(stream, &v.u) || !WriteFloat(stream, &v.v))
            return false;
    }
    return WriteFaces(stream, g) && EndChunk(stream, header);
}

bool TZevLPolygonMesh::LoadChunk(TZevStream* stream, TZevLSObj* object)
{
    auto* mesh = dynamic_cast<TZevLPolygonMesh*>(object);
    if (!mesh)
        return false;
    mesh->Clear();
    TZevString name;
    uint32_t nV, nF;
    // Five float texts of two bytes at least and three raw words.
    bool ok = ReadString(stream, &name) && ReadCounts(stream, nV, nF, 22);
    if (ok) {
        if (name.GetLength() > 0)
            mesh->SetTextureName(name.CStr());
        ok = mesh->SetFaceAndVertexCount(int32_t(nV), int32_t(nF));
    }
    TZevMeshData* g = mesh->Geometry;
    for (uint32_t i = 0; ok && i < nV; ++i) {
        TZevLVertex& v = g->LVertices()[i];
        ok = ReadFloat(stream, &v.x) && ReadFloat(stream, &v.y) && ReadFloat(stream, &v.z) &&
            ReadUInt32(stream, &v.Reserved) && ReadUInt32(stream, &v.Diffuse) && ReadUInt32(stream, &v.Specular) &&
            ReadFloat(stream, &v.u) && ReadFloat(stream, &v.v);
        g->VertexCount = int32_t(i + 1);
    }
    ok = ok && ReadFaces(stream, g, nF);
    if (!ok)
        mesh->Clear();
    mesh->Changed = 1;
    return ok;
}

// ---- start-up ----

void ZevMeshesInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TZevVMeshClassRecord, "TZevVMesh", "TZevStringTree", CreateTZevVMesh);
        RegisterClassRecord(&TZevPolygonMeshClassRecord, "TZevPolygonMesh", "TZevVMesh", CreateTZevPolygonMesh);
        RegisterClassRecord(&TZevLPolygonMeshClassRecord, "TZevLPolygonMesh", "TZevVMesh", CreateTZevLPolygonMesh);
        RegisterClassRecord(&TZevLineMeshClassRecord, "TZevLineMesh", "TZevVMesh", CreateTZevLineMesh);
        RegisterClassRecord(&TZevBmpLandMeshClassRecord, "TZevBmpLandMesh", "TZevPolygonMesh", CreateTZevBmpLandMesh);
        RegisterClassRecord(&TZevShadowMeshClassRecord, "TZevShadowMesh", "TZevPolygonMesh", CreateTZevShadowMesh);
        RegisterChunkReader(PolygonMeshTag, TZevPolygonMesh::LoadChunk);
        RegisterChunkReader(LPolygonMeshTag, TZevLPolygonMesh::LoadChunk);
    });
}
