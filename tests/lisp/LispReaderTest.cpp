// Lexer and reader: token kinds, read forms, the rewritten def and defun forms, and faulty text.
#include "LispTestHost.h"

#include <string>
#include <vector>

namespace {

struct Token {
    int kind;
    std::string text;
};

std::vector<Token> Lex(const std::string& text)
{
    std::vector<Token> tokens;
    std::int32_t pos = 0;
    for (int guard = 0; guard < 100; ++guard) {
        TZevString t;
        const int kind = LispLex(text.data(), static_cast<std::int32_t>(text.size()), &pos, t);
        tokens.push_back({kind, t.CStr() ? t.CStr() : ""});
        if (kind == LispTokenEnd || kind == LispTokenOpenString)
            break;
    }
    return tokens;
}

} // namespace

TEST(LispLexer, TokenKinds)
{
    struct Case {
        std::string text;
        std::vector<Token> tokens;
    } cases[] = {
        {"0x1F", {{1, "31"}, {5, ""}}},
        {"0xFFFFFFFF", {{1, "-1"}, {5, ""}}},
        {"1.2.3", {{3, "1.2.3"}, {5, ""}}},
        {"12abc", {{1, "12"}, {0, "abc"}, {5, ""}}},
        {"-5 - +5", {{1, "-5"}, {0, "-"}, {1, "5"}, {5, ""}}},
        {".5 (a . b)", {{3, ".5"}, {4, "("}, {0, "a"}, {4, "."}, {0, "b"}, {4, ")"}, {5, ""}}},
        {"\"a\\nb\\\"c\"", {{2, "a\nb\"c"}, {5, ""}}},
        {"; comment\nlet* x?y", {{0, "let*"}, {0, "x"}, {0, "y"}, {5, ""}}},
        {"'a,", {{4, "'"}, {0, "a"}, {4, ","}, {5, ""}}},
        {"\"\"", {{2, ""}, {5, ""}}},
        // Bytes of 0x80 and above are taken one by one: a UTF-8 name never swallows the character after it.
        {"\xE3\x81\x82)", {{0, "\xE3\x81\x82"}, {4, ")"}, {5, ""}}},
        {"\"\xE3\x81\x82\"", {{2, "\xE3\x81\x82"}, {5, ""}}},
        {"\"abc", {{6, ""}}},
        {"\"abc\\", {{6, ""}}},
    };
    for (const Case& c : cases) {
        const std::vector<Token> got = Lex(c.text);
        ASSERT_EQ(got.size(), c.tokens.size()) << c.text;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, c.tokens[i].kind) << c.text << " token " << i;
            EXPECT_EQ(got[i].text, c.tokens[i].text) << c.text << " token " << i;
        }
    }
}

TEST(LispLexer, TheZeroByteEndsEveryToken)
{
    // A text buffer whose bytes go on after the terminator: nothing past the zero byte is read.
    const char text[] = {'a', 'b', 0, 'c', 'd', 0};
    std::int32_t pos = 0;
    TZevString t;
    EXPECT_EQ(LispLex(text, sizeof text, &pos, t), LispTokenSymbol);
    EXPECT_STREQ(t.CStr(), "ab");
    EXPECT_EQ(LispLex(text, sizeof text, &pos, t), LispTokenEnd);
    EXPECT_EQ(pos, 2);
    const char str[] = {'"', 'a', '\\', 0, '"', 0};
    pos = 0;
    EXPECT_EQ(LispLex(str, sizeof str, &pos, t), LispTokenOpenString);
    EXPECT_LE(pos, 3);
    const char high[] = {'\xE3', 0, ')', 0};
    pos = 0;
    EXPECT_EQ(LispLex(high, sizeof high, &pos, t), LispTokenSymbol);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(LispLex(high, sizeof high, &pos, t), LispTokenEnd);
}

using LispReader = LispHostTest;

TEST_F(LispReader, FormsReadAsWritten)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"'0x1F", "31\n"},
        {"'(a . b)", "(a . b)\n"},
        {"'(. b)", "b\n"},
        {"'(def x 5)", "(def 'x 5)\n"},
        {"'(defun f (a) (g a))", "(def 'f '(lambda (a) (g a)))\n"},
        {"'(defun f (a) def y . z)", "(def 'f '(lambda (a) def y . z))\n"},
        {"'(1 quote 2)", "(1 quote 2)\n"},
        {"(quote 5)", "5\n"},
        {"'''a", "''a\n"},
        {"(car '(\"(x\" 2))", "\"(x\"\n"},
        {"'1.2.3 1.2.3", "1.2.3\n1.200000\n"},
        {"2147483648 -2147483648 4294967297", "-2147483648\n-2147483648\n1\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
}

TEST_F(LispReader, QuotedDatumIsJudgedByItsTokenKind)
{
    // '5 is an atom named 5 with its own name as value; a quoted string "(x" is an atom too, not a list.
    EXPECT_EQ(Run("(atom '5) (eq '5 '5) '\"(x\" (atom '\"(x\")"), "t\nt\n(x\nt\n");
}

