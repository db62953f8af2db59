#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "common/thread_base.h"

namespace {

using namespace std::chrono_literals;

class Worker : public TThread {
public:
    Worker(std::atomic<int>& turns, std::atomic<bool>& destroyed)
        : TThread(true), FTurns(turns), FDestroyed(destroyed)
    {
    }
    ~Worker() override { FDestroyed = true; }

protected:
    void Execute() override
    {
        for (int i = 0; i < 2000 && !Terminated(); ++i) {
            ++FTurns;
            std::this_thread::sleep_for(1ms);
        }
    }

private:
    std::atomic<int>& FTurns;
    std::atomic<bool>& FDestroyed;
};

class Reporter : public TThread {
public:
    explicit Reporter(std::thread::id& ranOn) : TThread(true), FRanOn(ranOn) {}

protected:
    void Execute() override
    {
        Synchronize([this] { FRanOn = std::this_thread::get_id(); });
    }

private:
    std::thread::id& FRanOn;
};

} // namespace

TEST(TThread, StartsSuspendedStopsOnRequestAndCanFreeItself)
{
    std::atomic<int> turns{0};
    std::atomic<bool> destroyed{false};
    {
        Worker worker(turns, destroyed);
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(turns, 0);
        worker.Resume();
        worker.Resume();
        for (int i = 0; i < 200 && turns == 0; ++i)
            std::this_thread::sleep_for(5ms);
        EXPECT_GT(turns, 0);
        worker.Terminate();
        worker.WaitFor();
        EXPECT_LT(turns, 2000);
    }
    EXPECT_TRUE(destroyed);

    // A self-freeing thread deletes itself when its body returns.
    destroyed = false;
    auto* self = new Worker(turns, destroyed);
    self->SetFreeOnTerminate(true);
    self->Resume();
    self->Terminate();
    for (int i = 0; i < 400 && !destroyed; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(destroyed);
}

TEST(TThread, SynchronizeRunsOnTheMainThreadAndIsAnnouncedToALoopThatWaitsElsewhere)
{
    MainThreadCalls::BecomeMainThread();
    std::thread::id ranOn;
    {
        Reporter reporter(ranOn);
        reporter.Resume();
        int ran = 0;
        for (int i = 0; i < 100 && ran == 0; ++i)
            ran += MainThreadCalls::RunPending(50);
        reporter.WaitFor();
        EXPECT_EQ(ran, 1);
        EXPECT_EQ(ranOn, std::this_thread::get_id());
    }
    // The window's loop sleeps in the message wait, not in RunPending: it runs
    // the call only because the notifier (a posted message there) told it to.
    ranOn = {};
    std::atomic<int> announced{0};
    MainThreadCalls::SetNotifier([&announced] { ++announced; });
    Reporter reporter(ranOn);
    reporter.Resume();
    for (int i = 0; i < 1000 && announced == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(MainThreadCalls::RunPending(0), 1);
    reporter.WaitFor();
    MainThreadCalls::SetNotifier({});
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}
