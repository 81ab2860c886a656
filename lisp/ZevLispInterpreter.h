// The interpreter every builtin receives (binding records, held values, search paths, evaluator and reader), and
// the text-command host that evaluates a command text and collects everything printed into its answer.
#pragma once

#include "ZevLispEvalStack.h"
#include "ZevLispReader.h"
#include "ZevLispSymbols.h"
#include "ZevLispValues.h"
#include "ZevStream.h"
#include "ZevString.h"

#include <cstddef>
#include <cstdint>

// Deepest nesting of evaluations; beyond it an evaluation answers the error "Too Deep Recursion!". A recursive
// script function takes three or four levels per call, so this lets scripts recurse 100,000 calls deep and more;
// it also bounds the memory that runaway recursion takes before it is stopped.
constexpr std::int32_t LispMaxEvalDepth = 400000;
// Context lines an error collects on its way up; beyond them one line "   ..." stands for the rest.
constexpr std::int32_t LispMaxContextLines = 50;
// Deepest nesting of files loaded by files; a deeper load answers "Too Deep Recursion!" (a file that loads itself
// would otherwise open and read itself a few hundred thousand times before the evaluation depth stops it).
constexpr std::int32_t LispMaxLoadDepth = 1000;
// Longest printed form in a context line; a longer one is cut and ends in "...".
constexpr std::size_t LispMaxContextForm = 200;

// Adds to an error of the reader the context line of the text it read, from `from` to `to` of a text of `size`
// bytes (as Eval adds the form it evaluated).
void LispAddReadContext(const TZevLispRef& error, const char* text, std::int32_t size, std::int32_t from,
                        std::int32_t to);

class TZevLispInterpreter : public TZevAllocated {
public:
    TZevLispInterpreter();
    virtual ~TZevLispInterpreter();
    TZevLispInterpreter(const TZevLispInterpreter&) = delete;
    TZevLispInterpreter& operator=(const TZevLispInterpreter&) = delete;

    // Makes the global atoms when they do not exist yet; sets Running and Initialised.
    virtual void Init();
    // Read, evaluate and print until Running is cleared or the input ends.
    virtual void REPL();
    // Output of printed values. The base writes nothing.
    virtual void Write(const TZevString& text);
    // Next token of the input (kind as TZevLispInputStream::NextToken); the base has no input (-1).
    virtual int NextToken(TZevString& text);
    virtual int SendCommand(const char* text) = 0;
    virtual const char* GetAnswer() { return nullptr; }

    // Writes n characters (the fast road of Write).
    virtual void WriteChars(const char* text, std::int32_t n);

    // ---- Evaluator ----
    // The value of a form; an error value gets one context line for the form.
    inline void Eval(TZevLispRef& result, const TZevLispRef& form);
    // Eval for the forms that take a level of evaluation (lists, and whatever goes wrong).
    void EvalLevel(TZevLispRef& result, const TZevLispRef& form);
    void EvalCore(TZevLispRef& result, const TZevLispRef& form);
    // Applies a head form to a list of unevaluated argument forms.
    void Apply(TZevLispRef& result, const TZevLispRef& head, const TZevLispRef& args);
    // Applies a lambda list (held by the caller) to a list of unevaluated argument forms.
    void ApplyLambda(TZevLispRef& result, const TZevLispRef& lambda, const TZevLispRef& args);
    // A new list of the values of the forms of a list; a list that does not end in Nil gives the error
    // `notPairError`.
    void EvalList(TZevLispRef& result, const TZevLispRef& list, const char* notPairError);
    // Whether a list of argument forms can be applied: a list that ends in Nil. Otherwise false, with the error
    // ("Empty Object!" for a missing tail, "Bad Variable Type!" for any other tail or a list that comes back on
    // itself).
    bool CheckArgList(TZevLispRef& error, const TZevLispRef& list);
    // Whether a list of argument forms is a short list that ends in Nil (true says it may be applied; false says
    // nothing, CheckArgList then tells).
    static bool IsShortArgList(const TZevLispObj* list)
    {
        for (int i = 0; i < 8 && list; ++i) {
            if (list == Nil.Get())
                return true;
            if (list->GetClassRecord() != TZevPair::TypeId)
                return false;
            list = static_cast<const TZevPair*>(list)->Cdr.Get();
        }
        return false;
    }
    // Releases the values held for builtins above `depth` (what a builtin left behind).
    void DropHeldValues(std::int32_t depth);
    void Cond(TZevLispRef& result, const TZevLispRef& clauses);

