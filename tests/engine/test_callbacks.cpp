// Body callbacks: host functions attached by name, their order, release and description; named calls (host
// functions and library procedures); script functions and data of bodies.
#include "EngineTestHost.h"
#include "QECallbacks.h"
#include "QEContext.h"
#include "QEPhOnly.h"
#include "ZevNameTable.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string TestLib = QE_ENGINE_TESTLIB;

struct Record {
    std::vector<std::string> calls;
    std::vector<QE_XPhBody*> bodies;
    std::vector<void*> data;
};
Record* Log = nullptr;

int StepA(QE_XPhBody* body, void* user)
{
    Log->calls.push_back("A");
    Log->bodies.push_back(body);
    Log->data.push_back(user);
    return 1;
}
int StepB(QE_XPhBody*, void*)
{
    Log->calls.push_back("B");
    return 1;
}
int Release(QE_XPhBody* body, void* user)
{
    Log->calls.push_back("release");
    Log->bodies.push_back(body);
    Log->data.push_back(user);
    return 1;
}
int DeleteSelf(QE_XPhBody* body, void*)
{
    Log->calls.push_back("delete");
    QE_DeleteXPhBody(body);
    return 1;
}
int SaveNothing(QE_XPhBody*, QE_StreamHandle*, void*) { return 1; }
void* LoadNothing(QE_XPhBody*, QE_StreamHandle*) { return nullptr; }
int Call(void* argument)
{
    Log->calls.push_back("call");
    Log->data.push_back(argument);
    return 1;
}

// A host that keeps five bytes and a number with its carrier.
int HostValue = 0;
int SaveHello(QE_XPhBody*, QE_StreamHandle* stream, void* user)
{
    Log->calls.push_back("save");
    const int value = *static_cast<int*>(user);
    return QE_WriteToStream(stream, "hello", 5) && QE_WriteToStream(stream, &value, 4);
}
void* LoadHello(QE_XPhBody* body, QE_StreamHandle* stream)
{
    Log->calls.push_back("load");
    Log->bodies.push_back(body);
    char text[6] = {};
    int value = 0;
    const int ok = QE_ReadFromStream(stream, text, 5) && QE_ReadFromStream(stream, &value, 4);
    char more = 0;
    // Exactly the saved bytes: nothing more to read.
    Log->calls.push_back(ok && std::string(text) == "hello" && !QE_ReadFromStream(stream, &more, 1)
                             ? "bytes " + std::to_string(value)
                             : "bad bytes");
    HostValue = value;
    return &HostValue;
}

void* LoadHelloAgain(QE_XPhBody* body, QE_StreamHandle* stream) { return LoadHello(body, stream); }

template <class F> QE_Function Fn(F f) { return reinterpret_cast<QE_Function>(f); }

class CallbacksTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        Log = &record;
        QE_RegisterFunction("TestStepA", Fn(StepA));
        QE_RegisterFunction("TestStepB", Fn(StepB));
        QE_RegisterFunction("TestRelease", Fn(Release));
        QE_RegisterFunction("TestDeleteSelf", Fn(DeleteSelf));
        QE_RegisterFunction("TestSave", Fn(SaveNothing));
        QE_RegisterFunction("TestLoad", Fn(LoadNothing));
        QE_RegisterFunction("TestCall", Fn(Call));
        QE_RegisterFunction("TestSaveHello", Fn(SaveHello));
        QE_RegisterFunction("TestLoadHello", Fn(LoadHello));
        ASSERT_EQ(QE_PhOnlyInit(), 1);
        body = QE_MakeEmptyXPhBody();
        ASSERT_NE(body, nullptr);
    }
    void TearDown() override
    {
        EngineTest::TearDown();
        Log = nullptr;
    }

    QE_CFuncCarrier* Attach(const char* step, const char* release = nullptr, void* user = nullptr)
    {
        QE_CFunctionDesc desc = {step, release, nullptr, nullptr, user};
        return QE_XPhBodySetCFunction(body, &desc);
    }

    Record record;
    QE_XPhBody* body = nullptr;
};

