// Runs the core start-up, uses pooled containers on two threads, and exits; with the argument "leak" it leaves
// one object unfreed.
#include "ZevDebug.h"
#include "ZevList.h"
#include "ZevObjPool.h"
#include "ZevString.h"

#include <cstring>
#include <thread>

namespace {

struct Leaked : TZevAllocated {
    int value = 0;
};

void UseContainers()
{
    TZevList list;
    for (int i = 0; i < 100; ++i)
        list.Add(&list);
    list.PopFront();
    TZevStringList lines;
    lines.AddText("one\ntwo\r\nthree");
    FreeSmallNode(AllocSmallNode());
}

} // namespace

int main(int argc, char** argv)
{
    ZevCoreInit();
    // Kept until exit: its nodes return to the pool when it is destroyed, before the report is written.
    static TZevList keptUntilExit;
    keptUntilExit.Add(nullptr);
    UseContainers();
    std::thread worker(UseContainers);
    worker.join();
    if (argc > 1 && std::strcmp(argv[1], "leak") == 0) {
        Leaked* leaked = new Leaked;
        leaked->value = 1;
    }
    return 0;
}
