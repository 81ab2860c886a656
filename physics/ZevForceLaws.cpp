#include "ZevForceLaws.h"

#include "ZevBodyPair.h"
#include "ZevContactEstimate.h"
#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevListView.h"
#include "ZevPhscs2World.h"
#include "ZevRigidLink.h"
#include "ZevSubContactLink.h"
#include "ZevVecInline.h"

#include <cmath>

bool ZevLinkForceLaw(TZevRigidLink* link, float springScale, float damperScale, float deadBand, float invH,
                     TZevVector& force)
{
    link->Penetration = 0.0f;
    link->PenetrationDirection = TZevVector();
    link->DeadBand = deadBand;
    const float ks = link->Spring * springScale;
    const float kd = link->Damper * damperScale;
    const float e = link->Length;
    const float e2 = e <= 0.0f ? e + deadBand : e - deadBand;
    if (std::fabs(e2) > 0.0f && std::fabs(e) > 1e-7f) {
        const TZevVector d = link->Direction;
        link->Penetration = std::fabs(e2);
        link->PenetrationDirection = d;
        force = Times(d, e2 * ks);
        if (kd != 0.0f) {
            const TZevVector s =
                Minus(Minus(link->PointB, link->PointA), Minus(link->PrevPointB, link->PrevPointA));
            force = Plus(force, Times(d, kd * invH * Dot(s, d)));
        }
        return true;
    }
    force = TZevVector();
    return false;
}

