#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/event.h"
#include "process/child_process.h"
#include "support/server_fixture.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"

namespace {

using namespace std::chrono_literals;

// A lock name no other test program uses at the same time.
std::string UniqueName(const char* what)
{
    static int counter = 0;
    return std::string("vwtest-") + what + "-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(counter++);
}

// Whether a thread other than this one takes the lock within ms (and gives it
// back): a holder's own thread would be let in again by a Windows mutex.
bool FreeForAnotherThread(event_object& lock, std::uint32_t ms = 0)
{
    bool taken = false;
    std::thread([&] {
        taken = lock.Wait(ms) == WaitObject0;
        if (taken)
            lock.Signal();
    }).join();
    return taken;
}

} // namespace

TEST(NamedLock, ThreadsRunTheGuardedBlockOneAfterTheOtherAndLeaveItOnAnyWayOut)
{
    // Half the threads hold the lock through a handle of their own, half
    // through the shared one; every tenth block is left by an exception.
    event_object lock(UniqueName("threads"), true);
    std::atomic<int> inside{0}, overlaps{0}, missed{0};
    int total = 0;
    auto worker = [&](bool ownHandle) {
        for (int i = 0; i < 200 && missed == 0; ++i) {
            const auto block = [&](bool held) {
                if (!held) {
                    ++missed;
                    return;
                }
                if (inside.fetch_add(1) != 0)
                    ++overlaps;
                ++total;
                std::this_thread::yield();
                inside.fetch_sub(1);
                if (i % 10 == 0)
                    throw std::runtime_error("leave");
            };
            try {
                if (ownHandle) {
                    auto_lock_object hold(lock, 10000);
                    block(hold.Held());
                } else {
                    auto_lock hold(&lock, 10000);
                    block(hold.Held());
                }
            } catch (const std::runtime_error&) {
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back(worker, i % 2 == 0);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(total, 800);
    EXPECT_TRUE(FreeForAnotherThread(lock));
}

TEST(NamedLock, HandlesOnOneNameShareOneState)
{
    const std::string name = UniqueName("shared");
    event_object first(name, true);
    event_object second(name, true); // exists already: the initial state has no effect
    event_object copy(first);
    ASSERT_TRUE(copy.IsValid());

    ASSERT_EQ(first.Wait(WaitInfinite), WaitObject0);
    EXPECT_FALSE(FreeForAnotherThread(second, 50));
    EXPECT_FALSE(FreeForAnotherThread(copy));
    // Given back through one handle, it is free through the others.
    first.Signal();
    EXPECT_TRUE(FreeForAnotherThread(second));

    // Events without a name are locks of their own.
    event_object a, b;
    ASSERT_EQ(a.Wait(0), WaitObject0);
    EXPECT_TRUE(FreeForAnotherThread(b));
    a.Signal();
}

TEST(NamedLock, ExcludesAnotherProcessAndIsFreedWhenItsHolderIsKilled)
{
    const std::string name = UniqueName("process");
    const TempDir dir;
    event_object lock(name, true);
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(ToolPath("vernwick-lockholder"), {name, dir.File("held"), "-1"}));
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir.File("held")); }, 10000));
    EXPECT_EQ(lock.Wait(200), WaitTimeout);
    // A holder that never gives it back holds up a scoped wait for its bound
    // only, and one that is told to stop for less; neither runs the block.
    {
        auto_lock bounded(&lock, 300);
        EXPECT_FALSE(bounded.Held());
    }
    // Asked again while it waits, the third answer stops it.
    int asked = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        auto_lock_object stopped(lock, 60000, [&] { return ++asked == 3; });
        EXPECT_FALSE(stopped.Held());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(asked, 3);
    // Free again with its holder dead, while this process keeps its own
    // handle on it open.
    holder.Terminate();
    EXPECT_EQ(lock.Wait(5000), WaitObject0);

    // While this process holds it, another cannot take it; given back, it
    // lets the other's wait without time-out in.
    ChildProcess waiter;
    ASSERT_TRUE(waiter.Start(ToolPath("vernwick-lockholder"), {name, dir.File("taken"), "0"}));
    EXPECT_EQ(waiter.Wait(300), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(dir.File("taken")));
    lock.Signal();
    EXPECT_EQ(waiter.Wait(10000), std::optional<int>(0));
    EXPECT_TRUE(std::filesystem::exists(dir.File("taken")));
}
