// Body-attached boxes: point, edge and face leaves that keep their own storage for the current and previous
// positions of their one, two or three vertices instead of referring to a mesh. The collision links of a body's
// mesh leaves own them and set their positions; they are pooled per thread and given back through Release.
#pragma once

#include "ZevBBoxTree.h"
#include "ZevPhscs2Obj.h"

#include <cstdint>

// Shared storage of the three classes: N current and N previous positions and the two array pointers that the
// leaf's `current` and `previous` refer to.
template <int N> struct TZevBodyBoxStore {
    void Set(const TZevVector now[N], const TZevVector before[N])
    {
        for (int k = 0; k < N; ++k) {
            currentStore[k] = now[k];
            previousStore[k] = before[k];
        }
    }

    TZevVector currentStore[N];
    TZevVector previousStore[N];
    TZevVector* currentArray = currentStore;
    TZevVector* previousArray = previousStore;
};

class RPBVT : public TZevPointBoxVecT {
public:
    RPBVT();
    ~RPBVT() override = default;
    // Leaves its parent and goes back to the calling thread's pool (once, however often it is released).
    void Release();
    // Stores the vertex at both times and refits the box.
    void SetPosition(const TZevVector& now, const TZevVector& before);

    TZevBodyBoxStore<1> store;
    std::int32_t InPool = 0;
    TZevPointBoxVecT* leaf = nullptr; // the mesh leaf this box stands for
};

class REBVT : public TZevEdgeBoxVecT {
public:
    REBVT();
    ~REBVT() override = default;
    void Release();
    void SetPositions(const TZevVector now[2], const TZevVector before[2]);

    TZevBodyBoxStore<2> store;
    std::int32_t InPool = 0;
    TZevEdgeBoxVecT* leaf = nullptr;
};

class RFBVT : public TZevFaceBoxVecT {
public:
    RFBVT();
    ~RFBVT() override = default;
    void Release();
    void SetPositions(const TZevVector now[3], const TZevVector before[3]);

    TZevBodyBoxStore<3> store;
    std::int32_t InPool = 0;
    TZevFaceBoxVecT* leaf = nullptr;
};

// From the calling thread's pools, or new; positions zero, no parent, no object, no leaf.
RPBVT* NewRPBVT();
REBVT* NewREBVT();
RFBVT* NewRFBVT();

// The mesh leaf a body-attached box stands for; any other node is its own leaf.
TZevBoxNode* ZevMeshLeaf(TZevBoxNode* node);

// Stores `object` as the dynamic object of every face, edge and point leaf under `node`, so that contacts found
// on the leaves know their dynamic object.
void AssignBoxObject(TZevBoxNode* node, TZevPhscs2Obj* object);

// Number of boxes waiting in the calling thread's pool of a kind (0 point, 1 edge, 2 face).
int ZevBodyBoxPoolSize(int kind);

// Start-up of the three pools; later calls do nothing.
void ZevBodyBoxesInit();
