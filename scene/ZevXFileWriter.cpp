#include "ZevXFileWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>

#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevSaveFile.h"
#include "ZevTextureName.h"
#include "ZevXFileParser.h"

namespace {

struct XTemplate {
    const char* Name;
    const char* Guid;
    const char* Members[5];
};

// The published templates of the format, in the order every file of ours carries them.
const XTemplate Templates[] = {
    {"Header", "3D82AB43-62DA-11cf-AB39-0020AF71E433", {"WORD major;", "WORD minor;", "DWORD flags;"}},
    {"Vector", "3D82AB5E-62DA-11cf-AB39-0020AF71E433", {"FLOAT x;", "FLOAT y;", "FLOAT z;"}},
    {"Coords2d", "F6F23F44-7686-11cf-8F52-0040333594A3", {"FLOAT u;", "FLOAT v;"}},
    {"Matrix4x4", "F6F23F45-7686-11cf-8F52-0040333594A3", {"array FLOAT matrix[16];"}},
    {"ColorRGBA", "35FF44E0-6C7C-11cf-8F52-0040333594A3",
        {"FLOAT red;", "FLOAT green;", "FLOAT blue;", "FLOAT alpha;"}},
    {"ColorRGB", "D3E16E81-7835-11cf-8F52-0040333594A3", {"FLOAT red;", "FLOAT green;", "FLOAT blue;"}},
    {"IndexedColor", "1630B820-7842-11cf-8F52-0040333594A3", {"DWORD index;", "ColorRGBA indexColor;"}},
    {"Boolean", "4885AE61-78E8-11cf-8F52-0040333594A3", {"WORD truefalse;"}},
    {"Boolean2d", "4885AE63-78E8-11cf-8F52-0040333594A3", {"Boolean u;", "Boolean v;"}},
    {"MaterialWrap", "4885AE60-78E8-11cf-8F52-0040333594A3", {"Boolean u;", "Boolean v;"}},
    {"TextureFilename", "A42790E1-7810-11cf-8F52-0040333594A3", {"STRING filename;"}},
    {"Material", "3D82AB4D-62DA-11cf-AB39-0020AF71E433",
        {"ColorRGBA faceColor;", "FLOAT power;", "ColorRGB specularColor;", "ColorRGB emissiveColor;", "[...]"}},
    {"MeshFace", "3D82AB5F-62DA-11cf-AB39-0020AF71E433",
        {"DWORD nFaceVertexIndices;", "array DWORD faceVertexIndices[nFaceVertexIndices];"}},
    {"MeshFaceWraps", "4885AE62-78E8-11cf-8F52-0040333594A3",
        {"DWORD nFaceWrapValues;", "Boolean2d faceWrapValues;"}},
    {"MeshTextureCoords", "F6F23F40-7686-11cf-8F52-0040333594A3",
        {"DWORD nTextureCoords;", "array Coords2d textureCoords[nTextureCoords];"}},
    {"MeshMaterialList", "F6F23F42-7686-11cf-8F52-0040333594A3",
        {"DWORD nMaterials;", "DWORD nFaceIndexes;", "array DWORD faceIndexes[nFaceIndexes];", "[Material]"}},
    {"MeshNormals", "F6F23F43-7686-11cf-8F52-0040333594A3",
        {"DWORD nNormals;", "array Vector normals[nNormals];", "DWORD nFaceNormals;",
            "array MeshFace faceNormals[nFaceNormals];"}},
    {"MeshVertexColors", "1630B821-7842-11cf-8F52-0040333594A3",
        {"DWORD nVertexColors;", "array IndexedColor vertexColors[nVertexColors];"}},
    {"Mesh", "3D82AB44-62DA-11cf-AB39-0020AF71E433",
        {"DWORD nVertices;", "array Vector vertices[nVertices];", "DWORD nFaces;", "array MeshFace faces[nFaces];",
            "[...]"}},
    {"FrameTransformMatrix", "F6F23F41-7686-11cf-8F52-0040333594A3", {"Matrix4x4 frameMatrix;"}},
    {"Frame", "3D82AB46-62DA-11cf-AB39-0020AF71E433", {"[...]"}},
    {"FloatKeys", "10DD46A9-775B-11cf-8F52-0040333594A3", {"DWORD nValues;", "array FLOAT values[nValues];"}},
    {"TimedFloatKeys", "F406B180-7B3B-11cf-8F52-0040333594A3", {"DWORD time;", "FloatKeys tfkeys;"}},
    {"AnimationKey", "10DD46A8-775B-11cf-8F52-0040333594A3",
        {"DWORD keyType;", "DWORD nKeys;", "array TimedFloatKeys keys[nKeys];"}},
    {"AnimationOptions", "E2BF56C0-840F-11cf-8F52-0040333594A3", {"DWORD openclosed;", "DWORD positionquality;"}},
    {"Animation", "3D82AB4F-62DA-11cf-AB39-0020AF71E433", {"[...]"}},
    {"AnimationSet", "3D82AB50-62DA-11cf-AB39-0020AF71E433", {"[Animation]"}},
};

// Collects the text of one object and writes it in one go, remembering whether every write went through.
class XOut {
public:
    explicit XOut(TZevStream* stream) : Stream(stream) { }

