/* The one door of the engine library for host programs: plain C functions, exported by name.

   Conventions of every QE_ function:
   - Bodies, joints, callback carriers and stream handles are opaque handles. A null or stale handle gives 0
     (or a null handle) and changes nothing; nothing ever throws out of a QE_ function.
   - Vectors are pointers to 3 floats, matrices pointers to 16 floats (row vectors, translation in elements 12
     to 14). Results are written through pointer arguments.
   - Functions that act return 1 when they acted and 0 when there was nothing to act on: no world published
     (before QE_PhOnlyInit or after QE_PhOnlyFinal), a null or stale handle, a null out pointer.
   - Host functions are attached to bodies by name: register them first with QE_RegisterFunction (or name a
     procedure of a shared library as "<library file> <procedure>"; the library file name may not be empty).
     Scripts and saved bodies name only registered functions. */
#ifndef QE_H
#define QE_H

#if defined(_WIN32)
#define QE_API __declspec(dllexport)
#else
#define QE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles and records ---------------------------------------------------------------------------------- */

typedef struct QE_XPhBody QE_XPhBody;           /* a body of the world (a game character) */
typedef struct QE_XPhJoint QE_XPhJoint;         /* a joint between a parent and a child body */
typedef struct QE_CFuncCarrier QE_CFuncCarrier; /* a host callback attached to a body */
typedef struct QE_StreamHandle QE_StreamHandle; /* the stream of a callback's save or load in progress */

/* Host callbacks of a body (attached by name, see QE_XPhBodySetCFunction). */
typedef int (*QE_BodyStepFunction)(QE_XPhBody* body, void* userData);    /* after every world step */
typedef int (*QE_BodyReleaseFunction)(QE_XPhBody* body, void* userData); /* when the carrier is destroyed */
typedef int (*QE_BodySaveFunction)(QE_XPhBody* body, QE_StreamHandle* stream, void* userData);
typedef void* (*QE_BodyLoadFunction)(QE_XPhBody* body, QE_StreamHandle* stream); /* result: the user data */

/* Names of a body's host callbacks; each name may be null (none). */
typedef struct QE_CFunctionDesc {
    const char* stepFunction;
    const char* releaseFunction;
    const char* loadFunction;
    const char* saveFunction;
    void* userData;
} QE_CFunctionDesc;

/* Result of a ray pick. body is null when the nearest hit is not a body (a land, for instance). */
typedef struct QE_PickResult {
    QE_XPhBody* body;
    float x, y, z;
    float distance;
} QE_PickResult;

/* What a host mouse function receives: ray direction d and origin o of the pointer, client pixels x, y. */
typedef struct QE_MouseEvent {
    void* userData;
    int buttons;
    float dx, dy, dz;
    float ox, oy, oz;
    int x, y;
} QE_MouseEvent;
typedef int (*QE_MouseFunction)(const QE_MouseEvent* event);
typedef int (*QE_MouseReleaseFunction)(void* userData);

/* Names of the host mouse functions (QE_SetMouseFunction); a null name keeps the function set before. */
typedef struct QE_MouseFunctionDesc {
    const char* mouseDown;
    const char* mouseMove;
    const char* mouseUp;
    const char* release;
    void* userData;
} QE_MouseFunctionDesc;

/* Mesh vertex: position, normal, texture coordinates. */
typedef struct QE_Vertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
} QE_Vertex;

/* Mesh face: indexCount indices into the vertex array. */
typedef struct QE_Face {
    unsigned int indexCount;
    unsigned short* indices;
} QE_Face;

/* A body's mesh and texture for a host renderer. The pointers point into the engine's own data: valid until the
   body's meshes change or the body is deleted. Texture pixels are RGBA, 8 bits each, rows from the top. */
typedef struct QE_RenderData {
    const char* textureName;
    const void* texturePixels;
    int textureWidth;
    int textureHeight;
    int vertexCount;
    int faceCount;
    QE_Vertex* vertices;
    QE_Face* faces;
} QE_RenderData;

/* QE_GetXPhBodyEnume: function is called with every body of the world and userData. */
typedef struct QE_BodyEnumDesc {
    void* userData;
    int (*function)(QE_XPhBody* body, void* userData);
} QE_BodyEnumDesc;

/* Any host function, as registered by name. */
typedef void (*QE_Function)(void);

/* ---- Script command exchange ------------------------------------------------------------------------------ */

