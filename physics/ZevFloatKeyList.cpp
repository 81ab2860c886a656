#include "ZevFloatKeyList.h"

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>

TZevFloatKeyList* SharedFloatKeyList = nullptr;

namespace {

// Lists of any thread hand nodes to the one store. Constant-initialised, so it outlives every list.
constinit std::mutex gStoreLock;

std::mutex& SharedStoreLock()
{
    return gStoreLock;
}

void Unlink(TZevFloatKeyRecord* r)
{
    r->Prev->Next = r->Next;
    r->Next->Prev = r->Prev;
    r->Next = nullptr;
    r->Prev = nullptr;
}

void LinkBefore(TZevFloatKeyRecord* where, TZevFloatKeyRecord* r)
{
    r->Next = where;
    r->Prev = where->Prev;
    where->Prev->Next = r;
    where->Prev = r;
}

void FreeSharedStore()
{
    std::lock_guard<std::mutex> guard(SharedStoreLock());
    TZevFloatKeyList* store = SharedFloatKeyList;
    SharedFloatKeyList = nullptr;
    if (store == nullptr)
        return;
    while (!store->IsEmpty()) {
        TZevFloatKeyRecord* r = store->First();
        Unlink(r);
        static_cast<TZevFloatKeyNode*>(r)->~TZevFloatKeyNode();
        ZevFree(r);
    }
    store->Count = 0;
    delete store;
}

} // namespace

