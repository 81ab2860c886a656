// A value class named by an object stream (found by the object-stream fuzz target): the object read is its
// caller's like any other, and goes with its Release instead of staying behind.
#include "LispTestHost.h"

#include "ZevLSObj.h"

namespace {

using ValueByName = LispHostTest;

TEST_F(ValueByName, AValueMadeByClassNameGoesWithItsRelease)
{
    for (const char* name : {"TZevLispError", "TZevLispInteger", "TZevLispLSObj"}) {
        const std::int32_t live = NewCount.load() - DeleteCount.load();
        TZevLSObj* value = CreateObjectByName(name);
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(value->GetRefCount(), 1) << name;
        value->Release();
        EXPECT_EQ(NewCount.load() - DeleteCount.load(), live) << name;
    }
}

} // namespace
