// EpgDataCap_Bon's process on POSIX systems. Processes have no top-level
// windows here, so the window text is not used: the polite end is SIGTERM.
// The child the manager started leads a process group of its own, and what
// the manager holds, asks to quit and ends is that whole group: a wrapper
// script or a launcher that forks leaves the real program in it. The child
// is never reaped before the group is empty or the manager lets go of it, so
// its pid, and with it the group's id, stays reserved and a signal can only
// reach what the manager started.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/file_io.h"
#include "process/command_line.h"
#include "process/posix/spawn_posix.h"
#include "process/process_control.h"

// A Windows path (for instance the argv[0] of a program run under Wine) has
// its file name after "\" or ":".
const char ProcessPathSeparators[] = "\\:/";

struct StartedProcess {
    pid_t pid = 0; // also the id of the process group it leads
    bool reaped = false;
};

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto PollStep = std::chrono::milliseconds(10);
// How long a process ended by force may take to disappear.
constexpr int ForcedEndWaitMs = 2000;

struct ProcessStat {
    char state = 0; // 0 when it cannot be read
    long group = 0;
};

// The state letter and the process group from /proc/<pid>/stat.
ProcessStat ReadStat(const std::string& pid)
{
    ProcessStat result;
    const std::optional<std::string> stat = ReadWholeFile("/proc/" + pid + "/stat");
    if (!stat)
        return result;
    // The command name in parentheses may itself hold ") ".
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return result;
    // After the name: state, parent, group.
    long parent = 0;
    if (std::sscanf(stat->c_str() + close + 2, "%c %ld %ld", &result.state, &parent, &result.group) != 3)
        result.group = 0;
    return result;
}

char ProcessState(const std::string& pid)
{
    return ReadStat(pid).state;
}

// A zombie has ended already; it only waits to be reaped.
bool HasEnded(char state)
{
    return state == 'Z' || state == 'X' || state == 'x';
}

// The real user of a process, from /proc/<pid>/status.
std::optional<uid_t> ProcessUser(const std::string& pid)
{
    const std::optional<std::string> status = ReadWholeFile("/proc/" + pid + "/status");
    if (!status)
        return std::nullopt;
    const std::size_t line = status->find("\nUid:");
    unsigned long uid = 0;
    if (line == std::string::npos || std::sscanf(status->c_str() + line + 5, "%lu", &uid) != 1)
        return std::nullopt;
    return static_cast<uid_t>(uid);
}

std::optional<std::string> ExecutableName(const std::string& pid)
{
    char buffer[PATH_MAX];
    const std::string link = "/proc/" + pid + "/exe";
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer))
        return std::nullopt;
    std::string target(buffer, static_cast<std::size_t>(n));
    static const std::string deleted = " (deleted)";
    if (target.size() > deleted.size() && target.ends_with(deleted))
        target.resize(target.size() - deleted.size());
    return ExtractFileName(target);
}

std::optional<std::string> CommandName(const std::string& pid)
{
    std::optional<std::string> cmdline = ReadWholeFile("/proc/" + pid + "/cmdline");
    if (cmdline && !cmdline->empty()) {
        const std::string argv0 = cmdline->substr(0, cmdline->find('\0'));
        if (!argv0.empty())
            return FileNamePart(argv0);
    }
    std::optional<std::string> comm = ReadWholeFile("/proc/" + pid + "/comm");
    if (!comm)
        return std::nullopt;
    if (!comm->empty() && comm->back() == '\n')
        comm->pop_back();
    return comm;
}

bool IsNumber(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

// Calls visit with the pid of every process until it returns true; none
// when the process list cannot be read.
template <typename Visit>
void ForEachProcess(Visit visit)
{
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsNumber(entry->d_name) && visit(std::string(entry->d_name)))
            break;
    }
    ::closedir(dir);
}

