#include "ZevNarrowPhase.h"

#include "ZevBBoxTree.h"
#include "ZevVecInline.h"

#include <cmath>

namespace {

// (1 - t) previous + t current, componentwise.
inline TZevVector Lerp(const TZevVector& previous, const TZevVector& current, float t)
{
    const float s = 1.0f - t;
    return TZevVector(s * previous.x + t * current.x, s * previous.y + t * current.y, s * previous.z + t * current.z);
}

// Also true for a time that is not a number.
inline bool OutsideTime(float t)
{
    return !(t >= ZevLowerBound && t <= ZevUpperBound);
}

// Unit normal of a triangle and the signed distance of q from its plane; false for a degenerate triangle.
inline bool PlaneDistance(const TZevVector& a, const TZevVector& b, const TZevVector& c, const TZevVector& q,
                          float& distance)
{
    TZevVector n = Cross(Minus(b, a), Minus(c, a));
    if (!NormalizeInPlace(n))
        return false;
    distance = Dot(n, q) - Dot(n, a);
    return true;
}

} // namespace

float ZevDet3(float px, float py, float pz, float qx, float qy, float qz, float rx, float ry, float rz)
{
    return px * (qy * rz - qz * ry) + py * (qz * rx - qx * rz) + pz * (qx * ry - qy * rx);
}

bool ZevSolve3x3(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy, float cz, float rx,
                 float ry, float rz, float& x, float& y, float& z)
{
    const float det = ZevDet3(ax, ay, az, bx, by, bz, cx, cy, cz);
    if (!(std::fabs(det) > ZevDetEpsilon))
        return false;
    x = ZevDet3(rx, ry, rz, bx, by, bz, cx, cy, cz) / det;
    y = ZevDet3(ax, ay, az, rx, ry, rz, cx, cy, cz) / det;
    z = ZevDet3(ax, ay, az, bx, by, bz, rx, ry, rz) / det;
    return true;
}

bool ZevSolve3x3One(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy, float cz,
                    float rx, float ry, float rz, float& x)
{
    const float det = ZevDet3(ax, ay, az, bx, by, bz, cx, cy, cz);
    if (!(std::fabs(det) > ZevDetEpsilon))
        return false;
    x = ZevDet3(rx, ry, rz, bx, by, bz, cx, cy, cz) / det;
    return true;
}

bool ZevPointInTriangle(const TZevVector& p, const TZevVector& a, const TZevVector& b, const TZevVector& c)
{
    const TZevVector n = Cross(Minus(b, a), Minus(c, a));
    const float nx = std::fabs(n.x);
    const float ny = std::fabs(n.y);
    const float nz = std::fabs(n.z);
    int axis;
    if (nx > ny && nx > nz)
        axis = 0;
    else if (nz >= ny)
        axis = 2;
    else
        axis = 1;
    const TZevVector pa = Minus(a, p);
    const TZevVector pb = Minus(b, p);
    const TZevVector pc = Minus(c, p);
    const TZevVector ab = Cross(pa, pb);
    const TZevVector bc = Cross(pb, pc);
    const TZevVector ca = Cross(pc, pa);
    float sum;
    float area;
    switch (axis) {
    case 0:
        sum = std::fabs(ab.x) + std::fabs(bc.x) + std::fabs(ca.x);
        area = nx;
        break;
    case 1:
        sum = std::fabs(ab.y) + std::fabs(bc.y) + std::fabs(ca.y);
        area = ny;
        break;
    default:
        sum = std::fabs(ab.z) + std::fabs(bc.z) + std::fabs(ca.z);
        area = nz;
        break;
    }
    return sum - area < area * 0.0001f;
}

