// Evaluation speed of the interpreter through the text-command host.
#include "ZevLisp.h"

#include <benchmark/benchmark.h>

namespace {

TZevLispTextInterpreter& Host()
{
    static TZevLispTextInterpreter* host = [] {
        auto* h = new TZevLispTextInterpreter();
        h->Init();
        h->SendCommand("(defun fib (n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2)))))"
                       "(defun tak (x y z) (if (< y x) (tak (tak (- x 1) y z) (tak (- y 1) z x) (tak (- z 1) x y)) z))"
                       "(defun len (l) (let ((n 0)) (while l (setq n (+ n 1)) (setq l (cdr l))) n))"
                       // Allocation-heavy: every pass makes a small record of fresh numbers and a list cell.
                       "(defun records (n) (let ((l nil)) (while (> n 0) "
                       "(setq l (cons (list n (* n 2) (+ n 0.5) (list n n)) l)) (setq n (- n 1))) l))"
                       "(defun sumfirst (l) (let ((s 0)) (while l (setq s (+ s (car (car l)))) (setq l (cdr l))) s))"
                       // Non-tail recursion: deep calls leave the thread's stack for the evaluation stack.
                       "(defun depth (x) (if (= x 0) 0 (+ 1 (depth (- x 1)))))");
        return h;
    }();
    return *host;
}

void Send(benchmark::State& state, const char* command)
{
    TZevLispTextInterpreter& host = Host();
    for (auto _ : state) {
        host.SendCommand(command);
        benchmark::DoNotOptimize(host.GetAnswer());
    }
}

void BM_Fib25(benchmark::State& state) { Send(state, "(fib 25)"); }
void BM_Tak18_12_6(benchmark::State& state) { Send(state, "(tak 18 12 6)"); }
void BM_WhileLoop1M(benchmark::State& state)
{
    Send(state, "(setq i 0) (while (< i 1000000) (setq i (+ i 1)))");
}
void BM_BuildAndWalkList100k(benchmark::State& state)
{
    Send(state, "(setq l nil) (setq i 0) (while (< i 100000) (setq l (cons i l)) (setq i (+ i 1))) (len l) "
                "(setq l nil)");
}
void BM_Records20k(benchmark::State& state) { Send(state, "(sumfirst (records 20000))"); }
void BM_Recursion1k(benchmark::State& state) { Send(state, "(depth 1000)"); }
void BM_Recursion20k(benchmark::State& state) { Send(state, "(depth 20000)"); }
void BM_Recursion100k(benchmark::State& state) { Send(state, "(depth 100000)"); }
void BM_Strcat5000(benchmark::State& state)
{
    TZevLispRef f;
    LispFindBuiltin(f, "strcat");
    Host();
    if (f == Nil) {
        state.SkipWithError("strcat is not registered");
        return;
    }
    Send(state, "(setq s \"\") (setq i 0) (while (< i 5000) (setq s (strcat s \"x\")) (setq i (+ i 1))) (setq s nil)");
}

} // namespace

BENCHMARK(BM_Fib25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Tak18_12_6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WhileLoop1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAndWalkList100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Records20k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recursion1k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recursion20k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recursion100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Strcat5000)->Unit(benchmark::kMillisecond);