    // Binds parameters to values (atoms only; surplus parameters stay unbound, surplus values are ignored);
    // returns the number of bindings.
    int Bind(const TZevLispRef& params, const TZevLispRef& values);
    // Undoes the last n bindings.
    void Unbind(int n);

    // ---- Reader ----
    // One form; the empty handle when the input is used up. Faulty text gives an error value, and the rest of
    // the faulty form is skipped.
    void Read(TZevLispRef& out);

    TZevLispRefList Bindings;
    TZevLispRefList HeldValues;
    std::int32_t HeldDepth;
    std::int32_t Running;
    std::int32_t Initialised;
    TZevStringList SearchPaths;
    TZevLispRef ArgError;
    std::int32_t EvalDepth;
    std::int32_t LoadDepth; // files being loaded, one inside the other

private:
    // EvalCore in line (for the evaluator's own file), and EvalCore of everything but a builtin named in place.
    inline void EvalHead(TZevLispRef& result, const TZevLispRef& form);
    [[gnu::noinline]] void EvalOther(TZevLispRef& result, const TZevLispRef& form);
    // The end of a level whose value is missing or an error: "Empty Object!", or the error's context line.
    [[gnu::noinline]] void EndFailedLevel(TZevLispRef& r, const TZevLispRef& form);
};

inline void TZevLispInterpreter::Eval(TZevLispRef& result, const TZevLispRef& form)
{
    // Most forms are atoms bound to a value and values that stand for themselves: their value is at hand, they take
    // no level of evaluation and add no context. An error value stands for itself too, without a context line of
    // its own; a variable whose value is an error, and everything else, takes the full road (as does every form
    // where a level of evaluation would be refused).
    TZevLispObj* f = form.Get();
    if (f && EvalDepth < LispMaxEvalDepth && TZevLispEvalStack::HasRoom()) {
        const TZevClassRecord* kind = f->GetClassRecord();
        if (kind == TZevAtom::TypeId) {
            if (const TZevLispRef* v = static_cast<TZevAtom*>(f)->ValuePtr()) {
                const TZevLispObj* value = v->Get();
                if (value && value->GetClassRecord() != TZevLispError::TypeId) {
                    result = *v;
                    return;
                }
            }
        } else if (kind != TZevPair::TypeId) {
            result = form;
            return;
        }
    }
    EvalLevel(result, form);
}

// The text-command host: SendCommand reads, evaluates and prints every form of a text into the output, and
// GetAnswer returns what the outermost command printed.
class TZevLispTextInterpreter : public TZevLispInterpreter {
public:
    TZevLispTextInterpreter();
    ~TZevLispTextInterpreter() override;

    void Write(const TZevString& text) override;
    void WriteChars(const char* text, std::int32_t n) override;
    int NextToken(TZevString& text) override;
    // Returns the Running flag after the command. A command sent while one runs (a loaded file) reads its own
    // text and leaves the outer command's rest untouched; its output joins the same answer.
    int SendCommand(const char* text) override;
    // The answer: what was printed since the outermost command began; owned by the host until the next call.
    const char* GetAnswer() override;

    TZevMemStream Output;
    TZevLispInputStream Input;
    char* Answer;
    TZevString Pending;
    std::int32_t Nesting;
    // Forms that SendCommand evaluated to an error value, loaded files' forms included (a host program's exit
    // status reads it).
    std::int32_t ErrorCount;
};

// The current host of the program (set by whoever starts a scene); read by the exported functions.
extern TZevLispTextInterpreter* LispHost;
