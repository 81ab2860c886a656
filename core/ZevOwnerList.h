// Intrusive list that owns its items: deleting the list deletes every item still in its ring.
#pragma once

#include "ZevDebug.h"
#include "ZevList.h"

#include <cstdint>
#include <type_traits>

class TZevOwnerListSentinel;

// Common base of items, sentinel and list. A link in no ring points to itself.
class TZevOwnerListLink : public TZevAllocated {
public:
    TZevOwnerListLink() : reserved(0), owner(0), next(this), sentinel(nullptr), prev(this) {}
    // Leaves its ring; when it owns a sentinel, deletes every item of that ring, then the sentinel.
    virtual ~TZevOwnerListLink();
    TZevOwnerListLink(const TZevOwnerListLink&) = delete;
    TZevOwnerListLink& operator=(const TZevOwnerListLink&) = delete;

    // Takes the link out of its ring (owner 0, linked to itself).
    void Unlink();
    // Links this before `where` in where's ring (after unlinking it from its own), owner 1.
    void LinkBefore(TZevOwnerListLink* where);
    bool IsLinked() const { return next != this; }

    std::int32_t reserved;
    std::int32_t owner; // 0 when in no list
    TZevOwnerListLink* next;
    TZevOwnerListSentinel* sentinel; // the owned ring's sentinel; null for items and for the sentinel itself
    TZevOwnerListLink* prev;
};

// Closes the ring of a list's items.
class TZevOwnerListSentinel : public TZevOwnerListLink {
public:
    ~TZevOwnerListSentinel() override = default;
};

// A link that owns a sentinel; its items are linked into the sentinel's ring, in order.
class TZevOwnerList : public TZevOwnerListLink {
public:
    TZevOwnerList();
    ~TZevOwnerList() override = default;

    // Links the item at the end of this list's ring (taking it out of any other ring first).
    void Append(TZevOwnerListLink* item) { item->LinkBefore(sentinel); }
    TZevOwnerListLink* First() const { return sentinel->next; }
    TZevOwnerListLink* Last() const { return sentinel->prev; }
    const TZevOwnerListLink* End() const { return sentinel; }
    bool IsEmpty() const { return sentinel->next == sentinel; }
    int GetCount() const;
    // Deletes every item, keeping the list usable.
    void DeleteItems();
};

// Typed view of the ring of a TZevOwnerList: `for (TZevBoxNode* child : ZevItems<TZevBoxNode>(node))`. It walks as
// ZevItems over a TZevList does: the next link is read after the body, which must not take out its own item.
template <class T> class TZevRingItems {
    static_assert(std::is_base_of_v<TZevOwnerListLink, T>, "a ring holds owner-list links");

public:
    class Iterator {
    public:
        explicit Iterator(TZevOwnerListLink* l) : link(l) {}
        T* operator*() const { return static_cast<T*>(link); }
        Iterator& operator++()
        {
            link = link->next;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return link != o.link; }

    private:
        TZevOwnerListLink* link;
    };

    explicit TZevRingItems(const TZevOwnerList& l) : list(l) {}
    Iterator begin() const { return Iterator(list.First()); }
    Iterator end() const { return Iterator(const_cast<TZevOwnerListLink*>(list.End())); }

private:
    const TZevOwnerList& list;
};

template <class T> TZevRingItems<T> ZevItems(const TZevOwnerList& list)
{
    return TZevRingItems<T>(list);
}

// Pushes the children of `node` at the front of `stack`, as T*, so that they come off it in ring order: the step of
// a pre-order walk with an explicit stack.
template <class T> void ZevPushChildren(TZevList& stack, const TZevOwnerList* node)
{
    for (TZevOwnerListLink* child = node->Last(); child != node->End(); child = child->prev)
        stack.PushFront(static_cast<T*>(child));
}
