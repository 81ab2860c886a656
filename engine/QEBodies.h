// Script-side wrappers of bodies and joints, the creation, loading, deletion and files of bodies, and the object
// search directories.
#pragma once

#include "ZevGameChara.h"
#include "ZevLispObj.h"
#include "ZevTree.h"

class TZevJoint;
class TZevLispInterpreter;

// What a script holds for a body: the script value of a body wraps one of these. The body clears Body when it
// goes, so a wrapper can outlive its body.
class TZevLispXPhBody : public TZevScriptBody {
public:
    TZevLispXPhBody();
    // A body that a script made and that lies in no world or in the current one goes with its wrapper; any
    // other body only forgets the wrapper. Then the wrapper leaves XPhBodyList.
    ~TZevLispXPhBody() override;
    // The kept result goes with the body: it may hold this wrapper's own script value (a script function that
    // returns its body), a cycle that nothing else would break.
    void ForgetBody() override;

    TZevString Name;
    TZevListNode* ListNode = nullptr; // in XPhBodyList
    bool OwnsBody = false;            // a builtin made the body (the body is script-owned)
    TZevLispRef Result;               // what the body's script function returned last
};

// What a script holds for a joint. The joint belongs to its bodies: the wrapper never destroys it.
class TZevLispXPhJoint : public TZevStringTree {
public:
    TZevLispXPhJoint();
    // Leaves XPhJointList.
    ~TZevLispXPhJoint() override;

    TZevJoint* Joint = nullptr;
    TZevListNode* ListNode = nullptr; // in XPhJointList
};

extern TZevClassRecord TZevLispXPhBodyClassRecord;
extern TZevClassRecord TZevLispXPhJointClassRecord;

// A new wrapper of each kind made by its registered class (listed, count 1 for the caller); null without memory.
TZevLispXPhBody* NewLispXPhBody(TZevGameChara* body);
TZevLispXPhJoint* NewLispXPhJoint(TZevJoint* joint);

// The body a script value stands for: the value wraps a TZevLispXPhBody (exactly that class) whose body is alive;
// null otherwise.
TZevGameChara* QEScriptBody(TZevLSObj* object);
TZevLispXPhBody* QEScriptBodyWrapper(TZevLSObj* object);
// The joint wrapper a script value stands for (exactly that class), or null.
TZevLispXPhJoint* QEScriptJointWrapper(TZevLSObj* object);

// The one script value of a body: the one it keeps, or a new wrapper (listed, kept in the body) on first demand.
// Empty when `body` is null.
void GetXPhBodyLispObj(TZevLispRef& out, TZevGameChara* body);
// Wraps a body made by a builtin: script-owned, a new wrapper and value with the wrapper's named functions, kept
// as the body's script value.
void QEWrapNewBody(TZevLispRef& out, TZevGameChara* body);
// A joint wrapper value with the joint wrapper's named functions (the joint may be null).
void QEWrapJoint(TZevLispRef& out, TZevJoint* joint);

// The search of a model file: the name itself, then each directory of ObjectPathList put in front of it; the first
// body made, or null.
TZevGameChara* QELoadBodyFromSearch(const char* fileName);
// The first existing file of the same search (name itself, then each directory), or the null string.
TZevString QEFindObjectFile(const char* fileName);
// The body and the bodies below it that share its rigid part each take their own part again.
void QEGiveOwnParts(TZevGameChara* body);
// Mass 1, the inertia of the box around the body, the air resistance, normals, enabled.
void QEPrepareNewBody(TZevGameChara* body, float airResistance);
// The inertia tensor of a solid box around the body's bounding box (half extents measured from its position).
TZevMatrix3 QEBoxInertia(TZevGameChara* body, float mass);

// Registers the wrapper classes, their named load and save functions and the body builtins. Runs once.
void ZevEngineRegisterBodies();
