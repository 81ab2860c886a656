// Tokenizer and tolerant reader of DirectX text mesh files.
//
// Files in the wild separate values with ";" and "," in every combination (";;", ";,", a "," before
// "}"), so values are read by skipping separators and taking the next number; what is not a number
// where one is due is a malformed file. Data objects the reader does not use are skipped by counting
// braces, wherever they stand.
#include "ZevXFileParser.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

TZevXLastMaterial ZevXLastMaterial;

namespace {

enum class XTok { End, LBrace, RBrace, Semi, Comma, Number, Word, String, Guid, Bad };

struct XToken {
    XTok Kind = XTok::End;
    const char* Text = nullptr;
    size_t Length = 0;
    std::string_view View() const { return {Text, Length}; }
};

bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}
bool IsWordEnd(unsigned char c)
{
    return IsBlank(c) || c == '{' || c == '}' || c == ';' || c == ',' || c == '"' || c == 0;
}

class XLexer {
public:
    XLexer(const char* text, size_t size)
        : Pos(text)
        , End(text + size)
    {
        // A reader never steps over a terminating zero, and 0x1A is an old end-of-file mark.
        const void* zero = std::memchr(text, 0, size);
        if (zero)
            End = static_cast<const char*>(zero);
        const void* eof = std::memchr(text, 0x1A, End - text);
        if (eof)
            End = static_cast<const char*>(eof);
    }

    const XToken& Peek()
    {
        if (!HavePeek) {
            Ahead = Scan();
            HavePeek = true;
        }
        return Ahead;
    }
    XToken Next()
    {
        Peek();
        HavePeek = false;
        return Ahead;
    }
    size_t Remaining() const { return static_cast<size_t>(End - Pos); }

private:
    XToken Make(XTok kind, const char* start, const char* stop)
    {
        Pos = stop;
        return XToken{kind, start, static_cast<size_t>(stop - start)};
    }

    XToken Scan()
    {
        for (;;) {
            while (Pos < End && IsBlank(static_cast<unsigned char>(*Pos)))
                ++Pos;
            if (Pos >= End)
                return XToken{XTok::End, End, 0};
            if (*Pos == '#' || (*Pos == '/' && Pos + 1 < End && Pos[1] == '/')) {
                while (Pos < End && *Pos != '\n' && *Pos != '\r')
                    ++Pos;
                continue;
            }
            break;
        }
        const char* s = Pos;
        unsigned char c = static_cast<unsigned char>(*s);
        switch (c) {
        case '{':
            return Make(XTok::LBrace, s, s + 1);
        case '}':
            return Make(XTok::RBrace, s, s + 1);
        case ';':
            return Make(XTok::Semi, s, s + 1);
        case ',':
            return Make(XTok::Comma, s, s + 1);
        case '"': {
            const char* p = s + 1;
            while (p < End && *p != '"') {
                if (*p == '\\' && p + 1 < End && (p[1] == '"' || p[1] == '\\'))
                    ++p;
                ++p;
            }
            if (p >= End)
                return Make(XTok::Bad, s, End);
            // The token holds the text between the quotes, still escaped.
            Pos = p + 1;
            return XToken{XTok::String, s + 1, static_cast<size_t>(p - s - 1)};
        }
        case '<': {
            const char* p = s + 1;
            while (p < End && *p != '>' && *p != '\n')
                ++p;
            if (p >= End || *p != '>')
                return Make(XTok::Bad, s, p);
            return Make(XTok::Guid, s, p + 1);
        }
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F)
            return Make(XTok::Bad, s, s + 1); // binary, not text
        const char* p = s;
        bool number = false;
        if (IsDigit(c) ||
            ((c == '-' || c == '+' || c == '.') && p + 1 < End &&
                (IsDigit(static_cast<unsigned char>(p[1])) ||
                    (p[1] == '.' && c != '.' && p + 2 < End && IsDigit(static_cast<unsigned char>(p[2])))))) {
            number = true;
            ++p;
            while (p < End) {
                unsigned char d = static_cast<unsigned char>(*p);
                if (IsDigit(d) || d == '.') {
                    ++p;
                } else if ((d == 'e' || d == 'E') && p + 1 < End) {
                    unsigned char e = static_cast<unsigned char>(p[1]);
                    if (IsDigit(e)) {
                        p += 2;
                    } else if ((e == '-' || e == '+') && p + 2 < End && IsDigit(static_cast<unsigned char>(p[2]))) {
                        p += 3;
                    } else {
                        break;
                    }
                } else {
                    break;
                }
            }
            // "0302txt" in the header line and names that begin with a digit are words.
            if (p < End && !IsWordEnd(static_cast<unsigned char>(*p)))
                number = false;
        }
        if (!number) {
            while (p < End && !IsWordEnd(static_cast<unsigned char>(*p))) {
                if (static_cast<unsigned char>(*p) < 0x20)
                    break;
                ++p;
            }
        }
        return Make(number ? XTok::Number : XTok::Word, s, p);
    }

