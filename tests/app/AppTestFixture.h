// Fixture of the scene and host tests: the engine started, a scratch folder holding objects/ and the flight test's
// files (from data/), a recording renderer, a key table and an engine host.
#pragma once

#include "AppTestRenderer.h"

#include "QEContext.h"
#include "ZevEngineHost.h"
#include "QEInit.h"
#include "ZevGMLoop.h"
#include "ZevLispGMLoop.h"
#include "ZevPhscs2World.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

class AppSceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevEngineInit();
        SimulationFlag = 1;
        ScriptSceneStepAccumulator = 0;
        FrameFps = {};
        RenderOnlyFps = {};
        CopyData();
    }
    void TearDown() override { host.Final(); }

    // objects/ with the program's meshes and bitmaps; the flight test's files beside it.
    static void CopyData()
    {
        namespace fs = std::filesystem;
        const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
        fs::create_directories("objects");
        fs::copy(fs::path(QE_DATA_DIR) / "objects", "objects", options);
        for (const char* name : {"f22.x", "land.bmp", "map.bmp"})
            fs::copy_file(fs::path(QE_DATA_DIR) / name, name, fs::copy_options::overwrite_existing);
    }

    template <class S> S* Start(S* scene)
    {
        host.Scene = scene;
        host.Start(&renderer, keys);
        return scene;
    }
    void Frames(int n)
    {
        for (int i = 0; i < n; ++i)
            host.Frame();
    }
    // The script host's answer to a command.
    std::string Run(const std::string& command)
    {
        host.Interpreter.SendCommand(command.c_str());
        const char* answer = host.Interpreter.GetAnswer();
        return answer ? answer : "";
    }

    TAppTestRenderer renderer;
    std::uint8_t keys[256] = {};
    TZevEngineHost host;
};
