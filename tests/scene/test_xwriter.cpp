// Writing .x files: the exact text of a small file, trees written and read back by our reader,
// third-party files read, written and read again, and failed writes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "MakeObject.h"
#include "Zev3DG2R.h"
#include "ZevBmpLandMesh.h"
#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevShadowMesh.h"
#include "ZevStream.h"
#include "ZevTextureName.h"
#include "ZevXFile.h"
#include "ZevXFileWriter.h"

namespace {

class XWriterTest : public ::testing::Test {
protected:
    void SetUp() override { ZevSceneInit(); }
};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A mesh of one triangle with every field that the file carries set.
TZevPolygonMesh* Triangle(const char* name, float scale)
{
    auto* mesh = Make<TZevPolygonMesh>("TZevPolygonMesh");
    mesh->SetName(name);
    EXPECT_TRUE(mesh->SetFaceAndVertexCount(3, 1));
    TZevMeshData* g = mesh->Geometry;
    const TZevVertex v[3] = {{0, 0, 0, 0, 0, -1, 0, 0}, {scale, 0, 0, 0, 0, -1, 1, 0}, {0, scale, 0, 0, 0, -1, 0, 1}};
    std::memcpy(g->VertexArray, v, sizeof v);
    g->VertexCount = 3;
    EXPECT_TRUE(g->SetFaceIndexCount(0, 3));
    for (uint16_t k = 0; k < 3; ++k)
        g->Faces[0].Indices[k] = k;
    g->FaceCount = 1;
    mesh->Material = TZevMaterial();
    const float values[13] = {0.5f, 0.25f, 1, 1, 0.1f, 0.2f, 0.3f, 0, 0.7f, 0.8f, 0.9f, 0, 12};
    std::memcpy(&mesh->Material, values, sizeof values);
    mesh->SetTextureName("tri.bmp");
    return mesh;
}

TZevFrame* FrameWith(const char* name, TZevVMesh* visual)
{
    auto* frame = Make<TZevFrame>("TZevFrame");
    frame->SetName(name);
    if (visual) {
        frame->AddVisual(visual);
        visual->Release();
    }
    return frame;
}

std::vector<TZevPolygonMesh*> MeshesOf(TZevVFrame* frame)
{
    std::vector<TZevPolygonMesh*> out;
    for (void* item : frame->Visuals)
        if (auto* mesh = dynamic_cast<TZevPolygonMesh*>(static_cast<TZevVMesh*>(item)))
            out.push_back(mesh);
    return out;
}

std::string NameOf(const TZevStringTree* node)
{
    return node->GetName() ? node->GetName() : "";
}

// Everything the file carries must come back the same, bit for bit.
void ExpectSameMesh(TZevPolygonMesh* a, TZevPolygonMesh* b, const std::string& where)
{
    EXPECT_EQ(NameOf(a), NameOf(b)) << where;
    ASSERT_NE(a->Geometry, nullptr);
    ASSERT_NE(b->Geometry, nullptr);
    const TZevMeshData& ga = *a->Geometry;
    const TZevMeshData& gb = *b->Geometry;
    ASSERT_EQ(ga.VertexCount, gb.VertexCount) << where;
    ASSERT_EQ(ga.FaceCount, gb.FaceCount) << where;
    for (int32_t i = 0; i < ga.VertexCount; ++i)
        EXPECT_EQ(0, std::memcmp(&ga.Vertices()[i], &gb.Vertices()[i], sizeof(TZevVertex))) << where << " vertex " << i;
    for (int32_t f = 0; f < ga.FaceCount; ++f) {
        ASSERT_EQ(ga.Faces[f].Count, gb.Faces[f].Count) << where << " face " << f;
        EXPECT_EQ(0, std::memcmp(ga.Faces[f].Indices, gb.Faces[f].Indices, ga.Faces[f].Count * 2)) << where;
    }
    // The file's specular and emissive colours have no alpha: those two read back as 0.
    TZevMaterial expected = a->Material;
    expected.Ambient[3] = 0.0f;
    expected.Specular[3] = 0.0f;
    EXPECT_EQ(0, std::memcmp(&expected, &b->Material, sizeof(TZevMaterial))) << where;
    const std::string ta = a->Texture && a->Texture->Name.CStr() ? a->Texture->Name.CStr() : "";
    const std::string tb = b->Texture && b->Texture->Name.CStr() ? b->Texture->Name.CStr() : "";
    EXPECT_EQ(ta, tb) << where;
}

void ExpectSameTree(TZevVFrame* a, TZevVFrame* b, const std::string& where)
{
    ASSERT_NE(a, nullptr) << where;
    ASSERT_NE(b, nullptr) << where;
    EXPECT_EQ(NameOf(a), NameOf(b)) << where;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(a->LocalMatrix.m[i], b->LocalMatrix.m[i]) << where << " matrix " << i;
    std::vector<TZevPolygonMesh*> ma = MeshesOf(a), mb = MeshesOf(b);
    ASSERT_EQ(ma.size(), mb.size()) << where;
    for (size_t i = 0; i < ma.size(); ++i)
        ExpectSameMesh(ma[i], mb[i], where + "/" + NameOf(ma[i]));
    TZevVTree* ca = a->GetFirstChild();
    TZevVTree* cb = b->GetFirstChild();
    for (; ca && cb; ca = ca->GetNextSibling(), cb = cb->GetNextSibling())
        ExpectSameTree(ZevAsFrame(ca), ZevAsFrame(cb), where + "/" + NameOf(ZevAsFrame(ca)));
    EXPECT_EQ(ca, nullptr) << where << ": children lost";
    EXPECT_EQ(cb, nullptr) << where << ": children added";
}

// A stream whose writes fail once `budget` bytes have gone through.
class FailingStream : public TZevMemStream {
public:
    explicit FailingStream(int32_t budget) : Budget(budget) { }
    int Write(const void* buffer, int32_t n) override
    {
        if (n > Budget)
            return 0;
        Budget -= n;
        return TZevMemStream::Write(buffer, n);
    }
    int32_t Budget;
};

TEST_F(XWriterTest, OneTriangleMatchesTheGoldenFile)
{
    TZevFrame* frame = FrameWith("Tri", Triangle("TriMesh", 2.0f));
    frame->LocalMatrix = ZevMatTranslation(1.0f, -2.5f, 3.0f);
    ASSERT_TRUE(ZevSaveXFile(frame, "triangle.x"));
    const std::string golden = ReadWhole(QE_DATA_DIR "/../tests/scene/golden/triangle.x");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(ReadWhole("triangle.x"), golden);

    // And it reads back as written.
    TZevFrame* back = ZevLoadXFile("triangle.x");
    ExpectSameTree(frame, back, "Tri");
    if (back)
        back->Release();
    frame->Release();
}

TEST_F(XWriterTest, TreesReadBackAsWritten)
{
    // Values that six decimals would lose, child frames with meshes of their own, a texture name with
    // characters that need care inside quotes.
    TZevPolygonMesh* small = Triangle("Small", 1e-7f);
    small->Geometry->Vertices()[1].y = 1.2345678f;
    small->Geometry->Vertices()[2].z = -3.25e-5f;
    small->Geometry->Vertices()[0].u = 0.333333343f;
    small->Material.Diffuse[0] = 1e-9f;
    small->SetTextureName("odd \"name\".bmp");
    TZevFrame* root = FrameWith("Root", small);
    root->AddVisual(Triangle("Second", 3.0f));
    static_cast<TZevVMesh*>(root->Visuals.Last()->data)->Release();

    TZevFrame* child = FrameWith("Child", Triangle("ChildMesh", 4.0f));
    ZevMatRotationY(child->LocalMatrix, 0.3f);
    child->LocalMatrix.m[12] = 123456.789f;
    TZevFrame* grandChild = FrameWith("GrandChild", Triangle("Deep", 5.0f));
    grandChild->LocalMatrix.m[13] = -7.0f;
    ASSERT_TRUE(child->AddChild(grandChild));
    ASSERT_TRUE(root->AddChild(child));
    // A mesh without geometry is written as one and reads back empty.
    auto* empty = Make<TZevPolygonMesh>("TZevPolygonMesh");
    empty->Clear();
    empty->SetName("Nothing");
    ASSERT_TRUE(root->AddChild(FrameWith("Empty", empty)));

    ASSERT_TRUE(ZevSaveXFile(root, "tree.x"));
    TZevFrame* back = ZevLoadXFile("tree.x");
    ExpectSameTree(root, back, "Root");
    if (back)
        back->Release();
    root->Release();
}

TEST_F(XWriterTest, ThirdPartyFilesKeepTheirMeshes)
{
    for (const char* name : {"lobby_skybox.x", "test_cube_text.x", "test.x"}) {
        SCOPED_TRACE(name);
        TZevFrame* original = ZevLoadXFile((std::string(QE_TESTDATA_DIR "/x/") + name).c_str());
        ASSERT_NE(original, nullptr);
        ASSERT_TRUE(ZevSaveXFile(original, "again.x"));
        TZevFrame* again = ZevLoadXFile("again.x");
        ExpectSameTree(original, again, NameOf(original));
        // Written a second time, the text does not change any more.
        const std::string first = ReadWhole("again.x");
        ASSERT_TRUE(ZevSaveXFile(again, "again2.x"));
        EXPECT_EQ(first, ReadWhole("again2.x"));
        if (again)
            again->Release();
        original->Release();
    }
}

TEST_F(XWriterTest, FrameHeaderMatrixAndWhichVisualsAreWritten)
{
    TZevFrame* frame = FrameWith(nullptr, Triangle(nullptr, 1.0f));
    frame->LocalMatrix = TZevMatrix(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0.5f, 0, 0, 2);
    frame->AddVisual(Make<TZevBmpLandMesh>("TZevBmpLandMesh"));
    static_cast<TZevVMesh*>(frame->Visuals.Last()->data)->Release();
    frame->AddVisual(Make<TZevShadowMesh>("TZevShadowMesh"));
    static_cast<TZevVMesh*>(frame->Visuals.Last()->data)->Release();
    frame->AddVisual(Make<TZevLPolygonMesh>("TZevLPolygonMesh"));
    static_cast<TZevVMesh*>(frame->Visuals.Last()->data)->Release();
    // A name that would break the token is made into one.
    frame->AddVisual(Triangle("two words{x}", 1.0f));
    static_cast<TZevVMesh*>(frame->Visuals.Last()->data)->Release();

    TZevMemStream stream;
    ASSERT_TRUE(ZevWriteXFrame(&stream, frame, 0));
    std::string text(size_t(stream.GetSize()), '\0');
    ASSERT_EQ(stream.Seek(0), 1);
    ASSERT_EQ(stream.Read(text.data(), stream.GetSize()), 1);
    EXPECT_EQ(text.rfind("Frame  {\n\tFrameTransformMatrix {\n"
                         "\t\t1.000000, 0.000000, 0.000000, 0.0,\n"
                         "\t\t0.000000, 1.000000, 0.000000, 0.0,\n"
                         "\t\t0.000000, 0.000000, 1.000000, 0.0,\n"
                         "\t\t0.500000, 0.000000, 0.000000, 1.0;\n\t }\n"
                         "\tMesh  {\n",
                  0),
        0u);
    EXPECT_EQ(CountOf(text, "Mesh "), 2u);
    EXPECT_NE(text.find("\tMesh two_words_x_  {\n"), std::string::npos);
    frame->Release();
}

TEST_F(XWriterTest, FailedWritesAreReported)
{
    TZevFrame* frame = FrameWith("F", Triangle("M", 1.0f));
    EXPECT_FALSE(ZevSaveXFile(frame, "no-such-dir/out.x"));
    EXPECT_FALSE(ZevSaveXFile(nullptr, "out.x"));
    if (std::ifstream("/dev/full").good()) {
        EXPECT_FALSE(ZevSaveXFile(frame, "/dev/full")); // the disk is full
    }

    // A stream that fails part-way: every cut point is reported.
    TZevMemStream whole;
    ASSERT_TRUE(ZevWriteXFrame(&whole, frame, 0));
    for (int32_t budget : {0, 1, 40, whole.GetSize() / 2, whole.GetSize() - 1}) {
        FailingStream cut(budget);
        EXPECT_FALSE(ZevWriteXFrame(&cut, frame, 0)) << budget;
    }
    FailingStream enough(whole.GetSize());
    EXPECT_TRUE(ZevWriteXFrame(&enough, frame, 0));

    // As deep as a reader follows, and one deeper: refused rather than written unreadable.
    TZevFrame* chain = FrameWith("C0", Triangle("M", 1.0f));
    TZevFrame* last = chain;
    for (int i = 1; i < 256; ++i) {
        TZevFrame* next = FrameWith("C", nullptr);
        ASSERT_TRUE(last->AddChild(next));
        last = next;
    }
    ASSERT_TRUE(ZevSaveXFile(chain, "deep.x"));
    TZevFrame* back = ZevLoadXFile("deep.x");
    EXPECT_NE(back, nullptr);
    if (back)
        back->Release();
    // A save that fails part-way over a good file leaves that file as it was, and no fragment beside it.
    const std::string good = ReadWhole("deep.x");
    ASSERT_TRUE(last->AddChild(FrameWith("C", nullptr)));
    EXPECT_FALSE(ZevSaveXFile(chain, "deep.x"));
    EXPECT_EQ(ReadWhole("deep.x"), good);
    EXPECT_FALSE(ZevSaveXFile(chain, "deeper.x"));
    EXPECT_FALSE(std::ifstream("deeper.x").good());
    chain->Release();
    frame->Release();
}

TEST_F(XWriterTest, FloatsKeepTheirDigits)
{
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{1.0f, "1.000000"}, {-0.5f, "-0.500000"}, {0.1f, "0.100000"}, {1e-7f, "0.0000001"},
        {1.2345678f, "1.2345678"}, {-3.25e-5f, "-0.0000325"}, {0.0f, "0.000000"}, {1e30f, nullptr},
        {1.4e-45f, nullptr}};
    for (const Case& c : cases) {
        char text[128];
        ZevXFormatFloat(c.value, text);
        if (c.text) {
            EXPECT_STREQ(text, c.text);
        }
        EXPECT_EQ(std::strtof(text, nullptr), c.value) << text;
        EXPECT_EQ(std::strchr(text, 'e'), nullptr) << text;
    }
    char text[128];
    ZevXFormatFloat(std::numeric_limits<float>::quiet_NaN(), text);
    EXPECT_STREQ(text, "0.000000");
}

} // namespace