    const char* Pos;
    const char* End;
    XToken Ahead;
    bool HavePeek = false;
};

bool EqualNoCase(std::string_view a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string Unescape(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"'))
            ++i;
        out.push_back(s[i]);
    }
    return out;
}

struct XNamedMaterial {
    float Values[13];
    std::string TextureName; // whole, empty when the material has none
};

struct XNormals {
    bool Present = false;
    uint32_t Count = 0;
    std::vector<float> Values; // 3 a normal
    bool HasFaces = false;
    bool Damaged = false; // a face names a normal beyond the list
    std::vector<uint32_t> FaceCounts;
    std::vector<uint32_t> FaceIndices;
};

class XParser {
public:
    XParser(const char* text, size_t size, std::string& error)
        : Lex(text, size)
        , Error(error)
    {
    }

    bool File(TZevXFileContents& out)
    {
        Store = ZevXLastMaterial;
        Store.TextureName.clear();
        // Every top-level frame and mesh is kept: files in the wild put a character's parts side by side.
        std::vector<TZevXFrameRecord> frames;
        std::vector<TZevXMeshRecord> meshes;
        for (;;) {
            XToken t = Lex.Next();
            switch (t.Kind) {
            case XTok::End:
                return Finish(out, frames, meshes);
            case XTok::Bad:
                return Fail("not a text .x file");
            case XTok::LBrace:
                if (!SkipBlock())
                    return false;
                break;
            case XTok::Word: {
                std::string_view w = t.View();
                if (w == "template" || w == "Header") {
                    if (!SkipObject())
                        return false;
                } else if (w == "Material") {
                    if (!ReadMaterial(nullptr, MaterialUse::Free))
                        return false;
                } else if (w == "Frame") {
                    frames.emplace_back();
                    if (!ReadFrame(frames.back(), 1))
                        return false;
                } else if (w == "Mesh") {
                    meshes.emplace_back();
                    if (!ReadMesh(meshes.back()))
                        return false;
                } else {
                    if (!SkipObject())
                        return false;
                }
                break;
            }
            default:
                break; // the header line's numbers, stray separators and braces
            }
        }
    }

private:
    // One top-level frame is the root as it stands; anything else goes into a new unnamed root: its meshes as
    // the root's own, its frames as the root's children.
    bool Finish(TZevXFileContents& out, std::vector<TZevXFrameRecord>& frames, std::vector<TZevXMeshRecord>& meshes)
    {
        if (frames.empty() && meshes.empty())
            return Fail("no top-level Frame or Mesh");
        if (MeshCount == 0)
            return Fail("the file holds no mesh");
        if (frames.size() == 1 && meshes.empty()) {
            out.Root = std::move(frames.front());
        } else {
            out.Root.Meshes = std::move(meshes);
            out.Root.Children = std::move(frames);
            out.RootMade = true;
        }
        out.HasRoot = true;
        out.Warnings = std::move(Warnings);
        ZevXLastMaterial = Store;
        return true;
    }