TEST_F(CallbacksTest, RegistrationRefusesNullNamesAndFunctions)
{
    EXPECT_EQ(QE_RegisterFunction(nullptr, Fn(StepA)), 0);
    EXPECT_EQ(QE_RegisterFunction("", Fn(StepA)), 0);
    EXPECT_EQ(QE_RegisterFunction("x", nullptr), 0);
}

TEST_F(CallbacksTest, CarriersRunAfterEveryStepInTheOrderAttached)
{
    int user = 0;
    QE_CFunctionDesc noStep = {nullptr, "TestRelease", nullptr, nullptr, &user};
    EXPECT_EQ(QE_XPhBodySetCFunction(body, &noStep), nullptr);
    EXPECT_EQ(QE_XPhBodySetCFunction(body, nullptr), nullptr);
    EXPECT_EQ(QE_XPhBodySetCFunction(nullptr, &noStep), nullptr);
    EXPECT_EQ(QE_XPhBodyGetCFunction(body, 1, &noStep), nullptr); // nothing attached

    ASSERT_NE(Attach("TestStepA", nullptr, &user), nullptr);
    ASSERT_NE(Attach("TestStepB"), nullptr);
    ASSERT_NE(Attach("NoSuchFunction"), nullptr); // attached, and skipped at every step
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    ASSERT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"A", "B", "A", "B"}));
    EXPECT_EQ(record.bodies[0], body);
    EXPECT_EQ(record.data[0], &user);
}

TEST_F(CallbacksTest, DescriptionsOfCarriers)
{
    int user = 0;
    QE_CFuncCarrier* first = Attach("TestStepA", "TestRelease", &user);
    QE_CFunctionDesc withSave = {"TestStepB", nullptr, "TestLoad", "TestSave", nullptr};
    QE_CFuncCarrier* second = QE_XPhBodySetCFunction(body, &withSave);
    ASSERT_TRUE(first && second);

    const char* untouched = "untouched";
    QE_CFunctionDesc out = {untouched, untouched, untouched, untouched, nullptr};
    EXPECT_EQ(QE_XPhBodyGetCFunction(body, 0, &out), nullptr);
    EXPECT_EQ(QE_XPhBodyGetCFunction(body, 1, nullptr), nullptr);
    EXPECT_EQ(QE_XPhBodyGetCFunction(body, 1, &out), first);
    EXPECT_STREQ(out.stepFunction, "TestStepA");
    EXPECT_STREQ(out.releaseFunction, "TestRelease");
    EXPECT_EQ(out.loadFunction, untouched); // no function: the word is left as it was
    EXPECT_EQ(out.saveFunction, untouched);
    EXPECT_EQ(out.userData, &user);

    out = {untouched, untouched, untouched, untouched, nullptr};
    EXPECT_EQ(QE_XPhBodyGetCFunctionFromCarrierHandle(second, &out), second);
    EXPECT_STREQ(out.stepFunction, "TestStepB");
    EXPECT_EQ(out.releaseFunction, untouched);
    EXPECT_STREQ(out.loadFunction, "TestLoad");
    EXPECT_STREQ(out.saveFunction, "TestSave");

    QE_CFuncCarrier* unresolved = Attach("NoSuchFunction");
    EXPECT_EQ(QE_XPhBodyGetCFunctionFromCarrierHandle(unresolved, &out), nullptr);
    // A body whose first carrier has no step function: its name is written as null.
    QE_XPhBody* other = QE_MakeEmptyXPhBody();
    QE_CFunctionDesc missing = {"NoSuchFunction", nullptr, nullptr, nullptr, nullptr};
    QE_CFuncCarrier* lone = QE_XPhBodySetCFunction(other, &missing);
    out = {untouched, untouched, untouched, untouched, nullptr};
    EXPECT_EQ(QE_XPhBodyGetCFunction(other, 1, &out), lone);
    EXPECT_EQ(out.stepFunction, nullptr);
    EXPECT_EQ(out.releaseFunction, untouched);
    EXPECT_EQ(QE_XPhBodyGetCFunctionFromCarrierHandle(nullptr, &out), nullptr);
    EXPECT_EQ(QE_XPhBodyGetCFunctionFromCarrierHandle(reinterpret_cast<QE_CFuncCarrier*>(&user), &out), nullptr);
    // Carriers go with their body; a handle kept after that is refused.
    QE_DeleteXPhBody(body);
    EXPECT_EQ(QE_XPhBodyGetCFunctionFromCarrierHandle(second, &out), nullptr);
}

