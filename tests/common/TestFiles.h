// Whole files in and out, for the tests that check what was written and write their fixtures on the spot.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<char> FileBytes(const std::filesystem::path& path)
{
    const std::string bytes = ReadFile(path);
    return std::vector<char>(bytes.begin(), bytes.end());
}

// The file made anew with these bytes.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<char>& bytes)
{
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}
