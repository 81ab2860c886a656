// Test entry shared by every test program.
//
// The library writes its logs to the working directory and empties "ZevDebug.txt" at start-up, and CTest runs
// the cases of one program side by side as separate processes: each process gets a scratch folder of its own,
// removed again when all its cases pass.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const std::filesystem::path base = std::filesystem::current_path();
    const std::filesystem::path dir = base / ("p" + std::to_string(getpid()));
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!error)
        std::filesystem::current_path(dir, error);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && !error) {
        std::filesystem::current_path(base, error);
        std::filesystem::remove_all(dir, error);
    }
    return result;
}