TEST_F(CallbacksTest, ReleaseRunsWhenTheBodyGoes)
{
    int user = 0;
    Attach("TestStepA", "TestRelease", &user);
    QE_DeleteXPhBody(body);
    ASSERT_EQ(record.calls, (std::vector<std::string>{"release"}));
    EXPECT_EQ(record.bodies[0], body);
    EXPECT_EQ(record.data[0], &user);
}

TEST_F(CallbacksTest, ABodyDeletedByItsOwnCallbackEndsItsWalk)
{
    Attach("TestDeleteSelf");
    Attach("TestStepB");
    EXPECT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"delete"}));
    EXPECT_EQ(QE_PhOnlyStep(), 1);
    EXPECT_EQ(record.calls.size(), 1u);
}

TEST_F(CallbacksTest, CarriersAreSavedAndLoadedWithTheirBody)
{
    int user = 42;
    QE_CFunctionDesc desc = {"TestStepA", "TestRelease", "TestLoadHello", "TestSaveHello", &user};
    ASSERT_NE(QE_XPhBodySetCFunction(body, &desc), nullptr);
    ASSERT_EQ(QE_XPhBodySaveToFile(body, "carrier.body"), 1);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"save"}));
    record = {};

    QE_XPhBody* back = QE_XPhBodyLoadFromFile("carrier.body");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"load", "bytes 42"}));
    EXPECT_EQ(record.bodies[0], back);
    QE_CFunctionDesc out = {};
    EXPECT_NE(QE_XPhBodyGetCFunction(back, 1, &out), nullptr);
    EXPECT_STREQ(out.stepFunction, "TestStepA");
    EXPECT_STREQ(out.releaseFunction, "TestRelease");
    EXPECT_STREQ(out.saveFunction, "TestSaveHello");
    EXPECT_EQ(out.userData, &HostValue); // what the load function returned

    // The loaded carrier runs with the loaded body, and is released with it.
    ASSERT_EQ(QE_XPhBodyAddToWorld(back), 1);
    record = {};
    QE_DeleteXPhBody(body);
    record = {};
    QE_PhOnlyStep();
    EXPECT_EQ(record.calls, (std::vector<std::string>{"A"}));
    EXPECT_EQ(record.bodies[0], back);
    record = {};
    QE_DeleteXPhBody(back);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"release"}));
}

TEST_F(CallbacksTest, AHostFunctionThatIsGoneIsSkippedBySaveAndLoad)
{
    int user = 7;
    // Saved without a save function (its name is not registered): nothing of the host's is written, and the
    // load function finds no bytes.
    QE_CFunctionDesc noSave = {"TestStepA", nullptr, "TestLoadHello", "NotRegisteredSave", &user};
    ASSERT_NE(QE_XPhBodySetCFunction(body, &noSave), nullptr);
    ASSERT_EQ(QE_XPhBodySaveToFile(body, "nosave.body"), 1);
    QE_XPhBody* back = QE_XPhBodyLoadFromFile("nosave.body");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"load", "bad bytes"}));
    QE_DeleteXPhBody(back);

    // Saved with both, loaded by a program that no longer has the load function: the bytes are skipped and
    // the rest of the body reads on.
    QE_XPhBody* other = QE_MakeEmptyXPhBody();
    QE_CFunctionDesc both = {"TestStepB", nullptr, "LaterGoneLoad", "TestSaveHello", &user};
    QE_RegisterFunction("LaterGoneLoad", Fn(LoadHelloAgain));
    ASSERT_NE(QE_XPhBodySetCFunction(other, &both), nullptr);
    ASSERT_EQ(QE_XPhBodySaveToFile(other, "gone.body"), 1);
    record = {};
    // Rewrite the name in the file so that it names a function that is not registered.
    {
        std::FILE* f = std::fopen("gone.body", "r+b");
        ASSERT_NE(f, nullptr);
        std::string data;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            data.append(buf, n);
        const auto at = data.find("LaterGoneLoad");
        ASSERT_NE(at, std::string::npos);
        data.replace(at, 13, "LaterGoneLoaX");
        std::fseek(f, 0, SEEK_SET);
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    QE_XPhBody* reread = QE_XPhBodyLoadFromFile("gone.body");
    ASSERT_NE(reread, nullptr);
    EXPECT_TRUE(record.calls.empty());
    QE_CFunctionDesc out = {};
    ASSERT_NE(QE_XPhBodyGetCFunction(reread, 1, &out), nullptr);
    EXPECT_STREQ(out.stepFunction, "TestStepB");
    EXPECT_EQ(out.loadFunction, nullptr);
    QE_DeleteXPhBody(reread);
}

