// Bodies: creation from model files along the search directories, empty bodies, preparation, deletion, the body
// file, the collision box, and the script wrappers.
#include "EngineTestHost.h"
#include "LispLSObj.h"
#include "QEContext.h"
#include "ZevGameChara.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string DataDir = QE_DATA_DIR;

TZevGameChara* Body(QE_XPhBody* handle) { return reinterpret_cast<TZevGameChara*>(handle); }

// The files the object search tried and failed to open, in order, from the debug log.
std::vector<std::string> FailedOpens()
{
    std::ifstream log("ZevDebug.txt");
    std::vector<std::string> names;
    std::string line;
    const std::string marker = "FileName\xE2\x80\xA6 \"";
    while (std::getline(log, line)) {
        const auto at = line.find(marker);
        if (at == std::string::npos)
            continue;
        const auto start = at + marker.size();
        names.push_back(line.substr(start, line.find('"', start) - start));
    }
    return names;
}

int TopBodyCount()
{
    int n = 0;
    for (TZevCTree* t = CurrentWorld->activeRoot->FirstChildTree(); t; t = t->NextSiblingTree())
        n += dynamic_cast<TZevGameChara*>(t) ? 1 : 0;
    return n;
}

class BodiesTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ObjectPathList.Clear();
        ASSERT_EQ(QE_PhOnlyInit(), 1);
    }
    void TearDown() override
    {
        EngineTest::TearDown();
        ObjectPathList.Clear();
    }
};

TEST_F(BodiesTest, ModelFileSearchTriesTheNameThenEachDirectoryInOrder)
{
    fs::create_directories("second");
    fs::copy_file(DataDir + "/lbox.x", "second/only_second.x", fs::copy_options::overwrite_existing);
    fs::copy_file(DataDir + "/lbox.x", "pre_joined.x", fs::copy_options::overwrite_existing);
    ObjectPathList.Add("first/");
    ObjectPathList.Add("second/");
    ObjectPathList.Add("pre_"); // no separator: put in front of the name as it is
    const std::vector<std::string> before = FailedOpens();

    QE_XPhBody* body = QE_LoadXPhBody("only_second.x");
    ASSERT_NE(body, nullptr);
    std::vector<std::string> tried = FailedOpens();
    tried.erase(tried.begin(), tried.begin() + static_cast<long>(before.size()));
    const std::vector<std::string> expected = {"only_second.x", "objects/only_second.x",
                                               "/usr/share/vizorudada/qetest/objects/only_second.x",
                                               "first/only_second.x"};
    EXPECT_EQ(tried, expected);

    EXPECT_NE(QE_LoadXPhBody("joined.x"), nullptr);
    EXPECT_EQ(QE_LoadXPhBody("nowhere.x"), nullptr);
    EXPECT_EQ(QE_LoadXPhBody(nullptr), nullptr);
    EXPECT_EQ(TopBodyCount(), 2);
}