bool ZevRayTriangle(const TZevVector& o, const TZevVector& d, const TZevVector& a, const TZevVector& b,
                    const TZevVector& c, float& t)
{
    const TZevVector e1 = Minus(b, a);
    const TZevVector e2 = Minus(c, a);
    const TZevVector rhs = Minus(a, o);
    // t d - s e1 - w e2 = a - o; the signs of s and w do not change t.
    float along;
    if (!ZevSolve3x3One(d.x, d.y, d.z, e1.x, e1.y, e1.z, e2.x, e2.y, e2.z, rhs.x, rhs.y, rhs.z, along))
        return false;
    const TZevVector hit(o.x + along * d.x, o.y + along * d.y, o.z + along * d.z);
    if (!ZevPointInTriangle(hit, a, b, c))
        return false;
    t = along;
    return true;
}

bool ZevSweptFacePoint(const TZevVector& a0, const TZevVector& b0, const TZevVector& c0, const TZevVector& a1,
                       const TZevVector& b1, const TZevVector& c1, const TZevVector& q0, const TZevVector& q1,
                       TZevSweptHit& hit)
{
    float d0;
    float d1;
    if (!PlaneDistance(a0, b0, c0, q0, d0) || !PlaneDistance(a1, b1, c1, q1, d1))
        return false;
    const float den = d0 - d1;
    if (!(std::fabs(den) >= ZevTimeEpsilon))
        return false;
    const float t = d0 / den;
    if (OutsideTime(t))
        return false;

    const TZevVector at = Lerp(a0, a1, t);
    const TZevVector bt = Lerp(b0, b1, t);
    const TZevVector ct = Lerp(c0, c1, t);
    const TZevVector qt = Lerp(q0, q1, t);
    const TZevVector e1 = Minus(bt, at);
    const TZevVector e2 = Minus(ct, at);
    TZevVector n = Cross(e1, e2);
    const TZevVector r = Minus(qt, at);
    float u;
    float w;
    float h;
    if (!ZevSolve3x3(e1.x, e1.y, e1.z, e2.x, e2.y, e2.z, n.x, n.y, n.z, r.x, r.y, r.z, u, w, h))
        return false;
    if (u < ZevLowerBound || u + w > ZevUpperBound || w < ZevLowerBound)
        return false;
    if (!NormalizeInPlace(n))
        n = TZevVector(0.0f, 0.0f, 1.0f);
    hit.time = t;
    hit.u = u;
    hit.v = w;
    hit.normal = n;
    return true;
}

bool ZevSweptEdgeEdge(const TZevVector& a00, const TZevVector& a10, const TZevVector& b00, const TZevVector& b10,
                      const TZevVector& a01, const TZevVector& a11, const TZevVector& b01, const TZevVector& b11,
                      TZevSweptHit& hit)
{
    // Signed distance of the two edge lines along their common normal, at time 0 and at time 1.
    TZevVector a = Minus(a10, a00);
    TZevVector b = Minus(b10, b00);
    TZevVector n = Cross(a, b);
    float length = n.Length();
    if (!(length > ZevTimeEpsilon))
        return false;
    const float d0 = Dot(Minus(a00, b00), n) / length;

    a = Minus(a11, a01);
    b = Minus(b11, b01);
    n = Cross(a, b);
    length = n.Length();
    if (!(length > ZevTimeEpsilon))
        return false;
    const TZevVector gap = Minus(a01, b01);
    const float d1 = ZevDet3(gap.x, gap.y, gap.z, a.x, a.y, a.z, b.x, b.y, b.z) / length;

    const float den = d0 - d1;
    if (!(std::fabs(den) > ZevTimeEpsilon))
        return false;
    const float t = d0 / den;
    if (OutsideTime(t))
        return false;

    const TZevVector at0 = Lerp(a00, a01, t);
    const TZevVector at1 = Lerp(a10, a11, t);
    const TZevVector bt0 = Lerp(b00, b01, t);
    const TZevVector bt1 = Lerp(b10, b11, t);
    const TZevVector at = Minus(at1, at0);
    const TZevVector bt = Minus(bt1, bt0);
    const TZevVector nt = Cross(at, bt);
    // A0 + s a = B0 + u b + h n  <=>  s a + u (-b) + (-h) n = B0 - A0
    const TZevVector r = Minus(bt0, at0);
    float s;
    float u;
    float h;
    if (!ZevSolve3x3(at.x, at.y, at.z, -bt.x, -bt.y, -bt.z, nt.x, nt.y, nt.z, r.x, r.y, r.z, s, u, h))
        return false;
    if (s < ZevLowerBound || u > ZevUpperBound || u < ZevLowerBound || s > ZevUpperBound)
        return false;
    hit.time = t;
    hit.u = s;
    hit.v = u;
    hit.normal = nt;
    return true;
}

