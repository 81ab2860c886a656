// Evaluator and text-command host.
#include "LispTestHost.h"

#include "qe.h"

#include <pthread.h>

#include <cstdio>
#include <filesystem>
#include <string>

using LispEval = LispHostTest;

TEST_F(LispEval, EvaluationRules)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"fresh", "Error: Unbound Variable: fresh\n   in \"fresh\"\n\n"},
        {"((lambda (x) x) 5)", "5\n"},
        {"((lambda (x)) 5)", "Error: Empty Object!\n   in \"((lambda (x)) 5)\"\n\n"},
        {"((lambda (x y) y) 1)", "Error: Unbound Variable: y\n   in \"y\"\n   in \"((lambda (x y) y) 1)\"\n\n"},
        {"(5 1)", "Error: Undefined Variable!\n   in \"(5 1)\"\n\n"},
        {"((quote 7) 1)", "7\n"},
        {"(car 1 . 2)", "Error: Bad Variable Type!\n   in \"(car 1 . 2)\"\n\n"},
        {"(cond)", "Error: Bad Variable Type!\n   in \"(cond)\"\n\n"},
        {"(cond (nil 1))", "Error: Bad Variable Type!\n   in \"(cond (nil 1))\"\n\n"},
        {"(cond (t))", "Error: Bad Variable Type!\n   in \"(cond (t))\"\n\n"},
        {"(cond (t 1 (car 5)) (t 2))", "1\n"},
        {"(cond ('nil 1))", "1\n"},
        {"(list 1 2 (car 5))",
         "Error: Bad Variable Type!\n   in \"(car 5)\"\n   in \"(list 1 2 (car 5))\"\n\n"},
        {"(eval (list 'quote))", "Error: Too Few Arguments!\n   in \"(quote)\"\n   in \"(eval (list 'quote))\"\n\n"},
        {"(eval (list 'quote 'a 'b))", "a\n"},
        // Argument lists longer than the ones a builtin reads in place.
        {"(list 1 2 3 4 5 6 7 8 9 10)", "(1 2 3 4 5 6 7 8 9 10)\n"},
        {"(+ 1 2 3 4 5 6 7 8 9 10)", "Error: Too Many Arguments!\n   in \"(+ 1 2 3 4 5 6 7 8 9 10)\"\n\n"},
        {"(list 1 2 3 4 5 6 7 8 9 . 10)", "Error: Bad Variable Type!\n   in \"(list 1 2 3 4 5 6 7 8 9 . 10)\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispEval, ErrorInACondTestIsReturned)
{
    EXPECT_EQ(Run("(cond ((car 5) 1) (t 2))"),
              "Error: Bad Variable Type!\n   in \"(car 5)\"\n   in \"(cond ((car 5) 1) (t 2))\"\n\n");
}

TEST_F(LispEval, BindingsAreUndoneAfterAFailingBody)
{
    EXPECT_EQ(Run("(def x 1) ((lambda (x) (car x)) 5) x"),
              "x\nError: Bad Variable Type!\n   in \"(car x)\"\n   in \"((lambda (x) (car x)) 5)\"\n\n1\n");
    EXPECT_TRUE(host->Bindings.IsEmpty());
}

TEST_F(LispEval, SetqChangesTheInnermostBindingOnly)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        // Dynamic binding: the function sees the let's binding, and the global value comes back after it.
        {"(setq sv 1) (defun getsv () sv) (let ((sv 2)) (setq sv 3) (getsv)) sv", "sv\ngetsv\n3\n1\n"},
        // Three bindings of one atom, the innermost changed.
        {"(setq lv 1) ((lambda (lv) (list ((lambda (lv) (setq lv 9) lv) 5) lv)) 4) lv", "lv\n(9 4)\n1\n"},
        // An atom bound only by a let has no value after it.
        {"(let ((unb 1)) (setq unb 2) unb) unb", "2\nError: Unbound Variable: unb\n   in \"unb\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
    EXPECT_TRUE(host->Bindings.IsEmpty());
}

TEST_F(LispEval, AVariableHoldingAnErrorAddsItsContextLine)
{
    // An error value can be bound only from outside the language (a loaded value, a host program).
    TZevLispRef atom, error, old;
    LispIntern(atom, "holdsError");
    LispMakeError(error, "Kept!");
    LispAtom(atom)->PushValue(error);
    EXPECT_EQ(Run("(car holdsError)"), "Error: Kept!\n   in \"holdsError\"\n   in \"(car holdsError)\"\n\n");
    LispAtom(atom)->PopValue(old);
}

TEST_F(LispEval, AtomsBoundToAtomsAreFollowedAndRingsRefused)
{
    EXPECT_EQ(Run("(def f car) (def g 'f) (g '(1 2))"), "f\ng\n1\n");
    EXPECT_EQ(Run("(def a 'a) (a 1)"), "a\nError: Undefined Variable! a\n   in \"(a 1)\"\n\n");
    EXPECT_EQ(Run("(def b1 'b2) (def b2 'b3) (def b3 'b1) (b1 1)").substr(0, 37),
              "b1\nb2\nb3\nError: Undefined Variable! b");
}

TEST_F(LispEval, AHeadThatNamesNoFunctionIsNamedInTheError)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(nofunc 1)", "Error: Undefined Variable! nofunc\n   in \"(nofunc 1)\"\n\n"},
        // The atom without a value, at the end of a chain of atoms.
        {"(def via 'gone) (via 1)", "via\nError: Undefined Variable! gone\n   in \"(via 1)\"\n\n"},
        // An atom whose value cannot be applied.
        {"(def five 5) (five 1)", "five\nError: Undefined Variable! five\n   in \"(five 1)\"\n\n"},
        {"(def lst '(list 1)) (lst 1)", "lst\nError: Undefined Variable! lst\n   in \"(lst 1)\"\n\n"},
        // No atom: nothing to name.
        {"(5 1)", "Error: Undefined Variable!\n   in \"(5 1)\"\n\n"},
        // An argument that is missing is the call's error, not a form of its own.
        {"(car)", "Error: Too Few Arguments!\n   in \"(car)\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispEval, RunawayRecursionEndsInAnErrorValue)
{
    const std::string answer = Run("(defun f (x) (f x)) (f 1) (+ 1 2)");
    EXPECT_EQ(answer.substr(0, 29), "f\nError: Too Deep Recursion!\n");
    EXPECT_NE(answer.find("   ...\n"), std::string::npos);
    EXPECT_EQ(answer.substr(answer.size() - 2), "3\n");
    EXPECT_EQ(host->EvalDepth, 0);
    EXPECT_TRUE(host->Bindings.IsEmpty());
    // A list that evaluates itself as its own head.
    EXPECT_EQ(Run("(def s '(s)) (s)").substr(0, 29), "s\nError: Too Deep Recursion!\n");
}

TEST_F(LispEval, NonTailRecursionReachesAHundredThousandLevels)
{
    EXPECT_EQ(Run("(defun n (x) (if (= x 0) 0 (+ 1 (n (- x 1))))) (n 100000)"), "n\n100000\n");
    // Deeper still is stopped, and the interpreter goes on as before, deep recursion included.
    const std::string answer = Run("(n 1000000) (n 100000) (+ 1 2)");
    EXPECT_EQ(answer.substr(0, 27), "Error: Too Deep Recursion!\n");
    EXPECT_EQ(answer.substr(answer.size() - 9), "100000\n3\n");
    EXPECT_EQ(host->EvalDepth, 0);
    EXPECT_TRUE(host->Bindings.IsEmpty());
}

TEST_F(LispEval, DeepRecursionOnAThreadWithASmallStack)
{
    // A thread whose own stack holds only a few levels: evaluation moves onto its own stack at once.
    struct Job {
        TZevLispTextInterpreter* host;
        std::string answer;
    } job{host, ""};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* p) -> void* {
                      auto* j = static_cast<Job*>(p);
                      j->host->SendCommand(
                          "(defun m (x) (if (= x 0) 0 (+ 1 (m (- x 1))))) (m 20000) (m 3)");
                      j->answer = j->host->GetAnswer();
                      return nullptr;
                  },
                  &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(job.answer, "m\n20000\n3\n");
}

