#include "ZevString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Text(const TZevString& s)
{
    return s.CStr() ? s.CStr() : "<null>";
}

std::vector<std::string> Lines(TZevStringList& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.GetCount(); ++i)
        lines.push_back(list.GetAt(i));
    return lines;
}

std::vector<std::string> Tokens(const char* text, bool ident)
{
    TZevTextTokenizer t;
    t.AssignText(text);
    std::vector<std::string> tokens;
    for (int guard = 0; guard < 100; ++guard) {
        TZevString token = ident ? t.GetIdentToken() : t.GetToken();
        EXPECT_NE(token.CStr(), nullptr);
        EXPECT_LE(t.Tell(), t.GetSize());
        if (token.GetLength() == 0)
            return tokens;
        tokens.push_back(token.CStr());
    }
    ADD_FAILURE() << "no end of text";
    return tokens;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(String, Constructors)
{
    EXPECT_EQ(Text(TZevString(3)), "3");
    EXPECT_EQ(Text(TZevString(-42)), "-42");
    EXPECT_EQ(Text(TZevString(0.5f)), "0.500000");
    EXPECT_EQ(Text(TZevString('x')), "x");
    EXPECT_EQ(Text(TZevString("abcdef", 3)), "abc");
    EXPECT_EQ(Text(TZevString("ab", 5)), "ab");
    EXPECT_EQ(Text(TZevString(static_cast<const char*>(nullptr))), "<null>");
    EXPECT_TRUE(TZevString().IsNull());
    TZevString copy(TZevString("text"));
    EXPECT_EQ(Text(copy), "text");
    TZevString nullCopy{TZevString()};
    EXPECT_TRUE(nullCopy.IsNull());
}

TEST(String, AssignmentAndBuffers)
{
    TZevString s("one");
    s = TZevString("two");
    EXPECT_EQ(Text(s), "two");
    s = s; // self-assignment keeps the text
    EXPECT_EQ(Text(s), "two");
    s = s.CStr() + 1; // from a text inside our own
    EXPECT_EQ(Text(s), "wo");
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(s.GetLength(), 0);
    char* buffer = s.GetBuffer(3);
    EXPECT_EQ(buffer[3], '\0');
    std::memcpy(buffer, "xyz", 3);
    EXPECT_EQ(s.GetLength(), 3);
    char* copy = s.CopyText();
    EXPECT_STREQ(copy, "xyz");
    EXPECT_NE(copy, s.CStr());
    std::free(copy);
}

TEST(String, ConcatenationAndComparison)
{
    const TZevString a("a"), null, empty("");
    EXPECT_EQ(Text(a + null), "a");
    EXPECT_EQ(Text(null + a), "a");
    EXPECT_EQ(Text(null + null), "");
    EXPECT_EQ(Text(TZevString("ab") + TZevString("cd")), "abcd");
    EXPECT_TRUE(a == TZevString("a"));
    EXPECT_FALSE(a == TZevString("ab"));
    EXPECT_FALSE(null == null);
    EXPECT_FALSE(null == empty);
    EXPECT_TRUE(empty == TZevString(""));
    EXPECT_TRUE(a != TZevString("b"));
    EXPECT_FALSE(a != TZevString("a"));
}

TEST(String, PathHelpers)
{
    EXPECT_EQ(Text(ExtractFileName("dir/sub/file.x")), "file.x");
    EXPECT_EQ(Text(ExtractFileName("C:\\objects\\box.x")), "box.x");
    EXPECT_EQ(Text(ExtractFileName("mixed\\a/b.lsp")), "b.lsp");
    EXPECT_EQ(Text(ExtractFileName("file.x")), "file.x");
    EXPECT_EQ(Text(ExtractFileName("dir/")), "");
    EXPECT_EQ(Text(EscapeBackslashes("C:\\a\\b")), "C:\\\\a\\\\b");
    EXPECT_EQ(Text(EscapeBackslashes("plain")), "plain");
    EXPECT_EQ(Text(GetEmptyString()), "");
}

TEST(StringList, AddTextSplitsAtEveryLineEnding)
{
    struct Case {
        const char* text;
        Strings lines;
    } cases[] = {
        {"a\r\nb\nc\r", {"a", "b", "c"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"\n", {""}},
        {"", {}},
        {"single", {"single"}},
        {"x\n\r\ny", {"x", "", "y"}},
    };
    for (const Case& c : cases) {
        TZevStringList list;
        EXPECT_EQ(list.AddText(c.text), 1);
        EXPECT_EQ(Lines(list), c.lines) << c.text;
    }
    TZevStringList list;
    EXPECT_EQ(list.AddText(TZevString()), 0);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(StringList, JoinAccessAndClear)
{
    TZevStringList list;
    list.Add("one");
    list.Add(TZevString("two"));
    list.Add(TZevString()); // a null line joins as an empty one
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_STREQ(list.GetAt(1), "two");
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    TZevString out;
    EXPECT_EQ(list.GetText(out), 1);
    EXPECT_EQ(Text(out), "one\ntwo\n\n");
    list.GetTextCRLF(out);
    EXPECT_EQ(Text(out), "one\r\ntwo\r\n\r\n");
    list.GetConcatenated(out);
    EXPECT_EQ(Text(out), "onetwo");

    const std::int32_t freed = DeleteCount;
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(DeleteCount - freed, 3); // the line objects
    list.GetText(out);
    EXPECT_EQ(Text(out), "");
}

TEST(Tokenizer, MeshFileTokens)
{
    struct Case {
        const char* text;
        Strings tokens;
    } cases[] = {
        {"Mesh {", {"Mesh", "{"}},
        {"-1.5;2", {"-1.5", ";", "2"}},
        {"abc(def", {"abc(def"}},
        {"  \t\tx\r\n y", {"x", "y"}},
        {"- 1", {"-", "1"}},
        {"name{1,2;}", {"name", "{", "1", ",", "2", ";", "}"}},
        {"\"quoted\"", {"\"", "quoted", "\""}},
        {"日本語 x", {"日本語", "x"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Tokens(c.text, false), c.tokens) << c.text;
}

TEST(Tokenizer, LispTokens)
{
    struct Case {
        const char* text;
        Strings tokens;
    } cases[] = {
        {"abc(def", {"abc", "(", "def"}},
        {"x-1", {"x", "-1"}},
        {"(setq a_1 2.5)", {"(", "setq", "a_1", "2.5", ")"}},
        {"$`~\x7f" "a", {"a"}},
        {"'(a . b)", {"'", "(", "a", ".", "b", ")"}},
        // UTF-8 names stay whole and punctuation right after them is its own token.
        {"名前\\x", {"名前", "\\", "x"}},
        {"(あ)", {"(", "あ", ")"}},
        {"変数1_b c", {"変数1_b", "c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Tokens(c.text, true), c.tokens) << c.text;
}

// A lead byte at the very end of the text must not take the terminating zero with it.
TEST(Tokenizer, HighByteAtTheEndStopsAtTheTerminator)
{
    for (bool ident : {true, false}) {
        TZevTextTokenizer t;
        t.AssignText("ab\xE3");
        TZevString first = ident ? t.GetIdentToken() : t.GetToken();
        EXPECT_EQ(Text(first), "ab\xE3");
        EXPECT_EQ(t.Tell(), 3);
        TZevString end = ident ? t.GetIdentToken() : t.GetToken();
        EXPECT_EQ(Text(end), "");
        EXPECT_EQ(t.Tell(), 3);
    }
}

TEST(Tokenizer, SetTextTakesOverTheText)
{
    TZevTextTokenizer t;
    char* text = static_cast<char*>(std::malloc(6));
    std::memcpy(text, "a b\tc", 6);
    t.SetText(text); // frees `text`
    EXPECT_EQ(t.GetSize(), 6);
    EXPECT_EQ(Tokens("a b\tc", true), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Text(t.GetIdentToken()), "a");
    TZevTextTokenizer empty;
    EXPECT_EQ(Text(empty.GetToken()), "");
    EXPECT_EQ(Text(empty.GetIdentToken()), "");
}
