#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingRenderer.h"
#include "Zev3DG2R.h"
#include "ZevStream.h"

namespace {

bool SameBits(const TZevMatrix& a, const TZevMatrix& b)
{
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

// A visual that notes when it is drawn and when it goes.
class TestVisual : public TZevVMesh {
public:
    explicit TestVisual(std::vector<std::string>* log, const char* name) : log(log) { SetName(name); }
    ~TestVisual() override { log->push_back(std::string("~") + GetName()); }
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override
    {
        log->push_back(std::string(GetName()) + "@" + (frame && frame->GetName() ? frame->GetName() : "?"));
        renderer->DrawMaterialMesh(nullptr, &DefaultMaterial, frame->WorldMatrix, nullptr);
    }
    std::vector<std::string>* log;
};

class Frames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevSceneInit();
    }

    TZevFrame* NewFrame(const char* name, TZevVTree* parent = nullptr)
    {
        TZevFrame* f = static_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
        f->SetName(name);
        if (parent) {
            EXPECT_TRUE(parent->AddChild(f));
        }
        return f;
    }

    std::vector<std::string> RenderList(TZev3DRenderer& r)
    {
        std::vector<std::string> out;
        int i = 0;
        for (void* item : r.DeferredList)
            out.push_back(i++ % 2 == 0 ? static_cast<TZevVFrame*>(item)->GetName()
                                       : static_cast<TZevVMesh*>(item)->GetName());
        return out;
    }
};

TZevMatrix Rotated(float wx, float wy, float wz, float x, float y, float z)
{
    TZevMatrix m;
    ZevMatRotationFromVector(m, wx, wy, wz, 1);
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

} // namespace

TEST_F(Frames, SceneStartUpRegistersFramesAndMeshes)
{
    for (const char* name : {"TZevVFrame", "TZevFrame", "TZevPolygonMesh"}) {
        TZevLSObj* object = CreateObjectByName(name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_STREQ(object->GetClassRecordName(), name);
        delete object;
    }
    std::ifstream log("ZevDebug.txt");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("Zev3DG2R.cpp inited.\n"), std::string::npos);
}

TEST_F(Frames, CreatedByClassNameWithIdentityMatrices)
{
    TZevLSObj* object = CreateObjectByName("TZevFrame");
    TZevFrame* frame = dynamic_cast<TZevFrame*>(object);
    ASSERT_NE(frame, nullptr);
    EXPECT_STREQ(frame->GetClassRecordName(), "TZevFrame");
    EXPECT_TRUE(SameBits(frame->LocalMatrix, IdentityMatrix));
    EXPECT_TRUE(SameBits(frame->WorldMatrix, IdentityMatrix));
    EXPECT_TRUE(frame->Visuals.IsEmpty());
    delete frame;
    TZevLSObj* base = CreateObjectByName("TZevVFrame");
    EXPECT_NE(dynamic_cast<TZevVFrame*>(base), nullptr);
    EXPECT_EQ(dynamic_cast<TZevFrame*>(base), nullptr);
    delete base;
}

TEST_F(Frames, WorldMatricesNestLocalFirst)
{
    TZevFrame* root = NewFrame("root");
    TZevFrame* child = NewFrame("child", root);
    TZevFrame* grandchild = NewFrame("grandchild", child);
    root->LocalMatrix = Rotated(0.1f, 0.7f, -0.3f, 5, -2, 1);
    child->LocalMatrix = Rotated(-1.2f, 0.2f, 0.4f, 0.5f, 3, -7);
    grandchild->LocalMatrix = Rotated(0.3f, 0.3f, 0.9f, -1, 0.25f, 2);

    TZevMatrix out;
    root->GetWorldMatrix(&out);
    EXPECT_TRUE(SameBits(out, root->LocalMatrix));

    TZevMatrix expected;
    ZevMatMultiply(expected, child->LocalMatrix, root->LocalMatrix);
    ZevMatMultiply(expected, grandchild->LocalMatrix, expected);
    grandchild->GetWorldMatrix(&out);
    EXPECT_TRUE(SameBits(out, expected));

    root->Traverse(nullptr, IdentityMatrix);
    EXPECT_TRUE(SameBits(grandchild->WorldMatrix, expected));
    // The world matrix is stored by the walk only.
    child->LocalMatrix = IdentityMatrix;
    EXPECT_TRUE(SameBits(grandchild->WorldMatrix, expected));
    delete root;
}

