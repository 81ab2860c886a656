// Shared by the demo's tests: the data files within reach of the engine's object search, body counting, and a
// world that lives for one test.
#ifndef GLDEMO_TEST_SUPPORT_H
#define GLDEMO_TEST_SUPPORT_H

#include "QECarData.h"
#include "QELandData.h"
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

inline float HorizontalDistance(const float* a, const float* b)
{
    return std::hypot(a[0] - b[0], a[2] - b[2]);
}

// The body's up axis (row 1 of its world matrix), as the y component.
inline float Uprightness(const TQEBody_Data& body)
{
    float m[16] = {};
    body.GetWorldMatrix(m);
    return m[5] / Length3(&m[4]);
}

class GldemoTest : public testing::Test {
protected:
    void SetUp() override { LinkDataAsObjects(); }
};

// A scene test starts from the program's start: the cars' shared clock at 0, the land's noise not yet made.
class ScenesTest : public GldemoTest {
protected:
    void SetUp() override
    {
        GldemoTest::SetUp();
        TQECar_Data::Clock = 0.0f;
        ResetLandNoise();
    }
};

#endif
