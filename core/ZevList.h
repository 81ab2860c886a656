// Pointer lists whose nodes are recycled through per-thread pools, a list with an indexing cursor, and the
// 256-bucket hash table.
#pragma once

#include "ZevDebug.h"

#include <cstdint>

// Ring node of TZevList and TZevCursorList. A node in no ring points to itself.
struct TZevListNode : TZevAllocated {
    TZevListNode* next;
    TZevListNode* prev;
    void* data;
};

// Circular doubly linked list of untyped pointers. The list's Head closes the ring; walk from First() until End().
// Nodes come from and go back to the calling thread's node pool, so lists built and torn down every frame do not
// touch the heap. A list never deletes its items.
class TZevList : public TZevAllocated {
public:
    TZevList();
    // The calling thread's own pool frees its nodes; any other list hands them to that pool.
    virtual ~TZevList();
    TZevList(const TZevList&) = delete;
    TZevList& operator=(const TZevList&) = delete;

    // Appends at the end; returns the node.
    TZevListNode* Add(void* data);
    // Links at the front (after the head); returns the node.
    TZevListNode* PushFront(void* data);
    // Null when empty; else the first item, its node going back to the pool.
    void* PopFront();
    // Number of nodes, counted by walking the ring.
    int GetCount() const;
    bool IsEmpty() const { return Head.next == &Head; }
    // Moves every node to the front of the calling thread's pool in one splice; items untouched.
    void Clear();
    // Unlinks every node and frees it with ZevFree.
    void FreeNodes();
    // Takes the first node holding `item` out (to the pool); false and unchanged when there is none.
    bool Remove(void* item);
    // Takes a node of some list out of its ring (to the calling thread's pool) and returns its item.
    static void* RemoveNode(TZevListNode* node);

    TZevListNode* First() const { return Head.next; }
    TZevListNode* Last() const { return Head.prev; }
    const TZevListNode* End() const { return &Head; }
    TZevListNode* End() { return &Head; }

    // Range-for over the untyped items; ZevItems<T>(list) below hands them out typed.
    class Iterator {
    public:
        explicit Iterator(const TZevListNode* n) : node(n) {}
        void* operator*() const { return node->data; }
        Iterator& operator++() { node = node->next; return *this; }
        bool operator!=(const Iterator& o) const { return node != o.node; }
    private:
        const TZevListNode* node;
    };
    Iterator begin() const { return Iterator(Head.next); }
    Iterator end() const { return Iterator(&Head); }

    TZevListNode Head; // ring head: next and prev of the ring; data is unused (null)
};

// Typed view of a list whose items are all T: `for (TZevVMesh* visual : ZevItems<TZevVMesh>(frame->Visuals))`. As
// the plain walk does, it reads the next node after the loop's body: items appended during the walk are walked too,
// and the body must not take out the item it was given (a loop that releases items saves the next node itself).
template <class T> class TZevListItems {
public:
    class Iterator {
    public:
        explicit Iterator(const TZevListNode* n) : node(n) {}
        T* operator*() const { return static_cast<T*>(node->data); }
        Iterator& operator++()
        {
            node = node->next;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return node != o.node; }

    private:
        const TZevListNode* node;
    };

    explicit TZevListItems(const TZevList& l) : list(l) {}
    Iterator begin() const { return Iterator(list.Head.next); }
    Iterator end() const { return Iterator(&list.Head); }

private:
    const TZevList& list;
};

template <class T> TZevListItems<T> ZevItems(const TZevList& list)
{
    return TZevListItems<T>(list);
}

// The item of a node as T*, for walks that need the node itself (to take it out, or to read items in pairs).
template <class T> T* ZevItem(const TZevListNode* node)
{
    return static_cast<T*>(node->data);
}

// Takes the first item out as T*; null when the list is empty.
template <class T> T* ZevPopItem(TZevList& list)
{
    return static_cast<T*>(list.PopFront());
}

// Links `data` at the front of `list` with a pooled node (the item pushed last is visited first); returns the node.
TZevListNode* ZevListPushPooled(TZevList* list, void* data);

