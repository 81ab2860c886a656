// The sprite demo: its command list fires on (a test's own) clock, its sprites move, turn, grow and fade as their
// rates say, its builtins refuse what they cannot do, and the program's own command file plays to its end with
// textures that exist.
#include "AppTestFixture.h"

#include "../common/TestFiles.h"

#include "ZevFrame.h"
#include "ZevGMDemo.h"
#include "ZevMesh.h"
#include "ZevTextureName.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

double FakeNow = 0.0;
double FakeClock() { return FakeNow; }

class SpriteDemoTest : public AppSceneTest {
protected:
    void SetUp() override
    {
        AppSceneTest::SetUp();
        ZevGMDemoInit();
        FakeNow = 1000.0;
    }
    void TearDown() override
    {
        AppSceneTest::TearDown();
        EXPECT_EQ(CurrentGMDemo, nullptr);
    }
    // A demo playing the given command-file text, started at the fake time.
    TZevGMDemo* StartDemo(const std::string& commands)
    {
        std::ofstream("cmd.txt") << commands;
        auto* demo = new TZevGMDemo;
        demo->CommandFileName = "cmd.txt";
        demo->Clock = FakeClock;
        return Start(demo);
    }
    // The clock moves on by ms, then one frame.
    void After(double ms)
    {
        FakeNow += ms;
        host.Frame();
    }
    // The corner k of a sprite's quad as the renderer sees it.
    static std::pair<float, float> Corner(TZevGMDemoSprite* sprite, int k)
    {
        const TZevVertex& v = sprite->Mesh->Geometry->Vertices()[k];
        return {v.x, v.y};
    }
    // The script value of a symbol, printed.
    std::string Value(const char* symbol) { return Run(symbol); }
};

TEST_F(SpriteDemoTest, CommandsFireWhenTheirTimeHasComeInListOrderAndTheListRunsOut)
{
    TZevGMDemo* demo = StartDemo("(def events nil)\n"
                                 "(def Zev_Demo_Comand_Data_Stream '(\n"
                                 "  (0.0 (def events (cons 'first events)))\n"
                                 "  (100.0 (def events (cons 'second events)))\n"
                                 "  (100.0 (def events (cons 'third events)))\n"
                                 "  (250 (def events (cons 'fourth events)))))\n");
    ASSERT_TRUE(LispIsPair(demo->CommandList));
    ASSERT_NE(demo->SpriteFrame, nullptr);
    EXPECT_EQ(demo->SpriteFrame->GetParent(), host.Root);
    EXPECT_EQ(demo->ShowFps, 0);
    ASSERT_FALSE(renderer.Directories.empty());
    EXPECT_EQ(renderer.Directories.back(), "objects/");
    ASSERT_EQ(renderer.Lights.size(), 1u);
    EXPECT_FLOAT_EQ(renderer.Lights[0].Ambient[0], 0.5f);

    After(0.0);
    EXPECT_EQ(Value("events"), "(first)\n");
    After(99.0);
    EXPECT_EQ(Value("events"), "(first)\n");
    After(1.0); // exactly 100 ms: both entries of that time, in list order
    EXPECT_EQ(Value("events"), "(third second first)\n");
    EXPECT_EQ(demo->Finished, 0);
    After(200.0);
    EXPECT_EQ(Value("events"), "(fourth third second first)\n");
    EXPECT_EQ(demo->Finished, 1);

    host.Final(); // Shutdown forgets the script's list
    EXPECT_EQ(Run("Zev_Demo_Comand_Data_Stream"), "nil\n");
}

TEST_F(SpriteDemoTest, AMalformedEntryHoldsTheListWithoutEvaluatingIt)
{
    TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream '((0.0 notaform) (0.0 (def x 1))))\n");
    After(50.0);
    After(50.0);
    EXPECT_TRUE(LispIsPair(demo->CommandList));
    EXPECT_EQ(demo->Finished, 0);
    EXPECT_NE(Run("x").find("Error"), std::string::npos);
}