/* QE_SendLispCommand: evaluates every form of the text; 0 when no host exists, else 1.
   QE_GetLispAnswer: what the last command printed, each value followed by a line feed; owned by the host and
   valid until the next call; null when no host exists. */
QE_API int QE_SendLispCommand(const char* command);
QE_API const char* QE_GetLispAnswer(void);

/* ---- Physics-only run and callback streams ---------------------------------------------------------------- */

/* Builds a world without any view and publishes it (a live one is destroyed first); 1, 0 when out of memory. */
QE_API int QE_PhOnlyInit(void);
/* Advances the world by repeat-size / 1000 steps (below 1000: one step every 1000 / repeat-size calls). */
QE_API int QE_PhOnlyStep(void);
QE_API int QE_PhOnlyFinal(void);
/* Threads the physics step may use, the calling one included (1, the default, uses no other): the physics-only
   world and every world made later. The results are the same with any number. 1, or 0 for a number below 1. */
QE_API int QE_SetWorkerThreads(int threads);
/* Only inside a host save or load function, on the handle it was given: 1 when all bytes moved, else 0. */
QE_API int QE_WriteToStream(QE_StreamHandle* stream, const void* bytes, int count);
QE_API int QE_ReadFromStream(QE_StreamHandle* stream, void* buffer, int count);
/* Makes a host function known by name to QE_XPhBodySetCFunction, QE_SetMouseFunction and
   QE_QLPlugInXPhBodyCall; 1, 0 for a null name or function. */
QE_API int QE_RegisterFunction(const char* name, QE_Function function);

/* ---- Bodies: creation, loading, files --------------------------------------------------------------------- */

/* Searches the name as given, then in each object directory in order. */
QE_API QE_XPhBody* QE_LoadXPhBody(const char* fileName);
QE_API QE_XPhBody* QE_MakeEmptyXPhBody(void);
QE_API int QE_DeleteXPhBody(QE_XPhBody* body);
QE_API int QE_DeleteAllXPhBody(void);
QE_API int QE_LoadXPhBodyVisual(QE_XPhBody* body, const char* fileName);
QE_API int QE_XPhBodyCollisionBoxApprox(QE_XPhBody* body);
/* 1 when the file was written, 0 otherwise. */
QE_API int QE_XPhBodySaveToFile(QE_XPhBody* body, const char* fileName);
QE_API QE_XPhBody* QE_XPhBodyLoadFromFile(const char* fileName);

/* ---- Body state -------------------------------------------------------------------------------------------- */

/* mode 0: fixed (flag 1), other: simulated (flag 0); for the body and every body below it. */
QE_API int QE_SetXPhBodyPhysicsMode(QE_XPhBody* body, int mode);
QE_API int QE_GetXPhBodyPhysicsMode(QE_XPhBody* body, int* flag);
QE_API int QE_SetXPhBodyMat(QE_XPhBody* body, const float* matrix16);
QE_API int QE_GetXPhBodyMat(QE_XPhBody* body, float* matrix16);
QE_API int QE_GetXPhBodyGMat(QE_XPhBody* body, float* matrix16);
QE_API int QE_XPhBodySetVisualMaterial(QE_XPhBody* body, const float* diffuse4, const float* ambient4,
                                       const float* specular4, float power);
/* A body without a visual mesh: the default material is written and 0 returned. */
QE_API int QE_XPhBodyGetVisualMaterial(QE_XPhBody* body, float* diffuse4, float* ambient4, float* specular4,
                                       float* power);
/* point in world coordinates, then the force. */
QE_API int QE_XPhBodyAddForce(QE_XPhBody* body, const float* point3, const float* force3);
QE_API int QE_XPhBodyAddLinearForce(QE_XPhBody* body, const float* force3);
QE_API int QE_XPhBodyAddAngularForce(QE_XPhBody* body, const float* torque3);
QE_API int QE_XPhBodyGetVelocity(QE_XPhBody* body, float* velocity3);
QE_API int QE_XPhBodySetVelocity(QE_XPhBody* body, const float* velocity3);
QE_API int QE_XPhBodyGetAVelocity(QE_XPhBody* body, float* velocity3);
QE_API int QE_XPhBodySetAVelocity(QE_XPhBody* body, const float* velocity3);
QE_API int QE_XPhBodySetSameCGroupEachChild(QE_XPhBody* body);
/* Windows virtual-key code 0-255; 1 while the key is down, 0 otherwise (always 0 without a key table). */
QE_API int QE_XPhBodyGetKeyState(int keyCode);
QE_API int QE_XPhBodySetMass(QE_XPhBody* body, float mass);
QE_API int QE_XPhBodyGetMass(QE_XPhBody* body, float* mass);
QE_API int QE_XPhBodySetInertiaTensor(QE_XPhBody* body, float m00, float m01, float m02, float m10, float m11,
                                      float m12, float m20, float m21, float m22);