// List of the same nodes with a cached cursor: sequential GetAt costs one step.
class TZevCursorList : public TZevAllocated {
public:
    TZevCursorList();
    // Hands the nodes back to the calling thread's cursor-node pool.
    ~TZevCursorList();
    TZevCursorList(const TZevCursorList&) = delete;
    TZevCursorList& operator=(const TZevCursorList&) = delete;

    // Appends; count + 1; the cursor goes back to index 0.
    void Add(void* data);
    // Item i, walking from the cursor; null outside [0, Count) (cursor unchanged then).
    void* GetAt(int i);
    // Removes the first node and returns its item (to the pool); null when empty.
    void* PopFront();
    int GetCount() const { return Count; }
    // Every node to the calling thread's cursor-node pool; the list is empty after.
    void Clear();
    // Frees every node with ZevFree; the list is empty after.
    void FreeNodes();

    std::int32_t Count;
    std::int32_t CursorIndex;
    TZevListNode Head;
    TZevListNode* Cursor; // Head when the list is empty
};

// Item i of a cursor list as T*; null outside [0, Count).
template <class T> T* ZevItemAt(TZevCursorList& list, int i)
{
    return static_cast<T*>(list.GetAt(i));
}

// Takes the first item of a cursor list out as T*; null when the list is empty.
template <class T> T* ZevPopItem(TZevCursorList& list)
{
    return static_cast<T*>(list.PopFront());
}

// The 8 list-node pools (one per ThreadPoolIndex), created on the first call.
TZevList* GetListNodePools();
// The 8 cursor-list node pools.
TZevCursorList* GetCursorNodePools();

// Empties `count` adjacent lists (a bucket array), each in one splice into the calling thread's pool.
void ClearBucketArray(TZevList* buckets, int count = 256);

// Start-up of the list-node and cursor-node pools; called from ZevCoreInit.
void ZevListInit();

// A program-wide running number: 0, 1, 2, ...
std::int32_t ZevNextSerial();

// Entry of a TZevHashTable, allocated by the table's user. Self-linked while in no table.
struct TZevHashEntry : TZevAllocated {
    TZevHashEntry() : key(nullptr), value(nullptr), next(this), prev(this) {}
    TZevHashEntry(const void* k, void* v) : key(k), value(v), next(this), prev(this) {}
    const void* key;
    void* value;
    TZevHashEntry* next;
    TZevHashEntry* prev;
};

// The first byte of the key text.
int HashFirstByte(const void* key);
// The first four bytes of the two keys are equal; a terminating zero ends the comparison, so short keys are
// never read past their end.
bool EqualInt(const void* a, const void* b);
// Sum of the bytes of a zero-terminated text modulo 256 (0 for null or empty).
int ByteSumHash(const char* text);

// 256 bucket rings; the low byte of Hash(key) picks the bucket. Entries belong to the user: the table never frees
// them (walk them with ForEach before destroying the table); its destructor leaves every entry self-linked.
class TZevHashTable : public TZevAllocated {
public:
    static constexpr int BucketCount = 256;

    TZevHashTable();
    virtual ~TZevHashTable();
    TZevHashTable(const TZevHashTable&) = delete;
    TZevHashTable& operator=(const TZevHashTable&) = delete;

    virtual int Hash(const void* key) const;                       // default: HashFirstByte
    virtual bool Equal(const void* entryKey, const void* key) const; // default: EqualInt

    // Links the entry first in its bucket, so it hides older entries with an equal key.
    void Add(TZevHashEntry* entry);
    // The newest entry whose key equals `key`; null when none (always for a null key).
    TZevHashEntry* Find(const void* key) const;
    // Takes the entry out of its ring; it then points to itself.
    static void Unlink(TZevHashEntry* entry);

    // Calls f(entry) for every entry; f may unlink or free the entry it is given.
    template <class F> void ForEach(F f)
    {
        for (int b = 0; b < BucketCount; ++b) {
            TZevHashEntry* s = &Buckets[b];
            for (TZevHashEntry* e = s->next; e != s;) {
                TZevHashEntry* n = e->next;
                f(e);
                e = n;
            }
        }
    }

    TZevHashEntry Buckets[BucketCount]; // sentinels: key and value null
};
