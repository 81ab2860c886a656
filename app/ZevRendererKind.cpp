#include "ZevRendererKind.h"

#include "ZevDX7Renderer.h"
#include "ZevDX8Renderer.h"
#include "ZevGLDevice.h"

#include <new>

TZevRendererKind DX7RendererKind = {DX7RendererFactory, InitRendererFromWindowDX7, nullptr};
TZevRendererKind DX8RendererKind = {DX8RendererFactory, InitRendererFromWindowDX8, PresentThroughDevice};

TZevQueuedRenderer* DX7RendererFactory()
{
    return new TZevDX7Renderer();
}

TZevQueuedRenderer* DX8RendererFactory()
{
    return new TZevDX8Renderer();
}

int InitRendererFromWindowDX7(TZevGLWindow window, TZevQueuedRenderer* renderer)
{
    auto* dx7 = dynamic_cast<TZevDX7Renderer*>(renderer);
    return dx7 != nullptr && window != 0 && dx7->InitFromWindow(window) ? 1 : 0;
}

int InitRendererFromWindowDX8(TZevGLWindow window, TZevQueuedRenderer* renderer)
{
    auto* dx8 = dynamic_cast<TZevDX8Renderer*>(renderer);
    return dx8 != nullptr && window != 0 && dx8->InitFromWindow(window) ? 1 : 0;
}

int InitRendererFromDevice(TZevGLDriver* driver, TZevGLDevice* device, TZevQueuedRenderer* renderer)
{
    auto* dx8 = dynamic_cast<TZevDX8Renderer*>(renderer);
    return dx8 != nullptr && driver != nullptr && device != nullptr && dx8->InitFromDevice(driver, device) ? 1 : 0;
}

void PresentThroughDevice(TZevGLWindow window, const TZevPixelRect* source, const TZevPixelRect* destination,
                          TZevQueuedRenderer* renderer)
{
    auto* dx8 = dynamic_cast<TZevDX8Renderer*>(renderer);
    TZevGLDevice* device = dx8 != nullptr ? dx8->GetDevice() : nullptr;
    if (device == nullptr)
        return;
    TZevGLRect from{}, into{};
    if (source != nullptr)
        from = {source->Left, source->Top, source->Right, source->Bottom};
    if (destination != nullptr)
        into = {destination->Left, destination->Top, destination->Right, destination->Bottom};
    device->Present(source != nullptr ? &from : nullptr, destination != nullptr ? &into : nullptr, window);
}

TZevQueuedRenderer* ZevMakeWindowRenderer(const TZevRendererKind& kind, TZevGLWindow window, std::int32_t fullScreen,
                                          std::int32_t shadow, bool* drawing)
{
    *drawing = false;
    TZevQueuedRenderer* renderer = kind.Create != nullptr ? kind.Create() : nullptr;
    if (renderer == nullptr)
        return nullptr;
    renderer->Release();
    renderer->SetFullScreen(fullScreen);
    renderer->SetStencilShadows(shadow);
    *drawing = kind.InitFromWindow != nullptr && kind.InitFromWindow(window, renderer) != 0;
    return renderer;
}
