#include "ZevString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

char* CopyOf(const char* s, std::size_t n)
{
    char* t = static_cast<char*>(std::malloc(n + 1));
    if (!t)
        throw std::bad_alloc();
    if (n)
        std::memcpy(t, s, n);
    t[n] = '\0';
    return t;
}

char* CopyOf(const char* s)
{
    return s ? CopyOf(s, std::strlen(s)) : nullptr;
}

} // namespace

// ---- TZevString ----

TZevString::TZevString(const char* s) : text(CopyOf(s)) {}

TZevString::TZevString(const TZevString& other) : text(CopyOf(other.text)) {}

TZevString::TZevString(char c) : text(CopyOf(&c, 1)) {}

TZevString::TZevString(int value) : text(nullptr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    text = CopyOf(buffer);
}

TZevString::TZevString(float value) : text(nullptr)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    text = CopyOf(buffer);
}

TZevString::TZevString(const char* s, std::int32_t n) : text(nullptr)
{
    if (!s)
        return;
    std::size_t length = 0;
    while (static_cast<std::int64_t>(length) < n && s[length])
        ++length;
    text = CopyOf(s, length);
}

TZevString::~TZevString()
{
    std::free(text);
    text = nullptr;
}

TZevString& TZevString::operator=(const TZevString& other)
{
    if (this != &other) {
        char* copy = CopyOf(other.text);
        std::free(text);
        text = copy;
    }
    return *this;
}

TZevString& TZevString::operator=(TZevString&& other) noexcept
{
    if (this != &other) {
        std::free(text);
        text = other.text;
        other.text = nullptr;
    }
    return *this;
}

TZevString& TZevString::operator=(const char* s)
{
    char* copy = CopyOf(s); // s may point into our own text
    std::free(text);
    text = copy;
    return *this;
}

std::int32_t TZevString::GetLength() const
{
    return text ? static_cast<std::int32_t>(std::strlen(text)) : 0;
}

char* TZevString::CopyText() const
{
    return CopyOf(text);
}

char* TZevString::GetBuffer(std::int32_t n)
{
    if (n < 0)
        n = 0;
    char* buffer = static_cast<char*>(std::malloc(static_cast<std::size_t>(n) + 1));
    if (!buffer)
        throw std::bad_alloc();
    buffer[n] = '\0';
    std::free(text);
    text = buffer;
    return buffer;
}

TZevString operator+(const TZevString& a, const TZevString& b)
{
    const std::size_t la = a.text ? std::strlen(a.text) : 0;
    const std::size_t lb = b.text ? std::strlen(b.text) : 0;
    TZevString result;
    char* out = result.GetBuffer(static_cast<std::int32_t>(la + lb));
    if (la)
        std::memcpy(out, a.text, la);
    if (lb)
        std::memcpy(out + la, b.text, lb);
    return result;
}

bool operator==(const TZevString& a, const TZevString& b)
{
    return a.text && b.text && std::strcmp(a.text, b.text) == 0;
}

bool operator!=(const TZevString& a, const TZevString& b)
{
    return !(a == b);
}

TZevString ExtractFileName(const char* path)
{
    if (!path)
        return TZevString();
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return TZevString(name);
}

TZevString EscapeBackslashes(const char* text)
{
    if (!text)
        return TZevString();
    std::size_t extra = 0;
    for (const char* p = text; *p; ++p)
        extra += (*p == '\\');
    TZevString result;
    char* out = result.GetBuffer(static_cast<std::int32_t>(std::strlen(text) + extra));
    for (const char* p = text; *p; ++p) {
        *out++ = *p;
        if (*p == '\\')
            *out++ = '\\';
    }
    return result;
}

const TZevString& GetEmptyString()
{
    static const TZevString empty("");
    return empty;
}

void ZevStringInit()
{
    GetEmptyString();
}

// ---- TZevStringList ----

TZevStringList::~TZevStringList()
{
    Clear();
}

void TZevStringList::Add(const char* text)
{
    lines.Add(new TZevStringListLine(TZevString(text)));
}

void TZevStringList::Add(const TZevString& s)
{
    lines.Add(new TZevStringListLine(s));
}

