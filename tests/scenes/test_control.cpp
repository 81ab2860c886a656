// The scenes of controlled and soft bodies: the inverted pendulum kept up by its PID controllers, the soft cube under
// the press.
#include "SceneTestHost.h"

namespace {

TEST_F(SceneTest, PendulumStaysUpThroughItsKnocksAndFallsWithoutItsControllers)
{
    LoadScene("v1_0_2/inverse_pendulum_test4.lsp");
    // Floor, cart, four wheels, pole and the ball on it.
    EXPECT_EQ(Census().count, 1 + 1 + 4 + 1 + 1);
    // Twenty seconds: the pole is knocked at eight and at sixteen seconds.
    double worstLean = 0.0, worstCart = 0.0;
    for (int frame = 0; frame < 1000; frame += 10) {
        StepChecked(10, 10);
        worstLean = std::max(worstLean, std::fabs(Number("(pend-lean)")));
        worstCart = std::max(worstCart, std::fabs(Number("(pend-cart-x)")));
    }
    EXPECT_GT(worstLean, 0.03) << "the knocks did not reach the pole";
    EXPECT_LT(worstLean, 0.25);
    EXPECT_LT(worstCart, 6.0);
    EXPECT_GT(Position("pend-bob")[1], 9.5);

    // Without the controllers the next knock brings it down.
    Run("(XPhBodySetFunction pend-cart nil) (XPhBodySetAVelocity pend-pole '(0 0 0.8))");
    Step(200);
    EXPECT_GT(std::fabs(Number("(pend-lean)")), 0.8);
}

// The press comes down every six seconds, again and again: each time on the cube, which it squashes and which
// then takes back its shape where it stood. (A press that landed tilted or off the middle knocked the cube aside
// at its second drop and pressed the empty floor from then on.)
TEST_F(SceneTest, SoftCubeSquashesUnderThePressAgainAndAgainAndTakesBackItsShape)
{
    LoadScene("LispDeformTest.lsp");
    EXPECT_EQ(Census().count, 3);
    const double rest = Number("jelly-rest-height");
    EXPECT_NEAR(Number("(jelly-height)"), rest, 0.05);
    // It lands and wobbles; the press waits above it until frame 200.
    StepChecked(190);
    EXPECT_NEAR(Number("(jelly-height)"), rest, 0.2);
    EXPECT_GT(Number("(body-bottom jelly)"), -0.2);
    for (int drop = 1; drop <= 5; ++drop) {
        SCOPED_TRACE("drop " + std::to_string(drop));
        for (int wait = 0; wait < 250 && Run("press-state") == "hold\n"; ++wait)
            Step(1);
        // Falling and pressing: over the cube all the while, which is squashed by more than a tenth.
        ASSERT_EQ(Run("press-state"), "drop\n");
        double lowest = rest, furthest = 0.0;
        while (Run("press-state") == "drop\n") {
            Step(2);
            lowest = std::min(lowest, Number("(jelly-height)"));
            furthest = std::max(furthest, Horizontal(Numbers("(body-middle jelly)"), Position("press")));
        }
        EXPECT_LT(lowest, 0.88 * rest);
        EXPECT_LT(furthest, 1.0) << "the press came down beside the cube";
        // Lifted again, the press lets the cube take back its shape, near where it stood.
        StepChecked(100);
        EXPECT_EQ(Run("press-state"), "hold\n");
        EXPECT_GT(Position("press")[1], 12.0);
        EXPECT_NEAR(Number("(jelly-height)"), rest, 0.2);
        EXPECT_LT(Horizontal(Numbers("(body-middle jelly)"), {0, 0, 0}), 2.5);
    }
}

} // namespace
