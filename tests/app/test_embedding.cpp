// The embedding exports without a display: nothing before an init; an init runs the default world and the frame
// exports draw and step; a failed init leaves nothing; a second init ends the first; QE_RenderToHWND clips its
// rectangles and refuses empty ones; the mouse exports reach the scene in the viewport given.
#include "DemoTestSupport.h"

#include "../common/DataSet.h"

#include "QEContext.h"
#include "QEInit.h"
#include "ZevEngineInstance.h"
#include "ZevRendererKind.h"
#include "qe.h"

#include <cstdlib>
#include <optional>

namespace fs = std::filesystem;

namespace {

// A renderer with a viewport of its own, the one of the Direct3D 8 manner.
class TEmbedRenderer : public TDemoTestRenderer {
public:
    TEmbedRenderer() { Last = this; }
    int SetViewport(const TZevViewport* viewport) override
    {
        Current = *viewport;
        Viewports.push_back(*viewport);
        return 1;
    }
    int GetViewport(TZevViewport* viewport) override
    {
        *viewport = Current;
        return 1;
    }

    TZevViewport Current{0, 0, 640, 480, 0.0f, 1.0f};
    std::vector<TZevViewport> Viewports; // every viewport set
    static TEmbedRenderer* Last;
};
TEmbedRenderer* TEmbedRenderer::Last = nullptr;

struct TPresented {
    int Calls = 0;
    std::optional<TZevPixelRect> Source, Destination;
};
TPresented Presented;
bool DrawsOnWindow = true;

class EmbedTest : public testing::Test {
protected:
    void SetUp() override
    {
        ZevEngineInit();
        Home = fs::current_path();
        ASSERT_TRUE(MakeTestDataFolder("embed", &Folder));
        fs::current_path(Folder); // the instance's scripts and meshes are found from the working directory
        SavedDX7 = DX7RendererKind;
        SavedDX8 = DX8RendererKind;
        const TZevRendererFactory make = [] { return static_cast<TZevQueuedRenderer*>(new TEmbedRenderer); };
        const TZevRendererWindowInit init = [](TZevGLWindow, TZevQueuedRenderer*) { return DrawsOnWindow ? 1 : 0; };
        DX7RendererKind = {make, init, nullptr, nullptr};
        DX8RendererKind = {make, init, [](TZevGLWindow, const TZevPixelRect* s, const TZevPixelRect* d,
                                          TZevQueuedRenderer*) {
                               ++Presented.Calls;
                               Presented.Source = s ? std::optional(*s) : std::nullopt;
                               Presented.Destination = d ? std::optional(*d) : std::nullopt;
                           },
                           nullptr};
        DrawsOnWindow = true;
        Presented = {};
    }
    void TearDown() override
    {
        QE_Final();
        DX7RendererKind = SavedDX7;
        DX8RendererKind = SavedDX8;
        fs::current_path(Home);
        std::error_code error;
        fs::remove_all(Folder, error);
    }
    std::string Lisp(const char* command)
    {
        QE_SendLispCommand(command);
        const char* answer = QE_GetLispAnswer();
        return answer ? answer : "";
    }
    // The height of the body `b` of the scripts.
    float Height()
    {
        std::string answer = Lisp("(select (body-pos b) 1)");
        return std::strtof(answer.c_str(), nullptr);
    }

