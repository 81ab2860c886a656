// A host program of ours that embeds the engine's view in a window of its own through the embedding exports of
// libqe.so (it includes qe.h and links the library, as any host would); its window and its mouse come from our
// window layer. It runs in a folder holding the engine's data, on the X server named by DISPLAY:
//   embed_host PICTURE.png
// It shows the default world with a falling box, prints "ready", forwards the mouse events of its window to the
// scene until a click came and went, keeps a picture of its window, prints what the scene saw and ends the engine.
// The exit status is 0 when everything held; each failure is a line on standard error.
#include "ZevNativeWindow.h"
#include "ZevWinApi.h"
#include "qe.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

constexpr int ViewWidth = 320;
constexpr int ViewHeight = 240;
int Downs = 0;
int Ups = 0;
int Failures = 0;

void Check(bool held, const char* what)
{
    if (!held) {
        std::fprintf(stderr, "embed_host: %s\n", what);
        ++Failures;
    }
}

LRESULT HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    const int buttons = static_cast<int>(wParam);
    switch (message) {
    case WM_LBUTTONDOWN:
        QE_SendMouseButtonDown(buttons, x, y, 0, 0, ViewWidth, ViewHeight);
        ++Downs;
        return 0;
    case WM_MOUSEMOVE: QE_SendMouseButtonMove(buttons, x, y, 0, 0, ViewWidth, ViewHeight); return 0;
    case WM_LBUTTONUP:
        QE_SendMouseButtonUp(buttons, x, y, 0, 0, ViewWidth, ViewHeight);
        ++Ups;
        return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string Answer(const char* command)
{
    QE_SendLispCommand(command);
    const char* answer = QE_GetLispAnswer();
    return answer != nullptr ? answer : "";
}

float BoxHeight()
{
    return std::strtof(Answer("(select (body-pos box) 1)").c_str(), nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || ZevPlatformInit(TZevBackendKind::X11) != TZevBackendKind::X11) {
        std::fprintf(stderr, "usage: embed_host PICTURE.png (with an X display)\n");
        return 2;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.lpszClassName = "EmbedHost";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "EmbedHost", "Embedded view", WS_OVERLAPPEDWINDOW, 0, 0, ViewWidth, ViewHeight,
                                  nullptr, nullptr, nullptr, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, ViewWidth * 2 - client.right, ViewHeight * 2 - client.bottom, SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
    ZevSync();
    Pump();
    // The engine draws into the client area itself: the window layer must not paint over it.
    ZevSetExternalDrawing(window, true);

    Check(QE_Render() == 0, "a frame before the init");
    Check(QE_DX7InitFromHWND(ZevGetNativeWindow(window)) == 1, "QE_DX7InitFromHWND");
    Answer("(def clicked nil)"
           "(defun on-down (b x y dx dy dz ox oy oz) (setq clicked (list b x y)) (drag-down b x y dx dy dz ox oy oz))"
           "(SetMouseDownProc on-down)"
           "(def box (make-body \"lbox.x\" 2 2 2 1.0))(place box 0 9 0)");
    const float start = BoxHeight();
    for (int i = 0; i < 10; ++i) {
        Pump();
        Check(QE_Render() == 1, "QE_Render");
    }
    Check(BoxHeight() < start, "the box does not fall: the frames do not step");
    std::printf("ready\n");
    std::fflush(stdout);

    // The test clicks into the window; its events reach the scene between frames.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((Downs == 0 || Ups == 0) && std::chrono::steady_clock::now() < end) {
        Pump();
        QE_Render();
        ZevWaitForMessages(10);
    }
    for (int i = 0; i < 10; ++i) {
        Pump();
        QE_Render();
    }
    const std::string clicked = Answer("clicked");
    std::printf("clicked %s", clicked.c_str());

    std::int32_t width = 0, height = 0;
    std::uint32_t* screen = nullptr;
    ZevSync();
    if (ZevCaptureScreen(&width, &height, &screen)) {
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::vector<std::uint32_t> picture;
        for (int y = 0; y < ViewHeight; ++y)
            for (int x = 0; x < ViewWidth; ++x)
                picture.push_back(screen[static_cast<std::size_t>(origin.y + y) * static_cast<std::size_t>(width) +
                                         static_cast<std::size_t>(origin.x + x)]);
        ZevFreeCapture(screen);
        ZevWritePng(argv[1], picture.data(), ViewWidth, ViewHeight);
        const std::unordered_set<std::uint32_t> colours(picture.begin(), picture.end());
        Check(colours.size() > 100, "the window shows no scene");
    } else {
        Check(false, "the screen cannot be read");
    }

    Check(QE_RenderToHWND(ZevGetNativeWindow(window), nullptr, nullptr) == 1, "QE_RenderToHWND");
    Check(QE_Final() == 1, "QE_Final");
    Check(QE_Final() == 0, "a second QE_Final");
    Check(QE_Render() == 0, "a frame after QE_Final");
    DestroyWindow(window);
    ZevPlatformShutdown();
    std::printf("failures %d\n", Failures);
    return Failures == 0 ? 0 : 1;
}
