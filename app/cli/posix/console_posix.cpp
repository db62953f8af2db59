#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
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
    // A closed terminal or a service manager's hang-up stops as SIGTERM does.
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    g_signalThread = std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        g_stop = true;
        MainThreadCalls::Wake();
        // Asked again while stopping: whoever asks will not wait, so neither
        // does the program. A copy of EpgDataCap_Bon it launched is let go.
        while (sigwait(&set, &signal) != 0 || signal == SIGHUP) {
        }
        std::_Exit(128 + signal);
    });
}

bool StopRequested()
{
    return g_stop;
}

void AcknowledgeStopped()
{
    // The thread waits in sigwait for a second stop signal to the end, and
    // touches nothing of the main loop's after the first: it is let go.
    if (g_signalThread.joinable())
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
