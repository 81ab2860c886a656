// Frames: the nodes of the scene graph. A frame is placed relative to its parent by its local matrix, keeps the
// world matrix computed for it by the last traversal, and carries visuals drawn with that world matrix. Children
// are frames placed relative to it; a tree read from a stream may also hold nodes of other classes, which the
// frame operations pass over.
#pragma once

#include "ZevList.h"
#include "ZevMath.h"
#include "ZevTree.h"

class TZev3DRenderer;
class TZevVMesh;

// The data of a frame; its matrix operations do nothing.
class TZevVFrame : public TZevStringTree {
public:
    TZevVFrame();
    // Releases every visual in list order.
    ~TZevVFrame() override;

    // Fills `out` with the world matrix computed from the local matrices up the chain of frame parents.
    virtual void GetWorldMatrix(TZevMatrix* out);
    // Stores the world matrix, puts the visuals on the renderer's render list, and goes on with the children
    // and the later siblings.
    virtual void Traverse(TZev3DRenderer* renderer, const TZevMatrix& parentWorld);

    // Appends the visual and takes a reference to it; a null visual is ignored.
    void AddVisual(TZevVMesh* visual);
    // The parent when it is a frame, else null.
    TZevVFrame* GetParentFrame() const;

    TZevMatrix LocalMatrix;
    TZevMatrix WorldMatrix;
    TZevList Visuals; // of TZevVMesh*, one reference each
};

// The frame that computes world matrices and walks the tree for a renderer.
class TZevFrame : public TZevVFrame {
public:
    TZevFrame() = default;

    // Without a frame parent: the local matrix; otherwise local x the parent's world matrix.
    void GetWorldMatrix(TZevMatrix* out) override;
    // Pre-order: a frame's visuals before its children's, children before later siblings. Nodes that are not
    // frames are passed over with their subtrees.
    void Traverse(TZev3DRenderer* renderer, const TZevMatrix& parentWorld) override;
};

// Frame class from a node: null for null and for nodes of other classes.
TZevVFrame* ZevAsFrame(TZevVTree* node);

extern TZevClassRecord TZevVFrameClassRecord;
extern TZevClassRecord TZevFrameClassRecord;
TZevLSObj* CreateTZevVFrame();
TZevLSObj* CreateTZevFrame();

// Registers the frame classes (after the core library's tree classes). Runs once; later calls do nothing.
void ZevFrameInit();
