#include "ZevDebug.h"

#include "ZevBitmap.h"
#include "ZevLSObj.h"
#include "ZevList.h"
#include "ZevObjPool.h"
#include "ZevStream.h"
#include "ZevString.h"
#include "ZevTree.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

constinit std::atomic<std::int32_t> NewCount{0};
constinit std::atomic<std::int32_t> DeleteCount{0};

namespace {

constexpr const char* kLogName = "ZevDebug.txt";
constexpr const char* kReportName = "ZevMemoryCheck2.txt";

constinit std::atomic<int> gFailCountdown{-1};

// Guards against the log's own open failure being logged again.
thread_local bool tInsideLog = false;

bool TakeInjectedFailure()
{
    int n = gFailCountdown.load(std::memory_order_relaxed);
    while (n >= 0) {
        if (gFailCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed))
            return n == 0;
    }
    return false;
}

} // namespace

void* ZevAlloc(std::size_t size)
{
    if (TakeInjectedFailure())
        return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p)
        NewCount.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void ZevFree(void* p)
{
    if (!p)
        return;
    DeleteCount.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

bool ZevCountAlloc()
{
    if (TakeInjectedFailure())
        return false;
    NewCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void ZevCountFree()
{
    DeleteCount.fetch_add(1, std::memory_order_relaxed);
}

void* ZevAllocObject(std::size_t size)
{
    void* p = ZevAlloc(size);
    if (!p) {
        char line[96];
        std::snprintf(line, sizeof line, "ZevAlloc: out of memory (%zu bytes)\n", size);
        ZevDebugLog(line);
        throw std::bad_alloc();
    }
    return p;
}

void ZevFailAllocationAfter(int successes)
{
    gFailCountdown.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

void ZevDebugLog(const char* text)
{
    if (!text || tInsideLog)
        return;
    tInsideLog = true;
    TZevFile file;
    if (file.Open(kLogName, "at+")) {
        std::fseek(file.handle, 0, SEEK_END);
        file.WriteText(text);
    }
    tInsideLog = false;
}

void ZevDebugReset()
{
    if (std::FILE* f = std::fopen(kLogName, "wt"))
        std::fclose(f);
}

void ZevLogInited(const char* sourceFile)
{
    TZevString line = TZevString(sourceFile) + " inited.\n";
    ZevDebugLog(line.CStr());
}

void WriteAllocationReport()
{
    std::FILE* f = std::fopen(kReportName, "at");
    if (!f)
        return;
    const std::int32_t made = NewCount.load();
    const std::int32_t freed = DeleteCount.load();
    std::fprintf(f, "NewCount = %d DeleteCount = %d \n", made, freed);
    if (made != freed)
        std::fputs("Don't Match!\n", f);
    std::fclose(f);
}

void ZevDebugInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ZevDebugReset();
        ZevLogInited("ZevDebug.cpp");
        if (std::FILE* f = std::fopen(kReportName, "wt"))
            std::fclose(f);
        // Registered before every pool and registry, so it runs after their clean-ups at exit.
        std::atexit(WriteAllocationReport);
    });
}

void ZevCoreInit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The log announces the files in this order: ZevDebug, ZevList, aZevList, ZevLSObj, ZevObjPool, ZevBitmap.
        ZevDebugInit();
        ZevListInit();
        ZevStringInit();
        ZevLSObjInit();
        ZevObjPoolInit();
        ZevTreeInit();
        ZevBitmapInit();
    });
}
