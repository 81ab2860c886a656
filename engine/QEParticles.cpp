#include "QEParticles.h"

#include "LispArgs.h"
#include "LispLSObj.h"
#include "QEBodyState.h"
#include "QEContext.h"
#include "ZevFrame.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "QEBodies.h"
#include "ZevNameTable.h"
#include "ZevPhysicsSaveLoad.h"
#include "ZevTextureName.h"

#include <cmath>
#include <cstdlib>
#include <unordered_set>

TZevClassRecord TZevBBParticleClassRecord;
TZevClassRecord TZevGCParticleCFuncLIClassRecord;
TZevClassRecord TZevLispBBParticleClassRecord;

namespace {

// In [-1, 1], clustered round 0: the product of two uniform draws of the standard generator.
float RandomSpread()
{
    const double a = (std::rand() % 255) / 255.0;
    const double b = (std::rand() % 255) / 255.0;
    return static_cast<float>((a * 2.0 - 1.0) * (b * 2.0 - 1.0));
}

float Clamp01(float v)
{
    if (v < 0.0f)
        return 0.0f;
    if (v > 1.0f)
        return 1.0f;
    return v;
}

} // namespace

// ---- Emitter ---------------------------------------------------------------------------------------------------

namespace {

std::unordered_set<const void*>& LiveEmitters()
{
    static auto* live = new std::unordered_set<const void*>();
    return *live;
}

} // namespace

TZevBBParticle::TZevBBParticle()
{
    LiveEmitters().insert(this);
}

bool TZevBBParticle::IsLive(const void* p)
{
    return p && LiveEmitters().count(p) != 0;
}

TZevBBParticle::~TZevBBParticle()
{
    LiveEmitters().erase(this);
    delete[] Particles;
    Particles = nullptr;
}

void TZevBBParticle::FreeRecords()
{
    delete[] Particles;
    Particles = nullptr;
    TZevLBillBoard::FreeRecords();
}

bool TZevBBParticle::Resize(int32_t n)
{
    Cursor = 0;
    delete[] Particles;
    Particles = nullptr;
    if (n < 0 || n > ZevMaxBillBoardRecords || !TZevLBillBoard::Resize(n)) {
        TZevLBillBoard::FreeRecords();
        RecordCount = 0;
        return false;
    }
    if (n > 0)
        Particles = new TZevBBParticleItem[static_cast<std::size_t>(n)];
    for (int32_t i = 0; i < RecordCount; ++i)
        Records[i].Enabled = 0;
    return true;
}

void TZevBBParticle::StepParticles(float dt)
{
    if (!Particles)
        return;
    for (int32_t i = 0; i < RecordCount; ++i) {
        if (!Records[i].Enabled)
            continue;
        TZevBBParticleItem& p = Particles[i];
        const TZevVector drag(-p.Drag * p.Velocity.x, -p.Drag * p.Velocity.y, -p.Drag * p.Velocity.z);
        p.AddForceAt(drag, p.Position, dt);
        p.AddForceAt(p.ConstantForce, p.Position, dt);
        p.Integrate(dt);
        p.EndStep();
    }
}

void TZevBBParticle::UpdateRecords(float dt)
{
    if (!Particles)
        return;
    for (int32_t i = 0; i < RecordCount; ++i) {
        TZevLBillBoardRecord& r = Records[i];
        if (!r.Enabled)
            continue;
        TZevBBParticleItem& p = Particles[i];
        r.X = p.Position.x;
        r.Y = p.Position.y;
        r.Z = p.Position.z;
        r.Alpha = Clamp01(r.Alpha + p.AlphaRate * dt);
        r.Red = Clamp01(r.Red + p.RedRate * dt);
        r.Green = Clamp01(r.Green + p.GreenRate * dt);
        r.Blue = Clamp01(r.Blue + p.BlueRate * dt);
        r.Size = r.Size * std::pow(p.Growth, dt);
        p.Life = p.Life - dt;
        if (p.Life < 0.0f)
            r.Enabled = 0;
    }
}

void TZevBBParticle::Advance(float dt)
{
    StepParticles(dt);
    UpdateRecords(dt);
}

