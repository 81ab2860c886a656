// .x text: the reader, the body tree made from what it read, and the writer (what is read is written and read
// back alike).
#include "FuzzSupport.h"

#include "ZevCollisionMeshObj.h"
#include "ZevFrame.h"
#include "ZevMesh.h"
#include "ZevStream.h"
#include "ZevXFile.h"
#include "ZevXFileWriter.h"

#include <cstdint>
#include <vector>

namespace {

// Every frame of the tree, parents first.
std::vector<TZevVFrame*> FramesOf(TZevVFrame* root)
{
    std::vector<TZevVFrame*> frames = {root};
    for (size_t k = 0; k < frames.size(); ++k)
        for (TZevVTree* c = frames[k]->GetFirstChild(); c; c = c->GetNextSibling())
            if (TZevVFrame* child = ZevAsFrame(c))
                frames.push_back(child);
    return frames;
}

size_t MeshCount(TZevVFrame* root)
{
    size_t n = 0;
    for (TZevVFrame* frame : FramesOf(root)) {
        for (void* item : frame->Visuals) {
            auto* mesh = dynamic_cast<TZevPolygonMesh*>(static_cast<TZevVMesh*>(item));
            FUZZ_CHECK(mesh && mesh->Geometry && mesh->Geometry->IndicesInRange());
            ++n;
        }
    }
    return n;
}

} // namespace

FUZZ_DEFAULT_INITIALIZE()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TZevFrame* frame = ZevReadXText(reinterpret_cast<const char*>(data), size);
    if (frame) {
        const size_t meshes = MeshCount(frame);
        FUZZ_CHECK(meshes > 0); // a file without a mesh is refused

        // Written and read back: the same number of meshes.
        TZevMemStream written;
        if (ZevWriteXFrame(&written, frame, 0)) {
            std::vector<char> text(size_t(written.GetSize()));
            written.Seek(0);
            FUZZ_CHECK(written.Read(text.data(), int32_t(text.size())));
            TZevFrame* again = ZevReadXText(text.data(), text.size());
            FUZZ_CHECK(again != nullptr);
            FUZZ_CHECK(MeshCount(again) == meshes);
            again->Release();
        }

        // A body tree owns the frames it is made of, and frees them with itself.
        if (TZevCollisionMeshObj* body = ZevCreateBodyTreeFromFrame(frame, nullptr))
            delete body;
        else
            frame->Release();
    }
    FuzzInputDone();
    return 0;
}
