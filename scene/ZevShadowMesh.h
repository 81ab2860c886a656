// The shadow a polygon mesh casts: a companion mesh that the source creates by class name on its first
// drawing with shadows switched on, and destroys when it is cleared or destroyed. For now it keeps its
// source and draws nothing; the shadow geometry comes with the shadow volumes.
#pragma once

#include "ZevMesh.h"

class TZevShadowMesh : public TZevPolygonMesh {
public:
    TZevShadowMesh();

    // Called once by the source right after it made this mesh; the source outlives it.
    virtual void SetSource(TZevPolygonMesh* source);
    void Render(TZev3DRenderer* renderer, TZevVFrame* frame) override;

    TZevPolygonMesh* Source = nullptr; // not owned
};

extern TZevClassRecord TZevShadowMeshClassRecord;
TZevLSObj* CreateTZevShadowMesh();
