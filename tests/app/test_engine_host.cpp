// The engine host: the order of one frame, the text and present flags, the fps text, a host that has not started,
// and the start and end of runs (publishing, restarting, two hosts).
#include "AppTestFixture.h"

#include <string>
#include <vector>

namespace {

// A scene that notes its calls in the renderer's log.
class TProbeScene : public TZevGMBase {
public:
    TProbeScene(std::vector<std::string>* log, bool* deleted) : Log(log), Deleted(deleted) {}
    ~TProbeScene() override
    {
        if (Deleted)
            *Deleted = true;
    }
    void Init(TZevQueuedRenderer* r, std::uint8_t* k, TZevFrame* root, TZevFrame* camera, std::int32_t* q) override
    {
        TZevGMBase::Init(r, k, root, camera, q);
        Log->push_back("Init");
    }
    void Shutdown() override { Log->push_back("Shutdown"); }
    void Step() override { Log->push_back("Step"); }
    void KeyDown(int key) override { Log->push_back("KeyDown " + std::to_string(key)); }
    void MouseUp(int b, int x, int y) override
    {
        Log->push_back("MouseUp " + std::to_string(b) + " " + std::to_string(x) + " " + std::to_string(y));
    }

    std::vector<std::string>* Log;
    bool* Deleted;
};

using HostTest = AppSceneTest;

TEST_F(HostTest, OneFrameRestoresClearsDrawsStepsWritesAndPresentsInOrder)
{
    struct Case {
        int text, present;
        std::vector<std::string> frame;
    };
    const Case cases[] = {
        {1, 1, {"Restore", "Clear", "RenderFrame", "Step", "Text", "Text", "Present"}},
        {0, 1, {"Restore", "Clear", "RenderFrame", "Step", "Present"}},
        {1, 0, {"Restore", "Clear", "RenderFrame", "Step", "Text", "Text"}},
    };
    TProbeScene* scene = Start(new TProbeScene(&renderer.Log, nullptr));
    scene->StatusText = "status";
    for (const Case& c : cases) {
        host.TextFlag = c.text;
        host.PresentFlag = c.present;
        renderer.Log.clear();
        host.Frame();
        EXPECT_EQ(renderer.Log, c.frame) << "text " << c.text << " present " << c.present;
    }
    // The fps text (not computed yet) at (32, 32), the scene's text at (32, 48).
    ASSERT_EQ(renderer.Texts.size(), 4u);
    EXPECT_EQ(renderer.Texts[0].X, 32);
    EXPECT_EQ(renderer.Texts[0].Y, 32);
    EXPECT_EQ(renderer.Texts[0].Text, "");
    EXPECT_EQ(renderer.Texts[1].Y, 48);
    EXPECT_EQ(renderer.Texts[1].Text, "status");

    host.TextFlag = host.PresentFlag = 1;
    renderer.Log.clear();
    host.RenderOnly();
    EXPECT_EQ(renderer.Log, (std::vector<std::string>{"Restore", "Clear", "RenderFrame", "Text", "Text", "Present"}));
    renderer.Log.clear();
    host.MoveOnly();
    host.KeyDown(65);
    host.MouseUp(1, 2, 3);
    EXPECT_EQ(renderer.Log, (std::vector<std::string>{"Step", "KeyDown 65", "MouseUp 1 2 3"}));
}

TEST_F(HostTest, AHostThatHasNotStartedDoesNothing)
{
    host.Scene = new TProbeScene(&renderer.Log, nullptr);
    host.Frame();
    host.RenderOnly();
    host.MoveOnly();
    host.MouseDown(1, 1, 1);
    host.KeyUp(27);
    EXPECT_TRUE(renderer.Log.empty());
    EXPECT_EQ(CurrentEngineHost, nullptr);
}

TEST_F(HostTest, FpsTextIsComputedAtTheEleventhFrameAndOnlyWhenTheSceneAsksForIt)
{
    TProbeScene* scene = Start(new TProbeScene(&renderer.Log, nullptr));
    scene->ShowFps = 0;
    Frames(20);
    EXPECT_EQ(renderer.Texts.back().Y, 48);
    EXPECT_EQ(renderer.Texts[renderer.Texts.size() - 2].Text, "");
    scene->ShowFps = 1;
    Frames(10);
    EXPECT_EQ(host.FpsText.GetLength(), 0);
    host.Frame();
    const std::string fps = host.FpsText.CStr();
    ASSERT_EQ(fps.rfind(" fps = ", 0), 0u) << fps;
    EXPECT_GT(std::stod(fps.substr(7)), 0.0);
    EXPECT_EQ(renderer.Texts[renderer.Texts.size() - 2].Text, fps);
}

TEST_F(HostTest, StartPublishesFinalEndsTheRunAndARestartEndsTheOldRunFirst)
{
    bool deleted = false;
    Start(new TProbeScene(&renderer.Log, &deleted));
    EXPECT_EQ(CurrentEngineHost, &host);
    EXPECT_TRUE(host.IsRunning());
    ASSERT_NE(host.Camera, nullptr);
    EXPECT_EQ(host.Camera->GetParent(), host.Root);
    EXPECT_EQ(host.Camera->LocalMatrix.m[14], -5.0f);
    EXPECT_EQ(renderer.Log, (std::vector<std::string>{"Init"}));

    // Start on a running host: the old scene is shut down and deleted, and the host is published again.
    host.QuitFlag = 1;
    host.Start(&renderer, keys);
    EXPECT_EQ(renderer.Log, (std::vector<std::string>{"Init", "Shutdown"}));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(host.Scene, nullptr);
    EXPECT_EQ(CurrentEngineHost, &host);
    EXPECT_EQ(host.QuitFlag, 0);
    host.Frame(); // a run without a scene draws
    EXPECT_EQ(renderer.Count("Present"), 1);

    // A second host started later stays published when the first one ends.
    TAppTestRenderer other;
    {
        TZevEngineHost second;
        second.Start(&other, nullptr);
        EXPECT_EQ(CurrentEngineHost, &second);
        host.Final();
        EXPECT_EQ(CurrentEngineHost, &second);
        EXPECT_FALSE(host.IsRunning());
    }
    EXPECT_EQ(CurrentEngineHost, nullptr);
}

} // namespace
