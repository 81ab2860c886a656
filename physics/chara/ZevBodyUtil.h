// Body utilities: bodies made from .x files, boxes, nothing and height maps; inertia; rigid parts over body trees;
// materials and collision groups over subtrees; ray picking; and the saved-body file, which is an object stream
// holding one shared-object reference to a game character.
#pragma once

#include "ZevGameChara.h"
#include "ZevLandCTree.h"
#include "ZevMaterial.h"
#include "ZevPhysicsSaveLoad.h"

class TZevCollisionSpace;
class TZevVBitmap;

// ---- Saved-body file
// 1 when the body was written whole; 0 when the file cannot be opened or a write failed. `context` is the load
// and save context word of the table (the interpreter host).
int SaveXPhBodyFile(const char* fileName, TZevGameChara* body, void* context);
// The body read, or null (logged) when the file cannot be opened, ends early, holds an absurd count or names
// objects of the wrong kind. Names in the file resolve only against registered functions: no library is loaded.
TZevGameChara* LoadXPhBodyFile(const char* fileName, void* context);

// ---- Inertia
// Solid box of edges a, b, c and mass m.
void CalcBoxInertiaTensor(TZevMatrix3& out, float a, float b, float c, float m);

// ---- Bodies. Each is made through `factory` (the character factory when null), its frame hung under
// `parentFrame` (when given), and placed at `matrix` with both vertex arrays holding the placed geometry.
TZevCollisionMeshObj* CreateXPhBodyFromXFile(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                             TZevFrame* parentFrame);
// The same, then added to `world`.
TZevCollisionMeshObj* AddXPhBodyFromXFile(const char* fileName, TZevBodyFactory factory, const TZevMatrix& matrix,
                                          TZevFrame* parentFrame, TZevCollisionSpace* world);
TZevCollisionMeshObj* CreateEmptyXPhBody(TZevBodyFactory factory, const TZevMatrix& matrix, TZevFrame* parentFrame,
                                         TZevCollisionSpace* world);
// A box from `min` to `max` with mass `mass` (the box inertia) on a character's rigid part.
TZevCollisionMeshObj* CreateBoxXPhBody(TZevBodyFactory factory, const TZevMatrix& matrix, TZevFrame* parentFrame,
                                       TZevCollisionSpace* world, const TZevVector& min, const TZevVector& max,
                                       float mass);
// Puts the body at `matrix`: its rigid part when it is a character, the body, and both vertex arrays.
void PlaceXPhBody(TZevCollisionMeshObj* body, const TZevMatrix& matrix);

// Sets the joint's angle and turns the attached body to match.
void SetJointAngle(TZevJoint* joint, TZevGameChara* body, float theta);

// ---- Land
// A land from a height-map file: placement diag(64, 128, 64); null when a file cannot be read.
TZevLandCTree* CreateLand(const char* heightMapFile, const char* textureFile, TZevFrame* rootFrame,
                          TZevCollisionSpace* world);
TZevLandCTree* CreateLandWithScale(const char* heightMapFile, const char* textureFile, TZevFrame* rootFrame,
                                   TZevCollisionSpace* world, float sx, float sy, float sz);
// A land from a bitmap already loaded, with its placement, texture steps and drawing window.
TZevLandCTree* CreateLandFromBitmaps(TZevVBitmap* heightMap, const char* textureFile, TZevFrame* rootFrame,
                                     TZevCollisionSpace* world, const TZevMatrix& placement, std::int32_t w,
                                     std::int32_t h, float uStep, float vStep);

// ---- Body trees
// The body, then every body below it depth first in child order.
void CollectBodyTree(TZevCollisionMeshObj* body, TZevList& list);
void SetVisualMaterialTree(TZevCollisionMeshObj* body, const TZevMaterial& material);
// Every two bodies of the subtree that are not parent and child list each other as not colliding.
void SetEachChildNoCollision(TZevCollisionMeshObj* body);
void SetSameCollisionGroupEachChild(TZevCollisionMeshObj* body);
// The body (and the children moving with it) takes `state` as its main part; null: the body's own part.
void SetRigidBodyRecursive(TZevGameChara* body, TZevPhscs2RigidBody* state);
// `part` replaces the body's own rigid part (the old one is destroyed).
void SetRigidPart(TZevGameChara* body, TZevPhscs2RigidBody* part);
// Moves the mesh vertices so that the centre of their box is the origin.
void VertexTransformToCenter(TZevCollisionMeshObj* body);

// ---- Ray picking: the nearest face hit by origin + t direction (t >= 0) over the world's bodies.
inline constexpr float ZevRayPickFar = 3.4e37f;
void RayPickBodies(TZevCollisionSpace* world, const TZevVector& origin, const TZevVector& direction,
                   TZevCollisionMeshObj** hitBody, TZevVector* point, float* distance);
void RayPickBodiesExcept(TZevCollisionSpace* world, const TZevCollisionMeshObj* except, const TZevVector& origin,
                         const TZevVector& direction, TZevCollisionMeshObj** hitBody, TZevVector* point,
                         float* distance);

