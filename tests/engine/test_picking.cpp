// Picking, guide lines, the edit character, mouse procedures, the depth clip, the status text and the body data
// handed to a host renderer.
#include "QEPicking.h"
#include "test_camera_fixture.h"

#include "ZevGameChara.h"
#include "ZevLineMesh.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"
#include "ZevMeshPools.h"

#include <cmath>
#include <vector>

namespace {

class PickingTest : public EngineScriptTest {
protected:
    void TearDown() override
    {
        DrawLineMesh = nullptr;
        QE_MouseFunctionDesc none = {};
        HostMouseRelease = nullptr;
        QE_SetMouseFunction(&none);
        EngineScriptTest::TearDown();
    }
    std::uint32_t LastLineColor()
    {
        if (lines.Segments.IsEmpty())
            return 0;
        return static_cast<TZevSegmentRecord*>(lines.Segments.Last()->data)->Color;
    }
    TZevLineMesh lines;
};

TEST_F(PickingTest, LinesGoToTheSceneLineMesh)
{
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f}, half[4] = {0.5f, 0.0f, 0.0f, 2.0f};
    const float a[3] = {0, 0, 0}, b[3] = {1, 2, 3};
    EXPECT_EQ(QE_XPhDrawLine(red, a, b), 0); // no line mesh published
    EXPECT_EQ(Run("(XPhDrawLine '(255 0 0 255) '(0 0 0) '(1 1 1))"), "nil\n");
    DrawLineMesh = &lines;
    EXPECT_EQ(QE_XPhDrawLine(nullptr, a, b), 0);
    EXPECT_EQ(QE_XPhDrawLine(red, nullptr, b), 0);
    EXPECT_EQ(QE_XPhDrawLine(red, a, b), 1);
    EXPECT_EQ(LastLineColor(), 0xFFFF0000u);
    EXPECT_EQ(QE_XPhDrawLine(half, a, b), 1); // 0.5 gives 128; an alpha above 1 is held at 255
    EXPECT_EQ(LastLineColor(), 0xFF800000u);
    RunCases<3>({
        {"(XPhDrawLine '(255 0 0 255) '(0 0 0) '(1 1 1))", "t\n"},
        {"(XPhDrawLine '(255 0 0) '(0 0 0) '(1 1 1))",
         "Error: Bad Argument!\n   in \"(XPhDrawLine '(255 0 0) '(0 0 0) '(1 1 1))\"\n\n"},
        {"(XPhDrawLine '(0 256 0 0) '(0 0 0) '(1 1 1))", "t\n"},
    });
    EXPECT_EQ(LastLineColor(), 0x00010000u); // unmasked: green spills into red
    int count = 0;
    for (void* item : lines.Segments) {
        (void)item;
        ++count;
    }
    EXPECT_EQ(count, 4);
}

int gMouseCalls = 0;
std::vector<void*> gReleased;
int MouseDown(const QE_MouseEvent*)
{
    return ++gMouseCalls;
}
int MouseRelease(void* user)
{
    gReleased.push_back(user);
    return 1;
}

TEST_F(PickingTest, MouseFunctionsByNameAndTheirRelease)
{
    ASSERT_EQ(QE_RegisterFunction("PickTestDown", reinterpret_cast<QE_Function>(MouseDown)), 1);
    ASSERT_EQ(QE_RegisterFunction("PickTestRelease", reinterpret_cast<QE_Function>(MouseRelease)), 1);
    gReleased.clear();
    int first = 1, second = 2;
    EXPECT_EQ(QE_SetMouseFunction(nullptr), 0);
    QE_MouseFunctionDesc desc = {"PickTestDown", nullptr, "no such function", "PickTestRelease", &first};
    ASSERT_EQ(QE_SetMouseFunction(&desc), 1);
    EXPECT_EQ(HostMouseDown, &MouseDown);
    EXPECT_EQ(HostMouseMove, nullptr);
    EXPECT_EQ(HostMouseUp, nullptr); // a name found nowhere gives no function
    EXPECT_TRUE(gReleased.empty());
    QE_MouseFunctionDesc again = {nullptr, nullptr, nullptr, nullptr, &second};
    ASSERT_EQ(QE_SetMouseFunction(&again), 1);
    ASSERT_EQ(gReleased.size(), 1u); // released with the first user data before the second is taken
    EXPECT_EQ(gReleased[0], &first);
    EXPECT_EQ(HostMouseDown, &MouseDown); // null names keep the functions
    EXPECT_EQ(HostMouseUserData, &second);
}

