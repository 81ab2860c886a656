#include "ZevGMDemo.h"

#include "ZevFrame.h"
#include "ZevLispInterpreter.h"
#include "ZevLispSymbols.h"
#include "ZevMesh.h"
#include "ZevQueuedRenderer.h"
#include "ZevSceneSupport.h"
#include "ZevThread.h"

#include <cmath>
#include <cstring>
#include <mutex>

TZevGMDemo* CurrentGMDemo = nullptr;

namespace {

// The quad's corners: position, normal towards +z, texture coordinates (v grows downwards).
const TZevVertex QuadCorners[4] = {
    {-0.5f, -0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f},
    {-0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
    {0.5f, 0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f},
    {0.5f, -0.5f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f},
};

// a x b of row-major 3 x 3 matrices.
TZevMatrix3 Multiply(const TZevMatrix3& a, const TZevMatrix3& b)
{
    TZevMatrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[3 * i + j] = a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
    return r;
}

bool MakeQuad(TZevPolygonMesh* mesh)
{
    if (!mesh->SetFaceAndVertexCount(4, 2))
        return false;
    TZevMeshData* g = mesh->Geometry;
    std::memcpy(g->Vertices(), QuadCorners, sizeof QuadCorners);
    const std::uint16_t faces[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int f = 0; f < 2; ++f) {
        if (!g->SetFaceIndexCount(f, 3))
            return false;
        for (int k = 0; k < 3; ++k)
            g->Faces[f].Indices[k] = faces[f][k];
    }
    g->VertexCount = 4;
    g->FaceCount = 2;
    return true;
}

} // namespace

// ---- Sprite ----------------------------------------------------------------------------------------------------

TZevGMDemoSprite::TZevGMDemoSprite()
{
    std::memcpy(BaseCorners, QuadCorners, sizeof QuadCorners);
    TZevLSObj* made = CreateObjectByName("TZevPolygonMesh");
    Mesh = dynamic_cast<TZevPolygonMesh*>(made);
    if (Mesh == nullptr || !MakeQuad(Mesh)) {
        if (made != nullptr)
            made->Release();
        Mesh = nullptr;
        ZevDebugLog("GMDemo: the sprite quad could not be made\n");
        return;
    }
    TZevMaterial& m = Mesh->Material;
    const float diffuse[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    std::memcpy(m.Diffuse, diffuse, sizeof diffuse);
    std::memcpy(m.Ambient, ambient, sizeof ambient);
    std::memset(m.Specular, 0, sizeof m.Specular);
    m.Power = 0.0f;
    Mesh->Translucent = 1;
    Mesh->Changed = 1;
}

TZevGMDemoSprite::~TZevGMDemoSprite()
{
    if (Mesh != nullptr)
        Mesh->Release();
}

void TZevGMDemoSprite::Update(float dt)
{
    const float a = AngularVelocity * dt;
    const TZevMatrix3 t(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, VelocityX * dt, VelocityY * dt, 1.0f);
    const TZevMatrix3 r(std::cos(a), std::sin(a), 0.0f, -std::sin(a), std::cos(a), 0.0f, 0.0f, 0.0f, 1.0f);
    const TZevMatrix3 s(std::pow(ScaleRateX, dt), 0.0f, 0.0f, 0.0f, std::pow(ScaleRateY, dt), 0.0f, 0.0f, 0.0f,
                        1.0f);
    // Scaling in the sprite's own axes, turning and moving in the screen's.
    Transform = Multiply(Multiply(Multiply(s, Transform), r), t);
    if (Mesh == nullptr)
        return;
    TZevVertex* v = Mesh->Geometry->Vertices();
    const float* m = Transform.m;
    for (int k = 0; k < 4; ++k) {
        const float bx = BaseCorners[k].x;
        const float by = BaseCorners[k].y;
        v[k].x = bx * m[0] + by * m[3] + m[6];
        v[k].y = bx * m[1] + by * m[4] + m[7];
    }
    Alpha += dt * 1000.0f * AlphaRate;
    if (Alpha < 0.0f) {
        Alpha = 0.0f;
        for (int k = 0; k < 4; ++k)
            v[k].x = v[k].y = 0.0f;
    } else if (Alpha > 1.0f) {
        Alpha = 1.0f;
    }
    FadeTimeLeft -= dt * 1000.0f;
    if (FadeTimeLeft <= 0.0f) {
        AlphaRate = 0.0f;
        FadeTimeLeft = 0.0f;
    }
    Mesh->Material.Diffuse[3] = Alpha;
    Mesh->Material.Ambient[3] = Alpha;
    Mesh->Changed = 1;
}

// ---- Scene -----------------------------------------------------------------------------------------------------

TZevGMDemo::TZevGMDemo()
{
    ShowFps = 0;
    if (CurrentGMDemo != nullptr)
        ZevDebugLog("GMDemoが二重に起動しています\n");
    CurrentGMDemo = this;
}

TZevGMDemo::~TZevGMDemo()
{
    FreeSprites();
    if (CurrentGMDemo == this)
        CurrentGMDemo = nullptr;
    CommandList.Clear();
}

double TZevGMDemo::Now() const { return Clock ? Clock() : GetElapsedMilliseconds(); }

void TZevGMDemo::Init(TZevQueuedRenderer* renderer, std::uint8_t* keys, TZevFrame* root, TZevFrame* camera,
                      std::int32_t* quitFlag)
{
    TZevGMBase::Init(renderer, keys, root, camera, quitFlag);
    Finished = 0;
    if (renderer != nullptr)
        renderer->AddText((Directory + TZevString("objects/")).CStr());
    // The frame comes before the command file, so that a file that loads sprites at once has a place for them.
    SpriteFrame = root != nullptr ? ZevNewFrame() : nullptr;
    if (SpriteFrame != nullptr) {
        SpriteFrame->LocalMatrix = TZevMatrix();
        root->AddChild(SpriteFrame);
    }
    if (Interpreter != nullptr) {
        Interpreter->SendCommand("(cons 'a 'b)");
        const TZevString load = TZevString("(Load \"") + CommandFileName + TZevString("\")");
        Interpreter->SendCommand(load.CStr());
        Interpreter->SendCommand("(Sprite_Get_Comand_Data Zev_Demo_Comand_Data_Stream)");
    }
    ZevSetSceneLight(renderer, 1.0f, 0.5f, 1.0f);
    StartTime = LastTime = Now();
}

void TZevGMDemo::Shutdown()
{
    if (Interpreter != nullptr)
        Interpreter->SendCommand("(def Zev_Demo_Comand_Data_Stream nil)");
    FreeSprites();
}

void TZevGMDemo::FreeSprites()
{
    for (std::int32_t i = 0; i < SpriteCount; ++i)
        delete Sprites[i];
    ZevFree(Sprites);
    Sprites = nullptr;
    SpriteCount = 0;
}

TZevGMDemoSprite* TZevGMDemo::SpriteAt(std::int32_t index) const
{
    return index >= 0 && index < SpriteCount ? Sprites[index] : nullptr;
}

bool TZevGMDemo::GrowTable(std::int32_t index)
{
    if (index < SpriteCount)
        return true;
    const std::int32_t count = index + 1;
    auto* grown = static_cast<TZevGMDemoSprite**>(ZevAlloc(sizeof(TZevGMDemoSprite*) * count));
    if (grown == nullptr)
        return false;
    for (std::int32_t i = 0; i < count; ++i)
        grown[i] = i < SpriteCount ? Sprites[i] : nullptr;
    ZevFree(Sprites);
    Sprites = grown;
    SpriteCount = count;
    return true;
}

void TZevGMDemo::Step()
{
    const double now = Now();
    const float dt = static_cast<float>((now - LastTime) * 0.001);
    LastTime = now;
    const double elapsed = now - StartTime;
    while (LispIsPair(CommandList)) {
        const TZevLispRef entry = LispPair(CommandList)->Car;
        if (!LispIsPair(entry))
            break;
        const TZevLispRef& time = LispPair(entry)->Car;
        double at = 0.0;
        if (LispIsFloat(time))
            at = static_cast<TZevLispFloat*>(time.Get())->Value;
        else if (LispIsInteger(time))
            at = static_cast<TZevLispInteger*>(time.Get())->Value;
        else
            break;
        if (at > elapsed)
            break;
        const TZevLispRef rest = LispPair(entry)->Cdr;
        if (!LispIsPair(rest) || !LispIsPair(LispPair(rest)->Car))
            break;
        const TZevLispRef form = LispPair(rest)->Car;
        // The rest of the list is taken first: the form may hand the demo a new list.
        const TZevLispRef remaining = LispPair(CommandList)->Cdr;
        CommandList = remaining;
        if (Interpreter != nullptr) {
            TZevLispRef result;
            Interpreter->Eval(result, form);
            // The result is dropped; a failing command is only written down for the author of the file.
            if (LispIsError(result)) {
                TZevStringList& lines = static_cast<TZevLispError*>(result.Get())->Message;
                const TZevString line = TZevString("GMDemo: the command at ") +
                                        TZevString(ZevFormatFloat(at).c_str()) + TZevString(" ms failed: ") +
                                        TZevString(lines.GetCount() > 0 ? lines.GetAt(0) : "") + TZevString("\n");
                ZevDebugLog(line.CStr());
            }
        }
    }
    if (!LispIsPair(CommandList))
        Finished = 1;
    for (std::int32_t i = 0; i < SpriteCount; ++i)
        if (Sprites[i] != nullptr)
            Sprites[i]->Update(dt);
}

// ---- Builtins --------------------------------------------------------------------------------------------------

namespace {

// Evaluates exactly n argument forms from left to right; false with the first error (an argument's own, or too
// few or too many arguments) in `result`.
bool EvalArgs(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args, TZevLispRef* values, int n)
{
    for (int i = 0; i < n; ++i) {
        if (i == 0)
            LispFirstArg(values[i], args);
        else
            LispPopArg(values[i], args);
        interp->Eval(values[i], values[i]);
        if (LispIsError(values[i])) {
            result = values[i];
            return false;
        }
    }
    TZevLispRef check;
    LispCheckNoMoreArgs(check, args);
    if (LispIsError(check)) {
        result = check;
        return false;
    }
    return true;
}

bool CheckDemo(TZevLispRef& result)
{
    if (CurrentGMDemo != nullptr)
        return true;
    LispMakeError(result, "GMDemo isnt Inited!");
    return false;
}

// Makes room for a sprite number in the current demo's table. A negative number, or one beyond the table's
// bound, is refused (false, the error in `result`) before anything is written.
bool TakeSlot(TZevLispRef& result, std::int32_t index)
{
    if (index < 0 || index >= MaxGMDemoSprites) {
        LispMakeError(result, "Bad Sprite Index!");
        return false;
    }
    if (!CurrentGMDemo->GrowTable(index)) {
        LispMakeError(result, "Out Of Memory!");
        return false;
    }
    return true;
}

// The arguments of a sprite builtin: an index, then `floats` floats; the index's slot made. False with the error
// in `result`.
bool SpriteArgs(TZevLispRef& result, TZevLispInterpreter* interp, const TZevLispRef& args, std::int32_t* index,
                double* numbers, int floats)
{
    TZevLispRef values[8];
    if (!EvalArgs(result, interp, args, values, 1 + floats) || !CheckDemo(result))
        return false;
    bool typed = LispIsInteger(values[0]);
    for (int i = 0; i < floats; ++i)
        typed = typed && LispIsFloat(values[1 + i]);
    if (!typed) {
        LispMakeError(result, "Bad Variable Type!");
        return false;
    }
    *index = static_cast<TZevLispInteger*>(values[0].Get())->Value;
    for (int i = 0; i < floats; ++i)
        numbers[i] = static_cast<TZevLispFloat*>(values[1 + i].Get())->Value;
    return TakeSlot(result, *index);
}

// The sprite of an index argument that must already be loaded.
TZevGMDemoSprite* LoadedSprite(TZevLispRef& result, std::int32_t index)
{
    TZevGMDemoSprite* sprite = CurrentGMDemo->SpriteAt(index);
    if (sprite == nullptr)
        LispMakeError(result, "The Sprite isnt Inited!");
    return sprite;
}

void SpriteGetCommandData(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef list;
    if (!EvalArgs(result, interp, args, &list, 1) || !CheckDemo(result))
        return;
    CurrentGMDemo->CommandList = list;
    result = Nil;
}

void SpriteLoad(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    TZevLispRef values[2];
    if (!EvalArgs(result, interp, args, values, 2) || !CheckDemo(result))
        return;
    if (!LispIsInteger(values[0]) || !LispIsString(values[1])) {
        LispMakeError(result, "Bad Variable Type!");
        return;
    }
    const std::int32_t index = static_cast<TZevLispInteger*>(values[0].Get())->Value;
    if (!TakeSlot(result, index))
        return;
    TZevGMDemo* demo = CurrentGMDemo;
    TZevGMDemoSprite*& slot = demo->Sprites[index];
    if (slot == nullptr) {
        slot = new TZevGMDemoSprite;
        // Later sprites are drawn larger: 1 % per number.
        const float grow = 1.0f + 0.01f * static_cast<float>(index);
        for (TZevVertex& corner : slot->BaseCorners) {
            corner.x *= grow;
            corner.y *= grow;
            corner.z *= grow;
        }
        if (slot->Mesh != nullptr && demo->SpriteFrame != nullptr)
            demo->SpriteFrame->AddVisual(slot->Mesh);
    }
    if (slot->Mesh != nullptr) {
        const char* name = static_cast<TZevLispString*>(values[1].Get())->Text.CStr();
        slot->Mesh->SetTextureName(name ? name : "");
    }
    result = Nil;
}

void SpriteSetPos(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t index = 0;
    double v[6];
    if (!SpriteArgs(result, interp, args, &index, v, 6))
        return;
    TZevGMDemoSprite* sprite = LoadedSprite(result, index);
    if (sprite == nullptr)
        return;
    sprite->Transform = TZevMatrix3(static_cast<float>(v[0]), static_cast<float>(v[1]), 0.0f,
                                    static_cast<float>(v[2]), static_cast<float>(v[3]), 0.0f,
                                    static_cast<float>(v[4]), static_cast<float>(v[5]), 1.0f);
    result = Nil;
}

void SpriteSetVelocity(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t index = 0;
    double v[5];
    if (!SpriteArgs(result, interp, args, &index, v, 5))
        return;
    TZevGMDemoSprite* sprite = LoadedSprite(result, index);
    if (sprite == nullptr)
        return;
    sprite->VelocityX = static_cast<float>(v[0]);
    sprite->VelocityY = static_cast<float>(v[1]);
    sprite->AngularVelocity = static_cast<float>(v[2]);
    sprite->ScaleRateX = static_cast<float>(v[3]);
    sprite->ScaleRateY = static_cast<float>(v[4]);
    result = Nil;
}

void SpriteSetAlpha(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t index = 0;
    double v[2];
    if (!SpriteArgs(result, interp, args, &index, v, 2))
        return;
    TZevGMDemoSprite* sprite = LoadedSprite(result, index);
    if (sprite == nullptr)
        return;
    const float target = static_cast<float>(v[0]);
    const float duration = static_cast<float>(v[1]);
    if (duration == 0.0f) {
        LispMakeError(result, "Zero Divide!");
        return;
    }
    sprite->AlphaRate = (target - sprite->Alpha) / duration;
    sprite->FadeTimeLeft = duration;
    result = Nil;
}

} // namespace

void ZevGMDemoInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        LispRegisterBuiltin(SpriteGetCommandData, "Sprite_Get_Comand_Data");
        LispRegisterBuiltin(SpriteLoad, "Sprite_Load");
        LispRegisterBuiltin(SpriteSetPos, "Sprite_SetPos");
        LispRegisterBuiltin(SpriteSetVelocity, "Sprite_SetVelocity");
        LispRegisterBuiltin(SpriteSetAlpha, "Sprite_SetAlpha");
    });
}
