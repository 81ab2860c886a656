// The .x text reader on real files from other programs and on small hand-made files.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ZevXFileParser.h"

namespace {

std::string ReadTestFile(const char* name)
{
    std::ifstream in(std::string(QE_TESTDATA_DIR) + "/x/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Parsed {
    bool Ok;
    std::string Error;
    TZevXFileContents Contents;
};

Parsed Parse(const std::string& text)
{
    Parsed p;
    p.Ok = ZevParseXText(text.data(), text.size(), p.Contents, p.Error);
    return p;
}

const float* Vertex(const TZevXMeshRecord& m, size_t i)
{
    return &m.Vertices[i * 8];
}

// A one-triangle mesh whose body the cases fill in.
std::string TriangleMesh(const std::string& extra, const std::string& vertices = "0;0;0;, 1;0;0;, 0;1;0;;")
{
    return "xof 0302txt 0064\nMesh tri {\n 3;\n " + vertices + "\n 1;\n 3;0,1,2;;\n" + extra + "}\n";
}

} // namespace

TEST(XFileParse, LobbySkyboxReadsSixTexturedMeshes)
{
    Parsed p = Parse(ReadTestFile("lobby_skybox.x"));
    ASSERT_TRUE(p.Ok) << p.Error;
    const TZevXFrameRecord& root = p.Contents.Root;
    EXPECT_FALSE(p.Contents.RootMade);
    EXPECT_EQ(root.Name, "CUBE_Root");
    EXPECT_EQ(root.Matrix[0], 3.0f);
    EXPECT_EQ(root.Matrix[10], 3.0f);
    EXPECT_EQ(root.Matrix[15], 1.0f);
    ASSERT_EQ(root.Meshes.size(), 6u);
    const char* textures[6] = {
        "LobbyYPos.jpg", "LobbyXPos.jpg", "LobbyXNeg.jpg", "LobbyZPos.jpg", "LobbyZNeg.jpg", "LobbyYNeg.jpg"};
    for (size_t i = 0; i < 6; ++i) {
        const TZevXMeshRecord& m = root.Meshes[i];
        EXPECT_EQ(m.Name, "Unnamed_" + std::to_string(i));
        ASSERT_EQ(m.VertexCount, 4u);
        ASSERT_EQ(m.FaceCounts.size(), 2u);
        EXPECT_EQ(m.FaceIndices.size(), 6u);
        EXPECT_TRUE(m.Material.Present);
        EXPECT_EQ(m.Material.TextureName, textures[i]);
        // face colour white, power 0, specular white into the second group, emissive black
        const float expected[13] = {1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
        for (int k = 0; k < 13; ++k)
            EXPECT_EQ(m.Material.Values[k], expected[k]) << i << " " << k;
    }
    // First mesh: positions, the two faces, normals and the irregularly separated texture coordinates.
    const TZevXMeshRecord& m0 = root.Meshes[0];
    EXPECT_EQ(Vertex(m0, 1)[0], -1.0f);
    EXPECT_EQ(Vertex(m0, 1)[1], 1.0f);
    EXPECT_EQ(Vertex(m0, 1)[2], -1.0f);
    const uint16_t faces[6] = {0, 2, 1, 0, 3, 2};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m0.FaceIndices[k], faces[k]);
    for (size_t v = 0; v < 4; ++v)
        EXPECT_EQ(Vertex(m0, v)[4], 1.0f);
    const float uv[8] = {1, 0, 0, 0, 0, 1, 1, 1};
    for (size_t v = 0; v < 4; ++v) {
        EXPECT_EQ(Vertex(m0, v)[6], uv[v * 2]);
        EXPECT_EQ(Vertex(m0, v)[7], uv[v * 2 + 1]);
    }
}

TEST(XFileParse, NewerFilesWithTemplatesAndUnknownBlocks)
{
    Parsed cube = Parse(ReadTestFile("test_cube_text.x"));
    ASSERT_TRUE(cube.Ok) << cube.Error;
    const TZevXFrameRecord& root = cube.Contents.Root;
    EXPECT_EQ(root.Name, "Root");
    EXPECT_EQ(root.Matrix[6], 1.0f); // the file's own axis swap
    ASSERT_EQ(root.Children.size(), 1u);
    const TZevXFrameRecord& child = root.Children[0];
    EXPECT_EQ(child.Name, "Cube");
    ASSERT_EQ(child.Meshes.size(), 1u); // skin blocks after the mesh data are skipped
    const TZevXMeshRecord& m = child.Meshes[0];
    EXPECT_EQ(m.VertexCount, 24u);
    EXPECT_EQ(m.FaceCounts.size(), 12u);
    EXPECT_EQ(Vertex(m, 23)[2], 0.999999f);
    EXPECT_EQ(Vertex(m, 23)[5], 1.0f);
    // "{ Material }" refers to the top-level material of this file.
    EXPECT_TRUE(m.Material.Present);
    EXPECT_EQ(m.Material.Values[0], 0.639216f);
    EXPECT_EQ(m.Material.Values[4], 0.498039f);
    EXPECT_EQ(m.Material.Values[12], 96.078430f);
    EXPECT_EQ(m.Material.TextureName, "");

    Parsed other = Parse(ReadTestFile("test.x"));
    ASSERT_TRUE(other.Ok) << other.Error;
    ASSERT_EQ(other.Contents.Root.Meshes.size(), 1u);
    const TZevXMeshRecord& shape = other.Contents.Root.Meshes[0];
    EXPECT_EQ(shape.Name, "pCubeShape1");
    EXPECT_EQ(shape.VertexCount, 24u);
    EXPECT_EQ(shape.Material.TextureName, ".\\test.png"); // "TextureFileName", the backslash escaped
    EXPECT_EQ(Vertex(shape, 23)[7], -0.965625f);
}

TEST(XFileParse, BinaryEmptyAndHeadlessFilesAreRefused)
{
    for (const char* name : {"test_cube_binary.x", "empty.x"}) {
        Parsed p = Parse(ReadTestFile(name));
        EXPECT_FALSE(p.Ok) << name;
        EXPECT_FALSE(p.Error.empty()) << name;
        EXPECT_FALSE(p.Contents.HasRoot) << name;
    }
    EXPECT_FALSE(Parse("xof 0302txt 0064\nHeader { 1; 0; 1; }\n").Ok);
    // Frames alone, or meshes only inside blocks the reader passes over, hold no mesh.
    for (const char* noMesh : {"Frame A { } Frame B { Frame C { } }", "Frame A { Unknown { Mesh { 3; } } }"}) {
        Parsed p = Parse(noMesh);
        EXPECT_FALSE(p.Ok) << noMesh;
        EXPECT_EQ(p.Error, "the file holds no mesh") << noMesh;
    }
    EXPECT_FALSE(Parse("xof 0303tzip0032 ....................").Ok);
    std::string withZero = TriangleMesh("");
    withZero[20] = '\0';
    EXPECT_FALSE(Parse(withZero).Ok);
}

TEST(XFileParse, CutOffAnywhereFails)
{
    for (const char* name : {"lobby_skybox.x", "test_cube_text.x"}) {
        std::string text = ReadTestFile(name);
        size_t last = text.rfind('}');
        ASSERT_NE(last, std::string::npos);
        for (size_t n = 0; n <= last; ++n) {
            TZevXFileContents c;
            std::string error;
            ASSERT_FALSE(ZevParseXText(text.data(), n, c, error)) << name << " cut at " << n;
            ASSERT_FALSE(c.HasRoot);
        }
        EXPECT_TRUE(Parse(text.substr(0, last + 1)).Ok);
    }
}

TEST(XFileParse, NumberForms)
{
    struct Case {
        const char* text;
        float value;
    } cases[] = {{"1.0e-006", 1.0e-6f}, {".5", 0.5f}, {"-.5", -0.5f}, {"+2", 2.0f}, {"1E3", 1000.0f},
        {"-0.000000", -0.0f}, {"7", 7.0f}, {"2.5e+2", 250.0f}};
    for (const Case& c : cases) {
        Parsed p = Parse(TriangleMesh("", std::string(c.text) + ";0;0;, 1;0;0;, 0;1;0;;"));
        ASSERT_TRUE(p.Ok) << c.text << ": " << p.Error;
        EXPECT_EQ(Vertex(p.Contents.Root.Meshes[0], 0)[0], c.value) << c.text;
    }
    // Material values and texture coordinates take leading-point numbers too.
    Parsed p = Parse(TriangleMesh("MeshTextureCoords { 3; .25;.5;, 1.0e-001;0;, 0;0;; }\n"
                                  "MeshMaterialList { 1; 1; 0;; Material { .5;.25;1;1;; 2; 0;0;0;; 0;0;0;; } }\n"));
    ASSERT_TRUE(p.Ok) << p.Error;
    const TZevXMeshRecord& m = p.Contents.Root.Meshes[0];
    EXPECT_EQ(Vertex(m, 0)[6], 0.25f);
    EXPECT_EQ(Vertex(m, 0)[7], 0.5f);
    EXPECT_EQ(Vertex(m, 1)[6], 0.1f);
    EXPECT_EQ(m.Material.Values[0], 0.5f);
    EXPECT_EQ(m.Material.Values[1], 0.25f);
    EXPECT_EQ(m.Material.Values[12], 2.0f);
    for (const char* bad : {"1.2.3", "1e", "--1"}) {
        EXPECT_FALSE(Parse(TriangleMesh("", std::string(bad) + ";0;0;, 1;0;0;, 0;1;0;;")).Ok) << bad;
    }
}

TEST(XFileParse, MaterialValuesGoToTheirGroups)
{
    Parsed p = Parse(TriangleMesh("MeshMaterialList { 2; 1; 0;;\n"
                                  " Material first { 0.1;0.2;0.3;0.4;; 5; 0.6;0.7;0.8;; 0.9;1.0;1.1;; TextureFilename "
                                  "{ \"dir\\\\sub/a b.bmp\"; } }\n"
                                  " Material second { 1;1;1;1;; 9; 1;1;1;; 1;1;1;; }\n}\n"));
    ASSERT_TRUE(p.Ok) << p.Error;
    const TZevXMeshMaterial& m = p.Contents.Root.Meshes[0].Material;
    const float expected[13] = {0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0.7f, 0.8f, 0, 0.9f, 1.0f, 1.1f, 0, 5};
    for (int k = 0; k < 13; ++k)
        EXPECT_EQ(m.Values[k], expected[k]) << k;
    EXPECT_EQ(m.TextureName, "dir\\sub/a b.bmp"); // a blank inside a name is kept
    EXPECT_EQ(ZevXLastMaterial.TextureName, "dir\\sub/a b.bmp");
    EXPECT_EQ(ZevXLastMaterial.Values[12], 5.0f);
}

TEST(XFileParse, MaterialReferences)
{
    // A named material of this file is found whatever was read last.
    Parsed p = Parse("xof 0302txt 0064\n"
                     "Material Red { 1;0;0;1;; 3; 0;0;0;; 0;0;0;; TextureFilename { \"red.bmp\"; } }\n"
                     "Material Blue { 0;0;1;1;; 4; 0;0;0;; 0;0;0;; }\n"
                     "Frame F { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                     "  MeshMaterialList { 1; 1; 0;; { Red } } }\n"
                     " Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                     "  MeshMaterialList { 1; 1; 0;; { Blue <00000000-0000-0000-0000-000000000000> } } } }\n");
    ASSERT_TRUE(p.Ok) << p.Error;
    ASSERT_EQ(p.Contents.Root.Meshes.size(), 2u);
    const TZevXMeshMaterial& red = p.Contents.Root.Meshes[0].Material;
    EXPECT_EQ(red.Values[0], 1.0f);
    EXPECT_EQ(red.Values[2], 0.0f);
    EXPECT_EQ(red.TextureName, "red.bmp");
    const TZevXMeshMaterial& blue = p.Contents.Root.Meshes[1].Material;
    EXPECT_EQ(blue.Values[0], 0.0f);
    EXPECT_EQ(blue.Values[2], 1.0f);
    EXPECT_EQ(blue.Values[12], 4.0f);
    EXPECT_EQ(blue.TextureName, "");

    // A name this file does not define takes the material read last, with the texture name of this load.
    Parsed q = Parse(TriangleMesh("MeshMaterialList { 1; 1; 0;; { Elsewhere } }\n"));
    ASSERT_TRUE(q.Ok) << q.Error;
    EXPECT_EQ(q.Contents.Root.Meshes[0].Material.Values[2], 1.0f); // Blue: the last free material
    EXPECT_EQ(q.Contents.Root.Meshes[0].Material.TextureName, "");

    // A failed load leaves the store as it was.
    std::string before = ZevXLastMaterial.TextureName;
    EXPECT_FALSE(Parse("Material M { 1;1;1;1;; 1; 1;1;1;; 1;1;1;; TextureFilename { \"x.bmp\"; } }\nFrame {").Ok);
    EXPECT_EQ(ZevXLastMaterial.TextureName, before);

    // An empty list leaves the mesh's own material.
    Parsed e = Parse(TriangleMesh("MeshMaterialList { 0; 0; }\n"));
    ASSERT_TRUE(e.Ok) << e.Error;
    EXPECT_FALSE(e.Contents.Root.Meshes[0].Material.Present);
}