    XOut& Text(const char* text)
    {
        Ok = Ok && XFileWriteString(Stream, text);
        return *this;
    }
    XOut& Text(const std::string& text) { return Text(text.c_str()); }
    XOut& Indent(int n)
    {
        Ok = Ok && ZevWriteXIndent(Stream, n);
        return *this;
    }
    XOut& Float(float value)
    {
        char buffer[128];
        ZevXFormatFloat(value, buffer);
        return Text(buffer);
    }
    XOut& Int(long long value)
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%lld", value);
        return Text(buffer);
    }

    TZevStream* Stream;
    bool Ok = true;
};

// A frame or mesh name as one token of the file: what would end the token or open a comment becomes "_".
std::string ObjectName(const char* name)
{
    std::string out = name ? name : "";
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        const bool ends = c <= ' ' || c == 0x7F || c == '{' || c == '}' || c == ';' || c == ',' || c == '"' ||
            c == '<' || c == '>';
        const bool comment = i == 0 && (c == '#' || c == '/');
        if (ends || comment)
            out[i] = '_';
    }
    return out;
}

// A text between double quotes that the reader gives back as it was: a quote, and a backslash that the
// reader would take for an escape, are escaped.
std::string QuotedText(const char* text)
{
    std::string out = "\"";
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '"' || (c == '\\' && (i + 1 == n || text[i + 1] == '\\' || text[i + 1] == '"')))
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// The face list in the layout of the Mesh and MeshNormals objects.
void WriteFaces(XOut& out, const TZevMeshData* g, int depth)
{
    const int32_t nF = g ? g->FaceCount : 0;
    out.Indent(depth).Int(nF).Text(";\n");
    for (int32_t f = 0; f < nF && out.Ok; ++f) {
        const TZevMeshFace& face = g->Faces[f];
        out.Indent(depth).Int(face.Count).Text(";");
        for (uint32_t k = 0; k < face.Count; ++k) {
            if (k > 0)
                out.Text(",");
            out.Int(face.Indices[k]);
        }
        out.Text(f + 1 < nF ? ";,\n" : ";;\n");
    }
}

// Vertex positions (normals when `normals`): three values each.
void WriteVectors(XOut& out, const TZevMeshData* g, int depth, bool normals)
{
    const int32_t nV = g ? g->VertexCount : 0;
    out.Indent(depth).Int(nV).Text(";\n");
    for (int32_t i = 0; i < nV && out.Ok; ++i) {
        const TZevVertex& v = g->Vertices()[i];
        const float* p = normals ? &v.nx : &v.x;
        out.Indent(depth).Float(p[0]).Text(";").Float(p[1]).Text(";").Float(p[2]).Text(i + 1 < nV ? ";,\n" : ";;\n");
    }
}

