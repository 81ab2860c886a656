// Contact response: force laws, pair sharing, the share counts of the satisfy and force passes, the joint pass's
// angle and its braked friction, and the bounds of the satisfy pass.
#include "ZevContactPass.h"
#include "ZevForceLaws.h"
#include "ZevJointPass.h"
#include "ZevSatisfyPass.h"

#include "ZevBodyPair.h"
#include "ZevContactLink.h"
#include "ZevJoint.h"
#include "ZevRigidLink.h"
#include "test_world_bodies.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace physics_test;

class Response : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevPhysicsInit();
        world = std::make_unique<TZevPhscs2World>();
        a.SetMatrix(Translation(0, 0, 0));
        b.SetMatrix(Translation(0, -2, 0));
    }
    void TearDown() override
    {
        world.reset();
        a.ReleaseLinks();
        b.ReleaseLinks();
    }
    TZevRigidLink* Link(const TZevVector& attachB)
    {
        TZevRigidLink* link = CreateRigidLink(&a, &b, TZevVector(0, 0, 0), attachB);
        world->RigidLinks->Append(link);
        link->Pair = RegisterPair(&world->pairs, &a, &b, nullptr, 1.0f);
        return link;
    }

    std::unique_ptr<TZevPhscs2World> world;
    TZevPhscs2RigidBody a;
    TZevPhscs2RigidBody b;
};

TEST_F(Response, LinkForceLawPullsByTheErrorOutsideTheDeadBand)
{
    TZevRigidLink* link = Link(TZevVector(0, 2.5f, 0)); // B's end half a unit above A's
    link->UpdateLength();
    EXPECT_FLOAT_EQ(link->Length, 0.5f);
    EXPECT_FLOAT_EQ(link->Direction.y, 1.0f);
    TZevVector F;
    ASSERT_TRUE(ZevLinkForceLaw(link, 1.0f, 0.0f, 0.1f, 50.0f, F));
    EXPECT_FLOAT_EQ(F.y, 0.4f * 40.0f);
    EXPECT_FLOAT_EQ(link->Penetration, 0.4f);
    // Inside the dead band: no force, no pull.
    EXPECT_FALSE(ZevLinkForceLaw(link, 1.0f, 0.0f, 0.5f, 50.0f, F));
    EXPECT_EQ(F.y, 0.0f);
    // The damper acts on the change of the separation since the previous step.
    link->PrevPointB = TZevVector(link->PointB.x, link->PointB.y - 0.01f, link->PointB.z);
    ASSERT_TRUE(ZevLinkForceLaw(link, 1.0f, 1.0f, 0.0f, 50.0f, F));
    EXPECT_NEAR(F.y, 0.5f * 40.0f + 0.025f * 50.0f * 0.01f, 1e-4f);
}

TEST_F(Response, TwoLinksOfOnePairShareTheSpringButNotTheDamper)
{
    TZevRigidLink* l1 = Link(TZevVector(0, 2.5f, 0));
    TZevRigidLink* l2 = Link(TZevVector(0, 2.5f, 0));
    ASSERT_EQ(l1->Pair, l2->Pair);
    for (TZevRigidLink* l : {l1, l2}) {
        l->UpdateLength();
        l->PrevPointB = TZevVector(l->PointB.x, l->PointB.y - 0.01f, l->PointB.z);
    }
    ZevForcePass(world.get(), 0.02f);
    EXPECT_FLOAT_EQ(l1->Pair->GetShareCount(), 2.0f);
    const float expected = 0.5f * 40.0f * 0.5f + 0.025f * 50.0f * 0.01f;
    EXPECT_NEAR(l1->Force.y, expected, 1e-4f);
    EXPECT_NEAR(l2->Force.y, expected, 1e-4f);
    // Without sharing each link pulls in full.
    world->PairForceSharing = 0;
    ZevForcePass(world.get(), 0.02f);
    EXPECT_NEAR(l1->Force.y, 0.5f * 40.0f + 0.025f * 50.0f * 0.01f, 1e-4f);
}

// A pair held only by a contact link had its share count never reset: every step added to it, and the mode-2
// corrections, which divide by it, faded the longer a scene ran.
TEST_F(Response, EveryShareCountStartsAgainEachForcePass)
{
    TZevContactLink* contact = NewContactLink();
    contact->Active = 1;
    contact->Pair = RegisterPair(&world->pairs, &a, &b, nullptr, 1.0f);
    world->ContactLinks->Append(contact);
    contact->Pair->ShareCount = 7.0f;
    for (int i = 0; i < 3; ++i) {
        contact->Active = 1;
        ZevForcePass(world.get(), 0.02f);
        EXPECT_FLOAT_EQ(contact->Pair->GetShareCount(), 1.0f);
    }
    contact->Active = 0;
    ZevForcePass(world.get(), 0.02f);
    EXPECT_FLOAT_EQ(contact->Pair->GetShareCount(), 0.0f);
}

