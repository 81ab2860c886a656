// The measuring scenes: each sweeps its parameters to the end in a short sweep, writes its summary, measurement
// files and gnuplot scripts where they belong, reports a file it cannot open, and quits; the friction test tells
// static from sliding boxes and follows the ideal Coulomb-braked slide; the plots become PNG pictures.
#include "AppTestFixture.h"

#include "../common/TestFiles.h"

#include "ZevBitmap.h"
#include "ZevGMLoop10.h"
#include "ZevGMLoop11.h"
#include "ZevGMLoop12.h"
#include "ZevJoint.h"
#include "ZevSlideTestScene.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The scenes write "../datas/...": they run in a folder "app" inside the test's scratch folder.
class MeasureTest : public AppSceneTest {
protected:
    void SetUp() override
    {
        base = fs::current_path();
        const fs::path work = fs::path(testing::UnitTest::GetInstance()->current_test_info()->name()) / "app";
        fs::create_directories(work);
        fs::current_path(work);
        AppSceneTest::SetUp();
    }
    void TearDown() override
    {
        AppSceneTest::TearDown();
        fs::current_path(base);
    }

    // Frames until the scene asks to quit; the number of frames run.
    int RunToQuit(int limit)
    {
        int frames = 0;
        while (host.QuitFlag == 0 && frames < limit) {
            host.Frame();
            ++frames;
        }
        return frames;
    }

