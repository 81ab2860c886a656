#include "ZevList.h"

#include "ZevObjPool.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

void LinkAfter(TZevListNode* where, TZevListNode* n)
{
    n->prev = where;
    n->next = where->next;
    where->next->prev = n;
    where->next = n;
}

void LinkBefore(TZevListNode* where, TZevListNode* n)
{
    LinkAfter(where->prev, n);
}

void UnlinkNode(TZevListNode* n)
{
    n->prev->next = n->next;
    n->next->prev = n->prev;
    n->next = n;
    n->prev = n;
}

void InitHead(TZevListNode& head)
{
    head.next = &head;
    head.prev = &head;
    head.data = nullptr;
}

// Moves every node of the non-empty ring at `from` to the front of the ring at `to` in one splice: the first
// node follows `to`, the last precedes its former first node. `from` is left empty.
void MoveAllToFront(TZevListNode& to, TZevListNode& from)
{
    TZevListNode* first = from.next;
    TZevListNode* last = from.prev;
    TZevListNode* oldFirst = to.next;
    to.next = first;
    first->prev = &to;
    last->next = oldFirst;
    oldFirst->prev = last;
    InitHead(from);
}

// Deletes every node of the ring at `head`, which is left empty.
void DeleteAllNodes(TZevListNode& head)
{
    TZevListNode* n = head.next;
    while (n != &head) {
        TZevListNode* next = n->next;
        delete n;
        n = next;
    }
    InitHead(head);
}

// The pools are never destroyed as objects: lists still alive at exit may hand nodes back until the clean-up has
// run, and after it nodes go straight back to the heap.
union ListPoolStorage {
    ListPoolStorage() : lists() {}
    ~ListPoolStorage() {}
    TZevList lists[ThreadPoolSlots];
};

union CursorPoolStorage {
    CursorPoolStorage() : lists() {}
    ~CursorPoolStorage() {}
    TZevCursorList lists[ThreadPoolSlots];
};

constinit std::atomic<TZevList*> gListPools{nullptr};
constinit std::atomic<TZevCursorList*> gCursorPools{nullptr};
constinit std::atomic<bool> gListPoolsGone{false};
constinit std::atomic<bool> gCursorPoolsGone{false};
constinit std::atomic<std::int32_t> gSerial{0};

void FreeListNodePools()
{
    gListPoolsGone.store(true);
    TZevList* pools = GetListNodePools();
    for (int i = 0; i < ThreadPoolSlots; ++i)
        pools[i].FreeNodes();
}

void FreeCursorNodePools()
{
    gCursorPoolsGone.store(true);
    TZevCursorList* pools = GetCursorNodePools();
    for (int i = 0; i < ThreadPoolSlots; ++i)
        pools[i].FreeNodes();
}

// A node holding `data`, from the calling thread's pool when it has one.
TZevListNode* TakeNode(void* data)
{
    TZevListNode* n;
    TZevList* pool = GetThreadListNodePool();
    if (pool && !pool->IsEmpty()) {
        n = pool->Head.next;
        UnlinkNode(n);
    } else {
        n = new TZevListNode;
        n->next = n;
        n->prev = n;
    }
    n->data = data;
    return n;
}

// An unlinked node goes to the front of the calling thread's pool, or back to the heap without one.
void GiveNode(TZevListNode* n)
{
    if (TZevList* pool = GetThreadListNodePool())
        LinkAfter(&pool->Head, n);
    else
        delete n;
}

bool IsListNodePool(const TZevList* list)
{
    const TZevList* pools = gListPools.load(std::memory_order_acquire);
    return pools && list >= pools && list < pools + ThreadPoolSlots;
}

} // namespace

// Read by ZevObjPool.cpp.
bool ListNodePoolsGone() { return gListPoolsGone.load(std::memory_order_relaxed); }
bool CursorNodePoolsGone() { return gCursorPoolsGone.load(std::memory_order_relaxed); }

