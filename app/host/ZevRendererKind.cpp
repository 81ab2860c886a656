#include "ZevRendererKind.h"

#include "ZevDX7Renderer.h"
#include "ZevDX8Renderer.h"
#include "ZevGLDevice.h"

#include <new>

TZevRendererKind DX7RendererKind = {DX7RendererFactory, InitRendererFromWindowDX7, nullptr,
                                    InitRendererFromFrameworkWindowDX7};
TZevRendererKind DX8RendererKind = {DX8RendererFactory, InitRendererFromWindowDX8, PresentThroughDevice,
                                    InitRendererFromFrameworkWindowDX8};

namespace {

// The renderer of the class on the window: 1 when it draws there.
template <class R, class W> int InitOn(W window, TZevQueuedRenderer* renderer)
{
    auto* device = dynamic_cast<R*>(renderer);
    return device != nullptr && window && device->InitFromWindow(window) ? 1 : 0;
}

// Made, reset and set up; then put on the window by `init`.
template <class W, class I>
TZevQueuedRenderer* MakeOn(const TZevRendererKind& kind, W window, I init, std::int32_t fullScreen,
                           std::int32_t shadow, bool* drawing)
{
    *drawing = false;
    TZevQueuedRenderer* renderer = kind.Create != nullptr ? kind.Create() : nullptr;
    if (renderer == nullptr)
        return nullptr;
    renderer->Release();
    renderer->SetFullScreen(fullScreen);
    renderer->SetStencilShadows(shadow);
    *drawing = init != nullptr && init(window, renderer) != 0;
    return renderer;
}

} // namespace

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
    return InitOn<TZevDX7Renderer>(window, renderer);
}

int InitRendererFromWindowDX8(TZevGLWindow window, TZevQueuedRenderer* renderer)
{
    return InitOn<TZevDX8Renderer>(window, renderer);
}

int InitRendererFromFrameworkWindowDX7(HWND window, TZevQueuedRenderer* renderer)
{
    return InitOn<TZevDX7Renderer>(window, renderer);
}

int InitRendererFromFrameworkWindowDX8(HWND window, TZevQueuedRenderer* renderer)
{
    return InitOn<TZevDX8Renderer>(window, renderer);
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
    return MakeOn(kind, window, kind.InitFromWindow, fullScreen, shadow, drawing);
}

TZevQueuedRenderer* ZevMakeWindowRenderer(const TZevRendererKind& kind, HWND window, std::int32_t fullScreen,
                                          std::int32_t shadow, bool* drawing)
{
    return MakeOn(kind, window, kind.InitFromFrameworkWindow, fullScreen, shadow, drawing);
}