    fs::path base;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Turns a plot script into a picture with the project's tool; true when gnuplot drew it.
bool Plot(const fs::path& script, bool ppm)
{
    const std::string command = std::string(QE_TOOLS_DIR) + "/plotmeasure.sh " + (ppm ? "--ppm " : "") + "'" +
                                script.string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool HaveGnuplot()
{
    return std::system("command -v gnuplot >/dev/null 2>&1") == 0;
}

// The plot exists as a PNG, and its plain-picture twin holds the coloured pixels of plotted lines (axes and
// labels are black on white).
void ExpectPlotShowsData(const fs::path& script)
{
    if (!HaveGnuplot())
        GTEST_SKIP() << "gnuplot is not installed (tools/deps.sh installs it)";
    ASSERT_TRUE(Plot(script, false)) << script;
    fs::path png = script;
    png.replace_extension(".png");
    const std::string image = ReadFile(png);
    ASSERT_GT(image.size(), 1000u) << png;
    EXPECT_EQ(image.substr(1, 3), "PNG");
    ASSERT_TRUE(Plot(script, true)) << script;
    fs::path ppm = script;
    ppm.replace_extension(".ppm");
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, depth = 0;
    in >> magic >> width >> height >> depth;
    in.get();
    ASSERT_EQ(magic, "P6");
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    int coloured = 0;
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const int r = pixels[i], g = pixels[i + 1], b = pixels[i + 2];
        const int spread = std::max({r, g, b}) - std::min({r, g, b});
        coloured += spread > 60;
    }
    EXPECT_GT(coloured, 300) << ppm; // a curve, not only a frame and labels
    // Keep the picture for people to look at.
    std::error_code error;
    fs::create_directories(fs::path(QE_BIN_DIR) / ".." / "screenshots", error);
    fs::copy_file(png, fs::path(QE_BIN_DIR) / ".." / "screenshots" / ("measure_" + png.filename().string()),
                  fs::copy_options::overwrite_existing, error);
}

// The (time, x) columns of a sliding-test data file, from the settling time on.
std::vector<std::pair<double, double>> Trajectory(const fs::path& file)
{
    std::vector<std::pair<double, double>> points;
    for (const std::string& line : Lines(ReadFile(file))) {
        if (line.empty() || line[0] == '#')
            continue;
        double t = 0.0, x = 0.0;
        if (std::sscanf(line.c_str(), "%lf\t%lf", &t, &x) == 2 && t >= 0.0)
            points.emplace_back(t, x);
    }
    return points;
}

// The ideal slide of a box launched at v and braked by Coulomb friction mu.
double IdealSlide(double t, double v, double mu)
{
    const double g = 9.8, stop = v / (mu * g);
    return t < stop ? v * t - 0.5 * mu * g * t * t : 0.5 * v * v / (mu * g);
}

TEST(MeasureNumbers, EveryFiniteNumberIsWrittenWholeInTheFormOfPercentF)
{
    // The form of "%f": six decimals; large numbers with every digit, so that they read back as written.
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.000000"},
        {-2.45f, "-2.450000"},
        {0.0000004, "0.000000"},
        {1e56, "100000000000000009190283508143378238084034459715684532224.000000"}, // the double nearest 1e56
        {static_cast<double>(FLT_MAX), "340282346638528859811704183484516925440.000000"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(ZevFormatFloat(value), text) << value;
    for (double value : {1e56, -1e100, DBL_MAX, -DBL_MAX, 123456789.125e200}) {
        const std::string text = ZevFormatFloat(value);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
        EXPECT_EQ(text.substr(text.size() - 7), ".000000") << text;
    }
    EXPECT_EQ(ZevFormatFloat(HUGE_VAL), "inf");
    EXPECT_EQ(ZevFormatFloat(-HUGE_VAL), "-inf");
}

TEST_F(MeasureTest, FrictionTestTellsStaticFromDynamicFollowsTheIdealSlideAndCapturesTheView)
{
    // The ten cases at the step size 0.005 s: the sweep starts at that digit and ends after it.
    TZevSlideTestScene* scene = new TZevSlideTestScene;
    scene->Indices[0] = 2;
    scene->Counts[0] = 3;
    Start(scene);
    const int frames = RunToQuit(40000);
    ASSERT_EQ(host.QuitFlag, 1) << frames;
    const fs::path out = "../datas/TestMode4";
    // Frames after the last run write nothing more.
    const std::string written = ReadFile(out / "dt_2_0_0_9_0.txt");
    Frames(20);
    host.Final(); // the summary file is complete once the scene has ended
    EXPECT_EQ(ReadFile(out / "dt_2_0_0_9_0.txt"), written);

    // The header of the seven push forces, then one entry for each push case.
    const std::vector<std::string> summary = Lines(ReadFile(out / "slip.txt"));
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0], "2.4500 \t3.4300 \t3.6750 \t3.9200 \t4.4100 \t4.9000 \t9.8000 \t");
    std::vector<std::string> verdicts;
    std::stringstream entries(summary[1]);
    for (std::string word; std::getline(entries, word, '\t');)
        verdicts.push_back(word);
    ASSERT_EQ(verdicts.size(), 7u) << summary[1];
    // Below the friction limit mu m g = 4.9 the box stays put; at twice the limit it slides. (At the step size
    // 0.02 s the engine lets a box pushed at 0.7 to 0.9 of the limit creep: what this measurement shows.)
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(verdicts[i], "static") << "force case " << i + 3;
    EXPECT_EQ(verdicts[6], "dynamic");

    // A launched box follows the ideal Coulomb-braked slide to within 15 % of its stopping distance.
    const double v = 9.8, mu = 0.5, stopDistance = v * v / (2.0 * mu * 9.8);
    const auto path = Trajectory(out / "dt_2_0_0_0_0.txt");
    ASSERT_GT(path.size(), 400u);
    for (const auto& [t, x] : path)
        ASSERT_NEAR(x, IdealSlide(t, v, mu), 0.15 * stopDistance) << "t = " << t;
    EXPECT_NE(ReadFile(out / "dt_2_0_0_0_0.txt").find("#CalcCost(ms) = "), std::string::npos);

