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

TEST_F(VehicleTest, CraneCarLiftsTheCrateCarriesItAndSetsItDown)
{
    LoadScene("LispCraneAutoTest2.lsp");
    // Floor, chassis and wheels, boom, magnet, crate.
    EXPECT_EQ(Census().count, 1 + 5 + 2 + 1);
    const std::vector<double> start = Position("crane-crate");
    // Watch the crate while the car works: it must be lifted clear of the floor and come down again elsewhere.
    double highest = start[1];
    bool setDown = false;
    for (int frame = 0; frame < 1400 && !setDown; frame += 25) {
        StepChecked(25, 25);
        const std::vector<double> p = Position("crane-crate");
        highest = std::max(highest, p[1]);
        setDown = highest > start[1] + 4.0 && Run("crane-state") == "back\n";
    }
    EXPECT_EQ(Number("crane-lifts"), 1.0);
    EXPECT_GT(highest, start[1] + 4.0) << "never lifted";
    ASSERT_TRUE(setDown) << "never set down; state " << Run("crane-state");
    // Let go, it falls onto the floor where the car took it: a car length or more from where it stood.
    StepChecked(100);
    const std::vector<double> end = Position("crane-crate");
    EXPECT_NEAR(end[1], start[1], 0.5);
    EXPECT_GT(Horizontal(end, start), 10.0);
}

} // namespace