TEST_F(SpriteDemoTest, SpritesMoveTurnAndScaleByTheirRatesFromTheirTransform)
{
    struct Case {
        const char* Velocity; // vx vy w sx sy
        float X, Y;           // corner 2, (0.5, 0.5) before, after one second
    };
    const float c = std::cos(1.0f), s = std::sin(1.0f);
    const Case cases[] = {
        {"1.0 -2.0 0.0 1.0 1.0", 0.5f + 1.0f, 0.5f - 2.0f},          // moves
        {"0.0 0.0 1.0 1.0 1.0", 0.5f * c - 0.5f * s, 0.5f * s + 0.5f * c}, // turns by 1 rad
        {"0.0 0.0 0.0 2.0 3.0", 1.0f, 1.5f},                           // grows along its own axes
    };
    for (const Case& k : cases) {
        TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream nil)\n");
        EXPECT_EQ(Run("(Sprite_Load 0 \"star.bmp\")"), "nil\n");
        EXPECT_EQ(Run(std::string("(Sprite_SetVelocity 0 ") + k.Velocity + ")"), "nil\n");
        TZevGMDemoSprite* sprite = demo->SpriteAt(0);
        ASSERT_NE(sprite, nullptr);
        After(1000.0);
        EXPECT_NEAR(Corner(sprite, 2).first, k.X, 1e-4f) << k.Velocity;
        EXPECT_NEAR(Corner(sprite, 2).second, k.Y, 1e-4f) << k.Velocity;
        host.Final();
    }

    // Turning happens about the screen's origin: a sprite placed at (2, 0) circles it.
    TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream nil)\n");
    Run("(Sprite_Load 0 \"star.bmp\")");
    EXPECT_EQ(Run("(Sprite_SetPos 0 1.0 0.0 0.0 1.0 2.0 0.0)"), "nil\n");
    Run("(Sprite_SetVelocity 0 0.0 0.0 1.5707964 1.0 1.0)");
    After(1000.0);
    const TZevMatrix3& m = demo->SpriteAt(0)->Transform;
    EXPECT_NEAR(m.m[6], 0.0f, 1e-5f);
    EXPECT_NEAR(m.m[7], 2.0f, 1e-5f);
}

TEST_F(SpriteDemoTest, FadesStayWithinZeroAndOneAndAFadeBelowZeroHidesTheQuadUntilItEnds)
{
    TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream nil)\n");
    Run("(Sprite_Load 0 \"star.bmp\")");
    TZevGMDemoSprite* sprite = demo->SpriteAt(0);
    EXPECT_EQ(Run("(Sprite_SetAlpha 0 2.0 100.0)"), "nil\n");
    After(60.0);
    EXPECT_FLOAT_EQ(sprite->Alpha, 1.0f);
    EXPECT_FLOAT_EQ(sprite->Mesh->Material.Diffuse[3], 1.0f);

    Run("(Sprite_SetAlpha 0 -1.0 100.0)"); // 0.02 per ms
    After(40.0);
    EXPECT_NEAR(sprite->Alpha, 0.2f, 1e-4f);
    EXPECT_NEAR(sprite->Mesh->Material.Ambient[3], 0.2f, 1e-4f);
    EXPECT_NEAR(Corner(sprite, 2).first, 0.5f, 1e-6f);
    After(40.0); // below 0: held at 0 and the quad collapses
    EXPECT_FLOAT_EQ(sprite->Alpha, 0.0f);
    EXPECT_FLOAT_EQ(Corner(sprite, 2).first, 0.0f);
    After(10.0); // still fading: collapsed again
    EXPECT_FLOAT_EQ(Corner(sprite, 2).first, 0.0f);
    After(20.0); // the fade has ended: the corners come back from the transform
    After(10.0);
    EXPECT_FLOAT_EQ(sprite->AlphaRate, 0.0f);
    EXPECT_NEAR(Corner(sprite, 2).first, 0.5f, 1e-6f);
}