QE_API int QE_XPhBodyGetInertiaTensor(QE_XPhBody* body, float* m00, float* m01, float* m02, float* m10,
                                      float* m11, float* m12, float* m20, float* m21, float* m22);
/* The tensor of a solid box around the body's bounding box with its current mass (not stored). */
QE_API int QE_XPhBodyGetInertiaTensorFromAABB(QE_XPhBody* body, float* m00, float* m01, float* m02, float* m10,
                                              float* m11, float* m12, float* m20, float* m21, float* m22);
QE_API int QE_XPhBodyGetAABB(QE_XPhBody* body, float* minX, float* minY, float* minZ, float* maxX, float* maxY,
                             float* maxZ);
QE_API int QE_XPhBodySetEAirRegistance1(QE_XPhBody* body, float value);
QE_API int QE_XPhBodySetEAirRegistance2(QE_XPhBody* body, float value);
QE_API int QE_XPhBodyGetEAirRegistance1(QE_XPhBody* body, float* value);
QE_API int QE_XPhBodyGetEAirRegistance2(QE_XPhBody* body, float* value);
/* enable 0: the two bodies ignore each other; non-zero: they collide again. */
QE_API int QE_XPhBodyEnableCollisionPair(QE_XPhBody* a, QE_XPhBody* b, int enable);

/* ---- Camera, projection, simulation switch ---------------------------------------------------------------- */

QE_API int QE_SetXPhCameraMat(const float* matrix16);
QE_API int QE_GetXPhCameraMat(float* matrix16);
/* The projection and view-plane distance need a view: 0 in the physics-only run. */
QE_API int QE_SetXPhProjection(const float* matrix16);
QE_API int QE_GetXPhProjection(float* matrix16);
QE_API int QE_SetViewPlaneDistance(float distance);
QE_API int QE_GetViewPlaneDistance(float* distance);
/* 0 stops the simulation, non-zero runs it. */
QE_API int QE_SetXPhSimulationFlag(int flag);
/* Transforms the body's mesh vertices by the matrix. */
QE_API int QE_SetXPhVertexTransformMat(QE_XPhBody* body, const float* matrix16);

/* ---- World parameters (setters store unchanged, no clamping) ---------------------------------------------- */

QE_API int QE_SetCollisionReboundCoeff(float value);
QE_API int QE_GetCollisionReboundCoeff(float* value);
QE_API int QE_SetCollisionSpringCoeff(float value);
QE_API int QE_GetCollisionSpringCoeff(float* value);
QE_API int QE_SetCollisionStaticFrictionCoeff(float value);
QE_API int QE_GetCollisionStaticFrictionCoeff(float* value);
QE_API int QE_SetCollisionDynamicFrictionCoeff(float value);
QE_API int QE_GetCollisionDynamicFrictionCoeff(float* value);
QE_API int QE_SetCollisionVerticalDamperCoeff(float value);
QE_API int QE_GetCollisionVerticalDamperCoeff(float* value);
QE_API int QE_SetCollisionHorizontalDamperCoeff(float value);
QE_API int QE_GetCollisionHorizontalDamperCoeff(float* value);
QE_API int QE_SetInterferencePermitDistance(float value);
QE_API int QE_GetInterferencePermitDistance(float* value);
QE_API int QE_SetGravity(float value);
QE_API int QE_GetGravity(float* value);
QE_API int QE_SetCollisionSatisfyCoefficientScale(float value);
QE_API int QE_GetCollisionSatisfyCoefficientScale(float* value);
QE_API int QE_SetCollisionSatisfyRepeatMax(int value);
QE_API int QE_GetCollisionSatisfyRepeatMax(int* value);
QE_API int QE_SetLinkSatisfyRepeatMax(int value);
QE_API int QE_GetLinkSatisfyRepeatMax(int* value);
QE_API int QE_SetRetryCollisionMax(int value);
QE_API int QE_GetRetryCollisionMax(int* value);
/* Seconds per step. */
QE_API int QE_SetSimulationStepSize(float value);
QE_API int QE_GetSimulationStepSize(float* value);
/* Thousandths of a step per QE_PhOnlyStep call. */
QE_API int QE_SetSimulationRepeatSize(int value);
QE_API int QE_GetSimulationRepeatSize(int* value);

