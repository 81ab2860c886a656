// The program-wide lock: recursive for its holder, exclusive between threads.
#include "GlobalLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(GlobalLock, RecursiveForItsHolderAndExclusiveBetweenThreads)
{
    GlobalLock.Enter();
    GlobalLock.Enter(); // a holder may enter again (a script loading a script)
    std::atomic<bool> otherGotIt{true};
    std::thread other([&] { otherGotIt = GlobalLock.TryEnter(); });
    other.join();
    EXPECT_FALSE(otherGotIt);
    GlobalLock.Leave();
    GlobalLock.Leave();

    std::atomic<int> inside{0};
    std::thread waiter([&] {
        TZevCriticalSectionLock lock(&GlobalLock, true);
        inside = 1;
    });
    waiter.join();
    EXPECT_EQ(inside, 1);
    EXPECT_TRUE(GlobalLock.TryEnter()); // the guard left it
    GlobalLock.Leave();
}
