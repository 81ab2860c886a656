// Runs a test in a folder of its own, so that tests reading "ZevDebug.txt" do not see each other's lines when
// CTest runs them side by side.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

class ScopedWorkDir {
public:
    ScopedWorkDir() : previous(std::filesystem::current_path())
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::filesystem::path dir =
            previous / "work" / (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    ~ScopedWorkDir() { std::filesystem::current_path(previous); }
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

private:
    std::filesystem::path previous;
};
