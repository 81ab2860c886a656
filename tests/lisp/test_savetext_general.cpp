// General builtins: PrintString, strcat, PrintHexa, with, progn, select, AddLispPath.
#include "LispTestHost.h"

#include "LispGeneral.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace {

class LispGeneral : public LispHostTest {
protected:
    void SetUp() override
    {
        LispHostTest::SetUp();
        LispRegisterOuterParts();
    }
};

struct Case {
    const char* text;
    const char* answer;
};

TEST_F(LispGeneral, StringsAndNumbers)
{
    const Case cases[] = {
        {"(strcat \"ab\" 5 \"cd\")", "\"abcd\"\n"},
        {"(strcat)", "\"\"\n"},
        {"(strcat \"a\" (PrintHexa 10))", "\"a0xa\"\n"},
        // The first error of the arguments is the answer, and later arguments are not evaluated.
        {"(strcat \"a\" (car 5) (def later 1)) later",
         "Error: Bad Variable Type!\n   in \"(car 5)\"\n   in \"(strcat \"a\" (car 5) (def 'later 1))\"\n\n"
         "Error: Unbound Variable: later\n   in \"later\"\n\n"},
        {"(PrintHexa 255)", "0xff\n"},
        {"(PrintHexa -1)", "0xffffffff\n"},
        {"(PrintHexa 0)", "0x0\n"},
        {"(PrintHexa 2.9)", "0x2\n"},
        {"(PrintHexa \"a\")", "Error: Bad Argument!\n   in \"(PrintHexa \"a\")\"\n\n"},
        {"(PrintString '(1 \"a\" b))", "\"(1 \"a\" b)\"\n"},
        {"(PrintString nil)", "\"nil\"\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispGeneral, PrognAndSelect)
{
    const Case cases[] = {
        {"(progn)", "Error: Bad Variable Type!\n   in \"(progn)\"\n\n"},
        {"(progn 1 2 3)", "3\n"},
        {"(progn 1 (car 5) (def notRun 3)) notRun",
         "Error: Bad Variable Type!\n   in \"(car 5)\"\n   in \"(progn 1 (car 5) (def 'notRun 3))\"\n\n"
         "Error: Unbound Variable: notRun\n   in \"notRun\"\n\n"},
        {"(select '(a b c) 0)", "a\n"},
        {"(select '(a b c) 2)", "c\n"},
        {"(select '(a b c) 3)", "nil\n"},
        {"(select '(a b c) -1)", "nil\n"},
        {"(select 5 0)", "nil\n"},
        {"(select '(a . b) 1)", "nil\n"},
        {"(select '(a b) \"x\")", "Error: Bad Argument!\n   in \"(select '(a b) \"x\")\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispGeneral, WithBindsTheEntriesAndWritesThemBack)
{
    EXPECT_EQ(Run("(def x 'outerX) (def p '((x 1) (y 2 extra)))"), "x\np\n");
    EXPECT_EQ(Run("(with p (def x 10) (+ x y))"), "12\n");
    EXPECT_EQ(Run("p x y"), "((x 10) (y 2))\nouterX\nError: Unbound Variable: y\n   in \"y\"\n\n");
    EXPECT_TRUE(host->Bindings.IsEmpty());
    EXPECT_EQ(Run("(with p)"), "nil\n");
}

TEST_F(LispGeneral, WithRefusesWhatIsNotAnAssociationList)
{
    EXPECT_EQ(Run("(def n nil) (def five 5) (def bad1 '((3 4))) (def bad2 '((onlyInWith 1) 7)) (def bad3 '((onlyInWith)))"),
              "n\nfive\nbad1\nbad2\nbad3\n");
    const Case cases[] = {
        {"(with n 1)", "Error: Not Assoc List!\n   in \"(with n 1)\"\n\n"},
        {"(with five 1)", "Error: Not Assoc List!\n   in \"(with five 1)\"\n\n"},
        {"(with bad1 1)", "Error: Bad Variable Type!\n   in \"(with bad1 1)\"\n\n"},
        {"(with bad2 onlyInWith)", "Error: Bad Argument!\n   in \"(with bad2 onlyInWith)\"\n\n"},
        {"(with bad3 1)", "Error: Bad Variable Type!\n   in \"(with bad3 1)\"\n\n"},
        {"(with 5 1)", "Error: Bad Variable Type!\n   in \"(with 5 1)\"\n\n"},
        {"(with unboundName 1)",
         "Error: Unbound Variable: unboundName\n   in \"unboundName\"\n   in \"(with unboundName 1)\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
    // No binding is left behind by a refused entry, and a failing body skips the write-back.
    EXPECT_EQ(Run("onlyInWith"), "Error: Unbound Variable: onlyInWith\n   in \"onlyInWith\"\n\n");
    EXPECT_EQ(Run("(def q '((k 1))) (with q (def k 2) (car 5)) q k"),
              "q\nError: Bad Variable Type!\n   in \"(car 5)\"\n   in \"(with q (def 'k 2) (car 5))\"\n\n((k 1))\n"
              "Error: Unbound Variable: k\n   in \"k\"\n\n");
    EXPECT_TRUE(host->Bindings.IsEmpty());
}

TEST_F(LispGeneral, AddLispPathExtendsTheSearchOfLoad)
{
    std::filesystem::create_directories("scripts");
    {
        std::ofstream f("scripts/found.lsp");
        f << "(def foundIt 7)";
    }
    EXPECT_EQ(Run("(AddLispPath \"scripts/\")"), "t\n");
    EXPECT_EQ(host->SearchPaths.GetCount(), 1);
    EXPECT_STREQ(host->SearchPaths.GetAt(0), "scripts/");
    Run("(load \"found.lsp\")");
    EXPECT_EQ(Run("foundIt"), "7\n");
    EXPECT_EQ(Run("(AddLispPath 5)"), "Error: Bad Argument!\n   in \"(AddLispPath 5)\"\n\n");
}

} // namespace