/* ---- Body callbacks ---------------------------------------------------------------------------------------- */

/* Attaches host functions by name (stepFunction is required); the new carrier, or null. */
QE_API QE_CFuncCarrier* QE_XPhBodySetCFunction(QE_XPhBody* body, const QE_CFunctionDesc* desc);
/* The body's first carrier (null when none; which must be non-zero) and its names and user data. */
QE_API QE_CFuncCarrier* QE_XPhBodyGetCFunction(QE_XPhBody* body, int which, QE_CFunctionDesc* desc);
QE_API QE_CFuncCarrier* QE_XPhBodyGetCFunctionFromCarrierHandle(QE_CFuncCarrier* carrier, QE_CFunctionDesc* desc);
/* Calls the named function, int function(void* argument); 1 when it was called, 0 otherwise. The script builtin
   of the same name calls only registered functions: a library procedure named by a script is an error. */
QE_API int QE_QLPlugInXPhBodyCall(const char* functionName, void* argument);

/* ---- Body hierarchy and joints ----------------------------------------------------------------------------- */

/* The new joint, or null when none could be made (the child is attached all the same). */
QE_API QE_XPhJoint* QE_XPhBodyAddJointChild(QE_XPhBody* parent, QE_XPhBody* child, const float* anchor3,
                                            const float* axis1, const float* axis2, float size);
QE_API int QE_XPhBodyAddFixedChild(QE_XPhBody* parent, QE_XPhBody* child);
QE_API int QE_XPhBodyRemoveChild(QE_XPhBody* body);
QE_API int QE_XPhBodyRemoveFromWorld(QE_XPhBody* body);
QE_API int QE_XPhBodyAddToWorld(QE_XPhBody* body);
QE_API QE_XPhBody* QE_XPhBodyGetChild(QE_XPhBody* body);
QE_API QE_XPhBody* QE_XPhBodyGetParent(QE_XPhBody* body);
QE_API QE_XPhBody* QE_XPhBodyGetJuniorNoLoop(QE_XPhBody* body);
QE_API QE_XPhBody* QE_XPhBodyGetSeniorNoLoop(QE_XPhBody* body);
QE_API QE_XPhJoint* QE_XPhBodyGetCurrentJoint(QE_XPhBody* body);