TEST_F(BodiesTest, NewBodiesArePreparedWithMassInertiaAndAirResistance)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    struct Case {
        const char* what;
        QE_XPhBody* body;
        float air;
    } cases[] = {
        {"loaded", QE_LoadXPhBody("chair.x"), 0.1f},
        {"empty", QE_MakeEmptyXPhBody(), 0.5f},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.body, nullptr) << c.what;
        float mass = 0, air = 0;
        EXPECT_EQ(QE_XPhBodyGetMass(c.body, &mass), 1);
        EXPECT_EQ(mass, 1.0f) << c.what;
        EXPECT_EQ(QE_XPhBodyGetEAirRegistance1(c.body, &air), 1);
        EXPECT_FLOAT_EQ(air, c.air) << c.what;
        EXPECT_NE(Body(c.body)->IsDynamic(), 0) << c.what;
        EXPECT_EQ(Body(c.body)->visualFrame->GetParent(), RootFrame) << c.what;
    }
    // The loaded body's tensor is that of the box around it, half extents measured from its position.
    float box[6], m[16], t[9];
    ASSERT_EQ(QE_XPhBodyGetAABB(cases[0].body, &box[0], &box[1], &box[2], &box[3], &box[4], &box[5]), 1);
    ASSERT_EQ(QE_GetXPhBodyMat(cases[0].body, m), 1);
    float edge[3];
    for (int i = 0; i < 3; ++i)
        edge[i] = 2.0f * std::max(std::fabs(box[3 + i] - m[12 + i]), std::fabs(m[12 + i] - box[i]));
    ASSERT_EQ(QE_XPhBodyGetInertiaTensor(cases[0].body, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &t[7],
                                         &t[8]),
              1);
    EXPECT_FLOAT_EQ(t[0], (edge[1] * edge[1] + edge[2] * edge[2]) / 12.0f);
    EXPECT_FLOAT_EQ(t[4], (edge[0] * edge[0] + edge[2] * edge[2]) / 12.0f);
    EXPECT_FLOAT_EQ(t[8], (edge[0] * edge[0] + edge[1] * edge[1]) / 12.0f);
    EXPECT_EQ(t[1], 0.0f);
}

TEST_F(BodiesTest, DeletingBodies)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    QE_XPhBody* a = QE_LoadXPhBody("lbox.x");
    QE_XPhBody* b = QE_MakeEmptyXPhBody();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(QE_DeleteXPhBody(nullptr), 0);
    EXPECT_EQ(QE_DeleteXPhBody(a), 1);
    EXPECT_EQ(TopBodyCount(), 1);
    QE_LoadXPhBody("chair.x");
    EXPECT_EQ(QE_DeleteAllXPhBody(), 1);
    EXPECT_EQ(TopBodyCount(), 0);
    EXPECT_EQ(QE_DeleteAllXPhBody(), 1);
    QE_PhOnlyFinal();
    EXPECT_EQ(QE_DeleteAllXPhBody(), 0);
    EXPECT_EQ(QE_MakeEmptyXPhBody(), nullptr);
    EXPECT_EQ(QE_LoadXPhBody("lbox.x"), nullptr);
}

TEST_F(BodiesTest, BodyFileRoundTrip)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    QE_XPhBody* body = QE_LoadXPhBody("chair.x");
    ASSERT_NE(body, nullptr);
    const float m[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 1.5f, 2.0f, -3.0f, 1};
    ASSERT_EQ(QE_SetXPhBodyMat(body, m), 1);
    ASSERT_EQ(QE_XPhBodySetMass(body, 2.5f), 1);
    ASSERT_EQ(QE_XPhBodySetEAirRegistance1(body, 0.25f), 1);

    EXPECT_EQ(QE_XPhBodySaveToFile(body, "chair.body"), 1);
    EXPECT_TRUE(fs::exists("chair.body"));
    EXPECT_EQ(QE_XPhBodySaveToFile(body, "no/such/dir/chair.body"), 0); // a failed save is reported
    EXPECT_EQ(QE_XPhBodySaveToFile(nullptr, "x.body"), 0);

    QE_XPhBody* back = QE_XPhBodyLoadFromFile("chair.body");
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back, body);
    float read[16], mass = 0, air = 0;
    ASSERT_EQ(QE_GetXPhBodyMat(back, read), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(read[i], m[i]) << i;
    EXPECT_EQ(QE_XPhBodyGetMass(back, &mass), 1);
    EXPECT_EQ(mass, 2.5f);
    EXPECT_EQ(QE_XPhBodyGetEAirRegistance1(back, &air), 1);
    EXPECT_EQ(air, 0.25f);
    EXPECT_EQ(QE_XPhBodyLoadFromFile("missing.body"), nullptr);
    {
        std::ofstream junk("junk.body", std::ios::binary);
        junk << "not a body file at all";
    }
    EXPECT_EQ(QE_XPhBodyLoadFromFile("junk.body"), nullptr);
    EXPECT_EQ(QE_DeleteXPhBody(back), 1);
}

