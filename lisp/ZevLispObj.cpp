#include "ZevLispObj.h"

#include "ZevLispPrinter.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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
    TZevLispObj* v;
    if (cls->FreeCount > 0) {
        const std::int32_t top = --cls->FreeCount;
        v = cls->Free[top];
        // Parked values lie anywhere, and waiting for each one's memory was most of the cost of making values:
        // the one handed out a few calls from now is fetched already.
        if (top >= 4)
            __builtin_prefetch(cls->Free[top - 4], 1);
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
    while (cls->FreeCount > 0)
        delete cls->Free[--cls->FreeCount];
    std::free(cls->Free);
    cls->Free = nullptr;
    cls->FreeCapacity = 0;
    cls->Registered = false;
}

namespace {
// Parks a released value in its class's pool; false when the pool cannot grow (the value is deleted instead).
bool ParkValue(TZevLispClass* cls, TZevLispObj* v)
{
    if (cls->FreeCount == cls->FreeCapacity) {
        const std::int32_t capacity = cls->FreeCapacity ? cls->FreeCapacity * 2 : 256;
        void* grown = std::realloc(cls->Free, sizeof(TZevLispObj*) * static_cast<std::size_t>(capacity));
        if (!grown)
            return false;
        cls->Free = static_cast<TZevLispObj**>(grown);
        cls->FreeCapacity = capacity;
    }
    cls->Free[cls->FreeCount++] = v;
    return true;
}
} // namespace

// ---- Slabs of values ----------------------------------------------------------------------------------------------

struct TZevLispSlab {
    static constexpr std::size_t Bytes = 64 * 1024;
    static constexpr std::size_t Align = 64;
    TZevLispSlab* Prev; // in the pool's list of slabs with room
    TZevLispSlab* Next;
    bool HasRoom;
    std::int32_t Live;
    void* Free;  // freed places, linked through their first word
    char* Carve; // the next place never used
    char* First; // the first place (aligned to a cache line)
    char* End;
};

