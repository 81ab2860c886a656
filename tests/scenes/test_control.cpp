// The scenes of controlled bodies: the inverted pendulum kept up by its PID controllers.
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

} // namespace