TEST_F(LispEval, ContextLinesOfADeeplyNestedFormAreBounded)
{
    // A form nested 20,000 levels deep, failing at its innermost level.
    std::string form;
    for (int i = 0; i < 20000; ++i)
        form += "(car ";
    form += "5";
    form.append(20000, ')');
    const std::string answer = Run(form);
    EXPECT_EQ(answer.substr(0, 29), "Error: Bad Variable Type!\n   ");
    EXPECT_LT(answer.size(), std::size_t(LispMaxContextLines + 2) * (LispMaxContextForm + 16));
    EXPECT_NE(answer.find("   in \"(car (car (car"), std::string::npos);
    EXPECT_NE(answer.find("...\"\n"), std::string::npos);
    EXPECT_NE(answer.find("\n   ...\n"), std::string::npos);
}

TEST_F(LispEval, HostCollectsTheAnswer)
{
    EXPECT_EQ(Run("(cons 1 2) 3"), "(1 . 2)\n3\n");
    EXPECT_EQ(Run(""), "");
    host->SendCommand("4");
    const std::string first = host->GetAnswer();
    EXPECT_EQ(first, "4\n");
    EXPECT_EQ(std::string(host->GetAnswer()), first);
    EXPECT_EQ(Run("(car nil) 5"), "Error: Bad Variable Type!\n   in \"(car nil)\"\n\n5\n");
}

