// The scenes of the legged robots: the crab walking, with a crane on its back and with a heavy load on the crane;
// the two-legged robot squatting.
#include "SceneTestHost.h"

#include <ostream>

namespace {

class CrabTest : public SceneTest {
protected:
    // Runs frames in blocks; after each the crab must stand upright at its walking height.
    std::vector<double> Walk(int frames)
    {
        for (int done = 0; done < frames; done += 50) {
            StepChecked(50, 50);
            const std::vector<double> p = Position("crab");
            EXPECT_GT(p[1], 4.0) << "collapsed at frame " << done + 50;
            EXPECT_LT(p[1], 7.5) << "thrown up at frame " << done + 50;
            EXPECT_GT(Numbers("(body-up crab)")[1], 0.9) << "tipped at frame " << done + 50;
        }
        return Position("crab");
    }
};

TEST_F(CrabTest, CrabWalksSidewaysOutAndBack)
{
    LoadScene("LispCrabWalk.lsp");
    // Floor, body and six legs of two segments.
    EXPECT_EQ(Census().count, 1 + 1 + 12);
    const std::vector<double> start = Position("crab");
    // Ten seconds towards +x, on its line.
    const std::vector<double> out = Walk(500);
    EXPECT_GT(out[0] - start[0], 10.0);
    EXPECT_LT(std::fabs(out[2] - start[2]), 4.0);
    // Then it turns its walk round.
    const std::vector<double> back = Walk(450);
    EXPECT_LT(back[0], out[0] - 8.0);
}

// The crab with a crane on its back: it walks out with it, and what hangs from the raised boom stays high above
// the crab and along with it.
struct TCraneCrabCase {
    const char* name;
    const char* file;
    double loadMass;   // of "crab-load"; 0 when the scene leaves it as it is
    double minAdvance; // along x in 500 frames
};

void PrintTo(const TCraneCrabCase& c, std::ostream* os)
{
    *os << c.name;
}

class CraneCrabTest : public CrabTest, public testing::WithParamInterface<TCraneCrabCase> {};

TEST_P(CraneCrabTest, CrabCarriesItsCraneAndLoadWhileItWalks)
{
    const TCraneCrabCase& c = GetParam();
    LoadScene(c.file);
    EXPECT_EQ(Census().count, 1 + 1 + 12 + 2);
    if (c.loadMass > 0.0) {
        EXPECT_NEAR(Number("(XPhBodyGetMass crab-load)"), c.loadMass, 1e-6);
    }
    const std::vector<double> start = Position("crab");
    const std::vector<double> out = Walk(500);
    EXPECT_GT(out[0] - start[0], c.minAdvance);
    const std::vector<double> load = Position("crab-load");
    EXPECT_GT(load[1], out[1] + 3.0);
    EXPECT_LT(Horizontal(load, out), 9.0);
}

// The heavy load weighs a third of the crab and slows it a little.
INSTANTIATE_TEST_SUITE_P(Scenes, CraneCrabTest,
                         testing::Values(TCraneCrabCase{"Hook", "LispCrabCrane.lsp", 0.0, 5.0},
                                         TCraneCrabCase{"HeavyLoad", "LispCrabCraneHeavy.lsp", 1.5, 4.0}),
                         [](const testing::TestParamInfo<TCraneCrabCase>& info) { return info.param.name; });

TEST_F(SceneTest, TwoLeggedRobotSquatsAndRisesWithoutFalling)
{
    LoadScene("TwoLegTest.lsp");
    // Floor, pelvis with chest and head, two legs of thigh, shin and foot.
    EXPECT_EQ(Census().count, 1 + 3 + 6);
    const std::vector<double> start = Position("biped-pelvis");
    // Ten seconds: two squats.
    double lowest = start[1], highestAfter = 0.0;
    for (int frame = 0; frame < 500; frame += 10) {
        StepChecked(10, 10);
        const std::vector<double> p = Position("biped-pelvis");
        lowest = std::min(lowest, p[1]);
        if (frame > 250)
            highestAfter = std::max(highestAfter, p[1]);
        ASSERT_GT(Numbers("(body-up biped-pelvis)")[1], 0.95) << "fell at frame " << frame + 10;
        EXPECT_LT(Horizontal(p, start), 2.0);
    }
    EXPECT_LT(lowest, start[1] - 1.0) << "never squatted";
    EXPECT_GT(highestAfter, start[1] - 0.5) << "never rose again";
}

} // namespace