TEST_F(PickingTest, ScriptMouseValuesEditCharaAndStatusText)
{
    RunCases<12>({
        {"(SetMouseDownProc 'OnDown)", "t\n"},
        {"(SetMouseData '(1 2))", "t\n"},
        {"(GetMouseData)", "(1 2)\n"},
        {"(GetMouseUpProc)", "nil\n"},
        {"(SetEditChara 42)", "t\n"},
        {"(GetEditChara)", "42\n"},
        {"(XPhSet_EasyViewText \"speed 3\")", "t\n"},
        {"(XPhGet_EasyViewText)", "\"speed 3\"\n"},
        {"(XPhSet_EasyViewText 3)", "Error: Bad Argument!\n   in \"(XPhSet_EasyViewText 3)\"\n\n"},
        {"(SetMouseMoveProc)", "Error: Bad Argument!\n   in \"(SetMouseMoveProc)\"\n\n"},
        {"(SetMouseUpProc 'up)", "t\n"},
        {"(GetMouseUpProc)", "up\n"},
    });
    EXPECT_FALSE(MouseDownProc.IsNull());
    QE_PhOnlyFinal();
    RunCases<3>({
        {"(GetMouseData)", "nil\n"},
        {"(SetMouseData 1)", "nil\n"},
        {"(XPhGet_EasyViewText)", "nil\n"},
    });
    QE_XPhBody* body = reinterpret_cast<QE_XPhBody*>(&body);
    EXPECT_EQ(QE_GetEditChara(nullptr), 0);
    EXPECT_EQ(QE_SetEditChara(nullptr), 1);
    EXPECT_EQ(QE_GetEditChara(&body), 1);
    EXPECT_EQ(body, nullptr);
}

TEST_F(PickingTest, DepthClipKeepsTheFieldOfView)
{
    EXPECT_EQ(QE_XPhSetZClip(1.0f, 1000.0f), 0); // no view
    CurrentView = &view;
    const float p[16] = {1.5f, 0, 0, 0, 0, 2.0f, 0, 0, 0, 0, 1.0f, 1.0f, 0, 0, -1.0f, 0};
    ASSERT_EQ(QE_SetXPhProjection(p), 1);
    ASSERT_EQ(QE_XPhSetZClip(1.0f, 1000.0f), 1);
    float out[16];
    ASSERT_EQ(QE_GetXPhProjection(out), 1);
    EXPECT_NEAR(out[10], 1.001001f, 1e-6f);
    EXPECT_NEAR(out[14], -1.001001f, 1e-6f);
    for (int i : {0, 5, 11, 15})
        EXPECT_FLOAT_EQ(out[i], p[i]) << i;
    // A near plane at or beyond the far one is refused, the projection unchanged.
    struct Clip {
        float n, f;
    } bad[] = {{5.0f, 5.0f}, {10.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, INFINITY}, {NAN, 10.0f}};
    for (const Clip& c : bad)
        EXPECT_EQ(QE_XPhSetZClip(c.n, c.f), 0) << c.n << " " << c.f;
    ASSERT_EQ(QE_GetXPhProjection(out), 1);
    EXPECT_NEAR(out[10], 1.001001f, 1e-6f);
}

TEST_F(PickingTest, HostRenderDataRefusesBadInput)
{
    QE_RenderData data;
    const QE_BodyEnumDesc noFunction = {nullptr, nullptr};
    QE_Vertex v[3] = {};
    unsigned short indices[3] = {0, 1, 2};
    QE_Face face = {3, indices};
    struct Row {
        const char* what;
        int result;
    } rows[] = {
        {"render data, null body", QE_GetXPhBodyRenderData(nullptr, &data)},
        {"collision data, null body", QE_GetXPhBodyCollisionData(nullptr, &data)},
        {"enumeration, null", QE_GetXPhBodyEnume(nullptr)},
        {"enumeration, no function", QE_GetXPhBodyEnume(&noFunction)},
        {"texture, null body", QE_SetXPhBodyTexture(nullptr, "a.bmp")},
        {"collision vertices, null body", QE_SetCollisionVertices(nullptr, 3, v, 1, &face)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.result, 0) << r.what;
}

QE_XPhBody* BoxAt(float x)
{
    QE_XPhBody* body = QE_LoadXPhBody(QE_DATA_DIR "/lbox.x");
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, 0, 0, 1};
    if (body)
        QE_SetXPhBodyMat(body, m);
    return body;
}

