// Pooled containers and memory streams: once the pools are warm, building and clearing lists must not touch the
// heap, and the memory stream must stream sequentially in one step per block.
#include "ZevList.h"
#include "ZevStream.h"
#include "ZevString.h"

#include <benchmark/benchmark.h>

#include <vector>

static void BM_ListAddClear(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TZevList list;
    int item = 0;
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            list.Add(&item);
        list.Clear();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListAddClear)->Arg(16)->Arg(1024);

static void BM_ListPushPop(benchmark::State& state)
{
    TZevList list;
    int item = 0;
    for (auto _ : state) {
        ZevListPushPooled(&list, &item);
        benchmark::DoNotOptimize(list.PopFront());
    }
}
BENCHMARK(BM_ListPushPop);

static void BM_CursorListSequential(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TZevCursorList list;
    std::vector<int> items(static_cast<std::size_t>(n));
    for (int& i : items)
        list.Add(&i);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            benchmark::DoNotOptimize(list.GetAt(i));
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CursorListSequential)->Arg(1024);

static void BM_MemStreamWriteRead(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<char> data(static_cast<std::size_t>(n), 'x');
    for (auto _ : state) {
        TZevMemStream s;
        for (int at = 0; at < n; at += 16)
            s.Write(data.data() + at, 16);
        s.Seek(0);
        for (int at = 0; at < n; at += 16)
            s.Read(data.data() + at, 16);
    }
    state.SetBytesProcessed(state.iterations() * n * 2);
}
BENCHMARK(BM_MemStreamWriteRead)->Arg(64 * 1024);

static void BM_TokenizeIdentifiers(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "(setq value_1 (+ value_2 3.25)) ";
    for (auto _ : state) {
        TZevTextTokenizer t;
        t.AssignText(text.c_str());
        int tokens = 0;
        while (t.GetIdentToken().GetLength() > 0)
            ++tokens;
        benchmark::DoNotOptimize(tokens);
    }
}
BENCHMARK(BM_TokenizeIdentifiers);
