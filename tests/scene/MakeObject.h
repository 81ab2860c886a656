// Shared by the scene tests: an object of a registered class made by its name, as a data file makes it.
#pragma once

#include "ZevLSObj.h"

#include <gtest/gtest.h>

// The new object as T; null (and a failure) when the name makes nothing or something else.
template <class T> T* Make(const char* className)
{
    TZevLSObj* object = CreateObjectByName(className);
    T* typed = dynamic_cast<T*>(object);
    EXPECT_NE(typed, nullptr) << className;
    return typed;
}
