// The programs' data set for the tests that run a program or a scene in a folder of their own.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

// Copies the data set of data/ into `to` (created when missing): the scripts, meshes, bitmaps, the reference page
// and the 2D demo's commands, each folder with its files. Nothing else is read: what a program started from data/
// writes there at the same time (logs, measurement files, the hidden temporaries of its saves) can neither enter
// the copy nor vanish from under it. False when a file of the set could not be copied.
inline bool CopyDataSet(const std::filesystem::path& to)
{
    namespace fs = std::filesystem;
    const fs::path from = QE_DATA_DIR;
    const auto inSet = [](const fs::path& file) {
        std::string kind = file.extension().string();
        for (char& c : kind)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return kind == ".x" || kind == ".bmp" || kind == ".lsp" || kind == ".html" || file.filename() == "democmd2.txt";
    };
    std::error_code error;
    fs::create_directories(to, error);
    fs::recursive_directory_iterator entry(from, error);
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        const fs::path& path = entry->path();
        if (path.filename().string().front() == '.') {
            entry.disable_recursion_pending();
            continue;
        }
        const fs::path target = to / path.lexically_relative(from);
        std::error_code kind;
        if (entry->is_directory(kind))
            fs::create_directories(target, error);
        else if (inSet(path) && entry->is_regular_file(kind))
            fs::copy_file(path, target, fs::copy_options::overwrite_existing, error);
    }
    return !error;
}

// A scratch folder for the running test below the working directory, "<kind>-<suite>-<test>", made anew and holding
// a copy of the data set. False when the set could not be copied.
inline bool MakeTestDataFolder(const std::string& kind, std::filesystem::path* folder)
{
    namespace fs = std::filesystem;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    *folder = fs::current_path() / (kind + "-" + test->test_suite_name() + "-" + test->name());
    std::error_code error;
    fs::remove_all(*folder, error);
    return CopyDataSet(*folder);
}
