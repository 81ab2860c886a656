#include "ZevLispPrinter.h"

#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

TZevLispText::~TZevLispText()
{
    std::free(Buffer);
}

void TZevLispText::Append(const char* s, std::size_t n)
{
    if (Length + n + 1 > Capacity) {
        std::size_t cap = Capacity ? Capacity : 64;
        while (Length + n + 1 > cap)
            cap *= 2;
        char* b = static_cast<char*>(std::realloc(Buffer, cap));
        if (!b)
            throw std::bad_alloc();
        Buffer = b;
        Capacity = cap;
    }
    std::memcpy(Buffer + Length, s, n);
    Length += n;
    Buffer[Length] = 0;
}

void TZevLispText::Append(const char* s)
{
    Append(s, std::strlen(s));
}

void TZevLispText::AppendInt(std::int32_t v)
{
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    Append(buf, static_cast<std::size_t>(r.ptr - buf));
}

void TZevLispText::AppendFloat(double v)
{
    // Locale-independent "%f"; a double beyond the float range would turn into an infinity as a float.
    double shown = v;
    if (std::isfinite(v) && std::fabs(v) <= FLT_MAX)
        shown = static_cast<double>(static_cast<float>(v));
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, shown, std::chars_format::fixed, 6);
    if (r.ec != std::errc())
        Append("0.000000");
    else
        Append(buf, static_cast<std::size_t>(r.ptr - buf));
}

void TZevLispText::Truncate(std::size_t n)
{
    if (n >= Length)
        return;
    Length = n;
    Buffer[Length] = 0;
}

TZevString TZevLispText::TakeString()
{
    TZevString s(Data());
    Length = 0;
    if (Buffer)
        Buffer[0] = 0;
    return s;
}

// ---- Printer ------------------------------------------------------------------------------------------------------

namespace {

struct PrintFrame {
    TZevPair* first; // the list's first pair (or the quote pair)
    TZevPair* cur;   // the pair whose car was printed last
    bool quote;
};

// A growable stack of frames through the counting allocator.
class FrameStack {
public:
    ~FrameStack() { ZevFree(Items); }
    void Push(const PrintFrame& f)
    {
        if (Count == Cap) {
            int cap = Cap ? Cap * 2 : 16;
            auto* items = static_cast<PrintFrame*>(ZevAllocObject(sizeof(PrintFrame) * cap));
            if (Count)
                std::memcpy(items, Items, sizeof(PrintFrame) * Count);
            ZevFree(Items);
            Items = items;
            Cap = cap;
        }
        Items[Count++] = f;
    }
    PrintFrame& Top() { return Items[Count - 1]; }
    void Pop() { --Count; }
    bool Empty() const { return Count == 0; }

private:
    PrintFrame* Items = nullptr;
    int Count = 0;
    int Cap = 0;
};

bool IsPairObj(TZevLispObj* v)
{
    return v && v->GetClassRecord() == TZevPair::TypeId;
}

void Unmark(const PrintFrame& f)
{
    for (TZevPair* p = f.first;; p = static_cast<TZevPair*>(p->Cdr.Get())) {
        p->Marked = false;
        if (p == f.cur)
            break;
    }
}

} // namespace

namespace {

// Ends a form cut at the limit: its text up to the last whole character within the limit, then "...". The pairs
// of the unfinished lists lose their marks.
void CutAt(TZevLispText& out, std::size_t start, std::size_t limit, FrameStack& stack)
{
    while (!stack.Empty()) {
        Unmark(stack.Top());
        stack.Pop();
    }
    std::size_t end = start + limit;
    // Not inside a multi-byte character: back up over its continuation bytes and its lead byte.
    const char* text = out.Data();
    while (end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    out.Truncate(end);
    out.Append("...");
}

} // namespace

void LispPrintValue(TZevLispText& out, TZevLispObj* root, std::size_t limit)
{
    FrameStack stack;
    const std::size_t start = out.Size();
    TZevLispObj* next = root;
    for (;;) {
        if (out.Size() - start > limit) {
            CutAt(out, start, limit, stack);
            return;
        }
        // Print `next`: a leaf at once, a pair by opening a frame and going on with its car.
        if (!next) {
            out.Append("NULL");
        } else if (!IsPairObj(next)) {
            next->AppendText(out);
        } else {
            auto* p = static_cast<TZevPair*>(next);
            if (p->Marked) {
                out.Append("...");
            } else {
                p->Marked = true;
                TZevLispObj* cdr = p->Cdr.Get();
                if (p->Car.Get() && p->Car.Get() == LispQuoteFunc.Get() && IsPairObj(cdr)) {
                    out.Append('\'');
                    stack.Push({p, p, true});
                    next = static_cast<TZevPair*>(cdr)->Car.Get();
                } else {
                    out.Append('(');
                    stack.Push({p, p, false});
                    next = p->Car.Get();
                }
                continue;
            }
        }
        // Close what is finished and find the next element to print.
        next = nullptr;
        bool more = false;
        while (!stack.Empty()) {
            PrintFrame& f = stack.Top();
            if (f.quote) {
                f.first->Marked = false;
                stack.Pop();
                continue;
            }
            TZevLispObj* d = f.cur->Cdr.Get();
            if (IsPairObj(d) && !static_cast<TZevPair*>(d)->Marked) {
                auto* dp = static_cast<TZevPair*>(d);
                dp->Marked = true;
                f.cur = dp;
                out.Append(' ');
                next = dp->Car.Get();
                more = true;
                break;
            }
            if (!d) {
                out.Append(" NULL");
            } else if (d == Nil.Get()) {
                out.Append(')');
            } else if (IsPairObj(d)) {
                out.Append(" . ...)");
            } else {
                out.Append(" . ");
                d->AppendText(out);
                out.Append(')');
            }
            Unmark(f);
            stack.Pop();
        }
        if (!more)
            break;
    }
    if (out.Size() - start > limit)
        CutAt(out, start, limit, stack);
}

void LispWriteText(TZevLispInterpreter* writer, const TZevLispText& text)
{
    if (writer)
        writer->WriteChars(text.Data(), static_cast<std::int32_t>(text.Size()));
}
