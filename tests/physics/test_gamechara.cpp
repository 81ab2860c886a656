// Game characters: the callback walk after every step (items newest first, then the script function), bodies
// deleted by their own or another body's callback, items replaced while they run, attachments, gravity, and a
// body destroyed while it rests on contacts, air resistance.
#include "ZevBodyUtil.h"
#include "ZevGameChara.h"

#include "LispLSObj.h"
#include "ZevLisp.h"
#include "ZevPhscs2World.h"
#include "ZevCharaInit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class TestScriptBody : public TZevScriptBody {
public:
    static int alive;
    TestScriptBody() { ++alive; }
    ~TestScriptBody() override { --alive; }
};
int TestScriptBody::alive = 0;

TZevScriptBody* MakeTestScriptBody(TZevGameChara*)
{
    return new TestScriptBody;
}

std::vector<std::string> Calls;

// The log line of a callback: its user word is its label.
void Record(TZevGameChara*, void* user)
{
    Calls.push_back(static_cast<const char*>(user));
}

class GameChara : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCharaInit();
        LispInitialize();
        Calls.clear();
        world = new TZevPhscs2World;
        ZevSetPhOnlyParameters(world);
    }
    void TearDown() override
    {
        delete world;
        ZevScriptBodyFactory = nullptr;
        if (LispHost == host)
            LispHost = nullptr;
        delete host;
    }
    TZevGameChara* Box(float x, float y, float z)
    {
        return ZevAsGameChara(CreateBoxXPhBody(nullptr, ZevMatTranslation(x, y, z), nullptr, world,
                                               TZevVector(-0.5f, -0.5f, -0.5f), TZevVector(0.5f, 0.5f, 0.5f), 1.0f));
    }
    static void Add(TZevGameChara* body, const char* name, TZevGameCharaCFunc f, const char* label)
    {
        body->AddCFuncItem(ZevNewCFuncItem(name, f, const_cast<char*>(label)));
    }
    // A script host with `calls` counting the script function's calls; returns the function value.
    TZevLispRef ScriptCounter()
    {
        host = new TZevLispTextInterpreter;
        host->Init();
        LispHost = host;
        host->SendCommand("(setq calls 0) (setq fn '(lambda (b) (setq calls (+ calls 1))))");
        return Global("fn");
    }
    static TZevLispRef Global(const char* name)
    {
        TZevLispRef atom;
        LispIntern(atom, name);
        TZevLispRef value;
        LispAtom(atom)->GetValue(value);
        return value;
    }
    static int Calls_()
    {
        TZevLispRef v = Global("calls");
        return static_cast<TZevLispInteger*>(v.Get())->Value;
    }

    TZevPhscs2World* world = nullptr;
    TZevLispTextInterpreter* host = nullptr;
};

TEST_F(GameChara, CallbacksRunAfterEveryStepNewestFirstThenTheScriptFunction)
{
    TZevGameChara* body = Box(0, 0, 0);
    body->SetFixed(1);
    Add(body, "one", Record, "one");
    Add(body, "two", Record, "two");
    ZevScriptBodyFactory = MakeTestScriptBody;
    body->ScriptFunction = ScriptCounter();
    body->ScriptFunctionSet = 1;
    // The items see the count of the script calls before theirs: the script function runs last.
    Add(body, "count", [](TZevGameChara*, void*) { Calls.push_back("calls=" + std::to_string(Calls_())); }, "");
    for (int i = 0; i < 3; ++i)
        world->Step(0.02f);
    const std::vector<std::string> expected = {"calls=0", "two", "one", "calls=1", "two",
                                               "one",     "calls=2", "two", "one"};
    EXPECT_EQ(Calls, expected);
    EXPECT_EQ(Calls_(), 3);
    // The wrapper was made once and stands for this body.
    ASSERT_TRUE(LispIsLSObj(body->ScriptWrapper));
    auto* script = dynamic_cast<TestScriptBody*>(LispLSObj(body->ScriptWrapper)->Object);
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->Body, body);
    TZevLispRef keep = body->ScriptWrapper;
    world->DeleteBody(body);
    EXPECT_EQ(script->Body, nullptr); // the script side no longer names the body
}

TEST_F(GameChara, WithoutScriptFunctionSetNoWrapperIsMade)
{
    TZevGameChara* body = Box(0, 0, 0);
    ZevScriptBodyFactory = MakeTestScriptBody;
    body->ScriptFunction = ScriptCounter();
    body->ScriptFunctionSet = 0;
    world->Step(0.02f);
    EXPECT_TRUE(body->ScriptWrapper.IsNull());
    EXPECT_EQ(Calls_(), 0);
    EXPECT_EQ(TestScriptBody::alive, 0);
}

