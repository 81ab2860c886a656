// The test launcher's script window: an input memo, an output memo and a "Send" button that evaluates the input
// with the window's own interpreter host. While the Direct3D test form animates, the evaluation is handed to its
// animation thread, which stops between two frames and has the evaluation run on the user-interface thread.
#pragma once

#include "ZevControls.h"
#include "ZevLispInterpreter.h"
#include "ZevWin.h"

class TZevLispWin : public TZevWin {
public:
    TZevLispWin();
    void OnCreate() override;
    // A hand-over still waiting for this window is dropped (and the animation thread let go).
    void OnDestroy() override;
    // The evaluation that a running test has stopped for.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // "Send": evaluates at once, or hands the evaluation to the running Direct3D test form.
    void Send();
    // Evaluates the input memo under the program-wide lock: on success the input is emptied and the output shows
    // the answer; a script that ends the interpreter shows its answer and closes the program's root window.
    void Evaluate();

    TZevButton* SendButton = nullptr;
    TZevMemo* Input = nullptr;
    TZevMemo* Output = nullptr;
    TZevLispTextInterpreter Interpreter;
};

extern TZevClassRecord TZevLispWinClassRecord;
TZevLSObj* CreateTZevLispWin();
