// Billboard particle emitters attached to bodies: a pre-lit billboard whose sprites are driven by point-mass
// particles, a body callback item that moves the emitter with its body and steps it once per world step, and the
// script object that holds the item.
#pragma once

#include "ZevBillBoard.h"
#include "ZevGameChara.h"
#include "ZevPhscs2Obj.h"
#include "ZevTree.h"

#include <cstdint>

class TZevFrame;

// One particle of an emitter: a point mass with its own life, colour rates, growth, drag and constant force.
class TZevBBParticleItem : public TZevPhscs2Particle {
public:
    float Life = -1.0f;
    float AlphaRate = 0.0f;
    float RedRate = 0.0f;
    float GreenRate = 0.0f;
    float BlueRate = 0.0f;
    float Growth = 1.0f; // size factor per second
    float Drag = 0.0f;
    TZevVector ConstantForce;
};

// What one emission gives each particle.
struct TZevParticleEmission {
    TZevVector Centre;
    float PositionSpread = 0.0f;
    TZevVector Velocity;
    float VelocitySpread = 0.0f;
    TZevVector ConstantForce;
    float Drag = 0.0f;
    float Alpha = 1.0f, Red = 1.0f, Green = 1.0f, Blue = 1.0f;
    float AlphaRate = 0.0f, RedRate = 0.0f, GreenRate = 0.0f, BlueRate = 0.0f;
    float Size = 1.0f;
    float SizeSpread = 0.0f;
    float Growth = 1.0f;
    float Life = 0.0f;
};

class TZevBBParticle : public TZevLBillBoard {
public:
    TZevBBParticle();
    ~TZevBBParticle() override;

    // Whether `p` is a live emitter (a saved item's reference is checked before it is used as one).
    static bool IsLive(const void* p);

    // Also frees the particles.
    void FreeRecords() override;
    // n particles and n hidden records; the emission cursor back to the first. False (nothing left) as the
    // billboard's Resize.
    bool Resize(int32_t n) override;
    // Drag and constant force on every live particle, then its integration over dt.
    virtual void StepParticles(float dt);
    // Records follow their particles: position, colour by its rates (held in [0, 1]), size by the growth factor
    // to the power dt; a record whose life runs out is hidden.
    virtual void UpdateRecords(float dt);
    virtual void Advance(float dt);
    // Emits `count` particles from the cursor on, the oldest ones restarting when it wraps; nothing for an
    // emitter without records.
    void Emit(const TZevParticleEmission& e, int32_t count);

    int32_t Cursor = 0;
    TZevBBParticleItem* Particles = nullptr; // RecordCount of them, owned
    TZevFrame* ShownIn = nullptr;            // the frame whose visuals hold the emitter, or null
    int32_t Held = 0;                        // 1 once an item holds it
};

// The callback item that carries an emitter on a body.
class TZevGCParticleCFuncLI : public TZevGameCharaCFuncListItem {
public:
    TZevGCParticleCFuncLI();
    // Takes the emitter out of the frame's visuals and releases it.
    ~TZevGCParticleCFuncLI() override;

    // Whether `p` is a live item (a reference read from a stream is checked before it is used as one).
    static bool IsLive(const void* p);

    // Saved with a body: the base part, then the emitter.
    TZevRefWriter GetSaveFunction() const override;
    TZevRefReader GetLoadFunction() const override;

    TZevBBParticle* Emitter = nullptr; // one reference
};

// The script object of an emitter: it holds the body's callback item (cleared when the body destroys it). An
// object read from saved values without the body that holds its item owns the item (which then never steps).
class TZevLispBBParticle : public TZevStringTree {
public:
    TZevLispBBParticle() = default;
    // Destroys the item (which leaves the body).
    ~TZevLispBBParticle() override;

    TZevGCParticleCFuncLI* Item = nullptr;
};

extern TZevClassRecord TZevBBParticleClassRecord;
extern TZevClassRecord TZevGCParticleCFuncLIClassRecord;
extern TZevClassRecord TZevLispBBParticleClassRecord;

// The per-step call of an item: the emitter is shown in the body's frame, takes the body's matrix and advances
// by the step size.
void ZevXPhBodyParticleCFunc(TZevGameChara* body, void* emitter);

// An emitter's saved form: texture name, record count and the billboard's two saved words (the particles and
// records start afresh). An item's saved form: the base part of a callback item, then its emitter.
int TZevBBParticle_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* emitter);
int TZevBBParticle_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
int TZevGCParticleCFuncLI_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* item);
int TZevGCParticleCFuncLI_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);
// The script object's saved form (its script value is saved under this name): its item as a shared reference, so
// that an object saved with the body that holds its item reads back holding that body's item.
int TZevXPhBodyParticle_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object);
int TZevXPhBodyParticle_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot);

// Registers the classes, the named functions and the builtins "XPhBodySetParticle" and "XPhMakeParticle". Runs
// once; later calls do nothing.
void ZevEngineRegisterParticles();
