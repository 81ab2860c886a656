// The force laws of rigid links and contact links, the force pass that gives every link its force once the retry
// loop of the world step is over, and the hand-over of those forces (and of the joints' torques) to both bodies.
#pragma once

#include "ZevVector.h"

class TZevContactLink;
class TZevPhscs2World;
class TZevRigidLink;

// How the contact force law computes a link's force.
enum class EZevContactPath {
    Stored,      // the anchored contact point: a spring along the whole separation (static friction)
    Retested,    // the point re-tested on its face: a spring along the normal, and dynamic friction
    SubContacts, // an edge-edge contact: the mean of its sub-contacts' springs along their normals
};

// Force laws. The result tells whether the link holds (contact) or pulls (rigid link); the force goes to `force`.
bool ZevLinkForceLaw(TZevRigidLink* link, float springScale, float damperScale, float deadBand, float invH,
                     TZevVector& force);
bool ZevContactForceLaw(TZevContactLink* link, float springScale, float frictionScale, float damperScale,
                        float invH, float deadBand, bool normalOnly, TZevVector& force);

// Every contact link's and rigid link's force of the step, after the retry loop.
void ZevForcePass(TZevPhscs2World* world, float h);
// The forces of the contact links, the joints' torques and the rigid links' forces, to both of their bodies.
void ZevForceHandOver(TZevPhscs2World* world, float h);
