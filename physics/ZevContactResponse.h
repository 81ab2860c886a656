// The passes of the world step over joints, contact links and rigid links: the joint pass, the contact pass that
// turns contact records into contact links, the rigid-link length pass, the contact preparation pass, the satisfied
// test that ends the retry loop, the satisfy pass that corrects penetrations and link lengths by trial steps, the
// force pass, and the hand-over of the forces to both bodies of every link.
#pragma once

#include "ZevVector.h"

#include <cstdint>

class TZevBoxNode;
class TZevContactLink;
class TZevFMCTree_CFaceData;
class TZevJoint;
class TZevPhscs2Link;
class TZevPhscs2Obj;
class TZevPhscs2World;
class TZevRigidLink;
class TZevXPhObj;

// What the passes need from the collision links, the contact-link maker and the contact estimates. Start-up
// (ZevPhysicsInit) fills it; a missing entry makes the pass skip that piece of work.
struct TZevContactServices {
    void (*AddBodyToWorld)(TZevPhscs2World* world, TZevXPhObj* body) = nullptr;
    void (*ProcessBodyContacts)(TZevPhscs2World* world, TZevXPhObj* body) = nullptr;
    void (*ClearBodyLinkLists)(TZevXPhObj* body) = nullptr;
    TZevContactLink* (*CreateContactLink)(TZevPhscs2World* world, TZevFMCTree_CFaceData* record,
                                          std::int32_t forceState) = nullptr;
    int (*BodyContactGeometry)(TZevFMCTree_CFaceData* a, TZevFMCTree_CFaceData* b, TZevContactLink* link) = nullptr;
    int (*RetestContact)(TZevContactLink* link) = nullptr;
    bool (*ContactNormalFacePoint)(TZevPhscs2World* world, TZevFMCTree_CFaceData* face,
                                   TZevFMCTree_CFaceData* point, TZevContactLink* link) = nullptr;
    // The mesh leaf a body-attached box stands for (the node itself for a mesh leaf).
    TZevBoxNode* (*MeshLeaf)(TZevBoxNode* node) = nullptr;
    // Box 1 or 2 of the first collision link of a mesh leaf; null when the leaf has none.
    TZevBoxNode* (*LeafBox)(TZevBoxNode* leaf, int which) = nullptr;
    // The normal estimate of the first collision link of a mesh leaf; false when the leaf has none.
    bool (*LeafLinkNormal)(TZevBoxNode* leaf, TZevVector& normal) = nullptr;
    // Depth of a sub-contact of an edge-edge contact link.
    float (*SubContactDepth)(const TZevPhscs2Link* sub) = nullptr;
};
extern TZevContactServices ZevContactServices;

// The world's AddBody part after the collision space's: the collision links of the body tree, its joints and
// rigid links into the world lists.
void ZevAddBodyToWorld(TZevPhscs2World* world, TZevXPhObj* body);

// Passes of one retry iteration, in the order the step runs them.
void ZevJointPass(TZevPhscs2World* world, float h);
void ZevContactPass(TZevPhscs2World* world, float h);
void ZevLinkLengthPass(TZevPhscs2World* world);
void ZevContactPreparePass(TZevPhscs2World* world, float h);
bool ZevContactsSatisfied(TZevPhscs2World* world, std::int32_t r);
void ZevSatisfyPass(TZevPhscs2World* world, float h, std::int32_t r);
// After the retry loop.
void ZevForcePass(TZevPhscs2World* world, float h);
void ZevForceHandOver(TZevPhscs2World* world, float h);

// Re-tests one contact link against its two primitives (step 4 of the contact pass): Keep and Active set when
// the contact still holds, otherwise Active cleared and RetestNeeded set.
void ZevRetestContactLink(TZevPhscs2World* world, TZevContactLink* link);

// Force laws. The result tells whether the link holds (contact) or pulls (rigid link); the force goes to `force`.
bool ZevLinkForceLaw(TZevRigidLink* link, float springScale, float damperScale, float deadBand, float invH,
                     TZevVector& force);
bool ZevContactForceLaw(TZevContactLink* link, float springScale, float frictionScale, float damperScale,
                        float invH, float deadBand, bool normalOnly, TZevVector& force);
// Whether the contact point stays anchored (sets RetestNeeded when it slides); false for a link that no longer
// holds.
bool ZevStickTest(TZevContactLink* link, float springScale, float staticScale);
// Deeper than half the permitted interference distance?
bool ZevContactTooDeep(const TZevPhscs2World* world, const TZevContactLink* link);

// The dynamic objects at the two ends of a contact link (null when a side has none).
TZevPhscs2Obj* ZevContactPartA(const TZevContactLink* link);
TZevPhscs2Obj* ZevContactPartB(const TZevContactLink* link);
