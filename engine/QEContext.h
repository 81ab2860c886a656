// The program-wide engine context that every QE_ export and every engine builtin works on, its common guard, and
// the conversion of host handles at the boundary. Two publishers fill it: the physics-only run (QEPhOnly.cpp) and
// the scene start of the demo program; whoever publishes last wins.
#pragma once

#include "LispArgs.h"
#include "ZevDebug.h"
#include "ZevLispInterpreter.h"
#include "ZevList.h"
#include "ZevString.h"
#include "qe.h"

#include <cstdint>
#include <exception>
#include <new>

class TZev3DRenderer;
class TZevFrame;
class TZevGameChara;
class TZevPhscs2World;

extern TZevPhscs2World* CurrentWorld;
extern TZevFrame* RootFrame;
extern TZevFrame* CameraFrame;
// 256 bytes, one per virtual-key code, non-zero while down; null without a view.
extern std::uint8_t* KeyStateTable;
// The publisher's own step size (seconds) and repeat size (thousandths of a step per call).
extern float* StepSizePtr;
extern std::int32_t* RepeatSizePtr;
extern TZev3DRenderer* CurrentView;
// The scene's main-character field; null when no scene publishes one.
extern TZevGameChara** MainCharaSlot;
// Non-zero while the simulation runs.
extern std::int32_t SimulationFlag;
// The scene's status text.
extern TZevString EasyViewText;
// Object search directories, searched in order; each entry is put in front of a name as it is.
extern TZevStringList ObjectPathList;
// Every live script wrapper of a body (TZevLispXPhBody) and of a joint (TZevLispXPhJoint), in creation order.
extern TZevList XPhBodyList;
extern TZevList XPhJointList;

// The common guard: a world and a root frame are published.
inline bool QEWorldReady() { return CurrentWorld != nullptr && RootFrame != nullptr; }

// Parses the arguments of a builtin that acts on the world; false, with the argument error or (no world) nil in
// `result`, when it cannot act.
template <class... Outs> bool QEParseWorldArgs(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args,
                                               const char* format, Outs... outs)
{
    if (!LispParseArgs(interp, &args, format, outs...)) {
        result = interp->ArgError;
        return false;
    }
    if (!QEWorldReady()) {
        result = Nil;
        return false;
    }
    return true;
}

// Adds a directory to ObjectPathList unless it is there already (a second physics-only run must not make every
// failing search try its directories twice).
void QEAddObjectPath(const char* directory);

// ---- Body handles ------------------------------------------------------------------------------------------------

// A live body for a host handle: null for a null handle and for a body already destroyed.
TZevGameChara* QEBody(QE_XPhBody* handle);
inline QE_XPhBody* QEBodyHandle(TZevGameChara* body) { return reinterpret_cast<QE_XPhBody*>(body); }
// Whether a body is alive: held by the current world (in the simulation or taken out of it), or a body read from a
// file and held by no world yet (LooseBodies).
bool QEIsLiveBody(const TZevGameChara* body);
extern TZevList LooseBodies;
// A body taken out of every world tree (and not destroyed) stays a live handle: it joins LooseBodies once.
void QEKeepLooseBody(TZevGameChara* body);
// A body is about to be destroyed: it leaves LooseBodies.
void QEForgetBody(const TZevGameChara* body);
// A world is about to be destroyed: the bodies it holds (and destroys) leave LooseBodies.
void QEForgetWorldBodies(const TZevPhscs2World* world);

// ---- The boundary ----------------------------------------------------------------------------------------------

// Runs the body of an export; nothing crosses the C boundary: a failed allocation or any other exception is
// logged and answered with `failed`.
template <class R, class F> R QEGuard(R failed, F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        ZevDebugLog("QE: out of memory\n");
    } catch (...) {
        ZevDebugLog("QE: unexpected failure\n");
    }
    return failed;
}
