// Body state: physics mode, matrices, visual material, forces, velocities, collision grouping, main character,
// key state, mass, inertia, bounding box, air resistance and collision pairs.
#pragma once

#include "LispArgs.h"
#include "QEContext.h"
#include "ZevLispInterpreter.h"
#include "ZevLispObj.h"
#include "QEBodies.h"
#include "ZevMath.h"

#include <type_traits>

class TZevGameChara;
class TZevLispInterpreter;
class TZevLSObj;

// A matrix in script form is four rows of three floats: the rotation rows and the translation; the fourth column
// is 0, 0, 0, 1.
TZevMatrix QEMatrixFromRows(const float rows[12]);
// Parses (object matrix), the matrix in script form; false, with the argument error in `result`, when the
// arguments do not fit.
bool QEParseObjectMatrix(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevLSObj** object,
                         TZevMatrix* matrix);
// Parses a builtin's arguments whose first is a body: the body, or null with the result set (the interpreter's
// error for bad arguments; nil without world and root frame, or for a value that wraps no live body).
template <class... Outs>
TZevGameChara* QEParseBody(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, const char* format,
                           Outs... outs)
{
    TZevLSObj* object = nullptr;
    if (!LispParseArgs(interp, &args, format, &object, outs...)) {
        result = interp->ArgError;
        return nullptr;
    }
    result = Nil;
    return QEWorldReady() ? QEScriptBody(object) : nullptr;
}
// The matrix in script form ("(fff)(fff)(fff)(fff)").
TZevLispRef QEMatrixResult(TZevLispInterpreter* interp, const TZevMatrix& m);
// A matrix out to a host: the 16 elements with the fourth column written as 0, 0, 0, 1.
void QEWriteMatrix(float* out, const TZevMatrix& m);

// Runs `change` on a body while its tree of bodies is out of its world (taken out from the top, attachments kept)
// and puts the tree back, its frame where it was; advances the body twice with step 0 before, so that its
// previous and current placement agree.
void QEReseatBodyWith(TZevGameChara* body, void (*change)(TZevGameChara*, void*), void* argument);
template <class F> void QEReseatBody(TZevGameChara* body, F&& change)
{
    using L = std::remove_reference_t<F>;
    QEReseatBodyWith(
        body, [](TZevGameChara* b, void* f) { (*static_cast<L*>(f))(b); },
        const_cast<void*>(static_cast<const void*>(&change)));
}

// Registers the builtins of body state. Runs once.
void ZevEngineRegisterBodyState();
