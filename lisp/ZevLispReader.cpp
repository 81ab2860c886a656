#include "ZevLispReader.h"

#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

// ---- Lexer ----------------------------------------------------------------------------------------------------------

namespace {

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSymbolChar(unsigned char c)
{
    return IsLetter(c) || c >= 0x80 || std::strchr("_+-/*=<>", c) != nullptr;
}
int HexDigit(unsigned char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

int LispLex(const char* d, std::int32_t size, std::int32_t* pos, TZevString& text, std::int32_t* start)
{
    auto at = [&](std::int32_t i) -> unsigned char {
        return (i >= 0 && i < size) ? static_cast<unsigned char>(d[i]) : 0;
    };
    std::int32_t p = *pos;
    std::int32_t first = -1; // where a "+5" began, before its skipped sign
    for (;;) {
        const unsigned char c = at(p);
        if (start)
            *start = first >= 0 ? first : p;
        if (c == 0) {
            *pos = p;
            text = "";
            return LispTokenEnd;
        }
        if (c == ';') {
            while (at(p) && at(p) != '\n' && at(p) != '\r')
                ++p;
            continue;
        }
        const bool signedNumber = (c == '+' || c == '-') && IsDigit(at(p + 1));
        if (IsSymbolChar(c) && !signedNumber) {
            const std::int32_t start = p;
            while (at(p) && (IsSymbolChar(at(p)) || IsDigit(at(p))))
                ++p;
            text = TZevString(d + start, p - start);
            *pos = p;
            return LispTokenSymbol;
        }
        if (c == '+' && signedNumber) {
            first = p;
            ++p; // "+5" reads as 5
            continue;
        }
        if (IsDigit(c) || signedNumber || (c == '.' && (IsDigit(at(p + 1)) || at(p + 1) == '.'))) {
            if (c == '0' && (at(p + 1) == 'x' || at(p + 1) == 'X')) {
                p += 2;
                std::uint32_t value = 0;
                for (int h; (h = HexDigit(at(p))) >= 0; ++p)
                    value = value * 16u + static_cast<std::uint32_t>(h);
                text = TZevString(static_cast<int>(static_cast<std::int32_t>(value)));
                *pos = p;
                return LispTokenInteger;
            }
            const std::int32_t start = p;
            if (c == '-')
                ++p;
            bool point = false;
            while (IsDigit(at(p)) || at(p) == '.') {
                point = point || at(p) == '.';
                ++p;
            }
            text = TZevString(d + start, p - start);
            *pos = p;
            return point ? LispTokenFloat : LispTokenInteger;
        }
        if (c == '"') {
            ++p;
            TZevLispText s;
            for (;;) {
                const unsigned char ch = at(p);
                if (ch == 0) {
                    *pos = p;
                    text = "";
                    return LispTokenOpenString;
                }
                if (ch == '"') {
                    ++p;
                    break;
                }
                if (ch == '\\') {
                    const unsigned char nx = at(p + 1);
                    if (nx == 0) {
                        *pos = p + 1;
                        text = "";
                        return LispTokenOpenString;
                    }
                    s.Append(nx == 'n' ? '\n' : static_cast<char>(nx));
                    p += 2;
                    continue;
                }
                s.Append(static_cast<char>(ch));
                ++p;
            }
            text = s.TakeString();
            *pos = p;
            return LispTokenString;
        }
        if (c == '\'' || c == '(' || c == ')' || c == ',' || c == '.') {
            text = TZevString(static_cast<char>(c));
            *pos = p + 1;
            return LispTokenPunct;
        }
        ++p; // starts no token
    }
}

int TZevLispInputStream::NextToken(TZevString& text)
{
    return LispLex(data, size, &position, text);
}

std::int32_t LispCompleteFormsLength(const char* text, std::int32_t size)
{
    std::int32_t pos = 0, complete = 0;
    std::int32_t depth = 0;
    TZevString token;
    for (;;) {
        const int kind = LispLex(text, size, &pos, token);
        if (kind == LispTokenEnd || kind == LispTokenOpenString)
            return complete;
        const char c = kind == LispTokenPunct ? token.CStr()[0] : 0;
        // An opening parenthesis, and a quote character waiting for its datum, end no form.
        if (c == '(') {
            ++depth;
            continue;
        }
        if (c == '\'')
            continue;
        if (c == ')' && depth > 0)
            --depth;
        if (depth == 0)
            complete = pos;
    }
}

void LispAppendReadText(TZevLispText& out, const char* text, std::int32_t size, std::int32_t from, std::int32_t to,
                        std::size_t limit)
{
    TZevString token;
    std::int32_t pos = from, start = from;
    LispLex(text, size, &pos, token, &start);
    to = std::min(to, size);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (to > start && blank(text[to - 1]))
        --to;
    const std::size_t begin = out.Size();
    for (std::int32_t i = start; i < to; ++i) {
        if (out.Size() - begin >= limit) {
            // Not inside a multi-byte character.
            std::size_t end = begin + limit;
            while (end > begin && (static_cast<unsigned char>(out.Data()[end]) & 0xC0) == 0x80)
                --end;
            out.Truncate(end);
            out.Append("...");
            return;
        }
        const char c = text[i];
        if (c == '\r' && i + 1 < to && text[i + 1] == '\n')
            continue; // CR LF is one line break
        out.Append(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
    }
}

// ---- Reader -------------------------------------------------------------------------------------------------------

namespace {

// Conversion of an integer token: decimal digits with an optional sign, wrapping modulo 2^32 as the hexadecimal
// literals do.
std::int32_t ParseInteger(const char* s)
{
    bool negative = false;
    if (*s == '-' || *s == '+')
        negative = *s++ == '-';
    std::uint32_t v = 0;
    while (IsDigit(static_cast<unsigned char>(*s)))
        v = v * 10u + static_cast<std::uint32_t>(*s++ - '0');
    if (negative)
        v = 0u - v;
    return static_cast<std::int32_t>(v);
}

double ParseFloat(const char* s)
{
    const char* end = s + std::strlen(s);
    double v = 0.0;
    auto r = std::from_chars(s, end, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the double range: the infinity of its sign, as the C library gives; below it, zero.
        const char* digits = s + (*s == '-');
        bool big = false;
        for (const char* q = digits; q < end && *q != '.'; ++q)
            if (*q != '0') {
                big = true;
                break;
            }
        v = big ? HUGE_VAL : 0.0;
        if (*s == '-')
            v = -v;
    }
    return v;
}

enum FrameKind { FrameList, FrameQuote, FrameBody };

// What a list frame waits for.
enum ListState {
    ListElement,   // an element, ")" or "."
    ListDotValue,  // the tail after "."
    ListDotClose,  // ")" after the tail
    ListQuoteValue, ListQuoteClose,
    ListDefName, ListDefValue, ListDefClose,
    ListDefunName, ListDefunParams,
};

struct Frame {
    int kind;
    int state;
    TZevLispRef first; // the list built so far
    TZevLispRef last;  // its last pair
    TZevLispRef extra; // the dotted tail, or the parameters of a defun body
};

class FrameStack {
public:
    ~FrameStack()
    {
        while (Count)
            Pop();
        ZevFree(Items);
    }
    Frame& Push(int kind, int state)
    {
        if (Count == Cap) {
            const int cap = Cap ? Cap * 2 : 16;
            auto* items = static_cast<Frame*>(ZevAllocObject(sizeof(Frame) * cap));
            for (int i = 0; i < Count; ++i) {
                new (&items[i]) Frame(std::move(Items[i]));
                Items[i].~Frame();
            }
            ZevFree(Items);
            Items = items;
            Cap = cap;
        }
        Frame* f = new (&Items[Count++]) Frame();
        f->kind = kind;
        f->state = state;
        return *f;
    }
    void Pop() { Items[--Count].~Frame(); }
    Frame& Top() { return Items[Count - 1]; }
    bool Empty() const { return Count == 0; }
    // Number of "(" not yet closed.
    int OpenParens() const
    {
        int n = 0;
        for (int i = 0; i < Count; ++i)
            n += Items[i].kind == FrameList;
        return n;
    }
    bool HasList() const { return OpenParens() > 0 || (Count && Items[Count - 1].kind == FrameBody); }

private:
    Frame* Items = nullptr;
    int Count = 0;
    int Cap = 0;
};

void Append(Frame& f, const TZevLispRef& v)
{
    TZevLispRef p;
    LispCons(p, v, Nil);
    if (f.first.IsNull())
        f.first = p;
    else
        LispPair(f.last)->Cdr = p;
    f.last = std::move(p);
}

void Quoted(TZevLispRef& out, const TZevLispRef& v)
{
    TZevLispRef inner;
    LispCons(inner, v, Nil);
    LispCons(out, LispQuoteFunc, inner);
}

// The finished list of a frame (nil when it has no element).
void ListValue(TZevLispRef& out, Frame& f)
{
    if (f.first.IsNull())
        out = f.extra.IsNull() || f.state != ListDotClose ? Nil : f.extra;
    else {
        if (f.state == ListDotClose)
            LispPair(f.last)->Cdr = f.extra;
        out = f.first;
    }
}

} // namespace

void TZevLispInterpreter::Read(TZevLispRef& out)
{
    FrameStack stack;
    TZevLispRef value; // a finished value to hand to the frame on top
    TZevString text;
    const char* error = nullptr;
    int parensConsumed = 0; // ")" of the failing token already read

    for (;;) {
        const int kind = NextToken(text);
        bool haveValue = false;
        const bool end = kind == LispTokenEnd || kind < 0 || kind > LispTokenOpenString ||
                         (kind == LispTokenSymbol && (!text.CStr() || !*text.CStr()));
        if (end) {
            if (stack.Empty()) {
                out.Clear();
                return;
            }
            error = stack.HasList() ? "Missing ')'!" : "Too Few Arguments!";
            break;
        }
        if (kind == LispTokenOpenString) {
            error = "Unterminated String!";
            break;
        }
        const char c = kind == LispTokenPunct ? text.CStr()[0] : 0;

        if (!stack.Empty() && stack.Top().kind == FrameQuote) {
            // The datum after a quote character: judged by its token kind.
            if (c == '\'') {
                stack.Push(FrameQuote, 0);
            } else if (c == '(') {
                stack.Push(FrameList, ListElement);
            } else if (c == ')') {
                error = "Too Few Arguments!";
                parensConsumed = 1;
                break;
            } else if (c == '.') {
                value = DotAtom;
                haveValue = true;
            } else {
                LispInternWithSelfValue(value, text.CStr());
                haveValue = true;
            }
        } else if (kind == LispTokenSymbol) {
            LispIntern(value, text);
            haveValue = true;
            if (!stack.Empty() && stack.Top().kind == FrameList && stack.Top().state == ListElement) {
                // (... quote x), (... def name value) and (... defun name params body...) are read into the forms
                // of quote and def; they must end where their arguments end.
                Frame& f = stack.Top();
                if (value == LispQuoteFunc) {
                    Append(f, value);
                    f.state = ListQuoteValue;
                    haveValue = false;
                } else if (value == LispDefFunc || value == LispDefunFunc) {
                    const bool defun = value == LispDefunFunc;
                    Append(f, LispDefFunc);
                    f.state = defun ? ListDefunName : ListDefName;
                    haveValue = false;
                }
            }
        } else if (kind == LispTokenInteger) {
            LispMakeInteger(value, ParseInteger(text.CStr()));
            haveValue = true;
        } else if (kind == LispTokenFloat) {
            LispMakeFloat(value, ParseFloat(text.CStr()));
            haveValue = true;
        } else if (kind == LispTokenString) {
            LispMakeString(value, text.CStr(), 1);
            haveValue = true;
        } else if (c == '\'') {
            stack.Push(FrameQuote, 0);
        } else if (c == '(') {
            stack.Push(FrameList, ListElement);
        } else if (c == ',') {
            error = "Dont Use ','!";
            break;
        } else if (c == '.') {
            if (!stack.Empty() && stack.Top().kind == FrameList) {
                Frame& f = stack.Top();
                if (f.state == ListElement) {
                    f.state = ListDotValue;
                } else if (f.state == ListDotValue || f.state == ListDotClose) {
                    error = "Too Many CDR!";
                    break;
                } else {
                    value = DotAtom;
                    haveValue = true;
                }
            } else {
                value = DotAtom;
                haveValue = true;
            }
        } else if (c == ')') {
            if (stack.Empty()) {
                value = CloseAtom;
                haveValue = true;
            } else {
                Frame& f = stack.Top();
                if (f.kind == FrameBody) {
                    // The body ends, and with it the defun form: (def 'name '(lambda params . body)).
                    TZevLispRef body = f.first.IsNull() ? Nil : f.first;
                    TZevLispRef lambda, tail;
                    LispCons(tail, f.extra, body);
                    LispCons(lambda, LambdaAtom, tail);
                    stack.Pop();
                    Frame& def = stack.Top();
                    TZevLispRef q;
                    Quoted(q, lambda);
                    Append(def, q);
                    value = def.first;
                    stack.Pop();
                    haveValue = true;
                } else {
                    switch (f.state) {
                    case ListElement:
                    case ListDotClose:
                    case ListQuoteClose:
                    case ListDefClose:
                        ListValue(value, f);
                        stack.Pop();
                        haveValue = true;
                        break;
                    case ListDotValue:
                        error = "Too Few CDR!";
                        break;
                    default:
                        error = "Too Few Arguments!";
                        break;
                    }
                    if (error) {
                        parensConsumed = 1;
                        break;
                    }
                }
            }
        }

        // Hand finished values up through the frames that they complete.
        while (haveValue) {
            if (stack.Empty()) {
                out = std::move(value);
                return;
            }
            Frame& f = stack.Top();
            if (f.kind == FrameQuote) {
                TZevLispRef q;
                Quoted(q, value);
                value = std::move(q);
                stack.Pop();
                continue;
            }
            haveValue = false;
            if (f.kind == FrameBody) {
                Append(f, value);
                break;
            }
            switch (f.state) {
            case ListElement:
                Append(f, value);
                break;
            case ListDotValue:
                f.extra = value;
                f.state = ListDotClose;
                break;
            case ListQuoteValue:
                Append(f, value);
                f.state = ListQuoteClose;
                break;
            case ListDefName:
            case ListDefunName: {
                TZevLispRef q;
                Quoted(q, value);
                Append(f, q);
                f.state = f.state == ListDefName ? ListDefValue : ListDefunParams;
                break;
            }
            case ListDefValue:
                Append(f, value);
                f.state = ListDefClose;
                break;
            case ListDefunParams: {
                Frame& body = stack.Push(FrameBody, 0);
                body.extra = value;
                break;
            }
            case ListDotClose:
                error = "Too Many CDR!";
                break;
            default: // ListQuoteClose, ListDefClose
                error = "Too Many Arguments!";
                break;
            }
            break;
        }
        if (error)
            break;
    }

    // Skip the rest of the faulty form, so that the forms after it are read as they are written.
    int open = stack.OpenParens() - parensConsumed;
    while (open > 0) {
        const int kind = NextToken(text);
        if (kind == LispTokenEnd || kind < 0 || kind == LispTokenOpenString || kind > LispTokenOpenString)
            break;
        if (kind == LispTokenPunct && text.CStr()[0] == '(')
            ++open;
        else if (kind == LispTokenPunct && text.CStr()[0] == ')')
            --open;
    }
    LispMakeError(out, error);
}
