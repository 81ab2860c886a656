#include "ZevContactEstimate.h"

#include "ZevColLink.h"
#include "ZevContactLink.h"
#include "ZevListView.h"
#include "ZevNarrowPhase.h"
#include "ZevPhscs2World.h"
#include "ZevVecInline.h"
#include "ZevXPhObj.h"

#include <cmath>

namespace {

// Edges shorter than this keep their thresholds; weights below it do not count.
constexpr float ShortLength = 1e-7f;

// The threshold of an edge of length l: p x 5 / l.
inline float Threshold(float permitDistance, float length)
{
    return permitDistance * 5.0f / length;
}

// The face in which edge E runs into the point leaf: face0 when the point is E's second end, else face1.
inline TZevFaceBoxVecT* FaceInto(const TZevEdgeBoxVecT* edge, const TZevPointBoxVecT* point)
{
    return edge->point1 == point ? edge->face0 : edge->face1;
}

inline TZevVector FaceLinkNormal(const TZevFaceBoxVecT* face)
{
    const TZevFC2RFaceLink* link = ZevFaceColLink(face);
    return link != nullptr ? link->normal : TZevVector();
}

// Vertex k of an edge or face link's two boxes takes the positions of the point link's box of the same layer.
template <class Link> void CopyCorners(Link* link, int k, const TZevPointBoxVecT* point)
{
    const TZevFC2RPointLink* from = ZevPointColLink(point);
    if (from == nullptr)
        return;
    link->box1->store.currentStore[k] = from->box1->store.currentStore[0];
    link->box1->store.previousStore[k] = from->box1->store.previousStore[0];
    link->box2->store.currentStore[k] = from->box2->store.currentStore[0];
    link->box2->store.previousStore[k] = from->box2->store.previousStore[0];
}

// The largest of cosine(n) over the link normals n of the faces around a vertex, at least 0.
template <class Cosine> float LargestAroundPoint(const TZevPointBoxVecT* leaf, Cosine cosine)
{
    float largest = 0.0f;
    for (TZevEdgeBoxVecT* edge : ZevItems<TZevEdgeBoxVecT>(leaf->edges)) {
        const TZevFaceBoxVecT* face = FaceInto(edge, leaf);
        if (face == nullptr)
            continue;
        const float c = cosine(FaceLinkNormal(face));
        if (c > largest)
            largest = c;
    }
    return largest;
}

// The layer-1 box ends and the layer-2 box starts at the vertex inset against `direction`, by the permitted
// distance lengthened by 1 / the largest cosine so that the inset reaches that depth below the steepest face.
void InsetPoint(float permitDistance, TZevFC2RPointLink* link, const TZevVector& p, const TZevVector& direction,
                float largest)
{
    const float s = largest > ShortLength ? 1.0f / largest : 1.0f;
    const TZevVector q = Minus(p, Times(direction, s * permitDistance));
    link->box1->store.currentStore[0] = q;
    link->box2->store.previousStore[0] = q;
}

// The runtime's arc cosine of a dot product of unit vectors; rounding may carry such a product a little past
// +-1, where the arc cosine is not a number, so it is clamped to the range first.
inline float AngleOf(float cosine)
{
    if (cosine > 1.0f)
        cosine = 1.0f;
    else if (cosine < -1.0f)
        cosine = -1.0f;
    return std::acos(cosine);
}

void EstimateRigidPoint(float permitDistance, TZevPointBoxVecT* leaf, TZevFC2RPointLink* link, const TZevVector& p)
{
    TZevXPhObj* body = link->body;
    // The mesh normal of the vertex, turned by the body's world matrix (row vector, 3x3 part), not renormalised.
    TZevVector n;
    const TZevMeshData* mesh = body->GetMesh();
    if (mesh != nullptr && leaf->i >= 0 && leaf->i < mesh->VertexCount && mesh->VertexArray != nullptr) {
        const TZevVertex& vertex = mesh->Vertices()[leaf->i];
        n = TZevVector(vertex.nx, vertex.ny, vertex.nz);
    }
    const float* m = body->worldMatrix.m;
    const TZevVector w(n.x * m[0] + n.y * m[4] + n.z * m[8], n.x * m[1] + n.y * m[5] + n.z * m[9],
                       n.x * m[2] + n.y * m[6] + n.z * m[10]);
    const float largest = LargestAroundPoint(leaf, [&w](const TZevVector& f) { return std::fabs(Dot(w, f)); });
    InsetPoint(permitDistance, link, p, w, largest);
    link->normal = w;
    link->box1->UpdateBox();
    link->box2->UpdateBox();
}

void EstimateDeformablePoint(float permitDistance, TZevPointBoxVecT* leaf, TZevFC2RPointLink* link,
                             const TZevVector& p)
{
    // Angle-weighted mean of the normals of the faces around the vertex.
    TZevVector sum;
    float total = 0.0f;
    for (TZevEdgeBoxVecT* edge : ZevItems<TZevEdgeBoxVecT>(leaf->edges)) {
        const TZevFaceBoxVecT* face = FaceInto(edge, leaf);
        if (face == nullptr)
            continue;
        std::int32_t ia;
        std::int32_t ib;
        if (face->i0 == leaf->i) {
            ia = face->i1;
            ib = face->i2;
        } else if (face->i1 == leaf->i) {
            ia = face->i2;
            ib = face->i0;
        } else {
            ia = face->i0;
            ib = face->i1;
        }
        const TZevVector* now = *face->current;
        TZevVector a = Minus(now[ia], p);
        TZevVector b = Minus(now[ib], p);
        if (NormalizeInPlace(a) == 0 || NormalizeInPlace(b) == 0)
            continue;
        const float theta = AngleOf(Dot(a, b));
        sum = Plus(sum, Times(FaceLinkNormal(face), theta));
        total += theta;
    }
    TZevVector inward;
    if (total > ShortLength) {
        TZevVector unit = sum;
        if (NormalizeInPlace(unit) != 0) {
            link->normal = unit;
            inward = unit;
        } else {
            link->normal = TZevVector(0.0f, 0.0f, 1.0f);
        }
    }
    const TZevVector& normal = link->normal;
    const float largest = LargestAroundPoint(leaf, [&normal](const TZevVector& f) { return Dot(f, normal); });
    InsetPoint(permitDistance, link, p, inward, largest);
}

// The parameter t of the point o + t d of a line nearest to q.
inline float LineParameter(const TZevVector& q, const TZevVector& o, const TZevVector& d)
{
    return Dot(Minus(q, o), d) / Dot(d, d);
}

// Corners of a record's primitive at the current positions.
inline const TZevVector& Corner(const TZevFMCTree_CFaceData& record, int k)
{
    return (*record.currentArray)[record.indices[k]];
}

inline bool HasPositions(const TZevFMCTree_CFaceData* record)
{
    return record != nullptr && record->currentArray != nullptr && *record->currentArray != nullptr;
}

std::int32_t RetestFacePoint(TZevContactLink* link)
{
    TZevFMCTree_CFaceData& face = *link->RecordA;
    const TZevVector& v0 = Corner(face, 0);
    const TZevVector& v1 = Corner(face, 1);
    const TZevVector& v2 = Corner(face, 2);
    const TZevVector e1 = Minus(v1, v0);
    const TZevVector e2 = Minus(v2, v0);
    const TZevVector p = Corner(*link->RecordB, 0);
    const TZevVector n = face.normal;
    const TZevVector rhs = Minus(p, v0);
    float u;
    float v;
    float h;
    if (!ZevSolve3x3(e1.x, e1.y, e1.z, e2.x, e2.y, e2.z, n.x, n.y, n.z, rhs.x, rhs.y, rhs.z, u, v, h))
        return 1;
    // Beyond an edge the point is projected onto that edge's line (no clamping along it).
    if (u < 0.0f) {
        u = 0.0f;
        v = LineParameter(p, v0, e2);
    }
    if (v < 0.0f) {
        v = 0.0f;
        u = LineParameter(p, v0, e1);
    }
    if (u + v > 1.0f) {
        const float w = LineParameter(p, v1, Minus(v2, v1));
        u = 1.0f - w;
        v = w;
    }
    link->DeltaUV[0] = u - link->PrevUV[0];
    link->DeltaUV[1] = v - link->PrevUV[1];
    face.u = u;
    face.v = v;
    link->UV[0] = u;
    link->UV[1] = v;
    const float distance = Dot(Minus(GetFacePoint(*link->RecordB), GetFacePoint(face)), n);
    // A distance that is not a number (a degenerate normal) cannot confirm the contact.
    return distance <= 0.0001f ? 1 : 0;
}

std::int32_t RetestEdgeEdge(TZevContactLink* link)
{
    TZevFMCTree_CFaceData& ra = *link->RecordA;
    TZevFMCTree_CFaceData& rb = *link->RecordB;
    const TZevVector a0 = Corner(ra, 0);
    const TZevVector a = Minus(Corner(ra, 1), a0);
    const TZevVector b0 = Corner(rb, 0);
    const TZevVector b = Minus(Corner(rb, 1), b0);
    const TZevVector minusB(-b.x, -b.y, -b.z);
    const TZevVector c = Cross(a, minusB);
    const TZevVector rhs = Minus(b0, a0);
    float s;
    float t;
    float h;
    if (!ZevSolve3x3(a.x, a.y, a.z, minusB.x, minusB.y, minusB.z, c.x, c.y, c.z, rhs.x, rhs.y, rhs.z, s, t, h))
        return 1;
    if (s > 1.0f) {
        s = 1.0f;
        t = LineParameter(Plus(a0, a), b0, b);
    }
    if (s < 0.0f) {
        s = 0.0f;
        t = LineParameter(a0, b0, b);
    }
    if (t > 1.0f) {
        t = 1.0f;
        s = LineParameter(Plus(b0, b), a0, a);
    }
    if (t < 0.0f) {
        t = 0.0f;
        s = LineParameter(b0, a0, a);
    }
    link->DeltaUV[0] = s - link->PrevUV[0];
    link->DeltaUV[1] = t - link->PrevUV[1];
    ra.u = s;
    rb.u = t;
    link->UV[0] = s;
    link->UV[1] = t;
    if (link->SubContacts[0] == nullptr && link->SubContacts[1] == nullptr)
        return 1;
    const TZevVector pa = Plus(a0, Times(a, s));
    const TZevVector pb = Plus(b0, Times(b, t));
    for (int k = 0; k < 2; ++k) {
        TZevSubContactLink* sub = link->SubContacts[k];
        if (sub == nullptr || sub->FaceArray == nullptr)
            continue;
        const TZevFMCTree_CFaceData& record = k == 0 ? ra : rb;
        const TZevVector& q = k == 0 ? pb : pa;
        const TZevVector* now = *sub->FaceArray;
        const std::uint16_t* corner = sub->FaceCorners;
        const TZevVector& c0 = now[corner[0]];
        const TZevVector f1 = Minus(now[corner[1]], c0);
        const TZevVector f2 = Minus(now[corner[2]], c0);
        const TZevVector r = Minus(q, c0);
        const TZevVector& n = record.normal;
        float fu;
        float fv;
        float fh;
        if (ZevSolve3x3(f1.x, f1.y, f1.z, f2.x, f2.y, f2.z, n.x, n.y, n.z, r.x, r.y, r.z, fu, fv, fh)) {
            sub->U = fu;
            sub->V = fv;
        } else {
            sub->U = 0.0f;
            sub->V = 0.0f;
        }
        sub->PrevT = sub->T;
        sub->T = k == 0 ? rb.u : ra.u;
    }
    return 1;
}

} // namespace