bool ZevContactForceLaw(TZevContactLink* link, float springScale, float frictionScale, float damperScale,
                        float invH, float deadBand, bool normalOnly, TZevVector& force)
{
    force = TZevVector();
    // The law may re-test the contact on its face and moves its points: a later re-test of the link must run.
    link->RetestRound = 0;
    if (link->Active == 0 || link->RecordA == nullptr || link->RecordB == nullptr)
        return false;
    link->Penetration = 0.0f;
    link->PenetrationDirection = TZevVector();
    link->DeadBand = deadBand;
    const float b = deadBand;
    TZevVector F;
    TZevVector a = Minus(link->PointB, link->PointA);
    TZevVector n = link->RecordA->normal;
    const float ks = link->Spring * springScale;
    const float kf = link->DynamicFriction * frictionScale;
    const float kd = link->Damper * damperScale;
    const float kh = link->HorizontalDamper * damperScale;
    // Motion over the step on the faces.
    const TZevVector dA = Minus(link->PointA, GetFacePointPrev(*link->RecordA));
    const TZevVector dB = Minus(link->PointB, GetFacePointPrev(*link->RecordB));
    const TZevVector m = Minus(dB, dA);
    TZevVector t;
    TZevVector ti[2];
    TZevVector ni[2];
    const bool subs = link->HasSubContacts();
    if (!subs) {
        if (!(link->Depth < 0.0f))
            return false;
        t = UnitOrZero(Across(m, n));
    } else {
        for (int i = 0; i < 2; ++i) {
            const TZevPhscs2Link* sub = link->SubContacts[i];
            if (sub == nullptr)
                continue;
            if (!(ZevSubContactDepth(sub) < 0.0f))
                return false;
            ni[i] = i == 0 ? link->RecordA->normal : link->RecordB->normal;
            ti[i] = UnitOrZero(Across(m, ni[i]));
            n = ni[i];
        }
    }
    const TZevVector s = Minus(Minus(link->PointB, link->PrevPointB), Minus(link->PointA, link->PrevPointA));
    // Choice of path: a sliding point is re-tested on its face first.
    EZevContactPath path = EZevContactPath::Stored;
    if (link->RetestNeeded != 0) {
        if (RetestContact(link) == 0)
            return false;
        const float du0 = link->DeltaUV[0] - link->PrevDeltaUV[0];
        const float du1 = link->DeltaUV[1] - link->PrevDeltaUV[1];
        const float dot = link->DeltaUV[0] * link->PrevDeltaUV[0] + link->DeltaUV[1] * link->PrevDeltaUV[1];
        if (dot < 0.0f || du0 * du0 + du1 * du1 < 4e-14f) {
            link->Initialised = 0;
            link->RetestNeeded = 0;
            path = EZevContactPath::Stored;
        } else {
            link->Update();
            a = Minus(link->PointB, link->PointA);
            path = (subs && ZevIsNodeType(link->RecordA->node, ZevTypeEdgeBoxVecT)) ? EZevContactPath::SubContacts
                                                                                     : EZevContactPath::Retested;
        }
    }
    if (link->Keep == 0)
        return false;
    if (path == EZevContactPath::Stored) {
        link->LawState = 1;
        const float vn = Dot(s, n);
        const float p = std::fabs(Dot(a, n));
        const float e = p - b;
        if (e > 0.0f && p > 1e-7f) {
            F = TZevVector(a.x / p * e * ks, a.y / p * e * ks, a.z / p * e * ks);
            if (vn < 0.0f)
                F = Plus(F, Times(n, vn * invH * kd));
            F = Plus(F, Times(Minus(s, Times(n, vn)), kh * invH));
            link->Penetration += e;
            link->PenetrationDirection = n;
        }
    } else if (path == EZevContactPath::Retested) {
        link->LawState = 0;
        const TZevVector v = Times(n, Dot(n, a));
        const float p = Length(v);
        const float e = p - b;
        if (e > 0.0f && p > 1e-7f) {
            F = TZevVector(v.x / p * e * ks, v.y / p * e * ks, v.z / p * e * ks);
            link->Penetration += e;
            link->PenetrationDirection = n;
            const float vn = Dot(s, n);
            if (vn < 0.0f)
                F = Plus(F, Times(n, vn * invH * kd));
            F = Plus(F, Times(t, -Dot(n, F) * kf));
        }
    } else {
        float w = 2.0f;
        for (int i = 0; i < 2; ++i) {
            const TZevPhscs2Link* sub = link->SubContacts[i];
            if (sub == nullptr)
                continue;
            const float g = i == 0 ? 1.0f : -1.0f;
            const TZevVector ai = Minus(sub->PointB, sub->PointA);
            const float q = Dot(ai, ni[i]);
            if (q >= 0.0f) {
                force = F;
                return false;
            }
            const float p = -q;
            const float e = p - b;
            link->LawState = 0;
            if (e > 0.0f && p > 1e-7f) {
                F = Plus(F, Times(ti[i], e * kf * ks));
                link->Penetration += e;
                link->PenetrationDirection = Plus(link->PenetrationDirection, Times(ni[i], -g));
                F = Plus(F, Times(Neg(ni[i]), e * ks * g));
                const float vn = Dot(s, ni[i]);
                if (vn < 0.0f)
                    F = Plus(F, Times(Times(ni[i], vn * invH * kd), g));
                w = w * 0.5f;
                if (normalOnly)
                    F = Times(ni[i], Dot(ni[i], F));
            }
        }
        F = Times(F, w);
        link->Penetration = link->Penetration * w;
        NormalizeInPlace(link->PenetrationDirection);
        force = F;
        return true;
    }
    if (normalOnly)
        F = Times(n, Dot(n, F));
    force = F;
    return true;
}

