// Heap string, list of text lines, path helpers and the text tokenizer of the mesh and Lisp readers.
#pragma once

#include "ZevDebug.h"
#include "ZevList.h"
#include "ZevStream.h"

#include <cstdint>

// A heap text (plain heap, not counted) or the null string. The null string and the empty text differ: == is
// false when either side is null.
class TZevString : public TZevAllocated {
public:
    TZevString() : text(nullptr) {}
    TZevString(const char* s); // a copy; null gives the null string
    TZevString(const TZevString& other);
    TZevString(TZevString&& other) noexcept : text(other.text) { other.text = nullptr; }
    explicit TZevString(char c);              // the character and a zero
    explicit TZevString(int value);           // "%d"
    explicit TZevString(float value);         // "%f"
    TZevString(const char* s, std::int32_t n); // the first n characters (fewer when the text ends sooner)
    ~TZevString();

    TZevString& operator=(const TZevString& other);
    TZevString& operator=(TZevString&& other) noexcept;
    TZevString& operator=(const char* s);

    const char* CStr() const { return text; }
    bool IsNull() const { return text == nullptr; }
    // Number of characters; 0 for the null string.
    std::int32_t GetLength() const;
    // A new plain heap copy (free it with free()); null for the null string.
    char* CopyText() const;
    // Replaces the text by a buffer of n + 1 bytes whose byte n is 0, for the caller to fill.
    char* GetBuffer(std::int32_t n);

    char* text;
};

// a's text then b's; a null side counts as empty; never null.
TZevString operator+(const TZevString& a, const TZevString& b);
// True only when both are non-null and equal byte for byte.
bool operator==(const TZevString& a, const TZevString& b);
bool operator!=(const TZevString& a, const TZevString& b);

// The part of a path after its last '\\' or '/'; the whole path when it has neither.
TZevString ExtractFileName(const char* path);
// A copy in which every '\\' is doubled.
TZevString EscapeBackslashes(const char* text);
// The program-wide empty text.
const TZevString& GetEmptyString();

// One line of a TZevStringList.
struct TZevStringListLine : TZevAllocated {
    TZevStringListLine() = default;
    explicit TZevStringListLine(const TZevString& s) : line(s) {}
    virtual ~TZevStringListLine() = default;
    TZevString line;
    std::int32_t reserved = 0;
};

// Lines of text, owned by the list.
class TZevStringList : public TZevAllocated {
public:
    TZevStringList() = default;
    virtual ~TZevStringList();
    TZevStringList(const TZevStringList&) = delete;
    TZevStringList& operator=(const TZevStringList&) = delete;

    void Add(const char* text);
    void Add(const TZevString& s);
    // Splits at CR, LF or CR LF and appends each line; a final line ending gives no empty line. 0 for a null
    // string (nothing appended), else 1.
    int AddText(const TZevString& s);
    // Text of line i (null outside [0, count)); sequential access costs one step.
    const char* GetAt(int i);
    int GetCount() const { return lines.Count; }
    void Clear();
    // All lines joined, each followed by "\n" / "\r\n" / nothing. Return 1.
    int GetText(TZevString& out);
    int GetTextCRLF(TZevString& out);
    int GetConcatenated(TZevString& out);

    TZevCursorList lines; // of TZevStringListLine
};

// Tokenizer over an in-memory text (buffer = text and its terminating zero, position = next unread character).
class TZevTextTokenizer : public TZevBufferStream {
public:
    TZevTextTokenizer() = default;

    // Takes over a plain heap text (malloc): the buffer becomes a copy of it and the given text is freed.
    void SetText(char* text);
    // The buffer becomes a copy of the text; the caller keeps its own.
    void AssignText(const char* text);

    // Next token of the mesh-file reader; the empty text at the end.
    TZevString GetToken();
    // Next token of the Lisp reader; the empty text at the end.
    virtual TZevString GetIdentToken();

protected:
    // The character at `position`, 0 at or past the end of the buffer.
    char Peek(std::int32_t at) const;
    void SkipBlanksThenTabs();
    TZevString TakeNumber();
};

// Start-up of this file (the program-wide empty string); called from ZevCoreInit.
void ZevStringInit();
