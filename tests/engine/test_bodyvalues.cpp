// Bodies and joints in saved script values: damaged streams, bodies nested in a body's script data, and wrappers
// that a stream gives a reader of a body's parts.
#include "test_camera_fixture.h"
#include "../common/TestFiles.h"

#include "LispStream.h"
#include "QEContext.h"
#include "QEJoints.h"
#include "ZevDebug.h"
#include "ZevFrame.h"
#include "QEBodies.h"
#include "ZevPhscs2World.h"
#include "ZevPhysicsSaveLoad.h"
#include "ZevStream.h"

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// The value written to a stream and read back into `table`; the reader's answer.
int SaveAndLoad(const TZevLispRef& value, TZevObjectIdTable* table, TZevLispRef* out)
{
    TZevMemStream stream;
    TZevObjectIdTable saveTable;
    EXPECT_EQ(LispSaveValue(&saveTable, &stream, &value), 1);
    stream.Seek(0);
    return LispLoadValue(table, &stream, out);
}

std::set<TZevGameChara*> WorldBodies()
{
    std::set<TZevGameChara*> bodies;
    for (TZevCTree* t = CurrentWorld->activeRoot->FirstChildTree(); t; t = t->NextSiblingTree()) {
        if (auto* body = dynamic_cast<TZevGameChara*>(t))
            bodies.insert(body);
    }
    return bodies;
}