// The pair-shared correction divides by the number of items of its pair corrected in the same iteration. The
// share count restarts for every iteration: left running (from the force pass and the iterations before), each
// correction would shrink as a step goes on, and a box resting on the floor sinks through it.
TEST_F(Response, SharedCorrectionsDivideByTheItemsOfTheirIterationOnly)
{
    TZevRigidLink* l1 = Link(TZevVector(0, 3.0f, 0));
    TZevRigidLink* l2 = Link(TZevVector(0, 3.0f, 0));
    ASSERT_EQ(l1->Pair, l2->Pair);
    l1->UpdateLength();
    l2->UpdateLength();
    TZevVector F;
    ASSERT_TRUE(ZevLinkForceLaw(l1, 1.0f, 0.0f, l1->Tolerance * 0.5f, 50.0f, F));
    ASSERT_GT(F.y, 0.0f);
    l1->Pair->ShareCount = 100.0f; // what earlier iterations and the last force pass would have left
    world->LinkSatisfyBudget = 1;
    world->CollisionSatisfyRepeatMax = 1;
    ZevSatisfyPass(world.get(), 0.02f, 0);
    // Two items share the pair: each applies 10 / 2 times its force.
    const float scale = world->CollisionSatisfyCoefficientScale / 2.0f;
    EXPECT_FLOAT_EQ(l1->CorrectionSum.y, F.y * scale);
    EXPECT_FLOAT_EQ(l2->CorrectionSum.y, F.y * scale);
    EXPECT_FLOAT_EQ(a.StepForce.y, 2.0f * F.y * scale);
    EXPECT_FLOAT_EQ(l1->Pair->GetShareCount(), 2.0f);
}

TEST_F(Response, SatisfyPassIsBoundedByItsMaximum)
{
    TZevRigidLink* link = Link(TZevVector(0, 3.0f, 0));
    link->UpdateLength();
    ASSERT_GT(std::fabs(link->Length), link->Tolerance);
    world->LinkSatisfyBudget = 1;
    for (int max : {-3, 0, 2}) {
        world->SatisfyRepeatCount = 0;
        world->CollisionSatisfyRepeatMax = max;
        ZevSatisfyPass(world.get(), 0.02f, 0);
        EXPECT_EQ(world->SatisfyRepeatCount, max > 0 ? max : 0);
        EXPECT_EQ(link->SatisfyListed, 0);
    }
    // Not while the retry index has passed the link maximum.
    world->SatisfyRepeatCount = 0;
    world->CollisionSatisfyRepeatMax = 5;
    ZevSatisfyPass(world.get(), 0.02f, world->LinkSatisfyRepeatMax);
    EXPECT_EQ(world->SatisfyRepeatCount, 0);
    EXPECT_FALSE(ZevContactsSatisfied(world.get(), 0));
    EXPECT_TRUE(ZevContactsSatisfied(world.get(), world->LinkSatisfyRepeatMax));
}

TEST_F(Response, TooDeepMeansBelowHalfThePermittedDistance)
{
    TZevContactLink* contact = NewContactLink();
    world->ContactLinks->Append(contact);
    world->InterferencePermitDistance = 0.1f;
    struct Case {
        std::int32_t active;
        float depth;
        bool deep;
    };
    for (const Case& c : {Case{1, -0.06f, true}, Case{1, -0.04f, false}, Case{0, -1.0f, false}, Case{1, 0.0f, false}}) {
        contact->Active = c.active;
        contact->Depth = c.depth;
        EXPECT_EQ(ZevContactTooDeep(world.get(), contact), c.deep) << c.active << " " << c.depth;
        EXPECT_EQ(ZevContactsSatisfied(world.get(), 0), !c.deep);
    }
}

TEST_F(Response, JointAngleCrossingPiGivesASmallChange)
{
    b.SetMatrix(Translation(0, 0, 0));
    TZevJoint* joint = CreateJoint(&a, &b, TZevVector(0, 0, 0), TZevVector(0, 0, 1), TZevVector(1, 0, 0), 1.0f);
    ASSERT_NE(joint, nullptr);
    world->Joints->Append(joint);
    joint->LimitFlag = 1;
    joint->Brake = 0.0f;
    joint->State = 1;
    const float before = 3.1315928f; // pi - 0.01
    joint->Theta = before;
    joint->PrevTheta = before;
    // B's reference direction now at -pi + 0.01.
    const float angle = -3.1315928f;
    const TZevVector ref(std::cos(angle), std::sin(angle), 0.0f);
    joint->Links[2]->PrevPointB = ref;
    joint->Links[3]->PrevPointB = TZevVector(-ref.x, -ref.y, -ref.z);
    ZevJointPass(world.get(), 0.02f);
    EXPECT_NEAR(joint->Theta, angle, 1e-4f);
    EXPECT_NEAR(joint->DTheta, 0.02f / 0.02f, 0.01f);
    // Moving: the reference pair does not hold the axis.
    EXPECT_EQ(joint->Links[2]->Active, 0);
    EXPECT_EQ(joint->Links[3]->Active, 0);
    // The A ends of the reference pair follow the angle.
    EXPECT_NEAR(joint->Links[2]->AttachA.x, ref.x, 1e-4f);
    EXPECT_NEAR(joint->Links[2]->AttachA.y, ref.y, 1e-4f);
}

