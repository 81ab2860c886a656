// Script values: the counted handle TZevLispRef, the value root TZevLispObj with its class pools, and the list of
// handles used for value stacks, binding records and symbol buckets.
//
// A value whose last handle goes away is cleared and parked in its class's pool, and New hands it out again with
// its construction defaults; only after the interpreter has shut down are released values deleted.
#pragma once

#include "ZevDebug.h"
#include "ZevLSObj.h"
#include "ZevList.h"
#include "ZevString.h"

#include <cstdint>

class TZevLispObj;
class TZevLispInterpreter;
class TZevLispText;

// Release work list: takes a value whose count reached 0. Nested releases queue instead of recursing; values are
// cleared in the order they were released.
void LispDispose(TZevLispObj* v);

// Counted handle of a value (possibly empty). Every holder owns one count.
class TZevLispRef {
public:
    TZevLispRef() : Obj(nullptr) {}
    inline TZevLispRef(TZevLispObj* p); // adds 1
    inline TZevLispRef(const TZevLispRef& other);
    TZevLispRef(TZevLispRef&& other) noexcept : Obj(other.Obj) { other.Obj = nullptr; }
    inline ~TZevLispRef();

    inline TZevLispRef& operator=(const TZevLispRef& other);
    inline TZevLispRef& operator=(TZevLispRef&& other) noexcept;
    // Holds p instead (adds 1 to p, releases the old value).
    inline TZevLispRef Reset(TZevLispObj* p);
    // Holds p with a count the caller has already added for this handle (releases the old value).
    inline void Adopt(TZevLispObj* p);
    inline void Clear();

    TZevLispObj* Get() const { return Obj; }
    TZevLispObj* operator->() const { return Obj; }
    bool IsNull() const { return Obj == nullptr; }
    // The value's class is `typeId` (false for the empty handle).
    bool Is(const TZevClassRecord* typeId) const;

    bool operator==(const TZevLispRef& o) const { return Obj == o.Obj; }
    bool operator!=(const TZevLispRef& o) const { return Obj != o.Obj; }

private:
    // Holds p in place of the current object.
    inline void Assign(TZevLispObj* p);

    TZevLispObj* Obj;
};

// The free values and type tag of one value class. The address of Record is the class's type tag. The pool is
// shared by all threads (script values are used under GlobalLock) and hands out the value released last first.
// Parked values are kept in an array rather than linked through themselves, so that the pool can fetch the memory
// of values it hands out a few calls ahead instead of waiting for each one.
struct TZevLispClass {
    TZevClassRecord Record;
    TZevLispObj** Free;    // released values, the last released at Free[FreeCount - 1] (plain heap)
    std::int32_t FreeCount;
    std::int32_t FreeCapacity;
    bool Registered;
    // The value handed out next, or null.
    TZevLispObj* FreeTop() const { return FreeCount > 0 ? Free[FreeCount - 1] : nullptr; }
};

// Registers the class record (parent "TZevLispObj" unless given), creates the pool. Called from the fixed
// registration functions, once per class.
void LispRegisterValueClass(TZevLispClass* cls, const char* name, TZevFactory factory,
                            const char* parent = "TZevLispObj");
// A value of the class into `out` (its one holder): from the pool with its construction defaults restored, or new.
void LispNewValue(TZevLispRef& out, TZevLispClass* cls);
// LispNewValue of a class whose pool holds only values of type T, with the pool's road in line.
template <class T> inline void LispNewPooledValue(TZevLispRef& out)
{
    TZevLispClass* cls = &T::Class;
    const std::int32_t top = cls->FreeCount - 1;
    if (top < 0) {
        LispNewValue(out, cls);
        return;
    }
    cls->FreeCount = top;
    T* v = static_cast<T*>(cls->Free[top]);
    if (top >= 4)
        __builtin_prefetch(cls->Free[top - 4], 1);
    v->T::ResetDefaults();
    v->SetRefCount(1);
    v->OwnerClass = cls;
    v->Link = nullptr;
    out.Adopt(v);
}
// Deletes every pooled value of the class and the pool itself (at shutdown).
void LispDrainValueClass(TZevLispClass* cls);

// Storage of the values made most: pairs and numbers are placed side by side in slabs of the interpreter's own
// instead of one heap block per value, so that building lists touches memory in order and a pair fills one cache
// line. Each value is still counted as one allocation and its deletion as one free; a slab goes back to the heap
// when its last value is deleted (values are deleted only after shutdown, or when made by class name).
struct TZevLispSlab;
struct TZevLispSlabs {
    std::size_t Stride;          // bytes per value
    TZevLispSlab* Partial;       // slabs with room
    TZevLispSlab** Sorted;       // every slab by address (plain heap), for finding a value's slab
    std::int32_t Count;
    std::int32_t Capacity;
};
// A place for a value of `size` bytes (at most the pool's stride); never null (throws as ZevAllocObject does).
void* LispSlabAlloc(TZevLispSlabs* slabs, std::size_t size);
void LispSlabFree(TZevLispSlabs* slabs, void* p) noexcept;
// Values in place in slabs of the pool.
std::int32_t LispSlabCount(const TZevLispSlabs* slabs);