class BodyValueTest : public EngineScriptTest {
protected:
    void SetUp() override
    {
        EngineScriptTest::SetUp();
        Run("(def a (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
        Run("(def b (LoadXPhBody \"" QE_DATA_DIR "/lbox.x\"))");
        ASSERT_NE(QEScriptBody(Object("a")), nullptr);
        ASSERT_NE(QEScriptBody(Object("b")), nullptr);
    }

    // Loads the file as "x"; every body the load added to the world goes again, and the answer is returned.
    std::string LoadAndDrop(const std::set<TZevGameChara*>& before)
    {
        const std::string answer = Run("(def x (LoadLispObject \"bad.sav\"))");
        Run("(def x nil)");
        for (TZevGameChara* body : WorldBodies()) {
            if (!before.count(body))
                QE_DeleteXPhBody(QEBodyHandle(body));
        }
        return answer;
    }

    static std::int32_t Live() { return NewCount - DeleteCount; }
};

// Damaged copies of a saved list holding bodies, cut or with a byte flipped at the places a reader trusts most:
// a failed load leaves the world with exactly the bodies it had, and no load, failed or not, leaves anything
// allocated behind. (The fuzz check of saved values tries every cut and every flipped byte of this stream: its
// corpus keeps it as lispvalue/bodies.val.)
TEST_F(BodyValueTest, DamagedStreamsLeaveTheWorldAsItWas)
{
    ASSERT_EQ(Run("(XPhBodySetData a (list 1 \"two\" a))"), "t\n");
    ASSERT_EQ(Run("(SaveLispObject \"good.sav\" (list a 3 b \"end\"))"), "t\n");
    const std::vector<char> good = FileBytes("good.sav");
    ASSERT_GT(good.size(), 100u);
    const std::set<TZevGameChara*> before = WorldBodies();
    ASSERT_EQ(before.size(), 2u);

    // The whole file reads back: two more bodies, one with its data.
    WriteBytes("bad.sav", good);
    ASSERT_EQ(Run("(def x (LoadLispObject \"bad.sav\"))"), "x\n");
    EXPECT_EQ(WorldBodies().size(), 4u);
    EXPECT_EQ(Run("(car (cdr x))"), "3\n");
    EXPECT_EQ(Run("(car (XPhBodyGetData (car x)))"), "1\n");
    Run("(def x nil)");
    LoadAndDrop(before);

    // Places named by what the stream holds there, so that the table follows the format: the byte `offset` after
    // the first `mark` (the start of the stream for an empty mark, its end for a negative offset without one).
    struct TDamage {
        bool Cut; // cut before the place, or flip the byte there
        const char* Mark;
        long Offset;
        const char* What;
    };
    const TDamage damages[] = {
        {true, "", 0, "nothing at all"},
        {true, "", 3, "inside the first record's tag"},
        {true, "TP_LF", 2, "inside the name of the list's reader"},
        {true, "TZevLispXPhBody_LoadFunction", 10, "inside the name of the body's reader"},
        {true, "TZevFrame_LoadFunction", 24, "inside a frame's matrix"},
        {true, "TZevPolygonMeshTag", 64, "inside a mesh"},
        {true, "TEND", 0, "before the end of the first body's tree"},
        {true, "TS_LF", 5, "inside the last string"},
        {true, "", -1, "one byte short"},
        {false, "", 0, "the first record's tag"},
        {false, "TZevLispXPhBody_LoadFunction", -4, "the length of a reader's name"},
        {false, "TZevLispXPhBody_LoadFunction", 5, "a reader's name"},
        {false, "TZevFrame_LoadFunction", 24, "a number of a frame's matrix"},
        {false, "TZevPolygonMeshTag", 64, "a number of a mesh"},
        {false, "TZevTreeSentinel", 4, "the name of a tree's end"},
        {false, "TS_LF", 5, "the last string's length"},
        {false, "", -1, "the last byte"},
    };
    auto place = [&](const TDamage& d) -> std::size_t {
        if (!*d.Mark)
            return d.Offset < 0 ? good.size() - static_cast<std::size_t>(-d.Offset) : static_cast<std::size_t>(d.Offset);
        const std::string text(good.begin(), good.end());
        const std::size_t at = text.find(d.Mark);
        EXPECT_NE(at, std::string::npos) << d.Mark;
        return at == std::string::npos ? 0 : static_cast<std::size_t>(static_cast<long>(at) + d.Offset);
    };
    // Two rounds: the first fills the pools of values and parts; the second may not take a block more.
    std::int32_t live[2] = {0, 0};
    for (std::int32_t& round : live) {
        for (const TDamage& d : damages) {
            SCOPED_TRACE(std::string(d.Cut ? "cut before " : "flip of ") + d.What);
            const std::size_t at = place(d);
            ASSERT_LT(at, good.size());
            std::vector<char> bad = good;
            if (d.Cut)
                bad.resize(at);
            else
                bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            WriteBytes("bad.sav", bad);
            const std::string answer = LoadAndDrop(before);
            // A cut stream is refused; a flipped byte may still read as some value.
            const bool refused = answer.rfind("Error: Cannot Read File!", 0) == 0;
            EXPECT_TRUE(refused || (!d.Cut && answer == "x\n")) << answer;
            EXPECT_EQ(WorldBodies(), before);
        }
        ASSERT_EQ(QE_PhOnlyStep(), 1);
        round = Live();
    }
    EXPECT_EQ(live[1], live[0]);
    EXPECT_EQ(QEScriptBody(Object("a"))->ScriptData.IsNull(), false);
}

// A body met first inside another body's script data is refused with a log line: ending the load session there
// would destroy the outer body while it is being read. Nothing of the load is left in the world.
TEST_F(BodyValueTest, ABodyFirstMetInsideAnotherBodysDataIsRefused)
{
    ASSERT_EQ(Run("(XPhBodySetData a (list b))"), "t\n");
    ASSERT_EQ(Run("(SaveLispObject \"nested.sav\" (list a b))"), "t\n");
    const std::set<TZevGameChara*> before = WorldBodies();
    WriteBytes("bad.sav", FileBytes("nested.sav"));
    std::int32_t live[4] = {0, 0, 0, 0};
    for (std::int32_t& round : live) {
        EXPECT_EQ(LoadAndDrop(before).rfind("Error: Cannot Read File!", 0), 0u);
        EXPECT_EQ(WorldBodies(), before);
        ASSERT_EQ(QE_PhOnlyStep(), 1);
        round = Live();
    }
    EXPECT_EQ(live[3], live[1]) << live[0] << " " << live[1] << " " << live[2] << " " << live[3];
    // A body that refers to itself in its data (met again, not first) still reads back.
    ASSERT_EQ(Run("(XPhBodySetData b (list b 5))"), "t\n");
    ASSERT_EQ(Run("(SaveLispObject \"self.sav\" b)"), "t\n");
    ASSERT_EQ(Run("(def y (LoadLispObject \"self.sav\"))"), "y\n");
    EXPECT_EQ(Run("(car (cdr (XPhBodyGetData y)))"), "5\n");
    EXPECT_EQ(WorldBodies().size(), before.size() + 1);
}

// A body of a value whose later part is damaged does not enter the world before the whole value is read; a read
// that fails inside the body's own record leaves no load session behind.
TEST_F(BodyValueTest, AFailedLoadEndsItsSession)
{
    TZevLispRef value;
    TZevLispRef body = Value("a");
    LispCons(value, body, Nil);
    TZevMemStream stream;
    TZevObjectIdTable saveTable;
    ASSERT_EQ(LispSaveValue(&saveTable, &stream, &value), 1);
    const std::int32_t size = stream.Tell();
    const std::set<TZevGameChara*> before = WorldBodies();
    for (std::int32_t cut : {size / 3, size / 2, size - 1}) {
        std::vector<char> bytes(static_cast<std::size_t>(size));
        stream.Seek(0);
        ASSERT_EQ(stream.Read(bytes.data(), size), 1);
        TZevBufferStream bad;
        bad.SetData(bytes.data(), cut);
        TZevObjectIdTable table;
        TZevLispRef out;
        EXPECT_EQ(LispLoadValue(&table, &bad, &out), 0) << cut;
        EXPECT_FALSE(ZevPhysicsLoadActive(&table)) << cut;
        EXPECT_EQ(WorldBodies(), before) << cut;
    }
}

// A stream that hands a wrapper the reader of a body's part (a frame, a callback item) is refused: such an
// object would enter the body load session unclaimed, and a later body of the same load could destroy it.
TEST_F(BodyValueTest, AWrapperNamingAPartReaderIsRefused)
{
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    ASSERT_NE(frame, nullptr);
    TZevLispRef wrapped, list;
    LispMakeLSObj(wrapped, frame, TZevFrame_LoadFunction, TZevFrame_SaveFunction);
    frame->Release();
    // The frame, then a body: the body's load must not be able to reach the frame.
    TZevLispRef tail;
    LispCons(tail, Value("a"), Nil);
    LispCons(list, wrapped, tail);
    const std::set<TZevGameChara*> before = WorldBodies();
    for (const TZevLispRef& v : {wrapped, list}) {
        TZevObjectIdTable table;
        TZevLispRef out;
        EXPECT_EQ(SaveAndLoad(v, &table, &out), 0);
        EXPECT_TRUE(out.IsNull());
        EXPECT_FALSE(ZevPhysicsLoadActive(&table));
        EXPECT_EQ(WorldBodies(), before);
    }
    // A plain callback item's reader, named in a stream by hand: refused as well.
    TZevLispRef item;
    TZevLSObj* made = CreateObjectByName("TZevGameCharaCFuncListItem");
    ASSERT_NE(made, nullptr);
    LispMakeLSObj(item, made, TZevGameCharaCFuncListItem_LoadFunction, TZevGameCharaCFuncListItem_SaveFunction);
    made->Release();
    TZevObjectIdTable table;
    TZevLispRef out;
    EXPECT_EQ(SaveAndLoad(item, &table, &out), 0);
    EXPECT_FALSE(ZevPhysicsLoadActive(&table));
    // The engine's own wrappers still read back.
    TZevObjectIdTable goodLoad;
    EXPECT_EQ(SaveAndLoad(Value("a"), &goodLoad, &out), 1);
    EXPECT_NE(QEScriptBody(LispLSObj(out)->Object), nullptr);
    EXPECT_EQ(WorldBodies().size(), before.size() + 1);
}

} // namespace