    // Only a launch case plots the ideal trajectory.
    EXPECT_NE(ReadFile(out / "dt_2_0_0_0_0.plt").find("replot xmu(x) title \"Ideal Trajectory\""),
              std::string::npos);
    EXPECT_EQ(ReadFile(out / "dt_2_0_0_3_0.plt").find("xmu"), std::string::npos);
    EXPECT_NE(ReadFile(out / "dt_2_0_0_3_0.plt").find(" Force = 2.450000 Step Size = 0.005000"), std::string::npos);

    // The view capture is a real BMP of the frame.
    TZevBitmap capture;
    ASSERT_TRUE(capture.LoadBmp((out / "gt_2_0_0_9_0.bmp").c_str()));
    ASSERT_EQ(capture.GetWidth(), 640);
    ASSERT_EQ(capture.GetHeight(), 480);
    TZevBitmapAccess pixels(&capture);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{100, 37}, std::pair{639, 479}}) {
        const std::uint32_t p = pixels.ReadPixel(x, y); // bytes red, green, blue, 255
        EXPECT_EQ(p & 0xFFu, static_cast<std::uint32_t>(x & 0xFF));
        EXPECT_EQ((p >> 8) & 0xFFu, static_cast<std::uint32_t>(y & 0xFF));
        EXPECT_EQ((p >> 16) & 0xFFu, static_cast<std::uint32_t>((x + y) & 0xFF));
    }

    ExpectPlotShowsData(fs::absolute(out / "dt_2_0_0_0_0.plt"));
}

TEST_F(MeasureTest, BenchmarksSweepToTheEndWriteOneSummaryLinePerRunAndQuit)
{
    struct Case {
        const char* summary;
        int runs;
        const char* first;
    };
    const Case cases[] = {
        {"ZevGMLoop10.txt", 8, "objects/tstland3.bmp CalcCost(ms) = "},
        {"ZevGMLoop11.txt", 4, " error = 0.400000 CalcCost(ms) = "},
        {"../datas/ZevGMLoop12/ZevGMLoop12.txt", 12, " error = 0.400000 CalcCost(ms) = "},
    };
    for (int i = 0; i < 3; ++i) {
        TZevBenchScene* scene = i == 0   ? static_cast<TZevBenchScene*>(new TZevGMLoop10)
                                : i == 1 ? static_cast<TZevBenchScene*>(new TZevGMLoop11)
                                         : static_cast<TZevBenchScene*>(new TZevGMLoop12);
        scene->RunLength = 0.1f;
        Start(scene);
        // The status text counts the runs: each of 1..n in turn, "of n".
        std::vector<int> shown;
        for (int frames = 0; host.QuitFlag == 0 && frames < 2000; ++frames) {
            host.Frame();
            int run = 0, of = 0;
            ASSERT_EQ(std::sscanf(scene->ShownStatusText(), "run %d of %d", &run, &of), 2) << scene->ShownStatusText();
            EXPECT_EQ(of, cases[i].runs);
            if (shown.empty() || shown.back() != run)
                shown.push_back(run);
        }
        ASSERT_EQ(host.QuitFlag, 1) << cases[i].summary;
        ASSERT_EQ(static_cast<int>(shown.size()), cases[i].runs) << cases[i].summary;
        for (int run = 1; run <= cases[i].runs; ++run)
            EXPECT_EQ(shown[static_cast<std::size_t>(run - 1)], run) << cases[i].summary;
        Frames(10); // after the sweep nothing more is written
        host.Final();
        const std::vector<std::string> lines = Lines(ReadFile(cases[i].summary));
        ASSERT_EQ(static_cast<int>(lines.size()), cases[i].runs) << cases[i].summary;
        EXPECT_EQ(lines[0].rfind(cases[i].first, 0), 0u) << lines[0];
        double cost = -1.0;
        EXPECT_EQ(std::sscanf(lines.back().c_str() + lines.back().find("= ", lines.back().find("CalcCost")) + 2,
                              "%lf", &cost),
                  1);
        EXPECT_GE(cost, 0.0);
    }
    // The pendulum's angles, one line per frame, and a plot of them for every run.
    const std::string first = ReadFile("dt_0_0_0_0.plt");
    EXPECT_NE(first.find("plot \"dt_0_0_0_0.txt\" using 1:2 title \"Joint0 Step Size = 0.020000\" with lines\n"),
              std::string::npos);
    EXPECT_NE(ReadFile("dt_3_0_2_0.plt").find("Step Size = 0.005000"), std::string::npos);
    const std::vector<std::string> angles = Lines(ReadFile("dt_0_0_0_0.txt"));
    ASSERT_GE(angles.size(), 5u);
    double t = 0, a = 0, b = 0;
    EXPECT_EQ(std::sscanf(angles[3].c_str(), "%lf\t%lf\t%lf", &t, &a, &b), 3);
    EXPECT_TRUE(std::isfinite(a) && std::isfinite(b));
    ExpectPlotShowsData(fs::absolute("dt_0_0_0_0.plt"));
}

