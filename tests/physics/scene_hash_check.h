// The check of a recorded scene hash. With QE_RECORD_SCENE_HASHES set, it prints the table row of the hash found
// (and the time the scene took) instead of comparing, so that a change meant to alter the results can re-record.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace physics_scenes {

// FNV-1a over bytes: the results of a scene, bit for bit.
class BitHash {
public:
    void Mix(const void* data, std::size_t size)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value ^= p[i];
            value *= 1099511628211ull;
        }
    }
    std::uint64_t Value() const { return value; }

private:
    std::uint64_t value = 14695981039346656037ull;
};

inline void CheckSceneHash(const char* name, int steps, std::uint64_t hash, std::uint64_t expected,
                           std::chrono::steady_clock::time_point start)
{
    if (std::getenv("QE_RECORD_SCENE_HASHES") != nullptr) {
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("    {\"%s\", ..., %d, 0x%016" PRIx64 "ull}, // %.0f ms\n", name, steps, hash, ms);
        return;
    }
    EXPECT_EQ(hash, expected) << name << " after " << steps << " steps: the results changed (new hash 0x"
                              << std::hex << hash << ")";
}

} // namespace physics_scenes