// The file holds plain polygon meshes only: terrain, shadow and other derived meshes are not geometry
// of their own.
bool IsPlainPolygonMesh(TZevVMesh* visual, TZevPolygonMesh** mesh)
{
    auto* polygon = dynamic_cast<TZevPolygonMesh*>(visual);
    if (!polygon)
        return false;
    const char* name = polygon->GetClassRecordName();
    const bool plain = name ? std::strcmp(name, "TZevPolygonMesh") == 0 : typeid(*polygon) == typeid(TZevPolygonMesh);
    *mesh = polygon;
    return plain;
}

} // namespace

int ZevXFormatFloat(float value, char* out)
{
    if (!std::isfinite(value))
        value = 0.0f;
    // Six decimals when they read back as the same float, so ordinary values look as "%f" writes them.
    char* end = std::to_chars(out, out + 127, value, std::chars_format::fixed, 6).ptr;
    float back = 0.0f;
    std::from_chars(out, end, back);
    if (back != value) {
        // Small and finely graded values: the shortest decimals that give the value back.
        end = std::to_chars(out, out + 127, value, std::chars_format::fixed).ptr;
    }
    *end = 0;
    return int(end - out);
}

bool ZevWriteXIndent(TZevStream* stream, int n)
{
    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    while (n > 0) {
        const int k = n < 16 ? n : 16;
        if (stream->Write(tabs, k) != 1)
            return false;
        n -= k;
    }
    return true;
}

bool XFileWriteString(TZevStream* stream, const char* text)
{
    if (!text)
        return true;
    return stream->Write(text, int32_t(std::strlen(text))) == 1;
}

bool ZevSaveXMesh(TZevStream* stream, TZevPolygonMesh* mesh, int depth)
{
    if (!stream || !mesh)
        return false;
    const TZevMeshData* g = mesh->Geometry;
    XOut out(stream);
    out.Indent(depth).Text("Mesh ");
    if (mesh->GetName() && *mesh->GetName())
        out.Text(ObjectName(mesh->GetName())).Text(" ");
    out.Text(" {\n");
    WriteVectors(out, g, depth + 1, false);
    WriteFaces(out, g, depth + 1);

    out.Indent(depth + 1).Text("MeshNormals ").Text(" ").Text(" {\n");
    WriteVectors(out, g, depth + 2, true);
    WriteFaces(out, g, depth + 2);
    out.Indent(depth + 1).Text(" }\n");

    const int32_t nV = g ? g->VertexCount : 0;
    out.Indent(depth + 1).Text("MeshTextureCoords ").Text(" ").Text(" {\n");
    out.Indent(depth + 2).Int(nV).Text(";\n");
    for (int32_t i = 0; i < nV && out.Ok; ++i) {
        const TZevVertex& v = g->Vertices()[i];
        out.Indent(depth + 2).Float(v.u).Text(";").Float(v.v).Text(i + 1 < nV ? ";,\n" : ";;\n");
    }
    out.Indent(depth + 1).Text(" }\n");

    // One material for the whole mesh: its own, in the groups the reader maps it back from.
    const TZevMaterial& m = mesh->Material;
    out.Indent(depth + 1).Text("MeshMaterialList ").Text(" ").Text(" {\n");
    out.Indent(depth + 2).Text("1").Text(";\n");
    out.Indent(depth + 2).Text("1").Text(";\n");
    out.Indent(depth + 2).Text("0").Text(";;\n");
    out.Text("\n");
    out.Indent(depth + 2).Text("Material ").Text(" ").Text(" {\n");
    out.Indent(depth + 3).Float(m.Diffuse[0]).Text(";").Float(m.Diffuse[1]).Text(";").Float(m.Diffuse[2]);
    out.Text(";").Float(m.Diffuse[3]).Text(";;\n");
    out.Indent(depth + 3).Float(m.Power).Text(";\n");
    out.Indent(depth + 3).Float(m.Ambient[0]).Text(";").Float(m.Ambient[1]).Text(";").Float(m.Ambient[2]);
    out.Text(";;\n");
    out.Indent(depth + 3).Float(m.Specular[0]).Text(";").Float(m.Specular[1]).Text(";").Float(m.Specular[2]);
    out.Text(";;\n");
    // The entry of the empty name is what a mesh without a texture holds.
    const char* texture = mesh->Texture ? mesh->Texture->Name.CStr() : nullptr;
    if (texture && *texture) {
        out.Indent(depth + 3).Text("TextureFilename ").Text(" ").Text(" {\n");
        out.Indent(depth + 4).Text(QuotedText(texture)).Text(";\n");
        out.Indent(depth + 3).Text(" }\n");
    }
    out.Indent(depth + 2).Text(" }\n");
    out.Indent(depth + 1).Text(" }\n");
    out.Indent(depth).Text(" }\n");
    return out.Ok;
}