namespace {

void LinkPartial(TZevLispSlabs* pool, TZevLispSlab* s)
{
    s->Prev = nullptr;
    s->Next = pool->Partial;
    if (pool->Partial)
        pool->Partial->Prev = s;
    pool->Partial = s;
    s->HasRoom = true;
}

void UnlinkPartial(TZevLispSlabs* pool, TZevLispSlab* s)
{
    if (s->Prev)
        s->Prev->Next = s->Next;
    else
        pool->Partial = s->Next;
    if (s->Next)
        s->Next->Prev = s->Prev;
    s->Prev = s->Next = nullptr;
    s->HasRoom = false;
}

// Index of the first slab at an address above p.
std::int32_t UpperSlab(const TZevLispSlabs* pool, const void* p)
{
    std::int32_t lo = 0, hi = pool->Count;
    while (lo < hi) {
        const std::int32_t mid = (lo + hi) / 2;
        if (reinterpret_cast<std::uintptr_t>(pool->Sorted[mid]) <= reinterpret_cast<std::uintptr_t>(p))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

TZevLispSlab* NewSlab(TZevLispSlabs* pool)
{
    if (pool->Count == pool->Capacity) {
        const std::int32_t capacity = pool->Capacity ? pool->Capacity * 2 : 16;
        void* grown = std::realloc(pool->Sorted, sizeof(TZevLispSlab*) * static_cast<std::size_t>(capacity));
        if (!grown)
            return nullptr;
        pool->Sorted = static_cast<TZevLispSlab**>(grown);
        pool->Capacity = capacity;
    }
    void* memory = std::malloc(TZevLispSlab::Bytes);
    if (!memory)
        return nullptr;
    auto* s = static_cast<TZevLispSlab*>(memory);
    char* base = static_cast<char*>(memory);
    const std::uintptr_t after = reinterpret_cast<std::uintptr_t>(base + sizeof(TZevLispSlab));
    s->First = base + ((after + TZevLispSlab::Align - 1) / TZevLispSlab::Align * TZevLispSlab::Align -
                       reinterpret_cast<std::uintptr_t>(base));
    s->Carve = s->First;
    s->End = s->First + (base + TZevLispSlab::Bytes - s->First) / pool->Stride * pool->Stride;
    s->Free = nullptr;
    s->Live = 0;
    const std::int32_t at = UpperSlab(pool, s);
    std::memmove(pool->Sorted + at + 1, pool->Sorted + at, sizeof(TZevLispSlab*) * std::size_t(pool->Count - at));
    pool->Sorted[at] = s;
    ++pool->Count;
    LinkPartial(pool, s);
    return s;
}

} // namespace

void* LispSlabAlloc(TZevLispSlabs* pool, std::size_t size)
{
    if (size > pool->Stride)
        return ZevAllocObject(size);
    // Every value counts as one allocation, as a heap block of its own would (the slabs are not counted).
    TZevLispSlab* s = nullptr;
    if (ZevCountAlloc()) {
        s = pool->Partial ? pool->Partial : NewSlab(pool);
        if (!s)
            ZevCountFree(); // the heap refused: no value was made after all
    }
    if (!s) {
        // As every allocation of an object that fails: a line in the log, and no object.
        char line[96];
        std::snprintf(line, sizeof line, "ZevAlloc: out of memory (%zu bytes)\n", size);
        ZevDebugLog(line);
        throw std::bad_alloc();
    }
    void* p = s->Free;
    if (p) {
        s->Free = *static_cast<void**>(p);
    } else {
        p = s->Carve;
        s->Carve += pool->Stride;
    }
    ++s->Live;
    if (!s->Free && s->Carve >= s->End)
        UnlinkPartial(pool, s);
    return p;
}

void LispSlabFree(TZevLispSlabs* pool, void* p) noexcept
{
    if (!p)
        return;
    const std::int32_t at = UpperSlab(pool, p) - 1;
    TZevLispSlab* s = at >= 0 ? pool->Sorted[at] : nullptr;
    if (!s || static_cast<char*>(p) < s->First || static_cast<char*>(p) >= s->End) {
        ZevFree(p); // a value larger than the places (made outside the slabs)
        return;
    }
    ZevCountFree();
    *static_cast<void**>(p) = s->Free;
    s->Free = p;
    if (--s->Live > 0) {
        if (!s->HasRoom)
            LinkPartial(pool, s);
        return;
    }
    // The last value of the slab: the slab goes back to the heap.
    if (s->HasRoom)
        UnlinkPartial(pool, s);
    std::memmove(pool->Sorted + at, pool->Sorted + at + 1, sizeof(TZevLispSlab*) * std::size_t(pool->Count - at - 1));
    --pool->Count;
    std::free(s);
    if (pool->Count == 0) {
        std::free(pool->Sorted);
        pool->Sorted = nullptr;
        pool->Capacity = 0;
    }
}

std::int32_t LispSlabCount(const TZevLispSlabs* pool)
{
    return pool->Count;
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
// Released values waiting to be cleared, oldest first. Clearing in the order of release keeps the values of
// several structures in flight at once: the parts of one value are looked at while the memory of the next
// value's parts is still on its way, where clearing the newest first waited for each part in turn.
thread_local TZevLispObj* tPendingHead = nullptr;
thread_local TZevLispObj* tPendingTail = nullptr;
thread_local bool tDraining = false;
} // namespace

void LispDispose(TZevLispObj* v)
{
    // A number holds nothing to release: it is parked at once, without the work list.
    TZevLispClass* owner = v->OwnerClass;
    if ((owner == &TZevLispInteger::Class || owner == &TZevLispFloat::Class) &&
        owner->FreeCount < owner->FreeCapacity && owner->Registered && !LispShutdownFlag) {
        v->Link = nullptr;
        owner->Free[owner->FreeCount++] = v;
        return;
    }
    v->Link = nullptr;
    if (tPendingTail)
        tPendingTail->Link = v;
    else
        tPendingHead = v;
    tPendingTail = v;
    if (tDraining)
        return;
    tDraining = true;
    while (TZevLispObj* o = tPendingHead) {
        tPendingHead = o->Link;
        if (!tPendingHead) {
            tPendingTail = nullptr;
        } else if (tPendingHead->GetClassRecord() == TZevPair::TypeId) {
            // The parts of the value cleared next are fetched while this one is cleared.
            const auto* next = static_cast<const TZevPair*>(tPendingHead);
            __builtin_prefetch(next->Car.Get(), 1);
            __builtin_prefetch(next->Cdr.Get(), 1);
        }
        o->Link = nullptr;
        o->Clear(); // may queue what it held
        TZevLispClass* cls = o->OwnerClass;
        if (LispShutdownFlag || !cls || !cls->Registered || !ParkValue(cls, o))
            delete o;
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
            auto* atom = static_cast<TZevAtom*>(v.Get());
            if (atom->HasValue()) {
                TZevLispRef top;
                atom->PopValue(top);
                top.Clear();
                if (!Nil.IsNull())
                    atom->PushValue(Nil);
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
