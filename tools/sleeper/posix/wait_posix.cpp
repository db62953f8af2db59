#include <chrono>
#include <csignal>
#include <ctime>

#include "common/file_io.h"
#include "process/posix/spawn_posix.h"
#include "tools/sleeper/sleeper.h"

namespace {

volatile std::sig_atomic_t AskedToQuit = 0;

void OnTerm(int)
{
    AskedToQuit = 1;
}

} // namespace

bool PrepareForQuitRequest(const SleeperOptions& options)
{
    // Windows do not exist here; SIGTERM is the quit request.
    struct sigaction action {};
    action.sa_handler = options.ignoreQuit ? SIG_IGN : &OnTerm;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGTERM, &action, nullptr) == 0;
}

bool WaitUntilAskedToQuit(const SleeperOptions& options)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.exitAfterMs);
    while (!AskedToQuit) {
        if ((options.exitAfterMs >= 0 && std::chrono::steady_clock::now() >= deadline) ||
            (!options.exitFile.empty() && PathExists(options.exitFile)))
            return false;
        const timespec step{0, 5 * 1000 * 1000};
        nanosleep(&step, nullptr);
    }
    return true;
}

bool SpawnProgram(const std::string& exe, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return SpawnChild(exe, argv) > 0;
}