bool ZevWriteXFrame(TZevStream* stream, TZevVFrame* frame, int depth)
{
    if (!stream || !frame)
        return false;
    // The reader follows frames this deep; a deeper file would be refused when read.
    if (depth >= ZevXMaxFrameDepth) {
        ZevDebugLog("ZevSaveXFile: frames nested too deeply\n");
        return false;
    }
    XOut out(stream);
    out.Indent(depth).Text("Frame ");
    if (frame->GetName() && *frame->GetName())
        out.Text(ObjectName(frame->GetName())).Text(" ");
    out.Text(" {\n");

    out.Indent(depth + 1).Text("FrameTransformMatrix ").Text("{\n");
    const float* m = frame->LocalMatrix.m;
    for (int row = 0; row < 4; ++row) {
        out.Indent(depth + 2).Float(m[4 * row]).Text(", ").Float(m[4 * row + 1]).Text(", ").Float(m[4 * row + 2]);
        out.Text(row < 3 ? ", 0.0,\n" : ", 1.0;\n");
    }
    out.Indent(depth + 1).Text(" }\n");

    for (TZevVMesh* visual : ZevItems<TZevVMesh>(frame->Visuals)) {
        TZevPolygonMesh* mesh = nullptr;
        if (out.Ok && IsPlainPolygonMesh(visual, &mesh))
            out.Ok = ZevSaveXMesh(stream, mesh, depth + 1);
    }
    for (TZevVTree* child = frame->GetFirstChild(); child && out.Ok; child = child->GetNextSibling()) {
        if (TZevVFrame* childFrame = ZevAsFrame(child))
            out.Ok = ZevWriteXFrame(stream, childFrame, depth + 1);
    }
    out.Indent(depth).Text(" }\n");
    return out.Ok;
}

bool ZevSaveXFile(TZevVFrame* frame, const char* fileName)
{
    if (!frame || !fileName)
        return false;
    TZevSaveFile file;
    if (!file.Open(fileName, "w"))
        return false;
    XOut out(&file);
    out.Text("xof 0302txt 0064\n").Text("\n");
    for (const XTemplate& t : Templates) {
        out.Text("template ").Text(t.Name).Text(" {\n");
        out.Text("\t<").Text(t.Guid).Text(">\n");
        for (const char* member : t.Members)
            if (member)
                out.Text("\t").Text(member).Text("\n");
        out.Text(std::strcmp(t.Name, "MeshNormals") == 0 ? "}\n" : " }\n").Text("\n");
    }
    out.Text("Header {\n").Text("\t1;\n").Text("\t0;\n").Text("\t1;\n").Text(" }\n\n\n");
    // The old file is replaced only by a whole new one.
    const bool ok = out.Ok && ZevWriteXFrame(&file, frame, 0) && file.Commit();
    if (!ok) {
        std::string line = "ZevSaveXFile: writing failed: ";
        ZevDebugLog((line + fileName + "\n").c_str());
    }
    return ok;
}