// Called by ZevObjPool.cpp on the thread of the slot, as it ends.
void FreeSlotNodePools(int slot)
{
    if (!gListPoolsGone.load(std::memory_order_relaxed))
        GetListNodePools()[slot].FreeNodes();
    if (!gCursorPoolsGone.load(std::memory_order_relaxed))
        GetCursorNodePools()[slot].FreeNodes();
}

// ---- TZevList ----

TZevList::TZevList()
{
    InitHead(Head);
}

TZevList::~TZevList()
{
    if (IsListNodePool(this))
        FreeNodes();
    else
        Clear();
}

TZevListNode* TZevList::Add(void* data)
{
    TZevListNode* n = TakeNode(data);
    LinkBefore(&Head, n);
    return n;
}

TZevListNode* TZevList::PushFront(void* data)
{
    TZevListNode* n = TakeNode(data);
    LinkAfter(&Head, n);
    return n;
}

TZevListNode* ZevListPushPooled(TZevList* list, void* data)
{
    return list->PushFront(data);
}

void* TZevList::PopFront()
{
    if (IsEmpty())
        return nullptr;
    return RemoveNode(Head.next);
}

void* TZevList::RemoveNode(TZevListNode* node)
{
    void* data = node->data;
    UnlinkNode(node);
    GiveNode(node);
    return data;
}

int TZevList::GetCount() const
{
    int count = 0;
    for (const TZevListNode* n = Head.next; n != &Head; n = n->next)
        ++count;
    return count;
}

void TZevList::Clear()
{
    if (IsEmpty())
        return;
    TZevList* pool = GetThreadListNodePool();
    if (!pool || pool == this) {
        if (pool != this)
            FreeNodes();
        return;
    }
    MoveAllToFront(pool->Head, Head);
}

void TZevList::FreeNodes()
{
    DeleteAllNodes(Head);
}

bool TZevList::Remove(void* item)
{
    for (TZevListNode* n = Head.next; n != &Head; n = n->next) {
        if (n->data == item) {
            RemoveNode(n);
            return true;
        }
    }
    return false;
}

void ClearBucketArray(TZevList* buckets, int count)
{
    if (!buckets)
        return;
    for (int i = 0; i < count; ++i)
        buckets[i].Clear();
}

// ---- TZevCursorList ----

TZevCursorList::TZevCursorList() : Count(0), CursorIndex(0), Cursor(&Head)
{
    InitHead(Head);
}

TZevCursorList::~TZevCursorList()
{
    const TZevCursorList* pools = gCursorPools.load(std::memory_order_acquire);
    if (pools && this >= pools && this < pools + ThreadPoolSlots)
        FreeNodes();
    else
        Clear();
}

void TZevCursorList::Add(void* data)
{
    TZevListNode* n;
    TZevCursorList* pool = GetThreadCursorNodePool();
    if (pool && pool != this && pool->Count > 0) {
        n = pool->Head.next;
        UnlinkNode(n);
        --pool->Count;
        pool->Cursor = &pool->Head;
        pool->CursorIndex = 0;
    } else {
        n = new TZevListNode;
    }
    n->data = data;
    LinkBefore(&Head, n);
    ++Count;
    Cursor = Head.next;
    CursorIndex = 0;
}

void* TZevCursorList::GetAt(int i)
{
    if (i < 0 || i >= Count)
        return nullptr;
    // Start from whichever of the cursor, the first and the last node is nearest.
    TZevListNode* n = Cursor;
    int at = CursorIndex;
    if (n == &Head) {
        n = Head.next;
        at = 0;
    }
    const int fromCursor = i > at ? i - at : at - i;
    if (i < fromCursor) {
        n = Head.next;
        at = 0;
    } else if (Count - 1 - i < fromCursor) {
        n = Head.prev;
        at = Count - 1;
    }
    for (; at < i; ++at)
        n = n->next;
    for (; at > i; --at)
        n = n->prev;
    Cursor = n;
    CursorIndex = i;
    return n->data;
}

