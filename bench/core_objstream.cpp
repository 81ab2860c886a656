// Saving and loading through the object stream format: a wide named tree through memory and through a file, and
// a bitmap chunk.
#include "ZevBitmap.h"
#include "ZevLSObj.h"
#include "ZevTree.h"

#include <benchmark/benchmark.h>

#include <string>

#include <unistd.h>

namespace {

TZevStringTree* MakeTree(int n)
{
    TZevStringTree* root = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
    root->SetName("root");
    for (int i = 0; i < n; ++i) {
        TZevStringTree* c = static_cast<TZevStringTree*>(CreateObjectByName("TZevStringTree"));
        c->SetName(std::to_string(i).c_str());
        root->AddChild(c);
    }
    return root;
}

void BM_SaveTree(benchmark::State& state)
{
    ZevCoreInit();
    TZevStringTree* root = MakeTree(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TZevMemStream s;
        benchmark::DoNotOptimize(root->Save(&s));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    delete root;
}
BENCHMARK(BM_SaveTree)->Arg(1000);

void BM_LoadTree(benchmark::State& state)
{
    ZevCoreInit();
    TZevStringTree* root = MakeTree(static_cast<int>(state.range(0)));
    TZevMemStream s;
    root->Save(&s);
    for (auto _ : state) {
        s.Seek(0);
        TZevLSObj* back = ReadObject(&s);
        benchmark::DoNotOptimize(back);
        delete back;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    delete root;
}
BENCHMARK(BM_LoadTree)->Arg(1000);

// The tree read back from a file (opened for every load, as loaders of saved files do).
void BM_LoadTreeFromFile(benchmark::State& state)
{
    ZevCoreInit();
    TZevStringTree* root = MakeTree(static_cast<int>(state.range(0)));
    char name[] = "/tmp/bench_objstreamXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        delete root;
        return;
    }
    close(fd);
    {
        TZevFile out(name, "wb");
        root->Save(&out);
    }
    for (auto _ : state) {
        TZevFile in(name, "rb");
        TZevLSObj* back = ReadObject(&in);
        benchmark::DoNotOptimize(back);
        delete back;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    unlink(name);
    delete root;
}
BENCHMARK(BM_LoadTreeFromFile)->Arg(1000)->Arg(100000);

void BM_CloneBitmap(benchmark::State& state)
{
    ZevCoreInit();
    ZevBitmapInit();
    TZevBitmap* b = static_cast<TZevBitmap*>(CreateObjectByName("TZevBitmap"));
    b->CreateByDepth(256, 256, 32);
    for (auto _ : state) {
        TZevLSObj* copy = b->Clone();
        benchmark::DoNotOptimize(copy);
        delete copy;
    }
    state.SetBytesProcessed(state.iterations() * 256 * 256 * 4);
    delete b;
}
BENCHMARK(BM_CloneBitmap);

} // namespace
