#include "QECamera.h"

#include "LispArgs.h"
#include "QEBodyState.h"
#include "QEContext.h"
#include "QEJoints.h"
#include "Zev3DRenderer.h"
#include "ZevFrame.h"
#include "ZevGameChara.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"

// ---- Exports ---------------------------------------------------------------------------------------------------

extern "C" QE_API int QE_SetXPhCameraMat(const float* matrix16)
{
    return QEGuard(0, [&] {
        if (!CameraFrame || !matrix16)
            return 0;
        CameraFrame->LocalMatrix = TZevMatrix(matrix16);
        return 1;
    });
}

extern "C" QE_API int QE_GetXPhCameraMat(float* matrix16)
{
    return QEGuard(0, [&] {
        if (!CameraFrame || !matrix16)
            return 0;
        const float* m = CameraFrame->LocalMatrix.m;
        for (int i = 0; i < 16; ++i)
            matrix16[i] = (i & 3) == 3 ? (i == 15 ? 1.0f : 0.0f) : m[i];
        return 1;
    });
}

extern "C" QE_API int QE_SetXPhProjection(const float* matrix16)
{
    return QEGuard(0, [&] {
        if (!CurrentView || !matrix16)
            return 0;
        CurrentView->SetProjectionMatrix(matrix16);
        return 1;
    });
}

// All sixteen elements as the view holds them: a perspective projection keeps its w terms in elements 11 and 15,
// and a host that copied the matrix back would lose them if they were zeroed.
extern "C" QE_API int QE_GetXPhProjection(float* matrix16)
{
    return QEGuard(0, [&] {
        if (!CurrentView || !matrix16)
            return 0;
        for (int i = 0; i < 16; ++i)
            matrix16[i] = CurrentView->ProjectionMatrix.m[i];
        return 1;
    });
}

extern "C" QE_API int QE_SetViewPlaneDistance(float distance)
{
    return QEGuard(0, [&] {
        if (!QEWorldReady() || !CurrentView)
            return 0;
        CurrentView->ViewPlaneScale = distance;
        return 1;
    });
}

extern "C" QE_API int QE_GetViewPlaneDistance(float* distance)
{
    return QEGuard(0, [&] {
        if (!QEWorldReady() || !CurrentView || !distance)
            return 0;
        *distance = CurrentView->ViewPlaneScale;
        return 1;
    });
}

extern "C" QE_API int QE_SetXPhSimulationFlag(int flag)
{
    SimulationFlag = flag;
    return 1;
}

namespace {

// The body's tree out of the world (attachments kept), the meshes moved, the boxes recomputed, back in.
void TransformBodyVertices(TZevGameChara* body, const TZevMatrix& m)
{
    QEReseatBody(QETopBody(body), [&](TZevGameChara*) {
        body->TransformVertices(m);
        body->AdvanceStep(0.0f);
        body->AdvanceStep(0.0f);
        // The boxes are stale whatever level the tree had: refit them all.
        body->SetRebuildFlag();
        body->Refit();
    });
}

} // namespace

extern "C" QE_API int QE_SetXPhVertexTransformMat(QE_XPhBody* handle, const float* matrix16)
{
    return QEGuard(0, [&] {
        TZevGameChara* body = QEBody(handle);
        if (!QEWorldReady() || !body || !matrix16)
            return 0;
        TransformBodyVertices(body, TZevMatrix(matrix16));
        return 1;
    });
}

// ---- Builtins --------------------------------------------------------------------------------------------------

namespace {

bool gRegistered = false;

void SetXPhCameraMat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    float r[12];
    if (!LispParseArgs(interp, &args, "((fff)(fff)(fff)(fff))", &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6],
                       &r[7], &r[8], &r[9], &r[10], &r[11])) {
        result = interp->ArgError;
        return;
    }
    if (!QEWorldReady() || !CameraFrame) {
        result = Nil;
        return;
    }
    CameraFrame->LocalMatrix = QEMatrixFromRows(r);
    result = T;
}

void GetXPhCameraMat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    if (!QEWorldReady() || !CameraFrame) {
        result = Nil;
        return;
    }
    result = QEMatrixResult(interp, CameraFrame->LocalMatrix);
}

void SetViewPlaneDistance(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!QEWorldReady()) {
        result = Nil;
        return;
    }
    double d = 0;
    if (!LispParseArgs(interp, &args, "f", &d)) {
        result = interp->ArgError;
        return;
    }
    result = QE_SetViewPlaneDistance(static_cast<float>(d)) ? T : Nil;
}

void GetViewPlaneDistance(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef)
{
    float d = 0.0f;
    if (!QE_GetViewPlaneDistance(&d)) {
        result = Nil;
        return;
    }
    result = LispMakeResult(interp, "f", d);
}

void SetXPhSimulationFlag(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef value;
    if (!QEParseWorldArgs(result, interp, args, "l", &value))
        return;
    SimulationFlag = LispIsTrue(value) ? 1 : 0;
    result = T;
}

void SetXPhVertexTransformMat(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    TZevMatrix m;
    if (!QEParseObjectMatrix(result, interp, args, &o, &m))
        return;
    TZevGameChara* body = QEScriptBody(o);
    if (!QEWorldReady() || !body) {
        result = Nil;
        return;
    }
    TransformBodyVertices(body, m);
    result = T;
}

} // namespace

void ZevEngineRegisterCamera()
{
    if (gRegistered)
        return;
    gRegistered = true;
    LispRegisterBuiltin(SetXPhCameraMat, "SetXPhCameraMat");
    LispRegisterBuiltin(GetXPhCameraMat, "GetXPhCameraMat");
    LispRegisterBuiltin(SetViewPlaneDistance, "SetViewPlaneDistance");
    LispRegisterBuiltin(GetViewPlaneDistance, "GetViewPlaneDistance");
    LispRegisterBuiltin(SetXPhSimulationFlag, "SetXPhSimulationFlag");
    LispRegisterBuiltin(SetXPhVertexTransformMat, "SetXPhVertexTransformMat");
}
