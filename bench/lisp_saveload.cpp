// Saved script values through files: loading a value of about 10 MB, and the save/load round trip of a list of
// short records (each a list of numbers with a nested list), as scripts do them.
#include "ZevLisp.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

struct THost {
    TZevLispTextInterpreter Lisp;
    std::string Folder;

    THost()
    {
        char folder[] = "/tmp/bench_lisp_saveloadXXXXXX";
        if (mkdtemp(folder))
            Folder = folder;
        Lisp.Init();
        Lisp.SendCommand("(defun records (n) (let ((l nil)) (while (> n 0) "
                         "(setq l (cons (list n (* n 2) (+ n 0.5) (list n n)) l)) (setq n (- n 1))) l))");
    }
    ~THost()
    {
        if (!Folder.empty()) {
            for (const char* name : {"/big.sav", "/trip.sav"})
                unlink((Folder + name).c_str());
            rmdir(Folder.c_str());
        }
    }
    std::string File(const char* name) const { return Folder + "/" + name; }
    const char* Send(const std::string& command)
    {
        Lisp.SendCommand(command.c_str());
        return Lisp.GetAnswer();
    }
};

THost& Host()
{
    static THost* host = new THost();
    return *host;
}

// 48,000 records save to about 10.4 MB.
void BM_LoadSavedValue10MB(benchmark::State& state)
{
    THost& host = Host();
    const std::string file = host.File("big.sav");
    host.Send("(def big (records 48000))");
    if (std::string(host.Send("(SaveLispObject \"" + file + "\" big)")) != "t\n") {
        state.SkipWithError("the value was not saved");
        return;
    }
    host.Send("(def big nil)");
    const std::string load = "(def x (LoadLispObject \"" + file + "\")) (def x nil)";
    for (auto _ : state)
        benchmark::DoNotOptimize(host.Send(load));
    if (truncate(file.c_str(), 0) != 0)
        state.SkipWithError("the file stays");
}
BENCHMARK(BM_LoadSavedValue10MB)->Unit(benchmark::kMillisecond);

// A fresh list of 20,000 records saved to a file and read back on every pass.
void BM_SaveLoadRoundTrip20k(benchmark::State& state)
{
    THost& host = Host();
    const std::string file = host.File("trip.sav");
    const std::string trip =
        "(SaveLispObject \"" + file + "\" (records 20000)) (def x (LoadLispObject \"" + file + "\")) (def x nil)";
    for (auto _ : state)
        benchmark::DoNotOptimize(host.Send(trip));
}
BENCHMARK(BM_SaveLoadRoundTrip20k)->Unit(benchmark::kMillisecond);

} // namespace
