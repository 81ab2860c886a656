// Particle objects in saved script values and body files.
#include "QEParticles.h"
#include "test_camera_fixture.h"
#include "../common/TestFiles.h"

#include "LispStream.h"
#include "QEBodies.h"
#include "ZevPhysicsSaveLoad.h"
#include "ZevStream.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class ParticleValueTest : public EngineScriptTest {
protected:
    void SetUp() override
    {
        EngineScriptTest::SetUp();
        CurrentView = &view;
        Run("(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
        ASSERT_EQ(Run("(def e (XPhBodySetParticle b \"smoke\" \"blue.BMP\" 5))"), "e\n");
        emitter = Particle("e")->Item->Emitter;
        emitter->SavedWord1 = 17;
        emitter->SavedWord2 = -4;
    }
    TZevLispBBParticle* Particle(const char* variable)
    {
        TZevLSObj* o = Object(variable);
        return o && o->GetClassRecord() == &TZevLispBBParticleClassRecord ? static_cast<TZevLispBBParticle*>(o)
                                                                           : nullptr;
    }
    // The loaded item matches the one of the body made in SetUp.
    void ExpectSameItem(const TZevGCParticleCFuncLI* item)
    {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->Name, TZevString("smoke"));
        EXPECT_EQ(item->Function, &ZevXPhBodyParticleCFunc);
        ASSERT_NE(item->Emitter, nullptr);
        EXPECT_NE(item->Emitter, emitter);
        EXPECT_EQ(item->UserData, item->Emitter);
        EXPECT_EQ(item->Emitter->RecordCount, 5);
        EXPECT_STREQ(item->Emitter->Texture->Name.CStr(), "blue.BMP");
        EXPECT_EQ(item->Emitter->BillboardFlag, 1);
        EXPECT_EQ(item->Emitter->SavedWord1, 17);
        EXPECT_EQ(item->Emitter->SavedWord2, -4);
        EXPECT_EQ(item->Emitter->Held, 1);
    }
    static constexpr const char* Emit =
        "(XPhMakeParticle %s '(0 0 0) 0 '(0 1 0) 0 '(0 0 0) 0 '(1 1 1 1) '(0 0 0 0) 1 0 1 2 3)";
    std::string EmitInto(const char* variable)
    {
        char text[200];
        std::snprintf(text, sizeof text, Emit, variable);
        return Run(text);
    }

    TZevBBParticle* emitter = nullptr;
};

TEST_F(ParticleValueTest, AloneItComesBackWithItsOwnItem)
{
    ASSERT_EQ(Run("(SaveLispObject \"particle.sav\" e)"), "t\n");
    ASSERT_EQ(Run("(def q (LoadLispObject \"particle.sav\"))"), "q\n");
    EXPECT_EQ(Run("q"), "<LSObj TZevLispBBParticle>\n");
    TZevLispBBParticle* loaded = Particle("q");
    ASSERT_NE(loaded, nullptr);
    ExpectSameItem(loaded->Item);
    EXPECT_EQ(loaded->Item->BackRef, reinterpret_cast<void**>(&loaded->Item));
    EXPECT_EQ(loaded->Item->Node, nullptr); // in no body: the object owns it
    EXPECT_EQ(EmitInto("q"), "t\n");
    EXPECT_EQ(loaded->Item->Emitter->Cursor, 3);

    // The loaded value saves again to the same bytes.
    ASSERT_EQ(Run("(SaveLispObject \"again.sav\" q)"), "t\n");
    EXPECT_EQ(FileBytes("again.sav"), FileBytes("particle.sav"));
    EXPECT_EQ(Run("(def q nil)"), "q\n");

    // An object whose body has gone saves and loads without an item.
    Run("(DeleteXPhBody b)");
    ASSERT_EQ(Run("(SaveLispObject \"bare.sav\" e)"), "t\n");
    ASSERT_EQ(Run("(def r (LoadLispObject \"bare.sav\"))"), "r\n");
    ASSERT_NE(Particle("r"), nullptr);
    EXPECT_EQ(Particle("r")->Item, nullptr);
    EXPECT_EQ(EmitInto("r"), "nil\n");
}

TEST_F(ParticleValueTest, WithItsBodyItHoldsTheLoadedBodysItem)
{
    ASSERT_EQ(Run("(SaveLispObject \"both.sav\" (list b e e))"), "t\n");
    ASSERT_EQ(Run("(def v (LoadLispObject \"both.sav\"))"), "v\n");
    EXPECT_EQ(Run("v"), "(<LSObj TZevLispXPhBody> <LSObj TZevLispBBParticle> <LSObj TZevLispBBParticle>)\n");
    Run("(def c (car v))");
    Run("(def f (car (cdr v)))");
    EXPECT_EQ(Run("(eq f (car (cdr (cdr v))))"), "t\n"); // one object, met twice
    TZevGameChara* body = QEScriptBody(Object("c"));
    ASSERT_NE(body, nullptr);
    EXPECT_NE(body, QEScriptBody(Object("b")));
    TZevLispBBParticle* loaded = Particle("f");
    ASSERT_NE(loaded, nullptr);
    ExpectSameItem(loaded->Item);
    EXPECT_EQ(body->FindCFuncItem("smoke"), loaded->Item);

    // It steps with the loaded body and is shown in its frame.
    EXPECT_EQ(EmitInto("f"), "t\n");
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(loaded->Item->Emitter->ShownIn, body->visualFrame);
    EXPECT_EQ(loaded->Item->Emitter->Placement.m[13], body->GetMatrix().m[13]);

    // The loaded body goes first: the object keeps no item.
    Run("(DeleteXPhBody c)");
    EXPECT_EQ(loaded->Item, nullptr);
    EXPECT_EQ(EmitInto("f"), "nil\n");
}

