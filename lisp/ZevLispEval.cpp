// The evaluator: atoms by their current binding, self-evaluating values as themselves, quote and cond, lambda
// application with dynamic binding, and builtins handed their unevaluated argument forms.
#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"

#include "ZevLispEvalStack.h"

#include <cstdint>

namespace {

// Adds a context line: three blanks, in, and what `quote` appends, between double quotes; up to the limit of lines
// an error keeps.
template <class Quote> void AddContextLine(TZevLispError* err, Quote quote)
{
    const int lines = err->Message.GetCount();
    if (lines > LispMaxContextLines) {
        if (lines == LispMaxContextLines + 1)
            err->Message.Add("   ...");
        return;
    }
    TZevLispText text;
    text.Append("   in \"");
    quote(text);
    text.Append('"');
    err->Message.Add(text.Data());
}

// The context line of one level of evaluation: the form, printed.
void AddContext(TZevLispError* err, const TZevLispRef& form)
{
    AddContextLine(err, [&](TZevLispText& text) { LispPrintValue(text, form.Get(), LispMaxContextForm); });
}

} // namespace

namespace {

// "Undefined Variable!" for a head that names nothing to apply; followed by the atom's name when it came from one.
void UndefinedVariable(TZevLispRef& result, const TZevLispRef& atom)
{
    if (!LispIsAtom(atom)) {
        LispMakeError(result, "Undefined Variable!");
        return;
    }
    LispMakeError(result, TZevString("Undefined Variable! ") + LispAtom(atom)->Name);
}

// One level of evaluation handed to the evaluation stack.
struct TEvalLevel {
    TZevLispInterpreter* Interp;
    TZevLispRef* Result;
    const TZevLispRef* Form;
};

void EvalLevelOnOwnStack(void* p)
{
    auto* level = static_cast<TEvalLevel*>(p);
    level->Interp->EvalCore(*level->Result, *level->Form);
}

// The level of evaluation at which the stack in use runs low: deep recursion goes on on the evaluation stack,
// unless it is that one that runs low. Kept out of Eval so that every level's frame stays small.
[[gnu::noinline]] void EvalOnOwnStack(TZevLispInterpreter* interp, TZevLispRef& r, const TZevLispRef& form)
{
    TEvalLevel level{interp, &r, &form};
    if (!TZevLispEvalStack::Run(EvalLevelOnOwnStack, &level))
        LispMakeError(r, "Too Deep Recursion!");
}

} // namespace

// One level of evaluation of a list whose head is a builtin named in place (the most common call), and the rest.
// The builtin's argument list is checked once here, and the builtin's own parameter holds the list while it runs
// (the form may lose its last holder meanwhile).
[[gnu::always_inline]] inline void TZevLispInterpreter::EvalHead(TZevLispRef& result, const TZevLispRef& form)
{
    TZevLispObj* f = form.Get();
    if (f && f->GetClassRecord() == TZevPair::TypeId) {
        auto* p = static_cast<TZevPair*>(f);
        TZevLispObj* head = p->Car.Get();
        if (head && head->GetClassRecord() == TZevLispFunc::TypeId && head != LispQuoteFunc.Get() &&
            IsShortArgList(p->Cdr.Get())) {
            const std::int32_t held = HeldDepth;
            static_cast<TZevLispFunc*>(head)->Native(result, this, p->Cdr);
            if (HeldDepth > held)
                DropHeldValues(held);
            return;
        }
    }
    EvalOther(result, form);
}

void TZevLispInterpreter::EvalLevel(TZevLispRef& result, const TZevLispRef& form)
{
    TZevLispRef r;
    if (EvalDepth >= LispMaxEvalDepth) {
        LispMakeError(r, "Too Deep Recursion!");
    } else if (TZevLispEvalStack::HasRoom()) {
        ++EvalDepth;
        EvalHead(r, form);
        --EvalDepth;
    } else {
        ++EvalDepth;
        EvalOnOwnStack(this, r, form);
        --EvalDepth;
    }
    const TZevLispObj* v = r.Get();
    if (!v || v->GetClassRecord() == TZevLispError::TypeId) [[unlikely]]
        EndFailedLevel(r, form);
    result = std::move(r);
}

void TZevLispInterpreter::EvalCore(TZevLispRef& result, const TZevLispRef& form)
{
    EvalHead(result, form);
}

void TZevLispInterpreter::EndFailedLevel(TZevLispRef& r, const TZevLispRef& form)
{
    if (r.IsNull())
        LispMakeError(r, "Empty Object!");
    // An error value that is the form itself (a faulty argument handed on) failed nowhere here: it gets no line
    // quoting itself.
    if (!form.IsNull() && LispIsError(r) && r.Get() != form.Get())
        AddContext(static_cast<TZevLispError*>(r.Get()), form);
}

