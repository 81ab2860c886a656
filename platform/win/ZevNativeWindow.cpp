// What the 3D devices and embedding hosts see of a window: display, native handles, size and resizes.
#include "ZevNativeWindow.h"
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"

#include <algorithm>

using namespace ZevWinCore;

const char* ZevGetDisplayName()
{
    TZevBackend* b = ZevBackend();
    return b ? b->DisplayName() : "";
}

void* ZevGetNativeDisplay()
{
    TZevBackend* b = ZevBackend();
    return b ? b->NativeDisplay() : nullptr;
}

unsigned long ZevGetNativeWindow(HWND window)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it == P().windows.end() ? 0 : it->second->nativeClient;
}

bool ZevGetClientSize(HWND window, std::int32_t* width, std::int32_t* height)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    const bool found = it != P().windows.end();
    *width = found ? it->second->client.width : 0;
    *height = found ? it->second->client.height : 0;
    return found;
}

std::uint32_t ZevGetResizeSerial(HWND window)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it == P().windows.end() ? 0 : it->second->resizeSerial;
}

int ZevAddResizeListener(HWND window, TZevResizeListener listener, void* user)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == P().windows.end() || !listener)
        return 0;
    const int token = P().nextListenerToken++;
    it->second->listeners.push_back({token, listener, user});
    return token;
}

void ZevRemoveResizeListener(int token)
{
    std::lock_guard<std::mutex> lock(P().tableMutex);
    for (auto& entry : P().windows) {
        auto& l = entry.second->listeners;
        l.erase(std::remove_if(l.begin(), l.end(), [token](const TZevResizeEntry& e) { return e.token == token; }),
                l.end());
    }
}

void ZevSetExternalDrawing(HWND window, bool external)
{
    unsigned long native = 0;
    {
        std::lock_guard<std::mutex> lock(P().tableMutex);
        auto it = P().windows.find(reinterpret_cast<std::uintptr_t>(window));
        if (it == P().windows.end())
            return;
        it->second->externalDrawing = external;
        native = it->second->nativeClient;
    }
    // Exposures of such a window are not ours to repaint: the server keeps its last picture instead (a stopped
    // 3D view under a closed menu showed the menu's hole).
    if (native != 0 && ZevBackend() != nullptr)
        ZevBackend()->KeepContents(native, external);
}