TEST_F(ParticleValueTest, InABodyFileItComesBackAsTheBodysData)
{
    ASSERT_EQ(Run("(XPhBodySetData b (list 1 e))"), "t\n");
    QE_XPhBody* handle = QEBodyHandle(QEScriptBody(Object("b")));
    ASSERT_EQ(QE_XPhBodySaveToFile(handle, "data.body"), 1);
    QE_XPhBody* copy = QE_XPhBodyLoadFromFile("data.body");
    ASSERT_NE(copy, nullptr);
    TZevGameChara* loaded = QEBody(copy);
    ASSERT_NE(loaded, nullptr);
    ASSERT_TRUE(LispIsPair(loaded->ScriptData));
    const TZevLispRef second = LispPair(LispPair(loaded->ScriptData)->Cdr)->Car;
    ASSERT_TRUE(LispIsLSObj(second));
    TZevLSObj* o = LispLSObj(second)->Object;
    ASSERT_EQ(o->GetClassRecord(), &TZevLispBBParticleClassRecord);
    auto* object = static_cast<TZevLispBBParticle*>(o);
    ExpectSameItem(object->Item);
    EXPECT_EQ(loaded->FindCFuncItem("smoke"), object->Item);
    EXPECT_EQ(object->Item->BackRef, reinterpret_cast<void**>(&object->Item));
    EXPECT_EQ(QE_DeleteXPhBody(copy), 1);
}

// A particle object saved before the body that holds its item owns the item it reads; the body then finds its
// item taken and the load is refused as a whole, leaving nothing behind.
TEST_F(ParticleValueTest, TheBodyAfterItsParticleObjectIsRefused)
{
    ASSERT_EQ(Run("(SaveLispObject \"late.sav\" (list e b))"), "t\n");
    EXPECT_EQ(Run("(LoadLispObject \"late.sav\")"), "Error: Cannot Read File!\n   in \"(LoadLispObject \"late.sav\")\"\n\n");
}

// Every cut and every flipped byte of a saved particle object (alone and with its body) is refused or read
// whole; none leaves a half-built object, a second owner of an item or emitter, or anything unfreed behind.
TEST_F(ParticleValueTest, DamagedStreamsAreRefusedCleanly)
{
    for (const char* value : {"e", "(list b e)"}) {
        ASSERT_EQ(Run(std::string("(SaveLispObject \"good.sav\" ") + value + ")"), "t\n");
        const std::vector<char> good = FileBytes("good.sav");
        ASSERT_GT(good.size(), 40u);
        // With the body, only the particle object's part: the body's own record is the body reader's concern.
        const std::string text(good.begin(), good.end());
        const std::size_t from = text.rfind("TO_LF", text.find("TZevXPhBodyParticle_LoadFunction")) - 12;
        ASSERT_LT(from, good.size());
        for (std::size_t cut = from; cut < good.size(); ++cut) {
            WriteBytes("bad.sav", std::vector<char>(good.begin(), good.begin() + static_cast<long>(cut)));
            const std::string answer = Run("(LoadLispObject \"bad.sav\")");
            EXPECT_EQ(answer.rfind("Error: Cannot Read File!", 0), 0u) << value << " cut at " << cut;
        }
        for (std::size_t at = from; at < good.size(); ++at) {
            std::vector<char> bad = good;
            bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            WriteBytes("bad.sav", bad);
            Run("(def x (LoadLispObject \"bad.sav\"))");
            // Whatever was read is usable: emitting into it and dropping it. (The bodies of failed loads stay in
            // the world, so the world steps once per kind of value only.)
            Run("(def y (if (atom x) x (car (cdr x))))");
            EmitInto("y");
            if (Run("(atom x)") == "nil\n")
                Run("(DeleteXPhBody (car x))");
            Run("(def x nil)");
            Run("(def y nil)");
        }
        ASSERT_EQ(QE_PhOnlyStep(), 1);
    }
}

// Streams that a saver of ours would never write, made by writing a particle object's record by hand.
int (*gCraft)(TZevObjectIdTable*, TZevStream*) = nullptr;

int CraftWriter(TZevObjectIdTable* table, TZevStream* stream, void*)
{
    return gCraft(table, stream);
}

