#include "ZevShadowMesh.h"

TZevClassRecord TZevShadowMeshClassRecord;

TZevLSObj* CreateTZevShadowMesh()
{
    return ZevCreateRegistered<TZevShadowMesh>(&TZevShadowMeshClassRecord);
}

// A shadow never casts a shadow of its own.
TZevShadowMesh::TZevShadowMesh()
{
    ShadowOff = 1;
}

void TZevShadowMesh::SetSource(TZevPolygonMesh* source)
{
    Source = source;
    if (!Geometry)
        Clear();
}

void TZevShadowMesh::Render(TZev3DRenderer*, TZevVFrame*) { }
