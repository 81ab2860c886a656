#include "ZevBucketTable.h"

#include <cstring>

void TZevBucketTable::Add(const char* name, void* object)
{
    TZevList& bucket = Buckets[ByteSumHash(name)];
    bucket.Add(const_cast<char*>(name));
    bucket.Add(object);
}

bool TZevBucketTable::Remove(const char* name, void* object)
{
    TZevList& bucket = Buckets[ByteSumHash(name)];
    for (TZevListNode* n = bucket.First(); n != bucket.End() && n->next != bucket.End(); n = n->next->next) {
        const char* entryName = ZevItem<const char>(n);
        if (n->next->data != object || !entryName || !name || std::strcmp(entryName, name) != 0)
            continue;
        TZevList::RemoveNode(n->next);
        TZevList::RemoveNode(n);
        return true;
    }
    return false;
}

void TZevBucketTable::Clear()
{
    ClearBucketArray(Buckets, BucketCount);
}

bool TZevBucketTable::IsEmpty() const
{
    for (const TZevList& bucket : Buckets) {
        if (!bucket.IsEmpty())
            return false;
    }
    return true;
}
