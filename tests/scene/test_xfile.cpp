// Loading .x files into frames and polygon meshes.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "ZevFrame.h"
#include "ZevLSObj.h"
#include "ZevMesh.h"
#include "ZevTextureName.h"
#include "ZevXFile.h"

namespace {

class XFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCoreInit();
        ZevFrameInit();
        ZevMeshesInit();
    }
};

std::string TestFile(const char* name)
{
    return std::string(QE_TESTDATA_DIR) + "/x/" + name;
}

std::vector<TZevPolygonMesh*> MeshesOf(TZevVFrame* frame)
{
    std::vector<TZevPolygonMesh*> out;
    for (void* item : frame->Visuals)
        out.push_back(dynamic_cast<TZevPolygonMesh*>(static_cast<TZevVMesh*>(item)));
    return out;
}

int32_t Live()
{
    return NewCount.load() - DeleteCount.load();
}

} // namespace

TEST_F(XFileTest, LobbySkybox)
{
    TZevFrame* root = ZevLoadXFile(TestFile("lobby_skybox.x").c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "CUBE_Root");
    EXPECT_EQ(root->LocalMatrix[0], 3.0f);
    EXPECT_EQ(root->LocalMatrix[15], 1.0f);
    std::vector<TZevPolygonMesh*> meshes = MeshesOf(root);
    ASSERT_EQ(meshes.size(), 6u);
    const char* textures[6] = {
        "LobbyYPos.jpg", "LobbyXPos.jpg", "LobbyXNeg.jpg", "LobbyZPos.jpg", "LobbyZNeg.jpg", "LobbyYNeg.jpg"};
    for (size_t i = 0; i < 6; ++i) {
        TZevPolygonMesh* m = meshes[i];
        ASSERT_NE(m, nullptr);
        EXPECT_STREQ(m->GetClassRecordName(), "TZevPolygonMesh");
        EXPECT_EQ(m->GetName(), "Unnamed_" + std::to_string(i));
        EXPECT_EQ(m->Geometry->VertexCount, 4);
        EXPECT_EQ(m->Geometry->FaceCount, 2);
        ASSERT_NE(m->Texture, nullptr);
        EXPECT_STREQ(m->Texture->Name.CStr(), textures[i]);
        EXPECT_EQ(m->Material.Diffuse[0], 1.0f);
        EXPECT_EQ(m->Material.Power, 0.0f);
        EXPECT_EQ(m->Changed, 0);       // the box is computed
        EXPECT_EQ(m->GetRefCount(), 1); // the frame holds the only reference
    }
    // Normals and texture coordinates as written (the file's separators are irregular there).
    const TZevVertex* v = meshes[0]->Geometry->Vertices();
    EXPECT_EQ(v[2].ny, 1.0f);
    EXPECT_EQ(v[0].u, 1.0f);
    EXPECT_EQ(v[3].v, 1.0f);
    EXPECT_EQ(meshes[5]->Geometry->Vertices()[1].ny, -1.0f);
    EXPECT_EQ(meshes[0]->Bounds.Max.y, 1.0f);
    EXPECT_EQ(meshes[0]->Bounds.Min.y, 1.0f);
    root->Release();
}

