// Engine bindings: the camera frame's matrix, the view's projection and view-plane distance, the simulation switch
// and the transformation of a body's mesh vertices.
#pragma once

// Registers the builtins "SetXPhCameraMat", "GetXPhCameraMat", "SetViewPlaneDistance", "GetViewPlaneDistance",
// "SetXPhSimulationFlag" and "SetXPhVertexTransformMat". Runs once; later calls do nothing.
void ZevEngineRegisterCamera();
