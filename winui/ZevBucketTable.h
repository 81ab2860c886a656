// Surfaces of a DirectDraw-style surfaces object by name: 256 list buckets, the bucket of a name the sum of its
// bytes modulo 256; an entry is two consecutive items of its bucket, the name and then the object.
#pragma once

#include "ZevList.h"

class TZevBucketTable : public TZevAllocated {
public:
    static constexpr int BucketCount = 256;

    // The name must live as long as the entry (it is the object's own name).
    void Add(const char* name, void* object);
    // Takes out the entry of an equal name and this very object; false when there is none.
    bool Remove(const char* name, void* object);
    // Every node back to the calling thread's node pool.
    void Clear();
    // The objects as T*, in bucket order; f may remove the entry it is given.
    template <class T = void, class F> void ForEachObject(F f)
    {
        for (TZevList& bucket : Buckets) {
            for (TZevListNode* n = bucket.First(); n != bucket.End() && n->next != bucket.End();) {
                TZevListNode* after = n->next->next;
                f(ZevItem<T>(n->next));
                n = after;
            }
        }
    }
    bool IsEmpty() const;

    TZevList Buckets[BucketCount];
};