TEST_F(LispEval, EmptyStringLiteralDoesNotEndTheCommand)
{
    EXPECT_EQ(Run("\"\" 1 (list \"\" 2)"), "\"\"\n1\n(\"\" 2)\n");
}

TEST_F(LispEval, NestedCommandReadsItsOwnTextAndJoinsTheAnswer)
{
    LispRegisterBuiltin(
        [](TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef) {
            interp->SendCommand("10 20");
            result = T;
        },
        "NestedCommandForTest");
    EXPECT_EQ(Run("1 (NestedCommandForTest) 2"), "1\n10\n20\nt\n2\n");
}

TEST_F(LispEval, ByeClearsTheRunFlag)
{
    EXPECT_EQ(host->SendCommand("(bye 1)"), 1);
    EXPECT_EQ(host->SendCommand("(bye) 5"), 0);
    EXPECT_STREQ(host->GetAnswer(), "nil\n5\n");
}

TEST(LispExports, CommandExchangeThroughTheCurrentHost)
{
    LispHost = nullptr;
    EXPECT_EQ(QE_SendLispCommand("1"), 0);
    EXPECT_EQ(QE_GetLispAnswer(), nullptr);
    {
        TZevLispTextInterpreter host;
        host.Init();
        LispHost = &host;
        EXPECT_EQ(QE_SendLispCommand("(+ 1 2) (list 1 \"a\")"), 1);
        EXPECT_STREQ(QE_GetLispAnswer(), "3\n(1 \"a\")\n");
        EXPECT_EQ(QE_SendLispCommand(nullptr), 1);
        EXPECT_STREQ(QE_GetLispAnswer(), "");
    }
    EXPECT_EQ(LispHost, nullptr); // the host unpublishes itself
}

namespace {
void WriteFile(const std::string& name, const std::string& text)
{
    std::FILE* f = std::fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}
} // namespace

TEST_F(LispEval, LoadSearchesThePathsInOrder)
{
    std::filesystem::create_directories("first");
    std::filesystem::create_directories("second");
    WriteFile("second/pathonly.lsp", "(def fromPath 'second)");
    host->SearchPaths.Add("first/");
    host->SearchPaths.Add("second/");
    EXPECT_EQ(Run("(load \"pathonly.lsp\") fromPath"), "fromPath\n\" ===== end of file ===== \"\nnil\nsecond\n");
    EXPECT_EQ(Run("(load \"nowhere.lsp\")"), "Error: Cannot Open File!\n   in \"(load \"nowhere.lsp\")\"\n\n");
}

TEST_F(LispEval, SelfLoadingFileEndsInAnErrorValue)
{
    WriteFile("selfload.lsp", "(load \"selfload.lsp\")");
    const std::string answer = Run("(load \"selfload.lsp\") \"after\"");
    EXPECT_EQ(answer.substr(0, 28), "Error: Too Deep Recursion!\n ");
    EXPECT_EQ(answer.substr(answer.size() - 8), "\"after\"\n");
    EXPECT_EQ(host->Nesting, 0);
    EXPECT_EQ(host->EvalDepth, 0);
}

TEST_F(LispEval, FileWithAZeroByteOrALoneLeadByteIsHandledCleanly)
{
    // Nothing of a file with a zero byte is run: the reader would end the text there.
    WriteFile("zero.lsp", std::string("(def z 1) \"abc\0 2\" 3", 21));
    EXPECT_EQ(Run("(load \"zero.lsp\") z"),
              "Error: Zero Byte In File!\n   in \"(load \"zero.lsp\")\"\n\nError: Unbound Variable: z\n   in \"z\"\n\n");
    WriteFile("high.lsp", "(list 1 2) \xE3");
    // The lone lead byte is a name of its own and does not swallow the end marker after it.
    EXPECT_EQ(Run("(load \"high.lsp\")"),
              "(1 2)\nError: Unbound Variable: \xE3\n   in \"\xE3\"\n\n\" ===== end of file ===== \"\nnil\n");
}

TEST_F(LispEval, CyclicArgumentListIsRefusedNotCopiedForever)
{
    // (list 1 1 1 ...) whose argument list comes back on itself, as a loaded value can.
    TZevLispRef listFn, one, args, form, result;
    LispIntern(listFn, "list");
    LispMakeInteger(one, 1);
    LispCons(args, one, Nil);
    LispCons(args, one, args);
    LispPair(LispPair(args)->Cdr)->Cdr = args;
    LispCons(form, listFn, args);
    host->Eval(result, form);
    EXPECT_STREQ(result->ToString().CStr(), "Error: Bad Variable Type!\n   in \"(list 1 1 . ...)\"\n");
    LispPair(LispPair(args)->Cdr)->Cdr = Nil; // let the values go back to their pools
}