TEST_F(Response, BrakedJointStopsWhenItsRateReverses)
{
    b.SetMatrix(Translation(0, 0, 0));
    TZevJoint* joint = CreateJoint(&a, &b, TZevVector(0, 0, 0), TZevVector(0, 0, 1), TZevVector(1, 0, 0), 1.0f);
    ASSERT_NE(joint, nullptr);
    world->Joints->Append(joint);
    joint->Brake = 0.5f;
    joint->StaticFrictionCoeff = 0.0f; // starts moving at any torque
    joint->Torque = 1.0f;
    joint->State = 1;
    joint->PrevDTheta = 1.0f; // was turning forwards
    joint->PrevTheta = 0.1f;
    const TZevVector ref(1.0f, 0.0f, 0.0f); // now back at 0: the rate reverses
    joint->Links[2]->PrevPointB = ref;
    joint->Links[3]->PrevPointB = TZevVector(-1.0f, 0.0f, 0.0f);
    ZevJointPass(world.get(), 0.02f);
    EXPECT_LT(joint->DTheta, 0.0f);
    EXPECT_EQ(joint->State, 0);
    EXPECT_EQ(joint->Links[2]->Active, 1);
    EXPECT_EQ(joint->Links[3]->Active, 1);
    // Brake 0: never held by static friction, no dynamic friction.
    joint->Brake = 0.0f;
    joint->StaticFrictionCoeff = 1.0f;
    joint->Torque = 0.0f;
    joint->RotationalDamper = 0.0f;
    joint->State = 0;
    ZevJointPass(world.get(), 0.02f);
    EXPECT_EQ(joint->State, 0); // |test torque| 0 is not above 0
    joint->Torque = 1e-6f;
    ZevJointPass(world.get(), 0.02f);
    EXPECT_EQ(joint->State, 1);
    EXPECT_EQ(joint->NetTorque, 1e-6f);
}

// A moving braked axis feels dynamic friction (coefficient x brake) against the rate it had: negative while it
// turned forwards, positive while it turned backwards or stood.
TEST_F(Response, BrakedJointDynamicFrictionOpposesItsRate)
{
    b.SetMatrix(Translation(0, 0, 0));
    TZevJoint* joint = CreateJoint(&a, &b, TZevVector(0, 0, 0), TZevVector(0, 0, 1), TZevVector(1, 0, 0), 1.0f);
    ASSERT_NE(joint, nullptr);
    world->Joints->Append(joint);
    struct Case {
        float prevRate, torque, netTorque;
    };
    const Case cases[] = {
        {1.0f, 0.0f, -0.2f},
        {-1.0f, 0.0f, 0.2f},
        {0.0f, 0.0f, 0.2f},
        {1.0f, 0.5f, 0.3f},
        {-1.0f, -0.5f, -0.3f},
    };
    for (const Case& c : cases) {
        joint->Brake = 0.5f;
        joint->StaticFrictionCoeff = 0.0f;
        joint->DynamicFrictionCoeff = 0.4f;
        joint->RotationalDamper = 0.0f;
        joint->Torque = c.torque;
        joint->State = 1;
        joint->PrevDTheta = c.prevRate;
        joint->PrevTheta = 0.0f;
        // B's reference has turned on by the previous rate over the step, so the axis keeps moving.
        const float angle = c.prevRate * 0.02f;
        const TZevVector ref(std::cos(angle), std::sin(angle), 0.0f);
        joint->Links[2]->PrevPointB = ref;
        joint->Links[3]->PrevPointB = TZevVector(-ref.x, -ref.y, -ref.z);
        ZevJointPass(world.get(), 0.02f);
        EXPECT_EQ(joint->State, 1) << c.prevRate;
        EXPECT_NEAR(joint->NetTorque, c.netTorque, 1e-6f) << c.prevRate << " " << c.torque;
    }
}

} // namespace