TEST(XFileParse, UnknownBlocksAreSkippedWhole)
{
    Parsed p = Parse("xof 0303txt 0032\n"
                     "AnimTicksPerSecond { 24; }\n"
                     "Frame Outer {\n"
                     "  Unknown named { 5; Nested { Mesh { 99; } } }\n"
                     "  { SomeReference }\n"
                     "  Mesh inner { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                     "    VertexDuplicationIndices { 3; 3; 0, 1, 2; }\n"
                     "    MeshVertexColors { 1; 0; 1;0;0;1;;; }\n"
                     "    Extra { 12; }\n"
                     "  }\n"
                     "  Frame Child { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 4,5,6,1;; } }\n"
                     "}\n"
                     "AnimationSet { Animation { { Outer } AnimationKey { 0; 1; 0; 4; 1,0,0,0;;; } } }\n");
    ASSERT_TRUE(p.Ok) << p.Error;
    const TZevXFrameRecord& root = p.Contents.Root;
    EXPECT_EQ(root.Name, "Outer");
    ASSERT_EQ(root.Meshes.size(), 1u);
    EXPECT_EQ(root.Meshes[0].VertexCount, 3u);
    ASSERT_EQ(root.Children.size(), 1u);
    EXPECT_EQ(root.Children[0].Matrix[12], 4.0f);
    EXPECT_EQ(root.Children[0].Matrix[14], 6.0f);
}

