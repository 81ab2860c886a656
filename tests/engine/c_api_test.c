/* The engine as a C host sees it: only qe.h, only libqe.so. Runs a physics-only world and checks what comes back;
   exits with the number of failed checks. */
#include "qe.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

static int failures;

#define CHECK(cond)                                                                                                 \
    do {                                                                                                            \
        if (!(cond)) {                                                                                              \
            ++failures;                                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                             \
        }                                                                                                           \
    } while (0)

static void TestRunAndParameters(void)
{
    float f = 0.0f;
    int i = 0;
    CHECK(QE_PhOnlyStep() == 0);
    CHECK(QE_PhOnlyFinal() == 0);
    CHECK(QE_SetGravity(1.0f) == 0);
    CHECK(QE_GetGravity(&f) == 0);

    CHECK(QE_PhOnlyInit() == 1);
    CHECK(QE_GetCollisionSpringCoeff(&f) == 1 && f == 15.0f);
    CHECK(QE_GetCollisionSatisfyRepeatMax(&i) == 1 && i == 256);
    CHECK(QE_GetSimulationStepSize(&f) == 1 && f == 0.02f);
    CHECK(QE_GetSimulationRepeatSize(&i) == 1 && i == 1000);
    CHECK(QE_SetGravity(-9.8f) == 1 && QE_GetGravity(&f) == 1 && f == -9.8f);
    CHECK(QE_SetGravity(9.8f) == 1);
    CHECK(QE_PhOnlyStep() == 1);
    CHECK(QE_PhOnlyFinal() == 1);
    CHECK(QE_PhOnlyFinal() == 0);
}

static int stepCount;

static int CountSteps(QE_XPhBody* body, void* userData)
{
    (void)body;
    ++*(int*)userData;
    ++stepCount;
    return 1;
}

static float Height(QE_XPhBody* body)
{
    float m[16] = {0};
    CHECK(QE_GetXPhBodyGMat(body, m) == 1);
    return m[13];
}

static void Place(QE_XPhBody* body, float x, float y, float z)
{
    float m[16] = {0};
    CHECK(QE_GetXPhBodyMat(body, m) == 1);
    m[12] = x;
    m[13] = y;
    m[14] = z;
    CHECK(QE_SetXPhBodyMat(body, m) == 1);
}

/* A fixed floor box, a chair falling onto it, a second box hanging from the first by a joint; one counting
   callback; then the world ends and every handle is refused. */