bool ZevBoxInSlabs(const TZevVector& min, const TZevVector& max, const TZevSlabSet& slabs)
{
    for (int32_t k = 0; k < slabs.count; ++k) {
        const TZevVector& d = slabs.directions[k];
        // The corner farthest along d and the one farthest against it.
        const TZevVector high(d.x >= 0.0f ? max.x : min.x, d.y >= 0.0f ? max.y : min.y, d.z >= 0.0f ? max.z : min.z);
        const TZevVector low(d.x >= 0.0f ? min.x : max.x, d.y >= 0.0f ? min.y : max.y, d.z >= 0.0f ? min.z : max.z);
        if (Dot(Minus(low, slabs.reference), d) > slabs.upper[k])
            return false;
        if (Dot(Minus(high, slabs.reference), d) < slabs.lower[k])
            return false;
    }
    return true;
}

bool ZevFacePointHit(const TZevFaceBoxVecT& face, const TZevPointBoxVecT& point, TZevSweptHit& hit)
{
    if (face.layer != point.layer)
        return false;
    const TZevVector* before = *face.previous;
    const TZevVector* now = *face.current;
    return ZevSweptFacePoint(before[face.i0], before[face.i1], before[face.i2], now[face.i0], now[face.i1],
                             now[face.i2], (*point.previous)[point.i], (*point.current)[point.i], hit);
}

bool ZevEdgeEdgeHit(const TZevEdgeBoxVecT& edgeA, const TZevEdgeBoxVecT& edgeB, TZevSweptHit& hit)
{
    if (edgeA.layer != edgeB.layer)
        return false;
    const TZevVector* a0 = *edgeA.previous;
    const TZevVector* a1 = *edgeA.current;
    const TZevVector* b0 = *edgeB.previous;
    const TZevVector* b1 = *edgeB.current;
    return ZevSweptEdgeEdge(a0[edgeA.i0], a0[edgeA.i1], b0[edgeB.i0], b0[edgeB.i1], a1[edgeA.i0], a1[edgeA.i1],
                            b1[edgeB.i0], b1[edgeB.i1], hit);
}

int ZevVertexFaceTest(TZevBoxNode* face, void*, TZevBoxNode* point)
{
    TZevSweptHit hit;
    return ZevFacePointHit(*static_cast<TZevFaceBoxVecT*>(face), *static_cast<TZevPointBoxVecT*>(point), hit) ? 1 : 0;
}

int ZevEdgeEdgeTest(TZevBoxNode* edgeA, void*, TZevBoxNode* edgeB)
{
    TZevSweptHit hit;
    return ZevEdgeEdgeHit(*static_cast<TZevEdgeBoxVecT*>(edgeA), *static_cast<TZevEdgeBoxVecT*>(edgeB), hit) ? 1
                                                                                                              : 0;
}

namespace {

// The unit axis least aligned with v, so that v x axis does not vanish.
TZevVector LeastAlignedAxis(const TZevVector& v)
{
    const float ax = std::fabs(v.x);
    const float ay = std::fabs(v.y);
    const float az = std::fabs(v.z);
    if (ax <= ay && ax <= az)
        return TZevVector(1, 0, 0);
    if (ay <= az)
        return TZevVector(0, 1, 0);
    return TZevVector(0, 0, 1);
}

inline bool Moved(const TZevVector& m)
{
    return Dot(m, m) > 0.0f;
}

void AddDirection(TZevSlabSet& slabs, const TZevVector& d)
{
    // A vanishing direction would only give a slab that everything passes.
    if (Dot(d, d) > 0.0f && slabs.count < 5)
        slabs.directions[slabs.count++] = d;
}

} // namespace

