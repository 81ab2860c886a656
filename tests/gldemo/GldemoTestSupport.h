// Shared by the demo's tests: the data files within reach of the engine's object search, body counting, and a
// world that lives for one test.
#ifndef GLDEMO_TEST_SUPPORT_H
#define GLDEMO_TEST_SUPPORT_H

#include "QEWorldData.h"
#include "qe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

// The engine searches "objects/" below the working directory: point it at the repository's data.
inline void LinkDataAsObjects()
{
    std::error_code error;
    if (!std::filesystem::exists("objects", error))
        std::filesystem::create_directory_symlink(QE_DATA_DIR, "objects", error);
}

inline int CountWorldBodies()
{
    int count = 0;
    QE_BodyEnumDesc desc{};
    desc.userData = &count;
    desc.function = [](QE_XPhBody*, void* user) {
        ++*static_cast<int*>(user);
        return 1;
    };
    QE_GetXPhBodyEnume(&desc);
    return count;
}

inline float Length3(const float* v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

class GldemoTest : public testing::Test {
protected:
    void SetUp() override { LinkDataAsObjects(); }
};

#endif
