#include "ZevOwnerList.h"

TZevOwnerListLink::~TZevOwnerListLink()
{
    Unlink();
    if (sentinel) {
        // Each deletion takes the item out of the ring, so this also copes with items that delete their siblings.
        while (sentinel->next != sentinel)
            delete sentinel->next;
        delete sentinel;
        sentinel = nullptr;
    }
}

void TZevOwnerListLink::Unlink()
{
    prev->next = next;
    next->prev = prev;
    next = this;
    prev = this;
    owner = 0;
}

void TZevOwnerListLink::LinkBefore(TZevOwnerListLink* where)
{
    if (where == this)
        return;
    Unlink();
    prev = where->prev;
    next = where;
    where->prev->next = this;
    where->prev = this;
    owner = 1;
}

TZevOwnerList::TZevOwnerList()
{
    sentinel = new TZevOwnerListSentinel;
}

int TZevOwnerList::GetCount() const
{
    int count = 0;
    for (const TZevOwnerListLink* l = sentinel->next; l != sentinel; l = l->next)
        ++count;
    return count;
}

void TZevOwnerList::DeleteItems()
{
    while (sentinel->next != sentinel)
        delete sentinel->next;
}