// Set by the interpreter's destructor, cleared by its constructor: while set, released values are deleted.
extern std::int32_t LispShutdownFlag;

// Root of every script value. Its class record is its type tag.
class TZevLispObj : public TZevLSObj {
public:
    // Count 1, as every object made by its class's factory: one made by class name (an object stream naming a
    // value class) is its caller's and goes with its Release. LispNewValue hands values to their handles at 0.
    TZevLispObj() : OwnerClass(nullptr), Link(nullptr) {}
    ~TZevLispObj() override = default;

    bool Load(TZevStream*) override { return true; }

    // The printed form (lists included; a cyclic list prints "..." where it comes back on itself).
    TZevString ToString();
    // Writes the printed form through the writer's Write.
    virtual void Print(TZevLispInterpreter* writer);
    // The text of the printed form, the second accessor of the original interface.
    TZevString GetText() { return ToString(); }
    // Drops what the value holds (before it is parked).
    virtual void Clear() {}
    // Restores the construction defaults of a value handed out again by its pool.
    virtual void ResetDefaults() {}
    // Appends the printed form of this value when it is not a pair (the printer handles pairs).
    virtual void AppendText(TZevLispText& out);

    void AddRef() { ++refCount; }
    // Count - 1; at 0 or below the value is cleared and parked (or deleted after shutdown).
    void Release()
    {
        if (--refCount <= 0)
            LispDispose(this);
    }

    static TZevLispClass Class;
    static TZevClassRecord* TypeId;
    static void New(TZevLispRef& out) { LispNewValue(out, &Class); }

    TZevLispClass* OwnerClass; // the pool the value returns to
    // Link of the release work list (releasing never recurses through a structure).
    TZevLispObj* Link;
};

inline TZevLispRef::TZevLispRef(TZevLispObj* p) : Obj(p)
{
    if (Obj)
        Obj->AddRef();
}

inline TZevLispRef::TZevLispRef(const TZevLispRef& other) : Obj(other.Obj)
{
    if (Obj)
        Obj->AddRef();
}

inline TZevLispRef::~TZevLispRef()
{
    if (Obj)
        Obj->Release();
}

inline void TZevLispRef::Assign(TZevLispObj* p)
{
    // Count the new value first: p may be held only through the old one.
    if (p)
        p->AddRef();
    TZevLispObj* old = Obj;
    Obj = p;
    if (old)
        old->Release();
}

inline TZevLispRef TZevLispRef::Reset(TZevLispObj* p)
{
    Assign(p);
    return *this;
}

inline void TZevLispRef::Adopt(TZevLispObj* p)
{
    TZevLispObj* old = Obj;
    Obj = p;
    if (old)
        old->Release();
}

inline void TZevLispRef::Clear()
{
    TZevLispObj* old = Obj;
    Obj = nullptr;
    if (old)
        old->Release();
}

inline TZevLispRef& TZevLispRef::operator=(const TZevLispRef& other)
{
    Assign(other.Obj);
    return *this;
}

inline TZevLispRef& TZevLispRef::operator=(TZevLispRef&& other) noexcept
{
    if (this != &other) {
        TZevLispObj* old = Obj;
        Obj = other.Obj;
        other.Obj = nullptr;
        if (old)
            old->Release();
    }
    return *this;
}

inline bool TZevLispRef::Is(const TZevClassRecord* typeId) const
{
    return Obj && Obj->GetClassRecord() == typeId;
}

// A list of handles (ring with a sentinel); nodes are recycled through one shared free list.
class TZevLispRefList {
public:
    struct Node : TZevAllocated {
        Node* next;
        Node* prev;
        TZevLispRef value;
    };

    TZevLispRefList();
    // Tear-down: an atom entry first gets its bindings replaced by nil (breaking cycles between atoms and their
    // values), then every entry is released.
    ~TZevLispRefList();
    TZevLispRefList(const TZevLispRefList&) = delete;
    TZevLispRefList& operator=(const TZevLispRefList&) = delete;

    void PushFront(const TZevLispRef& v);
    void PushBack(const TZevLispRef& v);
    // The first value (empty when the list is empty), taken out.
    void PopFront(TZevLispRef& out);
    // The first value, or the empty handle.
    void Front(TZevLispRef& out) const;
    const TZevLispRef* FrontPtr() const { return Head.next == &Head ? nullptr : &Head.next->value; }
    bool IsEmpty() const { return Head.next == &Head; }
    std::int32_t GetCount() const { return Count; }
    // Releases every entry and recycles the nodes.
    void Clear();
    // The tear-down of the destructor, callable early (symbol buckets at shutdown).
    void Teardown();

    Node* First() const { return Head.next; }
    const Node* End() const { return &Head; }

    // Frees the shared free nodes (at shutdown).
    static void FreeSharedNodes();

private:
    Node Head;
    std::int32_t Count;
};