TEST_F(GameChara, CallbackDeletingItsOwnBodyEndsTheWalk)
{
    struct Case {
        const char* name;
        void (*kill)(TZevGameChara*, void*);
    };
    const Case cases[] = {
        {"deleted at once", [](TZevGameChara* b, void*) { Calls.push_back("kill"); delete b; }},
        {"deleted through the world",
         [](TZevGameChara* b, void*) { Calls.push_back("kill"); ZevBodyWorld(b)->DeleteBody(b); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Calls.clear();
        TZevGameChara* doomed = Box(0, 5, 0);
        TZevGameChara* other = Box(5, 5, 0);
        Add(doomed, "older", Record, "older");
        Add(doomed, "kill", c.kill, nullptr);
        Add(other, "other", Record, "other");
        ZevScriptBodyFactory = MakeTestScriptBody;
        if (host == nullptr)
            doomed->ScriptFunction = ScriptCounter();
        else
            doomed->ScriptFunction = Global("fn");
        doomed->ScriptFunctionSet = 1;
        host->SendCommand("(setq calls 0)");
        world->Step(0.02f);
        world->Step(0.02f);
        // No older item and no script function ran for the deleted body; the other body went on.
        EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "kill"), 1);
        EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "older"), 0);
        EXPECT_EQ(std::count(Calls.begin(), Calls.end(), "other"), 2);
        EXPECT_EQ(Calls_(), 0);
        world->DeleteBody(other);
    }
}

TEST_F(GameChara, CallbackDeletingAnotherBodyIsSafe)
{
    TZevGameChara* a = Box(0, 5, 0);
    TZevGameChara* b = Box(5, 5, 0);
    static TZevGameChara* victim = nullptr;
    victim = b;
    // Whichever comes first in the walk, the other is deleted before or after its turn.
    Add(a, "killer", [](TZevGameChara* self, void*) {
        if (victim != nullptr) {
            ZevBodyWorld(self)->DeleteBody(victim);
            victim = nullptr;
        }
    }, nullptr);
    Add(b, "b", Record, "b");
    world->Step(0.02f);
    world->Step(0.02f);
    EXPECT_LE(std::count(Calls.begin(), Calls.end(), "b"), 1);
    EXPECT_EQ(ZevBodyWorld(a), world);
}

TEST_F(GameChara, ReplacingTheRunningItemDoesNotDestroyItUnderItself)
{
    TZevGameChara* body = Box(0, 5, 0);
    static int runs = 0;
    runs = 0;
    Add(body, "self", [](TZevGameChara* b, void*) {
        ++runs;
        // The running item is replaced by one of the same name; it must survive until it returns.
        b->AddCFuncItem(ZevNewCFuncItem("self", Record, const_cast<char*>("replacement")));
        Calls.push_back("after add");
    }, nullptr);
    world->Step(0.02f);
    world->Step(0.02f);
    EXPECT_EQ(runs, 1);
    const std::vector<std::string> expected = {"after add", "replacement"};
    EXPECT_EQ(Calls, expected);
    EXPECT_EQ(body->CFuncItems.GetCount(), 1);
}

TEST_F(GameChara, SecondItemOfTheSameNameReplacesTheFirstAtTheFront)
{
    TZevGameChara* body = Box(0, 5, 0);
    void* backRef = &backRef;
    TZevGameCharaCFuncListItem* first = ZevNewCFuncItem("a", Record, const_cast<char*>("a1"));
    first->BackRef = &backRef;
    body->AddCFuncItem(first);
    Add(body, "b", Record, "b");
    Add(body, "a", Record, "a2");
    EXPECT_EQ(backRef, nullptr); // the first item went and cleared its holder
    ASSERT_EQ(body->CFuncItems.GetCount(), 2);
    auto* front = static_cast<TZevGameCharaCFuncListItem*>(body->CFuncItems.First()->data);
    EXPECT_STREQ(static_cast<const char*>(front->UserData), "a2");
}

TEST_F(GameChara, GravityMovesADynamicBodyOnly)
{
    TZevGameChara* falling = Box(0, 10, 0);
    TZevGameChara* floating = Box(5, 10, 0);
    floating->GravityOn = 0;
    TZevGameChara* fixed = Box(10, 10, 0);
    fixed->SetFixed(1);
    for (int i = 0; i < 50; ++i)
        world->Step(0.02f);
    EXPECT_LT(falling->RigidPart->GetPosition().y, 6.0f);
    EXPECT_FLOAT_EQ(floating->RigidPart->GetPosition().y, 10.0f);
    EXPECT_FLOAT_EQ(fixed->RigidPart->GetPosition().y, 10.0f);
    EXPECT_FLOAT_EQ(falling->GetMatrix().m[13], falling->RigidPart->GetPosition().y);
}