TEST_F(LispReader, FaultyFormsAreErrorsThatQuoteTheTextReadAndLeaveTheirNeighboursIntact)
{
    struct Case {
        const char* text;
        const char* answer;
    } cases[] = {
        {"(def x) 7", "Error: Too Few Arguments!\n   in \"(def x)\"\n\n7\n"},
        {"(def x 1 2) 7", "Error: Too Many Arguments!\n   in \"(def x 1 2)\"\n\n7\n"},
        {"(quote a b) 7", "Error: Too Many Arguments!\n   in \"(quote a b)\"\n\n7\n"},
        {"(quote) 7", "Error: Too Few Arguments!\n   in \"(quote)\"\n\n7\n"},
        {"(defun f) 7", "Error: Too Few Arguments!\n   in \"(defun f)\"\n\n7\n"},
        {"(list (a . b c) (x y)) 7", "Error: Too Many CDR!\n   in \"(list (a . b c) (x y))\"\n\n7\n"},
        {"'(a .) 7", "Error: Too Few CDR!\n   in \"'(a .)\"\n\n7\n"},
        {"(list 1 , 2) 7", "Error: Dont Use ','!\n   in \"(list 1 , 2)\"\n\n7\n"},
        {"(list ') 7", "Error: Too Few Arguments!\n   in \"(list ')\"\n\n7\n"},
        {"(+ 1 2", "Error: Missing ')'!\n   in \"(+ 1 2\"\n\n"},
        {"(defun f (x) (+ x 1)", "Error: Missing ')'!\n   in \"(defun f (x) (+ x 1)\"\n\n"},
        {"(print \"abc", "Error: Unterminated String!\n   in \"(print \"abc\"\n\n"},
        {"7 '", "7\nError: Too Few Arguments!\n   in \"'\"\n\n"},
        {") .", ")\n.\n"},
        // The quote starts at the form, past the blanks and comments before it; its line breaks are blanks.
        {"1 ; (note\r\n  (list 1\r\n\t, 2)\r\n", "1\nError: Dont Use ','!\n   in \"(list 1  , 2)\"\n\n"},
        {"+5 ,", "5\nError: Dont Use ','!\n   in \",\"\n\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.text), c.answer) << c.text;
    // Nothing of a faulty defun is defined.
    EXPECT_EQ(Run("(defun half (x) (+ x 1) f"), "Error: Missing ')'!\n   in \"(defun half (x) (+ x 1) f\"\n\n");
    EXPECT_EQ(Run("(atom half)").substr(0, 33), "Error: Unbound Variable: half\n   ");
    // A long text is cut where a printed form would be, at a character boundary.
    std::string open = "(list \"\u00e9\"";
    while (open.size() < 400)
        open += " \u00e9";
    const std::string answer = Run(open.c_str());
    const std::string quoted = answer.substr(answer.find(" in \"") + 5);
    const std::string begin = "(list \"\u00e9\" \u00e9";
    EXPECT_EQ(quoted.substr(0, begin.size()), begin);
    EXPECT_EQ(quoted.substr(quoted.size() - 6), "...\"\n\n");
    EXPECT_LE(quoted.size(), LispMaxContextForm + 9);
    EXPECT_EQ(quoted.substr(0, quoted.size() - 6).find("\xc3..."), std::string::npos);
}

TEST_F(LispReader, LongAndDeepTextIsReadWithoutRecursion)
{
    std::string text = "(def big '(";
    for (int i = 0; i < 1000000; ++i)
        text += "1 ";
    text += ")) (car big) (def big nil)";
    EXPECT_EQ(Run(text), "big\n1\nbig\n");

    std::string deep(200000, '(');
    deep += std::string(200000, ')');
    const std::string answer = Run("'" + deep + " 5");
    EXPECT_EQ(answer.substr(answer.size() - 2), "5\n");
    // Evaluating such a form nests too deeply: an error value, not a crash.
    const std::string nested = Run(std::string(20000, '(') + std::string(20000, ')') + " 6");
    EXPECT_EQ(nested.substr(0, 7), "Error: ");
    EXPECT_EQ(nested.substr(nested.size() - 2), "6\n");
}

TEST(LispLexer, CompleteFormsOfATextBeingTyped)
{
    struct Case {
        std::string text;
        std::string complete; // the part that holds only whole forms
    } cases[] = {
        {"(+ 1 2)\n", "(+ 1 2)"},
        {"1 2 (list 3\n", "1 2"},
        {"(a (b)\n", ""},
        {"'\n", ""},
        {"'x 'y '\n", "'x 'y"},
        {"''(a) \"open\n", "''(a)"},
        {"\"str\" ; (comment\n", "\"str\""},
        {"(a \")\" b) )\n", "(a \")\" b) )"}, // a lone ")" is a form of its own
        {"(f '(1 2) \"x\\\"\") (g\n", "(f '(1 2) \"x\\\"\")"},
        {"\n   ", ""},
    };
    for (const Case& c : cases) {
        const std::int32_t n = LispCompleteFormsLength(c.text.data(), static_cast<std::int32_t>(c.text.size()));
        EXPECT_EQ(c.text.substr(0, static_cast<std::size_t>(n)), c.complete) << c.text;
    }
}
