// Saved bodies: a body tree with an attached child, a jointed child, a rigid link and callback items goes through
// a body file and back with every saved field equal; short, absurd, mistyped and hostile files fail cleanly.
#include "ZevBodyUtil.h"
#include "ZevPhysicsSaveLoad.h"

#include "ZevLisp.h"
#include "ZevNameTable.h"
#include "ZevCharaInit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Nothing(TZevGameChara*, void*) {}
void AlsoNothing(TZevGameChara*, void*) {}
void LibraryLookalike(TZevGameChara*, void*) {}

// The offset of the first byte where two files differ, or -1 when they are equal.
long FirstDifference(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return static_cast<long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

std::string ReadAll(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const char* name, const std::string& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class SavedBody : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZevCharaInit();
        LispInitialize();
        ZevRegisterBodyCallback("saveload-nothing", Nothing);
        ZevRegisterBodyCallback("saveload-also", AlsoNothing);
    }
    void TearDown() override
    {
        delete original;
        if (LispHost == host)
            LispHost = nullptr;
        delete host;
    }

    static TZevGameChara* Box(float x, float y, float z, float mass)
    {
        return ZevAsGameChara(CreateBoxXPhBody(nullptr, ZevMatTranslation(x, y, z), nullptr, nullptr,
                                               TZevVector(-0.5f, -0.5f, -0.5f), TZevVector(0.5f, 1.0f, 0.5f), mass));
    }

    // A parent with a rigidly attached child, a child on a joint, a rigid link between parent and jointed child,
    // two callback items and a script value.
    void BuildOriginal()
    {
        original = Box(1.0f, 2.0f, 3.0f, 2.0f);
        original->LinearDamping = 0.3f;
        original->SetNoRetest(1);
        TZevGameChara* attached = Box(4.0f, 2.0f, 3.0f, 1.0f);
        original->MoveToParent(attached);
        jointed = Box(1.0f, 5.0f, 3.0f, 1.5f);
        TZevJointSettings settings;
        settings.Pivot = TZevVector(0.0f, 1.5f, 0.0f);
        settings.Size = 0.75f;
        joint = original->AttachChildByJointAt(jointed, settings, ZevMatTranslation(0.0f, 3.0f, 0.0f));
        ASSERT_NE(joint, nullptr);
        joint->Torque = 1.25f;
        joint->Theta = 0.5f;
        joint->AxisCount = 2;
        joint->Brake2 = 0.125f;
        link = CreateRigidLink(original->RigidPart, jointed->RigidPart, TZevVector(0.5f, 0, 0), TZevVector(0, 0.25f, 0));
        link->Spring = 7.0f;
        link->State = 3;
        // Named meshes: a mesh without a name reads back with an empty one, which saves differently.
        for (TZevGameChara* b : {original, attached, jointed}) {
            b->visualMesh->SetName("visual");
            b->collisionMesh->SetName("collision");
        }
        original->AddCFuncItem(ZevNewCFuncItem("first", Nothing, nullptr));
        original->AddCFuncItem(ZevNewCFuncItem("second", AlsoNothing, nullptr));
        host = new TZevLispTextInterpreter;
        host->Init();
        host->SendCommand("(setq saved-data '(1 2.5 \"text\" (nested)))");
        TZevLispRef atom;
        LispIntern(atom, "saved-data");
        LispAtom(atom)->GetValue(original->ScriptData);
    }

    TZevGameChara* original = nullptr;
    TZevGameChara* jointed = nullptr;
    TZevJoint* joint = nullptr;
    TZevRigidLink* link = nullptr;
    TZevLispTextInterpreter* host = nullptr;
};