TEST_F(XFileTest, NestedFramesAndNamedMaterial)
{
    TZevFrame* root = ZevLoadXFile(TestFile("test_cube_text.x").c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Root");
    EXPECT_TRUE(root->Visuals.IsEmpty());
    auto* cube = dynamic_cast<TZevFrame*>(root->GetFirstChild());
    ASSERT_NE(cube, nullptr);
    EXPECT_STREQ(cube->GetName(), "Cube");
    std::vector<TZevPolygonMesh*> meshes = MeshesOf(cube);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_EQ(meshes[0]->Geometry->VertexCount, 24);
    EXPECT_EQ(meshes[0]->Material.Diffuse[0], 0.639216f);
    ASSERT_NE(meshes[0]->Texture, nullptr); // a material without texture: the entry of the empty name
    EXPECT_STREQ(meshes[0]->Texture->Name.CStr(), "");
    root->Release();

    TZevFrame* other = ZevLoadXFile(TestFile("test.x").c_str());
    ASSERT_NE(other, nullptr);
    std::vector<TZevPolygonMesh*> shape = MeshesOf(other);
    ASSERT_EQ(shape.size(), 1u);
    EXPECT_STREQ(shape[0]->Texture->Name.CStr(), "test.png"); // the file part of ".\test.png"
    other->Release();
}

TEST_F(XFileTest, RefusedFilesLeaveNothingBehind)
{
    const int32_t before = Live();
    for (const char* name : {"test_cube_binary.x", "empty.x", "no_such_file.x"})
        EXPECT_EQ(ZevLoadXFile(TestFile(name).c_str()), nullptr) << name;
    const std::string damaged =
        "xof 0302txt 0064\nFrame A { Frame B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; } } }\n";
    EXPECT_EQ(ZevReadXText(damaged.data(), damaged.size()), nullptr);
    EXPECT_EQ(ZevLoadXFile(nullptr), nullptr);
    EXPECT_EQ(Live(), before);
}

TEST_F(XFileTest, TopLevelMeshAndMaterialChoices)
{
    const std::string text = "xof 0302txt 0064\n"
                             "Mesh plain { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                             " MeshMaterialList { 1; 1; 0;; Material { 0.5;0.5;0.5;1;; 4; 1;1;1;; 0;0;0;; "
                             "TextureFilename { \"a/b\\\\c d.bmp\"; } } }\n"
                             "}\n";
    TZevFrame* root = ZevReadXText(text.data(), text.size());
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "");
    std::vector<TZevPolygonMesh*> meshes = MeshesOf(root);
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_STREQ(meshes[0]->GetName(), "plain");
    EXPECT_STREQ(meshes[0]->Texture->Name.CStr(), "c d.bmp");
    EXPECT_EQ(meshes[0]->Material.Ambient[0], 1.0f); // specular colour lands in the second group
    EXPECT_EQ(meshes[0]->Material.Power, 4.0f);
    root->Release();

    // No material list: the mesh keeps its default material and has no texture entry.
    const std::string bare = "Frame { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }";
    TZevFrame* frame = ZevReadXText(bare.data(), bare.size());
    ASSERT_NE(frame, nullptr);
    std::vector<TZevPolygonMesh*> plain = MeshesOf(frame);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0]->Texture, nullptr);
    EXPECT_EQ(plain[0]->Material.Power, DefaultMaterial.Power);
    frame->Release();
}

TEST_F(XFileTest, DamagedCopiesOfRealFilesLoadOrFailCleanly)
{
    // Bytes overwritten, dropped or doubled at random places: every load either fails or gives a frame whose
    // meshes only point at vertices they have.
    std::ifstream in(TestFile("test_cube_text.x"), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string original = buffer.str();
    ASSERT_FALSE(original.empty());
    const char alphabet[] = "{};,\"0123456789.-eE xMeshFrame\n";
    // The same damage twice: the first pass warms the pools (list nodes, texture entries), so the second must
    // end with as many live blocks as it began with.
    int32_t live[3];
    live[0] = Live();
    int loaded = 0;
    for (int pass = 1; pass <= 2; ++pass) {
        std::mt19937 random(12345);
        for (int round = 0; round < 400; ++round) {
            std::string text = original;
            for (int edits = 1 + int(random() % 4); edits > 0; --edits) {
                const size_t at = random() % text.size();
                switch (random() % 3) {
                case 0:
                    text[at] = alphabet[random() % (sizeof alphabet - 1)];
                    break;
                case 1:
                    text.erase(at, 1 + random() % 8);
                    break;
                default:
                    text.insert(at, text.substr(at, 1 + random() % 8));
                    break;
                }
            }
            TZevFrame* frame = ZevReadXText(text.data(), text.size());
            if (!frame)
                continue;
            ++loaded;
            std::vector<TZevVFrame*> frames = {frame};
            for (size_t k = 0; k < frames.size(); ++k) {
                for (TZevPolygonMesh* mesh : MeshesOf(frames[k]))
                    EXPECT_TRUE(mesh->Geometry->IndicesInRange());
                for (TZevVTree* c = frames[k]->GetFirstChild(); c; c = c->GetNextSibling())
                    if (TZevVFrame* child = ZevAsFrame(c))
                        frames.push_back(child);
            }
            frame->Release();
        }
        live[pass] = Live();
    }
    EXPECT_GT(loaded, 0);
    EXPECT_EQ(live[2], live[1]) << "first pass: " << live[1] - live[0] << " blocks kept by pools";
}