TEST_F(Frames, SiblingsGetTheParentWorldTheirElderReceived)
{
    TZevFrame* root = NewFrame("root");
    TZevFrame* a = NewFrame("a", root);
    TZevFrame* b = NewFrame("b", root);
    ZevMatTranslation(root->LocalMatrix, 1, 0, 0);
    ZevMatTranslation(a->LocalMatrix, 0, 10, 0);
    ZevMatTranslation(b->LocalMatrix, 0, 0, 100);

    root->Traverse(nullptr, IdentityMatrix);
    EXPECT_EQ(b->WorldMatrix.m[12], 1.0f);
    EXPECT_EQ(b->WorldMatrix.m[13], 0.0f); // not a's
    EXPECT_EQ(b->WorldMatrix.m[14], 100.0f);

    // Walked from a child, the later siblings come along with the same parent world.
    TZevMatrix p;
    ZevMatTranslation(p, 0, 0, -1);
    a->Traverse(nullptr, p);
    EXPECT_EQ(a->WorldMatrix.m[13], 10.0f);
    EXPECT_EQ(a->WorldMatrix.m[14], -1.0f);
    EXPECT_EQ(b->WorldMatrix.m[12], 0.0f);
    EXPECT_EQ(b->WorldMatrix.m[14], 99.0f);
    delete root;
}

TEST_F(Frames, RenderListIsPreOrder)
{
    std::vector<std::string> log;
    TZevFrame* root = NewFrame("root");
    TZevFrame* a = NewFrame("a", root);
    TZevFrame* a1 = NewFrame("a1", a);
    TZevFrame* b = NewFrame("b", root);
    NewFrame("empty", b); // no visuals: adds nothing, still walked
    TZevFrame* deep = NewFrame("deep", b->GetFirstChild());
    const std::pair<TZevFrame*, const char*> visuals[] = {
        {root, "r1"}, {root, "r2"}, {a1, "x"}, {a, "y"}, {b, "z"}, {deep, "d"}};
    for (const auto& [frame, name] : visuals) {
        TestVisual* v = new TestVisual(&log, name);
        frame->AddVisual(v);
        EXPECT_EQ(v->GetRefCount(), 2);
        v->Release();
    }

    TRecordingRenderer r;
    r.RenderVisual(root, IdentityMatrix.m);
    const std::vector<std::string> expected = {"root", "r1", "root", "r2", "a", "y", "a1", "x",
                                               "b",    "z",  "deep", "d"};
    EXPECT_EQ(RenderList(r), expected);
    TZevVFrame* firstFrame;
    TZevVMesh* firstVisual;
    r.GetFirstRenderItem(&firstFrame, &firstVisual);
    EXPECT_EQ(firstFrame, root);
    EXPECT_STREQ(firstVisual->GetName(), "r1");

    delete root; // releases every visual
    EXPECT_EQ(log, (std::vector<std::string>{"~r1", "~r2", "~y", "~x", "~z", "~d"}));
}

TEST_F(Frames, NodesOfOtherClassesArePassedOver)
{
    std::vector<std::string> log;
    TZevFrame* root = NewFrame("root");
    TZevLSObj* plain = CreateObjectByName("TZevStringTree");
    TZevStringTree* stranger = static_cast<TZevStringTree*>(plain);
    stranger->SetName("stranger");
    ASSERT_TRUE(root->AddChild(stranger));
    TZevFrame* hidden = NewFrame("hidden", stranger);
    TZevFrame* after = NewFrame("after", root);
    TZevVFrame* bare = static_cast<TZevVFrame*>(CreateObjectByName("TZevVFrame"));
    bare->SetName("bare");
    ASSERT_TRUE(root->AddChild(bare));
    TZevFrame* last = NewFrame("last", root);
    for (TZevVFrame* f : {static_cast<TZevVFrame*>(hidden), static_cast<TZevVFrame*>(after), bare,
                          static_cast<TZevVFrame*>(last)}) {
        TestVisual* v = new TestVisual(&log, f->GetName());
        f->AddVisual(v);
        v->Release();
    }
    ZevMatTranslation(root->LocalMatrix, 3, 0, 0);
    ZevMatTranslation(hidden->LocalMatrix, 0, 4, 0);

    TRecordingRenderer r;
    r.RenderVisual(root, IdentityMatrix.m);
    EXPECT_EQ(RenderList(r), (std::vector<std::string>{"after", "after", "last", "last"}));

    // A frame under a node of another class has no frame parent: its local matrix is its world matrix.
    EXPECT_EQ(hidden->GetParentFrame(), nullptr);
    TZevMatrix out;
    hidden->GetWorldMatrix(&out);
    EXPECT_TRUE(SameBits(out, hidden->LocalMatrix));
    EXPECT_EQ(ZevAsFrame(stranger), nullptr);
    EXPECT_EQ(ZevAsFrame(nullptr), nullptr);
    delete root;
}

