#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

#include "app/cli/console.h"
#include "common/thread_base.h"
#include "process/posix/spawn_posix.h"

namespace console {

namespace {

std::atomic<bool> g_stop{false};
std::thread g_signalThread;

} // namespace

void Setup()
{
    // A viewer or EpgDataCap_Bon that goes away must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    KeepChildrenUntilReaped();
}

void InstallStopHandler()
{
    // Blocked here, before any other thread starts, so that every thread
    // inherits the mask and one thread takes the signals with sigwait: the
    // main loop is woken instead of polling a flag. Children get their
    // signal mask reset when they are started.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    g_signalThread = std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        g_stop = true;
        MainThreadCalls::Wake();
    });
}

bool StopRequested()
{
    return g_stop;
}

void AcknowledgeStopped()
{
    // After a stop signal the thread is done with the main loop's state and
    // is joined before that state goes away at exit; without one it still
    // waits in sigwait and is let go.
    if (!g_signalThread.joinable())
        return;
    if (g_stop)
        g_signalThread.join();
    else
        g_signalThread.detach();
}

bool ErrorsGoToTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string PathForDisplay(const std::string& path)
{
    return path;
}

} // namespace console