void TZevBBParticle::Emit(const TZevParticleEmission& e, int32_t count)
{
    if (!Particles || RecordCount <= 0)
        return;
    for (int32_t n = 0; n < count; ++n) {
        if (Cursor < 0 || Cursor >= RecordCount)
            Cursor = 0;
        TZevBBParticleItem& p = Particles[Cursor];
        // A fresh spread for each coordinate, drawn z first.
        const float pz = RandomSpread(), py = RandomSpread(), px = RandomSpread();
        p.Position = TZevVector(e.Centre.x + e.PositionSpread * px, e.Centre.y + e.PositionSpread * py,
                                e.Centre.z + e.PositionSpread * pz);
        p.PrevPosition = p.Position;
        const float vz = RandomSpread(), vy = RandomSpread(), vx = RandomSpread();
        p.Velocity = TZevVector(e.Velocity.x + e.VelocitySpread * vx, e.Velocity.y + e.VelocitySpread * vy,
                                e.Velocity.z + e.VelocitySpread * vz);
        p.PrevVelocity = p.Velocity;
        p.Force = p.StepForce = TZevVector();
        p.ConstantForce = e.ConstantForce;
        p.Drag = e.Drag;
        p.AlphaRate = e.AlphaRate;
        p.RedRate = e.RedRate;
        p.GreenRate = e.GreenRate;
        p.BlueRate = e.BlueRate;
        p.Growth = e.Growth;
        p.Life = e.Life;
        TZevLBillBoardRecord& r = Records[Cursor];
        r.X = p.Position.x;
        r.Y = p.Position.y;
        r.Z = p.Position.z;
        r.UA = 0.0f;
        r.VA = 0.0f;
        r.UB = 1.0f;
        r.VB = 1.0f;
        r.Size = e.Size + e.SizeSpread * RandomSpread();
        r.Enabled = 1;
        r.Red = e.Red;
        r.Green = e.Green;
        r.Blue = e.Blue;
        r.Alpha = e.Alpha;
        ++Cursor;
        if (Cursor >= RecordCount)
            Cursor = 0;
    }
}

// ---- Callback item and script object ---------------------------------------------------------------------------

namespace {

// Shows the emitter in `frame` (and nowhere else).
void ShowEmitter(TZevBBParticle* emitter, TZevFrame* frame)
{
    if (emitter->ShownIn == frame)
        return;
    if (emitter->ShownIn && emitter->ShownIn->Visuals.Remove(emitter))
        emitter->Release();
    emitter->ShownIn = frame;
    if (frame)
        frame->AddVisual(emitter);
}

} // namespace

namespace {

std::unordered_set<const void*>& LiveItems()
{
    static auto* live = new std::unordered_set<const void*>();
    return *live;
}

// Set by the script object's reader just before it reads an item's first occurrence: that item belongs to no body
// being loaded, so the object owns it and the physics load session never hears of it (a session would destroy it
// when some body of the same load ends its session).
bool gItemForScriptObject = false;

// The head of the reference record at the stream's position: size, id and, for a first occurrence in this table,
// the reader it names (0 otherwise). The position is kept.
bool PeekRef(TZevObjectIdTable* table, TZevStream* stream, std::uint32_t* size, std::uint32_t* id,
             TZevNameValue* reader)
{
    const std::int32_t at = stream->Tell();
    *reader = 0;
    bool ok = ReadUInt32(stream, size) && ReadUInt32(stream, id);
    if (ok && *size > 8 && *id != 0 && !table->Find(*id))
        ok = ReadRefReaderName(stream, reader);
    stream->Seek(at);
    return ok;
}

// Whether the base part of an item at the stream's position carries the empty user word (the item saves none):
// anything read in its place would be an object nobody owns. The position is kept.
bool UserWordIsEmpty(TZevStream* stream)
{
    const std::int32_t at = stream->Tell();
    TZevString function;
    std::uint32_t size = 0, id = 0;
    const bool ok = ReadString(stream, &function) && ReadUInt32(stream, &size) && ReadUInt32(stream, &id);
    stream->Seek(at);
    return ok && size == 8 && id == 0;
}

void LoadLog(const char* what)
{
    ZevDebugLog((TZevString("particle load: ") + what + "\n").CStr());
}

} // namespace

TZevGCParticleCFuncLI::TZevGCParticleCFuncLI()
{
    LiveItems().insert(this);
}

bool TZevGCParticleCFuncLI::IsLive(const void* p)
{
    return p && LiveItems().count(p) != 0;
}

// The body destroys its items before its frames, and a script object destroys its item while the body lives, so
// the frame that shows the emitter is still there.
TZevGCParticleCFuncLI::~TZevGCParticleCFuncLI()
{
    LiveItems().erase(this);
    if (Emitter) {
        ShowEmitter(Emitter, nullptr);
        Emitter->Release();
        Emitter = nullptr;
    }
}

