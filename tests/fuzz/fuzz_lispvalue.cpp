// Saved script values (the stream records of SaveLispObject): a record is read or refused; a value that is read
// saves again and reads back.
#include "FuzzSupport.h"

#include "LispStream.h"
#include "ZevLisp.h"
#include "ZevLSObj.h"
#include "qe.h"

#include <cstdint>

namespace {

TZevLispTextInterpreter* Host = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInit();
    // Engine objects in values (bodies, joints, lands) are made in a physics-only world.
    QE_PhOnlyInit();
    Host = new TZevLispTextInterpreter;
    Host->Init();
    LispHost = Host;
    // As a program ends: the world goes while the host is still there, then the host.
    std::atexit([] {
        QE_PhOnlyFinal();
        LispHost = nullptr;
        delete Host;
        Host = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT32_MAX))
        return 0;
    TZevBufferStream stream;
    stream.SetData(data, int32_t(size));
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
    }
    value.Clear();
    FuzzInputDone();
    return 0;
}
