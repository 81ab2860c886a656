// Typed views over the engine's lists: `for (TZevContactLink* link : ZevItems<TZevContactLink>(list))` walks a
// TZevList of pointers or the ring of a TZevOwnerList and hands out each item as T*. As the plain walk does, it
// reads the next node after the loop's body: items appended during the walk are walked too, and the body must not
// take out the item it was given (a loop that releases items saves the next one itself).
#pragma once

#include "ZevList.h"
#include "ZevOwnerList.h"

#include <type_traits>

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

template <class T> TZevListItems<T> ZevItems(const TZevList& list)
{
    return TZevListItems<T>(list);
}

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