/* Joint parameters of axis 1 and (names ending in 2) axis 2. */
QE_API int QE_XPhJointSetTorque(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetTorque(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetTorque2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetTorque2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetRotationalDamper(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetRotationalDamper(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetRotationalDamper2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetRotationalDamper2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetStaticFrictionCoeff(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetStaticFrictionCoeff(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetStaticFrictionCoeff2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetStaticFrictionCoeff2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetDynamicFrictionCoeff(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetDynamicFrictionCoeff(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetDynamicFrictionCoeff2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetDynamicFrictionCoeff2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetBrake(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetBrake(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetBrake2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetBrake2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetMaxTheta(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetMaxTheta(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetMaxTheta2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetMaxTheta2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetMinTheta(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetMinTheta(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetMinTheta2(QE_XPhJoint* joint, float value);
QE_API int QE_XPhJointGetMinTheta2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointGetTheta(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointGetTheta2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointGetDTheta(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointGetDTheta2(QE_XPhJoint* joint, float* value);
QE_API int QE_XPhJointSetAxisCount(QE_XPhJoint* joint, int count);
QE_API int QE_XPhJointGetAxisCount(QE_XPhJoint* joint, int* count);

/* Joint-wide settings. */
QE_API int QE_XPhBodyJointSpringCoeff(QE_XPhJoint* joint, float value);
QE_API float QE_XPhBodyJointGetSpringCoeff(QE_XPhJoint* joint); /* 0.0 for a null joint */
QE_API int QE_XPhBodyJointSpringDamper(QE_XPhJoint* joint, float value);
QE_API int QE_XPhBodyJointAxisSpringLimit(QE_XPhJoint* joint, float value);
QE_API int QE_XPhBodyJointTorqueSpringLimit(QE_XPhJoint* joint, float value);
QE_API int QE_XPhBodyJointLimitFlag(QE_XPhJoint* joint, int on);
QE_API int QE_XPhBodyJointLimitFlag2(QE_XPhJoint* joint, int on);
QE_API int QE_XPhBodyJointGuessParam(QE_XPhJoint* joint);

/* ---- Picking, lines, edit character, mouse, host rendering ------------------------------------------------- */

QE_API int QE_XPhRayPick(const float* start3, const float* ray3, QE_PickResult* result);
QE_API int QE_XPhRayPickNCBody(QE_XPhBody* skip, const float* start3, const float* ray3, QE_PickResult* result);
/* rgba4: red, green, blue, alpha from 0 to 1. */
QE_API int QE_XPhDrawLine(const float* rgba4, const float* start3, const float* end3);
QE_API int QE_SetEditChara(QE_XPhBody* body);
QE_API int QE_GetEditChara(QE_XPhBody** body);
QE_API int QE_SetMouseFunction(const QE_MouseFunctionDesc* desc);
QE_API int QE_XPhSetZClip(float zNear, float zFar);
QE_API int QE_GetXPhBodyRenderData(QE_XPhBody* body, QE_RenderData* data);
QE_API int QE_GetXPhBodyCollisionData(QE_XPhBody* body, QE_RenderData* data);
QE_API int QE_GetXPhBodyEnume(const QE_BodyEnumDesc* desc);
QE_API int QE_SetXPhBodyTexture(QE_XPhBody* body, const char* textureName);
QE_API int QE_SetCollisionVertices(QE_XPhBody* body, int vertexCount, const QE_Vertex* vertices, int faceCount,
                                   const QE_Face* faces);

/* ---- Embedding a view in a host window ------------------------------------------------------------------- */

/* The window a view draws into: the X window id (an XID) of the host's window, on the X display named by DISPLAY.
   QE_GLDriver and QE_GLDevice are the driver and device objects of the engine's OpenGL device layer, for a host
   that draws with its own device in the Direct3D 8 manner. */
typedef unsigned long QE_Window;
typedef struct QE_GLDriver QE_GLDriver;
typedef struct QE_GLDevice QE_GLDevice;

/* A rectangle of pixels: right and bottom lie outside it. */
typedef struct QE_Rect {
    int left, top, right, bottom;
} QE_Rect;

/* The init functions make one engine instance (a renderer on the window or device, a script-driven scene, a key
   table), run "DefaultWorld.lsp" in it and make it current; an instance that runs already is ended first. 1, or 0
   when the renderer cannot draw there (no X server, no OpenGL, not a window): nothing is left made then.
   QE_DX7InitFromHWND draws in the DirectDraw 7 manner (QE_RenderToHWND then presents nothing),
   QE_DX8InitFromHWND in the Direct3D 8 manner, and QE_DX8InitFromDevice on the host's device, which the host
   presents itself. QE_Final ends the instance: 1, 0 when no view runs. */
QE_API int QE_DX7InitFromHWND(QE_Window window);
QE_API int QE_DX8InitFromHWND(QE_Window window);
QE_API int QE_DX8InitFromDevice(QE_GLDriver* driver, QE_GLDevice* device);
QE_API int QE_Final(void);
/* A frame: drawn and stepped (QE_Render), drawn only (QE_RenderOnly), stepped only (QE_MoveOnly). 0 when no view
   runs, else 1. Not locked: a host calls them from one thread. */
QE_API int QE_Render(void);
QE_API int QE_RenderOnly(void);
QE_API int QE_MoveOnly(void);
/* Draws the frame without stepping and shows the source rectangle of the picture (null: all of it) in the
   destination rectangle of the window (null: its client area). Both rectangles are clipped to the picture and the
   window; 0 when one is empty after that, or when no view runs. */
QE_API int QE_RenderToHWND(QE_Window window, const QE_Rect* source, const QE_Rect* destination);
/* Mouse events for the scene (the buttons word: 1 left, 2 right), at x, y in the viewport given; always 1. */
QE_API int QE_SendMouseButtonDown(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight);
QE_API int QE_SendMouseButtonMove(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight);
QE_API int QE_SendMouseButtonUp(int buttons, int x, int y, int viewX, int viewY, int viewWidth, int viewHeight);
/* "Orvelle Physics Engine Ver.1.3.0". */
QE_API const char* QE_About(void);
/* Whether the demo program's view window draws and steps its frames: 1 with such a window, else 0. */
QE_API int QE_SetRenderMoveFlag(int flag);

#ifdef __cplusplus
}
#endif

#endif