void* TZevCursorList::PopFront()
{
    if (Count == 0)
        return nullptr;
    TZevListNode* n = Head.next;
    void* data = n->data;
    UnlinkNode(n);
    --Count;
    Cursor = Count ? Head.next : &Head;
    CursorIndex = 0;
    TZevCursorList* pool = GetThreadCursorNodePool();
    if (pool && pool != this) {
        LinkAfter(&pool->Head, n);
        ++pool->Count;
        pool->Cursor = pool->Head.next;
        pool->CursorIndex = 0;
    } else {
        delete n;
    }
    return data;
}

void TZevCursorList::Clear()
{
    if (Count == 0 && Head.next == &Head)
        return;
    TZevCursorList* pool = GetThreadCursorNodePool();
    if (!pool || pool == this) {
        if (pool != this)
            FreeNodes();
        return;
    }
    MoveAllToFront(pool->Head, Head);
    pool->Count += Count;
    pool->Cursor = pool->Head.next;
    pool->CursorIndex = 0;
    Count = 0;
    CursorIndex = 0;
    Cursor = &Head;
}

void TZevCursorList::FreeNodes()
{
    DeleteAllNodes(Head);
    Count = 0;
    CursorIndex = 0;
    Cursor = &Head;
}

// ---- pools ----

TZevList* GetListNodePools()
{
    static TZevList* pools = [] {
        static ListPoolStorage storage;
        gListPools.store(storage.lists, std::memory_order_release);
        std::atexit(FreeListNodePools);
        return storage.lists;
    }();
    return pools;
}

TZevCursorList* GetCursorNodePools()
{
    static TZevCursorList* pools = [] {
        static CursorPoolStorage storage;
        gCursorPools.store(storage.lists, std::memory_order_release);
        std::atexit(FreeCursorNodePools);
        return storage.lists;
    }();
    return pools;
}

void ZevListInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        GetListNodePools();
        GetCursorNodePools();
        AttachThreadNodePools();
        ZevLogInited("ZevList.cpp");
        ZevLogInited("aZevList.cpp");
    });
}

std::int32_t ZevNextSerial()
{
    return gSerial.fetch_add(1, std::memory_order_relaxed);
}

// ---- TZevHashTable ----

int HashFirstByte(const void* key)
{
    return key ? *static_cast<const unsigned char*>(key) : 0;
}

bool EqualInt(const void* a, const void* b)
{
    if (!a || !b)
        return a == b;
    return std::strncmp(static_cast<const char*>(a), static_cast<const char*>(b), 4) == 0;
}

int ByteSumHash(const char* text)
{
    unsigned sum = 0;
    if (text) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
            sum += *p;
    }
    return static_cast<int>(sum & 0xFFu);
}

TZevHashTable::TZevHashTable() = default;

TZevHashTable::~TZevHashTable()
{
    // Entries outlive the table in their owners: leave them self-linked, so that their own Unlink stays safe.
    ForEach([](TZevHashEntry* e) { Unlink(e); });
}

int TZevHashTable::Hash(const void* key) const
{
    return HashFirstByte(key);
}

bool TZevHashTable::Equal(const void* entryKey, const void* key) const
{
    return EqualInt(entryKey, key);
}

void TZevHashTable::Add(TZevHashEntry* entry)
{
    TZevHashEntry* s = &Buckets[Hash(entry->key) & 0xFF];
    entry->prev = s;
    entry->next = s->next;
    s->next->prev = entry;
    s->next = entry;
}

TZevHashEntry* TZevHashTable::Find(const void* key) const
{
    if (!key)
        return nullptr;
    const TZevHashEntry* s = &Buckets[Hash(key) & 0xFF];
    for (TZevHashEntry* e = s->next; e != s; e = e->next) {
        if (e->key && Equal(e->key, key))
            return e;
    }
    return nullptr;
}

void TZevHashTable::Unlink(TZevHashEntry* entry)
{
    entry->prev->next = entry->next;
    entry->next->prev = entry->prev;
    entry->next = entry;
    entry->prev = entry;
}
