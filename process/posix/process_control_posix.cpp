// EpgDataCap_Bon's process on POSIX systems. Processes have no top-level
// windows here, so the window text is not used: the polite end is SIGTERM.
// The child the manager started is never reaped before the manager lets go
// of it, so its pid stays reserved and a signal can only reach that child.
#include <cerrno>
#include <chrono>
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
    pid_t pid = 0;
    bool reaped = false;
};

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto PollStep = std::chrono::milliseconds(5);
// How long a process ended by force may take to disappear.
constexpr int ForcedEndWaitMs = 2000;

// The state letter of /proc/<pid>/stat, or 0 when it cannot be read.
char ProcessState(const std::string& pid)
{
    const std::optional<std::string> stat = ReadWholeFile("/proc/" + pid + "/stat");
    if (!stat)
        return 0;
    // The command name in parentheses may itself hold ") ".
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return 0;
    return (*stat)[close + 2];
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

bool MatchesName(const std::string& pid, const std::string& fileName)
{
    const char state = ProcessState(pid);
    // A zombie has ended already; it only waits to be reaped.
    if (state == 0 || state == 'Z' || state == 'X' || state == 'x')
        return false;
    const std::optional<std::string> exe = ExecutableName(pid);
    if (exe && SameFileNameIgnoringCase(*exe, fileName))
        return true;
    // Programs run by an interpreter or emulator (Wine) are known by their
    // argv[0]; processes of other users hide their executable.
    const std::optional<std::string> command = CommandName(pid);
    return command && SameFileNameIgnoringCase(*command, fileName);
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
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return false;
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        if (IsNumber(entry->d_name))
            found = MatchesName(entry->d_name, fileName);
    }
    ::closedir(dir);
    return found;
}

StartedProcessPtr Start(const std::string& exePath, const std::string& exeParam)
{
    // The priority (nice value) and the current folder are inherited.
    const pid_t pid = SpawnChild(exePath, LaunchArguments(exePath, exeParam));
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
    return ::kill(process.pid, SIGTERM) == 0;
}

ProcessWait WaitForEnd(StartedProcess& process, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (process.reaped)
            return ProcessWait::Done;
        switch (TryReap(process.pid, nullptr)) {
        case ReapResult::Reaped:
            process.reaped = true;
            return ProcessWait::Done;
        case ReapResult::NotOurChild:
            process.reaped = true; // collected elsewhere: the pid is not ours any more
            return ProcessWait::Failed;
        case ReapResult::Running:
            break;
        }
        if (Clock::now() >= deadline)
            return ProcessWait::TimedOut;
        std::this_thread::sleep_for(PollStep);
    }
}

bool IsRunning(StartedProcess& process)
{
    return WaitForEnd(process, 0) == ProcessWait::TimedOut;
}

void EndByForce(StartedProcess& process)
{
    if (process.reaped)
        return;
    ::kill(process.pid, SIGKILL);
    // Gone from the process list before the caller looks again; one that
    // takes longer (stuck in the kernel) is reaped when let go.
    WaitForEnd(process, ForcedEndWaitMs);
}

long ProcessId(const StartedProcess& process)
{
    return process.pid;
}

} // namespace ProcessControl