void LispAddReadContext(const TZevLispRef& error, const char* text, std::int32_t size, std::int32_t from,
                        std::int32_t to)
{
    if (!LispIsError(error))
        return;
    AddContextLine(static_cast<TZevLispError*>(error.Get()), [&](TZevLispText& quoted) {
        LispAppendReadText(quoted, text, size, from, to, LispMaxContextForm);
    });
}

void TZevLispInterpreter::EvalOther(TZevLispRef& result, const TZevLispRef& form)
{
    if (form.IsNull()) {
        LispMakeError(result, "Empty Object!");
        return;
    }
    if (LispIsAtom(form)) {
        TZevAtom* atom = LispAtom(form);
        if (const TZevLispRef* v = atom->ValuePtr()) {
            result = *v;
            return;
        }
        TZevString msg = TZevString("Unbound Variable: ") + atom->Name + TZevString("\n");
        LispMakeError(result, msg);
        return;
    }
    if (!LispIsPair(form)) {
        result = form;
        return;
    }
    TZevPair* p = LispPair(form);
    if (p->Car == LispQuoteFunc) {
        if (LispIsPair(p->Cdr))
            result = LispPair(p->Cdr)->Car;
        else
            LispMakeError(result, "Too Few Arguments!");
        return;
    }
    if (p->Car == CondAtom) {
        Cond(result, p->Cdr);
        return;
    }
    // The argument forms are handed over as they stand: no builtin changes a list it is given, and a list once
    // built is never changed, so a copy (the cost of a call in allocation-heavy scripts) would show nothing.
    if (!CheckArgList(result, p->Cdr))
        return;
    // Held here: the handle the caller passed the form by may be given another value while it is applied.
    const TZevLispRef heldHead = p->Car;
    const TZevLispRef args = p->Cdr;
    Apply(result, heldHead, args);
}

void TZevLispInterpreter::DropHeldValues(std::int32_t depth)
{
    TZevLispRef dropped;
    while (HeldDepth > depth) {
        HeldValues.PopFront(dropped);
        dropped.Clear();
        --HeldDepth;
    }
}

bool TZevLispInterpreter::CheckArgList(TZevLispRef& error, const TZevLispRef& list)
{
    TZevLispObj* cur = list.Get();
    TZevLispObj* slow = cur; // a cyclic argument list (a loaded value) is refused, not walked forever
    for (std::uint32_t steps = 1; cur && cur->GetClassRecord() == TZevPair::TypeId; ++steps) {
        cur = static_cast<TZevPair*>(cur)->Cdr.Get();
        if ((steps & 1) == 0)
            slow = static_cast<TZevPair*>(slow)->Cdr.Get();
        if (slow == cur) {
            LispMakeError(error, "Bad Variable Type!");
            return false;
        }
    }
    if (!cur) {
        LispMakeError(error, "Empty Object!");
        return false;
    }
    if (cur != Nil.Get()) {
        LispMakeError(error, "Bad Variable Type!");
        return false;
    }
    return true;
}

void TZevLispInterpreter::EvalList(TZevLispRef& result, const TZevLispRef& list, const char* notPairError)
{
    // The list is held by the caller and never changed, so it is walked without holding each cell.
    TZevLispRef first;
    TZevPair* last = nullptr;
    for (TZevLispObj* cur = list.Get(); cur != Nil.Get();) {
        if (!cur || cur->GetClassRecord() != TZevPair::TypeId) {
            LispMakeError(result, notPairError);
            return;
        }
        auto* cell = static_cast<TZevPair*>(cur);
        TZevLispRef v;
        Eval(v, cell->Car);
        if (LispIsError(v)) {
            result = std::move(v);
            return;
        }
        TZevLispRef p;
        LispConsTaking(p, std::move(v), Nil);
        TZevPair* made = LispPair(p);
        if (last)
            last->Cdr = std::move(p);
        else
            first = std::move(p);
        last = made;
        cur = cell->Cdr.Get();
    }
    if (first.IsNull())
        result = Nil;
    else
        result = std::move(first);
}

void TZevLispInterpreter::Apply(TZevLispRef& result, const TZevLispRef& headForm, const TZevLispRef& args)
{
    // An atom bound to a lambda list, the common call of a script function.
    if (LispIsAtom(headForm)) {
        const TZevLispRef* v = LispAtom(headForm)->ValuePtr();
        if (v && LispIsPair(*v) && LispPair(*v)->Car == LambdaAtom) {
            const TZevLispRef lambda = *v; // held: the atom may be given another value while the body runs
            ApplyLambda(result, lambda, args);
            return;
        }
    }
    TZevLispRef head = headForm;
    TZevLispRef named; // the last atom the head was looked up by: the name an error gives
    if (LispIsAtom(head)) {
        // Follow atoms bound to atoms; a ring of atoms never reaches anything to apply.
        TZevLispRef slow = head;
        for (int steps = 1; LispIsAtom(head); ++steps) {
            const TZevLispRef* v = LispAtom(head)->ValuePtr();
            if (!v) {
                UndefinedVariable(result, head);
                return;
            }
            named = head;
            head = *v;
            if ((steps & 1) == 0) {
                TZevLispRef s = *LispAtom(slow)->ValuePtr();
                slow = std::move(s);
            }
            if (head == slow && LispIsAtom(head)) {
                UndefinedVariable(result, head);
                return;
            }
        }
    }
    if (LispIsFunc(head)) {
        static_cast<TZevLispFunc*>(head.Get())->Call(result, this, args);
        return;
    }
    if (!LispIsPair(head)) {
        UndefinedVariable(result, named);
        return;
    }
    if (LispPair(head)->Car != LambdaAtom) {
        TZevLispRef h;
        Eval(h, head);
        head = std::move(h);
        if (!LispIsPair(head)) {
            result = head; // a value that is not a lambda list is the result, not applied
            return;
        }
        if (LispPair(head)->Car != LambdaAtom) {
            UndefinedVariable(result, named);
            return;
        }
    }
    ApplyLambda(result, head, args);
}

