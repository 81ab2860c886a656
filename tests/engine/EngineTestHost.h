// Fixture of the engine tests: the engine started, a text host published as the program's host, and no
// physics-only world left behind by a test.
#pragma once

#include "QEInit.h"
#include "ZevLisp.h"
#include "qe.h"

#include <gtest/gtest.h>

#include <string>

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevEngineInit();
        host = new TZevLispTextInterpreter();
        host->Init();
        LispHost = host;
    }
    void TearDown() override
    {
        QE_PhOnlyFinal();
        LispHost = nullptr;
        delete host;
    }

    // The host's answer to a command: each printed value followed by a line feed.
    std::string Run(const std::string& command)
    {
        host->SendCommand(command.c_str());
        const char* answer = host->GetAnswer();
        return answer ? answer : "";
    }

    TZevLispTextInterpreter* host = nullptr;
};
