#include "ZevFrame.h"

#include "Zev3DRenderer.h"
#include "ZevMesh.h"

#include <mutex>

TZevClassRecord TZevVFrameClassRecord;
TZevClassRecord TZevFrameClassRecord;

TZevVFrame* ZevAsFrame(TZevVTree* node)
{
    return dynamic_cast<TZevVFrame*>(node);
}

TZevVFrame::TZevVFrame() = default;

TZevVFrame::~TZevVFrame()
{
    for (TZevVMesh* visual : ZevItems<TZevVMesh>(Visuals))
        visual->Release();
    Visuals.Clear();
}

void TZevVFrame::GetWorldMatrix(TZevMatrix*) {}

void TZevVFrame::Traverse(TZev3DRenderer*, const TZevMatrix&) {}

void TZevVFrame::AddVisual(TZevVMesh* visual)
{
    if (!visual)
        return;
    Visuals.Add(visual);
    visual->AddRef();
}

TZevVFrame* TZevVFrame::GetParentFrame() const
{
    return ZevAsFrame(parent);
}

void TZevFrame::GetWorldMatrix(TZevMatrix* out)
{
    if (!out)
        return;
    // Evaluated from the top frame down, as local x (parent's world) nests: the same products in the same order as
    // a recursive evaluation, without recursion. The chain is kept on the stack unless the tree is unusually deep.
    std::size_t depth = 0;
    for (const TZevVFrame* f = this; f; f = f->GetParentFrame())
        ++depth;
    const TZevVFrame* inPlace[64];
    const TZevVFrame** chain = inPlace;
    if (depth > 64)
        chain = static_cast<const TZevVFrame**>(ZevAllocObject(sizeof(const TZevVFrame*) * depth));
    std::size_t n = 0;
    for (const TZevVFrame* f = this; f; f = f->GetParentFrame())
        chain[n++] = f;
    TZevMatrix world = chain[depth - 1]->LocalMatrix;
    for (std::size_t i = depth - 1; i-- > 0;)
        ZevMatMultiply(world, chain[i]->LocalMatrix, world);
    if (chain != inPlace)
        ZevFree(chain);
    *out = world;
}

void TZevFrame::Traverse(TZev3DRenderer* renderer, const TZevMatrix& parentWorld)
{
    // Pre-order without recursion: down to the first child, on to the next sibling, up when a ring is done. Below
    // the starting ring, a node's parent is the frame just walked, whose stored world matrix is the parent world.
    TZevVTree* node = this;
    int depth = 0;
    while (node) {
        if (TZevFrame* frame = dynamic_cast<TZevFrame*>(node)) {
            const TZevMatrix& parentMatrix =
                depth == 0 ? parentWorld : static_cast<TZevVFrame*>(frame->GetParent())->WorldMatrix;
            ZevMatMultiply(frame->WorldMatrix, frame->LocalMatrix, parentMatrix);
            if (renderer)
                for (TZevVMesh* visual : ZevItems<TZevVMesh>(frame->Visuals))
                    renderer->AddRenderItem(frame, visual);
            if (TZevVTree* child = frame->GetFirstChild()) {
                node = child;
                ++depth;
                continue;
            }
        }
        // Nodes of other classes are passed over with their subtrees.
        while (node) {
            if (TZevVTree* next = node->GetNextSibling()) {
                node = next;
                break;
            }
            if (depth == 0) {
                node = nullptr;
                break;
            }
            node = node->GetParent();
            --depth;
        }
    }
}

TZevLSObj* CreateTZevVFrame()
{
    return ZevCreateRegistered<TZevVFrame>(&TZevVFrameClassRecord);
}

TZevLSObj* CreateTZevFrame()
{
    return ZevCreateRegistered<TZevFrame>(&TZevFrameClassRecord);
}

void ZevFrameInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClassRecord(&TZevVFrameClassRecord, "TZevVFrame", "TZevStringTree", CreateTZevVFrame);
        RegisterClassRecord(&TZevFrameClassRecord, "TZevFrame", "TZevVFrame", CreateTZevFrame);
    });
}