    bool Fail(const char* why)
    {
        if (Error.empty())
            Error = why;
        return false;
    }
    bool CutOff() { return Fail("the file ends inside a block"); }

    // After "{": reads to its matching "}".
    bool SkipBlock()
    {
        size_t depth = 1;
        for (;;) {
            XToken t = Lex.Next();
            if (t.Kind == XTok::End)
                return CutOff();
            if (t.Kind == XTok::Bad)
                return Fail("not a text .x file");
            if (t.Kind == XTok::LBrace)
                ++depth;
            if (t.Kind == XTok::RBrace && --depth == 0)
                return true;
        }
    }

    // Reads the members of a block up to its "}": each word goes to onWord (which reads what belongs to it),
    // each nested "{" to onBrace (after the "{"); numbers and separators between members are passed over.
    template <class OnWord, class OnBrace>
    bool ReadMembers(OnWord onWord, OnBrace onBrace)
    {
        for (;;) {
            XToken t = Lex.Next();
            switch (t.Kind) {
            case XTok::End:
                return CutOff();
            case XTok::Bad:
                return Fail("not a text .x file");
            case XTok::RBrace:
                return true;
            case XTok::LBrace:
                if (!onBrace())
                    return false;
                break;
            case XTok::Word:
                if (!onWord(t.View()))
                    return false;
                break;
            default:
                break;
            }
        }
    }

    // The same, with nested blocks skipped.
    template <class OnWord>
    bool ReadMembers(OnWord onWord)
    {
        return ReadMembers(onWord, [this] { return SkipBlock(); });
    }

    // After a data object's type word: an optional name (a word or a quoted text), then its block.
    // A type word with no block after it is a stray word and is passed over.
    bool SkipObject()
    {
        std::string name;
        if (!ReadObjectName(name))
            return true;
        Lex.Next();
        return SkipBlock();
    }

    // True when a block follows, after an optional name (read into `name`); the "{" is not consumed. A
    // token that is not followed by "{" is no name and stays for the caller.
    bool ReadObjectName(std::string& name)
    {
        const XToken t = Lex.Peek();
        if (t.Kind == XTok::Word || t.Kind == XTok::Number || t.Kind == XTok::String) {
            const XLexer before = Lex;
            Lex.Next();
            if (Lex.Peek().Kind != XTok::LBrace) {
                Lex = before;
                return false;
            }
            name = t.Kind == XTok::String ? Unescape(t.View()) : std::string(t.View());
            return true;
        }
        return t.Kind == XTok::LBrace;
    }

    bool OpenBlock(std::string& name)
    {
        if (!ReadObjectName(name)) {
            if (Lex.Peek().Kind == XTok::End)
                return CutOff();
            return Fail("a data object without a block");
        }
        Lex.Next();
        return true;
    }

    // Separators before a value are passed over; anything else must be the value.
    bool NextValue(XToken& t)
    {
        do {
            t = Lex.Next();
        } while (t.Kind == XTok::Semi || t.Kind == XTok::Comma);
        if (t.Kind == XTok::Number)
            return true;
        if (t.Kind == XTok::End)
            return CutOff();
        return Fail("a value is missing");
    }

    // The next value token converted to v (a leading "+" allowed): false when there is none; `ec` tells how the
    // conversion went, invalid_argument when the token is not a number to its end.
    template <class T>
    bool ParseNextValue(T& v, std::errc& ec)
    {
        XToken t;
        if (!NextValue(t))
            return false;
        const char* s = t.Text;
        const char* e = t.Text + t.Length;
        if (*s == '+')
            ++s;
        auto r = std::from_chars(s, e, v);
        ec = r.ec == std::errc() && r.ptr != e ? std::errc::invalid_argument : r.ec;
        return true;
    }

    bool ReadFloat(float& v)
    {
        std::errc ec;
        if (!ParseNextValue(v, ec))
            return false;
        if (ec == std::errc::result_out_of_range) {
            v = 0.0f; // denormals and overflow: a finite stand-in rather than a refusal
            return true;
        }
        if (ec != std::errc())
            return Fail("a malformed number");
        return true;
    }

