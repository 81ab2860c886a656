// Saved script values (the stream records of SaveLispObject): a record is read or refused; a value that is read
// saves again and reads back.
#include "FuzzSupport.h"

#include "LispStream.h"
#include "ZevLisp.h"
#include "ZevLSObj.h"
#include "qe.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInit();
    FuzzStartHost<TZevLispTextInterpreter>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TZevBufferStream stream;
    if (!FuzzStream(stream, data, size))
        return 0;
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
