#include "ZevLispValues.h"

#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"

#include <cmath>

TZevLispClass TZevLispError::Class{};
TZevLispClass TZevPair::Class{};
TZevLispClass TZevAtom::Class{};
TZevLispClass TZevLispFunc::Class{};
TZevLispClass TZevLispString::Class{};
TZevLispClass TZevLispInteger::Class{};
TZevLispClass TZevLispFloat::Class{};
TZevLispSlabs TZevPair::Slabs{(sizeof(TZevPair) + 15) / 16 * 16, nullptr, nullptr, 0, 0};
TZevLispSlabs TZevLispInteger::Slabs{(sizeof(TZevLispInteger) + 15) / 16 * 16, nullptr, nullptr, 0, 0};
TZevLispSlabs TZevLispFloat::Slabs{(sizeof(TZevLispFloat) + 15) / 16 * 16, nullptr, nullptr, 0, 0};
TZevClassRecord* TZevLispError::TypeId = nullptr;
TZevClassRecord* TZevPair::TypeId = nullptr;
TZevClassRecord* TZevAtom::TypeId = nullptr;
TZevClassRecord* TZevLispFunc::TypeId = nullptr;
TZevClassRecord* TZevLispString::TypeId = nullptr;
TZevClassRecord* TZevLispInteger::TypeId = nullptr;
TZevClassRecord* TZevLispFloat::TypeId = nullptr;

namespace {
template <class T> TZevLSObj* CreateValue()
{
    return ZevCreateRegistered<T>(&T::Class.Record);
}

template <class T> void RegisterKind(const char* name, const char* parent = "TZevLispObj")
{
    LispRegisterValueClass(&T::Class, name, &CreateValue<T>, parent);
    T::TypeId = &T::Class.Record;
}
} // namespace

void LispRegisterValueClasses()
{
    RegisterKind<TZevLispObj>("TZevLispObj", "TZevLSObj");
    RegisterKind<TZevLispError>("TZevLispError");
    RegisterKind<TZevPair>("TZevPair");
    RegisterKind<TZevAtom>("TZevAtom");
    RegisterKind<TZevLispFunc>("TZevLispFunc");
    RegisterKind<TZevLispString>("TZevLispString");
    RegisterKind<TZevLispInteger>("TZevLispInteger");
    RegisterKind<TZevLispFloat>("TZevLispFloat");
}

void LispDrainValueClasses()
{
    LispDrainValueClass(&TZevLispFloat::Class);
    LispDrainValueClass(&TZevLispInteger::Class);
    LispDrainValueClass(&TZevLispString::Class);
    LispDrainValueClass(&TZevLispFunc::Class);
    LispDrainValueClass(&TZevAtom::Class);
    LispDrainValueClass(&TZevPair::Class);
    LispDrainValueClass(&TZevLispError::Class);
    LispDrainValueClass(&TZevLispObj::Class);
}

// ---- Kinds ------------------------------------------------------------------------------------------------------

void TZevLispError::AppendText(TZevLispText& out)
{
    out.Append("Error: ");
    const int n = Message.GetCount();
    for (int i = 0; i < n; ++i) {
        if (const char* line = Message.GetAt(i))
            out.Append(line);
        out.Append('\n');
    }
}

void TZevPair::Clear()
{
    // Releasing queues the parts on the release work list, so long or deep lists never recurse here.
    Car.Clear();
    Cdr.Clear();
    Marked = false;
}

void TZevAtom::AppendText(TZevLispText& out)
{
    if (Name.CStr())
        out.Append(Name.CStr());
}

void TZevAtom::PopValue(TZevLispRef& out)
{
    if (!Bound) {
        out = Nil;
        return;
    }
    TZevLispRef top = std::move(Top);
    if (Shadowed.IsEmpty())
        Bound = false;
    else
        Shadowed.PopFront(Top);
    out = std::move(top);
}

void TZevAtom::ClearValues()
{
    TZevLispRef top = std::move(Top);
    Bound = false;
    top.Clear();
    Shadowed.Clear();
}

