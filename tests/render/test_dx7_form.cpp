// The DirectDraw 7 form and panel on the window framework's X backend: the panel's renderer draws into the panel,
// and a new client size rebuilds its surfaces.
#include "RenderTestSupport.h"

#include "ZevApplication.h"
#include "ZevDX7Form.h"
#include "ZevNativeWindow.h"
#include "ZevWinApi.h"

namespace {

class DX7FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_X_SERVER();
        if (ZevPlatformInit(TZevBackendKind::X11) != TZevBackendKind::X11)
            GTEST_SKIP() << "the window layer found no X display";
        ZevWinUIInit();
        App = new TZevApplication(nullptr, nullptr, "", SW_SHOWNORMAL);
        TZevWin* form = nullptr;
        ASSERT_TRUE(App->CreateForm(&form, "TZevDX7Form"));
        Form = dynamic_cast<TZevDX7Form*>(form);
        ASSERT_NE(Form, nullptr);
        ASSERT_NE(Form->Panel, nullptr);
        Pump();
    }

    void TearDown() override
    {
        delete App;
        App = nullptr;
        ZevPlatformShutdown();
    }

    // Every waiting message handled, destroyed windows deleted.
    void Pump()
    {
        ZevSync();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        App->DeleteDeferred();
    }

    // One frame of a lit box in the panel, presented; the picture drawn and what the panel shows.
    void DrawAndShow(TImage* drawn, TImage* shown)
    {
        TZevDX7Renderer& renderer = Form->Panel->Renderer;
        const TZevLight light = DirectionalLight({1, -1, 1});
        renderer.SetLight(0, &light);
        renderer.SetBackgroundColor(0x203040);
        DrawFrame(&renderer, Scene);
        ASSERT_TRUE(renderer.Present());
        *drawn = CaptureBack(&renderer);
        ASSERT_TRUE(ZevGLReadWindow(ZevGetNativeWindow(Form->Panel->Handle), &shown->Width, &shown->Height,
                                    &shown->Pixels));
    }

    TZevApplication* App = nullptr;
    TZevDX7Form* Form = nullptr;
    TTestScene Scene;
};

TEST_F(DX7FormTest, AFormWhoseRendererWasNeverResetDrawsNothingAndGoesQuietly)
{
    EXPECT_EQ(Form->Panel->Width, 640);
    EXPECT_EQ(Form->Panel->Height, 480);
    EXPECT_EQ(Form->Width, 650);
    EXPECT_EQ(Form->Height, 510);
    EXPECT_EQ(Form->Panel->Renderer.GetWidth(), 0);
    EXPECT_FALSE(Form->Panel->Renderer.Present());
    Form->Destroy();
    Pump();
}

TEST_F(DX7FormTest, EachNewClientSizeRebuildsTheSurfacesAtThatSize)
{
    const float white[4] = {1, 1, 1, 1};
    Scene.PlaceCamera({0, 2, -5}, 0.35f);
    Scene.AddBox({-1, 0, -1}, {1, 2, 1}, white);
    for (const auto& [width, height] : {std::pair{320, 240}, std::pair{400, 300}}) {
        SCOPED_TRACE(width);
        Form->SetClientSize(width, height);
        Pump();
        std::int32_t clientWidth = 0, clientHeight = 0;
        ASSERT_TRUE(ZevGetClientSize(Form->Panel->Handle, &clientWidth, &clientHeight));
        EXPECT_EQ(Form->Panel->Renderer.GetWidth(), clientWidth);
        EXPECT_EQ(Form->Panel->Renderer.GetHeight(), clientHeight);
        TImage drawn, shown;
        DrawAndShow(&drawn, &shown);
        SaveScreenshot(shown, "dx7_form_" + std::to_string(width));
        EXPECT_EQ(shown.Pixels, drawn.Pixels);
        EXPECT_GT(drawn.Count([](std::uint32_t p) { return p != 0x203040u; }), 1000);
    }
    Form->Destroy();
    Pump();
}

} // namespace
