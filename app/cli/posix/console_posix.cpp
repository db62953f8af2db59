#include <atomic>
#include <csignal>

#include "app/cli/console.h"

namespace console {

namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int)
{
    g_stop = true;
}

} // namespace

void Setup()
{
    // A viewer or EpgDataCap_Bon that goes away must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
}

void InstallStopHandler()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested()
{
    return g_stop;
}

void AcknowledgeStopped()
{
}

std::string PathForDisplay(const std::string& path)
{
    return path;
}

} // namespace console