    fs::path Home, Folder;
    TZevRendererKind SavedDX7{}, SavedDX8{};
};

TEST_F(EmbedTest, BeforeAnyInitTheFrameExportsDoNothing)
{
    EXPECT_EQ(QE_Final(), 0);
    EXPECT_EQ(QE_Render(), 0);
    EXPECT_EQ(QE_RenderOnly(), 0);
    EXPECT_EQ(QE_MoveOnly(), 0);
    EXPECT_EQ(QE_RenderToHWND(1, nullptr, nullptr), 0);
    EXPECT_EQ(QE_SendMouseButtonDown(1, 1, 1, 0, 0, 10, 10), 1);
    EXPECT_EQ(QE_SendMouseButtonMove(1, 1, 1, 0, 0, 10, 10), 1);
    EXPECT_EQ(QE_SendMouseButtonUp(1, 1, 1, 0, 0, 10, 10), 1);
    EXPECT_STREQ(QE_About(), "Orvelle Physics Engine Ver.1.3.0");
}

TEST_F(EmbedTest, AnInitRunsTheDefaultWorldAndTheFrameExportsDrawAndStep)
{
    ASSERT_EQ(QE_DX7InitFromHWND(7), 1);
    ASSERT_NE(CurrentEngineInstance, nullptr);
    EXPECT_EQ(CurrentEngineHost, &CurrentEngineInstance->Host);
    EXPECT_EQ(Lisp("(def b (make-body \"lbox.x\" 1 1 1 1.0))(place b 0 10 0)"), "b\nt\n");
    TEmbedRenderer* renderer = TEmbedRenderer::Last;
    const float start = Height();
    ASSERT_EQ(QE_RenderOnly(), 1); // drawn, not stepped
    EXPECT_EQ(Height(), start);
    EXPECT_EQ(renderer->Count("Present"), 1);
    ASSERT_EQ(QE_MoveOnly(), 1); // stepped, not drawn
    EXPECT_LT(Height(), start);
    EXPECT_EQ(renderer->Count("Present"), 1);
    const float moved = Height();
    ASSERT_EQ(QE_Render(), 1); // both
    EXPECT_LT(Height(), moved);
    EXPECT_EQ(renderer->Count("Present"), 2);
    EXPECT_GT(renderer->MeshesDrawn(), 0);
    EXPECT_EQ(QE_Final(), 1);
    EXPECT_EQ(QE_Final(), 0);
    EXPECT_EQ(QE_Render(), 0);
    EXPECT_EQ(TDemoTestRenderer::Alive, 0);
    EXPECT_EQ(CurrentWorld, nullptr);
}

TEST_F(EmbedTest, AnInitThatCannotDrawReturnsZeroAndLeavesNothingMade)
{
    ASSERT_EQ(QE_DX8InitFromHWND(7), 1);
    DrawsOnWindow = false;
    // The instance before is ended first; the new one is not made.
    EXPECT_EQ(QE_DX7InitFromHWND(7), 0);
    EXPECT_EQ(CurrentEngineInstance, nullptr);
    EXPECT_EQ(CurrentEngineHost, nullptr);
    EXPECT_EQ(CurrentWorld, nullptr);
    EXPECT_EQ(TDemoTestRenderer::Alive, 0);
    EXPECT_EQ(QE_Render(), 0);
    EXPECT_EQ(QE_DX8InitFromDevice(nullptr, nullptr), 0);
    EXPECT_EQ(CurrentEngineInstance, nullptr);
}

TEST_F(EmbedTest, ASecondInitEndsTheFirstInstance)
{
    ASSERT_EQ(QE_DX7InitFromHWND(7), 1);
    Lisp("(def b (make-body \"lbox.x\" 1 1 1 1.0))");
    EXPECT_NE(Lisp("(GetXPhBodyMat b)"), "nil\n");
    ASSERT_EQ(QE_DX8InitFromHWND(8), 1);
    EXPECT_EQ(TDemoTestRenderer::Alive, 1); // the first renderer went with its instance
    // A fresh world: the first instance's body went with it.
    EXPECT_EQ(Lisp("(GetXPhBodyMat b)"), "nil\n");
    EXPECT_EQ(QE_Final(), 1);
    EXPECT_EQ(TDemoTestRenderer::Alive, 0);
}

TEST_F(EmbedTest, RenderToWindowClipsItsRectanglesAndRefusesEmptyOnes)
{
    ASSERT_EQ(QE_DX8InitFromHWND(7), 1);
    TEmbedRenderer* renderer = TEmbedRenderer::Last;
    const TZevViewport original = renderer->Current;
    using R = TZevPixelRect;
    const struct {
        std::optional<QE_Rect> source, destination;
        int result;
        std::optional<R> shownSource, shownDestination;
    } cases[] = {
        {std::nullopt, std::nullopt, 1, std::nullopt, std::nullopt},
        {QE_Rect{-10, -20, 700, 500}, std::nullopt, 1, R{0, 0, 640, 480}, std::nullopt},
        {QE_Rect{100, 50, 300, 200}, QE_Rect{-5, -5, 50, 60}, 1, R{100, 50, 300, 200}, R{0, 0, 50, 60}},
        {QE_Rect{100, 100, 100, 200}, std::nullopt, 0, std::nullopt, std::nullopt}, // no width
        {QE_Rect{700, 0, 800, 10}, std::nullopt, 0, std::nullopt, std::nullopt},    // beside the picture
        {std::nullopt, QE_Rect{10, 10, 5, 20}, 0, std::nullopt, std::nullopt},      // turned over
        {std::nullopt, QE_Rect{-50, -50, -1, 30}, 0, std::nullopt, std::nullopt},   // left of the window
    };
    auto same = [](const std::optional<R>& a, const std::optional<R>& b) {
        return a.has_value() == b.has_value() && (!a || (a->Left == b->Left && a->Top == b->Top &&
                                                         a->Right == b->Right && a->Bottom == b->Bottom));
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(row++);
        Presented = {};
        renderer->Viewports.clear();
        const int clears = renderer->Count("Clear");
        EXPECT_EQ(QE_RenderToHWND(9, c.source ? &*c.source : nullptr, c.destination ? &*c.destination : nullptr),
                  c.result);
        EXPECT_EQ(renderer->Count("Clear"), clears + c.result); // drawn only when shown
        EXPECT_EQ(Presented.Calls, c.result);
        if (c.result == 0)
            continue;
        EXPECT_TRUE(same(Presented.Source, c.shownSource));
        EXPECT_TRUE(same(Presented.Destination, c.shownDestination));
        // The source is drawn as the viewport; the viewport before comes back.
        if (c.shownSource) {
            ASSERT_EQ(renderer->Viewports.size(), 2u);
            EXPECT_EQ(renderer->Viewports[0].X, c.shownSource->Left);
            EXPECT_EQ(renderer->Viewports[0].Width, c.shownSource->Right - c.shownSource->Left);
            EXPECT_EQ(renderer->Viewports[0].Height, c.shownSource->Bottom - c.shownSource->Top);
        }
        EXPECT_EQ(renderer->Current.Width, original.Width);
        EXPECT_EQ(renderer->Current.X, original.X);
    }
    // The DirectDraw 7 manner has no present hook: drawn, shown nowhere.
    ASSERT_EQ(QE_DX7InitFromHWND(7), 1);
    Presented = {};
    EXPECT_EQ(QE_RenderToHWND(9, nullptr, nullptr), 1);
    EXPECT_EQ(Presented.Calls, 0);
}

TEST_F(EmbedTest, MouseExportsReachTheSceneInTheViewportGiven)
{
    ASSERT_EQ(QE_DX8InitFromHWND(7), 1);
    TEmbedRenderer* renderer = TEmbedRenderer::Last;
    Lisp("(def clicked nil)(defun on-down (b x y dx dy dz ox oy oz) (setq clicked (list b x y)))"
         "(SetMouseDownProc on-down)");
    EXPECT_EQ(QE_SendMouseButtonDown(1, 12, 34, 5, 6, 320, 240), 1);
    EXPECT_EQ(Lisp("clicked"), "(1 12 34)\n");
    ASSERT_EQ(renderer->Viewports.size(), 2u);
    EXPECT_EQ(renderer->Viewports[0].X, 5);
    EXPECT_EQ(renderer->Viewports[0].Y, 6);
    EXPECT_EQ(renderer->Viewports[0].Width, 320);
    EXPECT_EQ(renderer->Viewports[0].Height, 240);
    EXPECT_EQ(renderer->Current.Width, 640); // given back
}

} // namespace