TZevRefWriter TZevGCParticleCFuncLI::GetSaveFunction() const
{
    return TZevGCParticleCFuncLI_SaveFunction;
}

TZevRefReader TZevGCParticleCFuncLI::GetLoadFunction() const
{
    return TZevGCParticleCFuncLI_LoadFunction;
}

int TZevBBParticle_SaveFunction(TZevObjectIdTable*, TZevStream* stream, void* object)
{
    auto* emitter = static_cast<TZevBBParticle*>(static_cast<TZevLSObj*>(object));
    const char* texture = emitter->Texture ? emitter->Texture->Name.CStr() : nullptr;
    const bool ok = WriteCString(stream, texture ? texture : "") && WriteInt32(stream, emitter->RecordCount) &&
                    WriteInt32(stream, emitter->SavedWord1) && WriteInt32(stream, emitter->SavedWord2);
    return ok ? 1 : 0;
}

int TZevBBParticle_LoadFunction(TZevObjectIdTable*, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    TZevString texture;
    std::int32_t count = 0, word1 = 0, word2 = 0;
    if (!ReadString(stream, &texture) || !ReadInt32(stream, &count) || !ReadInt32(stream, &word1) ||
        !ReadInt32(stream, &word2) || count < 0 || count > ZevMaxBillBoardRecords)
        return 0;
    TZevLSObj* made = CreateObjectByName("TZevBBParticle");
    if (!made || made->GetClassRecord() != &TZevBBParticleClassRecord) {
        if (made)
            made->Release();
        return 0;
    }
    auto* emitter = static_cast<TZevBBParticle*>(made);
    emitter->SetTextureName(texture.CStr() ? texture.CStr() : "");
    if (!emitter->Resize(count)) {
        emitter->Release();
        return 0;
    }
    emitter->BillboardFlag = 1;
    emitter->SavedWord1 = word1;
    emitter->SavedWord2 = word2;
    *slot = emitter;
    return 1;
}

int TZevGCParticleCFuncLI_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    auto* item = static_cast<TZevGCParticleCFuncLI*>(static_cast<TZevLSObj*>(object));
    const int ok = ZevSaveCFuncItemPart(table, stream, item);
    return table->WriteRef(stream, TZevBBParticle_SaveFunction, TZevBBParticle_LoadFunction,
                           item->Emitter ? static_cast<TZevLSObj*>(item->Emitter) : nullptr) &&
                   ok
               ? 1
               : 0;
}

// The emitter is shown again by the item's first step, once the item's body is known.
int TZevGCParticleCFuncLI_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    const bool forScriptObject = gItemForScriptObject;
    gItemForScriptObject = false;
    if (!UserWordIsEmpty(stream)) {
        LoadLog("an emitter's callback item carries a user word");
        return 0;
    }
    TZevLSObj* made = CreateObjectByName("TZevGCParticleCFuncLI");
    if (!made || made->GetClassRecord() != &TZevGCParticleCFuncLIClassRecord) {
        if (made)
            made->Release();
        return 0;
    }
    auto* item = static_cast<TZevGCParticleCFuncLI*>(made);
    *slot = made;
    // An item of a body stays with the load session, which destroys it when the load fails; the script object's
    // own item is freed here.
    if (!forScriptObject)
        ZevNoteLoaded(table, made, ZevSavedCFuncItem);
    auto fail = [&](const char* what) {
        if (what)
            LoadLog(what);
        *slot = nullptr;
        if (forScriptObject)
            made->Release();
        return 0;
    };
    if (!ZevLoadCFuncItemPart(table, stream, item))
        return fail(nullptr);
    item->UserData = nullptr;
    // The emitter is written once, inside its item: only its first occurrence, made by the emitter's reader, is
    // taken (with the reader's reference).
    std::uint32_t size = 0, id = 0;
    TZevNameValue reader = 0;
    if (!PeekRef(table, stream, &size, &id, &reader))
        return fail("the stream ends before an item's emitter");
    if (id != 0 && (size <= 8 || reader != reinterpret_cast<TZevNameValue>(&TZevBBParticle_LoadFunction)))
        return fail("an item's emitter is no emitter of its own");
    void* read = table->ReadRef(stream);
    if (id != 0) {
        if (!TZevBBParticle::IsLive(read))
            return fail("an item's emitter cannot be read");
        auto* emitter = static_cast<TZevBBParticle*>(static_cast<TZevLSObj*>(read));
        emitter->Held = 1;
        item->Emitter = emitter;
        item->UserData = emitter;
    }
    return 1;
}

