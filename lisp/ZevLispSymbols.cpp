#include "ZevLispSymbols.h"

#include <cstring>

TZevLispRef Nil;
TZevLispRef NilAtom;
TZevLispRef T;
TZevLispRef DotAtom;
TZevLispRef CloseAtom;
TZevLispRef LambdaAtom;
TZevLispRef CondAtom;
TZevLispRef LispQuoteFunc;
TZevLispRef LispDefFunc;
TZevLispRef LispDefunFunc;
TZevLispRef LispIfFunc;

namespace {

TZevLispRefList* gBuckets = nullptr; // 256 buckets

TZevLispRefList& BucketOf(const char* name)
{
    return gBuckets[ByteSumHash(name) & 0xFF];
}

const char* NameOf(TZevLispObj* v)
{
    if (v->GetClassRecord() == TZevAtom::TypeId)
        return static_cast<TZevAtom*>(v)->Name.CStr();
    if (v->GetClassRecord() == TZevLispFunc::TypeId)
        return static_cast<TZevLispFunc*>(v)->Name.CStr();
    return nullptr;
}

// The first atom or builtin of the bucket with that name.
TZevLispObj* Find(TZevLispRefList& bucket, const char* name)
{
    for (auto* n = bucket.First(); n != bucket.End(); n = n->next) {
        const char* s = NameOf(n->value.Get());
        if (s && std::strcmp(s, name) == 0)
            return n->value.Get();
    }
    return nullptr;
}

void NewAtom(TZevLispRef& out, TZevLispRefList& bucket, const char* name)
{
    TZevLispRef a;
    TZevAtom::New(a);
    LispAtom(a)->SetName(TZevString(name));
    LispAtom(a)->ClearValues();
    bucket.PushBack(a);
    out = std::move(a);
}

// The atom of a name, made when there is none yet; true when it was made now.
bool InternAtom(TZevLispRef& out, const char* name)
{
    TZevLispRefList& bucket = BucketOf(name);
    if (TZevLispObj* v = Find(bucket, name)) {
        out.Reset(v);
        return false;
    }
    NewAtom(out, bucket, name);
    return true;
}

} // namespace

void LispSymbolTableInit()
{
    if (!gBuckets)
        gBuckets = new TZevLispRefList[256];
}

void LispSymbolTableFree()
{
    for (TZevLispRef* r : {&LispIfFunc, &LispDefunFunc, &LispDefFunc, &LispQuoteFunc, &CondAtom, &LambdaAtom,
                           &CloseAtom, &DotAtom, &T, &NilAtom})
        r->Clear();
    if (gBuckets) {
        // Empty every atom's bindings first: atoms and their values may refer to each other.
        for (int b = 0; b < 256; ++b)
            for (auto* n = gBuckets[b].First(); n != gBuckets[b].End(); n = n->next)
                if (n->value.Is(TZevAtom::TypeId))
                    LispAtom(n->value)->ClearValues();
        for (int b = 0; b < 256; ++b)
            gBuckets[b].Clear();
        delete[] gBuckets;
        gBuckets = nullptr;
    }
    Nil.Clear();
}

void LispIntern(TZevLispRef& out, const char* name)
{
    InternAtom(out, name ? name : "");
}

void LispIntern(TZevLispRef& out, const TZevString& name)
{
    LispIntern(out, name.CStr());
}

void LispInternWithSelfValue(TZevLispRef& out, const char* name)
{
    if (!name)
        name = "";
    if (!InternAtom(out, name))
        return;
    TZevLispRef self;
    LispMakeString(self, name, 0);
    LispAtom(out)->PushValue(self);
}

void LispRegisterBuiltin(TZevLispBuiltin native, const char* name)
{
    LispSymbolTableInit();
    TZevLispRef f;
    TZevLispFunc::New(f);
    auto* fn = static_cast<TZevLispFunc*>(f.Get());
    fn->Name = name;
    fn->Native = native;
    BucketOf(name).PushBack(f);
}

void LispFindBuiltin(TZevLispRef& out, const char* name)
{
    TZevLispRefList& bucket = BucketOf(name);
    for (auto* n = bucket.First(); n != bucket.End(); n = n->next)
        if (n->value.Is(TZevLispFunc::TypeId) &&
            std::strcmp(static_cast<TZevLispFunc*>(n->value.Get())->Name.CStr(), name) == 0) {
            out = n->value;
            return;
        }
    out = Nil;
}

void LispForEachBuiltin(void (*visit)(const char* name, void* user), void* user)
{
    if (!gBuckets)
        return;
    for (int b = 0; b < 256; ++b)
        for (auto* n = gBuckets[b].First(); n != gBuckets[b].End(); n = n->next)
            if (n->value.Is(TZevLispFunc::TypeId))
                visit(static_cast<TZevLispFunc*>(n->value.Get())->Name.CStr(), user);
}

void LispMakeGlobalAtoms()
{
    if (Nil.IsNull())
        LispMakeString(Nil, "nil", 0);
    if (NilAtom.IsNull()) {
        InternAtom(NilAtom, "nil");
        if (NilAtom.Is(TZevAtom::TypeId) && !LispAtom(NilAtom)->HasValue())
            LispAtom(NilAtom)->PushValue(Nil);
    }
    if (T.IsNull())
        LispInternWithSelfValue(T, "t");
    if (DotAtom.IsNull())
        LispInternWithSelfValue(DotAtom, ".");
    if (CloseAtom.IsNull())
        LispInternWithSelfValue(CloseAtom, ")");
    if (LambdaAtom.IsNull())
        LispInternWithSelfValue(LambdaAtom, "lambda");
    if (CondAtom.IsNull())
        LispInternWithSelfValue(CondAtom, "cond");
}

void LispPushValue(TZevAtom* atom, const TZevLispRef& v)
{
    atom->PushValue(v);
}

void LispPopValue(TZevAtom* atom, TZevLispRef& out)
{
    atom->PopValue(out);
}

// ---- Argument routines ------------------------------------------------------------------------------------------

void LispFirstArg(TZevLispRef& out, const TZevLispRef& list)
{
    if (LispIsPair(list))
        out = LispPair(list)->Car;
    else
        LispMakeError(out, "Too Few Arguments!");
}

void LispPopArg(TZevLispRef& out, TZevLispRef& list)
{
    if (LispIsPair(list)) {
        TZevLispRef rest = LispPair(list)->Cdr;
        list = std::move(rest);
    }
    LispFirstArg(out, list);
}

void LispCheckNoMoreArgs(TZevLispRef& out, const TZevLispRef& list)
{
    if (!LispIsPair(list) || LispPair(list)->Cdr == Nil)
        out = Nil;
    else
        LispMakeError(out, "Too Many Arguments!");
}

void LispCheckNoArgs(TZevLispRef& out, const TZevLispRef& list)
{
    if (list == Nil)
        out = Nil;
    else
        LispMakeError(out, "Too Many Arguments!");
}
