#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The thread type the patch server is built on: created suspended and
// resumed later, stopped through its own stop-request flag, optionally freeing
// itself when its body returns, and able to run a call on the main thread.
class TThread {
public:
    explicit TThread(bool createSuspended);
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // A thread still running is asked to stop and waited for.
    virtual ~TThread();

    // Starts a suspended thread; later calls do nothing.
    void Resume();
    // Tells the thread through StopRequested, then sets the stop-request
    // flag, which the body polls. In this order a body that ends on the flag
    // (and a self-freeing thread with it) is still there for StopRequested.
    void Terminate()
    {
        StopRequested();
        FTerminated = true;
    }
    bool Terminated() const { return FTerminated; }
    // Waits for the body to return (not for a self-freeing thread).
    void WaitFor();
    bool Finished() const { return FFinished; }
    // The object deletes itself when its body returns; set before Resume.
    void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }

protected:
    virtual void Execute() = 0;
    // Called on the requesting thread by each Terminate, just before the flag
    // is set; a thread whose body waits on something other than the flag
    // ends that wait here, and must count the wait's end as a stop request.
    virtual void StopRequested() {}
    // Runs call on the main thread and waits for it (see MainThreadCalls).
    void Synchronize(const std::function<void()>& call);

private:
    void Run();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FStarted{false};
    bool FFreeOnTerminate = false;
    std::mutex FMutex;
    std::condition_variable FFinishedChanged;
};

// The main thread's queue of calls from other threads. The front end's main
// loop runs them; without a main loop (tests), a call runs on its own thread.
namespace MainThreadCalls {

// The calling thread becomes the main thread and must call RunPending.
void BecomeMainThread();
// Runs the calls waiting now and returns how many; waits up to timeoutMs
// for the first one.
int RunPending(int timeoutMs);
// Ends the main thread's current RunPending wait early, so that it can look
// at something that changed (a stop request) without polling.
void Wake();
// Set while the application shuts down: threads must not wait for the main
// thread then, since it is waiting for them.
void SetQuitting(bool quitting);
bool Quitting();
// Runs call on the main thread and waits for it to return.
void Synchronize(const std::function<void()>& call);
// A main loop that sleeps in the window system's message wait rather than in
// RunPending hears of a queued call (or a Wake) through notify, which runs on
// the queuing thread; a window posts itself a message there and calls
// RunPending(0) when the message arrives. Empty: no announcement.
void SetNotifier(std::function<void()> notify);

} // namespace MainThreadCalls