TEST_F(Frames, DeepTreesAreWalkedWithoutRecursion)
{
    TZevFrame* root = NewFrame("root");
    TZevFrame* tip = root;
    for (int i = 0; i < 10000; ++i) {
        tip = NewFrame(nullptr, tip);
        ZevMatTranslation(tip->LocalMatrix, 0, 0, 1);
    }
    root->Traverse(nullptr, IdentityMatrix);
    EXPECT_EQ(tip->WorldMatrix.m[14], 10000.0f);
    TZevMatrix out;
    tip->GetWorldMatrix(&out);
    EXPECT_EQ(out.m[14], 10000.0f);
    delete root;
}

TEST_F(Frames, SavedFormHoldsNameAndChildrenOnly)
{
    TZevFrame* root = NewFrame("root");
    NewFrame("left", root);
    NewFrame("right", root);
    ZevMatTranslation(root->LocalMatrix, 1, 2, 3);
    std::vector<std::string> log;
    TestVisual* v = new TestVisual(&log, "v");
    root->AddVisual(v);
    v->Release();

    TZevMemStream stream;
    ASSERT_TRUE(root->Save(&stream));
    ASSERT_EQ(stream.Seek(0), 1);
    TZevLSObj* object = ReadObject(&stream);
    TZevFrame* copy = dynamic_cast<TZevFrame*>(object);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetName(), "root");
    EXPECT_TRUE(SameBits(copy->LocalMatrix, IdentityMatrix));
    EXPECT_TRUE(copy->Visuals.IsEmpty());
    TZevFrame* left = dynamic_cast<TZevFrame*>(copy->GetFirstChild());
    ASSERT_NE(left, nullptr);
    EXPECT_STREQ(left->GetName(), "left");
    ASSERT_NE(left->GetNextSibling(), nullptr);
    EXPECT_STREQ(static_cast<TZevFrame*>(left->GetNextSibling())->GetName(), "right");
    delete copy;
    delete root;
}

TEST_F(Frames, CameraFrameSetsTheViewAndDrawsTheRenderList)
{
    std::vector<std::string> log;
    TZevFrame* root = NewFrame("root");
    TZevFrame* body = NewFrame("body", root);
    TZevFrame* camera = NewFrame("camera", root);
    ZevMatTranslation(body->LocalMatrix, 0, 0, 5);
    TestVisual* v = new TestVisual(&log, "v");
    body->AddVisual(v);
    v->Release();

    TRecordingRenderer r;
    r.SetCameraFrame(root, camera); // at the origin, no rotation
    EXPECT_TRUE(SameBits(r.ViewMatrix, IdentityMatrix));
    EXPECT_EQ(log, (std::vector<std::string>{"v@body"}));
    ASSERT_EQ(r.CommandQueue.GetCount(), 1);
    EXPECT_EQ(static_cast<TZevDrawCommand*>(r.CommandQueue.First()->data)->Matrix.m[14], 5.0f);
    const TZevBox box = [] {
        TZevBox b;
        b.Set(TZevVector(-1, -1, -1), TZevVector(1, 1, 1));
        return b;
    }();
    EXPECT_EQ(r.IsBoxVisible(body->WorldMatrix, box), 1);

    // Turned half round and moved back: the view is the inverse of the camera's world matrix, and the body is
    // now behind it.
    camera->LocalMatrix = Rotated(0, 3.14159265f, 0, 0, 0, -3);
    r.ClearCommands();
    log.clear();
    r.SetCameraFrame(root, camera);
    TZevMatrix product;
    ZevMatMultiply(product, camera->LocalMatrix, r.ViewMatrix);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(product.m[i], IdentityMatrix.m[i], 1e-6f);
    EXPECT_NEAR(r.CameraPosition.z, -3.0f, 1e-6f);
    EXPECT_EQ(r.IsBoxVisible(body->WorldMatrix, box), 0);
    TZevMatrix behind;
    ZevMatTranslation(behind, 0, 0, -10);
    EXPECT_EQ(r.IsBoxVisible(behind, box), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"v@body"})); // culling is the visual's business
    r.ClearCommands();
    delete root;
}

TEST_F(Frames, MirroredCameraKeepsThePlanesFacingOut)
{
    TZevFrame* root = NewFrame("root");
    TZevFrame* camera = NewFrame("camera", root);
    ZevMatScaling(camera->LocalMatrix, -1, 1, 1); // a mirror turns every cross product round
    TRecordingRenderer r;
    r.SetCameraFrame(root, camera);
    TZevBox box;
    box.Set(TZevVector(-1, -1, 5), TZevVector(1, 1, 6));
    EXPECT_EQ(r.IsBoxVisible(IdentityMatrix, box), 1);
    box.Set(TZevVector(-20, -1, 5), TZevVector(-10, 1, 6));
    EXPECT_EQ(r.IsBoxVisible(IdentityMatrix, box), 0);
    box.Set(TZevVector(-1, -1, -6), TZevVector(1, 1, -5));
    EXPECT_EQ(r.IsBoxVisible(IdentityMatrix, box), 0);
    delete root;
}
