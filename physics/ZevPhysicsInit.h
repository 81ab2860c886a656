// Start-up of the physics engine: the core and scene start-ups it builds on, then every registration and pool
// of the physics classes in a fixed order. Later calls do nothing.
#pragma once

void ZevPhysicsInit();