TEST_F(PickingTest, PickTheNearerOfTwoBodies)
{
    QE_XPhBody* near = BoxAt(0.0f);
    QE_XPhBody* far = BoxAt(4.0f);
    ASSERT_TRUE(near && far);
    const float start[3] = {-10.0f, 0.1f, 0.2f}, ray[3] = {1.0f, 0.0f, 0.0f}, away[3] = {-1.0f, 0.0f, 0.0f};
    QE_PickResult hit = {};
    ASSERT_EQ(QE_XPhRayPick(start, ray, &hit), 1);
    EXPECT_EQ(hit.body, near);
    EXPECT_NEAR(hit.x, -1.0f, 1e-4f);
    EXPECT_NEAR(hit.distance, 9.0f, 1e-4f);
    // From the other side the other body is the nearer one.
    const float beyond[3] = {10.0f, 0.1f, 0.2f};
    ASSERT_EQ(QE_XPhRayPick(beyond, away, &hit), 1);
    EXPECT_EQ(hit.body, far);
    ASSERT_EQ(QE_XPhRayPickNCBody(near, start, ray, &hit), 1);
    EXPECT_EQ(hit.body, far);
    EXPECT_NEAR(hit.x, 3.0f, 1e-4f);
    EXPECT_EQ(QE_XPhRayPick(start, away, &hit), 0); // nothing behind the start
    EXPECT_EQ(hit.body, nullptr);
    EXPECT_EQ(QE_XPhRayPick(nullptr, ray, &hit), 0);
    EXPECT_EQ(QE_XPhRayPick(start, ray, nullptr), 0);
    EXPECT_EQ(QE_XPhRayPickNCBody(reinterpret_cast<QE_XPhBody*>(&hit), start, ray, &hit), 0); // not a body

    // Scripts: only with the scene's line mesh; the hit body's own script value.
    Run("(def far (XPhRayPick '(10 0.1 0.2) '(-1 0 0)))");
    EXPECT_EQ(Run("far"), "nil\n");
    DrawLineMesh = &lines;
    EXPECT_EQ(Run("(car (cdr (XPhRayPick '(-10 0.1 0.2) '(1 0 0))))"), "(-1.000000 0.100000 0.200000)\n");
    EXPECT_EQ(Run("(car (cdr (cdr (XPhRayPick '(-10 0.1 0.2) '(1 0 0)))))"), "9.000000\n");
    EXPECT_EQ(Run("(eq (car (XPhRayPick '(-10 0 0) '(1 0 0))) (car (XPhRayPick '(-10 0 0) '(1 0 0))))"), "t\n");
    EXPECT_EQ(Run("(def n (car (XPhRayPick '(-10 0 0) '(1 0 0))))"), "n\n");
    EXPECT_EQ(Run("(car (cdr (XPhRayPickNCBody n '(-10 0.1 0.2) '(1 0 0))))"), "(3.000000 0.100000 0.200000)\n");
    RunCases<3>({
        {"(XPhRayPick '(-10 0 0) '(-1 0 0))", "nil\n"},
        {"(XPhRayPickNCBody (CreateZevLispObj \"TZevStringTree\") '(-10 0 0) '(1 0 0))", "nil\n"},
        {"(XPhRayPick '(-10 0 0))", "Error: Bad Argument!\n   in \"(XPhRayPick '(-10 0 0))\"\n\n"},
    });
}