static void TestWorld(void)
{
    int counted = 0, i;
    QE_XPhBody *floorBox, *chair, *hinged, *stale;
    QE_XPhJoint* joint;
    QE_CFunctionDesc desc = {"CApiCountSteps", 0, 0, 0, &counted};
    const float anchor[3] = {0.0f, 0.0f, 0.0f}, axis1[3] = {0.0f, 0.0f, 1.0f}, axis2[3] = {1.0f, 0.0f, 0.0f};
    float chairStart, torque = 0.0f, mass = 0.0f;

    CHECK(QE_PhOnlyInit() == 1);
    CHECK(QE_RegisterFunction("CApiCountSteps", (QE_Function)CountSteps) == 1);
    floorBox = QE_LoadXPhBody(QE_DATA_DIR "/lbox.x");
    chair = QE_LoadXPhBody(QE_DATA_DIR "/chair.x");
    hinged = QE_LoadXPhBody(QE_DATA_DIR "/lbox.x");
    CHECK(floorBox && chair && hinged);
    if (!floorBox || !chair || !hinged)
        return;
    CHECK(QE_LoadXPhBody("no-such-model.x") == 0);

    Place(floorBox, 0.0f, -6.0f, 0.0f);
    CHECK(QE_SetXPhBodyPhysicsMode(floorBox, 0) == 1);
    Place(chair, 0.0f, 0.0f, 0.0f);
    Place(hinged, 8.0f, 0.0f, 0.0f);
    CHECK(QE_XPhBodyGetMass(chair, &mass) == 1 && mass == 1.0f);
    joint = QE_XPhBodyAddJointChild(floorBox, hinged, anchor, axis1, axis2, 1.0f);
    CHECK(joint != 0);
    if (joint) {
        CHECK(QE_XPhJointSetTorque(joint, 0.5f) == 1);
        CHECK(QE_XPhJointGetTorque(joint, &torque) == 1 && torque == 0.5f);
    }
    CHECK(QE_XPhBodySetCFunction(chair, &desc) != 0);

    chairStart = Height(chair);
    for (i = 0; i < 25; ++i)
        CHECK(QE_PhOnlyStep() == 1);
    CHECK(counted == 25);
    CHECK(Height(chair) < chairStart - 0.1f); /* it fell */
    CHECK(fabsf(Height(floorBox) + 6.0f) < 1e-4f); /* fixed */

    /* Body files from C. */
    CHECK(QE_XPhBodySaveToFile(chair, "chair.body") == 1);
    CHECK(QE_XPhBodySaveToFile(chair, "no/such/dir/chair.body") == 0);

    stale = QE_MakeEmptyXPhBody();
    CHECK(stale != 0);
    CHECK(QE_DeleteXPhBody(stale) == 1);
    CHECK(QE_DeleteXPhBody(stale) == 0);
    CHECK(QE_XPhBodySetMass(stale, 1.0f) == 0);

    CHECK(QE_PhOnlyFinal() == 1);
    /* The world is gone and its bodies with it. */
    CHECK(QE_XPhBodyGetMass(chair, &mass) == 0);
    CHECK(QE_GetXPhBodyGMat(floorBox, 0) == 0);
    CHECK(QE_PhOnlyStep() == 0);
}

/* Bad input: null handles and pointers, key codes out of range, streams outside a callback. */
static void TestBadInput(void)
{
    float f[16];
    int i = 0;
    char bytes[4] = {0};
    QE_CFunctionDesc desc = {"CApiCountSteps", 0, 0, 0, 0};
    CHECK(QE_PhOnlyInit() == 1);
    CHECK(QE_DeleteXPhBody(0) == 0);
    CHECK(QE_SetXPhBodyMat(0, f) == 0);
    CHECK(QE_GetXPhBodyMat(0, f) == 0);
    CHECK(QE_XPhBodySetCFunction(0, &desc) == 0);
    CHECK(QE_XPhBodyGetCFunction(0, 1, &desc) == 0);
    CHECK(QE_XPhBodyGetCFunctionFromCarrierHandle(0, &desc) == 0);
    CHECK(QE_XPhBodyGetEAirRegistance1(0, f) == 0);
    CHECK(QE_XPhBodySetEAirRegistance2(0, 1.0f) == 0);
    CHECK(QE_QLPlugInXPhBodyCall("CApiCountSteps", 0) == 0);
    CHECK(QE_QLPlugInXPhBodyCall("NoSuchFunction", f) == 0);
    CHECK(QE_GetGravity(0) == 0);
    CHECK(QE_GetSimulationRepeatSize(&i) == 1);
    for (i = -2; i <= 257; i += 1)
        CHECK(QE_XPhBodyGetKeyState(i) == 0); /* no key table in the physics-only run */
    CHECK(QE_XPhBodyGetKeyState(-2147483647 - 1) == 0);
    CHECK(QE_WriteToStream(0, bytes, 4) == 0);
    CHECK(QE_ReadFromStream(0, bytes, 4) == 0);
    CHECK(QE_XPhBodyLoadFromFile(0) == 0);
    CHECK(QE_XPhBodyLoadFromFile("missing.body") == 0);
    CHECK(QE_PhOnlyFinal() == 1);
}

int main(void)
{
    TestRunAndParameters();
    TestWorld();
    TestBadInput();
    if (failures)
        fprintf(stderr, "%d checks failed\n", failures);
    return failures ? 1 : 0;
}