TEST_F(ParticleValueTest, CraftedItemsAndEmittersAreRefused)
{
    TZevLispBBParticle* object = Particle("e");
    TZevGCParticleCFuncLI* item = object->Item;
    static TZevGCParticleCFuncLI* sItem;
    static TZevLispBBParticle* sObject;
    sItem = item;
    sObject = object;
    TZevGameCharaCFuncListItem* plain = ZevNewCFuncItem("plain", nullptr, nullptr);
    static TZevGameCharaCFuncListItem* sPlain;
    sPlain = plain;

    struct Craft {
        const char* what;
        int (*write)(TZevObjectIdTable*, TZevStream*);
    };
    const Craft crafts[] = {
        {"a plain callback item in the item's place",
         [](TZevObjectIdTable* t, TZevStream* s) {
             return t->WriteRef(s, TZevGameCharaCFuncListItem_SaveFunction, TZevGameCharaCFuncListItem_LoadFunction,
                                static_cast<TZevLSObj*>(sPlain));
         }},
        {"a particle object in the item's place",
         [](TZevObjectIdTable* t, TZevStream* s) {
             return t->WriteRef(s, TZevXPhBodyParticle_SaveFunction, TZevXPhBodyParticle_LoadFunction,
                                static_cast<TZevLSObj*>(sObject));
         }},
        {"an item that carries a user word",
         [](TZevObjectIdTable* t, TZevStream* s) {
             sItem->SaveUserData = TZevBBParticle_SaveFunction;
             sItem->LoadUserData = TZevBBParticle_LoadFunction;
             sItem->UserData = static_cast<TZevLSObj*>(sItem->Emitter);
             const int ok = t->WriteRef(s, TZevGCParticleCFuncLI_SaveFunction, TZevGCParticleCFuncLI_LoadFunction,
                                        static_cast<TZevLSObj*>(sItem));
             sItem->SaveUserData = nullptr;
             sItem->LoadUserData = nullptr;
             sItem->UserData = sItem->Emitter;
             return ok;
         }},
        {"a callback item in the emitter's place",
         [](TZevObjectIdTable* t, TZevStream* s) {
             // The item's record by hand: its base part, then another item where the emitter belongs.
             return t->WriteRef(
                 s,
                 [](TZevObjectIdTable* t2, TZevStream* s2, void* o) {
                     auto* i = static_cast<TZevGCParticleCFuncLI*>(static_cast<TZevLSObj*>(o));
                     return ZevSaveCFuncItemPart(t2, s2, i) &&
                                    t2->WriteRef(s2, TZevGameCharaCFuncListItem_SaveFunction,
                                                 TZevGameCharaCFuncListItem_LoadFunction,
                                                 static_cast<TZevLSObj*>(sPlain))
                                ? 1
                                : 0;
                 },
                 TZevGCParticleCFuncLI_LoadFunction, static_cast<TZevLSObj*>(sItem));
         }},
        {"an emitter named again by a second item",
         [](TZevObjectIdTable* t, TZevStream* s) {
             // The emitter first (as a value's object would hold it), then the item naming it by its id.
             return t->WriteRef(s, TZevBBParticle_SaveFunction, TZevBBParticle_LoadFunction,
                                static_cast<TZevLSObj*>(sItem->Emitter)) &&
                            t->WriteRef(s, TZevGCParticleCFuncLI_SaveFunction, TZevGCParticleCFuncLI_LoadFunction,
                                        static_cast<TZevLSObj*>(sItem))
                        ? 1
                        : 0;
         }},
    };
    for (const Craft& c : crafts) {
        gCraft = c.write;
        TZevLispRef value;
        LispMakeLSObj(value, object, TZevXPhBodyParticle_LoadFunction, CraftWriter);
        {
            TZevFile file("crafted.sav", "wb");
            TZevObjectIdTable table;
            ASSERT_EQ(LispSaveValue(&table, &file, &value), 1) << c.what;
        }
        EXPECT_EQ(Run("(LoadLispObject \"crafted.sav\")").rfind("Error: Cannot Read File!", 0), 0u) << c.what;
    }
    plain->Release();

    // Two particle objects that name one item: the second is refused.
    TZevLSObj* twin = CreateObjectByName("TZevLispBBParticle");
    ASSERT_EQ(twin->GetClassRecord(), &TZevLispBBParticleClassRecord);
    static_cast<TZevLispBBParticle*>(twin)->Item = item; // no back pointer: it never frees the item
    TZevLispRef second;
    LispMakeLSObj(second, twin, TZevXPhBodyParticle_LoadFunction, TZevXPhBodyParticle_SaveFunction);
    TZevLispRef pair;
    LispCons(pair, Value("e"), TZevLispRef());
    LispCons(pair, second, pair);
    {
        TZevFile file("twins.sav", "wb");
        TZevObjectIdTable table;
        ASSERT_EQ(LispSaveValue(&table, &file, &pair), 1);
    }
    static_cast<TZevLispBBParticle*>(twin)->Item = nullptr;
    twin->Release();
    EXPECT_EQ(Run("(LoadLispObject \"twins.sav\")").rfind("Error: Cannot Read File!", 0), 0u);
}

} // namespace
