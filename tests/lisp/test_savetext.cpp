// Text save and load of values: "SaveAtom" and "LoadAtom".
#include "LispTestHost.h"

#include "LispGeneral.h"
#include "LispSaveText.h"

#include <fstream>
#include <sstream>
#include <string>

namespace {

class LispSaveText : public LispHostTest {
protected:
    void SetUp() override
    {
        LispHostTest::SetUp();
        LispRegisterOuterParts();
    }

    static std::string FileText(const char* name)
    {
        std::ifstream f(name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }

    static void WriteFile(const char* name, const std::string& text)
    {
        std::ofstream f(name, std::ios::binary);
        f << text;
    }
};

TEST_F(LispSaveText, ValuesRoundTripThroughTheirPrintedText)
{
    EXPECT_EQ(Run("(SaveAtom \"v.txt\" '(1 2.5 \"a\" (b . c)))"), "t\n");
    EXPECT_EQ(FileText("v.txt"), "(1 2.500000 \"a\" (b . c))");
    EXPECT_EQ(Run("(def v (LoadAtom \"v.txt\")) v (car v) (car (cdr v)) (car (cdr (cdr v)))"),
              "v\n(1 2.500000 \"a\" (b . c))\n1\n2.500000\n\"a\"\n");
    EXPECT_EQ(Run("(+ (car v) 1) (+ (car (cdr v)) 1)"), "2\n3.500000\n"); // an integer and a float
    // A float keeps six decimals of its single-precision form.
    EXPECT_EQ(Run("(SaveAtom \"f.txt\" 0.1234567) (LoadAtom \"f.txt\")"), "t\n0.123457\n");
    // The variable that LoadAtom defines keeps the last value read.
    EXPECT_EQ(Run("_lisp_LoadAtom_Dummy_Zev_Dont_Define_this"), "0.123457\n");
}

TEST_F(LispSaveText, NumbersAndStringsStandingAloneComeBackAsThemselves)
{
    struct Case {
        const char* value;
        const char* use; // applied to the loaded value
        const char* answer;
    } cases[] = {
        {"42", "(+ 1 x)", "43\n"},
        {"-7", "(* 2 x)", "-14\n"},
        {"2.5", "(+ 0.5 x)", "3.000000\n"},
        {"\"hello\"", "(strcat x \"!\")", "\"hello!\"\n"},
        {"'sym", "(eq x 'sym)", "t\n"},
        {"(PrintHexa 10)", "(atom x)", "t\n"}, // a string without quotes is written as a name: it stays one
    };
    for (const Case& c : cases) {
        const std::string save = std::string("(SaveAtom \"one.txt\" ") + c.value + ")";
        EXPECT_EQ(Run(save), "t\n") << c.value;
        EXPECT_EQ(Run(std::string("(setq x (LoadAtom \"one.txt\")) ") + c.use), std::string("x\n") + c.answer)
            << c.value;
    }
}

TEST_F(LispSaveText, ASavedFileIsReadNeverEvaluated)
{
    WriteFile("code.txt", "(def injected (print 42))");
    const std::string answer = Run("(LoadAtom \"code.txt\") injected");
    EXPECT_EQ(answer.find("42\n"), std::string::npos) << answer;
    EXPECT_NE(answer.find("Unbound Variable: injected"), std::string::npos) << answer;
}

TEST_F(LispSaveText, TextThatIsNotExactlyOneDatumIsAnError)
{
    EXPECT_EQ(Run("(SaveAtom \"good.txt\" '(1 2)) (LoadAtom \"good.txt\")"), "t\n(1 2)\n");
    const std::string cannotRead = "Error: Cannot Read File!\n   in \"(LoadAtom \"bad.txt\")\"\n\n";
    for (const char* text : {"(1 2", "", "(1 2) (print 5)", "(1 2))", "'", "(1 2) trailing"}) {
        WriteFile("bad.txt", text);
        // Never the value the reserved variable held before, and nothing after the datum is run.
        EXPECT_EQ(Run("(LoadAtom \"bad.txt\")"), cannotRead) << text;
    }
    WriteFile("bad.txt", std::string("(1 2)\0(print 5)", 15));
    EXPECT_EQ(Run("(LoadAtom \"bad.txt\")"), cannotRead);
    // Blanks and comments around the datum are fine.
    WriteFile("spaced.txt", "  ; saved\n (3 4) \n");
    EXPECT_EQ(Run("(LoadAtom \"spaced.txt\")"), "(3 4)\n");
}

TEST_F(LispSaveText, FilesThatCannotBeOpened)
{
    EXPECT_EQ(Run("(LoadAtom \"missing.txt\")"), "Error: Cannot Open File!\n   in \"(LoadAtom \"missing.txt\")\"\n\n");
    EXPECT_EQ(Run("(SaveAtom \"no/such/dir/x.txt\" 1)"),
              "Error: Cannot Open File!\n   in \"(SaveAtom \"no/such/dir/x.txt\" 1)\"\n\n");
    EXPECT_EQ(Run("(SaveAtom 1 2)"), "Error: Bad Argument!\n   in \"(SaveAtom 1 2)\"\n\n");
}

TEST_F(LispSaveText, LoadingInsideACommandLeavesTheRestOfTheCommand)
{
    WriteFile("inner.txt", "(5 6)");
    EXPECT_EQ(Run("(LoadAtom \"inner.txt\") (+ 1 2)"), "(5 6)\n3\n");
}

} // namespace
