#include "QE3DObjects.h"

#include "LispLSObj.h"
#include "QEContext.h"
#include "ZevBillBoard.h"
#include "ZevFrame.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevXFile.h"
#include "ZevXFileWriter.h"

#include <cstdlib>

TZevClassRecord TZevLisp3DObjClassRecord;

TZevLSObj* CreateTZevLisp3DObj()
{
    return ZevCreateRegistered<TZevLisp3DObj>(&TZevLisp3DObjClassRecord);
}

TZevLisp3DObj::~TZevLisp3DObj()
{
    SetFrame(nullptr);
}

void TZevLisp3DObj::SetFrame(TZevFrame* newFrame)
{
    TZevFrame* old = Frame;
    Frame = newFrame;
    if (old)
        old->Release();
}

void TZevLisp3DObj::Move(float dt)
{
    Velocity.x = Velocity.x + dt * Acceleration.x;
    Velocity.y = Velocity.y + dt * Acceleration.y;
    Velocity.z = Velocity.z + dt * Acceleration.z;
    Rotation.x = Rotation.x + dt * RotationAcceleration.x;
    Rotation.y = Rotation.y + dt * RotationAcceleration.y;
    Rotation.z = Rotation.z + dt * RotationAcceleration.z;
    if (!Frame)
        return;
    TZevMatrix r, t, rt;
    ZevMatRotationFromVector(r, Rotation, dt);
    ZevMatTranslation(t, Velocity.x, Velocity.y, Velocity.z);
    ZevMatMultiply(rt, r, t);
    ZevMatMultiply(Frame->LocalMatrix, rt, Frame->LocalMatrix);
}

namespace {

TZevLisp3DObj* gRoot = nullptr;
bool gRegistered = false;

// Evaluates exactly `n` argument forms into `values`; false with the error in `result` (an argument's own error,
// "Too Few Arguments!" or "Too Many Arguments!").
bool EvalArgs(TZevLispRef& result, TZevLispInterpreter* interp, const TZevLispRef& args, TZevLispRef* values, int n)
{
    TZevLispRef position = args;
    for (int i = 0; i < n; ++i) {
        if (!LispIsPair(position)) {
            LispMakeError(result, "Too Few Arguments!");
            return false;
        }
        interp->Eval(values[i], LispPair(position)->Car);
        if (LispIsError(values[i])) {
            result = values[i];
            return false;
        }
        TZevLispRef rest = LispPair(position)->Cdr;
        position = rest;
    }
    if (LispIsPair(position)) {
        LispMakeError(result, "Too Many Arguments!");
        return false;
    }
    return true;
}

// Wraps a new object under the root.
void Wrap(TZevLispRef& result, TZevLisp3DObj* object)
{
    if (TZevLisp3DObj* root = GetLisp3DObjRoot())
        root->AddChild(object);
    LispMakeLSObj(result, object);
    object->Release(); // the script value holds the one reference
}

void LoadXObj(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef name;
    if (!EvalArgs(result, interp, args, &name, 1))
        return;
    if (!LispIsString(name)) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    const char* fileName = static_cast<TZevLispString*>(name.Get())->Text.CStr();
    TZevFrame* frame = fileName ? ZevLoadXFile(fileName) : nullptr;
    if (!frame) {
        result = Nil;
        return;
    }
    auto* object = static_cast<TZevLisp3DObj*>(CreateObjectByName("TZevLisp3DObj"));
    if (!object) {
        frame->Release();
        result = Nil;
        return;
    }
    object->SetFrame(frame);
    Wrap(result, object);
}

void CreateEmptyFrame(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!EvalArgs(result, interp, args, nullptr, 0))
        return;
    auto* object = static_cast<TZevLisp3DObj*>(CreateObjectByName("TZevLisp3DObj"));
    auto* frame = static_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    if (!object || !frame) {
        if (object)
            object->Release();
        if (frame)
            frame->Release();
        result = Nil;
        return;
    }
    object->SetFrame(frame);
    Wrap(result, object);
}

