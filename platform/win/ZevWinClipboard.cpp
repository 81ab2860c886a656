// The clipboard, and reading pixels back from windows and the screen.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"

#include <algorithm>
#include <cstring>

using namespace ZevWinCore;

void ZevSetClipboardText(const std::string& text)
{
    EnsureBackend();
    ZevBackend()->SetClipboard(text);
}

std::string ZevGetClipboardText()
{
    EnsureBackend();
    return ZevBackend()->GetClipboard();
}

bool ZevReadClientPixels(HWND window, std::int32_t* width, std::int32_t* height, std::uint32_t* out,
                         std::size_t capacity)
{
    TZevWindowRec* rec = ZevFindWindow(window);
    if (!rec)
        return false;
    *width = rec->client.width;
    *height = rec->client.height;
    if (out)
        std::copy_n(rec->client.pixels.begin(), std::min(capacity, rec->client.pixels.size()), out);
    return true;
}

bool ZevCaptureScreen(std::int32_t* width, std::int32_t* height, std::uint32_t** pixels)
{
    EnsureBackend();
    return ZevBackend()->CaptureScreen(width, height, pixels);
}

void ZevFreeCapture(std::uint32_t* pixels) { delete[] pixels; }

void ZevSync()
{
    EnsureBackend();
    if (OnBackendThread()) {
        ZevBackend()->Sync();
        ZevBackend()->DispatchEvents();
    }
}
