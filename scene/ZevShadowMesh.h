// The shadow a polygon mesh casts: a companion mesh that the source creates by class name on its first
// drawing with shadows switched on, and destroys when it is cleared or destroyed. It keeps the source's
// edge adjacency and, on every drawing, rebuilds in world space the source's faces turned towards the
// light's direction, a four-cornered face along every border between lit and unlit faces that joins it to
// its copy flattened by the renderer's shadow projection, and a fan of triangles over those flattened borders
// that closes the far end: the volume the renderer's shadow mode draws. Faces and borders that meet at a
// source vertex share its two vertices, so that each is transformed once by the device too. A renderer that
// queues its draws keeps only a pointer to the volume, so each drawing in one queue (a mesh shared by several
// frames) gets a volume block of its own.
#pragma once

#include "ZevMesh.h"

#include <vector>

// One source face as the shadow sees it.
struct TZevShadowFace {
    int32_t SourceFace;  // index into the source's faces
    uint32_t Count;      // its corners when the table was built
    int32_t Mark;        // +1 when it faced the light at the last drawing, else -1
    int32_t Used;        // 0: fewer than 3 corners or a corner beyond the vertices, so never drawn
};

// One face corner's edge: from the corner's vertex to the next corner's, with the face on its other side.
struct TZevShadowEdge {
    TZevShadowFace* Face;
    TZevShadowFace* Other; // null while the edge is open
    uint16_t First;        // vertex indices, in Face's order
    uint16_t Second;
    uint32_t FirstCorner;  // corner numbers i and (i + 1) mod n in Face
    uint32_t SecondCorner;
    int32_t NextAtFirst;   // the next edge in the list of First's (Second's) vertex; -1 ends it
    int32_t NextAtSecond;
};

class TZevShadowMesh : public TZevPolygonMesh {
public:
    TZevShadowMesh();
    // Frees both tables, then the polygon-mesh part.
    ~TZevShadowMesh() override;

    // Builds the face and edge tables from the source and sizes the geometry for the largest shadow the
    // source can cast. Called once by the source right after it made this mesh; the source outlives it.
    // A source whose shadow would pass 65536 vertices (two for each vertex that its faces name) casts none
    // (logged).
    virtual void SetSource(TZevPolygonMesh* source);
    // Rebuilds the shadow from the renderer's light-0 direction and shadow projection (ViewSettings) and
    // queues it in the renderer's shadow-volume state. Tables that no longer fit the source's faces are
    // rebuilt first.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;

    // Counts and entries of the two tables, for tests and tools.
    int32_t GetFaceRecordCount() const { return FaceRecordCount; }
    int32_t GetEdgeCount() const { return EdgeCount; }
    const TZevShadowFace* GetFaceRecord(int32_t i) const { return FaceRecords + i; }
    const TZevShadowEdge* GetEdge(int32_t i) const { return Edges + i; }
    // Edges with no face on their other side.
    int32_t CountOpenEdges() const;

    TZevPolygonMesh* Source = nullptr; // not owned

private:
    void FreeTables();
    bool BuildTables();
    // True when the tables were built from the source's present faces and vertex count.
    bool TablesFitSource() const;

    TZevShadowFace* FaceRecords = nullptr; // ZevAlloc
    int32_t FaceRecordCount = 0;
    TZevShadowEdge* Edges = nullptr;       // ZevAlloc
    int32_t EdgeCount = 0;
    // What the tables were built from.
    const TZevMeshData* SourceGeometry = nullptr;
    int32_t SourceVertexCount = 0;
    // A block the shadow is built in, with the room of each face's index array, so that redrawing reuses them,
    // and what it was last built from: drawn again from the same source, frame, light and projection, it is drawn
    // as it stands.
    struct Volume {
        TZevMeshData* Data;
        uint32_t* SlotRoom; // ZevAlloc, one per face
        bool Built = false;
        uint32_t SourceVersion = 0;
        TZevMatrix World{};
        float Projection[16] = {};
        TZevVector Light{};
        TZevBox Bounds{};
    };
    // True when the block holds the shadow of this drawing already.
    bool Current(const Volume& volume, const TZevMatrix& world, const TZev3DRenderer* renderer) const;
    // Compares the source's positions and corners with those of the last drawing, keeps the new ones and counts a
    // new source version when they differ: the source's arrays may be written to in place, with no flag set. True
    // when corners changed since an earlier drawing (the edge tables are then out of date).
    bool FollowSource();
    // Builds the shadow of one drawing into the block (which Geometry points to).
    void Build(Volume& volume, const TZevMatrix& world, TZev3DRenderer* renderer);
    // The block for the next drawing (Geometry then points to it), null when none can be had. A renderer that
    // queues its draws gets one block per drawing in the same queue, reused from queue to queue.
    Volume* VolumeFor(TZev3DRenderer* renderer);
    // The first block is the one the tables sized; the others are made like it when a queue needs them. Every
    // block but the one in Geometry is owned here.
    std::vector<Volume> Volumes;
    TZev3DRenderer* QueueOwner = nullptr;
    uint32_t QueueNumber = 0;
    size_t QueuedDrawings = 0;
    // Per source vertex, for one drawing: the index of its vertex on the object (the one in the shadow follows
    // it), made once however many corners and borders share the source vertex (Done holds the drawing's number
    // when it is).
    std::vector<uint16_t> Near;
    std::vector<uint32_t> Done;
    uint32_t Drawing = 0;
    // The source's positions and corners at the last drawing, and the number of changes seen in them.
    std::vector<float> SourcePositions;
    std::vector<uint16_t> SourceCorners;
    uint32_t SourceVersion = 0;
};

extern TZevClassRecord TZevShadowMeshClassRecord;
TZevLSObj* CreateTZevShadowMesh();