// The object and x, y, z of a setter: false with the error in `result`, or with nil there when the wrapper holds
// no 3D object (a wrapper of another class is refused without touching its object).
bool SetterArgs(TZevLispRef& result, TZevLispInterpreter* interp, const TZevLispRef& args, TZevLisp3DObj** object,
                TZevVector* v)
{
    TZevLispRef values[4];
    if (!EvalArgs(result, interp, args, values, 4))
        return false;
    if (!LispIsLSObj(values[0]) || !LispIsFloat(values[1]) || !LispIsFloat(values[2]) || !LispIsFloat(values[3])) {
        LispMakeError(result, "Bad Variable Type!");
        return false;
    }
    TZevLSObj* held = LispLSObj(values[0])->Object;
    if (!held || held->GetClassRecord() != &TZevLisp3DObjClassRecord) {
        result = Nil;
        return false;
    }
    *object = static_cast<TZevLisp3DObj*>(held);
    v->x = static_cast<float>(static_cast<TZevLispFloat*>(values[1].Get())->Value);
    v->y = static_cast<float>(static_cast<TZevLispFloat*>(values[2].Get())->Value);
    v->z = static_cast<float>(static_cast<TZevLispFloat*>(values[3].Get())->Value);
    return true;
}

// SetVelocity and SetRotation: the vector `Field` of the object.
template <TZevVector TZevLisp3DObj::*Field>
void SetVector(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLisp3DObj* object = nullptr;
    TZevVector v;
    if (!SetterArgs(result, interp, args, &object, &v))
        return;
    object->*Field = v;
    result = Nil;
}

void SetPosition(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLisp3DObj* object = nullptr;
    TZevVector v;
    if (!SetterArgs(result, interp, args, &object, &v))
        return;
    if (object->Frame)
        ZevMatTranslation(object->Frame->LocalMatrix, v.x, v.y, v.z);
    result = Nil;
}

// Round trip of the .x reader and writer: objects/lbox.x in, lbox20.x out.
void ZevLisp3DTest1(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!EvalArgs(result, interp, args, nullptr, 0))
        return;
    if (TZevFrame* frame = ZevLoadXFile("objects/lbox.x")) {
        ZevSaveXFile(frame, "lbox20.x");
        frame->Release();
    }
    result = Nil;
}

// A frame under the scene's root carrying a billboard of one sprite at the origin.
void ZevLisp3DTest0(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    if (!EvalArgs(result, interp, args, nullptr, 0))
        return;
    result = Nil;
    if (!RootFrame)
        return;
    auto* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    auto* board = dynamic_cast<TZevLBillBoard*>(CreateObjectByName("TZevLBillBoard"));
    if (frame && board && board->Resize(1)) {
        TZevLBillBoardRecord& r = board->Records[0];
        r.X = r.Y = r.Z = 0.0f;
        r.Enabled = 1;
        board->SetTextureName("blue.BMP");
        frame->AddVisual(board);
        if (RootFrame->AddChild(frame))
            frame = nullptr; // the root frame owns it now
    }
    if (board)
        board->Release();
    if (frame)
        frame->Release();
}

} // namespace

TZevLisp3DObj* GetLisp3DObjRoot()
{
    if (!gRoot)
        gRoot = static_cast<TZevLisp3DObj*>(CreateObjectByName("TZevLisp3DObj"));
    return gRoot;
}

void FreeLisp3DObjRoot()
{
    if (!gRoot)
        return;
    while (TZevVTree* child = gRoot->GetFirstChild())
        child->Unlink();
    TZevLisp3DObj* root = gRoot;
    gRoot = nullptr;
    root->Release();
}

void ZevEngineRegister3DObj()
{
    if (gRegistered)
        return;
    gRegistered = true;
    RegisterClassRecord(&TZevLisp3DObjClassRecord, "TZevLisp3DObj", "TZevStringTree", CreateTZevLisp3DObj);
    LispRegisterBuiltin(LoadXObj, "LoadXObj");
    LispRegisterBuiltin(CreateEmptyFrame, "CreateEmptyFrame");
    LispRegisterBuiltin(SetVector<&TZevLisp3DObj::Velocity>, "SetVelocity");
    LispRegisterBuiltin(SetVector<&TZevLisp3DObj::Rotation>, "SetRotation");
    LispRegisterBuiltin(SetPosition, "SetPosition");
    LispRegisterBuiltin(ZevLisp3DTest1, "ZevLisp3DTest1");
    LispRegisterBuiltin(ZevLisp3DTest0, "ZevLisp3DTest0");
    // Runs before the interpreter's own shut-down, which releases the objects' script values.
    std::atexit(FreeLisp3DObjRoot);
}
