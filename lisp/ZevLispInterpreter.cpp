#include "ZevLispInterpreter.h"

#include "ZevLisp.h"
#include "ZevLispPrinter.h"

#include "qe.h"

#include <cstdlib>
#include <cstring>
#include <new>

TZevLispTextInterpreter* LispHost = nullptr;

// ---- TZevLispInterpreter ----------------------------------------------------------------------------------------

TZevLispInterpreter::TZevLispInterpreter()
    : HeldDepth(0), Running(0), Initialised(0), EvalDepth(0), LoadDepth(0)
{
    LispInitialize();
    LispShutdownFlag = 0;
}

TZevLispInterpreter::~TZevLispInterpreter()
{
    LispShutdownFlag = 1;
    ArgError.Clear();
    SearchPaths.Clear();
    HeldValues.Teardown();
    Bindings.Teardown();
}

void TZevLispInterpreter::Init()
{
    if (Initialised)
        return;
    LispMakeGlobalAtoms();
    Running = 1;
    Initialised = 1;
}

void TZevLispInterpreter::REPL()
{
    while (Running) {
        Write(TZevString("lisp>"));
        TZevLispRef form, value;
        Read(form);
        if (form.IsNull())
            break;
        Eval(value, form);
        value->Print(this);
        Write(TZevString("\n"));
    }
}

void TZevLispInterpreter::Write(const TZevString&) {}

void TZevLispInterpreter::WriteChars(const char* text, std::int32_t n)
{
    TZevString s(text, n);
    Write(s);
}

int TZevLispInterpreter::NextToken(TZevString& text)
{
    text = "";
    return -1;
}

// ---- TZevLispTextInterpreter --------------------------------------------------------------------------------------

TZevLispTextInterpreter::TZevLispTextInterpreter() : Answer(nullptr), Nesting(0), ErrorCount(0) {}

TZevLispTextInterpreter::~TZevLispTextInterpreter()
{
    std::free(Answer);
    Answer = nullptr;
    if (LispHost == this)
        LispHost = nullptr;
}

void TZevLispTextInterpreter::Write(const TZevString& text)
{
    if (text.CStr())
        Output.Write(text.CStr(), text.GetLength());
}

void TZevLispTextInterpreter::WriteChars(const char* text, std::int32_t n)
{
    if (n > 0)
        Output.Write(text, n);
}

int TZevLispTextInterpreter::NextToken(TZevString& text)
{
    int kind = Input.NextToken(text);
    if (kind != LispTokenEnd)
        return kind;
    if (!Pending.CStr() || !*Pending.CStr()) {
        text = "";
        return -1;
    }
    Input.AssignText(Pending.CStr());
    Pending = "";
    return Input.NextToken(text);
}

int TZevLispTextInterpreter::SendCommand(const char* text)
{
    if (!text)
        text = "";
    // Keep the outer command's text: a loaded file is read through the same input.
    TZevBufferStream saved;
    saved.SetData(Input.data, Input.size);
    const std::int32_t savedPosition = Input.position;
    ++Nesting;

    Pending = text;
    Input.AssignText(Pending.CStr());
    Pending = "";
    if (Nesting == 1)
        Output.Seek(0);

    TZevLispRef form, value;
    for (;;) {
        const std::int32_t start = Input.position;
        Read(form);
        if (form.IsNull())
            break;
        if (LispIsError(form)) {
            // Faulty text: the error quotes what was read, and nothing is evaluated.
            LispAddReadContext(form, Input.data, Input.size, start, Input.position);
            value = form;
        } else {
            Eval(value, form);
        }
        if (LispIsError(value))
            ++ErrorCount;
        value->Print(this);
        WriteChars("\n", 1);
    }
    form.Clear();
    value.Clear();

    Input.SetData(saved.data, saved.size);
    Input.position = savedPosition;
    --Nesting;
    return Running;
}

const char* TZevLispTextInterpreter::GetAnswer()
{
    std::free(Answer);
    const std::int32_t n = Output.Tell();
    Answer = static_cast<char*>(std::malloc(static_cast<std::size_t>(n) + 1));
    if (!Answer)
        return nullptr;
    Output.Seek(0);
    if (n > 0 && !Output.Read(Answer, n)) {
        Answer[0] = 0;
        Output.Seek(n);
        return Answer;
    }
    Answer[n] = 0;
    return Answer;
}

// ---- Exported command exchange --------------------------------------------------------------------------------

extern "C" QE_API int QE_SendLispCommand(const char* command)
{
    try {
        if (!LispHost)
            return 0;
        TZevString copy(command ? command : "");
        LispHost->SendCommand(copy.CStr());
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" QE_API const char* QE_GetLispAnswer(void)
{
    try {
        return LispHost ? LispHost->GetAnswer() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