TEST_F(BodiesTest, CollisionBoxAndVisualMesh)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    QE_XPhBody* body = QE_LoadXPhBody("chair.x");
    ASSERT_NE(body, nullptr);
    float before[6], after[6];
    QE_XPhBodyGetAABB(body, &before[0], &before[1], &before[2], &before[3], &before[4], &before[5]);
    EXPECT_EQ(QE_XPhBodyCollisionBoxApprox(body), 1);
    TZevPolygonMesh* collision = Body(body)->collisionMesh;
    ASSERT_NE(collision, nullptr);
    EXPECT_NE(collision, Body(body)->visualMesh);
    EXPECT_EQ(collision->Geometry->FaceCount, 12);
    QE_XPhBodyGetAABB(body, &after[0], &after[1], &after[2], &after[3], &after[4], &after[5]);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(after[i], before[i], 1e-4f) << i;
    EXPECT_EQ(QE_XPhBodyCollisionBoxApprox(nullptr), 0);

    // A fresh world: the box of the chair against the visual of a body at the same place trips the collision
    // links at teardown (reported to the physics side).
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    QE_XPhBody* empty = QE_MakeEmptyXPhBody();
    EXPECT_EQ(QE_LoadXPhBodyVisual(empty, "lbox.x"), 1); // found through the search directories
    EXPECT_NE(Body(empty)->visualMesh, nullptr);
    EXPECT_EQ(QE_LoadXPhBodyVisual(empty, "nowhere.x"), 0);
    EXPECT_EQ(QE_LoadXPhBodyVisual(nullptr, "lbox.x"), 0);
}

TEST_F(BodiesTest, ScriptBodiesAndTheirWrappers)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    EXPECT_EQ(Run("(def b (LoadXPhBody \"chair.x\")) (XPhBodyGetMass b) (XPhBodyGetEAirRegistance b)"),
              "b\n1.000000\n0.100000\n");
    EXPECT_EQ(Run("(def e (MakeEmptyXPhBody)) (XPhBodyGetEAirRegistance e)"), "e\n0.500000\n");
    EXPECT_EQ(Run("(LoadXPhBody \"nowhere.x\")"), "nil\n");
    EXPECT_EQ(XPhBodyList.GetCount(), 2);
    // A deleted body leaves its wrapper without a body: the other builtins answer nil, a second delete t.
    EXPECT_EQ(Run("(DeleteXPhBody b) (XPhBodyGetMass b) (DeleteXPhBody b)"), "t\nnil\nt\n");
    // A wrapper of another class is not a body.
    EXPECT_EQ(Run("(def f (CreateZevLispObj \"TZevFrame\")) (DeleteXPhBody f) (XPhBodyGetMass f)"),
              "f\nnil\nnil\n");
    EXPECT_EQ(Run("(DeleteAllXPhBody) (XPhBodyGetMass e) (DeleteAllXPhBody)"), "t\nnil\nt\n");
    EXPECT_NE(Run("(DeleteXPhBody 3)").find("Bad Argument!"), std::string::npos);
    // Wrappers leave the list with their last value.
    EXPECT_EQ(Run("(def b nil) (def e nil)"), "b\ne\n");
    EXPECT_EQ(XPhBodyList.GetCount(), 0);
}

TEST_F(BodiesTest, EasyDeformableBodiesAreSoft)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    EXPECT_EQ(Run("(def d (LoadXPhEasyDeformableObj \"chair.x\")) (XPhBodyGetEAirRegistance d)"), "d\n0.500000\n");
    TZevGameChara* body = static_cast<TZevLispXPhBody*>(XPhBodyList.Last()->data)->Body;
    ASSERT_NE(body, nullptr);
    EXPECT_NE(body->DeformPart, nullptr);
    EXPECT_EQ(body->ParentTree(), CurrentWorld->activeRoot);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(Run("(LoadXPhEasyDeformableObj \"nowhere.x\")"), "nil\n");
}

