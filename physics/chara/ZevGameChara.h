// Game character: the engine body that scripts and the exported interface address. A collision body with a
// rigid-body part (or a deformable part), its attachment to a parent character (rigidly, sharing the parent's
// part, or through a joint), a list of callback functions and a script function that run after every world step.
#pragma once

#include "ZevCollisionMeshObj.h"
#include "ZevJoint.h"
#include "ZevLispObj.h"
#include "ZevPhscs2RigidBody.h"

#include <cstdint>

class TZevGameChara;

// A per-step callback: called with the body and the item's user word.
using TZevGameCharaCFunc = void (*)(TZevGameChara* body, void* user);

// One callback of a body. The body owns its items; an item's destructor takes it out of the body's list and
// clears the back-reference it was given.
class TZevGameCharaCFuncListItem : public TZevLSObj {
public:
    TZevGameCharaCFuncListItem();
    ~TZevGameCharaCFuncListItem() override;

    // The hooks a saved body writes the item with. A derived item returns its own pair: its writer calls
    // ZevSaveCFuncItemPart and adds its fields, its reader makes the derived item, calls ZevNoteLoaded(table,
    // item, ZevSavedCFuncItem) and ZevLoadCFuncItemPart, then reads its fields; the reader is registered in the
    // save/load dictionary and with ZevRegisterCFuncItemReader.
    virtual TZevRefWriter GetSaveFunction() const;
    virtual TZevRefReader GetLoadFunction() const;

    TZevString Name = "";
    void* UserData = nullptr; // pointer-sized user word
    TZevGameCharaCFunc Function = nullptr;
    TZevRefWriter SaveUserData = nullptr; // writer and reader of the user word in a saved body
    TZevRefReader LoadUserData = nullptr;
    TZevListNode* Node = nullptr;         // in the owner's CFuncItems
    void** BackRef = nullptr;             // set to null by the destructor
};

// A new item (count 1, owned by the caller until a body takes it).
TZevGameCharaCFuncListItem* ZevNewCFuncItem(const char* name, TZevGameCharaCFunc function, void* user);

// The deformable part of a soft body: the step integrates it instead of the rigid part.
class TZevDeformPart : public TZevAllocated {
public:
    virtual ~TZevDeformPart() = default;
    // Adds the body's accumulated torque and force (with the damping term) and gravity to every particle.
    virtual void ApplyForces(const TZevVector& torque, const TZevVector& force, float linearDamping, float gravity)
    {
        (void)torque;
        (void)force;
        (void)linearDamping;
        (void)gravity;
    }
    virtual void Step(float dt) { (void)dt; }
    virtual void EndStep(float dt) { (void)dt; }
    // Moves every particle and node by the matrix.
    virtual void Transform(const TZevMatrix& m) { (void)m; }
};

// Where a joint attaches a child: pivot, axis and reference direction in the parent part's coordinates, and the
// distance of the outer links.
struct TZevJointSettings {
    TZevVector Pivot;
    TZevVector Axis = TZevVector(0.0f, 0.0f, 1.0f);
    TZevVector Reference = TZevVector(1.0f, 0.0f, 0.0f);
    float Size = 1.0f;
};

class TZevGameChara : public TZevCollisionMeshObj {
public:
    TZevGameChara();
    // Ends a callback walk of the body in progress, deletes the bodies below it, leaves every attachment,
    // destroys the callback items and the deformable part, releases the script side, detaches the body's links
    // and contact records, and only then destroys the rigid part.
    ~TZevGameChara() override;

    // In the tree's step order: the hook is ApplyExternalForces, the world matrix update is the character's Step.
    void StepHook(float dt) override { ApplyExternalForces(dt); }
    void UpdateWorldMatrix(float dt) override { Step(dt); }
    void AdvanceStep(float dt) override;
    bool ClearNodes(TZevMeshData* newMesh) override;
    // The callback walk: every callback item from the front, then the script function.
    void StepCallback() override;
    std::int32_t SetDynamic(std::int32_t flag) override;
    std::int32_t SetFixed(std::int32_t flag) override;
    void AlignToPart() override;
    void ResetPartMotion() override;
    void SetMatrixValues(TZevMatrix m) override;
    TZevCollisionMeshObj* CreateFromFrame(TZevFrame* frame, TZevBodyFactory factory, void* argument) override;
    void MoveToParent(TZevCollisionMeshObj* child) override;
    // Leaves the parent character: attachments and the joint go, the own part moves the body again.
    void LeaveParent() override;