bool MatchesName(const std::string& pid, const std::string& fileName)
{
    const char state = ProcessState(pid);
    if (state == 0 || HasEnded(state))
        return false;
    const std::optional<std::string> exe = ExecutableName(pid);
    if (exe && SameFileNameIgnoringCase(*exe, fileName))
        return true;
    // Programs run by an interpreter or emulator (Wine) are known by their
    // argv[0]; processes of other users hide their executable.
    const std::optional<std::string> command = CommandName(pid);
    return command && SameFileNameIgnoringCase(*command, fileName);
}

// True while the group has a member that has not ended.
bool GroupRunning(pid_t group)
{
    bool running = false;
    ForEachProcess([&](const std::string& pid) {
        const ProcessStat stat = ReadStat(pid);
        running = stat.group == group && stat.state != 0 && !HasEnded(stat.state);
        return running;
    });
    return running;
}

// True while the child itself has not ended; it is not reaped here.
bool LeaderRunning(StartedProcess& process)
{
    if (process.reaped)
        return false;
    siginfo_t info{};
    int r;
    do {
        r = ::waitid(P_PID, static_cast<id_t>(process.pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        process.reaped = true; // collected elsewhere: the pid is not ours any more
        return false;
    }
    return info.si_pid == 0;
}

// The child, or anything it started that stayed in its group, still runs.
// The child is checked on its own too, in case it left the group.
bool AnyRunning(StartedProcess& process)
{
    return LeaderRunning(process) || GroupRunning(process.pid);
}

} // namespace

void StartedProcessRelease::operator()(StartedProcess* process) const
{
    if (!process->reaped)
        ReapWhenEnded(process->pid);
    delete process;
}

namespace ProcessControl {

bool AnyProcessNamed(const std::string& fileName)
{
    if (fileName.empty())
        return false;
    // Another user's copy is not ours to use or wait for: it would keep this
    // user's copy from ever being started.
    const uid_t user = ::getuid();
    bool found = false;
    ForEachProcess([&](const std::string& pid) {
        found = MatchesName(pid, fileName) && ProcessUser(pid) == user;
        return found;
    });
    return found;
}

StartedProcessPtr Start(const std::string& exePath, const std::string& exeParam)
{
    // The priority (nice value) and the current folder are inherited.
    SpawnOptions options;
    options.ownProcessGroup = true;
    const pid_t pid = SpawnChild(exePath, LaunchArguments(exePath, exeParam), options);
    if (pid < 0)
        return nullptr;
    StartedProcessPtr process(new StartedProcess);
    process->pid = pid;
    return process;
}

ProcessWait WaitForInputIdle(StartedProcess& process, int ms)
{
    // Finished starting up: waiting for something (sleeping) rather than
    // still running its start-up code, or ended already.
    const std::string pid = std::to_string(process.pid);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (process.reaped)
            return ProcessWait::Done;
        const char state = ProcessState(pid);
        if (state == 0)
            return ProcessWait::Failed;
        if (state == 'S' || state == 'Z' || state == 'X' || state == 'x')
            return ProcessWait::Done;
        if (Clock::now() >= deadline)
            return ProcessWait::TimedOut;
        std::this_thread::sleep_for(PollStep);
    }
}

bool AskToQuit(StartedProcess& process, const std::string& /*windowText*/)
{
    if (process.reaped)
        return false;
    return ::killpg(process.pid, SIGTERM) == 0;
}

ProcessWait WaitForEnd(StartedProcess& process, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (AnyRunning(process)) {
        if (Clock::now() >= deadline)
            return ProcessWait::TimedOut;
        std::this_thread::sleep_for(PollStep);
    }
    // Nothing of the group is left, so its id need not stay reserved.
    if (!process.reaped && TryReap(process.pid, nullptr) != ReapResult::Running)
        process.reaped = true;
    return ProcessWait::Done;
}

bool IsRunning(StartedProcess& process)
{
    return AnyRunning(process);
}

void EndByForce(StartedProcess& process)
{
    if (process.reaped)
        return;
    ::killpg(process.pid, SIGKILL);
    // Gone from the process list before the caller looks again; one that
    // takes longer (stuck in the kernel) is reaped when let go.
    WaitForEnd(process, ForcedEndWaitMs);
}

long ProcessId(const StartedProcess& process)
{
    return process.pid;
}

} // namespace ProcessControl