    bool ReadFloats(float* v, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            if (!ReadFloat(v[i]))
                return false;
        return true;
    }

    bool ReadUInt(uint32_t& v)
    {
        std::errc ec;
        if (!ParseNextValue(v, ec))
            return false;
        if (ec != std::errc())
            return Fail("a count or index is not a whole number");
        return true;
    }

    // A count of items that take at least two characters each ("0;") cannot exceed what is left.
    bool ReadCount(uint32_t& n)
    {
        if (!ReadUInt(n))
            return false;
        if (n > Lex.Remaining() / 2)
            return Fail("a count larger than the file can hold");
        return true;
    }

    // An index at or above `limit` fails the read, or, when `outOfRange` is given, only sets it.
    bool ReadIndexLists(std::vector<uint32_t>& counts, std::vector<uint32_t>* wide, std::vector<uint16_t>* narrow,
        uint32_t limit, bool* outOfRange = nullptr)
    {
        uint32_t faces;
        if (!ReadCount(faces))
            return false;
        counts.resize(faces);
        for (uint32_t f = 0; f < faces; ++f) {
            uint32_t n;
            if (!ReadCount(n))
                return false;
            counts[f] = n;
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t index;
                if (!ReadUInt(index))
                    return false;
                if (index >= limit) {
                    if (!outOfRange)
                        return Fail("a face index beyond the vertices");
                    *outOfRange = true;
                }
                if (wide)
                    wide->push_back(index);
                if (narrow)
                    narrow->push_back(static_cast<uint16_t>(index));
            }
        }
        return true;
    }

    bool ReadFrame(TZevXFrameRecord& frame, int depth)
    {
        if (depth > ZevXMaxFrameDepth)
            return Fail("frames nested too deeply");
        if (!OpenBlock(frame.Name))
            return false;
        // A nested block is a reference to another frame, and is skipped.
        return ReadMembers([&](std::string_view w) {
            if (w == "Frame") {
                frame.Children.emplace_back();
                return ReadFrame(frame.Children.back(), depth + 1);
            }
            if (w == "Mesh") {
                frame.Meshes.emplace_back();
                return ReadMesh(frame.Meshes.back());
            }
            if (w == "Material")
                return ReadMaterial(nullptr, MaterialUse::Free);
            if (w == "FrameTransformMatrix") {
                std::string name;
                return OpenBlock(name) && ReadFloats(frame.Matrix, 16) && SkipBlock();
            }
            return SkipObject();
        });
    }

    bool ReadNormals(XNormals& normals)
    {
        std::string name;
        if (!OpenBlock(name))
            return false;
        if (!ReadCount(normals.Count))
            return false;
        normals.Values.resize(size_t(normals.Count) * 3);
        if (!ReadFloats(normals.Values.data(), normals.Values.size()))
            return false;
        normals.Present = true;
        // Some writers stop after the normals; the face list is needed only to split vertices.
        while (Lex.Peek().Kind == XTok::Semi || Lex.Peek().Kind == XTok::Comma)
            Lex.Next();
        if (Lex.Peek().Kind == XTok::Number) {
            if (!ReadIndexLists(normals.FaceCounts, &normals.FaceIndices, nullptr, normals.Count, &normals.Damaged))
                return false;
            normals.HasFaces = true;
        }
        return SkipBlock();
    }

    bool ReadTextureCoords(std::vector<float>& uv)
    {
        std::string name;
        uint32_t n;
        if (!OpenBlock(name) || !ReadCount(n))
            return false;
        uv.resize(size_t(n) * 2);
        if (!ReadFloats(uv.data(), uv.size()))
            return false;
        return SkipBlock();
    }

    // After "MeshMaterialList": the first material of the list is the mesh's; the per-face indexes
    // are read for their count only, since one material serves the whole mesh.
    bool ReadMaterialList(TZevXMeshMaterial& material)
    {
        std::string name;
        uint32_t materials, indexes, index;
        if (!OpenBlock(name) || !ReadCount(materials) || !ReadCount(indexes))
            return false;
        for (uint32_t i = 0; i < indexes; ++i)
            if (!ReadUInt(index))
                return false;
        bool applied = false;
        auto onWord = [&](std::string_view w) {
            if (w != "Material")
                return SkipObject();
            if (!ReadMaterial(applied ? nullptr : &material, applied ? MaterialUse::Ignored : MaterialUse::Mesh))
                return false;
            applied = true;
            return true;
        };
        auto onBrace = [&] {
            // A reference to a named material: "{ name }", possibly with a GUID.
            std::string ref;
            const XToken& r = Lex.Peek();
            if (r.Kind == XTok::Word || r.Kind == XTok::String || r.Kind == XTok::Number)
                ref = r.Kind == XTok::String ? Unescape(r.View()) : std::string(r.View());
            if (!SkipBlock())
                return false;
            if (!applied) {
                ApplyReference(ref, material);
                applied = true;
            }
            return true;
        };
        return ReadMembers(onWord, onBrace);
    }

    void ApplyReference(const std::string& ref, TZevXMeshMaterial& material)
    {
        material.Present = true;
        auto found = Named.find(ref);
        if (!ref.empty() && found != Named.end()) {
            std::memcpy(material.Values, found->second.Values, sizeof material.Values);
            material.TextureName = found->second.TextureName;
        } else {
            // Not defined in this file: the material read last, as older files expect.
            std::memcpy(material.Values, Store.Values, sizeof material.Values);
            material.TextureName = Store.TextureName;
        }
    }

    // Free: a material at top level or in a frame; Mesh: the first of a mesh's list; Ignored: a later
    // one of a list, which is read for its name only.
    enum class MaterialUse { Free, Mesh, Ignored };

    // After "Material".
    bool ReadMaterial(TZevXMeshMaterial* meshMaterial, MaterialUse use)
    {
        std::string name;
        if (!OpenBlock(name))
            return false;
        float v[11]; // face RGBA, power, specular RGB, emissive RGB
        if (!ReadFloats(v, 11))
            return false;
        float values[13] = {v[0], v[1], v[2], v[3], v[5], v[6], v[7], 0.0f, v[8], v[9], v[10], 0.0f, v[4]};
        bool hasTexture = false;
        std::string texture;
        const bool read = ReadMembers([&](std::string_view w) {
            if (hasTexture || !EqualNoCase(w, "TextureFilename"))
                return SkipObject();
            std::string unused;
            if (!OpenBlock(unused))
                return false;
            XToken s;
            do {
                s = Lex.Next();
            } while (s.Kind == XTok::Semi || s.Kind == XTok::Comma);
            if (s.Kind == XTok::End)
                return CutOff();
            if (s.Kind == XTok::String) {
                texture = Unescape(s.View());
            } else if (s.Kind == XTok::Word || s.Kind == XTok::Number) {
                texture = std::string(s.View()); // unquoted, as a few writers leave it
            } else {
                return Fail("a texture file name is missing");
            }
            hasTexture = true;
            return s.Kind == XTok::RBrace || SkipBlock();
        });
        if (!read)
            return false;
        if (!name.empty()) {
            XNamedMaterial& named = Named[name];
            std::memcpy(named.Values, values, sizeof values);
            named.TextureName = hasTexture ? texture : std::string();
        }
        if (use != MaterialUse::Ignored && hasTexture) {
            std::memcpy(Store.Values, values, sizeof values);
            Store.TextureName = texture;
        } else if (use == MaterialUse::Free) {
            std::memcpy(Store.Values, values, sizeof values);
        }
        if (meshMaterial) {
            meshMaterial->Present = true;
            std::memcpy(meshMaterial->Values, values, sizeof values);
            meshMaterial->TextureName = hasTexture ? texture : std::string();
        }
        return true;
    }

    bool ReadMesh(TZevXMeshRecord& mesh)
    {
        if (!OpenBlock(mesh.Name))
            return false;
        uint32_t nV;
        if (!ReadCount(nV))
            return false;
        if (nV > ZevXMaxVertices)
            return Fail("a mesh of more than 65536 vertices");
        mesh.Vertices.assign(size_t(nV) * 8, 0.0f);
        for (uint32_t i = 0; i < nV; ++i)
            if (!ReadFloats(&mesh.Vertices[size_t(i) * 8], 3))
                return false;
        if (!ReadIndexLists(mesh.FaceCounts, nullptr, &mesh.FaceIndices, nV))
            return false;
        mesh.VertexCount = nV;

        XNormals normals;
        std::vector<float> uv;
        const bool read = ReadMembers([&](std::string_view w) {
            if (w == "MeshMaterialList")
                return ReadMaterialList(mesh.Material);
            if (w == "MeshNormals") {
                normals = XNormals();
                return ReadNormals(normals);
            }
            if (w == "MeshTextureCoords")
                return ReadTextureCoords(uv);
            return SkipObject(); // MeshVertexColors, skin data, declarations, ...
        });
        if (!read)
            return false;
        ++MeshCount;
        // Normals are optional: damaged ones are dropped, and the mesh is kept.
        if (normals.Present && normals.Damaged) {
            Warnings.push_back("mesh \"" + mesh.Name + "\": a face of its normals names a normal it does not have; "
                                                       "the normals are dropped");
            normals = XNormals();
        }

        // Texture coordinates beyond the vertices are ignored; missing ones stay 0.
        size_t uvCount = std::min<size_t>(uv.size() / 2, nV);
        for (size_t i = 0; i < uvCount; ++i) {
            mesh.Vertices[i * 8 + 6] = uv[i * 2];
            mesh.Vertices[i * 8 + 7] = uv[i * 2 + 1];
        }
        if (!normals.Present || normals.Count < nV)
            return true; // too few normals: not used
        if (normals.Count == nV) {
            for (size_t i = 0; i < nV; ++i)
                std::memcpy(&mesh.Vertices[i * 8 + 3], &normals.Values[i * 3], 3 * sizeof(float));
            return true;
        }
        return SplitVertices(mesh, normals);
    }

    // More normals than vertices: the mesh gets one vertex per face corner (normals to be computed by
    // the caller, per face). Only a face-normal list shaped like the face list can say which corner is
    // which; otherwise the normals are left out.
    bool SplitVertices(TZevXMeshRecord& mesh, const XNormals& normals)
    {
        if (!normals.HasFaces || normals.FaceCounts != mesh.FaceCounts)
            return true;
        size_t corners = mesh.FaceIndices.size();
        if (corners > ZevXMaxVertices)
            return Fail("a mesh of more than 65536 vertices");
        std::vector<float> split(corners * 8, 0.0f);
        for (size_t c = 0; c < corners; ++c) {
            const float* from = &mesh.Vertices[size_t(mesh.FaceIndices[c]) * 8];
            float* to = &split[c * 8];
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[6] = from[6];
            to[7] = from[7];
            mesh.FaceIndices[c] = static_cast<uint16_t>(c);
        }
        mesh.Vertices.swap(split);
        mesh.VertexCount = static_cast<uint32_t>(corners);
        return true;
    }

    XLexer Lex;
    std::string& Error;
    std::vector<std::string> Warnings;
    size_t MeshCount = 0;
    TZevXLastMaterial Store;
    std::map<std::string, XNamedMaterial> Named;
};

} // namespace

bool ZevParseXText(const char* text, size_t size, TZevXFileContents& out, std::string& error)
{
    out = TZevXFileContents();
    error.clear();
    if (!text || size == 0) {
        error = "empty file";
        return false;
    }
    // "xof 0302txt 0064": the format word sits at bytes 8 to 11; "bin " and the zip forms are not text.
    if (size >= 16 && std::memcmp(text, "xof ", 4) == 0 && std::memcmp(text + 8, "txt ", 4) != 0) {
        error = "not a text .x file";
        return false;
    }
    XParser parser(text, size, error);
    if (!parser.File(out)) {
        out = TZevXFileContents();
        return false;
    }
    return true;
}
