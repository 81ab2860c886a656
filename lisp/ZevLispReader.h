// The input stream of the text host and its lexer.
#pragma once

#include "ZevLispPrinter.h"
#include "ZevString.h"

#include <cstddef>
#include <cstdint>

// Token kinds of the lexer.
enum TZevLispTokenKind : int {
    LispTokenSymbol = 0,
    LispTokenInteger = 1,
    LispTokenString = 2,
    LispTokenFloat = 3,
    LispTokenPunct = 4,
    LispTokenEnd = 5,
    // A string that reaches the end of the text without its closing quote.
    LispTokenOpenString = 6,
};

// A text buffer (the text and its terminating zero) read by the Lisp lexer.
class TZevLispInputStream : public TZevTextTokenizer {
public:
    // The next token at the position; the position moves past it. The zero byte (or the end of the buffer) ends
    // every token. Bytes of 0x80 and above are taken one at a time: texts are UTF-8.
    virtual int NextToken(TZevString& text);
};

// The lexer over a text of `size` bytes from `*pos` (which it advances); shared by the stream and the tests. With
// `start`, it receives where the token begins (after the blanks and comments before it).
int LispLex(const char* data, std::int32_t size, std::int32_t* pos, TZevString& text, std::int32_t* start = nullptr);

// Length of the part of a text (of `size` bytes) that holds only whole forms: the end of the last form that is
// complete, before any form still open (an unclosed list, a quote without its datum, an unterminated string).
// A host that takes text as it is typed evaluates that part and waits for more of the rest.
std::int32_t LispCompleteFormsLength(const char* text, std::int32_t size);

// Appends the text read from `from` to `to` as an error quotes it: from its first token on, without the blanks
// after it, each line break a blank, and cut after `limit` bytes (at a character boundary) with "...".
void LispAppendReadText(TZevLispText& out, const char* text, std::int32_t size, std::int32_t from, std::int32_t to,
                        std::size_t limit);
