#include "ZevBodyPair.h"

#include "ZevPhscs2Obj.h"
#include "ZevPoolDrain.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

TZevPoolHeads* PairPool = nullptr;

void DrainPairPool()
{
    ZevDrainPool<TZevBodyPair>(PairPool);
}

TZevBodyPair* TakePairRecord()
{
    ZevBodyPairInit();
    if (void* item = PairPool->Take())
        return static_cast<TZevBodyPair*>(item);
    return new TZevBodyPair;
}

void* WeightAsData(float weight)
{
    std::uintptr_t bits = 0;
    std::memcpy(&bits, &weight, sizeof weight);
    return reinterpret_cast<void*>(bits);
}

void SetSubWeight(TZevListNode* node, float weight)
{
    node->data = WeightAsData(weight);
}

std::uint32_t KeyOf(const TZevPhscs2Obj* object)
{
    return object != nullptr ? object->Serial : 0u;
}

// Takes the node out of its list, if the pair has one there.
void DropNode(TZevListNode*& node)
{
    if (node != nullptr) {
        TZevList::RemoveNode(node);
        node = nullptr;
    }
}

} // namespace

void ZevBodyPairInit()
{
    if (PairPool != nullptr)
        return;
    PairPool = new TZevPoolHeads(ZevDeletePooled<TZevBodyPair>);
    std::atexit(DrainPairPool);
}

float ZevSubWeight(const TZevListNode* node)
{
    const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(node->data);
    float weight;
    std::memcpy(&weight, &bits, sizeof weight);
    return weight;
}

void TZevBodyPair::Release()
{
    DropNode(NodeA);
    ObjectA = nullptr;
    DropNode(NodeB);
    ObjectB = nullptr;
    DropNode(BucketNode);
    while (TZevBodyPair* sub = ZevPopItem<TZevBodyPair>(SubPairs))
        ZevDropPairRef(sub);
    SubWeights.Clear();
    ZevBodyPairInit();
    if (!PairPool->Give(this))
        delete this;
}

void TZevBodyPair::DetachObject(TZevPhscs2Obj* object)
{
    if (ObjectA == object && NodeA != nullptr) {
        DropNode(NodeA);
        ObjectA = nullptr;
    }
    if (ObjectB == object && NodeB != nullptr) {
        DropNode(NodeB);
        ObjectB = nullptr;
    }
    DropNode(BucketNode);
    if (RefCount <= 0)
        Release();
}

void TZevBodyPair::AddShare(float value)
{
    if (SubPairs.IsEmpty()) {
        ShareCount += value;
        return;
    }
    const TZevListNode* weight = SubWeights.First();
    for (const TZevListNode* node = SubPairs.First(); node != SubPairs.End(); node = node->next) {
        const float share = value * ZevSubWeight(weight);
        ZevItem<TZevBodyPair>(node)->ShareCount += share;
        ShareCount += share;
        weight = weight->next;
    }
}

void ZevDropPairRef(TZevBodyPair* pair)
{
    if (pair == nullptr)
        return;
    const std::int32_t was = pair->RefCount;
    pair->RefCount = was - 1;
    if (was == 1)
        pair->Release();
}

TZevBodyPairTable::TZevBodyPairTable() = default;

TZevBodyPairTable::~TZevBodyPairTable()
{
    // The records outlive the table: they must not keep a node that now belongs to the pool.
    for (TZevList& bucket : Buckets) {
        for (TZevBodyPair* pair : ZevItems<TZevBodyPair>(bucket))
            pair->BucketNode = nullptr;
    }
}

int TZevBodyPairTable::BucketIndex(const TZevPhscs2Obj* a, const TZevPhscs2Obj* b)
{
    const std::uint32_t ka = KeyOf(a);
    const std::uint32_t kb = KeyOf(b);
    const std::uint32_t lo = ka < kb ? ka : kb;
    const std::uint32_t hi = ka < kb ? kb : ka;
    return static_cast<int>((hi & 255u) * 256u + (lo & 255u));
}

TZevBodyPair* RegisterPair(TZevBodyPairTable* table, TZevPhscs2Obj* a, TZevPhscs2Obj* b, TZevBodyPair* holder,
                           float weight)
{
    if (a == nullptr && b == nullptr)
        return nullptr;
    TZevList& bucket = table->Buckets[TZevBodyPairTable::BucketIndex(a, b)];

    TZevBodyPair* pair = nullptr;
    for (TZevBodyPair* candidate : ZevItems<TZevBodyPair>(bucket)) {
        if ((candidate->ObjectA == a && candidate->ObjectB == b) ||
            (candidate->ObjectA == b && candidate->ObjectB == a)) {
            pair = candidate;
            break;
        }
    }
    if (pair != nullptr) {
        pair->RefCount += 1;
    } else {
        // A recycled record starts with every count at zero.
        pair = TakePairRecord();
        pair->ShareCount = 0.0f;
        pair->RefCount = 1;
        pair->NodeA = nullptr;
        pair->NodeB = nullptr;
        pair->ObjectA = nullptr;
        pair->ObjectB = nullptr;
        if (a != nullptr) {
            pair->ObjectA = a;
            pair->NodeA = ZevListPushPooled(&a->Pairs, pair);
        }
        if (b != nullptr) {
            pair->ObjectB = b;
            pair->NodeB = ZevListPushPooled(&b->Pairs, pair);
        }
        pair->BucketNode = ZevListPushPooled(&bucket, pair);
    }

    if (a != nullptr && a->Integrable == 0) {
        a->RegisterPairPart(table, pair, weight, b);
        return pair;
    }
    if (b != nullptr && b->Integrable == 0) {
        b->RegisterPairPart(table, pair, weight, a);
        return pair;
    }
    if (holder == nullptr)
        return pair;

    TZevListNode* weightNode = holder->SubWeights.First();
    for (TZevListNode* node = holder->SubPairs.First(); node != holder->SubPairs.End(); node = node->next) {
        if (node->data == pair) {
            SetSubWeight(weightNode, ZevSubWeight(weightNode) + weight);
            return pair;
        }
        weightNode = weightNode->next;
    }
    holder->SubPairs.Add(pair);
    pair->RefCount += 1;
    holder->SubWeights.Add(WeightAsData(weight));
    return pair;
}

float ReducedMassPerSquare(float a, float b, float c)
{
    return a * b / ((a + b) * c * c);
}

float GuessJointParam(const TZevMatrix3& i1, const TZevMatrix3& i2, float m1, float m2, float r1, float r2, float k,
                      float d)
{
    const float mean1 = (i1[0] + i1[4] + i1[8]) / 3.0f;
    const float mean2 = (i2[0] + i2[4] + i2[8]) / 3.0f;
    const float a = mean1 + m1 * r1 * r1;
    const float b = mean2 + m2 * r2 * r2;
    return std::sqrt(a * b / ((a + b) * k * d * d));
}
