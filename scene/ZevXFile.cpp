#include "ZevXFile.h"

#include <cstring>
#include <string>

#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevString.h"
#include "ZevTextureName.h"
#include "ZevXFileParser.h"

namespace {

TZevPolygonMesh* BuildMesh(const TZevXMeshRecord& record)
{
    TZevLSObj* made = CreateObjectByName("TZevPolygonMesh");
    auto* mesh = dynamic_cast<TZevPolygonMesh*>(made);
    if (!mesh) {
        if (made)
            made->Release();
        return nullptr;
    }
    mesh->SetName(record.Name.c_str());
    const int32_t nV = int32_t(record.VertexCount), nF = int32_t(record.FaceCounts.size());
    if (!mesh->SetFaceAndVertexCount(nV, nF)) {
        mesh->Release();
        return nullptr;
    }
    TZevMeshData* g = mesh->Geometry;
    if (nV > 0)
        std::memcpy(g->VertexArray, record.Vertices.data(), size_t(nV) * sizeof(TZevVertex));
    g->VertexCount = nV;
    size_t corner = 0;
    for (int32_t f = 0; f < nF; ++f) {
        const uint32_t n = record.FaceCounts[size_t(f)];
        if (!g->SetFaceIndexCount(f, n)) {
            mesh->Release();
            return nullptr;
        }
        if (n > 0)
            std::memcpy(g->Faces[f].Indices, &record.FaceIndices[corner], n * sizeof(uint16_t));
        corner += n;
        g->FaceCount = f + 1;
    }
    if (record.Material.Present) {
        static_assert(sizeof(TZevMaterial) == sizeof record.Material.Values);
        std::memcpy(&mesh->Material, record.Material.Values, sizeof record.Material.Values);
        // The texture's file part only; a material without texture takes the entry of the empty name.
        mesh->SetTextureName(ExtractFileName(record.Material.TextureName.c_str()).CStr());
    }
    mesh->UpdateBounds();
    return mesh;
}

TZevFrame* BuildFrame(const TZevXFrameRecord& record)
{
    TZevLSObj* made = CreateObjectByName("TZevFrame");
    auto* frame = dynamic_cast<TZevFrame*>(made);
    if (!frame) {
        if (made)
            made->Release();
        return nullptr;
    }
    frame->SetName(record.Name.c_str());
    frame->LocalMatrix = TZevMatrix(record.Matrix);
    for (const TZevXMeshRecord& m : record.Meshes) {
        TZevPolygonMesh* mesh = BuildMesh(m);
        if (!mesh) {
            frame->Release();
            return nullptr;
        }
        frame->AddVisual(mesh);
        mesh->Release();
    }
    // Nesting is bounded by the reader (ZevXMaxFrameDepth).
    for (const TZevXFrameRecord& c : record.Children) {
        TZevFrame* child = BuildFrame(c);
        if (!child || !frame->AddChild(child)) {
            if (child)
                child->Release();
            frame->Release();
            return nullptr;
        }
    }
    return frame;
}

} // namespace

TZevFrame* ZevReadXText(const char* text, size_t size)
{
    TZevXFileContents contents;
    std::string error;
    if (!ZevParseXText(text, size, contents, error)) {
        ZevDebugLog(("ZevLoadXFile: " + error + "\n").c_str());
        return nullptr;
    }
    for (const std::string& warning : contents.Warnings)
        ZevDebugLog(("ZevLoadXFile: " + warning + "\n").c_str());
    return BuildFrame(contents.Root);
}

TZevFrame* ZevLoadXFile(const char* fileName)
{
    if (!fileName)
        return nullptr;
    TZevBufferStream file;
    if (!file.LoadFile(fileName) || file.size <= 0)
        return nullptr;
    return ZevReadXText(file.data, size_t(file.size));
}
