// Coloured line segments (and 2D lines) that scripts and test scenes add during a step, handed to the
// renderer when the mesh is drawn and then, by default, forgotten. The scene keeps one for debug drawing.
#pragma once

#include <cstdint>

#include "ZevList.h"
#include "ZevMesh.h"

class TZevLineMesh : public TZevVMesh {
public:
    TZevLineMesh() = default;
    // Gives every record back to its pool.
    ~TZevLineMesh() override;

    // Both lists to the renderer (the segments with the frame's world matrix), then Clear unless
    // ClearAfterDrawing is 0.
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;

    // A segment from start to end; colour word alpha-red-green-blue.
    void AddLine(uint32_t color, const TZevVector& start, const TZevVector& end);
    // A line in screen pixels.
    void AddLine2D(uint32_t color, float x1, float y1, float x2, float y2);
    // Every record back to its pool, both lists empty.
    void Clear();

    int32_t ClearAfterDrawing = 1;
    TZevList Lines2D;  // of TZevLineRecord*
    TZevList Segments; // of TZevSegmentRecord*
};

extern TZevClassRecord TZevLineMeshClassRecord;
TZevLSObj* CreateTZevLineMesh();
