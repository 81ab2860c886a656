// Sorting of records by a float key that is their first member: a quicksort of pointer arrays and a ring of
// records that re-links itself in key order. The collision code and the measurement scenes sort contacts and
// distances this way.
#pragma once

#include "ZevDebug.h"

#include <cstdint>

// A record sorted by its key: the key first, then the links of the ring it is in (unused outside a ring).
struct TZevFloatKeyRecord {
    float Key = 0.0f;
    TZevFloatKeyRecord* Next = nullptr;
    TZevFloatKeyRecord* Prev = nullptr;
};

// A record a list makes for an item of the caller: the key and the item it stands for.
struct TZevFloatKeyNode : TZevFloatKeyRecord {
    void* Item = nullptr;
};

// Sorts the pointers from first to last inclusive in ascending key order: quicksort on the middle key, finished
// by heapsort where that key keeps splitting badly, so that no input takes quadratic time or a deep stack. Equal
// keys end in no particular order.
void ZevSortByKey(TZevFloatKeyRecord** first, TZevFloatKeyRecord** last);

class TZevFloatKeyList;
// Keeps the nodes that lists give back, for the next list that makes one; made by ZevFloatKeyListInit.
extern TZevFloatKeyList* SharedFloatKeyList;

// Ring of keyed records. A list holds either records of the caller (Add), which it never frees, or nodes of its
// own (AddItem), which go back to the shared store when the list lets them go.
class TZevFloatKeyList : public TZevAllocated {
public:
    TZevFloatKeyList();
    // Unlinks the caller's records; gives its own nodes back.
    ~TZevFloatKeyList();
    TZevFloatKeyList(const TZevFloatKeyList&) = delete;
    TZevFloatKeyList& operator=(const TZevFloatKeyList&) = delete;

    // Appends a record of the caller. False when the record is null or the list holds nodes of its own.
    bool Add(TZevFloatKeyRecord* record);
    // Appends a node of its own for (key, item), reused from the shared store when it has one. Null when the
    // list holds records of the caller or memory runs out.
    TZevFloatKeyNode* AddItem(float key, void* item);
    // Takes a record of this list out of the ring (a node of its own goes back to the shared store).
    void Remove(TZevFloatKeyRecord* record);
    // Empties the list as the destructor does.
    void Clear();
    // Re-links the records in ascending key order; records with equal keys keep their order.
    void BuildSorted();

    // Sorts an array of count record pointers in ascending key order.
    static void SortArray(TZevFloatKeyRecord** records, std::int32_t count);

    TZevFloatKeyRecord* First() const { return Head.Next; }
    const TZevFloatKeyRecord* End() const { return &Head; }
    std::int32_t GetCount() const { return Count; }
    bool IsEmpty() const { return Head.Next == &Head; }

    TZevFloatKeyRecord Head; // closes the ring; its key is not read
    std::int32_t Count = 0;
    std::int32_t OwnNodes = 0; // 1 while the records are nodes made by AddItem

private:
    void GiveNode(TZevFloatKeyRecord* node);
};

// Start-up: makes the shared node store and frees it at exit. Runs once; later calls do nothing.
void ZevFloatKeyListInit();
