// The results of the demo program's four scenes, pinned bit for bit: each scene is built by its own builder and
// advanced as the program advances it (the crane car also takes a few keys), then every body of the world is
// hashed through the exported interface: its world matrix, linear and angular velocity.
// A change of the scene builders changes these hashes as much as a change of the physics does: re-record them
// (QE_RECORD_SCENE_HASHES=1) in a commit that says which.
#include "OGLPomuScenes.h"
#include "QELandData.h"
#include "scene_hash_check.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using physics_scenes::BitHash;
using physics_scenes::CheckSceneHash;

std::uint64_t HashWorldBodies()
{
    BitHash h;
    QE_BodyEnumDesc desc{};
    desc.userData = &h;
    desc.function = [](QE_XPhBody* body, void* user) {
        BitHash* hash = static_cast<BitHash*>(user);
        float m[16] = {};
        float v[3] = {};
        float w[3] = {};
        QE_GetXPhBodyGMat(body, m);
        QE_XPhBodyGetVelocity(body, v);
        QE_XPhBodyGetAVelocity(body, w);
        hash->Mix(m, sizeof m);
        hash->Mix(v, sizeof v);
        hash->Mix(w, sizeof w);
        return 1;
    };
    QE_GetXPhBodyEnume(&desc);
    return h.Value();
}

// Builds the scene, advances it `steps` frames (pressing the keys of `keys` at their frames) and checks the hash.
template <class Scene>
void Check(const char* name, int steps, std::uint64_t expected,
           std::initializer_list<std::pair<int, char>> keys = {})
{
    const auto start = std::chrono::steady_clock::now();
    TQECar_Data::Clock = 0.0f;
    ResetLandNoise();
    Scene scene;
    scene.Build();
    for (int i = 0; i < steps; ++i) {
        for (const auto& [frame, key] : keys)
            if (frame == i)
                scene.Keyboard(key, 0, 0);
        scene.Advance();
    }
    CheckSceneHash(name, steps, HashWorldBodies(), expected, start);
}

// The four scenes run in one process, one after another in menu order, as a user of the program meets them.
TEST(OGLPomuHashes, FourScenesInMenuOrder)
{
    // The engine searches "objects/" below the working directory: the repository's data.
    std::error_code error;
    if (!std::filesystem::exists("objects", error))
        std::filesystem::create_directory_symlink(QE_DATA_DIR, "objects", error);
    Check<TChairAndBoxScene>("ChairAndBox", 300, 0x5ca562b82c7b65f4ull);
    Check<TFloorAndCarScene>("FloorAndCar", 200, 0x439b08492872d3e8ull);
    Check<TLandAndCarScene>("LandAndCar", 150, 0x3807d372c707cfa6ull);
    // Settles, drives forward, raises the arm and grips.
    Check<TCraneCarScene>("CraneCar", 150, 0xac48c25531cd2a06ull, {{40, 'e'}, {80, 'f'}, {110, 'c'}});
}

} // namespace