TEST_F(PickingTest, RenderAndCollisionDataOfBodies)
{
    QE_XPhBody* box = BoxAt(0.0f);
    QE_XPhBody* empty = QE_MakeEmptyXPhBody();
    ASSERT_TRUE(box && empty);
    QE_RenderData data;
    ASSERT_EQ(QE_GetXPhBodyRenderData(box, &data), 1);
    EXPECT_EQ(data.vertexCount, 24);
    EXPECT_GT(data.faceCount, 0);
    ASSERT_NE(data.vertices, nullptr);
    ASSERT_NE(data.faces, nullptr);
    EXPECT_EQ(data.textureName, nullptr);
    EXPECT_FLOAT_EQ(std::fabs(data.vertices[0].x), 1.0f);
    for (int f = 0; f < data.faceCount; ++f) {
        for (unsigned i = 0; i < data.faces[f].indexCount; ++i)
            EXPECT_LT(data.faces[f].indices[i], data.vertexCount);
    }
    ASSERT_EQ(QE_GetXPhBodyCollisionData(box, &data), 1);
    EXPECT_GT(data.vertexCount, 0);
    EXPECT_EQ(data.textureName, nullptr);

    // A body without meshes reports zero counts and no arrays.
    for (auto get : {QE_GetXPhBodyRenderData, QE_GetXPhBodyCollisionData}) {
        data.vertexCount = data.faceCount = -1;
        ASSERT_EQ(get(empty, &data), 1);
        EXPECT_EQ(data.vertexCount, 0);
        EXPECT_EQ(data.faceCount, 0);
        EXPECT_EQ(data.vertices, nullptr);
        EXPECT_EQ(data.faces, nullptr);
    }
    EXPECT_EQ(QE_SetXPhBodyTexture(empty, "blue.BMP"), 0); // no visual mesh to take it

    // A texture found through the object directories comes with its pixels.
    QEAddObjectPath(QE_DATA_DIR "/objects/");
    ASSERT_EQ(QE_SetXPhBodyTexture(box, "blue.BMP"), 1);
    ASSERT_EQ(QE_GetXPhBodyRenderData(box, &data), 1);
    EXPECT_STREQ(data.textureName, "blue.BMP");
    ASSERT_NE(data.texturePixels, nullptr);
    EXPECT_EQ(data.textureWidth, 32);
    EXPECT_EQ(data.textureHeight, 32);
    // RGBA rows from the top: the file's first (bottom-left) pixel, blue 0x1e, green 0x1d, red 0x1d, ends the
    // buffer's last row.
    QEAddObjectPath(QE_DATA_DIR "/");
    ASSERT_EQ(QE_SetXPhBodyTexture(box, "tire.bmp"), 1);
    ASSERT_EQ(QE_GetXPhBodyRenderData(box, &data), 1);
    ASSERT_NE(data.texturePixels, nullptr);
    ASSERT_EQ(data.textureWidth, 64);
    ASSERT_EQ(data.textureHeight, 64);
    const auto* px = static_cast<const unsigned char*>(data.texturePixels) + 63 * 64 * 4;
    EXPECT_EQ(px[0], 0x1d);
    EXPECT_EQ(px[1], 0x1d);
    EXPECT_EQ(px[2], 0x1e);
    EXPECT_EQ(px[3], 0xff);
    ASSERT_EQ(QE_SetXPhBodyTexture(box, "no-such-texture.bmp"), 1);
    ASSERT_EQ(QE_GetXPhBodyRenderData(box, &data), 1);
    EXPECT_EQ(data.textureName, nullptr);
    EXPECT_EQ(data.texturePixels, nullptr);
}

std::vector<QE_XPhBody*> gEnumerated;
int Collect(QE_XPhBody* body, void* user)
{
    gEnumerated.push_back(body);
    if (user)
        QE_DeleteXPhBody(*static_cast<QE_XPhBody**>(user)); // a host may delete bodies while it walks
    return 1;
}

TEST_F(PickingTest, EnumerationVisitsEveryBodyOnce)
{
    QE_XPhBody* a = BoxAt(0.0f);
    QE_XPhBody* b = BoxAt(3.0f);
    QE_XPhBody* c = BoxAt(6.0f);
    const float anchor[3] = {0, 0, 0}, z[3] = {0, 0, 1}, x[3] = {1, 0, 0};
    ASSERT_NE(QE_XPhBodyAddJointChild(a, b, anchor, z, x, 0.5f), nullptr);
    gEnumerated.clear();
    QE_BodyEnumDesc desc = {nullptr, Collect};
    ASSERT_EQ(QE_GetXPhBodyEnume(&desc), 1);
    // Pre-order; the joint took a's tree into the world again, after c.
    EXPECT_EQ(gEnumerated, (std::vector<QE_XPhBody*>{c, a, b}));
    gEnumerated.clear();
    desc.userData = &b;
    ASSERT_EQ(QE_GetXPhBodyEnume(&desc), 1);
    EXPECT_EQ(gEnumerated, (std::vector<QE_XPhBody*>{c, a})); // b went before its turn
}