TEST_F(SpriteDemoTest, LaterSpritesAreLargerAndLoadingAnOccupiedSlotOnlyChangesTheTexture)
{
    TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream nil)\n");
    Run("(Sprite_Load 0 \"star.bmp\")");
    Run("(Sprite_Load 100 \"ring.bmp\")");
    EXPECT_EQ(demo->SpriteCount, 101);
    EXPECT_EQ(demo->SpriteAt(50), nullptr);
    After(10.0);
    EXPECT_NEAR(Corner(demo->SpriteAt(100), 2).first, 2.0f * Corner(demo->SpriteAt(0), 2).first, 1e-6f);
    EXPECT_EQ(demo->SpriteFrame->Visuals.GetCount(), 2);

    TZevGMDemoSprite* sprite = demo->SpriteAt(0);
    TZevPolygonMesh* mesh = sprite->Mesh;
    Run("(Sprite_SetVelocity 0 1.0 0.0 0.0 1.0 1.0)");
    Run("(Sprite_Load 0 \"ring.bmp\")");
    EXPECT_EQ(demo->SpriteAt(0), sprite);
    EXPECT_EQ(sprite->Mesh, mesh);
    EXPECT_FLOAT_EQ(sprite->VelocityX, 1.0f);
    EXPECT_STREQ(mesh->Texture->Name.CStr(), "ring.bmp");
    EXPECT_EQ(demo->SpriteFrame->Visuals.GetCount(), 2);
}

TEST_F(SpriteDemoTest, BuiltinsRefuseBadCallsWithoutWritingAnything)
{
    // Without a demo every builtin says so.
    host.Interpreter.Init();
    for (const char* call : {"(Sprite_Get_Comand_Data nil)", "(Sprite_Load 0 \"a.bmp\")",
                             "(Sprite_SetPos 0 1.0 0.0 0.0 1.0 0.0 0.0)", "(Sprite_SetVelocity 0 0.0 0.0 0.0 1.0 1.0)",
                             "(Sprite_SetAlpha 0 1.0 1.0)"})
        EXPECT_EQ(Run(call).rfind("Error: GMDemo isnt Inited!", 0), 0u) << call;

    TZevGMDemo* demo = StartDemo("(def Zev_Demo_Comand_Data_Stream nil)\n");
    Run("(Sprite_Load 0 \"star.bmp\")");
    struct Case {
        const char* Call;
        const char* Error;
    };
    const Case cases[] = {
        {"(Sprite_Load -1 \"a.bmp\")", "Bad Sprite Index!"},
        {"(Sprite_Load 65536 \"a.bmp\")", "Bad Sprite Index!"},
        {"(Sprite_Load 2147483647 \"a.bmp\")", "Bad Sprite Index!"},
        {"(Sprite_SetPos -5 1.0 0.0 0.0 1.0 0.0 0.0)", "Bad Sprite Index!"},
        {"(Sprite_SetVelocity 100000 0.0 0.0 0.0 1.0 1.0)", "Bad Sprite Index!"},
        {"(Sprite_SetAlpha -2147483648 1.0 1.0)", "Bad Sprite Index!"},
        {"(Sprite_Load 1.0 \"a.bmp\")", "Bad Variable Type!"},
        {"(Sprite_Load 1 'a)", "Bad Variable Type!"},
        {"(Sprite_SetPos 0 1 0.0 0.0 1.0 0.0 0.0)", "Bad Variable Type!"},
        {"(Sprite_SetAlpha 0 1.0 0.0)", "Zero Divide!"},
        {"(Sprite_SetAlpha 0 1.0)", "Too Few Arguments!"},
        {"(Sprite_SetAlpha 0 1.0 1.0 1.0)", "Too Many Arguments!"},
        {"(Sprite_SetAlpha 0 (car 1) 1.0)", "Bad Variable Type!"}, // the argument's own error
        {"(Sprite_SetVelocity 3 0.0 0.0 0.0 1.0 1.0)", "The Sprite isnt Inited!"},
    };
    for (const Case& k : cases) {
        const std::string answer = Run(k.Call);
        EXPECT_EQ(answer.rfind(std::string("Error: ") + k.Error, 0), 0u) << k.Call << " -> " << answer;
    }
    // Only the call on sprite 3 made room (for numbers up to 3); nothing else was written.
    EXPECT_EQ(demo->SpriteCount, 4);
    EXPECT_FLOAT_EQ(demo->SpriteAt(0)->AlphaRate, 0.0f);
    EXPECT_FLOAT_EQ(demo->SpriteAt(0)->FadeTimeLeft, 0.0f);
}

