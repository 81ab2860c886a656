#include "ZevLispWin.h"

#include "GlobalLock.h"
#include "ZevApplication.h"
#include "ZevDXFormTest.h"
#include "ZevForm1.h"

TZevClassRecord TZevLispWinClassRecord;

TZevLSObj* CreateTZevLispWin() { return ZevCreateRegistered<TZevLispWin>(&TZevLispWinClassRecord); }

namespace {

void OnSend(void* arg) { static_cast<TZevLispWin*>(arg)->Send(); }

template <class T> T* MakeChild(TZevWin* parent, const char* className)
{
    TZevWin* child = nullptr;
    parent->CreateChild(&child, className);
    return static_cast<T*>(child);
}

} // namespace

TZevLispWin::TZevLispWin() = default;

void TZevLispWin::OnCreate()
{
    Interpreter.Init();
    SendButton = MakeChild<TZevButton>(this, "TZevButton");
    Input = MakeChild<TZevMemo>(this, "TZevMemo");
    Output = MakeChild<TZevMemo>(this, "TZevMemo");
    if (SendButton) {
        SendButton->ClickArg = this;
        SendButton->ClickHandler = OnSend;
        SendButton->SetBounds(248, 8, 64, 24);
        SendButton->SetText("Send");
    }
    if (Input) {
        Input->SetBounds(8, 8, 240, 80);
        Input->SetText("");
    }
    if (Output) {
        Output->SetBounds(8, 96, 240, 80);
        Output->SetText("");
    }
    SetBounds(640, 0, 320, 240);
}

void TZevLispWin::OnDestroy()
{
    // An evaluation handed over for this window will not come: the animation goes on without it.
    ZevEndHandOver(Handle, true);
}

void TZevLispWin::Send()
{
    TZevDXFormTest* test = CurrentForm1 != nullptr ? CurrentForm1->DXFormTest : nullptr;
    if (test != nullptr && test->IsRunning()) {
        ZevHandOverEvaluation(&test->Thread, Handle);
        return;
    }
    Evaluate();
}

LRESULT TZevLispWin::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_ZEV_TEST_EVALUATE)
        return TZevWin::HandleMessage(message, wParam, lParam);
    // The animation thread has stopped between two frames for this evaluation.
    Evaluate();
    ZevEndHandOver(Handle, false);
    return 0;
}

void TZevLispWin::Evaluate()
{
    if (Input == nullptr || Output == nullptr)
        return;
    const TZevString text = Input->GetText();
    std::int32_t running = 0;
    TZevString answer;
    {
        // Scripts act on the engine's published world, which a view window's render thread steps under this lock.
        TZevCriticalSectionLock lock(&GlobalLock, true);
        running = Interpreter.SendCommand(text.CStr() ? text.CStr() : "");
        answer = Interpreter.GetAnswer();
    }
    if (running) {
        Input->SetText("");
        Output->SetText(answer.CStr());
        return;
    }
    Output->SetText(answer.CStr());
    // Outside the lock: closing the program stops render threads, which need it to finish their frame.
    CloseRootWindow();
}
