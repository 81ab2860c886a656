// Narrow phase: do two primitives of two moving meshes meet within the current step?
//
// Every test works on the previous (time 0) and current (time 1) world positions of the vertices, finds the
// contact time by linear interpolation of a signed distance and accepts the contact only when the contact point
// lies inside both primitives within 0.0001. All arithmetic is single precision in the order written, so that
// the same input gives the same bits on every run.
#pragma once

#include "ZevVector.h"

#include <cstdint>

class TZevBoxNode;
class TZevFaceBoxVecT;
class TZevEdgeBoxVecT;
class TZevPointBoxVecT;

// Smallest accepted denominator and normal length.
inline constexpr float ZevTimeEpsilon = 1e-7f;
// Tolerated range of contact times and barycentric weights.
inline constexpr float ZevLowerBound = 0.0f - 0.0001f;
inline constexpr float ZevUpperBound = 1.0001f;
// Smallest accepted determinant of the 3x3 solver.
inline constexpr float ZevDetEpsilon = 1e-19f;

// p . (q x r)
float ZevDet3(float px, float py, float pz, float qx, float qy, float qz, float rx, float ry, float rz);

// Solves x a + y b + z c = rhs by Cramer's rule. False, writing nothing, when |det(a, b, c)| <= 1e-19.
bool ZevSolve3x3(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy, float cz, float rx,
                 float ry, float rz, float& x, float& y, float& z);
// The same, computing only the first unknown.
bool ZevSolve3x3One(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy, float cz,
                    float rx, float ry, float rz, float& x);

// Is p inside triangle (a, b, c) (up to a relative 0.0001), judged on the axis where the triangle is largest?
bool ZevPointInTriangle(const TZevVector& p, const TZevVector& a, const TZevVector& b, const TZevVector& c);
// Hit of the line o + t d with the triangle; t is written on a hit and may be negative.
bool ZevRayTriangle(const TZevVector& o, const TZevVector& d, const TZevVector& a, const TZevVector& b,
                    const TZevVector& c, float& t);

// What a swept test finds. Face-point: u and v are the weights of the second and third corner, normal is the
// unit face normal at the contact time. Edge-edge: u is the parameter on the first edge, v the one on the second,
// normal is the cross product of the two edges at the contact time, not normalised.
struct TZevSweptHit {
    float time = 0.0f;
    float u = 0.0f;
    float v = 0.0f;
    TZevVector normal;
};

// A vertex moving from q0 to q1 against a triangle moving from (a0, b0, c0) to (a1, b1, c1).
bool ZevSweptFacePoint(const TZevVector& a0, const TZevVector& b0, const TZevVector& c0, const TZevVector& a1,
                       const TZevVector& b1, const TZevVector& c1, const TZevVector& q0, const TZevVector& q1,
                       TZevSweptHit& hit);
// Edge A (ends A0, A1) against edge B (ends B0, B1), each given at time 0 and at time 1.
bool ZevSweptEdgeEdge(const TZevVector& a00, const TZevVector& a10, const TZevVector& b00, const TZevVector& b10,
                      const TZevVector& a01, const TZevVector& a11, const TZevVector& b01, const TZevVector& b11,
                      TZevSweptHit& hit);

// The same tests on leaves (their vertex arrays and layers); no contact record is made. The middle argument is
// not read.
bool ZevFacePointHit(const TZevFaceBoxVecT& face, const TZevPointBoxVecT& point, TZevSweptHit& hit);
bool ZevEdgeEdgeHit(const TZevEdgeBoxVecT& edgeA, const TZevEdgeBoxVecT& edgeB, TZevSweptHit& hit);
int ZevVertexFaceTest(TZevBoxNode* face, void* spare, TZevBoxNode* point);
int ZevEdgeEdgeTest(TZevBoxNode* edgeA, void* spare, TZevBoxNode* edgeB);

// Slabs around a leaf's swept hull, used to skip children of a large node that cannot meet the leaf.
struct TZevSlabSet {
    TZevVector directions[5];
    TZevVector reference;
    float lower[5] = {};
    float upper[5] = {};
    int32_t count = 0;
};

// Builds the slab set of a face, edge or point leaf. moving is the rebuild level of the leaf's tree (non-zero
// while its position still changes). False for a node that is no leaf.
bool ZevBuildSlabSet(const TZevBoxNode& leaf, int32_t moving, TZevSlabSet& slabs);
// Does the box (min, max) meet every slab? A set without direction passes every box.
bool ZevBoxInSlabs(const TZevVector& min, const TZevVector& max, const TZevSlabSet& slabs);