TEST_F(SpriteDemoTest, OnlyTheNewestOfTwoDemosIsAddressedAndEachClearsTheCurrentDemoOnlyForItself)
{
    auto* older = new TZevGMDemo;
    EXPECT_EQ(CurrentGMDemo, older);
    auto* newer = new TZevGMDemo;
    EXPECT_EQ(CurrentGMDemo, newer);
    EXPECT_NE(ReadFile("ZevDebug.txt").find("GMDemoが二重に起動しています\n"), std::string::npos);
    delete older;
    EXPECT_EQ(CurrentGMDemo, newer);
    delete newer;
    EXPECT_EQ(CurrentGMDemo, nullptr);
}

// The program's own command file: every entry fires within its length, the sprites come and go, and every texture
// it names is a file of data/objects/.
TEST_F(SpriteDemoTest, TheProgramsCommandFilePlaysToItsEndWithTexturesOfItsOwn)
{
    namespace fs = std::filesystem;
    fs::copy_file(fs::path(QE_DATA_DIR) / "democmd2.txt", "democmd2.txt", fs::copy_options::overwrite_existing);
    auto* demo = new TZevGMDemo;
    demo->CommandFileName = "democmd2.txt";
    demo->Clock = FakeClock;
    Start(demo);
    ASSERT_TRUE(LispIsPair(demo->CommandList)) << "the file defines no command list";
    int frames = 0;
    for (; !demo->Finished && frames < 2000; ++frames)
        After(20.0);
    EXPECT_EQ(demo->Finished, 1);
    EXPECT_LT(frames * 20.0, 30000.0) << "plays for more than half a minute";
    EXPECT_GE(demo->SpriteCount, 4);
    std::set<std::string> textures;
    int moving = 0;
    for (int i = 0; i < demo->SpriteCount; ++i) {
        TZevGMDemoSprite* sprite = demo->SpriteAt(i);
        if (!sprite)
            continue;
        ASSERT_NE(sprite->Mesh->Texture, nullptr);
        textures.insert(sprite->Mesh->Texture->Name.CStr());
        moving += sprite->VelocityX != 0.0f || sprite->VelocityY != 0.0f || sprite->AngularVelocity != 0.0f;
    }
    EXPECT_GT(moving, 0);
    // Texture names also appear in commands that ran before the end: gather them from the file itself.
    const std::string all = ReadFile("democmd2.txt");
    const std::regex load("Sprite_Load\\s+\\d+\\s+\"([^\"]+)\"");
    for (std::sregex_iterator it(all.begin(), all.end(), load), end; it != end; ++it)
        textures.insert((*it)[1]);
    EXPECT_GE(textures.size(), 3u);
    for (const std::string& name : textures)
        EXPECT_TRUE(fs::exists(fs::path(QE_DATA_DIR) / "objects" / name)) << name;
    const std::string log = ReadFile("ZevDebug.txt");
    EXPECT_EQ(log.find(" ms failed: "), std::string::npos) << log;
}

} // namespace
