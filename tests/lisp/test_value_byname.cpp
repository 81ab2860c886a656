// A value class named by an object stream (found by the object-stream fuzz target): the object read is its
// caller's like any other, and goes with its Release instead of staying behind.
#include "LispTestHost.h"

#include "ZevLSObj.h"

#include <vector>

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

namespace {

// Pairs and numbers lie in slabs: values made by class name, several slabs' worth, and released in a scrambled
// order give every slab back, while values held meanwhile keep their contents.
TEST_F(ValueByName, ValuesInSlabsGoBackWhateverTheOrder)
{
    const std::int32_t live = NewCount.load() - DeleteCount.load();
    const std::int32_t slabs = LispSlabCount(&TZevLispInteger::Slabs);
    std::vector<TZevLispInteger*> made;
    for (int i = 0; i < 5000; ++i) {
        auto* v = static_cast<TZevLispInteger*>(CreateObjectByName("TZevLispInteger"));
        ASSERT_NE(v, nullptr);
        v->Value = i;
        made.push_back(v);
    }
    EXPECT_GT(LispSlabCount(&TZevLispInteger::Slabs), slabs);
    // Every third first, then the rest from the end: slabs empty out in no order, and full ones get room again.
    for (std::size_t i = 0; i < made.size(); i += 3) {
        made[i]->Release();
        made[i] = nullptr;
    }
    for (int i = 0; i < 1000; ++i) {
        auto* v = static_cast<TZevLispInteger*>(CreateObjectByName("TZevLispInteger"));
        v->Value = -1;
        made.push_back(v);
    }
    for (std::size_t i = made.size(); i-- > 0;) {
        if (!made[i])
            continue;
        EXPECT_EQ(made[i]->Value, i < 5000 ? static_cast<std::int32_t>(i) : -1) << i;
        made[i]->Release();
    }
    EXPECT_EQ(LispSlabCount(&TZevLispInteger::Slabs), slabs);
    EXPECT_EQ(NewCount.load() - DeleteCount.load(), live);
}

} // namespace