void EstimateFaceNormal(TZevBoxNode* leaf)
{
    TZevFC2RFaceLink* link = ZevFaceColLink(leaf);
    if (link == nullptr)
        return;
    const TZevFaceBoxVecT* face = static_cast<TZevFaceBoxVecT*>(leaf);
    const TZevVector* now = *face->current;
    const TZevVector& v0 = now[face->i0];
    TZevVector n = Cross(Minus(now[face->i1], v0), Minus(now[face->i2], v0));
    if (NormalizeInPlace(n) == 0)
        n = TZevVector(0.0f, 0.0f, 1.0f);
    link->normal = n;
}

void EstimatePointNormal(float permitDistance, TZevBoxNode* leaf)
{
    TZevFC2RPointLink* link = ZevPointColLink(leaf);
    if (link == nullptr || link->body == nullptr)
        return;
    TZevPointBoxVecT* point = static_cast<TZevPointBoxVecT*>(leaf);
    const TZevVector p = (*point->current)[point->i];
    link->box2->store.currentStore[0] = p;
    if (link->body->RigidShape != 0)
        EstimateRigidPoint(permitDistance, point, link, p);
    else
        EstimateDeformablePoint(permitDistance, point, link, p);
}

void EstimateFaceThresholds(float permitDistance, TZevBoxNode* leaf)
{
    TZevFC2RFaceLink* link = ZevFaceColLink(leaf);
    if (link == nullptr)
        return;
    const TZevFaceBoxVecT* face = static_cast<TZevFaceBoxVecT*>(leaf);
    const TZevVector* now = *face->current;
    const TZevVector& v0 = now[face->i0];
    float length = Minus(now[face->i1], v0).Length();
    if (length > ShortLength)
        link->thresholdU = Threshold(permitDistance, length);
    length = Minus(now[face->i2], v0).Length();
    if (length > ShortLength)
        link->thresholdV = Threshold(permitDistance, length);
    for (int k = 0; k < 3; ++k) {
        if (face->points[k] != nullptr)
            CopyCorners(link, k, face->points[k]);
    }
}