int TZevStringList::AddText(const TZevString& s)
{
    if (!s.text)
        return 0;
    const char* start = s.text;
    const char* p = start;
    while (*p) {
        if (*p == '\r' || *p == '\n') {
            Add(TZevString(start, static_cast<std::int32_t>(p - start)));
            if (p[0] == '\r' && p[1] == '\n')
                ++p;
            ++p;
            start = p;
        } else {
            ++p;
        }
    }
    if (p != start)
        Add(TZevString(start));
    return 1;
}

const char* TZevStringList::GetAt(int i)
{
    TZevStringListLine* line = ZevItemAt<TZevStringListLine>(lines, i);
    return line ? line->line.text : nullptr;
}

void TZevStringList::Clear()
{
    while (TZevStringListLine* line = ZevPopItem<TZevStringListLine>(lines))
        delete line;
}

namespace {

int JoinLines(TZevStringList& list, TZevString& out, const char* separator)
{
    const std::size_t sep = std::strlen(separator);
    std::size_t total = 0;
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        const char* line = list.GetAt(i);
        total += (line ? std::strlen(line) : 0) + sep;
    }
    char* out_text = out.GetBuffer(static_cast<std::int32_t>(total));
    for (int i = 0; i < count; ++i) {
        if (const char* line = list.GetAt(i)) {
            const std::size_t n = std::strlen(line);
            std::memcpy(out_text, line, n);
            out_text += n;
        }
        std::memcpy(out_text, separator, sep);
        out_text += sep;
    }
    return 1;
}

} // namespace

int TZevStringList::GetText(TZevString& out)
{
    return JoinLines(*this, out, "\n");
}

int TZevStringList::GetTextCRLF(TZevString& out)
{
    return JoinLines(*this, out, "\r\n");
}

int TZevStringList::GetConcatenated(TZevString& out)
{
    return JoinLines(*this, out, "");
}

// ---- TZevTextTokenizer ----

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

bool IsPunctuation(char c)
{
    return c != '\0' && std::strchr("!\"#%&'()*+,/:;<=>?[\\]^{|}@", c) != nullptr;
}

bool EndsWord(char c)
{
    return c == '\0' || std::strchr("\n\r\a\t {},;\"", c) != nullptr;
}

} // namespace

void TZevTextTokenizer::SetText(char* text)
{
    AssignText(text);
    std::free(text);
}

void TZevTextTokenizer::AssignText(const char* text)
{
    if (!text)
        text = "";
    SetData(text, static_cast<std::int32_t>(std::strlen(text) + 1));
}

char TZevTextTokenizer::Peek(std::int32_t at) const
{
    return (data && at >= 0 && at < size) ? data[at] : '\0';
}

void TZevTextTokenizer::SkipBlanksThenTabs()
{
    while (Peek(position) == ' ')
        ++position;
    while (Peek(position) == '\t')
        ++position;
}

TZevString TZevTextTokenizer::TakeNumber()
{
    const std::int32_t start = position++;
    while (IsDigit(Peek(position)) || Peek(position) == '.')
        ++position;
    return TZevString(data + start, position - start);
}

TZevString TZevTextTokenizer::GetToken()
{
    for (;;) {
        SkipBlanksThenTabs();
        const char c = Peek(position);
        if (IsDigit(c) || c == '.' || c == '-')
            return TakeNumber();
        if (c == '\0')
            return TZevString("");
        if (c == '\a' || c == '\t' || c == '\n' || c == '\r' || c == ' ') {
            ++position;
            continue;
        }
        if (IsPunctuation(c)) {
            ++position;
            return TZevString(c);
        }
        const std::int32_t start = position++;
        while (!EndsWord(Peek(position)))
            ++position;
        return TZevString(data + start, position - start);
    }
}

TZevString TZevTextTokenizer::GetIdentToken()
{
    for (;;) {
        SkipBlanksThenTabs();
        const char c = Peek(position);
        if (IsLetter(c) || c == '_' || IsHighByte(c)) {
            // Text is UTF-8: every byte of a multi-byte character is 0x80 or above, so taking those bytes one by
            // one keeps each character whole, and the terminating zero always ends the identifier.
            const std::int32_t start = position++;
            for (char d = Peek(position); IsLetter(d) || IsDigit(d) || d == '_' || IsHighByte(d); d = Peek(position))
                ++position;
            return TZevString(data + start, position - start);
        }
        if (IsDigit(c) || c == '-' || c == '.')
            return TakeNumber();
        if (c == '\0')
            return TZevString("");
        if (IsPunctuation(c)) {
            ++position;
            return TZevString(c);
        }
        ++position;
    }
}
