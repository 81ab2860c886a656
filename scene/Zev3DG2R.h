// The scene model in one include: maths, renderers, frames and meshes, and the scene's start-up.
#pragma once

#include "Zev3DRenderer.h"
#include "ZevFrame.h"
#include "ZevMath.h"
#include "ZevMesh.h"
#include "ZevQueuedRenderer.h"

// Start-up of the scene model in its fixed order: the core library first, then the announcement line, the frame
// classes, the mesh classes with their chunk readers, and the billboards. Runs once; later calls do nothing.
void ZevSceneInit();
