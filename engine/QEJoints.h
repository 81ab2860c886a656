// Engine bindings: the body tree (joint and fixed children, world membership, navigation) and the parameters of
// the joints between bodies.
#pragma once

#include "qe.h"

class TZevCollisionMeshObj;
class TZevCollisionNode;
class TZevGameChara;
class TZevJoint;

// Takes a body or a land (with the bodies below it) out of its parent, the simulation and the frame tree; its
// world keeps it.
void QEBodyLeaveWorld(TZevCollisionMeshObj* body);
// Puts a body's frame under RootFrame and adds the body with the bodies below it to CurrentWorld.
void QEBodyEnterWorld(TZevCollisionMeshObj* body);
// The topmost character above a body (the body itself when its parent is not a character).
TZevGameChara* QETopBody(TZevGameChara* body);
// A character among the collision trees, or null (a land, the world's root node).
TZevGameChara* QEAsBody(TZevCollisionNode* tree);

// A live joint for a host handle: null for a null handle and for a joint the engine did not hand out or that has
// been destroyed since.
TZevJoint* QEJoint(QE_XPhJoint* handle);
// The handle of a joint, which from then on counts as handed out.
QE_XPhJoint* QEJointHandle(TZevJoint* joint);

// Registers the hierarchy and joint builtins. Runs once; later calls do nothing.
void ZevEngineRegisterJoints();
