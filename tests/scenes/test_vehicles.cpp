// The scenes of the self-driving cars: on the hills of a land, in the yard of a palace, and the crane car.
#include "SceneTestHost.h"

namespace {

// The car's way through the scene: frames run in blocks, the car's position after each.
struct Drive {
    std::vector<std::vector<double>> points;
    double Length() const
    {
        double sum = 0.0;
        for (std::size_t i = 1; i < points.size(); ++i)
            sum += Horizontal(points[i], points[i - 1]);
        return sum;
    }
};

class VehicleTest : public SceneTest {
protected:
    Drive DriveFor(const std::string& car, int frames, int block = 50)
    {
        Drive d;
        d.points.push_back(Position(car));
        for (int done = 0; done < frames; done += block) {
            StepChecked(block, block);
            d.points.push_back(Position(car));
            // Upright all the way: the car's own up axis stays near the world's.
            EXPECT_GT(Numbers("(body-up " + car + ")")[1], 0.8) << "frame " << done + block;
        }
        return d;
    }
};

TEST_F(VehicleTest, LandCarDrivesRoundItsTrackOverTheLand)
{
    LoadScene("LispAutoMobileLand.lsp");
    // The land took the place of the floor: the car's chassis and four wheels, and no floor.
    EXPECT_EQ(Census().count, 5);
    EXPECT_EQ(Run("(body-pos floor)"), "nil\n");
    const Drive d = DriveFor("land-car", 600);
    EXPECT_GT(d.Length(), 80.0);
    for (const std::vector<double>& p : d.points) {
        EXPECT_NEAR(std::hypot(p[0], p[2]), 110.0, 15.0);
        EXPECT_GT(p[1], 4.0) << "fell through the land";
    }
    // Anticlockwise seen from above: from the +x axis towards +z.
    EXPECT_GT(d.points.back()[2], 50.0);
}

TEST_F(VehicleTest, PalaceCarCirclesTheFountainInsideTheWalls)
{
    LoadScene("LispAutoMobilePalace.lsp");
    // Floor, 20 walls, 4 towers, basin and pillar, chassis and wheels.
    EXPECT_EQ(Census().count, 1 + 20 + 4 + 2 + 5);
    const Drive d = DriveFor("palace-car", 600);
    EXPECT_GT(d.Length(), 80.0);
    EXPECT_GE(Number("palace-next"), 3.0);
    for (const std::vector<double>& p : d.points) {
        EXPECT_LT(std::fabs(p[0]), 80.0);
        EXPECT_LT(std::fabs(p[2]), 80.0);
        EXPECT_GT(std::hypot(p[0], p[2]), 30.0) << "into the fountain";
    }
}

TEST_F(VehicleTest, PalaceCarBacksOffAWallItHasRunInto)
{
    LoadScene("LispAutoMobilePalace.lsp");
    // Put nose to the north wall with the next point of its round behind it.
    Run("(SetXPhBodyMat palace-car (mat-turn-y 0.3 20 3 78)) (def palace-next 3)");
    Step(250);
    EXPECT_GT(Number("palace-reverse-frames"), 0.0);
    const std::vector<double> stuck = Position("palace-car");
    StepChecked(100);
    EXPECT_LT(Position("palace-car")[2], stuck[2] - 4.0);
}

} // namespace