namespace {

void SiftDown(TZevFloatKeyRecord** a, std::ptrdiff_t root, std::ptrdiff_t n)
{
    for (;;) {
        std::ptrdiff_t child = 2 * root + 1;
        if (child >= n)
            return;
        if (child + 1 < n && a[child]->Key < a[child + 1]->Key)
            ++child;
        if (!(a[root]->Key < a[child]->Key))
            return;
        TZevFloatKeyRecord* t = a[root];
        a[root] = a[child];
        a[child] = t;
        root = child;
    }
}

// Heapsort of first..last: the fallback when the middle key keeps splitting badly.
void HeapSortByKey(TZevFloatKeyRecord** first, TZevFloatKeyRecord** last)
{
    const std::ptrdiff_t n = last - first + 1;
    for (std::ptrdiff_t i = n / 2; i-- > 0;)
        SiftDown(first, i, n);
    for (std::ptrdiff_t end = n - 1; end > 0; --end) {
        TZevFloatKeyRecord* t = first[0];
        first[0] = first[end];
        first[end] = t;
        SiftDown(first, 0, end);
    }
}

void QuickSortByKey(TZevFloatKeyRecord** first, TZevFloatKeyRecord** last, int budget)
{
    // Partitions of disjoint ranges do not affect each other, so sorting the smaller side by recursion and the
    // larger one in the loop keeps the stack at log n frames. Inputs on which the middle key splits badly again
    // and again (organ pipes) would take quadratic time; after 2 log n splits the rest is heapsorted.
    while (first < last) {
        if (budget-- <= 0) {
            HeapSortByKey(first, last);
            return;
        }
        const float pivot = first[(last - first) / 2]->Key;
        TZevFloatKeyRecord** i = first;
        TZevFloatKeyRecord** j = last;
        do {
            while ((*i)->Key < pivot)
                ++i;
            while ((*j)->Key > pivot)
                --j;
            if (i <= j) {
                TZevFloatKeyRecord* t = *i;
                *i = *j;
                *j = t;
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - first < last - i) {
            if (first < j)
                QuickSortByKey(first, j, budget);
            first = i;
        } else {
            if (i < last)
                QuickSortByKey(i, last, budget);
            last = j;
        }
    }
}

} // namespace

void ZevSortByKey(TZevFloatKeyRecord** first, TZevFloatKeyRecord** last)
{
    if (first == nullptr || last == nullptr || !(first < last))
        return;
    int budget = 0;
    for (std::ptrdiff_t n = last - first + 1; n > 1; n /= 2)
        budget += 2;
    QuickSortByKey(first, last, budget);
}

TZevFloatKeyList::TZevFloatKeyList()
{
    Head.Next = &Head;
    Head.Prev = &Head;
}

TZevFloatKeyList::~TZevFloatKeyList()
{
    Clear();
}

bool TZevFloatKeyList::Add(TZevFloatKeyRecord* record)
{
    if (record == nullptr || OwnNodes)
        return false;
    LinkBefore(&Head, record);
    ++Count;
    return true;
}

TZevFloatKeyNode* TZevFloatKeyList::AddItem(float key, void* item)
{
    if (!IsEmpty() && !OwnNodes)
        return nullptr;
    TZevFloatKeyNode* node = nullptr;
    {
        std::lock_guard<std::mutex> guard(SharedStoreLock());
        TZevFloatKeyList* store = SharedFloatKeyList;
        if (store != nullptr && !store->IsEmpty()) {
            TZevFloatKeyRecord* r = store->First();
            Unlink(r);
            --store->Count;
            node = static_cast<TZevFloatKeyNode*>(r);
        }
    }
    if (node == nullptr) {
        void* block = ZevAlloc(sizeof(TZevFloatKeyNode));
        if (block == nullptr)
            return nullptr;
        node = new (block) TZevFloatKeyNode;
    }
    node->Key = key;
    node->Item = item;
    LinkBefore(&Head, node);
    ++Count;
    OwnNodes = 1;
    return node;
}

void TZevFloatKeyList::GiveNode(TZevFloatKeyRecord* node)
{
    std::lock_guard<std::mutex> guard(SharedStoreLock());
    TZevFloatKeyList* store = SharedFloatKeyList;
    if (store != nullptr && store != this) {
        static_cast<TZevFloatKeyNode*>(node)->Item = nullptr;
        LinkBefore(&store->Head, node);
        ++store->Count;
        return;
    }
    static_cast<TZevFloatKeyNode*>(node)->~TZevFloatKeyNode();
    ZevFree(node);
}

void TZevFloatKeyList::Remove(TZevFloatKeyRecord* record)
{
    if (record == nullptr || record == &Head || record->Next == nullptr)
        return;
    Unlink(record);
    --Count;
    if (OwnNodes)
        GiveNode(record);
    if (IsEmpty())
        OwnNodes = 0;
}

void TZevFloatKeyList::Clear()
{
    while (!IsEmpty())
        Remove(First());
    Count = 0;
    OwnNodes = 0;
}

void TZevFloatKeyList::BuildSorted()
{
    if (Head.Next == &Head || Head.Next->Next == &Head)
        return;
    // Merge of runs of 1, 2, 4, ... records on a straight chain, then closed into the ring again.
    TZevFloatKeyRecord* list = Head.Next;
    Head.Prev->Next = nullptr;
    for (std::int64_t run = 1;; run *= 2) {
        TZevFloatKeyRecord* p = list;
        TZevFloatKeyRecord* tail = nullptr;
        list = nullptr;
        std::int64_t merges = 0;
        while (p != nullptr) {
            ++merges;
            TZevFloatKeyRecord* q = p;
            std::int64_t pSize = 0;
            for (std::int64_t k = 0; k < run && q != nullptr; ++k) {
                ++pSize;
                q = q->Next;
            }
            std::int64_t qSize = run;
            while (pSize > 0 || (qSize > 0 && q != nullptr)) {
                TZevFloatKeyRecord* e;
                // The left run wins ties, so equal keys keep their order.
                if (pSize == 0) {
                    e = q;
                    q = q->Next;
                    --qSize;
                } else if (qSize == 0 || q == nullptr || !(q->Key < p->Key)) {
                    e = p;
                    p = p->Next;
                    --pSize;
                } else {
                    e = q;
                    q = q->Next;
                    --qSize;
                }
                if (tail != nullptr)
                    tail->Next = e;
                else
                    list = e;
                tail = e;
            }
            p = q;
        }
        tail->Next = nullptr;
        if (merges <= 1)
            break;
    }
    // Close the ring and mend the back links.
    TZevFloatKeyRecord* prev = &Head;
    for (TZevFloatKeyRecord* r = list; r != nullptr; r = r->Next) {
        r->Prev = prev;
        prev->Next = r;
        prev = r;
    }
    prev->Next = &Head;
    Head.Prev = prev;
}

void TZevFloatKeyList::SortArray(TZevFloatKeyRecord** records, std::int32_t count)
{
    if (records != nullptr && count > 1)
        ZevSortByKey(records, records + (count - 1));
}

void ZevFloatKeyListInit()
{
    std::lock_guard<std::mutex> guard(SharedStoreLock());
    if (SharedFloatKeyList != nullptr)
        return;
    SharedFloatKeyList = new TZevFloatKeyList;
    std::atexit(FreeSharedStore);
}
