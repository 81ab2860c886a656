// Engine bindings: picking bodies with a ray, guide lines in the scene's line mesh, the edit character, the mouse
// procedures of scripts and hosts (called by the scene's mouse handlers), the depth clip of the projection, the
// view's status text, and body geometry and textures for a host's own renderer.
#pragma once

#include "ZevLispObj.h"
#include "qe.h"

class TZevGameChara;
class TZevLineMesh;

// The scene's line mesh, published by the scene; null without one.
extern TZevLineMesh* DrawLineMesh;
// The host's edit character (QE_SetEditChara).
extern TZevGameChara* EditChara;
// The script's edit character and mouse procedures and data (nil until set; released at exit).
extern TZevLispRef ScriptEditChara;
extern TZevLispRef MouseDownProc;
extern TZevLispRef MouseMoveProc;
extern TZevLispRef MouseUpProc;
extern TZevLispRef MouseData;
// The host's mouse functions (QE_SetMouseFunction) and their user data.
extern QE_MouseFunction HostMouseDown;
extern QE_MouseFunction HostMouseMove;
extern QE_MouseFunction HostMouseUp;
extern QE_MouseReleaseFunction HostMouseRelease;
extern void* HostMouseUserData;

// Registers the builtins "XPhRayPick", "XPhRayPickNCBody", "XPhDrawLine", "SetEditChara", "GetEditChara", the
// mouse procedure and data setters and getters, "XPhSet_EasyViewText", "XPhGet_EasyViewText" and
// "XPhBodyVertexTransFormToCenter". Runs once; later calls do nothing.
void ZevEngineRegisterPicking();
