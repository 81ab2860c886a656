// Saved script values (the stream records of SaveLispObject): a record is read or refused; a value that is read
// saves again and reads back. Bodies in a value join the world: a refused record leaves the world with exactly the
// bodies it had. With QE_FUZZ_SAME_BLOCKS set (tools/fuzz.sh sets it for the damaged copies of a stream of bodies),
// a refused record read twice takes no block more the second time: nothing of a failed load stays allocated.
#include "FuzzSupport.h"

#include "LispStream.h"
#include "QEContext.h"
#include "ZevGameChara.h"
#include "ZevLisp.h"
#include "ZevLSObj.h"
#include "ZevPhscs2World.h"
#include "qe.h"

#include <cstdint>
#include <cstdlib>
#include <set>

namespace {

std::set<TZevGameChara*> WorldBodies()
{
    std::set<TZevGameChara*> bodies;
    for (TZevCTree* t = CurrentWorld->activeRoot->FirstChildTree(); t; t = t->NextSiblingTree())
        if (auto* body = dynamic_cast<TZevGameChara*>(t))
            bodies.insert(body);
    return bodies;
}

struct TLoad {
    bool Loaded;
    std::int32_t Blocks; // still taken after a world step (which ends what was dropped)
};

// Reads the record, checks what was read, and drops it with the bodies it added.
TLoad LoadAndDrop(const uint8_t* data, size_t size)
{
    TZevBufferStream stream;
    FuzzStream(stream, data, size);
    const std::set<TZevGameChara*> before = WorldBodies();
    TZevLispRef value;
    int loaded;
    {
        TZevObjectIdTable table;
        loaded = LispLoadValue(&table, &stream, &value);
    }
    if (loaded) {
        TZevMemStream saved;
        int ok;
        {
            TZevObjectIdTable table;
            ok = LispSaveValue(&table, &saved, &value);
        }
        if (ok) {
            saved.Seek(0);
            TZevObjectIdTable table;
            TZevLispRef again;
            FUZZ_CHECK(LispLoadValue(&table, &saved, &again) == 1);
        }
    } else {
        FUZZ_CHECK(WorldBodies() == before);
    }
    value.Clear();
    for (TZevGameChara* body : WorldBodies())
        if (!before.count(body))
            QE_DeleteXPhBody(QEBodyHandle(body));
    FUZZ_CHECK(QE_PhOnlyStep() == 1);
    return {loaded != 0, NewCount - DeleteCount};
}

const bool SameBlocks = std::getenv("QE_FUZZ_SAME_BLOCKS") != nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInit();
    FuzzStartHost<TZevLispTextInterpreter>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT32_MAX))
        return 0;
    const TLoad first = LoadAndDrop(data, size);
    if (SameBlocks && !first.Loaded) {
        // The first read may fill the pools of values and parts; the second may not take a block more.
        const TLoad second = LoadAndDrop(data, size);
        FUZZ_CHECK(second.Blocks == first.Blocks);
    }
    FuzzInputDone();
    return 0;
}