// A saved joint read back by itself comes without the bodies it tied: a load of it, a save of what was read and a
// load of that, again and again, take no block more once the pools are warm (such a joint used to stay behind,
// held by nothing, at every load).
TEST_F(BodyValueTest, LoadedJointsLeaveNothingBehind)
{
    ASSERT_NE(Run("(def j (XPhBodyAddJointChild a b '(0 0 0) '(0 0 1) '(1 0 0) 0.5))"), "nil\n");
    ASSERT_EQ(Run("(SaveLispObject \"joint.sav\" j)"), "t\n");
    const std::set<TZevGameChara*> before = WorldBodies();
    std::int32_t live[4] = {0, 0, 0, 0};
    for (std::int32_t& round : live) {
        ASSERT_EQ(Run("(def x (LoadLispObject \"joint.sav\"))"), "x\n");
        ASSERT_EQ(Run("(SaveLispObject \"again.sav\" x)"), "t\n");
        ASSERT_EQ(Run("(def y (LoadLispObject \"again.sav\"))"), "y\n");
        Run("(def x nil)");
        Run("(def y nil)");
        EXPECT_EQ(WorldBodies(), before);
        ASSERT_EQ(QE_PhOnlyStep(), 1);
        round = Live();
    }
    EXPECT_EQ(live[3], live[1]) << live[0] << " " << live[1] << " " << live[2] << " " << live[3];
    // The joint of the world is untouched.
    TZevLispXPhJoint* held = QEScriptJointWrapper(Object("j"));
    ASSERT_NE(held, nullptr);
    EXPECT_NE(QEJoint(QEJointHandle(held->Joint)), nullptr);
}