// Air resistance: a linear part and a quadratic part, each against the part's linear and its angular velocity.
TEST_F(GameChara, AirResistanceHasALinearAndAQuadraticPart)
{
    struct Case {
        float linear, quadratic;
        TZevVector v;
    };
    const Case cases[] = {
        {0.0f, 0.5f, TZevVector(3.0f, 0.0f, 0.0f)},
        {0.0f, 0.25f, TZevVector(0.0f, -2.0f, 2.0f)},
        {0.1f, 0.5f, TZevVector(1.0f, 2.0f, -2.0f)},
        {0.1f, 0.0f, TZevVector(1.0f, 2.0f, -2.0f)},
    };
    TZevGameChara* body = Box(0, 10, 0);
    body->GravityOn = 0;
    TZevPhscs2RigidBody* part = body->RigidPart;
    for (const Case& c : cases) {
        body->LinearDamping = c.linear;
        body->QuadraticDamping = c.quadratic;
        part->Velocity = c.v;
        part->AngularVelocity = TZevVector(c.v.z, c.v.x, c.v.y);
        part->Force = part->Torque = TZevVector();
        body->ApplyExternalForces(0.02f);
        const float speed = c.v.Length(); // the same for both velocities
        const float k = -(c.linear + c.quadratic * speed);
        EXPECT_NEAR(part->Force.x, k * c.v.x, 1e-5f) << c.quadratic;
        EXPECT_NEAR(part->Force.y, k * c.v.y, 1e-5f) << c.quadratic;
        EXPECT_NEAR(part->Force.z, k * c.v.z, 1e-5f) << c.quadratic;
        EXPECT_NEAR(part->Torque.x, k * c.v.z, 1e-5f) << c.quadratic;
        EXPECT_NEAR(part->Torque.y, k * c.v.x, 1e-5f) << c.quadratic;
        EXPECT_NEAR(part->Torque.z, k * c.v.y, 1e-5f) << c.quadratic;
    }
    // Over a flight the quadratic part halves a fast body's speed far sooner than a slow one's.
    body->LinearDamping = 0.0f;
    body->QuadraticDamping = 0.2f;
    auto halving = [&](float speed) {
        part->Velocity = part->PrevVelocity = TZevVector(speed, 0.0f, 0.0f);
        int steps = 0;
        while (part->Velocity.x > 0.5f * speed && steps < 10000) {
            world->Step(0.02f);
            ++steps;
        }
        return steps;
    };
    const int fast = halving(20.0f);
    const int slow = halving(2.0f);
    EXPECT_LT(fast * 5, slow);
}

TEST_F(GameChara, DestroyingABodyThatRestsOnContactsIsSafe)
{
    TZevGameChara* floor = ZevAsGameChara(CreateBoxXPhBody(nullptr, ZevMatTranslation(0, -0.5f, 0), nullptr, world,
                                                           TZevVector(-5, -0.5f, -5), TZevVector(5, 0.5f, 5), 1.0f));
    floor->SetFixed(1);
    TZevGameChara* box = Box(0, 0.6f, 0);
    TZevGameChara* other = Box(2, 0.6f, 0);
    for (int i = 0; i < 40; ++i)
        world->Step(0.02f);
    ASSERT_GT(world->ContactLinks->GetCount(), 0);
    ASSERT_GT(box->OwnedRecords.GetCount() + floor->OwnedRecords.GetCount(), 0);
    world->DeleteBody(box); // its contact links go before its rigid part does
    for (int i = 0; i < 20; ++i)
        world->Step(0.02f);
    EXPECT_NEAR(other->RigidPart->GetPosition().y, 0.5f, 0.1f);
    world->DeleteBody(floor); // the other body's contacts with it go too
    world->Step(0.02f);
}

TEST_F(GameChara, AttachmentSharesThePartAndLeavingGivesItBack)
{
    TZevGameChara* parent = Box(0, 5, 0);
    TZevGameChara* child = Box(2, 5, 0);
    parent->MoveToParent(child);
    EXPECT_EQ(child->Parent(), parent);
    EXPECT_EQ(child->AttachParent, parent);
    EXPECT_EQ(child->MainPart, parent->MainPart);
    EXPECT_EQ(parent->AttachList.GetCount(), 1);
    child->LeaveParent();
    EXPECT_EQ(child->AttachParent, nullptr);
    EXPECT_EQ(child->MainPart, child->RigidPart);
    EXPECT_EQ(parent->AttachList.GetCount(), 0);
    world->AddBody(child);
    // By a joint: the child keeps its own part; the joint joins the two.
    TZevJointSettings settings;
    settings.Pivot = TZevVector(1.0f, 0.0f, 0.0f);
    TZevJoint* joint = parent->AttachChildByJointAt(child, settings, ZevMatTranslation(2.0f, 0.0f, 0.0f));
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(child->ParentJoint, joint);
    EXPECT_EQ(child->MainPart, child->RigidPart);
    EXPECT_NEAR(child->RigidPart->GetPosition().x, 2.0f, 1e-5f);
    for (int i = 0; i < 20; ++i)
        world->Step(0.02f);
    world->DeleteBody(parent); // the attached child goes with it
}

} // namespace
