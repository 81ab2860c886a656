// Object streams: a saved object is read or refused; one that is read saves again, and reads back into an object
// that saves the same bytes.
#include "FuzzSupport.h"

#include "ZevLSObj.h"
#include "ZevStream.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::vector<char> Saved(TZevLSObj* object, bool& ok)
{
    TZevMemStream stream;
    ok = object->Save(&stream);
    std::vector<char> bytes(size_t(stream.GetSize()));
    stream.Seek(0);
    if (ok && !bytes.empty())
        ok = stream.Read(bytes.data(), int32_t(bytes.size())) == 1;
    return bytes;
}

} // namespace

FUZZ_DEFAULT_INITIALIZE()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TZevBufferStream stream;
    if (!FuzzStream(stream, data, size))
        return 0;
    if (TZevLSObj* object = ReadObject(&stream)) {
        bool saved = false;
        const std::vector<char> first = Saved(object, saved);
        if (saved) {
            TZevBufferStream again;
            again.SetData(first.data(), int32_t(first.size()));
            TZevLSObj* copy = ReadObject(&again);
            FUZZ_CHECK(copy != nullptr);
            FUZZ_CHECK(std::strcmp(copy->GetClassRecordName(), object->GetClassRecordName()) == 0);
            bool savedAgain = false;
            const std::vector<char> second = Saved(copy, savedAgain);
            if (savedAgain && second != first) {
                size_t at = 0;
                while (at < first.size() && at < second.size() && first[at] == second[at])
                    ++at;
                std::fprintf(stderr, "saved %zu bytes, then %zu; first difference at %zu\n", first.size(),
                             second.size(), at);
            }
            FUZZ_CHECK(savedAgain && second == first);
            copy->Release();
        }
        object->Release();
    }
    FuzzInputDone();
    return 0;
}
