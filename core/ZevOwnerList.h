// Intrusive list that owns its items: deleting the list deletes every item still in its ring.
#pragma once

#include "ZevDebug.h"

#include <cstdint>

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
