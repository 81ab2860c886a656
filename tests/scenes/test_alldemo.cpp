// "AllDemo": the demonstrations one after another in one world, each loaded from inside the world's step.
#include "SceneTestHost.h"

namespace {

TEST_F(SceneTest, AllDemoRunsEveryDemonstrationInTurnAndStartsAgain)
{
    LoadScene("pomudemo.lsp");
    const int count = static_cast<int>(Number("alldemo-count"));
    ASSERT_EQ(count, 11);
    EXPECT_EQ(Number("alldemo-index"), 0.0);
    // A second of each keeps the test short; the scene shows each for twenty.
    Run("(def alldemo-seconds 1.0)");
    std::vector<int> seen;
    int last = 0, frames = 0;
    while (frames < 1200 && seen.size() < static_cast<std::size_t>(count) + 1) {
        StepChecked(10, 10);
        frames += 10;
        // What the scenes loaded inside the step printed: never an error.
        const char* answer = host->GetAnswer();
        ASSERT_EQ(std::string(answer ? answer : "").find("Error"), std::string::npos) << answer;
        const int index = static_cast<int>(Number("alldemo-index"));
        if (index != last || seen.empty()) {
            seen.push_back(index);
            last = index;
            // The new scene stands in a world of its own: the default floor or land, its bodies, a director.
            EXPECT_GT(Census().count, 2) << "scene " << index;
            EXPECT_NE(Run("(XPhGet_EasyViewText)").find("AllDemo " + std::to_string(index + 1) + "/11"),
                      std::string::npos);
        }
    }
    // Every scene in order, then the first again.
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(count) + 1);
    for (int i = 0; i <= count; ++i)
        EXPECT_EQ(seen[i], i % count);
}

} // namespace
