// The plug-in loader: libraries loaded by scripts, called, and finalised and released exactly once.
// The test libraries (tests/lisp/plugin/) log every entry point they run to "QLPlugInLog.txt".
#include "LispTestHost.h"

#include "LispGeneral.h"
#include "LispPlugIn.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string LibDir = QE_LIB_DIR;

class LispPlugIn : public LispHostTest {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(LibDir + "/QLTestPlugIn.so"))
            GTEST_SKIP() << "test plug-ins not built (tests/lisp/extra_plugin.cmake)";
        LispHostTest::SetUp();
        LispRegisterOuterParts();
        std::filesystem::remove("QLPlugInLog.txt");
    }
    void TearDown() override
    {
        if (host) {
            Run("(def p nil) (def q nil)");
            UnloadAllQLPlugIns();
            LispHostTest::TearDown();
        }
    }

    static std::string Log()
    {
        std::ifstream f("QLPlugInLog.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    static std::string Load(const char* lib) { return "(LoadQLPlugIn \"" + LibDir + "/" + lib + "\")"; }
};

TEST_F(LispPlugIn, ALoadedPlugInIsCalledAndFinalisedOnce)
{
    EXPECT_EQ(Run("(def p " + Load("QLTestPlugIn.dll") + ") p"), "p\n<LSObj TQLPlugIn>\n");
    EXPECT_EQ(GetQLPlugInList()->GetCount(), 1);
    EXPECT_EQ(Run("(QLPlugInCall p \"abc\") (QLPlugInCall p \"null\")"), "\"re:abc\"\nt\n");
    UnloadAllQLPlugIns();
    EXPECT_TRUE(GetQLPlugInList()->IsEmpty());
    // After the unload nothing of the library is called any more.
    EXPECT_EQ(Run("(QLPlugInCall p \"late\")"), "nil\n");
    Run("(def p nil)");
    UnloadAllQLPlugIns();
    EXPECT_EQ(Log(), "QLTestPlugIn Init PomuLisp.exe\nQLTestPlugIn Call abc\nQLTestPlugIn Call null\n"
                     "QLTestPlugIn Final -\n");
}

TEST_F(LispPlugIn, AReleasedPlugInIsFinalisedAndLeavesTheList)
{
    Run("(def p " + Load("QLTestPlugIn.so") + ") (def q " + Load("QLTestPlugIn.dll") + ")");
    EXPECT_EQ(GetQLPlugInList()->GetCount(), 2);
    Run("(def p nil)");
    EXPECT_EQ(GetQLPlugInList()->GetCount(), 1);
    EXPECT_EQ(Log(), "QLTestPlugIn Init PomuLisp.exe\nQLTestPlugIn Init PomuLisp.exe\nQLTestPlugIn Final -\n");
    UnloadAllQLPlugIns();
    const std::string both = "QLTestPlugIn Init PomuLisp.exe\nQLTestPlugIn Init PomuLisp.exe\nQLTestPlugIn Final -\n"
                             "QLTestPlugIn Final -\n";
    EXPECT_EQ(Log(), both);
    Run("(def q nil)");
    UnloadAllQLPlugIns();
    EXPECT_EQ(Log(), both); // nothing more
}

TEST_F(LispPlugIn, LibrariesThatRefuseOrAreMissing)
{
    EXPECT_EQ(Run(Load("QLTestRefuse.dll")), "nil\n");
    EXPECT_EQ(Log(), "QLTestRefuse Init PomuLisp.exe\nQLTestRefuse Final -\n");
    EXPECT_EQ(Run(Load("NoSuchPlugIn.dll")), "nil\n");
    EXPECT_TRUE(GetQLPlugInList()->IsEmpty());
    UnloadAllQLPlugIns();
    // A library without "Final" and "Call": those are never called.
    EXPECT_EQ(Run("(def p " + Load("QLTestBare.dll") + ") (QLPlugInCall p \"x\")"), "p\nnil\n");
    UnloadAllQLPlugIns();
    EXPECT_EQ(Log(), "QLTestRefuse Init PomuLisp.exe\nQLTestRefuse Final -\nQLTestBare Init PomuLisp.exe\n");
}

TEST_F(LispPlugIn, CallTakesOnlyAPlugIn)
{
    EXPECT_EQ(Run("(QLPlugInCall 5 \"x\")"), "Error: Bad Argument!\n   in \"(QLPlugInCall 5 \"x\")\"\n\n");
    EXPECT_EQ(Run("(QLPlugInCall (CreateZevLispObj \"TZevStringTree\") \"x\")"),
              "Error: Bad Argument!\n   in \"(QLPlugInCall (CreateZevLispObj \"TZevStringTree\") \"x\")\"\n\n");
    EXPECT_EQ(Run("(QLPlugInCall (CreateZevLispObj \"NoClass\") \"x\")"),
              "Error: Bad Argument!\n   in \"(QLPlugInCall (CreateZevLispObj \"NoClass\") \"x\")\"\n\n");
    EXPECT_EQ(Run("(LoadQLPlugIn 5)"), "Error: Bad Argument!\n   in \"(LoadQLPlugIn 5)\"\n\n");
}

TEST_F(LispPlugIn, TestBuiltinAsksTheDefaultLibraryWithoutFinal)
{
    std::filesystem::remove("QLPlugIn.so");
    EXPECT_EQ(Run("(QLPlugInTest)"), "nil\n");
    std::filesystem::copy_file(LibDir + "/QLPlugIn.so", "QLPlugIn.so");
    EXPECT_EQ(Run("(QLPlugInTest 1 2)"), "\"QLPlugIn for tests\"\n");
    std::filesystem::remove("QLPlugIn.so");
    EXPECT_EQ(Log(), "QLPlugIn Init PomuLisp.exe\nQLPlugIn About -\n");
}

} // namespace
