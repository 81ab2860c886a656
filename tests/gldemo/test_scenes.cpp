// The scenes' bodies built and stepped without a display: the chair and the box settle on the road, the
// self-driving car drives upright, the land is there before the car lands on it.
#include "GldemoTestSupport.h"
#include "OGLPomuScenes.h"

#include <algorithm>
#include <cmath>

namespace {

float Speed(const TQEBody_Data& body)
{
    float v[3] = {};
    QE_XPhBodyGetVelocity(body.GetHandle(), v);
    return Length3(v);
}

float MinY(const TQEBody_Data& body)
{
    float lo[3], hi[3];
    QE_XPhBodyGetAABB(body.GetHandle(), &lo[0], &lo[1], &lo[2], &hi[0], &hi[1], &hi[2]);
    return lo[1];
}

TEST_F(ScenesTest, ChairAndBoxComeToRestOnTheRoad)
{
    TChairAndBoxScene scene;
    scene.Build();
    ASSERT_NE(scene.Chair.GetHandle(), nullptr);
    ASSERT_NE(scene.Box.GetHandle(), nullptr);
    ASSERT_NE(scene.Road.GetHandle(), nullptr);
    EXPECT_EQ(CountWorldBodies(), 3);
    float start[3];
    scene.Chair.GetPosition(start);
    for (int i = 0; i < 600; ++i)
        scene.Advance();
    for (const TQEBody_Data* body : {&scene.Chair, &scene.Box}) {
        EXPECT_LT(Speed(*body), 0.1f);
        // Resting on the road's top face (y = -10), not sunk through it.
        EXPECT_NEAR(MinY(*body), -10.0f, 0.3f);
    }
    float road[3];
    scene.Road.GetPosition(road);
    EXPECT_FLOAT_EQ(road[1], -10.0f);
    // The camera follows the chair from the eye at z = -40.
    float camera[16];
    QE_GetXPhCameraMat(camera);
    EXPECT_FLOAT_EQ(camera[14], -40.0f);
    float chair[3];
    scene.Chair.GetPosition(chair);
    const float toChair[3] = {chair[0] - camera[12], chair[1] - camera[13], chair[2] - camera[14]};
    const float len = Length3(toChair);
    EXPECT_NEAR(-camera[8] * toChair[0] / len - camera[9] * toChair[1] / len - camera[10] * toChair[2] / len, 1.0f,
                1e-4f);
}

TEST_F(ScenesTest, SelfDrivingCarCoversDistanceUpright)
{
    TFloorAndCarScene scene;
    scene.Build();
    EXPECT_EQ(CountWorldBodies(), 6); // chassis, four wheels, road
    float g = 0;
    QE_GetGravity(&g);
    EXPECT_FLOAT_EQ(g, 16.333334f);
    for (int i = 0; i < 4; ++i)
        ASSERT_NE(scene.Car.WheelJoint(i).GetHandle(), nullptr) << i;
    float start[3];
    scene.Car.GetPosition(start);
    for (int i = 0; i < 500; ++i) {
        scene.Advance();
        ASSERT_GT(Uprightness(scene.Car), 0.8f) << "step " << i;
    }
    float end[3];
    scene.Car.GetPosition(end);
    EXPECT_GT(HorizontalDistance(start, end), 5.0f);
    EXPECT_GT(end[2], start[2]);      // forward is +z
    EXPECT_NEAR(end[1], -9.3f, 0.1f); // on its wheels on the road
    EXPECT_NEAR(TQECar_Data::Clock, 500 * 0.02f, 1e-3f);
    // The follow camera stays behind and above the car.
    float camera[16];
    QE_GetXPhCameraMat(camera);
    EXPECT_GT(camera[13], end[1]);
}

// Off the ground the wheels do what the car's step asks: they spin forward and steer after the wavering targets
// (front wheels one way, rear wheels the other).
TEST_F(ScenesTest, CarWheelsSpinAndSteerAfterTheirTargets)
{
    TFloorAndCarScene scene;
    scene.Build();
    QE_SetGravity(0.0f);
    float error[4] = {}, rate[4] = {};
    const int settle = 100, steps = 400;
    for (int i = 0; i < settle + steps; ++i) {
        scene.Advance();
        if (i < settle)
            continue;
        const float steer = 0.2617994f * (std::sin(TQECar_Data::Clock) - 0.5f);
        for (int w = 0; w < 4; ++w) {
            float theta2 = 0, dtheta = 0;
            ASSERT_EQ(QE_XPhJointGetTheta2(scene.Car.WheelJoint(w).GetHandle(), &theta2), 1);
            ASSERT_EQ(QE_XPhJointGetDTheta(scene.Car.WheelJoint(w).GetHandle(), &dtheta), 1);
            error[w] += std::fabs(theta2 - (w == 0 || w == 2 ? -steer : steer)) / steps;
            rate[w] += dtheta / steps;
        }
    }
    for (int w = 0; w < 4; ++w) {
        EXPECT_LT(error[w], 0.1f) << w; // the targets swing between -0.39 and +0.39
        EXPECT_GT(rate[w], 8.0f) << w;
    }
}

TEST_F(ScenesTest, LandIsPresentBeforeTheFirstStep)
{
    TLandAndCarScene scene;
    scene.Build();
    EXPECT_EQ(CountWorldBodies(), 5);
    scene.Advance();
    EXPECT_EQ(scene.Land.TilesInWorld(), 81);
    EXPECT_EQ(CountWorldBodies(), 5 + 81);
    for (int i = 0; i < 100; ++i)
        scene.Advance();
    EXPECT_GT(Uprightness(scene.Car), 0.5f);
    EXPECT_EQ(scene.Land.TilesInWorld(), 81);
}

} // namespace
