// The backend without a screen: windows, drawing and input work as on a display, nothing is shown, and the
// clipboard is a text in memory. Tests of window logic run on it.
#include "ZevWindowCore.h"

namespace {

class TZevMemoryBackend : public TZevBackend {
public:
    TZevBackendKind Kind() const override { return TZevBackendKind::Memory; }
};

} // namespace

std::unique_ptr<TZevBackend> ZevCreateMemoryBackend() { return std::make_unique<TZevMemoryBackend>(); }