void TZevLispInterpreter::ApplyLambda(TZevLispRef& result, const TZevLispRef& lambda, const TZevLispRef& args)
{
    // The parameters and the body are parts of the lambda list, which the caller holds and nobody changes.
    const TZevLispRef& rest = LispPair(lambda)->Cdr;
    if (!LispIsPair(rest)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    const TZevLispRef& params = LispPair(rest)->Car;
    const TZevLispRef& body = LispPair(rest)->Cdr;
    int n;
    if (IsShortArgList(args.Get())) {
        // A few arguments: their values wait in place for the binding, instead of in a list made for them. Every
        // argument is evaluated before the first is bound, as with the list.
        constexpr int MaxInPlace = 8;
        TZevLispRef values[MaxInPlace];
        int count = 0;
        for (const TZevLispObj* cur = args.Get(); cur != Nil.Get();) {
            const auto* cell = static_cast<const TZevPair*>(cur);
            TZevLispRef& v = values[count++];
            Eval(v, cell->Car);
            if (LispIsError(v)) {
                result = std::move(v);
                return;
            }
            cur = cell->Cdr.Get();
        }
        n = 0;
        const TZevLispRef* p = &params;
        for (int i = 0; i < count && LispIsPair(*p); ++i, p = &LispPair(*p)->Cdr) {
            const TZevLispRef& name = LispPair(*p)->Car;
            if (LispIsAtom(name)) {
                Bindings.PushFront(name);
                LispAtom(name)->PushValue(std::move(values[i]));
                ++n;
            }
        }
    } else {
        TZevLispRef values;
        EvalList(values, args, "Bad Parameter!");
        if (LispIsError(values)) {
            result = std::move(values);
            return;
        }
        n = Bind(params, values);
    }
    TZevLispRef r;
    for (const TZevLispRef* form = &body; *form != Nil; form = &LispPair(*form)->Cdr) {
        if (!LispIsPair(*form)) {
            LispMakeError(r, "Bad Variable Type!");
            break;
        }
        Eval(r, LispPair(*form)->Car);
        if (LispIsError(r))
            break;
    }
    Unbind(n);
    result = std::move(r);
}

void TZevLispInterpreter::Cond(TZevLispRef& result, const TZevLispRef& clauses)
{
    TZevLispRef list = clauses;
    for (;;) {
        if (!LispIsPair(list)) {
            LispMakeError(result, "Bad Variable Type!");
            return;
        }
        const TZevLispRef& clause = LispPair(list)->Car;
        if (!LispIsPair(clause)) {
            LispMakeError(result, "Bad Variable Type!");
            return;
        }
        TZevLispRef t;
        Eval(t, LispPair(clause)->Car);
        if (LispIsError(t)) {
            result = std::move(t);
            return;
        }
        if (t != Nil) {
            const TZevLispRef& forms = LispPair(clause)->Cdr;
            if (!LispIsPair(forms)) {
                LispMakeError(result, "Bad Variable Type!");
                return;
            }
            Eval(result, LispPair(forms)->Car);
            return;
        }
        TZevLispRef next = LispPair(list)->Cdr;
        list = std::move(next);
    }
}

int TZevLispInterpreter::Bind(const TZevLispRef& params, const TZevLispRef& values)
{
    // Both lists are held by the caller and never changed: walked without holding each cell.
    int n = 0;
    const TZevLispRef* p = &params;
    const TZevLispRef* v = &values;
    while (LispIsPair(*p) && LispIsPair(*v)) {
        const TZevLispRef& name = LispPair(*p)->Car;
        if (LispIsAtom(name)) {
            Bindings.PushFront(name);
            LispAtom(name)->PushValue(LispPair(*v)->Car);
            ++n;
        }
        p = &LispPair(*p)->Cdr;
        v = &LispPair(*v)->Cdr;
    }
    return n;
}

void TZevLispInterpreter::Unbind(int n)
{
    TZevLispRef atom, value;
    for (int i = 0; i < n; ++i) {
        Bindings.PopFront(atom);
        if (LispIsAtom(atom))
            LispAtom(atom)->PopValue(value);
    }
}
