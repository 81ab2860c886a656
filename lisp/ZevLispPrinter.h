// Printed forms of values: a growable text and the printer that walks lists without recursion.
#pragma once

#include "ZevString.h"

#include <cstdint>
#include <cstddef>

class TZevLispObj;
class TZevLispInterpreter;

// A growable text (plain heap, like the texts of TZevString).
class TZevLispText {
public:
    TZevLispText() = default;
    ~TZevLispText();
    TZevLispText(const TZevLispText&) = delete;
    TZevLispText& operator=(const TZevLispText&) = delete;

    void Append(const char* s, std::size_t n);
    void Append(const char* s);
    void Append(char c) { Append(&c, 1); }
    void AppendInt(std::int32_t v);
    // "%f" of the value as a 32-bit float; a finite value beyond the float range prints from the double, so a
    // finite number never prints as an infinity.
    void AppendFloat(double v);

    // Shortens the text to its first n bytes (nothing when it is not longer).
    void Truncate(std::size_t n);

    const char* Data() const { return Buffer ? Buffer : ""; }
    std::size_t Size() const { return Length; }
    // The text as a string (the text is left empty).
    TZevString TakeString();

private:
    char* Buffer = nullptr;
    std::size_t Length = 0;
    std::size_t Capacity = 0;
};

// Appends the printed form of a value (null prints "NULL"). Lists are walked with an explicit stack; a pair met
// again inside itself (a cycle) prints "...". With a limit, a form that would print longer than `limit` bytes is
// cut after them (at a character boundary) and ends in "...".
void LispPrintValue(TZevLispText& out, TZevLispObj* v, std::size_t limit = SIZE_MAX);
// Hands the text to the interpreter's Write.
void LispWriteText(TZevLispInterpreter* writer, const TZevLispText& text);