void ZevForcePass(TZevPhscs2World* world, float h)
{
    const float invH = 1.0f / h;
    // Every share count used this step starts again from 0, those of pairs held only by contacts included;
    // a count left running would make resting contacts weaker the longer a scene runs.
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    }
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        if (link->Pair != nullptr)
            link->Pair->ShareCount = 0.0f;
    }
    if (world->PairForceSharing != 0) {
        for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
            if (link->Active != 0 && link->Pair != nullptr)
                link->Pair->AddShare(1.0f);
        }
        for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
            if (link->Active != 0 && link->Pair != nullptr)
                link->Pair->AddShare(1.0f);
        }
    }
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        TZevVector F;
        if (ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, invH, 0.0f, false, F)) {
            link->Force = F;
            link->Keep = 0;
            link->Active = 1;
        } else {
            link->Active = 0;
            link->RetestNeeded = 1;
        }
    }
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
        link->Force = TZevVector();
        float scale = 1.0f;
        if (world->PairForceSharing != 0 && link->Pair != nullptr && link->Pair->GetShareCount() > 0.0f)
            scale = 1.0f / link->Pair->GetShareCount();
        if (link->Active != 0) {
            TZevVector F;
            ZevLinkForceLaw(link, scale, 1.0f, 0.0f, invH, F);
            link->Force = F;
        }
    }
}

namespace {

// The torque couple of one axis through two links: the forces (r x r2) torque / (2 |r|) act at the links' points on
// both objects, r the half span of the pair, r2 a vector along the axis.
void ApplyCouple(TZevPhscs2Obj* A, TZevPhscs2Obj* B, const TZevRigidLink* p, const TZevRigidLink* q,
                 const TZevVector& r2, float torque, float h)
{
    const TZevVector r = Times(Minus(p->PointA, q->PointA), 0.5f);
    const float lr = Length(r);
    if (!(lr > 1e-10f))
        return;
    const TZevVector f = Times(Cross(r, r2), torque / 2.0f / lr);
    A->AddForceAt(f, p->PointA, h);
    A->AddForceAt(Neg(f), q->PointA, h);
    B->AddForceAt(Neg(f), p->PointB, h);
    B->AddForceAt(f, q->PointB, h);
}

} // namespace

void ZevForceHandOver(TZevPhscs2World* world, float h)
{
    for (TZevContactLink* link : ZevItems<TZevContactLink>(*world->ContactLinks)) {
        TZevPhscs2Obj* a = link->PartA();
        TZevPhscs2Obj* b = link->PartB();
        if (a != nullptr)
            a->AddForceAt(link->Force, link->PointA, h);
        if (b != nullptr)
            b->AddForceAt(Neg(link->Force), link->PointB, h);
    }
    for (TZevJoint* joint : ZevItems<TZevJoint>(*world->Joints)) {
        TZevPhscs2Obj* A = joint->ObjectA();
        TZevPhscs2Obj* B = joint->ObjectB();
        TZevRigidLink* const* L = joint->Links;
        if (A == nullptr || B == nullptr || L[0] == nullptr || L[1] == nullptr || L[2] == nullptr ||
            L[3] == nullptr)
            continue;
        // Axis 1 turns about the axis pair's span, which follows the second angle.
        const TZevVector axisSpan = Times(Minus(L[0]->PointA, L[1]->PointA), 0.5f);
        ApplyCouple(A, B, L[2], L[3], axisSpan, joint->NetTorque, h);
        if (joint->AxisCount == 2) {
            // Axis 2 turns about the reference direction fixed in A, with the reference pair's span as length.
            // The reference pair itself turns with the first angle: as the lever of the second couple it would
            // turn the second torque about the first axis (a spinning wheel would steer back and forth and tilt).
            TZevVector ref;
            A->LocalToWorldDir(joint->RefA, ref);
            const float span = Length(Times(Minus(L[2]->PointA, L[3]->PointA), 0.5f));
            if (NormalizeInPlace(ref) != 0)
                ApplyCouple(A, B, L[0], L[1], Times(ref, span), joint->NetTorque2, h);
        }
    }
    for (TZevRigidLink* link : ZevItems<TZevRigidLink>(*world->RigidLinks)) {
        if (link->Active == 0)
            continue;
        if (link->ObjectA != nullptr)
            link->ObjectA->AddForceAt(link->Force, link->PointA, h);
        if (link->ObjectB != nullptr)
            link->ObjectB->AddForceAt(Neg(link->Force), link->PointB, h);
    }
}
