// Start-up of the physics core: the core and scene start-ups it builds on, then every registration and pool of
// the physics classes in a fixed order. Later calls do nothing. The characters' start-up (ZevCharaInit) runs this
// one first.
#pragma once

void ZevPhysicsInit();
