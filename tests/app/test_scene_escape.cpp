// ESCAPE ends the run of every kind of scene a view shows: the script and code scenes, the sprite demo and the
// flight test scene (which have no world of the scene base), as the view hands the key's release to its host.
#include "AppTestFixture.h"

#include "ZevFlightScene.h"
#include "ZevGMDemo.h"
#include "ZevGrabScene.h"

#include <fstream>
#include <functional>

namespace {

using SceneEscapeTest = AppSceneTest;

TEST_F(SceneEscapeTest, EscapeReleasedEndsEveryKindOfScene)
{
    ZevGMDemoInit();
    std::ofstream("cmd.txt") << "(def Zev_Demo_Comand_Data_Stream nil)\n";
    const struct {
        const char* name;
        std::function<TZevGMBase*()> make;
    } cases[] = {
        {"script scene", [] { return new TZevLispGMLoop; }},
        {"grab scene", [] { return new TZevGrabScene; }},
        {"sprite demo",
         [] {
             auto* demo = new TZevGMDemo;
             demo->CommandFileName = "cmd.txt";
             return demo;
         }},
        {"flight test scene", [] { return new TZevFlightScene; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.Final();
        Start(c.make());
        Frames(2);
        host.KeyDown(27);
        host.Frame();
        host.KeyUp(27);
        EXPECT_EQ(host.QuitFlag, 1);
        // Other keys end nothing.
        host.QuitFlag = 0;
        host.KeyUp(0x41);
        EXPECT_EQ(host.QuitFlag, 0);
    }
}

} // namespace
