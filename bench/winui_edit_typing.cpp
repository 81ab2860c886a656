// A key typed into a multi-line edit field (the console's input pane) that already holds one long line, the field
// painted after it as the window layer paints it: the cost of a key should not grow with the line.
#include "ZevWinApi.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

LRESULT FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

struct TEditField {
    TEditField(std::size_t length)
    {
        ZevPlatformInit(TZevBackendKind::Memory);
        WNDCLASSA wc{};
        wc.lpfnWndProc = FormProc;
        wc.lpszClassName = "BenchTypingForm";
        RegisterClassA(&wc);
        Form = CreateWindowExA(0, "BenchTypingForm", "form", WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr, nullptr,
                               nullptr);
        // The console's input pane: the lower half of its window.
        Edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 110, 312, 100, Form, nullptr,
                               nullptr, nullptr);
        std::string line;
        while (line.size() < length)
            line += "(place (LoadXPhBody \"lbox.x\") 0 4 0) ";
        line.resize(length);
        SetWindowTextA(Edit, line.c_str());
        SetFocus(Edit);
        SendMessageA(Edit, EM_SETSEL, length, static_cast<LPARAM>(length));
        UpdateWindow(Edit);
    }
    ~TEditField()
    {
        DestroyWindow(Form);
        ZevPlatformShutdown();
    }
    // A key and the paint it causes.
    void Type(WPARAM character)
    {
        SendMessageA(Edit, WM_CHAR, character, 0);
        UpdateWindow(Edit);
    }

    HWND Form = nullptr;
    HWND Edit = nullptr;
};

// A character typed at the end of the line, then taken back with BACKSPACE: two keys an iteration.
void BM_KeyAtTheEndOfALine(benchmark::State& state)
{
    TEditField field(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        field.Type('a');
        field.Type(8);
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_KeyAtTheEndOfALine)->Arg(0)->Arg(300)->Arg(3000)->Arg(7600)->Unit(benchmark::kMicrosecond);

} // namespace