TEST(XFileParse, CountsAndIndicesAreChecked)
{
    const char* bad[] = {
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }",                            // index beyond the vertices
        "Mesh { 4; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",                            // fewer vertices than counted
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;; }",                            // fewer faces than counted
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 4;0,1,2;; }",                            // fewer corners than counted
        "Mesh { 4000000000; 0;0;0;; 0;; }",                                            // a count the file cannot hold
        "Mesh { -3; 0;0;0;; 0;; }",                                                    // negative count
        "Mesh { 3.5; 0;0;0;; 0;; }",                                                   // a count that is not whole
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 2; 0;0;1;; } }", // normals missing
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 3; 0;0;; } }",
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 3; 0;; } }",
        "Mesh { 3; 0;0;0;, 1;0;0;, Frame;0;0;; 1; 3;0,1,2;; }", // a word where a number is due
        "Frame { FrameTransformMatrix { 1,0,0,0; } }",
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; Material { 1;1;1;; } } }",
    };
    for (const char* text : bad) {
        Parsed p = Parse(text);
        EXPECT_FALSE(p.Ok) << text;
        EXPECT_FALSE(p.Error.empty()) << text;
    }
}

TEST(XFileParse, VertexLimit)
{
    auto grid = [](uint32_t n) {
        std::string s = "Mesh {\n" + std::to_string(n) + ";\n";
        for (uint32_t i = 0; i < n; ++i)
            s += "0;0;0;,\n";
        s += "0;\n}\n";
        return s;
    };
    Parsed fits = Parse(grid(65536));
    ASSERT_TRUE(fits.Ok) << fits.Error;
    EXPECT_EQ(fits.Contents.Root.Meshes[0].VertexCount, 65536u);
    EXPECT_FALSE(Parse(grid(65537)).Ok);
}