TEST_F(BodiesTest, ABodyAnswersWithOneScriptValue)
{
    QE_XPhBody* body = QE_MakeEmptyXPhBody();
    TZevLispRef first, second;
    GetXPhBodyLispObj(first, Body(body));
    GetXPhBodyLispObj(second, Body(body));
    EXPECT_FALSE(first.IsNull());
    EXPECT_EQ(first, second);
    EXPECT_EQ(QEScriptBody(LispLSObj(first)->Object), Body(body));
    // The body going clears the wrapper's body pointer.
    QE_DeleteXPhBody(body);
    EXPECT_EQ(QEScriptBody(LispLSObj(first)->Object), nullptr);
}

TEST_F(BodiesTest, SaveLoadTestReloadsTheBodyIntoTheWorld)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    EXPECT_EQ(Run("(def b (LoadXPhBody \"chair.x\")) (def e (MakeEmptyXPhBody)) (XPhBodySetMass b 3.0)"),
              "b\ne\nt\n");
    EXPECT_EQ(Run("(def c (XPhObjSaveLoadTest b \"saved.body\")) (XPhBodyGetMass b) (XPhBodyGetMass c)"),
              "c\nnil\n3.000000\n");
    EXPECT_EQ(TopBodyCount(), 1);
    EXPECT_EQ(Run("(XPhObjSaveLoadTest (CreateZevLispObj \"TZevFrame\") \"x.body\")"), "nil\n");
    EXPECT_EQ(Run("(XPhObjSaveLoadTest c \"no/such/dir/x.body\")"), "nil\n");
    QE_PhOnlyFinal();
    EXPECT_EQ(Run("(XPhObjSaveLoadTest c \"saved2.body\")"), "nil\n");
    EXPECT_EQ(Run("(LoadXPhBody \"chair.x\") (MakeEmptyXPhBody) (DeleteAllXPhBody) (AddXPhObjectPath \"x/\")"),
              "nil\nnil\nnil\nnil\n");
}

// A body file read back and saved again holds the same bytes, its script value (and what hangs on it) included.
TEST_F(BodiesTest, ABodyFileLoadedAndSavedAgainIsTheSameFile)
{
    ObjectPathList.Add((DataDir + "/").c_str());
    const auto bytes = [](const char* name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    ASSERT_EQ(Run("(def b (LoadXPhBody \"lbox.x\")) (XPhBodySetData b '(1 2.5 \"x\")) "
                  "(XPhBodySetFunction b 'onstep)"),
              "b\nt\nt\n");
    // Through the script's own save-and-load, twice.
    ASSERT_EQ(Run("(def c (XPhObjSaveLoadTest b \"first.body\")) (def d (XPhObjSaveLoadTest c \"second.body\"))"),
              "c\nd\n");
    const std::string first = bytes("first.body");
    EXPECT_GT(first.size(), 500u);
    EXPECT_EQ(bytes("second.body").size(), first.size());
    EXPECT_TRUE(bytes("second.body") == first);
    EXPECT_EQ(Run("(XPhBodyGetData d)"), "(1 2.500000 \"x\")\n");
    // Through the C interface, from the body the script holds (the world's only one).
    ASSERT_EQ(TopBodyCount(), 1);
    TZevGameChara* body = dynamic_cast<TZevGameChara*>(CurrentWorld->activeRoot->FirstChildTree());
    ASSERT_NE(body, nullptr);
    QE_XPhBody* handle = reinterpret_cast<QE_XPhBody*>(body);
    ASSERT_EQ(QE_XPhBodySaveToFile(handle, "third.body"), 1);
    QE_XPhBody* back = QE_XPhBodyLoadFromFile("third.body");
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(QE_XPhBodySaveToFile(back, "fourth.body"), 1);
    for (const char* name : {"third.body", "fourth.body"}) {
        EXPECT_EQ(bytes(name).size(), first.size()) << name;
        EXPECT_TRUE(bytes(name) == first) << name;
    }
    QE_DeleteXPhBody(back);
}

} // namespace
