// A text host for the interpreter tests: Run sends a command and returns the answer.
#pragma once

#include "ZevLisp.h"

#include <gtest/gtest.h>

#include <string>

class LispHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = new TZevLispTextInterpreter();
        host->Init();
    }
    void TearDown() override { delete host; }

    std::string Run(const std::string& command)
    {
        host->SendCommand(command.c_str());
        const char* answer = host->GetAnswer();
        return answer ? answer : "";
    }

    TZevLispTextInterpreter* host = nullptr;
};
