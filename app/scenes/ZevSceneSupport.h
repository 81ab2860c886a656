// What the scenes built in code share: the light, land and box set-ups, the walk over the world's bodies, the
// debug boxes, the leaf depths of a box tree, and the numbers and folders of the test scenes' measurement files
// (the files themselves: ZevMeasureFile.h).
#pragma once

#include "ZevBox.h"
#include "ZevCollisionMeshObj.h"
#include "ZevGameChara.h"
#include "ZevMatrix.h"
#include "ZevString.h"

#include <cstdint>
#include <string>

class TZevBoxNode;
class TZevGameChara;
class TZevLandCTree;
class TZevLineMesh;
class TZevPhscs2World;
class TZevQueuedRenderer;
class TZevVBitmap;

// Windows virtual-key codes the scenes read besides those of the control laws (ZevVirtualKeys.h).
enum : int {
    SceneKeyShift = 0x10,
    SceneKeyControl = 0x11,
    SceneKeyEscape = 0x1B,
    SceneKeyF1 = 0x70,
    SceneKeyF2 = 0x71,
};

// A new frame made by its class name; null (logged) when the class is missing.
TZevFrame* ZevNewFrame();

// Light 0 of the renderer: a directional light along the unit vector of (1, -1, 1) with the given diffuse,
// ambient and specular grey levels. Nothing without a renderer.
void ZevSetSceneLight(TZevQueuedRenderer* renderer, float diffuse, float ambient, float specular);

// The inertia tensor of a solid box whose edges are the extents of the body's bounding box.
TZevMatrix3 ZevBoxInertiaOf(TZevCollisionMeshObj* body, float mass);

// The land material of the scenes: diffuse 0.9, ambient 0.1, no specular, power 1.
void ZevSetLandMaterial(TZevLandCTree* land);

// A land from a height-map BMP: built as an ordinary box tree when `useOctree` is non-zero, else on its grid; the
// texture set, the matrices advanced twice with 0 and the tree marked for rebuild. Not yet in a world. Null
// (logged) when the bitmap cannot be read or gives no terrain.
TZevLandCTree* ZevBuildLand(const char* heightMapFile, const char* textureFile, const TZevMatrix& placement,
                            float uStep, float vStep, std::int32_t w, std::int32_t h, std::int32_t useOctree);

// Puts a body (or a land) into the world and its frame under the root frame.
void ZevAddToScene(TZevCollisionMeshObj* body, TZevPhscs2World* world, TZevFrame* rootFrame);

// Joins `child` to `parent` by a joint of the settings (pivot, axis and reference direction in the parent part's
// coordinates), the child staying where its part is; null (logged) when the joint cannot be made.
TZevJoint* ZevJoinChildHere(TZevGameChara* parent, TZevGameChara* child, const TZevJointSettings& settings);

// SetJointAngle, then the joint's links take the turned body's points as both their current and their previous
// ends (SetJointAngle advances them before it turns the body, so the next step would measure the old angle and
// kick the body back).
void ZevSetJointAngle(TZevJoint* joint, TZevGameChara* body, float angle);

// Every body of the world's simulation, the bodies below each one included, in tree order.
template <class F> void ZevForEachWorldBody(TZevPhscs2World* world, F&& visit);
// The top-level bodies of the world's simulation.
void ZevCollectWorldBodies(TZevPhscs2World* world, TZevList& out, bool withChildren);

// The 12 edges of a box into the line mesh.
void ZevDrawBoxEdges(TZevLineMesh* lines, const TZevVector& min, const TZevVector& max, std::uint32_t color);

// The smallest and the largest leaf depth of a box tree (the root at depth 0); both 0 for a null tree.
void ZevTreeDepthRange(const TZevBoxNode* root, int* minDepth, int* maxDepth);

// Writes the bitmap as an uncompressed 24-bit BMP file (row 0 of the bitmap is the bottom row of the picture);
// false (logged) when the file cannot be written.
bool ZevSaveBmp24(TZevVBitmap* bitmap, const char* path);

// "%f" of a number (the C locale's form), every digit of it however large.
std::string ZevFormatFloat(double value);

// Creates a folder with every folder above it; true when it exists afterwards (failures are logged).
bool ZevMakeFolders(const char* path);

// ---- Template definitions

template <class F> void ZevForEachWorldBody(TZevPhscs2World* world, F&& visit)
{
    TZevList bodies;
    ZevCollectWorldBodies(world, bodies, true);
    for (TZevCollisionMeshObj* body : ZevItems<TZevCollisionMeshObj>(bodies))
        visit(body);
}
