// Player aircraft: a game character whose control law turns the arrow keys and X into torques and thrust, and
// whose external forces add lift, side force, drag and a weathervane turn towards the flight direction.
#pragma once

#include "ZevGameChara.h"
#include "ZevVirtualKeys.h"

class TZevPlaneChara : public TZevGameChara {
public:
    TZevPlaneChara() = default;
    ~TZevPlaneChara() override = default;

    // The aerodynamic forces on the rigid part, then the character's own.
    void ApplyExternalForces(float dt) override;
    // Up/Down pitch, Left/Right roll, X thrust; always spin and speed damping.
    void KeyControl(const unsigned char* keys) override;
};

// The aircraft factory: as the character factory, with an aircraft.
TZevCollisionMeshObj* CreatePlaneChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument);
