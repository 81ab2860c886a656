#include "ZevLispObj.h"

#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"

std::int32_t LispShutdownFlag = 0;

TZevLispClass TZevLispObj::Class{};
TZevClassRecord* TZevLispObj::TypeId = nullptr;

// ---- Classes and pools ------------------------------------------------------------------------------------------

void LispRegisterValueClass(TZevLispClass* cls, const char* name, TZevFactory factory, const char* parent)
{
    RegisterClassRecord(&cls->Record, name, parent, factory);
    cls->Registered = true;
}

void LispNewValue(TZevLispRef& out, TZevLispClass* cls)
{
    TZevLispObj* v = cls->FreeHead;
    if (v) {
        cls->FreeHead = v->Link;
        --cls->FreeCount;
        v->ResetDefaults();
    } else {
        v = static_cast<TZevLispObj*>(cls->Record.factory());
    }
    v->SetRefCount(0);
    v->OwnerClass = cls;
    v->Link = nullptr;
    out.Reset(v);
}

void LispDrainValueClass(TZevLispClass* cls)
{
    while (TZevLispObj* v = cls->FreeHead) {
        cls->FreeHead = v->Link;
        delete v;
    }
    cls->FreeCount = 0;
    cls->Registered = false;
}

// ---- TZevLispObj --------------------------------------------------------------------------------------------------

TZevString TZevLispObj::ToString()
{
    TZevLispText text;
    LispPrintValue(text, this);
    return text.TakeString();
}

void TZevLispObj::Print(TZevLispInterpreter* writer)
{
    TZevLispText text;
    LispPrintValue(text, this);
    LispWriteText(writer, text);
}

void TZevLispObj::AppendText(TZevLispText&) {}

namespace {
thread_local TZevLispObj* tPending = nullptr;
thread_local bool tDraining = false;
} // namespace

void LispDispose(TZevLispObj* v)
{
    v->Link = tPending;
    tPending = v;
    if (tDraining)
        return;
    tDraining = true;
    while (tPending) {
        TZevLispObj* o = tPending;
        tPending = o->Link;
        o->Link = nullptr;
        o->Clear(); // may queue what it held
        TZevLispClass* cls = o->OwnerClass;
        if (LispShutdownFlag || !cls || !cls->Registered) {
            delete o;
        } else {
            o->Link = cls->FreeHead;
            cls->FreeHead = o;
            ++cls->FreeCount;
        }
    }
    tDraining = false;
}

// ---- TZevLispRefList ------------------------------------------------------------------------------------------

namespace {
TZevLispRefList::Node* gFreeNodes = nullptr; // singly linked through next
bool gFreeNodesGone = false;

TZevLispRefList::Node* TakeRefNode()
{
    if (TZevLispRefList::Node* n = gFreeNodes) {
        gFreeNodes = n->next;
        return n;
    }
    return new TZevLispRefList::Node();
}

// A node holding v, linked in between two neighbours.
void LinkNewNode(const TZevLispRef& v, TZevLispRefList::Node* prev, TZevLispRefList::Node* next)
{
    TZevLispRefList::Node* n = TakeRefNode();
    n->value = v;
    n->prev = prev;
    n->next = next;
    prev->next = n;
    next->prev = n;
}

void GiveRefNode(TZevLispRefList::Node* n)
{
    if (gFreeNodesGone) {
        delete n;
        return;
    }
    n->next = gFreeNodes;
    gFreeNodes = n;
}
} // namespace

TZevLispRefList::TZevLispRefList() : Count(0)
{
    Head.next = &Head;
    Head.prev = &Head;
}

TZevLispRefList::~TZevLispRefList()
{
    Teardown();
}

void TZevLispRefList::PushFront(const TZevLispRef& v)
{
    LinkNewNode(v, &Head, Head.next);
    ++Count;
}

void TZevLispRefList::PushBack(const TZevLispRef& v)
{
    LinkNewNode(v, Head.prev, &Head);
    ++Count;
}

void TZevLispRefList::PopFront(TZevLispRef& out)
{
    if (Head.next == &Head) {
        out.Clear();
        return;
    }
    Node* n = Head.next;
    Head.next = n->next;
    n->next->prev = &Head;
    --Count;
    out = std::move(n->value);
    GiveRefNode(n);
}

void TZevLispRefList::Front(TZevLispRef& out) const
{
    if (Head.next == &Head)
        out.Clear();
    else
        out = Head.next->value;
}

void TZevLispRefList::Clear()
{
    TZevLispRef v;
    while (Head.next != &Head)
        PopFront(v);
}

void TZevLispRefList::Teardown()
{
    TZevLispRef v;
    while (Head.next != &Head) {
        PopFront(v);
        if (v.Is(TZevAtom::TypeId)) {
            TZevLispRefList& stack = static_cast<TZevAtom*>(v.Get())->Values;
            if (!stack.IsEmpty()) {
                TZevLispRef top;
                stack.PopFront(top);
                top.Clear();
                if (!Nil.IsNull())
                    stack.PushFront(Nil);
            }
        }
        v.Clear();
    }
}

void TZevLispRefList::FreeSharedNodes()
{
    gFreeNodesGone = true;
    while (Node* n = gFreeNodes) {
        gFreeNodes = n->next;
        delete n;
    }
}