TEST_F(SavedBody, RoundTripKeepsEverySavedField)
{
    BuildOriginal();
    ASSERT_EQ(SaveXPhBodyFile("original.body", original, nullptr), 1);
    TZevGameChara* loaded = LoadXPhBodyFile("original.body", nullptr);
    ASSERT_NE(loaded, nullptr);
    // Saving the loaded body again gives the same bytes: every field that the file holds came back equal.
    ASSERT_EQ(SaveXPhBodyFile("loaded.body", loaded, nullptr), 1);
    EXPECT_EQ(FirstDifference(ReadAll("original.body"), ReadAll("loaded.body")), -1);

    // The structure behind the bytes.
    EXPECT_EQ(loaded->matrix.m[12], 1.0f);
    EXPECT_EQ(loaded->LinearDamping, 0.3f);
    EXPECT_EQ(loaded->NoRetest, 1);
    EXPECT_EQ(loaded->RigidPart->Mass, 2.0f);
    auto* attached = static_cast<TZevGameChara*>(loaded->FirstChildTree());
    ASSERT_NE(attached, nullptr);
    auto* child = static_cast<TZevGameChara*>(attached->NextSiblingTree());
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(attached->AttachParent, loaded);
    EXPECT_EQ(attached->MainPart, loaded->MainPart);
    EXPECT_EQ(child->AttachParent, loaded);
    EXPECT_EQ(child->MainPart, child->RigidPart);
    ASSERT_NE(child->ParentJoint, nullptr);
    EXPECT_EQ(child->ParentJoint->ObjectA(), loaded->RigidPart);
    EXPECT_EQ(child->ParentJoint->ObjectB(), child->RigidPart);
    EXPECT_NE(child->ParentJoint->NodeA, nullptr);
    EXPECT_NE(child->ParentJoint->NodeB, nullptr);
    EXPECT_EQ(child->ParentJoint->Torque, 1.25f);
    EXPECT_EQ(child->ParentJoint->Brake2, 0.125f);
    // The link shared by two bodies is one object listed by both, on the right sides.
    TZevRigidLink* found = nullptr;
    for (void* item : loaded->RigidPart->RigidLinks) {
        auto* l = static_cast<TZevRigidLink*>(static_cast<TZevReleasableLink*>(item));
        if (l->Spring == 7.0f)
            found = l;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->State, 3);
    EXPECT_EQ(found->ObjectA, loaded->RigidPart);
    EXPECT_EQ(found->ObjectB, child->RigidPart);
    EXPECT_EQ(found->NodeA->data, static_cast<void*>(static_cast<TZevReleasableLink*>(found)));
    EXPECT_EQ(found->NodeB->data, static_cast<void*>(static_cast<TZevReleasableLink*>(found)));
    EXPECT_EQ(found->RestLength, 0.0f);
    // Frames hang as the bodies do; meshes carry their geometry.
    ASSERT_NE(loaded->visualFrame, nullptr);
    EXPECT_EQ(child->visualFrame->GetParent(), loaded->visualFrame);
    ASSERT_NE(loaded->visualMesh, nullptr);
    EXPECT_EQ(loaded->visualMesh->Geometry->VertexCount, original->visualMesh->Geometry->VertexCount);
    EXPECT_NE(loaded->primitiveRoot, nullptr);
    // Items in their order with their names and functions; the script value.
    ASSERT_EQ(loaded->CFuncItems.GetCount(), 2);
    auto* front = static_cast<TZevGameCharaCFuncListItem*>(loaded->CFuncItems.First()->data);
    EXPECT_STREQ(front->Name.CStr(), "second");
    EXPECT_EQ(front->Function, AlsoNothing);
    TZevLispText printed;
    LispPrintValue(printed, loaded->ScriptData.Get());
    TZevLispText expected;
    LispPrintValue(expected, original->ScriptData.Get());
    EXPECT_EQ(std::string(printed.Data()), std::string(expected.Data()));
    delete loaded;
}

TEST_F(SavedBody, FileStartsWithTheReferenceRecordAndTheReaderName)
{
    TZevGameChara* body = new TZevGameChara;
    ASSERT_EQ(SaveXPhBodyFile("plain.body", body, nullptr), 1);
    const std::string bytes = ReadAll("plain.body");
    std::uint32_t size = 0, id = 0, length = 0;
    ASSERT_GT(bytes.size(), 12u);
    std::memcpy(&size, bytes.data(), 4);
    std::memcpy(&id, bytes.data() + 4, 4);
    std::memcpy(&length, bytes.data() + 8, 4);
    EXPECT_GT(size, 8u);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(bytes.substr(12, length), "TZevGameChara_LoadFunction");
    delete body;
    // A null body is the 8-byte record alone, and reads back as nothing.
    ASSERT_EQ(SaveXPhBodyFile("null.body", nullptr, nullptr), 1);
    EXPECT_EQ(ReadAll("null.body"), std::string(4, '\0').replace(0, 1, 1, '\x08') + std::string(4, '\0'));
    EXPECT_EQ(LoadXPhBodyFile("null.body", nullptr), nullptr);
}

TEST_F(SavedBody, SavingToAFileThatCannotBeOpenedReturnsZero)
{
    TZevGameChara body;
    EXPECT_EQ(SaveXPhBodyFile("no-such-directory/x.body", &body, nullptr), 0);
    EXPECT_EQ(LoadXPhBodyFile("no-such-directory/x.body", nullptr), nullptr);
}

TEST_F(SavedBody, EveryShortFileFailsAndSaysSo)
{
    BuildOriginal();
    ASSERT_EQ(SaveXPhBodyFile("whole.body", original, nullptr), 1);
    const std::string bytes = ReadAll("whole.body");
    for (std::size_t n = 0; n < bytes.size(); n += (n < 300 ? 1 : 13)) {
        WriteAll("short.body", bytes.substr(0, n));
        ASSERT_EQ(LoadXPhBodyFile("short.body", nullptr), nullptr) << n << " of " << bytes.size() << " bytes";
    }
    EXPECT_NE(ReadAll("ZevDebug.txt").find("LoadXPhBodyFile: short.body: no body could be read"), std::string::npos);
}

