#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include "common/thread_base.h"
#include "support/server_fixture.h"

namespace {

using namespace std::chrono_literals;

// A thread that runs the body it is given and says when it is destroyed.
class Body : public TThread {
public:
    Body(std::function<void(Body&)> body, std::atomic<bool>& destroyed)
        : TThread(true), FBody(std::move(body)), FDestroyed(destroyed)
    {
    }
    ~Body() override { FDestroyed = true; }
    using TThread::Synchronize;

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(Body&)> FBody;
    std::atomic<bool>& FDestroyed;
};

} // namespace

TEST(TThread, StartsSuspendedStopsOnRequestAndCanFreeItself)
{
    std::atomic<int> turns{0};
    std::atomic<bool> destroyed{false};
    const auto counting = [&turns](Body& self) {
        for (int i = 0; i < 2000 && !self.Terminated(); ++i) {
            ++turns;
            std::this_thread::sleep_for(1ms);
        }
    };
    {
        Body worker(counting, destroyed);
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(turns, 0);
        worker.Resume();
        worker.Resume();
        EXPECT_TRUE(WaitFor([&] { return turns > 0; }, 10000));
        worker.Terminate();
        worker.WaitFor();
        EXPECT_LT(turns, 2000);
    }
    EXPECT_TRUE(destroyed);

    // A self-freeing thread deletes itself when its body returns.
    destroyed = false;
    auto* self = new Body(counting, destroyed);
    self->SetFreeOnTerminate(true);
    self->Resume();
    self->Terminate();
    EXPECT_TRUE(WaitFor([&] { return destroyed.load(); }, 10000));
}

TEST(TThread, SynchronizeRunsOnTheMainThreadAndIsAnnouncedToALoopThatWaitsElsewhere)
{
    MainThreadCalls::BecomeMainThread();
    std::thread::id ranOn;
    std::atomic<bool> destroyed{false};
    const auto reporting = [&ranOn](Body& self) { self.Synchronize([&ranOn] { ranOn = std::this_thread::get_id(); }); };
    {
        Body reporter(reporting, destroyed);
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
    Body reporter(reporting, destroyed);
    reporter.Resume();
    EXPECT_TRUE(WaitFor([&] { return announced > 0; }, 10000));
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(MainThreadCalls::RunPending(0), 1);
    reporter.WaitFor();
    MainThreadCalls::SetNotifier({});
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}
