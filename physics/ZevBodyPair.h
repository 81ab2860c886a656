// Body-pair table: every unordered pair of dynamic objects that is linked in any way shares one counted record.
// Each link, joint or contact link holds one reference to the record of its two objects; the world step walks
// the records. Composite objects pass their registrations on to the objects they weight, and the composite's
// record collects the resulting sub-records with their weights. The table also carries the world's gravity.
#pragma once

#include "ZevDebug.h"
#include "ZevList.h"
#include "ZevVector.h"
#include "ZevMatrix.h"

#include <cstdint>

class TZevPhscs2Obj;

class TZevBodyPair : public TZevAllocated {
public:
    TZevBodyPair() = default;
    virtual ~TZevBodyPair() = default;
    TZevBodyPair(const TZevBodyPair&) = delete;
    TZevBodyPair& operator=(const TZevBodyPair&) = delete;

    // Called when the last reference goes: leaves both objects' lists and the bucket, drops one reference of
    // every sub-record and goes back to the calling thread's pool.
    virtual void Release();

    // Adds to the share count, spread over the sub-records by their weights when there are any.
    void AddShare(float value);
    float GetShareCount() const { return ShareCount; }

    // Takes `object` out of this record (its list node and its side). The record leaves the bucket, so that it is
    // never found again; with no holder left it is released at once, otherwise its holders keep it until they
    // drop it.
    void DetachObject(TZevPhscs2Obj* object);

    float ShareCount = 0.0f; // active links sharing the pair in the current step
    std::int32_t RefCount = 0;
    TZevListNode* NodeA = nullptr; // in ObjectA's Pairs list
    TZevListNode* NodeB = nullptr; // in ObjectB's Pairs list
    TZevPhscs2Obj* ObjectA = nullptr;
    TZevPhscs2Obj* ObjectB = nullptr;
    TZevListNode* BucketNode = nullptr;
    TZevList SubPairs;   // records held by this one (composite registrations)
    TZevList SubWeights; // parallel to SubPairs: each item's data holds a float weight
};

// Drops one reference; the record is released when that was the last. A null record does nothing.
void ZevDropPairRef(TZevBodyPair* pair);

// Weight stored in a SubWeights node.
float ZevSubWeight(const TZevListNode* node);

class TZevBodyPairTable : public TZevAllocated {
public:
    static constexpr int BucketCount = 65536;

    TZevBodyPairTable();
    // Empties the buckets; the records are not released (their bucket node is forgotten).
    virtual ~TZevBodyPairTable();
    TZevBodyPairTable(const TZevBodyPairTable&) = delete;
    TZevBodyPairTable& operator=(const TZevBodyPairTable&) = delete;

    // Bucket of the pair (a, b), the same for (b, a): objects are keyed by their creation number, 0 for none.
    static int BucketIndex(const TZevPhscs2Obj* a, const TZevPhscs2Obj* b);

    float Gravity = 9.8f;
    TZevList Buckets[BucketCount];
};

// Finds or creates the record of (a, b) and takes one reference for the caller; with a holder the record is
// also listed in the holder's sub-records (one reference for the holder, weights added up). Null only when both
// objects are null.
TZevBodyPair* RegisterPair(TZevBodyPairTable* table, TZevPhscs2Obj* a, TZevPhscs2Obj* b, TZevBodyPair* holder,
                           float weight);

// a b / ((a + b) c c)
float ReducedMassPerSquare(float a, float b, float c);
// Suggested joint value from the two inertia tensors, masses, lever arms, spring k and damper d.
float GuessJointParam(const TZevMatrix3& i1, const TZevMatrix3& i2, float m1, float m2, float r1, float r2, float k,
                      float d);

// Start-up of the record pool; later calls do nothing.
void ZevBodyPairInit();
