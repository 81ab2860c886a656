// Start-up of the engine interface.
#pragma once

// Runs the start-up of every library below the engine in its fixed order (core, scene, interpreter, physics) and
// then registers the engine's classes, named functions and builtins. Runs once; later calls do nothing. Every
// program that uses the engine calls it (the physics-only run calls it by itself).
void ZevEngineInit();
