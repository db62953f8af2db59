#include "common/thread_base.h"

#include <chrono>
#include <deque>

TThread::TThread(bool createSuspended)
{
    if (!createSuspended)
        Resume();
}

TThread::~TThread()
{
    if (FThread.joinable()) {
        if (FThread.get_id() == std::this_thread::get_id()) {
            FThread.detach();
        } else {
            Terminate();
            FThread.join();
        }
    }
}

void TThread::Resume()
{
    if (FStarted.exchange(true))
        return;
    // The body waits until the handle is stored, so that a self-freeing
    // thread never deletes an object whose std::thread is still being set.
    std::unique_lock<std::mutex> guard(FMutex);
    FThread = std::thread([this] {
        { std::lock_guard<std::mutex> gate(FMutex); }
        Run();
    });
}

void TThread::Run()
{
    Execute();
    if (FFreeOnTerminate) {
        delete this;
        return;
    }
    std::lock_guard<std::mutex> guard(FMutex);
    FFinished = true;
    FFinishedChanged.notify_all();
}

void TThread::WaitFor()
{
    if (!FStarted)
        return;
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TThread::Synchronize(const std::function<void()>& call)
{
    MainThreadCalls::Synchronize(call);
}

namespace MainThreadCalls {

namespace {

struct Pending {
    std::function<void()> call;
    bool done = false;
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::deque<Pending*> g_queue;
std::atomic<bool> g_hasMainThread{false};
std::atomic<bool> g_quitting{false};
bool g_woken = false;
std::function<void()> g_notify;

void Announce()
{
    std::function<void()> notify;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        notify = g_notify;
    }
    if (notify)
        notify();
}

} // namespace

void BecomeMainThread()
{
    g_hasMainThread = true;
}

int RunPending(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(g_mutex);
    g_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [] { return !g_queue.empty() || g_woken; });
    g_woken = false;
    int count = 0;
    while (!g_queue.empty()) {
        Pending* pending = g_queue.front();
        g_queue.pop_front();
        guard.unlock();
        pending->call();
        guard.lock();
        pending->done = true;
        ++count;
    }
    g_changed.notify_all();
    return count;
}

void Wake()
{
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_woken = true;
    }
    g_changed.notify_all();
    Announce();
}

void SetQuitting(bool quitting)
{
    g_quitting = quitting;
    g_changed.notify_all();
}

bool Quitting()
{
    return g_quitting;
}

void Synchronize(const std::function<void()>& call)
{
    if (!g_hasMainThread) {
        call();
        return;
    }
    Pending pending{call};
    std::unique_lock<std::mutex> guard(g_mutex);
    g_queue.push_back(&pending);
    g_changed.notify_all();
    if (g_notify) {
        const std::function<void()> notify = g_notify;
        guard.unlock();
        notify();
        guard.lock();
    }
    // A main thread that starts quitting meanwhile still drains the queue
    // before it waits for the threads, so this wait ends.
    g_changed.wait(guard, [&] { return pending.done; });
}

void SetNotifier(std::function<void()> notify)
{
    std::lock_guard<std::mutex> guard(g_mutex);
    g_notify = std::move(notify);
}

} // namespace MainThreadCalls
