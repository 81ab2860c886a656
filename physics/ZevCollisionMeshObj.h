// Collision body: a physics object that owns a visual frame in the scene's frame tree, a visual mesh drawn through
// that frame and a collision mesh from which its collision tree is built. It keeps the frame's matrix in step with
// the body, transforms its meshes, and builds a whole tree of bodies from a tree of frames.
#pragma once

#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevString.h"
#include "ZevXPhObj.h"

class TZevCollisionMeshObj;

// Makes the body of one frame: a new body whose collision tree is built from `mesh` (null: no geometry).
using TZevBodyFactory = TZevCollisionMeshObj* (*)(TZevFrame* frame, TZevPolygonMesh* mesh, void* argument);

class TZevCollisionMeshObj : public TZevXPhObj {
public:
    TZevCollisionMeshObj();
    // Leaves the parent ring, deletes the visual frames of this body and of every body below it, releases both
    // meshes, then the base parts go.
    ~TZevCollisionMeshObj() override;

    // The tree's own, then the frame follows the body (its local matrix := the previous matrix).
    void UpdateWorldMatrix(float step) override;
    void SetMatrix(const TZevMatrix& m) override;
    virtual void SetMatrixValues(TZevMatrix m);
    // Bodies for `frame` and its subtree: one body per frame, owning it and colliding with all of its polygon
    // visuals together; the result is the body of `frame` itself. Null when that body cannot be made.
    virtual TZevCollisionMeshObj* CreateFromFrame(TZevFrame* frame, TZevBodyFactory factory, void* argument);
    // Makes `body` the last child of this body, and its frame the last child of this body's frame.
    virtual void MoveToParent(TZevCollisionMeshObj* body);
    // Leaves the parent body and the parent frame. (Unlink, which the collision space calls to move a tree
    // between its roots, keeps the frame where it is.)
    virtual void LeaveParent();

    // Replaces the visual mesh (the frame's list and the body each hold one reference). Passing the current mesh
    // again keeps it; without a frame the body alone holds the mesh.
    void SetVisualMesh(TZevPolygonMesh* mesh);
    // Holds `mesh` as the collision mesh (one reference added) and builds the tree from it.
    bool SetCollisionMesh(TZevPolygonMesh* mesh);
    // The first visual of a .x file becomes the visual mesh; false (nothing changed) when the file cannot be read
    // or has no visual.
    bool LoadVisualMesh(const char* path);
    // Moves the mesh vertices of this body and of every body below it by `matrix`, the children's placements
    // with them, and refreshes the trees.
    void TransformVertices(const TZevMatrix& matrix);

    const char* GetName() const { return name.IsNull() ? "" : name.CStr(); }
    void SetName(const char* text) { name = text != nullptr ? text : ""; }

    TZevString name = "";
    TZevFrame* visualFrame = nullptr;        // owned, placed in the scene's frame tree
    TZevPolygonMesh* collisionMesh = nullptr; // one reference
    TZevPolygonMesh* visualMesh = nullptr;    // one reference, and one of the frame's visual list
    TZevList AttachList;                      // bodies attached to this one, and the one it is attached to
    TZevList NoCollisionList;                 // bodies this one is never tested against

protected:
    // Frame local matrix := the previous matrix, when there is a frame.
    void FollowFrame();
};

// The default factory: a new collision body with the mesh's geometry, placed at the frame's local matrix.
TZevCollisionMeshObj* ZevDefaultBodyFactory(TZevFrame* frame, TZevPolygonMesh* mesh, void* argument);
// CreateFromFrame of a new throw-away body with the default factory; the result is the body of `frame`.
TZevCollisionMeshObj* ZevCreateBodyTreeFromFrame(TZevFrame* frame, void* argument);

// Class test of a saved or created object: its class is `name` or derives from it (by the registry's parents).
bool ZevIsClassOrDerived(const TZevLSObj* object, const char* name);