void EstimateEdgeLink(float permitDistance, TZevBoxNode* leaf)
{
    TZevFC2REdgeLink* link = ZevEdgeColLink(leaf);
    if (link == nullptr)
        return;
    const TZevEdgeBoxVecT* edge = static_cast<TZevEdgeBoxVecT*>(leaf);
    const TZevVector* now = *edge->current;
    const float length = Minus(now[edge->i1], now[edge->i0]).Length();
    if (length > ShortLength)
        link->threshold = Threshold(permitDistance, length);
    if (edge->point0 != nullptr)
        CopyCorners(link, 0, edge->point0);
    if (edge->point1 != nullptr)
        CopyCorners(link, 1, edge->point1);
    TZevVector sum;
    if (edge->face0 != nullptr)
        sum = Plus(sum, FaceLinkNormal(edge->face0));
    if (edge->face1 != nullptr)
        sum = Plus(sum, FaceLinkNormal(edge->face1));
    if (NormalizeInPlace(sum) == 0)
        sum = TZevVector(0.0f, 1.0f, 0.0f);
    link->normal = sum;
}

void ProcessBodyContacts(float permitDistance, TZevXPhObj* body)
{
    if (body == nullptr)
        return;
    ++body->boxVersion;
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(body->LinkedLeaves)) {
        if (ZevIsNodeType(leaf, ZevTypeFaceBoxVecT))
            EstimateFaceNormal(leaf);
    }
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(body->LinkedLeaves)) {
        if (ZevIsNodeType(leaf, ZevTypePointBoxVecT))
            EstimatePointNormal(permitDistance, leaf);
    }
    for (TZevBoxNode* leaf : ZevItems<TZevBoxNode>(body->LinkedLeaves)) {
        if (ZevIsNodeType(leaf, ZevTypeFaceBoxVecT))
            EstimateFaceThresholds(permitDistance, leaf);
        else if (ZevIsNodeType(leaf, ZevTypeEdgeBoxVecT))
            EstimateEdgeLink(permitDistance, leaf);
    }
}

void ProcessBodyContacts(TZevPhscs2World* world, TZevXPhObj* body)
{
    if (world != nullptr)
        ProcessBodyContacts(world->InterferencePermitDistance, body);
}

std::int32_t RetestContact(TZevContactLink* link)
{
    // A link without both records has no contact to confirm.
    if (link == nullptr || !HasPositions(link->RecordA) || !HasPositions(link->RecordB))
        return 0;
    if (ZevIsNodeType(link->RecordA->node, ZevTypeEdgeBoxVecT))
        return RetestEdgeEdge(link);
    return RetestFacePoint(link);
}