TEST_F(PickingTest, CollisionVerticesAreValidated)
{
    QE_XPhBody* body = BoxAt(0.0f);
    ASSERT_NE(body, nullptr);
    QE_Vertex v[4] = {{0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 0},
                      {0, 0, 1, 0, 0, 0, 0, 0}};
    unsigned short f0[3] = {0, 2, 1}, f1[3] = {0, 1, 3}, f2[3] = {0, 3, 2}, f3[3] = {1, 2, 3};
    unsigned short beyond[3] = {0, 1, 4};
    QE_Face faces[4] = {{3, f0}, {3, f1}, {3, f2}, {3, f3}};
    QE_Face badIndex[2] = {{3, f0}, {3, beyond}};
    QE_Face nullIndices[1] = {{3, nullptr}};
    QE_Face tooFew[1] = {{2, f0}};
    struct Row {
        const char* what;
        int vertexCount;
        const QE_Vertex* vertices;
        int faceCount;
        const QE_Face* faces;
    } rows[] = {
        {"index beyond the vertices", 4, v, 2, badIndex},
        {"null index array", 4, v, 1, nullIndices},
        {"face of two corners", 4, v, 1, tooFew},
        {"null vertices", 4, nullptr, 4, faces},
        {"null faces", 4, v, 4, nullptr},
        {"negative vertex count", -4, v, 4, faces},
        {"negative face count", 4, v, -1, faces},
        {"no faces", 4, v, 0, faces},
        {"more vertices than indices reach", 70000, v, 4, faces},
    };
    for (const Row& r : rows)
        EXPECT_EQ(QE_SetCollisionVertices(body, r.vertexCount, r.vertices, r.faceCount, r.faces), 0) << r.what;
    QE_RenderData data;
    ASSERT_EQ(QE_GetXPhBodyRenderData(body, &data), 1);
    EXPECT_EQ(data.vertexCount, 24); // unchanged

    ASSERT_EQ(QE_SetCollisionVertices(body, 4, v, 4, faces), 1);
    ASSERT_EQ(QE_GetXPhBodyRenderData(body, &data), 1);
    EXPECT_EQ(data.vertexCount, 4);
    EXPECT_EQ(data.faceCount, 4);
    ASSERT_EQ(QE_GetXPhBodyCollisionData(body, &data), 1);
    EXPECT_GT(data.faceCount, 0);
    EXPECT_EQ(QEBody(body)->Parent(), CurrentWorld->activeRoot); // back in the world
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QE_PhOnlyStep(), 1);
}

TEST_F(PickingTest, VertexTransformsOfBodies)
{
    Run("(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
    RunCases<2>({
        {"(SetXPhVertexTransformMat b '((1 0 0) (0 1 0) (0 0 1) (5 0 0)))", "t\n"},
        {"(SetXPhVertexTransformMat b '((1 0 0) (0 1 0)))",
         "Error: Bad Argument!\n   in \"(SetXPhVertexTransformMat b '((1 0 0) (0 1 0)))\"\n\n"},
    });
    QE_XPhBody* body = QEBodyHandle(QEScriptBody(Object("b")));
    QE_RenderData data;
    auto extentX = [&](float* lo, float* hi) {
        ASSERT_EQ(QE_GetXPhBodyRenderData(body, &data), 1);
        *lo = 1e9f;
        *hi = -1e9f;
        for (int i = 0; i < data.vertexCount; ++i) {
            *lo = std::fmin(*lo, data.vertices[i].x);
            *hi = std::fmax(*hi, data.vertices[i].x);
        }
    };
    float lo = 0.0f, hi = 0.0f;
    extentX(&lo, &hi);
    EXPECT_FLOAT_EQ(lo, 4.0f);
    EXPECT_FLOAT_EQ(hi, 6.0f);
    RunCases<2>({
        {"(XPhBodyVertexTransFormToCenter b)", "t\n"},
        {"(XPhBodyVertexTransFormToCenter (CreateZevLispObj \"TZevStringTree\"))", "nil\n"},
    });
    extentX(&lo, &hi);
    EXPECT_FLOAT_EQ(lo, -1.0f);
    EXPECT_FLOAT_EQ(hi, 1.0f);
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 2, 0, 1};
    EXPECT_EQ(QE_SetXPhVertexTransformMat(nullptr, shift), 0);
    EXPECT_EQ(QE_SetXPhVertexTransformMat(body, nullptr), 0);
    EXPECT_EQ(QE_SetXPhVertexTransformMat(body, shift), 1);
}

} // namespace