TEST_F(SavedBody, AbsurdCountFails)
{
    TZevGameChara* body = new TZevGameChara;
    ASSERT_EQ(SaveXPhBodyFile("count.body", body, nullptr), 1);
    delete body;
    std::string bytes = ReadAll("count.body");
    // The rigid part's record follows the character's header: its first word after its own header and reader
    // name is the count of its rigid links.
    const std::string name = "TZevPhscs2RigidBody_LoadFunction";
    const std::size_t at = bytes.find(name);
    ASSERT_NE(at, std::string::npos);
    const std::int32_t absurd = 0x7FFFFFF0;
    std::memcpy(&bytes[at + name.size()], &absurd, 4);
    WriteAll("count.body", bytes);
    EXPECT_EQ(LoadXPhBodyFile("count.body", nullptr), nullptr);
    EXPECT_NE(ReadAll("ZevDebug.txt").find("absurd count"), std::string::npos);
}

TEST_F(SavedBody, ObjectOfAnotherKindInABodySlotIsRefused)
{
    // A file whose top reference is a frame, not a character.
    TZevFile file;
    ASSERT_TRUE(file.Open("frame.body", "wb"));
    TZevObjectIdTable table;
    TZevFrame* frame = dynamic_cast<TZevFrame*>(CreateObjectByName("TZevFrame"));
    table.WriteRef(&file, TZevFrame_SaveFunction, TZevFrame_LoadFunction, static_cast<TZevLSObj*>(frame));
    file.Close();
    delete frame;
    EXPECT_EQ(LoadXPhBodyFile("frame.body", nullptr), nullptr);
    // A character whose rigid-part slot names a frame.
    BuildOriginal();
    ASSERT_EQ(SaveXPhBodyFile("kind.body", original, nullptr), 1);
    std::string bytes = ReadAll("kind.body");
    const std::string rigid = "TZevPhscs2RigidBody_LoadFunction";
    const std::string other = "TZevPolygonMesh_LoadFunction____";
    ASSERT_EQ(rigid.size(), other.size());
    const std::size_t at = bytes.find(rigid);
    ASSERT_NE(at, std::string::npos);
    // Registered under a name of the same length, so that every size in the file still holds.
    GetSaveLoadFunctionDictionary()->Add("TZevFrame_LoadFunction__________", TZevFrame_LoadFunction);
    bytes.replace(at, rigid.size(), "TZevFrame_LoadFunction__________");
    WriteAll("kind.body", bytes);
    EXPECT_EQ(LoadXPhBodyFile("kind.body", nullptr), nullptr);
}

TEST_F(SavedBody, ABodyFileNeverLoadsALibrary)
{
    // Names of the form "<library> <procedure>" are resolved through libraries elsewhere; a body file naming one,
    // as a reader or as a callback, gets nothing.
    ZevRegisterBodyCallback("xxxx.so.6 cos", LibraryLookalike);
    TZevGameChara* body = new TZevGameChara;
    body->AddCFuncItem(ZevNewCFuncItem("cb", LibraryLookalike, nullptr));
    ASSERT_EQ(SaveXPhBodyFile("lib.body", body, nullptr), 1);
    delete body;
    std::string bytes = ReadAll("lib.body");
    const std::size_t at = bytes.find("xxxx.so.6 cos");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 4, "libm");
    WriteAll("lib-callback.body", bytes);
    TZevGameChara* loaded = LoadXPhBodyFile("lib-callback.body", nullptr);
    ASSERT_NE(loaded, nullptr);
    auto* item = static_cast<TZevGameCharaCFuncListItem*>(loaded->CFuncItems.First()->data);
    EXPECT_EQ(item->Function, nullptr); // idle
    delete loaded;
    const std::string reader = "TZevGameChara_LoadFunction";
    std::string hostile = ReadAll("lib.body");
    hostile.replace(12, reader.size(), "libm.so.6 cosxxxxxxxxxxxx");
    hostile.replace(12 + 13, reader.size() - 13, std::string(reader.size() - 13, ' '));
    WriteAll("lib-reader.body", hostile);
    EXPECT_EQ(LoadXPhBodyFile("lib-reader.body", nullptr), nullptr);
    EXPECT_EQ(GetDllTable()->FindModule("libm.so.6"), nullptr);
}

TEST(BodyFileFormat, IdentityMatrixIsWrittenAsFloatTexts)
{
    ZevCharaInit();
    TZevMemStream stream;
    ASSERT_EQ(WriteMatrix4(&stream, TZevMatrix()), 1);
    std::string text(static_cast<std::size_t>(stream.GetSize()), '\0');
    stream.Seek(0);
    stream.Read(text.data(), stream.GetSize());
    EXPECT_EQ(text, std::string("1\0" "0\0" "0\0" "0\0" "0\0" "1\0" "0\0" "0\0" "0\0" "0\0" "1\0" "0\0" "0\0" "0\0" "0\0" "1\0", 32));
    stream.Seek(0);
    TZevMatrix back(2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2);
    ASSERT_EQ(ReadMatrix4(&stream, back), 1);
    EXPECT_EQ(std::memcmp(back.m, TZevMatrix().m, sizeof back.m), 0);
    EXPECT_EQ(ReadMatrix4(&stream, back), 0); // nothing left
}

} // namespace