TEST_F(MeasureTest, ThePendulumFileHoldsBothJointAnglesOfEveryFrameAndItsScriptPlotsBoth)
{
    TZevGMLoop12* scene = new TZevGMLoop12;
    scene->RunLength = 0.3f;
    Start(scene);
    // Each frame writes the angles the joints hold when it starts, before the world steps.
    std::vector<std::string> expected;
    while (scene->RunName() == "dt_0_0_0_0" && host.QuitFlag == 0) {
        ASSERT_NE(PendulumJoints[0], nullptr);
        ASSERT_NE(PendulumJoints[1], nullptr);
        expected.push_back(ZevFormatFloat(scene->Time) + "\t" + ZevFormatFloat(PendulumJoints[0]->Theta) + "\t" +
                           ZevFormatFloat(PendulumJoints[1]->Theta));
        host.Frame();
    }
    expected.pop_back(); // the frame that ended the run wrote into the next run's file
    host.Final();
    const std::vector<std::string> lines = Lines(ReadFile("dt_0_0_0_0.txt"));
    ASSERT_EQ(lines, expected);
    // The lower arm swings differently from the upper one: its column is its own.
    ASSERT_GT(lines.size(), 10u);
    double t = 0, upper = 0, lower = 0;
    ASSERT_EQ(std::sscanf(lines[10].c_str(), "%lf\t%lf\t%lf", &t, &upper, &lower), 3);
    EXPECT_GT(std::fabs(upper - lower), 0.1) << lines[10];

    const std::vector<std::string> plot = Lines(ReadFile("dt_0_0_0_0.plt"));
    ASSERT_EQ(plot.size(), 12u);
    EXPECT_EQ(plot[0], "set xrange [0:0.300000]");
    EXPECT_EQ(plot[6], "plot \"dt_0_0_0_0.txt\" using 1:2 title \"Joint0 Step Size = 0.020000\" with lines");
    EXPECT_EQ(plot[7], "replot \"dt_0_0_0_0.txt\" using 1:3 title \"Joint1 Step Size = 0.020000\" with lines");
    EXPECT_EQ(plot[9], "set output \"dt_0_0_0_0.eps\"");
}

TEST_F(MeasureTest, AFileThatCannotBeOpenedIsReportedAndTheSweepGoesOn)
{
    std::ofstream("../datas") << "a file where the folder should be";
    TZevGMLoop12* scene = new TZevGMLoop12;
    scene->RunLength = 0.05f;
    Start(scene);
    const std::string status = scene->ShownStatusText() ? scene->ShownStatusText() : "";
    EXPECT_NE(status.find("Cannot open file: ../datas/ZevGMLoop12/ZevGMLoop12.txt"), std::string::npos) << status;
    RunToQuit(2000);
    EXPECT_EQ(host.QuitFlag, 1);
    host.Final();
    const std::string log = ReadFile("ZevDebug.txt");
    EXPECT_NE(log.find("../datas/ZevGMLoop12"), std::string::npos);
}

} // namespace