    // Gravity, damping and the accumulated force and torque handed to the part.
    virtual void ApplyExternalForces(float dt);
    // Integrates the part and places the body after it.
    virtual void Step(float dt);
    // Mass m with the inertia of a sphere of radius 4.
    virtual void SetMass(float m);
    // Destroys the old deformable part; null makes the body rigid again.
    virtual void SetDeformPart(TZevDeformPart* part);
    // Takes the item (and the caller's reference); an item of the same name is replaced.
    virtual void AddCFuncItem(TZevGameCharaCFuncListItem* item);
    // As SetMatrixValues for a rigid body, then Step(0), and the child characters follow by PlaceAt.
    virtual void PlaceAt(TZevMatrix m);
    // The control law of the special characters: the key table of 256 bytes (non-zero = down).
    virtual void KeyControl(const unsigned char* keys) { (void)keys; }
    virtual TZevJoint* AttachChildByJointHere(TZevGameChara* child, const TZevJointSettings& settings);
    virtual TZevJoint* AttachChildByJointAt(TZevGameChara* child, const TZevJointSettings& settings,
                                            const TZevMatrix& frame);
    // Attaches the child keeping its own part and joins the two parts; null when they share their part already.
    virtual TZevJoint* AttachChildByJoint(TZevGameChara* child, const TZevJointSettings& settings,
                                          const TZevMatrix& frame);

    // The gravity of the body's world, 0 outside one.
    float WorldGravity() const;
    // The body's matrix from its part's pose, PartOffset and the parent's world matrix.
    TZevMatrix MatrixFromPart() const;
    // The part's pose that puts the body's matrix at m: inverse(PartOffset) m, in world terms.
    TZevMatrix PartPoseFor(const TZevMatrix& m) const;
    // The item named `name`, or null.
    TZevGameCharaCFuncListItem* FindCFuncItem(const char* name) const;
    // Makes `child` a child of this body attached to it (leaving any earlier attachment); with `share` it moves
    // with this body's part.
    void AdoptChild(TZevGameChara* child, bool share);

    std::int32_t Reserved10 = 10;
    std::int32_t Reserved3 = 3;
    TZevGameChara* AttachParent = nullptr;
    std::int32_t GravityOn = 1;
    std::int32_t* StopFlagSlot = nullptr;
    TZevVector TorqueAccumulator;
    TZevVector ForceAccumulator;
    float LinearDamping = 0.05f;
    float QuadraticDamping = 0.0f;
    TZevMatrix PartOffset;
    TZevDeformPart* DeformPart = nullptr;     // owned
    TZevPhscs2RigidBody* RigidPart = nullptr; // owned
    TZevPhscs2RigidBody* MainPart = nullptr;  // RigidPart, or the parent's part while attached rigidly
    TZevJoint* ParentJoint = nullptr;
    TZevList CFuncItems;                      // owned items, newest first
    std::int32_t ScriptFunctionSet = 0;
    TZevLispRef ScriptFunction;
    TZevLispRef ScriptData;
    TZevLispRef ScriptWrapper;

private:
    void RunScriptFunction();
    // Both vertex arrays at the body's new place, with no contact hit left from before the move.
    void SettleAfterMove();

    TZevGameCharaCFuncListItem* RunningItem = nullptr;  // the item whose function runs now
    TZevGameCharaCFuncListItem* ReplacedItem = nullptr; // replaced while it ran: deleted when it returns
};

// The body as a character, or null when it is of another class.
TZevGameChara* ZevAsGameChara(TZevCollisionMeshObj* body);

// The character factory: a character with the holder's collision geometry (none without a source mesh) at the
// holder frame's matrix; with a body as argument the new character is attached to it.
TZevCollisionMeshObj* CreateGameChara(TZevFrame* holder, TZevPolygonMesh* source, void* argument);
// What every character factory does with its new character: the holder's collision geometry, the holder frame's
// matrix and the attachment to a body argument.
TZevCollisionMeshObj* ZevSetUpGameChara(TZevGameChara* chara, TZevFrame* holder, TZevPolygonMesh* source,
                                        void* argument);

// The script side of a body: the object a script wrapper holds for a character. The engine's script body class
// derives from it; the character clears Body when it goes.
class TZevScriptBody : public TZevLSObj {
public:
    // Called by the character as it goes: the script side lets go of it and of what it kept for it.
    virtual void ForgetBody() { Body = nullptr; }

    TZevGameChara* Body = nullptr;
};

// Installed by the script bindings: makes the script body of `body` (Body set, listed in the program's list of
// script bodies) with one reference for the caller; null when it cannot. With no factory installed a character
// never calls its script function.
using TZevScriptBodyFactory = TZevScriptBody* (*)(TZevGameChara* body);
extern TZevScriptBodyFactory ZevScriptBodyFactory;
// The named functions a character's script wrapper carries for the value stream.
extern TZevRefReader ZevScriptBodyLoadFunction;
extern TZevRefWriter ZevScriptBodySaveFunction;

// Start-up: the callback-item class and the stream hooks of characters and items. Later calls do nothing.
void ZevGameCharaInit();
