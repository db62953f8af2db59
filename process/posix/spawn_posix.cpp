#include "process/posix/spawn_posix.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <features.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

// Children that could not get a reaper thread of their own; collected by
// the next call of ReapWhenEnded.
std::mutex PendingMutex;
std::vector<pid_t> Pending;

void SweepPending()
{
    std::lock_guard<std::mutex> guard(PendingMutex);
    for (auto it = Pending.begin(); it != Pending.end();) {
        if (TryReap(*it, nullptr) == ReapResult::Running)
            ++it;
        else
            it = Pending.erase(it);
    }
}

} // namespace

pid_t SpawnChild(const std::string& exe, const std::vector<std::string>& argv, const SpawnOptions& options)
{
    if (exe.empty() || argv.empty())
        return -1;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0)
        return -1;
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : {SIGPIPE, SIGTERM, SIGINT, SIGQUIT, SIGCHLD, SIGALRM})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownProcessGroup) {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!options.stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!options.stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    // Sockets and files opened without close-on-exec stay ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

ReapResult TryReap(pid_t pid, int* status)
{
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return ReapResult::Running;
    if (r != pid)
        return ReapResult::NotOurChild;
    if (status)
        *status = st;
    return ReapResult::Reaped;
}

bool ReapBlocking(pid_t pid, int* status)
{
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &st, 0);
    } while (r < 0 && errno == EINTR);
    if (r != pid)
        return false;
    if (status)
        *status = st;
    return true;
}

void ReapWhenEnded(pid_t pid)
{
    SweepPending();
    if (TryReap(pid, nullptr) != ReapResult::Running)
        return;
    try {
        std::thread([pid] { ReapBlocking(pid, nullptr); }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> guard(PendingMutex);
        Pending.push_back(pid);
    }
}

void KeepChildrenUntilReaped()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
}