TEST(XFileParse, Normals)
{
    // As many as vertices: normal i is vertex i's.
    Parsed same = Parse(TriangleMesh("MeshNormals { 3; 0;0;1;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }\n"));
    ASSERT_TRUE(same.Ok) << same.Error;
    EXPECT_EQ(Vertex(same.Contents.Root.Meshes[0], 0)[5], 1.0f);
    EXPECT_EQ(Vertex(same.Contents.Root.Meshes[0], 2)[3], 1.0f);

    // Faces that name normals beyond the list: the normals are dropped with a warning, the mesh is kept.
    Parsed damaged = Parse(TriangleMesh("MeshNormals { 3; 0;0;1;, 0;1;0;, 1;0;0;; 1; 3;0,1,3;; }\n"));
    ASSERT_TRUE(damaged.Ok) << damaged.Error;
    EXPECT_EQ(damaged.Contents.Root.Meshes[0].VertexCount, 3u);
    EXPECT_EQ(Vertex(damaged.Contents.Root.Meshes[0], 0)[5], 0.0f);
    ASSERT_EQ(damaged.Contents.Warnings.size(), 1u);
    EXPECT_NE(damaged.Contents.Warnings[0].find("mesh \"tri\""), std::string::npos);
    EXPECT_TRUE(same.Contents.Warnings.empty());

    // Fewer: not used.
    Parsed fewer = Parse(TriangleMesh("MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n"));
    ASSERT_TRUE(fewer.Ok) << fewer.Error;
    EXPECT_EQ(fewer.Contents.Root.Meshes[0].VertexCount, 3u);
    EXPECT_EQ(Vertex(fewer.Contents.Root.Meshes[0], 0)[5], 0.0f);

    // More: one vertex per face corner, positions and texture coordinates kept, normals zero.
    const std::string quad = "xof 0302txt 0064\nMesh { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;\n"
                             " MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n";
    Parsed more =
        Parse(quad + " MeshNormals { 6; 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;; 2; 3;0,1,2;, 3;3,4,5;; }\n}\n");
    ASSERT_TRUE(more.Ok) << more.Error;
    const TZevXMeshRecord& m = more.Contents.Root.Meshes[0];
    ASSERT_EQ(m.VertexCount, 6u);
    const uint16_t corner[6] = {0, 1, 2, 0, 2, 3};
    for (uint16_t c = 0; c < 6; ++c) {
        EXPECT_EQ(m.FaceIndices[c], c);
        float x = corner[c] == 1 || corner[c] == 2 ? 1.0f : 0.0f;
        EXPECT_EQ(Vertex(m, c)[0], x);
        EXPECT_EQ(Vertex(m, c)[6], x);
        EXPECT_EQ(Vertex(m, c)[5], 0.0f);
    }
    // A face-normal list that does not match the faces cannot place the normals: left out.
    Parsed odd =
        Parse(quad + " MeshNormals { 6; 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;; 1; 4;0,1,2,3;; }\n}\n");
    ASSERT_TRUE(odd.Ok) << odd.Error;
    EXPECT_EQ(odd.Contents.Root.Meshes[0].VertexCount, 4u);
}