int TZevXPhBodyParticle_SaveFunction(TZevObjectIdTable* table, TZevStream* stream, void* object)
{
    auto* o = static_cast<TZevLSObj*>(object);
    TZevGCParticleCFuncLI* item =
        o && o->GetClassRecord() == &TZevLispBBParticleClassRecord ? static_cast<TZevLispBBParticle*>(o)->Item : nullptr;
    if (!item)
        return table->WriteRef(stream, TZevGCParticleCFuncLI_SaveFunction, TZevGCParticleCFuncLI_LoadFunction,
                               nullptr);
    return table->WriteRef(stream, item->GetSaveFunction(), item->GetLoadFunction(), static_cast<TZevLSObj*>(item));
}

// An object whose body had gone when it was saved reads back without an item. An item met before in the same load
// (read with its body) is taken unless another object holds it already.
int TZevXPhBodyParticle_LoadFunction(TZevObjectIdTable* table, TZevStream* stream, void** slot)
{
    *slot = nullptr;
    TZevLSObj* made = CreateObjectByName("TZevLispBBParticle");
    if (!made || made->GetClassRecord() != &TZevLispBBParticleClassRecord) {
        if (made)
            made->Release();
        return 0;
    }
    auto* object = static_cast<TZevLispBBParticle*>(made);
    auto fail = [&](const char* what) {
        LoadLog(what);
        made->Release();
        return 0;
    };
    std::uint32_t size = 0, id = 0;
    TZevNameValue reader = 0;
    if (!PeekRef(table, stream, &size, &id, &reader))
        return fail("the stream ends before a particle object's item");
    const bool first = size > 8 && id != 0;
    if (first && reader != reinterpret_cast<TZevNameValue>(&TZevGCParticleCFuncLI_LoadFunction))
        return fail("a particle object's item is of another kind");
    gItemForScriptObject = first;
    void* read = table->ReadRef(stream);
    gItemForScriptObject = false;
    if (id != 0) {
        if (!TZevGCParticleCFuncLI::IsLive(read))
            return fail("a particle object's item cannot be read");
        auto* item = static_cast<TZevGCParticleCFuncLI*>(static_cast<TZevLSObj*>(read));
        if (item->BackRef)
            return fail("two particle objects name one item");
        object->Item = item;
        item->BackRef = reinterpret_cast<void**>(&object->Item);
    }
    *slot = made;
    return 1;
}

TZevLispBBParticle::~TZevLispBBParticle()
{
    if (TZevGCParticleCFuncLI* item = Item) {
        Item = nullptr;
        item->BackRef = nullptr;
        delete item;
    }
}

void ZevXPhBodyParticleCFunc(TZevGameChara* body, void* emitter)
{
    auto* e = static_cast<TZevBBParticle*>(emitter);
    if (!body || !e)
        return;
    ShowEmitter(e, body->visualFrame);
    e->Placement = body->GetMatrix();
    e->Advance(StepSizePtr ? *StepSizePtr : 0.0f);
}

