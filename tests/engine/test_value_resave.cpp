// A body value that was loaded saves and loads again (found by the saved-value fuzz target: the body's own script
// value, written inside the body, named its wrapper while that was still being read).
#include "EngineTestHost.h"

namespace {

using BodyValueResave = EngineTest;

TEST_F(BodyValueResave, ALoadedBodySavesAndLoadsAgain)
{
    ASSERT_EQ(QE_PhOnlyInit(), 1);
    // A body with a child on a joint, the two overlapping.
    ASSERT_EQ(Run("(def p (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))"), "p\n");
    ASSERT_EQ(Run("(def c (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))"), "c\n");
    ASSERT_EQ(Run("(XPhBodyAddJointChild p c '(0 0 0) '(0 0 1) '(1 0 0) 0.5)"), "<LSObj TZevLispXPhJoint>\n");
    for (const char* file : {"first.val", "second.val", "third.val"}) {
        EXPECT_EQ(Run(std::string("(SaveLispObject \"") + file + "\" p)"), "t\n") << file;
        EXPECT_EQ(Run(std::string("(setq p (LoadLispObject \"") + file + "\"))"), "p\n") << file;
        EXPECT_EQ(Run("p"), "<LSObj TZevLispXPhBody>\n") << file;
    }
    // The last body read is a live body of the world.
    EXPECT_EQ(Run("(car (XPhBodyGetAABB p))").rfind("Error", 0), std::string::npos);
}

} // namespace