TEST(XFileParse, TextureCoordinateCounts)
{
    Parsed extra = Parse(TriangleMesh("MeshTextureCoords { 5; 1;2;, 3;4;, 5;6;, 7;8;, 9;10;; }\n"));
    ASSERT_TRUE(extra.Ok) << extra.Error;
    EXPECT_EQ(Vertex(extra.Contents.Root.Meshes[0], 2)[7], 6.0f);
    Parsed fewer = Parse(TriangleMesh("MeshTextureCoords { 1; 1;2;; }\n"));
    ASSERT_TRUE(fewer.Ok) << fewer.Error;
    EXPECT_EQ(Vertex(fewer.Contents.Root.Meshes[0], 0)[6], 1.0f);
    EXPECT_EQ(Vertex(fewer.Contents.Root.Meshes[0], 1)[6], 0.0f);
}

TEST(XFileParse, TopLevelChoice)
{
    const std::string tri = "Mesh tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
    // Every top-level object is kept: one frame alone is the root; otherwise a new unnamed root holds the
    // meshes as its own and the frames as its children, in file order.
    struct Case {
        std::string text;
        bool made;
        std::string rootName;
        size_t meshes;
        std::vector<std::string> children;
    } cases[] = {
        {"Frame A { " + tri + "}", false, "A", 1, {}},
        {TriangleMesh(""), true, "", 1, {}},
        {"Frame A { " + tri + "} Frame B { Frame B2 { } } Frame C { }", true, "", 0, {"A", "B", "C"}},
        {"Frame A { } " + tri + "Frame B { } " + tri, true, "", 2, {"A", "B"}},
        {"xof 0302txt 0064\r\n# note\r\nFrame // F\r\n C { // {\r\n " + tri + " }\r\n", false, "C", 1, {}},
        // Old files end their lines with CR alone: a comment ends there too.
        {"xof 0302txt 0064\r// note\rFrame D { // {\r " + tri + "}\r", false, "D", 1, {}},
    };
    for (const Case& c : cases) {
        Parsed p = Parse(c.text);
        ASSERT_TRUE(p.Ok) << c.text << ": " << p.Error;
        const TZevXFrameRecord& root = p.Contents.Root;
        EXPECT_EQ(p.Contents.RootMade, c.made) << c.text;
        EXPECT_EQ(root.Name, c.rootName) << c.text;
        EXPECT_EQ(root.Meshes.size(), c.meshes) << c.text;
        std::vector<std::string> children;
        for (const TZevXFrameRecord& child : root.Children)
            children.push_back(child.Name);
        EXPECT_EQ(children, c.children) << c.text;
        if (c.made) {
            EXPECT_EQ(root.Matrix[0], 1.0f);
            EXPECT_EQ(root.Matrix[12], 0.0f);
        }
    }
    // A stray word does not swallow the object after it.
    Parsed stray = Parse("xof 0303txt 0032 Frame A { stray Frame B { " + tri + "} }");
    ASSERT_TRUE(stray.Ok) << stray.Error;
    EXPECT_EQ(stray.Contents.Root.Name, "A");
    ASSERT_EQ(stray.Contents.Root.Children.size(), 1u);
    EXPECT_EQ(stray.Contents.Root.Children[0].Name, "B");
    // Damage after the first mesh is no longer passed over: the file is refused.
    EXPECT_FALSE(Parse(TriangleMesh("") + "Frame B { } this is not read {").Ok);
}

TEST(XFileParse, DeepNestingIsRefusedOrSkippedWithoutRecursion)
{
    std::string frames;
    for (int i = 0; i < 100000; ++i)
        frames += "Frame {";
    for (int i = 0; i < 100000; ++i)
        frames += "}";
    EXPECT_FALSE(Parse(frames).Ok);
    std::string unknown = "Frame { Deep ";
    for (int i = 0; i < 100000; ++i)
        unknown += "{";
    for (int i = 0; i < 100000; ++i)
        unknown += "}";
    unknown += " Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }";
    EXPECT_TRUE(Parse(unknown).Ok);
}