TEST_F(CallbacksTest, LibraryProceduresByName)
{
    int count = 0;
    const std::string step = TestLib + " CountStep";
    QE_CFunctionDesc desc = {step.c_str(), nullptr, nullptr, nullptr, &count};
    ASSERT_NE(QE_XPhBodySetCFunction(body, &desc), nullptr);
    QE_PhOnlyStep();
    QE_PhOnlyStep();
    EXPECT_EQ(count, 2);

    int argument = 0;
    EXPECT_EQ(QE_QLPlugInXPhBodyCall((TestLib + " RecordArgument").c_str(), &argument), 1);
    using Last = void* (*)();
    Last last = GetFunctionDictionary()->GetFunction<Last>((TestLib + " LastArgument").c_str());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last(), &argument);
}

TEST_F(CallbacksTest, NamedCallsOfTheExport)
{
    int argument = 0;
    struct Case {
        const char* name;
        void* argument;
        int result;
        size_t calls;
    } cases[] = {
        {"TestCall", &argument, 1, 1},
        {"TestCall", nullptr, 0, 1},           // no argument
        {"NoSuchFunction", &argument, 0, 1},   // nothing to call
        {nullptr, &argument, 0, 1},
        {"nosuchlibrary.so Proc", &argument, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QE_QLPlugInXPhBodyCall(c.name, c.argument), c.result) << (c.name ? c.name : "null");
    EXPECT_EQ(record.calls.size(), 1u);
    EXPECT_EQ(record.data[0], &argument);
}

TEST_F(CallbacksTest, ScriptFunctionsDataAndTheirResults)
{
    EXPECT_EQ(Run("(def b (MakeEmptyXPhBody)) (def n 0) (defun onstep (x) (setq n (+ n 1)) (list 'seen n))"),
              "b\nn\nonstep\n");
    EXPECT_EQ(Run("(XPhBodyGetFunction b) (XPhBodyGetData b) (XPhBodyGetFuncResult b)"), "nil\nnil\nnil\n");
    EXPECT_EQ(Run("(XPhBodySetFunction b 'onstep) (XPhBodyGetFunction b)"), "t\nonstep\n");
    QE_PhOnlyStep();
    QE_PhOnlyStep();
    EXPECT_EQ(Run("n"), "2\n");
    EXPECT_EQ(Run("(XPhBodySetData b '(1 2)) (XPhBodyGetData b) (XPhBodySetData b nil) (XPhBodyGetData b)"),
              "t\n(1 2)\nt\nnil\n");
    EXPECT_EQ(Run("(XPhBodySetFunction b nil) (XPhBodyGetFunction b)"), "t\nnil\n");
    QE_PhOnlyStep();
    EXPECT_EQ(Run("n"), "2\n");
    // Other objects and missing worlds answer nil; no wrapper at all is a bad argument.
    EXPECT_EQ(Run("(def f (CreateZevLispObj \"TZevFrame\")) (XPhBodySetFunction f 'onstep) (XPhBodyGetData f)"),
              "f\nnil\nnil\n");
    EXPECT_NE(Run("(XPhBodySetFunction 3 'onstep)").find("Bad Argument!"), std::string::npos);
}

TEST_F(CallbacksTest, TheScriptFunctionsResultIsKept)
{
    EXPECT_EQ(Run("(def b (MakeEmptyXPhBody)) (def k 0) (defun onstep (x) (setq k (+ k 1)) (list 'stepped k))"),
              "b\nk\nonstep\n");
    EXPECT_EQ(Run("(XPhBodySetFunction b 'onstep) (XPhBodyGetFunction b) (XPhBodyGetFuncResult b)"),
              "t\nonstep\nnil\n");
    QE_PhOnlyStep();
    QE_PhOnlyStep();
    EXPECT_EQ(Run("(XPhBodyGetFuncResult b)"), "(stepped 2)\n");
    // A lambda list works as well, and the body keeps its result across a save and load.
    EXPECT_EQ(Run("(XPhBodySetFunction b '(lambda (me) (XPhBodyGetEAirRegistance me))) (XPhBodyGetFunction b)"),
              "t\n(lambda (me) (XPhBodyGetEAirRegistance me))\n");
    QE_PhOnlyStep();
    EXPECT_EQ(Run("(XPhBodyGetFuncResult b)"), "0.500000\n");
    EXPECT_EQ(Run("(def c (XPhObjSaveLoadTest b \"kept.body\")) (XPhBodyGetFunction c)"),
              "c\n(lambda (me) (XPhBodyGetEAirRegistance me))\n");
    QE_PhOnlyStep();
    EXPECT_EQ(Run("(XPhBodyGetFuncResult c)"), "0.500000\n");
}

TEST_F(CallbacksTest, NamedCallsOfTheBuiltin)
{
    Run("(def b (MakeEmptyXPhBody))");
    EXPECT_EQ(Run("(QLPlugInXPhBodyCall \"TestCall\" b)"), "t\n");
    EXPECT_EQ(Run("(QLPlugInXPhBodyCall \"TestCall\" nil)"), "nil\n");
    EXPECT_EQ(Run("(QLPlugInXPhBodyCall \"NoSuchFunction\" b)"), "nil\n");
    EXPECT_EQ(Run("(QLPlugInXPhBodyCall \"TestCall\" (CreateZevLispObj \"TZevFrame\"))"), "nil\n");
    QE_PhOnlyFinal();
    EXPECT_EQ(Run("(QLPlugInXPhBodyCall \"TestCall\" b)"), "nil\n");
    ASSERT_EQ(record.calls.size(), 1u);
}

TEST_F(CallbacksTest, ScriptsCallOnlyRegisteredFunctions)
{
    Run("(def b (MakeEmptyXPhBody))");
    // Library procedures, of a library or of the program itself (no library file name): an error, nothing called,
    // no library loaded. The host may still name the same procedure.
    const std::string named[] = {TestLib + " RecordArgument", "qe_callbacks_unused.so RecordArgument",
                                 " RecordArgument", " puts", " abort"};
    const auto refused = [this](const std::string& name) {
        return Run("(QLPlugInXPhBodyCall \"" + name + "\" b)").rfind("Error: Unregistered Function!", 0) == 0;
    };
    for (const std::string& name : named)
        EXPECT_TRUE(refused(name)) << name;
    EXPECT_EQ(GetDllTable()->FindModule("qe_callbacks_unused.so"), nullptr);
    EXPECT_EQ(GetDllTable()->FindModule(""), nullptr);
    int argument = 0;
    EXPECT_EQ(QE_QLPlugInXPhBodyCall((TestLib + " RecordArgument").c_str(), &argument), 1);
    EXPECT_TRUE(refused(TestLib + " RecordArgument"));
    using Last = void* (*)();
    EXPECT_EQ(GetFunctionDictionary()->GetFunction<Last>((TestLib + " LastArgument").c_str())(), &argument);
}

} // namespace