namespace {

// A contact link by hand: a face on y = 0 (normal up) in one array, a point in another, both arrays at rest.
class ContactLaw : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevPhysicsInit();
        face[0] = TZevVector(-1, 0, -1);
        face[1] = TZevVector(0, 0, 1);
        face[2] = TZevVector(1, 0, -1);
        faceCurrent = faceArray = face;
        pointCurrent = pointArray = point;
        link = NewContactLink();
        link->RecordA = NewContactRecord();
        link->RecordB = NewContactRecord();
        Record(link->RecordA, &faceCurrent, TZevVector(0, 1, 0), 0, 1, 2);
        Record(link->RecordB, &pointCurrent, TZevVector(0, -1, 0), 0, 0, 0);
        link->Spring = 15.0f;
        link->Damper = 0.15f;
        link->StaticFriction = 0.7f;
        link->DynamicFriction = 0.5f;
        link->Active = 1;
        link->Keep = 1;
        link->RetestNeeded = 0;
    }
    void TearDown() override { link->Release(); }
    void Record(TZevFMCTree_CFaceData* r, TZevVector** array, const TZevVector& normal, int i0, int i1, int i2)
    {
        r->currentArray = array;
        r->previousArray = array;
        r->normal = normal;
        r->u = r->v = 0.0f;
        r->indices[0] = i0;
        r->indices[1] = i1;
        r->indices[2] = i2;
    }
    // Point B where the contact point stands now; A on the face at the origin; both unmoved since the last step.
    void Place(const TZevVector& b)
    {
        point[0] = b;
        link->PointA = link->PrevPointA = TZevVector(0, 0, 0);
        link->PointB = link->PrevPointB = b;
        link->Depth = b.y;
    }

    TZevVector face[3];
    TZevVector point[1];
    TZevVector* faceArray;
    TZevVector* faceCurrent;
    TZevVector* pointArray;
    TZevVector* pointCurrent;
    TZevContactLink* link = nullptr;
};

TEST_F(ContactLaw, StoredPathPullsAlongTheWholeSeparation)
{
    Place(TZevVector(0.1f, -0.02f, 0.0f));
    TZevVector F;
    ASSERT_TRUE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, false, F));
    EXPECT_EQ(link->LawState, 1);
    // Along a = (0.1, -0.02, 0), scaled by its normal part: the anchored point pulls the bodies back across.
    EXPECT_NEAR(F.x, 1.5f, 1e-5f);
    EXPECT_NEAR(F.y, -0.3f, 1e-5f);
    EXPECT_NEAR(link->Penetration, 0.02f, 1e-6f);
    // Normal only.
    ASSERT_TRUE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, true, F));
    EXPECT_NEAR(F.x, 0.0f, 1e-6f);
    EXPECT_NEAR(F.y, -0.3f, 1e-5f);
    // Within the dead band: no force, but the contact holds.
    ASSERT_TRUE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.05f, false, F));
    EXPECT_EQ(F.x, 0.0f);
    EXPECT_EQ(F.y, 0.0f);
    // Not holding: inactive, not overlapping, or neither kept nor re-tested.
    link->Keep = 0;
    EXPECT_FALSE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, false, F));
    link->Keep = 1;
    link->Depth = 0.0f;
    EXPECT_FALSE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, false, F));
    link->Depth = -0.02f;
    link->Active = 0;
    EXPECT_FALSE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, false, F));
}

TEST_F(ContactLaw, ApproachIsDampedAlongTheNormal)
{
    Place(TZevVector(0.0f, -0.02f, 0.0f));
    link->PrevPointB = TZevVector(0.0f, -0.01f, 0.0f); // moved 0.01 into the face this step
    TZevVector F;
    ASSERT_TRUE(ZevContactForceLaw(link, 1.0f, 1.0f, 1.0f, 50.0f, 0.0f, false, F));
    EXPECT_NEAR(F.y, -0.3f + -0.01f * 50.0f * 0.15f, 1e-5f);
}

TEST_F(ContactLaw, StickTestAnchorsOrLetsSlide)
{
    // Straight below the anchor: no tangential offset, the point sticks.
    Place(TZevVector(0.0f, -0.02f, 0.0f));
    link->RetestNeeded = 1;
    EXPECT_TRUE(ZevStickTest(link, 1.0f, 1.0f));
    EXPECT_EQ(link->RetestNeeded, 0);
    // A small drift against a large normal load: still anchored.
    Place(TZevVector(0.01f, -0.02f, 0.0f));
    link->PrevForce = TZevVector(0.0f, -5.0f, 0.0f);
    EXPECT_TRUE(ZevStickTest(link, 1.0f, 1.0f));
    EXPECT_EQ(link->RetestNeeded, 0);
    // A drift whose spring exceeds static friction times the normal estimate: it slides.
    Place(TZevVector(1.0f, -0.02f, 0.0f));
    EXPECT_TRUE(ZevStickTest(link, 1.0f, 1.0f));
    EXPECT_EQ(link->RetestNeeded, 1);
    // No contact: no.
    link->Depth = 0.0f;
    EXPECT_FALSE(ZevStickTest(link, 1.0f, 1.0f));
}

} // namespace
