// Saved-body files: a file is read or refused; a body that is read saves and reads again, and a world steps with
// it.
#include "FuzzSupport.h"

#include "ZevBodyUtil.h"
#include "ZevGameChara.h"
#include "ZevPhscs2World.h"

#include <cstdint>
#include <cstdio>

FUZZ_DEFAULT_INITIALIZE()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reader takes a file name: the input goes to a file of the working folder first.
    std::FILE* f = std::fopen("input.body", "wb");
    if (!f)
        return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!written)
        return 0;
    if (TZevGameChara* body = LoadXPhBodyFile("input.body", nullptr)) {
        if (SaveXPhBodyFile("again.body", body, nullptr)) {
            TZevGameChara* again = LoadXPhBodyFile("again.body", nullptr);
            FUZZ_CHECK(again != nullptr);
            delete again;
        }
        auto* world = new TZevPhscs2World;
        world->AddBody(body);
        world->Step(0.02f);
        world->Step(0.02f);
        delete world; // with the body
    }
    FuzzInputDone();
    return 0;
}