void TZevLispFunc::AppendText(TZevLispText& out)
{
    if (Name.CStr())
        out.Append(Name.CStr());
}

void TZevLispFunc::Call(TZevLispRef& result, TZevLispInterpreter* interp, const TZevLispRef& args)
{
    if (!LispIsPair(args) && args != Nil) {
        LispMakeError(result, "Bad Valuable Type!");
        return;
    }
    const std::int32_t depth = interp->HeldDepth;
    TZevLispRef r;
    Native(r, interp, args);
    result = std::move(r);
    TZevLispRef dropped;
    while (interp->HeldDepth > depth) {
        interp->HeldValues.PopFront(dropped);
        dropped.Clear();
        --interp->HeldDepth;
    }
}

void TZevLispString::AppendText(TZevLispText& out)
{
    if (Quoted)
        out.Append('"');
    if (Text.CStr())
        out.Append(Text.CStr());
    if (Quoted)
        out.Append('"');
}

void TZevLispInteger::AppendText(TZevLispText& out)
{
    out.AppendInt(Value);
}

void TZevLispFloat::AppendText(TZevLispText& out)
{
    out.AppendFloat(Value);
}

// ---- Constructors -------------------------------------------------------------------------------------------------

void LispMakeError(TZevLispRef& out, const TZevString& text)
{
    TZevLispRef e;
    TZevLispError::New(e);
    auto* err = static_cast<TZevLispError*>(e.Get());
    err->Message.Clear();
    err->Message.AddText(text);
    out = std::move(e);
}

void LispMakeError(TZevLispRef& out, const char* text)
{
    LispMakeError(out, TZevString(text));
}

void LispCons(TZevLispRef& out, const TZevLispRef& car, const TZevLispRef& cdr)
{
    TZevLispRef p;
    TZevPair::New(p);
    LispPair(p)->Car = car;
    LispPair(p)->Cdr = cdr;
    out = std::move(p);
}

void LispConsTaking(TZevLispRef& out, TZevLispRef&& car, TZevLispRef&& cdr)
{
    TZevLispRef p;
    TZevPair::New(p);
    LispPair(p)->Car = std::move(car);
    LispPair(p)->Cdr = std::move(cdr);
    out = std::move(p);
}

void LispConsTaking(TZevLispRef& out, TZevLispRef&& car, const TZevLispRef& cdr)
{
    TZevLispRef p;
    TZevPair::New(p);
    LispPair(p)->Car = std::move(car);
    LispPair(p)->Cdr = cdr;
    out = std::move(p);
}

void LispCar(TZevLispRef& out, const TZevLispRef& v)
{
    if (LispIsPair(v))
        out = LispPair(v)->Car;
    else
        LispMakeError(out, "Bad Variable Type!");
}

void LispCdr(TZevLispRef& out, const TZevLispRef& v)
{
    if (LispIsPair(v))
        out = LispPair(v)->Cdr;
    else
        LispMakeError(out, "Bad Variable Type!");
}

bool LispIsTrue(const TZevLispRef& v)
{
    return v != Nil && v != NilAtom;
}

void LispMakeInteger(TZevLispRef& out, std::int32_t value)
{
    TZevLispRef v;
    TZevLispInteger::New(v);
    static_cast<TZevLispInteger*>(v.Get())->Value = value;
    out = std::move(v);
}

void LispMakeFloat(TZevLispRef& out, double value)
{
    TZevLispRef v;
    TZevLispFloat::New(v);
    static_cast<TZevLispFloat*>(v.Get())->Value = value;
    out = std::move(v);
}

void LispMakeString(TZevLispRef& out, const char* text, std::int32_t quoted)
{
    TZevLispRef v;
    TZevLispString::New(v);
    auto* s = static_cast<TZevLispString*>(v.Get());
    s->Text = text ? text : "";
    s->Quoted = quoted;
    out = std::move(v);
}

std::int32_t LispFloatToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<std::int32_t>(v);
}