bool ZevBuildSlabSet(const TZevBoxNode& leaf, int32_t moving, TZevSlabSet& slabs)
{
    slabs = TZevSlabSet();
    TZevVector previous[3];
    TZevVector current[3];
    int vertices;
    if (leaf.type == ZevCollisionTypeInfo(ZevTypeFaceBoxVecT)) {
        const auto& face = static_cast<const TZevFaceBoxVecT&>(leaf);
        const int32_t index[3] = {face.i0, face.i1, face.i2};
        for (int k = 0; k < 3; ++k) {
            previous[k] = (*face.previous)[index[k]];
            current[k] = (*face.current)[index[k]];
        }
        vertices = 3;
        const TZevVector m = Minus(previous[0], current[0]);
        const TZevVector e1 = Minus(current[1], current[0]);
        const TZevVector e2 = Minus(current[2], current[0]);
        if (moving != 0 && Moved(m)) {
            const TZevVector d1 = Cross(m, e1);
            const TZevVector d2 = Cross(m, e2);
            AddDirection(slabs, d1);
            AddDirection(slabs, d2);
            AddDirection(slabs, Cross(d1, d2));
        } else {
            const TZevVector n = Cross(e1, e2);
            AddDirection(slabs, n);
            AddDirection(slabs, Cross(n, e1));
            AddDirection(slabs, Cross(n, e2));
        }
    } else if (leaf.type == ZevCollisionTypeInfo(ZevTypeEdgeBoxVecT)) {
        const auto& edge = static_cast<const TZevEdgeBoxVecT&>(leaf);
        previous[0] = (*edge.previous)[edge.i0];
        previous[1] = (*edge.previous)[edge.i1];
        current[0] = (*edge.current)[edge.i0];
        current[1] = (*edge.current)[edge.i1];
        vertices = 2;
        const TZevVector m = Minus(previous[0], current[0]);
        const TZevVector e = Minus(current[1], current[0]);
        if (moving != 0 && Moved(m)) {
            const TZevVector d1 = Cross(m, e);
            AddDirection(slabs, d1);
            AddDirection(slabs, Cross(d1, e));
            AddDirection(slabs, Cross(d1, m));
        } else {
            const TZevVector d1 = Cross(e, LeastAlignedAxis(e));
            AddDirection(slabs, d1);
            AddDirection(slabs, Cross(e, d1));
        }
    } else if (leaf.type == ZevCollisionTypeInfo(ZevTypePointBoxVecT)) {
        const auto& point = static_cast<const TZevPointBoxVecT&>(leaf);
        previous[0] = (*point.previous)[point.i];
        current[0] = (*point.current)[point.i];
        vertices = 1;
        const TZevVector m = Minus(previous[0], current[0]);
        if (moving != 0 && Moved(m)) {
            const TZevVector d1 = Cross(m, LeastAlignedAxis(m));
            AddDirection(slabs, d1);
            AddDirection(slabs, Cross(m, d1));
        }
    } else {
        return false;
    }

    slabs.reference = current[0];
    for (int32_t k = 0; k < slabs.count; ++k) {
        const TZevVector& d = slabs.directions[k];
        float lower = 0.0f;
        float upper = 0.0f;
        for (int v = 0; v < vertices; ++v) {
            for (const TZevVector* p : {&current[v], &previous[v]}) {
                const float s = Dot(Minus(*p, slabs.reference), d);
                if (s < lower)
                    lower = s;
                if (s > upper)
                    upper = s;
            }
        }
        slabs.lower[k] = lower;
        slabs.upper[k] = upper;
    }
    return true;
}