namespace {

bool gRegistered = false;

TZevLSObj* CreateBBParticle()
{
    return ZevCreateRegistered<TZevBBParticle>(&TZevBBParticleClassRecord);
}

TZevLSObj* CreateGCParticleItem()
{
    return ZevCreateRegistered<TZevGCParticleCFuncLI>(&TZevGCParticleCFuncLIClassRecord);
}

TZevLSObj* CreateLispBBParticle()
{
    return ZevCreateRegistered<TZevLispBBParticle>(&TZevLispBBParticleClassRecord);
}

template <class T> T* Create(const char* name, const TZevClassRecord* record)
{
    TZevLSObj* made = CreateObjectByName(name);
    if (made && made->GetClassRecord() == record)
        return static_cast<T*>(made);
    if (made)
        made->Release();
    return nullptr;
}

// A count below 1 gives no emitter: an emitter without records could never show a particle.
void XPhBodySetParticle(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevString name, texture;
    std::int32_t count = 0;
    TZevGameChara* body = QEParseBody(result, interp, args, "ossi", &name, &texture, &count);
    if (!body || !body->visualFrame || count < 1 || count > ZevMaxBillBoardRecords)
        return;
    auto* object = Create<TZevLispBBParticle>("TZevLispBBParticle", &TZevLispBBParticleClassRecord);
    auto* item = Create<TZevGCParticleCFuncLI>("TZevGCParticleCFuncLI", &TZevGCParticleCFuncLIClassRecord);
    auto* emitter = Create<TZevBBParticle>("TZevBBParticle", &TZevBBParticleClassRecord);
    if (!object || !item || !emitter || !emitter->Resize(count)) {
        if (object)
            object->Release();
        if (item)
            item->Release();
        if (emitter)
            emitter->Release();
        return;
    }
    object->Item = item;
    item->Emitter = emitter;
    emitter->Held = 1;
    emitter->SetTextureName(texture.CStr() ? texture.CStr() : "");
    emitter->BillboardFlag = 1;
    ShowEmitter(emitter, body->visualFrame);
    item->Name = name;
    item->UserData = emitter;
    item->Function = ZevXPhBodyParticleCFunc;
    item->BackRef = reinterpret_cast<void**>(&object->Item);
    body->AddCFuncItem(item);
    LispMakeLSObj(result, object, TZevXPhBodyParticle_LoadFunction, TZevXPhBodyParticle_SaveFunction);
    object->Release();
}

void XPhMakeParticle(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLSObj* o = nullptr;
    TZevParticleEmission e;
    std::int32_t count = 0;
    if (!LispParseArgs(interp, &args, "o(fff)f(fff)f(fff)f(ffff)(ffff)ffffi", &o, &e.Centre.x, &e.Centre.y,
                       &e.Centre.z, &e.PositionSpread, &e.Velocity.x, &e.Velocity.y, &e.Velocity.z,
                       &e.VelocitySpread, &e.ConstantForce.x, &e.ConstantForce.y, &e.ConstantForce.z, &e.Drag,
                       &e.Alpha, &e.Red, &e.Green, &e.Blue, &e.AlphaRate, &e.RedRate, &e.GreenRate, &e.BlueRate,
                       &e.Size, &e.SizeSpread, &e.Growth, &e.Life, &count)) {
        result = interp->ArgError;
        return;
    }
    TZevLispBBParticle* object =
        o && o->GetClassRecord() == &TZevLispBBParticleClassRecord ? static_cast<TZevLispBBParticle*>(o) : nullptr;
    if (!CurrentView || !object || !object->Item || !object->Item->Emitter) {
        result = Nil;
        return;
    }
    object->Item->Emitter->Emit(e, count);
    result = T;
}

} // namespace

void ZevEngineRegisterParticles()
{
    if (gRegistered)
        return;
    gRegistered = true;
    RegisterClassRecord(&TZevBBParticleClassRecord, "TZevBBParticle", "TZevLBillBoard", CreateBBParticle);
    RegisterClassRecord(&TZevGCParticleCFuncLIClassRecord, "TZevGCParticleCFuncLI", "TZevGameCharaCFuncListItem",
                        CreateGCParticleItem);
    RegisterClassRecord(&TZevLispBBParticleClassRecord, "TZevLispBBParticle", "TZevStringTree", CreateLispBBParticle);
    // A body callback, so that a saved body names it and its loaded items run it.
    ZevRegisterBodyCallback("ZevXPhBodyParticleCFunc", ZevXPhBodyParticleCFunc);
    TZevNameTable* d = GetSaveLoadFunctionDictionary();
    d->Add("TZevBBParticle_LoadFunction", TZevBBParticle_LoadFunction);
    d->Add("TZevBBParticle_SaveFunction", TZevBBParticle_SaveFunction);
    d->Add("TZevGCParticleCFuncLI_LoadFunction", TZevGCParticleCFuncLI_LoadFunction);
    d->Add("TZevGCParticleCFuncLI_SaveFunction", TZevGCParticleCFuncLI_SaveFunction);
    d->Add("TZevXPhBodyParticle_LoadFunction", TZevXPhBodyParticle_LoadFunction);
    d->Add("TZevXPhBodyParticle_SaveFunction", TZevXPhBodyParticle_SaveFunction);
    ZevRegisterCFuncItemReader(TZevGCParticleCFuncLI_LoadFunction);
    LispRegisterBuiltin(XPhBodySetParticle, "XPhBodySetParticle");
    LispRegisterBuiltin(XPhMakeParticle, "XPhMakeParticle");
}
