// Meshes: the visuals that frames carry. TZevPolygonMesh is the textured mesh lit by the renderer that
// the .x reader produces and bodies draw and collide with; TZevLPolygonMesh is the pre-lit variant whose
// vertices carry their own colours. Both keep their geometry in a TZevMeshData block and save themselves
// into object streams as one tagged chunk.
#pragma once

#include <cstdint>

#include "ZevMaterial.h"
#include "ZevMath.h"
#include "ZevMeshData.h"
#include "ZevTree.h"

class TZev3DRenderer;
class TZevShadowMesh;
class TZevTextureName;
class TZevVFrame;

// Abstract visual.
class TZevVMesh : public TZevStringTree {
public:
    // No class overrides it; kept for the visuals' common interface.
    virtual void Update() { }
    // Draws the visual with the world matrix of `frame` (null: the identity).
    virtual void Render(TZev3DRenderer* renderer, TZevVFrame* frame);
};

// What both meshes keep of their surface: the texture entry, the geometry block and its box, and the blend
// states. The texture reference and the geometry go with the mesh.
class TZevMeshSurface {
public:
    ~TZevMeshSurface();

    // The registry entry of the name (found or added, one reference); the entry held before is released.
    void SetTextureName(const char* name);
    // Holds one more reference to `entry` (may be null); the entry held before is released.
    void SetTextureEntry(TZevTextureName* entry);
    // Box of the vertices in use (a point at the origin when there are none); clears the changed flag.
    void UpdateBounds();

    TZevTextureName* Texture = nullptr; // one reference, or null
    TZevMaterial Material;
    TZevMeshData* Geometry = nullptr; // null until the first clear
    TZevBox Bounds;
    int32_t Additive = 0;    // render state A
    int32_t Translucent = 0; // render state B
    int32_t Changed = 1;     // the box must be recomputed before drawing

protected:
    // Sizes the geometry, just cleared, for nV vertices and nF faces; false, with empty geometry, as the meshes'
    // SetFaceAndVertexCount.
    bool SizeGeometry(int32_t nV, int32_t nF);
};

class TZevPolygonMesh : public TZevVMesh, public TZevMeshSurface {
public:
    TZevPolygonMesh();
    // Destroys the shadow mesh, frees the geometry, releases the texture entry.
    ~TZevPolygonMesh() override;

    // The named-node body; a mesh read without its chunk is left empty, never without geometry.
    bool Load(TZevStream* stream) override;
    bool SaveChunks(TZevStream* stream, TZevChunkHeader* header) override;
    // Additive and translucent states from the mesh, the mesh itself when its box may be visible, then its
    // shadow when the renderer draws shadows and the mesh casts one.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;
    // Destroys the shadow mesh and replaces the geometry by a new empty block.
    virtual void Clear();
    // Frees geometry a derived mesh keeps besides the drawable one (the terrain's full grid).
    virtual void FreeExtraGeometry() { }

    // Clears, then sizes the geometry for nV vertices and nF faces (both counts 0). False, with empty
    // geometry, for more than 65536 vertices, negative sizes or a failed allocation.
    bool SetFaceAndVertexCount(int32_t nV, int32_t nF);
    void ComputeNormals();
    // A copy (through the object stream) whose geometry is this mesh's after the collision clean-up pass.
    // Null when the copy cannot be made.
    TZevPolygonMesh* CloneFaceChecked();
    // The same with `geometry` (null: none) in place of this mesh's own.
    TZevPolygonMesh* CloneFaceChecked(const TZevMeshData* geometry);

    // Reader of the "TZevPolygonMeshTag" chunk: checks every count against the stream and every face index
    // against the vertices; false, leaving the mesh empty, on damaged data.
    static bool LoadChunk(TZevStream* stream, TZevLSObj* object);

    TZevShadowMesh* Shadow = nullptr; // owned, made on the first shadowed drawing
    int32_t ShadowOff = 0;            // never draw a shadow
};

// Its Material is neither drawn nor saved.
class TZevLPolygonMesh : public TZevVMesh, public TZevMeshSurface {
public:
    TZevLPolygonMesh();
    ~TZevLPolygonMesh() override;

    bool Load(TZevStream* stream) override;
    bool SaveChunks(TZevStream* stream, TZevChunkHeader* header) override;
    // Nothing when the box cannot be visible; else the states and the mesh.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;
    virtual void Clear();

    // Clears and sizes the geometry (does not set the changed flag itself). False as for polygon meshes.
    bool SetFaceAndVertexCount(int32_t nV, int32_t nF);

    // Reader of the "TZevLPolygonMeshTag" chunk, checked as the polygon mesh's.
    static bool LoadChunk(TZevStream* stream, TZevLSObj* object);
};

extern TZevClassRecord TZevVMeshClassRecord;
extern TZevClassRecord TZevPolygonMeshClassRecord;
extern TZevClassRecord TZevLPolygonMeshClassRecord;
TZevLSObj* CreateTZevVMesh();
TZevLSObj* CreateTZevPolygonMesh();
TZevLSObj* CreateTZevLPolygonMesh();

// Registers the mesh classes (with the line, terrain and shadow meshes) and the two mesh chunk readers,
// after the frame classes. Runs once; later calls do nothing.
void ZevMeshesInit();
